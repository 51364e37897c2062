// What the timers take from the system, replaceable by tests: the multimedia timer, the posted
// timer, thread creation, and the clock with its sleep (a test clock moves only when the timer
// sleeps, which makes the skip-missed grid exact).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <stdint.h>

#include "zx_pthreads/zx_pthreads.h"

namespace qx {

struct TimerSystem {
    MMRESULT(WINAPI *setEvent)(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT);
    MMRESULT(WINAPI *killEvent)(UINT);
    UINT_PTR(WINAPI *setTimer)(HWND, UINT_PTR, UINT, TIMERPROC);
    BOOL(WINAPI *killTimer)(HWND, UINT_PTR);
    int (*createThread)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    double (*now)();
    int (*sleep)(double, int32_t);
};

TimerSystem &Timers();
// The counter that numbers timer threads and multimedia timers.
uint32_t &TimerHandleCounter();
// Thread detach: the posted timers of the ending thread go with its message queue.
void EndPostedTimersOfThread();

} // namespace qx
