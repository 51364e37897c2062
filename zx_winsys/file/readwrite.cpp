// QX_ReadFile and QX_WriteFile: synchronous transfers at the current position, or queued ones.
#include <windows.h>

#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/qx_file.h"

namespace {

// Largest count handed to one system call; larger transfers are split.
const size_t kMaxSystemTransfer = 0x40000000;

DWORD ChunkOf(size_t remaining) {
    return static_cast<DWORD>(remaining < kMaxSystemTransfer ? remaining : kMaxSystemTransfer);
}

} // namespace

extern "C" {

int QX_ReadFile(void *handle, void *buffer, size_t count, size_t *transferred, const SQxAsyncIO *async) {
    if (!buffer && count != 0) return QX_ERR_INVALID_ARG;
    if (async) return qx::SubmitTransfer(qx::TransferKind::Read, handle, buffer, count, *async);

    size_t total = 0;
    if (transferred) *transferred = 0;
    char *out = static_cast<char *>(buffer);
    do {
        DWORD want = ChunkOf(count - total);
        DWORD got = 0;
        BOOL ok = ReadFile(handle, out + total, want, &got, nullptr);
        total += got;
        if (transferred) *transferred = total;
        if (!ok) return QX_ERR_READ_FILE;
        if (got < want) break; // end of file
    } while (total < count);
    return QX_OK;
}

int QX_WriteFile(void *handle, const void *buffer, size_t count, size_t *transferred,
                 const SQxAsyncIO *async) {
    if (!buffer && count != 0) return QX_ERR_INVALID_ARG;
    if (async)
        return qx::SubmitTransfer(qx::TransferKind::Write, handle, const_cast<void *>(buffer), count, *async);

    size_t total = 0;
    if (transferred) *transferred = 0;
    const char *in = static_cast<const char *>(buffer);
    do {
        DWORD want = ChunkOf(count - total);
        DWORD put = 0;
        BOOL ok = WriteFile(handle, in + total, want, &put, nullptr);
        total += put;
        if (transferred) *transferred = total;
        if (!ok) return QX_ERR_WRITE_FILE;
        if (put < want) break;
    } while (total < count);
    return QX_OK;
}

} // extern "C"
