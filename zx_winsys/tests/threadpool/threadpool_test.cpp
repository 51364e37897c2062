// The thread pool: growth and reuse, idle waits, destroying with running and submitting jobs,
// waiting for idleness, the thread limit, and a stress run destroyed in the middle.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <atomic>
#include <set>
#include <vector>

namespace {

struct Job {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile DWORD thread = 0;
    ~Job() {
        CloseHandle(go);
        CloseHandle(done);
    }
};

// Runs until its go event is set, then reports its thread.
void *Blocking(void *arg) {
    auto *job = static_cast<Job *>(arg);
    job->thread = GetCurrentThreadId();
    WaitForSingleObject(job->go, 30000);
    SetEvent(job->done);
    return nullptr;
}

} // namespace

TEST_CASE("thread pool: a job finding no idle thread makes one; a finished thread is reused") {
    CThreadPool *pool = CThreadPool::CreateThreadPool();
    REQUIRE(pool != nullptr);
    Job first, second, third;
    REQUIRE(pool->MakeCallFromThreadPool(Blocking, &first) == QX_OK);
    REQUIRE(pool->MakeCallFromThreadPool(Blocking, &second) == QX_OK);
    // Both run at once, on two threads.
    for (int i = 0; i < 500 && (!first.thread || !second.thread); ++i)
        Sleep(10);
    CHECK(first.thread != 0);
    CHECK(second.thread != 0);
    CHECK(first.thread != second.thread);
    SetEvent(first.go);
    SetEvent(second.go);
    CHECK(pool->WaitForIdle() == QX_OK);
    SetEvent(third.go);
    REQUIRE(pool->MakeCallFromThreadPool(Blocking, &third) == QX_OK);
    REQUIRE(WaitForSingleObject(third.done, 30000) == WAIT_OBJECT_0);
    CHECK((third.thread == first.thread || third.thread == second.thread));
    CThreadPool::DestroyThreadPool(pool);
}

namespace {
struct Slow {
    volatile LONG finished = 0;
};
void *SleepThenFinish(void *arg) {
    Sleep(200);
    InterlockedIncrement(&static_cast<Slow *>(arg)->finished);
    return nullptr;
}
} // namespace

TEST_CASE("thread pool: destroy returns at once without threads, and after a running job") {
    CThreadPool *empty = CThreadPool::CreateThreadPool();
    const double start = QX_GetTimeCounter();
    CThreadPool::DestroyThreadPool(empty);
    CHECK(QX_GetTimeCounter() - start < 1000.0);

    CThreadPool *pool = CThreadPool::CreateThreadPool();
    Slow slow;
    REQUIRE(pool->MakeCallFromThreadPool(SleepThenFinish, &slow) == QX_OK);
    CThreadPool::DestroyThreadPool(pool);
    CHECK(slow.finished == 1);
    CThreadPool::DestroyThreadPool(nullptr); // reported, nothing done
}

namespace {
struct Chain {
    CThreadPool *pool;
    volatile LONG runs = 0;
    volatile LONG refused = 0;
    int length;
};
void *Resubmit(void *arg) {
    auto *chain = static_cast<Chain *>(arg);
    if (InterlockedIncrement(&chain->runs) < chain->length) {
        if (chain->pool->MakeCallFromThreadPool(Resubmit, chain) != QX_OK)
            InterlockedIncrement(&chain->refused);
    }
    return nullptr;
}
void *TryToDestroy(void *arg) {
    auto *chain = static_cast<Chain *>(arg);
    CThreadPool::DestroyThreadPool(chain->pool); // from its own job: refused
    chain->refused = chain->pool->WaitForIdle() == QX_ERR_NOT_SUPPORTED ? 1 : 0;
    InterlockedIncrement(&chain->runs);
    return nullptr;
}
// Keeps submitting until the pool refuses, as a job of the pool.
void *SubmitUntilRefused(void *arg) {
    auto *chain = static_cast<Chain *>(arg);
    InterlockedIncrement(&chain->runs);
    while (chain->pool->MakeCallFromThreadPool([](void *) -> void * { return nullptr; }, nullptr) == QX_OK)
        Sleep(1);
    InterlockedIncrement(&chain->refused);
    return nullptr;
}
} // namespace

TEST_CASE(
    "thread pool: jobs submit again; a job cannot destroy its pool; destroy refuses jobs' submissions") {
    CThreadPool *pool = CThreadPool::CreateThreadPool();
    Chain chain = {pool, 0, 0, 50};
    REQUIRE(pool->MakeCallFromThreadPool(Resubmit, &chain) == QX_OK);
    for (int i = 0; i < 1000 && chain.runs < 50; ++i)
        Sleep(5);
    CHECK(chain.runs == 50);
    CHECK(chain.refused == 0);

    Chain self = {pool, 0, 0, 0};
    REQUIRE(pool->MakeCallFromThreadPool(TryToDestroy, &self) == QX_OK);
    CHECK(pool->WaitForIdle() == QX_OK);
    CHECK(self.runs == 1);
    CHECK(self.refused == 1);

    // Two jobs submit in a loop while the pool is destroyed: they are refused and destroy returns.
    Chain loop = {pool, 0, 0, 0};
    REQUIRE(pool->MakeCallFromThreadPool(SubmitUntilRefused, &loop) == QX_OK);
    REQUIRE(pool->MakeCallFromThreadPool(SubmitUntilRefused, &loop) == QX_OK);
    for (int i = 0; i < 1000 && loop.runs < 2; ++i)
        Sleep(5);
    const double start = QX_GetTimeCounter();
    CThreadPool::DestroyThreadPool(pool);
    CHECK(QX_GetTimeCounter() - start < 5000.0);
    CHECK(loop.refused == 2);
}

namespace {
struct Limited {
    volatile LONG running = 0;
    volatile LONG most = 0;
};
void *Occupy(void *arg) {
    auto *l = static_cast<Limited *>(arg);
    const LONG now = InterlockedIncrement(&l->running);
    LONG seen = l->most;
    while (now > seen && InterlockedCompareExchange(&l->most, now, seen) != seen)
        seen = l->most;
    Sleep(30);
    InterlockedDecrement(&l->running);
    return nullptr;
}
} // namespace

TEST_CASE("thread pool: with a limit of 2 threads, submitters wait for a free one") {
    CThreadPool *pool = CThreadPool::CreateThreadPool(2);
    Limited limited;
    for (int i = 0; i < 8; ++i)
        REQUIRE(pool->MakeCallFromThreadPool(Occupy, &limited) == QX_OK);
    CHECK(pool->WaitForIdle() == QX_OK);
    CHECK(limited.most == 2);
    CHECK(limited.running == 0);
    CThreadPool::DestroyThreadPool(pool);
}

namespace {
struct OwnSubmit {
    CThreadPool *pool = nullptr;
    volatile LONG resubmitted = 0, ran = 0;
};
void *Resubmitted(void *arg) {
    InterlockedIncrement(&static_cast<OwnSubmit *>(arg)->ran);
    return nullptr;
}
void *SubmitToOwnPool(void *arg) {
    auto *o = static_cast<OwnSubmit *>(arg);
    Sleep(20); // every thread of the limit busy
    if (o->pool->MakeCallFromThreadPool(Resubmitted, o) == QX_OK) InterlockedIncrement(&o->resubmitted);
    return nullptr;
}
struct IdleRace {
    CThreadPool *pool = nullptr;
    volatile LONG entering = 0;
    int result = 1;
};
DWORD WINAPI WaitIdle(void *arg) {
    auto *race = static_cast<IdleRace *>(arg);
    InterlockedExchange(&race->entering, 1);
    race->result = race->pool->WaitForIdle();
    return 0;
}
void *Nap(void *) {
    Sleep(40);
    return nullptr;
}
} // namespace

ZXTEST_CHILD(pool_job_submits_at_its_limit) {
    for (uint32_t limit : {1u, 2u}) {
        OwnSubmit own;
        own.pool = CThreadPool::CreateThreadPool(limit);
        for (uint32_t i = 0; i < limit; ++i)
            ZXTEST_EXPECT(own.pool->MakeCallFromThreadPool(SubmitToOwnPool, &own) == QX_OK);
        ZXTEST_EXPECT(own.pool->WaitForIdle() == QX_OK);
        ZXTEST_EXPECT(own.resubmitted == static_cast<LONG>(limit));
        ZXTEST_EXPECT(own.ran == static_cast<LONG>(limit));
        CThreadPool::DestroyThreadPool(own.pool);
    }
    return 0;
}

ZXTEST_CHILD(pool_wait_for_idle_racing_destroy) {
    for (int round = 0; round < 20; ++round) {
        IdleRace race;
        race.pool = CThreadPool::CreateThreadPool();
        ZXTEST_EXPECT(race.pool->MakeCallFromThreadPool(Nap, nullptr) == QX_OK);
        HANDLE waiter = CreateThread(nullptr, 0, WaitIdle, &race, 0, nullptr);
        while (!race.entering)
            Sleep(0);
        Sleep(
            static_cast<DWORD>(5 + round % 3 * 20)); // inside WaitForIdle: before, at or after the job's end
        CThreadPool::DestroyThreadPool(race.pool);
        ZXTEST_EXPECT(WaitForSingleObject(waiter, 2000) == WAIT_OBJECT_0);
        CloseHandle(waiter);
        ZXTEST_EXPECT(race.result == QX_OK || race.result == QX_ERR_SYSTEM);
    }
    return 0;
}

TEST_CASE("thread pool: a job submitting at the thread limit, WaitForIdle racing destroy, a null job") {
    CHECK(zxtest::RunChild("pool_job_submits_at_its_limit", 20000) == 0);
    CHECK(zxtest::RunChild("pool_wait_for_idle_racing_destroy", 30000) == 0);
    CThreadPool *pool = CThreadPool::CreateThreadPool();
    CHECK(pool->MakeCallFromThreadPool(nullptr, nullptr) == QX_ERR_INVALID_ARG);
    CThreadPool::DestroyThreadPool(pool);
}

namespace {
struct Stress {
    CThreadPool *pool;
    volatile LONG accepted = 0;
    volatile LONG run = 0;
    volatile LONG afterDestroy = 0;
    volatile LONG destroyed = 0;
    volatile LONG rolls = 0;
    int perSubmitter;
};
void *StressJob(void *arg) {
    auto *s = static_cast<Stress *>(arg);
    if (s->destroyed) InterlockedIncrement(&s->afterDestroy);
    InterlockedIncrement(&s->run);
    // A scrambled sequence number: no per-thread generator, whose first use would make objects.
    const unsigned roll = (static_cast<unsigned>(InterlockedIncrement(&s->rolls)) * 2654435761u) >> 7;
    if (roll % 3 != 0) Sleep(roll % 3);
    if (roll % 10 == 0 && s->pool->MakeCallFromThreadPool(StressJob, s) == QX_OK)
        InterlockedIncrement(&s->accepted);
    return nullptr;
}
void *Submitter(void *arg) {
    auto *s = static_cast<Stress *>(arg);
    for (int i = 0; i < s->perSubmitter; ++i) {
        if (s->pool->MakeCallFromThreadPool(StressJob, s) != QX_OK) break;
        InterlockedIncrement(&s->accepted);
    }
    return nullptr;
}
} // namespace

TEST_CASE("thread pool reliability: 4 submitters, resubmitting jobs, destroyed in the middle of the run") {
    const long baseline = zxtest::ThreadCount(), handles = zxtest::HandleCount();
    Stress stress;
    stress.pool = CThreadPool::CreateThreadPool();
    stress.perSubmitter = zxtest::LoadSize(1500, 5000);
    // The submitters are jobs of the pool themselves: destroy waits for them, and their
    // submissions race it until they are refused.
    for (int i = 0; i < 4; ++i)
        REQUIRE(stress.pool->MakeCallFromThreadPool(Submitter, &stress) == QX_OK);
    Sleep(300);
    const double start = QX_GetTimeCounter();
    CThreadPool::DestroyThreadPool(stress.pool);
    const double took = QX_GetTimeCounter() - start;
    InterlockedExchange(&stress.destroyed, 1);
    CHECK(took < 5000.0);
    Sleep(100);
    CHECK(stress.afterDestroy == 0);
    CHECK(stress.accepted == stress.run); // every job accepted with 0 ran
    CHECK(stress.run > 0);
    CHECK(zxtest::SettledAt(zxtest::ThreadCount, baseline) <= baseline);
    CHECK(zxtest::SettledAt(zxtest::HandleCount, handles) <= handles);
}
