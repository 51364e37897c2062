// The library's own module: its instance, and references that keep it loaded.
#pragma once

#include <windows.h>

namespace qx {

// The module that holds the library's code (the DLL, or the program it is linked into).
HINSTANCE Module();

// A reference on the library for a thread or timer that it starts: a thread ends with
// FreeLibraryAndExitThread, so that unloading never removes the code under it. Null on failure.
HMODULE ModuleReference();

} // namespace qx
