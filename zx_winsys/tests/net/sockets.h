// Loopback helpers of the socket tests.
#pragma once

#include "zx_winsys/qx_net.h"

namespace zxtest_net {

// The socket system, started for the object's life; fails the test when it cannot start.
class SocketSystem {
public:
    SocketSystem();
    ~SocketSystem();
    SocketSystem(const SocketSystem &) = delete;
    SocketSystem &operator=(const SocketSystem &) = delete;
};

// 127.0.0.1 with port (host byte order; 0: any free port).
sockaddr_in Loopback(u_short port);
// A stream socket listening on a free loopback port; its address into *address.
SOCKET Listener(sockaddr_in *address, int backlog = SOMAXCONN);
// Receives exactly length bytes (blocking); false when the stream ends or fails first.
bool ReceiveAll(SOCKET s, char *buffer, int length);
// Sends all length bytes (blocking).
bool SendAll(SOCKET s, const char *buffer, int length);
// Sockets open in this process, found by asking every small handle value for its socket type.
int CountSockets();

} // namespace zxtest_net
