// The user's date and time formats in their three forms, one time formatted, automation dates in
// several time zones.
#include "testsupport/zxtest.h"
#include "zx_winsys/tests/text/locale.h"
#include "zx_winsys/zx_winsys.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

struct Formats {
    std::wstring runtimeDate, runtimeTime, display, pictureDate, pictureTime;
};

Formats Read() {
    Formats f;
    wchar_t date[64], time[64], display[64], pDate[64], pTime[64];
    REQUIRE(QX_GetLocaleDateTimeFormat(date, 64, time, 64) == 0);
    REQUIRE(QX_GetLocaleUserDateTimeFormat(display, 64) == 0);
    REQUIRE(QX_GetLocaleShortDateTimeFormat(pDate, 64, pTime, 64) == 0);
    f.runtimeDate = date;
    f.runtimeTime = time;
    f.display = display;
    f.pictureDate = pDate;
    f.pictureTime = pTime;
    return f;
}

// Pictures from which the system derives the order, separators and clock items.
const struct Picture {
    const wchar_t *date;
    const wchar_t *time;
    const wchar_t *runtimeDate;
    const wchar_t *runtimeTime;
    const wchar_t *display;
} kPictures[] = {
    {L"M/d/yyyy", L"h:mm:ss tt", L"%m/%d/%Y", L"%I:%M:%S %p", L"MM/DD/YYYY hh:MM:SS pm"},
    {L"dd.MM.yyyy", L"HH:mm:ss", L"%d.%m.%Y", L"%H:%M:%S", L"DD.MM.YYYY HH:MM:SS"},
    {L"yyyy-MM-dd", L"tt hh.mm.ss", L"%Y-%m-%d", L"%p %I.%M.%S", L"YYYY-MM-DD pm hh.MM.SS"},
};

} // namespace

TEST_CASE("locale formats: every date order and both clocks in the three forms") {
    LocaleSettings locale;
    for (const Picture &p : kPictures) {
        CAPTURE(zxtest::Narrow(p.date));
        REQUIRE(LocaleSettings::Set(LOCALE_SSHORTDATE, p.date));
        REQUIRE(LocaleSettings::Set(LOCALE_STIMEFORMAT, p.time));
        const Formats f = Read();
        CHECK(f.pictureDate == p.date);
        CHECK(f.pictureTime == p.time);
        CHECK(f.runtimeDate == p.runtimeDate);
        CHECK(f.runtimeTime == p.runtimeTime);
        CHECK(f.display == p.display);
    }
    // Only the time buffer: the date buffer stays as it was.
    wchar_t date[16] = L"untouched", time[16];
    CHECK(QX_GetLocaleDateTimeFormat(nullptr, 0, time, 16) == 0);
    CHECK(std::wstring(date) == L"untouched");
    CHECK(QX_GetLocaleUserDateTimeFormat(nullptr, 10) == 0);
}

TEST_CASE("locale formats: one time in the user's short date and time formats") {
    LocaleSettings locale;
    REQUIRE(LocaleSettings::Set(LOCALE_SSHORTDATE, L"dd.MM.yyyy"));
    REQUIRE(LocaleSettings::Set(LOCALE_STIMEFORMAT, L"HH:mm:ss"));
    SYSTEMTIME when = {2024, 3, 5, 7, 14, 5, 9, 0};
    wchar_t date[32], time[32];
    CHECK(QX_FormatLocaleDateTime(&when, date, 32, time, 32) == 0);
    CHECK(std::wstring(date) == L"07.03.2024");
    CHECK(std::wstring(time) == L"14:05:09");
    CHECK(QX_FormatLocaleDateTime(nullptr, date, 32, time, 32) == QX_ERR_SYSTEM);
    CHECK(QX_FormatLocaleDateTime(&when, nullptr, 0, nullptr, 0) == 0);
    CHECK(QX_FormatLocaleDateTime(&when, date, 0, nullptr, 0) == QX_ERR_SYSTEM);
    CHECK(QX_FormatLocaleDateTime(&when, date, 5, nullptr, 0) == QX_ERR_SYSTEM); // too small
}

TEST_CASE("locale formats reliability: every picture at every length stays inside its buffer, terminated") {
    LocaleSettings locale;
    const wchar_t *dates[] = {L"M/d/yyyy", L"dd.MM.yyyy", L"yyyy-MM-dd"};
    const wchar_t *times[] = {L"h:mm:ss tt", L"HH:mm:ss", L"tt hh.mm.ss"};
    for (int picture = 0; picture < 6; ++picture) {
        REQUIRE(LocaleSettings::Set(LOCALE_SSHORTDATE, dates[picture % 3]));
        REQUIRE(LocaleSettings::Set(LOCALE_STIMEFORMAT, times[(picture + picture / 3) % 3]));
        for (int length = 0; length <= 40; ++length) {
            CAPTURE(picture);
            CAPTURE(length);
            wchar_t a[48], b[48];
            auto fill = [](wchar_t *buffer) {
                for (int i = 0; i < 48; ++i)
                    buffer[i] = L'\x2603';
            };
            auto check = [length](const wchar_t *buffer) {
                for (int i = length; i < length + 8; ++i)
                    CHECK(buffer[i] == L'\x2603');
                if (length > 0) CHECK(wcsnlen(buffer, static_cast<size_t>(length)) < static_cast<size_t>(length));
                if (length == 0) CHECK(buffer[0] == L'\x2603');
            };
            fill(a);
            fill(b);
            QX_GetLocaleDateTimeFormat(a, length, b, length);
            check(a);
            check(b);
            fill(a);
            QX_GetLocaleUserDateTimeFormat(a, length);
            check(a);
            fill(a);
            fill(b);
            QX_GetLocaleShortDateTimeFormat(a, length, b, length);
            check(a);
            check(b);
        }
    }
}

TEST_CASE("automation dates: null pointers and impossible dates") {
    struct tm t = {};
    double value = 0.0;
    CHECK(QX_TmToVariantTime(nullptr, &value) == QX_ERR_INVALID_ARG);
    t.tm_year = 100;
    t.tm_mday = 1;
    CHECK(QX_TmToVariantTime(&t, nullptr) == QX_ERR_INVALID_ARG);
    t.tm_mon = 1;
    t.tm_mday = 30; // 30 February
    CHECK(QX_TmToVariantTime(&t, &value) == QX_ERR_SYSTEM);
    t.tm_mday = 1;
    t.tm_hour = 24;
    CHECK(QX_TmToVariantTime(&t, &value) == QX_ERR_SYSTEM);
}

namespace {

// The automation date of the UTC moment, as the system computes it.
double VariantOfUtc(WORD year, WORD month, WORD day, WORD hour) {
    SYSTEMTIME utc = {year, month, 0, day, hour, 0, 0, 0};
    DATE value = 0.0;
    REQUIRE(SystemTimeToVariantTime(&utc, &value));
    return value;
}

double VariantOfLocal(int year, int month, int day, int hour) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    double value = 0.0;
    REQUIRE(QX_TmToVariantTime(&t, &value) == 0);
    return value;
}

} // namespace

// Run by ctest entries whose Wine starts with TZ=Etc/GMT-1 (UTC+1 all year).
TEST_SUITE("time zone Etc/GMT-1" * doctest::skip()) {
    TEST_CASE("automation dates: one hour east of UTC") {
        CHECK(std::fabs(VariantOfLocal(2000, 1, 1, 0) - (36526.0 - 1.0 / 24)) < 1e-9);
        CHECK(std::fabs(VariantOfLocal(2000, 7, 1, 12) - VariantOfUtc(2000, 7, 1, 11)) < 1e-9);
    }
}

// Run by ctest entries whose Wine starts with TZ=Europe/Berlin.
TEST_SUITE("time zone Europe/Berlin" * doctest::skip()) {
    TEST_CASE("automation dates: the offset in force on the date, in January and in July") {
        CHECK(std::fabs(VariantOfLocal(2000, 1, 15, 12) - VariantOfUtc(2000, 1, 15, 11)) < 1e-9);
        CHECK(std::fabs(VariantOfLocal(2000, 7, 1, 12) - VariantOfUtc(2000, 7, 1, 10)) < 1e-9);
        CHECK(std::fabs(VariantOfLocal(2000, 7, 1, 12) - 36708.416667) < 1e-6);
    }
}
