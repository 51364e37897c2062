// Entry points of the asynchronous transfer engine for the file functions.
#pragma once

#include <stddef.h>

#include "zx_winsys/qx_file.h"

namespace qx {

enum class TransferKind { Read = 1, Write = 2 };

// Queues a read or write of count bytes at record.offset; 0 or QX_ERR_SYSTEM.
int SubmitTransfer(TransferKind kind, void *handle, void *buffer, size_t count, const SQxAsyncIO &record);
// Queues a copy; the request owns both handles from here on (they are closed when it ends,
// also when the submission fails). 0 or QX_ERR_SYSTEM.
int SubmitCopy(void *source, void *target, int *cont, QxCopyProgressCallback callback, void *user);
// Drops the queued reads and writes of a handle and waits for a chunk of them in progress (not
// from inside a callback). With report, each dropped request's callback is called once more with
// QX_IO_CANCELLED: the handle is being closed, and its value may soon name another file.
void CancelTransfers(void *handle, bool report = false);

} // namespace qx
