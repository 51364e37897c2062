// The log folder of a test program: every test program that logs carries its own "LogFileDir"
// resource, so its log files stay apart from those of other programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zxtest_log {

// CommonAppData\<the program's LogFileDir>\Logfiles, without a final backslash.
std::wstring LogFolder();
// Deletes everything in the log folder (creating the folder when it is missing).
void ClearLogFolder();
// The names of the log files (*.log) in the log folder, sorted.
std::vector<std::wstring> LogFiles();
// A text that tells this process from every other run of the day: process ids repeat, and the
// log files of earlier runs stay in the folder.
std::string RunTag();
// The bytes of every log file, in name order.
std::string ReadAllLogs();
// "qxapp_YYYY-MM-DD.log" (continuation 0) or "qxapp_YYYY-MM-DD_(NNNN).log" for the local date
// daysFromToday days away.
std::wstring DayName(int daysFromToday, unsigned continuation = 0);
// Sets (a value of -1 removes) "MaxLogMBytes" and "MaxLogDays" under the log file's registry key;
// any 32-bit value can be set.
void SetLimits(long long maxMBytes, long long maxDays);

} // namespace zxtest_log
