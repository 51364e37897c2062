// Packages made on other workstations, some of them made to do harm: each row is a package (or a
// command line) that the engine must refuse whole (-9, the store untouched) or item by item (-10),
// with a trace that names what and why.
#include "settingsxfer/tests/storefixture.h"

#include <functional>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "testsupport/channel.h"
#include "zx_gensys/core/treestream.h"
#include "zx_gensys/zx_gensys.h"

using sxtest::StoreFixture;

namespace {

using Text = gensys::Text;

Text T(const std::wstring &s) {
    return Text(s.begin(), s.end());
}

// Builds a package below its "Settings" level, node by node, names of any units included.
struct Package {
    gensys::MemorySink sink;
    gensys::TreeWriter w{sink};
    Package() { REQUIRE((w.Begin() && w.BeginLevel(u"Settings"))); }
    void Level(const std::wstring &name) { REQUIRE(w.BeginLevel(T(name))); }
    void End() { REQUIRE(w.EndLevel()); }
    void Bool(const std::wstring &name, bool v) {
        gensys::Node n;
        n.kind = gensys::NodeKind::Bool;
        n.name = T(name);
        n.boolean = v;
        REQUIRE(w.Value(n));
    }
    void String(const std::wstring &name, const std::wstring &text) {
        gensys::Node n;
        n.kind = gensys::NodeKind::Text;
        n.name = T(name);
        n.text = T(text);
        REQUIRE(w.Value(n));
    }
    void TextElement(const std::wstring &element, const std::wstring &text) {
        Level(element);
        Bool(L"useXMLstring", true);
        String(L"content", text);
        End();
    }
    void Registry(const std::wstring &xml) {
        Level(L"Registry");
        Level(L"content");
        String(L"Platform.INI", xml);
        End();
        End();
    }
    std::string Bytes() {
        uint64_t size = 0;
        REQUIRE(w.Finish(&size));
        return sink.bytes;
    }
};

std::wstring Branch(const std::wstring &items) {
    return L"<tree version=\"1\"><level name=\"Platform.INI\">" + items + L"</level></tree>";
}

enum class Op { Import, Export, Delete };

struct Row {
    const char *what;
    Op op;
    std::function<std::string(const StoreFixture &)> package; // the package's bytes (import)
    std::function<void(sx::TransferOptions &, const StoreFixture &)> options;
    int code;
    const wchar_t *trace;                            // what the trace says, once per refused item
    int traced;                                      // how many such lines
    std::function<void(const StoreFixture &)> check; // null: the store as it was
};

const std::wstring kLongName(300, L'u');

std::string UsersNamed(const std::vector<std::wstring> &names) {
    Package p;
    p.Level(L"private");
    for (const std::wstring &name : names) {
        p.Level(name);
        p.TextElement(L"Devices", L"<evil/>");
        p.Registry(Branch(L"<binary name=\"x\" tag=\"4\">01000000</binary>"));
        p.End();
    }
    p.End();
    return p.Bytes();
}

std::string UserRegistry(const std::wstring &user, const std::wstring &xml) {
    Package p;
    p.Level(L"private");
    p.Level(user);
    p.Registry(xml);
    return p.Bytes();
}

std::string Sealed(std::string payload) {
    std::string file = "QXTR" + std::string("\x01\0\0\0", 4);
    const uint32_t length = static_cast<uint32_t>(payload.size());
    const uint32_t crc =
        gensys::Crc32(reinterpret_cast<const unsigned char *>(payload.data()), payload.size());
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>(length >> (8 * i));
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>(crc >> (8 * i));
    return file + payload;
}

void ReplaceRootByFile(sx::TransferOptions &, const StoreFixture &s) {
    zxtest::RemoveTree(s.root());
    zxtest::WriteFileBytes(s.root(), "not a folder");
}

void RootStillAFile(const StoreFixture &s) {
    CHECK(zxtest::ReadFileBytes(s.root()) == "not a folder");
    DeleteFileW(s.root().c_str());
}

const std::vector<std::wstring> kHostileUsers = {L"",       L".",
                                                 L"..",     L"..\\..\\evil",
                                                 L"a/b",    L"c:d",
                                                 L"C:",     L"\\\\srv\\share",
                                                 L"CON",    L"nul.txt",
                                                 L"COM1",   L"LPT9",
                                                 L"CONIN$", L"x*y",
                                                 L"trail.", L"sp ",
                                                 L"\x01",   std::wstring(L"x\0..\\..\\windows", 15),
                                                 kLongName};

const Row kRows[] = {
    {"user names that are no plain folder names (device, drive, share, dots, a zero unit, 300 units)",
     Op::Import, [](const StoreFixture &) { return UsersNamed(kHostileUsers); }, nullptr, sx::kTransferPartly,
     L"the name is no plain folder name", static_cast<int>(kHostileUsers.size()), nullptr},
    {"one user named to climb out of the store, to its own folder (-o)", Op::Import,
     [](const StoreFixture &) { return UsersNamed({L"..\\..\\..\\windows"}); },
     [](sx::TransferOptions &o, const StoreFixture &) {
         o.allUsers = false;
         o.userName = L"..\\..\\..\\windows";
         o.useCurrentUserFolder = false;
     },
     sx::kTransferPartly, L"the name is no plain folder name", 1, nullptr},
    {"a registry node that is no XML", Op::Import,
     [](const StoreFixture &s) { return UserRegistry(s.users()[0], L"not xml at all"); }, nullptr,
     sx::kTransferPartly, L"Import: registry branch", 1, nullptr},
    {"a registry node nested deeper than a tree may be", Op::Import,
     [](const StoreFixture &s) {
         std::wstring deep;
         for (int i = 0; i < 130; ++i)
             deep = L"<level name=\"k\">" + deep + L"</level>";
         return UserRegistry(s.users()[0], Branch(deep));
     },
     nullptr, sx::kTransferPartly, L"nested deeper than a tree may be", 1, nullptr},
    {"a registry node that is a value, not a branch", Op::Import,
     [](const StoreFixture &s) {
         return UserRegistry(s.users()[0],
                             L"<tree version=\"1\"><binary name=\"x\" tag=\"4\">01000000</binary></tree>");
     },
     nullptr, sx::kTransferPartly, L"the branch is a value, not a level", 1, nullptr},
    {"registry values that do not fit their type, of unknown type, a link; the good one is written",
     Op::Import,
     [](const StoreFixture &s) {
         return UserRegistry(s.users()[0], Branch(L"<binary name=\"d1\" tag=\"4\">01</binary>"
                                                  L"<binary name=\"d9\" tag=\"4\">010203040506070809</binary>"
                                                  L"<binary name=\"q3\" tag=\"11\">010203</binary>"
                                                  L"<binary name=\"sz\" tag=\"1\">41004200</binary>"
                                                  L"<binary name=\"unknown\" tag=\"4294967295\">00</binary>"
                                                  L"<binary name=\"link\" tag=\"6\">5c0000000000</binary>"
                                                  L"<binary name=\"good\" tag=\"4\">2a000000</binary>"));
     },
     nullptr, sx::kTransferPartly, L"Import: registry item", 6,
     [](const StoreFixture &s) {
         const sxtest::Snapshot after = sxtest::Take(L"", s.users());
         const std::wstring branch = s.users()[0] + L"\\Platform.INI|";
         CHECK(after.registry.count(branch + L"good") == 1);
         for (const wchar_t *refused : {L"d1", L"d9", L"q3", L"sz", L"unknown", L"link"})
             CHECK(after.registry.count(branch + refused) == 0);
     }},
    {"a text element whose content is no text leaves the element as it was", Op::Import,
     [](const StoreFixture &) {
         Package p;
         p.Level(L"shared");
         p.Level(L"Layouts");
         p.Bool(L"useXMLstring", true);
         p.Level(L"content");
         p.End();
         p.End();
         p.Level(L"Devices");
         p.String(L"content", L"a text where a tree belongs");
         return p.Bytes();
     },
     nullptr, sx::kTransferPartly, L"Import: element", 2, nullptr},
    {"an output file inside the store, naming one of its elements", Op::Export, nullptr,
     [](sx::TransferOptions &o, const StoreFixture &s) {
         o.outputFile = (s.root() + L"\\Devices.bin").c_str();
     },
     sx::kTransferFailed, L"would be written inside the settings store", 1, nullptr},
    {"deleting a user's Registry leaves the keys beside its Platform.INI branch", Op::Delete, nullptr,
     [](sx::TransferOptions &o, const StoreFixture &s) {
         HKEY beside = zxtest::CreateKey(L"SOFTWARE\\Varnholt\\Platform\\" + s.users()[0] + L"\\Other");
         DWORD v = 7;
         zxtest::SetValue(beside, L"kept", REG_DWORD, &v, sizeof v);
         RegCloseKey(beside);
         o.elements = {L"Registry"};
         o.deletePrivate = true;
     },
     0, nullptr, 0,
     [](const StoreFixture &s) {
         CHECK_FALSE(zxtest::KeyExists(sxtest::UserKey(s.users()[0])));
         CHECK(zxtest::KeyExists(L"SOFTWARE\\Varnholt\\Platform\\" + s.users()[0] + L"\\Other"));
     }},
    {"the store's root replaced by a file: an import", Op::Import,
     [](const StoreFixture &) { return UsersNamed({L"u"}); }, ReplaceRootByFile, sx::kTransferFailed,
     L"there is no settings store folder", 1, RootStillAFile},
    {"the store's root replaced by a file: an export", Op::Export, nullptr, ReplaceRootByFile,
     sx::kTransferFailed, L"there is no settings store folder", 1, RootStillAFile},
    {"a file that is no settings tree", Op::Import,
     [](const StoreFixture &) { return std::string("PK\x03\x04 certainly no settings tree"); }, nullptr,
     sx::kTransferFailed, L"not a settings tree", 1, nullptr},
    {"a checksum that does not match", Op::Import,
     [](const StoreFixture &) {
         std::string bytes = UsersNamed({L"u"});
         bytes.back() ^= 1;
         return bytes;
     },
     nullptr, sx::kTransferFailed, L"the checksum does not match", 1, nullptr},
    {"a level that claims more children than its bytes can hold", Op::Import,
     [](const StoreFixture &) { return Sealed(std::string("\x01\0\0\0\0\xf0\xff\xff\xff", 9)); }, nullptr,
     sx::kTransferFailed, L"a count is larger than the bytes left can hold", 1, nullptr},
    {"a tree without a Settings level", Op::Import,
     [](const StoreFixture &) { return Sealed(std::string("\x01\0\0\0\0\0\0\0\0", 9)); }, nullptr,
     sx::kTransferFailed, L"it holds no \"Settings\" level", 1, nullptr},
};

int Count(const std::vector<std::string> &texts, const std::wstring &needle) {
    const std::string narrow = zxtest::Narrow(needle);
    int n = 0;
    for (const std::string &text : texts)
        n += text.find(narrow) != std::string::npos ? 1 : 0;
    return n;
}

} // namespace

TEST_CASE("hostile packages: refused whole with the store untouched, or item by item, each traced") {
    zxtest::DebugChannelReader &channel = zxtest::DebugChannel();
    for (const Row &row : kRows) {
        CAPTURE(std::string(row.what));
        StoreFixture store({sxtest::TestUser(L"host")});
        sxtest::BuildStore(store.root(), store.users());
        zxtest::TempDir out;
        sx::TransferOptions options;
        options.allUsers = true;
        options.elements = sx::AllElements();
        options.users = store.UserList();
        options.inputFile = (out / L"package.bin").c_str();
        options.outputFile = (out / L"export.bin").c_str();
        if (row.package) zxtest::WriteFileBytes(out / L"package.bin", row.package(store));
        if (row.options) row.options(options, store);
        const sxtest::Snapshot before = sxtest::Take(store.root(), store.users());
        const size_t seen = channel.TextsOf(GetCurrentProcessId()).size();
        sx::TransferReport report;
        const int code = row.op == Op::Import   ? sx::ImportSettings(options, &report)
                         : row.op == Op::Export ? sx::ExportSettings(options, &report)
                                                : sx::DeleteSettings(options, &report);
        CHECK(code == row.code);
        if (row.code == sx::kTransferPartly) CHECK(report.failedElements == row.traced);
        if (row.code == sx::kTransferFailed) CHECK(report.refusal.find(row.trace) != std::wstring::npos);
        if (row.trace) {
            CHECK(channel.WaitFor(GetCurrentProcessId(), [&](const std::vector<std::string> &texts) {
                return Count(std::vector<std::string>(texts.begin() + seen, texts.end()), row.trace) >=
                       row.traced;
            }));
        }
        if (row.check)
            row.check(store);
        else
            CHECK_MESSAGE(sxtest::Take(store.root(), store.users()) == before,
                          sxtest::Describe(sxtest::Take(store.root(), store.users())));
    }
}
