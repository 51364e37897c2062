/* Strings and numbers, and the user's locale date and time formats.
 *
 * Text is wide (UTF-16) unless a name says narrow. "The C runtime" below is the platform's own:
 * in a wide format "%s" takes a wide string, and "%I64d" is a 64-bit integer. Locale settings
 * are read from the user-default locale at every call. */
#ifndef QX_TEXT_H
#define QX_TEXT_H

#include <stddef.h>
#include <time.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

struct _SYSTEMTIME; /* the system's SYSTEMTIME */

#ifdef __cplusplus
extern "C" {
#endif

/* Length before the terminator, as int (0 for a null pointer). */
QX_API int wcslen32(const wchar_t *text);
QX_API int strlen32(const char *text);

/* Case-insensitive comparisons of the C runtime: below, equal to or above 0. A null pointer sorts
 * before any text. */
QX_API int QX_stricmp(const char *a, const char *b);
QX_API int QX_strnicmp(const char *a, const char *b, size_t count);
QX_API int QX_wcsicmp(const wchar_t *a, const wchar_t *b);
QX_API int QX_wcsnicmp(const wchar_t *a, const wchar_t *b, size_t count);

/* Writes the digits of value in radix (a minus sign only in radix 10); returns buffer. A radix
 * outside 2..36 writes an empty string; the buffer must hold 33 characters. */
QX_API wchar_t *QX_itow(int value, wchar_t *buffer, int radix);
/* Skips white space, reads an optional sign and decimal digits; 0 when there are none (and for a
 * null pointer). */
QX_API int QX_wtoi(const wchar_t *text);
/* The C runtime's conversion with "." as the decimal point; *end (end may be null) marks the
 * first character not used. */
QX_API double QX_wstrtod(const wchar_t *text, wchar_t **end);
/* Formats into buffer without a size limit. Characters written, negative on failure. */
QX_API int QX_swprintf(wchar_t *buffer, const wchar_t *format, ...);
/* As QX_swprintf, writing at most count characters including the terminator. The buffer is
 * always terminated when count > 0. Characters written, or -1 when the text does not fit or
 * cannot be formatted (the buffer then holds an empty string). */
QX_API int QX_snwprintf(wchar_t *buffer, int count, const wchar_t *format, ...);

/* Conversion to and from the system's active code page. length -1: up to and including the
 * terminator. size 0: only report the size needed. Bytes (or characters) written or needed,
 * 0 on failure. */
QX_API int QX_WChar2Char(const wchar_t *text, int length, char *buffer, int size);
QX_API int QX_Char2WChar(const char *text, int length, wchar_t *buffer, int size);

/* Rewrites every "ll" in format as "I64", in place; each rewrite makes the text one character
 * longer, and the caller's buffer must have that room (QX_Conv64FmtSpecExA/W never need it). Also an
 * "ll" outside a conversion is rewritten ("hello" becomes "heI64o"). 1 when format held "I64" or a
 * rewrite was made, else 0 (also for a null pointer). */
QX_API int QX_Conv64FmtSpecA(char *format);
QX_API int QX_Conv64FmtSpecW(wchar_t *format);
/* The same rewrite from source into target of capacity characters (terminator included). 1 or 0
 * as above; QX_ERR_INVALID_ARG for a null pointer; QX_ERR_BUFFER_TOO_SMALL when the result does
 * not fit (target then holds an empty string when capacity > 0). Never writes past capacity. */
QX_API int QX_Conv64FmtSpecExA(const char *source, char *target, int capacity);
QX_API int QX_Conv64FmtSpecExW(const wchar_t *source, wchar_t *target, int capacity);

/* True when text is signs (before the first digit only), digits and at most one "." or ",",
 * with at least one digit. "--7" and "5." count; "1e5" and " 1" do not. False for null. */
QX_API bool QX_IsStringDouble(const wchar_t *text);
/* Reads a number with the user's decimal separator (or "."); trailing text is ignored ("12abc"
 * reads 12). Only the first character of a longer separator is replaced, at its first place. An
 * empty separator setting replaces nothing. False when no number was read, or for null pointers. */
QX_API bool QX_StringToDouble(const wchar_t *text, double *value);
/* Writes value with decimals decimals in the user's number format, without digit grouping,
 * into buffer of length characters. trim removes trailing zeros and a bare separator. A value
 * that rounds to zero shows its first significant digit (0.00016 at 2 decimals: "0.0002"), beyond
 * the sixth decimal in exponent form ("1e-9"). Infinities and NaN give "inf", "-inf" and "nan".
 * With an empty decimal separator setting the text keeps the C runtime's form. False when
 * decimals < 0 or the text does not fit (the buffer may then hold partial text, always terminated
 * when length > 0); true results are always terminated within length. */
QX_API bool QX_DoubleToStringEx(double value, int decimals, wchar_t *buffer, int length,
                                bool trim);
/* QX_DoubleToStringEx with trim set. */
QX_API bool QX_DoubleToString(double value, int decimals, wchar_t *buffer, int length);

/* The user's short date picture and time picture, into the non-null buffers of the given
 * lengths in characters. Every output is terminated and stays within its length (a text too long
 * is cut at length - 1; a length of 0 writes nothing). Always 0. */
QX_API int QX_GetLocaleShortDateTimeFormat(wchar_t *dateBuffer, int dateLength, wchar_t *timeBuffer,
                                           int timeLength);
/* C-runtime time-formatting patterns after the user's settings, e.g. "%d.%m.%Y" and
 * "%I:%M:%S %p", into the non-null buffers, cut and terminated as above. A date order or a clock
 * setting the system does not define writes "". Always 0. */
QX_API int QX_GetLocaleDateTimeFormat(wchar_t *dateBuffer, int dateLength, wchar_t *timeBuffer,
                                      int timeLength);
/* Display pattern, date then time in one text, e.g. "MM/DD/YYYY hh:MM:SS pm", cut and
 * terminated within length. Always 0; a null buffer does nothing. */
QX_API int QX_GetLocaleUserDateTimeFormat(wchar_t *buffer, int length);
/* Formats systemTime with the user's short date format and time format into the non-null
 * buffers. 0, or QX_ERR_SYSTEM when systemTime is null, a length is 0 or a formatting fails (a
 * buffer too small included). */
QX_API int QX_FormatLocaleDateTime(const struct _SYSTEMTIME *systemTime, wchar_t *dateBuffer, int dateLength,
                                   wchar_t *timeBuffer, int timeLength);
/* The automation date (days since 30 December 1899, the system's variant time) of the UTC
 * moment of the given local time, with the time-zone offset in force on that date.
 * QX_ERR_INVALID_ARG for a null pointer, QX_ERR_SYSTEM when a field is out of range (as for file
 * times) or a conversion fails. */
QX_API int QX_TmToVariantTime(const struct tm *localTime, double *variantTime);

#ifdef __cplusplus
}
#endif

#endif
