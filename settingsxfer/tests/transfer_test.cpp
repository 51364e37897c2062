// The transfer engine: export, import and delete against a store of several users.
#include "settingsxfer/tests/storefixture.h"

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "zx_gensys/zx_gensys.h"
#include "zx_winsys/zx_winsys.h"

using sxtest::StoreFixture;
using sxtest::TestUser;

namespace {

sx::TransferOptions AllOptions(const StoreFixture &store, const std::wstring &package) {
    sx::TransferOptions o;
    o.showWindow = false;
    o.allUsers = true;
    o.allElements = true;
    o.elements = sx::AllElements();
    o.users = store.UserList();
    o.outputFile = package.c_str();
    o.inputFile = package.c_str();
    return o;
}

CQxLiteVariantR Load(const std::wstring &package) {
    CQxLiteVariantR reader;
    REQUIRE(reader.LoadFromFile(package.c_str(), false) == 0);
    return reader;
}

} // namespace

TEST_CASE("transfer: export, delete and import give back the store byte for byte and value for value") {
    StoreFixture store({TestUser(L"alice"), TestUser(L"bob"), TestUser(L"carol")});
    sxtest::BuildStore(store.root(), store.users());
    zxtest::TempDir out;
    const std::wstring package = out / L"settings.bin";
    const sxtest::Snapshot before = sxtest::Take(store.root(), store.users());
    REQUIRE(before.files.size() == 4 + 3 * 4);
    REQUIRE(before.registry.size() > 3 * 8);

    sx::TransferOptions options = AllOptions(store, package);
    REQUIRE(sx::ExportSettings(options) == 0);

    options.deleteShared = true;
    options.deletePrivate = true;
    REQUIRE(sx::DeleteSettings(options) == 0);
    const sxtest::Snapshot emptied = sxtest::Take(store.root(), store.users());
    CHECK(emptied.files.size() == 1); // the shared "Registry" file is never deleted
    CHECK(emptied.files.count(L"Registry.xml") == 1);
    CHECK(emptied.registry.empty());

    REQUIRE(sx::ImportSettings(options) == 0);
    const sxtest::Snapshot after = sxtest::Take(store.root(), store.users());
    CHECK_MESSAGE(after == before, sxtest::Describe(after));

    // The shared "Registry" element travels as the file it is.
    zxtest::RemoveTree(store.root() + L"\\Registry.xml");
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(sxtest::Take(store.root(), store.users()) == before);
}

TEST_CASE("transfer: the package tree holds shared elements, one level per user and registry nodes") {
    StoreFixture store({TestUser(L"alice"), TestUser(L"nobody")});
    sxtest::BuildStore(store.root(), {store.users()[0]});
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    options.elements = {L"Devices", L"Layouts", L"Registry", L"GUILayouts", L"Devices", L"Bogus"};
    REQUIRE(sx::ExportSettings(options) == 0);
    const std::wstring file = out / L"p.bin";
    CHECK(sxtest::PackageLevel(file, {L"Settings"}) == std::vector<std::wstring>{L"shared", L"private"});
    // Listed twice, present twice; absent elements leave no node.
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"shared"}) ==
          std::vector<std::wstring>{L"Devices", L"Layouts", L"Registry", L"Devices"});
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"private"}) == store.users());
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"private", store.users()[0].c_str()}) ==
          std::vector<std::wstring>{L"Registry", L"GUILayouts"});
    // A user without folder or registry branch still has an (empty) level.
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"private", store.users()[1].c_str()}).empty());

    CQxLiteVariantR package = Load(file);
    REQUIRE(package.LevelBegin(L"Settings", nullptr) == 0);
    REQUIRE(package.LevelBegin(L"shared", nullptr) == 0);
    REQUIRE(package.LevelBegin(L"Layouts", nullptr) == 0);
    CHECK(package.Get(L"useXMLstring", false));
    CHECK(package.Get(L"content", L"") == L"\xFEFF<layout name=\"Haupt\u00fcbersicht\"/>");
    package.LevelEnd();
    REQUIRE(package.LevelBegin(L"Devices", nullptr) == 0);
    REQUIRE(package.LevelBegin(L"content", nullptr) == 0);
    CHECK(package.IsValueSet(L"group2"));
}

TEST_CASE("transfer: elements found nowhere still give the package skeleton") {
    StoreFixture store({TestUser(L"u1"), TestUser(L"u2")});
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    REQUIRE(sx::ExportSettings(options) == 0);
    const std::wstring file = out / L"p.bin";
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"shared"}).empty());
    CHECK(sxtest::PackageLevel(file, {L"Settings", L"private"}) == store.users());
}

TEST_CASE("transfer: a package that cannot be written is an export failure") {
    StoreFixture store;
    sxtest::BuildStore(store.root(), {});
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"missing\\p.bin");
    CHECK(sx::ExportSettings(options) == sx::kTransferFailed);
    zxtest::WriteFileBytes(out / L"readonly.bin", "old");
    SetFileAttributesW((out / L"readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    options.outputFile = (out / L"readonly.bin").c_str();
    CHECK(sx::ExportSettings(options) == sx::kTransferFailed);
    CHECK(zxtest::ReadFileBytes(out / L"readonly.bin") == "old");
    options.outputFile = out.path().c_str(); // a folder
    CHECK(sx::ExportSettings(options) == sx::kTransferFailed);
    options.outputFile = L"";
    CHECK(sx::ExportSettings(options) == sx::kTransferFailed);
}

TEST_CASE("transfer: one user imported into the current user's folder and registry branch") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({TestUser(L"alice"), me});
    sxtest::BuildStore(store.root(), {store.users()[0]});
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    options.allUsers = false;
    options.userName = store.users()[0].c_str();
    REQUIRE(sx::ExportSettings(options) == 0);

    options.useCurrentUserFolder = true;
    REQUIRE(sx::ImportSettings(options) == 0);
    const std::wstring mine = store.Folder(me);
    CHECK(zxtest::ReadFileBytes(mine + L"\\GUILayouts.xml") ==
          zxtest::ReadFileBytes(store.Folder(store.users()[0]) + L"\\GUILayouts.xml"));
    CHECK(zxtest::ReadFileBytes(mine + L"\\Objectives.bin") ==
          zxtest::ReadFileBytes(store.Folder(store.users()[0]) + L"\\Objectives.bin"));
    sxtest::Snapshot alice = sxtest::Take(L"", {store.users()[0]});
    sxtest::Snapshot current = sxtest::Take(L"", {me});
    REQUIRE(current.registry.size() == alice.registry.size());
    auto a = alice.registry.begin();
    for (auto c = current.registry.begin(); c != current.registry.end(); ++c, ++a)
        CHECK(c->second == a->second);

    // With -o semantics the named user's own folder is the target.
    zxtest::RemoveTree(store.Folder(store.users()[0]));
    options.useCurrentUserFolder = false;
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(zxtest::FileExists(store.Folder(store.users()[0]) + L"\\GUILayouts.xml"));

    // A name the package lacks falls back to the current user's node, which it lacks too: nothing of
    // what was asked for is there, and the result says so.
    options.userName = L"zx-not-in-package";
    CHECK(sx::ImportSettings(options) == sx::kTransferPartly);
    CHECK_FALSE(zxtest::FileExists(store.Folder(L"zx-not-in-package")));
}

TEST_CASE("transfer: user names from a package that would leave the store are skipped") {
    StoreFixture store({TestUser(L"ok")});
    zxtest::TempDir out;
    const std::vector<std::wstring> hostile = {L"",    L".",       L"..",  L"..\\..\\evil", L"a/b", L"c:d",
                                               L"CON", L"nul.txt", L"x*y", L"trail.",       L"sp ", L"\x01"};
    CQxLiteVariantW w;
    w.LevelBegin(L"Settings");
    w.LevelBegin(L"private");
    for (const std::wstring &name : hostile) {
        w.LevelBegin(name.c_str());
        sxtest::AddTextElement(w, L"Devices", L"<evil/>");
        w.LevelBegin(L"Registry");
        w.LevelBegin(L"content");
        w.Set(L"<tree version=\"1\"><level name=\"\"><binary name=\"x\" "
              L"tag=\"4\">01000000</binary></level></tree>",
              L"Platform.INI");
        w.LevelEnd();
        w.LevelEnd();
        w.LevelEnd();
    }
    w.LevelBegin(store.users()[0].c_str());
    sxtest::AddTextElement(w, L"Devices", L"<fine/>");
    w.LevelEnd();
    w.LevelEnd();
    w.LevelEnd();
    sxtest::SaveTree(w, out / L"hostile.bin");

    const sxtest::Snapshot outside = sxtest::Take(store.root() + L"\\..", {});
    sx::TransferOptions options = AllOptions(store, out / L"hostile.bin");
    sx::TransferReport report;
    REQUIRE(sx::ImportSettings(options, &report) == sx::kTransferPartly);
    CHECK(report.failedElements == static_cast<int>(hostile.size())); // each refused user counts
    sxtest::Snapshot written = sxtest::Take(store.root(), {});
    INFO(sxtest::Describe(written));
    REQUIRE(written.files.size() == 1);
    CHECK(written.files.begin()->first == store.users()[0] + L"\\Devices.xml");
    CHECK(sxtest::Take(store.root() + L"\\..", {}).files.size() == outside.files.size() + 1);
    CHECK_FALSE(zxtest::KeyExists(L"SOFTWARE\\Varnholt\\Platform\\..\\..\\evil"));
    CHECK_FALSE(zxtest::KeyExists(L"SOFTWARE\\Varnholt\\Platform\\Platform.INI"));
    CHECK_FALSE(zxtest::KeyExists(L"SOFTWARE\\Varnholt\\evil"));

    // The one-user path too, and command-line element names.
    options.allUsers = false;
    options.useCurrentUserFolder = false;
    options.userName = L"..";
    CHECK(sx::ImportSettings(options) == sx::kTransferPartly);
    options.userName = store.users()[0].c_str();
    options.elements = {L"..\\Devices"};
    CHECK(sx::ImportSettings(options) == sx::kTransferPartly);
    CHECK(sxtest::Take(store.root() + L"\\..", {}).files.size() == outside.files.size() + 1);
}

TEST_CASE("transfer: truncated and foreign packages are refused and nothing is written") {
    StoreFixture store({TestUser(L"alice")});
    sxtest::BuildStore(store.root(), store.users());
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    REQUIRE(sx::ExportSettings(options) == 0);
    const std::string good = zxtest::ReadFileBytes(out / L"p.bin");
    const sxtest::Snapshot before = sxtest::Take(store.root(), store.users());

    zxtest::WriteFileBytes(out / L"cut.bin", good.substr(0, good.size() / 2));
    zxtest::WriteFileBytes(out / L"foreign.bin", "PK\x03\x04 certainly not a settings tree");
    sxtest::WriteTreeWithoutSettings(out / L"nosettings.bin");
    for (const wchar_t *name : {L"cut.bin", L"foreign.bin", L"nosettings.bin", L"absent.bin"}) {
        CAPTURE(zxtest::Narrow(name));
        options.inputFile = (out / name).c_str();
        CHECK(sx::ImportSettings(options) == sx::kTransferFailed);
    }
    CHECK(sxtest::Take(store.root(), store.users()) == before);
}

TEST_CASE("transfer: text elements keep their units; odd bytes and zero units end them") {
    StoreFixture store;
    REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
    zxtest::TempDir out;
    const std::string odd = sxtest::TextElement(L"abc") + "Z";
    const std::string zero = sxtest::TextElement(std::wstring(L"before\0after", 12));
    zxtest::WriteFileBytes(store.root() + L"\\Kernels.xml", odd);
    zxtest::WriteFileBytes(store.root() + L"\\Objectives.xml", zero);
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    {
        // The platform has just replaced one of them: its rename still holds the file.
        zxtest::FileHolder rename(store.root() + L"\\Kernels.xml", DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 300);
        REQUIRE(rename.Held());
        REQUIRE(sx::ExportSettings(options) == 0);
    }
    zxtest::RemoveTree(store.root() + L"\\Kernels.xml");
    zxtest::RemoveTree(store.root() + L"\\Objectives.xml");
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(zxtest::ReadFileBytes(store.root() + L"\\Kernels.xml") == odd.substr(0, odd.size() - 1));
    CHECK(zxtest::ReadFileBytes(store.root() + L"\\Objectives.xml") == sxtest::TextElement(L"before"));
}

TEST_CASE("transfer: the tree form wins on export; import writes only the form it carries") {
    StoreFixture store;
    REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
    sxtest::WriteTreeElement(store.root() + L"\\Devices.bin", 5);
    zxtest::WriteFileBytes(store.root() + L"\\Devices.xml", sxtest::TextElement(L"<ignored/>"));
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    options.elements = {L"Devices"};
    REQUIRE(sx::ExportSettings(options) == 0);
    CQxLiteVariantR package = Load(out / L"p.bin");
    REQUIRE(package.LevelBegin(L"Settings", nullptr) == 0);
    REQUIRE(package.LevelBegin(L"shared", nullptr) == 0);
    REQUIRE(package.LevelBegin(L"Devices", nullptr) == 0);
    CHECK_FALSE(package.Get(L"useXMLstring", false));

    // A text element imported where the tree form exists leaves the tree form in force.
    const std::string tree = zxtest::ReadFileBytes(store.root() + L"\\Devices.bin");
    zxtest::RemoveTree(store.root() + L"\\Devices.bin");
    zxtest::WriteFileBytes(store.root() + L"\\Layouts.bin", tree);
    options.elements = {L"Layouts"};
    REQUIRE(sx::ExportSettings(options) == 0); // tree form of Layouts
    zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml", sxtest::TextElement(L"<text/>"));
    zxtest::RemoveTree(store.root() + L"\\Layouts.bin");
    options.outputFile = (out / L"text.bin").c_str();
    REQUIRE(sx::ExportSettings(options) == 0); // text form of Layouts
    sxtest::WriteTreeElement(store.root() + L"\\Layouts.bin", 9);
    const std::string keptTree = zxtest::ReadFileBytes(store.root() + L"\\Layouts.bin");
    options.inputFile = (out / L"text.bin").c_str();
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(zxtest::ReadFileBytes(store.root() + L"\\Layouts.bin") == keptTree);
    CHECK(sx::FindElement(store.root().c_str(), L"Layouts") == sx::ElementForm::Tree);
}

TEST_CASE("transfer: an element node without content imports as an empty tree") {
    StoreFixture store;
    zxtest::TempDir out;
    CQxLiteVariantW w;
    w.LevelBegin(L"Settings");
    w.LevelBegin(L"shared");
    w.LevelBegin(L"Kernels");
    w.LevelEnd();
    w.LevelEnd();
    w.LevelEnd();
    sxtest::SaveTree(w, out / L"p.bin");
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    REQUIRE(sx::ImportSettings(options) == 0);
    CQxLiteVariantR element;
    REQUIRE(element.LoadFromFile((store.root() + L"\\Kernels.bin").c_str(), false) == 0);
    CHECK(element.GetChildCount() == 0);
}

TEST_CASE(
    "transfer: delete removes both forms and a user's registry branch, keeps the shared registry file") {
    StoreFixture store({TestUser(L"alice"), TestUser(L"bob")});
    sxtest::BuildStore(store.root(), store.users());
    const std::wstring alice = store.users()[0], bob = store.users()[1];
    zxtest::WriteFileBytes(store.Folder(alice) + L"\\Objectives.xml", "x");
    sx::TransferOptions options = AllOptions(store, L"");
    options.allUsers = false;
    options.userName = alice.c_str();
    options.deletePrivate = true;
    options.elements = sx::GroupMembers(sx::Group::Objectives);
    REQUIRE(sx::DeleteSettings(options) == 0);
    CHECK(sx::FindElement(store.Folder(alice).c_str(), L"Objectives") == sx::ElementForm::None);
    CHECK(sx::FindElement(store.Folder(bob).c_str(), L"Objectives") == sx::ElementForm::Tree);
    CHECK(zxtest::KeyExists(sxtest::UserKey(alice)));

    options.elements = sx::GroupMembers(sx::Group::GeneralSettings);
    options.deleteShared = true;
    REQUIRE(sx::DeleteSettings(options) == 0);
    CHECK_FALSE(zxtest::KeyExists(sxtest::UserKey(alice)));
    CHECK(zxtest::KeyExists(sxtest::UserKey(bob)));
    CHECK(zxtest::FileExists(store.root() + L"\\Registry.xml"));

    // An empty or unusable user name deletes nothing and reports the failure.
    const sxtest::Snapshot before = sxtest::Take(store.root(), store.users());
    options.elements = sx::AllElements();
    options.deleteShared = false;
    for (const wchar_t *name : {L"", L"..", L"a\\b"}) {
        options.userName = name;
        CHECK(sx::DeleteSettings(options) == sx::kTransferFailed);
    }
    CHECK(sxtest::Take(store.root(), store.users()) == before);
}

TEST_CASE("transfer: a registry branch nested as deep as a tree may be goes out and comes back") {
    StoreFixture store({TestUser(L"deep")});
    const std::wstring user = store.users()[0];
    REQUIRE(QX_CreateDirectory(store.Folder(user).c_str(), 1, 0) == QX_OK);
    // The user's key is the branch's root, at depth 1: 127 keys below it reach depth 128, and a
    // value sits in the key at depth 127.
    HKEY key = zxtest::CreateKey(sxtest::UserKey(user));
    for (int depth = 2; depth <= 128; ++depth) {
        HKEY sub = nullptr;
        REQUIRE(RegCreateKeyExW(key, (L"k" + std::to_wstring(depth)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &sub, nullptr) == ERROR_SUCCESS);
        if (depth == 127) {
            DWORD v = 127;
            RegSetValueExW(sub, L"at127", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
        }
        RegCloseKey(key);
        key = sub;
    }
    RegCloseKey(key);
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    options.elements = {L"Registry"};
    const sxtest::Snapshot before = sxtest::Take(L"", store.users());
    REQUIRE(before.registry.size() == 129); // the branch root, 127 keys below it and one value
    REQUIRE(sx::ExportSettings(options) == 0);
    sxtest::RemoveRegistry(user);
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(sxtest::Take(L"", store.users()) == before);
    std::wstring deepest = sxtest::UserKey(user);
    for (int depth = 2; depth <= 128; ++depth)
        deepest += L"\\k" + std::to_wstring(depth);
    CHECK(zxtest::KeyExists(deepest));
}

TEST_CASE("transfer: an element tree too deep for a package is left out; the package loads") {
    StoreFixture store;
    REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
    // Shared elements sit 4 levels below the package's root (Settings, shared, element, content):
    // a tree of depth 124 fits exactly, one of 125 would reach 129.
    for (const auto &element : {std::make_pair(L"Devices", 124), std::make_pair(L"Kernels", 125)}) {
        CQxLiteVariantW w;
        for (int depth = 2; depth < element.second; ++depth)
            REQUIRE(w.LevelBegin(L"l") == 0);
        REQUIRE(w.SetInt(element.second, L"depth") == 0);
        sxtest::SaveTree(w, store.root() + L"\\" + element.first + L".bin");
    }
    zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml", sxtest::TextElement(L"<ok/>"));
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    REQUIRE(sx::ExportSettings(options) == sx::kTransferPartly);
    CQxLiteVariantR package = Load(out / L"p.bin");
    CHECK(package.GetDepth() == 128);
    CHECK(sxtest::PackageLevel(out / L"p.bin", {L"Settings", L"shared"}) ==
          std::vector<std::wstring>{L"Layouts", L"Devices"});
}

TEST_CASE("transfer: import replaces an existing, different text element entirely") {
    StoreFixture store;
    REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
    const std::string exported = sxtest::TextElement(L"<short/>");
    zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml", exported);
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    options.elements = {L"Layouts"};
    REQUIRE(sx::ExportSettings(options) == 0);
    zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml",
                           sxtest::TextElement(L"<a much longer layout that was changed since/>"));
    REQUIRE(sx::ImportSettings(options) == 0);
    CHECK(zxtest::ReadFileBytes(store.root() + L"\\Layouts.xml") == exported);
}

namespace {
// A store of text and tree elements exported to a package, then changed, so that an import
// would write every element anew.
struct ChangedStore {
    StoreFixture store;
    zxtest::TempDir out;
    sx::TransferOptions options;
    ChangedStore() : options(AllOptions(store, out / L"p.bin")) {
        REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
        zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml", sxtest::TextElement(L"<exported/>"));
        sxtest::WriteTreeElement(store.root() + L"\\Devices.bin", 1);
        zxtest::WriteFileBytes(store.root() + L"\\Objectives.xml", sxtest::TextElement(L"<objectives/>"));
        options.elements = {L"Layouts", L"Devices", L"Objectives"};
        REQUIRE(sx::ExportSettings(options) == 0);
        zxtest::WriteFileBytes(store.root() + L"\\Layouts.xml", sxtest::TextElement(L"<changed since/>"));
        sxtest::WriteTreeElement(store.root() + L"\\Devices.bin", 2);
        zxtest::WriteFileBytes(store.root() + L"\\Objectives.xml", sxtest::TextElement(L"<changed too/>"));
    }
    std::wstring Path(const wchar_t *name) const { return store.root() + L"\\" + name; }
};
} // namespace

TEST_CASE("transfer faults: elements that cannot be written are reported, traced, and the others imported") {
    const struct {
        const char *what;
        const wchar_t *blocked; // the element file that cannot be written
        bool readOnly;          // made read-only, else held open without sharing
    } cases[] = {{"read-only text element", L"Layouts.xml", true},
                 {"read-only tree element", L"Devices.bin", true},
                 {"locked text element", L"Layouts.xml", false},
                 {"locked tree element", L"Devices.bin", false}};
    for (const auto &c : cases) {
        CAPTURE(c.what);
        ChangedStore changed;
        const std::wstring blocked = changed.Path(c.blocked);
        const std::string kept = zxtest::ReadFileBytes(blocked);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.readOnly)
            SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_READONLY);
        else
            holder = CreateFileW(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        sx::TransferReport report;
        CHECK(sx::ImportSettings(changed.options, &report) == sx::kTransferPartly);
        CHECK(report.failedElements == 1);
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
        CHECK(zxtest::ReadFileBytes(blocked) == kept);
        CHECK((GetFileAttributesW(blocked.c_str()) & FILE_ATTRIBUTE_READONLY) ==
              (c.readOnly ? FILE_ATTRIBUTE_READONLY : 0u));
        SetFileAttributesW(blocked.c_str(), FILE_ATTRIBUTE_NORMAL);
        // The element beside it came in.
        CHECK(zxtest::ReadFileBytes(changed.Path(L"Objectives.xml")) ==
              sxtest::TextElement(L"<objectives/>"));
    }
}

TEST_CASE("transfer faults: a private folder or a shared root that is a file, and delete of a held element") {
    const std::wstring user = TestUser(L"filed");
    StoreFixture store({user});
    sxtest::BuildStore(store.root(), {user});
    zxtest::TempDir out;
    sx::TransferOptions options = AllOptions(store, out / L"p.bin");
    REQUIRE(sx::ExportSettings(options) == 0);
    zxtest::RemoveTree(store.Folder(user));
    zxtest::WriteFileBytes(store.Folder(user), "a file where the folder belongs");
    sx::TransferReport report;
    CHECK(sx::ImportSettings(options, &report) == sx::kTransferPartly);
    CHECK(report.failedElements > 0);
    CHECK(zxtest::ReadFileBytes(store.Folder(user)) == "a file where the folder belongs");
    zxtest::RemoveTree(store.Folder(user));

    // Delete: an element that another program holds open stays, and says so.
    sxtest::BuildStore(store.root(), {user});
    const std::wstring held = store.root() + L"\\Devices.bin";
    HANDLE holder =
        CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    options.deleteShared = true;
    CHECK(sx::DeleteSettings(options, &report) == sx::kTransferPartly);
    CHECK(report.failedElements == 1);
    CloseHandle(holder);
    CHECK(zxtest::FileExists(held));
    CHECK(sx::DeleteSettings(options, &report) == 0);
    CHECK_FALSE(zxtest::FileExists(held));
}

TEST_CASE("transfer faults: temporary files that killed transfers left never block, and go") {
    ChangedStore changed;
    // Leftovers of earlier runs: the names they had and the names of today, some of them hours
    // old, one of a name that a new save could pick again.
    const std::wstring leftovers[] = {L"Devices.bin.1c-1.tmp", L"Layouts.xml.1c.tmp",
                                      L"Objectives.xml.2a-3-5f.tmp"};
    FILETIME old = {};
    SYSTEMTIME hoursAgo;
    GetSystemTime(&hoursAgo);
    hoursAgo.wHour = static_cast<WORD>(hoursAgo.wHour >= 3 ? hoursAgo.wHour - 3 : 0);
    SystemTimeToFileTime(&hoursAgo, &old);
    for (const std::wstring &name : leftovers) {
        zxtest::WriteFileBytes(changed.Path(name.c_str()), "left behind");
        HANDLE file = CreateFileW(changed.Path(name.c_str()).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, nullptr, &old);
        CloseHandle(file);
    }
    // One was left read-only (a copied folder keeps the attribute): it goes all the same.
    SetFileAttributesW(changed.Path(leftovers[2].c_str()).c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring foreign = changed.Path(L"notes.txt.1c.tmp"); // not of our naming: stays
    zxtest::WriteFileBytes(foreign, "somebody's");
    CHECK(sx::ImportSettings(changed.options) == 0);
    for (const std::wstring &name : leftovers)
        CHECK_FALSE(zxtest::FileExists(changed.Path(name.c_str())));
    CHECK(zxtest::FileExists(foreign));
    CHECK(zxtest::ReadFileBytes(changed.Path(L"Layouts.xml")) == sxtest::TextElement(L"<exported/>"));

    // Beside a package: the package's own leftovers go when it is written again.
    const std::wstring packageLeftover = changed.out / L"p.bin.1c-1.tmp";
    zxtest::WriteFileBytes(packageLeftover, std::string(4096, 'p'));
    HANDLE file =
        CreateFileW(packageLeftover.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
    CHECK(sx::ExportSettings(changed.options) == 0);
    CHECK_FALSE(zxtest::FileExists(packageLeftover));
}
