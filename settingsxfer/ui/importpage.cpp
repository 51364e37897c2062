// The Import page: checks a package, shows which groups it holds, imports the chosen ones. The
// package is read on the job's thread, once per chosen file (again only when the file changed).
#include <windows.h>

#include <memory>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/package.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"

namespace sx {

namespace {

std::wstring g_backupFolder; // proposed to the open dialog, for the whole process

// What the page knows of the package in its file box: its summary, and the file it was read from.
struct Loaded {
    bool valid = false;
    std::wstring path;
    FILETIME written = {};
    unsigned long long size = 0;
    PackageSummary summary;
};
Loaded g_loaded;

bool Describe(const std::wstring &path, FILETIME *written, unsigned long long *size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *written = data.ftLastWriteTime;
    *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// True when the file box names the package the page holds, unchanged since it was read.
bool IsLoaded(const std::wstring &path) {
    FILETIME written;
    unsigned long long size = 0;
    return g_loaded.valid && path == g_loaded.path && Describe(path, &written, &size) &&
           size == g_loaded.size && CompareFileTime(&written, &g_loaded.written) == 0;
}

void ResetImportPage(HWND page) {
    SetDlgItemTextW(page, IDC_EXTRACT_TO_CURRENT, T(L"Extract to current"));
    SetElementBoxes(page, -1, -1);
    for (int id : {IDC_CURRENT_USER, IDC_ALL_USERS, IDC_USER_LIST, IDC_EXTRACT_TO_CURRENT, IDOK})
        Enable(page, id, false);
}

void MarkLevel(HWND page, unsigned elements) {
    EnableBoxesOfPresentElements(page, [&](const wchar_t *element) {
        for (int i = 0; i < kElementCount; ++i)
            if (wcscmp(kElements[i].name, element) == 0) return (elements >> i & 1) != 0;
        return false;
    });
}

// Enables the boxes of the groups the package holds, for one user or (allUsers) for all.
void ShowPackageElements(HWND page, const std::wstring &user, bool allUsers) {
    if (!g_loaded.valid) return;
    SetElementBoxes(page, 0, 0);
    MarkLevel(page, g_loaded.summary.sharedElements);
    for (const PackageSummary::User &u : g_loaded.summary.users)
        if (allUsers || u.name == user) {
            MarkLevel(page, u.elements);
            if (!allUsers) break;
        }
    UncheckDisabledBoxes(page);
}

// Fills the page from the summary read.
void ShowPackage(HWND page) {
    SendDlgItemMessageW(page, IDC_USER_LIST, CB_RESETCONTENT, 0, 0);
    ResetImportPage(page);
    const CQxStringW current = CurrentUserName();
    for (const PackageSummary::User &user : g_loaded.summary.users)
        SendDlgItemMessageW(page, IDC_USER_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(user.name.c_str()));
    // The list sorts its entries: the current user's entry is found once all are in.
    const LRESULT count = SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[257] = L"";
        if (SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETLBTEXTLEN, i, 0) < 257)
            SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        if (current == entry) SendDlgItemMessageW(page, IDC_USER_LIST, CB_SETCURSEL, i, 0);
    }
    if (count > 0 && SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCURSEL, 0, 0) == CB_ERR)
        SendDlgItemMessageW(page, IDC_USER_LIST, CB_SETCURSEL, 0, 0);
    ShowPackageElements(page, L"", true);
    for (int id : {IDOK, IDC_CURRENT_USER, IDC_ALL_USERS})
        Enable(page, id, true);
    CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_ALL_USERS);
    CQxStringW extract;
    extract.Format(L"%ls (%ls)", T(L"Extract to current"), current.GetString());
    SetDlgItemTextW(page, IDC_EXTRACT_TO_CURRENT, extract.GetString());
    CheckEnabledBoxes(page);
    if (g_loaded.summary.usersNotListed) {
        wchar_t text[160];
        swprintf(text, 160, T(L"%zu more users of the package are not listed."),
                 g_loaded.summary.usersNotListed);
        SetStatus(page, text);
    } else {
        SetStatus(page, L"");
    }
}

// Reads the package in the file box on the job's thread; afterwards (on the page's thread) failed
// gets the reason when it is refused.
void LoadPackage(HWND page, std::function<void(const std::wstring &reason)> failed) {
    const std::wstring path = ItemText(page, IDC_FILE_NAME, kPathLength);
    if (IsLoaded(path)) return;
    g_loaded.valid = false;
    if (path.empty()) {
        ResetImportPage(page);
        return;
    }
    SendDlgItemMessageW(page, IDC_USER_LIST, CB_RESETCONTENT, 0, 0);
    ResetImportPage(page);
    auto loaded = std::make_shared<Loaded>();
    auto why = std::make_shared<std::wstring>();
    StartJob(
        page, T(L"Reading the package"),
        [path, loaded, why](TransferControl *control, TransferReport *) {
            loaded->path = path;
            Describe(path, &loaded->written, &loaded->size);
            TransferProgress progress;
            progress.bytesTotal = loaded->size;
            const bool ok = SummarizePackage(path, &loaded->summary, why.get(), [&](uint64_t done) {
                progress.bytes = done;
                control->Progress(progress);
                return !control->Cancelled();
            });
            return ok ? 0 : control->Cancelled() ? kTransferCancelled : kTransferFailed;
        },
        [page, loaded, why, failed](int result, const TransferReport &) {
            if (result == 0) {
                g_loaded = std::move(*loaded);
                g_loaded.valid = true;
                ShowPackage(page);
                return;
            }
            ResetImportPage(page);
            SetStatus(page, result == kTransferCancelled ? T(L"Stopped.") : *why);
            if (result != kTransferCancelled && failed) failed(*why);
        });
}

void Browse(HWND page) {
    std::wstring path;
    if (!AskForFile(page, false, g_backupFolder, &path)) {
        ResetImportPage(page);
        return;
    }
    SetDlgItemTextW(page, IDC_FILE_NAME, path.c_str());
    g_loaded.valid = false;
    LoadPackage(page, [page](const std::wstring &) {
        MessageBoxW(page, T(L"File is incompatible"), T(L"Input file error"), MB_OK);
    });
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
    RunEngine(page, ImportSettings, L"Error.", L"Settings imported.",
              L"Settings imported, except %d items that could not be written (the log file names them).");
}

} // namespace

INT_PTR CALLBACK ImportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandleJobMessage(page, message, wParam, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        InitPage(page, reinterpret_cast<TransferOptions *>(lParam), &g_backupFolder);
        CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_ALL_USERS);
        SendDlgItemMessageW(page, IDC_FILE_NAME, EM_LIMITTEXT, kPathLength - 1, 0);
        SetUpBoxButtons(page, true);
        ResetImportPage(page);
        return TRUE;
    case kReloadMessage:
        // The package is read again only when the file changed since.
        if (!JobRunning())
            LoadPackage(page, [page](const std::wstring &) { SetDlgItemTextW(page, IDC_FILE_NAME, L""); });
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
