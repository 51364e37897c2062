// The thin string services and the 64-bit format rewrite.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cstring>
#include <random>
#include <string>

TEST_CASE("strings: lengths and case-insensitive comparisons as the platform's runtime has them") {
    CHECK(wcslen32(L"abc") == 3);
    CHECK(strlen32("") == 0);
    CHECK(wcslen32(nullptr) == 0);
    CHECK(QX_stricmp("Hello", "hELLO") == 0);
    CHECK(QX_stricmp("abc", "abd") < 0);
    CHECK(QX_strnicmp("ABCx", "abcy", 3) == 0);
    CHECK(QX_wcsicmp(L"Stra\u00dfe", L"stra\u00dfe") == 0);
    CHECK(QX_wcsnicmp(L"ABCx", L"abcy", 4) < 0);
    CHECK(QX_stricmp(nullptr, "a") < 0);
    CHECK(QX_wcsicmp(nullptr, nullptr) == 0);
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        char a[8], b[8];
        for (int k = 0; k < 7; ++k) {
            a[k] = static_cast<char>(' ' + random() % 95);
            b[k] = static_cast<char>(' ' + random() % 95);
        }
        a[7] = b[7] = '\0';
        CHECK((QX_stricmp(a, b) < 0) == (_stricmp(a, b) < 0));
    }
}

TEST_CASE("strings: integers in every radix; a radix outside 2..36 writes nothing") {
    wchar_t buffer[40];
    std::mt19937 random(11);
    for (int radix = 2; radix <= 36; ++radix) {
        const int value = static_cast<int>(random());
        wchar_t reference[40];
        _itow(value, reference, radix);
        CHECK(std::wstring(QX_itow(value, buffer, radix)) == reference);
    }
    CHECK(std::wstring(QX_itow(-42, buffer, 10)) == L"-42");
    CHECK(std::wstring(QX_itow(-1, buffer, 16)) == L"ffffffff");
    for (int radix : {-5, 0, 1, 37, 100}) {
        CAPTURE(radix);
        wcscpy(buffer, L"untouched");
        CHECK(QX_itow(12345, buffer, radix) == buffer);
        CHECK(buffer[0] == L'\0');
    }
    CHECK(QX_wtoi(L"  -17xyz") == -17);
    CHECK(QX_wtoi(L"x") == 0);
    CHECK(QX_wtoi(nullptr) == 0);
    wchar_t *end = nullptr;
    const wchar_t *text = L"2.5e3 rest";
    CHECK(QX_wstrtod(text, &end) == 2500.0);
    CHECK(end == text + 5);
}

TEST_CASE("strings: the platform's wide formatting, unlimited and counted") {
    wchar_t buffer[64];
    CHECK(QX_swprintf(buffer, L"[%s|%hs|%I64d]", L"wide", "narrow", -(int64_t(5) << 40)) == 28);
    CHECK(std::wstring(buffer) == L"[wide|narrow|-5497558138880]");
    wchar_t guarded[16 + 8];
    for (wchar_t &c : guarded)
        c = L'#';
    CHECK(QX_snwprintf(guarded, 16, L"%s", L"fits") == 4);
    CHECK(std::wstring(guarded) == L"fits");
    CHECK(QX_snwprintf(guarded, 16, L"%s", L"0123456789abcdef") == -1);
    CHECK(guarded[0] == L'\0');
    for (int i = 16; i < 24; ++i)
        CHECK(guarded[i] == L'#');
    CHECK(QX_snwprintf(guarded, 0, L"x") == -1);
    CHECK(guarded[0] == L'\0');
}

TEST_CASE("strings: the system's code page in both directions, with the size asked first") {
    const wchar_t *text = L"caf\u00e9";
    const int needed = QX_WChar2Char(text, -1, nullptr, 0);
    CHECK(needed == 5);
    char narrow[8];
    CHECK(QX_WChar2Char(text, -1, narrow, 8) == 5);
    wchar_t back[8];
    CHECK(QX_Char2WChar(narrow, -1, nullptr, 0) == 5);
    CHECK(QX_Char2WChar(narrow, -1, back, 8) == 5);
    CHECK(std::wstring(back) == text);
    CHECK(QX_WChar2Char(text, -1, narrow, 2) == 0); // too small
    CHECK(QX_WChar2Char(nullptr, -1, narrow, 8) == 0);
    CHECK(QX_Char2WChar("x", -1, nullptr, 4) == 0);
}

TEST_CASE("format rewrite: every ll becomes I64, in place or into a bounded buffer") {
    struct Case {
        const wchar_t *in;
        const wchar_t *out;
        int result;
    };
    const Case cases[] = {
        {L"%lld items", L"%I64d items", 1},  {L"%I64u", L"%I64u", 1}, {L"hello", L"heI64o", 1},
        {L"%d", L"%d", 0},                   {L"%llu and %llx", L"%I64u and %I64x", 1},
        {L"", L"", 0},                       {L"lll", L"I64l", 1},
    };
    for (const Case &c : cases) {
        CAPTURE(zxtest::Narrow(c.in));
        wchar_t wide[64];
        wcscpy(wide, c.in);
        CHECK(QX_Conv64FmtSpecW(wide) == c.result);
        CHECK(std::wstring(wide) == c.out);
        char narrow[64];
        const std::string in = zxtest::Narrow(c.in), out = zxtest::Narrow(c.out);
        strcpy(narrow, in.c_str());
        CHECK(QX_Conv64FmtSpecA(narrow) == c.result);
        CHECK(std::string(narrow) == out);

        wchar_t target[64 + 4];
        for (wchar_t &t : target)
            t = L'#';
        const int exact = static_cast<int>(wcslen(c.out)) + 1;
        CHECK(QX_Conv64FmtSpecExW(c.in, target, exact) == c.result);
        CHECK(std::wstring(target) == c.out);
        if (exact > 1) {
            for (wchar_t &t : target)
                t = L'#';
            CHECK(QX_Conv64FmtSpecExW(c.in, target, exact - 1) == QX_ERR_BUFFER_TOO_SMALL);
            CHECK(target[0] == L'\0');
            for (int i = 1; i < 64 + 4; ++i)
                CHECK(target[i] == L'#'); // nothing else written
        }
        char narrowTarget[64];
        CHECK(QX_Conv64FmtSpecExA(in.c_str(), narrowTarget, 64) == c.result);
        CHECK(std::string(narrowTarget) == out);
    }
    CHECK(QX_Conv64FmtSpecW(nullptr) == 0);
    CHECK(QX_Conv64FmtSpecExA(nullptr, nullptr, 4) == QX_ERR_INVALID_ARG);
}
