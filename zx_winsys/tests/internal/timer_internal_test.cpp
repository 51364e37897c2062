// Timers through their seams: a clock that moves only when the timer sleeps (the skip-missed grid
// exactly), and failing multimedia timers, posted timers and thread creation.
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/timers.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_time.h"
#include "zx_winsys/tests/debugging/logfolder.h"

#include <vector>

namespace {

double g_clock = 1000.0;
std::vector<double> g_calls;
int g_slowCall = 0;

double FakeNow() {
    return g_clock;
}
int FakeSleep(double ms, int32_t) {
    g_clock += ms;
    return 0;
}
int RecordCall(void *) {
    g_calls.push_back(g_clock - 1000.0);
    if (static_cast<int>(g_calls.size()) == g_slowCall) g_clock += 35.0; // 3.5 periods
    return 1;
}

std::vector<double> Grid(int skipMissed) {
    g_clock = 1000.0;
    g_calls.clear();
    g_slowCall = 2;
    qx::Timers().now = FakeNow;
    qx::Timers().sleep = FakeSleep;
    const uint32_t handle =
        QX_SetThreadedTimer(RecordCall, nullptr, 10.0, 6, QX_TIMER_THREAD_SLEEP, skipMissed);
    QX_WaitForTimer(handle);
    return g_calls;
}

MMRESULT WINAPI NoMultimediaTimer(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT) {
    return 0;
}
UINT_PTR WINAPI NoPostedTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
    return 0;
}
int g_threadResult = 0;
int NoThread(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *) {
    return g_threadResult;
}
int Quiet(void *) {
    return 1;
}

} // namespace

ZXTEST_CHILD(timer_skip_missed_grid) {
    // A callback that takes 3.5 periods: with skipping, the next call is at the next point of the
    // grid set by the start time; without, the missed calls come back to back.
    ZXTEST_EXPECT(Grid(1) == (std::vector<double>{10, 20, 60, 70, 80, 90}));
    ZXTEST_EXPECT(Grid(0) == (std::vector<double>{10, 20, 55, 55, 55, 60}));
    return 0;
}

ZXTEST_CHILD(timer_fallbacks_and_failures) {
    zxtest_log::ClearLogFolder();
    CQxLogFile::Initialize();
    qx::Timers().setEvent = NoMultimediaTimer;
    qx::Timers().setTimer = NoPostedTimer;
    for (int code : {QX_TIMER_MM_1MS, QX_TIMER_POSTED}) {
        const uint32_t handle = QX_SetThreadedTimer(Quiet, nullptr, 2.0, 2, code, 0);
        ZXTEST_EXPECT(handle != 0);
        STimerInfo info = {};
        ZXTEST_EXPECT(QX_GetTimerInfoByHandle(handle, &info) == QX_OK);
        ZXTEST_EXPECT(info.type == QX_TIMER_TYPE_THREAD);
        ZXTEST_EXPECT(info.precision == code);
        ZXTEST_EXPECT(QX_WaitForTimer(handle) == QX_OK);
    }
    qx::Timers().createThread = NoThread;
    for (int result : {ZXP_EAGAIN, ZXP_EINVAL, 5}) {
        g_threadResult = result;
        ZXTEST_EXPECT(QX_SetThreadedTimer(Quiet, nullptr, 2.0, 2, QX_TIMER_THREAD_SLEEP, 0) == 0u);
    }
    // A period of 0 has no grid to skip back to.
    qx::Timers().createThread = [](pthread_t *t, const pthread_attr_t *a, void *(*r)(void *), void *p) {
        return pthread_create(t, a, r, p);
    };
    const uint32_t zero = QX_SetThreadedTimer(Quiet, nullptr, 0.0, 3, QX_TIMER_THREAD_SPIN, 1);
    ZXTEST_EXPECT(zero != 0);
    ZXTEST_EXPECT(QX_WaitForTimer(zero) == QX_OK);
    CQxLogFile::CloseLog();
    const std::string log = zxtest_log::ReadAllLogs();
    ZXTEST_EXPECT(log.find("Insufficient resources for creating the thread.") != std::string::npos);
    ZXTEST_EXPECT(log.find("Wrong thread attributes.") != std::string::npos);
    return 0;
}

namespace {
UINT g_multimediaFlags = 0;
MMRESULT WINAPI RecordMultimediaFlags(UINT delay, UINT resolution, LPTIMECALLBACK tick, DWORD_PTR user,
                                      UINT flags) {
    g_multimediaFlags = flags;
    return timeSetEvent(delay, resolution, tick, user, flags);
}
} // namespace

ZXTEST_CHILD(timer_one_shot_and_counter_in_posted_range) {
    // One call of a multimedia code asks the system for a one-shot timer, more calls periodic.
    qx::Timers().setEvent = RecordMultimediaFlags;
    for (int calls : {1, 2}) {
        const uint32_t handle = QX_SetThreadedTimer(Quiet, nullptr, 2.0, calls, QX_TIMER_MM_1MS, 0);
        ZXTEST_EXPECT(handle != 0);
        ZXTEST_EXPECT((g_multimediaFlags & TIME_PERIODIC) ==
                      (calls == 1 ? 0u : static_cast<UINT>(TIME_PERIODIC)));
        ZXTEST_EXPECT(QX_WaitForTimer(handle) == QX_OK);
    }
    // The counter reaching a live posted timer's id hands out another number: a handle names one
    // timer at a time.
    const uint32_t posted = QX_SetPostedTimer(Quiet, nullptr, 60000.0, 0);
    ZXTEST_EXPECT(posted != 0);
    qx::TimerHandleCounter() = posted;
    const uint32_t thread = QX_SetThreadedTimer(Quiet, nullptr, 60000.0, 0, QX_TIMER_THREAD_SLEEP, 0);
    ZXTEST_EXPECT(thread != 0);
    ZXTEST_EXPECT(thread != posted);
    STimerInfo info = {};
    ZXTEST_EXPECT(QX_GetTimerInfoByHandle(posted, &info) == QX_OK && info.type == QX_TIMER_TYPE_POSTED);
    ZXTEST_EXPECT(QX_GetTimerInfoByHandle(thread, &info) == QX_OK && info.type == QX_TIMER_TYPE_THREAD);
    ZXTEST_EXPECT(QX_KillTimerAsync(thread) == QX_OK);
    ZXTEST_EXPECT(QX_GetTimerInfoByHandle(posted, &info) == QX_OK && info.type == QX_TIMER_TYPE_POSTED);
    return 0;
}

TEST_CASE("timer seams: the skip-missed grid, fallbacks, failed thread creation, one-shot, handle counter") {
    for (const char *scenario : {"timer_skip_missed_grid", "timer_fallbacks_and_failures",
                                 "timer_one_shot_and_counter_in_posted_range"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}
