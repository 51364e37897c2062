// Threads: creation, join, detach, self and attribute checks.
#include "testsupport/zxtest.h"
#include "zx_pthreads/zx_pthreads.h"

#include <cstring>

namespace {

struct SleepThenMark {
    volatile LONG done = 0;
    pthread_t seenSelf = {nullptr, 0};
};

void *SleepThenMarkMain(void *arg) {
    auto *state = static_cast<SleepThenMark *>(arg);
    Sleep(150);
    state->seenSelf = pthread_self();
    InterlockedExchange(&state->done, 1);
    return reinterpret_cast<void *>(static_cast<intptr_t>(42));
}

void *SetEventMain(void *arg) {
    SetEvent(static_cast<HANDLE>(arg));
    return nullptr;
}

} // namespace

TEST_CASE("pthread_join waits for the thread's end and hands back its result") {
    SleepThenMark state;
    pthread_t thread = {nullptr, 0};
    REQUIRE(pthread_create(&thread, nullptr, SleepThenMarkMain, &state) == 0);
    void *result = nullptr;
    REQUIRE(pthread_join(thread, &result) == 0);
    CHECK(state.done == 1);
    CHECK(reinterpret_cast<intptr_t>(result) == 42);
    CHECK(pthread_equal(state.seenSelf, thread));
}

TEST_CASE("pthread_join accepts no result slot") {
    SleepThenMark state;
    pthread_t thread = {nullptr, 0};
    REQUIRE(pthread_create(&thread, nullptr, SleepThenMarkMain, &state) == 0);
    CHECK(pthread_join(thread, nullptr) == 0);
    CHECK(state.done == 1);
}

TEST_CASE("default attributes give a joinable thread; detached threads run to their end") {
    pthread_attr_t attr;
    REQUIRE(pthread_attr_init(&attr) == 0);
    SleepThenMark state;
    pthread_t joinable = {nullptr, 0};
    REQUIRE(pthread_create(&joinable, &attr, SleepThenMarkMain, &state) == 0);
    CHECK(pthread_join(joinable, nullptr) == 0);

    HANDLE ran = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    REQUIRE(pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0);
    pthread_t detached = {nullptr, 0};
    REQUIRE(pthread_create(&detached, &attr, SetEventMain, ran) == 0);
    CHECK(WaitForSingleObject(ran, 10000) == WAIT_OBJECT_0);

    pthread_t later = {nullptr, 0};
    ResetEvent(ran);
    REQUIRE(pthread_create(&later, nullptr, SetEventMain, ran) == 0);
    CHECK(pthread_detach(later) == 0);
    CHECK(WaitForSingleObject(ran, 10000) == WAIT_OBJECT_0);
    CloseHandle(ran);
    pthread_attr_destroy(&attr);
}

TEST_CASE("pthread_create refuses attributes that were never initialised with 22") {
    pthread_attr_t attr;
    std::memset(&attr, 0x5c, sizeof attr);
    pthread_t thread = {nullptr, 0};
    CHECK(pthread_create(&thread, &attr, SetEventMain, nullptr) == ZXP_EINVAL);
    CHECK(thread.p == nullptr);
    CHECK(ZXP_EINVAL == 22);
    CHECK(ZXP_EAGAIN == 11);
    CHECK(ZXP_ETIMEDOUT == 10060);
}

#ifndef _WIN64
TEST_CASE("pthread_create reports 11 when the system cannot make the thread") {
    // A 32-bit process cannot reserve a stack of nearly 4 GiB.
    pthread_attr_t attr;
    REQUIRE(pthread_attr_init(&attr) == 0);
    REQUIRE(pthread_attr_setstacksize(&attr, 0xFFF00000u) == 0);
    pthread_t thread = {nullptr, 0};
    CHECK(pthread_create(&thread, &attr, SetEventMain, nullptr) == ZXP_EAGAIN);
    pthread_attr_destroy(&attr);
}
#endif

TEST_CASE("pthread_self is stable in a thread the library did not start") {
    pthread_t a = pthread_self();
    pthread_t b = pthread_self();
    CHECK(a.p != nullptr);
    CHECK(pthread_equal(a, b));
    CHECK(pthread_join(a, nullptr) != 0);
}

TEST_CASE("pthread_delay_np sleeps at least the interval and refuses bad intervals") {
    struct timespec interval = {0, 120 * 1000000L};
    DWORD start = GetTickCount();
    CHECK(pthread_delay_np(&interval) == 0);
    CHECK(GetTickCount() - start >= 100);
    struct timespec bad = {0, 1000000000L};
    CHECK(pthread_delay_np(&bad) == ZXP_EINVAL);
    CHECK(pthread_delay_np(nullptr) == ZXP_EINVAL);
}
