// QX_RemoveFile: deletes read-only files too.
#include <windows.h>

#include "zx_winsys/internal/errors.h"
#include "zx_winsys/qx_file.h"

extern "C" int QX_RemoveFile(const wchar_t *path, int reportMissing) {
    if (!path) return QX_ERR_INVALID_ARG;
    DWORD attributes = GetFileAttributesW(path);
    bool clearedReadOnly = false;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        clearedReadOnly = SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
    if (DeleteFileW(path)) return QX_OK;

    qx::ErrorKind kind = qx::LastErrorKind();
    // The file stays: give it its read-only attribute back.
    if (clearedReadOnly) SetFileAttributesW(path, attributes);
    switch (kind) {
    case qx::ErrorKind::Missing:
        return reportMissing ? QX_ERR_REMOVE_FILE : QX_OK;
    case qx::ErrorKind::Denied:
        return QX_ERR_NO_ACCESS;
    default:
        return QX_ERR_REMOVE_FILE;
    }
}
