// Asynchronous reads, writes and copies: callback sequences, continue flag, cancelling,
// worker retirement and a concurrent stress run. Assertions run on the main thread only.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <random>

using zxtest::TempDir;

namespace {

struct Call {
    int status;
    uint64_t count; // transferred (read/write) or copied (copy)
    uint64_t size;  // copy only
    DWORD thread;
    int tag;
};

// Collects callbacks from worker threads; the main thread waits for the final ones.
class Recorder {
public:
    Recorder() {
        InitializeCriticalSection(&m_lock);
        m_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Recorder() {
        CloseHandle(m_done);
        DeleteCriticalSection(&m_lock);
    }
    void Add(const Call &call) {
        EnterCriticalSection(&m_lock);
        m_calls.push_back(call);
        if (call.status != QX_IO_PENDING && ++m_finals >= m_expectFinals) SetEvent(m_done);
        LeaveCriticalSection(&m_lock);
    }
    void ExpectFinals(int n) { m_expectFinals = n; }
    bool Wait(DWORD ms = 30000) { return WaitForSingleObject(m_done, ms) == WAIT_OBJECT_0; }
    std::vector<Call> Calls() {
        EnterCriticalSection(&m_lock);
        std::vector<Call> copy = m_calls;
        LeaveCriticalSection(&m_lock);
        return copy;
    }

private:
    CRITICAL_SECTION m_lock;
    HANDLE m_done;
    std::vector<Call> m_calls;
    int m_finals = 0;
    int m_expectFinals = 1;
};

struct IoContext {
    Recorder *recorder;
    int tag;
};

void IoCallback(int status, size_t transferred, void *user) {
    auto *c = static_cast<IoContext *>(user);
    c->recorder->Add({status, transferred, 0, GetCurrentThreadId(), c->tag});
}

void CopyCallback(int status, uint64_t size, uint64_t copied, void *user) {
    auto *c = static_cast<IoContext *>(user);
    c->recorder->Add({status, copied, size, GetCurrentThreadId(), c->tag});
}

std::string Pattern(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    std::mt19937 random(seed);
    for (auto &b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

void *OpenFile(const std::wstring &path, int flags = 0x03) {
    void *handle = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), flags, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &handle) ==
            QX_OK);
    return handle;
}

// True when nobody holds the file open (it can be renamed and renamed back).
bool IsClosed(const std::wstring &path) {
    std::wstring moved = path + L".probe";
    if (!MoveFileW(path.c_str(), moved.c_str())) return false;
    return MoveFileW(moved.c_str(), path.c_str()) != 0;
}

} // namespace

TEST_CASE("async read: 10000 bytes arrive in chunks of 4096 from the record's offset") {
    TempDir dir;
    std::string bytes = Pattern(20000);
    zxtest::WriteFileBytes(dir / L"src", bytes);
    void *file = OpenFile(dir / L"src");
    Recorder recorder;
    IoContext context = {&recorder, 0};
    std::string buffer(10000, '\0');
    SQxAsyncIO record = {123, &context, IoCallback};
    size_t untouched = 77;
    REQUIRE(QX_ReadFile(file, &buffer[0], 10000, &untouched, &record) == QX_OK);
    CHECK(untouched == 77);
    REQUIRE(recorder.Wait());
    std::vector<Call> calls = recorder.Calls();
    REQUIRE(calls.size() == 3);
    CHECK(calls[0].status == QX_IO_PENDING);
    CHECK(calls[0].count == 4096);
    CHECK(calls[1].status == QX_IO_PENDING);
    CHECK(calls[1].count == 8192);
    CHECK(calls[2].status == QX_OK);
    CHECK(calls[2].count == 10000);
    CHECK(buffer == bytes.substr(123, 10000));
    QX_CloseFile(file);
}

TEST_CASE(
    "async read and write of many chunks: shared and exclusive files, the caller's position after them") {
    for (int share : {QX_SHARE_READ | QX_SHARE_WRITE, 0}) {
        CAPTURE(share);
        TempDir dir;
        const std::string bytes = Pattern(100000, 9);
        zxtest::WriteFileBytes(dir / L"src", bytes);
        void *file = nullptr;
        REQUIRE(QX_OpenFile((dir / L"src").c_str(), QX_OPEN_READ | QX_OPEN_WRITE, share, QX_PERM_DEFAULT,
                            &file) == QX_OK);
        Recorder recorder;
        recorder.ExpectFinals(2);
        IoContext context = {&recorder, 0};
        std::string buffer(60000, '\0');
        SQxAsyncIO record = {1000, &context, IoCallback};
        REQUIRE(QX_ReadFile(file, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
        const std::string fresh = Pattern(30000, 10);
        SQxAsyncIO later = {70000, &context, IoCallback};
        REQUIRE(QX_WriteFile(file, fresh.data(), fresh.size(), nullptr, &later) == QX_OK);
        REQUIRE(recorder.Wait());
        CHECK(buffer == bytes.substr(1000, 60000));
        uint64_t position = 0;
        CHECK(QX_FilePosition(file, &position) == QX_OK);
        CHECK((position == 61000 || position == 100000)); // after the bytes of whichever request ended last
        QX_CloseFile(file);
        CHECK(zxtest::ReadFileBytes(dir / L"src") == bytes.substr(0, 70000) + fresh);
    }
}

TEST_CASE("async read: a read past the end finishes with the bytes it reached") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"src", Pattern(5000));
    void *file = OpenFile(dir / L"src");
    Recorder recorder;
    IoContext context = {&recorder, 0};
    std::string buffer(10000, '\0');
    SQxAsyncIO record = {1000, &context, IoCallback};
    REQUIRE(QX_ReadFile(file, &buffer[0], 10000, nullptr, &record) == QX_OK);
    REQUIRE(recorder.Wait());
    // 4000 bytes are left after the offset: the first chunk comes back short and ends the read.
    std::vector<Call> calls = recorder.Calls();
    REQUIRE(calls.size() == 1);
    CHECK(calls[0].status == QX_OK);
    CHECK(calls[0].count == 4000);

    Recorder beyond;
    IoContext beyondContext = {&beyond, 0};
    SQxAsyncIO pastEnd = {999999, &beyondContext, IoCallback};
    REQUIRE(QX_ReadFile(file, &buffer[0], 100, nullptr, &pastEnd) == QX_OK);
    REQUIRE(beyond.Wait());
    REQUIRE(beyond.Calls().size() == 1);
    CHECK(beyond.Calls()[0].status == QX_OK);
    CHECK(beyond.Calls()[0].count == 0);
    QX_CloseFile(file);
}

TEST_CASE("async write: bytes land at the record's offset; zero-byte transfers call back once") {
    TempDir dir;
    void *file = OpenFile(dir / L"dst", 0x0F);
    std::string bytes = Pattern(9000, 7);
    Recorder recorder;
    IoContext context = {&recorder, 0};
    SQxAsyncIO record = {10, &context, IoCallback};
    REQUIRE(QX_WriteFile(file, bytes.data(), bytes.size(), nullptr, &record) == QX_OK);
    REQUIRE(recorder.Wait());
    CHECK(recorder.Calls().size() == 3);
    CHECK(recorder.Calls().back().count == 9000);

    for (int write = 0; write < 2; ++write) {
        Recorder zero;
        IoContext zeroContext = {&zero, 0};
        SQxAsyncIO none = {0, &zeroContext, IoCallback};
        char dummy = 0;
        REQUIRE((write ? QX_WriteFile(file, &dummy, 0, nullptr, &none)
                       : QX_ReadFile(file, &dummy, 0, nullptr, &none)) == QX_OK);
        REQUIRE(zero.Wait());
        Sleep(20);
        REQUIRE(zero.Calls().size() == 1);
        CHECK(zero.Calls()[0].status == QX_OK);
        CHECK(zero.Calls()[0].count == 0);
    }
    QX_CloseFile(file);
    std::string content = zxtest::ReadFileBytes(dir / L"dst");
    CHECK(content.size() == 9010);
    CHECK(content.substr(10) == bytes);

    // No callback at all is fine too.
    void *again = OpenFile(dir / L"dst");
    SQxAsyncIO silent = {0, nullptr, nullptr};
    CHECK(QX_WriteFile(again, "xyz", 3, nullptr, &silent) == QX_OK);
    for (int i = 0; i < 1000 && zxtest::ReadFileBytes(dir / L"dst").substr(0, 3) != "xyz"; ++i)
        Sleep(10);
    CHECK(zxtest::ReadFileBytes(dir / L"dst").substr(0, 3) == "xyz");
    QX_CloseFile(again);
}

namespace {

// The first callback of request A submits request B, which lands on A's worker while A's chunk
// runs; from then on the two advance in turn.
struct TurnTaking {
    Recorder recorder;
    IoContext a = {&recorder, 1};
    IoContext b = {&recorder, 2};
    void *file = nullptr;
    std::string bufferA = std::string(5 * 4096, '\0');
    std::string bufferB = std::string(5 * 4096, '\0');
    volatile LONG submitted = 0;
    int submitStatus = -1;
};
TurnTaking *g_turns = nullptr;

void TurnCallback(int status, size_t transferred, void *user) {
    IoCallback(status, transferred, user);
    if (user == &g_turns->a && InterlockedExchange(&g_turns->submitted, 1) == 0) {
        SQxAsyncIO record = {0, &g_turns->b, TurnCallback};
        g_turns->submitStatus =
            QX_ReadFile(g_turns->file, &g_turns->bufferB[0], g_turns->bufferB.size(), nullptr, &record);
    }
}

} // namespace

TEST_CASE("async read: two reads on one worker take turns, and a callback may submit") {
    // Idle workers left by earlier tests would take B; they retire after a few dozen milliseconds.
    Sleep(500);
    TempDir dir;
    std::string bytes = Pattern(5 * 4096, 3);
    zxtest::WriteFileBytes(dir / L"src", bytes);
    TurnTaking turns;
    g_turns = &turns;
    turns.file = OpenFile(dir / L"src");
    turns.recorder.ExpectFinals(2);
    SQxAsyncIO record = {0, &turns.a, TurnCallback};
    REQUIRE(QX_ReadFile(turns.file, &turns.bufferA[0], turns.bufferA.size(), nullptr, &record) == QX_OK);
    REQUIRE(turns.recorder.Wait());
    CHECK(turns.submitStatus == QX_OK);
    std::vector<Call> calls = turns.recorder.Calls();
    REQUIRE(calls.size() == 10);
    std::string order;
    for (const Call &c : calls) {
        order += static_cast<char>('0' + c.tag);
        CHECK(c.thread == calls[0].thread);
    }
    CHECK(order == "1212121212");
    CHECK(turns.bufferA == bytes);
    CHECK(turns.bufferB == bytes);
    QX_CloseFile(turns.file);
    g_turns = nullptr;
}

TEST_CASE("async copy: 8192 bytes in two chunks and a final report; an empty source reports once") {
    TempDir dir;
    std::string bytes = Pattern(8192, 5);
    zxtest::WriteFileBytes(dir / L"a", bytes);
    Recorder recorder;
    IoContext context = {&recorder, 0};
    REQUIRE(QX_CopyFile((dir / L"a").c_str(), (dir / L"b").c_str(), 1, nullptr, CopyCallback, &context) ==
            QX_OK);
    REQUIRE(recorder.Wait());
    std::vector<Call> calls = recorder.Calls();
    REQUIRE(calls.size() == 3);
    CHECK(calls[0].status == QX_IO_PENDING);
    CHECK(calls[0].count == 4096);
    CHECK(calls[0].size == 8192);
    CHECK(calls[1].status == QX_IO_PENDING);
    CHECK(calls[1].count == 8192);
    CHECK(calls[2].status == QX_OK);
    CHECK(calls[2].count == 8192);
    CHECK(zxtest::Eventually([&] { return IsClosed(dir / L"a") && IsClosed(dir / L"b"); }));
    CHECK(zxtest::ReadFileBytes(dir / L"b") == bytes);

    zxtest::WriteFileBytes(dir / L"empty", "");
    Recorder empty;
    IoContext emptyContext = {&empty, 0};
    int cont = 1;
    REQUIRE(QX_CopyFile((dir / L"empty").c_str(), (dir / L"b").c_str(), 0, &cont, CopyCallback,
                        &emptyContext) == QX_OK);
    REQUIRE(empty.Wait());
    REQUIRE(empty.Calls().size() == 1);
    CHECK(empty.Calls()[0].status == QX_OK);
    CHECK(empty.Calls()[0].count == 0);
    CHECK(zxtest::Eventually([&] { return IsClosed(dir / L"b"); }));
    CHECK(zxtest::ReadFileBytes(dir / L"b").empty());
}

TEST_CASE("async copy: clearing the continue flag stops it with exactly one -1104 and closes both files") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"a", Pattern(200 * 4096, 9));
    struct Context {
        Recorder recorder;
        int cont = 1;
        int seen = 0;
    } context;
    auto callback = [](int status, uint64_t size, uint64_t copied, void *user) {
        auto *c = static_cast<Context *>(user);
        c->recorder.Add({status, copied, size, GetCurrentThreadId(), 0});
        if (++c->seen == 3) c->cont = 0;
    };
    REQUIRE(QX_CopyFile((dir / L"a").c_str(), (dir / L"b").c_str(), 0, &context.cont, callback, &context) ==
            QX_OK);
    REQUIRE(context.recorder.Wait());
    Sleep(50);
    std::vector<Call> calls = context.recorder.Calls();
    REQUIRE(calls.size() == 4);
    for (int i = 0; i < 3; ++i)
        CHECK(calls[static_cast<size_t>(i)].status == QX_IO_PENDING);
    CHECK(calls[3].status == QX_IO_CANCELLED);
    CHECK(calls[3].count == 3 * 4096);
    CHECK(calls[3].size == 200 * 4096);
    CHECK(IsClosed(dir / L"a"));
    CHECK(IsClosed(dir / L"b"));
    CHECK(zxtest::ReadFileBytes(dir / L"b").size() == 3 * 4096);
}

namespace {
struct CancelRun {
    Recorder copyRecorder;
    IoContext copyContext = {&copyRecorder, 0};
    volatile LONG cancelReturned = 0;
    volatile LONG lateCallbacks = 0;
    volatile LONG readCallbacks = 0;
};
CancelRun *g_cancel = nullptr;
void CountingRead(int, size_t, void *) {
    InterlockedIncrement(&g_cancel->readCallbacks);
    if (g_cancel->cancelReturned) InterlockedIncrement(&g_cancel->lateCallbacks);
}
} // namespace

TEST_CASE("async cancel: queued reads of a handle call back no more; a copy beside them goes on") {
    TempDir dir;
    std::string big = Pattern(1 << 20, 11);
    zxtest::WriteFileBytes(dir / L"src", big);
    zxtest::WriteFileBytes(dir / L"copy-src", big);
    CancelRun run;
    g_cancel = &run;
    REQUIRE(QX_CopyFile((dir / L"copy-src").c_str(), (dir / L"copy-dst").c_str(), 0, nullptr, CopyCallback,
                        &run.copyContext) == QX_OK);
    void *file = OpenFile(dir / L"src");
    std::vector<std::string> buffers(8, std::string(1 << 20, '\0'));
    for (auto &buffer : buffers) {
        SQxAsyncIO record = {0, nullptr, CountingRead};
        REQUIRE(QX_ReadFile(file, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
    }
    CHECK(QX_CancelAsyncIO(file) == QX_OK);
    InterlockedExchange(&run.cancelReturned, 1);
    REQUIRE(run.copyRecorder.Wait());
    Sleep(100);
    CHECK(run.lateCallbacks == 0);
    CHECK(run.readCallbacks < 8 * 256); // they did not all run to their end
    CHECK(run.copyRecorder.Calls().back().status == QX_OK);
    CHECK(zxtest::ReadFileBytes(dir / L"copy-dst") == big);
    QX_CloseFile(file);
    g_cancel = nullptr;
}

namespace {
struct ClosedWrites {
    volatile LONG finals = 0, cancelled = 0, wrong = 0, afterClose = 0, closed = 0;
};
void CountClosedWrite(int status, size_t, void *user) {
    auto *c = static_cast<ClosedWrites *>(user);
    if (c->closed && status != QX_IO_CANCELLED) InterlockedIncrement(&c->afterClose);
    if (status == QX_IO_PENDING) return;
    InterlockedIncrement(&c->finals);
    if (status == QX_IO_CANCELLED)
        InterlockedIncrement(&c->cancelled);
    else if (status != QX_OK)
        InterlockedIncrement(&c->wrong);
}
} // namespace

TEST_CASE(
    "async close: writes still queued on a closed handle are dropped and say so; none lands elsewhere") {
    TempDir dir;
    const std::string data = Pattern(1 << 20, 5);
    ClosedWrites writes;
    void *file = OpenFile(dir / L"first", QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS);
    for (int i = 0; i < 8; ++i) {
        SQxAsyncIO record = {static_cast<uint64_t>(i) << 20, &writes, CountClosedWrite};
        REQUIRE(QX_WriteFile(file, data.data(), data.size(), nullptr, &record) == QX_OK);
    }
    CHECK(QX_CloseFile(file) == QX_OK);
    InterlockedExchange(&writes.closed, 1);
    // The next file opened is likely given the same handle value.
    void *next = OpenFile(dir / L"second", QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_ALWAYS);
    for (int i = 0; i < 500 && writes.finals < 8; ++i)
        Sleep(10);
    CHECK(writes.finals == 8);
    CHECK(writes.cancelled > 0);
    CHECK(writes.wrong == 0);
    CHECK(writes.afterClose == 0); // nothing but the cancel reports after the close returned
    uint64_t size = 1;
    CHECK(QX_GetFileSize(next, &size) == QX_OK);
    CHECK(size == 0);
    CHECK(QX_CloseFile(next) == QX_OK);
    CHECK(QX_CloseFile(INVALID_HANDLE_VALUE) == QX_ERR_CLOSE_FILE);
    CHECK(QX_CloseFile(nullptr) == QX_ERR_CLOSE_FILE);
}

namespace {
struct SelfCancel {
    Recorder recorder;
    void *file = nullptr;
    volatile LONG calls = 0;
};
void CancelOwnHandle(int, size_t, void *user) {
    auto *s = static_cast<SelfCancel *>(user);
    if (InterlockedIncrement(&s->calls) == 2) {
        QX_CancelAsyncIO(s->file);
        s->recorder.Add({0, 0, 0, GetCurrentThreadId(), 0});
    }
}
} // namespace

TEST_CASE("async cancel: a callback may cancel its own handle; nothing follows") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"src", Pattern(64 * 4096));
    SelfCancel self;
    self.file = OpenFile(dir / L"src");
    std::string buffer(64 * 4096, '\0');
    SQxAsyncIO record = {0, &self, CancelOwnHandle};
    REQUIRE(QX_ReadFile(self.file, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
    REQUIRE(self.recorder.Wait());
    Sleep(100);
    CHECK(self.calls == 2);
    QX_CloseFile(self.file);
}

namespace {
struct Retire {
    Recorder recorder;
    HANDLE workerThread = nullptr;
};
void RememberWorker(int status, size_t transferred, void *user) {
    auto *r = static_cast<Retire *>(user);
    if (!r->workerThread) r->workerThread = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    r->recorder.Add({status, transferred, 0, GetCurrentThreadId(), 0});
}
} // namespace

TEST_CASE("async workers: an idle worker retires and the next submission starts a new one") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"src", Pattern(100));
    void *file = OpenFile(dir / L"src");
    char buffer[100];
    Retire first;
    SQxAsyncIO record = {0, &first, RememberWorker};
    REQUIRE(QX_ReadFile(file, buffer, 100, nullptr, &record) == QX_OK);
    REQUIRE(first.recorder.Wait());
    REQUIRE(first.workerThread != nullptr);
    // More than 20 idle cycles of at least a millisecond each, then the thread ends.
    CHECK(WaitForSingleObject(first.workerThread, 10000) == WAIT_OBJECT_0);

    Retire second;
    record.user = &second;
    REQUIRE(QX_ReadFile(file, buffer, 100, nullptr, &record) == QX_OK);
    REQUIRE(second.recorder.Wait());
    CHECK(second.recorder.Calls()[0].status == QX_OK);
    CHECK(WaitForSingleObject(second.workerThread, 0) == WAIT_TIMEOUT); // new and still alive here
    CloseHandle(first.workerThread);
    CloseHandle(second.workerThread);
    QX_CloseFile(file);
}

TEST_CASE("async stress: 64 concurrent copies of random sizes complete with one final report each") {
    TempDir dir;
    std::mt19937 random(42);
    const int kCopies = 64;
    std::vector<std::string> contents(kCopies);
    Recorder recorder;
    recorder.ExpectFinals(kCopies);
    std::vector<IoContext> contexts(kCopies);
    for (int i = 0; i < kCopies; ++i) {
        contents[static_cast<size_t>(i)] = Pattern(random() % (300 * 1024), static_cast<unsigned>(i));
        zxtest::WriteFileBytes(dir / (L"s" + std::to_wstring(i)), contents[static_cast<size_t>(i)]);
        contexts[static_cast<size_t>(i)] = {&recorder, i};
    }
    for (int i = 0; i < kCopies; ++i) {
        REQUIRE(QX_CopyFile((dir / (L"s" + std::to_wstring(i))).c_str(),
                            (dir / (L"t" + std::to_wstring(i))).c_str(), 0, nullptr, CopyCallback,
                            &contexts[static_cast<size_t>(i)]) == QX_OK);
    }
    REQUIRE(recorder.Wait(120000));
    Sleep(100);
    std::vector<int> finals(kCopies, 0);
    for (const Call &c : recorder.Calls()) {
        if (c.status == QX_IO_PENDING) continue;
        CHECK(c.status == QX_OK);
        ++finals[static_cast<size_t>(c.tag)];
        CHECK(c.count == contents[static_cast<size_t>(c.tag)].size());
    }
    for (int i = 0; i < kCopies; ++i) {
        CAPTURE(i);
        CHECK(finals[static_cast<size_t>(i)] == 1);
        CHECK(zxtest::ReadFileBytes(dir / (L"t" + std::to_wstring(i))) == contents[static_cast<size_t>(i)]);
    }
}

TEST_CASE("async move: across volumes with a callback the file is copied in the background") {
    std::wstring base = L"Z:\\dev\\shm";
    if (GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MESSAGE("no second file system (Z:\\dev\\shm); cross-volume move not exercised");
        return;
    }
    TempDir dir;
    std::wstring target = base + L"\\zxt-amove-" + std::to_wstring(GetCurrentProcessId());
    std::string bytes = Pattern(10000);
    zxtest::WriteFileBytes(dir / L"a", bytes);
    Recorder recorder;
    IoContext context = {&recorder, 0};
    REQUIRE(QX_MoveFile((dir / L"a").c_str(), target.c_str(), 0, nullptr, CopyCallback, &context) == QX_OK);
    REQUIRE(recorder.Wait());
    CHECK(recorder.Calls().back().status == QX_OK);
    CHECK(zxtest::Eventually([&] { return IsClosed(target); }));
    CHECK(zxtest::ReadFileBytes(target) == bytes);
    CHECK(zxtest::FileExists(dir / L"a"));
    DeleteFileW(target.c_str());
}

namespace {
struct SlowChunk {
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG calls = 0;
    volatile LONG chunkEnded = 0;
    volatile LONG cancelReturned = 0;
    volatile LONG late = 0;
    ~SlowChunk() { CloseHandle(entered); }
};
void SlowCallback(int, size_t, void *user) {
    auto *s = static_cast<SlowChunk *>(user);
    if (s->cancelReturned) InterlockedIncrement(&s->late);
    if (InterlockedIncrement(&s->calls) == 1) {
        SetEvent(s->entered);
        Sleep(300);
        InterlockedExchange(&s->chunkEnded, 1);
    }
}
} // namespace

TEST_CASE("async cancel: returns only after the chunk in progress ended, and nothing follows") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"src", Pattern(64 * 4096));
    void *file = OpenFile(dir / L"src");
    std::string buffer(64 * 4096, '\0');
    SlowChunk slow;
    SQxAsyncIO record = {0, &slow, SlowCallback};
    REQUIRE(QX_ReadFile(file, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
    REQUIRE(WaitForSingleObject(slow.entered, 30000) == WAIT_OBJECT_0);
    // The first callback sleeps inside its chunk while this thread cancels.
    CHECK(QX_CancelAsyncIO(file) == QX_OK);
    CHECK(slow.chunkEnded == 1);
    InterlockedExchange(&slow.cancelReturned, 1);
    Sleep(200);
    CHECK(slow.late == 0);
    CHECK(slow.calls == 1);
    QX_CloseFile(file);
}

TEST_CASE("async failures: a failing chunk reports -1002 or -1003 with the count reached") {
    // A pipe fails its second chunk once the other end is closed during the first callback.
    struct Breaker {
        Recorder recorder;
        HANDLE otherEnd = nullptr;
    };
    auto callback = [](int status, size_t transferred, void *user) {
        auto *b = static_cast<Breaker *>(user);
        b->recorder.Add({status, transferred, 0, GetCurrentThreadId(), 0});
        if (status == QX_IO_PENDING && b->otherEnd) {
            CloseHandle(b->otherEnd);
            b->otherEnd = nullptr;
        }
    };
    for (int write = 0; write < 2; ++write) {
        CAPTURE(write);
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        REQUIRE(CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
        std::string buffer(3 * 4096, 'p');
        Breaker breaker;
        SQxAsyncIO record = {0, &breaker, callback};
        if (write) {
            breaker.otherEnd = readEnd;
            REQUIRE(QX_WriteFile(writeEnd, buffer.data(), buffer.size(), nullptr, &record) == QX_OK);
        } else {
            DWORD put = 0;
            REQUIRE(WriteFile(writeEnd, buffer.data(), 4096, &put, nullptr));
            breaker.otherEnd = writeEnd;
            REQUIRE(QX_ReadFile(readEnd, &buffer[0], buffer.size(), nullptr, &record) == QX_OK);
        }
        REQUIRE(breaker.recorder.Wait());
        std::vector<Call> calls = breaker.recorder.Calls();
        REQUIRE(calls.size() == 2);
        CHECK(calls[0].status == QX_IO_PENDING);
        CHECK(calls[0].count == 4096);
        CHECK(calls[1].status == (write ? QX_ERR_WRITE_FILE : QX_ERR_READ_FILE));
        CHECK(calls[1].count == 4096);
        CloseHandle(write ? writeEnd : readEnd);
    }
}
