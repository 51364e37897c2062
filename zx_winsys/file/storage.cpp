// The process-wide storage folder and user, and storage paths composed from them.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_storage.h"

namespace {

// Unguarded by design: programs set these once before composing paths.
wchar_t g_folder[qx::kMaxPath] = L"";
int g_shellFolder = QX_STORAGE_SHELL_FOLDER_DEFAULT;
wchar_t g_user[qx::kMaxPath] = L"";

} // namespace

extern "C" {

int QX_SetStorageFolder(const wchar_t *folder, int shellFolderId) {
    if (!folder) return QX_ERR_INVALID_ARG;
    // A cut value could name a parent folder or split a character: refused, the old one kept.
    if (wcslen(folder) >= qx::kMaxPath) return QX_ERR_BUFFER_TOO_SMALL;
    qx::CopyBounded(g_folder, static_cast<int>(qx::kMaxPath), folder, qx::Termination::Always);
    g_shellFolder = shellFolderId;
    return QX_OK;
}

int QX_SetStorageUser(const wchar_t *user) {
    if (!user) return QX_ERR_INVALID_ARG;
    if (wcslen(user) >= qx::kMaxPath) return QX_ERR_BUFFER_TOO_SMALL;
    qx::CopyBounded(g_user, static_cast<int>(qx::kMaxPath), user, qx::Termination::Always);
    return QX_OK;
}

int QX_GetStoragePath(wchar_t *buffer, int length, bool shared) {
    if (!buffer) return QX_ERR_INVALID_ARG;
    wchar_t shell[MAX_PATH] = L"";
    HRESULT result = SHGetFolderPathW(nullptr, g_shellFolder, nullptr, SHGFP_TYPE_CURRENT, shell);
    if (result == E_INVALIDARG) return QX_ERR_INVALID_ARG;
    if (result != S_OK) {
        if (length > 0) buffer[0] = L'\0';
        return QX_ERR_SYSTEM;
    }
    std::wstring path = std::wstring(shell) + L"\\" + g_folder;
    if (!shared && g_user[0] != L'\0') path += std::wstring(L"\\") + g_user;
    qx::CopyBounded(buffer, length, path.c_str(), qx::Termination::IfRoom);
    return QX_OK;
}

} // extern "C"
