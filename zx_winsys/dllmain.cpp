// Load and unload sequence of zx_winsys.
#include <windows.h>

#include "zx_winsys/internal/lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        // Later steps join here, in this order: log file, cycle and time counters, version record.
        return qx::StartAsyncEngine() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        // At process exit (reserved != NULL) the other threads are gone already; a worker
        // still holding the engine lock would have been stopped mid-chunk, so leave it alone.
        if (reserved == nullptr) qx::StopAsyncEngine();
        // Later steps join here, in this order: log file shutdown, timer resolution.
        break;
    default:
        break;
    }
    return TRUE;
}
