// Per-thread records of the library behind one TLS index, taken at load and given back at unload.
#include "zx_winsys/internal/threadstate.h"

namespace {

DWORD g_index = TLS_OUT_OF_INDEXES;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
SRWLOCK g_listLock = SRWLOCK_INIT;
qx::ThreadState *g_records = nullptr; // every record, so that unload frees those of live threads
qx::ThreadState g_spare = {};         // for a thread whose record could not be made

BOOL CALLBACK TakeIndex(INIT_ONCE *, void *, void **) {
    g_index = TlsAlloc();
    return TRUE;
}

void FreeRecord(qx::ThreadState *record) {
    AcquireSRWLockExclusive(&g_listLock);
    if (record->previous) record->previous->next = record->next;
    if (record->next) record->next->previous = record->previous;
    if (g_records == record) g_records = record->next;
    ReleaseSRWLockExclusive(&g_listLock);
    HeapFree(GetProcessHeap(), 0, record);
}

} // namespace

namespace qx {

bool StartThreadStates() {
    InitOnceExecuteOnce(&g_once, TakeIndex, nullptr, nullptr);
    return g_index != TLS_OUT_OF_INDEXES;
}

ThreadState *ThisThreadIfAny() {
    if (g_index == TLS_OUT_OF_INDEXES) return nullptr;
    const DWORD error = GetLastError(); // TlsGetValue clears it
    auto *record = static_cast<ThreadState *>(TlsGetValue(g_index));
    SetLastError(error);
    return record;
}

ThreadState &ThisThread() {
    const DWORD error = GetLastError();
    if (!StartThreadStates()) {
        SetLastError(error);
        return g_spare;
    }
    auto *record = static_cast<ThreadState *>(TlsGetValue(g_index));
    if (!record) {
        record =
            static_cast<ThreadState *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadState)));
        if (record && TlsSetValue(g_index, record)) {
            record->sourceLine = -1;
            AcquireSRWLockExclusive(&g_listLock);
            record->next = g_records;
            if (g_records) g_records->previous = record;
            g_records = record;
            ReleaseSRWLockExclusive(&g_listLock);
        } else {
            if (record) HeapFree(GetProcessHeap(), 0, record);
            record = &g_spare;
        }
    }
    SetLastError(error);
    return *record;
}

void EndThreadState() {
    ThreadState *record = ThisThreadIfAny();
    if (!record) return;
    TlsSetValue(g_index, nullptr);
    FreeRecord(record);
}

void StopThreadStates() {
    if (g_index == TLS_OUT_OF_INDEXES) return;
    // Threads that touched the library and still run keep no pointer that is used again: the
    // library's code is going.
    while (g_records)
        FreeRecord(g_records);
    TlsFree(g_index);
    g_index = TLS_OUT_OF_INDEXES;
    InitOnceInitialize(&g_once);
}

} // namespace qx
