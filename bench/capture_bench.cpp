// One child process writes 20,000 texts of 64 bytes to the debug-output channel: texts per second
// reaching a CQxDebugOutputCapture callback, against a bare reader loop, in the same run.
//   capture_bench.exe          the run
//   capture_bench.exe child    the writer (internal)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/benchutil.h"
#include "testsupport/channel.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kTexts = 20000;
volatile LONG g_received = 0;
HANDLE g_all = nullptr;

void OnText(const wchar_t *) {
    if (InterlockedIncrement(&g_received) == kTexts) SetEvent(g_all);
}

// Runs the writer to its end; returns its process id.
DWORD RunWriter() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 0;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return info.dwProcessId;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc > 1 && std::wcscmp(argv[1], L"child") == 0) {
        const std::string text(63, 'b');
        for (int i = 0; i < kTexts; ++i)
            OutputDebugStringA(text.c_str());
        return 0;
    }
    g_all = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    double ours = 0.0, bare = 0.0;
    for (int round = 0; round < 2; ++round) {
        {
            g_received = 0;
            ResetEvent(g_all);
            CQxDebugOutputCapture capture(OnText);
            bench::Stopwatch watch;
            RunWriter();
            WaitForSingleObject(g_all, 120000);
            ours += watch.Seconds();
        }
        {
            zxtest::DebugChannelReader reader;
            bench::Stopwatch watch;
            const DWORD writer = RunWriter();
            reader.WaitFor(
                writer, [](const std::vector<std::string> &texts) { return texts.size() >= kTexts; }, 120000);
            bare += watch.Seconds();
        }
    }
    std::printf("%d texts of 64 bytes, 2 rounds: capture callback %.0f texts/s, bare reader %.0f texts/s, ratio %.2f\n",
                kTexts, 2 * kTexts / ours, 2 * kTexts / bare, bare / ours);
    return 0;
}
