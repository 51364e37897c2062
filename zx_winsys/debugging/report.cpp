// How the library's own code reports: trace statements and the loading flag.
#include <windows.h>

#include <cstdarg>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_diag.h"

namespace {

volatile LONG g_loading = 0;

} // namespace

namespace qx {

void Report(const char *source, int line, const wchar_t *message) {
    KeepLastError keep;
    DiagOutputExW_hlp(source, line);
    DiagOutputExW(L"%s", message);
}

void Detail(const char *source, int line, const wchar_t *format, ...) {
    KeepLastError keep;
    DiagOutputExW_hlp(source, line);
    if (!CQxLogFile::Detail()) return;
    va_list args;
    va_start(args, format);
    WriteRecordV(format, args);
    va_end(args);
}

bool Loading() {
    return g_loading != 0;
}

void SetLoading(bool loading) {
    InterlockedExchange(&g_loading, loading ? 1 : 0);
}

} // namespace qx
