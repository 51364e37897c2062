// The command line: the parser directly, and the program as an operator runs it.
#include "settingsxfer/tests/storefixture.h"

#include "settingsxfer/core/cmdline.h"
#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/zx_gensys.h"
#include "zx_winsys/zx_winsys.h"

using sxtest::StoreFixture;

namespace {

struct Parsed {
    int result;
    sx::TransferOptions options;
    std::wstring message;
};

Parsed Parse(const std::wstring &arguments) {
    Parsed p;
    CQxStringW message;
    p.result = sx::ParseCommandLine(p.options, (L"settingsxfer.exe " + arguments).c_str(), message);
    p.message = message.GetString();
    return p;
}

std::vector<std::wstring> Elements(const sx::TransferOptions &o) {
    std::vector<std::wstring> out;
    for (const CQxStringW &e : o.elements)
        out.emplace_back(e.GetString());
    return out;
}

std::wstring ErrorFor(const wchar_t *what) {
    return std::wstring(L"Error encountred while parsing command line parameters:\nSwitch '-") + what +
           L"\n\nUsage:\n" + sx::UsageText().GetString();
}

const std::wstring kUserError = ErrorFor(L"user' must be followed by an user name.");
const std::wstring kOutError = ErrorFor(L"out' must be followed by an output filename.");
const std::wstring kInError = ErrorFor(L"in' must be followed by an input filename.");
const std::wstring kElementError = ErrorFor(L"element' must be followed by list of elements (at least one).");

std::wstring Program(const std::wstring &arguments) {
    return L"\"" + zxtest::Beside(L"settingsxfer.exe") + L"\" " + arguments;
}

} // namespace

TEST_CASE("command line: no switches keep the windows; switches fill the options") {
    for (const wchar_t *line : {L"", L"plain words only", L"-o", L"/O", L"-unknown value"}) {
        CAPTURE(zxtest::Narrow(line));
        Parsed p = Parse(line);
        CHECK(p.result == sx::kParseContinue);
        CHECK(p.options.showWindow);
    }
    CHECK_FALSE(Parse(L"-o").options.useCurrentUserFolder);

    Parsed p = Parse(L"/IN \"C:\\a b\\p.bin\" -U alice /Out x.bin -ALL");
    CHECK(p.result == sx::kParseContinue);
    CHECK_FALSE(p.options.showWindow);
    CHECK(p.options.inputFile == L"C:\\a b\\p.bin");
    CHECK(p.options.outputFile == L"x.bin");
    CHECK(p.options.userName == L"alice");
    CHECK(p.options.allUsers);

    // A later repeat wins; an unknown switch and the word after it are skipped.
    p = Parse(L"-u first -bogus word -u second -e Devices -e Objectives");
    CHECK(p.options.userName == L"second");
    CHECK(Elements(p.options) == std::vector<std::wstring>{L"Objectives"});
    CHECK(Parse(L"-originalUserName").options.useCurrentUserFolder == false);
}

TEST_CASE("command line: element words expand their groups; other words stay as they are") {
    Parsed p = Parse(L"-e Devices ND Gadgets -a");
    CHECK(p.result == sx::kParseContinue);
    CHECK(Elements(p.options) ==
          std::vector<std::wstring>{L"Devices", L"ZStack", L"NDSequence", L"ND_Complex", L"Gadgets"});
    CHECK(p.options.allUsers);
    p = Parse(L"-element General Layouts Layouts");
    CHECK(Elements(p.options).size() == 9 + 2 + 2);
    CHECK(Elements(p.options)[9] == L"Layouts");
    CHECK(Elements(p.options)[10] == L"GUILayouts");
}

TEST_CASE("command line: a value switch without its value is an error with the usage text") {
    struct Case {
        const wchar_t *line;
        const std::wstring *message;
    };
    const Case cases[] = {
        {L"-u", &kUserError},           {L"-u -a", &kUserError},     {L"/user /out x", &kUserError},
        {L"-out", &kOutError},          {L"-out -in x", &kOutError}, {L"-in", &kInError},
        {L"-in /e Devices", &kInError}, {L"-e", &kElementError},     {L"-e -a", &kElementError}};
    for (const Case &c : cases) {
        CAPTURE(zxtest::Narrow(c.line));
        Parsed p = Parse(c.line);
        CHECK(p.result == sx::kParseError);
        CHECK(p.message == *c.message);
    }
    Parsed usage = Parse(L"-a /? -u");
    CHECK(usage.result == sx::kParseUsage);
    CHECK(usage.message == sx::UsageText().GetString());
}

TEST_CASE("program: -? shows the usage box and ends with 0") {
    zxtest::Program program(Program(L"-?"));
    zxtest::Box box = zxtest::WaitForBox(program);
    REQUIRE(box.window != nullptr);
    CHECK(box.caption == L"Command line options");
    CHECK(box.text == sx::UsageText().GetString());
    zxtest::Click(box.window, IDOK);
    CHECK(program.WaitForExit() == 0);
}

TEST_CASE("program: each switch error shows the error box and ends with 0 without touching the store") {
    StoreFixture store({}, StoreFixture::kRealStore);
    struct Case {
        const wchar_t *arguments;
        const std::wstring *message;
    };
    const Case cases[] = {{L"-u", &kUserError},
                          {L"-u -a", &kUserError},
                          {L"-out", &kOutError},
                          {L"/IN", &kInError},
                          {L"-e /in x", &kElementError}};
    for (const Case &c : cases) {
        CAPTURE(zxtest::Narrow(c.arguments));
        zxtest::Program program(Program(c.arguments));
        zxtest::Box box = zxtest::WaitForBox(program);
        REQUIRE(box.window != nullptr);
        CHECK(box.caption == L"Error");
        CHECK(box.text == *c.message);
        CHECK((GetWindowLongW(box.window, GWL_STYLE) & WS_VISIBLE) != 0);
        zxtest::Click(box.window, IDOK);
        CHECK(program.WaitForExit() == 0);
    }
    CHECK_FALSE(zxtest::FileExists(store.root()));
}

TEST_CASE("program: an unreadable package ends with -9 and no message, also for /IN in capitals") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    zxtest::WriteFileBytes(dir / L"bad.bin", "not a package");
    for (const std::wstring &arguments :
         {L"/IN \"" + dir / L"bad.bin" + L"\"", L"-in \"" + dir / L"none.bin" + L"\""}) {
        zxtest::Program program(Program(arguments));
        CHECK(static_cast<int>(program.WaitForExit()) == -9);
    }
}

TEST_CASE("program: a full export and import round trip through the command line") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    const sxtest::Snapshot before = sxtest::Take(store.root(), {me});
    zxtest::TempDir dir;
    const std::wstring package = dir / L"round trip.bin";

    {
        zxtest::Program exporter(Program(L"-out \"" + package + L"\""));
        CHECK(exporter.WaitForExit() == 0);
    }
    REQUIRE(zxtest::FileExists(package));
    zxtest::RemoveTree(store.root());
    sxtest::RemoveRegistry(me);
    {
        zxtest::Program importer(Program(L"-in \"" + package + L"\""));
        CHECK(importer.WaitForExit() == 0);
    }
    CHECK(sxtest::Take(store.root(), {me}) == before);

    // Without -out the package is "settings.bin" in the working folder.
    zxtest::Program defaultName(Program(L"-e Devices"), dir.path());
    CHECK(defaultName.WaitForExit() == 0);
    CQxLiteVariantR reader;
    REQUIRE(reader.LoadFromFile((dir / L"settings.bin").c_str(), false) == 0);
    REQUIRE(reader.LevelBegin(L"Settings", nullptr) == 0);
    REQUIRE(reader.LevelBegin(L"shared", nullptr) == 0);
    CHECK(reader.IsValueSet(L"Devices"));
    CHECK_FALSE(reader.IsValueSet(L"Layouts"));
}

TEST_CASE("program: -a with -u warns and exports all users; -o without -u warns; -in with -out imports") {
    const std::wstring me = sx::CurrentUserName().GetString();
    StoreFixture store({me}, StoreFixture::kRealStore);
    sxtest::BuildStore(store.root(), {me});
    zxtest::TempDir dir;
    const std::wstring package = dir / L"p.bin";
    {
        zxtest::Program program(Program(L"-a -u somebody -e Devices ND Gadgets -out \"" + package + L"\""));
        zxtest::Box box = zxtest::WaitForBox(program);
        REQUIRE(box.window != nullptr);
        CHECK(box.caption == L"Command line options");
        CHECK(box.text == L"switch -all and -user set together, using -all");
        zxtest::Click(box.window, IDOK);
        CHECK(program.WaitForExit() == 0);
    }
    CQxLiteVariantR reader;
    REQUIRE(reader.LoadFromFile(package.c_str(), false) == 0);
    REQUIRE(reader.LevelBegin(L"Settings", nullptr) == 0);
    REQUIRE(reader.LevelBegin(L"shared", nullptr) == 0);
    CHECK(reader.GetChildCount() == 2); // Devices and ND_Complex are in the shared root
    reader.LevelEnd();
    REQUIRE(reader.LevelBegin(L"private", nullptr) == 0);
    CHECK(reader.IsValueSet(me.c_str())); // all users, not "somebody"
    CHECK_FALSE(reader.IsValueSet(L"somebody"));

    zxtest::RemoveTree(store.root() + L"\\Devices.bin");
    {
        zxtest::Program program(
            Program(L"-o -in \"" + package + L"\" -out \"" + (dir / L"unused.bin") + L"\""));
        zxtest::Box box = zxtest::WaitForBox(program);
        REQUIRE(box.window != nullptr);
        CHECK(box.text == L"User not specified. Using current.");
        zxtest::Click(box.window, IDOK);
        CHECK(program.WaitForExit() == 0);
    }
    CHECK(zxtest::FileExists(store.root() + L"\\Devices.bin")); // imported
    CHECK_FALSE(zxtest::FileExists(dir / L"unused.bin"));       // -out had no effect
}

namespace {
// The shared text elements of the real store, each of size bytes, all carrying tag.
void WriteSharedTexts(const StoreFixture &store, wchar_t tag, size_t size) {
    REQUIRE(QX_CreateDirectory(store.root().c_str(), 1, 0) == QX_OK);
    for (const CQxStringW &element : sx::AllElements())
        zxtest::WriteFileBytes(store.root() + L"\\" + element.GetString() + L".xml",
                               sxtest::TextElement(std::wstring(size / 2 - 1, tag)));
}
// Which of the tags the shared text elements carry now: one tag, or '?' for a mixture.
wchar_t SharedTag(const StoreFixture &store, const std::string &a, const std::string &b, wchar_t tagA,
                  wchar_t tagB) {
    int fromA = 0, fromB = 0, other = 0;
    for (const CQxStringW &element : sx::AllElements()) {
        const std::string bytes = zxtest::ReadFileBytes(store.root() + L"\\" + element.GetString() + L".xml");
        fromA += bytes == a ? 1 : 0;
        fromB += bytes == b ? 1 : 0;
        other += bytes != a && bytes != b ? 1 : 0;
    }
    const int all = static_cast<int>(sx::AllElements().size());
    return other ? L'!' : fromA == all ? tagA : fromB == all ? tagB : L'?';
}
} // namespace

TEST_CASE(
    "program: two imports started together leave the store as one package or the other, never blended") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const size_t size = 256 * 1024;
    const std::string a = sxtest::TextElement(std::wstring(size / 2 - 1, L'a'));
    const std::string b = sxtest::TextElement(std::wstring(size / 2 - 1, L'b'));
    WriteSharedTexts(store, L'a', size);
    CHECK(zxtest::Program(Program(L"-out \"" + dir / L"a.bin" + L"\"")).WaitForExit() == 0);
    WriteSharedTexts(store, L'b', size);
    CHECK(zxtest::Program(Program(L"-out \"" + dir / L"b.bin" + L"\"")).WaitForExit() == 0);
    for (int round = 0; round < 4; ++round) {
        CAPTURE(round);
        WriteSharedTexts(store, L'o', size);
        zxtest::Program first(Program(L"-in \"" + dir / L"a.bin" + L"\""));
        zxtest::Program second(Program(L"-in \"" + dir / L"b.bin" + L"\""));
        // One waits for the other: both end, each having imported all of its package.
        CHECK(first.WaitForExit(60000) == 0);
        CHECK(second.WaitForExit(60000) == 0);
        const wchar_t tag = SharedTag(store, a, b, L'a', L'b');
        CHECK((tag == L'a' || tag == L'b'));
    }
}

TEST_CASE("program: an import killed at any moment leaves every text element old or new, whole") {
    StoreFixture store({}, StoreFixture::kRealStore);
    zxtest::TempDir dir;
    const size_t size = 2 * 1024 * 1024;
    const std::string fresh = sxtest::TextElement(std::wstring(size / 2 - 1, L'n'));
    const std::string old = sxtest::TextElement(std::wstring(size / 2 - 1, L'o'));
    WriteSharedTexts(store, L'n', size);
    CHECK(zxtest::Program(Program(L"-out \"" + dir / L"new.bin" + L"\"")).WaitForExit() == 0);
    const int kills = zxtest::LoadSize(8, 28);
    int mixed = 0;
    for (int k = 0; k < kills; ++k) {
        CAPTURE(k);
        WriteSharedTexts(store, L'o', size);
        zxtest::Program importer(Program(L"-in \"" + dir / L"new.bin" + L"\""));
        Sleep(static_cast<DWORD>(40 + 60 * k));
        importer.Kill();
        const wchar_t tag = SharedTag(store, fresh, old, L'n', L'o');
        CHECK(tag != L'!'); // no element cut or blended
        mixed += tag == L'?' ? 1 : 0;
    }
    MESSAGE(mixed << " of " << kills << " kills came in the middle of the elements");
    // What the killed imports left beside the elements goes with the next import.
    CHECK(zxtest::Program(Program(L"-in \"" + dir / L"new.bin" + L"\"")).WaitForExit() == 0);
    CHECK(SharedTag(store, fresh, old, L'n', L'o') == L'n');
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((store.root() + L"\\*.tmp").c_str(), &data);
    CHECK(find == INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}
