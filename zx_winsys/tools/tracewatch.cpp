// zx_tracewatch: shows the trace records of every program of the machine live, one tracing window
// per window id, until its last window is closed.
//   zx_tracewatch           watch
//   zx_tracewatch --demo    watch, and write a few sample records (for pictures of the windows)
#include <windows.h>

#include <cwchar>

#include "zx_winsys/zx_winsys.h"

namespace {

BOOL CALLBACK FindTracingWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32];
    if (process == GetCurrentProcessId() && GetClassNameW(window, name, 32) && wcscmp(name, L"ZENTRIX_DEBUG_WINDOW") == 0)
        *reinterpret_cast<BOOL *>(param) = TRUE;
    return !*reinterpret_cast<BOOL *>(param);
}

bool AnyTracingWindow() {
    BOOL found = FALSE;
    EnumWindows(FindTracingWindow, reinterpret_cast<LPARAM>(&found));
    return found != FALSE;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    DiagOutputWnd(nullptr, 0);
    if (argc > 1 && wcscmp(argv[1], L"--demo") == 0) {
        const wchar_t *steps[] = {L"Opening camera", L"Exposure 12.5 ms", L"Frame 1 acquired", L"Frame 2 acquired",
                                  L"Stage moved to 1200, 340"};
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
    // Until the last window has been closed.
    do {
        Sleep(500);
    } while (AnyTracingWindow());
    return 0;
}
