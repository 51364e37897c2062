// The log file through its seams: the local date (a new day starts a new file), the shell (OpenLog),
// the pause after a failed open and writes cut short by a full drive. Each scenario runs in a process of its
// own.
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/logfile.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/tests/debugging/logfolder.h"

#include <string>
#include <vector>

namespace {

SYSTEMTIME g_now = {};
void WINAPI FakeLocalTime(LPSYSTEMTIME out) {
    *out = g_now;
}

SYSTEMTIME Day(WORD year, WORD month, WORD day, WORD hour) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wDayOfWeek = 1;
    return t;
}

struct ShellCall {
    std::wstring verb, file, parameters;
};
std::vector<ShellCall> g_shell;
HINSTANCE WINAPI FakeShell(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT) {
    g_shell.push_back({verb ? verb : L"", file ? file : L"", parameters ? parameters : L""});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

std::wstring InFolder(const wchar_t *name) {
    return zxtest_log::LogFolder() + L"\\" + name;
}

} // namespace

ZXTEST_CHILD(log_new_day_new_file) {
    zxtest_log::ClearLogFolder();
    zxtest_log::SetLimits(-1, -1);
    qx::LogFileSystem().localTime = FakeLocalTime;
    CQxLogFile::Initialize();
    g_now = Day(2030, 3, 1, 23);
    ZXTEST_EXPECT(QX_Log(L"late\r\n") == QX_OK);
    g_now = Day(2030, 3, 2, 0);
    ZXTEST_EXPECT(QX_Log(L"early\r\n") == QX_OK);
    ZXTEST_EXPECT(std::wstring(CQxLogFile::GetLogFilename()) == InFolder(L"qxapp_2030-03-02.log"));
    CQxLogFile::CloseLog();
    const std::string first = zxtest::ReadFileBytes(InFolder(L"qxapp_2030-03-01.log"));
    const std::string second = zxtest::ReadFileBytes(InFolder(L"qxapp_2030-03-02.log"));
    ZXTEST_EXPECT(first.find("late") != std::string::npos && first.find("early") == std::string::npos);
    ZXTEST_EXPECT(second.find("Log session started.") != std::string::npos &&
                  second.find("early") != std::string::npos);
    // The sweep counts calendar days, at any hour.
    g_now = Day(2030, 3, 12, 0); // 11 days after the first file, 10 after the second
    ZXTEST_EXPECT(QX_Log(L"later\r\n") == QX_OK);
    CQxLogFile::CloseLog();
    ZXTEST_EXPECT(zxtest::Eventually([] {
        return GetFileAttributesW(InFolder(L"qxapp_2030-03-01.log").c_str()) == INVALID_FILE_ATTRIBUTES;
    }));
    ZXTEST_EXPECT(GetFileAttributesW(InFolder(L"qxapp_2030-03-02.log").c_str()) != INVALID_FILE_ATTRIBUTES);
    return 0;
}

ZXTEST_CHILD(log_open_in_the_shell) {
    zxtest_log::ClearLogFolder();
    qx::LogFileSystem().shellExecute = FakeShell;
    CQxLogFile::Initialize();
    const std::wstring folder = zxtest_log::LogFolder() + L"\\";
    ZXTEST_EXPECT(CQxLogFile::OpenLog(true) == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::OpenLog(false) == QX_OK); // no log file yet: the folder
    ZXTEST_EXPECT(QX_Log(L"x\r\n") == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::ClearLog() == QX_OK);
    ZXTEST_EXPECT(CQxLogFile::OpenLog(false) == QX_OK);
    ZXTEST_EXPECT(g_shell.size() == 3);
    ZXTEST_EXPECT(g_shell[0].verb == L"open" && g_shell[0].file == L"explorer" &&
                  g_shell[0].parameters == folder);
    ZXTEST_EXPECT(g_shell[1].file == L"explorer" && g_shell[1].parameters == folder);
    ZXTEST_EXPECT(g_shell[2].file == L"notepad" &&
                  g_shell[2].parameters == std::wstring(CQxLogFile::GetLogFilename()));
    ZXTEST_EXPECT(g_shell[2].parameters.find(L"_(0001).log") != std::wstring::npos);
    return 0;
}

ZXTEST_CHILD(log_failed_open_waits_a_second) {
    zxtest_log::ClearLogFolder();
    CQxLogFile::Initialize();
    // A file where the log file of the day should be: the folder cannot hold the log.
    const std::wstring blocker = InFolder(zxtest_log::DayName(0).c_str());
    ZXTEST_EXPECT(CreateDirectoryW(blocker.c_str(), nullptr));
    ZXTEST_EXPECT(!CQxLogFile::Detail());
    ZXTEST_EXPECT(CQxLogFile::GetLogFilename() == nullptr);
    RemoveDirectoryW(blocker.c_str());
    // Tried again only after a second.
    ZXTEST_EXPECT(QX_Log(L"too soon\r\n") == QX_ERR_SYSTEM);
    Sleep(1100);
    ZXTEST_EXPECT(CQxLogFile::Detail());
    ZXTEST_EXPECT(QX_Log(L"in time\r\n") == QX_OK);
    return 0;
}

namespace {
LONG WINAPI RefuseValue(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD) {
    return ERROR_ACCESS_DENIED;
}
} // namespace

ZXTEST_CHILD(log_limits_that_cannot_be_stored) {
    CQxLogFile::Initialize();
    qx::LogFileSystem().setRegistryValue = RefuseValue;
    ZXTEST_EXPECT(CQxLogFile::SetProperties(5, 5) == QX_ERR_SYSTEM);
    return 0;
}

namespace {
// A drive that fills up: the next writes put part of their bytes, then fail.
int g_writesCutShort = 0;
BOOL WINAPI CutShort(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED at) {
    if (g_writesCutShort == 0) return WriteFile(file, bytes, count, written, at);
    --g_writesCutShort;
    WriteFile(file, bytes, count / 2, written, at);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
} // namespace

ZXTEST_CHILD(log_writes_cut_short) {
    zxtest_log::ClearLogFolder();
    CQxLogFile::Initialize();
    ZXTEST_EXPECT(QX_Log(L"before\r\n") == QX_OK);
    qx::LogFileSystem().writeFile = CutShort;
    g_writesCutShort = 2;
    ZXTEST_EXPECT(QX_Log(L"cut short\r\n") == QX_ERR_WRITE_FILE);
    ZXTEST_EXPECT(QX_Log(L"cut short\r\n") == QX_ERR_WRITE_FILE);
    ZXTEST_EXPECT(QX_Log(L"after\r\n") == QX_OK);
    const std::string log = zxtest::ReadFileBytes(CQxLogFile::GetLogFilename());
    CQxLogFile::CloseLog();
    // Whole lines only, and the first line that lands says what was lost.
    ZXTEST_EXPECT(log.find("cut") == std::string::npos);
    const size_t note =
        log.find("***** [2 lines of this process were not written: 2 as the write failed]\r\n");
    ZXTEST_EXPECT(note != std::string::npos && log.find("***** before\r\n") < note);
    ZXTEST_EXPECT(log.find("***** after\r\n") > note && log.size() == log.find("***** after\r\n") + 13);
    return 0;
}

TEST_CASE("log file seams: a new day starts a new file, the sweep counts days, the shell, a failed open") {
    for (const char *scenario :
         {"log_new_day_new_file", "log_open_in_the_shell", "log_failed_open_waits_a_second",
          "log_limits_that_cannot_be_stored", "log_writes_cut_short"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}
