// The feature tree: top-level items with check-box state images, expanded when checked.
#include "setupaid/setupaid.h"

#include <commctrl.h>

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
    insert.item.state = INDEXTOSTATEIMAGEMASK(checkState + 1);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    SendMessageA(hTree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    return 1;
}

BOOL __stdcall TreeViewCheck(HWND hTree) {
    ExpandTopLevel(hTree, WhenChecked);
    return TRUE;
}

} // extern "C"
