// What the log file takes from the system: the local time (day rollover, line prefixes, the age
// sweep), the shell (OpenLog) and the registry writes of SetProperties. Tests replace them.
#pragma once

#include <windows.h>

namespace qx {

struct LogSystem {
    void(WINAPI *localTime)(LPSYSTEMTIME);
    HINSTANCE(WINAPI *shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    LONG(WINAPI *setRegistryValue)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD); // the stored limits
};

LogSystem &LogFileSystem();

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
long DaysFromCivil(int year, int month, int day);

} // namespace qx
