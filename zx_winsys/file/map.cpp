// Memory-mapped views aligned to the allocation granularity.
#include <windows.h>

#include "zx_winsys/qx_file.h"

namespace {

uint64_t Granularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

} // namespace

extern "C" {

int QX_MapFile(void *handle, int mode, uint64_t offset, uint32_t length, void **address) {
    static const DWORD kProtection[3] = {PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY};
    static const DWORD kAccess[3] = {FILE_MAP_READ, FILE_MAP_WRITE, FILE_MAP_COPY};
    if (!address || mode < 1 || mode > 3) return QX_ERR_INVALID_ARG;
    // The system takes INVALID_HANDLE_VALUE as a request for memory of no file (what a caller's
    // variable holds after a failed open): only a handle of a file on disk is mapped.
    if (!handle || handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK)
        return QX_ERR_INVALID_ARG;

    const uint64_t granularity = Granularity();
    const uint64_t start = offset - offset % granularity;
    const uint64_t cut = offset - start;
    const uint64_t viewLength = static_cast<uint64_t>(length) + cut;
    const uint64_t maximum = offset + length;
    if (viewLength > static_cast<uint64_t>(SIZE_MAX) || maximum < offset) return QX_ERR_INVALID_ARG;

    HANDLE mapping =
        CreateFileMappingW(handle, nullptr, kProtection[mode - 1], static_cast<DWORD>(maximum >> 32),
                           static_cast<DWORD>(maximum), nullptr);
    if (!mapping) return QX_ERR_SYSTEM;
    void *view = MapViewOfFile(mapping, kAccess[mode - 1], static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start), static_cast<SIZE_T>(viewLength));
    // The view keeps the mapping alive.
    const bool closed = CloseHandle(mapping) != 0;
    if (!closed || (view && reinterpret_cast<uintptr_t>(view) % granularity != 0)) {
        if (view) UnmapViewOfFile(view);
        return QX_ERR_FAILED;
    }
    if (!view) return QX_ERR_SYSTEM;
    *address = static_cast<char *>(view) + cut;
    return QX_OK;
}

int QX_UnmapFile(void *address) {
    if (!address) return QX_ERR_INVALID_ARG;
    uintptr_t base = reinterpret_cast<uintptr_t>(address);
    base -= base % static_cast<uintptr_t>(Granularity());
    return UnmapViewOfFile(reinterpret_cast<void *>(base)) ? QX_OK : QX_ERR_SYSTEM;
}

} // extern "C"
