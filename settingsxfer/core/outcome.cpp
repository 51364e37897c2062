// Counting and tracing what a transfer could not do.
#include "settingsxfer/core/outcome.h"

#include "zx_winsys/zx_winsys.h"

namespace sx {

std::wstring SystemText(DWORD error) {
    wchar_t text[512] = L"";
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                        511, nullptr))
        swprintf(text, 512, L"error %lu", error);
    std::wstring reason = text;
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' ' ||
                               reason.back() == L'.'))
        reason.pop_back();
    return reason + L" (" + std::to_wstring(error) + L")";
}

void Outcome::Trace(int line, const std::wstring &text) {
    DiagOutputExW_hlp(m_source, line);
    DiagOutputExW(L"%s\n", text.c_str());
}

void Outcome::Failed(int line, const wchar_t *what, const std::wstring &path, const std::wstring &reason) {
    ++m_failed;
    if (m_report) m_report->failedElements = m_failed;
    Trace(line, std::wstring(what) + L" " + path + L": " + reason + L".");
}

int Outcome::Refuse(int line, const wchar_t *what, const std::wstring &reason) {
    const std::wstring text = std::wstring(what) + L": " + reason + L".";
    if (m_report) m_report->refusal = text;
    Trace(line, text);
    return kTransferFailed;
}

bool Outcome::Cancelled(int line) {
    if (m_cancelled) return true;
    if (!m_control || !m_control->Cancelled()) return false;
    m_cancelled = true;
    Trace(line, L"Stopped by the user: the store and the package are as they were.");
    return true;
}

} // namespace sx
