// Stack traces of assertion reports through the system's debug-help symbol engine.
#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "zx_winsys/internal/diag.h"
#include "zx_winsys/internal/report.h"

namespace {

const char kSource[] = "debugging/diagassert";
const int kMaxFrames = 512;
const int kLineSearch = 99; // bytes tried below an address without line information

HANDLE g_process = nullptr;
bool g_engineReady = false;

bool StartEngine() {
    if (g_engineReady) return true;
    SymSetOptions(SymGetOptions() | SYMOPT_LOAD_LINES);
    g_process = GetCurrentProcess();
    if (!SymInitialize(g_process, nullptr, FALSE)) {
        qx::Report(kSource, __LINE__, L"DiagAssert : Unable to initialize the symbol engine!!!\n");
        return false;
    }
    g_engineReady = true;
    return true;
}

// The modules found still the same during the walk in progress (the reporter's lock is held).
DWORD64 g_checked[64];
int g_checkedCount = 0;

// Whether the image at base is still the one the engine loaded there: a library freed and another
// loaded at the same base would otherwise be named after the first.
bool StillTheSame(DWORD64 base) {
    for (int i = 0; i < g_checkedCount; ++i)
        if (g_checked[i] == base) return true;
    IMAGEHLP_MODULE64 known = {};
    known.SizeOfStruct = sizeof known;
    MEMORY_BASIC_INFORMATION region = {};
    if (!SymGetModuleInfo64(g_process, base, &known) ||
        !VirtualQuery(reinterpret_cast<const void *>(base), &region, sizeof region) ||
        region.AllocationBase != reinterpret_cast<void *>(base) || region.State != MEM_COMMIT)
        return false;
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + static_cast<DWORD64>(dos->e_lfanew));
    char name[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(reinterpret_cast<HMODULE>(base), name, MAX_PATH);
    const bool same = dos->e_magic == IMAGE_DOS_SIGNATURE && nt->Signature == IMAGE_NT_SIGNATURE &&
                      nt->FileHeader.TimeDateStamp == known.TimeDateStamp &&
                      nt->OptionalHeader.SizeOfImage == known.ImageSize && n > 0 && n < MAX_PATH &&
                      _stricmp(name, known.LoadedImageName[0] ? known.LoadedImageName : known.ImageName) == 0;
    if (same && g_checkedCount < 64) g_checked[g_checkedCount++] = base;
    return same;
}

// Module base of an address; a module the engine does not know yet, or knows from an image that
// is gone, is loaded into it.
DWORD64 CALLBACK ModuleBase(HANDLE process, DWORD64 address) {
    if (DWORD64 base = SymGetModuleBase64(process, address)) {
        if (StillTheSame(base)) return base;
        SymUnloadModule64(process, base);
    }
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(reinterpret_cast<const void *>(address), &region, sizeof region) ||
        !region.AllocationBase)
        return 0;
    char name[MAX_PATH];
    const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    const DWORD64 base = reinterpret_cast<DWORD64>(region.AllocationBase);
    SymLoadModule64(process, nullptr, name, nullptr, base, 0);
    StillTheSame(base);
    return base;
}

// The name of the nearest exported function at or below address in the module at base, and the
// distance to it; false when the module exports none below it.
bool NearestExport(DWORD64 base, DWORD64 address, char *name, size_t size, DWORD64 *displacement) {
    const auto *image = reinterpret_cast<const unsigned char *>(base);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(image + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
    const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0) return false;
    const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(image + directory.VirtualAddress);
    const auto *names = reinterpret_cast<const DWORD *>(image + exports->AddressOfNames);
    const auto *ordinals = reinterpret_cast<const WORD *>(image + exports->AddressOfNameOrdinals);
    const auto *functions = reinterpret_cast<const DWORD *>(image + exports->AddressOfFunctions);
    const DWORD64 offset = address - base;
    const char *best = nullptr;
    DWORD64 bestDistance = 0;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const DWORD rva = functions[ordinals[i]];
        if (rva == 0 || rva > offset) continue;
        if (!best || offset - rva < bestDistance) {
            best = reinterpret_cast<const char *>(image + names[i]);
            bestDistance = offset - rva;
        }
    }
    if (!best) return false;
    _snprintf(name, size - 1, "%s", best);
    name[size - 1] = '\0';
    *displacement = bestDistance;
    return true;
}

// One entry of the trace, as described for reports: address, module, symbol, and file and line.
// bias is 1 for a return address, which is looked up one byte back, inside the call it returns
// from (the byte offsets shown stay those of the address itself); 0 for the innermost frame.
void FormatEntry(DWORD64 address, DWORD64 bias, char *entry, size_t size) {
    const DWORD64 lookup = address - bias;
    size_t used = 0;
    auto add = [&](const char *format, auto... args) {
        if (used >= size - 1) return;
        const int n = _snprintf(entry + used, size - 1 - used, format, args...);
        used = n < 0 ? size - 1 : used + static_cast<size_t>(n);
        entry[used] = '\0';
    };
    entry[0] = '\0';
#if defined(_WIN64)
    add("0x%016I64X ", address);
#else
    add("0x%08X ", static_cast<unsigned>(address));
#endif

    IMAGEHLP_MODULE64 module = {};
    module.SizeOfStruct = sizeof module;
    ModuleBase(g_process, lookup); // the engine knows the module there now, as it is
    const bool known = SymGetModuleInfo64(g_process, lookup, &module) != FALSE;
    if (known) {
        const char *slash = strchr(module.ImageName, '\\');
        add("%s: ", slash ? slash + 1 : module.ImageName);
    } else {
        add("<unknown module>: ");
    }

    alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 261] = {};
    auto *symbol = reinterpret_cast<SYMBOL_INFO *>(storage);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 260;
    DWORD64 displacement = 0;
    char exported[261];
    const char *name = nullptr;
    if (SymFromAddr(g_process, lookup, &displacement, symbol)) {
        name = symbol->Name;
        displacement += bias;
    } else if (known &&
               NearestExport(module.BaseOfImage, address, exported, sizeof exported, &displacement)) {
        name = exported; // the engine has no name, the module's export table has
    }
    if (!name) {
        add("<unknown symbol>");
        // Enough to find the place later, with the binary's own symbols.
        if (known) add("\n\t\t%s + 0x%I64X", module.ModuleName, address - module.BaseOfImage);
        add("\n");
        return;
    }
    if (displacement != 0)
        add("%s + %d bytes", name, static_cast<int>(displacement));
    else
        add("%s", name);

    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof line;
    DWORD lineDisplacement = 0;
    // A module without line information is not searched: it would only cost 100 failing look-ups.
    const int search = known && !module.LineNumbers ? 0 : kLineSearch;
    for (int back = 0; back <= search; ++back) {
        if (SymGetLineFromAddr64(g_process, lookup - static_cast<DWORD64>(back), &lineDisplacement, &line)) {
            const int distance =
                (back != 0 ? back : static_cast<int>(lineDisplacement)) + static_cast<int>(bias);
            add("\n\t\t%s, Line %d", line.FileName, static_cast<int>(line.LineNumber));
            if (distance != 0) add(" + %d bytes", distance);
            break;
        }
    }
    add("\n");
}

} // namespace

namespace qx {

void AppendStackTrace(wchar_t *report, size_t room, const void *callerReturn) {
    StartEngine(); // without the engine the walk goes on, without names
    g_checkedCount = 0;

    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    RtlCaptureContext(&context);
    STACKFRAME64 frame = {};
#if defined(_WIN64)
    const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
    frame.AddrPC.Offset = context.Rip;
    frame.AddrStack.Offset = context.Rsp;
    frame.AddrFrame.Offset = context.Rbp;
#else
    const DWORD machine = IMAGE_FILE_MACHINE_I386;
    frame.AddrPC.Offset = context.Eip;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrFrame.Offset = context.Ebp;
#endif
    frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;

    DWORD64 addresses[kMaxFrames];
    int count = 0;
    HANDLE thread = GetCurrentThread();
    const HANDLE process = GetCurrentProcess();
    while (count < kMaxFrames && StackWalk64(machine, process, thread, &frame, &context, nullptr,
                                             SymFunctionTableAccess64, ModuleBase, nullptr)) {
        if (frame.AddrPC.Offset == 0) break;
        addresses[count++] = frame.AddrPC.Offset;
    }

    // The frames of the reporter end where the assertion function returns to its caller; the
    // trace starts there. Without that frame (no such return address on the stack) it shows all.
    int first = 0;
    for (int i = 0; i < count; ++i) {
        if (addresses[i] == reinterpret_cast<DWORD64>(callerReturn)) {
            first = i;
            break;
        }
    }
    size_t used = wcslen(report);
    for (int i = first; i < count; ++i) {
        char entry[1024];
        FormatEntry(addresses[i], i == 0 ? 0 : 1, entry, sizeof entry);
        const size_t length = strlen(entry);
        if (used + length >= room) break; // an entry that does not fit ends the trace
        for (size_t k = 0; k < length; ++k)
            report[used + k] = static_cast<unsigned char>(entry[k]);
        used += length;
        report[used] = L'\0';
    }
}

} // namespace qx
