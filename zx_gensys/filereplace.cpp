// Writes that replace a file in one step, and the removal of what killed writers left.
#include "zx_gensys/qx_filereplace.h"

#include <cwchar>
#include <string>

#include "zx_gensys/internal/sharing.h"

namespace {

// A suffix no earlier attempt used: the process, a count and the high-resolution clock.
std::wstring TemporarySuffix() {
    static volatile LONG counter = 0;
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    wchar_t suffix[64];
    swprintf(suffix, 64, L".%lx-%lx-%lx.tmp", GetCurrentProcessId(),
             static_cast<unsigned long>(InterlockedIncrement(&counter)),
             static_cast<unsigned long>(now.LowPart ^ GetTickCount()));
    return suffix;
}

bool IsHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The length of name's base when name is "<base>.<hex>[-<hex>...].tmp", else 0.
size_t TemporaryBase(const std::wstring &name) {
    if (name.size() < 7 || _wcsicmp(name.c_str() + name.size() - 4, L".tmp") != 0) return 0;
    size_t at = name.size() - 4;
    bool digit = false;
    while (at > 0 && (IsHex(name[at - 1]) || name[at - 1] == L'-')) {
        digit = digit || name[at - 1] != L'-';
        --at;
    }
    if (!digit || at < 2 || name[at - 1] != L'.') return 0;
    return at - 1;
}

bool EndsWithNoCase(const std::wstring &text, const wchar_t *end) {
    const size_t n = wcslen(end);
    return text.size() > n && _wcsicmp(text.c_str() + text.size() - n, end) == 0;
}

} // namespace

int QX_WriteFileReplacing(const wchar_t *path, const void *bytes, size_t size) {
    if (!path || !*path || (!bytes && size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError((attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ACCESS_DENIED : ERROR_FILE_READ_ONLY);
        return -1;
    }
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = std::wstring(path) + TemporarySuffix();
        file =
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return -1;
    }
    if (file == INVALID_HANDLE_VALUE) return -1;
    const char *data = static_cast<const char *>(bytes);
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < (1u << 30) ? size - done : (1u << 30));
        DWORD put = 0;
        ok = WriteFile(file, data + done, chunk, &put, nullptr) && put == chunk;
        done += put;
    }
    ok = ok && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    // A reader of the old file may keep it from being replaced for a moment.
    if (ok && !gensys::RetryWhileShared(
                  [&] {
                      return MoveFileExW(temp.c_str(), path,
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
                  },
                  true)) {
        ok = false;
        error = GetLastError();
    }
    if (ok) return 0;
    DeleteFileW(temp.c_str());
    SetLastError(error ? error : ERROR_WRITE_FAULT);
    return -1;
}

int QX_RemoveStaleTemporaries(const wchar_t *folder, const wchar_t *name, const FILETIME *before) {
    if (!folder || !before) return 0;
    std::wstring prefix(folder);
    if (!prefix.empty() && prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((prefix + L"*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring file = data.cFileName;
        const size_t base = TemporaryBase(file);
        if (base == 0) continue;
        const std::wstring of = file.substr(0, base);
        const bool ours = name ? _wcsicmp(of.c_str(), name) == 0
                               : EndsWithNoCase(of, L".bin") || EndsWithNoCase(of, L".xml");
        if (!ours || CompareFileTime(&data.ftLastWriteTime, before) >= 0) continue;
        removed += DeleteFileW((prefix + file).c_str()) ? 1 : 0;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return removed;
}
