// The main window, its message loop and the About box.
#include <windows.h>
#include <commctrl.h>

#include "settingsxfer/core/driver.h"
#include "settingsxfer/res/resource.h"
#include "settingsxfer/ui/page.h"

namespace sx {

INT_PTR CALLBACK TabDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

const DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU; // not resizable

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_ABOUT) {
            DialogBoxW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)),
                       MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutProc);
            return 0;
        }
        break;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        return 0;
    case WM_CLOSE:
        // A running transfer is stopped first; the window closes when it has ended.
        if (JobRunning()) {
            CloseWhenJobEnds(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The nearest dialog at or above window (a page or the tab dialog), or null.
HWND EnclosingDialog(HWND window) {
    wchar_t name[8];
    for (; window; window = GetParent(window)) {
        if (GetClassNameW(window, name, 8) && lstrcmpW(name, L"#32770") == 0) return window;
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) break;
    }
    return nullptr;
}

} // namespace

int RunWindows(HINSTANCE instance, int showCommand, TransferOptions &options) {
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    wchar_t title[100] = L"", className[100] = L"";
    LoadStringW(instance, IDS_APP_TITLE, title, 100);
    LoadStringW(instance, IDS_WINDOW_CLASS, className, 100);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = FrameProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SETTINGSXFER));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SETTINGSXFER), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);

    HWND frame = CreateWindowW(className, title, kFrameStyle, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                               nullptr, instance, nullptr);
    if (!frame) return 0;
    HWND tabs = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_TABS), frame, TabDialogProc,
                                   reinterpret_cast<LPARAM>(&options));
    if (!tabs) return 0;

    RECT area;
    GetClientRect(tabs, &area);
    AdjustWindowRect(&area, kFrameStyle, FALSE);
    SetWindowPos(frame, HWND_NOTOPMOST, 0, 0, area.right - area.left, area.bottom - area.top, SWP_NOMOVE);
    ShowWindow(frame, showCommand);
    UpdateWindow(frame);
    ShowWindow(tabs, SW_SHOW);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_SETTINGSXFER));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Accelerators act on the main window wherever the focus is, so that Alt+? opens the
        // About box also from inside a page.
        HWND target = GetAncestor(message.hwnd, GA_ROOT);
        if (target == frame && TranslateAcceleratorW(frame, accelerators, &message)) continue;
        // Then the dialog keys (Tab, Shift+Tab, Space, Enter, arrows) of the dialog that holds the
        // control: a page for its own controls, the tab dialog for the tab control.
        HWND dialog = EnclosingDialog(message.hwnd);
        if (dialog && IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace sx
