// The tracing windows: the framework with an owner window, routing of records by their
// "|wndid:" tag, one list window per id on a user-interface thread of its own, and DiagOutputWnd.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

#include "zx_winsys/internal/capture.h"
#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/debugwnd.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/internal/tracingview.h"
#include "zx_winsys/qx_capture.h"

namespace {

const char kSource[] = "debugging/debugwnd";
const wchar_t kClassName[] = L"ZENTRIX_DEBUG_WINDOW";
const UINT kCloseMessage = WM_USER + 1;
const UINT kLinesMessage = WM_USER + 2; // lParam: a batch of lines, owned by the receiver
const UINT_PTR kDrainTimer = 1;         // lines gathered while the window took a batch
const DWORD kCallTimeoutMs = 3000;
const DWORD kUnloadWaitMs = 1000; // each thread of DiagOutputWnd's framework, at the library's unload
const int kMaxColumns = 64;       // parts beyond the last column join it
const int kNoId = INT_MAX;
const size_t kFeedAhead = 20000; // rows a fed window may have waiting before its feeder waits

volatile LONG g_windows = 0;      // tracing windows of the process
volatile LONG g_droppedLines = 0; // lines without a window because of the cap

SRWLOCK g_frameworkLock = SRWLOCK_INIT;
CDebugFramework *g_framework = nullptr; // DiagOutputWnd's
volatile LONG g_unloading = 0;

// Rows on their way to a window: the line number and the parts of the line, joined by tabs.
using Batch = std::vector<std::wstring>;

void Title(wchar_t *text, int id) {
    wsprintfW(text, L"Tracing Window ID: %i", id);
}

// The row of a line: its number, then its parts as tabs cut them (at most kMaxColumns columns;
// further tabs, carriage returns and line feeds become blanks).
std::wstring Row(const wchar_t *number, const wchar_t *text) {
    std::wstring row = number;
    int columns = row.empty() ? 1 : 1 + static_cast<int>(std::count(row.begin(), row.end(), L'\t'));
    for (const wchar_t *c = text; *c; ++c) {
        if (*c == L'\t' && columns < kMaxColumns) {
            row += L'\t';
            ++columns;
        } else {
            row += (*c == L'\r' || *c == L'\n' || *c == L'\t') ? L' ' : *c;
        }
    }
    return row;
}

} // namespace

CWndClassEx::CWndClassEx() {
    std::memset(&m_wc, 0, sizeof m_wc);
    m_wc.cbSize = sizeof(WNDCLASSEXW); // the size of this build, 48 or 80 bytes
}

CWndClassEx &CWndClassEx::operator=(const CWndClassEx &other) {
    std::memcpy(&m_wc, &other.m_wc, sizeof m_wc);
    return *this;
}

CDbgWndClassEx::CDbgWndClassEx(WNDPROC procedure) {
    m_wc.lpfnWndProc = procedure;
    m_wc.cbWndExtra = 4;
    // The library's own instance: the class goes with it at unload, and a later load registers
    // it anew with its window procedure where that now lies.
    m_wc.hInstance = qx::Module();
    m_wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    m_wc.lpszClassName = kClassName;
}

CDebugWindow::CDebugWindow(int id, HWND owner, bool pinned)
    : m_nId(id), m_nColumns(0), m_nLines(0), m_hReady(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_Class(WindowProc), m_Atom(0), m_hOwner(owner), m_hFrame(nullptr), m_hList(nullptr),
      m_hUIThread(nullptr), m_dwUIThreadId(0), m_hModule(pinned ? qx::ModuleReference() : nullptr),
      m_pBatch(nullptr), m_bPinned(pinned), m_lInFlight(0), m_dwNextBatch(GetTickCount()),
      m_hParked(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_pView(nullptr) {
    InitializeSRWLock(&m_batchLock);
    InterlockedIncrement(&g_windows);
    m_hUIThread = m_hReady ? CreateThread(nullptr, 0, UIThread, this, 0, &m_dwUIThreadId) : nullptr;
    if (!m_hUIThread) {
        if (m_hModule) FreeLibrary(m_hModule);
        qx::Assert(L"m_UIThread == NULL", L"UIThread service failure", kSource, __LINE__);
        return;
    }
    // The thread signals the event whether the window opened or not; a thread that ended
    // without it (no display, for one) counts the same.
    HANDLE waits[2] = {m_hReady, m_hUIThread};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

CDebugWindow::~CDebugWindow() {
    if (HWND frame = Frame()) {
        DWORD_PTR result = 0;
        const DWORD wait = !m_bPinned && qx::Unloading() ? kUnloadWaitMs : kCallTimeoutMs;
        if (!SendMessageTimeoutW(frame, kCloseMessage, 0, 0, SMTO_NORMAL, wait, &result))
            TerminateThread(m_hUIThread, 1);
    }
    if (m_hUIThread) {
        if (!m_bPinned && qx::Unloading())
            qx::EndParkedThread(m_hUIThread, m_hParked);
        else
            WaitForSingleObject(m_hUIThread, kCallTimeoutMs);
        CloseHandle(m_hUIThread);
    }
    if (m_hReady) CloseHandle(m_hReady);
    if (m_hParked) CloseHandle(m_hParked);
    delete m_pBatch;
    InterlockedDecrement(&g_windows);
}

HWND CDebugWindow::Frame() const {
    return static_cast<HWND>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile *>(const_cast<HWND volatile *>(&m_hFrame)), nullptr, nullptr));
}

bool CDebugWindow::IsOpen() const {
    return Frame() != nullptr;
}

void CDebugWindow::SetId(int id) {
    m_nId = id;
    wchar_t title[64];
    Title(title, id);
    SetTitle(title);
}

void CDebugWindow::SetTitle(const wchar_t *title) {
    if (HWND frame = Frame()) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(frame, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title), SMTO_NORMAL,
                            kCallTimeoutMs, &result);
    }
}

void CDebugWindow::AddLine(const wchar_t *text) {
    if (!IsOpen()) return;
    wchar_t number[16];
    wsprintfW(number, L"%i\t", m_nLines);
    if (AddRow(Row(number, text).c_str())) ++m_nLines;
}

void CDebugWindow::AddNote(const wchar_t *text) {
    if (IsOpen()) AddRow((L"\t" + std::wstring(text)).c_str());
}

bool CDebugWindow::AddRow(const wchar_t *row) {
    try {
        std::wstring text = row;
        AcquireSRWLockExclusive(&m_batchLock);
        try {
            if (!m_pBatch) m_pBatch = new Batch;
            m_pBatch->push_back(std::move(text));
        } catch (const std::bad_alloc &) {
            ReleaseSRWLockExclusive(&m_batchLock);
            throw;
        }
        ReleaseSRWLockExclusive(&m_batchLock);
        return true;
    } catch (const std::bad_alloc &) {
        return false; // the line is lost; the window goes on
    }
}

size_t CDebugWindow::Waiting() {
    AcquireSRWLockShared(&m_batchLock);
    const size_t waiting = m_pBatch ? m_pBatch->size() : 0;
    ReleaseSRWLockShared(&m_batchLock);
    return waiting;
}

bool CDebugWindow::Flush() {
    AcquireSRWLockExclusive(&m_batchLock);
    bool retry = false;
    HWND frame = Frame();
    if (m_pBatch && !frame) { // closed: its lines have nowhere to go
        delete m_pBatch;
        m_pBatch = nullptr;
    } else if (m_pBatch && m_lInFlight) {
        // One batch at a time: while the window works on one, the next gathers every line that
        // arrives, and the window takes it when it is done. A window keeps its newest
        // kMaxTracingLines lines, and so does the batch: the lines it gives up are counted, and
        // a row says how many.
        if (m_pBatch->size() > 2 * static_cast<size_t>(qx::kMaxTracingLines)) {
            const size_t cut = m_pBatch->size() - qx::kMaxTracingLines;
            m_ullCut += cut;
            m_pBatch->erase(m_pBatch->begin(), m_pBatch->begin() + static_cast<std::ptrdiff_t>(cut));
            wchar_t note[128];
            swprintf(note, 128, L"\t[%llu lines dropped: they came faster than the window could show them]",
                     m_ullCut);
            m_pBatch->front() = note; // the oldest line kept gives its place to the count
        }
    } else if (m_pBatch && static_cast<LONG>(GetTickCount() - m_dwNextBatch) < 0) {
        retry = true; // the window asked for a pause after its last batch: more lines per batch
    } else if (m_pBatch) {
        m_lInFlight = 1;
        if (PostMessageW(frame, kLinesMessage, 0, reinterpret_cast<LPARAM>(m_pBatch))) {
            m_pBatch = nullptr;
        } else {
            m_lInFlight = 0;
            retry = true; // kept for the next try
        }
    }
    ReleaseSRWLockExclusive(&m_batchLock);
    return retry;
}

void CDebugWindow::InsertBatch(Batch *batch) {
    // The rows go to the window's own store; the list view is told its new count and draws what it
    // shows by asking for it, so that a row costs the same at 100 rows as at 100,000.
    const DWORD start = GetTickCount();
    const size_t columns = m_pView ? m_pView->Append(std::move(*batch)) : 0;
    for (; m_nColumns < static_cast<int>(columns); ++m_nColumns) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 150;
        SendMessageW(m_hList, LVM_INSERTCOLUMNW, m_nColumns, reinterpret_cast<LPARAM>(&column));
    }
    delete batch;
    BatchTaken(GetTickCount() - start);
}

void CDebugWindow::BatchTaken(DWORD took) {
    // A batch costs the list a fixed price (its count, its scroll bar, its scroll), which under
    // load grows: the next batch waits twice as long as this one took, so that rows that come
    // faster than the window shows them come in fewer, larger batches. At most half a second.
    const DWORD pause = std::min<DWORD>(std::max<DWORD>(qx::kTracingBatchMs, 2 * took), 500);
    AcquireSRWLockExclusive(&m_batchLock);
    m_lInFlight = 0;
    m_dwNextBatch = GetTickCount() + pause;
    const bool waiting = m_pBatch != nullptr;
    ReleaseSRWLockExclusive(&m_batchLock);
    // Lines that arrived meanwhile come in the next batch, whether or not the feeding thread
    // flushes again.
    if (waiting && m_hFrame) SetTimer(m_hFrame, kDrainTimer, pause, nullptr);
}

DWORD WINAPI CDebugWindow::UIThread(LPVOID argument) {
    CDebugWindow *self = static_cast<CDebugWindow *>(argument);
    HMODULE module = self->m_hModule;
    self->m_Atom = RegisterClassExW(&self->m_Class.m_wc); // a second registration fails harmlessly
    wchar_t title[64];
    Title(title, self->m_nId);
    // New windows cascade instead of stacking at one place.
    const int place = static_cast<int>((g_windows - 1) % 16) * 24;
    HWND frame = CreateWindowExW(WS_EX_OVERLAPPEDWINDOW, kClassName, title, WS_POPUP | WS_OVERLAPPEDWINDOW,
                                 place, place, 800, 100, IsWindow(self->m_hOwner) ? self->m_hOwner : nullptr,
                                 nullptr, self->m_Class.m_wc.hInstance, self);
    if (frame) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        // A list view's destruction resolves functions that its library loads on first use, which
        // takes the loader's lock: once while nobody holds it, so that destroying the windows at
        // the library's unload (under that lock) never waits for it.
        static volatile LONG warmedUp = 0;
        if (InterlockedExchange(&warmedUp, 1) == 0)
            DestroyWindow(CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 0, 0, frame,
                                          nullptr, self->m_Class.m_wc.hInstance, nullptr));
        RECT area;
        GetClientRect(frame, &area);
        // Owner data: the window holds the rows, the list asks for the texts it draws. Labels keep
        // the style the window always had, but no edit begins (a line number is not for editing).
        self->m_hList = CreateWindowExW(
            0, WC_LISTVIEWW, L"",
            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0, 0,
            area.right, area.bottom, frame, nullptr, self->m_Class.m_wc.hInstance, nullptr);
        // A click anywhere on a row selects it, for copying; the row a find selects stays marked
        // while the Find dialog has the keyboard.
        SendMessageW(self->m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        const wchar_t *headers[] = {L"#", L"1", L"2", L"3", L"4", L"5", L"6", L"7"};
        for (int k = 0; k < 8; ++k) {
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.cx = k == 0 ? 50 : 100;
            column.pszText = const_cast<wchar_t *>(headers[k]);
            SendMessageW(self->m_hList, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&column));
        }
        self->m_nColumns = 8;
        self->m_pView = new (std::nothrow) qx::TracingView(frame, self->m_hList, qx::kMaxTracingLines);
        ShowWindowAsync(frame, SW_SHOW);
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&self->m_hFrame), frame);
    }
    SetEvent(self->m_hReady);
    if (frame) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (self->m_pView && self->m_pView->PreTranslate(&message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (self->m_pView) self->m_pView->AfterDispatch(message);
        }
        delete self->m_pView;
        self->m_pView = nullptr;
    }
    if (!self->m_bPinned && qx::Unloading()) {
        SetEvent(self->m_hParked); // the unload ends this thread here
        Sleep(INFINITE);
    }
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

LRESULT CALLBACK CDebugWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDebugWindow *self = reinterpret_cast<CDebugWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->m_pView && self->m_pView->Handle(message, wParam, lParam, &result)) return result;
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
        return 0;
    case WM_SIZE:
        if (self && self->m_hList) MoveWindow(self->m_hList, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        if (self && self->m_pView) self->m_pView->ShowNewest(); // a smaller window still shows the newest row
        return 1;
    case WM_CLOSE:
    case kCloseMessage:
        if (self) InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&self->m_hFrame), nullptr);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 1;
    case kLinesMessage:
        if (self && self->m_hList && self->Frame()) {
            self->InsertBatch(reinterpret_cast<Batch *>(lParam));
        } else {
            delete reinterpret_cast<Batch *>(lParam);
            if (self) self->BatchTaken(0);
        }
        return 0;
    case WM_TIMER:
        if (wParam != kDrainTimer) return DefWindowProcW(window, message, wParam, lParam);
        KillTimer(window, kDrainTimer);
        if (self) self->Flush();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

namespace qx {

bool FlushWindows(std::map<int, CDebugWindow *> *windows) {
    bool waiting = false;
    for (auto &entry : *windows)
        waiting = entry.second->Flush() || waiting;
    return waiting;
}

void DestroyWindows(std::map<int, CDebugWindow *> &windows) {
    for (auto &entry : windows)
        delete entry.second;
    windows.clear();
}

long DroppedTracingLines() {
    return g_droppedLines;
}

bool Unloading() {
    return InterlockedCompareExchange(&g_unloading, 0, 0) != 0;
}

void SetUnloading() {
    InterlockedExchange(&g_unloading, 1);
}

void EndParkedThread(HANDLE thread, HANDLE parked) {
    // A thread that does not come to its place in time is ended where it is.
    HANDLE waits[2] = {parked, thread};
    WaitForMultipleObjects(2, waits, FALSE, kUnloadWaitMs);
    TerminateThread(thread, 0);
}

void DestroyTracingFramework() {
    AcquireSRWLockExclusive(&g_frameworkLock);
    delete g_framework;
    g_framework = nullptr;
    ReleaseSRWLockExclusive(&g_frameworkLock);
    UnregisterClassW(kClassName, qx::Module());
}

} // namespace qx

CDebugFramework::CDebugFramework(HWND hOwner) : CDebugFramework(false) {
    m_bReuseFirstWindow = true;
    m_lPendingLines = 0;
    m_hOwner = IsWindow(hOwner) ? hOwner : nullptr;
    CreateDebugWindow(0);
    qx::StartCapture(this, false,
                     {m_pCore, m_hListenerThread, m_dwListenerThreadId, m_bListenerRunning, m_hAdderThread,
                      m_dwAdderThreadId, m_bAdderRunning, m_lPendingLines},
                     listener_thread_proc, adder_thread_proc, &m_Windows,
                     !qx::ThisThread().makingTracingFramework);
}

CDebugFramework::~CDebugFramework() {
    Stop();
    qx::DestroyWindows(m_Windows);
}

void CDebugFramework::CreateDebugWindow(int id) {
    // DiagOutputWnd's windows (made while it makes the framework, or later for its core) do not
    // keep the library loaded: its unload closes them.
    const bool pinned = m_pCore ? m_pCore->pinned : !qx::ThisThread().makingTracingFramework;
    CDebugWindow *window = new (std::nothrow) CDebugWindow(id, m_hOwner, pinned);
    if (!window) return;
    try {
        CDebugWindow *&slot = m_Windows[id];
        delete slot;
        slot = window;
    } catch (const std::bad_alloc &) {
        delete window;
    }
}

void CDebugFramework::AddItem(const wchar_t *text) {
    if (!text) return;
    // What the capture dropped concerns every window: each open one says so.
    if (qx::ThisThread().captureNotice) {
        for (auto &entry : m_Windows)
            entry.second->AddNote(text);
        if (!m_pCore) qx::FlushWindows(&m_Windows);
        return;
    }
    int id = kNoId;
    const wchar_t *line = text;
    bool saturated = false;
    if (wcsncmp(text, L"|wndid:", 7) == 0) {
        wchar_t *end = nullptr;
        errno = 0;
        const long value = wcstol(text + 7, &end, 10);
        saturated = errno == ERANGE || value >= INT_MAX;
        id = static_cast<int>(value);
        // The line starts at the blank after the number (kept), or right after the number.
        line = end;
    }
    auto found = m_Windows.find(id);
    if (found == m_Windows.end()) {
        if (id == kNoId || saturated) return; // texts of other software, or an id that does not fit
        CDebugWindow *first = m_Windows.empty() ? nullptr : m_Windows.begin()->second;
        if (m_bReuseFirstWindow && first && first->IsOpen()) {
            // The window opened at construction takes the first id that arrives.
            m_Windows.erase(m_Windows.begin());
            first->SetId(id);
            m_Windows[id] = first;
        } else if (g_windows >= qx::kMaxTracingWindows) {
            // No window for this id: every open window says how many lines found none.
            const LONG dropped = InterlockedIncrement(&g_droppedLines);
            if (dropped == 1 || dropped % 1000 == 0) {
                wchar_t note[160];
                swprintf(note, 160,
                         L"[%ld lines dropped: the process has %d tracing windows, the most it may]", dropped,
                         qx::kMaxTracingWindows);
                for (auto &entry : m_Windows)
                    entry.second->AddNote(note);
            }
            return;
        } else {
            CreateDebugWindow(id);
        }
        found = m_Windows.find(id);
        if (found == m_Windows.end()) return;
    }
    m_bReuseFirstWindow = false;
    CDebugWindow *window = found->second;
    window->AddLine(line);
    // A framework without the capture's threads (one that a program feeds itself, a log being
    // read back) shows its lines as they come, in batches of what arrives while the window is
    // busy, and waits while a window has a batch's worth waiting: it may go faster than a window
    // can take lines, and nothing it feeds is dropped.
    if (!m_pCore) {
        window->Flush();
        while (window->IsOpen() && window->Waiting() >= kFeedAhead)
            Sleep(1);
    }
}

void CDebugFramework::AddRow(int id, const wchar_t *title, const wchar_t *row) {
    if (!row) return;
    auto found = m_Windows.find(id);
    if (found == m_Windows.end()) {
        if (g_windows >= qx::kMaxTracingWindows) return;
        CreateDebugWindow(id);
        found = m_Windows.find(id);
        if (found == m_Windows.end()) return;
        if (title) found->second->SetTitle(title);
    }
    CDebugWindow *window = found->second;
    window->AddRow(row);
    if (!m_pCore) {
        window->Flush();
        while (window->IsOpen() && window->Waiting() >= kFeedAhead)
            Sleep(1);
    }
}

extern "C" void DiagOutputWnd(HWND hOwner, int recreate) {
    AcquireSRWLockExclusive(&g_frameworkLock);
    if (recreate && g_framework) {
        delete g_framework;
        g_framework = nullptr;
    }
    if (!g_framework) {
        qx::ThreadState &self = qx::ThisThread();
        self.makingTracingFramework = true;
        g_framework = new (std::nothrow) CDebugFramework(hOwner);
        self.makingTracingFramework = false;
    }
    ReleaseSRWLockExclusive(&g_frameworkLock);
}
