// zx_tracewatch: shows trace records in tracing windows, one per window id, until its last
// window is closed: live from the machine's debug-output channel, or from the daily log files.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "logreplay.h"
#include "zx_winsys/internal/systemtext.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const wchar_t kUsage[] =
    L"Usage: zx_tracewatch [FILE... | -today | -follow [FILE] | --demo | -?]\r\n"
    L"  (nothing)       show the trace records of every program of this machine as they are written\r\n"
    L"  FILE...         show the records of log files (daily files and their continuations are\r\n"
    L"                  read in the order they were written)\r\n"
    L"  -today          show today's log files of the log folder\r\n"
    L"  -follow [FILE]  show FILE (today's newest log file when none is given) and keep reading it\r\n"
    L"                  as it grows, and the day's continuation files after it\r\n"
    L"  --demo          show live records, and write a few sample records\r\n"
    L"  -?              show this text\r\n"
    L"A FILE that a tracing window saved is shown as it was. Exit codes: 0, 1 when another program\r\n"
    L"already receives the trace records (a box says so), 2 for a bad command line or file.\r\n";

const DWORD kFollowMs = 250;

// Writes to the standard error (or output) that the program was given; failing that, to the
// console it was started from, or in a message box.
void Say(const std::wstring &text, bool error) {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
        DWORD written = 0;
        if (GetFileType(out) == FILE_TYPE_CHAR &&
            WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr))
            return;
        const std::string bytes = qx::Utf8(text);
        if (WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        const bool done =
            console != INVALID_HANDLE_VALUE &&
            WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        if (done) return;
    }
    MessageBoxW(nullptr, text.c_str(), L"zx_tracewatch", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

int Fail(const std::wstring &text) {
    Say(L"zx_tracewatch: " + text + L"\r\n" + L"Try \"zx_tracewatch -?\".\r\n", true);
    return 2;
}

BOOL CALLBACK FindTracingWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32];
    if (process == GetCurrentProcessId() && GetClassNameW(window, name, 32) &&
        wcscmp(name, L"ZENTRIX_DEBUG_WINDOW") == 0)
        *reinterpret_cast<BOOL *>(param) = TRUE;
    return !*reinterpret_cast<BOOL *>(param);
}

bool AnyTracingWindow() {
    BOOL found = FALSE;
    EnumWindows(FindTracingWindow, reinterpret_cast<LPARAM>(&found));
    return found != FALSE;
}

void WaitForLastWindow() {
    do {
        Sleep(500);
    } while (AnyTracingWindow());
}

void Demo() {
    const wchar_t *steps[] = {L"Opening camera", L"Exposure 12.5 ms", L"Frame 1 acquired",
                              L"Frame 2 acquired", L"Stage moved to 1200, 340"};
    for (const wchar_t *step : steps) {
        DiagOutputExW(L"|wndid:1 \t|stime|\t|thrid|\t|wnddt|\t%s", step);
        Sleep(40);
    }
    DiagOutputExW_hlp("demo/acquisition", 42);
    DiagOutputExW(L"|wndid:2 \t|stime|\t|srcid|\t|adt01|\tAutofocus started");
    DiagOutputExW(L"|wndid:2 \t|stime|\t|srcid|\t|adt01|\tAutofocus done");
    // The windows cascade; for pictures the second one goes below the first.
    Sleep(500);
    if (HWND second = FindWindowW(L"ZENTRIX_DEBUG_WINDOW", L"Tracing Window ID: 2"))
        SetWindowPos(second, nullptr, 0, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring FolderOf(const std::wstring &path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

std::wstring Title(const std::vector<tracewatch::LogFile> &files) {
    std::wstring title;
    for (const tracewatch::LogFile &file : files)
        title += (title.empty() ? L"" : L", ") + file.Path().substr(FolderOf(file.Path()).size());
    return title;
}

// The folder of the log file that this program's log would use, and the start of today's names.
bool TodaysLogs(std::wstring *folder, std::wstring *prefix) {
    const wchar_t *name = CQxLogFile::GetLogFilename();
    if (!name) return false;
    *folder = FolderOf(name);
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"qxapp_%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    *prefix = text;
    return true;
}

const size_t kReadPiece = size_t(4) << 20; // bytes of a file read at a time

// Reads what a file holds now into the windows, a piece at a time: memory is bounded by the
// windows' caps, not by the files.
void Feed(tracewatch::LogFile &file, int index, tracewatch::LogWindows &windows) {
    for (bool more = true; more;) {
        std::vector<std::wstring> lines;
        if (file.ReadNew(&lines, kReadPiece, &more) != ERROR_SUCCESS)
            return; // a file that the age sweep removed
        for (const std::wstring &line : lines) {
            if (file.Saved())
                windows.SavedLine(index, line);
            else
                windows.Line(line);
        }
    }
}

// Reads every file once (in order) into the windows; with follow, goes on reading as the files
// grow and as the day's later files appear, until the last window is closed.
int Show(std::vector<std::wstring> paths, bool follow) {
    tracewatch::SortLogFiles(&paths);
    std::vector<tracewatch::LogFile> files;
    for (const std::wstring &path : paths) {
        // Every file must be readable before any window opens.
        HANDLE probe =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE)
            return Fail(L"cannot read \"" + path + L"\": " + qx::SystemMessage(GetLastError()) + L".");
        CloseHandle(probe);
        files.emplace_back(path);
    }
    bool allSaved = true;
    for (const std::wstring &path : paths)
        allSaved = allSaved && tracewatch::IsSavedWindow(path);
    tracewatch::LogWindows windows(!allSaved);
    windows.SetFilesTitle(Title(files));
    for (size_t k = 0; k < files.size(); ++k)
        Feed(files[k], static_cast<int>(k), windows);
    windows.EndOfData();
    if (!follow) {
        WaitForLastWindow();
        return 0;
    }
    const std::wstring folder = FolderOf(paths.front());
    while (AnyTracingWindow()) {
        Sleep(kFollowMs);
        bool added = false;
        for (const std::wstring &path : tracewatch::DailyFiles(folder, L"qxapp_")) {
            if (!tracewatch::ComesAfter(path, files.back().Path())) continue;
            files.emplace_back(path);
            added = true;
        }
        if (added) windows.SetFilesTitle(Title(files));
        for (size_t k = 0; k < files.size(); ++k)
            Feed(files[k], static_cast<int>(k), windows);
        windows.EndOfData();
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    std::vector<std::wstring> paths;
    bool today = false, follow = false, demo = false;
    for (int k = 1; k < argc; ++k) {
        const std::wstring argument = argv[k];
        if (argument == L"-?" || argument == L"/?" || argument == L"-h" || argument == L"--help") {
            Say(kUsage, false);
            return 0;
        }
        if (argument == L"-today")
            today = true;
        else if (argument == L"-follow")
            follow = true;
        else if (argument == L"--demo")
            demo = true;
        else if (argument.size() > 1 && argument[0] == L'-')
            return Fail(L"unknown switch \"" + argument + L"\".");
        else
            paths.push_back(argument);
    }
    if ((demo && (today || follow || !paths.empty())) || (today && (follow || !paths.empty())))
        return Fail(L"these switches cannot be combined.");
    if (follow && paths.size() > 1) return Fail(L"-follow reads one file.");

    if ((today || follow) && paths.empty()) {
        std::wstring folder, prefix;
        if (!TodaysLogs(&folder, &prefix))
            return Fail(L"the log folder is not known: logging is off or its file cannot be opened.");
        paths = tracewatch::DailyFiles(folder, prefix);
        if (follow) paths.erase(paths.begin(), paths.end() - (paths.empty() ? 0 : 1)); // the newest
        if (paths.empty()) return Fail(L"there is no log file of today in \"" + folder + L"\".");
    }
    if (!paths.empty()) return Show(paths, follow);

    // Live: a second viewer gets nothing (another receiver holds the channel); it says so in a box
    // and ends, instead of keeping a window that shows nothing.
    CDebugFramework framework(static_cast<HWND>(nullptr));
    if (!framework.IsReceiving()) return 1;
    if (demo) Demo();
    WaitForLastWindow();
    return 0;
}
