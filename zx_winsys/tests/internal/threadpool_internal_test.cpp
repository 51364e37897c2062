// The pool's idle waits with a shortened time-out table: three threads stay after four jobs end
// together, and they end one after the other.
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/threadpool.h"
#include "zx_winsys/qx_threadpool.h"

namespace {

struct Gate {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG started = 0;
    DWORD threads[4] = {};
};

void *Hold(void *arg) {
    auto *gate = static_cast<Gate *>(arg);
    const LONG index = InterlockedIncrement(&gate->started) - 1;
    gate->threads[index] = GetCurrentThreadId();
    WaitForSingleObject(gate->release, 30000);
    return nullptr;
}

int Alive(const Gate &gate) {
    int alive = 0;
    for (DWORD id : gate.threads) {
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
        if (!thread) continue;
        alive += WaitForSingleObject(thread, 0) == WAIT_TIMEOUT ? 1 : 0;
        CloseHandle(thread);
    }
    return alive;
}

} // namespace

ZXTEST_CHILD(pool_idle_threads_shrink) {
    uint32_t *table = qx::PoolIdleTimeouts();
    table[0] = 3000;
    table[1] = 1500;
    table[2] = 750;
    table[3] = 50;
    CThreadPool *pool = CThreadPool::CreateThreadPool();
    Gate gate;
    for (int i = 0; i < 4; ++i)
        ZXTEST_EXPECT(pool->MakeCallFromThreadPool(Hold, &gate) == 0);
    while (gate.started < 4)
        Sleep(1);
    SetEvent(gate.release);
    Sleep(300); // the fourth idle thread ends at once; three wait 3 s, 1.5 s and 0.75 s
    ZXTEST_EXPECT(Alive(gate) == 3);
    Sleep(900); // 1.2 s
    ZXTEST_EXPECT(Alive(gate) == 2);
    Sleep(800); // 2.0 s
    ZXTEST_EXPECT(Alive(gate) == 1);
    Sleep(1500); // 3.5 s
    ZXTEST_EXPECT(Alive(gate) == 0);
    CThreadPool::DestroyThreadPool(pool);
    return 0;
}

TEST_CASE("thread pool seams: four jobs ending together leave three waiting threads that end in turn") {
    CHECK(zxtest::RunChild("pool_idle_threads_shrink") == 0);
}
