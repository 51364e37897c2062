// Libraries, module paths, sections of executable files, resource copies, byte arrays and the
// resource readers.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cstring>
#include <random>
#include <string>

using zxtest::TempDir;

namespace {

const wchar_t kModule[] = L"zx_resource_testmodule.dll";

std::wstring ModulePath() {
    return zxtest::Beside(kModule);
}

// The section headers of a PE file, read here independently of the library.
struct Section {
    std::string name;
    uint32_t offset, size;
};
std::vector<Section> Sections(const std::string &file) {
    std::vector<Section> sections;
    uint32_t lfanew = 0;
    std::memcpy(&lfanew, file.data() + 60, 4);
    uint16_t count = 0, optional = 0;
    std::memcpy(&count, file.data() + lfanew + 6, 2);
    std::memcpy(&optional, file.data() + lfanew + 20, 2);
    const size_t table = lfanew + 24 + optional;
    for (uint16_t i = 0; i < count; ++i) {
        const char *entry = file.data() + table + 40 * i;
        Section s;
        s.name.assign(entry, strnlen(entry, 8));
        std::memcpy(&s.size, entry + 16, 4);
        std::memcpy(&s.offset, entry + 20, 4);
        sections.push_back(s);
    }
    return sections;
}

} // namespace

TEST_CASE("libraries: load with either separator, symbols, misuse, names of the platform") {
    std::wstring path = ModulePath();
    __qx_hmodule a = QX_LoadLibrary(path.c_str());
    REQUIRE(a != nullptr);
    for (wchar_t &c : path)
        if (c == L'\\') c = L'/';
    __qx_hmodule b = QX_LoadLibrary(path.c_str());
    CHECK(a == b);
    void *symbol = QX_GetSymbol(a, "ProbeSymbol");
    REQUIRE(symbol != nullptr);
    CHECK(reinterpret_cast<int (*)()>(symbol)() == 42);
    CHECK(QX_GetSymbol(a, "NoSuchSymbol") == nullptr);
    CHECK(QX_GetSymbol(a, "") == nullptr);
    // An ordinal in place of a name, as the system takes it.
    CHECK(QX_GetSymbol(a, MAKEINTRESOURCEA(1)) ==
          reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(a), MAKEINTRESOURCEA(1))));
    CHECK(QX_GetSymbol(a, MAKEINTRESOURCEA(1)) != nullptr);
    CHECK(QX_GetSymbol(a, nullptr) == nullptr);
    CHECK(QX_GetSymbol(nullptr, "ProbeSymbol") == nullptr);
    CHECK(QX_UnloadLibrary(b) == QX_OK);
    CHECK(QX_UnloadLibrary(a) == QX_OK);
    CHECK(QX_UnloadLibrary(nullptr) == QX_ERR_INVALID_ARG);
    CHECK(QX_LoadLibrary(L"") == nullptr);
    CHECK(QX_LoadLibrary(nullptr) == nullptr);
    CHECK(QX_LoadLibrary(L"no-such-library.dll") == nullptr);
    CHECK(std::wstring(QX_GetDllExt()) == L".dll");
    CHECK(std::wstring(QX_GetDllPref()).empty());
}

TEST_CASE("module path: whole, cut and always terminated, or empty with -9") {
    wchar_t whole[MAX_PATH];
    CHECK(QX_GetModuleFileName(nullptr, whole, MAX_PATH) == QX_OK);
    CHECK(std::wstring(whole) == zxtest::SelfPath());
    wchar_t cut[8 + 4];
    for (wchar_t &c : cut)
        c = L'#';
    CHECK(QX_GetModuleFileName(nullptr, cut, 8) == QX_OK);
    CHECK(wcsnlen(cut, 8) == 7);
    CHECK(cut[8] == L'#');
    wchar_t none[16] = L"x";
    CHECK(QX_GetModuleFileName(reinterpret_cast<__qx_hmodule>(0x10), none, 16) == QX_ERR_SYSTEM);
    CHECK(none[0] == L'\0');
}

TEST_CASE("sections: copies out of our own 32- and 64-bit libraries, names without regard to case") {
    std::vector<std::wstring> files = {zxtest::Beside(L"zx_winsys.dll")};
    // The other architecture's tree, where both were built.
    const std::wstring other =
        zxtest::SelfFolder() +
        (sizeof(void *) == 8 ? L"\\..\\..\\x86\\bin\\zx_winsys.dll" : L"\\..\\..\\x64\\bin\\zx_winsys.dll");
    if (zxtest::FileExists(other)) files.push_back(other);
    for (const std::wstring &file : files) {
        CAPTURE(zxtest::Narrow(file));
        const std::string bytes = zxtest::ReadFileBytes(file);
        const std::vector<Section> sections = Sections(bytes);
        REQUIRE(sections.size() > 3);
        for (const Section &s : sections) {
            CAPTURE(s.name);
            std::string upper = s.name;
            for (char &c : upper)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            void *data = reinterpret_cast<void *>(1);
            unsigned int size = 77;
            REQUIRE(QX_GetDataSeg(file.c_str(), upper.c_str(), &data, &size) == QX_OK);
            CHECK(size == s.size);
            if (s.size == 0) {
                CHECK(data == nullptr);
            } else {
                REQUIRE(data != nullptr);
                CHECK(std::memcmp(data, bytes.data() + s.offset, s.size) == 0);
            }
            CHECK(QX_FreeDataSeg(&data) == QX_OK);
            CHECK(data == nullptr);
        }
        void *data = nullptr;
        unsigned int size = 0;
        CHECK(QX_GetDataSeg(file.c_str(), ".nosuch", &data, &size) == QX_ERR_SYSTEM);
    }
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"text.txt", "just some text, long enough to be anything\r\n");
    void *data = nullptr;
    unsigned int size = 0;
    CHECK(QX_GetDataSeg((dir / L"text.txt").c_str(), ".text", &data, &size) == QX_ERR_SYSTEM);
    CHECK(QX_GetDataSeg((dir / L"missing.dll").c_str(), ".text", &data, &size) == QX_ERR_CANNOT_OPEN);
    CHECK(QX_FreeDataSeg(nullptr) == QX_OK);
}

ZXTEST_CHILD(data_segments_of_damaged_files) {
    const std::string original = zxtest::ReadFileBytes(ModulePath());
    const std::wstring path =
        zxtest::SelfFolder() + L"\\damaged-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    std::mt19937 random(17);
    const int files = zxtest::LoadSize(2000, 10000);
    int unexpected = 0;
    for (int i = 0; i < files; ++i) {
        std::string bytes = original;
        switch (i % 3) {
        case 0: // cut every 64 bytes along the headers and beyond
            bytes.resize(std::min(bytes.size(), static_cast<size_t>(64 * (i / 3 % 512))));
            break;
        case 1: // flipped header bytes
            for (int k = 0; k < 4; ++k)
                bytes[random() % std::min<size_t>(bytes.size(), 1024)] ^=
                    static_cast<char>(1 + random() % 255);
            break;
        default: { // a field of the headers set to a large value (offsets and sizes past the end)
            const size_t at = random() % std::min<size_t>(bytes.size() - 4, 1024);
            const uint32_t value = 0xFFFFFF00u | static_cast<uint32_t>(random() % 256);
            std::memcpy(&bytes[at], &value, 4);
            break;
        }
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        for (const char *name : {".text", ".rsrc", ".data"}) {
            void *data = nullptr;
            unsigned int size = 0;
            const int status = QX_GetDataSeg(path.c_str(), name, &data, &size);
            if (status != QX_OK && status != QX_ERR_CANNOT_OPEN && status != QX_ERR_SYSTEM) ++unexpected;
            QX_FreeDataSeg(&data);
        }
    }
    DeleteFileW(path.c_str());
    ZXTEST_EXPECT(unexpected == 0);
    return 0;
}

TEST_CASE("sections: thousands of damaged files give 0, -7 or -9 and never a crash") {
    CHECK(zxtest::RunChild("data_segments_of_damaged_files", 600000) == 0);
}

ZXTEST_CHILD(resource_copies) {
    ZXTEST_EXPECT(QX_GetResCopyError() == nullptr);
    TempDir dir;
    const std::wstring library = dir / L"copy.dll", data = dir / L"data.bin", out = dir / L"out.bin";
    ZXTEST_EXPECT(CopyFileW(ModulePath().c_str(), library.c_str(), FALSE));
    std::string bytes(5000, '\0');
    std::mt19937 random(5);
    for (char &c : bytes)
        c = static_cast<char>(random());
    zxtest::WriteFileBytes(data, bytes);
    ZXTEST_EXPECT(QX_ResourceToDll(L"MyData", library.c_str(), data.c_str()) == QX_OK);
    // Names compare without regard to case, and the other resources are kept.
    ZXTEST_EXPECT(QX_DllToResource(L"MYDATA", library.c_str(), out.c_str()) == QX_OK);
    ZXTEST_EXPECT(zxtest::ReadFileBytes(out) == bytes);
    ZXTEST_EXPECT(QX_DllToResource(L"existing", library.c_str(), out.c_str()) == QX_OK);
    ZXTEST_EXPECT(zxtest::ReadFileBytes(out) == std::string("kept\0", 5));
    CQxRscData english;
    QX_RCDATAToCQxRscDataByID(english, library.c_str(), 1033, -1);
    ZXTEST_EXPECT(english.GetCQxByteArrayW32Count() == 1);
    ZXTEST_EXPECT(QX_GetResCopyError() == nullptr);

    // Failures: each with its text, and nothing lost.
    zxtest::WriteFileBytes(out, "keep me");
    ZXTEST_EXPECT(QX_DllToResource(L"NoSuch", library.c_str(), out.c_str()) == QX_ERR_SYSTEM);
    ZXTEST_EXPECT(std::wstring(QX_GetResCopyError()) == L"Cannot locate resource.");
    ZXTEST_EXPECT(zxtest::ReadFileBytes(out) == "keep me");
    ZXTEST_EXPECT(QX_DllToResource(L"NoSuch", library.c_str(), (dir / L"fresh.bin").c_str()) ==
                  QX_ERR_SYSTEM);
    ZXTEST_EXPECT(!zxtest::FileExists(dir / L"fresh.bin"));
    ZXTEST_EXPECT(QX_DllToResource(L"MyData", (dir / L"missing.dll").c_str(), out.c_str()) == QX_ERR_SYSTEM);
    ZXTEST_EXPECT(std::wstring(QX_GetResCopyError()) == L"Cannot load the dll file.");
    ZXTEST_EXPECT(QX_ResourceToDll(L"MyData", library.c_str(), (dir / L"missing.bin").c_str()) ==
                  QX_ERR_SYSTEM);
    ZXTEST_EXPECT(std::wstring(QX_GetResCopyError()) == L"Cannot open the data file.");
    const std::string before = zxtest::ReadFileBytes(library);
    zxtest::WriteFileBytes(dir / L"empty.bin", "");
    ZXTEST_EXPECT(QX_ResourceToDll(L"MyData", library.c_str(), (dir / L"empty.bin").c_str()) ==
                  QX_ERR_SYSTEM);
    ZXTEST_EXPECT(std::wstring(QX_GetResCopyError()) == L"Updating resource failed.");
    ZXTEST_EXPECT(zxtest::ReadFileBytes(library) == before);
    // A later success keeps the last failure's text.
    ZXTEST_EXPECT(QX_DllToResource(L"MyData", library.c_str(), out.c_str()) == QX_OK);
    ZXTEST_EXPECT(std::wstring(QX_GetResCopyError()) == L"Updating resource failed.");
    return 0;
}

TEST_CASE("resource copies: a round trip into a copy of a library; failures keep what was there") {
    CHECK(zxtest::RunChild("resource_copies") == 0);
}

TEST_CASE("resource readers: language keys in order; a library that cannot be loaded gives nothing") {
    CQxRscData data;
    QX_RCDATAToCQxRscData(data, ModulePath().c_str());
    REQUIRE(data.GetCQxByteArrayW32Count() == 2);
    int key = 0;
    const CQxByteArrayW32 &first = data.GetCQxByteArrayW32(0, &key);
    CHECK(key == 1033);
    CHECK(std::string(reinterpret_cast<const char *>(first.GetData()), first.GetSize()) ==
          std::string("english\0", 8));
    CHECK(data.GetCQxByteArrayW32(1, &key).GetSize() == 8);
    CHECK(key == 2052);
    key = 99;
    CHECK(data.GetCQxByteArrayW32(2, &key).GetSize() == 0); // the shared empty array
    CHECK(key == 99);
    CHECK(data.GetCQxByteArrayW32(-5, &key).GetSize() == 8);
    CHECK(key == 1033);

    // By identifier, with a key of its own; a library that cannot be loaded adds nothing, and the
    // program's own resource 1033 is never taken instead.
    QX_RCDATAToCQxRscDataByID(data, ModulePath().c_str(), 2052, 7);
    CHECK(data.GetCQxByteArrayW32Count() == 3);
    data.GetCQxByteArrayW32(2, &key);
    CHECK(key == 7);
    QX_RCDATAToCQxRscDataByID(data, L"no-such-library.dll", 1033, -1);
    CHECK(data.GetCQxByteArrayW32Count() == 3);
    QX_RCDATAToCQxRscData(data, L"no-such-library.dll");
    CHECK(data.GetCQxByteArrayW32Count() == 0);
    QX_RCDATAToCQxRscDataByID(data, static_cast<__qx_hmodule>(nullptr), 1033, -1); // the program itself
    CHECK(data.GetCQxByteArrayW32Count() == 1);
}

TEST_CASE("resource lists: shared by copies and freed once; Clear and UnrefDataMember detach") {
    CQxRscData a;
    a.AppendData("one", 3, 1);
    {
        CQxRscData b;
        b.AppendData("other", 5, 2);
        b = a; // b's own list goes, a's is shared
        CHECK(b.GetCQxByteArrayW32Count() == 1);
        CQxRscData c(b);
        c.AppendData("two", 3, 2);
        CHECK(a.GetCQxByteArrayW32Count() == 2);
        c = c;
        CHECK(c.GetCQxByteArrayW32Count() == 2);
        b.Clear(); // detaches
        CHECK(b.GetCQxByteArrayW32Count() == 0);
        CHECK(a.GetCQxByteArrayW32Count() == 2);
        c.UnrefDataMember();
        CHECK(c.GetCQxByteArrayW32Count() == 0);
    }
    CHECK(a.GetCQxByteArrayW32Count() == 2); // still whole after the others went
    int key = 0;
    CHECK(a.GetCQxByteArrayW32(1, &key).GetSize() == 3);
    CHECK(key == 2);
    CQxRscData empty;
    CHECK(empty.GetCQxByteArrayW32(-1, &key).GetSize() == 0);
}

TEST_CASE("byte arrays: exact, step and no growth; truncation; overflow refused; offsets") {
    CQxByteArrayW32 step(1024);
    std::string bytes(2100, 'b');
    CHECK(step.SetData(bytes.data(), 1500, eQxByteArraySet, eQxByteArrayAllocStep) == QX_OK);
    CHECK(step.GetAllocated() == 2048);
    CHECK(step.GetSize() == 1500);
    CHECK(step.SetData(bytes.data(), 600, eQxByteArrayAppend, eQxByteArrayAllocStep) == QX_OK);
    CHECK(step.GetAllocated() == 3072);
    CHECK(step.GetSize() == 2100);

    CQxByteArrayW32 none(0); // a step of 0 is taken as 1
    CHECK(none.SetData(nullptr, 8, eQxByteArraySet, eQxByteArrayAllocExact) == QX_OK); // reserves
    CHECK(none.GetAllocated() == 8);
    CHECK(none.GetSize() == 0);
    CHECK(none.SetData(bytes.data(), 10, eQxByteArraySet, eQxByteArrayAllocNone) == QX_ERR_TRUNCATED);
    CHECK(none.GetSize() == 8);
    CHECK(none.SetData(bytes.data(), 1, eQxByteArrayAppend, eQxByteArrayAllocNone) == QX_ERR_SYSTEM);

    // Sizes that would pass 32 bits are refused before anything is written.
    CQxByteArrayW32 big(0x80000000u);
    CHECK(big.SetData(bytes.data(), 16, eQxByteArraySet, eQxByteArrayAllocExact) == QX_OK);
    CHECK(big.SetData(nullptr, 0xFFFFFFF8u, eQxByteArrayAppend, eQxByteArrayAllocExact) == QX_ERR_NO_MEMORY);
    CHECK(big.SetData(nullptr, 0xFFFFFFF0u, eQxByteArrayAppend, eQxByteArrayAllocStep) == QX_ERR_NO_MEMORY);
    CHECK(big.GetSize() == 16);
    CHECK(big.GetAllocated() == 16);

    CQxByteArrayW32 copy(step), assigned;
    CHECK(copy == step);
    assigned = step;
    CHECK(assigned == step);
    assigned = assigned;
    CHECK(assigned == step);
    CHECK(assigned.GetAllocated() == 2100); // exact for copies
    CHECK(copy.SetCurrentOffset(2101) == QX_ERR_INVALID_ARG);
    CHECK(copy.SetCurrentOffset(100) == QX_OK);
    CHECK(copy.GetCurrentOffsetPtr() == copy.GetData() + 100);
    CHECK(copy.SetCurrentOffsetPtr(copy.GetData() + 2100) == QX_OK);
    CHECK(copy.SetCurrentOffsetPtr(copy.GetData() - 1) == QX_ERR_INVALID_ARG);
#if defined(_WIN64)
    CHECK(copy.SetCurrentOffsetPtr(copy.GetData() + (uint64_t(1) << 32) + 5) == QX_ERR_INVALID_ARG);
#endif
    CHECK(copy.GetData(10) == copy.GetData());
    CHECK(copy.GetSize() == 10);
    CHECK(copy != step);
    copy.FreeData();
    CHECK(copy.GetData() == nullptr);
    CHECK(copy.GetSize() == 0);
    CHECK(copy.GetAllocated() == 0);
}
