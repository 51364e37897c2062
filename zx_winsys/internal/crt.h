// The platform's C runtime where the compiler's own runtime would behave differently: in a wide
// format "%s" takes a wide string and "%I64d" a 64-bit number; conversions follow the platform.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace qx {
namespace crt {

// _vsnwprintf: at most count characters; negative when the text does not fit.
int FormatV(wchar_t *buffer, size_t count, const wchar_t *format, va_list args);
// wcstod of the platform's runtime.
double Wcstod(const wchar_t *text, wchar_t **end);

} // namespace crt
} // namespace qx
