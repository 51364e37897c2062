// Directory listing records.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <map>

using zxtest::TempDir;

TEST_CASE("find: every entry with its size, flag and times, dot entries included") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"seven.txt", "1234567");
    REQUIRE(QX_CreateDirectory((dir / L"sub").c_str(), 0, 0) == QX_OK);
    void *file = nullptr;
    REQUIRE(QX_OpenFile((dir / L"seven.txt").c_str(), 0x02, 0, QX_PERM_DEFAULT, &file) == QX_OK);
    struct tm when = {};
    when.tm_year = 124;
    when.tm_mon = 2;
    when.tm_mday = 1;
    when.tm_hour = 10;
    REQUIRE(QX_TouchFile(file, nullptr, nullptr, &when) == QX_OK);
    QX_CloseFile(file);

    struct tm creation, access, write;
    SQxFindData data = {};
    data.creation = &creation;
    data.lastAccess = &access;
    data.lastWrite = &write;
    std::map<std::wstring, SQxFindData> seen;
    std::map<std::wstring, struct tm> writes;
    void *find = nullptr;
    REQUIRE(QX_FindFileFirst((dir / L"*").c_str(), &find, &data) == QX_OK);
    int status = QX_OK;
    do {
        seen[data.name] = data;
        writes[data.name] = write;
        status = QX_FindFileNext(find, &data);
    } while (status == QX_OK);
    CHECK(status == QX_ERR_FIND_NEXT);
    CHECK(QX_FindFileClose(find) == QX_OK);

    REQUIRE(seen.size() == 4);
    CHECK(seen.count(L".") == 1);
    CHECK(seen.count(L"..") == 1);
    CHECK(seen[L"."].isDirectory);
    CHECK(seen[L"sub"].isDirectory);
    CHECK_FALSE(seen[L"seven.txt"].isDirectory);
    CHECK(seen[L"seven.txt"].size == 7);
    CHECK(writes[L"seven.txt"].tm_yday == 60);
    CHECK(writes[L"seven.txt"].tm_hour == 10);
    CHECK(writes[L"seven.txt"].tm_isdst == -1);
}

TEST_CASE("find: null records, patterns without a match and null handle pointers") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"a.bin", "x");
    void *find = nullptr;
    REQUIRE(QX_FindFileFirst((dir / L"*.bin").c_str(), &find, nullptr) == QX_OK);
    CHECK(find != nullptr);
    CHECK(QX_FindFileNext(find, nullptr) == QX_ERR_FIND_NEXT);
    CHECK(QX_FindFileClose(find) == QX_OK);

    SQxFindData data = {};
    CHECK(QX_FindFileFirst((dir / L"*.none").c_str(), &find, &data) == QX_ERR_FIND_FIRST);
    CHECK(QX_FindFileFirst((dir / L"missing\\*").c_str(), &find, &data) == QX_ERR_FIND_FIRST);
    CHECK(QX_FindFileFirst((dir / L"*").c_str(), nullptr, &data) == QX_ERR_INVALID_ARG);
    CHECK(QX_FindFileClose(INVALID_HANDLE_VALUE) == QX_ERR_FIND_CLOSE);
}
