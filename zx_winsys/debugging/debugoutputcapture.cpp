// Capture of the system debug-output channel: the receiving side (COutDbgStringSync), the
// listener and adder threads of CDebugFramework, and the callback capture.
//
// The channel exists only while a listener runs: the listener makes it when it starts and closes
// it when it ends, so that writers never wait on a channel that nobody reads. The listener only
// copies texts out of the shared buffer; the adder hands them to AddItem one at a time, in order.
#include <windows.h>

#include <cstring>
#include <new>

#include "zx_winsys/internal/capture.h"
#include "zx_winsys/internal/debugwnd.h"
#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/qx_capture.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "debugging/debugoutputcapture";
const DWORD kStopWaitMs = 3000;
// Made by the receiver of ours that holds the channel, for as long as it receives: a second one
// (in any process) is refused at once. A receiver of other software is told from writers that
// still hold the channel's objects by asking it (ForeignReceiverAnswers).
const wchar_t kReceiverMarker[] = L"DBWIN_BUFFER_RECEIVER_ZX";
// After a stop, writers that wait for the buffer are answered until none comes for this long.
const DWORD kDrainQuietMs = 50;
const DWORD kDrainMostMs = 30000;

HANDLE g_marker = nullptr;                        // this process's receiver marker
const COutDbgStringSync *g_markerOwner = nullptr; // the channel that holds it
SRWLOCK g_markerLock = SRWLOCK_INIT;

bool MarkerExists() {
    HANDLE marker = OpenMutexW(SYNCHRONIZE, FALSE, kReceiverMarker);
    if (marker) CloseHandle(marker);
    return marker != nullptr;
}

void ReleaseMarker(const COutDbgStringSync *owner) {
    AcquireSRWLockExclusive(&g_markerLock);
    if (g_markerOwner == owner && g_marker) {
        CloseHandle(g_marker);
        g_marker = nullptr;
        g_markerOwner = nullptr;
    }
    ReleaseSRWLockExclusive(&g_markerLock);
}

// The channel's objects exist while no receiver of ours holds it: a receiver of other software, or
// writers that opened them from the last receiver and still hold them. A receiver answers: it
// takes a text that is written to it (an empty one, under the writers' own lock) and offers the
// buffer again. Writers hold no buffer and take no text.
bool ForeignReceiverAnswers(HANDLE bufferReady, HANDLE dataReady, HANDLE mapping) {
    HANDLE writers = CreateMutexW(nullptr, FALSE, L"DBWinMutex");
    if (!writers) return false;
    const DWORD locked = WaitForSingleObject(writers, 250);
    bool answered = false;
    // A writer that keeps the lock for a quarter of a second waits for a buffer nobody offers.
    if ((locked == WAIT_OBJECT_0 || locked == WAIT_ABANDONED) &&
        WaitForSingleObject(bufferReady, 100) == WAIT_OBJECT_0) {
        if (auto *view = static_cast<SQxDbWinBuffer *>(
                MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SQxDbWinBuffer)))) {
            view->processId = GetCurrentProcessId();
            view->text[0] = '\0';
            UnmapViewOfFile(view);
        }
        SetEvent(dataReady);
        answered = WaitForSingleObject(bufferReady, 300) == WAIT_OBJECT_0;
        if (answered)
            SetEvent(bufferReady); // the receiver's offer belongs to the next writer
        else
            ResetEvent(dataReady); // nobody took the empty text
    }
    if (locked == WAIT_OBJECT_0 || locked == WAIT_ABANDONED) ReleaseMutex(writers);
    CloseHandle(writers);
    return answered;
}

// Ends a capture thread: gives up its reference on the core and on the library. A thread of
// DiagOutputWnd's framework, which holds no reference, waits instead while the library is being
// unloaded: the unload ends it there (EndParkedThread), where it runs none of the library's code.
[[noreturn]] void EndThread(SQxCaptureCore *core, HMODULE module, HANDLE parked) {
    if (!core->pinned && qx::Unloading()) {
        SetEvent(parked);
        Sleep(INFINITE);
    }
    qx::ReleaseCore(core);
    if (module) FreeLibraryAndExitThread(module, 0);
    ExitThread(0);
}

} // namespace

namespace {

void Refused(bool silent) {
    if (!silent)
        qx::g_captureMessageBox(nullptr, L"There is tracing logger already running...", L"zentrix Tracing",
                                MB_ICONWARNING | MB_OK);
}

} // namespace

namespace qx {

int(WINAPI *g_captureMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;
size_t g_maxQueuedTexts = 65536;

void ReleaseCore(SQxCaptureCore *core) {
    if (InterlockedDecrement(&core->references) == 0) delete core;
}

void StartCapture(CDebugFramework *target, bool silent, CaptureFields fields, LPTHREAD_START_ROUTINE listener,
                  LPTHREAD_START_ROUTINE adder, std::map<int, CDebugWindow *> *windows, bool pinned) {
    SQxCaptureCore *core = new (std::nothrow) SQxCaptureCore;
    if (!core) return;
    core->pinned = pinned;
    core->target = target;
    core->silent = silent;
    core->windows = windows;
    core->pendingLines = &fields.pendingLines;
    fields.core = core;

    // Each thread holds a reference of the core for as long as it runs.
    core->listenerRunning = 1;
    fields.listenerRunning = true;
    InterlockedIncrement(&core->references);
    core->listenerModule = pinned ? ModuleReference() : nullptr;
    fields.listener = CreateThread(nullptr, 0, listener, core, 0, &fields.listenerId);
    if (!fields.listener) {
        if (core->listenerModule) FreeLibrary(core->listenerModule);
        ReleaseCore(core);
        core->listenerRunning = 0;
        fields.listenerRunning = false;
        Assert(L"m_ListenerThread == NULL", L"ListenerThread service failure", kSource, __LINE__);
    } else {
        // Capturing starts before the constructor returns: a text written right after it is taken.
        HANDLE waits[2] = {core->ready, fields.listener};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
    core->adderRunning = 1;
    fields.adderRunning = true;
    InterlockedIncrement(&core->references);
    core->adderModule = pinned ? ModuleReference() : nullptr;
    fields.adder = CreateThread(nullptr, 0, adder, core, 0, &fields.adderId);
    if (!fields.adder) {
        if (core->adderModule) FreeLibrary(core->adderModule);
        ReleaseCore(core);
        core->adderRunning = 0;
        fields.adderRunning = false;
        Assert(L"m_AdderThread == NULL", L"AdderThread service failure", kSource, __LINE__);
    }
}

} // namespace qx

COutDbgStringSync::COutDbgStringSync(bool silent)
    : m_bInitialized(false), m_hBufferReady(nullptr), m_hDataReady(nullptr), m_hBuffer(nullptr),
      m_pView(nullptr), m_SecurityAttributes(), m_SecurityDescriptor() {
    // A null access list lets every account (services, other users) open the objects; the
    // handles are not inherited, so a child process never keeps the channel alive.
    if (!InitializeSecurityDescriptor(&m_SecurityDescriptor, SECURITY_DESCRIPTOR_REVISION)) {
        qx::Assert(L"InitializeSecurityDescriptor(&m_SecurityDescriptor, SECURITY_DESCRIPTOR_REVISION)",
                   L"Unable to initialize Security Descriptor", kSource, __LINE__);
        return;
    }
    if (!SetSecurityDescriptorDacl(&m_SecurityDescriptor, TRUE, nullptr, FALSE)) {
        qx::Assert(L"SetSecurityDescriptorDacl(&m_SecurityDescriptor, TRUE, NULL, FALSE)",
                   L"Unable to set Security Descriptor", kSource, __LINE__);
        return;
    }
    m_SecurityAttributes.nLength = sizeof m_SecurityAttributes;
    m_SecurityAttributes.lpSecurityDescriptor = &m_SecurityDescriptor;
    m_SecurityAttributes.bInheritHandle = FALSE;

    // A receiver of ours holds the channel (in any process): keep nothing of it, signal nothing.
    HANDLE marker = CreateMutexW(&m_SecurityAttributes, FALSE, kReceiverMarker);
    if (!marker || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (marker) CloseHandle(marker);
        Refused(silent);
        return;
    }
    m_hBufferReady = CreateEventW(&m_SecurityAttributes, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    const bool existed = m_hBufferReady && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!m_hBufferReady) {
        qx::Assert(L"m_hBufferReady == NULL", L"Unable to create synchronization object DBWIN_BUFFER_READY",
                   kSource, __LINE__);
        return;
    }
    m_hDataReady = CreateEventW(&m_SecurityAttributes, FALSE, FALSE, L"DBWIN_DATA_READY");
    if (!m_hDataReady) {
        qx::Assert(L"m_hDataReady == NULL", L"Unable to create synchronization object DBWIN_DATA_READY",
                   kSource, __LINE__);
        return;
    }
    m_hBuffer = CreateFileMappingW(INVALID_HANDLE_VALUE, &m_SecurityAttributes, PAGE_READWRITE, 0,
                                   sizeof(SQxDbWinBuffer), L"DBWIN_BUFFER");
    if (!m_hBuffer) {
        qx::Assert(L"m_hBuffer == NULL", L"Unable to create file mapping object DBWIN_BUFFER", kSource,
                   __LINE__);
        return;
    }
    m_pView = static_cast<const SQxDbWinBuffer *>(
        MapViewOfFile(m_hBuffer, FILE_MAP_READ, 0, 0, sizeof(SQxDbWinBuffer)));
    if (!m_pView) {
        qx::Assert(L"m_pView == NULL", L"Unable to map shared memory", kSource, __LINE__);
        return;
    }
    // Objects that were there already: a receiver of other software, or only writers' handles
    // (a restart while programs write); receivers of ours stop answering once the marker is there.
    if (existed) {
        Sleep(2 * kDrainQuietMs);
        if (ForeignReceiverAnswers(m_hBufferReady, m_hDataReady, m_hBuffer)) {
            CloseHandle(marker);
            UnmapViewOfFile(m_pView);
            m_pView = nullptr;
            for (HANDLE *h : {&m_hBufferReady, &m_hDataReady, &m_hBuffer}) {
                CloseHandle(*h);
                *h = nullptr;
            }
            Refused(silent);
            return;
        }
    }
    AcquireSRWLockExclusive(&g_markerLock);
    if (g_marker) CloseHandle(g_marker);
    g_marker = marker;
    g_markerOwner = this;
    ReleaseSRWLockExclusive(&g_markerLock);
    m_bInitialized = true;
}

COutDbgStringSync::~COutDbgStringSync() {
    ReleaseMarker(this);
    if (m_hBufferReady) CloseHandle(m_hBufferReady);
    if (m_hDataReady) CloseHandle(m_hDataReady);
    if (m_pView) UnmapViewOfFile(m_pView);
    if (m_hBuffer) CloseHandle(m_hBuffer);
}

CDebugFramework::CDebugFramework() : CDebugFramework(false) {}

CDebugFramework::CDebugFramework(bool silent)
    : m_bReuseFirstWindow(true), m_hOwner(nullptr), m_lPendingLines(0), m_hListenerThread(nullptr),
      m_dwListenerThreadId(0), m_bListenerRunning(false), m_hAdderThread(nullptr), m_dwAdderThreadId(0),
      m_bAdderRunning(false), m_pChannel(nullptr), m_bSilent(silent), m_pCore(nullptr) {}

bool CDebugFramework::IsReceiving() const {
    SQxCaptureCore *core = m_pCore;
    if (!core) return false;
    EnterCriticalSection(&core->lock);
    const bool receiving = core->channel != nullptr && core->listenerRunning;
    LeaveCriticalSection(&core->lock);
    return receiving;
}

void CDebugFramework::Stop() {
    SQxCaptureCore *core = m_pCore;
    if (!core) return;
    m_pCore = nullptr;
    const bool parking = !core->pinned && qx::Unloading();
    InterlockedExchange(&core->listenerRunning, 0);
    EnterCriticalSection(&core->lock);
    if (core->channel) SetEvent(core->channel->m_hDataReady); // wakes the listener
    LeaveCriticalSection(&core->lock);
    if (m_hListenerThread) {
        if (parking) {
            qx::EndParkedThread(m_hListenerThread, core->listenerParked);
            qx::ReleaseCore(core); // the listener's reference
        } else {
            // The listener stops receiving at once (it may answer waiting writers a moment more);
            // one that does not stop runs only its own code, and is stopped.
            HANDLE waits[2] = {core->stopped, m_hListenerThread};
            if (WaitForMultipleObjects(2, waits, FALSE, kStopWaitMs) == WAIT_TIMEOUT)
                TerminateThread(m_hListenerThread, 0);
        }
        CloseHandle(m_hListenerThread);
        m_hListenerThread = nullptr;
    }
    InterlockedExchange(&core->adderRunning, 0);
    SetEvent(core->wake);
    if (m_hAdderThread) {
        if (GetCurrentThreadId() == m_dwAdderThreadId) {
            // Stopped from the capture's own callback: the adder ends by itself once it returns.
        } else if (parking) {
            qx::EndParkedThread(m_hAdderThread, core->adderParked);
            qx::ReleaseCore(core); // the adder's reference
        } else {
            // An adder that is still inside AddItem is left to finish: it may hold locks of the
            // program (the heap's, for one). It keeps the core alive and delivers nothing more.
            WaitForSingleObject(m_hAdderThread, kStopWaitMs);
        }
        CloseHandle(m_hAdderThread);
        m_hAdderThread = nullptr;
    }
    EnterCriticalSection(&core->lock);
    core->target = nullptr;
    core->pendingLines = nullptr;
    LeaveCriticalSection(&core->lock);
    m_bListenerRunning = false;
    m_bAdderRunning = false;
    qx::ReleaseCore(core);
}

DWORD WINAPI CDebugFramework::listener_thread_proc(LPVOID argument) {
    SQxCaptureCore *core = static_cast<SQxCaptureCore *>(argument);
    qx::SetChannelSinkForThread(false); // a trace from here would wait for this very thread
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
        qx::Assert(L"!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)",
                   L"Set thread priority failure in listener_thread_proc()", kSource, __LINE__);
        SetEvent(core->ready);
        EndThread(core, core->listenerModule, core->listenerParked);
    }
    COutDbgStringSync *channel = new (std::nothrow) COutDbgStringSync(core->silent);
    if (!channel || !channel->m_bInitialized) {
        delete channel; // a refused receiver keeps no handle of the live one
        SetEvent(core->ready);
        EndThread(core, core->listenerModule, core->listenerParked);
    }
    EnterCriticalSection(&core->lock);
    core->channel = channel;
    LeaveCriticalSection(&core->lock);
    SetEvent(core->ready);

    for (;;) {
        SetEvent(channel->m_hBufferReady);
        const DWORD waited = WaitForSingleObject(channel->m_hDataReady, INFINITE);
        if (!core->listenerRunning) break;
        if (waited != WAIT_OBJECT_0) {
            qx::Assert(L"ret != WAIT_OBJECT_0", L"Wait failed", kSource, __LINE__);
            break;
        }
        // One copy, bounded by the buffer, before the buffer is offered again.
        SQxCapturedText captured;
        captured.processId = channel->m_pView->processId;
        captured.time = QX_GetTimeCounter();
        try {
            captured.text.assign(channel->m_pView->text, strnlen(channel->m_pView->text, 1023));
        } catch (const std::bad_alloc &) {
            continue; // the text is lost, the channel goes on
        }
        EnterCriticalSection(&core->lock);
        try {
            if (core->queue.size() >= qx::g_maxQueuedTexts) {
                ++core->dropped;
            } else {
                if (core->dropped != 0) {
                    char notice[64];
                    wsprintfA(notice, "[%lu texts dropped]", core->dropped);
                    core->queue.push_back({notice, 0, captured.time});
                    core->dropped = 0;
                    if (core->pendingLines) InterlockedIncrement(core->pendingLines);
                }
                core->queue.push_back(std::move(captured));
                if (core->pendingLines) InterlockedIncrement(core->pendingLines);
            }
        } catch (const std::bad_alloc &) {
            ++core->dropped;
        }
        LeaveCriticalSection(&core->lock);
        SetEvent(core->wake);
    }
    // Receiving has stopped: Stop may return, and another receiver may claim the channel.
    ReleaseMarker(channel);
    SetEvent(core->stopped);
    // Writers that hold the channel's objects now wait for the buffer, each up to the system's
    // 10 seconds: they are answered (their texts are not delivered) until none comes, or another
    // receiver takes the channel.
    const DWORD drainStart = GetTickCount();
    while ((core->pinned || !qx::Unloading()) && !MarkerExists() &&
           GetTickCount() - drainStart < kDrainMostMs) {
        SetEvent(channel->m_hBufferReady);
        if (WaitForSingleObject(channel->m_hDataReady, kDrainQuietMs) != WAIT_OBJECT_0) break;
    }
    EnterCriticalSection(&core->lock);
    if (!MarkerExists()) SetEvent(channel->m_hBufferReady); // a writer arriving just now
    core->channel = nullptr;
    delete channel;
    LeaveCriticalSection(&core->lock);
    EndThread(core, core->listenerModule, core->listenerParked);
}

DWORD WINAPI CDebugFramework::adder_thread_proc(LPVOID argument) {
    SQxCaptureCore *core = static_cast<SQxCaptureCore *>(argument);
    qx::SetChannelSinkForThread(false); // a trace from AddItem would be captured again
    wchar_t *wide = new (std::nothrow) wchar_t[1024];
    // The tracing windows get their lines at most once every kTracingBatchMs, whatever arrives.
    DWORD lastFlush = GetTickCount();
    bool waiting = false; // lines wait in a window's batch
    while (wide && core->adderRunning) {
        const DWORD since = GetTickCount() - lastFlush;
        WaitForSingleObject(core->wake, !waiting                       ? INFINITE
                                        : since >= qx::kTracingBatchMs ? 0
                                                                       : qx::kTracingBatchMs - since);
        for (;;) {
            if (!core->adderRunning) break;
            SQxCapturedText next;
            CDebugFramework *target = nullptr;
            EnterCriticalSection(&core->lock);
            const bool any = !core->queue.empty();
            if (any) {
                next = std::move(core->queue.front());
                core->queue.pop_front();
                if (core->pendingLines) InterlockedDecrement(core->pendingLines);
                target = core->target;
            }
            LeaveCriticalSection(&core->lock);
            if (!any) break;
            const int n = MultiByteToWideChar(CP_ACP, 0, next.text.data(), static_cast<int>(next.text.size()),
                                              wide, 1023);
            wide[n > 0 ? n : 0] = L'\0';
            // The writer and capture time of the text that AddItem is given on this thread.
            qx::ThreadState &self = qx::ThisThread();
            self.captureProcess = next.processId;
            self.captureTime = next.time;
            self.captureNotice = next.processId == 0; // only the capture's own notes come from no process
            if (target) target->AddItem(wide);
            waiting = true;
        }
        EnterCriticalSection(&core->lock);
        std::map<int, CDebugWindow *> *windows = core->target ? core->windows : nullptr;
        LeaveCriticalSection(&core->lock);
        if (!windows) waiting = false;
        if (windows && waiting && core->adderRunning && GetTickCount() - lastFlush >= qx::kTracingBatchMs) {
            waiting = qx::FlushWindows(windows);
            lastFlush = GetTickCount();
        }
    }
    delete[] wide;
    EndThread(core, core->adderModule, core->adderParked);
}

// The texts of a capture go to its callback.
class CQxDbgCapt : public CDebugFramework {
public:
    CQxDbgCapt(QxDebugOutputCallback callback, QxDebugOutputCallbackEx callbackEx)
        : CDebugFramework(true), m_pCallback(callback), m_pCallbackEx(callbackEx) {
        m_hOwner = nullptr;
        m_lPendingLines = 0;
        qx::StartCapture(this, true,
                         {m_pCore, m_hListenerThread, m_dwListenerThreadId, m_bListenerRunning,
                          m_hAdderThread, m_dwAdderThreadId, m_bAdderRunning, m_lPendingLines},
                         listener_thread_proc, adder_thread_proc, nullptr, true);
    }
    ~CQxDbgCapt() override { Stop(); }
    void AddItem(const wchar_t *text) override {
        if (m_pCallbackEx)
            m_pCallbackEx(text, qx::ThisThread().captureProcess, qx::ThisThread().captureTime);
        else if (m_pCallback)
            m_pCallback(text);
    }

private:
    QxDebugOutputCallback m_pCallback;
    QxDebugOutputCallbackEx m_pCallbackEx;
};

CQxDebugOutputCapture::CQxDebugOutputCapture(QxDebugOutputCallback callback)
    : m_pCapture(nullptr), m_pCallback(callback), m_pCallbackEx(nullptr) {
    m_pCapture = new (std::nothrow) CQxDbgCapt(callback, nullptr);
}

CQxDebugOutputCapture::CQxDebugOutputCapture(QxDebugOutputCallbackEx callback)
    : m_pCapture(nullptr), m_pCallback(nullptr), m_pCallbackEx(callback) {
    m_pCapture = new (std::nothrow) CQxDbgCapt(nullptr, callback);
}

CQxDebugOutputCapture::~CQxDebugOutputCapture() {
    delete m_pCapture;
}
