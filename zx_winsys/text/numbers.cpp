// Numbers as text: the plain decimal test, and reading and writing with the user's locale.
#include <windows.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "zx_winsys/qx_text.h"

namespace {

// A number setting of the user-default locale, read afresh at every call.
std::wstring LocaleText(LCTYPE item) {
    wchar_t text[254] = L"";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, 254) == 0) text[0] = L'\0';
    return text;
}

UINT LocaleNumber(LCTYPE item) {
    return static_cast<UINT>(QX_wtoi(LocaleText(item).c_str()));
}

// Formats into buffer of length characters; false when the text does not fit (the buffer is then
// terminated in its last character).
bool Format(wchar_t *buffer, int length, const wchar_t *format, int decimals, double value) {
    const int n = _snwprintf(buffer, static_cast<size_t>(length), format, decimals, value);
    if (n < 0 || n >= length) {
        buffer[length - 1] = L'\0';
        return false;
    }
    return true;
}

} // namespace

extern "C" {

bool QX_IsStringDouble(const wchar_t *text) {
    if (!text || !*text) return false;
    bool separator = false;
    int digits = 0;
    for (const wchar_t *p = text; *p; ++p) {
        if (*p >= L'0' && *p <= L'9') {
            ++digits;
        } else if ((*p == L'.' || *p == L',') && !separator) {
            separator = true;
        } else if ((*p == L'+' || *p == L'-') && digits == 0) {
            // signs anywhere before the first digit
        } else {
            return false;
        }
    }
    return digits > 0;
}

bool QX_StringToDouble(const wchar_t *text, double *value) try {
    if (!text || !value) return false;
    // The first character of the user's separator, at its first place, becomes ".". An empty
    // separator (some systems accept one) is found nowhere.
    const std::wstring separator = LocaleText(LOCALE_SDECIMAL);
    std::wstring copy(text);
    if (!separator.empty()) {
        const size_t at = copy.find(separator);
        if (at != std::wstring::npos) copy[at] = L'.';
    }
    double read = 0.0;
    if (_snwscanf(copy.c_str(), copy.size(), L"%lf", &read) != 1) return false;
    *value = read;
    return true;
} catch (const std::bad_alloc &) {
    return false;
}

bool QX_DoubleToStringEx(double value, int decimals, wchar_t *buffer, int length, bool trim) try {
    if (decimals < 0 || !buffer || length <= 0) return false;
    // Infinities and NaN keep a fixed spelling and skip the locale: the platform's own
    // spellings ("1.#INF") do not survive the number formatting.
    if (!std::isfinite(value)) {
        const wchar_t *text = std::isnan(value) ? L"nan" : (value < 0 ? L"-inf" : L"inf");
        if (static_cast<int>(wcslen(text)) >= length) {
            buffer[0] = L'\0';
            return false;
        }
        wcscpy(buffer, text);
        return true;
    }
    if (value == 0.0) {
        if (length < 2) {
            buffer[0] = L'\0';
            return false;
        }
        wcscpy(buffer, L"0");
        return true;
    }
    if (!Format(buffer, length, L"%.*lf", decimals, value)) return false;

    int stripped = 0;
    if (decimals > 0) {
        size_t n = wcslen(buffer);
        while (n > 0 && buffer[n - 1] == L'0') {
            buffer[--n] = L'\0';
            ++stripped;
        }
        if (n > 0 && buffer[n - 1] == L'.') buffer[--n] = L'\0';
    }

    // Rounded to zero at these decimals: as many decimals as the first significant digit needs,
    // or the exponent form when that would be longer.
    bool exponentForm = false;
    if (wcscmp(buffer, L"0") == 0 || wcscmp(buffer, L"-0") == 0) {
        if (!Format(buffer, length, L"%.*le", 0, value)) return false;
        wchar_t *e = wcschr(buffer, L'e');
        if (!e) return false;
        wchar_t *digits = e + 1;
        if (*digits == L'+' || *digits == L'-') ++digits;
        wchar_t *first = digits;
        while (*first == L'0' && first[1] != L'\0')
            ++first;
        memmove(digits, first, (wcslen(first) + 1) * sizeof(wchar_t));
        const int exponent = _wtoi(e + 1);
        if (exponent >= 0) return false;
        const int fixedLength = (value < 0 ? 1 : 0) + 2 - exponent;
        if (static_cast<int>(wcslen(buffer)) + 4 < fixedLength) {
            exponentForm = true;
        } else {
            if (!Format(buffer, length, L"%.*lf", -exponent, value)) return false;
            decimals = -exponent;
            stripped = 0;
        }
    }
    if (exponentForm) return true; // no number the locale formatting takes

    // The user's number format, without grouping. An empty decimal separator would glue the
    // decimals to the integer part: the runtime's text stays then.
    std::wstring decimal = LocaleText(LOCALE_SDECIMAL), thousand = LocaleText(LOCALE_STHOUSAND);
    if (decimal.empty()) return true;
    NUMBERFMTW format = {};
    format.NumDigits = static_cast<UINT>(trim ? decimals - stripped : decimals);
    format.LeadingZero = LocaleNumber(LOCALE_ILZERO);
    format.Grouping = 0;
    format.lpDecimalSep = &decimal[0];
    format.lpThousandSep = &thousand[0];
    format.NegativeOrder = LocaleNumber(LOCALE_INEGNUMBER);
    // Where the user's format is the runtime's own ("." , a leading zero, "-1.1") and the text
    // already has the digits asked for, the system's formatting would give the same text back.
    const wchar_t *point = wcschr(buffer, L'.');
    const size_t digits = point ? wcslen(point + 1) : 0;
    if (decimal == L"." && format.LeadingZero == 1 && format.NegativeOrder == 1 && digits == format.NumDigits)
        return true;
    std::wstring localized(static_cast<size_t>(length), L'\0');
    if (GetNumberFormatW(LOCALE_USER_DEFAULT, 0, buffer, &format, &localized[0], length) > 0)
        wcscpy(buffer, localized.c_str());
    return true;
} catch (const std::bad_alloc &) {
    buffer[0] = L'\0';
    return false;
}

bool QX_DoubleToString(double value, int decimals, wchar_t *buffer, int length) {
    return QX_DoubleToStringEx(value, decimals, buffer, length, true);
}

} // extern "C"
