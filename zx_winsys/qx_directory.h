/* Directories, the current directory, free space, temporary names, the search path, directory
 * listing, logical drives and volume information. Statuses as in qx_status.h. */
#ifndef QX_DIRECTORY_H
#define QX_DIRECTORY_H

#include <stdint.h>
#include <time.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* One listing entry. The caller sets the three time pointers (or null); the listing fills the
 * records they point to, the size, the name (without folder, always terminated) and the flag. */
typedef struct SQxFindData {
    struct tm *creation;
    struct tm *lastAccess;
    struct tm *lastWrite;
    uint64_t size;
    wchar_t name[260];
    bool isDirectory;
} SQxFindData;

/* Drive kinds of SQxVolumeInfo (the system's drive-type numbers). */
#define QX_DRIVE_UNKNOWN 0
#define QX_DRIVE_NO_ROOT 1
#define QX_DRIVE_REMOVABLE 2
#define QX_DRIVE_FIXED 3
#define QX_DRIVE_REMOTE 4
#define QX_DRIVE_CDROM 5
#define QX_DRIVE_RAMDISK 6

/* Volume record: driveKind and flags are outputs; each buffer may be null, and a given label
 * buffer has a length of at least 1. */
typedef struct SQxVolumeInfo {
    int driveKind;
    wchar_t *label;
    int labelLength;
    wchar_t *fileSystemName;
    int fileSystemNameLength;
    int flags;
} SQxVolumeInfo;

/* QX_GetTempFileName stops after this many candidates and returns QX_ERR_TEMP_PATH. A pattern
 * without "$" gives one candidate only, since every further one would be the same name. */
#define QX_TEMPNAME_MAX_CANDIDATES 4096

QX_EXTERN_C_BEGIN

/* Creates path; with createParents every missing folder on the way first (both "/" and "\\"
 * separate; a path starting with two separators keeps its server and share; "." and ".." are
 * resolved first, so "a\\x\\..\\b" never makes "a\\x"). 0 also when the
 * directory exists; QX_ERR_CREATE_DIRECTORY otherwise, also for paths of 260 characters or
 * more. reserved is not read. */
QX_API int QX_CreateDirectory(const wchar_t *path, int createParents, int reserved);
QX_API int QX_RemoveDirectory(const wchar_t *path);

/* A buffer too small for the answer gets an empty string and QX_ERR_GET_CURRENT_DIRECTORY;
 * a truncated path is never handed back. */
QX_API int QX_GetCurrentDirectory(wchar_t *buffer, int length);
QX_API int QX_SetCurrentDirectory(const wchar_t *path);
/* Each out value may be null. */
QX_API int QX_GetDiskSpaces(const wchar_t *directory, uint64_t *freeToCaller, uint64_t *total,
                            uint64_t *totalFree);

/* The temporary folder, ending with a separator. A buffer too small gets an empty string and
 * QX_ERR_TEMP_PATH. */
QX_API int QX_GetTempPath(wchar_t *buffer, int length);
/* A free name in directory (null: the temporary folder) from pattern, where every run of n "$"
 * stands for one pseudo-random number of at least n digits. The generator is reseeded with the
 * time in seconds at every call, so calls in the same second give the same names. With create
 * an empty file of that name is made (its open status is the result), and the name is copied,
 * terminated. QX_ERR_BUFFER_TOO_SMALL when the name and its terminator do not fit in length
 * characters, QX_ERR_INVALID_ARG for an empty directory, QX_ERR_TEMP_PATH when no free name turned
 * up or the name is too long: in all three nothing is created and the buffer gets an empty string. */
QX_API int QX_GetTempFileName(const wchar_t *directory, const wchar_t *pattern, int create, wchar_t *buffer,
                              int length);
/* searchPath null: the system's default order; extension may be null. QX_ERR_SEARCH_PATH when
 * nothing is found or the buffer is too small (it then gets an empty string). */
QX_API int QX_SearchPath(const wchar_t *searchPath, const wchar_t *fileName, const wchar_t *extension,
                         wchar_t *buffer, int length);

/* Lists pattern ("folder\\*"), "." and ".." included, in the system's order; data may be null.
 * The handle is stored before the record is filled: when filling fails (QX_ERR_SYSTEM) the
 * caller still closes it. */
QX_API int QX_FindFileFirst(const wchar_t *pattern, void **handle, SQxFindData *data);
/* QX_ERR_FIND_NEXT when there is no further entry. */
QX_API int QX_FindFileNext(void *handle, SQxFindData *data);
QX_API int QX_FindFileClose(void *handle);

/* Drive roots, one terminated string each, then an empty string. needed (may be null) receives
 * the length the system reports; QX_ERR_BUFFER_TOO_SMALL when that exceeds length. */
QX_API int QX_GetLogicalDriveStrings(wchar_t *buffer, int length, int *needed);
/* Drive kind of root; with a buffer also the label ("label (serial)" for removable, optical
 * and RAM drives), cut to the buffer and terminated in its last character. A given file-system
 * name buffer receives an empty string. */
QX_API int QX_GetVolumeInformation(const wchar_t *root, SQxVolumeInfo *info);
/* Not available on this platform: always QX_ERR_NOT_AVAILABLE. */
QX_API int QX_GetUNCPath(const wchar_t *localPath, wchar_t *buffer, int length);

QX_EXTERN_C_END

#endif
