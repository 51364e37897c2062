// The Import page: loads a package, shows which groups it holds, imports the chosen ones.
#include <windows.h>

#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"

namespace sx {

namespace {

std::wstring g_backupFolder; // proposed to the open dialog, for the whole process

// The page's package, made on its first message and kept for the process: it holds the last
// package loaded, or nothing after a failed load.
CQxLiteVariantR &Package() {
    static CQxLiteVariantR *package = new CQxLiteVariantR;
    return *package;
}

void ResetImportPage(HWND page) {
    SetDlgItemTextW(page, IDC_EXTRACT_TO_CURRENT, T(L"Extract to current"));
    SetElementBoxes(page, -1, -1);
    for (int id : {IDC_CURRENT_USER, IDC_ALL_USERS, IDC_USER_LIST, IDC_EXTRACT_TO_CURRENT, IDOK})
        Enable(page, id, false);
}

void MarkLevel(HWND page, const CQxLiteVariantR &level) {
    EnableBoxesOfPresentElements(page, [&](const wchar_t *element) { return level.IsValueSet(element); });
}

// Enables the boxes of the groups the package holds, for one user or (user empty) for all.
int ShowPackageElements(HWND page, const std::wstring &user, bool allUsers) {
    CQxLiteVariantR &package = Package();
    package.Reset();
    if (package.LevelBegin(L"Settings", nullptr) != 0) return kTransferFailed;
    SetElementBoxes(page, 0, 0);
    if (package.LevelBegin(L"shared", nullptr) == 0) {
        MarkLevel(page, package);
        package.LevelEnd();
    }
    if (package.LevelBegin(L"private", nullptr) == 0) {
        if (!allUsers) {
            if (package.LevelBegin(user.c_str(), nullptr) == 0) {
                MarkLevel(page, package);
                package.LevelEnd();
            }
        } else {
            for (; package.IsNextValue(); package.NextValue()) {
                if (package.CurrentLevelBegin(nullptr) != 0) continue;
                MarkLevel(page, package);
                package.LevelEnd();
            }
        }
        package.LevelEnd();
    }
    UncheckDisabledBoxes(page);
    return 0;
}

int LoadPackage(HWND page) {
    CQxLiteVariantR &package = Package();
    const std::wstring path = ItemText(page, IDC_FILE_NAME, kPathLength);
    const bool loaded = package.LoadFromFile(path.c_str(), false) == 0;
    package.Reset();
    SendDlgItemMessageW(page, IDC_USER_LIST, CB_RESETCONTENT, 0, 0);
    ResetImportPage(page);
    if (!loaded || package.LevelBegin(L"Settings", nullptr) != 0) return kTransferFailed;

    const CQxStringW current = CurrentUserName();
    if (package.LevelBegin(L"private", nullptr) == 0) {
        for (; package.IsNextValue(); package.NextValue()) {
            wchar_t name[256];
            if (package.GetCurrentName(name, 255) == 0)
                SendDlgItemMessageW(page, IDC_USER_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
        // The list sorts its entries: the current user's entry is found once all are in.
        const LRESULT count = SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t entry[256] = L"";
            if (SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETLBTEXTLEN, i, 0) < 256)
                SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            if (current == entry) SendDlgItemMessageW(page, IDC_USER_LIST, CB_SETCURSEL, i, 0);
        }
        if (SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCURSEL, 0, 0) == CB_ERR)
            SendDlgItemMessageW(page, IDC_USER_LIST, CB_SETCURSEL, 0, 0);
        package.LevelEnd();
    }
    package.LevelEnd();

    ShowPackageElements(page, L"", true);
    for (int id : {IDOK, IDC_CURRENT_USER, IDC_ALL_USERS})
        Enable(page, id, true);
    CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_ALL_USERS);
    CQxStringW extract;
    extract.Format(L"%ls (%ls)", T(L"Extract to current"), current.GetString());
    SetDlgItemTextW(page, IDC_EXTRACT_TO_CURRENT, extract.GetString());
    CheckEnabledBoxes(page);
    return 0;
}

void Browse(HWND page) {
    std::wstring path;
    if (!AskForFile(page, false, g_backupFolder, &path)) {
        ResetImportPage(page);
        return;
    }
    SetDlgItemTextW(page, IDC_FILE_NAME, path.c_str());
    if (LoadPackage(page) != 0) MessageBoxW(page, T(L"File is incompatible"), T(L"Input file error"), MB_OK);
}

void Import(HWND page) {
    TransferOptions &options = *OptionsOf(page);
    const std::wstring path = ItemText(page, IDC_FILE_NAME, kPathLength);
    options.inputFile = path.empty() ? L"settings.bin" : path.c_str();
    options.exportMode = false;
    if (IsChecked(page, IDC_CURRENT_USER)) {
        options.userName = ItemText(page, IDC_USER_LIST, 257).c_str();
        options.allUsers = false;
        options.useCurrentUserFolder = IsChecked(page, IDC_EXTRACT_TO_CURRENT);
    } else if (IsChecked(page, IDC_ALL_USERS)) {
        options.allUsers = true;
    }
    options.allElements = false;
    BuildElementList(page, options);
    options.packageReader = &Package();
    RunEngine(page, ImportSettings, L"Error.", L"Settings imported.",
              L"Settings imported, except %d elements that could not be written (the log file names them).");
}

} // namespace

INT_PTR CALLBACK ImportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    Package();
    switch (message) {
    case WM_INITDIALOG:
        InitPage(page, reinterpret_cast<TransferOptions *>(lParam), &g_backupFolder);
        CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_ALL_USERS);
        SendDlgItemMessageW(page, IDC_FILE_NAME, EM_LIMITTEXT, kPathLength - 1, 0);
        SetUpBoxButtons(page, true);
        ResetImportPage(page);
        return TRUE;
    case kReloadMessage:
        if (LoadPackage(page) != 0) SetDlgItemTextW(page, IDC_FILE_NAME, L"");
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BROWSE:
            Browse(page);
            return TRUE;
        case IDC_CURRENT_USER:
            Enable(page, IDC_USER_LIST, true);
            Enable(page, IDC_EXTRACT_TO_CURRENT, true);
            ShowPackageElements(page, ItemText(page, IDC_USER_LIST, 256), false);
            return TRUE;
        case IDC_ALL_USERS:
            Enable(page, IDC_USER_LIST, false);
            Enable(page, IDC_EXTRACT_TO_CURRENT, false);
            ShowPackageElements(page, L"", true);
            return TRUE;
        case IDC_USER_LIST:
            if (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_CLOSEUP)
                ShowPackageElements(page, SelectedEntry(page, IDC_USER_LIST), false);
            return TRUE;
        case IDC_CHECK_ALL:
            CheckEnabledBoxes(page);
            return TRUE;
        case IDC_CLEAR_ALL:
            UncheckAllBoxes(page);
            return TRUE;
        case IDOK:
            Import(page);
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace sx
