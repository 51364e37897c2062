// Internal records of zx_pthreads, shared by its source files.
#pragma once

#include <windows.h>

#include <new>

#include "zx_pthreads/zx_pthreads.h"

struct zxp_mutex {
    CRITICAL_SECTION cs;
};

struct zxp_cond {
    CONDITION_VARIABLE cv;
};

struct zxp_sem {
    HANDLE handle;
};

namespace zxp {

// Records live on the process heap, not through operator new: the library then needs nothing of
// the C++ runtime, whose exception support costs a 32-bit DLL a semaphore at every load.
template <typename T> T *Make() {
    void *memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory ? new (memory) T() : nullptr;
}
template <typename T> void Free(T *record) {
    if (!record) return;
    record->~T();
    HeapFree(GetProcessHeap(), 0, record);
}

// One record per thread known to the library. It is freed when its last reference goes:
// one belongs to the running thread (dropped when the thread ends), one to the creator
// (dropped by pthread_join or pthread_detach).
struct ThreadRecord {
    HANDLE handle = nullptr;
    DWORD id = 0;
    zxp_start_routine routine = nullptr;
    void *arg = nullptr;
    void *result = nullptr;
    volatile LONG refs = 0;
    bool implicit = false; // made by pthread_self for a thread the library did not start
    ThreadRecord *previous = nullptr, *next = nullptr; // every live record
};

// Lists a new record (with its references set), so that the unload can free it.
void ListThread(ThreadRecord *record);
void ReleaseThread(ThreadRecord *record);
// Called from DllMain when a thread ends: drops the running thread's reference.
void OnThreadEnd();
bool InitThreadSlot();
// At unload: frees every record left (a thread whose end came after the unload gets no thread
// detach from this library any more) and the slot.
void FreeThreadSlot();

// Resolves a mutex slot, initialising one that holds the static initialiser value exactly once.
zxp_mutex *ResolveMutex(zxp_mutex **slot);
int InitMutex(zxp_mutex **slot);
int DestroyMutex(zxp_mutex **slot);

} // namespace zxp
