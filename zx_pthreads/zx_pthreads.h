/* zx_pthreads: POSIX-style threads, mutexes, conditions and semaphores over Win32.
 *
 * Every call returns 0 on success or one of the ZXP_E* error numbers below. These are the
 * library's own numbers (the C runtime's errno values differ between runtimes).
 * The header is named so that it never collides with a toolchain's <pthread.h>. */
#ifndef ZX_PTHREADS_H
#define ZX_PTHREADS_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#if defined(ZX_PTHREADS_BUILD)
#define ZXP_API __declspec(dllexport)
#else
#define ZXP_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define ZXP_EPERM 1
#define ZXP_ESRCH 3
#define ZXP_EAGAIN 11 /* no resources for another thread */
#define ZXP_ENOMEM 12
#define ZXP_EBUSY 16
#define ZXP_EINVAL 22 /* invalid argument or attributes */
#define ZXP_EDEADLK 36
#define ZXP_ETIMEDOUT 10060 /* pthread_cond_timedwait: the time passed */

#define PTHREAD_CREATE_JOINABLE 0
#define PTHREAD_CREATE_DETACHED 1

/* A thread handle: a small value type. Callers zero it before creation and pass it by value. */
typedef struct {
    void *p;
    unsigned int x;
} pthread_t;

typedef struct {
    unsigned int valid; /* set by pthread_attr_init */
    int detachState;
    size_t stackSize;
} pthread_attr_t;

typedef struct zxp_mutex *pthread_mutex_t;
typedef struct zxp_cond *pthread_cond_t;
typedef struct zxp_sem *sem_t;
typedef struct zxp_mutex *pthread_mutexCS_t;
typedef void pthread_mutexattr_t; /* attributes are not supported: pass NULL */
typedef void pthread_condattr_t;

/* A mutex holding this value is initialised on its first lock. */
#define PTHREAD_MUTEX_INITIALIZER ((pthread_mutex_t)(intptr_t)-1)
/* A CS mutex whose stored value has all bits set is initialised on its first lock,
 * exactly once also when several threads lock it first at the same moment. */
#define PTHREAD_MUTEXCS_INITIALIZER ((pthread_mutexCS_t)(intptr_t)-1)

typedef void *(*zxp_start_routine)(void *);

ZXP_API int pthread_attr_init(pthread_attr_t *attr);
ZXP_API int pthread_attr_destroy(pthread_attr_t *attr);
ZXP_API int pthread_attr_setdetachstate(pthread_attr_t *attr, int state);
ZXP_API int pthread_attr_setstacksize(pthread_attr_t *attr, size_t size);

/* Starts a thread running routine(arg). attr may be NULL (joinable, default stack).
 * Returns ZXP_EINVAL for attributes that pthread_attr_init did not set up and ZXP_EAGAIN when
 * the system cannot create another thread; *thread is then left as it was. */
ZXP_API int pthread_create(pthread_t *thread, const pthread_attr_t *attr, zxp_start_routine routine,
                           void *arg);
/* Waits for the thread's end; result may be NULL. A thread is joined or detached once. */
ZXP_API int pthread_join(pthread_t thread, void **result);
ZXP_API int pthread_detach(pthread_t thread);
/* The caller's own handle; also for threads that this library did not start. */
ZXP_API pthread_t pthread_self(void);
ZXP_API int pthread_equal(pthread_t a, pthread_t b);

/* Mutexes are recursive critical sections. */
ZXP_API int pthread_mutex_init(pthread_mutex_t *mutex, const pthread_mutexattr_t *attr);
ZXP_API int pthread_mutex_destroy(pthread_mutex_t *mutex);
ZXP_API int pthread_mutex_lock(pthread_mutex_t *mutex);
ZXP_API int pthread_mutex_trylock(pthread_mutex_t *mutex);
ZXP_API int pthread_mutex_unlock(pthread_mutex_t *mutex);

ZXP_API int pthread_cond_init(pthread_cond_t *cond, const pthread_condattr_t *attr);
ZXP_API int pthread_cond_destroy(pthread_cond_t *cond);
/* Wakes one waiter. */
ZXP_API int pthread_cond_signal(pthread_cond_t *cond);
ZXP_API int pthread_cond_broadcast(pthread_cond_t *cond);
/* The mutex must be locked once by the caller. */
ZXP_API int pthread_cond_wait(pthread_cond_t *cond, pthread_mutex_t *mutex);
/* abstime is wall-clock time: seconds since 1970-01-01 UTC and nanoseconds.
 * 0 when woken, ZXP_ETIMEDOUT when the time passed first. */
ZXP_API int pthread_cond_timedwait(pthread_cond_t *cond, pthread_mutex_t *mutex,
                                   const struct timespec *abstime);

/* Semaphores shared between processes are not supported (pshared must be 0). */
ZXP_API int sem_init(sem_t *sem, int pshared, unsigned int value);
ZXP_API int sem_destroy(sem_t *sem);
ZXP_API int sem_wait(sem_t *sem);
ZXP_API int sem_post(sem_t *sem);

/* Sleeps for the relative interval, rounded up to whole milliseconds (the system's unit). */
ZXP_API int pthread_delay_np(const struct timespec *interval);

/* The light "CS" mutex: recursive, statically initialisable with PTHREAD_MUTEXCS_INITIALIZER. */
ZXP_API int pthread_mutexCS_init(pthread_mutexCS_t *mutex, const pthread_mutexattr_t *attr);
ZXP_API int pthread_mutexCS_destroy(pthread_mutexCS_t *mutex);
ZXP_API int pthread_mutexCS_lock(pthread_mutexCS_t *mutex);
ZXP_API int pthread_mutexCS_unlock(pthread_mutexCS_t *mutex);

#ifdef __cplusplus
}
#endif

#endif
