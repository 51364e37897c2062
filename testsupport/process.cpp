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

} // namespace

ChildRegistrar::ChildRegistrar(const char *name, ChildFunction function) {
    Scenarios()[name] = function;
}

int RunChildScenario(const char *name) {
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

DWORD RunChild(const char *scenario, DWORD timeoutMs) {
    std::wstring wide(scenario, scenario + std::strlen(scenario));
    Program child(L"\"" + SelfPath() + L"\" --zx-child=" + wide);
    return child.WaitForExit(timeoutMs);
}

} // namespace zxtest
