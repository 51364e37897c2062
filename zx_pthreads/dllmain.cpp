// Entry point of zx_pthreads: the thread-record slot, and the release of a thread's record at its end.
#include "zx_pthreads/internal.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return zxp::InitThreadSlot() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        // Runs however the thread ends (return, ExitThread, FreeLibraryAndExitThread).
        zxp::OnThreadEnd();
        break;
    case DLL_PROCESS_DETACH:
        if (reserved == nullptr) zxp::FreeThreadSlot();
        break;
    default:
        break;
    }
    return TRUE;
}
