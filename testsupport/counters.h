// What a process holds, counted from sources that work under Wine as well as on Windows:
// GetProcessHandleCount and GetGuiResources give 0 under Wine, so a leak check built on them
// compares 0 with 0.
#pragma once

#include <windows.h>

namespace zxtest {

// Handles of this process in the system's handle list.
long HandleCount();
// Threads of this process in a thread snapshot.
long ThreadCount();
// The process's private (committed) bytes.
long long PrivateBytes();
// GDI objects of this process in the system's GDI handle table, or -1 where the table cannot be
// read (the 32-bit build under Wine); the count is checked once against objects made for it.
long GdiObjectCount();
// Thread-local storage slots that the process could still allocate.
long FreeTlsSlots();
// Whether the process can still make a device context, a bitmap and an image list: the
// consequence of a GDI leak where nothing counts GDI objects.
bool CanCreateGdiObjects();

// Reads counter until it is at most limit or timeoutMs have passed; returns the last reading.
// Threads and handles of work that has just ended go a moment later.
long SettledAt(long (*counter)(), long limit, DWORD timeoutMs = 5000);

} // namespace zxtest
