// Internals of the debug-output capture shared with the tracing windows, and its seam.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>

#include "zx_winsys/qx_capture.h"

// One captured text with its writer and capture time.
struct SQxCapturedText {
    std::string text; // the system's ANSI code page, at most 1023 bytes
    DWORD processId;
    double time;
};

// State that the framework shares with its listener and adder threads. It lives as long as the
// framework and every thread that still runs (a reference each), so that an adder left to finish
// a slow AddItem never touches freed state.
struct SQxCaptureCore {
    volatile LONG references = 1;
    CRITICAL_SECTION lock; // the queue, the channel pointer and the delivery target
    std::deque<SQxCapturedText> queue;
    unsigned long dropped = 0;
    HANDLE wake = nullptr;  // auto-reset: texts arrived, or stop
    HANDLE ready = nullptr; // manual-reset: the listener has made the channel, or could not
    volatile LONG listenerRunning = 0;
    volatile LONG adderRunning = 0;
    volatile LONG *pendingLines = nullptr; // the framework's count, while it exists
    CDebugFramework *target = nullptr;     // whose AddItem the adder calls; null once stopped
    // The tracing windows: after the adder has emptied the queue, their lines go out as one
    // batch per window.
    std::map<int, CDebugWindow *> *windows = nullptr;
    COutDbgStringSync *channel = nullptr;
    HMODULE listenerModule = nullptr, adderModule = nullptr; // the threads' references on the library
    bool silent = true; // the channel's warning when another receiver holds it
    // False for DiagOutputWnd's framework: its threads hold no reference on the library, which
    // ends them at its unload (the parked events: a thread waits there for its end).
    bool pinned = true;
    HANDLE stopped = nullptr; // manual-reset: the listener receives no more
    HANDLE listenerParked = nullptr, adderParked = nullptr;

    SQxCaptureCore() {
        InitializeCriticalSection(&lock);
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        listenerParked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        adderParked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~SQxCaptureCore() {
        for (HANDLE h : {wake, ready, stopped, listenerParked, adderParked})
            if (h) CloseHandle(h);
        DeleteCriticalSection(&lock);
    }
};

namespace qx {

// Most texts that wait for the adder: 65,536 (tests lower it).
extern size_t g_maxQueuedTexts;

// The warning box of a second receiver; tests replace it.
extern int(WINAPI *g_captureMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT);

// Releases one reference of the core, freeing it with the last.
void ReleaseCore(SQxCaptureCore *core);

// The framework's fields that starting the capture fills in.
struct CaptureFields {
    SQxCaptureCore *&core;
    HANDLE &listener;
    DWORD &listenerId;
    std::atomic<bool> &listenerRunning;
    HANDLE &adder;
    DWORD &adderId;
    std::atomic<bool> &adderRunning;
    volatile LONG &pendingLines;
};

// Starts the listener and the adder of target (which must not run yet). windows (may be null) are
// flushed by the adder each time it has emptied the queue. pinned: the threads keep the library
// loaded while they run.
void StartCapture(CDebugFramework *target, bool silent, CaptureFields fields, LPTHREAD_START_ROUTINE listener,
                  LPTHREAD_START_ROUTINE adder, std::map<int, CDebugWindow *> *windows, bool pinned);

// True while the library is being unloaded (not at process exit): set by its exit code before
// DiagOutputWnd's framework goes.
bool Unloading();
void SetUnloading();
// Ends a thread of DiagOutputWnd's framework during the unload: it has set parked and waits
// there, holding no lock and running none of the library's code once it is ended.
void EndParkedThread(HANDLE thread, HANDLE parked);

// The tracing windows' side (debugging/debugwnd): sends every window's waiting lines (true when
// lines still wait); destroys the windows of a map.
bool FlushWindows(std::map<int, CDebugWindow *> *windows);
void DestroyWindows(std::map<int, CDebugWindow *> &windows);

} // namespace qx
