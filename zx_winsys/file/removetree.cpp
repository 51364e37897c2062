// QX_RemoveDirectoryRecursively.
#include <windows.h>

#include <string>

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

} // namespace

extern "C" int QX_RemoveDirectoryRecursively(const wchar_t *path) {
    if (!path) return QX_ERR_INVALID_ARG;
    if (IsLink(path)) return RemoveLink(path);
    const std::wstring folder(path);
    const std::wstring pattern = folder + L"\\*";
    if (pattern.size() >= qx::kMaxPath) return QX_ERR_REMOVE_DIRECTORY;

    SQxFindData data = {};
    void *find = nullptr;
    if (QX_FindFileFirst(pattern.c_str(), &find, &data) == QX_OK) {
        int status = QX_OK;
        do {
            // Skips "." and "..", and every other name that starts with a dot.
            if (data.name[0] == L'.') continue;
            const std::wstring entry = folder + L"\\" + data.name;
            if (entry.size() >= qx::kMaxPath)
                status = QX_ERR_REMOVE_DIRECTORY;
            else if (data.isDirectory)
                status = QX_RemoveDirectoryRecursively(entry.c_str());
            else
                status = QX_RemoveFile(entry.c_str(), 0);
        } while (status == QX_OK && QX_FindFileNext(find, &data) == QX_OK);
        QX_FindFileClose(find);
        if (status != QX_OK) return status;
    }
    return QX_RemoveDirectory(path);
}
