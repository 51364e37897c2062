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

// Writes address as one argument of a command line (the rules by which programs split theirs):
// quotes in it are escaped, with the backslashes before them; outside quotes of the command the
// address is put in quotes of its own when it holds a blank or a quote. At most 2n + 2 characters.
char *PutArgument(char *out, const char *address, bool insideQuotes) {
    bool quote = !insideQuotes && address[0] == '\0';
    for (const char *c = address; *c; ++c)
        quote = quote || (!insideQuotes && (*c == ' ' || *c == '\t' || *c == '"'));
    if (quote) *out++ = '"';
    size_t backslashes = 0;
    for (const char *c = address; *c; ++c) {
        if (*c == '\\') {
            ++backslashes;
        } else {
            if (*c == '"')
                for (size_t i = 0; i <= backslashes; ++i)
                    *out++ = '\\'; // doubles those before it, and escapes the quote
            backslashes = 0;
        }
        *out++ = *c;
    }
    // Backslashes before a closing quote are doubled, so that it stays one.
    if (quote || insideQuotes)
        for (size_t i = 0; i < backslashes; ++i)
            *out++ = '\\';
    if (quote) *out++ = '"';
    return out;
}

bool InsideQuotes(const char *command, const char *at) {
    bool inside = false;
    for (const char *c = command; c < at; ++c)
        inside = *c == '"' ? !inside : inside;
    return inside;
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
    // Room for the command, the address with every character escaped, a space and two quotes,
    // and the terminator.
    char *result = Allocate(commandLength + 2 * addressLength + 4);
    if (result != nullptr) {
        const char *placeholder = FindPlaceholder(command);
        char *out = result;
        if (placeholder != nullptr) {
            // The address takes the place of "%1"; the quotes around it, if any, stay as they were.
            const size_t before = static_cast<size_t>(placeholder - command);
            CopyMemory(out, command, before);
            out += before;
            out = PutArgument(out, address, InsideQuotes(command, placeholder));
            const size_t after = commandLength - before - 2;
            CopyMemory(out, placeholder + 2, after);
            out += after;
        } else {
            CopyMemory(out, command, commandLength);
            out += commandLength;
            *out++ = ' ';
            *out++ = '"';
            out = PutArgument(out, address, true);
            *out++ = '"';
        }
        *out = '\0';
    }
    Free(expanded);
    return result;
}

} // namespace setupaid
