// Places of the settings store.
#include "settingsxfer/core/store.h"

#include <windows.h>

#include <string>

#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {
const wchar_t kPlatformFolder[] = L"Varnholt\\Platform";
const wchar_t kBackupFolder[] = L"Varnholt\\ConfigurationBackup";
const int kCommonAppData = 35;

// Empty when the path cannot be composed or does not fit the 260-character limit (it would come
// back cut and unterminated): callers then touch no folder at all.
CQxStringW StoragePath(bool shared) {
    wchar_t buffer[260];
    wmemset(buffer, L'\0', 260);
    if (QX_GetStoragePath(buffer, 260, shared) != QX_OK || buffer[259] != L'\0') return CQxStringW();
    return CQxStringW(buffer);
}
} // namespace

const wchar_t kPlatformRegistryKey[] = L"SOFTWARE\\Varnholt\\Platform\\";

void UsePlatformStorage() {
    QX_SetStorageFolder(kPlatformFolder, kCommonAppData);
}

CQxStringW SharedRoot(bool shared) {
    return StoragePath(shared);
}

CQxStringW PrivateFolder(const CQxStringW &root, const CQxStringW &user) {
    CQxStringW folder;
    folder.Format(L"%ls\\%ls", root.GetString(), user.GetString());
    return folder;
}

CQxStringW ElementPath(const CQxStringW &folder, const CQxStringW &element, const wchar_t *extension) {
    CQxStringW path;
    path.Format(L"%ls\\%ls%ls", folder.GetString(), element.GetString(), extension);
    return path;
}

ElementForm FindElement(const CQxStringW &folder, const CQxStringW &element) {
    if (QX_AccessFile(ElementPath(folder, element, L".bin").GetString(), 0) == QX_OK)
        return ElementForm::Tree;
    if (QX_AccessFile(ElementPath(folder, element, L".xml").GetString(), 0) == QX_OK)
        return ElementForm::Text;
    return ElementForm::None;
}

CQxStringW UserRegistryKey(const CQxStringW &user) {
    return kPlatformRegistryKey + user + L"\\Platform.INI\\";
}

CQxStringW BackupFolder() {
    QX_SetStorageFolder(kBackupFolder, kCommonAppData);
    CQxStringW folder = StoragePath(true);
    UsePlatformStorage();
    return folder;
}

CQxStringW CurrentUserName() {
    wchar_t name[257] = L"";
    DWORD length = 257;
    if (!GetUserNameW(name, &length)) name[0] = L'\0';
    return CQxStringW(name);
}

bool SameName(const wchar_t *a, const wchar_t *b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsPlainName(const wchar_t *name) {
    if (!name || !*name) return false;
    const size_t length = wcslen(name);
    if (length > 255 || name[length - 1] == L'.' || name[length - 1] == L' ')
        return false; // also "." and ".."
    for (const wchar_t *p = name; *p; ++p)
        if (*p < 0x20 || wcschr(L"\\/:*?\"<>|", *p)) return false;
    // Device names stay devices whatever extension follows them.
    const std::wstring base = std::wstring(name).substr(0, std::wstring(name).find(L'.'));
    static const wchar_t *const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t *device : kDevices)
        if (SameName(base.c_str(), device)) return false;
    if (base.size() == 4 && base[3] >= L'0' && base[3] <= L'9' &&
        (SameName(base.substr(0, 3).c_str(), L"COM") || SameName(base.substr(0, 3).c_str(), L"LPT")))
        return false;
    return true;
}

} // namespace sx
