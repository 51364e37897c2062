// A found resource's bytes, checked against the memory that holds the module.
#include "zx_winsys/dynlib/resourcebytes.h"

#include <cstdint>

namespace qx {

namespace {

// Protections under which a page can be read.
constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// True when [p, p + size) is committed, readable memory of one allocation (the module's mapping).
bool InOneReadableAllocation(const void *p, DWORD size) {
    const auto start = reinterpret_cast<uintptr_t>(p);
    if (size > UINTPTR_MAX - start) return false;
    const uintptr_t end = start + size;
    const void *allocation = nullptr;
    for (uintptr_t at = start; at < end;) {
        MEMORY_BASIC_INFORMATION region = {};
        if (!VirtualQuery(reinterpret_cast<const void *>(at), &region, sizeof region)) return false;
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) ||
            !(region.Protect & kReadable))
            return false;
        if (allocation == nullptr)
            allocation = region.AllocationBase;
        else if (region.AllocationBase != allocation)
            return false;
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

} // namespace

bool ResourceBytes(HMODULE module, HRSRC found, const void **bytes, DWORD *size) {
    HGLOBAL loaded = LoadResource(module, found);
    const void *data = loaded ? LockResource(loaded) : nullptr;
    const DWORD length = SizeofResource(module, found);
    if (data == nullptr || !InOneReadableAllocation(data, length)) return false;
    *bytes = data;
    *size = length;
    return true;
}

} // namespace qx
