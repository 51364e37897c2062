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
#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/qx_capture.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "debugging/debugoutputcapture";
const DWORD kStopWaitMs = 3000;

// Ends a capture thread: gives up its reference on the core and on the library.
[[noreturn]] void EndThread(SQxCaptureCore *core, HMODULE module) {
    qx::ReleaseCore(core);
    if (module) FreeLibraryAndExitThread(module, 0);
    ExitThread(0);
}

} // namespace

namespace qx {

int(WINAPI *g_captureMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;
size_t g_maxQueuedTexts = 65536;

void ReleaseCore(SQxCaptureCore *core) {
    if (InterlockedDecrement(&core->references) == 0) delete core;
}

void StartCapture(CDebugFramework *target, bool silent, CaptureFields fields, LPTHREAD_START_ROUTINE listener,
                  LPTHREAD_START_ROUTINE adder, std::map<int, CDebugWindow *> *windows) {
    SQxCaptureCore *core = new (std::nothrow) SQxCaptureCore;
    if (!core) return;
    core->target = target;
    core->silent = silent;
    core->windows = windows;
    core->pendingLines = &fields.pendingLines;
    fields.core = core;

    // Each thread holds a reference of the core for as long as it runs.
    core->listenerRunning = 1;
    fields.listenerRunning = true;
    InterlockedIncrement(&core->references);
    core->listenerModule = ModuleReference();
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
    core->adderModule = ModuleReference();
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

    m_hBufferReady = CreateEventW(&m_SecurityAttributes, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    if (m_hBufferReady && GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another receiver holds the channel: keep nothing of it, signal nothing.
        CloseHandle(m_hBufferReady);
        m_hBufferReady = nullptr;
        if (!silent)
            qx::g_captureMessageBox(nullptr, L"There is tracing logger already running...",
                                    L"zentrix Tracing", MB_ICONWARNING | MB_OK);
        return;
    }
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
    m_bInitialized = true;
}

COutDbgStringSync::~COutDbgStringSync() {
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

void CDebugFramework::Stop() {
    SQxCaptureCore *core = m_pCore;
    if (!core) return;
    m_pCore = nullptr;
    InterlockedExchange(&core->listenerRunning, 0);
    EnterCriticalSection(&core->lock);
    if (core->channel) SetEvent(core->channel->m_hDataReady); // wakes the listener
    LeaveCriticalSection(&core->lock);
    if (m_hListenerThread) {
        // The listener runs only its own code: one that does not end is stopped.
        if (WaitForSingleObject(m_hListenerThread, kStopWaitMs) == WAIT_TIMEOUT)
            TerminateThread(m_hListenerThread, 0);
        CloseHandle(m_hListenerThread);
        m_hListenerThread = nullptr;
    }
    InterlockedExchange(&core->adderRunning, 0);
    SetEvent(core->wake);
    if (m_hAdderThread) {
        // An adder that is still inside AddItem is left to finish: it may hold locks of the
        // program (the heap's, for one). It keeps the core alive and delivers nothing more.
        WaitForSingleObject(m_hAdderThread, kStopWaitMs);
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
        EndThread(core, core->listenerModule);
    }
    COutDbgStringSync *channel = new (std::nothrow) COutDbgStringSync(core->silent);
    if (!channel || !channel->m_bInitialized) {
        delete channel; // a refused receiver keeps no handle of the live one
        SetEvent(core->ready);
        EndThread(core, core->listenerModule);
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
    // A writer waiting for the buffer is released before the channel goes.
    EnterCriticalSection(&core->lock);
    SetEvent(channel->m_hBufferReady);
    core->channel = nullptr;
    delete channel;
    LeaveCriticalSection(&core->lock);
    EndThread(core, core->listenerModule);
}

DWORD WINAPI CDebugFramework::adder_thread_proc(LPVOID argument) {
    SQxCaptureCore *core = static_cast<SQxCaptureCore *>(argument);
    qx::SetChannelSinkForThread(false); // a trace from AddItem would be captured again
    wchar_t *wide = new (std::nothrow) wchar_t[1024];
    while (wide && core->adderRunning) {
        WaitForSingleObject(core->wake, INFINITE);
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
            if (target) target->AddItem(wide);
        }
        EnterCriticalSection(&core->lock);
        std::map<int, CDebugWindow *> *windows = core->target ? core->windows : nullptr;
        LeaveCriticalSection(&core->lock);
        if (windows && core->adderRunning) qx::FlushWindows(windows);
    }
    delete[] wide;
    EndThread(core, core->adderModule);
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
                         listener_thread_proc, adder_thread_proc, nullptr);
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
