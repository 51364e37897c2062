/* An empty module under the name that the event-log path of assertion reports requires to be
 * loaded ("BUGSLAYERUTIL.DLL"), for the tests. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
