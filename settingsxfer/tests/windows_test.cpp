// The windows of settingsxfer, driven as a user would: the frame, the tabs and the Export page.
#include "settingsxfer/tests/app.h"
#include "settingsxfer/tests/storefixture.h"

#include <commctrl.h>

#include <algorithm>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/res/resource.h"
#include "zx_gensys/zx_gensys.h"

using sxtest::App;
using sxtest::kBoxes;
using sxtest::StoreFixture;

namespace {

int CheckedBoxes(HWND page) {
    int n = 0;
    for (int id : kBoxes)
        n += zxtest::IsChecked(page, id) ? 1 : 0;
    return n;
}

// Presses Export and answers the boxes that follow: the confirmation (when a file exists) with
// confirm, then returns the result box's caption and text after pressing its OK.
zxtest::Box Export(App &app, HWND page, int confirm = IDYES) {
    zxtest::Click(page, IDOK);
    zxtest::Box box = zxtest::WaitForBox(app.program);
    REQUIRE(box.window != nullptr);
    if (box.caption == L"Confirm save as") {
        CHECK(box.text == L"Specified file already exists. Do you want to replace it?");
        zxtest::Click(box.window, confirm);
        if (confirm != IDYES) return box;
        while (IsWindow(box.window))
            Sleep(20);
        box = zxtest::WaitForBox(app.program);
        REQUIRE(box.window != nullptr);
    }
    zxtest::Click(box.window, IDOK);
    while (IsWindow(box.window))
        Sleep(20);
    return box;
}

std::vector<std::wstring> Private(const std::wstring &package) {
    return sxtest::PackageLevel(package, {L"Settings", L"private"});
}

std::vector<std::wstring> Shared(const std::wstring &package) {
    return sxtest::PackageLevel(package, {L"Settings", L"shared"});
}

} // namespace

TEST_CASE("windows: the frame's title and class, and the three tabs an administrator sees") {
    StoreFixture store({}, StoreFixture::kRealStore);
    App app;
    CHECK(zxtest::WindowText(app.main) == L"Lumetra Settings \u2013 Import/Export Utility");
    CHECK((GetWindowLongW(app.main, GWL_STYLE) & WS_THICKFRAME) == 0);
    CHECK(SendMessageW(app.tab, TCM_GETITEMCOUNT, 0, 0) == 3);
    HWND exportPage = app.Page(L"Export"), importPage = app.Page(L"Import"), deletePage = app.Page(L"Delete");
    REQUIRE(exportPage != nullptr);
    REQUIRE(importPage != nullptr);
    REQUIRE(deletePage != nullptr);
    CHECK(IsWindowVisible(exportPage));
    CHECK_FALSE(IsWindowVisible(importPage));

    app.ChooseTab(2);
    CHECK(IsWindowVisible(deletePage));
    CHECK_FALSE(IsWindowVisible(exportPage));
    app.ChooseTab(1);
    CHECK(IsWindowVisible(importPage));
    CHECK_FALSE(IsWindowVisible(deletePage));
    app.ChooseTab(0);
    CHECK(IsWindowVisible(exportPage));

    // The backup folder is made and proposed.
    const std::wstring proposal = zxtest::WindowText(GetDlgItem(exportPage, IDC_FILE_NAME));
    CHECK(proposal.size() > 13);
    CHECK(proposal.find(L"\\Varnholt\\ConfigurationBackup\\settings.bin") != std::wstring::npos);
    CHECK(zxtest::FileExists(proposal.substr(0, proposal.size() - 13)));
    CHECK(zxtest::IsChecked(exportPage, IDC_CURRENT_USER));
    CHECK_FALSE(zxtest::IsChecked(exportPage, IDC_ALL_USERS));
}

TEST_CASE("windows: plain words and -o alone open the windows too; closing ends with 0") {
    StoreFixture store({}, StoreFixture::kRealStore);
    for (const wchar_t *arguments : {L"just words", L"-o", L"/unknown"}) {
        CAPTURE(zxtest::Narrow(arguments));
        App app(arguments);
        CHECK(IsWindowVisible(app.main));
    }
}

TEST_CASE("windows: Check All and Clear All on the Export page; every box stays enabled") {
    StoreFixture store({}, StoreFixture::kRealStore);
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    CHECK(CheckedBoxes(page) == 8);
    zxtest::Press(page, IDC_CLEAR_ALL);
    CHECK(CheckedBoxes(page) == 0);
    zxtest::Press(page, 1031);
    CHECK(CheckedBoxes(page) == 1);
    zxtest::Press(page, IDC_CHECK_ALL);
    CHECK(CheckedBoxes(page) == 8);
    for (int id : kBoxes)
        CHECK(zxtest::IsEnabled(page, id));
}

TEST_CASE("windows: export of chosen groups for the current user and for all users") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    zxtest::TempDir dir;
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);

    const std::wstring mine = dir / L"mine.bin";
    zxtest::SetText(page, IDC_FILE_NAME, mine);
    zxtest::Press(page, IDC_CLEAR_ALL);
    zxtest::Press(page, IDC_DEVICE_SETTINGS);
    zxtest::Press(page, IDC_LAYOUTS);
    zxtest::Box result = Export(app, page);
    CHECK(result.caption == L"Success");
    CHECK(result.text == L"Settings exported.");
    CHECK(Shared(mine) == std::vector<std::wstring>{L"Devices", L"Layouts"});
    CHECK(Private(mine) == std::vector<std::wstring>{me});

    const std::wstring all = dir / L"all.bin";
    zxtest::SetText(page, IDC_FILE_NAME, all);
    zxtest::Press(page, IDC_ALL_USERS);
    zxtest::Press(page, IDC_CHECK_ALL);
    result = Export(app, page);
    CHECK(result.text == L"Settings exported.");
    std::vector<std::wstring> everyone = Private(all);
    CHECK(std::find(everyone.begin(), everyone.end(), me) != everyone.end());
    CHECK(Shared(all).size() == 4);
}

TEST_CASE("windows: an existing file is replaced only after Yes; an empty box is no valid path") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const std::wstring existing = dir / L"existing.bin";
    zxtest::WriteFileBytes(existing, "keep me");
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    zxtest::SetText(page, IDC_FILE_NAME, existing);
    Export(app, page, IDNO);
    Sleep(300);
    CHECK(zxtest::WaitForBox(app.program, 300).window == nullptr); // nothing follows No
    CHECK(zxtest::ReadFileBytes(existing) == "keep me");

    zxtest::Box result = Export(app, page, IDYES);
    CHECK(result.text == L"Settings exported.");
    CHECK(zxtest::ReadFileBytes(existing).substr(0, 4) == "QXTR");

    zxtest::SetText(page, IDC_FILE_NAME, L"");
    result = Export(app, page);
    CHECK(result.caption == L"Error");
    CHECK(result.text == L"Not valid path.");

    zxtest::SetText(page, IDC_FILE_NAME, dir / L"no folder\\x.bin");
    result = Export(app, page);
    CHECK(result.text == L"Not valid path.");
}

TEST_CASE("windows: Alt+? opens the About box from inside a page") {
    StoreFixture store({}, StoreFixture::kRealStore);
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    // The accelerator as the keyboard gives it to the control with the focus: Windows matches
    // Alt+"?" on the character message, Wine on the key message; both are sent.
    HWND edit = GetDlgItem(page, IDC_FILE_NAME);
    PostMessageW(edit, WM_SYSKEYDOWN, L'?', 1 << 29);
    PostMessageW(edit, WM_SYSCHAR, L'?', 1 << 29);
    zxtest::Box about = zxtest::WaitForBox(app.program);
    REQUIRE(about.window != nullptr);
    CHECK(about.caption == L"About settingsxfer");
    zxtest::Click(about.window, IDOK);
    while (IsWindow(about.window))
        Sleep(20);
}

TEST_CASE("windows: a file name of 259 characters is used whole") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const size_t nameLength = 259 - dir.path().size() - 1;
    REQUIRE(nameLength <= 255);
    const std::wstring path = dir / (std::wstring(nameLength - 4, L'n') + L".bin");
    REQUIRE(path.size() == 259);
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    zxtest::SetText(page, IDC_FILE_NAME, path);
    CHECK(zxtest::WindowText(GetDlgItem(page, IDC_FILE_NAME)) == path);
    zxtest::Box result = Export(app, page);
    CHECK(result.text == L"Settings exported.");
    CHECK(zxtest::ReadFileBytes(path).substr(0, 4) == "QXTR");
    // Nothing was written under a shortened name.
    CHECK_FALSE(zxtest::FileExists(path.substr(0, 255)));
}

TEST_CASE("windows: a failed export keeps the previous package and leaves no empty file") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const std::wstring previous = dir / L"previous.bin";
    zxtest::WriteFileBytes(previous, "QXTR the previous package");
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);

    // Another program holds the package open without delete sharing: the probe may open it for
    // writing, but the finished package cannot replace it.
    HANDLE holder = CreateFileW(previous.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    zxtest::SetText(page, IDC_FILE_NAME, previous);
    zxtest::Box result = Export(app, page, IDYES);
    CloseHandle(holder);
    // The box says why, as the trace does.
    CHECK(result.text.rfind(
              L"Export error.\n\nExport failed: the package " + previous + L" cannot be written", 0) == 0);
    CHECK(zxtest::ReadFileBytes(previous) == "QXTR the previous package");

    // A new package whose export cannot run (another transfer holds the store all the while)
    // says so and leaves nothing behind.
    const std::wstring fresh = dir / L"fresh.bin";
    {
        sx::StoreLock busy(sx::SharedRoot(true));
        REQUIRE(busy.Held());
        zxtest::SetText(page, IDC_FILE_NAME, fresh);
        result = Export(app, page);
    }
    CHECK(result.text == L"Another transfer of the settings store is running. Try again when it has ended.");
    CHECK_FALSE(zxtest::FileExists(fresh));
}

namespace {

HWND Focus(const App &app) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(app.main, nullptr), &info);
    return info.hwndFocus;
}

// Waits until the focus of the program is no longer from.
HWND FocusMovedFrom(const App &app, HWND from) {
    for (int i = 0; i < 1000 && Focus(app) == from; ++i)
        Sleep(10);
    return Focus(app);
}

// A key pressed on the control with the focus, as the keyboard delivers it.
void PressKey(HWND control, WPARAM key) {
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

} // namespace

TEST_CASE("windows: Tab moves between the page's controls and Space toggles the focused box") {
    StoreFixture store({}, StoreFixture::kRealStore);
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    HWND edit = GetDlgItem(page, IDC_FILE_NAME);
    PostMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    for (int i = 0; i < 1000 && Focus(app) != edit; ++i)
        Sleep(10);
    REQUIRE(Focus(app) == edit);

    // Tab walks the page's tab stops until it reaches an element box.
    HWND focus = edit;
    int presses = 0;
    while (!sxtest::IsBox(GetDlgCtrlID(focus)) && presses < 30) {
        PressKey(focus, VK_TAB);
        HWND next = FocusMovedFrom(app, focus);
        REQUIRE(next != focus);
        CHECK(GetParent(next) == page);
        focus = next;
        ++presses;
    }
    REQUIRE(sxtest::IsBox(GetDlgCtrlID(focus)));
    const int box = GetDlgCtrlID(focus);
    const bool was = zxtest::IsChecked(page, box);
    PressKey(focus, VK_SPACE);
    for (int i = 0; i < 1000 && zxtest::IsChecked(page, box) == was; ++i)
        Sleep(10);
    CHECK(zxtest::IsChecked(page, box) != was);
    PressKey(focus, VK_SPACE);
    for (int i = 0; i < 1000 && zxtest::IsChecked(page, box) != was; ++i)
        Sleep(10);
    CHECK(zxtest::IsChecked(page, box) == was);
}

TEST_CASE("windows: a long export keeps the window answering; Cancel keeps the previous package") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    // A registry branch that takes seconds to read.
    HKEY key = zxtest::CreateKey(sxtest::UserKey(me) + L"\\Many");
    REQUIRE(key != nullptr);
    for (DWORD i = 0; i < 150000; ++i)
        zxtest::SetValue(key, (L"v" + std::to_wstring(i)).c_str(), REG_DWORD, &i, sizeof i);
    RegCloseKey(key);
    zxtest::TempDir dir;
    const std::wstring previous = dir / L"previous.bin";
    zxtest::WriteFileBytes(previous, "QXTR the previous package");
    App app;
    HWND page = app.Page(L"Export");
    REQUIRE(page != nullptr);
    zxtest::SetText(page, IDC_FILE_NAME, previous);
    zxtest::Click(page, IDOK);
    zxtest::Box confirm = zxtest::WaitForBox(app.program);
    REQUIRE(confirm.caption == L"Confirm save as");
    zxtest::Click(confirm.window, IDYES);
    // The private registry branch is the last element but one: Cancel while it is read.
    const auto status = [&] { return zxtest::WindowText(GetDlgItem(page, IDC_PROGRESS_TEXT)); };
    REQUIRE(zxtest::Eventually([&] { return status().find(L"37 of 38") != std::wstring::npos; }, 60000));
    DWORD slowest = 0;
    for (int i = 0; i < 20; ++i) {
        const DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        CHECK(SendMessageTimeoutW(app.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &result) != 0);
        slowest = std::max(slowest, GetTickCount() - start);
        Sleep(10);
    }
    MESSAGE("slowest answer during the export: " << slowest << " ms");
    CHECK(zxtest::WindowText(GetDlgItem(page, IDOK)) == L"Cancel");
    zxtest::Click(page, IDOK);
    REQUIRE(sxtest::WaitIdle(page));
    CHECK(status() == L"Stopped: the store and the package are as they were.");
    CHECK(zxtest::ReadFileBytes(previous) == "QXTR the previous package");
    CHECK(zxtest::WaitForBox(app.program, 300).window == nullptr);
}
