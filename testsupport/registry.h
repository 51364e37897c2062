// Registry helpers for tests (HKEY_LOCAL_MACHINE). They report by their result, so that child
// scenarios can use them too.
#pragma once

#include <windows.h>

#include <string>

namespace zxtest {

// Creates (or opens) the key; null when that fails. The caller closes it.
HKEY CreateKey(const std::wstring &path);
bool SetValue(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size);
bool KeyExists(const std::wstring &path);

} // namespace zxtest
