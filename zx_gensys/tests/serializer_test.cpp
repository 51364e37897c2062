// The XML text serializer and the registry serializer.
#include "testsupport/zxtest.h"
#include "zx_gensys/qx_registryxml.h"
#include "zx_gensys/zx_gensys.h"

#include <algorithm>

namespace {

struct Serializer {
    explicit Serializer(const wchar_t *name)
        : object(static_cast<IQxSerializer *>(
              CQxRTTI::CreateAndQuery(name, "IQxSerializer", {__FILE__, __LINE__}))) {
        REQUIRE(object != nullptr);
    }
    ~Serializer() { CQxRTTI::Release(object); }
    IQxSerializer *operator->() { return object; }
    IQxSerializer *object;
};

CQxStringW ToXml(const CQxVariant &v) {
    CQxStringW text;
    Serializer xml(L"CQxSerializerXMLString");
    REQUIRE(xml->Write(CQxVariant(static_cast<void *>(&text), L"string"), v) == 0);
    return text;
}

CQxVariant FromXml(CQxStringW text) {
    CQxVariant v;
    v.EnableTypeChange(true);
    Serializer xml(L"CQxSerializerXMLString");
    REQUIRE(xml->Read(v, CQxVariant(static_cast<void *>(&text), L"string")) == 0);
    return v;
}

std::string Bytes(const wchar_t *units, size_t count) {
    return std::string(reinterpret_cast<const char *>(units), count * sizeof(wchar_t));
}

// A tree with awkward names and texts, binary bytes, empty lists and a multi-string with empty entries.
CQxVariant AwkwardTree() {
    CQxListVariant inner;
    inner.Add(CQxVariant(CQxStringW(L"nul\0inside", 10), L"t1"));
    inner.Add(CQxVariant(L"ctrl \x01\x1f tab\t cr\r lf\n <>&\"'", L"name with <&> \"q\" \t\r\n"));
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    inner.Add(CQxVariant(lone, lone));
    inner.Add(CQxVariant(L"\U0001F600 pair and \uFFFD", L"emoji"));
    const wchar_t multi[] = L"one\0\0three\0";
    inner.Add(CQxVariant::FromBinary(multi, sizeof multi, 7, L"multi"));
    inner.Add(CQxVariant::FromBinary(nullptr, 0, 3, L"no bytes"));
    inner.Add(CQxVariant(CQxListVariant(), L"empty list"));
    inner.Add(CQxVariant::FromBool(true, L"b"));
    inner.Add(CQxVariant(-7, L"i"));
    inner.Add(CQxVariant(7u, L"u"));
    inner.Add(CQxVariant::FromInt64(INT64_MIN, L"i64"));
    inner.Add(CQxVariant::FromUInt64(UINT64_MAX, L"u64"));
    inner.Add(CQxVariant::FromDouble(1e-300, L"d"));
    CQxVariant unnamed;
    inner.Add(unnamed);
    CQxListVariant outer;
    outer.Add(CQxVariant(inner, L"inner"));
    outer.Add(CQxVariant(L"", L""));
    return CQxVariant(outer, L"root");
}

} // namespace

TEST_CASE("XML: every item comes back exactly") {
    CQxVariant tree = AwkwardTree();
    CQxStringW text = ToXml(tree);
    CQxVariant back = FromXml(text);
    back.SetName(L"root"); // reading fills the variant's value; its own name stays
    CHECK(ToXml(back) == text);
    const CQxVariant &inner = back[0];
    CHECK(inner[0].GetText().GetLength() == 10);
    CHECK(inner[1].GetName() == L"name with <&> \"q\" \t\r\n");
    CHECK(inner[1].GetText() == L"ctrl \x01\x1f tab\t cr\r lf\n <>&\"'");
    CHECK(inner[2].GetText().GetString()[1] == 0xD800);
    size_t size = 0;
    const void *data = inner[4].GetBinary(&size);
    const wchar_t multi[] = L"one\0\0three\0";
    CHECK(std::string(static_cast<const char *>(data), size) == Bytes(multi, sizeof multi / sizeof(wchar_t)));
    CHECK(inner[4].GetTag() == 7);
    CHECK(inner[6].GetType() == EQxVariantType::List);
    CHECK(inner[6].GetCount() == 0);
    CHECK(inner[10].GetInt() == INT64_MIN);
    CHECK(inner[12].GetDouble() == 1e-300);
    CHECK(inner[13].GetType() == EQxVariantType::Empty);
    // A pointer cannot be written as text.
    CQxStringW out;
    Serializer xml(L"CQxSerializerXMLString");
    CHECK(xml->Write(CQxVariant(static_cast<void *>(&out), L"string"),
                     CQxVariant(static_cast<void *>(&out), L"p")) == -1);
}

TEST_CASE("XML: malformed text is refused and nothing is written") {
    const CQxStringW good = ToXml(AwkwardTree());
    const std::wstring g = good.GetString();
    std::vector<std::wstring> bad = {
        L"",
        L"<tree version=\"1\"></tree>",
        L"<tree version=\"2\"><empty name=\"\"/></tree>",
        L"<tree version=\"1\"><empty name=\"\"/></tree>trailing",
        L"<tree version=\"1\"><empty name=\"\"/><empty name=\"\"/></tree>",
        L"<tree version=\"1\"><bool name=\"b\">yes</bool></tree>",
        L"<tree version=\"1\"><int32 name=\"i\">2147483648</int32></tree>",
        L"<tree version=\"1\"><uint32 name=\"i\">-1</uint32></tree>",
        L"<tree version=\"1\"><double name=\"d\">3ff</double></tree>",
        L"<tree version=\"1\"><binary name=\"b\" tag=\"1\">abc</binary></tree>",
        L"<tree version=\"1\"><binary name=\"b\">ab</binary></tree>",
        L"<tree version=\"1\"><text name=\"t\" enc=\"hex\">00</text></tree>",
        L"<tree version=\"1\"><text name=\"t\">a &bogus; b</text></tree>",
        L"<tree version=\"1\"><text name=\"t\">&#0;</text></tree>",
        L"<tree version=\"1\"><text name=\"t\">&#xD800;</text></tree>",
        L"<tree version=\"1\"><text name=\"t\">unclosed</tree>",
        L"<tree version=\"1\"><text name=\"t\" name=\"u\">x</text></tree>",
        L"<tree version=\"1\"><text>no name</text></tree>",
        L"<tree version=\"1\"><text name=\"t\" extra=\"1\">x</text></tree>",
        L"<tree version=\"1\"><level name=\"l\">text<empty name=\"\"/></level></tree>",
        L"<tree version=\"1\"><level name=\"l\"></lavel></tree>",
        L"<tree version=\"1\"><unknown name=\"u\"/></tree>",
        L"<tree version=\"1\"><text name=\"a\x01\">x</text></tree>",
    };
    std::wstring deep = L"<tree version=\"1\">";
    for (int i = 0; i < 200; ++i)
        deep += L"<level name=\"l\">";
    bad.push_back(deep);
    for (size_t cut : {size_t(1), g.size() / 3, g.size() / 2, g.size() - 9})
        bad.push_back(g.substr(0, cut));

    Serializer xml(L"CQxSerializerXMLString");
    for (const std::wstring &text : bad) {
        CAPTURE(zxtest::Narrow(text.substr(0, 120)));
        CQxStringW source(text.c_str(), static_cast<int>(text.size()));
        CQxVariant out(L"unchanged", L"keep");
        out.EnableTypeChange(true);
        CHECK(xml->Read(out, CQxVariant(static_cast<void *>(&source), L"string")) == -1);
        CHECK(out.GetText() == L"unchanged");
    }
    CQxVariant out;
    CHECK(xml->Read(out, CQxVariant(L"not a pointer", L"string")) == -1);
}

namespace {

const wchar_t kBase[] = L"SOFTWARE\\ZxGensysTest";

struct RegistryBranch {
    std::wstring path;
    RegistryBranch() { path = std::wstring(kBase) + L"\\" + std::to_wstring(GetCurrentProcessId()); }
    ~RegistryBranch() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kBase);
    }
};

void SetRaw(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size) {
    REQUIRE(zxtest::SetValue(key, name, type, data, size));
}

HKEY Create(const std::wstring &path) {
    HKEY key = zxtest::CreateKey(path);
    REQUIRE(key != nullptr);
    return key;
}

// Every value type, odd-length and unterminated strings, and nested keys.
void FillBranch(const std::wstring &path) {
    HKEY key = Create(path);
    const wchar_t sz[] = L"text \u00e9";
    SetRaw(key, L"sz", REG_SZ, sz, sizeof sz);
    SetRaw(key, L"odd sz", REG_SZ, "abc", 3);
    const wchar_t expand[] = L"%SystemRoot%\\x";
    SetRaw(key, L"expand", REG_EXPAND_SZ, expand, sizeof expand);
    const wchar_t multi[] = L"a\0\0c\0";
    SetRaw(key, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    DWORD dword = 0xDEADBEEF;
    SetRaw(key, L"dword", REG_DWORD, &dword, sizeof dword);
    unsigned long long qword = 0x0123456789ABCDEFull;
    SetRaw(key, L"qword", REG_QWORD, &qword, sizeof qword);
    SetRaw(key, L"binary", REG_BINARY, "\0\1\2", 3);
    SetRaw(key, L"none", REG_NONE, "zz", 2);
    SetRaw(key, L"custom", 1234, "q", 1);
    SetRaw(key, L"", REG_SZ, L"default", 16);
    RegCloseKey(key);
    HKEY sub = Create(path + L"\\Sub\\Deeper");
    SetRaw(sub, L"leaf", REG_DWORD, &dword, sizeof dword);
    RegCloseKey(sub);
    RegCloseKey(Create(path + L"\\EmptyKey"));
}

CQxVariant ReadBranch(const std::wstring &path) {
    Serializer registry(L"CQxSerializerRegistryNew");
    CQxVariant v;
    v.EnableTypeChange(true);
    REQUIRE(registry->Read(v, CQxVariant(path.c_str(), L"HKEY_LOCAL_MACHINE")) == 0);
    return v;
}

// The branch as sorted text lines (names compared after reading, order-free).
std::vector<std::wstring> Describe(const CQxVariant &v, const std::wstring &prefix = L"") {
    std::vector<std::wstring> lines;
    for (int i = 0; i < v.GetCount(); ++i) {
        const CQxVariant &item = v[i];
        std::wstring name = prefix + L"/" + item.GetName().GetString();
        if (item.GetType() == EQxVariantType::List) {
            lines.push_back(name + L" [key]");
            for (auto &line : Describe(item, name))
                lines.push_back(line);
        } else {
            size_t size = 0;
            const unsigned char *data = static_cast<const unsigned char *>(item.GetBinary(&size));
            std::wstring line = name + L" type " + std::to_wstring(item.GetTag()) + L":";
            for (size_t k = 0; k < size; ++k)
                line += L" " + std::to_wstring(data[k]);
            lines.push_back(line);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST_CASE("registry: a branch read and written elsewhere is the same value for value") {
    RegistryBranch branch;
    const std::wstring source = branch.path + L"\\Source";
    FillBranch(source);
    CQxVariant tree = ReadBranch(source);
    CHECK(tree.GetCount() == 12);

    // Through XML text and back, as the settings package carries it.
    CQxVariant carried = FromXml(ToXml(tree));
    Serializer registry(L"CQxSerializerRegistryNew");
    const std::wstring copy = branch.path + L"\\Copy\\";
    for (int i = 0; i < carried.GetCount(); ++i)
        REQUIRE(registry->Write(CQxVariant(copy.c_str(), L"HKEY_LOCAL_MACHINE"), CQxVariant(carried[i])) ==
                0);
    CHECK(Describe(ReadBranch(branch.path + L"\\Copy")) == Describe(tree));

    // Separators doubled or at the end name the same key.
    CHECK(Describe(ReadBranch(branch.path + L"\\\\Source\\")) == Describe(tree));

    // Streamed, the text is the serializers' text to the unit; written back from an untrusted text,
    // the two values that do not fit their type are refused and reported, the rest is the same.
    struct Units : gensys::UnitSink, gensys::RewindableUnitSource {
        gensys::Text text;
        size_t at = 0;
        bool Put(const char16_t *units, size_t count) override { return text.append(units, count), true; }
        size_t Read(char16_t *into, size_t max) override {
            const size_t n = std::min(max, text.size() - at);
            std::copy(text.begin() + at, text.begin() + at + n, into);
            at += n;
            return n;
        }
        bool Rewind() override { return at = 0, true; }
    } streamed;
    const char *why = "";
    REQUIRE(QX_RegistryToXml(source.c_str(), streamed, &why) == 0);
    const CQxStringW serialized = ToXml(tree);
    CHECK(streamed.text ==
          gensys::Text(reinterpret_cast<const char16_t *>(serialized.GetString()), serialized.GetLength()));

    struct Refusals : IQxRegistryReport {
        std::vector<std::wstring> names;
        void Refused(const wchar_t *, const wchar_t *name, const char *) override { names.push_back(name); }
    } refusals;
    CHECK(QX_XmlToRegistry(streamed, (branch.path + L"\\Strict").c_str(), &refusals, &why) == 2);
    CHECK(refusals.names == std::vector<std::wstring>{L"custom", L"odd sz"});
    std::vector<std::wstring> strict = Describe(ReadBranch(branch.path + L"\\Strict")),
                              loose = Describe(tree);
    loose.erase(std::remove_if(loose.begin(), loose.end(),
                               [](const std::wstring &line) {
                                   return line.rfind(L"/odd sz", 0) == 0 || line.rfind(L"/custom", 0) == 0;
                               }),
                loose.end());
    CHECK(strict == loose);
}

TEST_CASE("registry: a list item replaces its subkey exactly; an empty list empties it") {
    RegistryBranch branch;
    FillBranch(branch.path + L"\\Target\\User");
    Serializer registry(L"CQxSerializerRegistryNew");
    CQxListVariant content;
    content.Add(CQxVariant::FromBinary("\x05\0\0\0", 4, REG_DWORD, L"only"));
    CQxListVariant deeper;
    deeper.Add(CQxVariant::FromBinary("x", 1, REG_BINARY, L"new"));
    content.Add(CQxVariant(deeper, L"Sub"));
    const std::wstring target = branch.path + L"\\Target";
    REQUIRE(registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"),
                            CQxVariant(content, L"User")) == 0);
    std::vector<std::wstring> expected = {L"/only type 4: 5 0 0 0", L"/sub [key]", L"/sub/new type 3: 120"};
    std::vector<std::wstring> got = Describe(ReadBranch(target + L"\\User"));
    for (auto &line : got)
        for (auto &c : line)
            c = static_cast<wchar_t>(towlower(c));
    std::sort(got.begin(), got.end());
    CHECK(got == expected);

    REQUIRE(registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"),
                            CQxVariant(CQxListVariant(), L"User")) == 0);
    CHECK(ReadBranch(target + L"\\User").GetCount() == 0);

    // An empty list makes an empty key, as a branch read back needs.
    REQUIRE(registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"),
                            CQxVariant(CQxListVariant(), L"Fresh")) == 0);
    CHECK(ReadBranch(target + L"\\Fresh").GetCount() == 0);

    // Key names that would leave the target are refused.
    CHECK(registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"), CQxVariant(content, L"a\\b")) ==
          -1);
    CHECK(registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"), CQxVariant(content, L"")) == -1);
    CQxVariant out;
    CHECK(registry->Read(out, CQxVariant((branch.path + L"\\Missing").c_str(), L"HKEY_LOCAL_MACHINE")) == -1);
    CHECK(out.GetType() == EQxVariantType::Empty);
    CHECK(registry->Read(out, CQxVariant(target.c_str(), L"HKEY_CURRENT_USER")) == -1);
}

TEST_CASE("registry: one serializer writing value by value follows its target when it moves or vanishes") {
    RegistryBranch branch;
    Serializer registry(L"CQxSerializerRegistryNew");
    const std::wstring first = branch.path + L"\\First", second = branch.path + L"\\Second";
    const auto write = [&](const std::wstring &target, const wchar_t *name, DWORD value) {
        return registry->Write(CQxVariant(target.c_str(), L"HKEY_LOCAL_MACHINE"),
                               CQxVariant::FromBinary(&value, sizeof value, REG_DWORD, name));
    };
    REQUIRE(write(first, L"a", 1) == 0);
    REQUIRE(write(second, L"b", 2) == 0);
    REQUIRE(write(first, L"c", 3) == 0);
    // The key it wrote last is deleted behind its back: the next value makes it again.
    REQUIRE(RegDeleteTreeW(HKEY_LOCAL_MACHINE, first.c_str()) == ERROR_SUCCESS);
    REQUIRE(write(first, L"d", 4) == 0);
    // A value the registry cannot take fails alone; the writes after it still land.
    CHECK(registry->Write(CQxVariant(first.c_str(), L"HKEY_LOCAL_MACHINE"),
                          CQxVariant(static_cast<void *>(nullptr), L"pointer")) == -1);
    REQUIRE(write(first, L"e", 5) == 0);

    CHECK(Describe(ReadBranch(first)) ==
          std::vector<std::wstring>{L"/d type 4: 4 0 0 0", L"/e type 4: 5 0 0 0"});
    CHECK(Describe(ReadBranch(second)) == std::vector<std::wstring>{L"/b type 4: 2 0 0 0"});
}
