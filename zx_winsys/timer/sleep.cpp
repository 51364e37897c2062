// QX_Sleep: the system sleep, a busy wait on the time counter, or both.
#include <windows.h>

#include <cmath>

#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_time.h"

namespace {

// The longest system sleep short of INFINITE.
DWORD SleepMilliseconds(double ms) {
    return ms >= 4294967294.0 ? 4294967294u : static_cast<DWORD>(ms);
}

void SpinUntil(double end) {
    while (QX_GetTimeCounter() < end) {
    }
}

} // namespace

extern "C" int QX_Sleep(double durationMs, int32_t precision) {
    const double end = QX_GetTimeCounter() + durationMs;
    if (precision < 1 || precision > 8) {
        qx::Assert(L"true", L"Wrong QX_Sleep parameter.", "timer/timer", __LINE__);
        return QX_ERR_INVALID_ARG;
    }
    if (!(durationMs > 0.0)) return QX_OK; // nothing to wait, also for NaN
    switch (precision) {
    case QX_TIMER_THREAD_SLEEP:
    case QX_TIMER_MM_20MS:
    case QX_TIMER_POSTED:
        Sleep(SleepMilliseconds(durationMs + 0.5));
        break;
    case QX_TIMER_THREAD_SLEEP_SPIN:
    case QX_TIMER_MM_10MS:
        Sleep(SleepMilliseconds(10.0 * std::trunc(durationMs / 10.0)));
        SpinUntil(end);
        break;
    default:
        SpinUntil(end);
        break;
    }
    return QX_OK;
}
