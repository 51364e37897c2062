// Trace records as they reach the debug-output channel and the log file: shape, tags, deltas,
// cuts, option words and the caller's last error.
#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/tests/debugging/logfolder.h"
#include "zx_winsys/zx_winsys.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

zxtest::DebugChannelReader &Channel() {
    return zxtest::DebugChannel();
}

int g_marker = 0;

// A text no other record of the run carries. The channel is read from the first marker on.
std::string Marker() {
    Channel();
    return "m" + zxtest_log::RunTag() + "-" + std::to_string(++g_marker) + ";"; // no prefix of another
}

std::wstring Wide(const std::string &text) {
    return std::wstring(text.begin(), text.end());
}

// The texts of this process on the channel that contain marker, once count of them arrived.
std::vector<std::string> ChannelTexts(const std::string &marker, size_t count = 1) {
    std::vector<std::string> found;
    Channel().WaitFor(GetCurrentProcessId(), [&](const std::vector<std::string> &texts) {
        found.clear();
        for (const std::string &t : texts)
            if (t.find(marker) != std::string::npos) found.push_back(t);
        return found.size() >= count;
    });
    return found;
}

// The log lines that contain marker, without their time prefix.
std::vector<std::string> LogLines(const std::string &marker) {
    std::vector<std::string> lines;
    const std::string all = zxtest_log::ReadAllLogs();
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        end = end == std::string::npos ? all.size() : end + 1;
        const std::string line = all.substr(start, end - start);
        const size_t prefix = line.find(" ***** ");
        if (line.find(marker) != std::string::npos && prefix != std::string::npos)
            lines.push_back(line.substr(prefix + 7));
        start = end;
    }
    return lines;
}

// The number printed right after label in text.
double NumberAfter(const std::string &text, const std::string &label) {
    const size_t at = text.find(label);
    REQUIRE(at != std::string::npos);
    return std::atof(text.c_str() + at + label.size());
}

struct Options {
    explicit Options(int word) : previous(QX_SetTraceOptions(word)) {}
    ~Options() { QX_SetTraceOptions(previous); }
    int previous;
};

} // namespace

TEST_CASE("trace: a plain word reaches the channel and the log file as one whole record") {
    REQUIRE(QX_GetTraceOptions() == QX_DIAG_TRACE_DEFAULT);
    const std::string marker = Marker();
    DiagOutputExW(L"%s %hs %I64d", L"word", marker.c_str(), int64_t(1) << 40);
    const std::string expected = "|wndid:0 word " + marker + " 1099511627776\r\n";
    CHECK(ChannelTexts(marker) == std::vector<std::string>{expected});
    CHECK(LogLines(marker) == std::vector<std::string>{expected});
}

TEST_CASE("trace: line ends, unknown words between bars, and channels above 07") {
    struct Case {
        const char *text;
        const char *record;
    };
    const Case cases[] = {
        {"%s ends with LF\n", "|wndid:0 %s ends with LF\n\r\n"},
        {"%s ends with CR LF\r\n", "|wndid:0 %s ends with CR LF\r\n"},
        {"%s |unknown| |x", "|wndid:0 %s |unknown| |x\r\n"},
        {"%s a|adt08|b|adt7z", "|wndid:0 %s ab\r\n"}, // "|adt7z" runs into the end of the text
        {"%s |sfile|gone", "|wndid:0 %s gone\r\n"},
    };
    for (const Case &c : cases) {
        const std::string marker = Marker();
        CAPTURE(c.text);
        char text[256], record[256];
        std::snprintf(text, sizeof text, c.text, marker.c_str());
        std::snprintf(record, sizeof record, c.record, marker.c_str());
        DiagOutputExW(L"%hs", text);
        CHECK(ChannelTexts(marker) == std::vector<std::string>{std::string(record)});
    }
}

TEST_CASE("trace: window ids, per-window deltas and the thread id") {
    const int window = 5000 + static_cast<int>(GetCurrentProcessId() % 1000);
    const std::string first = Marker(), other = Marker(), second = Marker(), early = Marker();
    DiagOutputExW(L"|wndid:%d %hs |wnddt|", window, first.c_str());
    Sleep(30);
    DiagOutputExW(L"|wndid:%d %hs |wnddt|", window + 1, other.c_str());
    DiagOutputExW(L"|wndid:%d %hs |wnddt|", window, second.c_str());
    CHECK(NumberAfter(ChannelTexts(first)[0], first + " ") == 0.0);
    CHECK(NumberAfter(ChannelTexts(other)[0], other + " ") == 0.0);
    CHECK(NumberAfter(ChannelTexts(second)[0], second + " ") >= 29.0);
    // Before the tag, the record belongs to window 0.
    DiagOutputExW(L"%hs |wnddt| |wndid:%d", early.c_str(), window);
    CHECK(ChannelTexts(early)[0].compare(0, 9, "|wndid:0 ") == 0);

    const std::string mine = Marker();
    DiagOutputExW(L"|wndid:|thrid| %hs", mine.c_str());
    CHECK(ChannelTexts(mine)[0] == "|wndid:" + std::to_string(GetCurrentThreadId()) + " " + mine + "\r\n");

    // An id of eleven digits keeps its time under window 0.
    const std::string zero = Marker(), huge = Marker();
    DiagOutputExW(L"|wndid:0 %hs", zero.c_str());
    Sleep(20);
    DiagOutputExW(L"|wndid:12345678901 %hs |wnddt|", huge.c_str());
    CHECK(ChannelTexts(huge)[0].compare(0, 19, "|wndid:12345678901 ") == 0);
    CHECK(NumberAfter(ChannelTexts(huge)[0], huge + " ") >= 19.0);
}

TEST_CASE("trace: a channel tag is a stopwatch shared by every caller; the other tags") {
    const std::string start = Marker(), stop = Marker();
    DiagOutputExW(L"%hs |adt03|", start.c_str());
    Sleep(25);
    DiagOutputExW(L"%hs |adt03| |absdt| |appnm| |stime| |nline|", stop.c_str());
    const std::string record = ChannelTexts(stop)[0];
    CHECK(NumberAfter(record, stop + " ") >= 24.0);
    CHECK(record.find("zx_winsys_diag_tests.exe") != std::string::npos);
    CHECK(record.find(" ms") == std::string::npos);
    // |stime| is the wall clock, "HH:MM:SS".
    const size_t colon = record.find(':', record.find(".exe"));
    REQUIRE(colon != std::string::npos);
    CHECK(record[colon + 3] == ':');
}

namespace {
struct SourceRun {
    std::string marker;
    const char *file;
    int line;
};
DWORD WINAPI TraceWithLocation(void *arg) {
    auto *run = static_cast<SourceRun *>(arg);
    DiagOutputExW_hlp(run->file, run->line);
    Sleep(50); // the other thread sets its own location meanwhile
    DiagOutputExW(L"%hs |srcid| |nline|", run->marker.c_str());
    return 0;
}
} // namespace

TEST_CASE("trace: every thread reports the source location it set itself") {
    SourceRun a = {Marker(), "debugging/alpha", 10}, b = {Marker(), "debugging/beta", 20};
    HANDLE threads[2] = {CreateThread(nullptr, 0, TraceWithLocation, &a, 0, nullptr),
                         CreateThread(nullptr, 0, TraceWithLocation, &b, 0, nullptr)};
    WaitForMultipleObjects(2, threads, TRUE, 30000);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    CHECK(ChannelTexts(a.marker)[0] == "|wndid:0 " + a.marker + " debugging/alpha : 10 10\r\n");
    CHECK(ChannelTexts(b.marker)[0] == "|wndid:0 " + b.marker + " debugging/beta : 20 20\r\n");

    // A long name keeps its end, where the file name is.
    const std::string longName = std::string(2000, 'd') + "/tail.cpp";
    DiagOutputExW_hlp(longName.c_str(), 7);
    const std::string marker = Marker();
    DiagOutputExW(L"%hs |srcid|", marker.c_str());
    // 1,060 characters: two pieces on the channel.
    const std::string first = ChannelTexts(marker)[0];
    std::string record;
    Channel().WaitFor(GetCurrentProcessId(), [&](const std::vector<std::string> &texts) {
        for (size_t i = 0; i + 1 < texts.size(); ++i)
            if (texts[i] == first) record = first + texts[i + 1].substr(9);
        return !record.empty();
    });
    CHECK(first.size() == 1023);
    CHECK(record.find("/tail.cpp : 7\r\n") != std::string::npos);
    CHECK(record.size() == 9 + marker.size() + 1 + 1023 + 4 + 2);
}

TEST_CASE("trace: 40,000 characters are cut to 32,762 and three full stops; the channel gets every piece") {
    const std::string marker = Marker();
    std::wstring text = Wide(marker) + std::wstring(40000, L'x');
    DiagOutputExW(L"%s", text.c_str());
    // 32,767 characters go in pieces that a capture hands on whole, 1,023 characters: the first as
    // it is, the others after the tag.
    const std::vector<std::string> first = ChannelTexts(marker);
    REQUIRE(first.size() == 1);
    REQUIRE(first[0].size() == 1023);
    const size_t count = 1 + (32767 - 1023 + 1013) / 1014;
    std::vector<std::string> pieces;
    Channel().WaitFor(GetCurrentProcessId(), [&](const std::vector<std::string> &texts) {
        pieces.clear();
        bool in = false;
        for (const std::string &t : texts) {
            if (t == first[0]) in = true;
            if (in) pieces.push_back(t);
        }
        return pieces.size() >= count;
    });
    REQUIRE(pieces.size() >= count);
    std::string whole = pieces[0];
    for (size_t i = 1; i < count; ++i) {
        REQUIRE(pieces[i].compare(0, 9, "|wndid:0 ") == 0);
        CHECK(pieces[i].size() <= 1023);
        whole += pieces[i].substr(9);
    }
    CHECK(whole.size() == 32767);
    CHECK(whole.compare(whole.size() - 5, 5, "...\r\n") == 0);
    CHECK(whole.compare(0, 9 + marker.size(), "|wndid:0 " + marker) == 0);
    // The log file has it as one line, cut at its own limit.
    const std::vector<std::string> logged = LogLines(marker);
    REQUIRE(logged.size() == 1);
    CHECK(logged[0].size() == 511 - 31);
    CHECK(logged[0].compare(logged[0].size() - 2, 2, "\r\n") == 0);
}

TEST_CASE("trace: the option words choose the sinks; 0 changes nothing") {
    CHECK(QX_SetTraceOptions(0) == 0);
    CHECK(QX_GetTraceOptions() == QX_DIAG_TRACE_DEFAULT);
    const std::string channelOnly = Marker(), logOnly = Marker(), probe = Marker();
    {
        Options options(QX_DIAG_DEBUGGER);
        DiagOutputExW(L"%hs", channelOnly.c_str());
    }
    {
        Options options(QX_DIAG_LOGFILE);
        DiagOutputExW(L"%hs", logOnly.c_str());
    }
    DiagOutputExW(L"%hs", probe.c_str()); // both again: once it arrives, the others had their turn
    CHECK(ChannelTexts(probe).size() == 1);
    CHECK(ChannelTexts(channelOnly).size() == 1);
    CHECK(Channel().TextsOf(GetCurrentProcessId()).size() > 0);
    for (const std::string &t : Channel().TextsOf(GetCurrentProcessId()))
        CHECK(t.find(logOnly) == std::string::npos);
    CHECK(LogLines(channelOnly).empty());
    CHECK(LogLines(logOnly).size() == 1);
    CHECK(QX_GetTraceOptions() == QX_DIAG_TRACE_DEFAULT);
}

TEST_CASE("trace: the plain formatters send their text unchanged, at most 1,024 characters") {
    const std::string narrow = Marker(), wide = Marker();
    DiagOutputA("%s plain %d", narrow.c_str(), 5);
    DiagOutputW(L"%s wide %hs", Wide(wide).c_str(), "n");
    CHECK(ChannelTexts(narrow)[0] == narrow + " plain 5");
    CHECK(ChannelTexts(wide)[0] == wide + " wide n");
    const std::string longer = Marker();
    DiagOutputA("%s%s", longer.c_str(), std::string(3000, 'y').c_str());
    CHECK(ChannelTexts(longer)[0].size() == 1023);
    DiagOutputW(nullptr);
    DiagOutputA(nullptr);
    DiagOutputExW(nullptr);
}

TEST_CASE("trace: the scope timer writes its name literally, and nothing for an overlong name") {
    const std::string marker = Marker();
    {
        CQxTraceExecutionTime timer(Wide(marker + " 100%s done").c_str());
        Sleep(20);
    }
    const std::string record = ChannelTexts(marker)[0];
    CHECK(record.find(marker + " 100%s done - execution took ") != std::string::npos);
    CHECK(NumberAfter(record, "execution took ") >= 15.0);
    CHECK(record.compare(record.size() - 5, 5, " ms\r\n") == 0);

    const std::string silent = Marker();
    { CQxTraceExecutionTime timer((Wide(silent) + std::wstring(1024, L's')).c_str()); }
    const std::string after = Marker();
    DiagOutputExW(L"%hs", after.c_str());
    ChannelTexts(after);
    for (const std::string &t : Channel().TextsOf(GetCurrentProcessId()))
        CHECK(t.find(silent) == std::string::npos);
}

// The first call of a process of each diagnostic function, with the last error set before it.
ZXTEST_CHILD(first_call_keeps_last_error) {
    const std::string &call = zxtest::ChildArgument();
    if (call == "GetLogFilename after a close" || call == "Log after EnableLog(false)") QX_Log(L"opened\r\n");
    if (call == "GetLogFilename after a close") CQxLogFile::CloseLog();
    if (call == "Log after EnableLog(false)") CQxLogFile::EnableLog(false);
    SetLastError(0x2468);
    if (call == "DiagOutputExW") DiagOutputExW(L"first record");
    if (call == "QX_Log") QX_Log(L"first line\r\n");
    if (call == "Log" || call == "Log after EnableLog(false)") CQxLogFile::Log(L"first line\r\n", 0);
    if (call == "Detail") CQxLogFile::Detail();
    if (call == "GetLogFilename after a close") CQxLogFile::GetLogFilename();
    if (call == "ClearLog") CQxLogFile::ClearLog();
    ZXTEST_EXPECT(GetLastError() == 0x2468);
    return 0;
}

TEST_CASE("trace: every function keeps the caller's last error") {
    for (const char *call : {"DiagOutputExW", "QX_Log", "Log", "Detail", "GetLogFilename after a close",
                             "ClearLog", "Log after EnableLog(false)"}) {
        CAPTURE(call);
        CHECK(zxtest::RunChild("first_call_keeps_last_error", 30000, call) == 0);
    }
    SetLastError(12345);
    DiagOutputExW(L"%hs |stime|", Marker().c_str());
    CHECK(GetLastError() == 12345);
    DiagOutputExW_hlp("x", 1);
    CHECK(GetLastError() == 12345);
    DiagOutputA("a");
    DiagOutputW(L"w");
    CHECK(GetLastError() == 12345);
    { CQxTraceExecutionTime timer(L"keep"); }
    CHECK(GetLastError() == 12345);
    QX_Log(L"keep\r\n");
    CHECK(GetLastError() == 12345);
}

namespace {
struct LoadRun {
    int records;
    volatile LONG errorsChanged;
    int index;
};
DWORD WINAPI WriteMany(void *arg) {
    auto *run = static_cast<LoadRun *>(arg);
    for (int i = 0; i < run->records; ++i) {
        SetLastError(static_cast<DWORD>(1000 + i));
        switch (i % 5) {
        case 0:
            DiagOutputExW(L"|wndid:%d load t%d r%d |absdt| |wnddt| |adt0%d|", run->index, run->index, i,
                          i % 8);
            break;
        case 1:
            DiagOutputExW(L"load t%d r%d stray | bars |adt9| || |%s", run->index, i, L"|");
            break;
        case 2:
            DiagOutputExW(L"|wndid:|thrid| load t%d r%d %s", run->index, i, std::wstring(5000, L'L').c_str());
            break;
        case 3: {
            CQxTraceExecutionTime timer(L"load %d%% timer");
            break;
        }
        default:
            DiagOutputExW(L"load t%d r%d |srcid| |nline|\n", run->index, i);
            break;
        }
        if (GetLastError() != static_cast<DWORD>(1000 + i)) InterlockedIncrement(&run->errorsChanged);
    }
    return 0;
}
} // namespace

TEST_CASE("trace load: 8 threads of mixed records arrive whole, with no negative delta") {
    Channel();
    const int records = zxtest::LoadSize(500, 5000);
    std::vector<LoadRun> runs(8);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) {
        runs[static_cast<size_t>(i)] = {records, 0, i + 1};
        threads.push_back(CreateThread(nullptr, 0, WriteMany, &runs[static_cast<size_t>(i)], 0, nullptr));
    }
    for (HANDLE t : threads) {
        REQUIRE(WaitForSingleObject(t, 600000) == WAIT_OBJECT_0);
        CloseHandle(t);
    }
    const std::string last = Marker();
    DiagOutputExW(L"%hs", last.c_str());
    ChannelTexts(last);
    size_t seen = 0;
    for (const std::string &t : Channel().TextsOf(GetCurrentProcessId())) {
        if (t.find("load") == std::string::npos) continue;
        ++seen;
        CHECK(t.compare(0, 7, "|wndid:") == 0);
        CHECK(t.size() <= 4091);
        if (t.size() < 4091 && t.find(std::string(100, 'L')) == std::string::npos)
            CHECK(t.compare(t.size() - 2, 2, "\r\n") == 0);
        // No negative number anywhere: a minus sign is never followed by a digit.
        for (size_t at = t.find('-'); at != std::string::npos; at = t.find('-', at + 1))
            CHECK_FALSE((at + 1 < t.size() && t[at + 1] >= '0' && t[at + 1] <= '9'));
    }
    CHECK(seen >= static_cast<size_t>(8 * records));
    for (const LoadRun &run : runs)
        CHECK(run.errorsChanged == 0);
}
