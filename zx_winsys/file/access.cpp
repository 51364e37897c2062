// QX_AccessFile: existence and read-only test.
#include <windows.h>

#include "zx_winsys/internal/critical_errors.h"
#include "zx_winsys/qx_file.h"

extern "C" int QX_AccessFile(const wchar_t *path, int mode) {
    if (!path) return QX_ERR_INVALID_ARG;
    DWORD attributes;
    {
        qx::CriticalErrorsOff quiet;
        attributes = GetFileAttributesW(path);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) return QX_ERR_NO_ACCESS;
    if ((attributes & FILE_ATTRIBUTE_READONLY) && (mode & 0x02)) return QX_ERR_READ_ONLY;
    return QX_OK;
}
