// Internals of the diagnostics shared by the trace writer, the assertion reporter and the capture.
#pragma once

#include <windows.h>

#include <cstdarg>

namespace qx {

// Saves the thread's last-error value and gives it back when it goes.
class KeepLastError {
public:
    KeepLastError();
    ~KeepLastError();
    KeepLastError(const KeepLastError &) = delete;
    KeepLastError &operator=(const KeepLastError &) = delete;

private:
    DWORD m_error;
};

// The failure option word.
int FailureOptions();

// Turns the debug-output channel sink of the calling thread's trace records off (false) or on.
// The capture's own threads write nothing to the channel: a listener would wait on itself, and an
// adder would feed itself.
void SetChannelSinkForThread(bool on);

// Writes text (length characters, terminated) to the debug-output channel in pieces that a capture
// hands on whole; every piece after the first starts with tag, as a record's routing tag.
void SendInPieces(const wchar_t *text, size_t length, const wchar_t *tag);

// DiagOutputExW with a va_list.
void WriteRecordV(const wchar_t *format, va_list args);

// Appends the stack trace of the calling thread to report (room characters in all, terminated),
// starting at the frame that returns to callerReturn (the caller of the assertion function). The
// caller holds the reporter's lock: the system's symbol engine is single-threaded.
void AppendStackTrace(wchar_t *report, size_t room, const void *callerReturn);

// Writes the report to the system event log; false when that failed (and then for good).
bool ReportToEventLog(const wchar_t *report);

} // namespace qx
