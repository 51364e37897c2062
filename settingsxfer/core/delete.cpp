// DeleteSettings: elements out of the shared root and private folders.
#include "settingsxfer/core/transfer.h"

#include <new>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/outcome.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// Removes an element file that is there; false (counted and traced) when it stays.
void RemoveElementFile(Outcome &outcome, const CQxStringW &path) {
    if (GetFileAttributesW(path.GetString()) == INVALID_FILE_ATTRIBUTES) return;
    QX_RemoveFile(path.GetString(), 1);
    const DWORD error = GetLastError();
    if (GetFileAttributesW(path.GetString()) == INVALID_FILE_ATTRIBUTES) return;
    outcome.Failed(__LINE__, L"Delete: cannot remove", path.GetString(), SystemText(error));
}

// Removes the user's "Platform.INI" branch, and nothing beside it in the user's key.
void RemoveRegistryBranch(Outcome &outcome, const CQxStringW &user) {
    const std::wstring userKey = std::wstring(kPlatformRegistryKey) + user.GetString();
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, userKey.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return;
    LONG result = opened;
    if (opened == ERROR_SUCCESS) {
        result = RegDeleteTreeW(key, L"Platform.INI");
        if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
            result = RegDeleteKeyW(key, L"Platform.INI");
        if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS)
        outcome.Failed(__LINE__, L"Delete: cannot remove the registry branch",
                       L"HKEY_LOCAL_MACHINE\\" + userKey + L"\\Platform.INI",
                       SystemText(static_cast<DWORD>(result)));
}

// false when the folder's deletion is refused (no plain user name: an empty one would name the
// shared root).
bool DeleteElements(Outcome &outcome, const std::vector<CQxStringW> &elements, const CQxStringW &folder,
                    const CQxStringW *user) {
    if (folder.IsEmpty() || (user && !IsPlainName(user->GetString()))) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    QX_RemoveStaleTemporaries(folder.GetString(), nullptr, &now);
    for (const CQxStringW &element : elements) {
        if (!IsPlainName(element.GetString())) continue;
        if (element != L"Registry") {
            RemoveElementFile(outcome, ElementPath(folder, element, L".xml"));
            RemoveElementFile(outcome, ElementPath(folder, element, L".bin"));
        } else if (user) {
            RemoveRegistryBranch(outcome, *user);
        }
        // The shared "Registry" file stays: deleting settings never removes it.
    }
    return true;
}

} // namespace

namespace {

int RunDeleteSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    Outcome outcome("settingsxfer/delete", report, control);
    const CQxStringW root = SharedRoot(false);
    if (root.IsEmpty())
        return outcome.Refuse(__LINE__, L"Delete refused", L"there is no settings store folder");
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    for (const CQxStringW &element : options.elements)
        if (!IsPlainName(element.GetString()))
            outcome.Failed(__LINE__, L"Delete: element", element.GetString(),
                           L"the name is no plain file name");
    bool refused = false;
    if (options.deleteShared) refused = !DeleteElements(outcome, options.elements, root, nullptr);
    if (options.deletePrivate) {
        const std::vector<CQxStringW> users =
            options.allUsers ? options.users : std::vector<CQxStringW>{options.userName};
        for (const CQxStringW &user : users)
            if (!DeleteElements(outcome, options.elements, PrivateFolder(root, user), &user)) {
                refused = true;
                outcome.Refuse(__LINE__, L"Delete refused",
                               L"\"" + std::wstring(user.GetString()) + L"\" is no plain folder name");
            }
    }
    return refused ? kTransferFailed : outcome.Result();
}

} // namespace

int DeleteSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    // Memory is bounded by the work, never by what a package claims; should it still run out, the
    // transfer is refused with that reason (what it prepared goes with the objects that held it).
    try {
        return RunDeleteSettings(options, report, control);
    } catch (const std::bad_alloc &) {
        return Outcome("settingsxfer/delete", report, nullptr)
            .Refuse(__LINE__, L"Transfer stopped", L"not enough memory");
    }
}

} // namespace sx
