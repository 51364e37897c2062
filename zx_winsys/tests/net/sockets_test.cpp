// Socket wrappers over loopback: connections, datagrams, options, non-blocking connects, look-ups
// and address texts.
// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "testsupport/zxtest.h"
#include "zx_winsys/tests/net/sockets.h"

#include <cstring>
#include <string>

using zxtest_net::Loopback;
using zxtest_net::SocketSystem;

namespace {

// A connected pair over loopback: the client's end and the server's.
struct Pair {
    SOCKET listener = INVALID_SOCKET, client = INVALID_SOCKET, server = INVALID_SOCKET;
    sockaddr_in address = {};

    Pair() {
        listener = zxtest_net::Listener(&address);
        client = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        REQUIRE(QX_Connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        server = QX_Accept(listener, nullptr, nullptr);
        REQUIRE(server != INVALID_SOCKET);
    }
    ~Pair() {
        QX_CloseSocket(client);
        QX_CloseSocket(server);
        QX_CloseSocket(listener);
    }
};

} // namespace

ZXTEST_CHILD(socket_system_start_and_end) {
    // Nothing started yet: a socket cannot be made.
    ZXTEST_EXPECT(QX_Socket(AF_INET, SOCK_STREAM, 0) == INVALID_SOCKET);
    ZXTEST_EXPECT(QX_GetLastSocketError() == WSANOTINITIALISED);
    ZXTEST_EXPECT(QX_InitSocket() == 0);
    ZXTEST_EXPECT(QX_InitSocket() == 0);
    ZXTEST_EXPECT(QX_DoneSocket() == 0);
    ZXTEST_EXPECT(QX_DoneSocket() == 0);
    // A second clean-up of the last start.
    ZXTEST_EXPECT(QX_DoneSocket() == QX_ERR_FAILED);
    ZXTEST_EXPECT(QX_GetLastSocketError() == WSANOTINITIALISED);
    return 0;
}

TEST_CASE("socket system: version 1.1 granted; starts and clean-ups pair up; a second clean-up fails") {
    CHECK(zxtest::RunChild("socket_system_start_and_end") == 0);
}

TEST_CASE("stream sockets: listen, accept, send and receive, names, shutdown") {
    SocketSystem sockets;
    Pair pair;
    const char text[] = "loopback";
    CHECK(QX_Send(pair.client, text, sizeof text, 0) == static_cast<int>(sizeof text));
    char received[32] = {};
    CHECK(zxtest_net::ReceiveAll(pair.server, received, sizeof text));
    CHECK(std::strcmp(received, text) == 0);

    // The peer of the server's end is the client's own name.
    sockaddr_in peer = {}, own = {};
    int peerLength = sizeof peer, ownLength = sizeof own;
    CHECK(QX_GetPeerName(pair.server, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0);
    CHECK(QX_GetSockName(pair.client, reinterpret_cast<sockaddr *>(&own), &ownLength) == 0);
    CHECK(peerLength == static_cast<int>(sizeof peer));
    CHECK(peer.sin_port == own.sin_port);
    CHECK(peer.sin_addr.s_addr == QX_HtoNl(INADDR_LOOPBACK));

    // After the client's shutdown the server reads the end of the stream.
    CHECK(QX_Shutdown(pair.client, SD_SEND) == 0);
    CHECK(QX_Recv(pair.server, received, sizeof received, 0) == 0);
    CHECK(QX_Send(pair.client, text, 1, 0) == SOCKET_ERROR);
    CHECK(QX_GetLastSocketError() == WSAESHUTDOWN);
}

TEST_CASE("stream sockets: failures give -1 and leave the system's error to read") {
    SocketSystem sockets;
    // A port that nobody listens on: bound once, then freed.
    sockaddr_in closed = Loopback(0);
    SOCKET probe = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int length = sizeof closed;
    REQUIRE(QX_Bind(probe, reinterpret_cast<sockaddr *>(&closed), sizeof closed) == 0);
    REQUIRE(QX_GetSockName(probe, reinterpret_cast<sockaddr *>(&closed), &length) == 0);
    CHECK(QX_CloseSocket(probe) == 0);

    SOCKET s = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    CHECK(QX_Connect(s, reinterpret_cast<sockaddr *>(&closed), sizeof closed) == QX_ERR_FAILED);
    CHECK(QX_GetLastSocketError() == WSAECONNREFUSED);
    CHECK(QX_CloseSocket(s) == 0);

    // A closed socket, and an address already taken.
    CHECK(QX_CloseSocket(s) == QX_ERR_FAILED);
    CHECK(QX_GetLastSocketError() == WSAENOTSOCK);
    sockaddr_in taken = {};
    SOCKET listener = zxtest_net::Listener(&taken);
    SOCKET second = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    CHECK(QX_Bind(second, reinterpret_cast<sockaddr *>(&taken), sizeof taken) == QX_ERR_FAILED);
    CHECK(QX_GetLastSocketError() == WSAEADDRINUSE);
    CHECK(QX_Listen(INVALID_SOCKET, 1) == QX_ERR_FAILED);
    CHECK(QX_Shutdown(second, SD_BOTH) == QX_ERR_FAILED); // not connected
    int value = 0, valueLength = sizeof value;
    CHECK(QX_GetSockOpt(INVALID_SOCKET, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&value),
                        &valueLength) == QX_ERR_FAILED);
    CHECK(QX_GetPeerName(second, reinterpret_cast<sockaddr *>(&taken), &length) == QX_ERR_FAILED);
    QX_CloseSocket(second);
    QX_CloseSocket(listener);
}

TEST_CASE("stream sockets: a non-blocking connect reports 0 and completes through select") {
    SocketSystem sockets;
    sockaddr_in address = {};
    SOCKET listener = zxtest_net::Listener(&address);
    SOCKET client = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long on = 1;
    REQUIRE(QX_IoctlSocket(client, FIONBIO, &on) == 0);
    CHECK(QX_Connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);

    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(client, &writable);
    FD_SET(client, &failed);
    const timeval wait = {10, 0};
    CHECK(QX_Select(0, nullptr, &writable, &failed, &wait) == 1);
    CHECK(FD_ISSET(client, &writable));
    int error = -1, errorLength = sizeof error;
    CHECK(QX_GetSockOpt(client, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &errorLength) == 0);
    CHECK(error == 0);

    // Nothing to read yet: select times out, and a non-blocking receive would block.
    SOCKET server = QX_Accept(listener, nullptr, nullptr);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(client, &readable);
    const timeval none = {0, 0};
    CHECK(QX_Select(0, &readable, nullptr, nullptr, &none) == 0);
    char byte = 0;
    CHECK(QX_Recv(client, &byte, 1, 0) == SOCKET_ERROR);
    CHECK(QX_GetLastSocketError() == WSAEWOULDBLOCK);
    u_long pending = 99;
    CHECK(QX_IoctlSocket(client, FIONREAD, &pending) == 0);
    CHECK(pending == 0);
    QX_CloseSocket(server);
    QX_CloseSocket(client);
    QX_CloseSocket(listener);
}

TEST_CASE("socket options: set and read back") {
    SocketSystem sockets;
    Pair pair;
    const BOOL on = TRUE;
    CHECK(QX_SetSockOpt(pair.client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                        sizeof on) == 0);
    BOOL read = FALSE;
    int length = sizeof read;
    CHECK(QX_GetSockOpt(pair.client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&read), &length) ==
          0);
    CHECK(read != FALSE);
    int type = 0;
    length = sizeof type;
    CHECK(QX_GetSockOpt(pair.server, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &length) == 0);
    CHECK(type == SOCK_STREAM);
    CHECK(QX_SetSockOpt(pair.client, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&on), 0) ==
          QX_ERR_FAILED);
}

TEST_CASE("datagrams: send to and receive from over loopback, with the sender's address") {
    SocketSystem sockets;
    SOCKET receiver = QX_Socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    REQUIRE(QX_Bind(receiver, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    REQUIRE(QX_GetSockName(receiver, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    SOCKET sender = QX_Socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const char text[] = "datagram";
    CHECK(QX_SendTo(sender, text, sizeof text, 0, reinterpret_cast<sockaddr *>(&address), sizeof address) ==
          static_cast<int>(sizeof text));
    char received[64] = {};
    sockaddr_in from = {};
    int fromLength = sizeof from;
    CHECK(QX_RecvFrom(receiver, received, sizeof received, 0, reinterpret_cast<sockaddr *>(&from),
                      &fromLength) == static_cast<int>(sizeof text));
    CHECK(std::strcmp(received, text) == 0);
    sockaddr_in senderName = {};
    length = sizeof senderName;
    CHECK(QX_GetSockName(sender, reinterpret_cast<sockaddr *>(&senderName), &length) == 0);
    CHECK(from.sin_port == senderName.sin_port);
    QX_CloseSocket(sender);
    QX_CloseSocket(receiver);
}

TEST_CASE("byte order and address texts") {
    const u_short shortValue = QX_HtoNs(0x1234);
    const u_long longValue = QX_HtoNl(0x01020304);
    CHECK(reinterpret_cast<const unsigned char *>(&shortValue)[0] == 0x12);
    CHECK(reinterpret_cast<const unsigned char *>(&longValue)[0] == 0x01);
    CHECK(QX_NtoHs(shortValue) == 0x1234);
    CHECK(QX_NtoHl(longValue) == 0x01020304);

    SocketSystem sockets;
    CHECK(QX_Inet_Addr("10.0.0.1") == QX_HtoNl(0x0A000001));
    CHECK(QX_Inet_Addr("not an address") == INADDR_NONE);

    // "10.0.0.1" needs 9 bytes: with 8 nothing is written.
    in_addr address = {};
    address.s_addr = QX_Inet_Addr("10.0.0.1");
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    CHECK(QX_Inet_NtoA(buffer, 8, address) == QX_ERR_FAILED);
    CHECK(buffer[0] == '#');
    CHECK(QX_Inet_NtoA(buffer, 9, address) == 0);
    CHECK(std::string(buffer) == "10.0.0.1");
    CHECK(buffer[9] == '#');
    address.s_addr = QX_Inet_Addr("255.255.255.254");
    CHECK(QX_Inet_NtoA(buffer, 15, address) == QX_ERR_FAILED);
    CHECK(QX_Inet_NtoA(buffer, 16, address) == 0);
    CHECK(std::string(buffer) == "255.255.255.254");
    CHECK(QX_Inet_NtoA(buffer, 0, address) == QX_ERR_FAILED);
    CHECK(QX_Inet_NtoA(buffer, -5, address) == QX_ERR_FAILED);
    CHECK(QX_Inet_NtoA(nullptr, 16, address) == QX_ERR_FAILED);
}

TEST_CASE("look-ups: the host, services and protocols") {
    SocketSystem sockets;
    hostent host = {};
    REQUIRE(QX_GetHostByName(&host, "localhost") == 0);
    CHECK(host.h_addrtype == AF_INET);
    CHECK(host.h_length == 4);
    REQUIRE(host.h_addr_list[0] != nullptr);
    CHECK(reinterpret_cast<const in_addr *>(host.h_addr_list[0])->s_addr == QX_HtoNl(INADDR_LOOPBACK));
    CHECK(QX_GetHostByName(nullptr, "localhost") == QX_ERR_FAILED);

    char name[256] = {};
    CHECK(QX_GetHostName(name, sizeof name) == 0);
    CHECK(name[0] != '\0');
    CHECK(QX_GetHostName(name, 1) == QX_ERR_FAILED);
    CHECK(QX_GetLastSocketError() == WSAEFAULT);

    servent service = {};
    REQUIRE(QX_GetServByName(&service, "http", "tcp") == 0);
    CHECK(service.s_port == QX_HtoNs(80));
    CHECK(std::string(service.s_proto) == "tcp");
    REQUIRE(QX_GetServByPort(&service, QX_HtoNs(80), "tcp") == 0);
    CHECK(std::string(service.s_name) == "http");
    CHECK(QX_GetServByName(&service, "no-such-service", "tcp") == QX_ERR_FAILED);

    protoent protocol = {};
    REQUIRE(QX_GetProtoByNumber(&protocol, 6) == 0);
    CHECK(std::string(protocol.p_name) == "tcp");
    REQUIRE(QX_GetProtoByNumber(&protocol, 17) == 0);
    CHECK(std::string(protocol.p_name) == "udp");
    REQUIRE(QX_GetProtoByName(&protocol, "tcp") == 0);
    CHECK(protocol.p_proto == 6);
    CHECK(QX_GetProtoByName(&protocol, "no-such-protocol") == QX_ERR_FAILED);
    CHECK(QX_GetProtoByNumber(nullptr, 6) == QX_ERR_FAILED);
}
