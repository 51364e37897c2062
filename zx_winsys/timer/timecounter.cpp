// The millisecond time counter: the performance counter, or the multimedia time widened to 64 bits.
#include <windows.h>

#include "zx_winsys/internal/clock.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "timer/timer";

qx::ClockSystem g_clock = {QueryPerformanceFrequency, QueryPerformanceCounter, timeGetTime,
                           timeGetDevCaps,            timeBeginPeriod,         timeEndPeriod};

bool g_setUp = false;
bool g_highResolution = false;
double g_msPerTick = 0.0; // with the performance counter: 1000 / frequency
double g_tickLength = 0.0;
UINT g_period = 0;

// The multimedia time wraps after 2^32 ms (49.7 days). The last value handed out is kept in 64
// bits; a reading is placed after it by its 32-bit distance, so the counter goes on past the wrap.
// A reading older than the last value (another thread's) gives the last value: never backwards.
// Readings more than 2^31 ms apart cannot be told from older ones.
volatile LONG64 g_lastWide = 0;

uint64_t Widen(DWORD now) {
    LONG64 last = InterlockedCompareExchange64(&g_lastWide, 0, 0);
    for (;;) {
        const DWORD delta = now - static_cast<DWORD>(last);
        if (delta >= 0x80000000u) return static_cast<uint64_t>(last);
        const LONG64 value = last + static_cast<LONG64>(delta);
        const LONG64 seen = InterlockedCompareExchange64(&g_lastWide, value, last);
        if (seen == last) return static_cast<uint64_t>(value);
        last = seen;
    }
}

} // namespace

namespace qx {

ClockSystem &Clock() {
    return g_clock;
}

void SetUpTimeCounter() {
    if (g_setUp) return;
    LARGE_INTEGER frequency;
    if (g_clock.queryFrequency(&frequency) && frequency.QuadPart != 0) {
        g_highResolution = true;
        g_msPerTick = 1000.0 / static_cast<double>(frequency.QuadPart);
        g_tickLength = g_msPerTick;
    } else {
        g_highResolution = false;
        TIMECAPS caps;
        if (g_clock.deviceCaps(&caps, sizeof caps) != MMSYSERR_NOERROR) {
            Assert(L"TRUE", L"Multimedia function timeGetDevCaps failed.", kSource, __LINE__);
            g_tickLength = 0.0;
        } else {
            UINT period = caps.wPeriodMin > 1 ? caps.wPeriodMin : 1;
            if (period > caps.wPeriodMax) period = caps.wPeriodMax;
            if (g_clock.beginPeriod(period) == TIMERR_NOERROR) g_period = period;
            g_tickLength = period;
        }
        InterlockedExchange64(&g_lastWide, g_clock.multimediaTime());
    }
    g_setUp = true;
}

void ReleaseTimeCounter() {
    if (!g_setUp) return;
    if (g_period != 0) g_clock.endPeriod(g_period);
    g_period = 0;
    g_setUp = false;
}

} // namespace qx

extern "C" {

double QX_GetTimeCounter(void) {
    if (g_highResolution) {
        LARGE_INTEGER now;
        g_clock.queryCounter(&now);
        return static_cast<double>(now.QuadPart) * g_msPerTick;
    }
    return static_cast<double>(Widen(g_clock.multimediaTime()));
}

double QX_GetTimeCounterPrecision(void) {
    return g_tickLength;
}

} // extern "C"
