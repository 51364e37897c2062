// Storage paths (process-wide settings: one child process per scenario) and the writability probe.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <shlobj.h>

using zxtest::TempDir;

namespace {

// Used inside child scenarios: no doctest assertions here.
std::wstring CommonAppData() {
    wchar_t path[MAX_PATH] = L"<no common application data>";
    SHGetFolderPathW(nullptr, 35, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring Storage(bool shared) {
    wchar_t buffer[MAX_PATH];
    wmemset(buffer, L'#', MAX_PATH);
    if (QX_GetStoragePath(buffer, MAX_PATH, shared) != QX_OK) return L"<failed>";
    return buffer;
}

} // namespace

ZXTEST_CHILD(storage_default) {
    std::wstring expected = CommonAppData() + L"\\";
    ZXTEST_EXPECT(Storage(true) == expected);
    ZXTEST_EXPECT(Storage(false) == expected);
    return 0;
}

ZXTEST_CHILD(storage_folder_and_user) {
    std::wstring base = CommonAppData() + L"\\Varnholt\\Platform";
    ZXTEST_EXPECT(QX_SetStorageFolder(L"Varnholt\\Platform", 35) == QX_OK);
    ZXTEST_EXPECT(Storage(true) == base);
    ZXTEST_EXPECT(Storage(false) == base); // no user: private equals shared
    ZXTEST_EXPECT(QX_SetStorageUser(L"alice") == QX_OK);
    ZXTEST_EXPECT(Storage(true) == base);
    ZXTEST_EXPECT(Storage(false) == base + L"\\alice");
    ZXTEST_EXPECT(QX_SetStorageUser(L"") == QX_OK);
    ZXTEST_EXPECT(Storage(false) == base);
    ZXTEST_EXPECT(QX_SetStorageFolder(nullptr, 35) == QX_ERR_INVALID_ARG);
    ZXTEST_EXPECT(QX_SetStorageUser(nullptr) == QX_ERR_INVALID_ARG);
    return 0;
}

ZXTEST_CHILD(storage_short_buffer) {
    QX_SetStorageFolder(L"Varnholt\\Platform", 35);
    std::wstring full = CommonAppData() + L"\\Varnholt\\Platform";
    wchar_t buffer[64];
    wmemset(buffer, L'#', 64);
    ZXTEST_EXPECT(QX_GetStoragePath(buffer, 5, true) == QX_OK);
    ZXTEST_EXPECT(std::wstring(buffer, 5) == full.substr(0, 5));
    ZXTEST_EXPECT(buffer[5] == L'#'); // no terminator, nothing past the length
    wmemset(buffer, L'#', 64);
    ZXTEST_EXPECT(QX_GetStoragePath(buffer, static_cast<int>(full.size()), true) == QX_OK);
    ZXTEST_EXPECT(buffer[full.size() - 1] == full.back());
    ZXTEST_EXPECT(buffer[full.size()] == L'#');
    ZXTEST_EXPECT(QX_GetStoragePath(nullptr, 5, true) == QX_ERR_INVALID_ARG);
    return 0;
}

ZXTEST_CHILD(storage_long_names) {
    // Settings of 260 characters or more are refused and the old ones stay: a cut could name a parent.
    ZXTEST_EXPECT(QX_SetStorageFolder(std::wstring(259, L'f').c_str(), 35) == QX_OK);
    ZXTEST_EXPECT(QX_SetStorageUser(std::wstring(259, L'u').c_str()) == QX_OK);
    ZXTEST_EXPECT(QX_SetStorageFolder(std::wstring(400, L'g').c_str(), 36) == QX_ERR_BUFFER_TOO_SMALL);
    ZXTEST_EXPECT(QX_SetStorageUser(std::wstring(260, L'v').c_str()) == QX_ERR_BUFFER_TOO_SMALL);
    std::vector<wchar_t> buffer(1200, L'#');
    ZXTEST_EXPECT(QX_GetStoragePath(buffer.data(), 1200, false) == QX_OK);
    std::wstring path(buffer.data());
    ZXTEST_EXPECT(path ==
                  CommonAppData() + L"\\" + std::wstring(259, L'f') + L"\\" + std::wstring(259, L'u'));
    return 0;
}

ZXTEST_CHILD(storage_bad_shell_folders) {
    wchar_t buffer[MAX_PATH];
    QX_SetStorageFolder(L"X", 0x3f); // no such shell folder number
    wmemset(buffer, L'#', MAX_PATH);
    ZXTEST_EXPECT(QX_GetStoragePath(buffer, MAX_PATH, true) == QX_ERR_INVALID_ARG);
    // A known folder that does not exist on this machine: the shell gives no path.
    QX_SetStorageFolder(L"X", 0x3a);
    wchar_t probe[MAX_PATH];
    if (SHGetFolderPathW(nullptr, 0x3a, nullptr, SHGFP_TYPE_CURRENT, probe) != S_OK) {
        wmemset(buffer, L'#', MAX_PATH);
        ZXTEST_EXPECT(QX_GetStoragePath(buffer, MAX_PATH, true) == QX_ERR_SYSTEM);
        ZXTEST_EXPECT(buffer[0] == L'\0');
    }
    return 0;
}

TEST_CASE("storage path: composition from the shell folder, the storage folder and the user") {
    for (const char *scenario : {"storage_default", "storage_folder_and_user", "storage_short_buffer",
                                 "storage_long_names", "storage_bad_shell_folders"}) {
        CAPTURE(std::string(scenario));
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}

TEST_CASE("writable: the probe lies inside a folder named with a separator, beside it without") {
    TempDir dir;
    std::wstring folder = dir / L"target";
    REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));
    CHECK(QX_IsDirectoryWritable((folder + L"\\").c_str()));
    CHECK(QX_IsDirectoryWritable(folder.c_str()));
    CHECK_FALSE(zxtest::FileExists(folder + L"\\file_451_124_54545.tested"));
    CHECK_FALSE(zxtest::FileExists(folder + L".tested"));

    // A folder in the probe's place makes exactly that probe fail: this shows where each one lies.
    REQUIRE(CreateDirectoryW((folder + L"\\file_451_124_54545.tested").c_str(), nullptr));
    CHECK_FALSE(QX_IsDirectoryWritable((folder + L"\\").c_str()));
    CHECK(QX_IsDirectoryWritable(folder.c_str()));
    RemoveDirectoryW((folder + L"\\file_451_124_54545.tested").c_str());
    REQUIRE(CreateDirectoryW((folder + L".tested").c_str(), nullptr));
    CHECK(QX_IsDirectoryWritable((folder + L"\\").c_str()));
    CHECK_FALSE(QX_IsDirectoryWritable(folder.c_str()));
    RemoveDirectoryW((folder + L".tested").c_str());

    // Forward slashes separate too; an existing probe file is overwritten and removed.
    zxtest::WriteFileBytes(folder + L"\\file_451_124_54545.tested", "old");
    CHECK(QX_IsDirectoryWritable((folder + L"/").c_str()));
    CHECK_FALSE(zxtest::FileExists(folder + L"\\file_451_124_54545.tested"));
}

TEST_CASE("writable: a missing folder is not writable and nothing is created") {
    TempDir dir;
    CHECK_FALSE(QX_IsDirectoryWritable((dir / L"missing\\").c_str()));
    CHECK_FALSE(QX_IsDirectoryWritable((dir / L"missing\\deeper").c_str()));
    CHECK_FALSE(zxtest::FileExists(dir / L"missing"));
    CHECK_FALSE(QX_IsDirectoryWritable(nullptr));
    std::wstring longPath = dir.path() + L"\\" + std::wstring(300, L'x') + L"\\";
    CHECK_FALSE(QX_IsDirectoryWritable(longPath.c_str()));
}
