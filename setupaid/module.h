// What the window-dressing functions share: the module, the fonts, and the resource and class
// names.
#pragma once

#include <windows.h>

namespace setupaid {

constexpr int kUncheckedIcon = 101;
constexpr int kCheckedIcon = 102;
constexpr char kMessageDialog[] = "MSG_DLG";
constexpr int kMessageText = 1005;

// The library's own module: its resources and its window classes.
HINSTANCE Module();

// The signature's font (antialiased) and the link's (default quality), made once per process.
HFONT SignatureFont();
HFONT LinkFont();

} // namespace setupaid
