// Log files read back into tracing windows.
#include "logreplay.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>

namespace tracewatch {

namespace {

const wchar_t kOthersTitle[] = L"Tracing Window ID: 2147483647"; // the window made for INT_MAX
const int kOthersId = INT_MAX; // the id under which the framework routes texts without a tag

std::wstring NameOf(const std::wstring &path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "qxapp_YYYY-MM-DD.log" gives "YYYY-MM-DD" and 0, "qxapp_YYYY-MM-DD_(NNNN).log" the date and
// NNNN; any other name gives false.
bool DailyKey(const std::wstring &path, std::wstring *date, unsigned *continuation) {
    std::wstring name = NameOf(path);
    for (wchar_t &c : name)
        c = static_cast<wchar_t>(towlower(c));
    if (name.size() < 20 || name.compare(0, 6, L"qxapp_") != 0 ||
        name.compare(name.size() - 4, 4, L".log") != 0)
        return false;
    for (size_t k = 6; k < 16; ++k)
        if ((k == 10 || k == 13) ? name[k] != L'-' : !iswdigit(name[k])) return false;
    *date = name.substr(6, 10);
    *continuation = 0;
    if (name.size() == 20) return true;
    if (name.size() != 27 || name.compare(16, 2, L"_(") != 0 || name[22] != L')') return false;
    for (size_t k = 18; k < 22; ++k) {
        if (!iswdigit(name[k])) return false;
        *continuation = *continuation * 10 + static_cast<unsigned>(name[k] - L'0');
    }
    return true;
}

// The log's time prefix, "Www Mmm dd hh:mm:ss yyyy ***** ": its length, or 0 when line has none.
size_t TimePrefix(const std::wstring &line) {
    const size_t length = 31;
    if (line.size() < length || line.compare(25, 6, L"***** ") != 0) return 0;
    for (size_t k : {3, 7, 10, 19, 24})
        if (line[k] != L' ') return 0;
    for (size_t k : {11, 12, 14, 15, 17, 18, 20, 21, 22, 23})
        if (!iswdigit(line[k])) return 0;
    return line[13] == L':' && line[16] == L':' ? length : 0;
}

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32] = L"", title[64] = L"";
    if (process == GetCurrentProcessId() && GetClassNameW(window, name, 32) &&
        wcscmp(name, L"ZENTRIX_DEBUG_WINDOW") == 0 && GetWindowTextW(window, title, 64) &&
        wcscmp(title, kOthersTitle) == 0) {
        *reinterpret_cast<HWND *>(param) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

void SortLogFiles(std::vector<std::wstring> *paths) {
    std::stable_sort(paths->begin(), paths->end(), [](const std::wstring &a, const std::wstring &b) {
        std::wstring dateA, dateB;
        unsigned numberA = 0, numberB = 0;
        const bool dailyA = DailyKey(a, &dateA, &numberA), dailyB = DailyKey(b, &dateB, &numberB);
        if (dailyA != dailyB) return !dailyA; // other names first
        if (!dailyA) return false;            // as given
        return dateA != dateB ? dateA < dateB : numberA < numberB;
    });
}

bool IsSavedWindow(const std::wstring &path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    unsigned char mark[3] = {};
    DWORD got = 0;
    const bool saved = file != INVALID_HANDLE_VALUE && ReadFile(file, mark, 3, &got, nullptr) && got == 3 &&
                       mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return saved;
}

bool ComesAfter(const std::wstring &path, const std::wstring &after) {
    std::wstring date, afterDate;
    unsigned number = 0, afterNumber = 0;
    if (!DailyKey(path, &date, &number) || !DailyKey(after, &afterDate, &afterNumber)) return false;
    return date != afterDate ? date > afterDate : number > afterNumber;
}

std::vector<std::wstring> DailyFiles(const std::wstring &folder, const std::wstring &prefix) {
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + prefix + L"*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return paths;
    do {
        std::wstring date;
        unsigned number = 0;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && DailyKey(found.cFileName, &date, &number))
            paths.push_back(folder + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    SortLogFiles(&paths);
    return paths;
}

DWORD LogFile::ReadNew(std::vector<std::wstring> *lines, size_t limit, bool *more) {
    if (more) *more = false;
    // Shared with every writer and with the age sweep, which may delete the file meanwhile.
    HANDLE file =
        CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    if (static_cast<unsigned long long>(size.QuadPart) < m_read) { // made anew: read it from its start
        m_read = 0;
        m_encoding = kUnknown;
        m_held.clear();
        m_partial.clear();
    }
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(m_read);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    std::string bytes = m_held;
    m_held.clear();
    DWORD error = ERROR_SUCCESS;
    for (size_t taken = 0; taken < limit;) {
        char chunk[65536];
        const DWORD want = static_cast<DWORD>(limit - taken < sizeof chunk ? limit - taken : sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(file, chunk, want, &got, nullptr)) {
            error = GetLastError();
            break;
        }
        if (got == 0) break;
        bytes.append(chunk, got);
        m_read += got;
        taken += got;
    }
    if (more) *more = m_read < static_cast<unsigned long long>(size.QuadPart);
    CloseHandle(file);

    if (m_encoding == kUnknown) {
        if (bytes.size() < 3 &&
            bytes.size() < static_cast<unsigned long long>(size.QuadPart)) { // wait for the mark's bytes
            m_held = bytes;
            return error;
        }
        const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data());
        if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE)
            m_encoding = kUtf16;
        else if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
            m_encoding = kUtf8;
        else
            m_encoding = kBytes;
    }
    std::wstring text;
    if (m_encoding == kUtf16) {
        const size_t units = bytes.size() / 2;
        text.resize(units);
        for (size_t k = 0; k < units; ++k)
            text[k] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                           static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
        if (bytes.size() % 2) m_held = bytes.substr(bytes.size() - 1);
    } else if (m_encoding == kUtf8) {
        // A character that the read split waits for its other bytes.
        size_t whole = bytes.size();
        for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
            const unsigned char c = static_cast<unsigned char>(bytes[bytes.size() - back]);
            if ((c & 0xC0) == 0x80) continue;
            const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > back) whole = bytes.size() - back;
            break;
        }
        m_held = bytes.substr(whole);
        const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(whole), nullptr, 0);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(whole), &text[0], n);
    } else {
        text.resize(bytes.size());
        for (size_t k = 0; k < bytes.size(); ++k) // one byte per character, as the log writes it
            text[k] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[k]));
    }
    for (wchar_t c : text) {
        if (c == L'\xFEFF') continue; // the byte-order mark
        if (c == L'\n') {
            if (!m_partial.empty() && m_partial.back() == L'\r' && m_encoding == kUtf8) m_partial.pop_back();
            lines->push_back(std::move(m_partial));
            m_partial.clear();
        } else {
            m_partial += c;
        }
    }
    return error;
}

LogWindows::LogWindows(bool others) {
    m_bReuseFirstWindow = false; // every id gets a window of its own, as none is open yet
    if (!others) return;
    CreateDebugWindow(kOthersId);
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&m_others));
}

void LogWindows::SetFilesTitle(const std::wstring &title) {
    if (m_others) SendMessageW(m_others, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

void LogWindows::Line(const std::wstring &line) {
    const std::wstring text = line.substr(TimePrefix(line));
    if (text.compare(0, 7, L"|wndid:") == 0) {
        EndOfData();
        // The record as the channel carried it: with the line end that the log keeps.
        m_record = text + L"\n";
        m_inRecord = true;
    } else if (m_inRecord && TimePrefix(line) == 0) {
        m_record += line + L"\n"; // a record that held line feeds goes on
    } else {
        EndOfData();
        Other(line);
    }
}

void LogWindows::EndOfData() {
    if (!m_inRecord) return;
    m_inRecord = false;
    AddItem(m_record.c_str());
    m_record.clear();
}

void LogWindows::SavedLine(int file, const std::wstring &line) {
    if (file >= static_cast<int>(m_savedTitles.size())) m_savedTitles.resize(static_cast<size_t>(file) + 1);
    std::wstring &title = m_savedTitles[static_cast<size_t>(file)];
    if (title.empty()) {
        title = line.empty() ? L" " : line;
        return;
    }
    // Ids no record can have: one window per saved file, titled as it was.
    AddRow(INT_MIN + file, title.c_str(), line.c_str());
}

void LogWindows::Other(const std::wstring &line) {
    std::wstring text = line;
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    // A text without a tag goes to the window of the id that stands for "no id".
    AddItem(text.c_str());
}

} // namespace tracewatch
