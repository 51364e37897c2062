// 100,000 empty jobs and 5,000 sequential hand-offs through MakeCallFromThreadPool, against the
// system's TrySubmitThreadpoolCallback in the same run.
#include <windows.h>

#include <cstdio>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kJobs = 100000;
const int kHandOffs = 5000;

struct Counter {
    volatile LONG left = 0;
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ~Counter() { CloseHandle(done); }
};

void *PoolJob(void *arg) {
    auto *c = static_cast<Counter *>(arg);
    if (InterlockedDecrement(&c->left) == 0) SetEvent(c->done);
    return nullptr;
}

void CALLBACK SystemJob(PTP_CALLBACK_INSTANCE, void *arg) {
    PoolJob(arg);
}

double Ours(CThreadPool *pool, int jobs, bool oneByOne) {
    Counter c;
    bench::Stopwatch watch;
    if (oneByOne) {
        for (int i = 0; i < jobs; ++i) {
            c.left = 1;
            pool->MakeCallFromThreadPool(PoolJob, &c);
            WaitForSingleObject(c.done, INFINITE);
        }
    } else {
        c.left = jobs;
        for (int i = 0; i < jobs; ++i)
            pool->MakeCallFromThreadPool(PoolJob, &c);
        WaitForSingleObject(c.done, INFINITE);
    }
    return watch.Seconds();
}

double System(int jobs, bool oneByOne) {
    Counter c;
    bench::Stopwatch watch;
    if (oneByOne) {
        for (int i = 0; i < jobs; ++i) {
            c.left = 1;
            TrySubmitThreadpoolCallback(SystemJob, &c, nullptr);
            WaitForSingleObject(c.done, INFINITE);
        }
    } else {
        c.left = jobs;
        for (int i = 0; i < jobs; ++i)
            TrySubmitThreadpoolCallback(SystemJob, &c, nullptr);
        WaitForSingleObject(c.done, INFINITE);
    }
    return watch.Seconds();
}

} // namespace

int wmain() {
    CThreadPool *pool = CThreadPool::CreateThreadPool();
    Ours(pool, 1000, false); // warm up: the threads exist
    System(1000, false);
    const double ours = Ours(pool, kJobs, false), system = System(kJobs, false);
    std::printf("%d empty jobs: MakeCallFromThreadPool %.3f s (%.2f us each), TrySubmitThreadpoolCallback %.3f s "
                "(%.2f us each), ratio %.2f\n",
                kJobs, ours, ours * 1e6 / kJobs, system, system * 1e6 / kJobs, ours / system);
    const double oursSeq = Ours(pool, kHandOffs, true), systemSeq = System(kHandOffs, true);
    std::printf("%d sequential hand-offs: MakeCallFromThreadPool %.3f s (%.2f us each), TrySubmitThreadpoolCallback "
                "%.3f s (%.2f us each), ratio %.2f\n",
                kHandOffs, oursSeq, oursSeq * 1e6 / kHandOffs, systemSeq, systemSeq * 1e6 / kHandOffs,
                oursSeq / systemSeq);
    CThreadPool::DestroyThreadPool(pool);
    return 0;
}
