// Windows for the setupaid tests: a parent window of the test's own, the message queue, and
// counts of the process's windows and GUI handles.
#pragma once

#include <windows.h>

#include <vector>

namespace setupaid_test {

// A visible top-level window of the test (400 x 360), destroyed with the object.
class Parent {
public:
    Parent();
    ~Parent();
    Parent(const Parent &) = delete;
    Parent &operator=(const Parent &) = delete;
    HWND get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

// Handles the messages waiting for the calling thread's windows.
void Pump();
// The visible message window ("#32770" with static control 1005) of this thread; null when none.
HWND MessageWindow();
// How many message windows this thread has.
int MessageWindowCount();
// The windows of this process, children included.
int WindowCount();
// The direct children of parent with the given class.
std::vector<HWND> Children(HWND parent, const char *className);

} // namespace setupaid_test
