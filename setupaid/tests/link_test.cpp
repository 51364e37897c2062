// Clicking the link: the registered browser command (replaced by a recorder of its command line)
// gets the address; without a command the shell's handler is asked, then the error box shows.
// The link lives in a child process, so that its error box does not stop the test.
#include "testsupport/zxtest.h"

#include <string>
#include <vector>

#include "setupaid/setupaid.h"
#include "setupaid/tests/windows.h"

namespace {

constexpr char kAddress[] = "http://www.varnholt.example/";
constexpr char kCommandKey[] = "Software\\Classes\\HTTP\\shell\\open\\command";

// The machine's browser command, replaced for the object's life and then restored.
class BrowserCommand {
public:
    BrowserCommand() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExA(key, nullptr, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_saved.resize(size);
            m_had = RegQueryValueExA(key, nullptr, nullptr, &m_type, reinterpret_cast<BYTE *>(&m_saved[0]),
                                     &size) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    ~BrowserCommand() {
        if (m_had)
            Set(m_saved, m_type);
        else
            Remove();
    }
    BrowserCommand(const BrowserCommand &) = delete;
    BrowserCommand &operator=(const BrowserCommand &) = delete;

    void Set(const std::string &bytes, DWORD type) {
        HKEY key = nullptr;
        REQUIRE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    void SetText(const std::string &command, DWORD type = REG_SZ) {
        Set(command + std::string(1, '\0'), type);
    }
    void Remove() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }

private:
    std::string m_saved;
    DWORD m_type = REG_NONE;
    bool m_had = false;
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string Recorder() {
    return zxtest::Narrow(zxtest::Beside(L"setupaid_recorder.exe"));
}

struct Click {
    std::string recorded; // the recorder's command line, "" when it did not run
    std::wstring boxText; // the error box's text, "" when none showed
    std::wstring boxCaption;
};

// Runs the link host, clicks its link and collects what happened.
Click ClickLink() {
    Click click;
    zxtest::TempDir dir;
    const std::wstring record = dir / L"record.txt";
    SetEnvironmentVariableW(L"SETUPAID_RECORD", record.c_str());
    SetEnvironmentVariableA("SETUPAID_RECORDER", Recorder().c_str());
    zxtest::Program host(zxtest::ChildCommandLine("link_host"));
    HWND window = host.WaitForWindow(L"setupaid_link_host");
    REQUIRE(window != nullptr);
    HWND link = nullptr;
    for (int i = 0; i < 200 && link == nullptr; ++i) {
        link = FindWindowExA(window, nullptr, "odkaz", nullptr);
        if (link == nullptr) Sleep(50);
    }
    REQUIRE(link != nullptr);
    PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    for (int i = 0; i < 300 && click.recorded.empty() && click.boxText.empty(); ++i) {
        Sleep(50);
        if (zxtest::FileExists(record)) click.recorded = zxtest::ReadFileBytes(record);
        for (HWND w : host.Windows())
            if (zxtest::ClassName(w) == L"#32770") {
                const zxtest::Box box = zxtest::WaitForBox(host, 1000);
                click.boxText = box.text;
                click.boxCaption = box.caption;
                zxtest::Click(box.window, IDOK);
            }
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    CHECK(host.WaitForExit() == 0);
    return click;
}

} // namespace

ZXTEST_CHILD(link_host) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "setupaid_link_host";
    ZXTEST_EXPECT(RegisterClassA(&wc) != 0);
    HWND window = CreateWindowExA(0, "setupaid_link_host", "link host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60,
                                  60, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    HWND placeholder = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 40, 60, 160, 16, window,
                                       nullptr, wc.hInstance, nullptr);
    ZXTEST_EXPECT(odkaz(window, placeholder) == 10);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

TEST_CASE("link: the browser command gets the address in place of its quoted or bare %1") {
    BrowserCommand command;
    const std::string recorder = "\"" + Recorder() + "\"";

    command.SetText(recorder + " \"%1\"");
    CHECK(ClickLink().recorded == recorder + " \"" + kAddress + "\"");

    // A bare %1 gets no quote after the address; what follows %1 stays.
    command.SetText(recorder + " %1 --new-window");
    CHECK(ClickLink().recorded == recorder + " " + kAddress + " --new-window");
}

TEST_CASE("link: a command without %1 gets the address appended in quotes; expandable commands expand") {
    BrowserCommand command;
    const std::string recorder = "\"" + Recorder() + "\"";
    command.SetText(recorder + " -nohome");
    CHECK(ClickLink().recorded == recorder + " -nohome \"" + kAddress + "\"");

    command.SetText("\"%SETUPAID_RECORDER%\" \"%1\"", REG_EXPAND_SZ);
    CHECK(ClickLink().recorded == recorder + " \"" + kAddress + "\"");
}

TEST_CASE("link: a command of 1000 bytes starts; a longer one is not read") {
    BrowserCommand command;
    const std::string recorder = "\"" + Recorder() + "\"";
    // 999 characters and the terminator, %1 at the very end.
    std::string longest = recorder + " " + std::string(999 - recorder.size() - 4, 'a') + " %1";
    REQUIRE(longest.size() == 999);
    command.SetText(longest);
    CHECK(ClickLink().recorded == longest.substr(0, longest.size() - 2) + kAddress);

    // Over 1000 bytes: treated as no command, so the shell's handler is asked. Under Wine it reads
    // the same key and starts the recorder with the whole command, or fails and the error box
    // shows; a command cut to 1000 bytes and started would have lost its end.
    command.SetText(longest + " --and-more");
    const Click click = ClickLink();
    const bool shellStartedWhole = click.recorded.find("--and-more") != std::string::npos;
    CHECK(click.recorded.empty() != shellStartedWhole);
    CHECK((click.boxText == L"Chybka") != shellStartedWhole);
}

TEST_CASE("link: without any browser command, the shell is asked, and the error box shows when it fails") {
    BrowserCommand command;
    command.Remove();
    const Click click = ClickLink();
    CHECK(click.recorded.empty());
    CHECK(click.boxText == L"Chybka");
    CHECK(click.boxCaption.empty());
}
