// The Import and Delete pages, driven as an administrator would.
#include "settingsxfer/tests/app.h"
#include "settingsxfer/tests/storefixture.h"

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/res/resource.h"
#include "zx_gensys/zx_gensys.h"

using sxtest::App;
using sxtest::kBoxes;
using sxtest::StoreFixture;

namespace {

const wchar_t kRegistryXml[] =
    L"<tree version=\"1\"><level name=\"\"><binary name=\"Answer\" tag=\"4\">2a000000</binary>"
    L"<level name=\"Sub\"><binary name=\"Leaf\" tag=\"1\">61000000</binary></level></level></tree>";

// A package: shared Devices; private users each with their own elements.
struct PackageUser {
    std::wstring name;
    std::vector<const wchar_t *> textElements;
    bool registry;
};

void WritePackage(const std::wstring &path, const std::vector<PackageUser> &users, bool withPrivate = true) {
    CQxLiteVariantW w;
    w.LevelBegin(L"Settings");
    w.LevelBegin(L"shared");
    sxtest::AddTextElement(w, L"Devices", L"<devices/>");
    w.LevelEnd();
    if (withPrivate) {
        w.LevelBegin(L"private");
        for (const PackageUser &u : users) {
            w.LevelBegin(u.name.c_str());
            for (const wchar_t *element : u.textElements)
                sxtest::AddTextElement(w, element,
                                       std::wstring(L"<") + element + L" of=\"" + u.name + L"\"/>");
            if (u.registry) {
                w.LevelBegin(L"Registry");
                w.LevelBegin(L"content");
                w.Set(kRegistryXml, L"Platform.INI");
                w.LevelEnd();
                w.LevelEnd();
            }
            w.LevelEnd();
        }
        w.LevelEnd();
    }
    w.LevelEnd();
    sxtest::SaveTree(w, path);
}

// Puts a package into the read-only file box and chooses the Import tab, which loads it.
HWND OpenImportPage(App &app, const std::wstring &package) {
    HWND page = app.Page(L"Import");
    REQUIRE(page != nullptr);
    zxtest::SetText(page, IDC_FILE_NAME, package);
    app.ChooseTab(1);
    REQUIRE(sxtest::WaitIdle(page));
    return page;
}

std::vector<int> EnabledBoxes(HWND page) {
    std::vector<int> ids;
    for (int id : kBoxes)
        if (zxtest::IsEnabled(page, id)) ids.push_back(id);
    return ids;
}

std::vector<int> CheckedBoxes(HWND page) {
    std::vector<int> ids;
    for (int id : kBoxes)
        if (zxtest::IsChecked(page, id)) ids.push_back(id);
    return ids;
}

// Selects an entry of a combo box and tells its dialog, as choosing it with the mouse would.
void Choose(HWND page, int comboId, const std::wstring &entry) {
    HWND combo = GetDlgItem(page, comboId);
    const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(entry.c_str()));
    REQUIRE(index != CB_ERR);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// Shows the Delete page of the running program.
HWND OpenDeletePage(App &app) {
    HWND page = app.Page(L"Delete");
    REQUIRE(page != nullptr);
    app.ChooseTab(2);
    // The page can be found while it is still being made: its first choice is set then, and a
    // message it answers comes after the rest.
    REQUIRE(zxtest::Eventually([&] { return zxtest::IsChecked(page, IDC_ALL_USERS); }));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(page, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    return page;
}

} // namespace

TEST_CASE("import page: a package of several users opens with All Users and the current user selected") {
    const std::wstring me = sx::CurrentUserName().GetString();
    const std::wstring alice = sxtest::TestUser(L"alice"), bob = sxtest::TestUser(L"bob");
    StoreFixture store({me, alice, bob}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const std::wstring package = dir / L"several.bin";
    WritePackage(package,
                 {{alice, {L"Layouts"}, false}, {bob, {L"Objectives"}, false}, {me, {L"UserManager"}, true}});
    App app;
    HWND page = app.Page(L"Import");
    REQUIRE(page != nullptr);
    CHECK_FALSE(zxtest::IsEnabled(page, IDOK)); // reset until a package is loaded
    CHECK(EnabledBoxes(page).empty());

    page = OpenImportPage(app, package);
    CHECK(SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCOUNT, 0, 0) == 3);
    CHECK(zxtest::WindowText(GetDlgItem(page, IDC_USER_LIST)) == me);
    CHECK(zxtest::IsChecked(page, IDC_ALL_USERS));
    CHECK_FALSE(zxtest::IsEnabled(page, IDC_USER_LIST));
    CHECK_FALSE(zxtest::IsEnabled(page, IDC_EXTRACT_TO_CURRENT));
    CHECK(zxtest::IsEnabled(page, IDOK));
    CHECK(zxtest::WindowText(GetDlgItem(page, IDC_EXTRACT_TO_CURRENT)) ==
          L"Extract to current (" + me + L")");
    // Boxes only for the groups the package holds, and those checked.
    const std::vector<int> all = {IDC_DEVICE_SETTINGS, IDC_LAYOUTS, IDC_OBJECTIVES, IDC_USER_MANAGER,
                                  IDC_GENERAL_SETTINGS};
    CHECK(EnabledBoxes(page) == all);
    CHECK(CheckedBoxes(page) == all);

    // One user: the shared groups and that user's.
    zxtest::Press(page, IDC_CURRENT_USER);
    CHECK(zxtest::IsEnabled(page, IDC_USER_LIST));
    CHECK(zxtest::IsEnabled(page, IDC_EXTRACT_TO_CURRENT));
    CHECK(EnabledBoxes(page) ==
          std::vector<int>{IDC_DEVICE_SETTINGS, IDC_USER_MANAGER, IDC_GENERAL_SETTINGS});
    CHECK(CheckedBoxes(page) ==
          std::vector<int>{IDC_DEVICE_SETTINGS, IDC_USER_MANAGER, IDC_GENERAL_SETTINGS});
    Choose(page, IDC_USER_LIST, bob);
    CHECK(EnabledBoxes(page) == std::vector<int>{IDC_DEVICE_SETTINGS, IDC_OBJECTIVES});
    zxtest::Press(page, IDC_CLEAR_ALL);
    CHECK(CheckedBoxes(page).empty());
    zxtest::Press(page, IDC_CHECK_ALL);
    CHECK(CheckedBoxes(page) == std::vector<int>{IDC_DEVICE_SETTINGS, IDC_OBJECTIVES});
}

TEST_CASE("import page: a package without a private section leaves the user list empty") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    WritePackage(dir / L"shared-only.bin", {}, false);
    App app;
    HWND page = OpenImportPage(app, dir / L"shared-only.bin");
    CHECK(SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCOUNT, 0, 0) == 0);
    CHECK(EnabledBoxes(page) == std::vector<int>{IDC_DEVICE_SETTINGS});
    CHECK(zxtest::IsEnabled(page, IDOK));
}

TEST_CASE("import page: one user extracted to the current user's folder and registry branch") {
    const std::wstring me = sx::CurrentUserName().GetString();
    const std::wstring alice = sxtest::TestUser(L"alice");
    StoreFixture store({me, alice}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    WritePackage(dir / L"p.bin", {{alice, {L"Layouts", L"Objectives"}, true}});
    App app;
    HWND page = OpenImportPage(app, dir / L"p.bin");
    zxtest::Press(page, IDC_CURRENT_USER);
    Choose(page, IDC_USER_LIST, alice);
    zxtest::Press(page, IDC_EXTRACT_TO_CURRENT);
    CHECK(zxtest::IsChecked(page, IDC_EXTRACT_TO_CURRENT));
    zxtest::Press(page, IDC_OBJECTIVES); // leave Objectives out
    zxtest::Box result = sxtest::PressAndAnswer(app, page, IDOK);
    CHECK(result.caption == L"Success");
    CHECK(result.text == L"Settings imported.");

    const std::wstring mine = store.Folder(me);
    CHECK(zxtest::ReadFileBytes(mine + L"\\Layouts.xml") ==
          sxtest::TextElement(L"<Layouts of=\"" + alice + L"\"/>", false));
    CHECK_FALSE(zxtest::FileExists(mine + L"\\Objectives.xml"));
    CHECK_FALSE(zxtest::FileExists(store.Folder(alice)));
    CHECK(zxtest::FileExists(store.root() + L"\\Devices.xml"));
    sxtest::Snapshot registry = sxtest::Take(L"", {me});
    CHECK(registry.registry.count(me + L"\\Platform.INI|Answer") == 1);
    CHECK(registry.registry.count(me + L"\\Platform.INI\\Sub|Leaf") == 1);
    CHECK_FALSE(zxtest::KeyExists(sxtest::UserKey(alice)));
}

TEST_CASE("import page: elements that cannot be written are counted in the result box") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    WritePackage(dir / L"p.bin", {{me, {L"Layouts", L"Objectives"}, true}});
    const std::wstring mine = store.Folder(me);
    CreateDirectoryW(store.root().c_str(), nullptr);
    CreateDirectoryW(mine.c_str(), nullptr);
    for (const wchar_t *name : {L"\\Layouts.xml", L"\\Objectives.xml"}) {
        zxtest::WriteFileBytes(mine + name, "kept");
        SetFileAttributesW((mine + name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    App app;
    HWND page = OpenImportPage(app, dir / L"p.bin");
    zxtest::Press(page, IDC_CURRENT_USER);
    Choose(page, IDC_USER_LIST, me);
    zxtest::Box result = sxtest::PressAndAnswer(app, page, IDOK);
    CHECK(result.caption == L"Error");
    CHECK(result.text ==
          L"Settings imported, except 2 items that could not be written (the log file names them).");
    for (const wchar_t *name : {L"\\Layouts.xml", L"\\Objectives.xml"}) {
        CHECK(zxtest::ReadFileBytes(mine + name) == "kept");
        SetFileAttributesW((mine + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_CASE("import page: an incompatible file after Browse says so and leaves the page reset") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    zxtest::WriteFileBytes(dir / L"foreign.bin", "this is no settings package");
    sxtest::WriteTreeWithoutSettings(dir / L"nosettings.bin");
    WritePackage(dir / L"good.bin", {});
    App app;
    HWND page = OpenImportPage(app, dir / L"good.bin");
    REQUIRE(zxtest::IsEnabled(page, IDOK));

    for (const wchar_t *name : {L"foreign.bin", L"nosettings.bin"}) {
        CAPTURE(zxtest::Narrow(name));
        zxtest::Click(page, IDC_BROWSE);
        zxtest::Box open = zxtest::WaitForBox(app.program);
        REQUIRE(open.window != nullptr);
        // The file name box of the open dialog, then its OK button.
        HWND nameBox = GetDlgItem(open.window, 1148);
        if (!nameBox) nameBox = GetDlgItem(open.window, 1152);
        REQUIRE(nameBox != nullptr);
        SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((dir / name).c_str()));
        zxtest::Click(open.window, IDOK);
        while (IsWindow(open.window))
            Sleep(20);
        zxtest::Box box = zxtest::WaitForBox(app.program);
        REQUIRE(box.window != nullptr);
        CHECK(box.caption == L"Input file error");
        CHECK(box.text == L"File is incompatible");
        zxtest::Click(box.window, IDOK);
        while (IsWindow(box.window))
            Sleep(20);
        CHECK_FALSE(zxtest::IsEnabled(page, IDOK));
        CHECK(EnabledBoxes(page).empty());
        CHECK(SendDlgItemMessageW(page, IDC_USER_LIST, CB_GETCOUNT, 0, 0) == 0);
    }
    // Choosing the tab again reloads from the file box; an incompatible file empties it quietly.
    app.ChooseTab(0);
    app.ChooseTab(1);
    REQUIRE(sxtest::WaitIdle(page));
    CHECK(zxtest::WindowText(GetDlgItem(page, IDC_FILE_NAME)).empty());
    CHECK(zxtest::WaitForBox(app.program, 300).window == nullptr);
}

TEST_CASE("delete page: nothing until Shared or Private is chosen; the Delete button follows the boxes") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    App app;
    HWND page = OpenDeletePage(app);
    CHECK(EnabledBoxes(page).empty());
    CHECK_FALSE(zxtest::IsEnabled(page, IDOK));
    CHECK(zxtest::IsEnabled(page, IDC_SHARED));
    CHECK(zxtest::IsEnabled(page, IDC_PRIVATE));
    for (int id : {IDC_CURRENT_USER, IDC_ALL_USERS, IDC_DELETE_USER_LIST})
        CHECK_FALSE(zxtest::IsEnabled(page, id));
    CHECK(zxtest::IsChecked(page, IDC_ALL_USERS));

    zxtest::Press(page, IDC_SHARED);
    // The shared root holds Devices, ND_Complex, Layouts and the Registry file (General Settings).
    CHECK(EnabledBoxes(page) ==
          std::vector<int>{IDC_DEVICE_SETTINGS, IDC_LAYOUTS, IDC_ND_ACQUISITION, IDC_GENERAL_SETTINGS});
    CHECK_FALSE(zxtest::IsEnabled(page, IDOK));
    zxtest::Press(page, IDC_LAYOUTS);
    CHECK(zxtest::IsEnabled(page, IDOK));
    zxtest::Press(page, IDC_LAYOUTS);
    CHECK_FALSE(zxtest::IsEnabled(page, IDOK));
    zxtest::Press(page, IDC_CHECK_ALL);
    CHECK(CheckedBoxes(page).size() == 4);
    CHECK(zxtest::IsEnabled(page, IDOK));
    zxtest::Press(page, IDC_CLEAR_ALL);
    CHECK_FALSE(zxtest::IsEnabled(page, IDOK));

    zxtest::Press(page, IDC_SHARED);
    zxtest::Press(page, IDC_PRIVATE);
    CHECK(zxtest::IsEnabled(page, IDC_CURRENT_USER));
    CHECK(zxtest::IsEnabled(page, IDC_ALL_USERS));
    CHECK_FALSE(zxtest::IsEnabled(page, IDC_DELETE_USER_LIST));
    // The current user's folder and registry branch (General Settings through the registry).
    CHECK(EnabledBoxes(page) == std::vector<int>{IDC_LAYOUTS, IDC_OPTICAL_CONFIGURATIONS, IDC_OBJECTIVES,
                                                 IDC_USER_MANAGER, IDC_GENERAL_SETTINGS});
    zxtest::Press(page, IDC_CURRENT_USER);
    CHECK(zxtest::IsEnabled(page, IDC_DELETE_USER_LIST));
    CHECK(zxtest::WindowText(GetDlgItem(page, IDC_DELETE_USER_LIST)) == me);
}

TEST_CASE("delete page: one group of one user goes from the store and the registry, the rest stays") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    App app;
    HWND page = OpenDeletePage(app);
    zxtest::Press(page, IDC_PRIVATE);
    zxtest::Press(page, IDC_CURRENT_USER);
    zxtest::Press(page, IDC_OBJECTIVES);
    zxtest::Box result = sxtest::PressAndAnswer(app, page, IDOK);
    CHECK(result.caption == L"Success");
    CHECK(result.text == L"Settings deleted.");
    CHECK_FALSE(zxtest::FileExists(store.Folder(me) + L"\\Objectives.bin"));
    CHECK(zxtest::FileExists(store.Folder(me) + L"\\OpticalConfigs.bin"));
    CHECK(zxtest::KeyExists(sxtest::UserKey(me)));
    CHECK_FALSE(zxtest::IsEnabled(page, IDC_OBJECTIVES)); // the page shows the store again

    zxtest::Press(page, IDC_GENERAL_SETTINGS);
    result = sxtest::PressAndAnswer(app, page, IDOK);
    CHECK(result.text == L"Settings deleted.");
    CHECK_FALSE(zxtest::KeyExists(sxtest::UserKey(me)));
    CHECK_FALSE(zxtest::IsEnabled(page, IDC_GENERAL_SETTINGS));
    CHECK(zxtest::FileExists(store.root() + L"\\Registry.xml"));
    CHECK(zxtest::FileExists(store.Folder(me) + L"\\GUILayouts.xml"));
}
