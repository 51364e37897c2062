// Helpers shared by the pages of the tab dialog.
#include "settingsxfer/ui/page.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/res/resource.h"
#include "zx_gensys/qx_translation.h"

namespace sx {

const wchar_t *T(const wchar_t *text) {
    return QX_GetTranslation(text, __FILE__);
}

void InitPage(HWND page, TransferOptions *options, std::wstring *backupFolder) {
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(options));
    SetWindowPos(page, nullptr, 2, 22, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    *backupFolder = BackupFolder().GetString();
}

TransferOptions *OptionsOf(HWND page) {
    return reinterpret_cast<TransferOptions *>(GetWindowLongPtrW(page, GWLP_USERDATA));
}

bool IsElementBox(int id) {
    for (const GroupInfo &g : kGroups)
        if (g.boxId == id) return true;
    return false;
}

bool IsChecked(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void Enable(HWND page, int id, bool enable) {
    EnableWindow(GetDlgItem(page, id), enable ? TRUE : FALSE);
}

void SetElementBoxes(HWND page, int check, int enable) {
    for (const GroupInfo &g : kGroups) {
        if (check == 1)
            CheckDlgButton(page, g.boxId, BST_CHECKED);
        else if (check != 0)
            CheckDlgButton(page, g.boxId, BST_UNCHECKED);
        Enable(page, g.boxId, enable == 1);
    }
}

void CheckEnabledBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (IsWindowEnabled(GetDlgItem(page, g.boxId))) CheckDlgButton(page, g.boxId, BST_CHECKED);
}

void UncheckAllBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        CheckDlgButton(page, g.boxId, BST_UNCHECKED);
}

void UncheckDisabledBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (!IsWindowEnabled(GetDlgItem(page, g.boxId))) CheckDlgButton(page, g.boxId, BST_UNCHECKED);
}

bool AnyBoxChecked(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (IsChecked(page, g.boxId)) return true;
    return false;
}

void BuildElementList(HWND page, TransferOptions &options) {
    options.elements.clear();
    for (const GroupInfo &g : kGroups) {
        if (!IsChecked(page, g.boxId)) continue;
        for (const CQxStringW &member : GroupMembers(g.group))
            options.elements.push_back(member);
    }
}

void SetUpBoxButtons(HWND page, bool translateTips) {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(page, GWLP_HINSTANCE));
    const struct {
        int button;
        int bitmap;
        const wchar_t *tip;
    } buttons[] = {{IDC_CHECK_ALL, IDB_CHECK_ALL, L"Select All"},
                   {IDC_CLEAR_ALL, IDB_CLEAR_ALL, L"Uncheck All"}};
    for (const auto &b : buttons) {
        HANDLE picture =
            LoadImageW(instance, MAKEINTRESOURCEW(b.bitmap), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
        SendDlgItemMessageW(page, b.button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));

        HWND tooltip =
            CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, page, nullptr, instance, nullptr);
        if (!tooltip) continue;
        TOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = page;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(page, b.button));
        tool.lpszText = const_cast<wchar_t *>(translateTips ? T(b.tip) : b.tip);
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tooltip, TTM_ACTIVATE, TRUE, 0);
    }
}

bool AskForFile(HWND page, bool save, const std::wstring &folder, std::wstring *path) {
    std::vector<wchar_t> file(kPathLength, L'\0');
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kPathLength;
    dialog.lpstrFilter = L"Binary Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0";
    dialog.lpstrInitialDir = folder.c_str();
    dialog.Flags = OFN_EXPLORER;
    dialog.lpstrDefExt = L"bin";
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
    *path = file.data();
    return true;
}

int RunEngine(HWND page, int (*operation)(const TransferOptions &, TransferReport *),
              const wchar_t *errorText, const wchar_t *successText, const wchar_t *partlyText) {
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    TransferReport report;
    const int result = operation(*OptionsOf(page), &report);
    SetCursor(previous);
    if (result == kTransferPartly && partlyText) {
        wchar_t text[512];
        swprintf(text, 512, T(partlyText), report.failedElements);
        MessageBoxW(page, text, T(L"Error"), MB_ICONERROR);
    } else if (result == kStoreBusy) {
        MessageBoxW(page,
                    T(L"Another transfer of the settings store is running. Try again when it has ended."),
                    T(L"Error"), MB_ICONERROR);
    } else if (result != 0) {
        MessageBoxW(page, T(errorText), T(L"Error"), MB_ICONERROR);
    } else {
        MessageBoxW(page, T(successText), T(L"Success"), MB_OK);
    }
    return result;
}

std::wstring SelectedEntry(HWND page, int comboId) {
    const LRESULT index = SendDlgItemMessageW(page, comboId, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return L"";
    const LRESULT length = SendDlgItemMessageW(page, comboId, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return L"";
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(page, comboId, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::wstring ItemText(HWND page, int id, int length) {
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    GetDlgItemTextW(page, id, text.data(), length);
    return text.data();
}

} // namespace sx
