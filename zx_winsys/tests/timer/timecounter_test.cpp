// The millisecond time counter and the cycle counter, as callers of the library see them.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cmath>
#include <vector>

namespace {

struct MonotonicRun {
    int reads;
    volatile LONG backwards;
};

DWORD WINAPI ReadMany(void *arg) {
    auto *run = static_cast<MonotonicRun *>(arg);
    double last = QX_GetTimeCounter();
    for (int i = 0; i < run->reads; ++i) {
        const double now = QX_GetTimeCounter();
        if (now < last) InterlockedIncrement(&run->backwards);
        last = now;
    }
    return 0;
}

} // namespace

TEST_CASE("time counter: milliseconds that never run backwards, on any of 8 threads") {
    const double precision = QX_GetTimeCounterPrecision();
    CHECK(precision > 0.0);
    CHECK(precision <= 16.0);

    MonotonicRun run = {zxtest::LoadSize(200000, 1000000), 0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i)
        threads.push_back(CreateThread(nullptr, 0, ReadMany, &run, 0, nullptr));
    for (HANDLE t : threads) {
        REQUIRE(WaitForSingleObject(t, 120000) == WAIT_OBJECT_0);
        CloseHandle(t);
    }
    CHECK(run.backwards == 0);

    // It counts milliseconds.
    const double start = QX_GetTimeCounter();
    Sleep(200);
    const double elapsed = QX_GetTimeCounter() - start;
    CHECK(elapsed >= 190.0);
    CHECK(elapsed < 2000.0);
}

TEST_CASE("cycle counter: reads increase, and a calibration lands near a reference measurement") {
    REQUIRE(rdtsc_initialize() == rdtsc_available());
    if (!rdtsc_available()) {
        MESSAGE("no cycle counter on this processor");
        CHECK(rdtsc_count() == 0);
        return;
    }
    const uint64_t first = rdtsc_count();
    const uint64_t second = rdtsc_count();
    CHECK(second > first);

    // Reference: the counter over 300 ms of the performance counter, then a calibration. Each
    // measurement also holds the CPUID instructions, which cost microseconds under virtual machines;
    // 2 % leaves room for that. A thread preempted inside a measurement window (other tests run
    // beside this one) skews one attempt, so the pair is measured up to five times.
    double hz = 0.0, deviation = 0.0, reference = 0.0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        const uint64_t c0 = rdtsc_count();
        do {
            QueryPerformanceCounter(&now);
        } while (now.QuadPart - start.QuadPart < frequency.QuadPart * 3 / 10);
        const uint64_t c1 = rdtsc_count();
        reference = double(c1 - c0) * double(frequency.QuadPart) / double(now.QuadPart - start.QuadPart);
        REQUIRE(rdtsc_cpu_freq(&hz, &deviation, 50, 5) == 1);
        if (std::fabs(hz - reference) / reference < 0.02) break;
    }
    CAPTURE(hz);
    CAPTURE(reference);
    CHECK(std::fabs(hz - reference) / reference < 0.02);
    CHECK(deviation >= 0.0);
    CHECK(std::fabs(rdtsc_count2seconds(static_cast<int64_t>(hz)) - 1.0) < 1e-9);
}

TEST_CASE("cycle counter: bad input changes nothing and gives 0") {
    double hz = 0.0, deviation = 0.0;
    if (rdtsc_available()) REQUIRE(rdtsc_cpu_freq(&hz, &deviation, 20, 1) == 1);
    const double before = rdtsc_count2seconds(1000000);
    double untouched = 123.0, wanted = 5.0;
    CHECK(rdtsc_cpu_freq(&untouched, &wanted, 0, 5) == 0);
    CHECK(untouched == 123.0);
    CHECK(wanted == 5.0);
    CHECK(rdtsc_cpu_freq(nullptr, &wanted, 10, 1) == 0);
    CHECK(rdtsc_cpu_freq(&untouched, nullptr, 10, 1) == 0);
    CHECK(rdtsc_count2seconds(1000000) == before);
    CHECK(std::isfinite(rdtsc_count2seconds(-5)));
    // The same rounding for a count and its negation (doubles are not kept in wider registers).
    CHECK(rdtsc_count2seconds(-1000000000) == -rdtsc_count2seconds(1000000000));
}
