// Numbers as text: the plain decimal test, and reading and writing with the user's locale, against
// the platform's runtime and the system's number formatting.
#include "testsupport/zxtest.h"
#include "zx_winsys/tests/text/locale.h"
#include "zx_winsys/zx_winsys.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::wstring ToString(double value, int decimals, bool trim = true, int length = 64) {
    wchar_t buffer[128] = L"";
    REQUIRE(QX_DoubleToStringEx(value, decimals, buffer, length, trim));
    return buffer;
}

// The system's own formatting of the runtime's text with the user's separators, no grouping.
std::wstring Reference(double value, int decimals) {
    wchar_t plain[128];
    _snwprintf(plain, 127, L"%.*lf", decimals, value);
    plain[127] = L'\0';
    std::wstring decimal = LocaleSettings::Get(LOCALE_SDECIMAL), thousand = LocaleSettings::Get(LOCALE_STHOUSAND);
    NUMBERFMTW format = {};
    format.NumDigits = static_cast<UINT>(decimals);
    format.LeadingZero = static_cast<UINT>(_wtoi(LocaleSettings::Get(LOCALE_ILZERO).c_str()));
    format.lpDecimalSep = &decimal[0];
    format.lpThousandSep = &thousand[0];
    format.NegativeOrder = static_cast<UINT>(_wtoi(LocaleSettings::Get(LOCALE_INEGNUMBER).c_str()));
    wchar_t out[128];
    REQUIRE(GetNumberFormatW(LOCALE_USER_DEFAULT, 0, plain, &format, out, 128) > 0);
    return out;
}

} // namespace

TEST_CASE("plain decimal test: signs before the first digit, one separator anywhere, a digit") {
    const struct {
        const wchar_t *text;
        bool expected;
    } cases[] = {
        {L"12,5", true}, {L"12,5,1", false}, {L"", false},   {L"+", false},    {L"--7", true},
        {L"7-", false},  {L"-.5", true},     {L"5.", true},  {L"+-3", true},   {L"1e5", false},
        {L" 1", false},  {L"1.2.3", false},  {L".", false},  {L"1.,2", false}, {L"0", true},
    };
    for (const auto &c : cases) {
        CAPTURE(zxtest::Narrow(c.text));
        CHECK(QX_IsStringDouble(c.text) == c.expected);
    }
    CHECK_FALSE(QX_IsStringDouble(nullptr));
}

TEST_CASE("numbers: reading with the user's decimal separator") {
    LocaleSettings locale;
    double value = 0.0;
    CHECK(QX_StringToDouble(L"3.25", &value));
    CHECK(value == 3.25);
    CHECK(QX_StringToDouble(L"12abc", &value));
    CHECK(value == 12.0);
    CHECK_FALSE(QX_StringToDouble(L"abc", &value));
    CHECK_FALSE(QX_StringToDouble(nullptr, &value));
    CHECK_FALSE(QX_StringToDouble(L"1", nullptr));

    REQUIRE(LocaleSettings::Set(LOCALE_SDECIMAL, L","));
    CHECK(QX_StringToDouble(L"3,25", &value));
    CHECK(value == 3.25);
    CHECK(QX_StringToDouble(L"3.25", &value));
    CHECK(value == 3.25);
    CHECK(QX_StringToDouble(L"-2,5", &value));
    CHECK(value == -2.5);

    // An empty separator is found nowhere: "12" stays twelve.
    if (LocaleSettings::Set(LOCALE_SDECIMAL, L"")) {
        CHECK(QX_StringToDouble(L"12", &value));
        CHECK(value == 12.0);
    }
}

TEST_CASE("numbers: writing, trimmed and not, and values that round to zero") {
    LocaleSettings locale;
    const struct {
        double value;
        int decimals;
        const wchar_t *expected;
    } cases[] = {
        {2.5, 3, L"2.5"},           {0.0001, 2, L"0.0001"},   {0.00016, 2, L"0.0002"}, {0.0002, 2, L"0.0002"},
        {0.000001, 2, L"0.000001"}, {1e-6, 2, L"0.000001"},   {1e-9, 2, L"1e-9"},      {-3e-12, 1, L"-3e-12"},
        {1234567.0, 0, L"1234567"}, {-1234.75, 2, L"-1234.75"}, {0.0, 5, L"0"},        {-0.0, 1, L"0"},
        {1.0, 3, L"1"},             {10.0, 2, L"10"},
    };
    for (const auto &c : cases) {
        CAPTURE(c.value);
        CHECK(ToString(c.value, c.decimals) == c.expected);
    }
    CHECK(ToString(2.5, 3, false) == L"2.500");
    wchar_t small[1] = {L'x'};
    CHECK_FALSE(QX_DoubleToString(0.0, 5, small, 1));
    wchar_t untouched[8] = L"same";
    CHECK_FALSE(QX_DoubleToString(1.5, -1, untouched, 8));
    CHECK(std::wstring(untouched) == L"same");

    // Infinities and NaN keep a fixed spelling.
    CHECK(ToString(std::numeric_limits<double>::infinity(), 2) == L"inf");
    CHECK(ToString(-std::numeric_limits<double>::infinity(), 2) == L"-inf");
    CHECK(ToString(std::numeric_limits<double>::quiet_NaN(), 2) == L"nan");

    // The user's separator and negative form.
    REQUIRE(LocaleSettings::Set(LOCALE_SDECIMAL, L","));
    CHECK(ToString(-2.5, 1) == L"-2,5");
    CHECK(ToString(1234567.25, 2) == L"1234567,25"); // no grouping
    // An empty decimal separator keeps the runtime's text: never "25" for 2.5.
    if (LocaleSettings::Set(LOCALE_SDECIMAL, L"")) {
        CHECK(ToString(2.5, 1) == L"2.5");
        CHECK(ToString(-1234.75, 2) == L"-1234.75");
    }
}

TEST_CASE("numbers: against the platform's runtime and the system's number formatting") {
    LocaleSettings locale;
    std::mt19937_64 random(99);
    for (const wchar_t *separator : {L".", L","}) {
        REQUIRE(LocaleSettings::Set(LOCALE_SDECIMAL, separator));
        for (int i = 0; i < 2000; ++i) {
            const double value = std::ldexp(static_cast<double>(random() % 2000000) - 1000000.0,
                                            static_cast<int>(random() % 20) - 10);
            const int decimals = static_cast<int>(random() % 7);
            wchar_t plain[64];
            _snwprintf(plain, 63, L"%.*lf", decimals, value);
            plain[63] = L'\0';
            CAPTURE(zxtest::Narrow(plain));
            // Writing, where the value does not round to zero: the system's formatting of the
            // runtime's text with d decimals.
            if (QX_wstrtod(plain, nullptr) != 0.0) CHECK(ToString(value, decimals, false) == Reference(value, decimals));
            // Reading the localized text gives the runtime's reading of the plain one.
            std::wstring localized = plain;
            const size_t dot = localized.find(L'.');
            if (dot != std::wstring::npos) localized[dot] = separator[0];
            double read = 0.0;
            REQUIRE(QX_StringToDouble(localized.c_str(), &read));
            CHECK(read == QX_wstrtod(plain, nullptr));
        }
    }
}

TEST_CASE("numbers reliability: random values, decimals and lengths never write past the buffer") {
    LocaleSettings locale;
    std::mt19937_64 random(2025);
    const int cases = zxtest::LoadSize(100000, 1000000);
    int written = 0;
    for (int i = 0; i < cases; ++i) {
        double value;
        switch (random() % 8) {
        case 0:
            value = std::numeric_limits<double>::quiet_NaN();
            break;
        case 1:
            value = (random() % 2 ? 1 : -1) * std::numeric_limits<double>::infinity();
            break;
        case 2:
            value = (random() % 2 ? 1 : -1) * std::numeric_limits<double>::denorm_min() * static_cast<double>(random() % 1000);
            break;
        case 3:
            value = random() % 2 ? 0.0 : -0.0;
            break;
        default: {
            uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value)) value = 1.5;
            break;
        }
        }
        const int decimals = static_cast<int>(random() % 22) - 1;
        const int length = static_cast<int>(random() % 65);
        wchar_t buffer[64 + 16];
        for (wchar_t &c : buffer)
            c = L'\xBEEF';
        const bool ok = QX_DoubleToStringEx(value, decimals, length ? buffer : buffer, length, random() % 2 == 0);
        bool guardsIntact = true;
        for (int g = length; g < 64 + 16; ++g)
            guardsIntact = guardsIntact && buffer[g] == L'\xBEEF';
        if (!guardsIntact) FAIL_CHECK("past the buffer: value " << value << " decimals " << decimals << " length " << length);
        if (ok) {
            ++written;
            if (wcsnlen(buffer, static_cast<size_t>(length)) >= static_cast<size_t>(length))
                FAIL_CHECK("no terminator: value " << value << " length " << length);
        }
    }
    CHECK(written > cases / 10);
}
