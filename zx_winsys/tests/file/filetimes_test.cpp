// File times through local time records.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cstring>

using zxtest::TempDir;

namespace {

struct tm Date(int year, int month, int day, int hour = 12, int minute = 30, int second = 15) {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = 99; // never read
    t.tm_yday = 999;
    t.tm_isdst = 5;
    return t;
}

} // namespace

TEST_CASE("file times: write time round trip with the day of the year and tm_isdst -1") {
    struct Case {
        int year, month, day;
        int yday, wday;
    };
    const Case cases[] = {
        {2024, 3, 1, 60, 5}, {2024, 12, 31, 365, 2}, {2023, 3, 1, 59, 3},  {2000, 3, 1, 60, 3},
        {2100, 3, 1, 59, 1}, {2024, 1, 1, 0, 1},     {2024, 2, 29, 59, 4}, {1999, 12, 31, 364, 5},
    };
    TempDir dir;
    void *file = nullptr;
    REQUIRE(QX_OpenFile((dir / L"t").c_str(), 0x0E, 0, QX_PERM_DEFAULT, &file) == QX_OK);
    for (const Case &c : cases) {
        CAPTURE(c.year);
        CAPTURE(c.month);
        CAPTURE(c.day);
        struct tm when = Date(c.year, c.month, c.day);
        REQUIRE(QX_TouchFile(file, nullptr, nullptr, &when) == QX_OK);
        struct tm back;
        std::memset(&back, 0x7f, sizeof back);
        REQUIRE(QX_GetFileTimes(file, nullptr, nullptr, &back) == QX_OK);
        CHECK(back.tm_year == c.year - 1900);
        CHECK(back.tm_mon == c.month - 1);
        CHECK(back.tm_mday == c.day);
        CHECK(back.tm_hour == 12);
        CHECK(back.tm_min == 30);
        CHECK(back.tm_sec == 15);
        CHECK(back.tm_yday == c.yday);
        CHECK(back.tm_wday == c.wday);
        CHECK(back.tm_isdst == -1);
    }
    QX_CloseFile(file);
}

TEST_CASE("file times: null records leave the other times unchanged") {
    TempDir dir;
    void *file = nullptr;
    REQUIRE(QX_OpenFile((dir / L"t").c_str(), 0x0F, 0, QX_PERM_DEFAULT, &file) == QX_OK);
    // Last-access and last-write times are kept apart on every file system (Wine derives the
    // creation time from them, so it is not used here).
    struct tm access = Date(2010, 5, 6, 7, 8, 9);
    struct tm write = Date(2020, 1, 2, 3, 4, 5);
    REQUIRE(QX_TouchFile(file, nullptr, &access, &write) == QX_OK);
    struct tm newer = Date(2021, 6, 7);
    REQUIRE(QX_TouchFile(file, nullptr, nullptr, &newer) == QX_OK);
    struct tm a, w;
    REQUIRE(QX_GetFileTimes(file, nullptr, &a, &w) == QX_OK);
    CHECK(a.tm_year == 110);
    CHECK(a.tm_mon == 4);
    CHECK(a.tm_mday == 6);
    CHECK(a.tm_sec == 9);
    CHECK(w.tm_year == 121);
    CHECK(w.tm_mon == 5);
    CHECK(QX_GetFileTimes(file, nullptr, nullptr, nullptr) == QX_OK);
    QX_CloseFile(file);
}

TEST_CASE("file times: records that name no real date are refused with -4") {
    TempDir dir;
    void *file = nullptr;
    REQUIRE(QX_OpenFile((dir / L"t").c_str(), 0x0E, 0, QX_PERM_DEFAULT, &file) == QX_OK);
    const struct tm bad[] = {Date(2023, 2, 29),    Date(2024, 13, 1), Date(2024, 0, 1), Date(1500, 1, 1),
                             Date(2024, 1, 1, 24), Date(70000, 1, 1), Date(2024, 4, 31)};
    for (const struct tm &when : bad) {
        CAPTURE(when.tm_year);
        CHECK(QX_TouchFile(file, &when, nullptr, nullptr) == QX_ERR_INVALID_ARG);
    }
    QX_CloseFile(file);
    struct tm fine = Date(2024, 1, 1);
    CHECK(QX_TouchFile(INVALID_HANDLE_VALUE, &fine, nullptr, nullptr) == QX_ERR_SET_FILE_TIMES);
    struct tm out;
    CHECK(QX_GetFileTimes(INVALID_HANDLE_VALUE, &out, nullptr, nullptr) == QX_ERR_GET_FILE_TIMES);
}

// Run by the ctest entries that start Wine with TZ=Europe/Berlin (UTC+1, daylight saving UTC+2
// from late March to late October): each date uses the offset in force on that date, whatever the
// season of the run.
TEST_SUITE("time zone Europe/Berlin" * doctest::skip()) {
    TEST_CASE("file times: local times convert with the offset of their own date") {
        struct Case {
            struct tm local;
            int utcHour;
        };
        const Case cases[] = {
            {Date(2000, 7, 1, 12, 0, 0), 10},  {Date(2000, 1, 15, 12, 0, 0), 11},
            {Date(2024, 3, 30, 12, 0, 0), 11}, {Date(2024, 4, 1, 12, 0, 0), 10},
            {Date(2024, 10, 26, 12, 0, 0), 10}, {Date(2024, 10, 28, 12, 0, 0), 11},
        };
        TempDir dir;
        void *file = nullptr;
        REQUIRE(QX_OpenFile((dir / L"t").c_str(), 0x0E, 0, QX_PERM_DEFAULT, &file) == QX_OK);
        for (const Case &c : cases) {
            CAPTURE(c.local.tm_mon + 1);
            CAPTURE(c.local.tm_mday);
            REQUIRE(QX_TouchFile(file, nullptr, nullptr, &c.local) == QX_OK);
            FILETIME written;
            SYSTEMTIME utc;
            REQUIRE(GetFileTime(static_cast<HANDLE>(file), nullptr, nullptr, &written));
            REQUIRE(FileTimeToSystemTime(&written, &utc));
            CHECK(utc.wHour == c.utcHour);
            CHECK(utc.wDay == c.local.tm_mday);

            // And back: the same instant reads as the same local time.
            struct tm back;
            REQUIRE(QX_GetFileTimes(file, nullptr, nullptr, &back) == QX_OK);
            CHECK(back.tm_hour == 12);
            CHECK(back.tm_mday == c.local.tm_mday);
        }
        QX_CloseFile(file);
    }
}
