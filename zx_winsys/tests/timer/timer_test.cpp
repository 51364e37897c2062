// Timers of the three kinds, their handles, waits and kills, and the precise sleep.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <random>
#include <vector>

namespace {

struct Counter {
    volatile LONG calls = 0;
    volatile LONG stopAfter = 0; // return 0 at this call (0: never)
    volatile LONG afterWait = 0;
    volatile LONG waited = 0;
    DWORD thread = 0;
    uint32_t handle = 0;
};

int Count(void *user) {
    auto *c = static_cast<Counter *>(user);
    if (c->waited) InterlockedIncrement(&c->afterWait);
    c->thread = GetCurrentThreadId();
    const LONG n = InterlockedIncrement(&c->calls);
    return c->stopAfter != 0 && n >= c->stopAfter ? 0 : 1;
}

STimerInfo Info(uint32_t handle) {
    STimerInfo info = {};
    REQUIRE(QX_GetTimerInfoByHandle(handle, &info) == QX_OK);
    return info;
}

void WaitForCalls(const Counter &c, LONG calls) {
    for (int i = 0; i < 1000 && c.calls < calls; ++i)
        Sleep(5);
}

} // namespace

TEST_CASE("timers: a counted timer of each thread and multimedia code calls exactly that often") {
    for (int code = 1; code <= 7; ++code) {
        CAPTURE(code);
        Counter c;
        const uint32_t handle = QX_SetThreadedTimer(Count, &c, 5.0, 3, code, 1);
        REQUIRE(handle != 0);
        const STimerInfo info = Info(handle);
        CHECK(info.precision == code);
        CHECK(info.type == (code <= 3 ? QX_TIMER_TYPE_THREAD : QX_TIMER_TYPE_MULTIMEDIA));
        CHECK(QX_WaitForTimer(handle) == QX_OK);
        c.waited = 1;
        CHECK(c.calls == 3);
        Sleep(30);
        CHECK(c.calls == 3);
        CHECK(QX_WaitForTimer(handle) == QX_OK); // ended
        CHECK(QX_KillTimerAsync(handle) == QX_ERR_INVALID_ARG);
        STimerInfo untouched = {1.0, 7, 7, 7};
        CHECK(QX_GetTimerInfoByHandle(handle, &untouched) == QX_ERR_INVALID_ARG);
        CHECK(untouched.precision == 7);
    }
}

TEST_CASE("timers: an endless timer runs until it is killed; a one-shot multimedia timer fires once") {
    for (int code : {1, 3, 4, 6}) {
        CAPTURE(code);
        Counter c;
        const uint32_t handle = QX_SetThreadedTimer(Count, &c, 2.0, 0, code, 1);
        REQUIRE(handle != 0);
        WaitForCalls(c, 5);
        CHECK(c.calls >= 5);
        CHECK(QX_KillTimerAsync(handle) == QX_OK);
        CHECK(QX_WaitForTimer(handle) == QX_OK);
        c.waited = 1;
        Sleep(20);
        CHECK(c.afterWait == 0);
    }
    Counter once;
    const uint32_t handle = QX_SetThreadedTimer(Count, &once, 3.0, 1, QX_TIMER_MM_1MS, 0);
    REQUIRE(handle != 0);
    CHECK(QX_WaitForTimer(handle) == QX_OK);
    Sleep(30);
    CHECK(once.calls == 1);

    // A callback that returns 0 ends its timer.
    Counter stopping;
    stopping.stopAfter = 2;
    const uint32_t stopper = QX_SetThreadedTimer(Count, &stopping, 1.0, 0, QX_TIMER_MM_1MS, 0);
    CHECK(QX_WaitForTimer(stopper) == QX_OK);
    CHECK(stopping.calls == 2);
}

TEST_CASE("timers: periods below 1 ms and unknown codes") {
    Counter c;
    const uint32_t fast = QX_SetThreadedTimer(Count, &c, 0.5, 4, QX_TIMER_MM_1MS, 0);
    REQUIRE(fast != 0);
    const STimerInfo info = Info(fast);
    CHECK(info.precision == QX_TIMER_THREAD_SPIN);
    CHECK(info.type == QX_TIMER_TYPE_THREAD);
    CHECK(QX_WaitForTimer(fast) == QX_OK);
    CHECK(c.calls == 4);
    // An unknown code with a period below 1 ms becomes a busy-waiting thread first.
    for (int code : {0, 9}) {
        Counter d;
        const uint32_t handle = QX_SetThreadedTimer(Count, &d, 0.25, 2, code, 0);
        REQUIRE(handle != 0);
        CHECK(Info(handle).precision == QX_TIMER_THREAD_SPIN);
        CHECK(QX_WaitForTimer(handle) == QX_OK);
        CHECK(QX_SetThreadedTimer(Count, &d, 5.0, 2, code, 0) == 0u);
    }
    // Bad numbers of calls and periods make nothing.
    CHECK(QX_SetThreadedTimer(Count, &c, 5.0, -1, 1, 0) == 0u);
    for (double period : {-1.0, static_cast<double>(NAN), static_cast<double>(INFINITY)})
        CHECK(QX_SetThreadedTimer(Count, &c, period, 1, 1, 0) == 0u);
    CHECK(QX_SetThreadedTimer(nullptr, &c, 5.0, 1, 1, 0) == 0u);
    // Handles never issued.
    CHECK(QX_WaitForTimer(0xFFFFFFF0u) == QX_ERR_INVALID_ARG);
    CHECK(QX_KillTimerAsync(0xFFFFFFF0u) == QX_ERR_INVALID_ARG);
    STimerInfo out = {};
    CHECK(QX_GetTimerInfo(nullptr, &out) == QX_ERR_INVALID_ARG);
    STimerRecord odd = {};
    odd.kind = 9;
    out.type = 77;
    CHECK(QX_GetTimerInfo(&odd, &out) == QX_ERR_INVALID_ARG);
    CHECK(out.type == QX_TIMER_TYPE_UNKNOWN);
}

namespace {
struct Self {
    uint32_t handle = 0;
    int waitResult = 1;
    volatile LONG calls = 0;
    bool kill = false;
};
int WaitOrKillSelf(void *user) {
    auto *s = static_cast<Self *>(user);
    while (s->handle == 0)
        SwitchToThread();
    InterlockedIncrement(&s->calls);
    if (s->kill) {
        QX_KillTimerAsync(s->handle);
        return 1;
    }
    s->waitResult = QX_WaitForTimer(s->handle);
    return 0;
}
} // namespace

TEST_CASE("timers: a callback may kill its own timer; waiting for itself is refused") {
    for (int code : {1, 6}) {
        CAPTURE(code);
        Self kill;
        kill.kill = true;
        kill.handle = QX_SetThreadedTimer(WaitOrKillSelf, &kill, 2.0, 0, code, 0);
        REQUIRE(kill.handle != 0);
        CHECK(QX_WaitForTimer(kill.handle) == QX_OK);
        CHECK(kill.calls >= 1);
        CHECK(kill.calls <= 2); // the kill may let one more call through

        Self wait;
        wait.handle = QX_SetThreadedTimer(WaitOrKillSelf, &wait, 2.0, 0, code, 0);
        REQUIRE(wait.handle != 0);
        CHECK(QX_WaitForTimer(wait.handle) == QX_OK);
        CHECK(wait.waitResult == QX_ERR_NOT_SUPPORTED);
    }
}

namespace {
struct PostedRun {
    Counter counter;
    uint32_t handle = 0;
    int waitResult = 0;
    DWORD thread = 0;
    int type = 0;
};
DWORD WINAPI RunPosted(void *arg) {
    auto *run = static_cast<PostedRun *>(arg);
    run->thread = GetCurrentThreadId();
    run->handle = QX_SetPostedTimer(Count, &run->counter, 0.5, 4); // stays posted below 1 ms
    STimerInfo info = {};
    QX_GetTimerInfoByHandle(run->handle, &info);
    run->type = info.type;
    run->waitResult = QX_WaitForTimer(run->handle);
    MSG message;
    const DWORD start = GetTickCount();
    while (run->counter.calls < 4 && GetTickCount() - start < 10000) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    return 0;
}
} // namespace

TEST_CASE("timers: a posted timer ticks in its creator's message loop") {
    PostedRun run;
    HANDLE thread = CreateThread(nullptr, 0, RunPosted, &run, 0, nullptr);
    REQUIRE(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0);
    CloseHandle(thread);
    CHECK(run.handle != 0);
    CHECK(run.type == QX_TIMER_TYPE_POSTED);
    CHECK(run.waitResult == QX_ERR_NOT_SUPPORTED);
    CHECK(run.counter.calls == 4);
    CHECK(run.counter.thread == run.thread);
}

namespace {
// Dispatches this thread's messages for ms milliseconds, as a message box would.
void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < ms) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
bool Live(uint32_t handle) {
    STimerInfo info = {};
    return QX_GetTimerInfoByHandle(handle, &info) == QX_OK;
}
struct Nested {
    LONG calls = 0, depth = 0, deepest = 0;
    Counter second;
    uint32_t secondHandle = 0;
};
// The first call runs a message loop and makes a second posted timer in it.
int NestedTick(void *user) {
    auto *n = static_cast<Nested *>(user);
    n->deepest = ++n->depth > n->deepest ? n->depth : n->deepest;
    if (++n->calls == 1) {
        Pump(100);
        n->secondHandle = QX_SetPostedTimer(Count, &n->second, 5.0, 1);
    }
    --n->depth;
    return 1;
}
struct PostedOwner {
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Counter counter;
    bool timers = true;
    uint32_t handles[10] = {};
    ~PostedOwner() {
        CloseHandle(made);
        CloseHandle(hold);
    }
};
DWORD WINAPI MakePostedTimers(void *arg) {
    auto *owner = static_cast<PostedOwner *>(arg);
    for (uint32_t &handle : owner->handles)
        handle = owner->timers
                     ? QX_SetPostedTimer(Count, &owner->counter, 1.0, 0)
                     : static_cast<uint32_t>(SetTimer(nullptr, 0, 1000, nullptr)); // the system's own
    SetEvent(owner->made);
    WaitForSingleObject(owner->hold, 30000);
    return 0;
}
} // namespace

ZXTEST_CHILD(posted_nested_message_loop) {
    Nested n;
    const uint32_t handle = QX_SetPostedTimer(NestedTick, &n, 5.0, 2);
    ZXTEST_EXPECT(handle != 0);
    const DWORD start = GetTickCount();
    while ((Live(handle) || n.secondHandle == 0 || Live(n.secondHandle)) && GetTickCount() - start < 10000)
        Pump(10);
    ZXTEST_EXPECT(n.calls == 2);   // exactly the calls asked for
    ZXTEST_EXPECT(n.deepest == 1); // never re-entered
    ZXTEST_EXPECT(n.second.calls == 1);
    ZXTEST_EXPECT(QX_WaitForTimer(handle) == QX_OK); // an ended posted timer
    return 0;
}

// Runs a thread that makes posted timers (or the system's own timers) and ends or is killed.
void RunPostedOwner(PostedOwner &owner, bool kill) {
    if (!kill) SetEvent(owner.hold);
    HANDLE thread = CreateThread(nullptr, 0, MakePostedTimers, &owner, 0, nullptr);
    WaitForSingleObject(owner.made, 10000);
    if (kill) TerminateThread(thread, 1);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

ZXTEST_CHILD(posted_timers_of_ended_threads) {
    // What a killed thread with system timers leaves of its own (the system keeps objects of its
    // message queue), after the process's first queue opened the desktop for good.
    PostedOwner first, control, ended, killed;
    control.timers = false;
    RunPostedOwner(first, false);
    const long beforeControl = zxtest::HandleCount();
    RunPostedOwner(control, true);
    const long killedThreadLeaves = zxtest::HandleCount() - beforeControl;

    const long handles = zxtest::HandleCount();
    RunPostedOwner(ended, false);
    RunPostedOwner(killed, true);
    for (uint32_t handle : ended.handles) {
        ZXTEST_EXPECT(handle != 0);
        ZXTEST_EXPECT(!Live(handle)); // gone with the thread's end
        ZXTEST_EXPECT(QX_KillTimerAsync(handle) == QX_ERR_INVALID_ARG);
        ZXTEST_EXPECT(QX_WaitForTimer(handle) == QX_OK);
    }
    // A killed thread's end is not seen; the first call on each timer finds its thread gone.
    for (int i = 0; i < 10; ++i) {
        const uint32_t handle = killed.handles[i];
        ZXTEST_EXPECT(handle != 0);
        if (i % 3 == 0) ZXTEST_EXPECT(QX_KillTimerAsync(handle) == QX_ERR_INVALID_ARG);
        if (i % 3 == 1) ZXTEST_EXPECT(!Live(handle));
        ZXTEST_EXPECT(QX_WaitForTimer(handle) == QX_OK);
        ZXTEST_EXPECT(!Live(handle));
    }
    ZXTEST_EXPECT(zxtest::SettledAt(zxtest::HandleCount, handles + killedThreadLeaves) <=
                  handles + killedThreadLeaves);
    return 0;
}

TEST_CASE("posted timers: never re-entered from their own message loop; gone with their thread") {
    CHECK(zxtest::RunChild("posted_nested_message_loop", 30000) == 0);
    CHECK(zxtest::RunChild("posted_timers_of_ended_threads", 30000) == 0);
}

TEST_CASE("sleep: codes outside 1-8 are refused; nothing to wait returns at once") {
    CHECK(QX_Sleep(1.0, 0) == QX_ERR_INVALID_ARG);
    CHECK(QX_Sleep(1.0, 9) == QX_ERR_INVALID_ARG);
    const double start = QX_GetTimeCounter();
    CHECK(QX_Sleep(-5.0, 1) == QX_OK);
    CHECK(QX_Sleep(NAN, 3) == QX_OK);
    CHECK(QX_Sleep(0.0, 2) == QX_OK);
    CHECK(QX_GetTimeCounter() - start < 50.0);
    for (int code = 1; code <= 8; ++code) {
        CAPTURE(code);
        const double before = QX_GetTimeCounter();
        CHECK(QX_Sleep(15.0, code) == QX_OK);
        const double slept = QX_GetTimeCounter() - before;
        CHECK(slept >= 14.0);
        CHECK(slept < 1000.0);
    }
}

namespace {
struct Reliable {
    volatile LONG waited = 0;
    volatile LONG late = 0;
};
int ReliableTick(void *user) {
    auto *r = static_cast<Reliable *>(user);
    if (r->waited) InterlockedIncrement(&r->late);
    return 1;
}
} // namespace

TEST_CASE("timers reliability: 1,000 short timers, half killed at random, all waited; nothing leaks") {
    const long handleCount = zxtest::HandleCount(), threads = zxtest::ThreadCount();
    const int timers = zxtest::LoadSize(1000, 1000);
    std::vector<Reliable> states(static_cast<size_t>(timers));
    std::vector<uint32_t> handles;
    std::mt19937 random(3);
    for (int i = 0; i < timers; ++i) {
        const uint32_t h = QX_SetThreadedTimer(ReliableTick, &states[static_cast<size_t>(i)], 1.0,
                                               1 + static_cast<int>(random() % 5), QX_TIMER_THREAD_SLEEP, 1);
        REQUIRE(h != 0);
        handles.push_back(h);
        if (random() % 2) QX_KillTimerAsync(h);
    }
    int waits = 0;
    for (int i = 0; i < timers; ++i) {
        waits += QX_WaitForTimer(handles[static_cast<size_t>(i)]) == QX_OK ? 1 : 0;
        states[static_cast<size_t>(i)].waited = 1;
    }
    CHECK(waits == timers);
    Sleep(50);
    int late = 0, killable = 0;
    for (int i = 0; i < timers; ++i) {
        late += states[static_cast<size_t>(i)].late;
        killable += QX_KillTimerAsync(handles[static_cast<size_t>(i)]) == QX_ERR_INVALID_ARG ? 0 : 1;
    }
    CHECK(late == 0);
    CHECK(killable == 0);
    CHECK(zxtest::SettledAt(zxtest::HandleCount, handleCount) <= handleCount);
    CHECK(zxtest::SettledAt(zxtest::ThreadCount, threads) <= threads);
}
