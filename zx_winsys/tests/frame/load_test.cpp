// Loading and unloading the library in a program that does not import it, so that each FreeLibrary
// really unloads it: cycles that touch per-thread state, timers and asynchronous reads leave the
// process as they found it, and live timers keep the library until they end.
#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/qx_file.h"
#include "zx_winsys/qx_time.h"

namespace {

// The library's functions that the cycles use, looked up by name.
struct Library {
    HMODULE module = nullptr;
    void (*trace)(const wchar_t *, ...) = nullptr;
    uint32_t (*setTimer)(QxTimerCallback, void *, double, int32_t, int32_t, int32_t) = nullptr;
    int (*waitTimer)(uint32_t) = nullptr;
    int (*open)(const wchar_t *, int, int, int, void **) = nullptr;
    int (*read)(void *, void *, size_t, size_t *, const SQxAsyncIO *) = nullptr;
    int (*close)(void *) = nullptr;

    template <typename F> void Find(F &function, const char *name) {
        function = reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    }
    bool Load() {
        module = LoadLibraryW(L"zx_winsys.dll");
        if (!module) return false;
        Find(trace, "DiagOutputExW");
        Find(setTimer, "QX_SetThreadedTimer");
        Find(waitTimer, "QX_WaitForTimer");
        Find(open, "QX_OpenFile");
        Find(read, "QX_ReadFile");
        Find(close, "QX_CloseFile");
        return trace && setTimer && waitTimer && open && read && close;
    }
};

bool Unloaded(DWORD timeoutMs = 10000) {
    for (DWORD waited = 0; GetModuleHandleW(L"zx_winsys.dll") != nullptr; waited += 5) {
        if (waited >= timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

volatile LONG g_ticks = 0;
int Tick(void *) {
    InterlockedIncrement(&g_ticks);
    return 1;
}
volatile LONG g_finals = 0;
void ReadDone(int status, size_t, void *) {
    if (status != QX_IO_PENDING) InterlockedIncrement(&g_finals);
}

// One cycle: load, a trace record, a timer thread waited for, an asynchronous read, unload.
bool Cycle(const std::wstring &file, int n) {
    Library library;
    if (!library.Load()) return false;
    library.trace(L"|wndid:0 load cycle %d", n);
    const uint32_t timer = library.setTimer(Tick, nullptr, 1.0, 1, QX_TIMER_THREAD_SLEEP, 0);
    const bool timed = timer != 0 && library.waitTimer(timer) == QX_OK;
    void *handle = nullptr;
    char buffer[8192];
    const LONG finals = g_finals;
    SQxAsyncIO record = {0, nullptr, ReadDone};
    const bool opened =
        library.open(file.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &handle) == QX_OK;
    bool read = opened && library.read(handle, buffer, sizeof buffer, nullptr, &record) == QX_OK;
    for (int i = 0; read && i < 2000 && g_finals == finals; ++i)
        Sleep(1);
    read = read && g_finals == finals + 1;
    if (opened) library.close(handle);
    FreeLibrary(library.module);
    return timed && read && Unloaded();
}

} // namespace

TEST_CASE("load and unload: cycles with a trace record, a timer and a read give back what they took") {
    zxtest::TempDir dir;
    zxtest::WriteFileBytes(dir / L"data", std::string(8192, 'd'));
    REQUIRE(GetModuleHandleW(L"zx_winsys.dll") == nullptr);
    for (int i = 0; i < 3; ++i) // what the process opens once (the log file's folder, the channel)
        REQUIRE(Cycle(dir / L"data", i));
    const long slots = zxtest::FreeTlsSlots(), handles = zxtest::HandleCount(),
               threads = zxtest::ThreadCount();
    const long long memory = zxtest::PrivateBytes();
    const int cycles = zxtest::LoadSize(2000, 2000);
    int good = 0;
    for (int i = 0; i < cycles; ++i)
        good += Cycle(dir / L"data", i) ? 1 : 0;
    CHECK(good == cycles);
    CHECK(zxtest::FreeTlsSlots() == slots);
#if defined(_WIN64)
    const long runtimeHandles = 0;
#else
    // The 32-bit C++ runtime's unwinder registers the library's frames under a lock that it makes
    // at every load and never closes: one handle a cycle that nothing of ours holds.
    const long runtimeHandles = cycles;
#endif
    CHECK(zxtest::SettledAt(zxtest::HandleCount, handles + runtimeHandles) <= handles + runtimeHandles);
    CHECK(zxtest::SettledAt(zxtest::ThreadCount, threads) <= threads);
    MESSAGE("private bytes " << memory / 1024 << " KiB before, " << zxtest::PrivateBytes() / 1024
                             << " KiB after " << cycles << " cycles");
    CHECK(zxtest::PrivateBytes() < memory + 4 * 1024 * 1024);
}

ZXTEST_CHILD(unload_with_live_timers) {
    Library library;
    ZXTEST_EXPECT(library.Load());
    // A timer thread and a multimedia timer of 40 calls each, still running when the program
    // lets go of the library.
    ZXTEST_EXPECT(library.setTimer(Tick, nullptr, 2.0, 40, QX_TIMER_THREAD_SLEEP, 0) != 0);
    ZXTEST_EXPECT(library.setTimer(Tick, nullptr, 2.0, 40, QX_TIMER_MM_1MS, 0) != 0);
    ZXTEST_EXPECT(FreeLibrary(library.module));
    ZXTEST_EXPECT(GetModuleHandleW(L"zx_winsys.dll") != nullptr);
    for (int i = 0; i < 1000 && g_ticks < 80; ++i)
        Sleep(5);
    ZXTEST_EXPECT(g_ticks == 80);
    ZXTEST_EXPECT(Unloaded()); // once both have ended
    return 0;
}

TEST_CASE(
    "unload: FreeLibrary while a timer thread and a multimedia timer run keeps the library until they end") {
    CHECK(zxtest::RunChild("unload_with_live_timers", 30000) == 0);
}

// DiagOutputWnd's windows and channel go with the library, and come back with its next load.
ZXTEST_CHILD(unload_after_tracing_windows) {
    for (int cycle = 0; cycle < 2; ++cycle) {
        HMODULE module = LoadLibraryW(L"zx_winsys.dll");
        ZXTEST_EXPECT(module != nullptr);
        auto open = reinterpret_cast<void (*)(HWND, int)>(
            reinterpret_cast<void *>(GetProcAddress(module, "DiagOutputWnd")));
        ZXTEST_EXPECT(open != nullptr);
        open(nullptr, 0);
        HWND window = nullptr;
        for (int i = 0; i < 500 && !window; ++i) {
            window = FindWindowW(L"ZENTRIX_DEBUG_WINDOW", L"Tracing Window ID: 0");
            if (!window) Sleep(20);
        }
        ZXTEST_EXPECT(window != nullptr);
        // Shown and idle, as a program's windows are long before it lets go of the library.
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        Sleep(300);
        ZXTEST_EXPECT(FreeLibrary(module));
        ZXTEST_EXPECT(Unloaded());
        // Hidden at once; the system destroys it with its thread a moment later.
        ZXTEST_EXPECT(!IsWindowVisible(window));
        for (int i = 0; i < 500 && IsWindow(window); ++i)
            Sleep(20);
        ZXTEST_EXPECT(!IsWindow(window));
        zxtest::DebugChannelReader channel;
        ZXTEST_EXPECT(channel.Active()); // released
    }
    return 0;
}

TEST_CASE("unload: DiagOutputWnd's windows close and its channel goes with the library; a new load opens "
          "them again") {
    CHECK(zxtest::RunChild("unload_after_tracing_windows", 60000) == 0);
}
