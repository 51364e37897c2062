// Loading and unloading libraries, their symbols, the platform's library names and module paths.
#include <windows.h>

#include <string>

#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_dynlib.h"

namespace {

const char kSource[] = "dynlib/dynlib";

} // namespace

extern "C" {

__qx_hmodule QX_LoadLibrary(const wchar_t *path) {
    if (!path || !*path) {
        qx::Assert(L"filename==NULL || *filename==0", L"QX_LoadLibrary: Library filename must not be empty.",
                   kSource, 13);
        return nullptr;
    }
    std::wstring system(path);
    for (wchar_t &c : system)
        if (c == L'/') c = L'\\';
    HMODULE module = LoadLibraryW(system.c_str());
    qx::Detail(kSource, module ? 26 : 28,
               module ? L"QX_LoadLibrary(\"%s\") : OK" : L"QX_LoadLibrary(\"%s\") : Failed", path);
    return module;
}

int QX_UnloadLibrary(__qx_hmodule lib) {
    if (!lib) {
        qx::Assert(L"lib==NULL", L"QX_UnloadLibrary: Wrong library handle.", kSource, 41);
        return QX_ERR_INVALID_ARG;
    }
    return FreeLibrary(static_cast<HMODULE>(lib)) ? QX_OK : QX_ERR_SYSTEM;
}

void *QX_GetSymbol(__qx_hmodule lib, const char *name) {
    if (!lib) {
        qx::Assert(L"lib==NULL", L"QX_GetSymbol: Wrong library handle.", kSource, 56);
        return nullptr;
    }
    // A value below 65,536 is an ordinal, which the system takes in place of a name.
    const bool ordinal = reinterpret_cast<uintptr_t>(name) < 0x10000 && name != nullptr;
    if (!name || (!ordinal && !*name)) {
        qx::Assert(L"name==NULL || *name==0", L"QX_GetSymbol: Invalid symbol name.", kSource, 60);
        return nullptr;
    }
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(lib), name));
}

const wchar_t *QX_GetDllExt(void) {
    return L".dll";
}

const wchar_t *QX_GetDllPref(void) {
    return L"";
}

int QX_GetModuleFileName(__qx_hmodule module, wchar_t *buffer, int length) {
    if (!buffer || length <= 0) return QX_ERR_SYSTEM;
    // The system leaves a cut path without its terminator on some versions: terminate it here.
    const DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), buffer, static_cast<DWORD>(length));
    if (n == 0) {
        buffer[0] = L'\0';
        return QX_ERR_SYSTEM;
    }
    buffer[n < static_cast<DWORD>(length) ? n : static_cast<DWORD>(length) - 1] = L'\0';
    return QX_OK;
}

} // extern "C"
