// Timers: timer threads, multimedia timers and posted timers behind one handle map.
//
// Every record is registered (its handle reserved and inserted in the map) before its timer
// starts, and a started timer removes its record only after the creator has finished with it (the
// "started" flag). Timer threads are detached at creation; every record has a manual-reset
// completion event that the timer sets as its last act, after its last callback: waiters wait on
// duplicates of it, so the record and the event can go at once.
//
// A posted timer belongs to its creator's message queue: its callback is never re-entered from a
// message loop that the callback runs (such a tick is a missed tick), and its record goes when the
// thread ends (thread detach), or when a call finds the thread gone. Timer threads and multimedia
// timers keep the library loaded while they live.
#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <map>
#include <new>
#include <set>
#include <vector>

#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/internal/threadstate.h"
#include "zx_winsys/internal/timers.h"
#include "zx_winsys/qx_time.h"

namespace {

const char kSource[] = "timer/timer";

int CreateThread(pthread_t *thread, const pthread_attr_t *attr, void *(*routine)(void *), void *arg) {
    return pthread_create(thread, attr, routine, arg);
}

qx::TimerSystem g_system = {timeSetEvent, timeKillEvent,     SetTimer, KillTimer,
                            CreateThread, QX_GetTimeCounter, QX_Sleep};

struct TimerEntry {
    STimerRecord record;   // the public record; the map's key is record.handle
    volatile LONG started; // the creator is done with the record: the timer may remove it
    bool oneShot;          // a one-shot multimedia timer, gone by itself after its tick
    bool inCallback;       // a posted timer's callback runs (on its creator's thread)
    DWORD ownerThread;     // a posted timer's creator
    HANDLE ownerHandle;    // ... and a handle that tells whether it still runs
    HMODULE module;        // a timer thread's reference on the library
};

struct TimerHandleMap {
    std::map<uint32_t, TimerEntry *> map;
    uint32_t counter = 1;
    std::set<uint32_t> postedIssued; // posted handles handed out: an ended one is waited for as ended
    pthread_mutexCS_t lock = PTHREAD_MUTEXCS_INITIALIZER; // statically initialised: usable at any time
};
TimerHandleMap gs_TimerHandleMap;

// Live multimedia timers share one reference on the library, released when the last one ends by
// a thread of its own once no multimedia tick runs the library's code. Its lock is taken under no
// other lock and is held while the loader is called: the map lock never is (thread detach takes
// the map lock under the loader's lock).
struct MultimediaReference {
    SRWLOCK lock = SRWLOCK_INIT;
    long live = 0;
    HMODULE module = nullptr;
    volatile LONG ticking = 0; // multimedia ticks inside the library
} g_multimedia;

class MapLock {
public:
    MapLock() { pthread_mutexCS_lock(&gs_TimerHandleMap.lock); }
    ~MapLock() { pthread_mutexCS_unlock(&gs_TimerHandleMap.lock); }
    MapLock(const MapLock &) = delete;
    MapLock &operator=(const MapLock &) = delete;
};

bool StopRequested(const STimerRecord &r) {
    const bool stop = *reinterpret_cast<const volatile bool *>(&r.stop);
    MemoryBarrier();
    return stop;
}

void RequestStop(STimerRecord &r) {
    MemoryBarrier();
    *reinterpret_cast<volatile bool *>(&r.stop) = true;
}

void WaitUntilStarted(const TimerEntry *entry) {
    while (InterlockedCompareExchange(const_cast<volatile LONG *>(&entry->started), 0, 0) == 0)
        SwitchToThread();
}

// Reserves a handle from the counter and inserts the record; false when the map cannot grow.
bool Register(TimerEntry *entry) {
    MapLock lock;
    uint32_t handle = gs_TimerHandleMap.counter++;
    while (handle == 0 || gs_TimerHandleMap.map.count(handle) != 0)
        handle = gs_TimerHandleMap.counter++;
    entry->record.handle = handle;
    try {
        gs_TimerHandleMap.map.emplace(handle, entry);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

void Unregister(TimerEntry *entry) {
    MapLock lock;
    gs_TimerHandleMap.map.erase(entry->record.handle);
}

void FreeEntry(TimerEntry *entry) {
    if (entry->record.completionEvent) CloseHandle(entry->record.completionEvent);
    if (entry->ownerHandle) CloseHandle(entry->ownerHandle);
    delete entry;
}

// Releases the shared reference of the multimedia timers on its own thread: it waits until the
// last tick has left the library's code (and a grace period for its return into the system).
DWORD WINAPI ReleaseMultimediaReference(void *module) {
    while (InterlockedCompareExchange(&g_multimedia.ticking, 0, 0) != 0)
        Sleep(1);
    Sleep(20);
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

// A multimedia timer starts (true) or ends; never called under the map lock.
void CountMultimedia(bool starts) {
    AcquireSRWLockExclusive(&g_multimedia.lock);
    if (starts) {
        if (g_multimedia.live++ == 0) g_multimedia.module = qx::ModuleReference();
    } else if (--g_multimedia.live == 0 && g_multimedia.module) {
        HMODULE module = g_multimedia.module;
        g_multimedia.module = nullptr;
        HANDLE thread = ::CreateThread(nullptr, 0, ReleaseMultimediaReference, module, 0, nullptr);
        if (thread)
            CloseHandle(thread);
        else
            FreeLibrary(module); // no thread: the caller of this timer still holds the library
    }
    ReleaseSRWLockExclusive(&g_multimedia.lock);
}

// The timer's end: its record leaves the map, and its waiters are released.
void RemoveRecord(TimerEntry *entry) {
    {
        MapLock lock;
        auto found = gs_TimerHandleMap.map.find(entry->record.handle);
        if (found == gs_TimerHandleMap.map.end() || found->second != entry) {
            qx::Assert(L"it==gs_TimerHandleMap.end()", nullptr, kSource, __LINE__);
            return;
        }
        gs_TimerHandleMap.map.erase(found);
    }
    if (entry->record.kind == QX_TIMER_KIND_MULTIMEDIA) CountMultimedia(false);
    HANDLE done = entry->record.completionEvent;
    entry->record.completionEvent = nullptr;
    if (done) {
        SetEvent(done);
        CloseHandle(done);
    }
    FreeEntry(entry);
}

// A posted timer whose creator no longer runs is gone: under the map lock, takes it out of the
// map and returns true; the caller then ends it with EndOrphan outside the lock.
bool Orphaned(TimerEntry *entry) {
    if (entry->record.kind != QX_TIMER_KIND_POSTED || !entry->ownerHandle ||
        WaitForSingleObject(entry->ownerHandle, 0) != WAIT_OBJECT_0)
        return false;
    gs_TimerHandleMap.map.erase(entry->record.handle);
    return true;
}

void EndOrphan(TimerEntry *entry) {
    RequestStop(entry->record);
    if (entry->record.completionEvent) SetEvent(entry->record.completionEvent);
    FreeEntry(entry);
}

int RunCallback(const STimerRecord &r) {
    qx::ThreadState &self = qx::ThisThread();
    const uint32_t outer = self.callbackTimer;
    self.callbackTimer = r.handle;
    const int result = r.callback(r.user);
    self.callbackTimer = outer;
    return result;
}

void *TimerThread(void *arg) {
    TimerEntry *entry = static_cast<TimerEntry *>(arg);
    WaitUntilStarted(entry);
    const STimerRecord copy = entry->record; // the stop flag is read from the shared record
    const double period = static_cast<double>(copy.period) / 1000000.0;
    const bool endless = copy.remainingCalls == 0;
    int32_t calls = copy.remainingCalls;
    double next = copy.startTime + period;
    double now = g_system.now();
    for (;;) {
        if (!endless && calls <= 0) break;
        if (StopRequested(entry->record)) break;
        if (next > now) g_system.sleep(next - now, copy.precision);
        if (RunCallback(copy) == 0) break;
        next += period;
        now = g_system.now();
        if (copy.skipMissed == 1 && next < now) {
            // Back onto the grid set by the start time; a period of 0 has no grid.
            if (period > 0.0)
                next += (std::floor((now - next) / period) + 1.0) * period;
            else
                next = now;
        }
        if (!endless) --calls;
    }
    RequestStop(entry->record);
    HMODULE module = entry->module;
    RemoveRecord(entry);
    // The library's code must not be unmapped under this thread's last instructions.
    if (module) FreeLibraryAndExitThread(module, 0);
    return nullptr;
}

// One tick of a multimedia or posted timer; true when the timer has ended with it.
bool Tick(TimerEntry *entry) {
    STimerRecord &r = entry->record;
    if (r.precision == QX_TIMER_MM_1MS_ALIGNED) {
        const double period = static_cast<double>(r.period) / 1000000.0;
        double now = g_system.now();
        if (period > 0.0) {
            const double x = (now - r.lastCallTime) / period;
            const double k = std::trunc(x);
            if (x - k > 0.5) {
                // Early: wait for the next point of the period's grid.
                const double target = r.lastCallTime + (k + 1.0) * period;
                while (now < target)
                    now = g_system.now();
            }
        }
        r.lastCallTime = now;
    }
    if (StopRequested(r))
        r.remainingCalls = 1;
    else if (RunCallback(r) == 0)
        r.remainingCalls = 1;
    if (r.remainingCalls > 0 && --r.remainingCalls == 0) {
        RequestStop(r);
        return true;
    }
    return false;
}

void CALLBACK MultimediaTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    InterlockedIncrement(&g_multimedia.ticking);
    TimerEntry *entry = reinterpret_cast<TimerEntry *>(user);
    WaitUntilStarted(entry);
    qx::ThreadState &self = qx::ThisThread();
    self.multimediaCallback = true;
    if (Tick(entry)) {
        // A one-shot timer is gone by itself once it fired.
        if (!entry->oneShot) g_system.killEvent(entry->record.systemId);
        RemoveRecord(entry);
    }
    self.multimediaCallback = false;
    InterlockedDecrement(&g_multimedia.ticking);
}

void CALLBACK PostedTick(HWND, UINT, UINT_PTR id, DWORD) {
    TimerEntry *entry = nullptr;
    {
        MapLock lock;
        auto found = gs_TimerHandleMap.map.find(static_cast<uint32_t>(id));
        if (found != gs_TimerHandleMap.map.end() && found->second->record.kind == QX_TIMER_KIND_POSTED)
            entry = found->second;
    }
    // A late tick after the end; or a tick dispatched by a message loop that the timer's own
    // callback runs: the callback is not re-entered, the tick counts as missed.
    if (!entry || entry->inCallback) return;
    entry->inCallback = true;
    const bool ended = Tick(entry);
    entry->inCallback = false;
    if (ended) {
        g_system.killTimer(nullptr, entry->record.systemId);
        RemoveRecord(entry);
    }
}

// A posted timer: its handle is the system's timer id, made unique in the map.
uint32_t StartPosted(TimerEntry *entry, UINT elapse) {
    UINT_PTR id = g_system.setTimer(nullptr, 0, elapse, PostedTick);
    if (id == 0) return 0;
    MapLock lock;
    while (gs_TimerHandleMap.map.count(static_cast<uint32_t>(id)) != 0) {
        const UINT_PTR other = g_system.setTimer(nullptr, 0, elapse, PostedTick);
        g_system.killTimer(nullptr, id);
        id = other;
        if (id == 0) return 0;
    }
    const uint32_t handle = static_cast<uint32_t>(id);
    entry->record.systemId = handle;
    entry->record.handle = handle;
    try {
        gs_TimerHandleMap.map.emplace(handle, entry);
        gs_TimerHandleMap.postedIssued.insert(handle);
    } catch (const std::bad_alloc &) {
        gs_TimerHandleMap.map.erase(handle);
        g_system.killTimer(nullptr, id);
        return 0;
    }
    InterlockedExchange(&entry->started, 1);
    return handle;
}

UINT Milliseconds(double ms) {
    return ms >= 4294967294.0 ? 4294967294u : static_cast<UINT>(ms);
}

} // namespace

namespace qx {

TimerSystem &Timers() {
    return g_system;
}

uint32_t &TimerHandleCounter() {
    return gs_TimerHandleMap.counter;
}

void EndPostedTimersOfThread() {
    const DWORD self = GetCurrentThreadId();
    std::vector<TimerEntry *> ending;
    {
        MapLock lock;
        for (auto it = gs_TimerHandleMap.map.begin(); it != gs_TimerHandleMap.map.end();) {
            TimerEntry *entry = it->second;
            if (entry->record.kind == QX_TIMER_KIND_POSTED && entry->ownerThread == self) {
                try {
                    ending.push_back(entry);
                } catch (const std::bad_alloc &) {
                    ++it;
                    continue; // found again by the next call that touches it
                }
                it = gs_TimerHandleMap.map.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (TimerEntry *entry : ending) {
        g_system.killTimer(nullptr, entry->record.systemId);
        EndOrphan(entry);
    }
}

} // namespace qx

extern "C" {

uint32_t QX_SetThreadedTimer(QxTimerCallback callback, void *user, double periodMs, int32_t numCalls,
                             int32_t precision, int32_t skipMissed) {
    if (numCalls < 0) {
        qx::Assert(L"numCalls<0", L"Number of calls can not be negative", kSource, __LINE__);
        return 0;
    }
    if (!(periodMs >= 0.0) || std::isinf(periodMs)) {
        qx::Assert(L"periodMs", L"The timer period must be a number of milliseconds, 0 or more.", kSource,
                   __LINE__);
        return 0;
    }
    if (!callback) {
        qx::Assert(L"callback", L"A timer needs a callback.", kSource, __LINE__);
        return 0;
    }
    if (periodMs < 1.0 && precision != QX_TIMER_POSTED) precision = QX_TIMER_THREAD_SPIN;
    if (precision < 1 || precision > 8) {
        qx::Assert(L"true", L"Wrong timer precision.", kSource, __LINE__);
        return 0;
    }

    TimerEntry *entry = new (std::nothrow) TimerEntry();
    if (!entry) return 0;
    STimerRecord &r = entry->record;
    const double nanoseconds = periodMs * 1000000.0;
    r.period = nanoseconds >= 9.2e18 ? INT64_C(9200000000000000000) : static_cast<int64_t>(nanoseconds);
    r.remainingCalls = numCalls;
    r.precision = precision;
    r.skipMissed = skipMissed;
    r.callback = callback;
    r.user = user;
    r.startTime = r.lastCallTime = g_system.now();
    r.completionEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!r.completionEvent) {
        FreeEntry(entry);
        return 0;
    }

    if (precision == QX_TIMER_POSTED) {
        r.kind = QX_TIMER_KIND_POSTED;
        entry->ownerThread = GetCurrentThreadId();
        if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &entry->ownerHandle,
                            SYNCHRONIZE, FALSE, 0)) {
            if (const uint32_t handle = StartPosted(entry, Milliseconds(periodMs))) return handle;
            CloseHandle(entry->ownerHandle);
        }
        entry->ownerHandle = nullptr;
    }
    if (!Register(entry)) {
        FreeEntry(entry);
        return 0;
    }
    if (precision >= QX_TIMER_MM_20MS && precision <= QX_TIMER_MM_1MS_ALIGNED) {
        static const UINT kResolution[] = {20, 10, 1, 1};
        r.kind = QX_TIMER_KIND_MULTIMEDIA;
        entry->oneShot = numCalls == 1;
        CountMultimedia(true);
        const UINT id =
            g_system.setEvent(Milliseconds(periodMs), kResolution[precision - QX_TIMER_MM_20MS],
                              MultimediaTick, reinterpret_cast<DWORD_PTR>(entry),
                              (entry->oneShot ? TIME_ONESHOT : TIME_PERIODIC) | TIME_CALLBACK_FUNCTION);
        if (id != 0) {
            // Once started is set, a tick may end the timer and free the record.
            const uint32_t handle = r.handle;
            r.systemId = id;
            InterlockedExchange(&entry->started, 1);
            return handle;
        }
        CountMultimedia(false);
    }

    // A timer thread, also where a multimedia or posted timer could not be made.
    r.kind = QX_TIMER_KIND_THREAD;
    entry->module = qx::ModuleReference();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    const int created = g_system.createThread(&r.thread, &attributes, TimerThread, entry);
    pthread_attr_destroy(&attributes);
    if (created == 0) {
        const uint32_t handle = r.handle;
        InterlockedExchange(&entry->started, 1); // from here on the thread owns the record
        return handle;
    }
    Unregister(entry);
    if (entry->module) FreeLibrary(entry->module);
    FreeEntry(entry);
    if (created == ZXP_EAGAIN)
        qx::Report(kSource, __LINE__, L"Insufficient resources for creating the thread.");
    else if (created == ZXP_EINVAL)
        qx::Report(kSource, __LINE__, L"Wrong thread attributes.");
    return 0;
}

uint32_t QX_SetPostedTimer(QxTimerCallback callback, void *user, double periodMs, int32_t numCalls) {
    return QX_SetThreadedTimer(callback, user, periodMs, numCalls, QX_TIMER_POSTED, 1);
}

int QX_KillTimerAsync(uint32_t handle) {
    TimerEntry *orphan = nullptr;
    {
        MapLock lock;
        auto found = gs_TimerHandleMap.map.find(handle);
        if (found == gs_TimerHandleMap.map.end()) return QX_ERR_INVALID_ARG;
        TimerEntry *entry = found->second;
        if (Orphaned(entry))
            orphan = entry;
        else
            RequestStop(entry->record);
    }
    if (!orphan) return QX_OK;
    EndOrphan(orphan);
    return QX_ERR_INVALID_ARG;
}

int QX_WaitForTimer(uint32_t handle) {
    HANDLE done = nullptr;
    TimerEntry *orphan = nullptr;
    {
        MapLock lock;
        auto found = gs_TimerHandleMap.map.find(handle);
        TimerEntry *entry = found == gs_TimerHandleMap.map.end() ? nullptr : found->second;
        if (!entry || Orphaned(entry)) {
            // Not live: an ended timer (a handle of the counter's past, or a posted one issued),
            // or one never issued.
            orphan = entry;
            const bool ended = orphan || (handle != 0 && (handle < gs_TimerHandleMap.counter ||
                                                          gs_TimerHandleMap.postedIssued.count(handle) != 0));
            if (!orphan) return ended ? QX_OK : QX_ERR_INVALID_ARG;
        } else {
            const STimerRecord &r = entry->record;
            if (r.kind == QX_TIMER_KIND_POSTED) return QX_ERR_NOT_SUPPORTED;
            // The timer's own callback would wait for itself; a multimedia callback would hold up
            // the one thread that every multimedia timer of the process ticks on.
            const qx::ThreadState &self = qx::ThisThread();
            if (self.callbackTimer == handle ||
                (self.multimediaCallback && r.kind == QX_TIMER_KIND_MULTIMEDIA)) {
                qx::Assert(L"QX_WaitForTimer in a timer callback",
                           L"A timer callback cannot wait for this timer.", kSource, __LINE__);
                return QX_ERR_NOT_SUPPORTED;
            }
            if (!r.completionEvent || !DuplicateHandle(GetCurrentProcess(), r.completionEvent,
                                                       GetCurrentProcess(), &done, SYNCHRONIZE, FALSE, 0)) {
                qx::Report(kSource, __LINE__,
                           L"Cannot wait for time, its waitable object failed to be initialized.");
                return QX_OK;
            }
        }
    }
    if (orphan) {
        EndOrphan(orphan);
        return QX_OK;
    }
    WaitForSingleObject(done, INFINITE);
    CloseHandle(done);
    return QX_OK;
}

int QX_GetTimerInfo(const STimerRecord *record, STimerInfo *info) {
    if (!record || !info) return QX_ERR_INVALID_ARG;
    switch (record->kind) {
    case QX_TIMER_KIND_THREAD:
        info->type = QX_TIMER_TYPE_THREAD;
        break;
    case QX_TIMER_KIND_MULTIMEDIA:
        info->type = QX_TIMER_TYPE_MULTIMEDIA;
        break;
    case QX_TIMER_KIND_POSTED:
        info->type = QX_TIMER_TYPE_POSTED;
        break;
    default:
        info->type = QX_TIMER_TYPE_UNKNOWN;
        return QX_ERR_INVALID_ARG;
    }
    info->startTime = record->startTime;
    info->precision = record->precision;
    info->skipMissed = record->skipMissed;
    return QX_OK;
}

int QX_GetTimerInfoByHandle(uint32_t handle, STimerInfo *info) {
    if (!info) return QX_ERR_INVALID_ARG;
    TimerEntry *orphan = nullptr;
    {
        MapLock lock;
        auto found = gs_TimerHandleMap.map.find(handle);
        if (found == gs_TimerHandleMap.map.end()) return QX_ERR_INVALID_ARG;
        TimerEntry *entry = found->second;
        if (!Orphaned(entry)) return QX_GetTimerInfo(&entry->record, info);
        orphan = entry;
    }
    EndOrphan(orphan);
    return QX_ERR_INVALID_ARG;
}

} // extern "C"
