// 256 MiB over loopback in 64 KiB pieces through QX_Send / QX_Recv, against send / recv in the
// same run; the two kinds take turns, three rounds each.
#include "zx_winsys/qx_net.h"

#include <cstdio>
#include <vector>

#include "bench/benchutil.h"

namespace {

constexpr int kPiece = 64 * 1024;
constexpr long long kTotal = 256LL << 20;

struct Receiver {
    SOCKET s;
    bool wrapped;
    long long received = 0;
};

DWORD WINAPI Receive(void *argument) {
    Receiver &r = *static_cast<Receiver *>(argument);
    std::vector<char> buffer(kPiece);
    for (;;) {
        const int n =
            r.wrapped ? QX_Recv(r.s, buffer.data(), kPiece, 0) : recv(r.s, buffer.data(), kPiece, 0);
        if (n <= 0) break;
        r.received += n;
    }
    return 0;
}

// One round: connect a pair, send everything from this thread, receive on another.
double Round(bool wrapped) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address);
    Receiver receiver{accept(listener, nullptr, nullptr), wrapped};

    std::vector<char> piece(kPiece, 'x');
    bench::Stopwatch watch;
    HANDLE thread = CreateThread(nullptr, 0, Receive, &receiver, 0, nullptr);
    for (long long sent = 0; sent < kTotal;) {
        const int n =
            wrapped ? QX_Send(client, piece.data(), kPiece, 0) : send(client, piece.data(), kPiece, 0);
        if (n <= 0) break;
        sent += n;
    }
    shutdown(client, SD_SEND);
    WaitForSingleObject(thread, INFINITE);
    const double seconds = watch.Seconds();
    CloseHandle(thread);
    closesocket(client);
    closesocket(receiver.s);
    closesocket(listener);
    if (receiver.received != kTotal)
        std::printf("round lost bytes: %lld of %lld\n", receiver.received, kTotal);
    return seconds;
}

} // namespace

int wmain() {
    if (QX_InitSocket() != 0) return 1;
    double ours = 0, raw = 0;
    for (int round = 0; round < 3; ++round) {
        ours += Round(true);
        raw += Round(false);
    }
    QX_DoneSocket();
    const double mib = 3.0 * static_cast<double>(kTotal) / (1 << 20);
    std::printf(
        "3 x 256 MiB over loopback in 64 KiB pieces: QX_Send/QX_Recv %.3f s (%.0f MiB/s), send/recv %.3f s "
        "(%.0f MiB/s), ratio %.2f\n",
        ours, mib / ours, raw, mib / raw, ours / raw);
    return 0;
}
