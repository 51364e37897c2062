// The thin string services: lengths, case-insensitive comparisons, integer conversions, the
// platform's wide formatting, and code-page conversions.
#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "zx_winsys/internal/crt.h"
#include "zx_winsys/qx_text.h"

namespace {

// A null pointer sorts before any text; two null pointers are equal.
template <typename T> bool NullOrder(const T *a, const T *b, int *result) {
    if (a && b) return false;
    *result = a ? 1 : (b ? -1 : 0);
    return true;
}

} // namespace

namespace qx {
namespace crt {

double Wcstod(const wchar_t *text, wchar_t **end) {
#if defined(__MINGW32__)
    // The compiler's runtime brings an ISO conversion of its own (hexadecimal numbers, "inf"); the
    // platform's runtime is the reference.
    using Fn = double(__cdecl *)(const wchar_t *, wchar_t **);
    static const Fn platform = reinterpret_cast<Fn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "wcstod")));
    if (platform) return platform(text, end);
#endif
    return wcstod(text, end);
}

int FormatV(wchar_t *buffer, size_t count, const wchar_t *format, va_list args) {
    return _vsnwprintf(buffer, count, format, args);
}

} // namespace crt
} // namespace qx

extern "C" {

int wcslen32(const wchar_t *text) {
    return text ? static_cast<int>(wcslen(text)) : 0;
}

int strlen32(const char *text) {
    return text ? static_cast<int>(strlen(text)) : 0;
}

int QX_stricmp(const char *a, const char *b) {
    int order;
    return NullOrder(a, b, &order) ? order : _stricmp(a, b);
}

int QX_strnicmp(const char *a, const char *b, size_t count) {
    int order;
    return NullOrder(a, b, &order) ? order : _strnicmp(a, b, count);
}

int QX_wcsicmp(const wchar_t *a, const wchar_t *b) {
    int order;
    return NullOrder(a, b, &order) ? order : _wcsicmp(a, b);
}

int QX_wcsnicmp(const wchar_t *a, const wchar_t *b, size_t count) {
    int order;
    return NullOrder(a, b, &order) ? order : _wcsnicmp(a, b, count);
}

wchar_t *QX_itow(int value, wchar_t *buffer, int radix) {
    if (!buffer) return buffer;
    // The runtime divides by the radix and writes until the value is used up: radix 0 would
    // divide by zero and radix 1 would never end.
    if (radix < 2 || radix > 36) {
        buffer[0] = L'\0';
        return buffer;
    }
    return _itow(value, buffer, radix);
}

int QX_wtoi(const wchar_t *text) {
    return text ? _wtoi(text) : 0;
}

double QX_wstrtod(const wchar_t *text, wchar_t **end) {
    if (!text) {
        if (end) *end = nullptr;
        return 0.0;
    }
    return qx::crt::Wcstod(text, end);
}

int QX_swprintf(wchar_t *buffer, const wchar_t *format, ...) {
    if (!buffer || !format) return -1;
    va_list args;
    va_start(args, format);
    // No limit, as the caller asked: the platform's formatter writes what the text needs.
    const int n = qx::crt::FormatV(buffer, static_cast<size_t>(INT_MAX), format, args);
    va_end(args);
    return n;
}

int QX_snwprintf(wchar_t *buffer, int count, const wchar_t *format, ...) {
    if (!buffer || count <= 0) return -1;
    if (!format) {
        buffer[0] = L'\0';
        return -1;
    }
    va_list args;
    va_start(args, format);
    const int n = qx::crt::FormatV(buffer, static_cast<size_t>(count), format, args);
    va_end(args);
    if (n < 0 || n >= count) {
        buffer[0] = L'\0';
        return -1;
    }
    return n;
}

int QX_WChar2Char(const wchar_t *text, int length, char *buffer, int size) {
    if (!text || size < 0 || (size > 0 && !buffer)) return 0;
    return WideCharToMultiByte(CP_ACP, 0, text, length, size > 0 ? buffer : nullptr, size, nullptr, nullptr);
}

int QX_Char2WChar(const char *text, int length, wchar_t *buffer, int size) {
    if (!text || size < 0 || (size > 0 && !buffer)) return 0;
    return MultiByteToWideChar(CP_ACP, 0, text, length, size > 0 ? buffer : nullptr, size);
}

} // extern "C"
