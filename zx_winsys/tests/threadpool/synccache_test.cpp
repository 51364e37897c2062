// The synchronised string queue.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <string>

TEST_CASE("string queue: texts come out in order as wide text, then -1 with the buffer untouched") {
    CSyncCache queue;
    wchar_t out[1024] = L"untouched";
    CHECK(queue.PopFrontW(out) == -1);
    CHECK(std::wstring(out) == L"untouched");
    char first[] = "first", second[] = "second", third[] = "third";
    CHECK(queue.PushBack(first) == 0);
    CHECK(queue.PushBack(second) == 0);
    CHECK(queue.PushBack(third) == 0);
    CHECK(queue.PushBack(nullptr) == 0); // an empty entry
    for (const wchar_t *expected : {L"first", L"second", L"third", L""}) {
        REQUIRE(queue.PopFrontW(out) == 0);
        CHECK(std::wstring(out) == expected);
    }
    CHECK(queue.PopFrontW(out) == -1);
}

TEST_CASE("string queue: a long text keeps 1,023 bytes and a terminator; the output is always terminated") {
    CSyncCacheMember member(nullptr);
    CHECK(member.m_szText[0] == '\0');
    std::string text(1500, 'x');
    text[1022] = 'y';
    CSyncCacheMember cut(&text[0]);
    CHECK(std::string(cut.m_szText) == text.substr(0, 1023));

    CSyncCache queue;
    CHECK(queue.PushBack(&text[0]) == 0);
    wchar_t out[1024 + 8];
    for (wchar_t &c : out)
        c = L'#';
    REQUIRE(queue.PopFrontW(out) == 0);
    CHECK(std::wstring(out).size() == 1023);
    CHECK(out[1022] == L'y');
    for (int i = 1024; i < 1032; ++i)
        CHECK(out[i] == L'#');
}
