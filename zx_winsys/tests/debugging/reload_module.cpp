// A library that reports from its own function, built twice (alpha.dll and beta.dll) at the same
// preferred base: a library freed and another loaded at its base must be named as itself.
#include <windows.h>

#include "zx_winsys/qx_diag.h"

#if defined(_MSC_VER)
#define ZX_NOINLINE __declspec(noinline)
#else
#define ZX_NOINLINE __attribute__((noinline))
#endif

extern "C" __declspec(dllexport) ZX_NOINLINE int ZX_REPORTER(const char *marker) {
    const int result =
        DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_LOGFILE, marker, nullptr, "debugging/test", 1);
    return result + 1; // not a tail call: this frame stays on the stack
}
