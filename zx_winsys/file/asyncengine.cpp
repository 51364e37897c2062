// Asynchronous transfer engine: worker threads with their own queues, one 4096-byte chunk per
// cycle, requests of one worker taking turns.
//
// Locks, outermost first: a worker's chunk lock (held while one chunk and its callback run),
// the engine's global lock, a worker's queue lock (held only to touch the queue). A callback
// may therefore submit or cancel: it holds only its worker's chunk lock. No thread ever waits
// for a chunk lock while holding the global lock or a queue lock.
#include <windows.h>

#include <new>
#include <set>
#include <vector>

#include "zx_pthreads/zx_pthreads.h"
#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/internal/lifecycle.h"
#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/threadstate.h"

namespace {

const size_t kChunk = 4096;
const unsigned kIdleCycles = 20;
const struct timespec kIdlePause = {0, 5000};

enum class Kind { Read = 1, Write = 2, Copy = 3 };

struct Request {
    Kind kind = Kind::Read;
    char *buffer = nullptr; // caller's buffer (read, write) or the request's own chunk (copy)
    void *handle = nullptr; // the file, or the copy's source
    void *target = nullptr; // copy only
    uint64_t offset = 0;    // read, write
    size_t remaining = 0;   // read, write
    size_t total = 0;       // read, write
    uint64_t copied = 0;    // copy
    uint64_t size = 0;      // copy: the source's size as last read
    bool sized = false;     // ... read at all
    QxAsyncIOCallback ioCallback = nullptr;
    QxCopyProgressCallback copyCallback = nullptr;
    int *cont = nullptr;
    void *user = nullptr;
    bool cancelled = false;    // set under the queue lock while the request's chunk runs
    bool reportCancel = false; // ... and its callback is told so (the handle is being closed)
    // A read or write of several chunks moves them through a handle of its own to the file, at
    // that handle's position, which nothing else moves: under Wine a transfer at an explicit
    // offset is a round trip to the server, one at the current position is not (ten times faster).
    HANDLE own = nullptr;
    bool ownTried = false;
    Request *next = nullptr;
};

enum class State { Running = 0, Stopping = 2 };

struct Worker {
    pthread_t thread = {nullptr, 0};
    pthread_mutex_t queueLock = nullptr;
    pthread_mutex_t chunkLock = nullptr;
    unsigned idle = 0;
    State state = State::Running;
    Request *head = nullptr; // processed next
    Request *tail = nullptr;
    size_t length = 0;
    Request *current = nullptr; // taken off the queue while its chunk runs
    volatile LONG waiters = 0;  // cancellers about to wait on chunkLock
    HMODULE module = nullptr;   // keeps the library loaded while the worker exists
};

pthread_mutexCS_t g_engineLock = nullptr;
std::set<Worker *> *g_workers = nullptr; // guarded by g_engineLock, ordered by identity

void Append(Worker *w, Request *r) {
    r->next = nullptr;
    if (w->tail)
        w->tail->next = r;
    else
        w->head = r;
    w->tail = r;
    ++w->length;
}

Request *PopFront(Worker *w) {
    Request *r = w->head;
    if (!r) return nullptr;
    w->head = r->next;
    if (!w->head) w->tail = nullptr;
    --w->length;
    r->next = nullptr;
    return r;
}

void Release(Request *r) {
    if (r->kind == Kind::Copy) {
        QX_CloseFile(r->handle);
        QX_CloseFile(r->target);
        delete[] r->buffer;
    }
    if (r->own) CloseHandle(r->own);
    delete r;
}

// The request's own handle to its file, placed at its offset, for a transfer of more than a few
// chunks (a single chunk would pay more for the handle than it saves). Without one (a file opened
// without sharing cannot be opened again, or it is no file) the chunks go at explicit offsets.
void OpenOwnHandle(Request *r) {
    r->ownTried = true;
    if (r->remaining <= 4 * kChunk) return;
    HANDLE own =
        ReOpenFile(static_cast<HANDLE>(r->handle), r->kind == Kind::Read ? GENERIC_READ : GENERIC_WRITE,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (own == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(r->offset);
    if (SetFilePointerEx(own, at, nullptr, FILE_BEGIN))
        r->own = own;
    else
        CloseHandle(own);
}

// A finished transfer through its own handle leaves the caller's handle where one at explicit
// offsets would have: after the bytes moved.
void PlaceCallersPosition(const Request *r) {
    if (!r->own) return;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(r->offset);
    SetFilePointerEx(static_cast<HANDLE>(r->handle), at, nullptr, FILE_BEGIN);
}

void ReportIo(const Request *r, int status, size_t transferred) {
    if (r->ioCallback) r->ioCallback(status, transferred, r->user);
}

void ReportCopy(const Request *r, int status, uint64_t size) {
    if (r->copyCallback) r->copyCallback(status, size, r->copied, r->user);
}

// One transfer at an explicit offset, so nothing can come between positioning and moving the
// bytes. The file position ends after the bytes moved, as after a seek and a transfer.
bool PositionedTransfer(Kind kind, void *handle, char *buffer, DWORD count, uint64_t offset, DWORD *moved) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    *moved = 0;
    if (kind == Kind::Read) {
        if (ReadFile(handle, buffer, count, moved, &at)) return true;
        return GetLastError() == ERROR_HANDLE_EOF; // at or past the end: nothing read
    }
    return WriteFile(handle, buffer, count, moved, &at) != 0;
}

// One chunk through the request's own handle, at its position.
bool OwnTransfer(Kind kind, HANDLE own, char *buffer, DWORD count, DWORD *moved) {
    *moved = 0;
    if (kind == Kind::Read) return ReadFile(own, buffer, count, moved, nullptr) != 0;
    return WriteFile(own, buffer, count, moved, nullptr) != 0;
}

// Moves one chunk of a read or write; true when the request is finished.
bool ReadWriteChunk(Request *r) {
    if (r->remaining == 0) {
        PlaceCallersPosition(r);
        ReportIo(r, QX_OK, r->total);
        return true;
    }
    if (!r->ownTried) OpenOwnHandle(r);
    const DWORD want = static_cast<DWORD>(r->remaining < kChunk ? r->remaining : kChunk);
    DWORD moved = 0;
    const bool transferred = r->own
                                 ? OwnTransfer(r->kind, r->own, r->buffer, want, &moved)
                                 : PositionedTransfer(r->kind, r->handle, r->buffer, want, r->offset, &moved);
    if (!transferred) {
        ReportIo(r, r->kind == Kind::Read ? QX_ERR_READ_FILE : QX_ERR_WRITE_FILE, r->total - r->remaining);
        return true;
    }
    r->offset += moved;
    r->remaining -= moved;
    r->buffer += moved;
    if (moved < want) {
        // A read that reaches the end of the file finishes with what it got; a write that
        // cannot place its bytes fails rather than retrying for ever.
        PlaceCallersPosition(r);
        if (r->kind == Kind::Read)
            ReportIo(r, QX_OK, r->total - r->remaining);
        else
            ReportIo(r, QX_ERR_WRITE_FILE, r->total - r->remaining);
        return true;
    }
    if (r->remaining > 0) {
        ReportIo(r, QX_IO_PENDING, r->total - r->remaining);
        return false;
    }
    PlaceCallersPosition(r);
    ReportIo(r, QX_OK, r->total);
    return true;
}

// The source's size for the copy's reports: read at the first chunk and again when the copy has
// passed it (the source grew) or ends, not for every chunk. Without a callback it is never read.
int SourceSize(Request *r, bool ending, uint64_t *size) {
    int status = QX_OK;
    if (r->copyCallback && (!r->sized || ending || r->copied > r->size)) {
        status = QX_GetFileSize(r->handle, &r->size);
        r->sized = status == QX_OK;
    }
    *size = r->size;
    return status;
}

// Moves one chunk of a copy; true when the copy is finished or stopped.
bool CopyChunk(Request *r) {
    uint64_t size = 0;
    int status = SourceSize(r, false, &size);
    if (status != QX_OK) ReportCopy(r, status, 0);

    size_t got = 0;
    status = QX_ReadFile(r->handle, r->buffer, kChunk, &got, nullptr);
    if (status != QX_OK || got == 0) {
        SourceSize(r, true, &size);
        ReportCopy(r, status, size);
        return true;
    }
    size_t put = 0;
    status = QX_WriteFile(r->target, r->buffer, got, &put, nullptr);
    r->copied += put;
    if (status != QX_OK || put < got) {
        SourceSize(r, true, &size);
        ReportCopy(r, status != QX_OK ? status : QX_ERR_WRITE_FILE, size);
        return true;
    }
    if (put < kChunk) {
        SourceSize(r, true, &size);
        ReportCopy(r, QX_OK, size);
        return true;
    }
    SourceSize(r, false, &size); // read again only when the copy has passed it
    ReportCopy(r, QX_IO_PENDING, size);
    const volatile int *cont = r->cont;
    if (cont && *cont == 0) {
        ReportCopy(r, QX_IO_CANCELLED, size);
        return true;
    }
    return false;
}

void DestroyWorker(Worker *w) {
    pthread_mutex_destroy(&w->queueLock);
    pthread_mutex_destroy(&w->chunkLock);
    delete w;
}

void *WorkerMain(void *arg) {
    Worker *w = static_cast<Worker *>(arg);
    qx::ThisThread().worker = w; // the worker running on this thread
    while (w->state == State::Running) {
        pthread_mutex_lock(&w->chunkLock);
        pthread_mutex_lock(&w->queueLock);
        Request *r = PopFront(w);
        w->current = r;
        pthread_mutex_unlock(&w->queueLock);
        bool queued = false;
        if (r) {
            w->idle = 0;
            const bool finished = r->kind == Kind::Copy ? CopyChunk(r) : ReadWriteChunk(r);
            pthread_mutex_lock(&w->queueLock);
            w->current = nullptr;
            const bool again = !finished && !r->cancelled;
            if (again) Append(w, r);
            queued = w->length > 0;
            pthread_mutex_unlock(&w->queueLock);
            if (!finished && r->cancelled && r->reportCancel)
                ReportIo(r, QX_IO_CANCELLED, r->total - r->remaining);
            if (!again) Release(r);
        }
        pthread_mutex_unlock(&w->chunkLock);
        // With work queued the worker cannot stop, and its idle count is already 0: the next
        // chunk follows without touching the global lock, which every busy worker would
        // otherwise take once per chunk.
        if (queued) continue;
        if (!r) pthread_delay_np(&kIdlePause);

        pthread_mutexCS_lock(&g_engineLock);
        pthread_mutex_lock(&w->queueLock);
        if (w->length == 0) {
            if (++w->idle > kIdleCycles) w->state = State::Stopping;
        } else {
            w->idle = 0;
        }
        pthread_mutex_unlock(&w->queueLock);
        pthread_mutexCS_unlock(&g_engineLock);
    }

    pthread_mutexCS_lock(&g_engineLock);
    g_workers->erase(w);
    pthread_mutexCS_unlock(&g_engineLock);
    // A canceller that found this worker before it left the set may still be about to take the
    // chunk lock; the worker's locks stay until it is done.
    while (InterlockedCompareExchange(&w->waiters, 0, 0) != 0)
        Sleep(0);
    HMODULE module = w->module;
    DestroyWorker(w);
    // Gives up the worker's reference on the library and ends the thread without returning
    // into code that an application's FreeLibrary may have unloaded by then.
    FreeLibraryAndExitThread(module, 0);
    return nullptr;
}

bool Insert(Worker *w) {
    try {
        g_workers->insert(w);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// True while a worker runs a chunk of a read or write on handle (the global lock is held).
bool ChunkRunningFor(void *handle) {
    for (Worker *w : *g_workers) {
        pthread_mutex_lock(&w->queueLock);
        const Request *running = w->current;
        const bool match = running && running->kind != Kind::Copy && running->handle == handle;
        pthread_mutex_unlock(&w->queueLock);
        if (match) return true;
    }
    return false;
}

// Places a request with the first running worker whose queue is empty (and free to look at), or
// with a new worker.
int Place(Request *r) {
    pthread_mutexCS_lock(&g_engineLock);
    Worker *target = nullptr;
    for (Worker *w : *g_workers) {
        if (w->state != State::Running) continue;
        // A queue lock that is held belongs to a worker taking or putting back its request: it is
        // not idle (at worst this one goes to a later worker or a new one, which retires when idle).
        if (pthread_mutex_trylock(&w->queueLock) != 0) continue;
        const bool empty = w->length == 0;
        pthread_mutex_unlock(&w->queueLock);
        if (empty) {
            target = w;
            break;
        }
    }
    int status = QX_OK;
    if (target) {
        pthread_mutex_lock(&target->queueLock);
        Append(target, r);
        pthread_mutex_unlock(&target->queueLock);
    } else {
        Worker *w = new (std::nothrow) Worker;
        bool made = w && pthread_mutex_init(&w->queueLock, nullptr) == 0;
        made = made && pthread_mutex_init(&w->chunkLock, nullptr) == 0;
        made = made && (w->module = qx::ModuleReference()) != nullptr;
        // The worker joins the set before its thread starts: an insertion that cannot allocate
        // then fails the submission with nothing running and no lock left held.
        const bool listed = made && Insert(w);
        if (listed) {
            Append(w, r);
            made = pthread_create(&w->thread, nullptr, WorkerMain, w) == 0;
            if (made) {
                pthread_detach(w->thread);
            } else {
                g_workers->erase(w);
                FreeLibrary(w->module);
            }
        } else if (made) {
            FreeLibrary(w->module);
            made = false;
        }
        if (!made) {
            if (w) DestroyWorker(w);
            status = QX_ERR_SYSTEM;
        }
    }
    pthread_mutexCS_unlock(&g_engineLock);
    return status;
}

} // namespace

namespace qx {

bool StartAsyncEngine() {
    g_workers = new (std::nothrow) std::set<Worker *>;
    if (!g_workers) return false;
    if (pthread_mutexCS_init(&g_engineLock, nullptr) != 0) {
        delete g_workers;
        g_workers = nullptr;
        return false;
    }
    return true;
}

void StopAsyncEngine() {
    // Workers hold a reference on the library, so none is left when it is unloaded.
    pthread_mutexCS_destroy(&g_engineLock);
    delete g_workers;
    g_workers = nullptr;
}

int SubmitTransfer(TransferKind kind, void *handle, void *buffer, size_t count, const SQxAsyncIO &record) {
    Request *r = new (std::nothrow) Request;
    if (!r) return QX_ERR_SYSTEM;
    r->kind = kind == TransferKind::Read ? Kind::Read : Kind::Write;
    r->handle = handle;
    r->buffer = static_cast<char *>(buffer);
    r->offset = record.offset;
    r->remaining = r->total = count;
    r->ioCallback = record.callback;
    r->user = record.user;
    int status = Place(r);
    if (status != QX_OK) Release(r);
    return status;
}

int SubmitCopy(void *source, void *target, int *cont, QxCopyProgressCallback callback, void *user) {
    Request *r = new (std::nothrow) Request;
    char *chunk = new (std::nothrow) char[kChunk];
    if (!r || !chunk) {
        delete r;
        delete[] chunk;
        QX_CloseFile(source);
        QX_CloseFile(target);
        return QX_ERR_SYSTEM;
    }
    r->kind = Kind::Copy;
    r->buffer = chunk;
    r->handle = source;
    r->target = target;
    r->cont = cont;
    r->copyCallback = callback;
    r->user = user;
    int status = Place(r);
    if (status != QX_OK) Release(r);
    return status;
}

void CancelTransfers(void *handle, bool report) {
    if (!g_workers) return; // the engine never started
    std::vector<Worker *> busy;
    Request *dropped = nullptr; // reported after the locks, when report is set
    bool poll = false;          // the list of busy workers could not grow: wait by polling instead
    pthread_mutexCS_lock(&g_engineLock);
    for (Worker *w : *g_workers) {
        pthread_mutex_lock(&w->queueLock);
        Request *kept = nullptr, *keptTail = nullptr;
        size_t keptLength = 0;
        while (Request *r = PopFront(w)) {
            if (r->kind != Kind::Copy && r->handle == handle) {
                if (report) {
                    r->next = dropped;
                    dropped = r;
                } else {
                    Release(r);
                }
                continue;
            }
            if (keptTail)
                keptTail->next = r;
            else
                kept = r;
            keptTail = r;
            ++keptLength;
        }
        w->head = kept;
        w->tail = keptTail;
        w->length = keptLength;
        Request *running = w->current;
        if (running && running->kind != Kind::Copy && running->handle == handle) {
            running->cancelled = true;
            running->reportCancel = report;
            const qx::ThreadState *self = qx::ThisThreadIfAny();
            if (!self || !self->worker) {
                InterlockedIncrement(&w->waiters);
                try {
                    busy.push_back(w);
                } catch (const std::bad_alloc &) {
                    InterlockedDecrement(&w->waiters);
                    poll = true;
                }
            }
        }
        pthread_mutex_unlock(&w->queueLock);
    }
    pthread_mutexCS_unlock(&g_engineLock);

    // Wait for the chunks in progress on the handle, so that no callback for it comes after
    // this returns. Not from inside a callback: waiting there for another worker could wait for
    // a callback that is itself cancelling; a chunk running there then reports once more.
    for (Worker *w : busy) {
        pthread_mutex_lock(&w->chunkLock);
        pthread_mutex_unlock(&w->chunkLock);
        InterlockedDecrement(&w->waiters);
    }
    while (poll) {
        pthread_mutexCS_lock(&g_engineLock);
        poll = ChunkRunningFor(handle);
        pthread_mutexCS_unlock(&g_engineLock);
        if (poll) Sleep(1);
    }
    while (Request *r = dropped) {
        dropped = r->next;
        ReportIo(r, QX_IO_CANCELLED, r->total - r->remaining);
        Release(r);
    }
}

} // namespace qx

extern "C" int QX_CancelAsyncIO(void *handle) {
    qx::CancelTransfers(handle);
    return QX_OK;
}
