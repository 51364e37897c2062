// The system calls behind the time counter and the cycle counter. Tests replace them to reach
// the fallback clock, a failing device query and every branch of the availability test without
// faking the system.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <stdint.h>

namespace qx {

struct ClockSystem {
    BOOL(WINAPI *queryFrequency)(LARGE_INTEGER *);
    BOOL(WINAPI *queryCounter)(LARGE_INTEGER *);
    DWORD(WINAPI *multimediaTime)();
    MMRESULT(WINAPI *deviceCaps)(LPTIMECAPS, UINT);
    MMRESULT(WINAPI *beginPeriod)(UINT);
    MMRESULT(WINAPI *endPeriod)(UINT);
};

struct ProcessorSystem {
    DWORD (*processorType)();    // as GetSystemInfo reports it: 586, 8664, ...
    bool (*hasTimeStampFeature)(); // CPUID leaf 1, EDX bit 4
    uint64_t (*serializedRead)();  // CPUID leaf 0, then RDTSC
    int (*platformIsNt)();         // the platform probe
};

// The calls in force; the defaults are the system's own.
ClockSystem &Clock();
ProcessorSystem &Processor();

// Steps of the library's load and unload sequence.
void SetUpTimeCounter();
void ReleaseTimeCounter();

// Calibration with its pass count, for rdtsc_cpu_freq and the tests.
int Calibrate(double *frequency, double *precision, unsigned intervalMs, uint16_t maxPasses, int *passes);

// Back to the state before rdtsc_initialize and before any calibration (tests only).
void ResetCycleCounter();

} // namespace qx
