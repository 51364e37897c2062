// Switches the system's critical-error dialogs off for the calling thread while in scope.
#pragma once

#include <windows.h>

namespace qx {

// The thread's own error mode is used, so concurrent callers cannot leave the process mode
// changed by restoring each other's values.
class CriticalErrorsOff {
public:
    CriticalErrorsOff() { SetThreadErrorMode(GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &m_previous); }
    ~CriticalErrorsOff() { SetThreadErrorMode(m_previous, nullptr); }
    CriticalErrorsOff(const CriticalErrorsOff &) = delete;
    CriticalErrorsOff &operator=(const CriticalErrorsOff &) = delete;

private:
    DWORD m_previous = 0;
};

} // namespace qx
