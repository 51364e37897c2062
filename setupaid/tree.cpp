// The feature tree: top-level items with check-box state images, expanded when checked; a
// required item keeps its check and says why when someone tries to clear it.
#include "setupaid/setupaid.h"

#include <commctrl.h>
#include <windowsx.h>

#include "setupaid/module.h"

namespace {

// The state image list we gave a tree, kept on the tree so that later calls reuse it.
constexpr char kListProperty[] = "setupaid.StateImages";

HIMAGELIST MakeStateImages() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 3, 9);
    if (list == nullptr) return nullptr;
    ImageList_AddIcon(list, LoadIconA(nullptr, IDI_APPLICATION));
    const int boxes[] = {setupaid::kUncheckedIcon, setupaid::kCheckedIcon};
    for (int id : boxes) {
        HICON icon =
            static_cast<HICON>(LoadImageA(setupaid::Module(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(list, icon);
        if (icon) DestroyIcon(icon);
    }
    return list;
}

void ExpandTopLevel(HWND tree, bool (*expand)(HWND, HTREEITEM)) {
    for (HTREEITEM item = TreeView_GetRoot(tree); item != nullptr; item = TreeView_GetNextSibling(tree, item))
        TreeView_Expand(tree, item, expand(tree, item) ? TVE_EXPAND : TVE_COLLAPSE);
}

// Required items carry this as their item data; the tree is subclassed to keep their checks.
constexpr LPARAM kRequiredItem = 0x52455144; // "REQD"
constexpr UINT_PTR kRequiredSubclass = 0x52455144;
constexpr UINT_PTR kHideTipTimer = 0x52455144;
constexpr DWORD kTipMs = 4000;
constexpr char kTipProperty[] = "setupaid.RequiredTip";
constexpr char kTipText[] = "This part is required: it is always installed and cannot be left out.";

bool IsRequired(HWND tree, HTREEITEM item) {
    if (item == nullptr) return false;
    TVITEMA data = {};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    return SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) &&
           data.lParam == kRequiredItem;
}

// Shows why the item keeps its check: a balloon under the item, gone after a few seconds.
void Explain(HWND tree, HTREEITEM item) {
    HWND tip = static_cast<HWND>(GetPropA(tree, kTipProperty));
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = tree;
    tool.uId = 1;
    tool.lpszText = const_cast<char *>(kTipText);
    if (tip == nullptr) {
        tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tree, nullptr,
                              setupaid::Module(), nullptr);
        if (tip == nullptr) {
            MessageBeep(MB_ICONINFORMATION);
            return;
        }
        SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 300);
        SetPropA(tree, kTipProperty, tip);
    }
    RECT row = {};
    TreeView_GetItemRect(tree, item, &row, TRUE);
    POINT at = {row.left, row.bottom};
    ClientToScreen(tree, &at);
    SendMessageA(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
    SendMessageA(tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    SetTimer(tree, kHideTipTimer, kTipMs, nullptr);
}

void HideTip(HWND tree) {
    KillTimer(tree, kHideTipTimer);
    HWND tip = static_cast<HWND>(GetPropA(tree, kTipProperty));
    if (tip == nullptr) return;
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = tree;
    tool.uId = 1;
    SendMessageA(tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

// Keeps required items checked: a click on their box, a double click and the space bar on them
// are answered with the reason instead of a toggle. The script may still set any state itself.
LRESULT CALLBACK RequiredProc(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        TVHITTESTINFO hit = {};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        HTREEITEM item = TreeView_HitTest(tree, &hit);
        if ((hit.flags & TVHT_ONITEMSTATEICON) && IsRequired(tree, item)) {
            SetFocus(tree);
            TreeView_SelectItem(tree, item);
            Explain(tree, item);
            return 0;
        }
        HideTip(tree);
        break;
    }
    case WM_KEYDOWN:
    case WM_CHAR:
        if ((message == WM_KEYDOWN ? wParam == VK_SPACE : wParam == ' ') &&
            IsRequired(tree, TreeView_GetSelection(tree))) {
            if (message == WM_KEYDOWN) Explain(tree, TreeView_GetSelection(tree));
            return 0;
        }
        HideTip(tree);
        break;
    case WM_TIMER:
        if (wParam != kHideTipTimer) break;
        HideTip(tree);
        return 0;
    case WM_NCDESTROY:
        KillTimer(tree, kHideTipTimer);
        if (HWND tip = static_cast<HWND>(RemovePropA(tree, kTipProperty))) DestroyWindow(tip);
        RemoveWindowSubclass(tree, RequiredProc, kRequiredSubclass);
        break;
    default:
        break;
    }
    return DefSubclassProc(tree, message, wParam, lParam);
}

bool Never(HWND, HTREEITEM) {
    return false;
}

bool WhenChecked(HWND tree, HTREEITEM item) {
    return (TreeView_GetItemState(tree, item, TVIS_STATEIMAGEMASK) >> 12) == 2;
}

} // namespace

extern "C" {

BOOL __stdcall TreeView(HWND hTree, const char *) {
    // Nothing is made for a window that is not there (null, destroyed): no one would keep it.
    if (!IsWindow(hTree)) return TRUE;
    HIMAGELIST ours = static_cast<HIMAGELIST>(GetPropA(hTree, kListProperty));
    const bool reuse = ours != nullptr && TreeView_GetImageList(hTree, TVSIL_STATE) == ours;
    HIMAGELIST list = reuse ? ours : MakeStateImages();
    ExpandTopLevel(hTree, Never);
    if (!reuse) {
        TreeView_SetImageList(hTree, list, TVSIL_STATE);
        // A list the window did not take (it is no tree) is freed at once.
        if (list != nullptr && TreeView_GetImageList(hTree, TVSIL_STATE) != list) {
            ImageList_Destroy(list);
            list = nullptr;
        }
        // A list of ours that someone replaced is in nobody's use any more.
        if (ours != nullptr) ImageList_Destroy(ours);
        if (list != nullptr)
            SetPropA(hTree, kListProperty, list);
        else
            RemovePropA(hTree, kListProperty);
    }
    return TRUE;
}

int __stdcall TreeViewFunction(HWND hTree, int type, const char *itemText, int checkState) {
    if (type == 2 || type == 3) return 0;
    if (type != 1) return 1;
    TreeView(hTree, nullptr);
    TVINSERTSTRUCTA insert = {};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_ROOT;
    insert.item.mask = TVIF_TEXT | TVIF_STATE;
    insert.item.pszText = const_cast<char *>(itemText);
    // 2 is a required item: checked for good (there is no third image it could name).
    const bool required = checkState == 2;
    insert.item.state = INDEXTOSTATEIMAGEMASK(required ? 2 : checkState + 1);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    if (required) {
        insert.item.mask |= TVIF_PARAM;
        insert.item.lParam = kRequiredItem;
    }
    if (SendMessageA(hTree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)) != 0 && required)
        SetWindowSubclass(hTree, RequiredProc, kRequiredSubclass, 0);
    return 1;
}

BOOL __stdcall TreeViewCheck(HWND hTree) {
    ExpandTopLevel(hTree, WhenChecked);
    return TRUE;
}

} // extern "C"
