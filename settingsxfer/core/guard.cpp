// The store lock and the traces of elements that could not be written or deleted.
#include "settingsxfer/core/guard.h"

#include <cwchar>

#include "zx_winsys/zx_winsys.h"

namespace sx {

StoreLock::StoreLock(const CQxStringW &root) {
    // The lock's name comes from the store's folder, without regard to case.
    unsigned long long hash = 14695981039346656037ull;
    for (const wchar_t *c = root.GetString(); *c; ++c) {
        hash ^= static_cast<unsigned long long>(towlower(*c));
        hash *= 1099511628211ull;
    }
    wchar_t name[96];
    swprintf(name, 96, L"Global\\Varnholt.SettingsTransfer.%016llx", hash);
    m_mutex = CreateMutexW(nullptr, FALSE, name);
    if (m_mutex) {
        const DWORD waited = WaitForSingleObject(m_mutex, kStoreWaitMs);
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    GetSystemTimeAsFileTime(&m_start);
}

StoreLock::~StoreLock() {
    if (m_held) ReleaseMutex(m_mutex);
    if (m_mutex) CloseHandle(m_mutex);
}

void TraceFailure(const char *source, int line, const wchar_t *what, const CQxStringW &path, DWORD error) {
    wchar_t reason[512] = L"";
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                        511, nullptr))
        swprintf(reason, 512, L"error %lu", error);
    for (size_t n = wcslen(reason); n > 0 && (reason[n - 1] == L'\r' || reason[n - 1] == L'\n'); --n)
        reason[n - 1] = L'\0';
    DiagOutputExW_hlp(source, line);
    DiagOutputExW(L"%s %s: %s (%lu)\n", what, path.GetString(), reason, error);
}

} // namespace sx
