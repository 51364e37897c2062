// Per-thread state of the library: one record per thread behind one system TLS index that the
// library takes at load and gives back at unload, each record freed when its thread ends. (The
// compiler's thread_local would take a TLS slot for good each time the library is loaded.)
#pragma once

#include <windows.h>

#include <stdint.h>

namespace qx {

const int kSourceChars = 1023;

struct ThreadState {
    // Trace writer: the source location of this thread's trace statements, a record being
    // written, records kept off the debug-output channel.
    wchar_t sourceName[kSourceChars + 1];
    int sourceLine;
    bool writingRecord;
    bool noChannel;
    // Assertion reports: the reporter's own code runs; a report's message box is open.
    bool inReporter;
    bool boxOpen;
    // Timers: the timer whose callback runs here, and whether this is the multimedia thread.
    uint32_t callbackTimer;
    bool multimediaCallback;
    // The thread pool whose thread this is, the asynchronous worker running here.
    void *pool;
    void *worker;
    // The capture's adder: writer and time of the text being handed over. DiagOutputWnd makes
    // its framework (which does not keep the library loaded).
    DWORD captureProcess;
    double captureTime;
    bool captureNotice; // the text is the capture's own count of texts it dropped
    bool makingTracingFramework;

    ThreadState *previous, *next; // every record of the process
};

// This thread's record, made on first use; never null (when memory is out, a shared spare).
// Keeps the caller's last-error value.
ThreadState &ThisThread();
// The record if this thread has one, else null; makes nothing.
ThreadState *ThisThreadIfAny();

// Load: takes the TLS index (false when the process has none left). Thread end: frees the
// thread's record. Unload: frees every record and gives the index back.
bool StartThreadStates();
void EndThreadState();
void StopThreadStates();

} // namespace qx
