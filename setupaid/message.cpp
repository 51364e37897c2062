// The floating message window: one per process, sized to its text and centred on the screen.
#include "setupaid/setupaid.h"

#include "setupaid/module.h"

namespace {

// Asks the window to destroy itself: a window can only be destroyed by the thread that made it.
constexpr UINT kDestroy = WM_USER + 1;

HWND g_window = nullptr;

// Sizes the static control to the text (at least 100 x 50 pixels) and the window around it.
INT_PTR ShowText(HWND dialog, const char *text) {
    HWND label = GetDlgItem(dialog, setupaid::kMessageText);
    HDC dc = GetDC(label);
    if (dc == nullptr) return FALSE;
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    ReleaseDC(label, dc);
    const int w = extent.cx < 100 ? 100 : extent.cx;
    const int h = extent.cy < 50 ? 50 : extent.cy;
    MoveWindow(label, 10, 10, w, h, TRUE);
    SetWindowTextA(label, text);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (w + 20)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (h + 20)) / 2;
    SetWindowPos(dialog, nullptr, x, y, w + 20, h + 20, SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(dialog);
    return TRUE;
}

INT_PTR CALLBACK MessageProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_USER:
        if (lParam == 0) return FALSE;
        return ShowText(dialog, reinterpret_cast<const char *>(lParam));
    case kDestroy:
        DestroyWindow(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

// The message window, or null; a window destroyed elsewhere is forgotten.
HWND Current() {
    if (g_window != nullptr && !IsWindow(g_window)) g_window = nullptr;
    return g_window;
}

} // namespace

extern "C" int __stdcall SdShowMsg2(const char *text, int mode) {
    HWND window = Current();
    if (mode == 1) {
        if (window != nullptr) {
            SendMessageA(window, WM_USER, 0, reinterpret_cast<LPARAM>(text));
            return 1;
        }
        window = CreateDialogParamA(setupaid::Module(), setupaid::kMessageDialog, nullptr, MessageProc,
                                    reinterpret_cast<LPARAM>(text));
        if (window == nullptr) return 0;
        g_window = window;
        ShowWindow(window, SW_SHOW);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        UpdateWindow(window);
        return 1;
    }
    if (window == nullptr) return 0;
    g_window = nullptr;
    // Only the thread that made the window can destroy it; another thread asks it to.
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        DestroyWindow(window);
    else
        PostMessageA(window, kDestroy, 0, 0);
    return 1;
}
