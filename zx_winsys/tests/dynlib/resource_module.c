/* A module with raw-data resources and one export, for the library and resource tests. */
#include <windows.h>

__declspec(dllexport) int ProbeSymbol(void) {
    return 42;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
