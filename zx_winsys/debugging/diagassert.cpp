// Assertion reports: DiagAssertA, DiagAssertW and the reporter with its sinks.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/logfile.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/qx_diag.h"

#if defined(_MSC_VER)
#include <intrin.h>
#define QX_RETURN_ADDRESS() _ReturnAddress()
#else
#define QX_RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace {

const size_t kReport = 4096;
const size_t kAssertion = 512;

// Reports of several threads are made one after the other; the report buffer and the system's
// symbol engine are process-wide.
struct Reporter {
    CRITICAL_SECTION lock;
    wchar_t report[kReport];
    bool eventLogPossible = true;
    Reporter() { InitializeCriticalSection(&lock); }
    ~Reporter() { DeleteCriticalSection(&lock); }
};
Reporter g_reporter;

// Writes what fits and marks a cut with "..." at the end.
void FormatCut(wchar_t *out, size_t size, const wchar_t *format, ...) {
    va_list args;
    va_start(args, format);
    const int n = _vsnwprintf(out, size, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[size - 1] = L'\0';
        if (size > 4) wcscpy(out + size - 4, L"...");
    }
}

int Report(int options, const wchar_t *assertion, const void *callerReturn) {
    qx::KeepLastError keep;
    const DWORD error = GetLastError();
    qx::ThreadState &self = qx::ThisThread();
    if (self.inReporter) return 0; // a failure inside the reporter's own code
    self.inReporter = true;
    if (options == 0) options = qx::FailureOptions();
    // A report made from a message that this thread's open report box dispatches (a timer, a
    // window procedure) goes to every other sink at once, and asks no second box.
    const bool noBox = (options & QX_DIAG_MSGBOX) && self.boxOpen;

    char *message = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), reinterpret_cast<char *>(&message), 0, nullptr);
    // The system's texts end with a line break of their own; the report adds one.
    for (size_t n = message ? strlen(message) : 0;
         n > 0 && (message[n - 1] == '\r' || message[n - 1] == '\n' || message[n - 1] == ' '); --n)
        message[n - 1] = '\0';
    char program[MAX_PATH];
    const DWORD got = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (got == 0 || got >= MAX_PATH) strcpy(program, "<unknown application>");

    EnterCriticalSection(&g_reporter.lock);
    wchar_t *report = g_reporter.report;
    FormatCut(report, kReport,
              L"Debug Assertion Failed!\r\nProgram : %hs\r\n%s\r\nLast Error (0x%08X) : %hs\r\n", program,
              assertion, error, message ? message : "<no message text>");
    if (message) LocalFree(message);
    if (noBox) {
        const size_t used = wcslen(report);
        FormatCut(report + used, kReport - used,
                  L"Not shown in a box (a report's box is open on this thread): ignored.\r\n");
    }

    if (options & QX_DIAG_STACKTRACE) qx::AppendStackTrace(report, kReport, callerReturn);
    if (options & QX_DIAG_DEBUGGER) {
        std::wstring channel = L"*** ";
        channel += report;
        qx::SendInPieces(channel.c_str(), channel.size(), L"*** ");
    }
    if ((options & QX_DIAG_EVENTLOG) && g_reporter.eventLogPossible)
        g_reporter.eventLogPossible = qx::ReportToEventLog(report);
    if (options & QX_DIAG_LOGFILE) qx::LogReport(report);
    // The box is shown from a private copy once the lock is free: it waits for the user.
    const bool box = (options & QX_DIAG_MSGBOX) && !noBox;
    const std::wstring boxText = box ? std::wstring(report) : std::wstring();
    LeaveCriticalSection(&g_reporter.lock);

    int result = 0; // the Ignore value, also for a report that asked no box
    if (box) {
        HWND active = GetActiveWindow();
        HWND owner = active ? GetLastActivePopup(active) : nullptr;
        // While the box waits, its message loop runs this thread's timers and windows: their
        // reports are made (without a box of their own).
        self.inReporter = false;
        self.boxOpen = true;
        const int choice = MessageBoxW(owner, boxText.c_str(), L"ASSERTION FAILURE...",
                                       MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
        self.boxOpen = false;
        if (choice == IDABORT) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(-1));
        result = choice == IDRETRY ? 1 : 0;
    }
    self.inReporter = false;
    return result;
}

int ReportWide(int options, const wchar_t *expression, const wchar_t *comment, const char *sourceFile,
               int line, const void *callerReturn) {
    wchar_t text[kAssertion];
    if (comment)
        FormatCut(text, kAssertion, L"File : %hs\r\nLine : %d\r\nExpression : %s\r\n%s",
                  sourceFile ? sourceFile : "", line, expression ? expression : L"", comment);
    else
        FormatCut(text, kAssertion, L"File : %hs\r\nLine : %d\r\nExpression : %s",
                  sourceFile ? sourceFile : "", line, expression ? expression : L"");
    return Report(options, text, callerReturn);
}

} // namespace

namespace qx {

void Assert(const wchar_t *expression, const wchar_t *message, const char *source, int line) {
    KeepLastError keep;
    ReportWide(0, expression, message, source, line, QX_RETURN_ADDRESS());
}

} // namespace qx

extern "C" {

int DiagAssertA(int options, const char *expression, const char *comment, const char *sourceFile, int line) {
    qx::KeepLastError keep;
    wchar_t text[kAssertion];
    if (comment)
        FormatCut(text, kAssertion, L"File : %hs\r\nLine : %d\r\nExpression : %hs\r\n%hs",
                  sourceFile ? sourceFile : "", line, expression ? expression : "", comment);
    else
        FormatCut(text, kAssertion, L"File : %hs\r\nLine : %d\r\nExpression : %hs",
                  sourceFile ? sourceFile : "", line, expression ? expression : "");
    return Report(options, text, QX_RETURN_ADDRESS());
}

// Reports exactly as DiagAssertA does, with wide texts.
int DiagAssertW(int options, const wchar_t *expression, const wchar_t *comment, const char *sourceFile,
                int line) {
    qx::KeepLastError keep;
    return ReportWide(options, expression, comment, sourceFile, line, QX_RETURN_ADDRESS());
}

} // extern "C"
