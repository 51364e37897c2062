// Directory listing with fixed records.
#include <windows.h>

#include "zx_winsys/internal/filetime.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_directory.h"

namespace {

int Fill(const WIN32_FIND_DATAW &found, SQxFindData *data) {
    if (!data) return QX_OK;
    const FILETIME *times[3] = {&found.ftCreationTime, &found.ftLastAccessTime, &found.ftLastWriteTime};
    struct tm *records[3] = {data->creation, data->lastAccess, data->lastWrite};
    for (int i = 0; i < 3; ++i) {
        if (records[i] && !qx::FileTimeToTm(*times[i], records[i])) return QX_ERR_SYSTEM;
    }
    data->size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    qx::CopyBounded(data->name, 260, found.cFileName, qx::Termination::Always);
    data->isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return QX_OK;
}

} // namespace

extern "C" {

int QX_FindFileFirst(const wchar_t *pattern, void **handle, SQxFindData *data) {
    if (!handle) return QX_ERR_INVALID_ARG;
    if (!pattern) return QX_ERR_FIND_FIRST;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return QX_ERR_FIND_FIRST;
    *handle = find;
    return Fill(found, data);
}

int QX_FindFileNext(void *handle, SQxFindData *data) {
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(handle, &found)) return QX_ERR_FIND_NEXT;
    return Fill(found, data);
}

int QX_FindFileClose(void *handle) {
    return FindClose(handle) ? QX_OK : QX_ERR_FIND_CLOSE;
}

} // extern "C"
