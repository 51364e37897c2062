// Period jitter over 2,000 ticks at 1 ms and 10 ms for each precision code, against raw
// timeSetEvent and a high-resolution waitable timer, in one run: mean absolute deviation from the
// period, worst deviation, mean period.
#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "zx_winsys/zx_winsys.h"

namespace {

const int kTicks = 2000;

struct Ticks {
    std::vector<double> times;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Ticks() { CloseHandle(done); }
    void Add() {
        times.push_back(QX_GetTimeCounter());
        if (static_cast<int>(times.size()) == kTicks + 1) SetEvent(done);
    }
};

struct Figures {
    double meanDeviation, worst, meanPeriod;
};

Figures Measure(const std::vector<double> &times, double period) {
    Figures f = {0, 0, 0};
    for (size_t i = 1; i < times.size(); ++i) {
        const double d = std::fabs(times[i] - times[i - 1] - period);
        f.meanDeviation += d;
        f.worst = d > f.worst ? d : f.worst;
    }
    const double n = static_cast<double>(times.size() - 1);
    f.meanDeviation /= n;
    f.meanPeriod = (times.back() - times.front()) / n;
    return f;
}

int OnTimer(void *user) {
    auto *t = static_cast<Ticks *>(user);
    t->Add();
    return static_cast<int>(t->times.size()) <= kTicks;
}

void CALLBACK OnRawTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    reinterpret_cast<Ticks *>(user)->Add();
}

void Print(const char *name, const Figures &f, const Figures &reference) {
    std::printf("  %-28s deviation %7.3f ms (%.2f x timeSetEvent), worst %7.3f ms, mean period %8.4f ms\n", name,
                f.meanDeviation, reference.meanDeviation > 0 ? f.meanDeviation / reference.meanDeviation : 0.0, f.worst,
                f.meanPeriod);
}

} // namespace

int wmain() {
    timeBeginPeriod(1);
    for (double period : {1.0, 10.0}) {
        std::printf("period %.0f ms, %d ticks\n", period, kTicks);
        Ticks raw;
        const UINT id = timeSetEvent(static_cast<UINT>(period), 1, OnRawTick, reinterpret_cast<DWORD_PTR>(&raw),
                                     TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
        WaitForSingleObject(raw.done, INFINITE);
        timeKillEvent(id);
        const Figures reference = Measure(raw.times, period);
        Print("timeSetEvent", reference, reference);

        Ticks waitable;
        HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, 0x2 /* high resolution */, TIMER_ALL_ACCESS);
        if (!timer) timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(period * 10000);
        SetWaitableTimer(timer, &due, static_cast<LONG>(period), nullptr, nullptr, FALSE);
        for (int i = 0; i <= kTicks; ++i) {
            WaitForSingleObject(timer, INFINITE);
            waitable.Add();
        }
        CloseHandle(timer);
        Print("waitable timer", Measure(waitable.times, period), reference);

        for (int code = 1; code <= 7; ++code) {
            Ticks ours;
            const uint32_t handle = QX_SetThreadedTimer(OnTimer, &ours, period, 0, code, 1);
            QX_WaitForTimer(handle);
            char name[32];
            std::snprintf(name, sizeof name, "QX_SetThreadedTimer code %d", code);
            Print(name, Measure(ours.times, period), reference);
        }
    }
    timeEndPeriod(1);
    return 0;
}
