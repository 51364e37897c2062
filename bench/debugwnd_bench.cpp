// 2,000 lines of 8 parts shown in a tracing window, against batch insertion of the same lines into
// a bare list view on a thread of its own, in one run. Then a writer process at 1,000, 3,000 and
// 10,000 records a second for 3 s: when the window shows every row after the last write, how
// many rows a second it shows, and how soon it handles WM_CLOSE, against a bare list view that a
// capture callback feeds each record as it arrives.
#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kLines = 2000;

std::wstring Line(int i) {
    return L"|wndid:0 \t" + std::to_wstring(i) + L"\tpart2\tpart3\tpart4\tpart5\tpart6\tpart7";
}

HWND ListOf(const wchar_t *title) {
    HWND frame = FindWindowW(L"ZENTRIX_DEBUG_WINDOW", title);
    return frame ? FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
}

int Rows(HWND list) {
    return list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

// The reference: a list view on its own thread, filled in one batch with drawing off.
struct Bare {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND list = nullptr;
    DWORD thread = 0;
};

// On the reference's own thread: a frame with a list view of columns of width each; then ready.
void OpenBare(Bare *bare, int columns, int width) {
    HWND frame = CreateWindowExW(0, WC_STATICW, L"bare", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    bare->list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 800, 100,
                                 frame, nullptr, nullptr, nullptr);
    for (int k = 0; k < columns; ++k) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = width;
        SendMessageW(bare->list, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&column));
    }
    bare->thread = GetCurrentThreadId();
    SetEvent(bare->ready);
}

DWORD WINAPI BareThread(void *arg) {
    auto *bare = static_cast<Bare *>(arg);
    OpenBare(bare, 8, 100);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_APP) {
            auto *rows = reinterpret_cast<std::vector<std::vector<std::wstring>> *>(message.lParam);
            SendMessageW(bare->list, WM_SETREDRAW, FALSE, 0);
            int index = 0;
            for (auto &row : *rows) {
                for (int k = 0; k < static_cast<int>(row.size()); ++k) {
                    LVITEMW item = {};
                    item.mask = LVIF_TEXT;
                    item.iItem = index;
                    item.iSubItem = k;
                    item.pszText = &row[static_cast<size_t>(k)][0];
                    SendMessageW(bare->list, k == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, k == 0 ? 0 : index,
                                 reinterpret_cast<LPARAM>(&item));
                }
                ++index;
            }
            SendMessageW(bare->list, WM_SETREDRAW, TRUE, 0);
            SendMessageW(bare->list, LVM_ENSUREVISIBLE, index - 1, FALSE);
            InvalidateRect(GetParent(bare->list), nullptr, FALSE);
            delete rows;
            SetEvent(bare->done);
        }
        DispatchMessageW(&message);
    }
    return 0;
}

// The writer process: count records at rate records a second.
int Write(int rate, int count) {
    bench::Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        while (watch.Seconds() * rate < i)
            Sleep(0);
        DiagOutputExW(L"|wndid:5 \tsteady\t%d\tpart3\tpart4", i);
    }
    return 0;
}

// The bare list view of the steady run: each record inserted as it arrives.
Bare *g_steady = nullptr;
void ToBare(const wchar_t *text) {
    if (wcsstr(text, L"steady"))
        PostThreadMessageW(g_steady->thread, WM_APP + 1, 0, reinterpret_cast<LPARAM>(_wcsdup(text)));
}

DWORD WINAPI SteadyBareThread(void *arg) {
    auto *bare = static_cast<Bare *>(arg);
    OpenBare(bare, 1, 300);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_APP + 1) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = INT_MAX;
            item.pszText = reinterpret_cast<wchar_t *>(message.lParam);
            SendMessageW(bare->list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            const int count = static_cast<int>(SendMessageW(bare->list, LVM_GETITEMCOUNT, 0, 0));
            SendMessageW(bare->list, LVM_ENSUREVISIBLE, count - 1, FALSE);
            free(reinterpret_cast<void *>(message.lParam));
        }
        DispatchMessageW(&message);
    }
    return 0;
}

HANDLE StartWriter(int rate, int count) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t line[MAX_PATH + 64];
    swprintf(line, MAX_PATH + 64, L"\"%ls\" write %d %d", self, rate, count);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Waits until rows(list) reaches count (60 s at most); seconds since watch started.
double WhenRows(HWND list, int count, const bench::Stopwatch &watch) {
    while (Rows(list) < count && watch.Seconds() < 60.0)
        Sleep(5);
    return watch.Seconds();
}

void Steady(int rate) {
    const int count = rate * 3;
    // The tracing window.
    CDebugFramework *framework = new CDebugFramework(static_cast<HWND>(nullptr));
    bench::Stopwatch watch;
    HANDLE writer = StartWriter(rate, count);
    HWND frame = nullptr;
    while (!frame && watch.Seconds() < 30.0) {
        frame = FindWindowW(L"ZENTRIX_DEBUG_WINDOW", L"Tracing Window ID: 5");
        Sleep(5);
    }
    HWND list = frame ? FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    WaitForSingleObject(writer, INFINITE);
    CloseHandle(writer);
    const double lastWrite = watch.Seconds();
    const double shown = WhenRows(list, count, watch);
    bench::Stopwatch closing;
    PostMessageW(frame, WM_CLOSE, 0, 0);
    while (IsWindow(frame) && closing.Seconds() < 60.0)
        Sleep(1);
    const double closed = closing.Seconds();
    delete framework;

    // The bare list view, fed by a capture callback.
    Bare bare;
    g_steady = &bare;
    CreateThread(nullptr, 0, SteadyBareThread, &bare, 0, nullptr);
    WaitForSingleObject(bare.ready, INFINITE);
    double bareShown = 0.0, bareLast = 0.0;
    {
        CQxDebugOutputCapture capture(ToBare);
        watch.Restart();
        writer = StartWriter(rate, count);
        WaitForSingleObject(writer, INFINITE);
        CloseHandle(writer);
        bareLast = watch.Seconds();
        bareShown = WhenRows(bare.list, count, watch);
    }
    std::printf("writer at %5d records/s: tracing window shows all %d rows %.0f ms after the last write "
                "(%.0f rows/s), "
                "handles WM_CLOSE in %.0f ms; bare list view %.0f ms after (%.0f rows/s)\n",
                rate, count, (shown - lastWrite) * 1000.0, count / shown, closed * 1000.0,
                (bareShown - bareLast) * 1000.0, count / bareShown);
    PostThreadMessageW(bare.thread, WM_QUIT, 0, 0);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc == 4 && wcscmp(argv[1], L"write") == 0) return Write(_wtoi(argv[2]), _wtoi(argv[3]));
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    // The tracing window: the lines go to the framework as the adder would hand them over, and one
    // captured record makes the adder send them to the window.
    CDebugFramework *framework = new CDebugFramework(static_cast<HWND>(nullptr));
    HWND list = ListOf(L"Tracing Window ID: 0");
    bench::Stopwatch watch;
    for (int i = 0; i < kLines; ++i)
        framework->AddItem(Line(i).c_str());
    OutputDebugStringW(L"|wndid:0 end");
    // Every look at the row count is a message to the window's thread: look every 2 ms, not every 1.
    while (Rows(list) < kLines + 1)
        Sleep(2);
    const double ours = watch.Seconds();
    delete framework;

    Bare bare;
    CreateThread(nullptr, 0, BareThread, &bare, 0, nullptr);
    WaitForSingleObject(bare.ready, INFINITE);
    watch.Restart();
    auto *rows = new std::vector<std::vector<std::wstring>>;
    for (int i = 0; i < kLines; ++i)
        rows->push_back(
            {std::to_wstring(i), L" ", std::to_wstring(i), L"part2", L"part3", L"part4", L"part5", L"part6"});
    PostThreadMessageW(bare.thread, WM_APP, 0, reinterpret_cast<LPARAM>(rows));
    WaitForSingleObject(bare.done, INFINITE);
    const double raw = watch.Seconds();
    std::printf(
        "%d lines of 8 parts: tracing window %.3f s (%.0f lines/s), bare list view %.3f s (%.0f lines/s), "
        "ratio %.2f\n",
        kLines, ours, kLines / ours, raw, kLines / raw, raw / ours);
    for (int rate : {1000, 3000, 10000})
        Steady(rate);
    return 0;
}
