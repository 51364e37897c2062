// Assertion reports: their text, their sinks, the message box, the event log, stack traces with
// our own function names, and many threads reporting at once.
#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/tests/debugging/logfolder.h"
#include "zx_winsys/zx_winsys.h"

#include <cctype>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#define ZX_NOINLINE __declspec(noinline)
#else
#define ZX_NOINLINE __attribute__((noinline))
#endif

namespace {

int g_count = 0;
std::string Unique(const char *what) {
    return std::string(what) + "-" + zxtest_log::RunTag() + "-" + std::to_string(++g_count) + ";";
}

// The log lines without their time prefixes, from the line holding marker on, as many as follow
// from the same report (up to the next "Debug Assertion Failed!").
std::vector<std::string> ReportLines(const std::string &marker,
                                     const std::string &all = zxtest_log::ReadAllLogs()) {
    std::vector<std::string> lines;
    size_t at = all.find(marker);
    if (at == std::string::npos) return lines;
    at = all.rfind("Debug Assertion Failed!", at);
    if (at == std::string::npos) return lines;
    at = all.rfind('\n', at);
    at = at == std::string::npos ? 0 : at + 1;
    for (size_t start = at; start < all.size();) {
        size_t end = all.find('\n', start);
        end = end == std::string::npos ? all.size() : end + 1;
        const std::string line = all.substr(start, end - start);
        const size_t prefix = line.find(" ***** ");
        const std::string text = prefix == std::string::npos ? line : line.substr(prefix + 7);
        if (!lines.empty() && text.find("Debug Assertion Failed!") == 0) break;
        lines.push_back(text);
        start = end;
    }
    return lines;
}

std::string Joined(const std::vector<std::string> &lines) {
    std::string all;
    for (const std::string &l : lines)
        all += l;
    return all;
}

} // namespace

TEST_CASE("assertion: with the default options the report goes to the log file only, and the result is 0") {
    zxtest::DebugChannelReader &channel = zxtest::DebugChannel();
    const std::string marker = Unique("expr");
    SetLastError(0x7B);
    CHECK(DiagAssertA(0, marker.c_str(), "a comment", "debugging/test", 42) == 0);
    CHECK(GetLastError() == 0x7B);
    const std::vector<std::string> lines = ReportLines(marker);
    REQUIRE(lines.size() == 7);
    CHECK(lines[0] == "Debug Assertion Failed!\r\n");
    CHECK(lines[1].find("Program : ") == 0);
    CHECK(lines[1].find("zx_winsys_diag_tests.exe\r\n") != std::string::npos);
    CHECK(lines[2] == "File : debugging/test\r\n");
    CHECK(lines[3] == "Line : 42\r\n");
    CHECK(lines[4] == "Expression : " + marker + "\r\n");
    CHECK(lines[5] == "a comment\r\n");
    CHECK(lines[6].find("Last Error (0x0000007B) : ") == 0);
    CHECK(lines[6].size() > 28);
    Sleep(100);
    for (const std::string &t : channel.TextsOf(GetCurrentProcessId()))
        CHECK(t.find(marker) == std::string::npos);
}

TEST_CASE(
    "assertion: the wide form reports the same; a null comment; the channel gets \"*** \" and the report") {
    zxtest::DebugChannelReader &channel = zxtest::DebugChannel();
    const std::string marker = Unique("wide");
    const std::wstring wide(marker.begin(), marker.end());
    SetLastError(0);
    CHECK(DiagAssertW(QX_DIAG_DEBUGGER | QX_DIAG_LOGFILE, wide.c_str(), nullptr, "timer/timer", 7) == 0);
    const std::vector<std::string> lines = ReportLines(marker);
    REQUIRE(lines.size() == 6);
    CHECK(lines[2] == "File : timer/timer\r\n");
    CHECK(lines[4] == "Expression : " + marker + "\r\n");
    CHECK(lines[5].find("Last Error (0x00000000) : ") == 0);
    std::string text;
    CHECK(channel.WaitFor(GetCurrentProcessId(), [&](const std::vector<std::string> &texts) {
        for (const std::string &t : texts)
            if (t.find(marker) != std::string::npos) text = t;
        return !text.empty();
    }));
    CHECK(text.find("*** Debug Assertion Failed!\r\nProgram : ") == 0);
    CHECK(text.find("Expression : " + marker + "\r\nLast Error (0x00000000) : ") != std::string::npos);
}

TEST_CASE("assertion: a long text is cut with \"...\"; an error without a system text says so") {
    const std::string marker = Unique("cut");
    SetLastError(0x2AB0CDEF);
    DiagAssertA(QX_DIAG_LOGFILE, marker.c_str(), std::string(1000, 'c').c_str(), "debugging/test", 5);
    CHECK(GetLastError() == 0x2AB0CDEF);
    const std::vector<std::string> lines = ReportLines(marker);
    REQUIRE(lines.size() == 7);
    // The assertion text holds 511 characters and ends with the mark.
    CHECK(lines[5].size() + lines[4].size() + lines[3].size() + lines[2].size() == 511 + 2);
    CHECK(lines[5].compare(lines[5].size() - 5, 5, "...\r\n") == 0);
    CHECK(lines[6] == "Last Error (0x2AB0CDEF) : <no message text>\r\n");
}

ZXTEST_CHILD(assertion_message_box) {
    const int result = DiagAssertA(QX_DIAG_MSGBOX, "box", "comment", "debugging/test", 1);
    return 10 + result;
}

TEST_CASE("assertion: the message box's Retry gives 1, Ignore 0, and Abort ends the process with -1") {
    const struct {
        int button;
        DWORD exitCode;
    } cases[] = {{IDRETRY, 11}, {IDIGNORE, 10}, {IDABORT, static_cast<DWORD>(-1)}};
    for (const auto &c : cases) {
        CAPTURE(c.button);
        zxtest::Program child(zxtest::ChildCommandLine("assertion_message_box"));
        const zxtest::Box box = zxtest::WaitForBox(child);
        REQUIRE(box.window != nullptr);
        CHECK(box.caption == L"ASSERTION FAILURE...");
        CHECK(box.text.find(L"Debug Assertion Failed!\r\nProgram : ") == 0);
        CHECK(box.text.find(L"Expression : box\r\ncomment\r\n") != std::wstring::npos);
        zxtest::Click(box.window, c.button);
        CHECK(child.WaitForExit() == c.exitCode);
    }
}

namespace {
const wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\BugslayerUtil";
}

ZXTEST_CHILD(event_log_without_module) {
    DiagAssertA(QX_DIAG_EVENTLOG, "first", nullptr, "debugging/test", 1);
    ZXTEST_EXPECT(!zxtest::KeyExists(kEventSourceKey));
    // Switched off for good: with the module there now, the next report still leaves it alone.
    ZXTEST_EXPECT(LoadLibraryW(L"BUGSLAYERUTIL.DLL") != nullptr);
    DiagAssertA(QX_DIAG_EVENTLOG, "second", nullptr, "debugging/test", 2);
    ZXTEST_EXPECT(!zxtest::KeyExists(kEventSourceKey));
    return 0;
}

ZXTEST_CHILD(event_log_with_module) {
    ZXTEST_EXPECT(LoadLibraryW(L"BUGSLAYERUTIL.DLL") != nullptr);
    DiagAssertA(QX_DIAG_EVENTLOG, "to the event log", nullptr, "debugging/test", 3);
    return zxtest::KeyExists(kEventSourceKey) ? 0 : 1;
}

TEST_CASE("assertion: the event log needs the message module loaded; one failure ends its use") {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    CHECK(zxtest::RunChild("event_log_without_module") == 0);

    // With the module, the source is registered and the event written (under Wine the event log
    // is a stub that accepts it).
    CHECK(zxtest::RunChild("event_log_with_module") == 0);
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &key) == ERROR_SUCCESS);
    wchar_t path[MAX_PATH] = L"";
    DWORD size = sizeof path, type = 0, types = 0;
    CHECK(RegQueryValueExW(key, L"EventMessageFile", nullptr, &type, reinterpret_cast<BYTE *>(path), &size) ==
          ERROR_SUCCESS);
    CHECK(type == REG_EXPAND_SZ);
    CHECK(std::wstring(path).find(L"BUGSLAYERUTIL") != std::wstring::npos);
    size = sizeof types;
    CHECK(RegQueryValueExW(key, L"TypesSupported", nullptr, nullptr, reinterpret_cast<BYTE *>(&types),
                           &size) == ERROR_SUCCESS);
    CHECK(types == 7);
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEventSourceKey);
}

namespace {

constexpr int kReportLine = __LINE__ + 3; // the line of the call below
ZX_NOINLINE int ReportFromHere(const std::string &marker) {
    // clang-format off
    const int result = DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_LOGFILE, marker.c_str(), nullptr, "debugging/test", 9);
    // clang-format on
    return result + 1; // not a tail call: this frame stays on the stack
}

} // namespace

TEST_CASE("assertion: a stack trace starts at the caller and names our functions, files and lines") {
    const std::string marker = Unique("trace");
    CHECK(ReportFromHere(marker) == 1);
    const std::vector<std::string> lines = ReportLines(marker);
    REQUIRE(lines.size() > 7);
    // The first entry after the report is the function that asserted.
    CHECK(lines[6].find("ReportFromHere") != std::string::npos);
    CHECK(lines[6].find("zx_winsys_diag_tests.exe: ") != std::string::npos);
    CHECK(lines[6].compare(0, 2, "0x") == 0);
#if defined(_WIN64)
    CHECK(lines[6].find(' ') == 18); // 16 hex digits
#else
    CHECK(lines[6].find(' ') == 10);
#endif
    // A caller's line is the line of its call, not the statement after it.
    const std::string where = "diagassert_test.cpp, Line " + std::to_string(kReportLine);
    CHECK(lines[7].find(where) != std::string::npos);
    CHECK(!std::isdigit(static_cast<unsigned char>(lines[7][lines[7].find(where) + where.size()])));
    CHECK(Joined(lines).find("DiagAssertA") == std::string::npos); // the reporter's own frames are left out
}

namespace {
using Reporting = int (*)(const char *);
Reporting Reporter(HMODULE module, const char *name) {
    return reinterpret_cast<Reporting>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}
} // namespace

// Two libraries, one after the other at the same base: the second one's frames carry its own names.
ZXTEST_CHILD(report_from_module_reloaded_at_same_base) {
    const std::string first = Unique("alpha"), second = Unique("beta");
    HMODULE alpha = LoadLibraryW(L"alpha.dll");
    ZXTEST_EXPECT(alpha && Reporter(alpha, "alpha_reporting_function"));
    Reporter(alpha, "alpha_reporting_function")(first.c_str());
    FreeLibrary(alpha);
    HMODULE beta = LoadLibraryW(L"beta.dll");
    ZXTEST_EXPECT(beta == alpha); // the same preferred base, which is free again
    Reporter(beta, "beta_reporting_function")(second.c_str());
    const std::vector<std::string> lines = ReportLines(second);
    ZXTEST_EXPECT(lines.size() > 7);
    ZXTEST_EXPECT(lines[6].find("beta.dll: beta_reporting_function") != std::string::npos);
    ZXTEST_EXPECT(lines[7].find("reload_module.cpp, Line ") != std::string::npos);
    ZXTEST_EXPECT(Joined(lines).find("alpha") == std::string::npos);
    return 0;
}

TEST_CASE("assertion: a library freed and another loaded at its base is named as itself") {
    CHECK(zxtest::RunChild("report_from_module_reloaded_at_same_base", 60000) == 0);
}

namespace {
std::string g_marker;
int g_nestedCalls = 0, g_nestedResult = -1;
int ReportFromTimer(void *) {
    ++g_nestedCalls;
    g_nestedResult = DiagAssertA(QX_DIAG_MSGBOX | QX_DIAG_LOGFILE, (g_marker + "-nested").c_str(), nullptr,
                                 "debugging/test", 2);
    return 0;
}
} // namespace

// A timer that the open box's message loop runs reports too: to the log at once, without a box.
ZXTEST_CHILD(report_inside_open_box) {
    g_marker = zxtest::ChildArgument();
    ZXTEST_EXPECT(QX_SetPostedTimer(ReportFromTimer, nullptr, 100.0, 1) != 0);
    const int outer =
        DiagAssertA(QX_DIAG_MSGBOX, (g_marker + "-outer").c_str(), nullptr, "debugging/test", 1);
    ZXTEST_EXPECT(outer == 0);
    ZXTEST_EXPECT(g_nestedCalls == 1);
    ZXTEST_EXPECT(g_nestedResult == 0); // the Ignore value
    return 0;
}

TEST_CASE(
    "assertion: a report made while a report's box is open on its thread is logged, with no second box") {
    const std::string marker = Unique("box");
    zxtest::Program child(zxtest::ChildCommandLine("report_inside_open_box", marker));
    const zxtest::Box box = zxtest::WaitForBox(child);
    REQUIRE(box.window != nullptr);
    std::vector<std::string> nested;
    for (int i = 0; i < 200 && nested.empty(); ++i) {
        Sleep(50);
        nested = ReportLines(marker + "-nested");
    }
    REQUIRE(nested.size() >= 7);
    CHECK(Joined(nested).find("Not shown in a box (a report's box is open on this thread): ignored.") !=
          std::string::npos);
    int boxes = 0;
    for (HWND w : child.Windows())
        boxes += zxtest::ClassName(w) == L"#32770" ? 1 : 0;
    CHECK(boxes == 1);
    zxtest::Click(box.window, IDIGNORE);
    CHECK(child.WaitForExit() == 0);
}

namespace {
volatile LONG g_tracing = 0;
DWORD WINAPI TraceMeanwhile(void *) {
    for (int i = 0; g_tracing; ++i)
        DiagOutputExW(L"|wndid:0 foreign record %d", i);
    return 0;
}
} // namespace

// Reports beside a thread that traces into the same log: no record of it comes between a report's lines.
ZXTEST_CHILD(reports_beside_tracing) {
    QX_SetTraceOptions(QX_DIAG_LOGFILE);
    g_tracing = 1;
    HANDLE tracer = CreateThread(nullptr, 0, TraceMeanwhile, nullptr, 0, nullptr);
    std::vector<std::string> markers;
    for (int i = 0; i < 10; ++i) {
        markers.push_back(Unique("whole"));
        ReportFromHere(markers.back());
    }
    g_tracing = 0;
    WaitForSingleObject(tracer, 10000);
    CloseHandle(tracer);
    const std::string log = zxtest_log::ReadAllLogs();
    for (const std::string &marker : markers) {
        const std::vector<std::string> lines = ReportLines(marker, log);
        size_t last = 0; // the report's last line: the end of its stack trace
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].compare(0, 2, "0x") == 0 || lines[i].compare(0, 2, "\t\t") == 0) last = i;
        ZXTEST_EXPECT(last > 6);
        for (size_t i = 0; i <= last; ++i)
            ZXTEST_EXPECT(lines[i].find("foreign record") == std::string::npos);
    }
    return 0;
}

TEST_CASE("assertion: one report is logged as one piece beside a tracing thread") {
    CHECK(zxtest::RunChild("reports_beside_tracing", 120000) == 0);
}

namespace {
volatile int g_depthStep = 1; // keeps the recursion a recursion
ZX_NOINLINE int ReportDeep(int depth, const std::string &marker) {
    if (depth > 0) return ReportDeep(depth - g_depthStep, marker) + g_depthStep;
    return DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_DEBUGGER | QX_DIAG_LOGFILE, marker.c_str(), nullptr,
                       "debugging/test", 3);
}
} // namespace

namespace {
CRITICAL_SECTION *g_piecesLock = nullptr;
std::vector<std::wstring> *g_pieces = nullptr;
void OnPiece(const wchar_t *text) {
    EnterCriticalSection(g_piecesLock);
    g_pieces->push_back(text);
    LeaveCriticalSection(g_piecesLock);
}
} // namespace

TEST_CASE("assertion: a report longer than a capture hands on reaches a capture whole, in pieces") {
    zxtest::CloseDebugChannel(); // this test is the channel's receiver itself
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    std::vector<std::wstring> pieces;
    g_piecesLock = &lock;
    g_pieces = &pieces;
    const std::string marker = Unique("deep");
    std::string logged, whole;
    {
        CQxDebugOutputCapture capture(OnPiece);
        CHECK(ReportDeep(80, marker) == 80);
        logged = "*** " + Joined(ReportLines(marker));
        for (int i = 0; i < 200 && whole != logged; ++i) {
            Sleep(50);
            EnterCriticalSection(&lock);
            whole.clear();
            for (const std::wstring &t : pieces) {
                const std::string narrow(t.begin(), t.end());
                if (narrow.find(marker) != std::string::npos)
                    whole = narrow;
                else if (!whole.empty() && narrow.compare(0, 4, "*** ") == 0)
                    whole += narrow.substr(4);
            }
            LeaveCriticalSection(&lock);
        }
    }
    g_pieces = nullptr;
    DeleteCriticalSection(&lock);
    CHECK(logged.size() > 2000); // a stack trace of more than 80 frames
    CHECK(whole == logged);
}

namespace {
struct ReportRun {
    int reports;
    int index;
    volatile LONG errorsChanged;
};
ZX_NOINLINE void ReportFromThread(int thread, int i) {
    char expression[64];
    std::snprintf(expression, sizeof expression, "load-%s-%d-%d", zxtest_log::RunTag().c_str(), thread, i);
    DiagAssertA(QX_DIAG_STACKTRACE | QX_DIAG_LOGFILE, expression, nullptr, "debugging/test", i);
    SetLastError(GetLastError()); // not a tail call
}
DWORD WINAPI ReportMany(void *arg) {
    auto *run = static_cast<ReportRun *>(arg);
    for (int i = 0; i < run->reports; ++i) {
        SetLastError(static_cast<DWORD>(500 + i));
        ReportFromThread(run->index, i);
        if (GetLastError() != static_cast<DWORD>(500 + i)) InterlockedIncrement(&run->errorsChanged);
    }
    return 0;
}
} // namespace

TEST_CASE("assertion load: 8 threads report at once; every report whole, with its caller in the trace") {
    const int reports = zxtest::LoadSize(25, 200);
    std::vector<ReportRun> runs(8);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) {
        runs[static_cast<size_t>(i)] = {reports, i, 0};
        threads.push_back(CreateThread(nullptr, 0, ReportMany, &runs[static_cast<size_t>(i)], 0, nullptr));
    }
    for (HANDLE t : threads) {
        REQUIRE(WaitForSingleObject(t, 600000) == WAIT_OBJECT_0);
        CloseHandle(t);
    }
    for (const ReportRun &run : runs)
        CHECK(run.errorsChanged == 0);
    int whole = 0;
    const std::string log = zxtest_log::ReadAllLogs();
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < reports; ++i) {
            const std::string marker =
                "load-" + zxtest_log::RunTag() + "-" + std::to_string(t) + "-" + std::to_string(i) + "\r\n";
            const std::vector<std::string> lines = ReportLines(marker, log);
            // A report's lines stay together, its caller first in the trace.
            if (lines.size() > 7 && lines[4] == "Expression : " + marker &&
                lines[3] == "Line : " + std::to_string(i) + "\r\n" &&
                lines[6].find("ReportFromThread") != std::string::npos)
                ++whole;
        }
    }
    CHECK(whole == 8 * reports);
}
