// The light "CS" mutex: the same recursive critical section as pthread_mutex_t.
#include "zx_pthreads/internal.h"

extern "C" {

int pthread_mutexCS_init(pthread_mutexCS_t *mutex, const pthread_mutexattr_t *attr) {
    return pthread_mutex_init(mutex, attr);
}

int pthread_mutexCS_destroy(pthread_mutexCS_t *mutex) {
    return pthread_mutex_destroy(mutex);
}

int pthread_mutexCS_lock(pthread_mutexCS_t *mutex) {
    return pthread_mutex_lock(mutex);
}

int pthread_mutexCS_unlock(pthread_mutexCS_t *mutex) {
    return pthread_mutex_unlock(mutex);
}

} // extern "C"
