/* Thread pool of zx_winsys: short jobs handed directly to an idle pool thread, or to a new
 * thread when none is idle. There is no job queue. Idle threads wait 60 s, 30 s and 15 s (at
 * most three of them) and then end, so the pool grows with demand and shrinks by itself.
 *
 * A job is handed over when it is placed with its thread: an idle thread that was chosen, or a
 * new thread started for it. The thread runs it, also when the pool is being destroyed. Idle waits
 * run on the monotonic time counter: a change of the wall clock neither ends nor stretches them. */
#ifndef QX_THREADPOOL_H
#define QX_THREADPOOL_H

#include <stdint.h>

#include <vector>

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* A job: runs once with its argument on a pool thread; the result is ignored. */
typedef void *(*QxThreadPoolJob)(void *arg);

/* One pool thread, kept on that thread's own stack. */
struct SThreadInfo {
    pthread_t m_Thread;      /* pthread_self() of the thread */
    uint32_t m_uTimeout;     /* idle time-out of the current wait, ms */
    uint32_t m_uDeadline;    /* end of the current wait, ms */
    bool m_bWaiting;         /* set only while the thread waits for a job */
    pthread_cond_t m_Signal; /* the thread waits on it for a job */
};

class QX_API CThreadPool {
public:
    /* A new pool without threads, or null when it cannot be allocated. */
    static CThreadPool *CreateThreadPool();
    /* The same with at most maxThreads threads (0: no limit); at the limit
     * MakeCallFromThreadPool waits until a thread is free, except when one of the pool's own jobs
     * submits: its job is queued for the next thread that finishes, and 0 is returned at once. */
    static CThreadPool *CreateThreadPool(uint32_t maxThreads);

    /* Hands job(arg) to an idle thread or to a new one and returns once a pool thread has taken
     * it (not when it has run). 0, or QX_ERR_SYSTEM when a new thread was needed and could not
     * be started, or the pool is being destroyed; QX_ERR_INVALID_ARG (after an assertion) for a
     * null job. Jobs may call it on their own pool. */
    int MakeCallFromThreadPool(QxThreadPoolJob job, void *arg);

    /* Returns after every pool thread has left (running jobs finish first) and every call that
     * was inside MakeCallFromThreadPool has returned, then frees the pool. Submissions made while
     * it runs (from jobs, or racing it) get QX_ERR_SYSTEM. Called from a job of the same pool it
     * reports an assertion and does nothing. */
    static void DestroyThreadPool(CThreadPool *pool);

    /* Waits until no job of the pool runs, without destroying it. 0, QX_ERR_NOT_SUPPORTED when
     * called from a job of the same pool, or QX_ERR_SYSTEM at once when the pool is being
     * destroyed (DestroyThreadPool frees nothing before every waiter has left). */
    int WaitForIdle();

private:
    CThreadPool();
    ~CThreadPool();
    CThreadPool(const CThreadPool &) = delete;
    CThreadPool &operator=(const CThreadPool &) = delete;

    static void *PoolThreadProc(void *pool);

    pthread_mutex_t m_PoolMutex;
    pthread_mutex_t m_ThreadMutex;
    pthread_cond_t m_FinishSignal;
    uint32_t m_uThreadCount;
    uint32_t m_uWorkingThreadCount;
    bool m_bDestroying;
    SThreadInfo *m_pChosenThread;
    std::vector<SThreadInfo *> m_ThreadInfo;
    sem_t m_CtxSem;
    QxThreadPoolJob m_pJobFunction;
    void *m_pJobArgument;
    uint32_t m_uMaxThreads;      /* 0 = no limit */
    pthread_cond_t m_IdleSignal; /* a job ended (thread limit, WaitForIdle) */
};

#endif
