// Libraries, module paths, sections of executable files, resource copies, byte arrays and the
// resource readers.
#include "testsupport/host.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <cstring>
#include <map>
#include <memory>
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

namespace {

// The file offsets of the test module's raw-data resource entries, walked here independently of
// the library: "1033", "2052", "EXISTING" -> its data entry; "type" -> the raw-data type's
// directory entry in the root.
std::map<std::string, size_t> ResourceEntries(const std::string &file) {
    std::map<std::string, size_t> found;
    size_t raw = 0;
    for (const Section &section : Sections(file))
        if (section.name == ".rsrc") raw = section.offset;
    const auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    const auto entries = [&](size_t directory) {
        uint16_t named = 0, ids = 0;
        std::memcpy(&named, file.data() + directory + 12, 2);
        std::memcpy(&ids, file.data() + directory + 14, 2);
        return static_cast<size_t>(named + ids);
    };
    for (size_t i = 0; i < entries(raw); ++i) {
        const size_t type = raw + 16 + 8 * i;
        if (u32(type) != 10) continue;
        found["type"] = type;
        const size_t names = raw + (u32(type + 4) & 0x7FFFFFFF);
        for (size_t k = 0; k < entries(names); ++k) {
            const size_t entry = names + 16 + 8 * k;
            const uint32_t id = u32(entry);
            std::string key = std::to_string(id);
            if (id & 0x80000000) { // a name: its length, then UTF-16 units
                const size_t at = raw + (id & 0x7FFFFFFF);
                uint16_t length = 0;
                std::memcpy(&length, file.data() + at, 2);
                key.clear();
                for (uint16_t c = 0; c < length; ++c)
                    key += file[at + 2 + 2 * c];
            }
            const size_t languages = raw + (u32(entry + 4) & 0x7FFFFFFF);
            found[key] = raw + u32(languages + 16 + 4);
        }
    }
    return found;
}

void Put(std::string &bytes, size_t at, uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
}

// A library made from the test module: damaged, too long a path, behind a link, or with a tail.
enum class Shape { Damaged, LongPath, Linked, LargeTail };

struct LibraryRow {
    const char *what;
    Shape shape;
    void (*damage)(std::string &bytes, const std::map<std::string, size_t> &at);
    int readable; // how many of the bulk reader's resources still read (1033, 2052)
    WORD copied;  // the resource copied out to a data file: the damaged one; 0 for "EXISTING"
};

const LibraryRow kLibraryRows[] = {
    {"a resource that claims 256 MiB in a file of a few KiB", Shape::Damaged,
     [](std::string &b, const std::map<std::string, size_t> &at) { Put(b, at.at("1033") + 4, 0x10000000); },
     1, 1033},
    {"a resource of 0xFFFFFFFF bytes", Shape::Damaged,
     [](std::string &b, const std::map<std::string, size_t> &at) { Put(b, at.at("2052") + 4, 0xFFFFFFFF); },
     1, 2052},
    {"a resource whose bytes lie far past the image", Shape::Damaged,
     [](std::string &b, const std::map<std::string, size_t> &at) { Put(b, at.at("EXISTING"), 0x7FFFFF00); },
     2, 0},
    {"a resource tree that leads back to its root", Shape::Damaged,
     [](std::string &b, const std::map<std::string, size_t> &at) { Put(b, at.at("type") + 4, 0x80000000); },
     0, 1033},
    {"a library path of 255 characters", Shape::LongPath, nullptr, 2, 0},
    {"a library reached through a symbolic link", Shape::Linked, nullptr, 2, 0},
    {"a library with a tail of 1.5 GiB", Shape::LargeTail, nullptr, 2, 0},
};

} // namespace

ZXTEST_CHILD(library_row) {
    const LibraryRow &row = kLibraryRows[std::stoi(zxtest::ChildArgument())];
    TempDir dir;
    std::string bytes = zxtest::ReadFileBytes(ModulePath());
    if (row.damage) row.damage(bytes, ResourceEntries(bytes));
    std::wstring library = dir / L"lib.dll";
    if (row.shape == Shape::LongPath) {
        const std::wstring folder = dir / std::wstring(249 - dir.path().size() - 1, L'd');
        ZXTEST_EXPECT(CreateDirectoryW(folder.c_str(), nullptr));
        library = folder + L"\\l.dll";
        ZXTEST_EXPECT(library.size() == 255);
    }
    const std::wstring target = row.shape == Shape::Linked ? dir / L"target.dll" : library;
    zxtest::WriteFileBytes(target, bytes);
    std::unique_ptr<zxtest::HostLink> link;
    if (row.shape == Shape::Linked) {
        link.reset(new zxtest::HostLink(library, target));
        ZXTEST_EXPECT(link->Made());
    }
    if (row.shape == Shape::LargeTail) {
        HANDLE file = CreateFileW(library.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = 1536ll << 20;
        ZXTEST_EXPECT(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
        void *data = nullptr;
        unsigned int size = 0;
        ZXTEST_EXPECT(QX_GetDataSeg(library.c_str(), ".rsrc", &data, &size) == QX_OK && size > 0);
        QX_FreeDataSeg(&data);
    }

    // The copies: a data file and a file of the old fixed temporary name stay as they were on a
    // failure; a sound library takes the resource (behind a link: the link's target does).
    const std::wstring data = dir / L"data.bin", payload = dir / L"payload.bin",
                       fixed = library + L".update.tmp";
    const std::string before = "twenty-seven bytes of data.";
    zxtest::WriteFileBytes(data, before);
    zxtest::WriteFileBytes(payload, "new resource");
    if (row.shape != Shape::LongPath) zxtest::WriteFileBytes(fixed, "somebody's");
    const std::string library_before = zxtest::ReadFileBytes(target);
    const bool sound = row.shape != Shape::Damaged;
    const wchar_t *copied = row.copied ? MAKEINTRESOURCEW(row.copied) : L"EXISTING";
    ZXTEST_EXPECT(QX_DllToResource(copied, library.c_str(), data.c_str()) == (sound ? QX_OK : QX_ERR_SYSTEM));
    if (!sound) ZXTEST_EXPECT(zxtest::ReadFileBytes(data) == before);
    ZXTEST_EXPECT(QX_ResourceToDll(L"MyData", library.c_str(), payload.c_str()) ==
                  (sound ? QX_OK : QX_ERR_SYSTEM));
    if (!sound) ZXTEST_EXPECT(zxtest::ReadFileBytes(target) == library_before);
    if (row.shape != Shape::LongPath) ZXTEST_EXPECT(zxtest::ReadFileBytes(fixed) == "somebody's");
    if (sound) {
        ZXTEST_EXPECT(QX_DllToResource(L"MyData", target.c_str(), data.c_str()) == QX_OK);
        ZXTEST_EXPECT(zxtest::ReadFileBytes(data) == "new resource");
    }
    if (row.shape == Shape::Linked) ZXTEST_EXPECT(zxtest::IsHostLink(library));

    // Every reader, by path and by module: no crash, the damaged resource left out.
    CQxRscData all, one;
    QX_RCDATAToCQxRscData(all, library.c_str());
    ZXTEST_EXPECT(all.GetCQxByteArrayW32Count() == row.readable);
    QX_RCDATAToCQxRscDataByID(one, library.c_str(), 1033, -1);
    QX_RCDATAToCQxRscDataByID(one, library.c_str(), 2052, -1);
    ZXTEST_EXPECT(one.GetCQxByteArrayW32Count() == row.readable);
    if (__qx_hmodule module = QX_LoadLibrary(library.c_str())) {
        QX_RCDATAToCQxRscData(all, module);
        ZXTEST_EXPECT(all.GetCQxByteArrayW32Count() == row.readable);
        QX_UnloadLibrary(module);
    }
    // Nothing else is left beside the library.
    WIN32_FIND_DATAW found;
    HANDLE find =
        FindFirstFileW((library.substr(0, library.find_last_of(L'\\') + 1) + L"*.tmp").c_str(), &found);
    int temporaries = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do
            temporaries += std::wstring(found.cFileName) == L"lib.dll.update.tmp" ? 0 : 1;
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
    ZXTEST_EXPECT(temporaries == 0);
    DeleteFileW(fixed.c_str());
    return 0;
}

TEST_CASE("damaged and unusual libraries: no crash, the damaged resource refused, nothing lost or left") {
    for (size_t i = 0; i < sizeof kLibraryRows / sizeof kLibraryRows[0]; ++i) {
        CAPTURE(std::string(kLibraryRows[i].what));
        CHECK(zxtest::RunChild("library_row", 60000, std::to_string(i)) == 0);
    }
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
