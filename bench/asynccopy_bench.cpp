// Copy throughput: QX_CopyFile synchronous and asynchronous against the system's CopyFileW,
// and 16 concurrent asynchronous copies. Run on demand: asynccopy_bench.exe [folder]
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
};

void OnProgress(int status, uint64_t, uint64_t, void *user) {
    auto *done = static_cast<Done *>(user);
    if (status == QX_IO_PENDING) return;
    if (status != QX_OK) InterlockedIncrement(&done->failures);
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

double AsyncCopies(const std::vector<std::wstring> &sources, const std::wstring &folder) {
    Done done = {CreateEventW(nullptr, TRUE, FALSE, nullptr), static_cast<LONG>(sources.size()), 0};
    bench::Stopwatch watch;
    for (size_t i = 0; i < sources.size(); ++i) {
        std::wstring target = folder + L"\\async-" + std::to_wstring(i) + L".bin";
        if (QX_CopyFile(sources[i].c_str(), target.c_str(), 0, nullptr, OnProgress, &done) != QX_OK)
            return -1;
    }
    WaitForSingleObject(done.event, INFINITE);
    double seconds = watch.Seconds();
    CloseHandle(done.event);
    return done.failures ? -1 : seconds;
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

    // Best of three rounds, the variants interleaved so that caches favour none of them.
    double system = 1e9, sync = 1e9, async = 1e9, concurrent = 1e9;
    int status = QX_OK;
    for (int round = 0; round < 3; ++round) {
        bench::Stopwatch watch;
        CopyFileW(source.c_str(), (folder + L"\\system.bin").c_str(), FALSE);
        system = std::min(system, watch.Seconds());

        watch.Restart();
        status |= QX_CopyFile(source.c_str(), (folder + L"\\sync.bin").c_str(), 0, nullptr, nullptr, nullptr);
        sync = std::min(sync, watch.Seconds());

        double a = AsyncCopies({source}, folder);
        double c = AsyncCopies(smalls, folder);
        if (a < 0 || c < 0) status = QX_ERR_FAILED;
        async = std::min(async, a);
        concurrent = std::min(concurrent, c);
    }

    std::printf("256 MiB CopyFileW:               %8.1f MB/s\n", mb / system);
    std::printf("256 MiB QX_CopyFile synchronous: %8.1f MB/s (%.2f x CopyFileW), status %d\n", mb / sync,
                system / sync, status);
    std::printf("256 MiB QX_CopyFile asynchronous:%8.1f MB/s (%.2f x CopyFileW)\n", mb / async,
                system / async);
    std::printf("16 x 16 MiB asynchronous:        %8.1f MB/s total (%.2f x CopyFileW)\n", 256.0 / concurrent,
                system / concurrent);

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
