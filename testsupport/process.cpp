// Child processes for tests: scenarios of the running test program and other programs.
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

HANDLE StartProcess(const std::wstring &commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

ProcessResult RunProcess(const std::wstring &commandLine, DWORD timeoutMs) {
    ProcessResult result;
    HANDLE process = StartProcess(commandLine);
    if (!process) return result;
    result.started = true;
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, INFINITE);
        result.timedOut = true;
    }
    GetExitCodeProcess(process, &result.exitCode);
    CloseHandle(process);
    return result;
}

DWORD RunChild(const char *scenario, DWORD timeoutMs) {
    std::wstring wide(scenario, scenario + std::strlen(scenario));
    ProcessResult result = RunProcess(L"\"" + SelfPath() + L"\" --zx-child=" + wide, timeoutMs);
    REQUIRE_MESSAGE(result.started, scenario);
    REQUIRE_MESSAGE(!result.timedOut, scenario);
    return result.exitCode;
}

} // namespace zxtest
