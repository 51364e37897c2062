// The Delete page.
#include <windows.h>

#include "settingsxfer/ui/page.h"

namespace sx {

namespace {
std::wstring g_backupFolder;
}

INT_PTR CALLBACK DeletePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitPage(page, reinterpret_cast<TransferOptions *>(lParam), &g_backupFolder);
        return TRUE;
    }
    return FALSE;
}

} // namespace sx
