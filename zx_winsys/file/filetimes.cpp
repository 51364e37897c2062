// File times as local time records.
#include <windows.h>

#include "zx_winsys/internal/filetime.h"
#include "zx_winsys/qx_file.h"

extern "C" {

int QX_TouchFile(void *handle, const struct tm *creation, const struct tm *access, const struct tm *write) {
    FILETIME times[3];
    const struct tm *records[3] = {creation, access, write};
    FILETIME *pass[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        if (!records[i]) continue;
        if (!qx::TmToFileTime(*records[i], &times[i])) return QX_ERR_INVALID_ARG;
        pass[i] = &times[i];
    }
    return SetFileTime(handle, pass[0], pass[1], pass[2]) ? QX_OK : QX_ERR_SET_FILE_TIMES;
}

int QX_GetFileTimes(void *handle, struct tm *creation, struct tm *access, struct tm *write) {
    FILETIME times[3];
    if (!GetFileTime(handle, &times[0], &times[1], &times[2])) return QX_ERR_GET_FILE_TIMES;
    struct tm *records[3] = {creation, access, write};
    for (int i = 0; i < 3; ++i) {
        if (records[i] && !qx::FileTimeToTm(times[i], records[i])) return QX_ERR_SYSTEM;
    }
    return QX_OK;
}

} // extern "C"
