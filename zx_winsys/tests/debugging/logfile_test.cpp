// The shared log file: names, continuation files, the age sweep, encodings, cuts, folder sources,
// and several processes writing one file. Scenarios that need the log closed or a fresh folder
// run in child processes; this process keeps its own log closed while they run.
#include "testsupport/zxtest.h"
#include "zx_winsys/tests/debugging/logfolder.h"
#include "zx_winsys/zx_winsys.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

using zxtest_log::DayName;
using zxtest_log::LogFolder;

namespace {

std::wstring LogPath(const std::wstring &name) {
    return LogFolder() + L"\\" + name;
}

// A fresh log folder, the registry limits removed, and this process's own log closed; the limits
// are removed again when it goes, however the test ends.
struct FreshFolder {
    FreshFolder() {
        CQxLogFile::CloseLog();
        zxtest_log::SetLimits(-1, -1);
        zxtest_log::ClearLogFolder();
    }
    ~FreshFolder() { zxtest_log::SetLimits(-1, -1); }
};

bool IsTimePrefix(const std::string &line) {
    // "Wed Dec 09 01:07:37 2026 ***** "
    return line.size() >= 31 && line[3] == ' ' && line[7] == ' ' && line[10] == ' ' && line[13] == ':' &&
           line[16] == ':' && line[19] == ' ' && line.compare(24, 7, " ***** ") == 0;
}

std::vector<std::string> Lines(const std::string &bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(start, end - start));
        start = end;
    }
    return lines;
}

bool EndsWith(const std::wstring &text, const std::wstring &end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

ZXTEST_CHILD(log_first_line_of_the_day) {
    ZXTEST_EXPECT(QX_Log(L"first line\r\n") == QX_OK);
    const wchar_t *name = CQxLogFile::GetLogFilename();
    ZXTEST_EXPECT(name != nullptr);
    ZXTEST_EXPECT(std::wstring(name) == LogPath(DayName(0)));
    CQxLogFile::CloseLog();
    const std::vector<std::string> lines = Lines(zxtest::ReadFileBytes(LogPath(DayName(0))));
    ZXTEST_EXPECT(lines.size() == 2);
    ZXTEST_EXPECT(IsTimePrefix(lines[0]) && lines[0].substr(31) == "Log session started.\r\n");
    ZXTEST_EXPECT(IsTimePrefix(lines[1]) && lines[1].substr(31) == "first line\r\n");
    return 0;
}

ZXTEST_CHILD(log_continuations_with_gaps) {
    const wchar_t *before = CQxLogFile::GetLogFilename();
    ZXTEST_EXPECT(EndsWith(before, DayName(0, 3)));
    ZXTEST_EXPECT(CQxLogFile::ClearLog() == QX_OK);
    ZXTEST_EXPECT(EndsWith(CQxLogFile::GetLogFilename(), DayName(0, 4)));
    ZXTEST_EXPECT(EndsWith(before, DayName(0, 3))); // a path handed out is never rewritten
    ZXTEST_EXPECT(QX_Log(L"in four\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    ZXTEST_EXPECT(zxtest::ReadFileBytes(LogPath(DayName(0, 4))).find("***** in four\r\n") !=
                  std::string::npos);
    ZXTEST_EXPECT(zxtest::ReadFileBytes(LogPath(DayName(0, 3))).find("Log session started.") !=
                  std::string::npos);
    return 0;
}

ZXTEST_CHILD(log_size_split) {
    // Limit 1 MB: the first line that finds the file at 1 MiB on disk starts a continuation file.
    const std::wstring line = std::wstring(450, L'z') + L"\r\n";
    size_t written = 0;
    while (written < (1u << 20) + 4096) {
        ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_OK);
        written += 31 + line.size();
    }
    CQxLogFile::CloseLog();
    const std::vector<std::wstring> files = zxtest_log::LogFiles();
    ZXTEST_EXPECT(files.size() == 2);
    const size_t first = zxtest::ReadFileBytes(LogPath(DayName(0))).size();
    ZXTEST_EXPECT(first >= (1u << 20) && first < (1u << 20) + 31 + line.size());
    ZXTEST_EXPECT(files[1] == DayName(0, 1));
    return 0;
}

ZXTEST_CHILD(log_no_size_limit) {
    const std::wstring line = std::wstring(450, L'z') + L"\r\n";
    for (size_t written = 0; written < (1u << 20) * 5 / 2; written += 31 + line.size())
        ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_OK);
    CQxLogFile::CloseLog();
    ZXTEST_EXPECT(zxtest_log::LogFiles().size() == 1);
    return 0;
}

ZXTEST_CHILD(log_opens_and_sweeps) {
    ZXTEST_EXPECT(QX_Log(L"sweep\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    // The sweep runs beside the writers; this process waits for it.
    ZXTEST_EXPECT(zxtest::Eventually([] {
        for (const std::wstring &name : {DayName(-30), DayName(-11), DayName(-11, 2)})
            if (zxtest::FileExists(LogPath(name))) return false;
        return true;
    }));
    return 0;
}

ZXTEST_CHILD(log_unicode_mode) {
    CQxLogFile::m_bUnicodeEnabled = true;
    ZXTEST_EXPECT(QX_Log(L"uni \u4e00\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    ZXTEST_EXPECT(QX_Log(L"again\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    const std::string bytes = zxtest::ReadFileBytes(LogPath(DayName(0)));
    ZXTEST_EXPECT(bytes.size() % 2 == 0);
    const std::wstring text(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / 2);
    // Every opening writes the byte order mark, also when it appends.
    ZXTEST_EXPECT(text[0] == L'\xFEFF');
    const size_t second = text.find(L'\xFEFF', 1);
    ZXTEST_EXPECT(second != std::wstring::npos);
    ZXTEST_EXPECT(text.find(L"Log session started.\r\n", second) != std::wstring::npos);
    ZXTEST_EXPECT(text.find(L"***** uni \u4e00\r\n") != std::wstring::npos);
    ZXTEST_EXPECT(text.find(L"***** again\r\n", second) != std::wstring::npos);
    return 0;
}

ZXTEST_CHILD(log_narrow_text_and_cuts) {
    ZXTEST_EXPECT(QX_Log(L"A\u4e00B\u010aC\u00e9\r\n") == QX_OK);
    const std::wstring longLine = std::wstring(600, L'k') + L"\r\n";
    ZXTEST_EXPECT(QX_Log(longLine.c_str()) == QX_OK);
    ZXTEST_EXPECT(QX_Log(std::wstring(600, L'n').c_str()) == QX_OK);
    ZXTEST_EXPECT(QX_Log(L"\r\nnext\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    const std::vector<std::string> lines = Lines(zxtest::ReadFileBytes(LogPath(DayName(0))));
    ZXTEST_EXPECT(lines.size() == 5);
    ZXTEST_EXPECT(lines[1].substr(31) == "A?B?C\xe9\r\n");
    // A cut line keeps its line end; one without a line end is cut at 511 and the next line
    // follows it.
    ZXTEST_EXPECT(lines[2].size() == 511);
    ZXTEST_EXPECT(lines[2].substr(31) == std::string(478, 'k') + "\r\n");
    ZXTEST_EXPECT(lines[3].substr(31, 480) == std::string(480, 'n'));
    ZXTEST_EXPECT(lines[3].size() == 511 + 31 + 2); // the next line's prefix and line break follow
    ZXTEST_EXPECT(lines[4] == "next\r\n");
    return 0;
}

namespace {
// Detail() asked from two threads while a third closes the log over and over: never false while
// the log can be opened.
struct DetailReader {
    long calls, wrong;
};
volatile LONG g_readersDone = 0;
DWORD WINAPI ReadDetail(void *arg) {
    auto *reader = static_cast<DetailReader *>(arg);
    for (long i = 0; i < reader->calls; ++i)
        reader->wrong += CQxLogFile::Detail() ? 0 : 1;
    InterlockedIncrement(&g_readersDone);
    return 0;
}
DWORD WINAPI CloseOverAndOver(void *) {
    while (g_readersDone < 2)
        CQxLogFile::CloseLog();
    return 0;
}
} // namespace

ZXTEST_CHILD(log_detail_while_closing) {
    DetailReader readers[2] = {{zxtest::LoadSize(1000000, 5000000), 0},
                               {zxtest::LoadSize(1000000, 5000000), 0}};
    HANDLE threads[3] = {CreateThread(nullptr, 0, ReadDetail, &readers[0], 0, nullptr),
                         CreateThread(nullptr, 0, ReadDetail, &readers[1], 0, nullptr),
                         CreateThread(nullptr, 0, CloseOverAndOver, nullptr, 0, nullptr)};
    WaitForMultipleObjects(3, threads, TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    ZXTEST_EXPECT(readers[0].wrong == 0 && readers[1].wrong == 0);
    return 0;
}

ZXTEST_CHILD(log_refusals) {
    ZXTEST_EXPECT(QX_Log(nullptr) == QX_ERR_INVALID_ARG);
    ZXTEST_EXPECT(CQxLogFile::Log(L"below the threshold\r\n", -2) == QX_ERR_SYSTEM);
    ZXTEST_EXPECT(CQxLogFile::IsEnabled());
    ZXTEST_EXPECT(CQxLogFile::Detail());
    ZXTEST_EXPECT(CQxLogFile::EnableLog(false) == true);
    ZXTEST_EXPECT(CQxLogFile::EnableLog(false) == false);
    ZXTEST_EXPECT(QX_Log(L"disabled\r\n") == QX_ERR_SYSTEM);
    ZXTEST_EXPECT(!CQxLogFile::Detail());
    ZXTEST_EXPECT(CQxLogFile::ClearLog() == QX_ERR_SYSTEM);
    ZXTEST_EXPECT(CQxLogFile::EnableLog(true) == false);
    ZXTEST_EXPECT(QX_Log(L"enabled again\r\n") == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::ChangeLogDetail(5) == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::SaveAs(L"x", 0) == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::SetProperties(3, 7) == QX_OK);
    CQxLogFile::CloseLog();
    const std::string log = zxtest_log::ReadAllLogs();
    ZXTEST_EXPECT(log.find("disabled") == std::string::npos);
    ZXTEST_EXPECT(log.find("below the threshold") == std::string::npos);
    ZXTEST_EXPECT(log.find("enabled again") != std::string::npos);
    return 0;
}

TEST_CASE("log file: the first line of a day starts the day's file with a session header") {
    FreshFolder fresh;
    CHECK(zxtest::RunChild("log_first_line_of_the_day") == 0);
}

TEST_CASE("log file: the newest continuation is continued, and a cleared log starts the next one") {
    FreshFolder fresh;
    for (unsigned n : {0u, 1u, 3u})
        zxtest::WriteFileBytes(LogPath(DayName(0, n)), "old\r\n");
    CHECK(zxtest::RunChild("log_continuations_with_gaps") == 0);
}

TEST_CASE("log file: a size limit of 1 MB splits at 1 MiB on disk; 0 means no limit") {
    for (int limit : {1, 0}) {
        FreshFolder fresh;
        zxtest_log::SetLimits(limit, -1);
        CHECK(zxtest::RunChild(limit ? "log_size_split" : "log_no_size_limit") == 0);
    }
}

TEST_CASE("log file: files older than the age limit go, held files and foreign names stay") {
    FreshFolder fresh;
    for (int days : {-10, -11, -12, -30})
        zxtest::WriteFileBytes(LogPath(DayName(days)), "old\r\n");
    zxtest::WriteFileBytes(LogPath(DayName(-11, 2)), "old\r\n");
    zxtest::WriteFileBytes(LogPath(L"qxapp_abcd-ef-gh.log"), "foreign\r\n");
    zxtest::WriteFileBytes(LogPath(L"qxapp_2001-13-45.log"), "no such date\r\n");
    // Held open by this process, as a long-running program holds its log.
    HANDLE held = CreateFileW(LogPath(DayName(-12)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    CHECK(zxtest::RunChild("log_opens_and_sweeps") == 0);
    CloseHandle(held);
    CHECK(zxtest::FileExists(LogPath(DayName(-10))));
    CHECK_FALSE(zxtest::FileExists(LogPath(DayName(-11))));
    CHECK_FALSE(zxtest::FileExists(LogPath(DayName(-11, 2))));
    CHECK(zxtest::FileExists(LogPath(DayName(-12))));
    CHECK_FALSE(zxtest::FileExists(LogPath(DayName(-30))));
    CHECK(zxtest::FileExists(LogPath(L"qxapp_abcd-ef-gh.log")));
    CHECK(zxtest::FileExists(LogPath(L"qxapp_2001-13-45.log")));
    CHECK(zxtest::FileExists(LogPath(DayName(0))));
}

TEST_CASE("log file: Unicode mode writes the byte order mark at every opening") {
    FreshFolder fresh;
    CHECK(zxtest::RunChild("log_unicode_mode") == 0);
}

TEST_CASE("log file: narrow text, and cut lines that keep their line end") {
    FreshFolder fresh;
    CHECK(zxtest::RunChild("log_narrow_text_and_cuts") == 0);
}

TEST_CASE("log file: null text, a disabled log and the stored limits") {
    FreshFolder fresh;
    CHECK(zxtest::RunChild("log_refusals") == 0);
    CHECK(zxtest::RunChild("log_detail_while_closing", 300000) == 0);
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnholt\\Misc\\LogFile", 0, KEY_READ, &key) ==
            ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    CHECK(RegQueryValueExW(key, L"MaxLogMBytes", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size) ==
          ERROR_SUCCESS);
    CHECK(value == 3);
    CHECK(RegQueryValueExW(key, L"MaxLogDays", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size) ==
          ERROR_SUCCESS);
    CHECK(value == 7);
    RegCloseKey(key);
}

namespace {

// A program without a "LogFileDir" resource, copied with the library into a folder of its own:
// it finds its log folder through "SetupOptions.xml" beside it, or the default.
struct Probe {
    zxtest::TempDir dir;
    Probe() {
        for (const wchar_t *file : {L"zx_logfile_probe.exe", L"zx_winsys.dll", L"zx_pthreads.dll"})
            REQUIRE(CopyFileW(zxtest::Beside(file).c_str(), (dir / file).c_str(), FALSE));
    }
    // Runs the probe; returns the log file it used ("" when it opened none).
    std::wstring Run(const wchar_t *mode) {
        const std::wstring out = dir / L"out.txt";
        DeleteFileW(out.c_str());
        zxtest::Program probe(L"\"" + (dir / L"zx_logfile_probe.exe") + L"\" " + mode + L" \"" + out + L"\"");
        CHECK(probe.WaitForExit() == 0);
        const std::string bytes = zxtest::FileExists(out) ? zxtest::ReadFileBytes(out) : std::string();
        return std::wstring(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / 2);
    }
    void SetupOptions(const std::wstring &content) {
        const std::wstring text = L"\xFEFF" + content;
        zxtest::WriteFileBytes(dir / L"SetupOptions.xml",
                               std::string(reinterpret_cast<const char *>(text.data()), text.size() * 2));
    }
};

std::wstring CommonAppData() {
    wchar_t root[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, root);
    return root;
}

} // namespace

TEST_CASE("log file: the folder comes from the resource, then SetupOptions.xml, then the default") {
    FreshFolder fresh;
    // This program has the resource.
    REQUIRE(QX_Log(L"resource\r\n") == QX_OK);
    CHECK(std::wstring(CQxLogFile::GetLogFilename()) == LogPath(DayName(0)));
    CQxLogFile::CloseLog();

    Probe probe;
    const std::wstring unique = L"ZxTest\\probe-" + std::to_wstring(GetCurrentProcessId());
    probe.SetupOptions(L"<Options>\r\n  <wsAppFolder runtype=\"CQxStringW\" value=\"" + unique +
                       L"\"/>\r\n</Options>");
    // Loading the library opens no log file.
    CHECK(probe.Run(L"load").empty());
    CHECK_FALSE(zxtest::FileExists(CommonAppData() + L"\\" + unique + L"\\Logfiles\\" + DayName(0)));
    CHECK(probe.Run(L"log") == CommonAppData() + L"\\" + unique + L"\\Logfiles\\" + DayName(0));

    // A value too long for a path falls through to the default, as does a missing element.
    probe.SetupOptions(L"<wsAppFolder runtype=\"CQxStringW\" value=\"" + std::wstring(300, L'v') + L"\"/>");
    const std::wstring fallback = CommonAppData() + L"\\Varnholt\\Platform\\Logfiles\\" + DayName(0);
    CHECK(probe.Run(L"log") == fallback);
    probe.SetupOptions(L"<Options/>");
    CHECK(probe.Run(L"log") == fallback);

    // A file of whole pages ending inside the element: the search stays within the file.
    std::wstring pages(4096 / 2 - 1, L' ');
    pages += L"<wsAppFolder runtype=\"CQxStringW\" value=\"";
    pages.resize(4096 * 2 / 2 - 1, L'x');
    probe.SetupOptions(pages);
    CHECK(probe.Run(L"log") == fallback);
    zxtest::RemoveTree(CommonAppData() + L"\\" + unique);
}

namespace {
const int kLoadProcesses = 4;
const int kLoadThreads = 2;

struct WriterThread {
    int process;
    int thread;
    int lines;
};
DWORD WINAPI WriteLines(void *arg) {
    auto *w = static_cast<WriterThread *>(arg);
    for (int i = 0; i < w->lines; ++i) {
        wchar_t head[64];
        swprintf(head, 64, L"L%d-%d-%d ", w->process, w->thread, i);
        // ~470 characters: four processes pass the 2 MiB of a 1 MB limit during the run.
        const std::wstring line = head + std::wstring(440, static_cast<wchar_t>(L'a' + (i % 26))) + L"\r\n";
        if (QX_Log(line.c_str()) != QX_OK) return 1;
    }
    return 0;
}
} // namespace

ZXTEST_CHILD(log_load_writer) {
    const int process = std::atoi(zxtest::ChildArgument().c_str());
    const int lines = zxtest::LoadSize(3000, 3000);
    WriterThread runs[kLoadThreads];
    HANDLE threads[kLoadThreads];
    for (int t = 0; t < kLoadThreads; ++t) {
        runs[t] = {process, t, lines};
        threads[t] = CreateThread(nullptr, 0, WriteLines, &runs[t], 0, nullptr);
    }
    WaitForMultipleObjects(kLoadThreads, threads, TRUE, INFINITE);
    for (HANDLE t : threads) {
        DWORD code = 1;
        GetExitCodeThread(t, &code);
        ZXTEST_EXPECT(code == 0);
        CloseHandle(t);
    }
    return 0;
}

TEST_CASE("log load: 4 processes x 2 threads write one file: every line once, whole; stale files go") {
    FreshFolder fresh;
    zxtest_log::SetLimits(1, 10);
    for (int days = 11; days < 26; ++days)
        zxtest::WriteFileBytes(LogPath(DayName(-days)), "stale\r\n");
    HANDLE held = CreateFileW(LogPath(DayName(-15)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    {
        std::vector<std::unique_ptr<zxtest::Program>> writers;
        for (int p = 0; p < kLoadProcesses; ++p)
            writers.push_back(std::make_unique<zxtest::Program>(
                zxtest::ChildCommandLine("log_load_writer", std::to_string(p))));
        for (auto &writer : writers)
            CHECK(writer->WaitForExit(600000) == 0);
    }
    CloseHandle(held);

    const int lines = zxtest::LoadSize(3000, 3000);
    std::map<std::string, int> seen;
    int headers = 0, broken = 0;
    for (const std::string &line : Lines(zxtest_log::ReadAllLogs())) {
        if (line == "stale\r\n") continue;
        if (!IsTimePrefix(line)) {
            ++broken;
            continue;
        }
        const std::string text = line.substr(31);
        if (text == "Log session started.\r\n") {
            ++headers;
            continue;
        }
        const size_t blank = text.find(' ');
        const int seq = std::atoi(text.c_str() + text.rfind('-', blank) + 1);
        if (blank == std::string::npos || text.size() != blank + 1 + 440 + 2 ||
            text.substr(blank + 1, 440) != std::string(440, static_cast<char>('a' + seq % 26)))
            ++broken;
        ++seen[text.substr(0, blank)];
    }
    CHECK(broken == 0);
    CHECK(seen.size() == static_cast<size_t>(kLoadProcesses * kLoadThreads * lines));
    int twice = 0;
    for (const auto &entry : seen)
        twice += entry.second != 1 ? 1 : 0;
    CHECK(twice == 0);
    CHECK(headers >= kLoadProcesses);
    // Each continuation was started once, and every file stays within the limit and a line.
    std::vector<std::wstring> today;
    for (const std::wstring &name : zxtest_log::LogFiles())
        if (name.compare(0, 16, DayName(0).substr(0, 16)) == 0) today.push_back(name);
    CHECK(today.size() >= 2);
    for (size_t i = 0; i < today.size(); ++i) {
        CHECK(today[i] == DayName(0, static_cast<unsigned>(i)));
        CHECK(zxtest::ReadFileBytes(LogPath(today[i])).size() <= (1u << 20) + 512);
    }
    for (int days = 11; days < 26; ++days)
        CHECK(zxtest::FileExists(LogPath(DayName(-days))) == (days == 15));
}

// Faults from outside: each scenario in a process of its own, with a hard time-out.

ZXTEST_CHILD(log_lock_holder) {
    // Another program that takes the writers' lock of the log file and holds it until told.
    const std::string tag = zxtest::ChildArgument();
    HANDLE file = CreateFileW(LogPath(DayName(0)).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    OVERLAPPED at = {};
    at.OffsetHigh = 0x7FFFFFFF;
    ZXTEST_EXPECT(LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
    SetEvent(CreateEventA(nullptr, TRUE, FALSE, ("zxtest-log-locked-" + tag).c_str()));
    WaitForSingleObject(CreateEventA(nullptr, TRUE, FALSE, ("zxtest-log-release-" + tag).c_str()), 60000);
    return 0;
}

ZXTEST_CHILD(log_fault) {
    const std::string fault = zxtest::ChildArgument();
    const std::wstring line = std::wstring(450, L'f') + L"\r\n";
    if (fault == "lock") {
        // Writers return within the bound while another program holds the lock, and the first
        // line after it lets go says how many were lost (the session header is one of them).
        const std::string tag = std::to_string(GetCurrentProcessId());
        HANDLE locked = CreateEventA(nullptr, TRUE, FALSE, ("zxtest-log-locked-" + tag).c_str());
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, ("zxtest-log-release-" + tag).c_str());
        zxtest::Program holder(zxtest::ChildCommandLine("log_lock_holder", tag));
        ZXTEST_EXPECT(WaitForSingleObject(locked, 30000) == WAIT_OBJECT_0);
        for (int i = 0; i < 5; ++i)
            ZXTEST_EXPECT(QX_Log(L"held back\r\n") == QX_ERR_WRITE_FILE);
        SetEvent(release);
        ZXTEST_EXPECT(holder.WaitForExit() == 0);
        ZXTEST_EXPECT(QX_Log(L"after\r\n") == QX_OK);
        CQxLogFile::CloseLog();
        const std::string log = zxtest::ReadFileBytes(LogPath(DayName(0)));
        ZXTEST_EXPECT(
            log.find("***** [6 lines of this process were not written: 6 as another program held the "
                     "file]\r\n") != std::string::npos);
        ZXTEST_EXPECT(log.find("after") > log.find("[6 lines") && log.find("held back") == std::string::npos);
    } else if (fault == "keep") {
        ZXTEST_EXPECT(QX_Log(L"kept\r\n") == QX_OK);
    } else if (fault == "day full") {
        // The day's last continuation is at the limit: the rest of the day's lines are refused.
        for (int i = 0; i < 20; ++i)
            ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_ERR_SYSTEM);
    } else if (fault == "no new file") {
        // The next continuation cannot be made: the lines stay in the file, which says so once, and
        // the new file is made once it can be.
        for (size_t written = 0; written < (2u << 20) + 65536; written += 31 + line.size())
            ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_OK);
        const std::string log = zxtest::ReadFileBytes(LogPath(DayName(0)));
        const size_t note = log.find("***** [a new log file could not be started");
        ZXTEST_EXPECT(note != std::string::npos &&
                      log.find("could not be started", note + 50) == std::string::npos);
        ZXTEST_EXPECT(RemoveDirectoryW(LogPath(DayName(0, 1)).c_str()));
        ZXTEST_EXPECT(zxtest::Eventually([&] {
            return QX_Log(line.c_str()) == QX_OK && EndsWith(CQxLogFile::GetLogFilename(), DayName(0, 1));
        }));
    } else if (fault == "report") {
        // An assertion report among the lines of two other processes is one block.
        std::vector<std::unique_ptr<zxtest::Program>> writers;
        for (int p = 0; p < 2; ++p)
            writers.push_back(std::make_unique<zxtest::Program>(
                zxtest::ChildCommandLine("log_load_writer", std::to_string(p))));
        std::wstring comment;
        for (int i = 0; i < 20; ++i)
            comment += L"report line " + std::to_wstring(100 + i) + L"\n";
        ZXTEST_EXPECT(zxtest::Eventually(
            [] {
                const std::string log = zxtest_log::ReadAllLogs();
                return log.find("L0-0-1 ") != std::string::npos && log.find("L1-0-1 ") != std::string::npos;
            },
            60000));
        for (int report = 0; report < 5; ++report)
            DiagAssertW(QX_DIAG_LOGFILE, L"report", comment.c_str(), __FILE__, __LINE__);
        for (auto &writer : writers)
            ZXTEST_EXPECT(writer->WaitForExit(600000) == 0);
        CQxLogFile::CloseLog();
        int inReport = 0, reports = 0;
        for (const std::string &text : Lines(zxtest_log::ReadAllLogs())) {
            const size_t at = text.find("report line ");
            if (at == std::string::npos) {
                ZXTEST_EXPECT(inReport == 0); // nothing else between a report's lines
                continue;
            }
            ZXTEST_EXPECT(std::atoi(text.c_str() + at + 12) == 100 + inReport);
            inReport = (inReport + 1) % 20;
            reports += inReport == 0 ? 1 : 0;
        }
        ZXTEST_EXPECT(reports == 5);
    }
    return 0;
}

TEST_CASE("log file under faults: a held lock, huge ages, a full day, no new file, a report among writers") {
    const long long kNoLimit = -1;
    const struct {
        const char *fault;
        long long megabytes, days;
        std::vector<std::wstring> present; // files there before, holding "today\r\n"
    } rows[] = {
        {"lock", kNoLimit, kNoLimit, {}},
        {"keep", kNoLimit, 0xFFFFFFFFll, {DayName(0), DayName(0, 1), DayName(-15000)}},
        {"keep", kNoLimit, 0x80000000ll, {DayName(0), DayName(0, 1), DayName(-15000)}},
        {"keep", kNoLimit, 36501, {DayName(0), DayName(0, 1), DayName(-15000)}},
        {"day full", 1, kNoLimit, {DayName(0), DayName(0, 9999)}},
        {"no new file", 1, kNoLimit, {}},
        {"report", kNoLimit, kNoLimit, {}},
    };
    for (const auto &row : rows) {
        CAPTURE(std::string(row.fault));
        FreshFolder fresh;
        zxtest_log::SetLimits(row.megabytes, row.days);
        for (const std::wstring &name : row.present)
            zxtest::WriteFileBytes(LogPath(name), "today\r\n");
        if (std::string(row.fault) == "day full") {
            // The last continuation at the limit of 1 MiB.
            HANDLE file = CreateFileW(LogPath(DayName(0, 9999)).c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            LARGE_INTEGER end;
            end.QuadPart = 1 << 20;
            CHECK((SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)));
            CloseHandle(file);
        }
        if (std::string(row.fault) == "no new file")
            CHECK(CreateDirectoryW(LogPath(DayName(0, 1)).c_str(), nullptr));
        CHECK(zxtest::RunChild("log_fault", 300000, row.fault) == 0);
        for (const std::wstring &name : row.present)
            CHECK(zxtest::FileExists(LogPath(name)));
        if (std::string(row.fault) == "day full") {
            CHECK(zxtest_log::LogFiles().size() == 2);
            CHECK(zxtest::ReadFileBytes(LogPath(DayName(0))) == "today\r\n");
            CHECK(zxtest::ReadFileBytes(LogPath(DayName(0, 9999))).size() <= (1u << 20) + 512);
        }
    }
}

// Run by scripts/tests/logfile_small_volume_test.sh, with the log folder on a volume of 4 MiB with
// room for three files: the day's file, the note of its newest continuation and a filler.
ZXTEST_CHILD(log_small_volume) {
    zxtest_log::SetLimits(1, -1);
    const std::wstring line = std::wstring(450, L'v') + L"\r\n";
    ZXTEST_EXPECT(QX_Log(L"first\r\n") == QX_OK);
    const std::wstring log = CQxLogFile::GetLogFilename();
    // The drive fills up, with a little room left: a line is cut short there.
    HANDLE filler =
        CreateFileW(LogPath(L"filler.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string chunk(65536, 'x');
    DWORD put = 0;
    while (WriteFile(filler, chunk.data(), static_cast<DWORD>(chunk.size()), &put, nullptr) &&
           put == chunk.size()) {
    }
    LARGE_INTEGER end = {};
    SetFilePointerEx(filler, end, &end, FILE_CURRENT);
    end.QuadPart -= 6000;
    ZXTEST_EXPECT(SetFilePointerEx(filler, end, nullptr, FILE_BEGIN) && SetEndOfFile(filler));
    int failed = 0;
    for (int i = 0; i < 200 && failed == 0; ++i)
        failed += QX_Log(line.c_str()) == QX_OK ? 0 : 1;
    ZXTEST_EXPECT(failed == 1);
    const std::string full = zxtest::ReadFileBytes(log);
    ZXTEST_EXPECT(full.size() > 2 && full.compare(full.size() - 2, 2, "\r\n") == 0);
    // Space returns; the entries are still all taken, so the continuation cannot be made.
    end.QuadPart = 0;
    ZXTEST_EXPECT(SetFilePointerEx(filler, end, nullptr, FILE_BEGIN) && SetEndOfFile(filler));
    ZXTEST_EXPECT(QX_Log(L"space again\r\n") == QX_OK);
    for (size_t written = 0; written < (1u << 20) + 65536; written += 31 + line.size())
        ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_OK);
    const std::string text = zxtest::ReadFileBytes(log);
    ZXTEST_EXPECT(text.find("***** [1 lines of this process were not written: 1 as the write failed]\r\n") <
                  text.find("***** space again\r\n"));
    ZXTEST_EXPECT(text.find("***** [a new log file could not be started") != std::string::npos);
    for (const std::string &l : Lines(text))
        ZXTEST_EXPECT(IsTimePrefix(l) && l.size() >= 33 && l.compare(l.size() - 2, 2, "\r\n") == 0);
    // An entry is free again: the continuation is made.
    CloseHandle(filler);
    ZXTEST_EXPECT(DeleteFileW(LogPath(L"filler.bin").c_str()));
    ZXTEST_EXPECT(zxtest::Eventually([&] {
        return QX_Log(line.c_str()) == QX_OK && EndsWith(CQxLogFile::GetLogFilename(), DayName(0, 1));
    }));
    CQxLogFile::CloseLog();
    zxtest_log::SetLimits(-1, -1);
    return 0;
}
