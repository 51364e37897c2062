// Texts made from the system's answers: an error's message and UTF-8 bytes. Header-only, so
// that the library's programs (zx_tracewatch) use the same texts.
#pragma once

#include <windows.h>

#include <string>

namespace qx {

// The system's message for an error, without its final line break and full stop, or "system
// error N" when it has none.
inline std::wstring SystemMessage(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                   nullptr);
    std::wstring message(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? L"system error " + std::to_wstring(error) : message;
}

// text as UTF-8.
inline std::string Utf8(const std::wstring &text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr,
                            nullptr);
    return bytes;
}

} // namespace qx
