// Byte order, address texts, the host name and the host, service and protocol look-ups.
#include "zx_winsys/qx_net.h"

#include <cstring>

namespace {

// Copies the fields of a found entry. The names and lists it points to stay in the system's
// per-thread storage.
template <typename Entry> int CopyEntry(Entry *entry, const Entry *found) {
    if (found == nullptr) return QX_ERR_FAILED;
    *entry = *found;
    return 0;
}

} // namespace

extern "C" {

u_long QX_HtoNl(u_long value) {
    return htonl(value);
}

u_short QX_HtoNs(u_short value) {
    return htons(value);
}

u_long QX_NtoHl(u_long value) {
    return ntohl(value);
}

u_short QX_NtoHs(u_short value) {
    return ntohs(value);
}

unsigned long QX_Inet_Addr(const char *text) {
    return inet_addr(text);
}

int QX_Inet_NtoA(char *buffer, int size, struct in_addr address) {
    if (buffer == nullptr || size <= 0) return QX_ERR_FAILED;
    const char *text = inet_ntoa(address);
    if (text == nullptr) return QX_ERR_FAILED;
    size_t needed = std::strlen(text) + 1;
    if (needed > static_cast<size_t>(size)) return QX_ERR_FAILED;
    std::memcpy(buffer, text, needed);
    return 0;
}

int QX_GetHostName(char *name, int nameLength) {
    return gethostname(name, nameLength) == SOCKET_ERROR ? QX_ERR_FAILED : 0;
}

int QX_GetHostByAddr(struct hostent *entry, const char *address, int length, int type) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, gethostbyaddr(address, length, type));
}

int QX_GetHostByName(struct hostent *entry, const char *name) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, gethostbyname(name));
}

int QX_GetServByPort(struct servent *entry, u_short port, const char *protocol) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, getservbyport(port, protocol));
}

int QX_GetServByName(struct servent *entry, const char *name, const char *protocol) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, getservbyname(name, protocol));
}

int QX_GetProtoByNumber(struct protoent *entry, int number) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, getprotobynumber(number));
}

int QX_GetProtoByName(struct protoent *entry, const char *name) {
    if (entry == nullptr) return QX_ERR_FAILED;
    return CopyEntry(entry, getprotobyname(name));
}

} // extern "C"
