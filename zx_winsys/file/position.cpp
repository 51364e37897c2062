// File position and end of file.
#include <windows.h>

#include "zx_winsys/qx_file.h"

extern "C" {

int QX_SeekFile(void *handle, int64_t distance, int origin) {
    static const DWORD kMethods[3] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    if (origin < 0 || origin > 2) return QX_ERR_SEEK_FILE;
    LARGE_INTEGER move;
    move.QuadPart = distance;
    return SetFilePointerEx(handle, move, nullptr, kMethods[origin]) ? QX_OK : QX_ERR_SEEK_FILE;
}

int QX_FilePosition(void *handle, uint64_t *position) {
    if (!position) return QX_ERR_INVALID_ARG;
    LARGE_INTEGER zero, now;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(handle, zero, &now, FILE_CURRENT)) {
        *position = 0;
        return QX_ERR_FILE_POSITION;
    }
    *position = static_cast<uint64_t>(now.QuadPart);
    return QX_OK;
}

int QX_SetEOF(void *handle) {
    return SetEndOfFile(handle) ? QX_OK : QX_ERR_SET_EOF;
}

} // extern "C"
