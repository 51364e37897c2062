// The shipped library carries symbols that the system's debug-help library reads: a return address
// inside zx_winsys.dll, taken from a live stack, resolves to a function name, a source file and a line.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <dbghelp.h>

using zxtest::TempDir;

namespace {

struct Capture {
    HANDLE done;
    void *frames[62];
    USHORT count;
};

void CaptureStack(int status, size_t, void *user) {
    auto *capture = static_cast<Capture *>(user);
    if (status == QX_IO_PENDING || capture->count != 0) return;
    capture->count = RtlCaptureStackBackTrace(0, 62, capture->frames, nullptr);
    SetEvent(capture->done);
}

} // namespace

TEST_CASE("symbols: a frame of zx_winsys.dll resolves to a function, a file and a line") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"data.bin", std::string(100, 'x'));
    void *file = nullptr;
    REQUIRE(QX_OpenFile((dir / L"data.bin").c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file) ==
            QX_OK);

    // The callback runs on one of the library's workers, so the stack holds the library's frames.
    Capture capture{CreateEventW(nullptr, TRUE, FALSE, nullptr), {}, 0};
    char buffer[100];
    SQxAsyncIO async{0, &capture, CaptureStack};
    REQUIRE(QX_ReadFile(file, buffer, sizeof buffer, nullptr, &async) == QX_OK);
    REQUIRE(WaitForSingleObject(capture.done, 30000) == WAIT_OBJECT_0);
    CloseHandle(capture.done);
    QX_CloseFile(file);

    HMODULE library = GetModuleHandleW(L"zx_winsys.dll");
    REQUIRE(library != nullptr);

    HANDLE process = GetCurrentProcess();
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS);
    REQUIRE(SymInitializeW(process, zxtest::SelfFolder().c_str(), TRUE));

    int resolved = 0;
    for (USHORT i = 0; i < capture.count; ++i) {
        HMODULE owner = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(capture.frames[i]), &owner);
        if (owner != library) continue;
        // A return address points after the call; the call itself is one byte earlier.
        DWORD64 address = reinterpret_cast<DWORD64>(capture.frames[i]) - 1;
        alignas(SYMBOL_INFOW) char storage[sizeof(SYMBOL_INFOW) + 256 * sizeof(wchar_t)] = {};
        auto *symbol = reinterpret_cast<SYMBOL_INFOW *>(storage);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
        symbol->MaxNameLen = 256;
        DWORD64 displacement = 0;
        IMAGEHLP_LINEW64 line{};
        line.SizeOfStruct = sizeof line;
        DWORD column = 0;
        bool named = SymFromAddrW(process, address, &displacement, symbol);
        bool lined = SymGetLineFromAddrW64(process, address, &column, &line);
        INFO("frame " << i << ": " << (named ? zxtest::Narrow(symbol->Name) : "<no name>"));
        if (named && lined) {
            std::wstring file = line.FileName;
            CHECK(symbol->NameLen > 0);
            CHECK(line.LineNumber > 0);
            CHECK(file.find(L".cpp") != std::wstring::npos);
            ++resolved;
        }
    }
    SymCleanup(process);
    CHECK(resolved > 0);
}
