// What the memory test takes from the system: the memory status, the committed private bytes of
// the process, and the registry value of the paging files. Tests replace them.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace qx {

struct MemorySystem {
    BOOL(WINAPI *memoryStatus)(LPMEMORYSTATUSEX);
    uint64_t (*privateBytes)(); // committed private bytes of the process; 0 when unknown
    LONG(WINAPI *openKey)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI *queryValue)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI *closeKey)(HKEY);
};

MemorySystem &MemoryQueries();

} // namespace qx
