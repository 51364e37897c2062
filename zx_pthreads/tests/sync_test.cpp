// Mutexes, the static CS mutex, conditions with deadlines and semaphores.
#include "testsupport/zxtest.h"
#include "zx_pthreads/zx_pthreads.h"

#include <vector>

namespace {

struct timespec DeadlineIn(int milliseconds) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER now;
    now.LowPart = ft.dwLowDateTime;
    now.HighPart = ft.dwHighDateTime;
    long long unix100ns =
        static_cast<long long>(now.QuadPart) - 116444736000000000LL + milliseconds * 10000LL;
    struct timespec deadline;
    deadline.tv_sec = static_cast<time_t>(unix100ns / 10000000LL);
    deadline.tv_nsec = static_cast<long>((unix100ns % 10000000LL) * 100);
    return deadline;
}

// Many threads released at once all take their first lock of one statically initialised mutex.
struct FirstLockRace {
    pthread_mutexCS_t mutex = PTHREAD_MUTEXCS_INITIALIZER;
    HANDLE go = nullptr;
    long counter = 0; // guarded by mutex only
};

void *RaceMain(void *arg) {
    auto *race = static_cast<FirstLockRace *>(arg);
    WaitForSingleObject(race->go, INFINITE);
    for (int i = 0; i < 2000; ++i) {
        pthread_mutexCS_lock(&race->mutex);
        long seen = race->counter;
        if ((i & 63) == 0) Sleep(0);
        race->counter = seen + 1;
        pthread_mutexCS_unlock(&race->mutex);
    }
    return nullptr;
}

struct Waiter {
    pthread_mutex_t mutex = nullptr;
    pthread_cond_t cond = nullptr;
    bool ready = false;
    int waiting = 0; // waiters inside pthread_cond_timedwait (counted under the mutex)
    int woken = 0;
};

void *SignalLaterMain(void *arg) {
    auto *w = static_cast<Waiter *>(arg);
    Sleep(100);
    pthread_mutex_lock(&w->mutex);
    w->ready = true;
    pthread_cond_signal(&w->cond);
    pthread_mutex_unlock(&w->mutex);
    return nullptr;
}

void *WaitOnceMain(void *arg) {
    auto *w = static_cast<Waiter *>(arg);
    pthread_mutex_lock(&w->mutex);
    ++w->waiting; // the mutex is released only inside the wait, so whoever sees this can signal
    struct timespec deadline = DeadlineIn(20000);
    if (pthread_cond_timedwait(&w->cond, &w->mutex, &deadline) == 0) ++w->woken;
    pthread_mutex_unlock(&w->mutex);
    return nullptr;
}

struct HandOff {
    sem_t items = nullptr;
    sem_t space = nullptr;
    int slot = 0;
    std::vector<int> received;
};

void *ConsumerMain(void *arg) {
    auto *h = static_cast<HandOff *>(arg);
    for (int i = 0; i < 200; ++i) {
        sem_wait(&h->items);
        h->received.push_back(h->slot);
        sem_post(&h->space);
    }
    return nullptr;
}

} // namespace

TEST_CASE("a statically initialised CS mutex survives a race of first locks") {
    for (int round = 0; round < 5; ++round) {
        FirstLockRace race;
        race.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<pthread_t> threads(8);
        for (auto &t : threads)
            REQUIRE(pthread_create(&t, nullptr, RaceMain, &race) == 0);
        SetEvent(race.go);
        for (auto &t : threads)
            pthread_join(t, nullptr);
        CHECK(race.counter == 8 * 2000);
        CHECK(race.mutex != PTHREAD_MUTEXCS_INITIALIZER);
        CHECK(pthread_mutexCS_destroy(&race.mutex) == 0);
        CloseHandle(race.go);
    }
}

TEST_CASE("the CS mutex is recursive and can be made and destroyed explicitly") {
    pthread_mutexCS_t mutex = nullptr;
    REQUIRE(pthread_mutexCS_init(&mutex, nullptr) == 0);
    CHECK(pthread_mutexCS_lock(&mutex) == 0);
    CHECK(pthread_mutexCS_lock(&mutex) == 0);
    CHECK(pthread_mutexCS_unlock(&mutex) == 0);
    CHECK(pthread_mutexCS_unlock(&mutex) == 0);
    CHECK(pthread_mutexCS_destroy(&mutex) == 0);
    pthread_mutexCS_t unused = PTHREAD_MUTEXCS_INITIALIZER;
    CHECK(pthread_mutexCS_destroy(&unused) == 0);
}

TEST_CASE("pthread_cond_timedwait times out with 10060 at the deadline") {
    Waiter w;
    REQUIRE(pthread_mutex_init(&w.mutex, nullptr) == 0);
    REQUIRE(pthread_cond_init(&w.cond, nullptr) == 0);
    pthread_mutex_lock(&w.mutex);
    DWORD start = GetTickCount();
    struct timespec deadline = DeadlineIn(300);
    int rc = pthread_cond_timedwait(&w.cond, &w.mutex, &deadline);
    DWORD waited = GetTickCount() - start;
    pthread_mutex_unlock(&w.mutex);
    CHECK(rc == 10060);
    CHECK(waited >= 250);

    // A deadline in the past times out at once, with the mutex still held afterwards.
    pthread_mutex_lock(&w.mutex);
    struct timespec past = DeadlineIn(-1000);
    CHECK(pthread_cond_timedwait(&w.cond, &w.mutex, &past) == 10060);
    CHECK(pthread_mutex_unlock(&w.mutex) == 0);
    pthread_cond_destroy(&w.cond);
    pthread_mutex_destroy(&w.mutex);
}

TEST_CASE("pthread_cond_timedwait returns 0 when signalled before the deadline") {
    Waiter w;
    REQUIRE(pthread_mutex_init(&w.mutex, nullptr) == 0);
    REQUIRE(pthread_cond_init(&w.cond, nullptr) == 0);
    pthread_t signaller = {nullptr, 0};
    pthread_mutex_lock(&w.mutex);
    REQUIRE(pthread_create(&signaller, nullptr, SignalLaterMain, &w) == 0);
    struct timespec deadline = DeadlineIn(20000);
    int rc = 0;
    while (!w.ready && rc == 0)
        rc = pthread_cond_timedwait(&w.cond, &w.mutex, &deadline);
    pthread_mutex_unlock(&w.mutex);
    pthread_join(signaller, nullptr);
    CHECK(rc == 0);
    CHECK(w.ready);
    pthread_cond_destroy(&w.cond);
    pthread_mutex_destroy(&w.mutex);
}

TEST_CASE("a signal wakes one waiter, a broadcast the rest") {
    Waiter w;
    REQUIRE(pthread_mutex_init(&w.mutex, nullptr) == 0);
    REQUIRE(pthread_cond_init(&w.cond, nullptr) == 0);
    pthread_t a = {nullptr, 0}, b = {nullptr, 0};
    REQUIRE(pthread_create(&a, nullptr, WaitOnceMain, &w) == 0);
    REQUIRE(pthread_create(&b, nullptr, WaitOnceMain, &w) == 0);
    for (;;) { // until both are waiting
        pthread_mutex_lock(&w.mutex);
        const bool both = w.waiting == 2;
        if (both) pthread_cond_signal(&w.cond);
        pthread_mutex_unlock(&w.mutex);
        if (both) break;
        Sleep(5);
    }
    for (int i = 0; i < 400; ++i) { // the woken one takes the mutex back
        pthread_mutex_lock(&w.mutex);
        const int woken = w.woken;
        pthread_mutex_unlock(&w.mutex);
        if (woken > 0) break;
        Sleep(5);
    }
    Sleep(200); // time for a second, wrong wake-up to show
    pthread_mutex_lock(&w.mutex);
    CHECK(w.woken == 1);
    pthread_cond_broadcast(&w.cond);
    pthread_mutex_unlock(&w.mutex);
    pthread_join(a, nullptr);
    pthread_join(b, nullptr);
    CHECK(w.woken == 2);
    pthread_cond_destroy(&w.cond);
    pthread_mutex_destroy(&w.mutex);
}

TEST_CASE("semaphores hand values from one thread to another in order") {
    HandOff h;
    REQUIRE(sem_init(&h.items, 0, 0) == 0);
    REQUIRE(sem_init(&h.space, 0, 1) == 0);
    pthread_t consumer = {nullptr, 0};
    REQUIRE(pthread_create(&consumer, nullptr, ConsumerMain, &h) == 0);
    for (int i = 0; i < 200; ++i) {
        sem_wait(&h.space);
        h.slot = i;
        sem_post(&h.items);
    }
    pthread_join(consumer, nullptr);
    REQUIRE(h.received.size() == 200);
    for (int i = 0; i < 200; ++i)
        CHECK(h.received[static_cast<size_t>(i)] == i);
    CHECK(sem_init(&h.items, 1, 0) == ZXP_EINVAL); // shared between processes: not supported
    sem_destroy(&h.items);
    sem_destroy(&h.space);
}
