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
// True for a file that a tracing window saved (UTF-8 with its byte-order mark).
bool IsSavedWindow(const std::wstring &path);
// The daily files of folder (ending with a backslash) whose name starts with prefix, sorted.
std::vector<std::wstring> DailyFiles(const std::wstring &folder, const std::wstring &prefix);

// One log file read from where the last read ended, a piece at a time. The log writes UTF-16
// (little-endian, with a byte-order mark at the file's start) or one byte per character; a tracing
// window saved to a file is UTF-8 with its byte-order mark.
class LogFile {
public:
    explicit LogFile(const std::wstring &path) : m_path(path) {}
    const std::wstring &Path() const { return m_path; }
    // Appends the lines completed since the last read (without their line feeds) to lines, from
    // at most limit bytes of the file; *more (may be null) tells whether the file holds more now.
    // A line still being written is kept until its line feed arrives. ERROR_SUCCESS, or the
    // system's error when the file could not be read.
    DWORD ReadNew(std::vector<std::wstring> *lines, size_t limit = ~size_t(0), bool *more = nullptr);
    // True for a saved tracing window (UTF-8 with its mark): its first line is the window's title,
    // every further line a row as it was shown.
    bool Saved() const { return m_encoding == kUtf8; }

private:
    enum Encoding { kUnknown, kBytes, kUtf16, kUtf8 };
    std::wstring m_path;
    unsigned long long m_read = 0; // bytes read so far
    Encoding m_encoding = kUnknown;
    std::string m_held;     // bytes of a character that a read split
    std::wstring m_partial; // a line without its line feed yet
};

// Tracing windows fed from log lines instead of the channel: records ("|wndid:" after the
// log's time prefix) go to the window of their id, as they would have live; every other line
// (session headers, reports) goes whole to a window of its own, titled with the files' names.
class LogWindows : public CDebugFramework {
public:
    // others: the window of other lines opens at once (a log's reader waits while any window is open).
    explicit LogWindows(bool others = true);
    // One line of a log, without its line feed.
    void Line(const std::wstring &line);
    // Shows a record that may still be waiting for lines that continue it.
    void EndOfData();
    // The title of the window of other lines.
    void SetFilesTitle(const std::wstring &title);
    // A line of a saved window (file is the saved file's number among those read): the first is
    // its title, every further one a row shown as it was.
    void SavedLine(int file, const std::wstring &line);

private:
    void Other(const std::wstring &line);

    std::wstring m_record; // a record that lines without a time prefix may continue
    bool m_inRecord = false;
    HWND m_others = nullptr;
    std::vector<std::wstring> m_savedTitles; // by saved file
};

} // namespace tracewatch
