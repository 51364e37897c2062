// Registry helpers for tests.
#include "testsupport/registry.h"

namespace zxtest {

HKEY CreateKey(const std::wstring &path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool SetValue(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size) {
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size) == ERROR_SUCCESS;
}

bool KeyExists(const std::wstring &path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

} // namespace zxtest
