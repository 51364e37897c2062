// The Delete page: shows which groups the store holds and deletes the chosen ones.
#include <windows.h>

#include <io.h>

#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"

namespace sx {

namespace {

std::wstring g_backupFolder; // fetched like on the other pages; this page has no file dialog

void UpdateDeleteButton(HWND page) {
    Enable(page, IDOK, AnyBoxChecked(page));
}

bool FileExists(const CQxStringW &path) {
    return _waccess(path.GetString(), 0) == 0;
}

// Enables every box that is still disabled when one of its group's elements is in the folder.
// General Settings also counts a user's registry branch.
void ShowFolderElements(HWND page, const CQxStringW &folder, const CQxStringW &user) {
    bool general = false;
    EnableBoxesOfPresentElements(page, [&](const wchar_t *element) {
        const bool present = FileExists(ElementPath(folder, element, L".bin")) ||
                             FileExists(ElementPath(folder, element, L".xml"));
        if (present && GroupOfElement(element)->group == Group::GeneralSettings) general = true;
        return present;
    });
    const int generalBox = InfoOf(Group::GeneralSettings).boxId;
    if (!general && !user.IsEmpty() && !IsWindowEnabled(GetDlgItem(page, generalBox))) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UserRegistryKey(user).GetString(), 0, READ_CONTROL, &key) ==
            ERROR_SUCCESS) {
            Enable(page, generalBox, true);
            RegCloseKey(key);
        }
    }
}

void ShowStoreElements(HWND page) {
    const TransferOptions &options = *OptionsOf(page);
    const CQxStringW chosen = IsChecked(page, IDC_CURRENT_USER)
                                  ? CQxStringW(SelectedEntry(page, IDC_DELETE_USER_LIST).c_str())
                                  : CQxStringW();
    const CQxStringW root = SharedRoot(false);
    SetElementBoxes(page, 0, 0);
    if (!root.IsEmpty()) {
        if (IsChecked(page, IDC_SHARED)) ShowFolderElements(page, root, CQxStringW());
        if (IsChecked(page, IDC_PRIVATE)) {
            if (!chosen.IsEmpty()) {
                ShowFolderElements(page, PrivateFolder(root, chosen), chosen);
            } else {
                for (const CQxStringW &user : options.users)
                    ShowFolderElements(page, PrivateFolder(root, user), user);
            }
        }
    }
    UncheckDisabledBoxes(page);
    UpdateDeleteButton(page);
}

void FollowPrivate(HWND page) {
    const bool isPrivate = IsChecked(page, IDC_PRIVATE);
    Enable(page, IDC_CURRENT_USER, isPrivate);
    Enable(page, IDC_ALL_USERS, isPrivate);
    Enable(page, IDC_DELETE_USER_LIST, isPrivate && IsChecked(page, IDC_CURRENT_USER));
}

void FillUserList(HWND page) {
    const TransferOptions &options = *OptionsOf(page);
    for (const CQxStringW &user : options.users)
        SendDlgItemMessageW(page, IDC_DELETE_USER_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(user.GetString()));
    const std::wstring current = CurrentUserName().GetString();
    const LRESULT count = SendDlgItemMessageW(page, IDC_DELETE_USER_LIST, CB_GETCOUNT, 0, 0);
    LRESULT selected = count > 0 ? 0 : CB_ERR;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[257] = L"";
        if (SendDlgItemMessageW(page, IDC_DELETE_USER_LIST, CB_GETLBTEXTLEN, i, 0) < 257)
            SendDlgItemMessageW(page, IDC_DELETE_USER_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        if (wcsncmp(entry, current.c_str(), 256) == 0) selected = i;
    }
    if (selected != CB_ERR) SendDlgItemMessageW(page, IDC_DELETE_USER_LIST, CB_SETCURSEL, selected, 0);
}

void Delete(HWND page) {
    TransferOptions &options = *OptionsOf(page);
    BuildElementList(page, options);
    if (IsChecked(page, IDC_ALL_USERS)) {
        options.allUsers = true;
    } else {
        options.userName = ItemText(page, IDC_DELETE_USER_LIST, 256).c_str();
        options.allUsers = false;
    }
    options.deleteShared = IsChecked(page, IDC_SHARED);
    options.deletePrivate = IsChecked(page, IDC_PRIVATE);
    RunEngine(page, DeleteSettings, L"Error.", L"Settings deleted.",
              L"Settings deleted, except %d items that could not be removed (the log file names them).",
              [page](int) { ShowStoreElements(page); });
}

} // namespace

INT_PTR CALLBACK DeletePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandleJobMessage(page, message, wParam, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        InitPage(page, reinterpret_cast<TransferOptions *>(lParam), &g_backupFolder);
        SetUpBoxButtons(page, true);
        FillUserList(page);
        CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_ALL_USERS);
        CheckDlgButton(page, IDC_SHARED, BST_UNCHECKED);
        CheckDlgButton(page, IDC_PRIVATE, BST_UNCHECKED);
        Enable(page, IDC_SHARED, true);
        Enable(page, IDC_PRIVATE, true);
        for (int id : {IDC_CURRENT_USER, IDC_ALL_USERS, IDC_DELETE_USER_LIST})
            Enable(page, id, false);
        ShowStoreElements(page);
        return TRUE;
    case WM_SHOWWINDOW:
        if (wParam && !JobRunning()) ShowStoreElements(page);
        break;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        switch (id) {
        case IDC_CURRENT_USER:
            Enable(page, IDC_DELETE_USER_LIST, true);
            ShowStoreElements(page);
            return TRUE;
        case IDC_ALL_USERS:
            Enable(page, IDC_DELETE_USER_LIST, false);
            ShowStoreElements(page);
            return TRUE;
        case IDC_SHARED:
            ShowStoreElements(page);
            return TRUE;
        case IDC_PRIVATE:
            FollowPrivate(page);
            ShowStoreElements(page);
            return TRUE;
        case IDC_DELETE_USER_LIST: // shares its number with IDCANCEL: only its notifications count
            if (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_CLOSEUP) ShowStoreElements(page);
            return TRUE;
        case IDC_CHECK_ALL:
            CheckEnabledBoxes(page);
            UpdateDeleteButton(page);
            return TRUE;
        case IDC_CLEAR_ALL:
            UncheckAllBoxes(page);
            UpdateDeleteButton(page);
            return TRUE;
        case IDOK:
            Delete(page);
            return TRUE;
        default:
            if (IsElementBox(id)) {
                UpdateDeleteButton(page);
                return TRUE;
            }
            break;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

} // namespace sx
