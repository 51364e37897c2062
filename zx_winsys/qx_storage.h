/* Storage folders, the writability probe, recursive removal, access rights and the local-options
 * switch. The storage settings and the local-options cache are process-wide and unguarded:
 * set them before composing paths, not while other threads read them. */
#ifndef QX_STORAGE_H
#define QX_STORAGE_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* Shell folder of the storage folder unless set otherwise: the all-users application data. */
#define QX_STORAGE_SHELL_FOLDER_DEFAULT 35

QX_EXTERN_C_BEGIN

/* folder: a relative path such as "Company\\Product"; shellFolderId: the system's shell-folder
 * number it lives in. A folder of 260 characters or more gives QX_ERR_BUFFER_TOO_SMALL and the
 * settings stay as they were. */
QX_API int QX_SetStorageFolder(const wchar_t *folder, int shellFolderId);
/* An empty name switches the per-user level off. A name of 260 characters or more gives
 * QX_ERR_BUFFER_TOO_SMALL and the user set before stays. */
QX_API int QX_SetStorageUser(const wchar_t *user);
/* shell folder + "\\" + storage folder, + "\\" + user when shared is false and a user is set.
 * Copies at most length characters, terminated only when the path is shorter. QX_ERR_INVALID_ARG
 * when the shell rejects the folder number; QX_ERR_SYSTEM (buffer emptied) when the shell
 * cannot give the folder for another reason. Nothing is created on disk. */
QX_API int QX_GetStoragePath(wchar_t *buffer, int length, bool shared);

/* True when a probe file can be created: inside the folder for a path ending with a separator
 * ("file_451_124_54545.tested"), otherwise beside the named item (path + ".tested"). The probe
 * is deleted again; an existing file of that name is overwritten and deleted. */
QX_API bool QX_IsDirectoryWritable(const wchar_t *path);
/* Deletes the tree, read-only files included. QX_ERR_INVALID_ARG, before anything is touched, for
 * "", a bare drive ("T:"), anything that resolves to the root of a drive or share, and a system or
 * user folder (Windows, Program Files, the profile and its known folders, the temporary folder) or
 * a folder holding one. Names are removed as listed, trailing dots and blanks included. Entries whose names
 * start with "." are left, and then their folder too (QX_ERR_REMOVE_DIRECTORY). Stops at the first failing
 * entry. A directory link (symbolic link, junction) is removed itself and never entered; where the system
 * cannot remove it the call fails with QX_ERR_REMOVE_DIRECTORY and nothing outside the tree is touched. */
QX_API int QX_RemoveDirectoryRecursively(const wchar_t *path);

/* Not supported: QX_ERR_NOT_SUPPORTED, *rights is not written. */
QX_API int QX_GetAccessRights(const wchar_t *path, unsigned int *rights);
/* Changes nothing. Checks that the data an access-list change needs can be read, then returns
 * QX_ERR_NOT_SUPPORTED; QX_ERR_ACCESS_RIGHTS when it cannot be read (a missing file),
 * QX_ERR_NO_SYSTEM_FUNCTION when a security function is missing. rights is not used. */
QX_API int QX_SetAccessRights(const wchar_t *path, unsigned int rights);

/* True when HKEY_LOCAL_MACHINE\SOFTWARE\Varnholt\Misc "LocalOptions" holds the 4-byte number 1.
 * The registry is read by the first call only; later calls answer from the cache. */
QX_API bool QX_IsLocalOption(const wchar_t *unused);
/* Overwrites the cached answer. A first QX_IsLocalOption after it still reads the registry. */
QX_API void QX_SetLocalOption(bool value);

QX_EXTERN_C_END

#endif
