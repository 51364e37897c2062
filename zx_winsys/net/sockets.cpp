// Socket wrappers: the system's calls with the library's status convention. Nothing runs between
// a system call and the return, so the system's last socket error stays the caller's to read.
#include "zx_winsys/qx_net.h"

namespace {

constexpr WORD kVersion = MAKEWORD(1, 1);

int Status(int result) {
    return result == SOCKET_ERROR ? QX_ERR_FAILED : 0;
}

} // namespace

extern "C" {

int QX_InitSocket(void) {
    WSADATA data;
    if (WSAStartup(kVersion, &data) != 0) return QX_ERR_FAILED;
    if (data.wVersion != kVersion) {
        WSACleanup();
        return QX_ERR_FAILED;
    }
    return 0;
}

int QX_DoneSocket(void) {
    return Status(WSACleanup());
}

int QX_GetLastSocketError(void) {
    return WSAGetLastError();
}

SOCKET QX_Socket(int af, int type, int protocol) {
    return socket(af, type, protocol);
}

int QX_CloseSocket(SOCKET s) {
    return Status(closesocket(s));
}

int QX_Bind(SOCKET s, const struct sockaddr *name, int nameLength) {
    return Status(bind(s, name, nameLength));
}

int QX_Connect(SOCKET s, const struct sockaddr *name, int nameLength) {
    if (connect(s, name, nameLength) == 0) return 0;
    // A non-blocking socket has its connection under way.
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : QX_ERR_FAILED;
}

int QX_Listen(SOCKET s, int backlog) {
    return Status(listen(s, backlog));
}

SOCKET QX_Accept(SOCKET s, struct sockaddr *address, int *addressLength) {
    return accept(s, address, addressLength);
}

int QX_Send(SOCKET s, const char *buffer, int length, int flags) {
    return send(s, buffer, length, flags);
}

int QX_Recv(SOCKET s, char *buffer, int length, int flags) {
    return recv(s, buffer, length, flags);
}

int QX_SendTo(SOCKET s, const char *buffer, int length, int flags, const struct sockaddr *to, int toLength) {
    return sendto(s, buffer, length, flags, to, toLength);
}

int QX_RecvFrom(SOCKET s, char *buffer, int length, int flags, struct sockaddr *from, int *fromLength) {
    return recvfrom(s, buffer, length, flags, from, fromLength);
}

int QX_Select(int nfds, fd_set *readFds, fd_set *writeFds, fd_set *exceptFds, const struct timeval *timeout) {
    // The system reads the time-out only; some of its headers declare it without const.
    return select(nfds, readFds, writeFds, exceptFds, const_cast<struct timeval *>(timeout));
}

int QX_GetSockOpt(SOCKET s, int level, int optionName, char *optionValue, int *optionLength) {
    return Status(getsockopt(s, level, optionName, optionValue, optionLength));
}

int QX_SetSockOpt(SOCKET s, int level, int optionName, const char *optionValue, int optionLength) {
    return Status(setsockopt(s, level, optionName, optionValue, optionLength));
}

int QX_IoctlSocket(SOCKET s, long command, u_long *argument) {
    return Status(ioctlsocket(s, command, argument));
}

int QX_GetPeerName(SOCKET s, struct sockaddr *name, int *nameLength) {
    return Status(getpeername(s, name, nameLength));
}

int QX_GetSockName(SOCKET s, struct sockaddr *name, int *nameLength) {
    return Status(getsockname(s, name, nameLength));
}

int QX_Shutdown(SOCKET s, int how) {
    return Status(shutdown(s, how));
}

} // extern "C"
