// What every transfer shares: one transfer of a store at a time, the removal of temporary files
// that killed transfers left, and a trace for each element that could not be written or deleted.
#pragma once

#include <windows.h>

#include "zx_gensys/qx_string.h"

namespace sx {

// A named lock of the store at root, for every process of the machine, held while the object
// lives. A second transfer waits up to kStoreWaitMs for it; one left by a killed transfer is
// taken over at once.
const DWORD kStoreWaitMs = 10000;
class StoreLock {
public:
    explicit StoreLock(const CQxStringW &root);
    ~StoreLock();
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;
    bool Held() const { return m_held; }
    // When the transfer started: its own temporary files are newer.
    const FILETIME &Start() const { return m_start; }

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
    FILETIME m_start = {};
};

// Traces "<what> <path>: <the system's text for error> (<error>)", what saying the step
// ("Import: cannot write").
void TraceFailure(const char *source, int line, const wchar_t *what, const CQxStringW &path, DWORD error);

} // namespace sx
