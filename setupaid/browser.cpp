#include "setupaid/browser.h"

namespace {

char *Allocate(size_t bytes) {
    return static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, bytes));
}

void Free(char *block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

// A copy of command with its environment variables expanded.
char *Expand(const char *command) {
    const DWORD needed = ExpandEnvironmentStringsA(command, nullptr, 0);
    if (needed == 0) return nullptr;
    char *expanded = Allocate(needed);
    if (expanded == nullptr) return nullptr;
    const DWORD written = ExpandEnvironmentStringsA(command, expanded, needed);
    if (written == 0 || written > needed) {
        Free(expanded);
        return nullptr;
    }
    return expanded;
}

const char *FindPlaceholder(const char *text) {
    for (; text[0] != '\0'; ++text)
        if (text[0] == '%' && text[1] == '1') return text;
    return nullptr;
}

} // namespace

namespace setupaid {

char *ComposeBrowserCommand(const char *command, DWORD type, const char *address) {
    if (command == nullptr || address == nullptr || (type != REG_SZ && type != REG_EXPAND_SZ)) return nullptr;
    char *expanded = nullptr;
    if (type == REG_EXPAND_SZ) {
        expanded = Expand(command);
        if (expanded == nullptr) return nullptr;
        command = expanded;
    }
    const size_t commandLength = lstrlenA(command), addressLength = lstrlenA(address);
    // Room for the command, the address, a space and two quotes, and the terminator.
    char *result = Allocate(commandLength + addressLength + 4);
    if (result != nullptr) {
        const char *placeholder = FindPlaceholder(command);
        char *out = result;
        if (placeholder != nullptr) {
            // The address takes the place of "%1"; the quotes around it, if any, stay as they were.
            const size_t before = static_cast<size_t>(placeholder - command);
            CopyMemory(out, command, before);
            out += before;
            CopyMemory(out, address, addressLength);
            out += addressLength;
            const size_t after = commandLength - before - 2;
            CopyMemory(out, placeholder + 2, after);
            out += after;
        } else {
            CopyMemory(out, command, commandLength);
            out += commandLength;
            *out++ = ' ';
            *out++ = '"';
            CopyMemory(out, address, addressLength);
            out += addressLength;
            *out++ = '"';
        }
        *out = '\0';
    }
    Free(expanded);
    return result;
}

} // namespace setupaid
