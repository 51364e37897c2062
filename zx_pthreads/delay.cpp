// Relative sleeps.
#include "zx_pthreads/internal.h"

extern "C" int pthread_delay_np(const struct timespec *interval) {
    if (!interval || interval->tv_sec < 0 || interval->tv_nsec < 0 || interval->tv_nsec >= 1000000000L)
        return ZXP_EINVAL;
    // Round up: a request for a few microseconds still yields the processor for a tick.
    unsigned long long ms = static_cast<unsigned long long>(interval->tv_sec) * 1000ULL +
                            (static_cast<unsigned long long>(interval->tv_nsec) + 999999ULL) / 1000000ULL;
    if (ms >= INFINITE) ms = INFINITE - 1;
    Sleep(static_cast<DWORD>(ms));
    return 0;
}
