// Creating and removing directories; the current directory (process-wide: child processes).
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

using zxtest::TempDir;

namespace {
bool IsDirectory(const std::wstring &path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
} // namespace

TEST_CASE("create directory: parents are made, with either separator in any mix") {
    TempDir dir;
    std::wstring mixed = dir.path() + L"/a\\b/c\\d";
    CHECK(QX_CreateDirectory(mixed.c_str(), 1, 0) == QX_OK);
    CHECK(IsDirectory(dir / L"a\\b\\c\\d"));
    CHECK(QX_CreateDirectory(mixed.c_str(), 1, 0) == QX_OK); // exists already
    CHECK(QX_CreateDirectory((dir / L"a\\b").c_str(), 0, 0) == QX_OK);

    CHECK(QX_CreateDirectory((dir / L"x\\y").c_str(), 0, 0) == QX_ERR_CREATE_DIRECTORY);
    CHECK_FALSE(zxtest::FileExists(dir / L"x"));

    CHECK(QX_CreateDirectory((dir / L"trail\\ing\\").c_str(), 1, 0) == QX_OK);
    CHECK(IsDirectory(dir / L"trail\\ing"));
    CHECK(QX_CreateDirectory((dir / L"single\\").c_str(), 0, 0) == QX_OK);
    CHECK(IsDirectory(dir / L"single"));
}

TEST_CASE("create directory: a file on the way, a leading single separator and an overlong path") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"file", "x");
    // A prefix that is a file is not created, so the final step fails.
    CHECK(QX_CreateDirectory((dir / L"file\\sub").c_str(), 1, 0) == QX_ERR_CREATE_DIRECTORY);
    // A path naming an existing file is reported as already there.
    CHECK(QX_CreateDirectory((dir / L"file").c_str(), 0, 0) == QX_OK);
    // The first prefix of "\\name" is empty and cannot be created.
    CHECK(QX_CreateDirectory(L"\\zx-never-made\\sub", 1, 0) == QX_ERR_CREATE_DIRECTORY);

    std::wstring longPath = dir.path();
    while (longPath.size() < 300)
        longPath += L"\\abcdefghij";
    CHECK(QX_CreateDirectory(longPath.c_str(), 1, 0) == QX_ERR_CREATE_DIRECTORY);
    CHECK_FALSE(zxtest::FileExists(dir / L"abcdefghij"));
    CHECK(QX_CreateDirectory(nullptr, 1, 0) == QX_ERR_INVALID_ARG);
}

TEST_CASE("create directory: a path with two leading separators keeps its server and share") {
    // "\\\\?\\C:\\..." has the shape of a network path: "?" is the server, "C:" the share.
    // Only the levels below them are created; treating "\\\\?" as a folder would fail.
    TempDir dir;
    std::wstring path = L"\\\\?\\" + dir.path() + L"\\unc\\one\\two";
    CHECK(QX_CreateDirectory(path.c_str(), 1, 0) == QX_OK);
    CHECK(IsDirectory(dir / L"unc\\one\\two"));
    CHECK(QX_CreateDirectory(L"//no-server-here/share/a/b", 1, 0) == QX_ERR_CREATE_DIRECTORY);
}

TEST_CASE("remove directory: empty directories only") {
    TempDir dir;
    REQUIRE(QX_CreateDirectory((dir / L"d\\e").c_str(), 1, 0) == QX_OK);
    CHECK(QX_RemoveDirectory((dir / L"d").c_str()) == QX_ERR_REMOVE_DIRECTORY);
    CHECK(QX_RemoveDirectory((dir / L"d\\e").c_str()) == QX_OK);
    CHECK(QX_RemoveDirectory((dir / L"d").c_str()) == QX_OK);
    CHECK(QX_RemoveDirectory((dir / L"d").c_str()) == QX_ERR_REMOVE_DIRECTORY);
}

ZXTEST_CHILD(current_directory_round_trip) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    ZXTEST_EXPECT(QX_SetCurrentDirectory(temp) == QX_OK);
    wchar_t now[MAX_PATH];
    ZXTEST_EXPECT(QX_GetCurrentDirectory(now, MAX_PATH) == QX_OK);
    std::wstring expected(temp);
    if (expected.back() == L'\\') expected.pop_back();
    ZXTEST_EXPECT(_wcsicmp(now, expected.c_str()) == 0);
    ZXTEST_EXPECT(QX_SetCurrentDirectory(L"C:\\zx\\no\\such\\folder") == QX_ERR_SET_CURRENT_DIRECTORY);
    ZXTEST_EXPECT(QX_GetCurrentDirectory(now, MAX_PATH) == QX_OK);
    ZXTEST_EXPECT(_wcsicmp(now, expected.c_str()) == 0);
    return 0;
}

ZXTEST_CHILD(current_directory_short_buffer) {
    ZXTEST_EXPECT(QX_SetCurrentDirectory(L"C:\\windows\\system32") == QX_OK);
    wchar_t small[8];
    ZXTEST_EXPECT(QX_GetCurrentDirectory(small, 8) == QX_ERR_GET_CURRENT_DIRECTORY);
    ZXTEST_EXPECT(small[0] == L'\0');
    wchar_t exact[20]; // "C:\windows\system32" is 19 characters
    ZXTEST_EXPECT(QX_GetCurrentDirectory(exact, 19) == QX_ERR_GET_CURRENT_DIRECTORY);
    ZXTEST_EXPECT(QX_GetCurrentDirectory(exact, 20) == QX_OK);
    ZXTEST_EXPECT(QX_GetCurrentDirectory(exact, 0) == QX_ERR_GET_CURRENT_DIRECTORY);
    ZXTEST_EXPECT(QX_GetCurrentDirectory(nullptr, 20) == QX_ERR_INVALID_ARG);
    return 0;
}

TEST_CASE("current directory: set, read back, and a buffer too small gets nothing") {
    CHECK(zxtest::RunChild("current_directory_round_trip") == 0);
    CHECK(zxtest::RunChild("current_directory_short_buffer") == 0);
}

TEST_CASE("disk spaces: all three values, each optional") {
    TempDir dir;
    uint64_t caller = 0, total = 0, free = 0;
    CHECK(QX_GetDiskSpaces(dir.path().c_str(), &caller, &total, &free) == QX_OK);
    CHECK(total > 0);
    CHECK(free <= total);
    CHECK(caller <= total);
    CHECK(QX_GetDiskSpaces(dir.path().c_str(), nullptr, nullptr, nullptr) == QX_OK);
    CHECK(QX_GetDiskSpaces(L"Q:\\zx\\nowhere", &caller, nullptr, nullptr) == QX_ERR_DISK_SPACE);
}
