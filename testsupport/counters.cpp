// Counters of a process's handles, threads, memory, GDI objects and TLS slots.
#include "testsupport/counters.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace zxtest {

namespace {

// The extended handle list of NtQuerySystemInformation (class 64).
struct HandleEntry {
    void *object;
    ULONG_PTR process;
    ULONG_PTR handle;
    ULONG access;
    USHORT backTrace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
};
struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI *)(ULONG, void *, ULONG, ULONG *);
constexpr ULONG kExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// One entry of the GDI handle table that the process environment block points to; the layout is
// the same in both builds under Wine and in 64-bit Windows.
struct GdiEntry {
    unsigned long long object;
    USHORT process;
    USHORT count;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    unsigned long long user;
};
constexpr int kGdiEntries = 0x10000;

const GdiEntry *GdiTable() {
    // The environment block's GdiSharedHandleTable field.
    using QueryProcess = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0)
        return nullptr;
    const auto *peb = reinterpret_cast<const BYTE *>(basic.PebBaseAddress);
    return *reinterpret_cast<GdiEntry *const *>(peb + (sizeof(void *) == 8 ? 0xF8 : 0x94));
}

// Entries in use of this process; Wine's table is the process's own and names no process (0),
// as Windows does for stock objects.
long CountGdiEntries(const GdiEntry *table) {
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    long count = 0;
    for (int i = 0; i < kGdiEntries; ++i)
        count += table[i].type != 0 && (table[i].process == self || table[i].process == 0) ? 1 : 0;
    return count;
}

} // namespace

long HandleCount() {
    static const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    std::vector<BYTE> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status =
            query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(needed > buffer.size() ? needed + 65536 : buffer.size() * 2);
            continue;
        }
        if (status < 0) return -1;
        break;
    }
    const auto *list = reinterpret_cast<const HandleList *>(buffer.data());
    const ULONG_PTR self = GetCurrentProcessId();
    long count = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i)
        count += list->entries[i].process == self ? 1 : 0;
    return count;
}

long ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    long count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                              sizeof counters))
        return -1;
    // Wine fills only PagefileUsage, the same commit charge under its older name.
    return static_cast<long long>(counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage);
}

long GdiObjectCount() {
    // Trusted only when ten brushes made here show in the count.
    static const GdiEntry *table = []() -> const GdiEntry * {
        const GdiEntry *candidate = GdiTable();
        MEMORY_BASIC_INFORMATION info = {};
        if (candidate == nullptr || VirtualQuery(candidate, &info, sizeof info) == 0 ||
            info.State != MEM_COMMIT ||
            reinterpret_cast<const BYTE *>(info.BaseAddress) + info.RegionSize <
                reinterpret_cast<const BYTE *>(candidate + kGdiEntries))
            return nullptr;
        const long before = CountGdiEntries(candidate);
        HBRUSH brushes[10];
        for (HBRUSH &b : brushes)
            b = CreateSolidBrush(RGB(1, 2, 3));
        const long during = CountGdiEntries(candidate);
        for (HBRUSH b : brushes)
            DeleteObject(b);
        return during - before == 10 && CountGdiEntries(candidate) == before ? candidate : nullptr;
    }();
    return table ? CountGdiEntries(table) : -1;
}

long FreeTlsSlots() {
    std::vector<DWORD> slots;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        slots.push_back(slot);
    for (DWORD slot : slots)
        TlsFree(slot);
    return static_cast<long>(slots.size());
}

bool CanCreateGdiObjects() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    const bool made = screen != nullptr && dc != nullptr && bitmap != nullptr && list != nullptr;
    if (list) ImageList_Destroy(list);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    if (screen) ReleaseDC(nullptr, screen);
    return made;
}

long SettledAt(long (*counter)(), long limit, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    long value = counter();
    while (value > limit && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        value = counter();
    }
    return value;
}

} // namespace zxtest
