// Asynchronous transfer engine: worker threads with their own queues.
#include "zx_winsys/internal/lifecycle.h"

#include "zx_pthreads/zx_pthreads.h"

namespace {
pthread_mutexCS_t g_engineLock = nullptr;
}

namespace qx {

bool StartAsyncEngine() { return pthread_mutexCS_init(&g_engineLock, nullptr) == 0; }

void StopAsyncEngine() { pthread_mutexCS_destroy(&g_engineLock); }

} // namespace qx
