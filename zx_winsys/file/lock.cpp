// Byte-range locks.
#include <windows.h>

#include "zx_winsys/qx_file.h"

namespace {
DWORD Low(uint64_t v) {
    return static_cast<DWORD>(v & 0xFFFFFFFFu);
}
DWORD High(uint64_t v) {
    return static_cast<DWORD>(v >> 32);
}
} // namespace

extern "C" {

int QX_LockFile(void *handle, uint64_t offset, uint64_t length) {
    return LockFile(handle, Low(offset), High(offset), Low(length), High(length)) ? QX_OK : QX_ERR_LOCK_FILE;
}

int QX_UnlockFile(void *handle, uint64_t offset, uint64_t length) {
    return UnlockFile(handle, Low(offset), High(offset), Low(length), High(length)) ? QX_OK
                                                                                    : QX_ERR_UNLOCK_FILE;
}

} // extern "C"
