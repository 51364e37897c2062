// Condition variables over Win32 condition variables, with waits on wall-clock deadlines.
#include "zx_pthreads/internal.h"

#include <new>

namespace {

// Milliseconds from now until the wall-clock deadline, 0 when it has passed.
DWORD MillisecondsUntil(const struct timespec &deadline) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER now;
    now.LowPart = ft.dwLowDateTime;
    now.HighPart = ft.dwHighDateTime;
    const long long kEpochOffset = 116444736000000000LL; // 1601-01-01 to 1970-01-01 in 100 ns
    long long now100ns = static_cast<long long>(now.QuadPart) - kEpochOffset;
    long long due100ns = static_cast<long long>(deadline.tv_sec) * 10000000LL + deadline.tv_nsec / 100;
    long long left = due100ns - now100ns;
    if (left <= 0) return 0;
    long long ms = (left + 9999) / 10000;
    return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}

} // namespace

extern "C" {

int pthread_cond_init(pthread_cond_t *cond, const pthread_condattr_t *attr) {
    if (!cond || attr) return ZXP_EINVAL;
    auto *c = zxp::Make<zxp_cond>();
    if (!c) return ZXP_ENOMEM;
    InitializeConditionVariable(&c->cv);
    *cond = c;
    return 0;
}

int pthread_cond_destroy(pthread_cond_t *cond) {
    if (!cond || !*cond) return ZXP_EINVAL;
    zxp::Free(*cond);
    *cond = nullptr;
    return 0;
}

int pthread_cond_signal(pthread_cond_t *cond) {
    if (!cond || !*cond) return ZXP_EINVAL;
    WakeConditionVariable(&(*cond)->cv);
    return 0;
}

int pthread_cond_broadcast(pthread_cond_t *cond) {
    if (!cond || !*cond) return ZXP_EINVAL;
    WakeAllConditionVariable(&(*cond)->cv);
    return 0;
}

int pthread_cond_wait(pthread_cond_t *cond, pthread_mutex_t *mutex) {
    zxp_mutex *m = zxp::ResolveMutex(mutex);
    if (!cond || !*cond || !m) return ZXP_EINVAL;
    return SleepConditionVariableCS(&(*cond)->cv, &m->cs, INFINITE) ? 0 : ZXP_EINVAL;
}

int pthread_cond_timedwait(pthread_cond_t *cond, pthread_mutex_t *mutex, const struct timespec *abstime) {
    zxp_mutex *m = zxp::ResolveMutex(mutex);
    if (!cond || !*cond || !m || !abstime || abstime->tv_nsec < 0 || abstime->tv_nsec >= 1000000000L)
        return ZXP_EINVAL;
    DWORD wait = MillisecondsUntil(*abstime);
    if (wait == 0) return ZXP_ETIMEDOUT;
    if (SleepConditionVariableCS(&(*cond)->cv, &m->cs, wait)) return 0;
    return GetLastError() == ERROR_TIMEOUT ? ZXP_ETIMEDOUT : ZXP_EINVAL;
}

} // extern "C"
