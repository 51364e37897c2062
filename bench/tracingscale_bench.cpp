// Tracing windows at scale, against a bare list view in the same run:
//   close     how long a window of 100,000 rows takes to go after WM_CLOSE, against a bare window
//   paused    a window at its cap of 100,000 rows with a row selected, fed 10,000 records a second
//             for 5 s: the slowest answer to WM_NULL (SendMessageTimeout)
//   memory    private bytes per row of 100 characters: a tracing window, and a bare list view
//             that holds its texts itself
//   replay    zx_tracewatch reading a log of 10 ids x 100,000 records: the time until every window
//             holds its rows, the slowest answer of its windows meanwhile, and its peak memory
// Run on demand: tracingscale_bench.exe [CASE...] (all when none is named).
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "testsupport/counters.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kRows = 100000;

// A framework without the capture: the rows come straight from AddItem.
class Fed : public CDebugFramework {
public:
    Fed() { CreateDebugWindow(0); }
};

std::wstring Record(int i, int id = 0) {
    // About 100 characters in the window: the number, then seven columns.
    wchar_t text[160];
    swprintf(text, 160,
             L"|wndid:%d \t12:34:56.789\t%5d\t0x%08x\t%6.2f ms\tcamera\tFrame %d acquired at stage "
             L"1200, 340\tok",
             id, i % 100000, i * 2654435761u, (i % 1000) / 7.0, i);
    return text;
}

HWND FrameTitled(const wchar_t *title) {
    return FindWindowW(L"ZENTRIX_DEBUG_WINDOW", title);
}

HWND ListOf(HWND frame) {
    return frame ? FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
}

int Rows(HWND list) {
    DWORD_PTR count = 0;
    return list && SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count)
               ? static_cast<int>(count)
               : 0;
}

void Fill(Fed &framework, int count) {
    for (int i = 0; i < count; ++i)
        framework.AddItem(Record(i).c_str());
    HWND list = ListOf(FrameTitled(L"Tracing Window ID: 0"));
    while (Rows(list) < std::min(count, kRows))
        Sleep(20);
}

struct Ping {
    HWND window;
    volatile LONG going = 1;
    DWORD slowest = 0;
};

DWORD WINAPI Pinger(void *p) {
    Ping *ping = static_cast<Ping *>(p);
    while (ping->going) {
        const DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(ping->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        ping->slowest = std::max(ping->slowest, GetTickCount() - start);
        Sleep(10);
    }
    return 0;
}

// The slowest answer to WM_NULL among pings every 10 ms while work() goes on.
template <class Work> DWORD Slowest(HWND window, Work work) {
    Ping ping{window};
    HANDLE thread = CreateThread(nullptr, 0, Pinger, &ping, 0, nullptr);
    work();
    InterlockedExchange(&ping.going, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return ping.slowest;
}

// A bare window with an empty list view on a thread of its own, as the tracing windows have.
DWORD WINAPI BareThread(void *ready) {
    HWND frame = CreateWindowExW(WS_EX_OVERLAPPEDWINDOW, WC_STATICW, L"bare",
                                 WS_POPUP | WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 800, 100, frame, nullptr,
                    nullptr, nullptr);
    *static_cast<HWND *>(ready) = frame;
    MSG message;
    while (IsWindow(frame) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_APP) DestroyWindow(frame);
        DispatchMessageW(&message);
    }
    return 0;
}

double CloseSeconds(HWND frame, bool bare) {
    bench::Stopwatch watch;
    if (bare)
        PostMessageW(frame, WM_APP, 0, 0); // a static control ignores WM_CLOSE: its thread destroys it
    else
        PostMessageW(frame, WM_CLOSE, 0, 0);
    while (IsWindow(frame))
        Sleep(1);
    return watch.Seconds();
}

void CaseClose() {
    volatile HWND bareFrame = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, BareThread, const_cast<HWND *>(&bareFrame), 0, nullptr);
    while (!bareFrame)
        Sleep(1);
    Sleep(500);
    const double bare = CloseSeconds(bareFrame, true);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    Fed framework;
    Fill(framework, kRows);
    Sleep(500);
    const double full = CloseSeconds(FrameTitled(L"Tracing Window ID: 0"), false);
    std::printf("close: a window of %d rows %.0f ms, a bare window %.0f ms (goal: within 100 ms of it)\n",
                kRows, full * 1000, bare * 1000);
}

void CasePaused() {
    Fed framework;
    Fill(framework, kRows);
    HWND frame = FrameTitled(L"Tracing Window ID: 0");
    HWND list = ListOf(frame);
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 50000, reinterpret_cast<LPARAM>(&item)); // paused, a row selected
    int fed = 0;
    const DWORD slowest = Slowest(frame, [&] {
        bench::Stopwatch watch;
        while (watch.Seconds() < 5.0) {
            const int due = static_cast<int>(watch.Seconds() * 10000);
            for (; fed < due; ++fed)
                framework.AddItem(Record(kRows + fed).c_str());
            Sleep(1);
        }
    });
    const int selected =
        static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    std::printf("paused at the cap: %d records at 10,000 a second, slowest answer %lu ms (goal: 100 ms); the "
                "selected row moved from 50000 to %d with its record\n",
                fed, slowest, selected);
}

void CaseMemory() {
    const long long before = zxtest::PrivateBytes();
    {
        Fed framework;
        Fill(framework, kRows);
        Sleep(500);
        const long long after = zxtest::PrivateBytes();
        std::printf("memory: a tracing window %.0f bytes per row of 100 characters (goal: 400)\n",
                    double(after - before) / kRows);
    }
    // The reference: a list view that keeps every text itself.
    HWND frame = CreateWindowExW(0, WC_STATICW, L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 800, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 800, 100, frame, nullptr,
                                nullptr, nullptr);
    for (int k = 0; k < 8; ++k) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 100;
        SendMessageW(list, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&column));
    }
    const long long bareBefore = zxtest::PrivateBytes();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < kRows; ++i) {
        std::wstring row = Record(i).substr(9);
        std::vector<std::wstring> parts(1);
        for (wchar_t c : row)
            if (c == L'\t')
                parts.emplace_back();
            else
                parts.back() += c;
        for (int k = 0; k < static_cast<int>(parts.size()) && k < 8; ++k) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.iSubItem = k;
            item.pszText = &parts[static_cast<size_t>(k)][0];
            SendMessageW(list, k == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, k == 0 ? 0 : i,
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    std::printf("memory: a bare list view holding its texts %.0f bytes per row\n",
                double(zxtest::PrivateBytes() - bareBefore) / kRows);
    DestroyWindow(frame);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto *found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>> *>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32] = L"";
    if (process == found->first && GetClassNameW(window, name, 32) &&
        wcscmp(name, L"ZENTRIX_DEBUG_WINDOW") == 0)
        found->second.push_back(window);
    return TRUE;
}

void CaseReplay() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"tracingscale_bench.log";
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::string bytes;
        for (int i = 0; i < 10 * kRows; ++i) {
            const std::wstring record = Record(i / 10, i % 10);
            bytes += "Thu Dec 10 12:34:56 2026 ***** ";
            bytes.append(record.begin(), record.end());
            bytes += "\r\n";
            if (bytes.size() > (1 << 20) || i == 10 * kRows - 1) {
                DWORD put = 0;
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
                bytes.clear();
            }
        }
        CloseHandle(file);
    }
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring viewer(self);
    viewer = viewer.substr(0, viewer.find_last_of(L'\\') + 1) + L"zx_tracewatch.exe";
    std::wstring line = L"\"" + viewer + L"\" \"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    bench::Stopwatch watch;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    std::pair<DWORD, std::vector<HWND>> windows{info.dwProcessId, {}};
    DWORD slowest = 0;
    double done = 0;
    size_t peak = 0;
    for (;;) {
        windows.second.clear();
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
        int full = 0;
        for (HWND window : windows.second) {
            const DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            slowest = std::max(slowest, GetTickCount() - start);
            full += Rows(ListOf(window)) >= kRows ? 1 : 0;
        }
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(info.hProcess, &counters, sizeof counters))
            peak = std::max(peak, static_cast<size_t>(counters.PeakWorkingSetSize));
        if (full >= 10) {
            done = watch.Seconds();
            break;
        }
        if (watch.Seconds() > 600) break;
        Sleep(50);
    }
    for (HWND window : windows.second)
        PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    DeleteFileW(path.c_str());
    std::printf("replay: 10 ids x %d records in %.1f s (goal: 10 s), slowest answer of a window %lu ms, peak "
                "resident %.0f MiB (goal: 1 GiB)\n",
                kRows, done, slowest, peak / 1048576.0);
}

bool Wanted(int argc, wchar_t **argv, const wchar_t *name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return true;
    return false;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (Wanted(argc, argv, L"close")) CaseClose();
    if (Wanted(argc, argv, L"paused")) CasePaused();
    if (Wanted(argc, argv, L"memory")) CaseMemory();
    if (Wanted(argc, argv, L"replay")) CaseReplay();
    return 0;
}
