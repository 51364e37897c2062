// Shared by the entry points of our DLLs that link the C++ runtime statically: the runtime keeps
// an emergency buffer for exceptions that it never frees, so each load and unload of such a DLL
// would lose it. Call ReleaseCxxRuntime when the DLL is unloaded (not at process exit).
#pragma once

#include <new>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace zx {

inline void ReleaseCxxRuntime() {
#if defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
}

} // namespace zx
