// The tracing windows: the window-class records and one window with its user-interface thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qx {
class TracingView;
}

// The system's extended window-class record.
class CWndClassEx {
public:
    CWndClassEx();
    CWndClassEx &operator=(const CWndClassEx &other);
    WNDCLASSEXW m_wc;
};

// The class "ZENTRIX_DEBUG_WINDOW" with the given window procedure.
class CDbgWndClassEx : public CWndClassEx {
public:
    explicit CDbgWndClassEx(WNDPROC procedure);
};

// One tracing window: a frame with a list view, on a user-interface thread of its own. Lines are
// gathered on the adder thread and sent to the window in batches.
class CDebugWindow {
public:
    // Starts the thread and waits until the window exists or could not be made; a window that
    // could not be made counts as closed. pinned: the thread keeps the library loaded (not for
    // DiagOutputWnd's windows, which the library's unload closes).
    CDebugWindow(int id, HWND owner, bool pinned = true);
    virtual ~CDebugWindow();
    CDebugWindow(const CDebugWindow &) = delete;
    CDebugWindow &operator=(const CDebugWindow &) = delete;

    int Id() const { return m_nId; }
    // Gives the window another id and title.
    void SetId(int id);
    // Gives the window another title.
    void SetTitle(const wchar_t *title);
    // False once the user closed the window (or it never opened).
    bool IsOpen() const;
    // Adds a line to the waiting batch (the thread that feeds the window), numbered.
    void AddLine(const wchar_t *text);
    // Adds a row that says what the window lost (no number of its own).
    void AddNote(const wchar_t *text);
    // Adds a row as it is: its columns joined by tabs, its number the first (a saved window read
    // back). False when it could not be kept.
    bool AddRow(const wchar_t *row);
    // Rows waiting for the window.
    size_t Waiting();
    // Sends the waiting batch to the window, unless the window has not yet taken the one sent
    // before: the window then takes the waiting lines itself when it is done with that one. True
    // when the batch could not be sent (to be tried again).
    bool Flush();

    HWND Frame() const;
    HWND ListView() const { return m_hList; }

private:
    static DWORD WINAPI UIThread(LPVOID window);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void InsertBatch(std::vector<std::wstring> *batch);
    // The window took the batch in flight (in took ms); lines that wait meanwhile follow it.
    void BatchTaken(DWORD took);

    int m_nId;
    int m_nColumns;
    int m_nLines;
    HANDLE m_hReady;
    CDbgWndClassEx m_Class;
    ATOM m_Atom;
    HWND m_hOwner;
    HWND volatile m_hFrame;
    HWND m_hList;
    HANDLE m_hUIThread;
    DWORD m_dwUIThreadId;
    HMODULE m_hModule;                   // the thread's reference on the library
    std::vector<std::wstring> *m_pBatch; // guarded by m_batchLock
    unsigned long long m_ullCut = 0;     // lines the waiting batch gave up (m_batchLock)
    bool m_bPinned;
    volatile LONG m_lInFlight; // a batch was sent and the window has not taken it yet (m_batchLock)
    DWORD m_dwNextBatch;       // no batch is sent before this tick (m_batchLock)
    HANDLE m_hParked;          // the thread waits for its end during the library's unload
    SRWLOCK m_batchLock;
    qx::TracingView *m_pView; // the reader's commands; the user-interface thread's
};

namespace qx {

// The most tracing windows of a process, and of lines in one window.
const int kMaxTracingWindows = 256;
const int kMaxTracingLines = 100000;

// Lines that found no window because the process had as many windows as it may (tests read it).
long DroppedTracingLines();

// The adder sends the tracing windows' lines at most this often: one batch per window, however
// many records arrive.
const DWORD kTracingBatchMs = 20;

// The tracing-window framework of DiagOutputWnd, destroyed when the library is unloaded (not at
// process exit, when its threads are gone already).
void DestroyTracingFramework();

} // namespace qx
