// The processor's cycle counter: availability test, serialised reads and calibration against the
// performance counter.
#include <windows.h>

#include <cmath>

#if defined(_MSC_VER)
#include <intrin.h>
#elif defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

#include "zx_winsys/internal/clock.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "timer/rdtsc";

#if defined(_MSC_VER) || defined(__i386__) || defined(__x86_64__)
void Cpuid(unsigned leaf, unsigned regs[4]) {
#if defined(_MSC_VER)
    int r[4];
    __cpuid(r, static_cast<int>(leaf));
    for (int i = 0; i < 4; ++i)
        regs[i] = static_cast<unsigned>(r[i]);
#else
    __cpuid(leaf, regs[0], regs[1], regs[2], regs[3]);
#endif
}

bool SystemHasTimeStampFeature() {
    unsigned regs[4];
    Cpuid(0, regs);
    if (regs[0] < 1) return false;
    Cpuid(1, regs);
    return (regs[3] & (1u << 4)) != 0;
}

// CPUID serialises: every earlier instruction has finished when RDTSC reads the counter.
uint64_t SystemSerializedRead() {
    unsigned regs[4];
    Cpuid(0, regs);
    return __rdtsc();
}
#else
bool SystemHasTimeStampFeature() {
    return false;
}
uint64_t SystemSerializedRead() {
    return 0;
}
#endif

DWORD SystemProcessorType() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwProcessorType;
}

int SystemPlatformIsNt() {
    HMODULE kernel = GetModuleHandleW(L"KERNEL32.DLL");
    if (!kernel) return 0;
    using GetVersionExFn = BOOL(WINAPI *)(LPOSVERSIONINFOW);
    auto getVersion = reinterpret_cast<GetVersionExFn>(reinterpret_cast<void *>(GetProcAddress(kernel, "GetVersionExW")));
    if (!getVersion) return 1;
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = 276;
    if (!getVersion(&info)) return 0;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

qx::ProcessorSystem g_processor = {SystemProcessorType, SystemHasTimeStampFeature, SystemSerializedRead,
                                   SystemPlatformIsNt};

volatile LONG g_initialized = 0;
int g_available = 0;
int g_platformIsNt = 0; // kept as the probe found it; interrupts are never touched either way

// The availability trace is written at the first use of the counter, not at load: writing it
// inside DllMain could open the log file under the loader lock.
volatile LONG g_tracePending = 0;

// Calibration, published frequency and deviation first, then the flag (release ordering).
double g_frequency = 0.0;
double g_deviation = 0.0;
volatile LONG g_calibrated = 0;
SRWLOCK g_firstCalibration = SRWLOCK_INIT;

bool AvailabilityTest() {
    const DWORD type = g_processor.processorType();
    if (type != PROCESSOR_INTEL_PENTIUM && type != PROCESSOR_AMD_X8664) return false;
    if (!g_processor.hasTimeStampFeature()) return false;
    const uint64_t first = g_processor.serializedRead();
    const uint64_t second = g_processor.serializedRead();
    return second > first;
}

void FlushAvailabilityTrace() {
    if (g_tracePending == 0 || qx::Loading()) return;
    if (InterlockedExchange(&g_tracePending, 0) == 0) return;
    qx::Detail(kSource, __LINE__, L"%s",
               g_available ? L"RDTSC instruction probably present.\n" : L"RDTSC instruction NOT present.\n");
}

void Publish(double frequency, double deviation) {
    g_frequency = frequency;
    g_deviation = deviation;
    MemoryBarrier();
    InterlockedExchange(&g_calibrated, 1);
}

// One measurement over interval ticks of the performance counter, in Hz.
double Measure(LONGLONG intervalTicks, unsigned intervalMs) {
    LARGE_INTEGER now;
    qx::Clock().queryCounter(&now);
    const LONGLONG target = now.QuadPart + intervalTicks;
    const uint64_t c0 = rdtsc_count();
    do {
        qx::Clock().queryCounter(&now);
    } while (now.QuadPart < target);
    const uint64_t c1 = rdtsc_count();
    return static_cast<double>(static_cast<int64_t>(c1 - c0)) * 1000.0 / intervalMs;
}

} // namespace

namespace qx {

ProcessorSystem &Processor() {
    return g_processor;
}

void ResetCycleCounter() {
    g_initialized = 0;
    g_available = 0;
    g_platformIsNt = 0;
    g_tracePending = 0;
    g_frequency = 0.0;
    g_deviation = 0.0;
    g_calibrated = 0;
}

int Calibrate(double *frequency, double *precision, unsigned intervalMs, uint16_t maxPasses, int *passes) {
    if (passes) *passes = 0;
    if (!frequency || !precision || intervalMs == 0 || !rdtsc_available()) return 0;
    LARGE_INTEGER ticksPerSecond;
    if (!Clock().queryFrequency(&ticksPerSecond) || ticksPerSecond.QuadPart <= 0) return 0;
    const LONGLONG intervalTicks = ticksPerSecond.QuadPart * static_cast<LONGLONG>(intervalMs) / 1000;

    const double wanted = *precision;
    double average = Measure(intervalTicks, intervalMs);
    uint16_t n = 0;
    double sum = 0.0, deviation = 0.0;
    do {
        const double f = Measure(intervalTicks, intervalMs);
        average = (f + average) / 2;
        sum += std::fabs(f - average);
        ++n;
        deviation = sum / n;
    } while (wanted < deviation && n < maxPasses);
    if (passes) *passes = n;
    // A counter that did not move, or a measurement gone wrong, is no frequency to keep.
    if (!std::isfinite(average) || !(average > 0.0) || !std::isfinite(deviation)) return 0;
    *precision = deviation;
    *frequency = average;
    Publish(average, deviation);
    return 1;
}

} // namespace qx

extern "C" {

int rdtsc_initialize(void) {
    if (InterlockedCompareExchange(&g_initialized, 1, 0) == 0) {
        g_available = AvailabilityTest() ? 1 : 0;
        g_platformIsNt = g_processor.platformIsNt();
        InterlockedExchange(&g_tracePending, 1);
    }
    FlushAvailabilityTrace();
    return rdtsc_available();
}

int rdtsc_available(void) {
    return g_available;
}

uint64_t rdtsc_count(void) {
    if (!g_available) return 0;
    FlushAvailabilityTrace();
    return g_processor.serializedRead();
}

int rdtsc_cpu_freq(double *frequency, double *precision, unsigned int intervalMs, uint16_t maxPasses) {
    return qx::Calibrate(frequency, precision, intervalMs, maxPasses, nullptr);
}

double rdtsc_count2seconds(int64_t count) {
    if (!g_calibrated) {
        // Threads arriving during the first calibration wait for it instead of running their own.
        AcquireSRWLockExclusive(&g_firstCalibration);
        if (!g_calibrated) {
            double frequency = g_frequency, deviation = g_deviation;
            rdtsc_cpu_freq(&frequency, &deviation, 1000, 20);
        }
        ReleaseSRWLockExclusive(&g_firstCalibration);
    }
    MemoryBarrier();
    if (!g_calibrated || !(g_frequency > 0.0)) return 0.0;
    return static_cast<double>(count) / g_frequency;
}

} // extern "C"
