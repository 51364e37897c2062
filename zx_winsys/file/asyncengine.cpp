// Asynchronous transfer engine: worker threads with their own queues.
#include <windows.h>

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/internal/lifecycle.h"

namespace {
pthread_mutexCS_t g_engineLock = nullptr;
}

namespace qx {

bool StartAsyncEngine() {
    return pthread_mutexCS_init(&g_engineLock, nullptr) == 0;
}

void StopAsyncEngine() {
    pthread_mutexCS_destroy(&g_engineLock);
}

int SubmitTransfer(TransferKind, void *, void *, size_t, const SQxAsyncIO &) {
    return QX_ERR_NOT_SUPPORTED;
}

int SubmitCopy(void *source, void *target, int *, QxCopyProgressCallback, void *) {
    QX_CloseFile(source);
    QX_CloseFile(target);
    return QX_ERR_NOT_SUPPORTED;
}

void CancelTransfers(void *) {}

} // namespace qx

extern "C" int QX_CancelAsyncIO(void *handle) {
    qx::CancelTransfers(handle);
    return QX_OK;
}
