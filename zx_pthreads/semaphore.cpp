// Counting semaphores within one process.
#include "zx_pthreads/internal.h"

#include <climits>
#include <new>

extern "C" {

int sem_init(sem_t *sem, int pshared, unsigned int value) {
    if (!sem || pshared != 0 || value > static_cast<unsigned>(LONG_MAX)) return ZXP_EINVAL;
    auto *s = zxp::Make<zxp_sem>();
    if (!s) return ZXP_ENOMEM;
    s->handle = CreateSemaphoreW(nullptr, static_cast<LONG>(value), LONG_MAX, nullptr);
    if (!s->handle) {
        zxp::Free(s);
        return ZXP_EAGAIN;
    }
    *sem = s;
    return 0;
}

int sem_destroy(sem_t *sem) {
    if (!sem || !*sem) return ZXP_EINVAL;
    CloseHandle((*sem)->handle);
    zxp::Free(*sem);
    *sem = nullptr;
    return 0;
}

int sem_wait(sem_t *sem) {
    if (!sem || !*sem) return ZXP_EINVAL;
    return WaitForSingleObject((*sem)->handle, INFINITE) == WAIT_OBJECT_0 ? 0 : ZXP_EINVAL;
}

int sem_post(sem_t *sem) {
    if (!sem || !*sem) return ZXP_EINVAL;
    return ReleaseSemaphore((*sem)->handle, 1, nullptr) ? 0 : ZXP_EAGAIN;
}

} // extern "C"
