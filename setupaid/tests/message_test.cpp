// The message window: one per process, its size following its text, centred on the screen.
#include "testsupport/zxtest.h"

#include <string>

#include "setupaid/setupaid.h"
#include "setupaid/tests/windows.h"

using setupaid_test::MessageWindow;
using setupaid_test::MessageWindowCount;

namespace {

struct Geometry {
    RECT window; // screen
    RECT client; // the window's client area, in screen coordinates
    RECT label;  // in the window's client area
    std::string text;
};

Geometry Measure(HWND dialog) {
    Geometry g = {};
    HWND label = GetDlgItem(dialog, 1005);
    GetWindowRect(dialog, &g.window);
    GetClientRect(dialog, &g.client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT *>(&g.client), 2);
    GetWindowRect(label, &g.label);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&g.label), 2);
    char text[16384] = {};
    GetWindowTextA(label, text, sizeof text);
    g.text = text;
    return g;
}

int Width(const RECT &r) {
    return r.right - r.left;
}

int Height(const RECT &r) {
    return r.bottom - r.top;
}

// The text's extent on one line in the font the label draws it with.
SIZE Extent(HWND dialog, const std::string &text) {
    HWND label = GetDlgItem(dialog, 1005);
    HDC dc = GetDC(label);
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(label, dc);
    return size;
}

RECT WorkArea() {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

bool Inside(const RECT &inner, const RECT &outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Removes a message window left by a failed check.
struct Cleanup {
    ~Cleanup() {
        SdShowMsg2(nullptr, 0);
        setupaid_test::Pump();
    }
};

} // namespace

TEST_CASE("message window: a short text gets the smallest size, topmost and centred") {
    Cleanup cleanup;
    CHECK(SdShowMsg2("Hi", 1) == 1);
    HWND dialog = MessageWindow();
    REQUIRE(dialog != nullptr);
    CHECK(IsWindowVisible(dialog));
    CHECK((GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    const Geometry g = Measure(dialog);
    CHECK(g.text == "Hi");
    // 10 pixels of client area all round the text area.
    CHECK(g.label.left == 10);
    CHECK(g.label.top == 10);
    CHECK(Width(g.label) == 100);
    CHECK(Height(g.label) == 50);
    CHECK(Width(g.client) == 120);
    CHECK(Height(g.client) == 70);
    CHECK(g.window.left == (GetSystemMetrics(SM_CXSCREEN) - Width(g.window)) / 2);
    CHECK(g.window.top == (GetSystemMetrics(SM_CYSCREEN) - Height(g.window)) / 2);
}

TEST_CASE("message window: a second call gives the same window the new text and size, measured in its font") {
    Cleanup cleanup;
    CHECK(SdShowMsg2("Hi", 1) == 1);
    HWND first = MessageWindow();
    const std::string text(60, 'W');
    CHECK(SdShowMsg2(text.c_str(), 1) == 1);
    CHECK(MessageWindow() == first);
    CHECK(MessageWindowCount() == 1);
    const Geometry g = Measure(first);
    const SIZE extent = Extent(first, text);
    REQUIRE(extent.cx > 100);
    CHECK(g.text == text);
    CHECK(Width(g.label) == extent.cx);
    CHECK(Height(g.label) == (extent.cy < 50 ? 50 : extent.cy));
    CHECK(Width(g.client) == extent.cx + 20);
    CHECK(g.window.left == (GetSystemMetrics(SM_CXSCREEN) - Width(g.window)) / 2);
}

TEST_CASE(
    "message window: a text wider than the work area is broken into lines; one too long is cut, on screen") {
    Cleanup cleanup;
    const RECT work = WorkArea();
    const std::string sentence = [] {
        std::string words;
        for (int i = 0; i < 120; ++i)
            words += "setup copies the platform's files ";
        return words;
    }();
    for (const std::string &text : {sentence, std::string(10000, 'W')}) {
        CAPTURE(text.size());
        CHECK(SdShowMsg2(text.c_str(), 1) == 1);
        HWND dialog = MessageWindow();
        REQUIRE(dialog != nullptr);
        const Geometry g = Measure(dialog);
        CHECK(g.text == text);
        CHECK(IsWindowVisible(dialog));
        CHECK(Inside(g.window, work));                    // shown, not pushed off the screen
        CHECK(Height(g.label) > Extent(dialog, text).cy); // several lines
        CHECK((GetWindowLongA(GetDlgItem(dialog, 1005), GWL_STYLE) & SS_CENTERIMAGE) == 0);
        CHECK(g.label.left == 10);
        CHECK(Width(g.client) - g.label.right == 10);
        CHECK(Height(g.client) - g.label.bottom == 10);
    }
    // Back to one line: vertically centred again.
    CHECK(SdShowMsg2("short again", 1) == 1);
    CHECK((GetWindowLongA(GetDlgItem(MessageWindow(), 1005), GWL_STYLE) & SS_CENTERIMAGE) != 0);
}

TEST_CASE("message window: removal, and a second removal with nothing left to remove") {
    CHECK(SdShowMsg2("going", 1) == 1);
    CHECK(SdShowMsg2(nullptr, 0) == 1);
    CHECK(MessageWindow() == nullptr);
    CHECK(SdShowMsg2("anything", 0) == 0);
    CHECK(SdShowMsg2("anything", 2) == 0);
}

TEST_CASE("message window: a window destroyed elsewhere is made again") {
    Cleanup cleanup;
    CHECK(SdShowMsg2("first", 1) == 1);
    HWND first = MessageWindow();
    REQUIRE(first != nullptr);
    DestroyWindow(first);
    CHECK(SdShowMsg2("second", 1) == 1);
    HWND second = MessageWindow();
    REQUIRE(second != nullptr);
    CHECK(Measure(second).text == "second");
    CHECK(SdShowMsg2(nullptr, 0) == 1);
    CHECK(MessageWindow() == nullptr);

    // Destroyed elsewhere and then removed: nothing left to remove.
    CHECK(SdShowMsg2("third", 1) == 1);
    DestroyWindow(MessageWindow());
    CHECK(SdShowMsg2(nullptr, 0) == 0);
}

TEST_CASE("message window: a null text keeps the dialog's own text") {
    Cleanup cleanup;
    CHECK(SdShowMsg2(nullptr, 1) == 1);
    HWND dialog = MessageWindow();
    REQUIRE(dialog != nullptr);
    CHECK(Measure(dialog).text == "Text");
    CHECK(SdShowMsg2(nullptr, 1) == 1); // nothing to show: unchanged
    CHECK(Measure(dialog).text == "Text");
}

namespace {

DWORD WINAPI RemoveFromAnotherThread(void *result) {
    *static_cast<int *>(result) = SdShowMsg2(nullptr, 0);
    return 0;
}

} // namespace

TEST_CASE("message window: removed by another thread, it goes when its own thread handles messages") {
    CHECK(SdShowMsg2("owned here", 1) == 1);
    int result = -1;
    HANDLE thread = CreateThread(nullptr, 0, RemoveFromAnotherThread, &result, 0, nullptr);
    REQUIRE(thread != nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CHECK(result == 1);
    setupaid_test::Pump();
    CHECK(MessageWindow() == nullptr);
}

TEST_CASE("message window: 500 show, update and hide cycles with empty, short, long and null texts") {
    const std::string texts[] = {"", "x", std::string(10000, 'm')};
    const int windows = setupaid_test::WindowCount();
    const long gdi = zxtest::GdiObjectCount(), handles = zxtest::HandleCount();
    int most = 0;
    for (int i = 0; i < 500; ++i) {
        CHECK(SdShowMsg2(texts[i % 3].c_str(), 1) == 1);
        CHECK(SdShowMsg2(i % 4 == 0 ? nullptr : texts[(i + 1) % 3].c_str(), 1) == 1);
        setupaid_test::Pump();
        const int count = MessageWindowCount();
        most = count > most ? count : most;
        CHECK(SdShowMsg2(nullptr, 0) == 1);
        setupaid_test::Pump();
    }
    CHECK(most == 1);
    CHECK(MessageWindowCount() == 0);
    CHECK(setupaid_test::WindowCount() == windows);
    CHECK(zxtest::HandleCount() <= handles + 2);
    // GDI objects where the table can be read (not in the 32-bit build under Wine, which is left
    // with the consequence: GDI objects can still be made).
    if (gdi >= 0) CHECK(zxtest::GdiObjectCount() <= gdi + 2);
    CHECK(zxtest::CanCreateGdiObjects());
}
