// A reader's commands over a full tracing window (100,000 rows of 8 columns): Ctrl+F for a text
// that only the last row holds, a text that no row holds (the whole window searched, until the
// box says so), and Ctrl+S of every row, each timed from the key to its result, three rounds.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "testsupport/program.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kRows = 100000;

// A framework without the capture: the rows come straight from AddItem.
class Filled : public CDebugFramework {
public:
    Filled() { CreateDebugWindow(0); }
};

HWND OwnedDialog(HWND owner) {
    for (int i = 0; i < 3000; ++i) {
        for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
             window = FindWindowExW(nullptr, window, L"#32770", nullptr))
            if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == owner) return window;
        Sleep(1);
    }
    return nullptr;
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain() {
    Filled framework;
    for (int i = 0; i < kRows; ++i) {
        const std::wstring line = L"|wndid:0 \t" + std::to_wstring(i) +
                                  L"\tpart2\tpart3\tpart4\tpart5\tpart6\t" +
                                  (i == kRows - 1 ? L"needle" : L"part7") + L"\r\n";
        framework.AddItem(line.c_str());
    }
    HWND frame = FindWindowW(L"ZENTRIX_DEBUG_WINDOW", L"Tracing Window ID: 0");
    HWND list = frame ? FindWindowExW(frame, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    while (list && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) < kRows)
        Sleep(50);
    if (!list) return 1;
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"tracingview_bench.txt";

    std::vector<double> found, missing, saved;
    for (int round = 0; round < 3; ++round) {
        // From the top: the only match is the last row.
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
        zxtest::PressKeys(frame, {VK_CONTROL, 'F'});
        HWND find = OwnedDialog(frame);
        for (int i = 0; i < 5000 && !GetDlgItem(find, 0x480); ++i)
            Sleep(1);
        SetDlgItemTextW(find, 0x480, L"NEEDLE");
        bench::Stopwatch watch;
        Press(find, IDOK);
        while (SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) != kRows - 1)
            Sleep(1);
        found.push_back(watch.Seconds());

        SetDlgItemTextW(find, 0x480, L"nowhere");
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
        watch.Restart();
        Press(find, IDOK);
        HWND box = OwnedDialog(find);
        missing.push_back(watch.Seconds());
        Press(box, IDOK);
        Press(find, IDCANCEL);
        Sleep(200);

        DeleteFileW(path.c_str());
        zxtest::PressKeys(frame, {VK_CONTROL, 'S'});
        HWND save = OwnedDialog(frame);
        for (int i = 0; i < 5000 && !GetDlgItem(save, 0x47c); ++i) // made while the dialog opens
            Sleep(1);
        SetDlgItemTextW(save, 0x47c, path.c_str());
        watch.Restart();
        Press(save, IDOK);
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            Sleep(1);
        saved.push_back(watch.Seconds());
        Sleep(200);
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    std::printf("%d rows of 8 columns: find of the last row %.0f ms, a text not found %.0f ms, "
                "save %.0f ms (%lu bytes); medians of 3 rounds (%.0f-%.0f, %.0f-%.0f, %.0f-%.0f)\n",
                kRows, Median(found) * 1000, Median(missing) * 1000, Median(saved) * 1000, data.nFileSizeLow,
                *std::min_element(found.begin(), found.end()) * 1000,
                *std::max_element(found.begin(), found.end()) * 1000,
                *std::min_element(missing.begin(), missing.end()) * 1000,
                *std::max_element(missing.begin(), missing.end()) * 1000,
                *std::min_element(saved.begin(), saved.end()) * 1000,
                *std::max_element(saved.begin(), saved.end()) * 1000);
    DeleteFileW(path.c_str());
    return 0;
}
