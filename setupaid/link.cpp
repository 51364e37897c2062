// The web link: a window in place of a placeholder control that opens the company's site in the
// registered web browser when clicked.
#include "setupaid/setupaid.h"

#include <shellapi.h>

#include "setupaid/browser.h"
#include "setupaid/module.h"

namespace {

constexpr char kDisplayAddress[] = "www.varnholt.example";
constexpr char kTargetAddress[] = "http://www.varnholt.example/";
constexpr COLORREF kWhite = RGB(255, 255, 255);

void DrawAddress(HDC dc) {
    TextOutA(dc, 0, 0, kDisplayAddress, lstrlenA(kDisplayAddress));
}

// The address's extent in the link's font (0 x 0 when it cannot be measured).
SIZE AddressExtent() {
    SIZE extent = {};
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return extent;
    HGDIOBJ before = SelectObject(dc, setupaid::LinkFont());
    if (!GetTextExtentPoint32A(dc, kDisplayAddress, lstrlenA(kDisplayAddress), &extent)) extent = SIZE{};
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    return extent;
}

void DrawLink(HWND window) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    HGDIOBJ before = SelectObject(dc, setupaid::LinkFont());
    SetTextColor(dc, 0xFF0000);
    SetBkColor(dc, kWhite);
    DrawAddress(dc);
    SelectObject(dc, before);
    ReleaseDC(window, dc);
}

// The registered command of the web browser, or false when there is none of at most 1000 bytes.
bool ReadBrowserCommand(char (&command)[setupaid::kMaxCommand + 1], DWORD &type) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "HTTP\\shell\\open\\command", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = setupaid::kMaxCommand;
    const LONG result =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(command), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    command[size < setupaid::kMaxCommand ? size : setupaid::kMaxCommand] = '\0';
    return true;
}

bool Start(char *commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Starts the registered browser with the address; without one, the shell's handler of the
// address; the error box when neither can be started.
void OpenSite(HWND window) {
    char command[setupaid::kMaxCommand + 1] = {};
    DWORD type = REG_NONE;
    bool started = false;
    if (ReadBrowserCommand(command, type)) {
        char *line = setupaid::ComposeBrowserCommand(command, type, kTargetAddress);
        started = line != nullptr && Start(line);
        if (line) HeapFree(GetProcessHeap(), 0, line);
    } else {
        started = reinterpret_cast<INT_PTR>(
                      ShellExecuteA(window, "open", kTargetAddress, nullptr, nullptr, SW_SHOW)) > 32;
    }
    if (!started) MessageBoxA(window, "Chybka", "", MB_OK);
}

LRESULT CALLBACK LinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HDC dc = GetDC(window);
        if (dc) {
            DrawAddress(dc);
            ReleaseDC(window, dc);
        }
        return 0;
    }
    case WM_NCPAINT:
        DrawLink(window);
        return 0;
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kWhite);
        return 1;
    }
    case WM_LBUTTONUP:
        OpenSite(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

extern "C" int __stdcall odkaz(HWND hParent, HWND hPlaceholder) {
    // The placeholder is destroyed: never the parent itself or a window that holds it.
    if (!IsWindow(hParent) || !IsWindow(hPlaceholder) || hPlaceholder == hParent ||
        IsChild(hPlaceholder, hParent))
        return 0;
    RECT placeholder = {}, parent = {};
    GetWindowRect(hPlaceholder, &placeholder);
    GetWindowRect(hParent, &parent);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = LinkProc;
    wc.hInstance = setupaid::Module();
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_HAND);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "odkaz";
    RegisterClassExA(&wc); // fails harmlessly when registered already

    // The link is as large as its text, within the placeholder: a click beside the text opens nothing.
    const SIZE text = AddressExtent();
    const int width = placeholder.right - placeholder.left, height = placeholder.bottom - placeholder.top;
    CreateWindowExA(0, "odkaz", "odkaz", WS_CHILD | WS_VISIBLE, placeholder.left - parent.left - 3,
                    placeholder.top - parent.top - 22, text.cx > 0 && text.cx < width ? text.cx : width,
                    text.cy > 0 && text.cy < height ? text.cy : height, hParent, nullptr, setupaid::Module(),
                    nullptr);
    DestroyWindow(hPlaceholder);
    return 10;
}
