// The user's date and time formats as picture strings, C-runtime patterns and display patterns;
// one point in time in the user's formats; automation dates.
#include <windows.h>
#include <oleauto.h>

#include <cwchar>

#include "zx_winsys/internal/filetime.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_text.h"

namespace {

// A locale item of the user-default locale; "" when it cannot be read. Separators take up to four
// units with the terminator, the system's maximum.
void ReadItem(LCTYPE item, wchar_t *text, int size) {
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, size) == 0) text[0] = L'\0';
}

int ReadNumber(LCTYPE item) {
    wchar_t text[11];
    ReadItem(item, text, 11);
    return QX_wtoi(text);
}

struct DateSettings {
    int order;
    wchar_t separator[4];
};
struct TimeSettings {
    int clock; // 0 twelve-hour, 1 twenty-four-hour
    int markerFirst;
    wchar_t separator[4];
};

DateSettings ReadDate() {
    DateSettings s;
    s.order = ReadNumber(LOCALE_IDATE);
    ReadItem(LOCALE_SDATE, s.separator, 4);
    return s;
}

TimeSettings ReadTime() {
    TimeSettings s;
    s.clock = ReadNumber(LOCALE_ITIME);
    s.markerFirst = s.clock == 0 ? ReadNumber(LOCALE_ITIMEMARKPOSN) : 0;
    ReadItem(LOCALE_STIME, s.separator, 4);
    return s;
}

// Writes the pattern with the separator in both places, cut and terminated within length.
void Put(wchar_t *buffer, int length, const wchar_t *pattern, const wchar_t *separator) {
    if (!buffer || length <= 0) return;
    wchar_t text[128] = L"";
    if (pattern) _snwprintf(text, 127, pattern, separator, separator);
    text[127] = L'\0';
    qx::CopyBounded(buffer, length, text, qx::Termination::Always);
}

const wchar_t *DatePattern(int order, bool display) {
    static const wchar_t *const kRuntime[] = {L"%%m%s%%d%s%%Y", L"%%d%s%%m%s%%Y", L"%%Y%s%%m%s%%d"};
    static const wchar_t *const kDisplay[] = {L"MM%sDD%sYYYY", L"DD%sMM%sYYYY", L"YYYY%sMM%sDD"};
    if (order < 0 || order > 2) return nullptr;
    return display ? kDisplay[order] : kRuntime[order];
}

const wchar_t *TimePattern(const TimeSettings &s, bool display) {
    if (s.clock == 1) return display ? L" HH%sMM%sSS" : L"%%H%s%%M%s%%S";
    if (s.clock != 0) return nullptr;
    if (s.markerFirst) return display ? L" pm hh%sMM%sSS" : L"%%p %%I%s%%M%s%%S";
    return display ? L" hh%sMM%sSS pm" : L"%%I%s%%M%s%%S %%p";
}

} // namespace

extern "C" {

int QX_GetLocaleShortDateTimeFormat(wchar_t *dateBuffer, int dateLength, wchar_t *timeBuffer, int timeLength) {
    wchar_t picture[81];
    if (dateBuffer) {
        ReadItem(LOCALE_SSHORTDATE, picture, 81);
        qx::CopyBounded(dateBuffer, dateLength, picture, qx::Termination::Always);
    }
    if (timeBuffer) {
        ReadItem(LOCALE_STIMEFORMAT, picture, 81);
        qx::CopyBounded(timeBuffer, timeLength, picture, qx::Termination::Always);
    }
    return 0;
}

int QX_GetLocaleDateTimeFormat(wchar_t *dateBuffer, int dateLength, wchar_t *timeBuffer, int timeLength) {
    if (dateBuffer) {
        const DateSettings date = ReadDate();
        Put(dateBuffer, dateLength, DatePattern(date.order, false), date.separator);
    }
    if (timeBuffer) {
        const TimeSettings time = ReadTime();
        Put(timeBuffer, timeLength, TimePattern(time, false), time.separator);
    }
    return 0;
}

int QX_GetLocaleUserDateTimeFormat(wchar_t *buffer, int length) {
    if (!buffer || length <= 0) return 0;
    const DateSettings date = ReadDate();
    const TimeSettings time = ReadTime();
    wchar_t datePart[64] = L"", timePart[80] = L"";
    Put(datePart, 64, DatePattern(date.order, true), date.separator);
    Put(timePart, 80, TimePattern(time, true), time.separator);
    // An unknown date order leaves no date, never whatever the buffer held before.
    if (!DatePattern(date.order, true)) datePart[0] = L'\0';
    wchar_t whole[144];
    _snwprintf(whole, 143, L"%s%s", datePart, timePart);
    whole[143] = L'\0';
    qx::CopyBounded(buffer, length, whole, qx::Termination::Always);
    return 0;
}

int QX_FormatLocaleDateTime(const struct _SYSTEMTIME *systemTime, wchar_t *dateBuffer, int dateLength,
                            wchar_t *timeBuffer, int timeLength) {
    if (!systemTime) return QX_ERR_SYSTEM;
    // A length of 0 would ask the system for the size needed, which is no formatted text.
    if (dateBuffer && (dateLength <= 0 ||
                       GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, systemTime, nullptr, dateBuffer, dateLength) == 0))
        return QX_ERR_SYSTEM;
    if (timeBuffer &&
        (timeLength <= 0 || GetTimeFormatW(LOCALE_USER_DEFAULT, 0, systemTime, nullptr, timeBuffer, timeLength) == 0))
        return QX_ERR_SYSTEM;
    return 0;
}

int QX_TmToVariantTime(const struct tm *localTime, double *variantTime) {
    if (!localTime || !variantTime) return QX_ERR_INVALID_ARG;
    // The UTC moment with the offset in force on that date, as file times convert it.
    FILETIME utc;
    SYSTEMTIME st;
    DATE date = 0.0;
    if (!qx::TmToFileTime(*localTime, &utc) || !FileTimeToSystemTime(&utc, &st) || !SystemTimeToVariantTime(&st, &date))
        return QX_ERR_SYSTEM;
    *variantTime = date;
    return 0;
}

} // extern "C"
