// Timers and the thread pool under load together: timers of every code made and killed from
// several threads, posted timers whose callbacks run message loops, pool jobs resubmitting at the
// thread limit. 20 s by default, 5 minutes with ZX_FULL_LOAD=1.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <memory>
#include <vector>

namespace {

struct Soaked {
    LONG asked = 0; // calls asked for (0: endless, killed)
    volatile LONG calls = 0;
    volatile LONG depth = 0, deepest = 0;
    bool killed = false;
    bool pumps = false; // a posted timer whose callback runs a message loop
    uint32_t handle = 0;
};

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG message;
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (ms) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

int SoakTick(void *user) {
    auto *t = static_cast<Soaked *>(user);
    const LONG depth = InterlockedIncrement(&t->depth);
    if (depth > t->deepest) t->deepest = depth;
    const LONG n = InterlockedIncrement(&t->calls);
    if (t->pumps && n == 1) PumpFor(3);
    InterlockedDecrement(&t->depth);
    return 1;
}

bool Live(uint32_t handle) {
    STimerInfo info = {};
    return QX_GetTimerInfoByHandle(handle, &info) == QX_OK;
}

struct Creator {
    DWORD deadline = 0;
    unsigned seed = 0;
    int made = 0;
    int failures = 0; // a count that did not match, a wait that failed
    std::vector<std::unique_ptr<Soaked>> timers;
};

unsigned Next(unsigned &seed) {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
}

// Makes timers in rounds of 20 until the deadline; each round ends with every timer waited for (a
// posted one by dispatching until it is gone) and its calls counted.
DWORD WINAPI CreateTimers(void *arg) {
    auto *c = static_cast<Creator *>(arg);
    while (GetTickCount() < c->deadline) {
        std::vector<Soaked *> round;
        for (int i = 0; i < 20; ++i) {
            auto t = std::make_unique<Soaked>();
            const int code = 1 + static_cast<int>(Next(c->seed) % 8);
            t->asked = static_cast<LONG>(Next(c->seed) % 5); // 0: endless, killed below
            t->pumps = code == QX_TIMER_POSTED && Next(c->seed) % 2 == 0;
            t->handle = QX_SetThreadedTimer(SoakTick, t.get(), 1.0 + Next(c->seed) % 4, t->asked, code,
                                            static_cast<int32_t>(Next(c->seed) % 2));
            if (t->handle == 0) {
                ++c->failures;
                continue;
            }
            if (t->asked == 0 || Next(c->seed) % 4 == 0) {
                t->killed = true;
                QX_KillTimerAsync(t->handle);
            }
            round.push_back(t.get());
            c->timers.push_back(std::move(t));
            ++c->made;
        }
        for (Soaked *t : round) {
            STimerInfo info = {};
            const bool posted =
                QX_GetTimerInfoByHandle(t->handle, &info) == QX_OK && info.type == QX_TIMER_TYPE_POSTED;
            if (posted) {
                for (int i = 0; i < 5000 && Live(t->handle); ++i)
                    PumpFor(1);
                if (Live(t->handle)) ++c->failures;
            } else if (QX_WaitForTimer(t->handle) != QX_OK) {
                ++c->failures;
            }
        }
        PumpFor(0);
        for (Soaked *t : round)
            if ((!t->killed && t->calls != t->asked) || (t->killed && t->asked && t->calls > t->asked) ||
                t->deepest > 1)
                ++c->failures;
    }
    return 0;
}

struct Resubmit {
    CThreadPool *pool = nullptr;
    volatile LONG accepted = 0, ran = 0, budget = 0;
};

void *ResubmittingJob(void *arg) {
    auto *r = static_cast<Resubmit *>(arg);
    InterlockedIncrement(&r->ran);
    Sleep(1);
    for (int i = 0; i < 2 && InterlockedDecrement(&r->budget) >= 0; ++i)
        if (r->pool->MakeCallFromThreadPool(ResubmittingJob, r) == QX_OK) InterlockedIncrement(&r->accepted);
    return nullptr;
}

} // namespace

ZXTEST_CHILD(timers_and_pool_soak) {
    const DWORD duration = static_cast<DWORD>(zxtest::LoadSize(20000, 300000));
    {
        // What the process opens once for good: the desktop of the first message queue, the
        // multimedia timer thread, the log file and the debug-output channel of detail traces.
        Soaked warm;
        QX_WaitForTimer(QX_SetThreadedTimer(SoakTick, &warm, 1.0, 1, QX_TIMER_MM_1MS, 0));
        PumpFor(0);
        CThreadPool::DestroyThreadPool(CThreadPool::CreateThreadPool(2));
    }
    const long handles = zxtest::HandleCount(), threads = zxtest::ThreadCount();

    Creator creators[3];
    HANDLE running[3];
    for (int i = 0; i < 3; ++i) {
        creators[i].deadline = GetTickCount() + duration;
        creators[i].seed = 7u + static_cast<unsigned>(i);
        running[i] = CreateThread(nullptr, 0, CreateTimers, &creators[i], 0, nullptr);
        ZXTEST_EXPECT(running[i] != nullptr);
    }
    Resubmit resubmit;
    resubmit.pool = CThreadPool::CreateThreadPool(2);
    const DWORD poolDeadline = GetTickCount() + duration;
    while (GetTickCount() < poolDeadline) {
        resubmit.budget = 200;
        for (int i = 0; i < 4; ++i)
            if (resubmit.pool->MakeCallFromThreadPool(ResubmittingJob, &resubmit) == QX_OK)
                InterlockedIncrement(&resubmit.accepted);
        ZXTEST_EXPECT(resubmit.pool->WaitForIdle() == QX_OK);
        ZXTEST_EXPECT(resubmit.ran == resubmit.accepted);
    }
    CThreadPool::DestroyThreadPool(resubmit.pool);
    ZXTEST_EXPECT(WaitForMultipleObjects(3, running, TRUE, 60000) == WAIT_OBJECT_0);
    int made = 0;
    for (int i = 0; i < 3; ++i) {
        CloseHandle(running[i]);
        ZXTEST_EXPECT(creators[i].failures == 0);
        made += creators[i].made;
    }
    std::printf("soak: %d timers, %ld pool jobs in %lu ms\n", made, resubmit.ran, duration);
    ZXTEST_EXPECT(made >= 2000);
    ZXTEST_EXPECT(zxtest::SettledAt(zxtest::HandleCount, handles) <= handles);
    ZXTEST_EXPECT(zxtest::SettledAt(zxtest::ThreadCount, threads) <= threads);
    return 0;
}

TEST_CASE("timers and pool soak: every kind and code from several threads, nested loops, resubmitting jobs") {
    const DWORD limit = static_cast<DWORD>(zxtest::LoadSize(20000, 300000)) + 90000;
    CHECK(zxtest::RunChild("timers_and_pool_soak", limit) == 0);
}
