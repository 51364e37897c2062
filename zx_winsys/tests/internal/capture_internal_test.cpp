// The capture through its seams: the warning of a second receiver, and a full queue that counts
// the texts it had to drop.
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/capture.h"
#include "zx_winsys/qx_capture.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

std::wstring g_boxText, g_boxTitle;
int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR title, UINT) {
    g_boxText = text;
    g_boxTitle = title;
    return IDOK;
}

CRITICAL_SECTION g_lock;
std::vector<std::wstring> g_texts;
HANDLE g_release = nullptr;
HANDLE g_entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
void Collect(const wchar_t *text) {
    SetEvent(g_entered);
    WaitForSingleObject(g_release, 30000);
    EnterCriticalSection(&g_lock);
    g_texts.push_back(text);
    LeaveCriticalSection(&g_lock);
}

size_t Count() {
    EnterCriticalSection(&g_lock);
    const size_t n = g_texts.size();
    LeaveCriticalSection(&g_lock);
    return n;
}

} // namespace

ZXTEST_CHILD(capture_second_receiver_warns) {
    qx::g_captureMessageBox = RecordBox;
    InitializeCriticalSection(&g_lock);
    g_release = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    CQxDebugOutputCapture first(Collect);
    {
        COutDbgStringSync second(false); // not silent: the warning, and nothing kept
        ZXTEST_EXPECT(g_boxText == L"There is tracing logger already running...");
        ZXTEST_EXPECT(g_boxTitle == L"zentrix Tracing");
    }
    OutputDebugStringW(L"still captured");
    for (int i = 0; i < 500 && Count() == 0; ++i)
        Sleep(10);
    ZXTEST_EXPECT(Count() == 1);
    return 0;
}

ZXTEST_CHILD(capture_full_queue_counts_drops) {
    qx::g_maxQueuedTexts = 5;
    InitializeCriticalSection(&g_lock);
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CQxDebugOutputCapture capture(Collect);
    // The consumer holds the first text; five more wait, twenty find no room.
    OutputDebugStringA("text 0");
    ZXTEST_EXPECT(WaitForSingleObject(g_entered, 10000) == WAIT_OBJECT_0);
    for (int i = 1; i < 26; ++i)
        OutputDebugStringA(("text " + std::to_string(i)).c_str());
    SetEvent(g_release);
    OutputDebugStringA("later");
    for (int i = 0; i < 500 && Count() < 8; ++i)
        Sleep(10);
    EnterCriticalSection(&g_lock);
    const std::vector<std::wstring> texts = g_texts;
    LeaveCriticalSection(&g_lock);
    ZXTEST_EXPECT(texts.size() == 8);
    ZXTEST_EXPECT(texts[0] == L"text 0");
    ZXTEST_EXPECT(texts[5] == L"text 5");
    ZXTEST_EXPECT(texts[6] == L"[20 texts dropped]");
    ZXTEST_EXPECT(texts[7] == L"later");
    return 0;
}

// Tracing windows whose framework holds its first text of interest while the queue overflows.
struct Holding : CDebugFramework {
    volatile LONG hold = 0;
    Holding() : CDebugFramework(static_cast<HWND>(nullptr)) {}
    ~Holding() override { Stop(); }
    void AddItem(const wchar_t *text) override {
        if (InterlockedExchange(&hold, 0)) {
            SetEvent(g_entered);
            WaitForSingleObject(g_release, 30000);
        }
        CDebugFramework::AddItem(text);
    }
};

// The rows of the tracing window titled title that hold text.
int RowsHolding(const wchar_t *title, const std::wstring &text) {
    HWND list = FindWindowExW(FindWindowW(L"ZENTRIX_DEBUG_WINDOW", title), nullptr, WC_LISTVIEWW, nullptr);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    int found = 0;
    for (int row = 0; row < count; ++row) {
        wchar_t cell[256] = L"";
        LVITEMW item = {};
        item.iSubItem = 1;
        item.pszText = cell;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        found += std::wstring(cell).find(text) != std::wstring::npos ? 1 : 0;
    }
    return found;
}

ZXTEST_CHILD(capture_drop_notice_reaches_every_window) {
    qx::g_maxQueuedTexts = 5;
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Holding framework;
    OutputDebugStringW(L"|wndid:1 one");
    OutputDebugStringW(L"|wndid:2 two");
    ZXTEST_EXPECT(zxtest::Eventually([] {
        return RowsHolding(L"Tracing Window ID: 1", L"one") == 1 &&
               RowsHolding(L"Tracing Window ID: 2", L"two") == 1;
    }));
    InterlockedExchange(&framework.hold, 1);
    OutputDebugStringW(L"|wndid:1 held");
    ZXTEST_EXPECT(WaitForSingleObject(g_entered, 10000) == WAIT_OBJECT_0);
    for (int i = 1; i < 26; ++i) // five wait, twenty find no room
        OutputDebugStringW((L"|wndid:2 text " + std::to_wstring(i)).c_str());
    SetEvent(g_release);
    OutputDebugStringW(L"|wndid:1 later");
    // The count of what the capture dropped shows in both windows: neither could tell it lost nothing.
    ZXTEST_EXPECT(zxtest::Eventually([] {
        return RowsHolding(L"Tracing Window ID: 1", L"[20 texts dropped]") == 1 &&
               RowsHolding(L"Tracing Window ID: 2", L"[20 texts dropped]") == 1 &&
               RowsHolding(L"Tracing Window ID: 1", L"later") == 1;
    }));
    return 0;
}

TEST_CASE("capture seams: a second receiver's warning, and a full queue that counts what it drops") {
    for (const char *scenario : {"capture_second_receiver_warns", "capture_full_queue_counts_drops",
                                 "capture_drop_notice_reaches_every_window"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}
