// Creating and removing directories, and the process's current directory.
#include <windows.h>

#include <string>

#include "zx_winsys/internal/errors.h"
#include "zx_winsys/internal/paths.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_directory.h"

namespace {

// Index of the first separator at or after from, or -1.
int NextSeparator(const wchar_t *path, int from) {
    for (int i = from; path[i] != L'\0'; ++i)
        if (qx::IsSeparator(path[i])) return i;
    return -1;
}

bool CreateOne(const wchar_t *path) {
    return CreateDirectoryW(path, nullptr) || qx::LastErrorKind() == qx::ErrorKind::Exists;
}

} // namespace

extern "C" {

int QX_CreateDirectory(const wchar_t *path, int createParents, int /*reserved*/) {
    if (!path) return QX_ERR_INVALID_ARG;
    wchar_t work[qx::kMaxPath] = {};
    if (wcslen(path) >= qx::kMaxPath) return QX_ERR_CREATE_DIRECTORY;
    // Parents are those of the path the system resolves: "a\x\..\b" needs "a", never "a\x".
    const std::wstring resolved = createParents ? qx::ResolveDots(path) : std::wstring(path);
    if (resolved.size() >= qx::kMaxPath) return QX_ERR_CREATE_DIRECTORY;
    wcscpy(work, resolved.c_str());

    if (createParents) {
        int at = NextSeparator(work, 0);
        if (at == 0 && qx::IsSeparator(work[1])) {
            // Network path: the server and the share are not created.
            at = NextSeparator(work, 2);
            if (at >= 0) at = NextSeparator(work, at + 1);
        }
        while (at >= 0) {
            const wchar_t separator = work[at];
            work[at] = L'\0';
            if (GetFileAttributesW(work) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(work, nullptr))
                return QX_ERR_CREATE_DIRECTORY;
            work[at] = separator;
            at = NextSeparator(work, at + 1);
        }
    }
    return CreateOne(work) ? QX_OK : QX_ERR_CREATE_DIRECTORY;
}

int QX_RemoveDirectory(const wchar_t *path) {
    if (!path) return QX_ERR_INVALID_ARG;
    return RemoveDirectoryW(path) ? QX_OK : QX_ERR_REMOVE_DIRECTORY;
}

int QX_GetCurrentDirectory(wchar_t *buffer, int length) {
    if (!buffer) return QX_ERR_INVALID_ARG;
    return qx::FillOrEmpty(buffer, length, QX_ERR_GET_CURRENT_DIRECTORY,
                           [](wchar_t *out, DWORD room) { return GetCurrentDirectoryW(room, out); });
}

int QX_SetCurrentDirectory(const wchar_t *path) {
    if (!path) return QX_ERR_INVALID_ARG;
    return SetCurrentDirectoryW(path) ? QX_OK : QX_ERR_SET_CURRENT_DIRECTORY;
}

int QX_GetDiskSpaces(const wchar_t *directory, uint64_t *freeToCaller, uint64_t *total, uint64_t *totalFree) {
    ULARGE_INTEGER caller, all, free;
    if (!GetDiskFreeSpaceExW(directory, &caller, &all, &free)) return QX_ERR_DISK_SPACE;
    if (freeToCaller) *freeToCaller = caller.QuadPart;
    if (total) *total = all.QuadPart;
    if (totalFree) *totalFree = free.QuadPart;
    return QX_OK;
}

} // extern "C"
