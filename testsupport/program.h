// Driving another program's windows from a test, as a user would: find its windows, read their
// texts, press buttons, read its exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zxtest {

class Program {
public:
    // Starts commandLine (in folder, or the test's current folder when empty). With inheritHandles
    // the program inherits this process's inheritable handles. With outputFile its standard
    // output and error go to that file, made anew.
    explicit Program(const std::wstring &commandLine, const std::wstring &folder = L"",
                     bool inheritHandles = false, const std::wstring &outputFile = L"");
    ~Program(); // a program still running is terminated
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    DWORD Id() const { return m_id; }
    bool Running() const;
    // A visible top-level window of this program with that class (null: any class), or null
    // after the time-out.
    HWND WaitForWindow(const wchar_t *className, DWORD timeoutMs = 30000) const;
    // All visible top-level windows of this program.
    std::vector<HWND> Windows() const;
    // Waits for the program's end and returns its exit code; fails the test on a time-out.
    DWORD WaitForExit(DWORD timeoutMs = 60000);
    // Ends the program at once, as a crash or power loss would.
    void Kill();

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
// The message text of a standard message box.
std::wstring MessageBoxText(HWND box);
// Presses a dialog's button: the dialog receives BN_CLICKED for it. Posted, so that a box the
// press opens does not hold up the test.
void Click(HWND dialog, int buttonId);
// Clicks a check box, radio button or push button itself (it changes its state and notifies its
// dialog, as a mouse click does); waits until the program has handled it.
void Press(HWND dialog, int buttonId);
bool IsChecked(HWND dialog, int buttonId);
bool IsEnabled(HWND dialog, int buttonId);
// A real click of the left (or right) mouse button at a point of window's client area (its
// centre when point is null): the cursor moves there and the system delivers the click to
// whatever window lies under it, as it would a user's.
void ClickAt(HWND window, const POINT *point = nullptr, bool rightButton = false);
// Real keys typed into window's top-level window, brought to the foreground: the keys go down
// in order and come up in reverse, as one chord ({VK_CONTROL, 'C'}).
void PressKeys(HWND window, const std::vector<WORD> &keys);
// The clipboard's text ("" when it holds none).
std::wstring ClipboardText();
// Sets the text of a dialog's control (an edit box).
void SetText(HWND dialog, int controlId, const std::wstring &text);
// The first child of parent with that class whose control id has the given text (for example a
// page whose button IDOK reads "Export"), or null.
HWND FindChildDialog(HWND parent, int controlId, const wchar_t *controlText);
// The path of a program beside the running test program.
std::wstring Beside(const wchar_t *program);

// A message box shown by a program: its caption, text and the buttons it has.
struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};
// Waits for the next message box ("#32770" window) of program; window is null after the time-out.
Box WaitForBox(const Program &program, DWORD timeoutMs = 30000);

} // namespace zxtest
