// File sizes from a handle or a name.
#include <windows.h>

#include "zx_winsys/qx_file.h"

extern "C" {

int QX_GetFileSize(void *handle, uint64_t *size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle, &value)) {
        if (size) *size = 0;
        return QX_ERR_FILE_SIZE;
    }
    if (size) *size = static_cast<uint64_t>(value.QuadPart);
    return QX_OK;
}

int QX_GetFileSizeFromName(const wchar_t *path, uint64_t *size) {
    void *handle = nullptr;
    int status = QX_OpenFile(path, QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &handle);
    if (status != QX_OK) {
        // A writer may hold the file: open once more, letting it write.
        status = QX_OpenFile(path, QX_OPEN_READ, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &handle);
        if (status != QX_OK) return status;
    }
    status = QX_GetFileSize(handle, size);
    QX_CloseFile(handle);
    return status;
}

} // extern "C"
