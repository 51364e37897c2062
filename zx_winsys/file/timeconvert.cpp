// Conversion between file times and local time records.
#include "zx_winsys/internal/filetime.h"

namespace qx {

namespace {

const int kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month0) {
    return kMonthLength[month0] + (month0 == 1 && IsLeapYear(year) ? 1 : 0);
}

int DayOfYear(int year, int month0, int day) {
    int yday = day - 1;
    for (int m = 0; m < month0 && m < 12; ++m)
        yday += kMonthLength[m];
    if (month0 > 1 && IsLeapYear(year)) ++yday;
    return yday;
}

} // namespace

// Both directions use the time-zone rules in force on the date itself (daylight saving or not),
// never today's offset, which the system's local file-time calls would apply.
bool FileTimeToTm(const FILETIME &fileTime, struct tm *out) {
    SYSTEMTIME utc, st;
    if (!FileTimeToSystemTime(&fileTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st))
        return false;
    out->tm_year = st.wYear - 1900;
    out->tm_mon = st.wMonth - 1;
    out->tm_mday = st.wDay;
    out->tm_hour = st.wHour;
    out->tm_min = st.wMinute;
    out->tm_sec = st.wSecond;
    out->tm_wday = st.wDayOfWeek;
    out->tm_isdst = -1;
    out->tm_yday = DayOfYear(st.wYear, out->tm_mon, st.wDay);
    return true;
}

bool TmToFileTime(const struct tm &in, FILETIME *out) {
    // Fields that name no real date are refused here rather than wrapped into the 16-bit system
    // fields (not every system conversion checks the length of the month).
    if (in.tm_year < 1601 - 1900 || in.tm_year > 30827 - 1900 || in.tm_mon < 0 || in.tm_mon > 11 ||
        in.tm_mday < 1 || in.tm_mday > DaysInMonth(in.tm_year + 1900, in.tm_mon) || in.tm_hour < 0 ||
        in.tm_hour > 23 || in.tm_min < 0 || in.tm_min > 59 || in.tm_sec < 0 || in.tm_sec > 59)
        return false;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(in.tm_year + 1900);
    st.wMonth = static_cast<WORD>(in.tm_mon + 1);
    st.wDay = static_cast<WORD>(in.tm_mday);
    st.wHour = static_cast<WORD>(in.tm_hour);
    st.wMinute = static_cast<WORD>(in.tm_min);
    st.wSecond = static_cast<WORD>(in.tm_sec);
    SYSTEMTIME utc;
    return TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc) && SystemTimeToFileTime(&utc, out);
}

} // namespace qx
