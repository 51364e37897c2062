// Asynchronous transfers against the system's own primitives. The engine moves one 4,096-byte chunk
// per cycle, so its limit is a raw loop of the same 4,096-byte ReadFile / WriteFile pairs on one
// thread: at the files' current positions for a copy, at explicit offsets for the read and write
// requests. Also QX_CopyFile synchronous against CopyFileW, and 16 concurrent asynchronous copies
// with how evenly they share. Run on demand: asynccopy_bench.exe [folder]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

struct Done {
    HANDLE event;
    volatile LONG left;
    volatile LONG failures;
    bench::Stopwatch watch;
    std::vector<double> started;  // seconds from the start to each copy's submission
    std::vector<double> finished; // and to its final callback
};

struct Copy {
    Done *done;
    size_t index;
};

void OnProgress(int status, uint64_t, uint64_t, void *user) {
    auto *copy = static_cast<Copy *>(user);
    Done *done = copy->done;
    if (status == QX_IO_PENDING) return;
    if (status != QX_OK) InterlockedIncrement(&done->failures);
    done->finished[copy->index] = done->watch.Seconds();
    if (InterlockedDecrement(&done->left) == 0) SetEvent(done->event);
}

void MakeFile(const std::wstring &path, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 31 + 7);
    for (size_t done = 0; done < size; done += block.size()) {
        DWORD put = 0;
        WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &put, nullptr);
    }
    CloseHandle(file);
}

struct AsyncResult {
    double seconds = -1; // all copies, or -1 when one failed
    double fairness = 0; // the slowest copy's throughput over the fastest one's
};

AsyncResult AsyncCopies(const std::vector<std::wstring> &sources, const std::wstring &folder,
                        const wchar_t *prefix) {
    // Targets start absent: truncating last round's files would be timed with the submissions.
    for (size_t i = 0; i < sources.size(); ++i)
        DeleteFileW((folder + L"\\" + prefix + std::to_wstring(i) + L".bin").c_str());
    Done done;
    done.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done.left = static_cast<LONG>(sources.size());
    done.failures = 0;
    done.started.assign(sources.size(), 0.0);
    done.finished.assign(sources.size(), 0.0);
    std::vector<Copy> copies(sources.size());
    AsyncResult result;
    done.watch.Restart();
    for (size_t i = 0; i < sources.size(); ++i) {
        copies[i] = {&done, i};
        done.started[i] = done.watch.Seconds();
        std::wstring target = folder + L"\\" + prefix + std::to_wstring(i) + L".bin";
        if (QX_CopyFile(sources[i].c_str(), target.c_str(), 0, nullptr, OnProgress, &copies[i]) != QX_OK)
            return result;
    }
    WaitForSingleObject(done.event, INFINITE);
    const double seconds = done.watch.Seconds();
    CloseHandle(done.event);
    if (done.failures) return result;
    result.seconds = seconds;
    // Each copy's own time, from its submission to its final callback (all copies are the same size).
    std::vector<double> own(sources.size());
    for (size_t i = 0; i < own.size(); ++i)
        own[i] = done.finished[i] - done.started[i];
    const auto range = std::minmax_element(own.begin(), own.end());
    result.fairness = *range.second > 0 ? *range.first / *range.second : 0;
    return result;
}

struct Transfer {
    HANDLE event;
    volatile LONG status;
};

void OnTransfer(int status, size_t, void *user) {
    auto *t = static_cast<Transfer *>(user);
    if (status == QX_IO_PENDING) return;
    t->status = status;
    SetEvent(t->event);
}

// An asynchronous QX_ReadFile of the whole source, then an asynchronous QX_WriteFile of it into
// the target; seconds, or -1 on a failure.
double AsyncReadWrite(const std::wstring &source, const std::wstring &target, size_t size) {
    std::string bytes(size, '\0');
    Transfer t = {CreateEventW(nullptr, FALSE, FALSE, nullptr), QX_OK};
    SQxAsyncIO record = {};
    record.callback = OnTransfer;
    record.user = &t;
    bench::Stopwatch watch;
    HANDLE in =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool ok = QX_ReadFile(in, &bytes[0], size, nullptr, &record) == QX_OK;
    ok = ok && WaitForSingleObject(t.event, INFINITE) == WAIT_OBJECT_0 && t.status == QX_OK;
    ok = ok && QX_WriteFile(out, bytes.data(), size, nullptr, &record) == QX_OK;
    ok = ok && WaitForSingleObject(t.event, INFINITE) == WAIT_OBJECT_0 && t.status == QX_OK;
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(t.event);
    return ok ? watch.Seconds() : -1;
}

// The same work without the engine: the whole source in 4,096-byte positioned reads into one
// buffer, then the buffer in 4,096-byte positioned writes into the target (what the two requests of
// AsyncReadWrite move, chunk by chunk); seconds.
double RawReadWrite(const std::wstring &source, const std::wstring &target, size_t size) {
    std::string bytes(size, '\0');
    bench::Stopwatch watch;
    HANDLE in =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        for (uint64_t offset = 0; offset < size; offset += 4096) {
            OVERLAPPED at = {};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD moved = 0;
            char *chunk = &bytes[static_cast<size_t>(offset)];
            const bool ok =
                pass == 0 ? ReadFile(in, chunk, 4096, &moved, &at) : WriteFile(out, chunk, 4096, &moved, &at);
            if (!ok) break;
        }
    }
    CloseHandle(in);
    CloseHandle(out);
    return watch.Seconds();
}

// Submissions while workers are busy: count reads of one chunk each submitted while busy long reads
// run; microseconds per submission.
double SubmitWhileBusy(const std::wstring &source, int busy, int count) {
    std::vector<std::string> big(static_cast<size_t>(busy), std::string(size_t(16) << 20, '\0'));
    std::vector<char> small(static_cast<size_t>(count) * 4096);
    Transfer done = {CreateEventW(nullptr, TRUE, FALSE, nullptr), QX_OK};
    HANDLE in =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    for (std::string &b : big) {
        SQxAsyncIO record = {0, nullptr, nullptr};
        QX_ReadFile(in, &b[0], b.size(), nullptr, &record);
    }
    Sleep(20); // the long reads are under way
    bench::Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        SQxAsyncIO record = {static_cast<uint64_t>(i) * 4096, nullptr, nullptr};
        QX_ReadFile(in, &small[static_cast<size_t>(i) * 4096], 4096, nullptr, &record);
    }
    const double perSubmission = watch.Seconds() * 1e6 / count;
    QX_CloseFile(in); // drops what is still queued, waits for the chunks in progress
    CloseHandle(done.event);
    return perSubmission;
}

// One thread copying in 4,096-byte reads and writes, nothing else: positioned ones (what a read or
// write request moves per chunk) or at the files' current positions (what a copy request moves).
double RawChunkLoop(const std::wstring &source, const std::wstring &target, bool positioned) {
    bench::Stopwatch watch;
    HANDLE in =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    char chunk[4096];
    for (uint64_t offset = 0;; offset += sizeof chunk) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0, put = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &got, positioned ? &at : nullptr) || got == 0) break;
        if (!WriteFile(out, chunk, got, &put, positioned ? &at : nullptr) || got < sizeof chunk) break;
    }
    CloseHandle(in);
    CloseHandle(out);
    return watch.Seconds();
}

struct RawThread {
    std::wstring source, target;
    double seconds;
};

DWORD WINAPI RawThreadMain(void *arg) {
    auto *t = static_cast<RawThread *>(arg);
    t->seconds = RawChunkLoop(t->source, t->target, false);
    return 0;
}

// The same copies as plain threads running the raw loop side by side: how evenly the system itself
// shares the processors among them.
AsyncResult RawThreads(const std::vector<std::wstring> &sources, const std::wstring &folder) {
    std::vector<RawThread> threads(sources.size());
    std::vector<HANDLE> handles;
    for (size_t i = 0; i < sources.size(); ++i) {
        threads[i] = {sources[i], folder + L"\\rawthread-" + std::to_wstring(i) + L".bin", 0};
        DeleteFileW(threads[i].target.c_str());
    }
    bench::Stopwatch watch;
    for (RawThread &t : threads)
        handles.push_back(CreateThread(nullptr, 0, RawThreadMain, &t, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    AsyncResult result;
    result.seconds = watch.Seconds();
    for (HANDLE h : handles)
        CloseHandle(h);
    const auto range =
        std::minmax_element(threads.begin(), threads.end(),
                            [](const RawThread &a, const RawThread &b) { return a.seconds < b.seconds; });
    result.fairness = range.first->seconds / range.second->seconds;
    return result;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = argc > 1 ? argv[1] : std::wstring(temp) + L"zx-asynccopy-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    const size_t kBig = size_t(256) << 20, kSmall = size_t(16) << 20;
    const double mb = double(kBig) / (1 << 20);
    std::wstring source = folder + L"\\source.bin";
    MakeFile(source, kBig);

    std::vector<std::wstring> smalls;
    for (int i = 0; i < 16; ++i) {
        smalls.push_back(folder + L"\\small-" + std::to_wstring(i) + L".bin");
        MakeFile(smalls.back(), kSmall);
    }

    // Three rounds, the variants interleaved so that caches favour none of them; every ratio is
    // shown with its spread over the rounds.
    std::vector<double> system, raw, sync, async, concurrent, fairness, readWrite, rawReadWrite,
        rawConcurrent, rawFairness;
    int status = QX_OK;
    for (int round = 0; round < 3; ++round) {
        for (const wchar_t *name :
             {L"\\system.bin", L"\\raw.bin", L"\\sync.bin", L"\\readwrite.bin", L"\\rawreadwrite.bin"})
            DeleteFileW((folder + name).c_str());
        bench::Stopwatch watch;
        CopyFileW(source.c_str(), (folder + L"\\system.bin").c_str(), FALSE);
        system.push_back(watch.Seconds());
        raw.push_back(RawChunkLoop(source, folder + L"\\raw.bin", false));
        watch.Restart();
        status |= QX_CopyFile(source.c_str(), (folder + L"\\sync.bin").c_str(), 0, nullptr, nullptr, nullptr);
        sync.push_back(watch.Seconds());
        const AsyncResult a = AsyncCopies({source}, folder, L"async-");
        const AsyncResult c = AsyncCopies(smalls, folder, L"concurrent-");
        const AsyncResult t = RawThreads(smalls, folder);
        rawConcurrent.push_back(t.seconds);
        rawFairness.push_back(t.fairness);
        // The read and write requests and the same chunks without the engine, in both orders.
        const bool engineFirst = round % 2 == 0;
        double rw = 0, rawRw = 0;
        if (engineFirst) rw = AsyncReadWrite(smalls[1], folder + L"\\readwrite.bin", kSmall);
        rawRw = RawReadWrite(smalls[1], folder + L"\\rawreadwrite.bin", kSmall);
        if (!engineFirst) rw = AsyncReadWrite(smalls[1], folder + L"\\readwrite.bin", kSmall);
        if (a.seconds < 0 || c.seconds < 0 || rw < 0) status = QX_ERR_FAILED;
        async.push_back(a.seconds);
        readWrite.push_back(rw);
        rawReadWrite.push_back(rawRw);
        concurrent.push_back(c.seconds);
        fairness.push_back(c.fairness);
    }
    // Ratios of each round (reference time over ours: above 1 is faster than the reference).
    auto ratios = [](const std::vector<double> &reference, const std::vector<double> &ours) {
        std::vector<double> r;
        for (size_t i = 0; i < ours.size(); ++i)
            r.push_back(reference[i] / ours[i]);
        return r;
    };
    auto spread = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        char text[96];
        std::snprintf(text, sizeof text, "%.2f x (rounds %.2f / %.2f / %.2f)", v[1], v[0], v[1], v[2]);
        return std::string(text);
    };
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    const double smallMb = double(kSmall) / (1 << 20);
    std::printf("256 MiB CopyFileW:                 %8.1f MB/s\n", mb / best(system));
    std::printf("256 MiB QX_CopyFile synchronous:   %8.1f MB/s, %s CopyFileW, status %d\n", mb / best(sync),
                spread(ratios(system, sync)).c_str(), status);
    std::printf("256 MiB raw 4,096-byte loop:       %8.1f MB/s\n", mb / best(raw));
    std::printf("256 MiB QX_CopyFile asynchronous:  %8.1f MB/s, %s the raw loop\n", mb / best(async),
                spread(ratios(raw, async)).c_str());
    std::printf(
        "16 x 16 MiB asynchronous:          %8.1f MB/s total, %s the raw loop; slowest copy %.2f x the "
        "fastest\n",
        256.0 / best(concurrent), spread(ratios(raw, concurrent)).c_str(), fairness.back());
    std::printf("16 x 16 MiB raw loops on 16 threads: %7.1f MB/s total; slowest thread %.2f x the fastest\n",
                256.0 / best(rawConcurrent), rawFairness.back());
    std::printf("16 MiB raw positioned reads, then writes: %6.1f MB/s\n", smallMb / best(rawReadWrite));
    std::printf("16 MiB async read, then write:     %8.1f MB/s, %s the raw positioned chunks\n",
                smallMb / best(readWrite), spread(ratios(rawReadWrite, readWrite)).c_str());
    for (int busy : {1, 4, 16, 64})
        std::printf("submitting 200 one-chunk reads while %2d long reads run: %8.1f us each\n", busy,
                    SubmitWhileBusy(smalls[2], busy, 200));

    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*.bin").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((folder + L"\\" + data.cFileName).c_str());
        while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
    return 0;
}
