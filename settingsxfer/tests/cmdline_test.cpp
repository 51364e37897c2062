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
