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

// A fresh log folder, the registry limits removed, and this process's own log closed.
void FreshFolder() {
    CQxLogFile::CloseLog();
    zxtest_log::SetLimits(-1, -1);
    zxtest_log::ClearLogFolder();
}

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
    // Limit 1 MB: the first line after this instance wrote 2 MiB starts a continuation file.
    const std::wstring line = std::wstring(450, L'z') + L"\r\n";
    size_t written = 0;
    while (written < (2u << 20) + 4096) {
        ZXTEST_EXPECT(QX_Log(line.c_str()) == QX_OK);
        written += 31 + line.size();
    }
    CQxLogFile::CloseLog();
    const std::vector<std::wstring> files = zxtest_log::LogFiles();
    ZXTEST_EXPECT(files.size() == 2);
    const size_t first = zxtest::ReadFileBytes(LogPath(DayName(0))).size();
    ZXTEST_EXPECT(first >= (2u << 20) && first < (2u << 20) + 31 + line.size() + 100);
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
    FreshFolder();
    CHECK(zxtest::RunChild("log_first_line_of_the_day") == 0);
}

TEST_CASE("log file: the newest continuation is continued, and a cleared log starts the next one") {
    FreshFolder();
    for (unsigned n : {0u, 1u, 3u})
        zxtest::WriteFileBytes(LogPath(DayName(0, n)), "old\r\n");
    CHECK(zxtest::RunChild("log_continuations_with_gaps") == 0);
}

TEST_CASE("log file: a size limit of 1 MB splits after 2 MiB; 0 means no limit") {
    FreshFolder();
    zxtest_log::SetLimits(1, -1);
    CHECK(zxtest::RunChild("log_size_split") == 0);
    FreshFolder();
    zxtest_log::SetLimits(0, -1);
    CHECK(zxtest::RunChild("log_no_size_limit") == 0);
    zxtest_log::SetLimits(-1, -1);
}

TEST_CASE("log file: files older than the age limit go, held files and foreign names stay") {
    FreshFolder();
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
    FreshFolder();
    CHECK(zxtest::RunChild("log_unicode_mode") == 0);
}

TEST_CASE("log file: narrow text, and cut lines that keep their line end") {
    FreshFolder();
    CHECK(zxtest::RunChild("log_narrow_text_and_cuts") == 0);
}

TEST_CASE("log file: null text, a disabled log and the stored limits") {
    FreshFolder();
    CHECK(zxtest::RunChild("log_refusals") == 0);
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
    zxtest_log::SetLimits(-1, -1);
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
    FreshFolder();
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
    FreshFolder();
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
    zxtest_log::SetLimits(-1, -1);

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
    // The writers passed the limit at about the same time and started one continuation together.
    std::vector<std::wstring> today;
    for (const std::wstring &name : zxtest_log::LogFiles())
        if (name.compare(0, 16, DayName(0).substr(0, 16)) == 0) today.push_back(name);
    CHECK(today == std::vector<std::wstring>{DayName(0), DayName(0, 1)});
    for (int days = 11; days < 26; ++days)
        CHECK(zxtest::FileExists(LogPath(DayName(-days))) == (days == 15));
}
