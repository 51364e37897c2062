// Threads: attributes, creation, join, detach and the caller's own handle.
#include "zx_pthreads/internal.h"

#include <new>
#include <process.h>

namespace {

const unsigned int kAttrValid = 0x5A504154; // "ZPAT"
DWORD g_slot = TLS_OUT_OF_INDEXES;
SRWLOCK g_recordsLock = SRWLOCK_INIT;
zxp::ThreadRecord *g_records = nullptr;

void Unlist(zxp::ThreadRecord *record) {
    AcquireSRWLockExclusive(&g_recordsLock);
    if (record->previous) record->previous->next = record->next;
    if (record->next) record->next->previous = record->previous;
    if (g_records == record) g_records = record->next;
    ReleaseSRWLockExclusive(&g_recordsLock);
}

unsigned __stdcall ThreadMain(void *param) {
    auto *record = static_cast<zxp::ThreadRecord *>(param);
    TlsSetValue(g_slot, record);
    record->result = record->routine(record->arg);
    return 0;
}

zxp::ThreadRecord *RecordOf(pthread_t thread) {
    return static_cast<zxp::ThreadRecord *>(thread.p);
}

} // namespace

namespace zxp {

bool InitThreadSlot() {
    g_slot = TlsAlloc();
    return g_slot != TLS_OUT_OF_INDEXES;
}

void FreeThreadSlot() {
    while (ThreadRecord *record = g_records) {
        Unlist(record);
        if (record->handle) CloseHandle(record->handle);
        zxp::Free(record);
    }
    if (g_slot != TLS_OUT_OF_INDEXES) TlsFree(g_slot);
    g_slot = TLS_OUT_OF_INDEXES;
}

void ListThread(ThreadRecord *record) {
    AcquireSRWLockExclusive(&g_recordsLock);
    record->next = g_records;
    if (g_records) g_records->previous = record;
    g_records = record;
    ReleaseSRWLockExclusive(&g_recordsLock);
}

void ReleaseThread(ThreadRecord *record) {
    if (InterlockedDecrement(&record->refs) == 0) {
        Unlist(record);
        CloseHandle(record->handle);
        zxp::Free(record);
    }
}

void OnThreadEnd() {
    if (g_slot == TLS_OUT_OF_INDEXES) return;
    auto *record = static_cast<ThreadRecord *>(TlsGetValue(g_slot));
    if (record) {
        TlsSetValue(g_slot, nullptr);
        ReleaseThread(record);
    }
}

} // namespace zxp

extern "C" {

int pthread_attr_init(pthread_attr_t *attr) {
    if (!attr) return ZXP_EINVAL;
    attr->valid = kAttrValid;
    attr->detachState = PTHREAD_CREATE_JOINABLE;
    attr->stackSize = 0;
    return 0;
}

int pthread_attr_destroy(pthread_attr_t *attr) {
    if (!attr || attr->valid != kAttrValid) return ZXP_EINVAL;
    attr->valid = 0;
    return 0;
}

int pthread_attr_setdetachstate(pthread_attr_t *attr, int state) {
    if (!attr || attr->valid != kAttrValid) return ZXP_EINVAL;
    if (state != PTHREAD_CREATE_JOINABLE && state != PTHREAD_CREATE_DETACHED) return ZXP_EINVAL;
    attr->detachState = state;
    return 0;
}

int pthread_attr_setstacksize(pthread_attr_t *attr, size_t size) {
    if (!attr || attr->valid != kAttrValid) return ZXP_EINVAL;
    attr->stackSize = size;
    return 0;
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, zxp_start_routine routine, void *arg) {
    if (!thread || !routine) return ZXP_EINVAL;
    int detachState = PTHREAD_CREATE_JOINABLE;
    size_t stackSize = 0;
    if (attr) {
        if (attr->valid != kAttrValid) return ZXP_EINVAL;
        detachState = attr->detachState;
        stackSize = attr->stackSize;
    }
    if (stackSize > 0xFFFFFFFFu) return ZXP_EINVAL;

    auto *record = zxp::Make<zxp::ThreadRecord>();
    if (!record) return ZXP_EAGAIN;
    record->routine = routine;
    record->arg = arg;
    record->refs = detachState == PTHREAD_CREATE_DETACHED ? 1 : 2;

    unsigned id = 0;
    uintptr_t handle =
        _beginthreadex(nullptr, static_cast<unsigned>(stackSize), ThreadMain, record, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        zxp::Free(record);
        return ZXP_EAGAIN;
    }
    record->handle = reinterpret_cast<HANDLE>(handle);
    record->id = id;
    zxp::ListThread(record);
    thread->p = record;
    thread->x = id;
    ResumeThread(record->handle);
    return 0;
}

int pthread_join(pthread_t thread, void **result) {
    zxp::ThreadRecord *record = RecordOf(thread);
    if (!record || record->implicit) return ZXP_EINVAL;
    if (record->id == GetCurrentThreadId()) return ZXP_EDEADLK;
    if (WaitForSingleObject(record->handle, INFINITE) != WAIT_OBJECT_0) return ZXP_EINVAL;
    if (result) *result = record->result;
    zxp::ReleaseThread(record);
    return 0;
}

int pthread_detach(pthread_t thread) {
    zxp::ThreadRecord *record = RecordOf(thread);
    if (!record || record->implicit) return ZXP_EINVAL;
    zxp::ReleaseThread(record);
    return 0;
}

pthread_t pthread_self(void) {
    pthread_t self = {nullptr, 0};
    auto *record = static_cast<zxp::ThreadRecord *>(TlsGetValue(g_slot));
    if (!record) {
        record = zxp::Make<zxp::ThreadRecord>();
        if (!record) return self;
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &record->handle, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
        record->id = GetCurrentThreadId();
        record->implicit = true;
        record->refs = 1;
        zxp::ListThread(record);
        TlsSetValue(g_slot, record);
    }
    self.p = record;
    self.x = record->id;
    return self;
}

int pthread_equal(pthread_t a, pthread_t b) {
    return a.p == b.p;
}

} // extern "C"
