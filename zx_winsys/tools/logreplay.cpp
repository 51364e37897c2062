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

DWORD LogFile::ReadNew(std::vector<std::wstring> *lines) {
    // Shared with every writer and with the age sweep, which may delete the file meanwhile.
    HANDLE file =
        CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    if (static_cast<unsigned long long>(size.QuadPart) < m_read) { // made anew: read it from its start
        m_read = 0;
        m_wide = -1;
        m_byte.clear();
        m_partial.clear();
    }
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(m_read);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    std::string bytes = m_byte;
    m_byte.clear();
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        char chunk[65536];
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            error = GetLastError();
            break;
        }
        if (got == 0) break;
        bytes.append(chunk, got);
        m_read += got;
    }
    CloseHandle(file);

    if (m_wide < 0 && bytes.size() >= 2)
        m_wide = static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE;
    else if (m_wide < 0 && !bytes.empty()) { // one byte: wait for the second
        m_byte = bytes;
        return error;
    }
    std::wstring text;
    if (m_wide == 1) {
        const size_t units = bytes.size() / 2;
        text.resize(units);
        for (size_t k = 0; k < units; ++k)
            text[k] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                           static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
        if (bytes.size() % 2) m_byte = bytes.substr(bytes.size() - 1);
    } else {
        text.assign(bytes.begin(), bytes.end());
        for (size_t k = 0; k < bytes.size(); ++k) // one byte per character, as the log writes it
            text[k] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[k]));
    }
    for (wchar_t c : text) {
        if (c == L'\xFEFF') continue; // the byte-order mark
        if (c == L'\n') {
            lines->push_back(m_partial);
            m_partial.clear();
        } else {
            m_partial += c;
        }
    }
    return error;
}

LogWindows::LogWindows() {
    m_bReuseFirstWindow = false; // every id gets a window of its own, as none is open yet
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

void LogWindows::Other(const std::wstring &line) {
    std::wstring text = line;
    if (!text.empty() && text.back() == L'\r') text.pop_back();
    // A text without a tag goes to the window of the id that stands for "no id".
    AddItem(text.c_str());
}

} // namespace tracewatch
