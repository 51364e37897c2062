// Shared test support: doctest, unique temporary folders, child processes and file helpers.
#pragma once

#ifndef DOCTEST_CONFIG_NO_MULTITHREADING
#define DOCTEST_CONFIG_NO_MULTITHREADING
#endif
#include <doctest/doctest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "testsupport/counters.h"
#include "testsupport/program.h"
#include "testsupport/host.h"
#include "testsupport/registry.h"

namespace zxtest {

// A failed precondition of a helper: the current test fails, or, in a child scenario (where
// doctest's assertions do not exist), the child ends with 99 after saying what failed.
void Ensure(bool ok, const char *what);

// A fresh, empty folder under the system's temporary folder, removed with all it holds
// (read-only files included) when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::wstring &path() const { return m_path; }
    // path() + "\\" + name
    std::wstring operator/(const std::wstring &name) const;

private:
    std::wstring m_path;
};

// Deletes a file or a folder tree, clearing read-only attributes on the way.
void RemoveTree(const std::wstring &path);

// Writes bytes to a file (replacing it); reads a whole file. ReadFileBytes fails the
// current test when the file cannot be read (in a child scenario it gives an empty string).
void WriteFileBytes(const std::wstring &path, const std::string &bytes);
std::string ReadFileBytes(const std::wstring &path);
bool FileExists(const std::wstring &path);

// Holds path open with access and share for holdMs, then closes it from a thread of its own (the
// destructor waits for that): as another process's reader, or its rename in flight, would.
class FileHolder {
public:
    FileHolder(const std::wstring &path, DWORD access, DWORD share, DWORD holdMs);
    ~FileHolder();
    FileHolder(const FileHolder &) = delete;
    FileHolder &operator=(const FileHolder &) = delete;
    bool Held() const { return m_thread != nullptr; }

private:
    static DWORD WINAPI Release(void *self);
    HANDLE m_file;
    DWORD m_holdMs;
    HANDLE m_thread = nullptr;
};

// Runs a scenario registered with ZXTEST_CHILD in a new process of the current test
// program and returns its exit code (0 means every check in it held). argument reaches the
// scenario as ChildArgument().
DWORD RunChild(const char *scenario, DWORD timeoutMs = 120000, const std::string &argument = "");
// The command line that runs a scenario, for children that run side by side (zxtest::Program).
std::wstring ChildCommandLine(const char *scenario, const std::string &argument = "");
// Inside a child scenario: the argument it was given ("" when none).
const std::string &ChildArgument();

// The full path of the running test program and of its folder.
std::wstring SelfPath();
std::wstring SelfFolder();

using ChildFunction = int (*)();
struct ChildRegistrar {
    ChildRegistrar(const char *name, ChildFunction function);
};

// Dispatches "--zx-child=NAME" to its scenario with the argument of "--zx-arg=TEXT"; returns -1
// when the name is unknown.
int RunChildScenario(const char *name, const char *argument);

std::string Narrow(const std::wstring &text);

// The size of a load test: ci by default, full when the environment sets ZX_FULL_LOAD=1.
int LoadSize(int ci, int full);

// Polls done() until it holds or timeoutMs passes: for what another thread finishes shortly after
// a callback returns, which a loaded machine may take a while to get round to.
template <class Done> bool Eventually(Done done, DWORD timeoutMs = 10000) {
    for (DWORD waited = 0; !done(); waited += 10) {
        if (waited >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

} // namespace zxtest

// A scenario that runs alone in a child process; its result is the process's exit code.
// doctest's assertions are not available there (no test is running): use ZXTEST_EXPECT.
#define ZXTEST_CHILD(name)                                                                                   \
    static int zxtest_child_##name();                                                                        \
    static zxtest::ChildRegistrar zxtest_registrar_##name(#name, zxtest_child_##name);                       \
    static int zxtest_child_##name()

// A check inside a child scenario: prints the failed condition and ends the scenario with
// the line number as its exit code.
#define ZXTEST_EXPECT(cond)                                                                                  \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s(%d): child check failed: %s\n", __FILE__, __LINE__, #cond);             \
            std::fflush(stderr);                                                                             \
            return __LINE__;                                                                                 \
        }                                                                                                    \
    } while (0)
