// The signature and the link: their windows, places, texts and fonts.
#include "testsupport/zxtest.h"

#include <string>

#include "setupaid/setupaid.h"
#include "setupaid/tests/windows.h"

using setupaid_test::Children;
using setupaid_test::Parent;

namespace {

RECT ClientRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

std::string Text(HWND window) {
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

LOGFONTA Font(HWND window) {
    LOGFONTA font = {};
    HFONT handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    REQUIRE(handle != nullptr);
    REQUIRE(GetObjectA(handle, sizeof font, &font) == sizeof font);
    return font;
}

} // namespace

TEST_CASE("signature: a greyed name in a small window at the foot of the parent") {
    Parent parent;
    CHECK(show_sign(parent.get()) == 10);
    const std::vector<HWND> frames = Children(parent.get(), "WindowsApp");
    REQUIRE(frames.size() == 1);
    HWND frame = frames[0];
    CHECK(Text(frame) == "Windows App");
    CHECK(IsWindowVisible(frame));
    const RECT place = ClientRect(frame);
    CHECK(place.left == 2);
    CHECK(place.top == 297);
    CHECK(place.right - place.left == 100);
    CHECK(place.bottom - place.top == 15);

    HWND name = FindWindowExA(frame, nullptr, "Static", nullptr);
    REQUIRE(name != nullptr);
    CHECK(Text(name) == "Varnholt");
    const LONG style = GetWindowLongA(name, GWL_STYLE);
    CHECK((style & WS_DISABLED) != 0);
    CHECK((style & SS_NOTIFY) != 0);
    const RECT namePlace = ClientRect(name);
    CHECK(namePlace.left == 2);
    CHECK(namePlace.top == 0);
    CHECK(namePlace.right - namePlace.left == 120);
    const LOGFONTA font = Font(name);
    CHECK(std::string(font.lfFaceName) == "Arial");
    CHECK(font.lfHeight == 14);
    CHECK(font.lfWidth == 5);
    CHECK(font.lfWeight == 400);
    CHECK(font.lfQuality == ANTIALIASED_QUALITY);
    CHECK(font.lfPitchAndFamily == 0x31);

    // A second signature: the class is registered already, and the font is the same one.
    HFONT first = reinterpret_cast<HFONT>(SendMessageA(name, WM_GETFONT, 0, 0));
    CHECK(show_sign(parent.get()) == 10);
    const std::vector<HWND> both = Children(parent.get(), "WindowsApp");
    REQUIRE(both.size() == 2);
    HWND secondName = FindWindowExA(both[1] == frame ? both[0] : both[1], nullptr, "Static", nullptr);
    CHECK(reinterpret_cast<HFONT>(SendMessageA(secondName, WM_GETFONT, 0, 0)) == first);
}

TEST_CASE("link: takes the placeholder's place, as large as its text; the placeholder goes") {
    Parent parent;
    HWND placeholder = CreateWindowExA(0, "STATIC", "placeholder", WS_CHILD | WS_VISIBLE, 150, 200, 140, 16,
                                       parent.get(), nullptr, GetModuleHandleA(nullptr), nullptr);
    REQUIRE(placeholder != nullptr);
    RECT placeholderScreen = {}, parentScreen = {};
    GetWindowRect(placeholder, &placeholderScreen);
    GetWindowRect(parent.get(), &parentScreen);

    CHECK(odkaz(parent.get(), placeholder) == 10);
    CHECK_FALSE(IsWindow(placeholder));
    const std::vector<HWND> links = Children(parent.get(), "odkaz");
    REQUIRE(links.size() == 1);
    CHECK(Text(links[0]) == "odkaz");
    const RECT place = ClientRect(links[0]);
    CHECK(place.left == placeholderScreen.left - parentScreen.left - 3);
    CHECK(place.top == placeholderScreen.top - parentScreen.top - 22);
    // As large as the address's text, within the placeholder: nothing beside the text is the link.
    CHECK(place.right - place.left > 60);
    CHECK(place.right - place.left < 140);
    CHECK(place.bottom - place.top > 8);
    CHECK(place.bottom - place.top <= 16);
    const POINT beside = {placeholderScreen.left + 135, placeholderScreen.top + 8};
    CHECK(WindowFromPoint(beside) != links[0]);
    CHECK(reinterpret_cast<HCURSOR>(GetClassLongPtrA(links[0], GCLP_HCURSOR)) ==
          LoadCursor(nullptr, IDC_HAND));
    setupaid_test::Pump();

    // A placeholder that is the parent itself, holds it, or is no window is refused: the caller's
    // windows stay.
    HWND inner = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent.get(), nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    CHECK(odkaz(parent.get(), parent.get()) == 0);
    CHECK(odkaz(inner, parent.get()) == 0);
    CHECK(odkaz(parent.get(), nullptr) == 0);
    CHECK(odkaz(nullptr, inner) == 0);
    CHECK(IsWindow(parent.get()));
    CHECK(IsWindow(inner));
    CHECK(Children(parent.get(), "odkaz").size() == 1);
}
