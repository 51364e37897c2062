// Synchronous reads and writes, position, end of file, sizes and byte-range locks.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

using zxtest::TempDir;

namespace {

void *OpenRW(const std::wstring &path, int flags = 0x0B, int share = QX_SHARE_READ | QX_SHARE_WRITE) {
    void *handle = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), flags, share, QX_PERM_DEFAULT, &handle) == QX_OK);
    return handle;
}

} // namespace

TEST_CASE("read and write: counts, positions and a short read at the end of the file") {
    TempDir dir;
    void *file = OpenRW(dir / L"rw.bin");
    size_t count = 0;
    CHECK(QX_WriteFile(file, "0123456789", 10, &count, nullptr) == QX_OK);
    CHECK(count == 10);

    uint64_t position = 0;
    CHECK(QX_FilePosition(file, &position) == QX_OK);
    CHECK(position == 10);

    char buffer[16] = {};
    CHECK(QX_SeekFile(file, -4, 2) == QX_OK);
    CHECK(QX_ReadFile(file, buffer, 16, &count, nullptr) == QX_OK);
    CHECK(count == 4);
    CHECK(std::string(buffer, 4) == "6789");

    CHECK(QX_SeekFile(file, 2, 0) == QX_OK);
    CHECK(QX_SeekFile(file, 3, 1) == QX_OK);
    CHECK(QX_ReadFile(file, buffer, 2, nullptr, nullptr) == QX_OK);
    CHECK(std::string(buffer, 2) == "56");

    CHECK(QX_SeekFile(file, 0, 2) == QX_OK);
    CHECK(QX_ReadFile(file, buffer, 8, &count, nullptr) == QX_OK);
    CHECK(count == 0);
    CHECK(QX_SeekFile(file, -100, 0) == QX_ERR_SEEK_FILE);
    CHECK(QX_SeekFile(file, 0, 7) == QX_ERR_SEEK_FILE);

    CHECK(QX_SeekFile(file, 3, 0) == QX_OK);
    CHECK(QX_SetEOF(file) == QX_OK);
    uint64_t size = 0;
    CHECK(QX_GetFileSize(file, &size) == QX_OK);
    CHECK(size == 3);
    CHECK(QX_GetFileSize(file, nullptr) == QX_OK);
    QX_CloseFile(file);
    CHECK(zxtest::ReadFileBytes(dir / L"rw.bin") == "012");
}

TEST_CASE("read and write: null pointers and dead handles give their statuses") {
    TempDir dir;
    void *file = OpenRW(dir / L"n.bin");
    CHECK(QX_ReadFile(file, nullptr, 5, nullptr, nullptr) == QX_ERR_INVALID_ARG);
    CHECK(QX_WriteFile(file, nullptr, 5, nullptr, nullptr) == QX_ERR_INVALID_ARG);
    CHECK(QX_WriteFile(file, nullptr, 0, nullptr, nullptr) == QX_OK);
    CHECK(QX_FilePosition(file, nullptr) == QX_ERR_INVALID_ARG);
    QX_CloseFile(file);

    uint64_t value = 77;
    CHECK(QX_FilePosition(INVALID_HANDLE_VALUE, &value) == QX_ERR_FILE_POSITION);
    CHECK(value == 0);
    value = 77;
    CHECK(QX_GetFileSize(INVALID_HANDLE_VALUE, &value) == QX_ERR_FILE_SIZE);
    CHECK(value == 0);
    CHECK(QX_GetFileSize(INVALID_HANDLE_VALUE, nullptr) == QX_ERR_FILE_SIZE);
    CHECK(QX_SetEOF(INVALID_HANDLE_VALUE) == QX_ERR_SET_EOF);
}

TEST_CASE("size from name: a file held by a writer is still measured") {
    TempDir dir;
    std::wstring path = dir / L"held.bin";
    void *writer = OpenRW(path, 0x0E, QX_SHARE_READ | QX_SHARE_WRITE);
    QX_WriteFile(writer, "12345", 5, nullptr, nullptr);
    uint64_t size = 0;
    CHECK(QX_GetFileSizeFromName(path.c_str(), &size) == QX_OK);
    CHECK(size == 5);
    QX_CloseFile(writer);

    void *exclusive = OpenRW(path, 0x01, 0);
    CHECK(QX_GetFileSizeFromName(path.c_str(), &size) == QX_ERR_OPEN_FILE);
    QX_CloseFile(exclusive);
    CHECK(QX_GetFileSizeFromName((dir / L"missing").c_str(), &size) == QX_ERR_OPEN_FILE);
}

// Wine does not stop reads and writes in a range locked by another handle (Windows does), so
// the locks are observed through the second handle's own lock requests.
TEST_CASE("locks: a locked range is closed to a second handle until it is unlocked") {
    TempDir dir;
    std::wstring path = dir / L"locked.bin";
    void *first = OpenRW(path);
    QX_WriteFile(first, "abcdefghij", 10, nullptr, nullptr);
    void *second = OpenRW(path);

    CHECK(QX_LockFile(first, 2, 4) == QX_OK);
    CHECK(QX_LockFile(second, 0, 3) == QX_ERR_LOCK_FILE);
    CHECK(QX_LockFile(second, 5, 1) == QX_ERR_LOCK_FILE);
    CHECK(QX_LockFile(second, 6, 2) == QX_OK); // just past the range
    CHECK(QX_UnlockFile(second, 6, 2) == QX_OK);
    CHECK(QX_UnlockFile(second, 2, 4) == QX_ERR_UNLOCK_FILE);

    CHECK(QX_UnlockFile(first, 2, 4) == QX_OK);
    CHECK(QX_UnlockFile(first, 2, 4) == QX_ERR_UNLOCK_FILE);
    CHECK(QX_LockFile(second, 0, 3) == QX_OK);
    CHECK(QX_UnlockFile(second, 0, 3) == QX_OK);
    QX_CloseFile(second);
    QX_CloseFile(first);
}

#ifdef _WIN64
TEST_CASE("read and write: a transfer larger than one system call is split and complete") {
    // 1 GiB + 4 KiB crosses the split size; the file is sparse, so this costs memory, not disk.
    const size_t size = (size_t(1) << 30) + 4096;
    TempDir dir;
    std::wstring path = dir / L"big.bin";
    void *file = OpenRW(path);
    REQUIRE(QX_SeekFile(file, static_cast<int64_t>(size) - 3, 0) == QX_OK);
    REQUIRE(QX_WriteFile(file, "END", 3, nullptr, nullptr) == QX_OK);
    REQUIRE(QX_SeekFile(file, 0, 0) == QX_OK);

    char *buffer =
        static_cast<char *>(VirtualAlloc(nullptr, size + 16, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    REQUIRE(buffer != nullptr);
    size_t got = 0;
    CHECK(QX_ReadFile(file, buffer, size + 16, &got, nullptr) == QX_OK);
    CHECK(got == size);
    CHECK(std::string(buffer + size - 3, 3) == "END");

    buffer[0] = 'S';
    REQUIRE(QX_SeekFile(file, 0, 0) == QX_OK);
    size_t put = 0;
    CHECK(QX_WriteFile(file, buffer, size, &put, nullptr) == QX_OK);
    CHECK(put == size);
    uint64_t fileSize = 0;
    CHECK(QX_GetFileSize(file, &fileSize) == QX_OK);
    CHECK(fileSize == size);
    VirtualFree(buffer, 0, MEM_RELEASE);
    QX_CloseFile(file);
}
#endif
