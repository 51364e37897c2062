// Logical drives, volume information and the network-path query.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <climits>

TEST_CASE("drive strings: the list, and a short buffer reporting the length it needs") {
    wchar_t drives[512];
    int needed = 0;
    REQUIRE(QX_GetLogicalDriveStrings(drives, 512, &needed) == QX_OK);
    CHECK(needed > 0);
    bool hasC = false;
    for (const wchar_t *p = drives; *p; p += wcslen(p) + 1)
        hasC = hasC || _wcsicmp(p, L"C:\\") == 0;
    CHECK(hasC);

    wchar_t small[3] = {L'#', L'#', L'#'};
    int shortNeeded = 0;
    CHECK(QX_GetLogicalDriveStrings(small, 3, &shortNeeded) == QX_ERR_BUFFER_TOO_SMALL);
    CHECK(shortNeeded == needed + 1);
    CHECK(QX_GetLogicalDriveStrings(small, 3, nullptr) == QX_ERR_BUFFER_TOO_SMALL);
    CHECK(QX_GetLogicalDriveStrings(nullptr, 0, &shortNeeded) == QX_ERR_BUFFER_TOO_SMALL);
    CHECK(QX_GetLogicalDriveStrings(nullptr, 10, nullptr) == QX_ERR_INVALID_ARG);
}

TEST_CASE("volume information: drive kind alone without buffers, the label of a fixed disk with them") {
    SQxVolumeInfo info = {};
    info.driveKind = 99;
    info.flags = 42;
    CHECK(QX_GetVolumeInformation(L"C:\\", &info) == QX_OK);
    CHECK(info.driveKind == QX_DRIVE_FIXED);
    CHECK(info.flags == 42); // the volume was not read

    wchar_t label[64], fs[16];
    wmemset(label, L'#', 64);
    wmemset(fs, L'#', 16);
    info.label = label;
    info.labelLength = 64;
    info.fileSystemName = fs;
    info.fileSystemNameLength = 16;
    CHECK(QX_GetVolumeInformation(L"C:\\", &info) == QX_OK);
    CHECK(info.flags == 0);
    CHECK(wcschr(label, L'(') == nullptr); // a fixed disk shows the label alone
    CHECK(wcslen(label) < 64);
    CHECK(fs[0] == L'\0');
    CHECK(fs[1] == L'#');

    SQxVolumeInfo none = {};
    CHECK(QX_GetVolumeInformation(L"Q:\\", &none) == QX_OK);
    CHECK(none.driveKind == QX_DRIVE_NO_ROOT);
    none.label = label;
    none.labelLength = 64;
    CHECK(QX_GetVolumeInformation(L"Q:\\", &none) == QX_ERR_VOLUME_INFORMATION);
    CHECK(QX_GetVolumeInformation(L"C:\\", nullptr) == QX_ERR_INVALID_ARG);
}

TEST_CASE("volume information: a one-character label buffer holds just the terminator") {
    wchar_t label[2] = {L'#', L'#'};
    SQxVolumeInfo info = {};
    info.label = label;
    info.labelLength = 1;
    CHECK(QX_GetVolumeInformation(L"C:\\", &info) == QX_OK);
    CHECK(label[0] == L'\0');
    CHECK(label[1] == L'#');
    info.labelLength = 0;
    CHECK(QX_GetVolumeInformation(L"C:\\", &info) == QX_ERR_INVALID_ARG);

    // The length of an absent label buffer is not used; a huge one sizes nothing.
    wchar_t fs[8] = L"#######";
    SQxVolumeInfo onlyFs = {};
    onlyFs.fileSystemName = fs;
    onlyFs.fileSystemNameLength = 8;
    for (int length : {INT_MAX, 1 << 30, -5}) {
        onlyFs.labelLength = length;
        CHECK(QX_GetVolumeInformation(L"C:\\", &onlyFs) == QX_OK);
    }
    wchar_t big[300];
    wmemset(big, L'#', 300);
    info.label = big;
    info.labelLength = INT_MAX;
    CHECK(QX_GetVolumeInformation(L"C:\\", &info) == QX_OK);
    CHECK(wcslen(big) < 300);
}

TEST_CASE("UNC path: not available") {
    wchar_t buffer[8];
    CHECK(QX_GetUNCPath(L"C:\\x", buffer, 8) == QX_ERR_NOT_AVAILABLE);
    CHECK(QX_GetUNCPath(nullptr, nullptr, 0) == QX_ERR_NOT_AVAILABLE);
}
