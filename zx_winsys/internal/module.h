// The library's own module: its instance, and references that keep it loaded.
#pragma once

#include <windows.h>

namespace qx {

// The module that holds the library's code (the DLL, or the program it is linked into).
HINSTANCE Module();

// A reference on the library for a thread or timer that it starts: a thread ends with
// FreeLibraryAndExitThread, so that unloading never removes the code under it. Null on failure.
HMODULE ModuleReference();

// A function of a module looked up by name, as its type (null when it is not there).
template <typename F> F Symbol(HMODULE module, const char *name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name))) : nullptr;
}

} // namespace qx
