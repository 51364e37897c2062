// Many loopback clients at once, served by one thread through select: every byte arrives in order
// whatever the split points, and every socket is closed afterwards.
// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "testsupport/zxtest.h"
#include "zx_winsys/tests/net/sockets.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kClients = 32;
constexpr int kMaxPiece = 65536;
constexpr DWORD kDeadlineMs = 60000;

uint64_t Fnv1a(uint64_t hash, const char *bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(bytes[i]);
        hash *= 1099511628211ULL;
    }
    return hash;
}
constexpr uint64_t kFnvStart = 14695981039346656037ULL;

struct Random {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int Piece() { return 1 + static_cast<int>(Next() % kMaxPiece); }
};

// What a client sends: its number, the data's length, the data, the data's checksum.
struct Header {
    uint32_t id;
    uint32_t length;
};

struct Client {
    int id = 0;
    int bytes = 0;
    sockaddr_in server = {};
    bool ok = false;
};

DWORD WINAPI RunClient(void *argument) {
    Client &client = *static_cast<Client *>(argument);
    Random random{static_cast<uint32_t>(client.id) * 2654435761u + 1};
    std::vector<char> data(client.bytes);
    for (char &c : data)
        c = static_cast<char>(random.Next() >> 24);
    const uint64_t checksum = Fnv1a(kFnvStart, data.data(), data.size());

    SOCKET s = QX_Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (QX_Connect(s, reinterpret_cast<sockaddr *>(&client.server), sizeof client.server) != 0) {
        QX_CloseSocket(s);
        return 1;
    }
    const Header header = {static_cast<uint32_t>(client.id), static_cast<uint32_t>(client.bytes)};
    bool sent = zxtest_net::SendAll(s, reinterpret_cast<const char *>(&header), sizeof header);
    for (int offset = 0; sent && offset < client.bytes;) {
        const int piece = (std::min)(random.Piece(), client.bytes - offset);
        sent = zxtest_net::SendAll(s, data.data() + offset, piece);
        offset += piece;
    }
    sent = sent && zxtest_net::SendAll(s, reinterpret_cast<const char *>(&checksum), sizeof checksum);
    uint64_t reply = 0;
    client.ok = sent && QX_Shutdown(s, SD_SEND) == 0 &&
                zxtest_net::ReceiveAll(s, reinterpret_cast<char *>(&reply), sizeof reply) &&
                reply == checksum;
    QX_CloseSocket(s);
    return 0;
}

// The server's view of one connection: the bytes so far go through a small parser.
struct Connection {
    SOCKET s = INVALID_SOCKET;
    std::vector<char> pending; // header or trailer bytes not yet complete
    Header header = {};
    bool haveHeader = false;
    uint32_t received = 0;
    uint64_t checksum = kFnvStart;
    uint64_t trailer = 0;
    bool haveTrailer = false;
    bool overrun = false;

    void Take(const char *bytes, int length) {
        while (length > 0) {
            if (!haveHeader) {
                const int n = (std::min)(length, static_cast<int>(sizeof header - pending.size()));
                pending.insert(pending.end(), bytes, bytes + n);
                bytes += n;
                length -= n;
                if (pending.size() == sizeof header) {
                    std::memcpy(&header, pending.data(), sizeof header);
                    pending.clear();
                    haveHeader = true;
                }
            } else if (received < header.length) {
                const int n = (std::min)(length, static_cast<int>(header.length - received));
                checksum = Fnv1a(checksum, bytes, n);
                received += n;
                bytes += n;
                length -= n;
            } else if (!haveTrailer) {
                const int n = (std::min)(length, static_cast<int>(sizeof trailer - pending.size()));
                pending.insert(pending.end(), bytes, bytes + n);
                bytes += n;
                length -= n;
                if (pending.size() == sizeof trailer) {
                    std::memcpy(&trailer, pending.data(), sizeof trailer);
                    haveTrailer = true;
                }
            } else {
                overrun = true;
                return;
            }
        }
    }
    bool Complete(int bytes) const {
        return haveHeader && haveTrailer && !overrun && header.length == static_cast<uint32_t>(bytes) &&
               received == header.length && trailer == checksum;
    }
};

} // namespace

TEST_CASE("reliability: 32 loopback clients at once, served through select, with random split points") {
    zxtest_net::SocketSystem sockets;
    const int baseline = zxtest_net::CountSockets();
    const int bytes = 4 << 20;

    sockaddr_in address = {};
    SOCKET listener = zxtest_net::Listener(&address);
    Client clients[kClients];
    HANDLE threads[kClients];
    for (int i = 0; i < kClients; ++i) {
        clients[i].id = i;
        clients[i].bytes = bytes;
        clients[i].server = address;
        threads[i] = CreateThread(nullptr, 0, RunClient, &clients[i], 0, nullptr);
        REQUIRE(threads[i] != nullptr);
    }

    std::vector<Connection> open;
    int accepted = 0, served = 0, good = 0;
    Random random{12345};
    std::vector<char> buffer(kMaxPiece);
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    while (served < kClients && GetTickCount64() < deadline) {
        fd_set readable;
        FD_ZERO(&readable);
        if (accepted < kClients) FD_SET(listener, &readable);
        for (const Connection &c : open)
            FD_SET(c.s, &readable);
        const timeval wait = {1, 0};
        const int ready = QX_Select(0, &readable, nullptr, nullptr, &wait);
        REQUIRE(ready >= 0);
        if (FD_ISSET(listener, &readable)) {
            Connection c;
            c.s = QX_Accept(listener, nullptr, nullptr);
            REQUIRE(c.s != INVALID_SOCKET);
            open.push_back(c);
            ++accepted;
        }
        for (size_t i = 0; i < open.size();) {
            Connection &c = open[i];
            if (!FD_ISSET(c.s, &readable)) {
                ++i;
                continue;
            }
            const int n = QX_Recv(c.s, buffer.data(), random.Piece(), 0);
            if (n > 0) {
                c.Take(buffer.data(), n);
                ++i;
                continue;
            }
            // The end of the client's data: answer with the checksum as received.
            if (n == 0 && c.Complete(bytes)) {
                ++good;
                zxtest_net::SendAll(c.s, reinterpret_cast<const char *>(&c.checksum), sizeof c.checksum);
            }
            QX_CloseSocket(c.s);
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
            ++served;
        }
    }
    CHECK(served == kClients);
    CHECK(good == kClients);
    CHECK(WaitForMultipleObjects(kClients, threads, TRUE, kDeadlineMs) == WAIT_OBJECT_0);
    for (int i = 0; i < kClients; ++i) {
        CAPTURE(i);
        CHECK(clients[i].ok);
        CloseHandle(threads[i]);
    }
    for (const Connection &c : open)
        QX_CloseSocket(c.s);
    CHECK(QX_CloseSocket(listener) == 0);
    CHECK(zxtest_net::CountSockets() == baseline);
}
