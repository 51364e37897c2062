// The feature tree: items with check-box state images, collapsed on every addition, expanded when
// checked.
#include "testsupport/zxtest.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "setupaid/setupaid.h"
#include "setupaid/tests/windows.h"

using setupaid_test::Parent;

namespace {

HWND MakeTree(HWND parent) {
    HWND tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                                WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 10,
                                10, 360, 280, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    REQUIRE(tree != nullptr);
    return tree;
}

std::vector<HTREEITEM> TopLevel(HWND tree) {
    std::vector<HTREEITEM> items;
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
        items.push_back(item);
    return items;
}

std::string Text(HWND tree, HTREEITEM item) {
    char text[64] = {};
    TVITEMA data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

UINT StateImage(HWND tree, HTREEITEM item) {
    return TreeView_GetItemState(tree, item, TVIS_STATEIMAGEMASK) >> 12;
}

bool Expanded(HWND tree, HTREEITEM item) {
    return (TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

void AddChild(HWND tree, HTREEITEM parent, const char *text) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char *>(text);
    REQUIRE(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)) != 0);
}

} // namespace

TEST_CASE("tree: items in call order with their check state; the results of each type") {
    Parent parent;
    HWND tree = MakeTree(parent.get());
    CHECK(TreeViewFunction(tree, 1, "Viewer", 1) == 1);
    CHECK(TreeViewFunction(tree, 1, "Samples", 0) == 1);
    CHECK(TreeViewFunction(tree, 1, "Plug-ins", 1) == 1);
    CHECK(TreeViewFunction(tree, 2, "ignored", 1) == 0);
    CHECK(TreeViewFunction(tree, 3, "ignored", 1) == 0);
    CHECK(TreeViewFunction(tree, 0, "ignored", 1) == 1);
    CHECK(TreeViewFunction(tree, 4, "ignored", 1) == 1);
    const std::vector<HTREEITEM> items = TopLevel(tree);
    REQUIRE(items.size() == 3);
    CHECK(Text(tree, items[0]) == "Viewer");
    CHECK(Text(tree, items[1]) == "Samples");
    CHECK(Text(tree, items[2]) == "Plug-ins");
    CHECK(StateImage(tree, items[0]) == 2);
    CHECK(StateImage(tree, items[1]) == 1);
    CHECK(StateImage(tree, items[2]) == 2);

    // The state images: the application icon, unchecked, checked; 16 x 16.
    HIMAGELIST list = TreeView_GetImageList(tree, TVSIL_STATE);
    REQUIRE(list != nullptr);
    CHECK(ImageList_GetImageCount(list) == 3);
    int cx = 0, cy = 0;
    CHECK(ImageList_GetIconSize(list, &cx, &cy));
    CHECK(cx == 16);
    CHECK(cy == 16);
}

TEST_CASE("tree: every addition collapses the top-level items; the check expands the checked ones") {
    Parent parent;
    HWND tree = MakeTree(parent.get());
    TreeViewFunction(tree, 1, "checked", 1);
    TreeViewFunction(tree, 1, "unchecked", 0);
    TreeViewFunction(tree, 1, "checked, no children", 1);
    std::vector<HTREEITEM> items = TopLevel(tree);
    AddChild(tree, items[0], "part of checked");
    AddChild(tree, items[1], "part of unchecked");

    TreeView_Expand(tree, items[1], TVE_EXPAND);
    REQUIRE(Expanded(tree, items[1]));
    CHECK(TreeViewCheck(tree) == TRUE);
    CHECK(Expanded(tree, items[0]));
    CHECK_FALSE(Expanded(tree, items[1]));
    // Nothing to show: not marked expanded either, which a child added later would reveal.
    AddChild(tree, items[2], "added after the check");
    CHECK_FALSE(Expanded(tree, items[2]));

    // The next addition collapses everything first.
    TreeView_Expand(tree, items[1], TVE_EXPAND);
    TreeViewFunction(tree, 1, "last", 0);
    CHECK_FALSE(Expanded(tree, items[0]));
    CHECK_FALSE(Expanded(tree, items[1]));
    CHECK(TopLevel(tree).size() == 4);

    CHECK(TreeView(tree, "not used") == TRUE);
    CHECK_FALSE(Expanded(tree, items[0]));
}

TEST_CASE("tree: one state image list per tree, reused by later calls; a replaced one is freed") {
    Parent parent;
    HWND tree = MakeTree(parent.get());
    TreeView(tree, nullptr);
    HIMAGELIST first = TreeView_GetImageList(tree, TVSIL_STATE);
    for (int i = 0; i < 50; ++i)
        TreeViewFunction(tree, 1, "item", i % 2);
    CHECK(TreeView_GetImageList(tree, TVSIL_STATE) == first);

    // Someone else's list in its place: ours is freed, theirs left alone, and a new one of ours set.
    HIMAGELIST theirs = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    REQUIRE(ImageList_SetImageCount(theirs, 1));
    TreeView_SetImageList(tree, theirs, TVSIL_STATE);
    TreeView(tree, nullptr);
    HIMAGELIST second = TreeView_GetImageList(tree, TVSIL_STATE);
    CHECK(second != theirs);
    CHECK(ImageList_GetImageCount(theirs) == 1); // neither destroyed nor changed
    CHECK(ImageList_GetImageCount(second) == 3);
    ImageList_Destroy(theirs);

    // Another tree gets a list of its own.
    HWND other = MakeTree(parent.get());
    TreeView(other, nullptr);
    CHECK(TreeView_GetImageList(other, TVSIL_STATE) != second);
}

TEST_CASE("tree: a null, destroyed or non-tree window keeps nothing made for it") {
    Parent parent;
    HWND destroyed = MakeTree(parent.get());
    DestroyWindow(destroyed);
    const long handles = zxtest::HandleCount(), gdi = zxtest::GdiObjectCount();
    const int calls = zxtest::LoadSize(20000, 20000);
    for (int i = 0; i < calls; ++i) {
        HWND window = i % 3 == 0 ? nullptr : i % 3 == 1 ? destroyed : parent.get();
        CHECK(TreeView(window, nullptr) == TRUE);
        CHECK(TreeViewFunction(window, 1, "item", i % 2) == 1);
    }
    CHECK(GetPropA(parent.get(), "setupaid.StateImages") == nullptr);
    CHECK(zxtest::HandleCount() <= handles);
    // Counted where the GDI table can be read; everywhere, the process can still make GDI objects
    // (20,000 lost image lists use the table up).
    if (gdi >= 0) CHECK(zxtest::GdiObjectCount() <= gdi + 2);
    CHECK(zxtest::CanCreateGdiObjects());
}

TEST_CASE("tree: a required item keeps its check against a real click and the space bar, and says why") {
    Parent parent;
    HWND tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES,
                                10, 10, 360, 280, parent.get(), nullptr, GetModuleHandleA(nullptr), nullptr);
    REQUIRE(tree != nullptr);
    TreeViewFunction(tree, 1, "Platform (required)", 2);
    TreeViewFunction(tree, 1, "Extras", 1);
    const std::vector<HTREEITEM> items = TopLevel(tree);
    REQUIRE(items.size() == 2);
    CHECK(StateImage(tree, items[0]) == 2);
    const auto clickBox = [&](HTREEITEM item) {
        RECT row = {};
        TreeView_GetItemRect(tree, item, &row, TRUE);
        const POINT box = {row.left - 8, (row.top + row.bottom) / 2};
        zxtest::ClickAt(tree, &box);
        setupaid_test::Pump();
    };
    const auto tipShown = [&] {
        HWND tip = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr);
        for (; tip; tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr))
            if (GetWindow(tip, GW_OWNER) == parent.get() && IsWindowVisible(tip)) return true;
        return false;
    };
    // The same click on an ordinary item's box clears it: the clicks land where they should.
    clickBox(items[1]);
    CHECK(zxtest::Eventually([&] { return setupaid_test::Pump(), StateImage(tree, items[1]) == 1; }));
    clickBox(items[0]);
    CHECK(StateImage(tree, items[0]) == 2);
    CHECK(zxtest::Eventually([&] { return setupaid_test::Pump(), tipShown(); }));
    TreeView_SelectItem(tree, items[0]);
    zxtest::PressKeys(tree, {VK_SPACE});
    setupaid_test::Pump();
    CHECK(StateImage(tree, items[0]) == 2);
    // The script itself may still change it.
    TreeView_SetItemState(tree, items[0], INDEXTOSTATEIMAGEMASK(1), TVIS_STATEIMAGEMASK);
    CHECK(StateImage(tree, items[0]) == 1);
}
