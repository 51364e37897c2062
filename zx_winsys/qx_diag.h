/* Diagnostics of zx_winsys: trace records and the option words, the shared daily log file and
 * assertion reports.
 *
 * Every function here keeps the caller's last-error value: it is saved on entry and restored
 * before the function returns. A trace statement is two calls: DiagOutputExW_hlp with the
 * source file and line, then DiagOutputExW (a detail trace only when CQxLogFile::Detail() is
 * true). */
#ifndef QX_DIAG_H
#define QX_DIAG_H

#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* Bits of the trace option word and of the failure option word. */
#define QX_DIAG_MSGBOX 0x01     /* failure word: message box with Abort, Retry, Ignore */
#define QX_DIAG_DEBUGGER 0x02   /* the system debug-output channel */
#define QX_DIAG_STACKTRACE 0x04 /* failure word: append a stack trace */
#define QX_DIAG_EVENTLOG 0x08   /* failure word: the system event log */
#define QX_DIAG_LOGFILE 0x10    /* the day's log file */

#define QX_DIAG_TRACE_DEFAULT 0x12  /* the trace word at load */
#define QX_DIAG_FAILIF_DEFAULT 0x10 /* the failure word at load */

#ifdef __cplusplus
extern "C" {
#endif

/* Expands the printf-style wide format with the platform's rules ("%s" takes a wide string,
 * "%I64d" a 64-bit number), replaces the tags |stime|, |wndid:, |absdt|, |adt00|..|adt07|,
 * |wnddt|, |appnm|, |thrid|, |sfile|, |nline| and |srcid|, starts the record with "|wndid:"
 * ("|wndid:0 " when the text has no such tag), ends it with CR LF, and sends it to the sinks of
 * the trace option word. Never fails towards the caller; a null format writes nothing.
 *
 * Records are written one at a time, in order, under one process-wide lock that is held while
 * the record goes to the debug-output channel: a reader that holds the channel without answering
 * stalls each record for up to 10 seconds (the system's wait). A record longer than a capture
 * hands on whole (1,023 characters) goes to the channel in several pieces, each after the first
 * starting with the record's "|wndid:" tag; the log file gets it as one line. */
QX_API void DiagOutputExW(const wchar_t *format, ...);
/* Sets the source location that the next records of the calling thread report (|srcid|,
 * |nline|). Each thread has its own location; a name above 1,023 characters keeps its end. */
QX_API void DiagOutputExW_hlp(const char *sourceFile, int line);
/* Format (at most 1024 characters, always terminated) and send the text unchanged to the
 * debug-output channel: no tags, no CR LF, no log file, no option word. A null format sends
 * nothing. */
QX_API void DiagOutputA(const char *format, ...);
QX_API void DiagOutputW(const wchar_t *format, ...);

/* 0 changes nothing and returns 0; otherwise stores the word and returns the previous one. */
QX_API int QX_SetTraceOptions(int options);
QX_API int QX_GetTraceOptions(void);
/* As QX_SetTraceOptions, for the failure option word. There is no getter. */
QX_API int QX_SetFailifOptions(int options);

/* CQxLogFile::Log(text, 0). */
QX_API int QX_Log(const wchar_t *text);

/* Reports a failed assumption to the sinks of options (0: the failure option word).
 * comment may be null. Returns 1 when the user chose Retry in the message box, otherwise 0;
 * Abort ends the process with exit code -1. Reports of several threads are written one after
 * the other; a report made from inside a report is dropped. */
QX_API int DiagAssertA(int options, const char *expression, const char *comment, const char *sourceFile,
                       int line);
/* The same report with wide expression and comment. */
QX_API int DiagAssertW(int options, const wchar_t *expression, const wchar_t *comment, const char *sourceFile,
                       int line);

#ifdef __cplusplus
}

/* Scope timer: the destructor writes "<name> - execution took <n> ms" as a trace record.
 * A name of 1024 characters or more makes an object that does nothing. */
class QX_API CQxTraceExecutionTime {
public:
    explicit CQxTraceExecutionTime(const wchar_t *name);
    virtual ~CQxTraceExecutionTime();

    CQxTraceExecutionTime(const CQxTraceExecutionTime &) = delete;
    CQxTraceExecutionTime &operator=(const CQxTraceExecutionTime &) = delete;

private:
    wchar_t *m_pszName;      /* null when nothing is timed */
    unsigned long m_dwStart; /* multimedia-timer milliseconds */
};

/* The shared daily log file: "qxapp_YYYY-MM-DD.log" and its continuations
 * "qxapp_YYYY-MM-DD_(NNNN).log" in the log folder. The one instance is made on demand.
 *
 * Several processes write one file: each line is appended whole at the end of the file under a
 * lock that all writers of the file share, and the same lock serialises the start of a
 * continuation file, so writers passing the size limit together start one. A writer waits at most
 * 250 ms for that lock (while another program holds it, only the first line of each second waits);
 * a line that cannot be written (the lock not had, a failed or short write, no file open, the day
 * full) is counted, and the next line that lands is preceded by a line saying how many were lost
 * and why. A write is whole or not at all: one cut short by a full drive is taken back.
 *
 * The size limit "MaxLogMBytes" is the size of the file on disk: a line that finds the file at the
 * limit starts the next continuation, so a file stays within the limit and a line. When the
 * continuation cannot be made, lines stay in the current file and the new one is tried again after
 * a second. When continuation 9999 is at the limit, the rest of the day's lines are refused. The
 * first line of a new day starts that day's file. Opening reads the day's newest continuation
 * from the note "qxapp.newest" in the folder and walks the folder only without one.
 *
 * Files older than "MaxLogDays" calendar days are deleted by a thread of the opening process,
 * once a day per process and one process at a time, at most 1,000 files at a time; a value above
 * 36,500 or negative keeps every file, and no file of today is ever deleted. Nothing opens the log
 * while the library is being loaded. */
class QX_API CQxLogFile {
public:
    /* At library load and unload: create and destroy the class lock. */
    static void Initialize();
    static void Uninitialize();

    /* Writes one line (time prefix + text). A line above 511 characters is cut to 509 and keeps
     * its CR LF when the text ended with a line feed. QX_ERR_INVALID_ARG for a null text;
     * QX_ERR_SYSTEM when no log is open, logging is disabled, level is below the detail threshold
     * or the day's files are full; QX_ERR_WRITE_FILE when the line was not written (the writers'
     * lock not had within the wait, or a failed write). In narrow mode characters above U+00FF
     * are written as '?'. */
    static int Log(const wchar_t *text, int level);
    /* True when the log is open (opened on demand), enabled and the detail threshold is negative.
     * A failed open is tried again at most once a second. False while the library is loading. */
    static bool Detail();
    static bool IsEnabled();
    /* Returns the previous setting; disabling also closes the log. */
    static bool EnableLog(bool enable);
    /* Always 0. */
    static int CloseLog();
    /* Starts a new continuation file; QX_ERR_SYSTEM when no log is open or logging is disabled. */
    static int ClearLog();
    /* Path of the open file (opening it on demand), or null. The text returned never changes and
     * stays valid while the library is loaded; when the log moves to another file, the next call
     * returns that file's path. */
    static const wchar_t *GetLogFilename();
    /* Stores the limits in the registry and in the open log. maxMBytes is taken as unsigned.
     * QX_ERR_SYSTEM when a limit cannot be stored. */
    static int SetProperties(int maxMBytes, int maxDays);
    /* Shows the log folder (showFolder true) or the newest log file. Returns 0. */
    static int OpenLog(bool showFolder);
    /* Return 0 and change nothing. */
    static int ChangeLogDetail(int level);
    static int SaveAs(const wchar_t *path, unsigned int flags);

    /* The class's static state is public, as callers of the platform read it directly. */
    static CQxLogFile *m_pSingleton;
    static pthread_mutexCS_t m_classLock;
    static bool m_bLogEnabled;
    static bool m_bUnicodeEnabled;

private:
    CQxLogFile();
    ~CQxLogFile();
    CQxLogFile(const CQxLogFile &) = delete;
    CQxLogFile &operator=(const CQxLogFile &) = delete;

    static CQxLogFile *getInstance(bool unused);
    static int SplitFile(CQxLogFile *instance);
    static int GetLogFileDir(wchar_t *folder); /* 1024 characters, ends with "\\" */
    static int ReadLogFileLocation(wchar_t *folder, const wchar_t *setupOptionsPath); /* folder: 1024 */
    static void curr_time_string(wchar_t *buffer); /* at least 64 characters */
    static void wtoc(char *out, const wchar_t *text);
    static void EnableUnicode(bool enable);

    void *m_hFile; /* as from QX_OpenFile */
    bool m_bOpen;
    int m_nDetailThreshold;
    unsigned int m_uMaxLogMBytes; /* all bits set: no limit */
    int m_nMaxLogDays;
    wchar_t m_wszFileName[1024];
    unsigned int m_uBytesWritten;
};

#endif /* __cplusplus */

#endif
