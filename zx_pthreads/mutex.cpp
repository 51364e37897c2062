// Mutexes: recursive critical sections with on-demand static initialisation.
#include "zx_pthreads/internal.h"

#include <new>

namespace {

zxp_mutex *const kStaticInit = reinterpret_cast<zxp_mutex *>(static_cast<intptr_t>(-1));
// Serialises the initialisation of statically initialised mutexes.
SRWLOCK g_staticInitLock = SRWLOCK_INIT;

zxp_mutex *NewMutex() {
    auto *mutex = zxp::Make<zxp_mutex>();
    if (mutex) InitializeCriticalSection(&mutex->cs);
    return mutex;
}

} // namespace

namespace zxp {

zxp_mutex *ResolveMutex(zxp_mutex **slot) {
    if (!slot) return nullptr;
    zxp_mutex *mutex = static_cast<zxp_mutex *>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(slot), nullptr, nullptr));
    if (mutex != kStaticInit) return mutex;
    AcquireSRWLockExclusive(&g_staticInitLock);
    if (*slot == kStaticInit) {
        zxp_mutex *made = NewMutex();
        if (made) InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(slot), made);
    }
    mutex = *slot;
    ReleaseSRWLockExclusive(&g_staticInitLock);
    return mutex == kStaticInit ? nullptr : mutex;
}

int InitMutex(zxp_mutex **slot) {
    if (!slot) return ZXP_EINVAL;
    zxp_mutex *mutex = NewMutex();
    if (!mutex) return ZXP_ENOMEM;
    *slot = mutex;
    return 0;
}

int DestroyMutex(zxp_mutex **slot) {
    if (!slot) return ZXP_EINVAL;
    zxp_mutex *mutex = *slot;
    if (mutex == kStaticInit) return 0; // never used
    if (!mutex) return ZXP_EINVAL;
    DeleteCriticalSection(&mutex->cs);
    zxp::Free(mutex);
    *slot = nullptr;
    return 0;
}

} // namespace zxp

extern "C" {

int pthread_mutex_init(pthread_mutex_t *mutex, const pthread_mutexattr_t *attr) {
    if (attr) return ZXP_EINVAL;
    return zxp::InitMutex(mutex);
}

int pthread_mutex_destroy(pthread_mutex_t *mutex) {
    return zxp::DestroyMutex(mutex);
}

int pthread_mutex_lock(pthread_mutex_t *mutex) {
    zxp_mutex *m = zxp::ResolveMutex(mutex);
    if (!m) return ZXP_EINVAL;
    EnterCriticalSection(&m->cs);
    return 0;
}

int pthread_mutex_trylock(pthread_mutex_t *mutex) {
    zxp_mutex *m = zxp::ResolveMutex(mutex);
    if (!m) return ZXP_EINVAL;
    return TryEnterCriticalSection(&m->cs) ? 0 : ZXP_EBUSY;
}

int pthread_mutex_unlock(pthread_mutex_t *mutex) {
    if (!mutex || !*mutex || *mutex == kStaticInit) return ZXP_EINVAL;
    LeaveCriticalSection(&(*mutex)->cs);
    return 0;
}

} // extern "C"
