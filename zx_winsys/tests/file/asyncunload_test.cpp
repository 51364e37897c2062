// The library stays loaded while asynchronous workers run, even after the application's
// FreeLibrary, and goes once the last worker has retired. This program does not import the
// library: it loads it by name.
#include "testsupport/zxtest.h"
#include "zx_winsys/qx_file.h"

namespace {

using OpenFn = int (*)(const wchar_t *, int, int, int, void **);
using ReadFn = int (*)(void *, void *, size_t, size_t *, const SQxAsyncIO *);
using CloseFn = int (*)(void *);

volatile LONG g_finals = 0;
void Count(int status, size_t, void *) {
    if (status != QX_IO_PENDING) InterlockedIncrement(&g_finals);
}

} // namespace

TEST_CASE("unload: FreeLibrary while workers run leaves the code in place until they retire") {
    zxtest::TempDir dir;
    zxtest::WriteFileBytes(dir / L"src", std::string(64 * 4096, 'x'));
    HMODULE module = LoadLibraryW(L"zx_winsys.dll");
    REQUIRE(module != nullptr);
    auto open = reinterpret_cast<OpenFn>(reinterpret_cast<void *>(GetProcAddress(module, "QX_OpenFile")));
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void *>(GetProcAddress(module, "QX_ReadFile")));
    auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void *>(GetProcAddress(module, "QX_CloseFile")));
    REQUIRE((open && read && close));

    void *file = nullptr;
    REQUIRE(open((dir / L"src").c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file) == QX_OK);
    std::vector<std::string> buffers(4, std::string(64 * 4096, '\0'));
    for (auto &buffer : buffers) {
        SQxAsyncIO record = {0, nullptr, Count};
        REQUIRE(read(file, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
    }
    CHECK(FreeLibrary(module));
    // The workers keep the library: it is still mapped while they run.
    CHECK(GetModuleHandleW(L"zx_winsys.dll") != nullptr);
    for (int i = 0; i < 1000 && g_finals < 4; ++i)
        Sleep(10);
    CHECK(g_finals == 4);
    for (int i = 0; i < 1000 && GetModuleHandleW(L"zx_winsys.dll"); ++i)
        Sleep(10);
    CHECK(GetModuleHandleW(L"zx_winsys.dll") == nullptr);
    CloseHandle(file);
    for (const auto &buffer : buffers)
        CHECK(buffer == std::string(64 * 4096, 'x'));
}
