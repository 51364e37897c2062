// QX_Log of 100,000 lines of 200 characters (1 thread, 4 threads, 2 processes) against WriteFile
// of the same formatted bytes under the same cross-process lock, in the same run.
//   logfile_bench.exe            the whole run
//   logfile_bench.exe child N    one writer process of the two-process case (internal)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
    const int n = std::snprintf(line, sizeof line, "Wed Dec %02d %02d:%02d:%02d %04d ***** ", now.wDay, now.wHour,
                                now.wMinute, now.wSecond, now.wYear);
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
        HANDLE file = raw ? CreateFileW(rawPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, 0, nullptr)
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
        std::wstring line = L"\"" + std::wstring(self) + L"\" child " + (raw ? L"raw \"" + rawPath + L"\"" : L"log");
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return -1;
        CloseHandle(info.hThread);
        processes.push_back(info.hProcess);
    }
    WaitForMultipleObjects(2, processes.data(), TRUE, INFINITE);
    const double seconds = watch.Seconds();
    for (HANDLE p : processes)
        CloseHandle(p);
    return seconds;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"child") == 0) {
        const bool raw = std::wcscmp(argv[2], L"raw") == 0;
        HANDLE file = raw ? CreateFileW(argv[3], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, 0, nullptr)
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
    std::printf("QX_Log of %d lines of 200 characters against WriteFile of the same bytes under the same lock\n",
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
    std::printf("  2 processes: QX_Log %.3f s (%.0f lines/s), raw %.3f s, ratio %.2f\n", ours, kLines / ours, raw,
                ours / raw);
    return 0;
}
