// QX_RemoveDirectoryRecursively, and the folders it never removes.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "zx_winsys/internal/paths.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_directory.h"
#include "zx_winsys/qx_file.h"
#include "zx_winsys/qx_storage.h"

namespace {

// A directory link (symbolic link, junction, mount point) leads out of the tree: it is removed
// itself and never entered.
bool IsLink(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

int RemoveLink(const std::wstring &path) {
    if (RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str())) return QX_OK;
    return QX_ERR_REMOVE_DIRECTORY;
}

// An absolute path as the caller reads it: without the literal prefix and without trailing
// separators ("\\?\C:\a\" is "C:\a", "\\?\UNC\s\x" is "\\s\x").
std::wstring Plain(std::wstring path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path = L"\\\\" + path.substr(8);
    else if (path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    while (!path.empty() && qx::IsSeparator(path.back()))
        path.pop_back();
    return path;
}

// A drive ("C:"), a share ("\\server\share"), a device ("\\.\C:") or a path in a namespace other
// than drives and shares: never a tree that a caller owns.
bool IsRootOrForeign(const std::wstring &plain) {
    if (plain.size() >= 2 && plain[1] == L':') return plain.size() <= 2;
    if (plain.size() < 2 || !qx::IsSeparator(plain[0]) || !qx::IsSeparator(plain[1])) return true;
    int names = 0;
    for (size_t i = 2; i < plain.size(); ++i)
        if (!qx::IsSeparator(plain[i]) && (qx::IsSeparator(plain[i - 1]) || i == 2)) ++names;
    return names <= 2 || plain.compare(0, 4, L"\\\\.\\") == 0 || plain.compare(0, 4, L"\\\\?\\") == 0;
}

bool SameText(const std::wstring &a, const std::wstring &b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// The system's folders and the user's own, as plain absolute paths.
std::vector<std::wstring> KeptFolders() {
    static const int kFolders[] = {CSIDL_WINDOWS,
                                   CSIDL_SYSTEM,
                                   CSIDL_SYSTEMX86,
                                   CSIDL_PROGRAM_FILES,
                                   CSIDL_PROGRAM_FILESX86,
                                   CSIDL_PROGRAM_FILES_COMMON,
                                   CSIDL_PROFILE,
                                   CSIDL_APPDATA,
                                   CSIDL_LOCAL_APPDATA,
                                   CSIDL_COMMON_APPDATA,
                                   CSIDL_PERSONAL,
                                   CSIDL_DESKTOPDIRECTORY,
                                   CSIDL_COMMON_DESKTOPDIRECTORY,
                                   CSIDL_COMMON_DOCUMENTS,
                                   CSIDL_STARTMENU,
                                   CSIDL_COMMON_STARTMENU,
                                   CSIDL_MYPICTURES,
                                   CSIDL_FONTS};
    std::vector<std::wstring> folders;
    wchar_t path[MAX_PATH];
    for (int folder : kFolders)
        if (SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK)
            folders.push_back(Plain(path));
    DWORD n = GetTempPathW(MAX_PATH, path);
    if (n > 0 && n < MAX_PATH) folders.push_back(Plain(path));
    return folders;
}

// True when removing plain would remove one of the kept folders: it is one, under any spelling, or
// holds one.
bool HoldsKeptFolder(const std::wstring &plain, const std::wstring &literal) {
    qx::FileIdentity target;
    const bool known = qx::IdentityOf(literal.c_str(), &target);
    for (const std::wstring &kept : KeptFolders()) {
        if (kept.size() >= plain.size() && SameText(kept.substr(0, plain.size()), plain) &&
            (kept.size() == plain.size() || qx::IsSeparator(kept[plain.size()])))
            return true;
        qx::FileIdentity identity;
        if (known && qx::IdentityOf(kept.c_str(), &identity) && identity == target) return true;
    }
    return false;
}

// Removes the tree at folder, a path in the literal form: the names the listing gives back are
// removed as they are spelt, trailing dots and blanks included.
int RemoveTree(const std::wstring &folder) {
    if (IsLink(folder)) return RemoveLink(folder);
    if (Plain(folder).size() + 2 >= qx::kMaxPath) return QX_ERR_REMOVE_DIRECTORY;
    SQxFindData data = {};
    void *find = nullptr;
    if (QX_FindFileFirst((folder + L"\\*").c_str(), &find, &data) == QX_OK) {
        int status = QX_OK;
        do {
            // Skips "." and "..", and every other name that starts with a dot.
            if (data.name[0] == L'.') continue;
            const std::wstring entry = folder + L"\\" + data.name;
            if (Plain(entry).size() >= qx::kMaxPath)
                status = QX_ERR_REMOVE_DIRECTORY;
            else if (data.isDirectory)
                status = RemoveTree(entry);
            else
                status = QX_RemoveFile(entry.c_str(), 0);
        } while (status == QX_OK && QX_FindFileNext(find, &data) == QX_OK);
        QX_FindFileClose(find);
        if (status != QX_OK) return status;
    }
    return RemoveDirectoryW(folder.c_str()) ? QX_OK : QX_ERR_REMOVE_DIRECTORY;
}

} // namespace

extern "C" int QX_RemoveDirectoryRecursively(const wchar_t *path) {
    if (!path) return QX_ERR_INVALID_ARG;
    // "" and "T:" would list the root of a drive ("\*", "T:\*"): refused, as is every path that
    // resolves to a root or to a folder of the system or of the user, before anything is touched.
    if (!*path || (wcslen(path) == 2 && path[1] == L':')) return QX_ERR_INVALID_ARG;
    if (wcslen(path) >= qx::kMaxPath) return QX_ERR_REMOVE_DIRECTORY;
    std::wstring literal = qx::LiteralPath(path);
    while (!literal.empty() && qx::IsSeparator(literal.back()))
        literal.pop_back();
    const std::wstring plain = Plain(literal);
    if (literal.empty() || IsRootOrForeign(plain)) return QX_ERR_INVALID_ARG;
    if (HoldsKeptFolder(plain, literal)) return QX_ERR_INVALID_ARG;
    return RemoveTree(literal);
}
