// The event-log sink of assertion reports: the event source "BugslayerUtil".
#include <windows.h>

#include <string>

#include "zx_winsys/internal/diag.h"

namespace {

using RegisterFn = HANDLE(WINAPI *)(LPCWSTR, LPCWSTR);
using ReportFn = BOOL(WINAPI *)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR *, LPVOID);
using DeregisterFn = BOOL(WINAPI *)(HANDLE);

const wchar_t kEventSource[] = L"BugslayerUtil";
const DWORD kEventId = 0xE0020040;

bool g_setUp = false;
bool g_nothingToDo = false; // the system has no event log to write to
bool g_convertLineEnds = false;
RegisterFn g_register = nullptr;
ReportFn g_report = nullptr;
DeregisterFn g_deregister = nullptr;

template <typename Fn> Fn Lookup(HMODULE module, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// First use: the entry points, the message module (which must be loaded already) and the
// registration of the source.
bool SetUp() {
    HMODULE security = LoadLibraryW(L"advapi32.dll");
    if (security) {
        g_register = Lookup<RegisterFn>(security, "RegisterEventSourceW");
        g_report = Lookup<ReportFn>(security, "ReportEventW");
        g_deregister = Lookup<DeregisterFn>(security, "DeregisterEventSource");
    }
    if (!g_report) {
        g_nothingToDo = true;
        return true;
    }
    if (!g_register || !g_deregister) return false;
    HMODULE messages = GetModuleHandleW(L"BUGSLAYERUTIL.DLL");
    wchar_t path[MAX_PATH];
    const DWORD length = messages ? GetModuleFileNameW(messages, path, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) return false;

    const std::wstring keyPath =
        std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + kEventSource;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD types = 7;
    const bool ok =
        RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(path),
                       (length + 1) * sizeof(wchar_t)) == ERROR_SUCCESS &&
        RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&types),
                       sizeof types) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) return false;

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (GetVersionExW(&version))
        g_convertLineEnds = version.dwMajorVersion == 4 && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return true;
}

} // namespace

namespace qx {

bool ReportToEventLog(const wchar_t *report) {
    if (!g_setUp) {
        if (!SetUp()) return false;
        g_setUp = true;
    }
    if (g_nothingToDo) return true;
    HANDLE source = g_register(nullptr, kEventSource);
    if (!source) return false;
    std::wstring text = report;
    if (g_convertLineEnds) {
        std::wstring converted;
        for (wchar_t c : text) {
            if (c == L'\n') converted += L'\r';
            converted += c;
        }
        text.swap(converted);
    }
    const wchar_t *strings[1] = {text.c_str()};
    const bool written =
        g_report(source, EVENTLOG_ERROR_TYPE, 0, kEventId, nullptr, 1, 0, strings, nullptr) != FALSE;
    g_deregister(source);
    return written;
}

} // namespace qx
