// The tab dialog: Export for everyone, Import and Delete for administrators.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"

namespace sx {

namespace {

struct Pages {
    HWND exportPage = nullptr;
    HWND importPage = nullptr;
    HWND deletePage = nullptr;
};

HWND AddPage(HWND tab, int index, const wchar_t *title, int dialogId, DLGPROC procedure,
             TransferOptions *options) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t *>(T(title));
    SendMessageW(tab, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
    // A page that cannot be made is missing; its tab stays.
    return CreateDialogParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(tab, GWLP_HINSTANCE)),
                              MAKEINTRESOURCEW(dialogId), tab, procedure, reinterpret_cast<LPARAM>(options));
}

void Show(HWND page, bool show) {
    if (page) ShowWindow(page, show ? SW_SHOW : SW_HIDE);
}

void SelectPage(HWND dialog, Pages &pages) {
    const int index = static_cast<int>(SendDlgItemMessageW(dialog, IDC_TAB, TCM_GETCURSEL, 0, 0));
    HWND shown = nullptr;
    switch (index) {
    case 0:
        Show(pages.importPage, false);
        Show(pages.deletePage, false);
        Show(shown = pages.exportPage, true);
        break;
    case 1:
        Show(pages.exportPage, false);
        Show(pages.deletePage, false);
        Show(shown = pages.importPage, true);
        if (shown) SendMessageW(shown, kReloadMessage, 0, 0);
        break;
    case 2:
        Show(pages.exportPage, false);
        Show(pages.importPage, false);
        Show(shown = pages.deletePage, true);
        if (shown) InvalidateRect(shown, nullptr, TRUE);
        break;
    default:
        break;
    }
    if (shown) UpdateWindow(shown);
}

} // namespace

INT_PTR CALLBACK TabDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto *options = reinterpret_cast<TransferOptions *>(lParam);
        auto *pages = new Pages;
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pages));
        HWND tab = GetDlgItem(dialog, IDC_TAB);
        pages->exportPage = AddPage(tab, 0, L"Export", IDD_EXPORT_PAGE, ExportPageProc, options);
        if (IsUserAnAdmin()) {
            pages->importPage = AddPage(tab, 1, L"Import", IDD_IMPORT_PAGE, ImportPageProc, options);
            pages->deletePage = AddPage(tab, 2, L"Delete", IDD_DELETE_PAGE, DeletePageProc, options);
        }
        SendMessageW(tab, TCM_SETCURSEL, 0, 0);
        Show(pages->exportPage, true);

        // The dialog and the tab control take the size of the largest page.
        LONG width = 0, height = 0;
        for (HWND page : {pages->exportPage, pages->importPage, pages->deletePage}) {
            RECT area;
            if (!page || !GetClientRect(page, &area)) continue;
            width = area.right > width ? area.right : width;
            height = area.bottom > height ? area.bottom : height;
        }
        SetWindowPos(dialog, nullptr, 0, 0, width + 20, height + 40, SWP_NOMOVE | SWP_NOZORDER);
        SetWindowPos(tab, HWND_BOTTOM, 7, 7, width + 5, height + 25, SWP_SHOWWINDOW);
        return pages->exportPage ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        auto *pages = reinterpret_cast<Pages *>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
        // The other tabs wait while a page's job runs.
        if (header->idFrom == IDC_TAB && header->code == TCN_SELCHANGING && JobRunning()) {
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        if (header->idFrom == IDC_TAB && header->code == TCN_SELCHANGE && pages) {
            SelectPage(dialog, *pages);
            return TRUE;
        }
        break;
    }
    case WM_DESTROY:
        delete reinterpret_cast<Pages *>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    (void)wParam;
    return FALSE;
}

} // namespace sx
