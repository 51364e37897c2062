// The bytes of a resource that the system found: a resource entry gives its own size, and a
// damaged file may give one that runs past the module; such a resource is refused, not copied.
#pragma once

#include <windows.h>

namespace qx {

// The bytes and size of the found resource of module; false when it cannot be loaded or its bytes
// do not lie wholly in the module's readable memory.
bool ResourceBytes(HMODULE module, HRSRC found, const void **bytes, DWORD *size);

} // namespace qx
