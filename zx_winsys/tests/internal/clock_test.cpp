// The time counter's and the cycle counter's branches, through the system calls they are given:
// the fallback clock, a failing device query, every outcome of the availability test, and the
// calibration's limits. Each scenario runs in a process of its own (the clocks are process-wide).
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/clock.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_time.h"
#include "zx_winsys/tests/debugging/logfolder.h"

#include <cmath>

namespace {

// A multimedia clock and timer device under the test's control.
DWORD g_mmTime = 0;
UINT g_begun = 0, g_ended = 0;
bool g_capsFail = false;
volatile LONG g_frequencyQueries = 0;
volatile LONG64 g_counter = 0;

BOOL WINAPI NoFrequency(LARGE_INTEGER *f) {
    f->QuadPart = 0;
    return FALSE;
}
DWORD WINAPI FakeMultimediaTime() {
    return g_mmTime;
}
MMRESULT WINAPI FakeCaps(LPTIMECAPS caps, UINT) {
    if (g_capsFail) return TIMERR_NOCANDO;
    caps->wPeriodMin = 0; // taken as 1
    caps->wPeriodMax = 1000000;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeBegin(UINT period) {
    g_begun = period;
    return TIMERR_NOERROR;
}
MMRESULT WINAPI FakeEnd(UINT period) {
    g_ended = period;
    return TIMERR_NOERROR;
}

// A performance counter of 1 MHz that moves 1,000 ticks at every reading: a second passes in a
// thousand readings, so calibrations finish at once.
BOOL WINAPI FastFrequency(LARGE_INTEGER *f) {
    InterlockedIncrement(&g_frequencyQueries);
    f->QuadPart = 1000000;
    return TRUE;
}
BOOL WINAPI FastCounter(LARGE_INTEGER *c) {
    c->QuadPart = InterlockedExchangeAdd64(&g_counter, 1000) + 1000;
    return TRUE;
}

DWORD g_type = PROCESSOR_AMD_X8664;
bool g_feature = true;
uint64_t g_tsc = 100;
int g_tscStep = 10;
int g_typeQueries = 0;
DWORD FakeType() {
    ++g_typeQueries;
    return g_type;
}
bool FakeFeature() {
    return g_feature;
}
uint64_t FakeRead() {
    g_tsc += static_cast<uint64_t>(g_tscStep);
    return g_tsc;
}
int FakeNt() {
    return 1;
}

void UseFakeProcessor() {
    qx::Processor() = {FakeType, FakeFeature, FakeRead, FakeNt};
    qx::ResetCycleCounter();
}

} // namespace

ZXTEST_CHILD(fallback_clock_wraps_forward) {
    g_mmTime = 0xFFFFFF00u;
    qx::Clock() = {NoFrequency, nullptr, FakeMultimediaTime, FakeCaps, FakeBegin, FakeEnd};
    qx::SetUpTimeCounter();
    ZXTEST_EXPECT(QX_GetTimeCounterPrecision() == 1.0);
    ZXTEST_EXPECT(g_begun == 1);
    const double before = QX_GetTimeCounter();
    ZXTEST_EXPECT(before == double(0xFFFFFF00u));
    g_mmTime = 0x100; // 0x200 ms later, past the wrap
    const double after = QX_GetTimeCounter();
    ZXTEST_EXPECT(after - before == 512.0);
    g_mmTime = 0xFF; // an older reading (another thread's) never moves it back
    ZXTEST_EXPECT(QX_GetTimeCounter() == after);
    qx::ReleaseTimeCounter();
    ZXTEST_EXPECT(g_ended == 1);
    return 0;
}

ZXTEST_CHILD(failed_device_query_reports_and_keeps_no_period) {
    zxtest_log::ClearLogFolder();
    CQxLogFile::Initialize();
    g_capsFail = true;
    qx::Clock() = {NoFrequency, nullptr, FakeMultimediaTime, FakeCaps, FakeBegin, FakeEnd};
    qx::SetUpTimeCounter();
    ZXTEST_EXPECT(QX_GetTimeCounterPrecision() == 0.0);
    qx::ReleaseTimeCounter();
    ZXTEST_EXPECT(g_begun == 0);
    ZXTEST_EXPECT(g_ended == 0);
    CQxLogFile::CloseLog();
    const std::string log = zxtest_log::ReadAllLogs();
    ZXTEST_EXPECT(log.find("***** File : timer/timer\r\n") != std::string::npos);
    ZXTEST_EXPECT(log.find("***** Expression : TRUE\r\n") != std::string::npos);
    ZXTEST_EXPECT(log.find("***** Multimedia function timeGetDevCaps failed.\r\n") != std::string::npos);
    return 0;
}

ZXTEST_CHILD(availability_branches) {
    struct Case {
        DWORD type;
        bool feature;
        int step;
        int expected;
    };
    const Case cases[] = {
        {PROCESSOR_INTEL_PENTIUM, true, 10, 1}, {PROCESSOR_AMD_X8664, true, 10, 1}, {PROCESSOR_INTEL_486, true, 10, 0},
        {PROCESSOR_AMD_X8664, false, 10, 0},    {PROCESSOR_AMD_X8664, true, 0, 0},
    };
    for (const Case &c : cases) {
        UseFakeProcessor();
        g_type = c.type;
        g_feature = c.feature;
        g_tscStep = c.step;
        ZXTEST_EXPECT(rdtsc_count() == 0); // nothing before the test ran
        ZXTEST_EXPECT(rdtsc_initialize() == c.expected);
        ZXTEST_EXPECT(rdtsc_available() == c.expected);
        ZXTEST_EXPECT((rdtsc_count() != 0) == (c.expected == 1));
    }
    // The test runs once, however often it is asked for.
    UseFakeProcessor();
    g_typeQueries = 0;
    rdtsc_initialize();
    rdtsc_initialize();
    ZXTEST_EXPECT(g_typeQueries == 1);
    return 0;
}

ZXTEST_CHILD(calibration_limits) {
    qx::Clock().queryFrequency = FastFrequency;
    qx::Clock().queryCounter = FastCounter;
    UseFakeProcessor();
    g_tscStep = 1000; // 1,000 cycles per reading, as many as the fake counter's ticks
    ZXTEST_EXPECT(rdtsc_initialize() == 1);

    // A wanted deviation at or above the first pass's ends after one pass.
    double hz = 0.0, wanted = 1e30;
    int passes = 0;
    ZXTEST_EXPECT(qx::Calibrate(&hz, &wanted, 100, 20, &passes) == 1);
    ZXTEST_EXPECT(passes == 1);
    ZXTEST_EXPECT(hz > 0.0 && std::isfinite(hz));
    // A maximum of 0 passes still runs one.
    wanted = 0.0;
    ZXTEST_EXPECT(qx::Calibrate(&hz, &wanted, 100, 0, &passes) == 1);
    ZXTEST_EXPECT(passes == 1);

    // A counter that does not move gives no frequency: nothing is stored, 0.0 seconds follow.
    const double known = rdtsc_count2seconds(static_cast<int64_t>(hz));
    ZXTEST_EXPECT(std::fabs(known - 1.0) < 1e-9);
    g_tscStep = 0;
    double still = 7.0, want = 1.0;
    ZXTEST_EXPECT(rdtsc_cpu_freq(&still, &want, 100, 3) == 0);
    ZXTEST_EXPECT(still == 7.0 && want == 1.0);
    ZXTEST_EXPECT(rdtsc_count2seconds(static_cast<int64_t>(hz)) == known);
    return 0;
}

ZXTEST_CHILD(no_performance_counter_gives_zero_seconds) {
    qx::Clock().queryFrequency = NoFrequency;
    UseFakeProcessor();
    rdtsc_initialize();
    for (int i = 0; i < 3; ++i)
        ZXTEST_EXPECT(rdtsc_count2seconds(1000) == 0.0);
    double hz = 1.0, deviation = 1.0;
    ZXTEST_EXPECT(rdtsc_cpu_freq(&hz, &deviation, 10, 1) == 0);
    return 0;
}

namespace {
DWORD WINAPI FirstUse(void *) {
    return rdtsc_count2seconds(1000) > 0.0 ? 0 : 1;
}
} // namespace

ZXTEST_CHILD(concurrent_first_calls_calibrate_once) {
    qx::Clock().queryFrequency = FastFrequency;
    qx::Clock().queryCounter = FastCounter;
    UseFakeProcessor();
    g_tscStep = 1000;
    rdtsc_initialize();
    g_frequencyQueries = 0;
    HANDLE threads[6];
    for (HANDLE &t : threads)
        t = CreateThread(nullptr, 0, FirstUse, nullptr, 0, nullptr);
    WaitForMultipleObjects(6, threads, TRUE, INFINITE);
    for (HANDLE t : threads) {
        DWORD code = 1;
        GetExitCodeThread(t, &code);
        ZXTEST_EXPECT(code == 0);
        CloseHandle(t);
    }
    ZXTEST_EXPECT(g_frequencyQueries == 1);
    return 0;
}

TEST_CASE("clocks: the fallback clock, the device query, availability and calibration through their seams") {
    for (const char *scenario :
         {"fallback_clock_wraps_forward", "failed_device_query_reports_and_keeps_no_period", "availability_branches",
          "calibration_limits", "no_performance_counter_gives_zero_seconds", "concurrent_first_calls_calibrate_once"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}
