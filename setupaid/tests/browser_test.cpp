// The browser command line, composed from every kind of registered command: the result always
// fits its block exactly, and the address goes where "%1" was.
#include "testsupport/zxtest.h"

#include <shellapi.h>

#include <string>

#include "setupaid/browser.h"

namespace {

std::string Compose(const std::string &command, DWORD type = REG_SZ,
                    const char *address = "http://a.example/") {
    char *line = setupaid::ComposeBrowserCommand(command.c_str(), type, address);
    if (line == nullptr) return "<null>";
    // The block holds exactly what was needed: command + address + a space and two quotes + 1.
    const SIZE_T block = HeapSize(GetProcessHeap(), 0, line);
    CHECK(block >= std::string(line).size() + 1);
    std::string result(line);
    HeapFree(GetProcessHeap(), 0, line);
    return result;
}

} // namespace

TEST_CASE("browser command: %1 quoted, bare, with more after it, or missing") {
    CHECK(Compose("\"b.exe\" \"%1\"") == "\"b.exe\" \"http://a.example/\"");
    CHECK(Compose("b.exe %1") == "b.exe http://a.example/");
    CHECK(Compose("b.exe -url \"%1\" -new") == "b.exe -url \"http://a.example/\" -new");
    CHECK(Compose("b.exe") == "b.exe \"http://a.example/\"");
    CHECK(Compose("") == " \"http://a.example/\"");
    // Only the first %1; a lone % is no placeholder.
    CHECK(Compose("b.exe 100% %1 %1") == "b.exe 100% http://a.example/ %1");
    CHECK(Compose("b.exe %") == "b.exe % \"http://a.example/\"");
}

TEST_CASE("browser command: an address with blanks, quotes and backslashes stays one argument") {
    const struct {
        const char *command, *address, *line;
    } cases[] = {
        {"b.exe %1", "http://a.example/a b", "b.exe \"http://a.example/a b\""},
        {"b.exe %1", "x\" --evil", "b.exe \"x\\\" --evil\""},
        {"b.exe \"%1\"", "x\" --evil", "b.exe \"x\\\" --evil\""},
        {"b.exe", "a b\\", "b.exe \"a b\\\\\""},
        {"b.exe %1", "a\\\"b", "b.exe \"a\\\\\\\"b\""},
        {"b.exe %1", "", "b.exe \"\""},
    };
    for (const auto &c : cases) {
        CAPTURE(c.address);
        const std::string line = Compose(c.command, REG_SZ, c.address);
        CHECK(line == c.line);
        // Split as a program splits its command line: the address comes back whole.
        int count = 0;
        const std::wstring wide(line.begin(), line.end());
        LPWSTR *arguments = CommandLineToArgvW(wide.c_str(), &count);
        REQUIRE(arguments != nullptr);
        CHECK(count == 2);
        CHECK(zxtest::Narrow(arguments[count - 1]) == c.address);
        LocalFree(arguments);
    }
}

TEST_CASE("browser command: expandable commands, other value types, long commands") {
    SetEnvironmentVariableA("SETUPAID_TEST_BROWSER", "C:\\Browsers\\b.exe");
    CHECK(Compose("\"%SETUPAID_TEST_BROWSER%\" \"%1\"", REG_EXPAND_SZ) ==
          "\"C:\\Browsers\\b.exe\" \"http://a.example/\"");
    // A plain string keeps its percent signs.
    CHECK(Compose("\"%SETUPAID_TEST_BROWSER%\" %1") == "\"%SETUPAID_TEST_BROWSER%\" http://a.example/");
    CHECK(Compose("b.exe %1", REG_BINARY) == "<null>");
    CHECK(Compose("b.exe %1", REG_DWORD) == "<null>");

    // A command of 1000 characters and a long address: nothing is cut and nothing overruns.
    const std::string address(5000, 'x');
    const std::string command = std::string(998, 'c') + "%1";
    CHECK(Compose(command, REG_SZ, address.c_str()) == std::string(998, 'c') + address);
    CHECK(Compose(std::string(1000, 'c'), REG_SZ, address.c_str()) ==
          std::string(1000, 'c') + " \"" + address + "\"");
    // An expansion far beyond 1000 characters.
    SetEnvironmentVariableA("SETUPAID_TEST_LONG", std::string(20000, 'L').c_str());
    CHECK(Compose("%SETUPAID_TEST_LONG% %1", REG_EXPAND_SZ) ==
          std::string(20000, 'L') + " http://a.example/");
}
