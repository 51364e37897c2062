/* Time of zx_winsys: the millisecond time counter, the processor's cycle counter, timers and the
 * precise sleep.
 *
 * QX_GetTimeCounter is the library's one clock: milliseconds as a double, never running
 * backwards. The cycle counter (rdtsc_*) reads the processor's time-stamp counter and calibrates
 * it against the high-resolution performance counter. Timers are named by 32-bit handles; 0 is
 * never a valid handle.
 *
 * Multimedia timers (codes 4-7) run their callbacks on the system's multimedia-timer thread, which
 * under Wine is one thread for all of a process's multimedia timers: a slow callback delays every
 * other multimedia timer of the process. */
#ifndef QX_TIME_H
#define QX_TIME_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* Precision codes of QX_SetThreadedTimer, QX_Sleep and STimerInfo. For QX_Sleep "sleep" is the
 * system sleep rounded to whole milliseconds and "spin" a busy wait on QX_GetTimeCounter. */
#define QX_TIMER_THREAD_SLEEP 1      /* timer thread / sleep */
#define QX_TIMER_THREAD_SLEEP_SPIN 2 /* timer thread / sleep whole tens of ms, then spin */
#define QX_TIMER_THREAD_SPIN 3       /* timer thread / spin */
#define QX_TIMER_MM_20MS 4           /* multimedia timer, resolution 20 ms / as 1 */
#define QX_TIMER_MM_10MS 5           /* multimedia timer, resolution 10 ms / as 2 */
#define QX_TIMER_MM_1MS 6            /* multimedia timer, resolution 1 ms / as 3 */
#define QX_TIMER_MM_1MS_ALIGNED 7    /* as 6, every call aligned to the period / as 3 */
#define QX_TIMER_POSTED 8            /* posted timer in the creating thread's message loop / as 1 */

/* Kinds of STimerRecord. */
#define QX_TIMER_KIND_THREAD 1
#define QX_TIMER_KIND_MULTIMEDIA 2
#define QX_TIMER_KIND_POSTED 3

/* Types of STimerInfo. */
#define QX_TIMER_TYPE_UNKNOWN 0
#define QX_TIMER_TYPE_THREAD 2
#define QX_TIMER_TYPE_MULTIMEDIA 3
#define QX_TIMER_TYPE_POSTED 4

/* Timer callback: gets the user value given at creation; returns nonzero to go on, 0 to stop
 * the timer after this call. */
typedef int (*QxTimerCallback)(void *user);

/* One live timer, owned by the library's handle map. */
typedef struct STimerRecord {
    int32_t kind;            /* QX_TIMER_KIND_* */
    uint32_t systemId;       /* the multimedia timer's or the posted timer's id */
    pthread_t thread;        /* zero until the timer thread exists */
    void *user;              /* passed to every callback */
    int64_t period;          /* nanoseconds */
    int32_t remainingCalls;  /* 0: no end */
    double startTime;        /* QX_GetTimeCounter() at creation */
    double lastCallTime;
    int32_t precision;       /* the precision code in force */
    int32_t skipMissed;      /* 1: periods missed by a late timer thread are skipped */
    QxTimerCallback callback;
    void *completionEvent;   /* manual-reset event, set when the timer has ended */
    bool stop;               /* read and written atomically */
    uint32_t handle;         /* this record's key in the handle map */
} STimerRecord;

typedef struct STimerInfo {
    double startTime;
    int32_t precision;
    int32_t skipMissed;
    int32_t type;            /* QX_TIMER_TYPE_* */
} STimerInfo;

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

/* Makes a timer that calls callback every periodMs milliseconds, numCalls times (0: until it is
 * stopped), the first call one period after creation. precision is a QX_TIMER_* code; a period
 * below 1 ms makes a busy-waiting timer thread (code 3) except for posted timers, and a failed
 * multimedia or posted timer becomes a timer thread. Returns the handle, or 0 on failure (negative
 * numCalls; a period that is negative, infinite or NaN; a null callback; a code outside 1-8; no
 * thread), each reported as an assertion.
 *
 * A timer thread asked to stop while it sleeps still makes that one call. Under Wine a multimedia
 * timer above 65,535 ms cannot be made: it becomes a timer thread. */
QX_API uint32_t QX_SetThreadedTimer(QxTimerCallback callback, void *user, double periodMs, int32_t numCalls,
                                    int32_t precision, int32_t skipMissed);
/* QX_SetThreadedTimer with QX_TIMER_POSTED and skipMissed 1. The creating thread must
 * dispatch window messages; the callbacks run inside that dispatch. The handle is the system's
 * timer id. */
QX_API uint32_t QX_SetPostedTimer(QxTimerCallback callback, void *user, double periodMs, int32_t numCalls);
/* Asks the timer to stop and returns at once: 0, or QX_ERR_INVALID_ARG for an unknown handle. */
QX_API int QX_KillTimerAsync(uint32_t handle);
/* Waits until the timer has ended: its last callback has returned. 0 also for a timer that has
 * already ended; QX_ERR_INVALID_ARG for a handle never issued; QX_ERR_NOT_SUPPORTED for a posted
 * timer, and (after an assertion) when called from the timer's own callback or from any
 * multimedia timer's callback for a multimedia timer, which would wait for itself. */
QX_API int QX_WaitForTimer(uint32_t handle);
/* Fills *info from record. QX_ERR_INVALID_ARG when a pointer is null or the record's kind is
 * unknown (info->type is then QX_TIMER_TYPE_UNKNOWN). */
QX_API int QX_GetTimerInfo(const STimerRecord *record, STimerInfo *info);
/* The same for a live timer named by its handle. QX_ERR_INVALID_ARG when info is null or the
 * handle names no live timer (*info is then not touched). */
QX_API int QX_GetTimerInfoByHandle(uint32_t handle, STimerInfo *info);
/* Sleeps durationMs milliseconds in the manner of a precision code. QX_ERR_INVALID_ARG for a
 * code outside 1-8; a duration of 0 or less, or NaN, returns at once; a duration the system sleep
 * cannot take is cut to the longest one it can. */
QX_API int QX_Sleep(double durationMs, int32_t precision);

#ifdef __cplusplus
}
#endif

#endif
