// Tracing windows, driven as a developer watching a trace would see them: windows per id, titles,
// columns, closed windows, and bad input. Each scenario runs in a process of its own (the
// framework of DiagOutputWnd is process-wide) and looks at its own windows.
#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

BOOL CALLBACK CollectTracingWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && zxtest::ClassName(window) == L"ZENTRIX_DEBUG_WINDOW")
        reinterpret_cast<std::vector<HWND> *>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> TracingWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectTracingWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WindowTitled(const std::wstring &title, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    do {
        for (HWND window : TracingWindows())
            if (zxtest::WindowText(window) == title) return window;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

// The rows of a window's list view, each a list of its column texts.
std::vector<std::vector<std::wstring>> Rows(HWND frame) {
    std::vector<std::vector<std::wstring>> rows;
    HWND list = FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr);
    if (!list) return rows;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::vector<std::wstring> row;
        for (int k = 0; k < columns; ++k) {
            wchar_t text[512] = L"";
            LVITEMW item = {};
            item.iSubItem = k;
            item.pszText = text;
            item.cchTextMax = 512;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            row.push_back(text);
        }
        while (!row.empty() && row.back().empty())
            row.pop_back();
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::vector<std::wstring>> RowsWhen(HWND frame, size_t count, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    std::vector<std::vector<std::wstring>> rows;
    do {
        rows = Rows(frame);
        if (rows.size() >= count) break;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return rows;
}

int ColumnWidth(HWND frame, int column) {
    HWND list = FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr);
    return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

} // namespace

ZXTEST_CHILD(tracing_windows_route_by_id) {
    DiagOutputWnd(nullptr, 0);
    DiagOutputWnd(nullptr, 0); // kept, not made again
    ZXTEST_EXPECT(TracingWindows().size() == 1);
    HWND first = WindowTitled(L"Tracing Window ID: 0");
    ZXTEST_EXPECT(first != nullptr);

    // The first record decides the first window's id.
    DiagOutputExW(L"|wndid:5 first\tpart");
    HWND five = WindowTitled(L"Tracing Window ID: 5");
    ZXTEST_EXPECT(five == first);
    auto rows = RowsWhen(five, 1);
    ZXTEST_EXPECT(rows.size() == 1);
    ZXTEST_EXPECT((rows[0] == std::vector<std::wstring>{L"0", L" first", L"part  "})); // CR LF as blanks

    // Text of other software has no tag and is shown nowhere; a record for another id opens a window.
    OutputDebugStringW(L"no tag at all");
    DiagOutputExW(L"|wndid:7 a\tb\tc\td\te\tf\tg\th\ti");
    HWND seven = WindowTitled(L"Tracing Window ID: 7");
    ZXTEST_EXPECT(seven != nullptr && seven != five);
    rows = RowsWhen(seven, 1);
    ZXTEST_EXPECT(rows.size() == 1);
    ZXTEST_EXPECT(rows[0].size() == 10); // the number and nine parts: two more columns
    ZXTEST_EXPECT(ColumnWidth(seven, 8) == 150 && ColumnWidth(seven, 9) == 150);
    ZXTEST_EXPECT(ColumnWidth(seven, 0) == 50 && ColumnWidth(seven, 3) == 100);
    ZXTEST_EXPECT(TracingWindows().size() == 2);
    ZXTEST_EXPECT(Rows(five).size() == 1);

    // The user closes window 7: its lines are dropped and it does not come back.
    PostMessageW(seven, WM_CLOSE, 0, 0);
    for (int i = 0; i < 250 && IsWindow(seven); ++i)
        Sleep(20);
    ZXTEST_EXPECT(!IsWindow(seven));
    DiagOutputExW(L"|wndid:7 dropped");
    DiagOutputExW(L"|wndid:5 second");
    ZXTEST_EXPECT(RowsWhen(five, 2).size() == 2);
    ZXTEST_EXPECT(WindowTitled(L"Tracing Window ID: 7", 300) == nullptr);
    ZXTEST_EXPECT(TracingWindows().size() == 1);
    DiagOutputWnd(nullptr, 1); // made again: one new window for id 0
    ZXTEST_EXPECT(WindowTitled(L"Tracing Window ID: 0") != nullptr);
    ZXTEST_EXPECT(TracingWindows().size() == 1);
    return 0;
}

ZXTEST_CHILD(tracing_windows_bad_input) {
    DiagOutputWnd(nullptr, 0);
    DiagOutputExW(L"|wndid:0 start");
    HWND zero = WindowTitled(L"Tracing Window ID: 0");
    ZXTEST_EXPECT(zero != nullptr);
    ZXTEST_EXPECT(RowsWhen(zero, 1).size() == 1);

    DiagOutputExW(L"|wndid:12345678901 eleven digits");
    DiagOutputExW(L"|wndid:42glued");
    DiagOutputExW(L"|wndid:-3 negative");
    DiagOutputExW(L"|wndid:0 %s", std::wstring(5000, L'\t').c_str());
    for (int i = 0; i < 2000; ++i)
        DiagOutputExW(L"|wndid:%d flood", 1000 + i);
    OutputDebugStringW(L"no tag");
    // The flood ends when the window count stops growing.
    size_t windows = 0;
    for (int stable = 0; stable < 10;) {
        Sleep(100);
        const size_t now = TracingWindows().size();
        stable = now == windows ? stable + 1 : 0;
        windows = now;
    }
    ZXTEST_EXPECT(windows <= 256);
    ZXTEST_EXPECT(WindowTitled(L"Tracing Window ID: 12345678901", 100) == nullptr);
    HWND glued = WindowTitled(L"Tracing Window ID: 42");
    ZXTEST_EXPECT(glued != nullptr);
    ZXTEST_EXPECT(RowsWhen(glued, 1)[0][1] == L"glued  ");
    ZXTEST_EXPECT(WindowTitled(L"Tracing Window ID: -3") != nullptr);
    // Window 0 still takes new lines (within a deadline that only a hang misses; the speed is the
    // benchmark's).
    DiagOutputExW(L"|wndid:0 final");
    // The record of 5,000 tabs (5,011 characters) came in five pieces of at most 1,023 characters,
    // each after the first with the tag; its parts beyond the 64th column joined the last one.
    const auto rows = RowsWhen(zero, 7, 30000);
    ZXTEST_EXPECT(rows.size() == 7);
    ZXTEST_EXPECT(rows[1].size() <= 64);
    ZXTEST_EXPECT(rows.back()[1] == L" final  ");
    return 0;
}

TEST_CASE("tracing windows: one window per id, the first retitled, columns, closed windows and bad input") {
    zxtest::CloseDebugChannel(); // the child process receives the channel
    for (const char *scenario : {"tracing_windows_route_by_id", "tracing_windows_bad_input"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario, 300000) == 0);
    }
}
