// The one rule of every transfer for what could not be done: each item that is refused or fails is
// counted and traced with its path and reason, a refusal of the whole transfer is traced with its
// reason, and the result says so (-10, -9). Also the window's questions: Cancel and progress.
#pragma once

#include <windows.h>

#include <string>

#include "settingsxfer/core/transfer.h"

namespace sx {

// The system's text for an error number, without its line end.
std::wstring SystemText(DWORD error);

class Outcome {
public:
    // source: the file the traces name ("settingsxfer/import").
    Outcome(const char *source, TransferReport *report, TransferControl *control)
        : m_source(source), m_report(report), m_control(control) {
        if (m_report) *m_report = TransferReport();
    }
    // Traces "<what> <path>: <reason>." and counts the item.
    void Failed(int line, const wchar_t *what, const std::wstring &path, const std::wstring &reason);
    // Traces "<what>: <reason>." and returns kTransferFailed.
    int Refuse(int line, const wchar_t *what, const std::wstring &reason);
    // Whether the window asked to stop; traced once when it did.
    bool Cancelled(int line);
    void Progress(const TransferProgress &progress) {
        if (m_control) m_control->Progress(progress);
    }
    int Failures() const { return m_failed; }
    // 0, or kTransferPartly when anything failed.
    int Result() const { return m_failed ? kTransferPartly : 0; }

private:
    void Trace(int line, const std::wstring &text);
    const char *m_source;
    TransferReport *m_report;
    TransferControl *m_control;
    int m_failed = 0;
    bool m_cancelled = false;
};

} // namespace sx
