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
    RECT label;  // in the window's client area
    std::string text;
};

Geometry Measure(HWND dialog) {
    Geometry g = {};
    HWND label = GetDlgItem(dialog, 1005);
    GetWindowRect(dialog, &g.window);
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

// The text's extent as the window measures it: one line in the label's device context.
SIZE Extent(HWND dialog, const std::string &text) {
    HWND label = GetDlgItem(dialog, 1005);
    HDC dc = GetDC(label);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ReleaseDC(label, dc);
    return size;
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
    CHECK(g.label.left == 10);
    CHECK(g.label.top == 10);
    CHECK(Width(g.label) == 100);
    CHECK(Height(g.label) == 50);
    CHECK(Width(g.window) == 120);
    CHECK(Height(g.window) == 70);
    CHECK(g.window.left == (GetSystemMetrics(SM_CXSCREEN) - 120) / 2);
    CHECK(g.window.top == (GetSystemMetrics(SM_CYSCREEN) - 70) / 2);
}

TEST_CASE("message window: a second call gives the same window the new text and size") {
    Cleanup cleanup;
    CHECK(SdShowMsg2("Hi", 1) == 1);
    HWND first = MessageWindow();
    const std::string text(120, 'W');
    CHECK(SdShowMsg2(text.c_str(), 1) == 1);
    CHECK(MessageWindow() == first);
    CHECK(MessageWindowCount() == 1);
    const Geometry g = Measure(first);
    const SIZE extent = Extent(first, text);
    REQUIRE(extent.cx > 100);
    CHECK(g.text == text);
    CHECK(Width(g.label) == extent.cx);
    CHECK(Height(g.label) == (extent.cy < 50 ? 50 : extent.cy));
    CHECK(Width(g.window) == extent.cx + 20);
    // Centred, also when wider than the screen.
    CHECK(g.window.left == (GetSystemMetrics(SM_CXSCREEN) - (extent.cx + 20)) / 2);

    const std::string wide(10000, 'W');
    CHECK(SdShowMsg2(wide.c_str(), 1) == 1);
    // Far wider than the system's coordinates reach: shown, with the whole text.
    CHECK(Measure(first).text == wide);
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
