// QX_Log of 100,000 lines of 200 characters (1 thread, 4 threads, 2 processes) against WriteFile
// of the same formatted bytes under the same cross-process lock, in the same run; then the first
// line of a process with 10,000 files in the log folder, against opening and writing a file there.
//   logfile_bench.exe                 the whole run
//   logfile_bench.exe firstline [N]   only the first lines, with N files (10,000)
//   logfile_bench.exe child ...       a writer process (internal)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <psapi.h>

#include <algorithm>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kLines = 100000;
const std::wstring kText = std::wstring(200, L'b') + L"\r\n";

struct Job {
    int lines;
    HANDLE raw; // null: QX_Log
};

// The raw limit: the same time prefix and bytes, with the lock that every log writer takes.
void RawLine(HANDLE file) {
    char line[300];
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int n = std::snprintf(line, sizeof line, "Wed Dec %02d %02d:%02d:%02d %04d ***** ", now.wDay,
                                now.wHour, now.wMinute, now.wSecond, now.wYear);
    std::memset(line + n, 'b', 200);
    std::memcpy(line + n + 200, "\r\n", 2);
    OVERLAPPED at = {};
    at.OffsetHigh = 0x7FFFFFFF;
    LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file, zero, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n + 202), &written, nullptr);
    UnlockFileEx(file, 0, 1, 0, &at);
}

DWORD WINAPI Write(void *arg) {
    const Job *job = static_cast<const Job *>(arg);
    for (int i = 0; i < job->lines; ++i) {
        if (job->raw)
            RawLine(job->raw);
        else
            QX_Log(kText.c_str());
    }
    return 0;
}

double Threads(int count, bool raw, const std::wstring &rawPath) {
    std::vector<HANDLE> files, threads;
    std::vector<Job> jobs(static_cast<size_t>(count));
    bench::Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        HANDLE file = raw ? CreateFileW(rawPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr)
                          : nullptr;
        files.push_back(file);
        jobs[static_cast<size_t>(i)] = {kLines / count, file};
        threads.push_back(CreateThread(nullptr, 0, Write, &jobs[static_cast<size_t>(i)], 0, nullptr));
    }
    WaitForMultipleObjects(static_cast<DWORD>(count), threads.data(), TRUE, INFINITE);
    const double seconds = watch.Seconds();
    for (HANDLE t : threads)
        CloseHandle(t);
    for (HANDLE f : files)
        if (f) CloseHandle(f);
    return seconds;
}

double Processes(bool raw, const std::wstring &rawPath) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::vector<HANDLE> processes;
    bench::Stopwatch watch;
    for (int i = 0; i < 2; ++i) {
        std::wstring line =
            L"\"" + std::wstring(self) + L"\" child " + (raw ? L"raw \"" + rawPath + L"\"" : L"log");
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return -1;
        CloseHandle(info.hThread);
        processes.push_back(info.hProcess);
    }
    WaitForMultipleObjects(2, processes.data(), TRUE, INFINITE);
    const double seconds = watch.Seconds();
    for (HANDLE p : processes)
        CloseHandle(p);
    return seconds;
}

// The first line of a process: a child process times its first QX_Log and returns the
// microseconds as its exit code.
struct FirstLines {
    std::vector<double> ms;
    double peakMiB = 0;
};

std::wstring DayFileName(int daysAgo, unsigned continuation) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<ULONGLONG>(daysAgo) * 864000000000ull;
    FILETIME then = {t.LowPart, t.HighPart}, local;
    FileTimeToLocalFileTime(&then, &local);
    SYSTEMTIME date;
    FileTimeToSystemTime(&local, &date);
    wchar_t name[64];
    if (continuation == 0)
        swprintf(name, 64, L"qxapp_%04d-%02d-%02d.log", date.wYear, date.wMonth, date.wDay);
    else
        swprintf(name, 64, L"qxapp_%04d-%02d-%02d_(%04u).log", date.wYear, date.wMonth, date.wDay,
                 continuation);
    return name;
}

void ClearFolder(const std::wstring &folder) {
    bench::RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

// files dated firstDay..firstDay+days-1 days ago, spread evenly, continuations numbered from 0.
void MakeFiles(const std::wstring &folder, int files, int firstDay, int days) {
    for (int i = 0; i < files; ++i) {
        const int day = firstDay + i % days;
        HANDLE file =
            CreateFileW((folder + L"\\" + DayFileName(day, static_cast<unsigned>(i / days))).c_str(),
                        GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
}

FirstLines RunFirstLines(int processes, bool together) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    FirstLines result;
    std::vector<HANDLE> running;
    auto finish = [&](HANDLE process) {
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        result.ms.push_back(code / 1000.0);
        PROCESS_MEMORY_COUNTERS memory = {};
        if (GetProcessMemoryInfo(process, &memory, sizeof memory))
            result.peakMiB = std::max(result.peakMiB, memory.PeakWorkingSetSize / 1048576.0);
        CloseHandle(process);
    };
    for (int i = 0; i < processes; ++i) {
        std::wstring line = L"\"" + std::wstring(self) + L"\" child first";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            break;
        CloseHandle(info.hThread);
        if (together)
            running.push_back(info.hProcess);
        else
            finish(info.hProcess);
    }
    for (HANDLE process : running)
        finish(process);
    std::sort(result.ms.begin(), result.ms.end());
    return result;
}

// Opening (creating) a file in the folder and writing a line to it: what the system's own calls cost there.
double PlainFirstLine(const std::wstring &folder) {
    const std::wstring path = folder + L"\\plain-first-line.txt";
    bench::Stopwatch watch;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    RawLine(file);
    const double ms = watch.Seconds() * 1000.0;
    CloseHandle(file);
    DeleteFileW(path.c_str());
    return ms;
}

int FirstLineRun(int files) {
    QX_Log(L"warm up\r\n");
    const std::wstring name(CQxLogFile::GetLogFilename());
    const std::wstring folder = name.substr(0, name.find_last_of(L'\\'));
    CQxLogFile::CloseLog();
    std::printf(
        "First line of a process (QX_Log in a new process; median / worst of the processes) with %d files "
        "in the log folder, against CreateFile + WriteFile of one line there\n",
        files);
    struct Shape {
        const char *what;
        int firstDay, days; // files dated firstDay..firstDay+days-1 days ago; days 0: none
    } shapes[] = {{"an empty folder", 0, 0},
                  {"files of the last 9 days, kept", 1, 9},
                  {"continuations of today", 0, 1},
                  {"files of 11 to 20 days ago, expired", 11, 10}};
    for (const Shape &shape : shapes) {
        ClearFolder(folder);
        if (shape.days)
            MakeFiles(folder, shape.what[0] == 'c' ? std::min(files, 10000) : files, shape.firstDay,
                      shape.days);
        const double plain = PlainFirstLine(folder);
        const FirstLines one = RunFirstLines(5, false);
        const FirstLines eight = RunFirstLines(8, true);
        std::printf("  %-38s 5 one after another: %.1f / %.1f ms; 8 together: %.1f / %.1f ms; plain %.2f ms; "
                    "peak %.1f MiB\n",
                    shape.what, one.ms[one.ms.size() / 2], one.ms.back(), eight.ms[eight.ms.size() / 2],
                    eight.ms.back(), plain, std::max(one.peakMiB, eight.peakMiB));
    }
    ClearFolder(folder);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"child") == 0 && std::wcscmp(argv[2], L"first") == 0) {
        bench::Stopwatch watch;
        QX_Log(L"first line\r\n");
        return static_cast<int>(watch.Seconds() * 1e6);
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"firstline") == 0)
        return FirstLineRun(argc >= 3 ? _wtoi(argv[2]) : 10000);
    if (argc >= 3 && std::wcscmp(argv[1], L"child") == 0) {
        const bool raw = std::wcscmp(argv[2], L"raw") == 0;
        HANDLE file = raw ? CreateFileW(argv[3], GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr)
                          : nullptr;
        Job job = {kLines / 2, file};
        Write(&job);
        if (file) CloseHandle(file);
        CQxLogFile::CloseLog();
        return 0;
    }
    QX_Log(L"warm up\r\n");
    const std::wstring folder(CQxLogFile::GetLogFilename());
    const std::wstring rawPath = folder.substr(0, folder.find_last_of(L'\\') + 1) + L"raw-bench.txt";
    std::printf(
        "QX_Log of %d lines of 200 characters against WriteFile of the same bytes under the same lock\n",
        kLines);
    for (int threads : {1, 4}) {
        const double ours = Threads(threads, false, rawPath);
        DeleteFileW(rawPath.c_str());
        const double raw = Threads(threads, true, rawPath);
        DeleteFileW(rawPath.c_str());
        std::printf("  %d thread%s: QX_Log %.3f s (%.0f lines/s), raw %.3f s, ratio %.2f\n", threads,
                    threads == 1 ? "" : "s", ours, kLines / ours, raw, ours / raw);
    }
    CQxLogFile::CloseLog();
    const double ours = Processes(false, rawPath);
    const double raw = Processes(true, rawPath);
    DeleteFileW(rawPath.c_str());
    std::printf("  2 processes: QX_Log %.3f s (%.0f lines/s), raw %.3f s, ratio %.2f\n", ours, kLines / ours,
                raw, ours / raw);
    return FirstLineRun(10000);
}
