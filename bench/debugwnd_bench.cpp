// 2,000 lines of 8 parts shown in a tracing window, against batch insertion of the same lines into
// a bare list view on a thread of its own, in one run.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
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

DWORD WINAPI BareThread(void *arg) {
    auto *bare = static_cast<Bare *>(arg);
    HWND frame = CreateWindowExW(0, WC_STATICW, L"bare", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    bare->list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 800, 100,
                                 frame, nullptr, nullptr, nullptr);
    for (int k = 0; k < 8; ++k) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 100;
        SendMessageW(bare->list, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&column));
    }
    bare->thread = GetCurrentThreadId();
    SetEvent(bare->ready);
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
            InvalidateRect(frame, nullptr, FALSE);
            delete rows;
            SetEvent(bare->done);
        }
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int wmain() {
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
    return 0;
}
