// The floating message window: one per process, sized to its text and centred on the screen.
#include "setupaid/setupaid.h"

#include "setupaid/module.h"

namespace {

// Asks the window to destroy itself: a window can only be destroyed by the thread that made it.
constexpr UINT kDestroy = WM_USER + 1;

HWND g_window = nullptr;

constexpr int kMargin = 10;    // client pixels around the text
constexpr int kMinWidth = 100; // the smallest text area
constexpr int kMinHeight = 50;

// The text's extent in the label's own font: on one line, or (wider than maxWidth) broken into
// lines at words, and within a word where one word alone is wider.
SIZE Measure(HWND label, const char *text, int maxWidth, bool *wrapped) {
    SIZE extent = {};
    HDC dc = GetDC(label);
    if (dc == nullptr) return extent;
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    *wrapped = extent.cx > maxWidth;
    if (*wrapped) {
        RECT box = {0, 0, maxWidth, 0};
        DrawTextA(dc, text, -1, &box, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL);
        extent.cx = box.right - box.left;
        extent.cy = box.bottom - box.top;
    }
    SelectObject(dc, before);
    ReleaseDC(label, dc);
    return extent;
}

// Sizes the static control to the text (at least 100 x 50 pixels), the window's client area 10
// pixels larger all round, within the work area: a long text is broken into lines, and one too
// long for the work area is shown cut. The window is centred on the screen, inside the work area.
INT_PTR ShowText(HWND dialog, const char *text) {
    HWND label = GetDlgItem(dialog, setupaid::kMessageText);
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    const int maxWidth = (work.right - work.left) - frameWidth - 2 * kMargin;
    const int maxHeight = (work.bottom - work.top) - frameHeight - 2 * kMargin;

    bool wrapped = false;
    const SIZE extent = Measure(label, text, maxWidth, &wrapped);
    const int w = extent.cx < kMinWidth ? kMinWidth : extent.cx;
    int h = extent.cy < kMinHeight ? kMinHeight : extent.cy;
    if (h > maxHeight) h = maxHeight;
    // One line is centred vertically; broken lines need the word-breaking form of the control.
    const LONG labelStyle = GetWindowLongA(label, GWL_STYLE);
    SetWindowLongA(label, GWL_STYLE,
                   wrapped ? (labelStyle & ~SS_CENTERIMAGE) | SS_EDITCONTROL
                           : (labelStyle | SS_CENTERIMAGE) & ~SS_EDITCONTROL);
    MoveWindow(label, kMargin, kMargin, w, h, TRUE);
    SetWindowTextA(label, text);

    const int windowWidth = w + 2 * kMargin + frameWidth, windowHeight = h + 2 * kMargin + frameHeight;
    int x = (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2;
    x = x < work.left ? work.left : (x + windowWidth > work.right ? work.right - windowWidth : x);
    y = y < work.top ? work.top : (y + windowHeight > work.bottom ? work.bottom - windowHeight : y);
    SetWindowPos(dialog, nullptr, x, y, windowWidth, windowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
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
