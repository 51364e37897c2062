// The temporary folder, temporary names and the search path.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cwctype>

using zxtest::TempDir;

namespace {

// Checks that name is folder + "\\" + before + digits (at least minDigits) + after; returns the number.
int Parse(const std::wstring &name, const std::wstring &folder, const std::wstring &before,
          const std::wstring &after, size_t minDigits) {
    std::wstring head = folder + L"\\" + before;
    REQUIRE_MESSAGE(name.compare(0, head.size(), head) == 0, zxtest::Narrow(name));
    REQUIRE(name.size() >= head.size() + after.size());
    REQUIRE(name.compare(name.size() - after.size(), after.size(), after) == 0);
    std::wstring digits = name.substr(head.size(), name.size() - head.size() - after.size());
    CHECK(digits.size() >= minDigits);
    for (wchar_t c : digits)
        CHECK(iswdigit(c));
    return std::stoi(digits);
}

// Runs f twice within one second of the clock (retrying when a second boundary falls between).
template <typename F> void InOneSecond(F f) {
    for (;;) {
        time_t start = time(nullptr);
        f();
        if (time(nullptr) == start) return;
    }
}

} // namespace

TEST_CASE("temp path: ends with a separator; a buffer too small gets nothing") {
    wchar_t path[MAX_PATH];
    REQUIRE(QX_GetTempPath(path, MAX_PATH) == QX_OK);
    size_t n = wcslen(path);
    REQUIRE(n > 0);
    CHECK(path[n - 1] == L'\\');
    wchar_t small[4] = {L'#', L'#', L'#', L'#'};
    CHECK(QX_GetTempPath(small, 4) == QX_ERR_TEMP_PATH);
    CHECK(small[0] == L'\0');
    std::vector<wchar_t> exact(n + 1);
    CHECK(QX_GetTempPath(exact.data(), static_cast<int>(n)) == QX_ERR_TEMP_PATH);
    CHECK(QX_GetTempPath(exact.data(), static_cast<int>(n + 1)) == QX_OK);
}

TEST_CASE("temp names: runs of $ become numbers of at least that many digits") {
    TempDir dir;
    wchar_t name[MAX_PATH];
    REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"tmp$$$$$.dat", 0, name, MAX_PATH) == QX_OK);
    Parse(name, dir.path(), L"tmp", L".dat", 5);
    CHECK_FALSE(zxtest::FileExists(name));

    REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"x$$", 0, name, MAX_PATH) == QX_OK);
    int number = Parse(name, dir.path(), L"x", L"", 2);
    CHECK(number <= 32767);

    // All runs of one name share the number.
    REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"$-$$$", 0, name, MAX_PATH) == QX_OK);
    std::wstring tail = std::wstring(name).substr(dir.path().size() + 1);
    size_t dash = tail.find(L'-');
    REQUIRE(dash != std::wstring::npos);
    CHECK(std::stoi(tail.substr(0, dash)) == std::stoi(tail.substr(dash + 1)));

    // A folder ending with a separator gets no second one.
    std::wstring withSeparator = dir.path() + L"\\";
    REQUIRE(QX_GetTempFileName(withSeparator.c_str(), L"s$$$", 0, name, MAX_PATH) == QX_OK);
    Parse(name, dir.path(), L"s", L"", 3);
}

TEST_CASE("temp names: the same pattern in the same second gives the same name; create makes it") {
    TempDir dir;
    wchar_t first[MAX_PATH], second[MAX_PATH];
    InOneSecond([&] {
        REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"same$$$$", 0, first, MAX_PATH) == QX_OK);
        REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"same$$$$", 0, second, MAX_PATH) == QX_OK);
    });
    CHECK(std::wstring(first) == second);

    InOneSecond([&] {
        REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"made$$$$", 1, first, MAX_PATH) == QX_OK);
        REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"made$$$$", 1, second, MAX_PATH) == QX_OK);
    });
    CHECK(std::wstring(first) != second); // the first name was taken by then
    CHECK(zxtest::ReadFileBytes(first).empty());
    CHECK(zxtest::ReadFileBytes(second).empty());
}

TEST_CASE("temp names: a pattern without $ is the name itself, and an existing name ends the search") {
    TempDir dir;
    wchar_t name[MAX_PATH];
    REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"fixed.txt", 0, name, MAX_PATH) == QX_OK);
    CHECK(std::wstring(name) == dir / L"fixed.txt");
    REQUIRE(QX_GetTempFileName(dir.path().c_str(), L"fixed.txt", 1, name, MAX_PATH) == QX_OK);
    CHECK(zxtest::FileExists(dir / L"fixed.txt"));
    wmemset(name, L'#', MAX_PATH);
    CHECK(QX_GetTempFileName(dir.path().c_str(), L"fixed.txt", 1, name, MAX_PATH) == QX_ERR_TEMP_PATH);
    CHECK(name[0] == L'\0');
}

TEST_CASE("temp names: a pattern whose every candidate exists ends after a bounded search") {
    // "d$\.." names the folder itself whatever the number, so every candidate exists.
    TempDir dir;
    wchar_t name[MAX_PATH];
    DWORD start = GetTickCount();
    CHECK(QX_GetTempFileName(dir.path().c_str(), L"d$\\..", 1, name, MAX_PATH) == QX_ERR_TEMP_PATH);
    CHECK(name[0] == L'\0');
    CHECK(GetTickCount() - start < 60000);
}

TEST_CASE("temp names: short buffers, the temporary folder, long names and missing folders") {
    TempDir dir;
    wchar_t name[MAX_PATH];
    wmemset(name, L'#', MAX_PATH);
    CHECK(QX_GetTempFileName(dir.path().c_str(), L"abc$$$", 0, name, 5) == QX_ERR_BUFFER_TOO_SMALL);
    CHECK(name[0] == L'\0'); // never a cut name
    CHECK(name[1] == L'#');  // nothing beyond

    REQUIRE(QX_GetTempFileName(nullptr, L"zxt$$$$$.tmp", 0, name, MAX_PATH) == QX_OK);
    wchar_t temp[MAX_PATH];
    REQUIRE(QX_GetTempPath(temp, MAX_PATH) == QX_OK);
    CHECK(std::wstring(name).compare(0, wcslen(temp), temp) == 0);

    std::wstring longPattern(300, L'n');
    CHECK(QX_GetTempFileName(dir.path().c_str(), longPattern.c_str(), 0, name, MAX_PATH) == QX_ERR_TEMP_PATH);
    std::wstring manyDollars(300, L'$');
    CHECK(QX_GetTempFileName(dir.path().c_str(), manyDollars.c_str(), 0, name, MAX_PATH) == QX_ERR_TEMP_PATH);

    // The name is handed back even when the create step fails.
    CHECK(QX_GetTempFileName((dir / L"missing").c_str(), L"m$$", 1, name, MAX_PATH) == QX_ERR_OPEN_FILE);
    CHECK(std::wstring(name).find(L"missing\\m") != std::wstring::npos);
    CHECK(QX_GetTempFileName(dir.path().c_str(), nullptr, 0, name, MAX_PATH) == QX_ERR_INVALID_ARG);
}

TEST_CASE("search path: found along a given path, with a default extension; misses and short buffers fail") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"tool.cfg", "x");
    wchar_t found[MAX_PATH];
    CHECK(QX_SearchPath(dir.path().c_str(), L"tool", L".cfg", found, MAX_PATH) == QX_OK);
    CHECK(_wcsicmp(found, (dir / L"tool.cfg").c_str()) == 0);
    CHECK(QX_SearchPath(dir.path().c_str(), L"tool.cfg", nullptr, found, MAX_PATH) == QX_OK);
    CHECK(QX_SearchPath(dir.path().c_str(), L"absent.cfg", nullptr, found, MAX_PATH) == QX_ERR_SEARCH_PATH);
    CHECK(QX_SearchPath(nullptr, L"kernel32.dll", nullptr, found, MAX_PATH) == QX_OK);
    wchar_t small[6];
    CHECK(QX_SearchPath(dir.path().c_str(), L"tool.cfg", nullptr, small, 6) == QX_ERR_SEARCH_PATH);
    CHECK(small[0] == L'\0');
}
