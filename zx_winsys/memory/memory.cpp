// The memory status and the test whether a document of a given size can still be loaded.
#include "zx_winsys/qx_net.h"

#include <psapi.h>

#include <atomic>
#include <cwchar>
#include <vector>

#include "zx_winsys/internal/memory.h"
#include "zx_winsys/internal/report.h"

namespace {

constexpr char kSource[] = "memory/memory";
constexpr uint64_t kMaxDocumentSize = 1000000000;
constexpr uint64_t kMegabyte = 1048576;
constexpr uint64_t kUnlimitedPagingMegabytes = 0x80000000; // a maximum of 0: no limit of its own

struct MemoryFigures {
    uint64_t totalPhysical = 0;
    uint64_t availablePhysical = 0;
    uint64_t totalVirtual = 0;
    uint64_t availableVirtual = 0;
    uint64_t totalPaging = 0;
    uint64_t availablePaging = 0;
};

// The process's commit charge. The system reports it twice, as PagefileUsage and PrivateUsage;
// Wine fills in only the first.
uint64_t ProcessPrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PagefileUsage;
}

MemoryFigures QueryFigures() {
    static_assert(sizeof(MEMORYSTATUSEX) == 64, "the extended memory status record has 64 bytes");
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    MemoryFigures figures;
    if (!qx::MemoryQueries().memoryStatus(&status)) return figures;
    figures.totalPhysical = status.ullTotalPhys;
    figures.availablePhysical = status.ullAvailPhys;
    figures.totalVirtual = status.ullTotalVirtual;
    figures.availableVirtual = status.ullAvailVirtual;
    figures.totalPaging = status.ullTotalPageFile;
    figures.availablePaging = status.ullAvailPageFile;
    return figures;
}

// Computed once per process. Two first calls at the same time compute the same value.
std::atomic<uint64_t> g_pagingCeiling{0};

// The ceiling of committed memory: the maximum size of the first paging file plus the physical
// memory, at most the address space. The value is a list of strings on Windows and one string
// under Wine; both begin with "file initial-MB maximum-MB". A paging file the system manages has
// no numbers, and then the address space is the ceiling.
uint64_t ComputePagingCeiling(const MemoryFigures &figures) {
    const qx::MemorySystem &system = qx::MemoryQueries();
    HKEY key = nullptr;
    if (system.openKey(HKEY_LOCAL_MACHINE,
                       L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management", 0, KEY_READ,
                       &key) != ERROR_SUCCESS)
        return figures.totalPhysical;

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (ERROR_SUCCESS != system.queryValue(key, L"PagingFiles", nullptr, &type, nullptr, &size))
        qx::Assert(
            L"ERROR_SUCCESS != RegQueryValueEx(hKey, n20(L\"PagingFiles\"), NULL, &dwType, NULL, &dwValSize)",
            nullptr, kSource, __LINE__);
    // Zeroed with room to spare: the text is terminated even when the stored value is not.
    std::vector<wchar_t> value(static_cast<size_t>(size) / sizeof(wchar_t) + 4, L'\0');
    DWORD room = size;
    if (ERROR_SUCCESS !=
        system.queryValue(key, L"PagingFiles", nullptr, &type, reinterpret_cast<LPBYTE>(value.data()), &room))
        qx::Assert(L"ERROR_SUCCESS != RegQueryValueEx(hKey, n20(L\"PagingFiles\"), NULL, &dwType, "
                   L"(LPBYTE)wszValue, &dwValSize)",
                   nullptr, kSource, __LINE__);
    value.back() = L'\0';

    uint64_t ceiling = figures.totalVirtual;
    unsigned int maximum = 0;
    if ((type == REG_MULTI_SZ || type == REG_SZ) && swscanf(value.data(), L"%*s %*u %u", &maximum) == 1) {
        const uint64_t megabytes = maximum == 0 ? kUnlimitedPagingMegabytes : maximum;
        ceiling = megabytes * kMegabyte + figures.totalPhysical;
        if (ceiling > figures.totalVirtual) ceiling = figures.totalVirtual;
        qx::Detail(kSource, __LINE__, L"%I64u", ceiling);
    }
    system.closeKey(key);
    return ceiling;
}

// What counts against the ceiling. A 32-bit process's address space is small enough that its
// used part is the measure; a 64-bit process reserves far more than it ever commits, so there
// the committed private bytes are.
uint64_t UsedMemory(const MemoryFigures &figures) {
#if defined(_WIN64)
    (void)figures;
    return qx::MemoryQueries().privateBytes();
#else
    return figures.totalVirtual - figures.availableVirtual;
#endif
}

} // namespace

namespace qx {

MemorySystem &MemoryQueries() {
    static MemorySystem system = {GlobalMemoryStatusEx, ProcessPrivateBytes, RegOpenKeyExW, RegQueryValueExW,
                                  RegCloseKey};
    return system;
}

} // namespace qx

extern "C" {

int QX_GetMemoryStatus(uint64_t *totalPhysical, uint64_t *availablePhysical, uint64_t *totalVirtual,
                       uint64_t *availableVirtual, uint64_t *totalPaging, uint64_t *availablePaging) {
    const MemoryFigures figures = QueryFigures();
    if (totalPhysical) *totalPhysical = figures.totalPhysical;
    if (availablePhysical) *availablePhysical = figures.availablePhysical;
    if (totalVirtual) *totalVirtual = figures.totalVirtual;
    if (availableVirtual) *availableVirtual = figures.availableVirtual;
    if (totalPaging) *totalPaging = figures.totalPaging;
    if (availablePaging) *availablePaging = figures.availablePaging;
    return 0;
}

bool QX_CheckSingleDocumentSizeOverflow(uint64_t size, uint64_t *excess, bool trace) {
    const MemoryFigures figures = QueryFigures();
    if (trace) {
        qx::Detail(kSource, __LINE__, L"Physical Memory: %I64u (%I64u)", figures.totalPhysical,
                   figures.availablePhysical);
        qx::Detail(kSource, __LINE__, L"Virtual Memory: %I64u (%I64u)", figures.totalVirtual,
                   figures.availableVirtual);
        qx::Detail(kSource, __LINE__, L"Page File: %I64u (%I64u)", figures.totalPaging,
                   figures.availablePaging);
    }
    if (size > kMaxDocumentSize || size > figures.totalPhysical / 2) {
        if (excess) *excess = 0;
        return true;
    }
    uint64_t ceiling = g_pagingCeiling.load();
    if (ceiling == 0) {
        ceiling = ComputePagingCeiling(figures);
        g_pagingCeiling.store(ceiling);
    }
    const uint64_t used = UsedMemory(figures);
    const uint64_t threshold = static_cast<uint64_t>(static_cast<double>(ceiling) * 0.75);
    if (used > threshold) {
        if (excess) *excess = used - threshold;
        return true;
    }
    return false;
}

} // extern "C"
