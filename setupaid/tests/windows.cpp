#include "setupaid/tests/windows.h"

#include <commctrl.h>

#include <string>

namespace setupaid_test {

namespace {

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL CALLBACK CollectMessageWindows(HWND window, LPARAM param) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770" && GetDlgItem(window, 1005) != nullptr)
        reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> MessageWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectMessageWindows, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK CountChild(HWND, LPARAM param) {
    ++*reinterpret_cast<int *>(param);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) {
        ++*reinterpret_cast<int *>(param);
        EnumChildWindows(window, CountChild, param);
    }
    return TRUE;
}

} // namespace

Parent::Parent() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "setupaid_test_parent";
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    m_window = CreateWindowExA(0, "setupaid_test_parent", "setupaid test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               40, 40, 400, 360, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    Pump();
}

Parent::~Parent() {
    DestroyWindow(m_window);
    Pump();
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND MessageWindow() {
    const std::vector<HWND> found = MessageWindows();
    return found.empty() ? nullptr : found.front();
}

int MessageWindowCount() {
    return static_cast<int>(MessageWindows().size());
}

int WindowCount() {
    int count = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::vector<HWND> Children(HWND parent, const char *className) {
    std::vector<HWND> found;
    for (HWND child = FindWindowExA(parent, nullptr, className, nullptr); child != nullptr;
         child = FindWindowExA(parent, child, className, nullptr))
        found.push_back(child);
    return found;
}

} // namespace setupaid_test
