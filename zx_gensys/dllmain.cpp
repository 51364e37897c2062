// Entry point of zx_gensys.
#include <windows.h>

#include "zx_pthreads/cxxruntime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) zx::ReleaseCxxRuntime();
    return TRUE;
}
