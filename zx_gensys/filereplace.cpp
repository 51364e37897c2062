// Writes that replace a file in one step, and the removal of what killed writers left.
#include "zx_gensys/qx_filereplace.h"

#include <cwchar>
#include <string>

#include "zx_gensys/qx_treefile.h"

namespace {

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
    gensysw::ReplacingFile file;
    if (!file.Create(path)) return -1;
    if (size && !file.WriteAt(0, bytes, size)) {
        const DWORD error = GetLastError();
        file.Abandon();
        SetLastError(error ? error : ERROR_WRITE_FAULT);
        return -1;
    }
    return file.Commit() ? 0 : -1;
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
        // A leftover marked read-only (by whoever copied the folder) goes all the same.
        const std::wstring path = prefix + file;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        removed += DeleteFileW(path.c_str()) ? 1 : 0;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return removed;
}
