// The trace record writer (DiagOutputExW and its tags), the plain formatters, the option words and
// the scope timer.
#include <windows.h>
#include <mmsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <vector>
#include <new>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_time.h"

namespace {

const size_t kExpansion = 32768; // characters of the expanded text
const size_t kRecord = 32768;    // characters of the record; the output stops advancing here
// A piece of text on the debug-output channel: what a capture hands on whole (the channel itself
// carries 4,091 characters a message).
const size_t kChannelChars = 1023;
using qx::kSourceChars;

volatile LONG g_traceOptions = QX_DIAG_TRACE_DEFAULT;
volatile LONG g_failureOptions = QX_DIAG_FAILIF_DEFAULT;

// The writer lock and its state, made before the library's load sequence runs and removed after
// its unload sequence (static objects).
struct Writer {
    CRITICAL_SECTION lock;
    bool initialized = false;
    wchar_t application[1025] = L"";
    double previous = 0.0;
    double channels[8] = {};
    std::map<int, double> windows;
    wchar_t expansion[kExpansion + 1];
    wchar_t record[kRecord + 16]; // room for the line end after a cut
    size_t length = 0;
    int window = 0;

    Writer() { InitializeCriticalSection(&lock); }
    ~Writer() { DeleteCriticalSection(&lock); }
};
Writer g_writer;

void Put(wchar_t c) {
    // At the end of the record the position stops and each further character takes the last place.
    if (g_writer.length < kRecord)
        g_writer.record[g_writer.length++] = c;
    else
        g_writer.record[kRecord - 1] = c;
}

void PutText(const wchar_t *text) {
    if (g_writer.length >= kRecord) return; // expansions are dropped once the record is full
    for (; *text; ++text)
        Put(*text);
}

void PutDelta(double since, double now) {
    wchar_t text[64];
    _snwprintf(text, 63, L"%#.2f", now - since);
    text[63] = L'\0';
    PutText(text);
}

// The window id that follows "|wndid:" at text: the thread's id for "|thrid|", else the decimal
// number the text starts with (wcstol rules; none, or 2,147,483,647 and above, give 0).
int WindowIdAt(const wchar_t *text) {
    if (wcsncmp(text, L"|thrid|", 7) == 0) return static_cast<int>(GetCurrentThreadId());
    wchar_t *end = nullptr;
    const long id = wcstol(text, &end, 10);
    if (end == text || id >= 2147483647L) return 0;
    return static_cast<int>(id);
}

// Copies the expanded text into the record, replacing the tags.
void ExpandTags(double now) {
    const wchar_t *p = g_writer.expansion;
    while (*p) {
        if (*p != L'|') {
            Put(*p++);
            continue;
        }
        wchar_t number[32];
        if (wcsncmp(p, L"|stime|", 7) == 0) {
            SYSTEMTIME local;
            GetLocalTime(&local);
            _snwprintf(number, 31, L"%02u:%02u:%02u", local.wHour, local.wMinute, local.wSecond);
            number[31] = L'\0';
            PutText(number);
            p += 7;
        } else if (wcsncmp(p, L"|wndid:", 7) == 0) {
            g_writer.window = WindowIdAt(p + 7);
            for (int i = 0; i < 7; ++i)
                Put(*p++);
        } else if (wcsncmp(p, L"|absdt|", 7) == 0) {
            PutDelta(g_writer.previous, now);
            p += 7;
        } else if (wcsncmp(p, L"|adt", 4) == 0) {
            if (p[4] == L'0' && p[5] >= L'0' && p[5] <= L'7' && p[6] == L'|') {
                double &channel = g_writer.channels[p[5] - L'0'];
                PutDelta(channel, now);
                channel = now;
            }
            // Any other "|adt" sequence writes nothing; its seven characters go, never more than
            // the text holds.
            for (int i = 0; i < 7 && *p; ++i)
                ++p;
        } else if (wcsncmp(p, L"|wnddt|", 7) == 0) {
            auto found = g_writer.windows.find(g_writer.window);
            PutDelta(found == g_writer.windows.end() ? now : found->second, now);
            p += 7;
        } else if (wcsncmp(p, L"|appnm|", 7) == 0) {
            PutText(g_writer.application);
            p += 7;
        } else if (wcsncmp(p, L"|thrid|", 7) == 0) {
            _snwprintf(number, 31, L"%lu", GetCurrentThreadId());
            number[31] = L'\0';
            PutText(number);
            p += 7;
        } else if (wcsncmp(p, L"|sfile|", 7) == 0) {
            p += 7;
        } else if (wcsncmp(p, L"|nline|", 7) == 0) {
            _snwprintf(number, 31, L"%d", qx::ThisThread().sourceLine);
            number[31] = L'\0';
            PutText(number);
            p += 7;
        } else if (wcsncmp(p, L"|srcid|", 7) == 0) {
            wchar_t location[kSourceChars + 32];
            const qx::ThreadState &self = qx::ThisThread();
            _snwprintf(location, kSourceChars + 31, L"%s : %i", self.sourceName, self.sourceLine);
            location[kSourceChars + 31] = L'\0';
            PutText(location);
            p += 7;
        } else {
            Put(*p++);
        }
    }
}

void FinishLine() {
    size_t &n = g_writer.length;
    wchar_t *r = g_writer.record;
    if (n >= 32766) {
        n = 32762;
        for (const wchar_t *end = L"...\r\n"; *end; ++end)
            r[n++] = *end;
    } else if (n < 2 || r[n - 2] != L'\r' || r[n - 1] != L'\n') {
        r[n++] = L'\r';
        r[n++] = L'\n';
    }
    r[n] = L'\0';
}

void SendToChannel() {
    wchar_t tag[32];
    _snwprintf(tag, 31, L"|wndid:%d ", g_writer.window);
    tag[31] = L'\0';
    qx::SendInPieces(g_writer.record, g_writer.length, tag);
}

void WriteRecord(const wchar_t *format, va_list args) {
    qx::KeepLastError keep; // before the first touch of the thread's record
    qx::ThreadState &self = qx::ThisThread();
    if (!format || self.writingRecord) return; // nothing from inside the writer itself
    self.writingRecord = true;
    EnterCriticalSection(&g_writer.lock);
    // The time is read under the lock: records are written in the order of their times.
    const double now = QX_GetTimeCounter();
    if (!g_writer.initialized) {
        g_writer.initialized = true;
        g_writer.previous = now;
        for (double &c : g_writer.channels)
            c = now;
        std::vector<wchar_t> path(32768);
        const DWORD got = GetModuleFileNameW(nullptr, path.data(), 32768);
        if (got == 0 || got >= 32768) {
            wcscpy(g_writer.application, L"<unknown app>");
        } else {
            const wchar_t *slash = wcsrchr(path.data(), L'\\');
            wcsncpy(g_writer.application, slash ? slash + 1 : path.data(), 1024);
            g_writer.application[1024] = L'\0';
        }
    }

    if (_vsnwprintf(g_writer.expansion, kExpansion, format, args) < 0)
        g_writer.expansion[kExpansion - 1] = L'\0';
    g_writer.expansion[kExpansion] = L'\0';
    g_writer.length = 0;
    g_writer.window = 0;
    if (wcsncmp(g_writer.expansion, L"|wndid:", 7) != 0) PutText(L"|wndid:0 ");
    ExpandTags(now);
    FinishLine();

    const LONG options = g_traceOptions;
    if ((options & QX_DIAG_DEBUGGER) && !self.noChannel) SendToChannel();
    if (options & QX_DIAG_LOGFILE) CQxLogFile::Log(g_writer.record, 0);

    g_writer.previous = now;
    try {
        g_writer.windows[g_writer.window] = now;
    } catch (const std::bad_alloc &) {
        // The window keeps no time of its own; its next delta reads 0.00.
    }
    LeaveCriticalSection(&g_writer.lock);
    self.writingRecord = false;
}

} // namespace

namespace qx {

void SendInPieces(const wchar_t *text, size_t length, const wchar_t *tag) {
    if (length <= kChannelChars) {
        OutputDebugStringW(text);
        return;
    }
    wchar_t piece[kChannelChars + 1];
    wmemcpy(piece, text, kChannelChars);
    piece[kChannelChars] = L'\0';
    OutputDebugStringW(piece);
    const size_t tagLength = wcslen(tag) < kChannelChars / 2 ? wcslen(tag) : kChannelChars / 2;
    const size_t room = kChannelChars - tagLength;
    for (size_t at = kChannelChars; at < length; at += room) {
        const size_t take = length - at < room ? length - at : room;
        wmemcpy(piece, tag, tagLength);
        wmemcpy(piece + tagLength, text + at, take);
        piece[tagLength + take] = L'\0';
        OutputDebugStringW(piece);
    }
}

KeepLastError::KeepLastError() : m_error(GetLastError()) {}
KeepLastError::~KeepLastError() {
    SetLastError(m_error);
}

int FailureOptions() {
    return g_failureOptions;
}

void SetChannelSinkForThread(bool on) {
    qx::ThisThread().noChannel = !on;
}

void WriteRecordV(const wchar_t *format, va_list args) {
    WriteRecord(format, args);
}

} // namespace qx

extern "C" {

void DiagOutputExW(const wchar_t *format, ...) {
    va_list args;
    va_start(args, format);
    WriteRecord(format, args);
    va_end(args);
}

void DiagOutputExW_hlp(const char *sourceFile, int line) {
    qx::KeepLastError keep;
    qx::ThreadState &self = qx::ThisThread();
    self.sourceLine = line;
    if (!sourceFile) {
        self.sourceName[0] = L'\0';
        return;
    }
    // A long name keeps its end, where the file name is.
    const size_t length = strlen(sourceFile);
    const char *start =
        length > static_cast<size_t>(kSourceChars) ? sourceFile + length - kSourceChars : sourceFile;
    _snwprintf(self.sourceName, kSourceChars, L"%hs", start);
    self.sourceName[kSourceChars] = L'\0';
}

void DiagOutputA(const char *format, ...) {
    if (!format) return;
    qx::KeepLastError keep;
    char text[1025];
    va_list args;
    va_start(args, format);
    if (_vsnprintf(text, 1024, format, args) < 0) text[1023] = '\0';
    va_end(args);
    text[1024] = '\0';
    OutputDebugStringA(text);
}

void DiagOutputW(const wchar_t *format, ...) {
    if (!format) return;
    qx::KeepLastError keep;
    wchar_t text[1025];
    va_list args;
    va_start(args, format);
    if (_vsnwprintf(text, 1024, format, args) < 0) text[1023] = L'\0';
    va_end(args);
    text[1024] = L'\0';
    OutputDebugStringW(text);
}

int QX_SetTraceOptions(int options) {
    if (options == 0) return 0;
    return InterlockedExchange(&g_traceOptions, options);
}

int QX_GetTraceOptions(void) {
    return g_traceOptions;
}

int QX_SetFailifOptions(int options) {
    if (options == 0) return 0;
    return InterlockedExchange(&g_failureOptions, options);
}

} // extern "C"

CQxTraceExecutionTime::CQxTraceExecutionTime(const wchar_t *name) : m_pszName(nullptr), m_dwStart(0) {
    qx::KeepLastError keep;
    if (!name) return;
    const size_t length = wcslen(name);
    if (length >= 1024) return;
    m_pszName = new (std::nothrow) wchar_t[length + 1];
    if (!m_pszName) return;
    wmemcpy(m_pszName, name, length + 1);
    m_dwStart = timeGetTime();
}

CQxTraceExecutionTime::~CQxTraceExecutionTime() {
    if (!m_pszName) return;
    qx::KeepLastError keep;
    const int elapsed = static_cast<int>(timeGetTime() - m_dwStart);
    wchar_t *text = new (std::nothrow) wchar_t[1024 + 64];
    if (text) {
        _snwprintf(text, 1024 + 63, L"%s - execution took %i ms", m_pszName, elapsed);
        text[1024 + 63] = L'\0';
        DiagOutputExW_hlp("debugging/logfile", __LINE__);
        DiagOutputExW(L"%s", text); // a per-cent sign in the name stays as it is
        delete[] text;
    }
    delete[] m_pszName;
    m_pszName = nullptr;
}
