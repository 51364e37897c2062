// Literal and resolved spellings of paths, and file identities.
#include "zx_winsys/internal/paths.h"

#include <vector>

namespace qx {

namespace {

std::wstring FullPath(const wchar_t *path) {
    DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return L"";
    std::wstring full(needed, L'\0');
    DWORD n = GetFullPathNameW(path, needed, &full[0], nullptr);
    if (n == 0 || n >= needed) return L"";
    full.resize(n);
    return full;
}

// The literal form of an absolute path: "\\?\C:\..." or "\\?\UNC\server\share\...". Device paths
// ("\\.\...") are taken as they are by the system already.
std::wstring ToLiteral(const std::wstring &full) {
    if (full.empty()) return full;
    if (full.compare(0, 4, L"\\\\.\\") == 0) return full;
    if (full.size() > 2 && IsSeparator(full[0]) && IsSeparator(full[1]))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Length of the part of path that ".." cannot climb above, and whether it is a root.
size_t RootLength(const std::wstring &path, bool *rooted) {
    *rooted = false;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\server\share\": both names belong to the root.
        size_t at = 2;
        for (int names = 0; names < 2 && at < path.size(); ++names) {
            while (at < path.size() && !IsSeparator(path[at]))
                ++at;
            if (at < path.size()) ++at;
        }
        *rooted = true;
        return at;
    }
    if (path.size() >= 2 && path[1] == L':') {
        *rooted = path.size() >= 3 && IsSeparator(path[2]);
        return *rooted ? 3 : 2;
    }
    if (!path.empty() && IsSeparator(path[0])) {
        *rooted = true;
        return 1;
    }
    return 0;
}

} // namespace

bool IsLiteralPath(const wchar_t *path) {
    return path && wcsncmp(path, L"\\\\?\\", 4) == 0;
}

bool HasTrailingDotOrBlank(const wchar_t *path) {
    if (!path || !*path) return false;
    const size_t length = wcslen(path);
    const wchar_t last = path[length - 1];
    if (last != L'.' && last != L' ') return false;
    size_t start = length;
    while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != L':')
        --start;
    const std::wstring name(path + start, path + length);
    return name != L"." && name != L"..";
}

std::wstring LiteralPath(const wchar_t *path) {
    if (!path || !*path) return L"";
    if (IsLiteralPath(path)) return path;
    if (!HasTrailingDotOrBlank(path)) return ToLiteral(FullPath(path));
    // Only the folder part goes through the system's resolution, which would cut the name.
    size_t start = wcslen(path);
    while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != L':')
        --start;
    const std::wstring folderPart(path, path + start);
    std::wstring folder = FullPath(folderPart.empty() ? L"." : folderPart.c_str());
    if (folder.empty()) return L"";
    if (!IsSeparator(folder.back())) folder += L'\\';
    return ToLiteral(folder + (path + start));
}

std::wstring ResolveDots(const wchar_t *path) {
    if (!path) return L"";
    const std::wstring text(path);
    if (IsLiteralPath(path)) return text;
    bool rooted = false;
    const size_t root = RootLength(text, &rooted);

    std::vector<std::wstring> parts;
    bool changed = false;
    for (size_t at = root; at < text.size();) {
        size_t end = at;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        const std::wstring part = text.substr(at, end - at);
        if (part == L".") {
            changed = true;
        } else if (part == L"..") {
            changed = true;
            if (!parts.empty() && parts.back() != L"..")
                parts.pop_back();
            else if (!rooted)
                parts.push_back(part); // above a relative start: the system climbs from there
        } else if (!part.empty()) {
            parts.push_back(part);
        }
        at = end + 1;
    }
    if (!changed) return text;
    std::wstring out = text.substr(0, root);
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? L"\\" : L"") + parts[i];
    if (out.empty()) out = L".";
    return out;
}

bool IdentityOf(HANDLE handle, FileIdentity *identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->indexHigh = info.nFileIndexHigh;
    identity->indexLow = info.nFileIndexLow;
    return true;
}

bool IdentityOf(const wchar_t *path, FileIdentity *identity) {
    HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = IdentityOf(handle, identity);
    CloseHandle(handle);
    return ok;
}

bool SameFile(const wchar_t *a, const wchar_t *b) {
    FileIdentity first, second;
    return IdentityOf(a, &first) && IdentityOf(b, &second) && first == second;
}

} // namespace qx
