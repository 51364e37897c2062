// Load and unload sequence of zx_winsys.
#include <windows.h>

#include "zx_winsys/internal/clock.h"
#include "zx_winsys/internal/debugwnd.h"
#include "zx_winsys/internal/lifecycle.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_time.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        DisableThreadLibraryCalls(instance);
        // Nothing opens the log file, loads modules or runs the shell while this runs: the
        // loader lock is held.
        qx::SetLoading(true);
        if (!qx::StartAsyncEngine()) {
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
            // A tracing-window framework left by DiagOutputWnd goes with the library; at process
            // exit its threads are gone already and nothing is left to stop.
            qx::DestroyTracingFramework();
        }
        CQxLogFile::Uninitialize();
        qx::ReleaseTimeCounter();
        break;
    default:
        break;
    }
    return TRUE;
}
