// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "zx_winsys/tests/net/sockets.h"

#include "testsupport/zxtest.h"

namespace zxtest_net {

SocketSystem::SocketSystem() {
    REQUIRE(QX_InitSocket() == 0);
}

SocketSystem::~SocketSystem() {
    QX_DoneSocket();
}

sockaddr_in Loopback(u_short port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = QX_HtoNs(port);
    address.sin_addr.s_addr = QX_HtoNl(INADDR_LOOPBACK);
    return address;
}

SOCKET Listener(sockaddr_in *address, int backlog) {
    SOCKET s = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    REQUIRE(s != INVALID_SOCKET);
    *address = Loopback(0);
    int length = sizeof *address;
    REQUIRE(QX_Bind(s, reinterpret_cast<sockaddr *>(address), sizeof *address) == 0);
    REQUIRE(QX_Listen(s, backlog) == 0);
    REQUIRE(QX_GetSockName(s, reinterpret_cast<sockaddr *>(address), &length) == 0);
    return s;
}

bool ReceiveAll(SOCKET s, char *buffer, int length) {
    while (length > 0) {
        const int n = QX_Recv(s, buffer, length, 0);
        if (n <= 0) return false;
        buffer += n;
        length -= n;
    }
    return true;
}

bool SendAll(SOCKET s, const char *buffer, int length) {
    while (length > 0) {
        const int n = QX_Send(s, buffer, length, 0);
        if (n <= 0) return false;
        buffer += n;
        length -= n;
    }
    return true;
}

int CountSockets() {
    int count = 0;
    for (UINT_PTR handle = 4; handle < 0x10000; handle += 4) {
        int type = 0, length = sizeof type;
        if (QX_GetSockOpt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type),
                          &length) == 0)
            ++count;
    }
    return count;
}

} // namespace zxtest_net
