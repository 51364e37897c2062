// The Export page.
#include <windows.h>

#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"
#include "zx_gensys/qx_treefile.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

std::wstring g_backupFolder; // proposed to the save dialog, for the whole process

void Export(HWND page) {
    TransferOptions &options = *OptionsOf(page);
    // The whole box: it takes kPathLength - 1 characters.
    const std::wstring path = ItemText(page, IDC_FILE_NAME, kPathLength);
    const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (existed && MessageBoxW(page, L"Specified file already exists. Do you want to replace it?",
                               L"Confirm save as", MB_YESNO | MB_ICONWARNING) != IDYES)
        return;
    // The path is tried for writing before the engine runs, and nothing is left there: the package
    // takes its place only once it is complete, and a window killed meanwhile leaves no empty file.
    gensysw::ReplacingFile probe;
    if (!probe.Create(path.c_str())) {
        MessageBoxW(page, T(L"Not valid path."), T(L"Error"), MB_ICONWARNING);
        SetFocus(GetDlgItem(page, IDC_FILE_NAME));
        return;
    }
    probe.Abandon();

    options.outputFile = path.empty() ? L"settings.bin" : path.c_str();
    if (IsChecked(page, IDC_CURRENT_USER)) {
        options.userName = CurrentUserName();
        options.allUsers = false;
    } else if (IsChecked(page, IDC_ALL_USERS)) {
        options.allUsers = true;
    }
    BuildElementList(page, options);
    RunEngine(page, ExportSettings, L"Export error.", L"Settings exported.",
              L"Settings exported, except %d items that could not be added (the log file names them).");
}

} // namespace

INT_PTR CALLBACK ExportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandleJobMessage(page, message, wParam, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG: {
        InitPage(page, reinterpret_cast<TransferOptions *>(lParam), &g_backupFolder);
        CheckRadioButton(page, IDC_CURRENT_USER, IDC_ALL_USERS, IDC_CURRENT_USER);
        SendDlgItemMessageW(page, IDC_FILE_NAME, EM_LIMITTEXT, kPathLength - 1, 0);
        QX_CreateDirectory(g_backupFolder.c_str(), 1, 0);
        CQxStringW proposal;
        proposal.Format(L"%ls\\%ls", g_backupFolder.c_str(), L"settings.bin");
        SetDlgItemTextW(page, IDC_FILE_NAME, proposal.GetString());
        SetUpBoxButtons(page, false);
        SetElementBoxes(page, 1, 1);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BROWSE: {
            std::wstring path;
            if (AskForFile(page, true, g_backupFolder, &path))
                SetDlgItemTextW(page, IDC_FILE_NAME, path.c_str());
            return TRUE;
        }
        case IDC_CHECK_ALL:
            SetElementBoxes(page, 1, 1);
            return TRUE;
        case IDC_CLEAR_ALL:
            SetElementBoxes(page, -1, 1);
            return TRUE;
        case IDOK:
            Export(page);
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
