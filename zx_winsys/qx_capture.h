/* Capture of the system debug-output channel ("DBWIN_BUFFER", "DBWIN_BUFFER_READY",
 * "DBWIN_DATA_READY"), the live tracing windows and the synchronised string queue between the
 * capture's listener and adder threads.
 *
 * One receiver holds the channel per session; a second one finds it taken and captures nothing.
 * Captured texts reach the consumer one at a time, in capture order, on the adder thread. */
#ifndef QX_CAPTURE_H
#define QX_CAPTURE_H

#include <windows.h>

#ifdef __cplusplus
#include <atomic>
#include <list>
#include <map>
#endif

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* Consumer of captured texts, called on the adder thread; it should not block for long. */
typedef void (*QxDebugOutputCallback)(const wchar_t *text); /* the default calling convention */
/* The same with the writer's process id and the capture time in milliseconds of
 * QX_GetTimeCounter(). */
typedef void (*QxDebugOutputCallbackEx)(const wchar_t *text, DWORD processId, double captureTime);

/* Layout of the shared "DBWIN_BUFFER" section (4096 bytes). */
typedef struct SQxDbWinBuffer { /* the layout the system writes */
    DWORD processId;            /* the writer; little-endian */
    char text[4092];            /* the system's ANSI code page, zero-terminated */
} SQxDbWinBuffer;

#ifdef __cplusplus
extern "C" {
#endif

/* Creates the process's tracing-window framework and keeps it until the library unloads.
 * recreate nonzero: an existing framework is destroyed and a new one made; 0: made only when
 * there is none. hOwner may be null. */
QX_API void DiagOutputWnd(HWND hOwner, int recreate);

#ifdef __cplusplus
}

/* One queued text: a fixed buffer of 1024 narrow characters, terminated. */
class QX_API CSyncCacheMember {
public:
    explicit CSyncCacheMember(char *text); /* a null text makes an empty entry */
    char m_szText[1024];                   /* at most 1023 bytes and the terminator */
};

/* First-in, first-out queue of narrow texts shared between threads; every call holds the
 * queue's own lock. */
class QX_API CSyncCache {
public:
    CSyncCache();
    ~CSyncCache(); /* not virtual */

    /* Appends a copy of text (at most 1023 bytes and a terminator). 0, or QX_ERR_SYSTEM when
     * the entry cannot be allocated. */
    int PushBack(char *text);
    /* Takes the oldest entry into out (room for 1024 wide characters, always terminated),
     * converted with the C runtime's multibyte conversion. -1 when the queue is empty (out is
     * not touched). */
    int PopFrontW(wchar_t *out);

    CSyncCache(const CSyncCache &) = delete;
    CSyncCache &operator=(const CSyncCache &) = delete;

private:
    std::list<CSyncCacheMember> m_List; /* oldest first */
    CRITICAL_SECTION m_Lock;
};

/* The receiving side of the channel: two auto-reset events, the section and a read-only view,
 * created with a null access list so that every account may open them, and not inheritable. */
class QX_API COutDbgStringSync {
public:
    /* Sets up the channel. When it is held by another receiver nothing is kept, and unless
     * silent a warning box "There is tracing logger already running..." is shown. */
    explicit COutDbgStringSync(bool silent);
    virtual ~COutDbgStringSync();

    COutDbgStringSync(const COutDbgStringSync &) = delete;
    COutDbgStringSync &operator=(const COutDbgStringSync &) = delete;

private:
    friend class CDebugFramework; /* its threads read the channel */

    bool m_bInitialized;
    HANDLE m_hBufferReady;         /* "DBWIN_BUFFER_READY" */
    HANDLE m_hDataReady;           /* "DBWIN_DATA_READY" */
    HANDLE m_hBuffer;              /* the section "DBWIN_BUFFER" */
    const SQxDbWinBuffer *m_pView; /* read-only */
    SECURITY_ATTRIBUTES m_SecurityAttributes;
    SECURITY_DESCRIPTOR m_SecurityDescriptor;
};

class CDebugWindow;    /* one tracing window with its own user-interface thread */
class CQxDbgCapt;      /* the framework that hands texts to a capture callback */
struct SQxCaptureCore; /* reference-counted state shared with the worker threads */

/* Capture of the channel with a listener thread (time-critical) and an adder thread that
 * calls AddItem for every text. The form with an owner window shows the texts in tracing
 * windows titled "Tracing Window ID: %i", one per "|wndid:" id. */
class QX_API CDebugFramework {
public:
    /* No thread, no window, no channel. */
    CDebugFramework();
    explicit CDebugFramework(bool silent);
    /* Tracing windows: creates the window for id 0 and starts both threads. hOwner may be
     * null; write (HWND)NULL or nullptr, since NULL or 0 would also match the bool form. */
    explicit CDebugFramework(HWND hOwner);

    /* Called on the adder thread for every captured text; here it routes the text to the
     * tracing window of its id. */
    virtual void AddItem(const wchar_t *text);
    virtual ~CDebugFramework();

    /* Creates a tracing window for id with the framework's owner window. */
    void CreateDebugWindow(int id);

    /* True while the framework's listener holds the channel: false when another receiver held
     * it as the framework started (the box of the form that is not silent has been answered
     * then), and after Stop. */
    bool IsReceiving() const;

    /* Stops both threads and releases the channel; safe to call twice. Every destructor of a
     * class that overrides AddItem calls it first, so that no text reaches a destroyed object.
     * The listener is waited for 3 s; an adder still inside AddItem after 3 s is left to finish
     * on its own (never killed inside caller code): its AddItem must not touch the object then. */
    void Stop();

    CDebugFramework(const CDebugFramework &) = delete;
    CDebugFramework &operator=(const CDebugFramework &) = delete;

protected:
    /* Shows row as it is (its columns joined by tabs, its number the first) in the window of id,
     * made and titled title when id has no window yet: a window saved to a file, read back. */
    void AddRow(int id, const wchar_t *title, const wchar_t *row);

    /* Thread bodies; the argument is the framework. Always 0. */
    static DWORD WINAPI listener_thread_proc(LPVOID framework);
    static DWORD WINAPI adder_thread_proc(LPVOID framework);

    bool m_bReuseFirstWindow;
    HWND m_hOwner;
    std::map<int, CDebugWindow *> m_Windows; /* owned */
    volatile LONG m_lPendingLines;           /* texts captured and not yet handed to AddItem */
    HANDLE m_hListenerThread;
    DWORD m_dwListenerThreadId;
    std::atomic<bool> m_bListenerRunning;
    HANDLE m_hAdderThread;
    DWORD m_dwAdderThreadId;
    std::atomic<bool> m_bAdderRunning;
    COutDbgStringSync *m_pChannel; /* exists only while the listener runs */
    CSyncCache m_Cache;            /* unused by the capture: texts queue with their writer and time */
    bool m_bSilent;                /* the silent flag, kept until the channel is made */
    SQxCaptureCore *m_pCore;
};

/* Captures the channel and hands every text, as wide text (decoded with the system's ANSI code
 * page, at most 1023 characters), to the callback on the adder thread. Always silent. The
 * destructor stops the capture and returns without waiting for queued texts. At most 65,536
 * texts wait; beyond that texts are counted, and one "[n texts dropped]" text follows when there
 * is room again. The capture's own threads write nothing to the channel. */
class QX_API CQxDebugOutputCapture {
public:
    explicit CQxDebugOutputCapture(QxDebugOutputCallback callback);
    explicit CQxDebugOutputCapture(QxDebugOutputCallbackEx callback);
    virtual ~CQxDebugOutputCapture();

    CQxDebugOutputCapture(const CQxDebugOutputCapture &) = delete;
    CQxDebugOutputCapture &operator=(const CQxDebugOutputCapture &) = delete;

private:
    CQxDbgCapt *m_pCapture;
    QxDebugOutputCallback m_pCallback;
    QxDebugOutputCallbackEx m_pCallbackEx;
};

#endif /* __cplusplus */

#endif
