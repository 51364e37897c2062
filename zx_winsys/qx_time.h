/* Time of zx_winsys: the millisecond time counter and the processor's cycle counter.
 *
 * QX_GetTimeCounter is the library's one clock: milliseconds as a double, never running
 * backwards. The cycle counter (rdtsc_*) reads the processor's time-stamp counter and calibrates
 * it against the high-resolution performance counter. */
#ifndef QX_TIME_H
#define QX_TIME_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Milliseconds of the high-resolution performance counter, or of the multimedia time where there
 * is none (then widened to 64 bits, so it keeps counting past the 49.7-day wrap). */
QX_API double QX_GetTimeCounter(void);
/* Length of one tick of QX_GetTimeCounter in milliseconds (0.0 when the fallback clock has no
 * period). */
QX_API double QX_GetTimeCounterPrecision(void);

/* Runs the availability test and the platform probe once (the library does it at load); returns
 * rdtsc_available(). */
QX_API int rdtsc_initialize(void);
/* 1 when the cycle counter can be read, else 0. */
QX_API int rdtsc_available(void);
/* Serialised read of the time-stamp counter (CPUID, then RDTSC); 0 when it is not available.
 * Interrupts are never touched. */
QX_API uint64_t rdtsc_count(void);
/* Calibrates the cycle counter against the performance counter in passes of intervalMs
 * milliseconds until the mean deviation is at most *precision (Hz) or maxPasses passes ran (at
 * least one). Stores the frequency (Hz) in *frequency and the deviation reached in *precision,
 * keeps both as the library's calibration, and returns 1. Returns 0 and changes nothing when
 * there is no performance counter or no cycle counter, intervalMs is 0, a pointer is null, or
 * the measurement gives no positive finite frequency. */
QX_API int rdtsc_cpu_freq(double *frequency, double *precision, unsigned int intervalMs, uint16_t maxPasses);
/* count divided by the calibrated frequency, in seconds. Without a calibration it first
 * calibrates (1000 ms, 20 passes; threads arriving meanwhile wait for that one calibration).
 * 0.0 while no positive frequency is known. */
QX_API double rdtsc_count2seconds(int64_t count);

#ifdef __cplusplus
}
#endif

#endif
