// Child scenarios: registration, dispatch and running one in a new process of the test program.
#include "testsupport/zxtest.h"

#include <cstring>
#include <map>

namespace zxtest {

namespace {

std::map<std::string, ChildFunction> &Scenarios() {
    static std::map<std::string, ChildFunction> scenarios;
    return scenarios;
}

std::string g_argument;

} // namespace

ChildRegistrar::ChildRegistrar(const char *name, ChildFunction function) {
    Scenarios()[name] = function;
}

int RunChildScenario(const char *name, const char *argument) {
    g_argument = argument ? argument : "";
    auto found = Scenarios().find(name);
    if (found == Scenarios().end()) {
        std::fprintf(stderr, "unknown child scenario %s\n", name);
        return -1;
    }
    return found->second();
}

std::wstring SelfPath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring SelfFolder() {
    std::wstring path = SelfPath();
    return path.substr(0, path.find_last_of(L"\\/"));
}

int LoadSize(int ci, int full) {
    char value[8] = "";
    GetEnvironmentVariableA("ZX_FULL_LOAD", value, sizeof value);
    return value[0] == '1' ? full : ci;
}

const std::string &ChildArgument() {
    return g_argument;
}

std::wstring ChildCommandLine(const char *scenario, const std::string &argument) {
    std::wstring line =
        L"\"" + SelfPath() + L"\" --zx-child=" + std::wstring(scenario, scenario + std::strlen(scenario));
    if (!argument.empty()) {
        // The argument's bytes are Latin-1 characters (the child reads them back in its code page).
        line += L" \"--zx-arg=";
        for (char c : argument)
            line += static_cast<wchar_t>(static_cast<unsigned char>(c));
        line += L"\"";
    }
    return line;
}

DWORD RunChild(const char *scenario, DWORD timeoutMs, const std::string &argument) {
    Program child(ChildCommandLine(scenario, argument));
    return child.WaitForExit(timeoutMs);
}

} // namespace zxtest
