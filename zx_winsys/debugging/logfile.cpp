// CQxLogFile: the shared daily log file of every process of the machine, and QX_Log.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/logfile.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_directory.h"
#include "zx_winsys/qx_file.h"

CQxLogFile *CQxLogFile::m_pSingleton = nullptr;
pthread_mutexCS_t CQxLogFile::m_classLock = nullptr;
bool CQxLogFile::m_bLogEnabled = true;
bool CQxLogFile::m_bUnicodeEnabled = false;

namespace {

const char kSource[] = "debugging/logfile";
const int kPathChars = 1024;
const int kLineChars = 511; // a line, time prefix included
const unsigned kMaxContinuation = 9999;
const DWORD kRetryMs = 1000; // a failed open is tried again after this
const wchar_t kRegistryKey[] = L"Software\\Varnholt\\Misc\\LogFile";
// Every dated log file name ("qxapp_????-??-??*.log"; escaped, "??-" would be a trigraph).
const wchar_t kDatedPattern[] = L"qxapp_\?\?\?\?-\?\?-\?\?*.log";

// Every writer of a file, in any process, takes a lock on this byte, far beyond any real end of
// file, around "move to the end, write" and around the start of a continuation file.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;

qx::LogSystem g_system = {GetLocalTime, ShellExecuteW, RegSetValueExW};

// The paths that GetLogFilename hands out, each kept unchanged for as long as the library is
// loaded (a reader never sees a path half rewritten): one per file the log has used, which are
// few. Guarded by the class lock.
std::set<std::wstring> *g_fileNames = nullptr;
const wchar_t *g_fileName = nullptr;
DWORD g_lastFailure = 0;
bool g_failedBefore = false;

class SharedFileLock {
public:
    explicit SharedFileLock(void *file) : m_file(static_cast<HANDLE>(file)) {
        OVERLAPPED at = {};
        at.OffsetHigh = kLockOffsetHigh;
        m_locked = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
    }
    ~SharedFileLock() {
        if (!m_locked) return;
        OVERLAPPED at = {};
        at.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(m_file, 0, 1, 0, &at);
    }
    SharedFileLock(const SharedFileLock &) = delete;
    SharedFileLock &operator=(const SharedFileLock &) = delete;

private:
    HANDLE m_file;
    bool m_locked = false;
};

// Appends bytes at the current end of the file; the caller holds the shared lock.
int Append(void *file, const void *bytes, size_t count) {
    int status = QX_SeekFile(file, 0, 2);
    if (status != QX_OK) return status;
    size_t written = 0;
    return QX_WriteFile(file, bytes, count, &written, nullptr);
}

std::wstring DateText(const SYSTEMTIME &date) {
    wchar_t text[32];
    swprintf(text, 32, L"_%04i-%02i-%02i", date.wYear, date.wMonth, date.wDay);
    return text;
}

std::wstring DayFile(const std::wstring &folder, const std::wstring &date, unsigned number) {
    if (number == 0) return folder + L"qxapp" + date + L".log";
    wchar_t suffix[16];
    swprintf(suffix, 16, L"_(%04u)", number);
    return folder + L"qxapp" + date + suffix + L".log";
}

// Calls visit(name) for every file of the folder matching the pattern.
template <typename Visit> void ForEachFile(const std::wstring &pattern, Visit visit) {
    SQxFindData data = {};
    void *find = nullptr;
    if (QX_FindFileFirst(pattern.c_str(), &find, &data) != QX_OK) return;
    do {
        if (!data.isDirectory) visit(std::wstring(data.name));
    } while (QX_FindFileNext(find, &data) == QX_OK);
    QX_FindFileClose(find);
}

// The continuation number of a name of the day ("qxapp_YYYY-MM-DD_(NNNN).log"), or 0.
unsigned ContinuationOf(const std::wstring &name) {
    if (name.size() < 19 || name[16] != L'_' || name[17] != L'(') return 0;
    return static_cast<unsigned>(wcstoul(name.c_str() + 18, nullptr, 10));
}

// The highest continuation number among the day's files (0 when there is none, or only the first).
unsigned NewestNumber(const std::wstring &folder, const std::wstring &date, bool *anyFile) {
    unsigned newest = 0;
    bool any = false;
    ForEachFile(folder + L"qxapp" + date + L"*.log", [&](const std::wstring &name) {
        any = true;
        const unsigned n = ContinuationOf(name);
        if (n > newest) newest = n;
    });
    if (anyFile) *anyFile = any;
    return newest;
}

std::wstring FolderOf(const wchar_t *path) {
    const std::wstring full(path);
    const size_t slash = full.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

// The date part ("_YYYY-MM-DD") of a log file's path.
std::wstring DateOfPath(const wchar_t *path) {
    const wchar_t *name = wcsrchr(path, L'\\');
    name = name ? name + 1 : path;
    return wcslen(name) >= 16 ? std::wstring(name + 5, 11) : std::wstring();
}

bool ReadDigits(const std::wstring &text, size_t at, size_t count, int *value) {
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return false;
        *value = *value * 10 + (text[i] - L'0');
    }
    return true;
}

// The date in a dated log file name; false when it does not parse.
bool DateOfName(const std::wstring &name, int *year, int *month, int *day) {
    if (name.size() < 16 || name.compare(0, 6, L"qxapp_") != 0 || name[10] != L'-' || name[13] != L'-')
        return false;
    return ReadDigits(name, 6, 4, year) && ReadDigits(name, 11, 2, month) && ReadDigits(name, 14, 2, day) &&
           *month >= 1 && *month <= 12 && *day >= 1 && *day <= 31;
}

bool ReadRegistryDword(HKEY key, const wchar_t *name, DWORD *value) {
    DWORD type = 0, size = sizeof(DWORD);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(DWORD);
}

bool CommonAppData(std::wstring *root) {
    wchar_t path[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return false;
    *root = path;
    return true;
}

// Makes folder (root\text\Logfiles) with its parents and stores it with a final backslash.
void UseFolder(wchar_t *out, const std::wstring &root, const std::wstring &text) {
    const std::wstring folder = root + L"\\" + text + L"\\Logfiles";
    QX_CreateDirectory(folder.c_str(), 1, 0);
    qx::CopyBounded(out, kPathChars, (folder + L"\\").c_str(), qx::Termination::Always);
}

} // namespace

namespace qx {

LogSystem &LogFileSystem() {
    return g_system;
}

long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace qx

// Opening: folder, limits, the newest file of the day, the age sweep and the session header.
CQxLogFile::CQxLogFile()
    : m_hFile(nullptr), m_bOpen(false), m_nDetailThreshold(0), m_uMaxLogMBytes(~0u), m_nMaxLogDays(10),
      m_wszFileName(), m_uBytesWritten(0) {
    wchar_t folder[kPathChars] = L"";
    GetLogFileDir(folder);
    QX_CreateDirectory(folder, 1, 0);

    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD value = 0;
        if (ReadRegistryDword(key, L"MaxLogDays", &value)) m_nMaxLogDays = static_cast<int>(value);
        if (ReadRegistryDword(key, L"MaxLogMBytes", &value)) m_uMaxLogMBytes = value == 0 ? ~0u : value;
        RegCloseKey(key);
    }

    SYSTEMTIME today;
    g_system.localTime(&today);
    const std::wstring date = DateText(today);
    unsigned newest = NewestNumber(folder, date, nullptr);
    if (newest > kMaxContinuation) newest = 0;
    const std::wstring path = DayFile(folder, date, newest);
    qx::CopyBounded(m_wszFileName, kPathChars, path.c_str(), qx::Termination::Always);
    if (path.size() >= static_cast<size_t>(kPathChars)) return;
    if (QX_OpenFile(m_wszFileName, QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS,
                    QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &m_hFile) != QX_OK) {
        m_hFile = nullptr;
        return;
    }
    QX_SeekFile(m_hFile, 0, 2);

    // The age sweep counts calendar days, so a change of daylight saving time never moves its
    // boundary. Every old name is tried: a file that another process holds open is skipped, and
    // a name whose date does not parse is never deleted.
    const long todayNumber = qx::DaysFromCivil(today.wYear, today.wMonth, today.wDay);
    ForEachFile(std::wstring(folder) + kDatedPattern, [&](const std::wstring &name) {
        int year = 0, month = 0, day = 0;
        if (!DateOfName(name, &year, &month, &day)) return;
        if (todayNumber - qx::DaysFromCivil(year, month, day) > m_nMaxLogDays)
            QX_RemoveFile((std::wstring(folder) + name).c_str(), 0);
    });

    wchar_t header[128];
    curr_time_string(header);
    wcscat(header, L"Log session started.\r\n");
    SharedFileLock lock(m_hFile);
    if (m_bUnicodeEnabled) {
        const std::wstring text = std::wstring(1, L'\xFEFF') + header;
        if (Append(m_hFile, text.data(), text.size() * sizeof(wchar_t)) != QX_OK) return;
        m_uBytesWritten = static_cast<unsigned>(text.size() * sizeof(wchar_t));
    } else {
        char narrow[128];
        wtoc(narrow, header);
        if (Append(m_hFile, narrow, strlen(narrow)) != QX_OK) return;
        m_uBytesWritten = static_cast<unsigned>(strlen(narrow));
    }
    m_nDetailThreshold = -1;
    m_bOpen = true;
}

CQxLogFile::~CQxLogFile() {
    if (m_hFile) QX_CloseFile(m_hFile);
}

void CQxLogFile::Initialize() {
    if (pthread_mutexCS_init(&m_classLock, nullptr) != 0) {
        m_classLock = nullptr;
        qx::Assert(L"pthread_mutexCS_init(&m_classLock, NULL)", nullptr, kSource, __LINE__);
        return;
    }
    m_bLogEnabled = true;
}

void CQxLogFile::Uninitialize() {
    if (m_classLock) pthread_mutexCS_destroy(&m_classLock);
    m_classLock = nullptr;
    delete g_fileNames;
    g_fileNames = nullptr;
    g_fileName = nullptr;
}

CQxLogFile *CQxLogFile::getInstance(bool) {
    // Opening runs the shell, the registry and the loader: never under the loader lock.
    if (qx::Loading() || !m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) return nullptr;
    if (!m_pSingleton && !(g_failedBefore && GetTickCount() - g_lastFailure < kRetryMs)) {
        CQxLogFile *instance = new (std::nothrow) CQxLogFile;
        if (instance && instance->m_bOpen) {
            m_pSingleton = instance;
            g_failedBefore = false;
            try {
                if (!g_fileNames) g_fileNames = new std::set<std::wstring>;
                g_fileName = g_fileNames->insert(instance->m_wszFileName).first->c_str();
            } catch (const std::bad_alloc &) {
                g_fileName = nullptr;
            }
        } else {
            delete instance;
            g_failedBefore = true;
            g_lastFailure = GetTickCount();
        }
    }
    CQxLogFile *instance = m_pSingleton;
    pthread_mutexCS_unlock(&m_classLock);
    return instance;
}

int CQxLogFile::SplitFile(CQxLogFile *instance) {
    if (!instance) return QX_ERR_SYSTEM;
    SYSTEMTIME today;
    g_system.localTime(&today);
    const std::wstring date = DateText(today);
    std::wstring folder = FolderOf(instance->m_wszFileName);
    if (folder.size() > 511) folder.resize(511);
    {
        // Under the lock that every writer of the current file takes: a writer that finds a newer
        // file of the day (another process has just started it) moves there instead of starting
        // yet another one.
        SharedFileLock lock(instance->m_hFile);
        bool any = false;
        unsigned newest = NewestNumber(folder, date, &any);
        const bool onNewest = !any || DayFile(folder, date, newest) == instance->m_wszFileName;
        if (onNewest) {
            unsigned next = any ? newest + 1 : 0;
            if (next > kMaxContinuation) next = 0;
            void *created = nullptr;
            int status = QX_OpenFile(DayFile(folder, date, next).c_str(),
                                     QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS,
                                     QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &created);
            if (status != QX_OK) return status;
            QX_CloseFile(created);
        }
    }
    CloseLog();
    return getInstance(false) && m_bLogEnabled ? QX_OK : QX_ERR_SYSTEM;
}

int CQxLogFile::Log(const wchar_t *text, int level) {
    qx::KeepLastError keep;
    if (!text) return QX_ERR_INVALID_ARG;
    if (!m_classLock || qx::Loading() || pthread_mutexCS_lock(&m_classLock) != 0) return QX_ERR_SYSTEM;
    CQxLogFile *instance = getInstance(false);
    int status = QX_ERR_SYSTEM;
    if (instance && m_bLogEnabled && level >= instance->m_nDetailThreshold) {
        // A new day starts its own file at its first line; a file that passed the size limit
        // (bytes of this instance, in whole megabytes) a continuation file.
        SYSTEMTIME now;
        g_system.localTime(&now);
        status = QX_OK;
        if (DateOfPath(instance->m_wszFileName) != DateText(now) ||
            instance->m_uBytesWritten / 1048576u > instance->m_uMaxLogMBytes) {
            status = SplitFile(instance);
            instance = m_pSingleton;
        }
        if (status == QX_OK && instance) {
            wchar_t line[kLineChars + 64];
            curr_time_string(line);
            const size_t prefix = wcslen(line);
            const size_t length = wcslen(text);
            if (prefix + length <= static_cast<size_t>(kLineChars)) {
                wmemcpy(line + prefix, text, length + 1);
            } else {
                // Cut to 511 characters; a text that ended a line keeps its line end.
                const bool lineEnd = length > 0 && text[length - 1] == L'\n';
                const size_t keep = (lineEnd ? kLineChars - 2 : kLineChars) - prefix;
                wmemcpy(line + prefix, text, keep);
                wcscpy(line + prefix + keep, lineEnd ? L"\r\n" : L"");
            }
            const size_t units = wcslen(line);
            SharedFileLock lock(instance->m_hFile);
            if (m_bUnicodeEnabled) {
                status = Append(instance->m_hFile, line, units * sizeof(wchar_t));
                if (status == QX_OK)
                    instance->m_uBytesWritten += static_cast<unsigned>(units * sizeof(wchar_t));
            } else {
                char narrow[kLineChars + 64];
                wtoc(narrow, line);
                status = Append(instance->m_hFile, narrow, units);
                if (status == QX_OK) instance->m_uBytesWritten += static_cast<unsigned>(units);
            }
        }
    }
    pthread_mutexCS_unlock(&m_classLock);
    return status;
}

bool CQxLogFile::Detail() {
    qx::KeepLastError keep;
    if (qx::Loading()) return false;
    CQxLogFile *instance = getInstance(false);
    return instance && m_bLogEnabled && instance->m_nDetailThreshold < 0;
}

bool CQxLogFile::IsEnabled() {
    return m_bLogEnabled;
}

bool CQxLogFile::EnableLog(bool enable) {
    qx::KeepLastError keep;
    const bool previous = m_bLogEnabled;
    m_bLogEnabled = enable;
    if (previous && !enable) CloseLog();
    return previous;
}

int CQxLogFile::CloseLog() {
    qx::KeepLastError keep;
    if (!m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) return QX_OK;
    delete m_pSingleton;
    m_pSingleton = nullptr;
    pthread_mutexCS_unlock(&m_classLock);
    return QX_OK;
}

int CQxLogFile::ClearLog() {
    qx::KeepLastError keep;
    if (!m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) return QX_ERR_SYSTEM;
    CQxLogFile *instance = getInstance(false);
    const int status = instance && m_bLogEnabled ? SplitFile(instance) : QX_ERR_SYSTEM;
    pthread_mutexCS_unlock(&m_classLock);
    return status;
}

const wchar_t *CQxLogFile::GetLogFilename() {
    qx::KeepLastError keep;
    if (!getInstance(false) || !m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) return nullptr;
    const wchar_t *name = m_pSingleton ? g_fileName : nullptr;
    pthread_mutexCS_unlock(&m_classLock);
    return name;
}

int CQxLogFile::SetProperties(int maxMBytes, int maxDays) {
    qx::KeepLastError keep;
    const struct {
        const wchar_t *name;
        DWORD value;
    } limits[] = {{L"MaxLogMBytes", static_cast<DWORD>(maxMBytes)},
                  {L"MaxLogDays", static_cast<DWORD>(maxDays)}};
    for (const auto &limit : limits) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return QX_ERR_SYSTEM;
        const LONG written = g_system.setRegistryValue(
            key, limit.name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&limit.value), sizeof limit.value);
        RegCloseKey(key);
        if (written != ERROR_SUCCESS) return QX_ERR_SYSTEM;
        if (!m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) continue;
        if (CQxLogFile *instance = getInstance(false)) {
            if (limit.name == limits[0].name)
                instance->m_uMaxLogMBytes = static_cast<unsigned>(maxMBytes);
            else
                instance->m_nMaxLogDays = maxDays;
        }
        pthread_mutexCS_unlock(&m_classLock);
    }
    return QX_OK;
}

int CQxLogFile::OpenLog(bool showFolder) {
    qx::KeepLastError keep;
    wchar_t folder[kPathChars] = L"";
    GetLogFileDir(folder);
    std::wstring newest;
    if (!showFolder) {
        // The search returns the oldest date first and, within a day, the first file before its
        // continuations: the last name is the newest file.
        ForEachFile(std::wstring(folder) + kDatedPattern, [&](const std::wstring &name) { newest = name; });
    }
    // Without any log file the folder is shown instead.
    if (newest.empty())
        g_system.shellExecute(GetActiveWindow(), L"open", L"explorer", folder, nullptr, SW_SHOWNORMAL);
    else
        g_system.shellExecute(GetActiveWindow(), L"open", L"notepad", (std::wstring(folder) + newest).c_str(),
                              nullptr, SW_SHOWNORMAL);
    return QX_OK;
}

int CQxLogFile::ChangeLogDetail(int) {
    return QX_OK;
}

int CQxLogFile::SaveAs(const wchar_t *, unsigned int) {
    return QX_OK;
}

int CQxLogFile::GetLogFileDir(wchar_t *folder) {
    folder[0] = L'\0';
    std::wstring root;
    CommonAppData(&root);

    // 1. The program's own resource "LogFileDir" of type "LOGFILEDIR".
    HMODULE program = GetModuleHandleW(nullptr);
    if (HRSRC found = FindResourceW(program, L"LogFileDir", L"LOGFILEDIR")) {
        const DWORD chars = SizeofResource(program, found) / sizeof(wchar_t);
        const wchar_t *text = static_cast<const wchar_t *>(LockResource(LoadResource(program, found)));
        if (text && chars > 0 && chars < 256) {
            const std::wstring value(text, wcsnlen(text, chars));
            if (!value.empty()) {
                UseFolder(folder, root, value);
                return QX_OK;
            }
        }
    }

    // 2. "SetupOptions.xml" beside the program.
    wchar_t program_path[kPathChars];
    const DWORD n = GetModuleFileNameW(nullptr, program_path, kPathChars);
    if (n > 0 && n < static_cast<DWORD>(kPathChars)) {
        ReadLogFileLocation(folder, (FolderOf(program_path) + L"SetupOptions.xml").c_str());
        if (folder[0] != L'\0') return QX_OK;
    }

    // 3. The platform's default folder, made by the instance.
    qx::CopyBounded(folder, kPathChars, (root + L"\\Varnholt\\Platform\\Logfiles\\").c_str(),
                    qx::Termination::Always);
    return QX_OK;
}

int CQxLogFile::ReadLogFileLocation(wchar_t *folder, const wchar_t *setupOptionsPath) {
    void *file = nullptr;
    if (QX_OpenFile(setupOptionsPath, QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file) != QX_OK)
        return QX_ERR_SYSTEM;
    uint64_t size = 0;
    void *view = nullptr;
    if (QX_GetFileSize(file, &size) != QX_OK || size == 0 || size > 0xFFFFFFFFu ||
        QX_MapFile(file, 1, 0, static_cast<uint32_t>(size), &view) != QX_OK) {
        QX_CloseFile(file);
        return QX_ERR_SYSTEM;
    }
    // The search never leaves the mapped bytes: a file of whole pages has no terminator.
    const wchar_t *text = static_cast<const wchar_t *>(view);
    const std::wstring content(text, static_cast<size_t>(size / sizeof(wchar_t)));
    const std::wstring element = L"<wsAppFolder runtype=\"CQxStringW\" value=\"";
    const size_t at = content.find(element);
    if (at != std::wstring::npos) {
        const size_t start = at + element.size();
        const size_t end = content.find(L'"', start);
        // A value without its closing quote, or too long for a path, falls through.
        if (end != std::wstring::npos && end - start <= 259) {
            std::wstring root;
            CommonAppData(&root);
            UseFolder(folder, root, content.substr(start, end - start));
        }
    }
    QX_UnmapFile(view);
    QX_CloseFile(file);
    return QX_OK;
}

void CQxLogFile::curr_time_string(wchar_t *buffer) {
    static const wchar_t *const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t *const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                             L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    SYSTEMTIME now;
    g_system.localTime(&now);
    swprintf(buffer, 64, L"%ls %ls %02i %02i:%02i:%02i %04i ***** ", kDays[now.wDayOfWeek % 7],
             kMonths[(now.wMonth + 11) % 12], now.wDay, now.wHour, now.wMinute, now.wSecond, now.wYear);
}

void CQxLogFile::wtoc(char *out, const wchar_t *text) {
    // One byte per unit: Latin-1 characters as they are, anything else as '?', never a byte
    // (NUL, line feed) that the low byte of a wider character would give.
    size_t i = 0;
    for (; text[i]; ++i)
        out[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
    out[i] = '\0';
}

void CQxLogFile::EnableUnicode(bool enable) {
    if (getInstance(false)) m_bUnicodeEnabled = enable;
}

extern "C" int QX_Log(const wchar_t *text) {
    qx::KeepLastError keep;
    return CQxLogFile::Log(text, 0);
}
