// The machine-wide local-options switch, read from the registry once per process.
#include <windows.h>

#include "zx_winsys/qx_storage.h"

namespace {

// Unguarded by design, like the storage settings.
bool g_value = false;
bool g_loaded = false;

} // namespace

extern "C" {

bool QX_IsLocalOption(const wchar_t *) {
    if (g_loaded) return g_value;
    bool value = false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnholt\\Misc", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD number = 0, size = sizeof number;
        // A value longer than 4 bytes does not fit and reads as "not set".
        if (RegQueryValueExW(key, L"LocalOptions", nullptr, nullptr, reinterpret_cast<BYTE *>(&number),
                             &size) == ERROR_SUCCESS)
            value = number == 1;
        RegCloseKey(key);
    }
    g_value = value;
    g_loaded = true;
    return g_value;
}

void QX_SetLocalOption(bool value) {
    g_value = value;
}

} // extern "C"
