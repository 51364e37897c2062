// The command line that opens an address in the registered web browser.
#pragma once

#include <windows.h>

namespace setupaid {

// The registered command (at most kMaxCommand bytes as stored, type REG_SZ or REG_EXPAND_SZ)
// with the address in place of its first "%1", or appended in quotes when it has none. An
// expandable command has its environment variables expanded first. The result is allocated with
// HeapAlloc on the process heap (the caller frees it); null when the command is not text or
// memory runs out.
constexpr DWORD kMaxCommand = 1000;
char *ComposeBrowserCommand(const char *command, DWORD type, const char *address);

} // namespace setupaid
