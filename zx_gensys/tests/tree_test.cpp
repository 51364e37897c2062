// Settings trees: writer, reader, and the tree file (round trips and corrupt files).
#include "testsupport/zxtest.h"
#include "zx_gensys/core/tree.h"
#include "zx_gensys/core/treestream.h"
#include "zx_gensys/zx_gensys.h"

#include <cmath>
#include <limits>
#include <random>

using zxtest::TempDir;

namespace {

// A tree with nested levels, every value kind and empty levels.
void WriteSample(CQxLiteVariantW &w) {
    w.Set(true, L"flag");
    w.Set(L"text with \u00e9\u4e2d and \"quotes\" <&>", L"title");
    w.SetInt(-123456, L"int");
    w.SetUnsigned(4000000000u, L"unsigned");
    w.SetInt64(-(int64_t(1) << 60), L"int64");
    w.SetUInt64(~0ull, L"uint64");
    w.SetDouble(-0.1, L"double");
    const unsigned char bytes[] = {0, 1, 2, 255, 0};
    w.SetBinary(bytes, sizeof bytes, 7, L"binary");
    w.LevelBegin(L"outer");
    w.LevelBegin(L"empty");
    w.LevelEnd();
    w.LevelBegin(L"inner");
    w.Set(false, L"flag");
    w.Set(L"", L"blank");
    w.LevelEnd();
    w.LevelEnd();
}

gensys::Node Decoded(const std::string &bytes) {
    gensys::Node root;
    REQUIRE(gensys::DecodeTree(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), &root));
    return root;
}

bool Decodes(const std::string &bytes) {
    gensys::Node root;
    root.name = u"untouched";
    bool ok = gensys::DecodeTree(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), &root);
    if (!ok) CHECK(root.name == u"untouched");
    return ok;
}

// Puts a fresh length and checksum into a header after the payload was changed.
std::string Reseal(std::string file) {
    const uint32_t length = static_cast<uint32_t>(file.size() - 16);
    const uint32_t crc = gensys::Crc32(reinterpret_cast<const unsigned char *>(file.data()) + 16, length);
    for (int i = 0; i < 4; ++i) {
        file[8 + static_cast<size_t>(i)] = static_cast<char>(length >> (8 * i));
        file[12 + static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
    }
    return file;
}

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}

} // namespace

TEST_CASE("tree file: a tree of every kind survives saving and loading, in both forms") {
    TempDir dir;
    CQxLiteVariantW writer;
    WriteSample(writer);
    CQxLiteVariantR tree;
    REQUIRE(writer.Finalize(tree) == 0);
    for (bool textForm : {false, true}) {
        CAPTURE(textForm);
        std::wstring path = dir / (textForm ? L"tree.xml" : L"tree.bin");
        REQUIRE(tree.SaveToFile(path.c_str(), true, textForm) == 0);
        CQxLiteVariantR loaded;
        REQUIRE(loaded.LoadFromFile(path.c_str(), textForm) == 0);
        REQUIRE(loaded.SaveToFile((dir / L"again").c_str(), true, false) == 0);
        REQUIRE(tree.SaveToFile((dir / L"first").c_str(), true, false) == 0);
        CHECK(zxtest::ReadFileBytes(dir / L"again") == zxtest::ReadFileBytes(dir / L"first"));

        CHECK(loaded.Get(L"flag", false));
        CHECK(loaded.Get(L"title", L"") == L"text with \u00e9\u4e2d and \"quotes\" <&>");
        REQUIRE(loaded.LevelBegin(L"outer", nullptr) == 0);
        CHECK(loaded.IsValueSet(L"empty"));
        REQUIRE(loaded.LevelBegin(L"inner", nullptr) == 0);
        CHECK_FALSE(loaded.Get(L"flag", true));
        CHECK(loaded.Get(L"blank", L"x") == L"");
    }
    gensys::Node root = Decoded(zxtest::ReadFileBytes(dir / L"tree.bin"));
    REQUIRE(root.children.size() == 9);
    CHECK(root.children[6].real == -0.1);
    CHECK(root.children[5].unsignedValue == ~0ull);
    CHECK(root.children[7].bytes == std::string("\0\1\2\xff\0", 5));
    CHECK(root.children[7].tag == 7);
}

TEST_CASE("tree file: large texts and many levels round trip") {
    TempDir dir;
    std::wstring big(1 << 20, L'a');
    for (size_t i = 0; i < big.size(); i += 7)
        big[i] = static_cast<wchar_t>(0x100 + i % 5000);
    CQxLiteVariantW writer;
    for (int i = 0; i < 100; ++i)
        REQUIRE(writer.LevelBegin((L"level" + std::to_wstring(i)).c_str()) == 0);
    writer.Set(big.c_str(), L"big");
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    REQUIRE(tree.SaveToFile((dir / L"deep.bin").c_str(), true, false) == 0);
    CQxLiteVariantR loaded;
    REQUIRE(loaded.LoadFromFile((dir / L"deep.bin").c_str(), false) == 0);
    for (int i = 0; i < 100; ++i)
        REQUIRE(loaded.LevelBegin((L"level" + std::to_wstring(i)).c_str(), nullptr) == 0);
    CHECK(loaded.Get(L"big", L"") == big.c_str());
}

TEST_CASE("tree file: the encoder writes the documented bytes and the standard CRC-32") {
    // The checksum against a bit-at-a-time reference, at every length around the 8-byte steps
    // and from unaligned starts.
    const auto reference = [](const unsigned char *p, size_t n) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        return crc ^ 0xFFFFFFFFu;
    };
    CHECK(gensys::Crc32(reinterpret_cast<const unsigned char *>("123456789"), 9) == 0xCBF43926u);
    unsigned char data[80];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<unsigned char>(i * 37 + 11);
    for (size_t start = 0; start < 4; ++start)
        for (size_t n = 0; start + n <= sizeof data; ++n)
            REQUIRE(gensys::Crc32(data + start, n) == reference(data + start, n));

    // A root level holding a named text and a tagged binary, field by field.
    gensys::Node root;
    gensys::Node &text = root.children.emplace_back();
    text.name = u"t";
    text.kind = gensys::NodeKind::Text;
    text.text = u"A\u00e9";
    gensys::Node &binary = root.children.emplace_back();
    binary.name = u"";
    binary.kind = gensys::NodeKind::Binary;
    binary.tag = 3;
    binary.bytes = std::string("\x00\xff", 2);
    const std::string payload = std::string("\x01", 1) + U32(0) + U32(2) + // root level, two children
                                std::string("\x08", 1) + U32(1) + std::string("t\0", 2) + // text "t"
                                U32(2) + std::string("A\0\xe9\0", 4) +                    // "A\u00e9"
                                std::string("\x09", 1) + U32(0) + U32(3) + U32(2) +
                                std::string("\x00\xff", 2);
    const std::string file = gensys::EncodeTree(root);
    REQUIRE(file.size() == 16 + payload.size());
    CHECK(file.substr(0, 8) == std::string("QXTR\x01\x00\x00\x00", 8));
    CHECK(file.substr(8, 4) == U32(static_cast<uint32_t>(payload.size())));
    CHECK(file.substr(12, 4) ==
          U32(reference(reinterpret_cast<const unsigned char *>(payload.data()), payload.size())));
    CHECK(file.substr(16) == payload);
    CHECK(gensys::EncodedTreeSize(root) == file.size());
    CHECK(Decoded(file) == root);
}

TEST_CASE(
    "tree stream: checksums joined and patched without the bytes, a writer that goes back, a reader that "
    "holds nothing it was only promised") {
    std::string bytes(5000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 131 + 7);
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    for (size_t cut : {size_t(0), size_t(1), size_t(8), size_t(999), size_t(5000)}) {
        const uint32_t whole = gensys::Crc32(p, 5000), a = gensys::Crc32(p, cut),
                       b = gensys::Crc32(p + cut, 5000 - cut);
        CHECK(gensys::Crc32Combine(a, b, 5000 - cut) == whole);
        CHECK(gensys::Crc32Tail(whole, a, 5000 - cut) == b);
        CHECK(gensys::Crc32Update(a, p + cut, 5000 - cut) == whole);
    }
    std::string patched = bytes;
    const unsigned char after[4] = {1, 2, 3, 4};
    std::memcpy(&patched[777], after, 4);
    CHECK(gensys::Crc32Patch(gensys::Crc32(p, 5000), p + 777, after, 4, 5000 - 781) ==
          gensys::Crc32(reinterpret_cast<const unsigned char *>(patched.data()), 5000));

    // A writer with a small buffer, so that counts are patched and cuts made in what was written.
    gensys::MemorySink sink;
    gensys::TreeWriter w(sink, 64);
    REQUIRE(w.Begin());
    REQUIRE(w.BeginLevel(u"kept"));
    gensys::Node text;
    text.kind = gensys::NodeKind::Text;
    text.name = u"t";
    text.text = gensys::Text(300, u'x');
    REQUIRE(w.Value(text));
    const gensys::TreeWriter::Mark mark = w.Save();
    REQUIRE(w.BeginLevel(u"dropped"));
    REQUIRE(w.Value(text));
    REQUIRE(w.EndLevel());
    REQUIRE(w.BeginText(u"cut"));
    REQUIRE(w.TextUnits(text.text.data(), 200));
    REQUIRE(w.Restore(mark));
    REQUIRE(w.BeginText(u"streamed"));
    REQUIRE(w.TextUnits(u"ab", 2));
    REQUIRE(w.TextUnits(u"cd", 2));
    REQUIRE(w.EndText());
    REQUIRE(w.EndLevel());
    uint64_t size = 0;
    REQUIRE(w.Finish(&size));
    gensys::Node expected, kept;
    kept.name = u"kept";
    kept.children.push_back(text);
    gensys::Node streamed = text;
    streamed.name = u"streamed";
    streamed.text = u"abcd";
    kept.children.push_back(streamed);
    expected.children.push_back(kept);
    CHECK(sink.bytes == gensys::EncodeTree(expected));
    CHECK(size == sink.bytes.size());

    // A level that claims four billion children in a small file is refused before any is held;
    // a file that is only cut is refused by the same reader.
    const std::string claim = Reseal(std::string("QXTR\x01\0\0\0", 8) + std::string(8, '\0') +
                                     std::string("\x01\0\0\0\0\xff\xff\xff\xff", 9));
    CHECK_FALSE(Decodes(claim));
    gensys::MemorySource source(reinterpret_cast<const unsigned char *>(claim.data()), claim.size());
    gensys::TreeReader reader(source);
    CHECK_FALSE(reader.Validate(claim.size()));
    CHECK(std::string(reader.Reason()) == "a count is larger than the bytes left can hold");
}

TEST_CASE("tree file: every kind of damage is refused without touching the reader's caller") {
    CQxLiteVariantW writer;
    WriteSample(writer);
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    TempDir dir;
    REQUIRE(tree.SaveToFile((dir / L"t.bin").c_str(), true, false) == 0);
    const std::string good = zxtest::ReadFileBytes(dir / L"t.bin");
    REQUIRE(Decodes(good));

    // Every truncation, and every single flipped bit of every byte (the checksum or a field
    // catches it).
    for (size_t n = 0; n < good.size(); ++n)
        CHECK_FALSE(Decodes(good.substr(0, n)));
    for (size_t i = 0; i < good.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ (1 << bit));
            if (Decodes(bad)) FAIL_CHECK("flipped bit " << bit << " of byte " << i << " was accepted");
        }
    }
    CHECK_FALSE(Decodes(good + "x"));

    std::string magic = good;
    magic[0] = 'X';
    CHECK_FALSE(Decodes(magic));
    std::string version = good;
    version[4] = 2;
    CHECK_FALSE(Decodes(version));
    std::string flags = good;
    flags[6] = 1;
    CHECK_FALSE(Decodes(flags));

    // Damage behind a valid checksum: the structure itself is checked.
    const std::string header = good.substr(0, 16);
    const std::string rootStart = std::string("\x01", 1) + U32(0);               // a level without a name
    CHECK_FALSE(Decodes(Reseal(header + rootStart + U32(0x7FFFFFFF))));          // more children than bytes
    CHECK_FALSE(Decodes(Reseal(header + rootStart + U32(1) + "\x0A" + U32(0)))); // unknown kind
    CHECK_FALSE(
        Decodes(Reseal(header + rootStart + U32(1) + "\x02" + U32(0) + "\x02"))); // bool neither 0 nor 1
    CHECK_FALSE(Decodes(Reseal(header + "\x08" + U32(0) + U32(0))));              // root is no level
    CHECK_FALSE(
        Decodes(Reseal(header + rootStart + U32(1) + "\x08" + U32(0x40000000)))); // name longer than the file
    CHECK_FALSE(Decodes(Reseal(header + rootStart + U32(1) + "\x09" + U32(0) + U32(1) + U32(0xFFFFFFF0))));
    CHECK(Decodes(Reseal(header + rootStart + U32(1) + "\x02" + U32(0) + "\x01")));
    // The smallest child is an empty node with an empty name, 5 bytes: a level of them at the end
    // of the file loads.
    const std::string emptyNode = std::string("\x00", 1) + U32(0);
    CHECK(Decodes(Reseal(header + rootStart + U32(3) + emptyNode + emptyNode + emptyNode)));
    CHECK_FALSE(Decodes(Reseal(header + rootStart + U32(4) + emptyNode + emptyNode + emptyNode)));

    // Nesting: the deepest allowed chain loads, one more level is refused.
    auto chain = [&](int levels) {
        std::string payload;
        for (int i = 0; i < levels; ++i)
            payload += rootStart + U32(i + 1 < levels ? 1 : 0);
        return Reseal(header + payload);
    };
    CHECK(Decodes(chain(gensys::kMaxDepth)));
    CHECK_FALSE(Decodes(chain(gensys::kMaxDepth + 1)));
}

TEST_CASE("tree file: loading a damaged or foreign file fails and leaves an empty tree") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"foreign.bin", "<xml>not a tree</xml>");
    zxtest::WriteFileBytes(dir / L"odd.xml", "\xff\xfe<");
    CQxLiteVariantR reader;
    CQxLiteVariantW writer;
    writer.LevelBegin(L"Settings");
    writer.LevelEnd();
    writer.Finalize(reader);
    CHECK(reader.LoadFromFile((dir / L"foreign.bin").c_str(), false) == -1);
    CHECK(reader.LevelBegin(L"Settings", nullptr) == -1);
    CHECK(reader.GetChildCount() == 0);
    CHECK(reader.LoadFromFile((dir / L"missing.bin").c_str(), false) == -1);
    CHECK(reader.LoadFromFile((dir / L"odd.xml").c_str(), true) == -1);
    CHECK(reader.LoadFromFile((dir / L"foreign.bin").c_str(), true) == -1);
    CHECK(reader.LoadFromFile(nullptr, false) == -1);
}

namespace {

// Saves a large tree (a small one when asked) over the same file again and again until killed.
int SaveForever(const std::wstring &path) {
    CQxLiteVariantW writer;
    std::wstring text(zxtest::ChildArgument() == "small" ? 16 : 4 << 20, L'n');
    writer.Set(text.c_str(), L"new");
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"zxt-save-ready");
    for (int i = 0;; ++i) {
        tree.SaveToFile(path.c_str(), true, false);
        if (i == 0 && ready) SetEvent(ready);
    }
}

} // namespace

ZXTEST_CHILD(save_forever) {
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"ZXT_SAVE_PATH", path, MAX_PATH)) return 1;
    return SaveForever(path);
}

// Saves the tree {old: "old"} at path, which save_forever children then save over.
CQxLiteVariantR SavedOld(const std::wstring &path) {
    CQxLiteVariantW writer;
    writer.Set(L"old", L"old");
    CQxLiteVariantR old;
    writer.Finalize(old);
    REQUIRE(old.SaveToFile(path.c_str(), true, false) == 0);
    SetEnvironmentVariableW(L"ZXT_SAVE_PATH", path.c_str());
    return old;
}

TEST_CASE("tree file: a save killed at any moment leaves the old or the new file whole") {
    TempDir dir;
    std::wstring path = dir / L"target.bin";
    const CQxLiteVariantR old = SavedOld(path);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"zxt-save-ready");
    for (int round = 0; round < 6; ++round) {
        zxtest::Program child(L"\"" + zxtest::SelfPath() + L"\" --zx-child=save_forever");
        if (round > 0) WaitForSingleObject(ready, 20000);
        Sleep(static_cast<DWORD>(round * 37 % 100));
        child.Kill();
        CQxLiteVariantR loaded;
        REQUIRE(loaded.LoadFromFile(path.c_str(), false) == 0);
        CHECK((loaded.IsValueSet(L"old") || loaded.Get(L"new", L"").GetLength() == 4 << 20));
    }
    CloseHandle(ready);
}

TEST_CASE("tree file: loads beside another process's saves, and a save beside a reader, succeed") {
    TempDir dir;
    const std::wstring path = dir / L"target.bin";
    const CQxLiteVariantR old = SavedOld(path);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"zxt-save-ready");
    {
        zxtest::Program child(zxtest::ChildCommandLine("save_forever", "small"));
        REQUIRE(WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0);
        int failed = 0;
        for (int i = 0; i < zxtest::LoadSize(300, 3000); ++i) {
            CQxLiteVariantR loaded;
            failed += loaded.LoadFromFile(path.c_str(), false) == 0 && loaded.IsValueSet(L"new") ? 0 : 1;
        }
        CHECK(failed == 0);
        child.Kill();
    }
    CloseHandle(ready);
    // A reader that does not share delete holds the replacement off until it closes the file.
    {
        zxtest::FileHolder reader(path, GENERIC_READ, FILE_SHARE_READ, 300);
        REQUIRE(reader.Held());
        CHECK(old.SaveToFile(path.c_str(), true, false) == 0);
    }
    CQxLiteVariantR loaded;
    CHECK(loaded.LoadFromFile(path.c_str(), false) == 0);
    CHECK(loaded.IsValueSet(L"old"));
}

TEST_CASE("tree file: a save that cannot replace the target leaves it and no stray files") {
    TempDir dir;
    std::wstring path = dir / L"target.bin";
    zxtest::WriteFileBytes(path, "keep me");
    CQxLiteVariantR empty;
    CHECK(empty.SaveToFile(path.c_str(), false, false) == -1); // no overwrite
    REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK(empty.SaveToFile(path.c_str(), true, false) == -1);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK(zxtest::ReadFileBytes(path) == "keep me");
    CHECK(empty.SaveToFile((dir / L"missing\\t.bin").c_str(), true, false) == -1);
    CHECK(empty.SaveToFile(L"", true, false) == -1);
    int files = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir / L"*").c_str(), &data);
    do
        files += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (FindNextFileW(find, &data));
    FindClose(find);
    CHECK(files == 1);
}

TEST_CASE("reader: levels, defaults, iteration, extraction and independent copies") {
    CQxLiteVariantW writer;
    REQUIRE(writer.LevelEnd() == -1);
    REQUIRE(writer.LevelBegin(nullptr) == -1);
    writer.LevelBegin(L"Settings");
    writer.LevelBegin(L"private");
    for (const wchar_t *user : {L"alice", L"bob", L"carol"}) {
        writer.LevelBegin(user);
        writer.Set(user, L"who");
        writer.LevelEnd();
    }
    writer.Set(true, L"value-not-level");
    writer.LevelEnd();
    writer.LevelEnd();
    CQxLiteVariantR reader;
    writer.Finalize(reader);

    CHECK(reader.LevelEnd() == -1);
    CHECK(reader.LevelBegin(L"missing", nullptr) == -1);
    REQUIRE(reader.LevelBegin(L"Settings", nullptr) == 0);
    int index = -1;
    REQUIRE(reader.LevelBegin(L"private", &index) == 0);
    CHECK(index == 0);
    CHECK(reader.LevelBegin(L"value-not-level", nullptr) == -1);
    CHECK(reader.Get(L"value-not-level", false));
    CHECK(reader.Get(L"missing", true));
    CHECK(reader.Get(L"missing", L"fallback") == L"fallback");

    std::vector<std::wstring> names, whos;
    CQxLiteVariantR copy = reader; // the copy keeps its own position
    while (reader.IsNextValue()) {
        wchar_t name[4];
        REQUIRE(reader.GetCurrentName(name, 4) == 0);
        if (reader.CurrentLevelBegin(nullptr) == 0) {
            names.push_back(name);
            whos.push_back(reader.Get(L"who", L"").GetString());
            reader.LevelEnd();
        }
        reader.NextValue();
    }
    CHECK(names == std::vector<std::wstring>{L"ali", L"bob", L"car"}); // cut to the buffer
    CHECK(whos == std::vector<std::wstring>{L"alice", L"bob", L"carol"});
    wchar_t name[16];
    CHECK(reader.GetCurrentName(name, 16) == -1);
    CHECK(copy.IsNextValue());
    REQUIRE(copy.LevelBegin(L"bob", nullptr) == 0);
    CQxLiteVariantR extracted;
    REQUIRE(copy.ExtractCurrent(extracted) == 0);
    CHECK(extracted.Get(L"who", L"") == L"bob");

    CQxLiteVariantW outer;
    outer.LevelBegin(L"content");
    outer.Append(extracted);
    outer.LevelEnd();
    CQxLiteVariantR combined;
    outer.Finalize(combined);
    REQUIRE(combined.LevelBegin(L"content", nullptr) == 0);
    CHECK(combined.Get(L"who", L"") == L"bob");
}

namespace {

// A random tree built through the writer: every kind, empty names, empty levels, and chains that
// run into the depth limit (the writer refuses what would sit too deep, as the reader would).
void RandomTree(CQxLiteVariantW &w, std::mt19937 &random, int budget) {
    auto name = [&]() -> std::wstring {
        switch (random() % 4) {
        case 0:
            return L"";
        case 1:
            return L"n" + std::to_wstring(random() % 100);
        case 2:
            return std::wstring(1 + random() % 3, static_cast<wchar_t>(0xD800 + random() % 0x800));
        default:
            return L"level";
        }
    };
    for (int left = budget; left > 0; --left) {
        const std::wstring n = name();
        switch (random() % 12) {
        case 0:
            w.Set(random() % 2 == 0, n.c_str());
            break;
        case 1:
            w.SetInt(static_cast<int32_t>(random()), n.c_str());
            break;
        case 2:
            w.SetUInt64((uint64_t(random()) << 32) | random(), n.c_str());
            break;
        case 3:
            w.SetDouble(std::ldexp(static_cast<double>(random()), static_cast<int>(random() % 200) - 100),
                        n.c_str());
            break;
        case 4:
            w.Set(std::wstring(random() % 5, static_cast<wchar_t>(random() % 0x10000)).c_str(), n.c_str());
            break;
        case 5: {
            std::string bytes(random() % 9, static_cast<char>(random()));
            w.SetBinary(bytes.data(), bytes.size(), static_cast<uint32_t>(random()), n.c_str());
            break;
        }
        case 6:
        case 7:
            if (w.LevelBegin(n.c_str()) == 0) {
                RandomTree(w, random, left / 2);
                w.LevelEnd();
            }
            break;
        case 8: {
            // A chain deep enough to reach the limit from wherever it starts.
            const int depth = 100 + static_cast<int>(random() % 40);
            int opened = 0;
            while (opened < depth && w.LevelBegin(n.c_str()) == 0)
                ++opened;
            CHECK(w.GetDepth() <= gensys::kMaxDepth);
            w.SetInt(opened, L"deepest"); // refused at the bottom of a full chain
            while (opened-- > 0)
                w.LevelEnd();
            break;
        }
        default:
            w.SetUInt64(0, n.c_str());
            break;
        }
    }
}

} // namespace

TEST_CASE("tree file: whatever SaveToFile accepts, LoadFromFile loads back equal, in both forms") {
    TempDir dir;
    std::mt19937 random(2024);
    for (int round = 0; round < 60; ++round) {
        CAPTURE(round);
        CQxLiteVariantW writer;
        RandomTree(writer, random, 1 + static_cast<int>(random() % 40));
        CQxLiteVariantR tree;
        writer.Finalize(tree);
        CHECK(tree.GetDepth() <= gensys::kMaxDepth);
        for (bool textForm : {false, true}) {
            CAPTURE(textForm);
            const std::wstring path = dir / (textForm ? L"t.xml" : L"t.bin");
            REQUIRE(tree.SaveToFile(path.c_str(), true, textForm) == 0);
            CQxLiteVariantR loaded;
            REQUIRE(loaded.LoadFromFile(path.c_str(), textForm) == 0);
            // Equal trees give equal files.
            REQUIRE(loaded.SaveToFile((dir / L"again").c_str(), true, textForm) == 0);
            CHECK(zxtest::ReadFileBytes(dir / L"again") == zxtest::ReadFileBytes(path));
        }
    }
}

TEST_CASE("tree writer: nothing lands deeper than the readers take") {
    CQxLiteVariantW writer;
    while (writer.LevelBegin(L"l") == 0) {
    }
    CHECK(writer.GetDepth() == gensys::kMaxDepth);
    CHECK(writer.SetInt(1, L"too deep") == -1);
    CHECK(writer.Set(L"x", L"too deep") == -1);
    writer.LevelEnd();
    CHECK(writer.SetInt(1, L"fits") == 0);

    // A tree of depth 3 (root, level, value) appended at depth 127 would put its value at 129.
    CQxLiteVariantW small;
    small.LevelBegin(L"a");
    small.SetInt(1, L"v");
    small.LevelEnd();
    CQxLiteVariantR piece;
    small.Finalize(piece);
    CHECK(piece.GetDepth() == 3);
    CHECK(writer.Append(piece) == -1);
    writer.LevelEnd();
    CHECK(writer.Append(piece) == 0);
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    CHECK(tree.GetDepth() == gensys::kMaxDepth);
    TempDir dir;
    CHECK(tree.SaveToFile((dir / L"t.bin").c_str(), true, false) == 0);
    CQxLiteVariantR loaded;
    CHECK(loaded.LoadFromFile((dir / L"t.bin").c_str(), false) == 0);
}

#if defined(_WIN64)
TEST_CASE("tree file: a tree whose file would pass 1 GiB is not saved, and the old file stays") {
    TempDir dir;
    const std::wstring path = dir / L"big.bin";
    zxtest::WriteFileBytes(path, "old");
    std::string block(size_t(1) << 30, 'b');
    CQxLiteVariantW writer;
    REQUIRE(writer.SetBinary(block.data(), block.size(), 0, L"block") == 0);
    block = std::string();
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    CHECK(tree.SaveToFile(path.c_str(), true, false) == -1);
    CHECK(zxtest::ReadFileBytes(path) == "old");
}
#endif
