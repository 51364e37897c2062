// QX_Conv64FmtSpecA / QX_Conv64FmtSpecW: 64-bit integer conversions in format texts, every "ll" made "I64".
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "zx_winsys/qx_text.h"

namespace {

template <typename Char> size_t Length(const Char *text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

template <typename Char> bool Contains(const Char *text, const Char *what) {
    const size_t n = Length(what);
    for (; *text; ++text) {
        size_t i = 0;
        while (i < n && text[i] == what[i])
            ++i;
        if (i == n) return true;
    }
    return false;
}

// The rewritten text of source, and whether it holds a 64-bit conversion ("I64").
template <typename Char> std::basic_string<Char> Rewritten(const Char *source, int *found) {
    static const Char kI64[] = {'I', '6', '4', 0};
    std::basic_string<Char> text(source);
    *found = Contains(source, kI64) ? 1 : 0;
    for (size_t at = 0;
         (at = text.find(std::basic_string<Char>(2, Char('l')), 0)) != std::basic_string<Char>::npos;) {
        text.replace(at, 2, kI64);
        *found = 1;
    }
    return text;
}

template <typename Char> int InPlace(Char *format) {
    if (!format) return 0;
    int found = 0;
    try {
        const std::basic_string<Char> text = Rewritten(format, &found);
        std::memcpy(format, text.c_str(), (text.size() + 1) * sizeof(Char));
    } catch (const std::bad_alloc &) {
        return 0; // the format stays as it was
    }
    return found;
}

template <typename Char> int Bounded(const Char *source, Char *target, int capacity) {
    if (!source || !target) return QX_ERR_INVALID_ARG;
    int found = 0;
    std::basic_string<Char> text;
    try {
        text = Rewritten(source, &found);
    } catch (const std::bad_alloc &) {
        if (capacity > 0) target[0] = 0;
        return QX_ERR_SYSTEM;
    }
    if (capacity <= 0 || text.size() >= static_cast<size_t>(capacity)) {
        if (capacity > 0) target[0] = 0;
        return QX_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(target, text.c_str(), (text.size() + 1) * sizeof(Char));
    return found;
}

} // namespace

extern "C" {

int QX_Conv64FmtSpecA(char *format) {
    return InPlace(format);
}

int QX_Conv64FmtSpecW(wchar_t *format) {
    return InPlace(format);
}

int QX_Conv64FmtSpecExA(const char *source, char *target, int capacity) {
    return Bounded(source, target, capacity);
}

int QX_Conv64FmtSpecExW(const wchar_t *source, wchar_t *target, int capacity) {
    return Bounded(source, target, capacity);
}

} // extern "C"
