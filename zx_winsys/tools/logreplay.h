// Reading the platform's daily log files back into tracing windows: the order of a day's files,
// their two encodings, and the records among the other lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "zx_winsys/zx_winsys.h"

namespace tracewatch {

// Orders log files as they were written: files with other names first, as given; then the
// daily files "qxapp_YYYY-MM-DD.log" by date, each followed by its continuations
// "qxapp_YYYY-MM-DD_(NNNN).log" by number.
void SortLogFiles(std::vector<std::wstring> *paths);
// True when the name of path (without its folder) is a daily file that comes after the one of
// after (itself a daily file): a continuation of it, or a file of a later day.
bool ComesAfter(const std::wstring &path, const std::wstring &after);
// The daily files of folder (ending with a backslash) whose name starts with prefix, sorted.
std::vector<std::wstring> DailyFiles(const std::wstring &folder, const std::wstring &prefix);

// One log file read from where the last read ended. The log writes UTF-16 (little-endian, with
// a byte-order mark at the file's start) or one byte per character.
class LogFile {
public:
    explicit LogFile(const std::wstring &path) : m_path(path) {}
    const std::wstring &Path() const { return m_path; }
    // Appends the lines completed since the last read (without their line feeds) to lines.
    // A line still being written is kept until its line feed arrives. ERROR_SUCCESS, or the
    // system's error when the file could not be read.
    DWORD ReadNew(std::vector<std::wstring> *lines);

private:
    std::wstring m_path;
    unsigned long long m_read = 0; // bytes read so far
    int m_wide = -1;               // -1 before the first bytes, else 1 for UTF-16
    std::string m_byte;            // the first byte of a UTF-16 unit split by a read
    std::wstring m_partial;        // a line without its line feed yet
};

// Tracing windows fed from log lines instead of the channel: records ("|wndid:" after the
// log's time prefix) go to the window of their id, as they would have live; every other line
// (session headers, reports) goes whole to a window of its own, titled with the files' names.
class LogWindows : public CDebugFramework {
public:
    LogWindows();
    // One line of a log, without its line feed.
    void Line(const std::wstring &line);
    // Shows a record that may still be waiting for lines that continue it.
    void EndOfData();
    // The title of the window of other lines.
    void SetFilesTitle(const std::wstring &title);

private:
    void Other(const std::wstring &line);

    std::wstring m_record; // a record that lines without a time prefix may continue
    bool m_inRecord = false;
    HWND m_others = nullptr;
};

} // namespace tracewatch
