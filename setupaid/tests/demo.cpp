// A setup page dressed by setupaid, for looking at it and for the documentation's pictures: the
// feature tree, the signature, the link and the message window. Closes after the given number of
// seconds (default 30) or when its window is closed.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

#include "setupaid/setupaid.h"

namespace {

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void AddChild(HWND tree, HTREEITEM parent, const char *text) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_STATE;
    insert.item.pszText = const_cast<char *>(text);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
}

} // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PageProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // the arrow
    wc.lpszClassName = "setupaid_demo";
    RegisterClassA(&wc);
    HWND page = CreateWindowExA(0, "setupaid_demo", "Setup - Components", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                40, 40, 420, 370, nullptr, nullptr, wc.hInstance, nullptr);
    HWND tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                                WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 10,
                                10, 380, 200, page, nullptr, wc.hInstance, nullptr);
    TreeViewFunction(tree, 1, "Image viewer", 1);
    TreeViewFunction(tree, 1, "Sample images", 0);
    TreeViewFunction(tree, 1, "Import filters", 1);
    HTREEITEM viewer = TreeView_GetRoot(tree);
    HTREEITEM samples = TreeView_GetNextSibling(tree, viewer);
    HTREEITEM filters = TreeView_GetNextSibling(tree, samples);
    AddChild(tree, viewer, "Program files");
    AddChild(tree, viewer, "Help");
    AddChild(tree, samples, "Landscapes");
    AddChild(tree, filters, "Raw camera formats");
    AddChild(tree, filters, "Scanned documents");
    TreeViewCheck(tree);

    HWND placeholder = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 12, 230, 160, 16, page,
                                       nullptr, wc.hInstance, nullptr);
    odkaz(page, placeholder);
    show_sign(page);
    SdShowMsg2("Copying files, please wait...", 1);

    SetTimer(page, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == page) DestroyWindow(page);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    SdShowMsg2(nullptr, 0);
    return 0;
}
