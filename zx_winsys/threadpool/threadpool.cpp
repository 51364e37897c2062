// CThreadPool: jobs handed directly to an idle pool thread, or to a new thread.
//
// A submission places the job with its thread: an idle thread that is chosen gets it in its own
// slot (and is no longer idle), a new thread gets it with its start. Either way the job is taken
// at once, and the submitter does not wait for the thread to wake. Lock order: the pool mutex,
// then the thread mutex.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <new>
#include <utility>

#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadpool.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/qx_threadpool.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "threadpool/threadpool";
const uint32_t kMostIdle = 3;
const int kIdleRounds = 4; // scheduling rounds a submission gives busy threads before starting one
uint32_t g_idleTimeouts[4] = {60000, 30000, 15000, 5000};

// A pool thread's record and its job slot, on the thread's own stack; the pool lists the record.
struct PoolThread {
    SThreadInfo info;
    QxThreadPoolJob job = nullptr;
    void *arg = nullptr;
    bool assigned = false; // a job was placed in the slot
};

PoolThread *Owner(SThreadInfo *info) {
    return reinterpret_cast<PoolThread *>(info);
}

// What a new thread starts with.
struct Startup {
    CThreadPool *pool;
    QxThreadPoolJob job;
    void *arg;
};

// Kept beside the pool object, after it in the same allocation.
struct PoolExtras {
    volatile LONG callers = 0;   // calls inside MakeCallFromThreadPool and WaitForIdle
    volatile LONG departing = 0; // threads between their last lock and their end
    // Jobs that the pool's own jobs submitted at the thread limit, run by the next thread that
    // finishes (guarded by the thread mutex).
    std::deque<std::pair<QxThreadPoolJob, void *>> pending;
};

size_t ExtrasOffset() {
    return (sizeof(CThreadPool) + alignof(PoolExtras) - 1) / alignof(PoolExtras) * alignof(PoolExtras);
}

PoolExtras *ExtrasOf(CThreadPool *pool) {
    return reinterpret_cast<PoolExtras *>(reinterpret_cast<char *>(pool) + ExtrasOffset());
}

// The pool whose thread the caller is, if any.
CThreadPool *PoolOfThisThread() {
    const qx::ThreadState *self = qx::ThisThreadIfAny();
    return self ? static_cast<CThreadPool *>(self->pool) : nullptr;
}

// A threads-library call that failed is reported with its text; the work goes on.
void Report(int result, const wchar_t *expression, int line) {
    if (result != 0) qx::Assert(expression, nullptr, kSource, line);
}
#define Check(result, expression) Report((result), (expression), __LINE__)

uint32_t Now32() {
    return static_cast<uint32_t>(static_cast<uint64_t>(QX_GetTimeCounter()));
}

// An absolute wall-clock time that lies ms milliseconds ahead.
struct timespec WallClockIn(double ms) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER now;
    now.LowPart = ft.dwLowDateTime;
    now.HighPart = ft.dwHighDateTime;
    const unsigned long long since1970 =
        now.QuadPart - 116444736000000000ULL + static_cast<unsigned long long>(ms * 10000.0);
    struct timespec at;
    at.tv_sec = static_cast<time_t>(since1970 / 10000000ULL);
    at.tv_nsec = static_cast<long>(since1970 % 10000000ULL) * 100;
    return at;
}

} // namespace

namespace qx {

uint32_t *PoolIdleTimeouts() {
    return g_idleTimeouts;
}

} // namespace qx

CThreadPool::CThreadPool()
    : m_PoolMutex(nullptr), m_ThreadMutex(nullptr), m_FinishSignal(nullptr), m_uThreadCount(0),
      m_uWorkingThreadCount(0), m_bDestroying(false), m_pChosenThread(nullptr), m_CtxSem(nullptr),
      m_pJobFunction(nullptr), m_pJobArgument(nullptr), m_uMaxThreads(0), m_IdleSignal(nullptr) {
    Check(pthread_mutex_init(&m_PoolMutex, nullptr), L"pthread_mutex_init(&m_PoolMutex, NULL)");
    Check(pthread_mutex_init(&m_ThreadMutex, nullptr), L"pthread_mutex_init(&m_ThreadMutex, NULL)");
    Check(pthread_cond_init(&m_FinishSignal, nullptr), L"pthread_cond_init(&m_FinishSignal, NULL)");
    Check(pthread_cond_init(&m_IdleSignal, nullptr), L"pthread_cond_init(&m_IdleSignal, NULL)");
    Check(sem_init(&m_CtxSem, 0, 0), L"sem_init (&m_CtxSem, 0, 0)");
}

CThreadPool::~CThreadPool() {
    Check(sem_destroy(&m_CtxSem), L"sem_destroy(&m_CtxSem)");
    Check(pthread_cond_destroy(&m_FinishSignal), L"pthread_cond_destroy(&m_FinishSignal)");
    Check(pthread_cond_destroy(&m_IdleSignal), L"pthread_cond_destroy(&m_IdleSignal)");
    Check(pthread_mutex_destroy(&m_ThreadMutex), L"pthread_mutex_destroy(&m_ThreadMutex)");
    Check(pthread_mutex_destroy(&m_PoolMutex), L"pthread_mutex_destroy(&m_PoolMutex)");
}

CThreadPool *CThreadPool::CreateThreadPool() {
    return CreateThreadPool(0);
}

CThreadPool *CThreadPool::CreateThreadPool(uint32_t maxThreads) {
    qx::Detail(kSource, __LINE__, L"Thread Pool, constructor");
    void *memory = ::operator new(ExtrasOffset() + sizeof(PoolExtras), std::nothrow);
    if (!memory) return nullptr;
    CThreadPool *pool = new (memory) CThreadPool();
    new (ExtrasOf(pool)) PoolExtras();
    pool->m_uMaxThreads = maxThreads;
    return pool;
}

int CThreadPool::MakeCallFromThreadPool(QxThreadPoolJob job, void *arg) {
    if (!job) {
        qx::Assert(L"job", L"A pool job needs a function.", kSource, __LINE__);
        return QX_ERR_INVALID_ARG;
    }
    PoolExtras *extras = ExtrasOf(this);
    InterlockedIncrement(&extras->callers);
    const bool fromOwnJob = PoolOfThisThread() == this;
    for (;;) {
        Check(pthread_mutex_lock(&m_PoolMutex), L"pthread_mutex_lock(&m_PoolMutex)");
        Check(pthread_mutex_lock(&m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
        if (m_bDestroying || m_uMaxThreads == 0 || m_uWorkingThreadCount < m_uMaxThreads) break;
        if (fromOwnJob) {
            // A job of the pool at the limit would wait for itself: the job waits in line for the
            // next thread that finishes.
            bool queued = true;
            try {
                extras->pending.emplace_back(job, arg);
            } catch (const std::bad_alloc &) {
                queued = false;
            }
            Check(pthread_mutex_unlock(&m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
            Check(pthread_mutex_unlock(&m_PoolMutex), L"pthread_mutex_unlock(&m_PoolMutex)");
            InterlockedDecrement(&extras->callers);
            return queued ? QX_OK : QX_ERR_SYSTEM;
        }
        // Others wait for a thread to come free, without the pool mutex: nothing waits holding it.
        Check(pthread_mutex_unlock(&m_PoolMutex), L"pthread_mutex_unlock(&m_PoolMutex)");
        while (!m_bDestroying && m_uWorkingThreadCount >= m_uMaxThreads)
            Check(pthread_cond_wait(&m_IdleSignal, &m_ThreadMutex),
                  L"pthread_cond_wait(&m_IdleSignal, &m_ThreadMutex)");
        Check(pthread_mutex_unlock(&m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    }
    int status = QX_OK;
    // Every thread busy: a thread that is finishing a short job becomes idle within a few
    // scheduling rounds, far sooner than a new thread starts. Give the working threads those rounds.
    for (int round = 0; round < kIdleRounds && !m_bDestroying && m_uThreadCount != 0 &&
                        m_uWorkingThreadCount == m_uThreadCount;
         ++round) {
        Check(pthread_mutex_unlock(&m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
        SwitchToThread();
        Check(pthread_mutex_lock(&m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
    }
    if (m_bDestroying) {
        status = QX_ERR_SYSTEM;
    } else if (m_uWorkingThreadCount == m_uThreadCount) {
        // No idle thread: a new one, counted as working from the start, takes the job.
        Startup *startup = new (std::nothrow) Startup{this, job, arg};
        pthread_t thread = {nullptr, 0};
        if (!startup || pthread_create(&thread, nullptr, PoolThreadProc, startup) != 0) {
            delete startup;
            status = QX_ERR_SYSTEM;
        } else {
            ++m_uThreadCount;
            ++m_uWorkingThreadCount;
            Check(pthread_detach(thread), L"pthread_detach(thread)");
        }
    } else {
        // The waiting thread with the most time left (on a tie the first), or, when none has any
        // left, the last waiting one.
        const uint32_t now = Now32();
        SThreadInfo *chosen = nullptr, *lastWaiting = nullptr;
        uint32_t best = 0;
        for (SThreadInfo *info : m_ThreadInfo) {
            if (!info->m_bWaiting || Owner(info)->assigned) continue;
            lastWaiting = info;
            const uint32_t left = info->m_uDeadline > now ? info->m_uDeadline - now : 0;
            if (left > best) {
                best = left;
                chosen = info;
            }
        }
        if (!chosen) chosen = lastWaiting;
        if (!chosen) {
            qx::Assert(L"!pThreadInfo", nullptr, kSource, __LINE__);
            status = QX_ERR_SYSTEM;
        } else {
            PoolThread *owner = Owner(chosen);
            owner->job = job;
            owner->arg = arg;
            owner->assigned = true;
            chosen->m_bWaiting = false;
            m_pChosenThread = chosen;
            ++m_uWorkingThreadCount;
            Check(pthread_cond_signal(&chosen->m_Signal), L"pthread_cond_signal(pSignal)");
        }
    }
    if (status == QX_OK) {
        m_pJobFunction = job;
        m_pJobArgument = arg;
    }
    Check(pthread_mutex_unlock(&m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    Check(pthread_mutex_unlock(&m_PoolMutex), L"pthread_mutex_unlock(&m_PoolMutex)");
    InterlockedDecrement(&extras->callers);
    return status;
}

void *CThreadPool::PoolThreadProc(void *arg) {
    Startup *startup = static_cast<Startup *>(arg);
    CThreadPool *pool = startup->pool;
    QxThreadPoolJob job = startup->job;
    void *jobArg = startup->arg;
    delete startup;
    PoolExtras *extras = ExtrasOf(pool);
    qx::ThisThread().pool = pool;

    PoolThread self;
    self.info.m_Thread = pthread_self();
    self.info.m_uTimeout = 0;
    self.info.m_uDeadline = 0;
    self.info.m_bWaiting = false;
    self.info.m_Signal = nullptr;
    Check(pthread_cond_init(&self.info.m_Signal, nullptr), L"pthread_cond_init(&m_Signal, NULL)");
    Check(pthread_mutex_lock(&pool->m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
    bool listed = true;
    try {
        pool->m_ThreadInfo.push_back(&self.info);
    } catch (const std::bad_alloc &) {
        listed = false; // it runs its job and leaves; no one can choose it
    }
    if (pool->m_uThreadCount < pool->m_uWorkingThreadCount)
        qx::Assert(L"pPool->m_uThreadCount < pPool->m_uWorkingThreadCount", nullptr, kSource, __LINE__);
    Check(pthread_mutex_unlock(&pool->m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");

    for (;;) {
        job(jobArg);
        Check(pthread_mutex_lock(&pool->m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
        if (!extras->pending.empty()) {
            // A job submitted at the limit by one of the pool's jobs: this thread stays working
            // and runs it, also while the pool is being destroyed (it was accepted).
            job = extras->pending.front().first;
            jobArg = extras->pending.front().second;
            extras->pending.pop_front();
            Check(pthread_mutex_unlock(&pool->m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
            continue;
        }
        --pool->m_uWorkingThreadCount;
        pthread_cond_broadcast(&pool->m_IdleSignal);
        if (pool->m_bDestroying || !listed) break;

        // The idle time-out: none (leave) above three idle threads, else the first of the table
        // that no waiting thread uses.
        if (pool->m_uThreadCount == 0) qx::Assert(L"m_uThreadCount == 0", nullptr, kSource, __LINE__);
        const uint32_t idle = pool->m_uThreadCount - pool->m_uWorkingThreadCount;
        uint32_t timeout = 0;
        if (idle <= kMostIdle) {
            timeout = g_idleTimeouts[3];
            for (int i = 0; i < 4; ++i) {
                bool used = false;
                for (SThreadInfo *info : pool->m_ThreadInfo)
                    used = used || (info->m_bWaiting && info->m_uTimeout == g_idleTimeouts[i]);
                if (!used) {
                    timeout = g_idleTimeouts[i];
                    break;
                }
            }
        }
        if (timeout == 0) break;

        // The wait runs on the monotonic counter; each timed wait is at most the time left.
        self.info.m_uTimeout = timeout;
        self.info.m_uDeadline = Now32() + timeout;
        self.info.m_bWaiting = true;
        const double deadline = QX_GetTimeCounter() + timeout;
        while (!self.assigned && !pool->m_bDestroying) {
            const double left = deadline - QX_GetTimeCounter();
            if (left <= 0.0) break;
            const struct timespec at = WallClockIn(left);
            const int waited = pthread_cond_timedwait(&self.info.m_Signal, &pool->m_ThreadMutex, &at);
            if (waited != 0 && waited != ZXP_ETIMEDOUT) {
                qx::Assert(L"true", nullptr, kSource, __LINE__);
                break;
            }
        }
        self.info.m_bWaiting = false;
        if (!self.assigned) break; // timed out, or the pool goes
        // A job placed with this thread is run, also while the pool is being destroyed.
        job = self.job;
        jobArg = self.arg;
        self.assigned = false;
        if (pool->m_pChosenThread == &self.info) pool->m_pChosenThread = nullptr;
        Check(pthread_mutex_unlock(&pool->m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    }

    // Leave (the thread mutex is held).
    auto found = std::find(pool->m_ThreadInfo.begin(), pool->m_ThreadInfo.end(), &self.info);
    if (found == pool->m_ThreadInfo.end()) {
        if (listed) qx::Assert(L"it == m_ThreadInfo.end()", nullptr, kSource, __LINE__);
    } else {
        pool->m_ThreadInfo.erase(found);
    }
    --pool->m_uThreadCount;
    if (pool->m_bDestroying && pool->m_uThreadCount == 0)
        Check(pthread_cond_signal(&pool->m_FinishSignal), L"pthread_cond_signal(pSignal)");
    // The pool may be freed as soon as the count reaches 0 and this thread lets go of it.
    InterlockedIncrement(&extras->departing);
    Check(pthread_mutex_unlock(&pool->m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    Check(pthread_cond_destroy(&self.info.m_Signal), L"pthread_cond_destroy(&m_Signal)");
    qx::ThisThread().pool = nullptr;
    InterlockedDecrement(&extras->departing); // the last touch of the pool
    return nullptr;
}

void CThreadPool::DestroyThreadPool(CThreadPool *pool) {
    if (!pool) {
        qx::Assert(L"!pPool", nullptr, kSource, __LINE__);
        return;
    }
    // A job of the pool would wait for its own thread.
    if (PoolOfThisThread() == pool) {
        qx::Assert(L"t_pool == pPool", L"A pool cannot be destroyed from one of its own jobs.", kSource,
                   __LINE__);
        return;
    }
    Check(pthread_mutex_lock(&pool->m_PoolMutex), L"pthread_mutex_lock(&m_PoolMutex)");
    Check(pthread_mutex_lock(&pool->m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
    qx::Detail(kSource, __LINE__, L"Thread Pool, started destroying all threads, m_uThreadCount = %d",
               pool->m_uThreadCount);
    pool->m_bDestroying = true;
    for (SThreadInfo *info : pool->m_ThreadInfo)
        if (info->m_bWaiting) Check(pthread_cond_signal(&info->m_Signal), L"pthread_cond_signal(pSignal)");
    pthread_cond_broadcast(&pool->m_IdleSignal); // submitters at the thread limit, WaitForIdle
    // Submissions from running jobs may go on now: they see "destroying" and are refused.
    Check(pthread_mutex_unlock(&pool->m_PoolMutex), L"pthread_mutex_unlock(&m_PoolMutex)");
    while (pool->m_uThreadCount != 0)
        Check(pthread_cond_wait(&pool->m_FinishSignal, &pool->m_ThreadMutex),
              L"pthread_cond_wait(&m_FinishSignal, &m_ThreadMutex)");
    Check(pthread_mutex_unlock(&pool->m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    PoolExtras *extras = ExtrasOf(pool);
    while (InterlockedCompareExchange(&extras->callers, 0, 0) != 0 ||
           InterlockedCompareExchange(&extras->departing, 0, 0) != 0)
        Sleep(0);
    extras->~PoolExtras();
    pool->~CThreadPool();
    qx::Detail(kSource, __LINE__, L"Thread Pool, destructor");
    ::operator delete(static_cast<void *>(pool));
}

int CThreadPool::WaitForIdle() {
    if (PoolOfThisThread() == this) return QX_ERR_NOT_SUPPORTED;
    // Counted as a caller: DestroyThreadPool wakes it and frees nothing before it has left.
    PoolExtras *extras = ExtrasOf(this);
    InterlockedIncrement(&extras->callers);
    Check(pthread_mutex_lock(&m_ThreadMutex), L"pthread_mutex_lock(&m_ThreadMutex)");
    while (m_uWorkingThreadCount != 0 && !m_bDestroying)
        Check(pthread_cond_wait(&m_IdleSignal, &m_ThreadMutex),
              L"pthread_cond_wait(&m_IdleSignal, &m_ThreadMutex)");
    const int status = m_bDestroying ? QX_ERR_SYSTEM : QX_OK;
    Check(pthread_mutex_unlock(&m_ThreadMutex), L"pthread_mutex_unlock(&m_ThreadMutex)");
    InterlockedDecrement(&extras->callers);
    return status;
}
