// CQxStringW.
#include "zx_gensys/qx_string.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace {

// Formats into out with the platform's wide printf rules (those of the system C runtime): "%s"
// takes a wide string in a wide format, "%hs" a narrow one, "%I64d" a 64-bit number. The
// compiler's ISO printf would read "%s" as narrow. False when the format cannot be applied.
bool FormatInto(std::wstring *out, const wchar_t *format, va_list args) {
    if (!format) return false;
    va_list copy;
    va_copy(copy, args);
    const int n = _vscwprintf(format, copy);
    va_end(copy);
    if (n < 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
    va_copy(copy, args);
    const int written = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (written != n) return false;
    out->append(buffer.data(), static_cast<size_t>(n));
    return true;
}

} // namespace

CQxStringW::CQxStringW(const wchar_t *text) : m_text(text ? text : L"") {}

CQxStringW::CQxStringW(const wchar_t *text, int length) {
    if (text && length > 0) m_text.assign(text, static_cast<size_t>(length));
}

CQxStringW &CQxStringW::operator=(const wchar_t *text) {
    m_text = text ? text : L"";
    return *this;
}

CQxStringW &CQxStringW::operator+=(const CQxStringW &other) {
    m_text += other.m_text;
    return *this;
}

CQxStringW &CQxStringW::operator+=(const wchar_t *text) {
    if (text) m_text += text;
    return *this;
}

CQxStringW &CQxStringW::operator+=(wchar_t c) {
    m_text += c;
    return *this;
}

CQxStringW CQxStringW::operator+(const CQxStringW &other) const {
    CQxStringW result(*this);
    result += other;
    return result;
}

CQxStringW CQxStringW::operator+(const wchar_t *text) const {
    CQxStringW result(*this);
    result += text;
    return result;
}

CQxStringW operator+(const wchar_t *left, const CQxStringW &right) {
    return CQxStringW(left) + right;
}

bool CQxStringW::operator==(const wchar_t *text) const {
    return m_text == (text ? text : L"");
}

int CQxStringW::Format(const wchar_t *format, ...) {
    m_text.clear();
    va_list args;
    va_start(args, format);
    bool ok = FormatInto(&m_text, format, args);
    va_end(args);
    if (!ok) m_text.clear();
    return ok ? GetLength() : -1;
}

int CQxStringW::AppendFormat(const wchar_t *format, ...) {
    std::wstring added;
    va_list args;
    va_start(args, format);
    bool ok = FormatInto(&added, format, args);
    va_end(args);
    if (!ok) return -1;
    m_text += added;
    return GetLength();
}
