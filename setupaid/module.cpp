// The library's module and the fonts it hands to its windows.
#include "setupaid/module.h"

namespace {

HINSTANCE g_module = nullptr;
HFONT volatile g_signatureFont = nullptr;
HFONT volatile g_linkFont = nullptr;

HFONT MakeFont(DWORD quality) {
    return CreateFontA(14, 5, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, quality, 0x31, "Arial");
}

// The first font made is kept; a font made at the same time by another thread is deleted.
HFONT Once(HFONT volatile &slot, DWORD quality) {
    HFONT font = slot;
    if (font != nullptr) return font;
    font = MakeFont(quality);
    if (font == nullptr) return nullptr;
    HFONT before = static_cast<HFONT>(
        InterlockedCompareExchangePointer(reinterpret_cast<void *volatile *>(&slot), font, nullptr));
    if (before == nullptr) return font;
    DeleteObject(font);
    return before;
}

} // namespace

namespace setupaid {

HINSTANCE Module() {
    return g_module;
}

HFONT SignatureFont() {
    return Once(g_signatureFont, ANTIALIASED_QUALITY);
}

HFONT LinkFont() {
    return Once(g_linkFont, DEFAULT_QUALITY);
}

} // namespace setupaid

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: windows of our classes cannot outlive the code anyway.
        if (g_signatureFont) DeleteObject(g_signatureFont);
        if (g_linkFont) DeleteObject(g_linkFont);
    }
    return TRUE;
}
