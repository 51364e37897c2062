// CQxLogFile: the shared daily log file of every process of the machine, and QX_Log.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/logfile.h"
#include "zx_winsys/internal/module.h"
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
const DWORD kRetryMs = 1000; // a failed open, or a new file that could not be made, is tried again after this
const DWORD kLockWaitMs = 250;           // the longest a line waits for another program's hold of the file
const DWORD kKeepEverythingDays = 36500; // a larger "MaxLogDays" (or a negative one) keeps every file
const unsigned kSweepDeletions = 1000;   // expired files deleted by one opening, at most
const DWORD kSweepWaitMs = 30000;        // a sweep waits this long for another process's sweep
const wchar_t kRegistryKey[] = L"Software\\Varnholt\\Misc\\LogFile";
// Every dated log file name ("qxapp_????-??-??*.log"; escaped, "??-" would be a trigraph).
const wchar_t kDatedPattern[] = L"qxapp_\?\?\?\?-\?\?-\?\?*.log";

// Every writer of a file, in any process, takes a lock on this byte, far beyond any real end of
// file, around "move to the end, write" and around the start of a continuation file.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;

qx::LogSystem g_system = {GetLocalTime, ShellExecuteW, RegSetValueExW, WriteFile};

// The paths that GetLogFilename hands out, each kept unchanged for as long as the library is
// loaded (a reader never sees a path half rewritten): one per file the log has used, which are
// few. Guarded by the class lock.
std::set<std::wstring> *g_fileNames = nullptr;
const wchar_t *g_fileName = nullptr;
DWORD g_lastFailure = 0;
bool g_failedBefore = false;

// Lines of this process that were meant for the file and are not in it, by reason; the next line
// that lands says how many. Guarded by the class lock.
enum Loss { kLockHeld, kWriteFailed, kNoFile, kDayFull, kLossKinds };
unsigned g_lost[kLossKinds] = {};
// The last wait for the byte lock ran out at g_lockBusyAt: until a second has passed, a line tries
// once and does not wait, so that a program holding the lock costs one wait a second, not one a
// line. Guarded by the class lock.
bool g_lockBusy = false;
DWORD g_lockBusyAt = 0;
// A new file (next day, size limit) could not be made at g_splitFailedAt with g_splitStatus: lines
// stay in the current file and the new one is tried again after kRetryMs; the first line after the
// failure says so. Guarded by the class lock.
bool g_splitFailed = false, g_splitNoted = false;
DWORD g_splitFailedAt = 0;
int g_splitStatus = QX_OK;
// The date ("_YYYY-MM-DD") whose files up to the last continuation are all at the size limit: the
// rest of that day's lines are refused. Guarded by the class lock.
std::wstring *g_dayFull = nullptr;
// The day (days since 1970) whose expired files this process has swept. Guarded by the class lock.
long g_sweptDay = -1;
// A report being written as one block: Log adds its lines to *lines, then writes them all at once
// under one hold of the file. Guarded by the class lock.
struct Block {
    std::wstring *lines = nullptr;
    size_t count = 0;
    bool flush = false;
} g_block;

// The byte lock, waited for at most kLockWaitMs (another program may hold it as long as it likes).
class SharedFileLock {
public:
    explicit SharedFileLock(void *file) : m_file(static_cast<HANDLE>(file)) {
        m_locked = Try();
        if (m_locked) return;
        const bool wait = !(g_lockBusy && GetTickCount() - g_lockBusyAt < kRetryMs);
        // Writers of the platform hold the lock for microseconds: a few quick tries, then one a
        // millisecond (each try asks the system, which every other program also waits on).
        const DWORD start = GetTickCount();
        for (DWORD round = 0; wait && !m_locked && GetTickCount() - start < kLockWaitMs; ++round) {
            if (round < 4)
                SwitchToThread();
            else
                Sleep(1);
            m_locked = Try();
        }
        if (m_locked) {
            g_lockBusy = false;
        } else if (wait) {
            g_lockBusy = true;
            g_lockBusyAt = GetTickCount();
        }
    }
    ~SharedFileLock() {
        if (!m_locked) return;
        OVERLAPPED at = {};
        at.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(m_file, 0, 1, 0, &at);
    }
    SharedFileLock(const SharedFileLock &) = delete;
    SharedFileLock &operator=(const SharedFileLock &) = delete;
    bool Locked() const { return m_locked; }

private:
    bool Try() {
        OVERLAPPED at = {};
        at.OffsetHigh = kLockOffsetHigh;
        return LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
    }

    HANDLE m_file;
    bool m_locked = false;
};

// Appends bytes at the current end of the file, whole or not at all: a write cut short (a full
// drive) is taken back to where it began. The caller holds the byte lock.
int Append(void *file, const void *bytes, size_t count) {
    const HANDLE handle = static_cast<HANDLE>(file);
    LARGE_INTEGER zero = {}, end = {};
    if (!SetFilePointerEx(handle, zero, &end, FILE_END)) return QX_ERR_SEEK_FILE;
    const char *from = static_cast<const char *>(bytes);
    size_t done = 0;
    while (done < count) {
        const DWORD want = count - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count - done);
        DWORD put = 0;
        if (!g_system.writeFile(handle, from + done, want, &put, nullptr) || put == 0) break;
        done += put;
    }
    if (done == count) return QX_OK;
    if (done > 0 && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN)) SetEndOfFile(handle);
    return QX_ERR_WRITE_FILE;
}

// The size of the file, or 0 when it cannot be read.
uint64_t SizeOf(void *file) {
    uint64_t size = 0;
    return QX_GetFileSize(file, &size) == QX_OK ? size : 0;
}

// The time prefix and the text, cut to kLineChars in all (a text that ended a line keeps its end).
std::wstring FormatLine(const wchar_t *prefix, const wchar_t *text) {
    std::wstring line(prefix);
    const size_t length = wcslen(text);
    if (line.size() + length <= static_cast<size_t>(kLineChars)) return line.append(text, length);
    const bool lineEnd = length > 0 && text[length - 1] == L'\n';
    const size_t keep = (lineEnd ? kLineChars - 2 : kLineChars) - line.size();
    return line.append(text, keep).append(lineEnd ? L"\r\n" : L"");
}

// The lines lost since the last one that landed, and a new file that could not be made, as lines
// of their own; empty when there is nothing to say.
std::wstring LossNotes(const wchar_t *prefix) {
    std::wstring notes;
    if (g_splitFailed && !g_splitNoted) {
        wchar_t text[160];
        swprintf(text, 160,
                 L"[a new log file could not be started (status %d); the lines go on in this file]\r\n",
                 g_splitStatus);
        notes += prefix + std::wstring(text);
    }
    unsigned total = 0;
    for (unsigned n : g_lost)
        total += n;
    if (total == 0) return notes;
    static const wchar_t *const kReasons[kLossKinds] = {L"another program held the file", L"the write failed",
                                                        L"no log file could be opened",
                                                        L"the day's files were all at the size limit"};
    std::wstring text = L"[" + std::to_wstring(total) + L" lines of this process were not written:";
    const wchar_t *separator = L" ";
    for (int kind = 0; kind < kLossKinds; ++kind) {
        if (g_lost[kind] == 0) continue;
        text += separator + std::to_wstring(g_lost[kind]) + L" as " + kReasons[kind];
        separator = L", ";
    }
    return notes + prefix + text + L"]\r\n";
}

void ForgetLosses() {
    for (unsigned &n : g_lost)
        n = 0;
    if (g_splitFailed) g_splitNoted = true;
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

// The newest continuation of the day is noted in a small file of the folder (the date and the
// number, "_YYYY-MM-DD NNNN"), so that opening need not walk a folder of thousands of files: the
// note is believed when the file it names is there. Whoever starts a continuation, or has walked
// the folder, writes it; a note that lags behind only puts lines in an older file of the day until
// the next continuation, whose start walks the folder.
const wchar_t kNewestNote[] = L"qxapp.newest";

bool ReadNewestNote(const std::wstring &folder, const std::wstring &date, unsigned *newest) {
    HANDLE file = CreateFileW((folder + kNewestNote).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char text[17] = {};
    DWORD got = 0;
    const bool read = ReadFile(file, text, 16, &got, nullptr) && got == 16;
    CloseHandle(file);
    if (!read || text[11] != ' ') return false;
    for (size_t i = 0; i < 11; ++i)
        if (static_cast<wchar_t>(text[i]) != date[i]) return false;
    unsigned number = 0;
    for (size_t i = 12; i < 16; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + static_cast<unsigned>(text[i] - '0');
    }
    const DWORD attributes = GetFileAttributesW(DayFile(folder, date, number).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    *newest = number;
    return true;
}

void WriteNewestNote(const std::wstring &folder, const std::wstring &date, unsigned newest) {
    char text[32];
    const int length = snprintf(text, sizeof text, "%ls %04u", date.c_str(), newest);
    if (length != 16) return;
    HANDLE file =
        CreateFileW((folder + kNewestNote).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, 16, &written, nullptr);
    SetEndOfFile(file);
    CloseHandle(file);
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

// Deletes, in a thread of its own, the files of folder older than maxDays (calendar days, so a
// change of daylight saving time never moves the boundary). A file of today or later, a name whose
// date does not parse and a file that another process holds open stay. One process of the session
// sweeps a folder at a time (the others wait their turn, or give up after kSweepWaitMs), and one
// sweep deletes at most kSweepDeletions files: the writers never wait for it.
struct Sweep {
    std::wstring folder; // ends with a backslash
    long today;
    long maxDays;
    HMODULE module; // keeps the library loaded while the thread runs
};

std::wstring SweepLockName(const std::wstring &folder) {
    uint32_t hash = 2166136261u; // FNV-1a of the folder, case folded
    for (wchar_t c : folder) {
        hash ^= static_cast<uint32_t>(towlower(c));
        hash *= 16777619u;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\zx_winsys-log-sweep-%08x", hash);
    return name;
}

void SweepExpired(const Sweep &sweep) {
    unsigned deleted = 0;
    ForEachFile(sweep.folder + kDatedPattern, [&](const std::wstring &name) {
        int year = 0, month = 0, day = 0;
        if (deleted >= kSweepDeletions || !DateOfName(name, &year, &month, &day)) return;
        const long age = sweep.today - qx::DaysFromCivil(year, month, day);
        if (age > 0 && age > sweep.maxDays && QX_RemoveFile((sweep.folder + name).c_str(), 0) == QX_OK)
            ++deleted;
    });
}

DWORD WINAPI SweepThread(void *argument) {
    Sweep *sweep = static_cast<Sweep *>(argument);
    const HMODULE module = sweep->module;
    HANDLE lock = CreateMutexW(nullptr, FALSE, SweepLockName(sweep->folder).c_str());
    if (lock) {
        const DWORD got = WaitForSingleObject(lock, kSweepWaitMs);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
            SweepExpired(*sweep);
            ReleaseMutex(lock);
        }
        CloseHandle(lock);
    }
    delete sweep;
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Starts the sweep of folder unless the limit keeps every file.
void StartSweep(const std::wstring &folder, long today, int maxDays) {
    if (maxDays < 0 || static_cast<DWORD>(maxDays) > kKeepEverythingDays) return;
    Sweep *sweep = new (std::nothrow) Sweep;
    if (!sweep) return;
    try {
        sweep->folder = folder;
    } catch (const std::bad_alloc &) {
        delete sweep;
        return;
    }
    sweep->today = today;
    sweep->maxDays = maxDays;
    sweep->module = qx::ModuleReference();
    HANDLE thread = CreateThread(nullptr, 0, SweepThread, sweep, 0, nullptr);
    if (!thread) {
        if (sweep->module) FreeLibrary(sweep->module);
        delete sweep;
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    CloseHandle(thread);
}

} // namespace

namespace qx {

LogSystem &LogFileSystem() {
    return g_system;
}

int LogReport(const wchar_t *report) {
    if (!CQxLogFile::m_classLock || pthread_mutexCS_lock(&CQxLogFile::m_classLock) != 0) return QX_ERR_SYSTEM;
    int status = QX_OK;
    try {
        std::wstring lines;
        g_block.lines = &lines;
        const std::wstring text(report);
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find(L'\n', start);
            end = end == std::wstring::npos ? text.size() : end + 1;
            CQxLogFile::Log(text.substr(start, end - start).c_str(), 0);
            start = end;
        }
        g_block.flush = true;
        if (g_block.count > 0) status = CQxLogFile::Log(L"", 0);
    } catch (const std::bad_alloc &) {
        status = QX_ERR_NO_MEMORY;
    }
    g_block = Block();
    pthread_mutexCS_unlock(&CQxLogFile::m_classLock);
    return status;
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
    unsigned newest = 0;
    if (!ReadNewestNote(folder, date, &newest)) {
        newest = NewestNumber(folder, date, nullptr);
        if (newest > kMaxContinuation) newest = 0;
        WriteNewestNote(folder, date, newest);
    }
    const std::wstring path = DayFile(folder, date, newest);
    qx::CopyBounded(m_wszFileName, kPathChars, path.c_str(), qx::Termination::Always);
    if (path.size() >= static_cast<size_t>(kPathChars)) return;
    if (QX_OpenFile(m_wszFileName, QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS,
                    QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &m_hFile) != QX_OK) {
        m_hFile = nullptr;
        return;
    }
    QX_SeekFile(m_hFile, 0, 2);

    // Expired files go in the background, once a day per process.
    const long todayNumber = qx::DaysFromCivil(today.wYear, today.wMonth, today.wDay);
    if (g_sweptDay != todayNumber) {
        g_sweptDay = todayNumber;
        StartSweep(folder, todayNumber, m_nMaxLogDays);
    }

    wchar_t header[128];
    curr_time_string(header);
    wcscat(header, L"Log session started.\r\n");
    // Another program holding the file costs the header, not the file: it is counted as a lost line.
    SharedFileLock lock(m_hFile);
    if (!lock.Locked()) {
        ++g_lost[kLockHeld];
    } else if (m_bUnicodeEnabled) {
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
        if (!lock.Locked()) return QX_ERR_WRITE_FILE;
        bool any = false;
        unsigned newest = NewestNumber(folder, date, &any);
        const bool onNewest = !any || DayFile(folder, date, newest) == instance->m_wszFileName;
        if (onNewest) {
            const unsigned next = any ? newest + 1 : 0;
            // The day's last continuation is full: the day keeps no more lines.
            if (next > kMaxContinuation) {
                if (!g_dayFull) g_dayFull = new (std::nothrow) std::wstring;
                if (g_dayFull) *g_dayFull = date;
                return QX_ERR_SYSTEM;
            }
            void *created = nullptr;
            int status = QX_OpenFile(DayFile(folder, date, next).c_str(),
                                     QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS,
                                     QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &created);
            if (status != QX_OK) return status;
            QX_CloseFile(created);
            WriteNewestNote(folder, date, next);
        }
    }
    CloseLog();
    return getInstance(false) && m_bLogEnabled ? QX_OK : QX_ERR_SYSTEM;
}

int CQxLogFile::Log(const wchar_t *text, int level) {
    qx::KeepLastError keep;
    if (!text) return QX_ERR_INVALID_ARG;
    if (!m_classLock || qx::Loading() || pthread_mutexCS_lock(&m_classLock) != 0) return QX_ERR_SYSTEM;
    int status = QX_ERR_SYSTEM;
    try {
        wchar_t prefix[64];
        curr_time_string(prefix);
        // A report's lines are gathered and written at once (LogBlock).
        if (g_block.lines && !g_block.flush) {
            g_block.lines->append(FormatLine(prefix, text));
            ++g_block.count;
            pthread_mutexCS_unlock(&m_classLock);
            return QX_OK;
        }
        const unsigned lines = g_block.flush ? static_cast<unsigned>(g_block.count) : 1u;
        CQxLogFile *instance = getInstance(false);
        if (!instance || !m_bLogEnabled || level < instance->m_nDetailThreshold) {
            if (!instance && m_bLogEnabled) g_lost[kNoFile] += lines;
            pthread_mutexCS_unlock(&m_classLock);
            return QX_ERR_SYSTEM;
        }
        const std::wstring payload = g_block.flush ? *g_block.lines : FormatLine(prefix, text);
        SYSTEMTIME now;
        g_system.localTime(&now);
        const std::wstring date = DateText(now);
        // The size limit is the size of the file on disk, whoever wrote it; 0 and all bits set
        // mean no limit.
        const uint64_t limit = instance->m_uMaxLogMBytes == 0 || instance->m_uMaxLogMBytes == ~0u
                                   ? ~0ull
                                   : static_cast<uint64_t>(instance->m_uMaxLogMBytes) << 20;
        const bool splitWaits = g_splitFailed && GetTickCount() - g_splitFailedAt < kRetryMs;
        for (int pass = 0; pass < 2; ++pass) {
            if (g_dayFull && *g_dayFull == date) {
                g_lost[kDayFull] += lines;
                status = QX_ERR_SYSTEM;
                break;
            }
            bool moveOn = false;
            {
                SharedFileLock lock(instance->m_hFile);
                if (!lock.Locked()) {
                    g_lost[kLockHeld] += lines;
                    status = QX_ERR_WRITE_FILE;
                    break;
                }
                // A new day starts its own file at its first line, a full file a continuation;
                // when the new file cannot be made, the lines stay in this one for a while.
                moveOn = pass == 0 && !splitWaits &&
                         (DateOfPath(instance->m_wszFileName) != date || SizeOf(instance->m_hFile) >= limit);
                if (!moveOn) {
                    const std::wstring block = LossNotes(prefix) + payload;
                    if (m_bUnicodeEnabled) {
                        status = Append(instance->m_hFile, block.data(), block.size() * sizeof(wchar_t));
                    } else {
                        std::vector<char> narrow(block.size() + 1);
                        wtoc(narrow.data(), block.c_str());
                        status = Append(instance->m_hFile, narrow.data(), block.size());
                    }
                    if (status == QX_OK) {
                        instance->m_uBytesWritten +=
                            static_cast<unsigned>(block.size() * (m_bUnicodeEnabled ? sizeof(wchar_t) : 1));
                        ForgetLosses();
                    } else {
                        g_lost[kWriteFailed] += lines;
                    }
                    break;
                }
            }
            const int split = SplitFile(instance);
            instance = m_pSingleton;
            if (split == QX_OK && instance) {
                g_splitFailed = g_splitNoted = false;
                continue;
            }
            if (!instance) { // the old file was closed and no new one opened
                g_lost[kNoFile] += lines;
                status = split == QX_OK ? QX_ERR_SYSTEM : split;
                break;
            }
            if (!(g_dayFull && *g_dayFull == date) && !g_splitFailed) {
                g_splitFailed = true;
                g_splitNoted = false;
                g_splitStatus = split;
            }
            g_splitFailedAt = GetTickCount();
        }
    } catch (const std::bad_alloc &) {
        status = QX_ERR_NO_MEMORY;
    }
    pthread_mutexCS_unlock(&m_classLock);
    return status;
}

bool CQxLogFile::Detail() {
    qx::KeepLastError keep;
    // The instance is read under the class lock: a close, a split or a new day deletes it under
    // the same lock.
    if (qx::Loading() || !m_classLock || pthread_mutexCS_lock(&m_classLock) != 0) return false;
    CQxLogFile *instance = getInstance(false);
    const bool detail = instance && m_bLogEnabled && instance->m_nDetailThreshold < 0;
    pthread_mutexCS_unlock(&m_classLock);
    return detail;
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
