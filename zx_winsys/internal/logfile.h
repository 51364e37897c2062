// What the log file takes from the system: the local time (day rollover, line prefixes, the age
// sweep), the shell (OpenLog), the registry writes of SetProperties and the writes of lines. Tests
// replace them.
#pragma once

#include <windows.h>

namespace qx {

struct LogSystem {
    void(WINAPI *localTime)(LPSYSTEMTIME);
    HINSTANCE(WINAPI *shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    LONG(WINAPI *setRegistryValue)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD); // the stored limits
    BOOL(WINAPI *writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
};

LogSystem &LogFileSystem();

// Writes a text of several lines (an assertion report) to the log as one block: each line gets its
// time prefix and its cut as CQxLogFile::Log gives them, and no other writer's line, of this
// process or another, comes between them. The status of the write, as Log's.
int LogReport(const wchar_t *report);

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
long DaysFromCivil(int year, int month, int day);

} // namespace qx
