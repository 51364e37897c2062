// The company signature: a small window with a greyed name in it.
#include "setupaid/setupaid.h"

#include "setupaid/module.h"

extern "C" int __stdcall show_sign(HWND hParent) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = setupaid::Module();
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "WindowsApp";
    RegisterClassExA(&wc); // fails harmlessly when registered already

    HWND frame = CreateWindowExA(0, "WindowsApp", "Windows App", WS_CHILD | WS_VISIBLE, 2, 297, 100, 15,
                                 hParent, nullptr, setupaid::Module(), nullptr);
    ShowWindow(frame, SW_SHOW);
    HWND name = CreateWindowExA(0, "STATIC", "Varnholt", WS_CHILD | WS_VISIBLE | WS_DISABLED | SS_NOTIFY, 2,
                                0, 120, 15, frame, nullptr, setupaid::Module(), nullptr);
    SendMessageA(name, WM_SETFONT, reinterpret_cast<WPARAM>(setupaid::SignatureFont()), TRUE);
    return 10;
}
