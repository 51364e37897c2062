// QX_ReadFile and QX_WriteFile: synchronous transfers at the current position, or queued ones.
#include <windows.h>

#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/qx_file.h"

namespace {

// Largest count handed to one system call; larger transfers are split.
const size_t kMaxSystemTransfer = 0x40000000;

// Moves count bytes in pieces of at most kMaxSystemTransfer with step(offset, piece, &moved),
// stopping at a failure or a short piece (the end of the file). *transferred (may be null)
// follows the bytes moved.
template <typename Step> bool Transfer(size_t count, size_t *transferred, Step step) {
    size_t total = 0;
    if (transferred) *transferred = 0;
    do {
        const DWORD want =
            static_cast<DWORD>(count - total < kMaxSystemTransfer ? count - total : kMaxSystemTransfer);
        DWORD moved = 0;
        const BOOL ok = step(total, want, &moved);
        total += moved;
        if (transferred) *transferred = total;
        if (!ok) return false;
        if (moved < want) break;
    } while (total < count);
    return true;
}

} // namespace

extern "C" {

int QX_ReadFile(void *handle, void *buffer, size_t count, size_t *transferred, const SQxAsyncIO *async) {
    if (!buffer && count != 0) return QX_ERR_INVALID_ARG;
    if (async) return qx::SubmitTransfer(qx::TransferKind::Read, handle, buffer, count, *async);
    char *out = static_cast<char *>(buffer);
    return Transfer(count, transferred,
                    [&](size_t at, DWORD want, DWORD *got) {
                        return ReadFile(handle, out + at, want, got, nullptr);
                    })
               ? QX_OK
               : QX_ERR_READ_FILE;
}

int QX_WriteFile(void *handle, const void *buffer, size_t count, size_t *transferred,
                 const SQxAsyncIO *async) {
    if (!buffer && count != 0) return QX_ERR_INVALID_ARG;
    if (async)
        return qx::SubmitTransfer(qx::TransferKind::Write, handle, const_cast<void *>(buffer), count, *async);
    const char *in = static_cast<const char *>(buffer);
    return Transfer(count, transferred,
                    [&](size_t at, DWORD want, DWORD *put) {
                        return WriteFile(handle, in + at, want, put, nullptr);
                    })
               ? QX_OK
               : QX_ERR_WRITE_FILE;
}

} // extern "C"
