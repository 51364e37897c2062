/* Sockets, UUIDs, memory status and platform queries.
 *
 * The socket wrappers take the arguments of the system call of the same name, in the same
 * order, and use the system's own socket types. Where a comment says "0 or -1", -1 is
 * QX_ERR_FAILED and the system's error number is available from QX_GetLastSocketError().
 *
 * Include this header before windows.h, which may bring in the old socket header otherwise.
 * Programs that use FD_ISSET link the system's socket library (ws2_32). */
#ifndef QX_NET_H
#define QX_NET_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifndef _WINSOCKAPI_
#include <winsock2.h>
#endif
#include <windows.h>
#include <rpc.h>

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the socket system asking for version 1.1: 0 when exactly 1.1 is granted, else -1
 * (nothing is left started). */
QX_API int QX_InitSocket(void);
/* 0, or -1 on failure. */
QX_API int QX_DoneSocket(void);
/* The system's last socket error of the calling thread. */
QX_API int QX_GetLastSocketError(void);

/* The system's result: a socket, or INVALID_SOCKET. */
QX_API SOCKET QX_Socket(int af, int type, int protocol);
/* 0 or -1. */
QX_API int QX_CloseSocket(SOCKET s);
QX_API int QX_Bind(SOCKET s, const struct sockaddr *name, int nameLength);
/* 0 also when the connection is under way on a non-blocking socket (would block); else -1. */
QX_API int QX_Connect(SOCKET s, const struct sockaddr *name, int nameLength);
QX_API int QX_Listen(SOCKET s, int backlog);
/* The system's result. */
QX_API SOCKET QX_Accept(SOCKET s, struct sockaddr *address, int *addressLength);
/* The system's result: bytes moved, or SOCKET_ERROR. */
QX_API int QX_Send(SOCKET s, const char *buffer, int length, int flags);
QX_API int QX_Recv(SOCKET s, char *buffer, int length, int flags);
QX_API int QX_SendTo(SOCKET s, const char *buffer, int length, int flags, const struct sockaddr *to,
                     int toLength);
QX_API int QX_RecvFrom(SOCKET s, char *buffer, int length, int flags, struct sockaddr *from, int *fromLength);
/* The system's result. */
QX_API int QX_Select(int nfds, fd_set *readFds, fd_set *writeFds, fd_set *exceptFds,
                     const struct timeval *timeout);
/* 0 or -1. */
QX_API int QX_GetSockOpt(SOCKET s, int level, int optionName, char *optionValue, int *optionLength);
QX_API int QX_SetSockOpt(SOCKET s, int level, int optionName, const char *optionValue, int optionLength);
QX_API int QX_IoctlSocket(SOCKET s, long command, u_long *argument);
QX_API int QX_GetPeerName(SOCKET s, struct sockaddr *name, int *nameLength);
QX_API int QX_GetSockName(SOCKET s, struct sockaddr *name, int *nameLength);
QX_API int QX_Shutdown(SOCKET s, int how);

/* Byte order. */
QX_API u_long QX_HtoNl(u_long value);
QX_API u_short QX_HtoNs(u_short value);
QX_API u_long QX_NtoHl(u_long value);
QX_API u_short QX_NtoHs(u_short value);

/* The system's result (INADDR_NONE for a text that is no address). */
QX_API unsigned long QX_Inet_Addr(const char *text);
/* Dotted text of address with its terminator into buffer of size bytes. 0; -1 when there is no
 * text or it does not fit (nothing is written). */
QX_API int QX_Inet_NtoA(char *buffer, int size, struct in_addr address);
/* 0 or -1. */
QX_API int QX_GetHostName(char *name, int nameLength);

/* Look-ups: copy the fields of the entry found into *entry and return 0; -1 when nothing is
 * found. The copied names and lists point into the system's per-thread storage and stay valid
 * until the thread's next look-up. */
QX_API int QX_GetHostByAddr(struct hostent *entry, const char *address, int length, int type);
QX_API int QX_GetHostByName(struct hostent *entry, const char *name);
/* port: 16 bits, network byte order. */
QX_API int QX_GetServByPort(struct servent *entry, u_short port, const char *protocol);
QX_API int QX_GetServByName(struct servent *entry, const char *name, const char *protocol);
QX_API int QX_GetProtoByNumber(struct protoent *entry, int number);
QX_API int QX_GetProtoByName(struct protoent *entry, const char *name);

/* A new globally unique UUID into *uuid. 0, or QX_ERR_SYSTEM for any other outcome (also a
 * UUID that is only locally unique). */
QX_API int QX_Generate_Uuid(UUID *uuid);
/* 32 lower-case hexadecimal digits without separators into buffer (room for 33 characters).
 * 0; QX_ERR_INVALID_ARG when uuid or buffer is null. */
QX_API int QX_Type_Uuid(const UUID *uuid, wchar_t *buffer);
/* Not supported: always QX_ERR_NOT_SUPPORTED; reads none of its arguments. */
QX_API int QX_Parse_Uuid(const wchar_t *text, UUID *uuid);

/* Memory status in bytes into the non-null pointers: physical total and available, virtual
 * address space of the process total and available, paging capacity total and available.
 * Always 0; a failed query leaves zeros. */
QX_API int QX_GetMemoryStatus(uint64_t *totalPhysical, uint64_t *availablePhysical, uint64_t *totalVirtual,
                              uint64_t *availableVirtual, uint64_t *totalPaging, uint64_t *availablePaging);
/* True when a document of size bytes must not be loaded. *excess (excess may be null) gets the
 * bytes over the limit, 0 when the size alone is too large; untouched when the result is false.
 * trace writes the memory figures as detail traces.
 *
 * The limit is three quarters of the paging ceiling: the maximum size of the first paging file
 * plus the physical memory, at most the process's address space. What counts against it is the
 * used address space in the 32-bit build, and the committed private bytes of the process in the
 * 64-bit build (there the address space is so large that its mere reservations say nothing). */
QX_API bool QX_CheckSingleDocumentSizeOverflow(uint64_t size, uint64_t *excess, bool trace);

/* Bitness of this build of the library. */
QX_API bool QX_Is64Bit(void);
QX_API bool QX_Is32Bit(void);

#ifdef __cplusplus
}

/* The operating system's version record, filled when the library is loaded, and exact tests of
 * platform identifier, major and minor version. */
class QX_API CQxWinVersion {
public:
    static OSVERSIONINFOW s_osVersionInfo;

    /* Copies s_osVersionInfo. */
    static void GetOSVersionInfo(OSVERSIONINFOW &info);
    static bool IsWin95();
    static bool IsWin98();
    static bool IsWinME();
    static bool IsWin35();
    static bool IsWin40();
    static bool IsWin2k();
    static bool IsWinXP();
    static bool IsWinNT();

    /* Does nothing. */
    CQxWinVersion &operator=(const CQxWinVersion &other);
};

#endif /* __cplusplus */

#endif
