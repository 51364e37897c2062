// Memory-mapped views.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

using zxtest::TempDir;

namespace {

uintptr_t Granularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

// A file of size bytes where byte i holds i % 251.
std::wstring PatternFile(const TempDir &dir, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    std::wstring path = dir / L"pattern.bin";
    zxtest::WriteFileBytes(path, bytes);
    return path;
}

} // namespace

TEST_CASE("map: a view at G + 10 points 10 bytes into a view that starts at G") {
    TempDir dir;
    const uintptr_t g = Granularity();
    std::wstring path = PatternFile(dir, 3 * g);
    void *file = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file) == QX_OK);
    void *address = nullptr;
    REQUIRE(QX_MapFile(file, 1, g + 10, 5, &address) == QX_OK);
    const unsigned char *bytes = static_cast<const unsigned char *>(address);
    CHECK((reinterpret_cast<uintptr_t>(address) - 10) % g == 0);
    for (int i = 0; i < 5; ++i)
        CHECK(bytes[i] == (g + 10 + static_cast<uintptr_t>(i)) % 251);
    MEMORY_BASIC_INFORMATION info;
    REQUIRE(VirtualQuery(address, &info, sizeof info) == sizeof info);
    CHECK(reinterpret_cast<uintptr_t>(info.AllocationBase) == reinterpret_cast<uintptr_t>(address) - 10);
    CHECK(QX_UnmapFile(address) == QX_OK);
    CHECK(QX_UnmapFile(address) == QX_ERR_SYSTEM);
    QX_CloseFile(file);
}

TEST_CASE("map: read-write views change the file, copy-on-write views do not") {
    TempDir dir;
    std::wstring path = PatternFile(dir, 100);
    void *file = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), 0x03, 0, QX_PERM_DEFAULT, &file) == QX_OK);
    void *address = nullptr;
    REQUIRE(QX_MapFile(file, 2, 7, 3, &address) == QX_OK);
    std::memcpy(address, "RW!", 3);
    CHECK(QX_UnmapFile(address) == QX_OK);
    REQUIRE(QX_MapFile(file, 3, 20, 3, &address) == QX_OK);
    std::memcpy(address, "CW!", 3);
    CHECK(QX_UnmapFile(address) == QX_OK);
    QX_CloseFile(file);
    std::string content = zxtest::ReadFileBytes(path);
    CHECK(content.substr(7, 3) == "RW!");
    CHECK(content[20] == 20);
}

TEST_CASE("map: bad modes, null pointers and unmappable ranges") {
    TempDir dir;
    std::wstring path = PatternFile(dir, 100);
    void *file = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file) == QX_OK);
    void *address = reinterpret_cast<void *>(0x10);
    CHECK(QX_MapFile(file, 0, 0, 10, &address) == QX_ERR_INVALID_ARG);
    CHECK(QX_MapFile(file, 4, 0, 10, &address) == QX_ERR_INVALID_ARG);
    CHECK(QX_MapFile(file, 1, 0, 10, nullptr) == QX_ERR_INVALID_ARG);
    // A read-only handle cannot grow the file to a larger mapping.
    CHECK(QX_MapFile(file, 1, 0, 1000, &address) == QX_ERR_SYSTEM);
    CHECK(QX_MapFile(file, 2, 0, 10, &address) == QX_ERR_SYSTEM);
    CHECK(address == reinterpret_cast<void *>(0x10));
    CHECK(QX_UnmapFile(nullptr) == QX_ERR_INVALID_ARG);
    QX_CloseFile(file);
    // Handles that are no file: the system would map memory of no file for the first.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (void *notFile : {static_cast<void *>(INVALID_HANDLE_VALUE), static_cast<void *>(nullptr),
                          static_cast<void *>(event)}) {
        CHECK(QX_MapFile(notFile, 2, 0, 4096, &address) == QX_ERR_INVALID_ARG);
        CHECK(address == reinterpret_cast<void *>(0x10));
    }
    CloseHandle(event);
}
