// The running settingsxfer program with its main window, tab control and pages, for tests.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "testsupport/zxtest.h"

namespace sxtest {

inline constexpr int kBoxes[] = {1007, 1029, 1030, 1031, 1032, 1033, 1034, 1035};
inline bool IsBox(int id) {
    for (int box : kBoxes)
        if (box == id) return true;
    return false;
}

// The running program with its main window, tab control and pages.
struct App {
    zxtest::Program program;
    HWND main = nullptr;
    HWND tabs = nullptr;
    HWND tab = nullptr;

    explicit App(const std::wstring &arguments = L"")
        : program(L"\"" + zxtest::Beside(L"settingsxfer.exe") + L"\" " + arguments) {
        main = program.WaitForWindow(L"SETTINGSXFER");
        REQUIRE(main != nullptr);
        tabs = FindWindowExW(main, nullptr, L"#32770", nullptr);
        REQUIRE(tabs != nullptr);
        tab = GetDlgItem(tabs, 1010);
        REQUIRE(tab != nullptr);
    }
    ~App() {
        if (program.Running()) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            CHECK(program.WaitForExit() == 0);
        }
    }
    HWND Page(const wchar_t *buttonText) const { return zxtest::FindChildDialog(tab, IDOK, buttonText); }
    // Chooses a tab as the keyboard would: the tab control selects it and tells the dialog.
    void ChooseTab(int index) const {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(tab, TCM_SETCURFOCUS, index, 0, SMTO_NORMAL, 10000, &result);
    }
};

// Waits until the page's job (a transfer, or the check of a package) has ended: its button no longer
// reads "Cancel" and its progress bar is hidden.
inline bool WaitIdle(HWND page) {
    return zxtest::Eventually(
        [&] {
            return zxtest::WindowText(GetDlgItem(page, IDOK)) != L"Cancel" &&
                   !IsWindowVisible(GetDlgItem(page, 1041));
        },
        60000);
}

// Presses a page's button that ends in a message box, answers the box with OK and returns what
// it showed.
inline zxtest::Box PressAndAnswer(App &app, HWND page, int buttonId) {
    zxtest::Click(page, buttonId);
    zxtest::Box box = zxtest::WaitForBox(app.program);
    REQUIRE(box.window != nullptr);
    zxtest::Click(box.window, IDOK);
    while (IsWindow(box.window))
        Sleep(20);
    return box;
}

} // namespace sxtest
