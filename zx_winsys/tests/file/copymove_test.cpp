// Access test, remove, copy, move and replace (the synchronous paths).
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

using zxtest::TempDir;

namespace {

void MakeReadOnly(const std::wstring &path) {
    REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

// A folder on another Unix file system than the temporary folder: Wine reports moves between
// the two as crossing devices. Empty when the machine has no such place.
std::wstring OtherVolumeFolder() {
    std::wstring base = L"Z:\\dev\\shm";
    if (GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES) return L"";
    wchar_t name[64];
    swprintf(name, 64, L"\\zxt-move-%lu", GetCurrentProcessId());
    std::wstring folder = base + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

int g_callbacks = 0;
void CountingCallback(int, uint64_t, uint64_t, void *) {
    ++g_callbacks;
}

} // namespace

TEST_CASE("access: read-only, missing and directories") {
    TempDir dir;
    std::wstring ro = dir / L"ro.txt";
    zxtest::WriteFileBytes(ro, "x");
    MakeReadOnly(ro);
    CHECK(QX_AccessFile(ro.c_str(), 0) == QX_OK);
    CHECK(QX_AccessFile(ro.c_str(), 2) == QX_ERR_READ_ONLY);
    CHECK(QX_AccessFile(ro.c_str(), 6) == QX_ERR_READ_ONLY);
    std::wstring missing = dir / L"missing.txt";
    CHECK(QX_AccessFile(missing.c_str(), 0) == QX_ERR_NO_ACCESS);
    CHECK(QX_AccessFile(missing.c_str(), 2) == QX_ERR_NO_ACCESS);
    CHECK(QX_AccessFile((dir / L"no\\such\\path").c_str(), 0) == QX_ERR_NO_ACCESS);
    CHECK(QX_AccessFile(dir.path().c_str(), 2) == QX_OK);
    CHECK(QX_AccessFile(nullptr, 0) == QX_ERR_INVALID_ARG);
}

TEST_CASE("access: the caller's error mode is the same afterwards") {
    UINT before = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    SetErrorMode(before | SEM_NOOPENFILEERRORBOX);
    UINT process = GetErrorMode();
    DWORD thread = GetThreadErrorMode();
    QX_AccessFile(L"A:\\nothing", 0);
    CHECK(GetErrorMode() == process);
    CHECK(GetThreadErrorMode() == thread);
    SetErrorMode(before);
}

TEST_CASE("remove: missing files, read-only files and the report flag") {
    TempDir dir;
    std::wstring path = dir / L"f.txt";
    CHECK(QX_RemoveFile(path.c_str(), 0) == QX_OK);
    CHECK(QX_RemoveFile(path.c_str(), 1) == QX_ERR_REMOVE_FILE);
    CHECK(QX_RemoveFile((dir / L"no\\such\\f").c_str(), 0) == QX_OK);

    zxtest::WriteFileBytes(path, "x");
    MakeReadOnly(path);
    CHECK(QX_RemoveFile(path.c_str(), 1) == QX_OK);
    CHECK_FALSE(zxtest::FileExists(path));

    // A file that cannot go keeps its read-only attribute.
    zxtest::WriteFileBytes(path, "x");
    MakeReadOnly(path);
    void *held = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &held) == QX_OK);
    CHECK(QX_RemoveFile(path.c_str(), 0) != QX_OK);
    QX_CloseFile(held);
    CHECK(zxtest::FileExists(path));
    CHECK((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
    CHECK(QX_RemoveFile(path.c_str(), 0) == QX_OK);
}

TEST_CASE("copy: synchronous copies and an existing target") {
    TempDir dir;
    std::wstring source = dir / L"a", target = dir / L"b";
    zxtest::WriteFileBytes(source, "new");
    zxtest::WriteFileBytes(target, "old");
    CHECK(QX_CopyFile(source.c_str(), target.c_str(), 1, nullptr, nullptr, nullptr) == QX_ERR_FILE_EXISTS);
    CHECK(zxtest::ReadFileBytes(target) == "old");
    CHECK(QX_CopyFile(source.c_str(), target.c_str(), 0, nullptr, nullptr, nullptr) == QX_OK);
    CHECK(zxtest::ReadFileBytes(target) == "new");
    CHECK(QX_CopyFile((dir / L"missing").c_str(), target.c_str(), 0, nullptr, nullptr, nullptr) ==
          QX_ERR_COPY_FILE);
    CHECK(QX_CopyFile(nullptr, target.c_str(), 0, nullptr, nullptr, nullptr) == QX_ERR_INVALID_ARG);
}

TEST_CASE("copy: a queued copy onto an existing target fails at the target open and holds no handle") {
    TempDir dir;
    std::wstring source = dir / L"a", target = dir / L"b";
    zxtest::WriteFileBytes(source, "new");
    zxtest::WriteFileBytes(target, "old");
    int cont = 1;
    g_callbacks = 0;
    CHECK(QX_CopyFile(source.c_str(), target.c_str(), 1, &cont, CountingCallback, nullptr) ==
          QX_ERR_OPEN_FILE);
    CHECK(g_callbacks == 0);
    // Neither file is held open any more: both can be deleted.
    CHECK(DeleteFileW(source.c_str()));
    CHECK(DeleteFileW(target.c_str()));
    CHECK(QX_CopyFile(source.c_str(), target.c_str(), 0, &cont, nullptr, nullptr) == QX_ERR_OPEN_FILE);
}

TEST_CASE("move: within one volume at once, without callbacks") {
    TempDir dir;
    std::wstring source = dir / L"a", target = dir / L"b";
    zxtest::WriteFileBytes(source, "moved");
    zxtest::WriteFileBytes(target, "old");
    g_callbacks = 0;
    int cont = 1;
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 1, &cont, CountingCallback, nullptr) ==
          QX_ERR_MOVE_FILE);
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 0, &cont, CountingCallback, nullptr) == QX_OK);
    CHECK_FALSE(zxtest::FileExists(source));
    CHECK(zxtest::ReadFileBytes(target) == "moved");
    Sleep(50);
    CHECK(g_callbacks == 0);
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 0, nullptr, nullptr, nullptr) == QX_ERR_MOVE_FILE);
}

TEST_CASE("move: a source held open without delete sharing is a sharing violation") {
    TempDir dir;
    std::wstring source = dir / L"a", target = dir / L"b";
    zxtest::WriteFileBytes(source, "x");
    void *held = nullptr;
    REQUIRE(QX_OpenFile(source.c_str(), QX_OPEN_READ, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT,
                        &held) == QX_OK);
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 0, nullptr, nullptr, nullptr) ==
          QX_ERR_SHARING_VIOLATION);
    QX_CloseFile(held);
    CHECK(zxtest::FileExists(source));
}

TEST_CASE("move: across volumes the file is copied and the source stays") {
    std::wstring other = OtherVolumeFolder();
    if (other.empty()) {
        MESSAGE("no second file system (Z:\\dev\\shm) on this machine; cross-volume move not exercised");
        return;
    }
    TempDir dir;
    std::wstring source = dir / L"a";
    std::wstring target = other + L"\\b";
    zxtest::WriteFileBytes(source, "across");
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 0, nullptr, nullptr, nullptr) == QX_OK);
    CHECK(zxtest::ReadFileBytes(source) == "across");
    CHECK(zxtest::ReadFileBytes(target) == "across");
    // An existing target is refused before devices are compared.
    CHECK(QX_MoveFile(source.c_str(), target.c_str(), 1, nullptr, nullptr, nullptr) == QX_ERR_MOVE_FILE);
    zxtest::RemoveTree(other);
}

TEST_CASE("replace: the replaced file goes to the backup, the replacement takes its place") {
    TempDir dir;
    std::wstring replacement = dir / L"new", replaced = dir / L"cur", backup = dir / L"bak";
    zxtest::WriteFileBytes(replacement, "v2");
    zxtest::WriteFileBytes(replaced, "v1");
    zxtest::WriteFileBytes(backup, "v0");
    CHECK(QX_ReplaceFile(replacement.c_str(), replaced.c_str(), backup.c_str(), nullptr, nullptr, nullptr) ==
          QX_OK);
    CHECK(zxtest::ReadFileBytes(replaced) == "v2");
    CHECK(zxtest::ReadFileBytes(backup) == "v1");
    CHECK_FALSE(zxtest::FileExists(replacement));

    // The first move fails: nothing else happens.
    zxtest::WriteFileBytes(replacement, "v3");
    CHECK(QX_ReplaceFile(replacement.c_str(), (dir / L"missing").c_str(), backup.c_str(), nullptr, nullptr,
                         nullptr) == QX_ERR_MOVE_FILE);
    CHECK(zxtest::ReadFileBytes(replacement) == "v3");
    CHECK(zxtest::ReadFileBytes(backup) == "v1");
    CHECK(QX_ReplaceFile(replacement.c_str(), replaced.c_str(), nullptr, nullptr, nullptr, nullptr) ==
          QX_ERR_INVALID_ARG);
}

namespace {
struct Reports {
    volatile LONG count = 0;
    volatile LONG finals = 0;
    volatile LONG lastStatus = 1;
};
void RecordReport(int status, uint64_t, uint64_t, void *user) {
    auto *r = static_cast<Reports *>(user);
    InterlockedIncrement(&r->count);
    if (status != QX_IO_PENDING) {
        InterlockedExchange(&r->lastStatus, status);
        InterlockedIncrement(&r->finals);
    }
}
} // namespace

TEST_CASE("copy: a queued copy onto the source itself under another spelling keeps the file") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"X.bin", "precious");
    Reports reports;
    const std::wstring other = dir.path() + L"\\.\\X.BIN";
    CHECK(QX_CopyFile((dir / L"X.bin").c_str(), other.c_str(), 0, nullptr, RecordReport, &reports) ==
          QX_ERR_COPY_FILE);
    int cont = 1;
    CHECK(QX_CopyFile((dir / L"X.bin").c_str(), other.c_str(), 0, &cont, nullptr, nullptr) == QX_ERR_COPY_FILE);
    // The synchronous path refuses it the same way.
    CHECK(QX_CopyFile((dir / L"X.bin").c_str(), other.c_str(), 0, nullptr, nullptr, nullptr) == QX_ERR_COPY_FILE);
    Sleep(50);
    CHECK(reports.count == 0);
    CHECK(zxtest::ReadFileBytes(dir / L"X.bin") == "precious");
    // Nothing holds it open.
    CHECK(MoveFileW((dir / L"X.bin").c_str(), (dir / L"Y.bin").c_str()));
}

TEST_CASE("replace: across volumes with a callback the replacement lands and the one report is true") {
    std::wstring other = OtherVolumeFolder();
    if (other.empty()) {
        MESSAGE("no second file system (Z:\\dev\\shm) on this machine; cross-volume replace not exercised");
        return;
    }
    TempDir dir;
    // The backup lies on the other volume: its move is a copy, the replaced file staying in place.
    std::wstring replacement = dir / L"new", replaced = dir / L"cur", backup = other + L"\\bak";
    zxtest::WriteFileBytes(replacement, "v2");
    zxtest::WriteFileBytes(replaced, "v1");
    Reports reports;
    int cont = 1;
    CHECK(QX_ReplaceFile(replacement.c_str(), replaced.c_str(), backup.c_str(), &cont, RecordReport, &reports) ==
          QX_OK);
    CHECK(zxtest::ReadFileBytes(replaced) == "v2");
    CHECK(zxtest::ReadFileBytes(backup) == "v1");
    CHECK_FALSE(zxtest::FileExists(replacement));

    // Now the replacement comes from the other volume: the second move is a background copy, and
    // its final report is the result.
    std::wstring farReplacement = other + L"\\far";
    zxtest::WriteFileBytes(farReplacement, "v3");
    CHECK(QX_ReplaceFile(farReplacement.c_str(), replaced.c_str(), (dir / L"bak2").c_str(), &cont, RecordReport,
                         &reports) == QX_OK);
    for (int i = 0; i < 500 && reports.finals == 0; ++i)
        Sleep(10);
    Sleep(50);
    CHECK(reports.finals == 1);
    CHECK(reports.lastStatus == QX_OK);
    CHECK(zxtest::ReadFileBytes(replaced) == "v3");
    CHECK(zxtest::ReadFileBytes(dir / L"bak2") == "v2");
    zxtest::RemoveTree(other);
}
