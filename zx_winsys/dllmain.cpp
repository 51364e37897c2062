// Load and unload sequence of zx_winsys.
#include <windows.h>

#include "zx_winsys/internal/capture.h"
#include "zx_winsys/internal/clock.h"
#include "zx_winsys/internal/debugwnd.h"
#include "zx_winsys/internal/lifecycle.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/internal/timers.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_time.h"

#include "zx_pthreads/cxxruntime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        // Thread notifications stay on: a thread's record and its posted timers go when it ends.
        // Nothing opens the log file, loads modules or runs the shell while this runs: the
        // loader lock is held.
        qx::SetLoading(true);
        // Wine's multimedia library leaves registry keys of its drivers open each time it is
        // unloaded; kept loaded, a program that loads and frees this library for days loses
        // nothing.
        HMODULE multimedia = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winmm.dll", &multimedia);
        if (!qx::StartThreadStates() || !qx::StartAsyncEngine()) {
            qx::SetLoading(false);
            return FALSE;
        }
        CQxLogFile::Initialize();
        rdtsc_initialize();
        qx::SetUpTimeCounter();
        qx::ReadWindowsVersion();
        qx::SetLoading(false);
        return TRUE;
    }
    case DLL_PROCESS_DETACH:
        // At process exit (reserved != NULL) the other threads are gone already; a worker
        // still holding the engine lock would have been stopped mid-chunk, so leave it alone.
        if (reserved == nullptr) {
            qx::StopAsyncEngine();
            // A tracing-window framework left by DiagOutputWnd goes with the library: its windows
            // close and the channel is released. At process exit its threads are gone already.
            qx::SetUnloading();
            qx::DestroyTracingFramework();
            CQxLogFile::CloseLog(); // its file handle and buffers go with the library
        }
        CQxLogFile::Uninitialize();
        qx::ReleaseTimeCounter();
        qx::StopThreadStates();
        if (reserved == nullptr) zx::ReleaseCxxRuntime();
        break;
    case DLL_THREAD_DETACH:
        qx::EndPostedTimersOfThread();
        qx::EndThreadState();
        break;
    default:
        break;
    }
    return TRUE;
}
