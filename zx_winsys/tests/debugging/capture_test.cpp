// Capture of the debug-output channel: texts of other processes and of this one, cuts, a second
// receiver, stopping, handles that no child keeps, and four writers against a slow consumer.
#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// What a capture received, for the test thread to look at.
struct Received {
    CRITICAL_SECTION lock;
    std::vector<std::wstring> texts;
    std::vector<DWORD> processes;
    DWORD thread = 0;
    volatile LONG sleepMs = 0;
    volatile LONG afterStop = 0;
    volatile LONG stopped = 0;
    Received() { InitializeCriticalSection(&lock); }
    ~Received() { DeleteCriticalSection(&lock); }
    void Add(const wchar_t *text, DWORD process) {
        if (stopped) InterlockedIncrement(&afterStop);
        EnterCriticalSection(&lock);
        texts.push_back(text);
        processes.push_back(process);
        thread = GetCurrentThreadId();
        LeaveCriticalSection(&lock);
        if (sleepMs) Sleep(static_cast<DWORD>(sleepMs));
    }
    // The texts holding marker, once count of them arrived (or after the time-out).
    std::vector<std::wstring> With(const std::wstring &marker, size_t count = 1, DWORD timeoutMs = 10000) {
        std::vector<std::wstring> found;
        const DWORD start = GetTickCount();
        do {
            found.clear();
            EnterCriticalSection(&lock);
            for (const std::wstring &t : texts)
                if (t.find(marker) != std::wstring::npos) found.push_back(t);
            LeaveCriticalSection(&lock);
            if (found.size() >= count) break;
            Sleep(10);
        } while (GetTickCount() - start < timeoutMs);
        return found;
    }
};

Received *g_received = nullptr;
Received *g_second = nullptr; // what a second capture received
void OnText(const wchar_t *text, DWORD process, double) {
    g_received->Add(text, process);
}
void OnSecondText(const wchar_t *text, DWORD process, double) {
    g_second->Add(text, process);
}
void OnPlainText(const wchar_t *text) {
    g_received->Add(text, 0);
}

// The capture tests are the channel's receiver themselves.
struct OwnChannel {
    OwnChannel() { zxtest::CloseDebugChannel(); }
};

std::wstring Marker(const char *what) {
    static int n = 0;
    std::string m =
        std::string(what) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n) + ";";
    return std::wstring(m.begin(), m.end());
}

// A write to the channel takes this long (ms).
double TimedWrite(const char *text) {
    const double start = QX_GetTimeCounter();
    OutputDebugStringA(text);
    return QX_GetTimeCounter() - start;
}

} // namespace

ZXTEST_CHILD(channel_write) {
    OutputDebugStringA(zxtest::ChildArgument().c_str());
    return 0;
}

TEST_CASE("capture: texts of another process and of this one arrive as wide text, cut at 1,023") {
    OwnChannel own;
    Received received;
    g_received = &received;
    {
        CQxDebugOutputCapture capture(OnText);
        const std::wstring other = Marker("other"), own = Marker("own");
        CHECK(zxtest::RunChild("channel_write", 30000, zxtest::Narrow(other) + " caf\xe9") == 0);
        OutputDebugStringW((own + L" caf\u00e9").c_str());
        const std::vector<std::wstring> fromOther = received.With(other), fromOwn = received.With(own);
        REQUIRE(fromOther.size() == 1);
        CHECK(fromOther[0] == other + L" caf\u00e9");
        REQUIRE(fromOwn.size() == 1);
        CHECK(fromOwn[0] == own + L" caf\u00e9");
        CHECK(received.thread != GetCurrentThreadId());
        EnterCriticalSection(&received.lock);
        const DWORD ownProcess = received.processes.back();
        LeaveCriticalSection(&received.lock);
        CHECK(ownProcess == GetCurrentProcessId());

        const std::wstring longMarker = Marker("long");
        const std::wstring longText = longMarker + std::wstring(2000, L'L');
        OutputDebugStringW(longText.c_str());
        const std::vector<std::wstring> cut = received.With(longMarker);
        REQUIRE(cut.size() == 1);
        CHECK(cut[0] == longText.substr(0, 1023));
    }
    // The plain callback form.
    {
        CQxDebugOutputCapture capture(OnPlainText);
        const std::wstring plain = Marker("plain");
        OutputDebugStringW(plain.c_str());
        CHECK(received.With(plain).size() == 1);
    }
    g_received = nullptr;
}

TEST_CASE("capture: a second receiver gets nothing and keeps nothing; the first goes on") {
    OwnChannel own;
    Received received;
    g_received = &received;
    CQxDebugOutputCapture first(OnText);
    const std::wstring before = Marker("before");
    OutputDebugStringW(before.c_str());
    CHECK(received.With(before).size() == 1);
    {
        Received seconds;
        g_second = &seconds;
        CQxDebugOutputCapture second(OnSecondText); // silent, refused
        const std::wstring during = Marker("during");
        OutputDebugStringW(during.c_str());
        CHECK(received.With(during).size() == 1);
        CHECK(seconds.With(during, 1, 300).empty());
    }
    const std::wstring after = Marker("after");
    CHECK(TimedWrite(zxtest::Narrow(after).c_str()) < 1000.0);
    CHECK(received.With(after).size() == 1);
    g_received = nullptr;
}

ZXTEST_CHILD(sleep_a_while) {
    Sleep(4000);
    return 0;
}

TEST_CASE(
    "capture: stopping returns promptly; afterwards the channel is free, also with an inheriting child") {
    OwnChannel own;
    Received received;
    g_received = &received;
    std::unique_ptr<zxtest::Program> child;
    {
        auto capture = std::make_unique<CQxDebugOutputCapture>(OnText);
        // A child that inherits this process's inheritable handles must not keep the channel.
        child = std::make_unique<zxtest::Program>(zxtest::ChildCommandLine("sleep_a_while"), L"", true);
        Sleep(100);
        const double start = QX_GetTimeCounter();
        capture.reset();
        CHECK(QX_GetTimeCounter() - start < 500.0);
    }
    {
        zxtest::DebugChannelReader next;
        CHECK(next.Active());
    }
    // No receiver: a write does not wait for one.
    CHECK(TimedWrite("nobody listens") < 100.0);
    // A framework without threads holds no channel either.
    {
        CDebugFramework idle(true);
        CHECK(TimedWrite("still nobody") < 100.0);
        zxtest::DebugChannelReader next;
        CHECK(next.Active());
    }
    g_received = nullptr;
}

TEST_CASE("capture: no text reaches the callback after the destructor; a slow callback is not killed") {
    OwnChannel own;
    Received received;
    g_received = &received;
    received.sleepMs = 50;
    {
        CQxDebugOutputCapture capture(OnText);
        const std::wstring queued = Marker("queued");
        for (int i = 0; i < 40; ++i)
            OutputDebugStringW(queued.c_str());
        received.With(queued, 2);
    }
    InterlockedExchange(&received.stopped, 1);
    Sleep(300);
    CHECK(received.afterStop == 0);

    // A callback that takes 4 s: the destructor waits 3 s, leaves it to finish, and nothing breaks.
    received.sleepMs = 4000;
    InterlockedExchange(&received.stopped, 0);
    double took = 0.0;
    {
        auto capture = std::make_unique<CQxDebugOutputCapture>(OnText);
        const std::wstring slow = Marker("slow");
        OutputDebugStringW(slow.c_str());
        received.With(slow);
        const double start = QX_GetTimeCounter();
        capture.reset();
        took = QX_GetTimeCounter() - start;
    }
    CHECK(took < 3600.0);
    Sleep(1500); // the slow callback returns into a stopped capture
    received.sleepMs = 0;
    g_received = nullptr;
}

namespace {
int g_writerTexts = 0;
}

ZXTEST_CHILD(channel_numbered_writer) {
    const std::string writer = zxtest::ChildArgument();
    const int texts = zxtest::LoadSize(1000, 5000);
    double worst = 0.0;
    for (int i = 0; i < texts; ++i) {
        const std::string text = "seq " + writer + " " + std::to_string(i);
        const double took = TimedWrite(text.c_str());
        worst = took > worst ? took : worst;
    }
    std::fprintf(stderr, "writer %s: worst write %.1f ms\n", writer.c_str(), worst);
    return worst < 1000.0 ? 0 : 1;
}

TEST_CASE("capture load: four writers against a slow consumer; every sequence whole and in order") {
    OwnChannel own;
    Received received;
    g_received = &received;
    received.sleepMs = 1;
    g_writerTexts = zxtest::LoadSize(1000, 5000);
    auto capture = std::make_unique<CQxDebugOutputCapture>(OnText);
    std::vector<std::unique_ptr<zxtest::Program>> writers;
    for (int w = 0; w < 4; ++w)
        writers.push_back(std::make_unique<zxtest::Program>(
            zxtest::ChildCommandLine("channel_numbered_writer", std::to_string(w))));
    Sleep(200);
    { CQxDebugOutputCapture second(OnText); } // a silent second capture, made and gone midway
    for (auto &writer : writers)
        CHECK(writer->WaitForExit(600000) == 0);
    // Every text arrives, then the capture goes.
    const std::wstring last = L"seq 3 " + std::to_wstring(g_writerTexts - 1);
    for (int w = 0; w < 4; ++w)
        received.With(L"seq " + std::to_wstring(w) + L" " + std::to_wstring(g_writerTexts - 1), 1, 600000);
    const double start = QX_GetTimeCounter();
    capture.reset();
    CHECK(QX_GetTimeCounter() - start < 500.0);

    std::map<int, int> next;
    int disorder = 0;
    EnterCriticalSection(&received.lock);
    for (const std::wstring &t : received.texts) {
        int writer = -1, seq = -1;
        if (swscanf(t.c_str(), L"seq %d %d", &writer, &seq) != 2) continue;
        if (seq != next[writer]) ++disorder;
        next[writer] = seq + 1;
    }
    LeaveCriticalSection(&received.lock);
    CHECK(disorder == 0);
    for (int w = 0; w < 4; ++w)
        CHECK(next[w] == g_writerTexts);

    zxtest::DebugChannelReader after;
    CHECK(after.Active());
    CHECK(TimedWrite("after the load") < 100.0);
    g_received = nullptr;
}

ZXTEST_CHILD(channel_timed_writer) {
    int writer = 0, ms = 0;
    std::sscanf(zxtest::ChildArgument().c_str(), "%d %d", &writer, &ms);
    double worst = 0.0;
    const double end = QX_GetTimeCounter() + ms;
    for (int i = 0; QX_GetTimeCounter() < end; ++i) {
        const std::string text = "timed " + std::to_string(writer) + " " + std::to_string(i);
        const double took = TimedWrite(text.c_str());
        worst = took > worst ? took : worst;
        if (i % 10 == 0) Sleep(1);
    }
    std::fprintf(stderr, "timed writer %d: worst write %.1f ms\n", writer, worst);
    return worst < 1000.0 ? 0 : 1;
}

namespace {
// For each writer, whether the numbers received form one run without a gap, and how many came.
std::map<int, int> Runs(Received &received, bool *gapless) {
    std::map<int, int> first, last, count;
    *gapless = true;
    EnterCriticalSection(&received.lock);
    for (const std::wstring &t : received.texts) {
        int writer = -1, seq = -1;
        if (swscanf(t.c_str(), L"timed %d %d", &writer, &seq) != 2) continue;
        if (count[writer]++ == 0)
            first[writer] = seq;
        else if (seq != last[writer] + 1)
            *gapless = false;
        last[writer] = seq;
    }
    LeaveCriticalSection(&received.lock);
    return count;
}
} // namespace

TEST_CASE(
    "capture under load: stopped and started again 4 ms or 1 s later, it takes every text written since") {
    OwnChannel own;
    auto received = std::make_unique<Received>();
    g_received = received.get();
    auto capture = std::make_unique<CQxDebugOutputCapture>(OnText);
    std::vector<std::unique_ptr<zxtest::Program>> writers;
    for (int w = 0; w < 4; ++w)
        writers.push_back(std::make_unique<zxtest::Program>(
            zxtest::ChildCommandLine("channel_timed_writer", std::to_string(w) + " 5000")));
    Sleep(800);
    for (DWORD gap : {4u, 1000u}) {
        CAPTURE(gap);
        const double start = QX_GetTimeCounter();
        capture.reset(); // writers are waiting on it
        CHECK(QX_GetTimeCounter() - start < 500.0);
        Sleep(gap);
        auto next = std::make_unique<Received>();
        g_received = next.get();
        capture = std::make_unique<CQxDebugOutputCapture>(OnText);
        Sleep(800);
        bool gapless = false;
        const std::map<int, int> counts = Runs(*next, &gapless);
        CHECK(gapless);
        for (int w = 0; w < 4; ++w)
            CHECK(counts.count(w) == 1); // not refused: every writer reached it
        received = std::move(next);
    }
    // No writer call took a second, before, during or after the stops (the writers check).
    for (auto &writer : writers)
        CHECK(writer->WaitForExit(60000) == 0);
    capture.reset();
    g_received = nullptr;
}

TEST_CASE("capture: a trace record of 9,011 characters reaches the callback whole, in pieces") {
    OwnChannel own;
    Received received;
    g_received = &received;
    CQxDebugOutputCapture capture(OnText);
    const std::wstring marker = Marker("record");
    const std::wstring body = marker + std::wstring(9000 - marker.size(), L'r');
    DiagOutputExW(L"|wndid:7 %s", body.c_str());
    const std::wstring record = L"|wndid:7 " + body + L"\r\n";
    std::wstring whole;
    for (int i = 0; i < 500 && whole != record; ++i) {
        Sleep(10);
        whole.clear();
        EnterCriticalSection(&received.lock);
        for (const std::wstring &t : received.texts) {
            if (t.find(marker) != std::wstring::npos)
                whole = t;
            else if (!whole.empty() && t.compare(0, 9, L"|wndid:7 ") == 0)
                whole += t.substr(9);
        }
        LeaveCriticalSection(&received.lock);
    }
    CHECK(whole.size() == record.size());
    CHECK(whole == record);
    g_received = nullptr;
}

namespace {
CQxDebugOutputCapture *g_selfDeleting = nullptr;
volatile LONG g_deletedIn = -1; // ms the deletion took inside the callback
void DeleteFromCallback(const wchar_t *text, DWORD, double) {
    if (!g_selfDeleting || wcsstr(text, L"delete yourself") == nullptr) return;
    const double start = QX_GetTimeCounter();
    CQxDebugOutputCapture *capture = g_selfDeleting;
    g_selfDeleting = nullptr;
    delete capture;
    InterlockedExchange(&g_deletedIn, static_cast<LONG>(QX_GetTimeCounter() - start));
}
} // namespace

TEST_CASE("capture: deleted from inside its own callback, it stops without waiting for itself") {
    OwnChannel own;
    g_selfDeleting = new CQxDebugOutputCapture(DeleteFromCallback);
    OutputDebugStringW(L"delete yourself");
    for (int i = 0; i < 1000 && g_deletedIn < 0; ++i)
        Sleep(5);
    CHECK(g_deletedIn >= 0);
    CHECK(g_deletedIn < 1000);
    // The channel is free for the next receiver.
    zxtest::DebugChannelReader next;
    CHECK(next.Active());
}
