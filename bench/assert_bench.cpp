// DiagAssertA with the option word 0x14 (stack trace into the log file; the first call, which
// loads the symbols, excluded) against a raw stack walk of the same depth with names and lines.
#include <windows.h>
#include <dbghelp.h>

#include <cstdio>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kReports = 200;

#if defined(_MSC_VER)
__declspec(noinline)
#else
__attribute__((noinline))
#endif
void RawWalk(HANDLE process) {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    STACKFRAME64 frame = {};
#if defined(_WIN64)
    const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
    frame.AddrPC.Offset = context.Rip;
    frame.AddrStack.Offset = context.Rsp;
    frame.AddrFrame.Offset = context.Rbp;
#else
    const DWORD machine = IMAGE_FILE_MACHINE_I386;
    frame.AddrPC.Offset = context.Eip;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrFrame.Offset = context.Ebp;
#endif
    frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;
    char storage[sizeof(SYMBOL_INFO) + 261];
    while (StackWalk64(machine, process, GetCurrentThread(), &frame, &context, nullptr, SymFunctionTableAccess64,
                       SymGetModuleBase64, nullptr) &&
           frame.AddrPC.Offset) {
        auto *symbol = reinterpret_cast<SYMBOL_INFO *>(storage);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = 260;
        DWORD64 displacement = 0;
        SymFromAddr(process, frame.AddrPC.Offset, &displacement, symbol);
        IMAGEHLP_LINE64 line = {};
        line.SizeOfStruct = sizeof line;
        DWORD lineDisplacement = 0;
        SymGetLineFromAddr64(process, frame.AddrPC.Offset, &lineDisplacement, &line);
    }
}

// The reporter walks from inside itself: DiagAssertA, the report and the trace builder lie above
// the caller. The raw walk starts as deep, so that both walk the same frames.
#if defined(_MSC_VER)
__declspec(noinline)
#else
__attribute__((noinline))
#endif
void Nested(HANDLE process, int depth) {
    if (depth == 0)
        RawWalk(process);
    else
        Nested(process, depth - 1);
    SetLastError(0); // not a tail call
}

} // namespace

int wmain() {
    DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_LOGFILE, "warm up", nullptr, "bench/assert", 1);
    bench::Stopwatch watch;
    for (int i = 0; i < kReports; ++i)
        DiagAssertA(QX_DIAG_STACKTRACE, "bench", nullptr, "bench/assert", i);
    const double traceOnly = watch.Seconds();
    watch.Restart();
    for (int i = 0; i < kReports; ++i)
        DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_LOGFILE, "bench", nullptr, "bench/assert", i);
    const double ours = watch.Seconds();
    std::printf("stack trace without sinks %.2f ms each\n", traceOnly * 1000 / kReports);

    // The library's symbol engine is already set up in this process and has the modules loaded.
    HANDLE process = GetCurrentProcess();
    watch.Restart();
    for (int i = 0; i < kReports; ++i)
        Nested(process, 2);
    const double raw = watch.Seconds();
    std::printf("%d reports with a stack trace: DiagAssertA %.3f s (%.2f ms each), raw walk %.3f s (%.2f ms each), "
                "ratio %.2f\n",
                kReports, ours, ours * 1000 / kReports, raw, raw * 1000 / kReports, ours / raw);
    return 0;
}
