/* File handles: open and close, read and write (synchronous or asynchronous), position, locks,
 * end of file, times, sizes, the access test, copy, move, replace, remove and mapped views.
 *
 * A handle is the system's file handle as an opaque value, owned by the caller of QX_OpenFile
 * until QX_CloseFile. Times are local broken-down times (struct tm). Every function returns
 * QX_OK or a negative status of qx_status.h; a required pointer that is null gives
 * QX_ERR_INVALID_ARG. */
#ifndef QX_FILE_H
#define QX_FILE_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* Open flags (second argument of QX_OpenFile). Creation disposition, in this precedence:
 * CREATE|ALWAYS create always; CREATE create new; ALWAYS open always; TRUNCATE truncate
 * existing; none of them open existing. Higher bits are ignored. */
#define QX_OPEN_READ 0x01
#define QX_OPEN_WRITE 0x02
#define QX_OPEN_CREATE 0x04
#define QX_OPEN_ALWAYS 0x08
#define QX_OPEN_TRUNCATE 0x10

/* Share set: what other openers may do. 0 opens exclusively; delete and rename are never shared. */
#define QX_SHARE_READ 0x01
#define QX_SHARE_WRITE 0x02

/* Permission modes: the system's default security, or (for a file the open creates) an access
 * list granting full control to the current user alone. 0x700 is hexadecimal, not octal. */
#define QX_PERM_DEFAULT (-1)
#define QX_PERM_OWNER_ONLY 0x700

/* Called by the asynchronous engine with QX_IO_PENDING while a transfer goes on, then once
 * with 0, a failing status, or QX_IO_CANCELLED when its handle was closed before it finished;
 * transferred counts the bytes moved so far. */
typedef void (*QxAsyncIOCallback)(int status, size_t transferred, void *user);
/* Copy progress: QX_IO_PENDING, then 0, QX_IO_CANCELLED or a failing status. */
typedef void (*QxCopyProgressCallback)(int status, uint64_t size, uint64_t copied, void *user);

/* Asynchronous transfer record: read once at submission and free for reuse afterwards. */
typedef struct SQxAsyncIO {
    uint64_t offset;
    void *user;
    QxAsyncIOCallback callback;
} SQxAsyncIO;

QX_EXTERN_C_BEGIN

/* Opens or creates path. perm other than QX_PERM_DEFAULT and QX_PERM_OWNER_ONLY gives
 * QX_ERR_NOT_SUPPORTED before anything is opened; a null handle pointer QX_ERR_INVALID_ARG.
 * QX_ERR_SYSTEM when the owner-only access list cannot be built (nothing is created);
 * QX_ERR_OPEN_FILE when the open fails. *handle is written only on success. */
QX_API int QX_OpenFile(const wchar_t *path, int flags, int share, int perm, void **handle);
/* Closes the handle: 0, or QX_ERR_CLOSE_FILE (also for a null handle and INVALID_HANDLE_VALUE).
 * Asynchronous reads and writes still queued on it are dropped first, each calling back with
 * QX_IO_CANCELLED, and a chunk in progress is waited for (not from inside a callback), so that
 * none of them lands in a file that is given the same handle value later. */
QX_API int QX_CloseFile(void *handle);

/* Asynchronous transfers run on worker threads that start on demand and retire after about 20
 * idle cycles; each moves 4096 bytes per turn, at the record's offset, and the requests of one
 * worker take turns. Callbacks may submit further transfers and cancel.
 *
 * Without async: reads at the current position and stores the count read in *transferred
 * (may be null); a short count at the end of the file is success. Counts above what one system
 * call takes are split. On failure *transferred holds the bytes read before it.
 * With async: queues the transfer at async->offset and returns the submission status; the
 * buffer must stay valid until the final callback and *transferred is not touched. */
QX_API int QX_ReadFile(void *handle, void *buffer, size_t count, size_t *transferred,
                       const SQxAsyncIO *async);
QX_API int QX_WriteFile(void *handle, const void *buffer, size_t count, size_t *transferred,
                        const SQxAsyncIO *async);

/* origin: 0 start, 1 current position, 2 end. */
QX_API int QX_SeekFile(void *handle, int64_t distance, int origin);
/* On failure *position is set to 0 and QX_ERR_FILE_POSITION is returned. */
QX_API int QX_FilePosition(void *handle, uint64_t *position);
/* Drops the queued asynchronous reads and writes of the handle; copies are not affected. Always 0.
 * Called outside a transfer callback it also waits for a chunk of the handle in progress, so no
 * callback for the handle's reads and writes comes after it returns. Called from a callback it
 * does not wait: a chunk running on another worker may then report once more. */
QX_API int QX_CancelAsyncIO(void *handle);
QX_API int QX_LockFile(void *handle, uint64_t offset, uint64_t length);
QX_API int QX_UnlockFile(void *handle, uint64_t offset, uint64_t length);
/* Makes the current position the end of the file. */
QX_API int QX_SetEOF(void *handle);

/* Sets the given times (each may be null and is then left unchanged). tm_wday, tm_yday and
 * tm_isdst are not read. QX_ERR_INVALID_ARG when a record cannot be converted. */
QX_API int QX_TouchFile(void *handle, const struct tm *creation, const struct tm *access,
                        const struct tm *write);
/* Fills the non-null records in this order, with tm_isdst = -1. Returns QX_ERR_SYSTEM as soon
 * as one conversion fails; records before it are already filled. */
QX_API int QX_GetFileTimes(void *handle, struct tm *creation, struct tm *access, struct tm *write);

/* size may be null. On failure *size is set to 0 and QX_ERR_FILE_SIZE is returned. */
QX_API int QX_GetFileSize(void *handle, uint64_t *size);
/* Opens for reading (shared read, then shared read and write), reads the size, closes. */
QX_API int QX_GetFileSizeFromName(const wchar_t *path, uint64_t *size);

/* mode bit 0x02: write access wanted. QX_ERR_NO_ACCESS when the item cannot be examined,
 * QX_ERR_READ_ONLY when it is read-only and write is asked. No critical-error dialogs. */
QX_API int QX_AccessFile(const wchar_t *path, int mode);

/* Synchronous when cont and callback are both null: QX_ERR_FILE_EXISTS (fail-if-exists and the
 * target exists), QX_ERR_NO_ACCESS or QX_ERR_COPY_FILE on failure. Otherwise both files are
 * opened here and the copy is queued: the open status or the submission status is returned,
 * and the callback reports progress. The copy goes on while cont is null or *cont is nonzero.
 * A target that is the source itself (another spelling, a link) gives QX_ERR_COPY_FILE in both
 * modes, and the file is left as it was. */
QX_API int QX_CopyFile(const wchar_t *source, const wchar_t *target, int failIfExists, int *cont,
                       QxCopyProgressCallback callback, void *user);
/* Moves at once; across volumes it becomes QX_CopyFile with the same arguments and the source
 * stays. QX_ERR_NO_ACCESS, QX_ERR_SHARING_VIOLATION or QX_ERR_MOVE_FILE on failure. */
QX_API int QX_MoveFile(const wchar_t *source, const wchar_t *target, int failIfExists, int *cont,
                       QxCopyProgressCallback callback, void *user);
/* Moves replaced to backup, then replacement to replaced; stops at the first failure. The
 * backup move is always synchronous (across volumes a synchronous copy, the replaced file staying
 * until the second move replaces it); cont and callback apply to the second move only. */
QX_API int QX_ReplaceFile(const wchar_t *replacement, const wchar_t *replaced, const wchar_t *backup,
                          int *cont, QxCopyProgressCallback callback, void *user);
/* Deletes the file, read-only or not. A missing file is success unless reportMissing is set.
 * QX_ERR_NO_ACCESS when access is denied, else QX_ERR_REMOVE_FILE. */
QX_API int QX_RemoveFile(const wchar_t *path, int reportMissing);

/* Maps length bytes from offset. mode: 1 read only, 2 read and write, 3 copy on write.
 * *address points exactly at offset inside a view aligned to the allocation granularity.
 * QX_ERR_INVALID_ARG for a handle that is not a file on disk (null, INVALID_HANDLE_VALUE). */
QX_API int QX_MapFile(void *handle, int mode, uint64_t offset, uint32_t length, void **address);
/* Unmaps the view that contains address (as returned by QX_MapFile). */
QX_API int QX_UnmapFile(void *address);

QX_EXTERN_C_END

#endif
