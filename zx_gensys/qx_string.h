// CQxStringW: the library's wide string.
#pragma once

#include <string>

#include "zx_gensys/qx_gensys_export.h"

class QXG_API CQxStringW {
public:
    CQxStringW() = default;
    CQxStringW(const wchar_t *text); // null is the empty string
    CQxStringW(const wchar_t *text, int length);

    CQxStringW &operator=(const wchar_t *text);
    CQxStringW &operator+=(const CQxStringW &other);
    CQxStringW &operator+=(const wchar_t *text);
    CQxStringW &operator+=(wchar_t c);
    CQxStringW operator+(const CQxStringW &other) const;
    CQxStringW operator+(const wchar_t *text) const;
    friend QXG_API CQxStringW operator+(const wchar_t *left, const CQxStringW &right);

    bool operator==(const CQxStringW &other) const { return m_text == other.m_text; }
    bool operator==(const wchar_t *text) const;
    bool operator!=(const CQxStringW &other) const { return !(*this == other); }
    bool operator!=(const wchar_t *text) const { return !(*this == text); }
    bool operator<(const CQxStringW &other) const { return m_text < other.m_text; }

    // printf style with the platform's wide rules: "%s" and "%ls" take a wide string, "%hs" a
    // narrow one, "%I64d" a 64-bit number. Returns the length, or -1 when the format cannot be
    // applied (the string is then empty).
    int Format(const wchar_t *format, ...);
    int AppendFormat(const wchar_t *format, ...);

    const wchar_t *GetString() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

private:
    std::wstring m_text;
};
