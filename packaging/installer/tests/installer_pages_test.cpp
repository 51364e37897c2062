// The installer page by page with real clicks, as an administrator meets it: the link on the
// Welcome page, the feature tree of the Features page (its choice acted on), the message window
// painted while files are copied, one link however often the pages are visited. ZX_INSTALLER
// names the installer; with ZX_PICTURES set, each page is also saved there as a bitmap.
#include "testsupport/zxtest.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

constexpr char kCommandKey[] = "Software\\Classes\\HTTP\\shell\\open\\command";
constexpr wchar_t kTarget[] = L"C:\\zx-installer-pages\\Lumetra Platform";

std::wstring Environment(const wchar_t *name) {
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return value;
}

// The machine's browser command, replaced by the recorder for the object's life.
class Recorder {
public:
    Recorder() : m_record(m_dir / L"record.txt") {
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_READ, &m_saved);
        const std::string command =
            "\"" + zxtest::Narrow(zxtest::Beside(L"setupaid_recorder.exe")) + "\" \"%1\"";
        HKEY key = nullptr;
        REQUIRE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) == ERROR_SUCCESS);
        DWORD size = 0;
        m_had = RegQueryValueExA(key, nullptr, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS;
        if (m_had) {
            m_old.resize(size);
            RegQueryValueExA(key, nullptr, nullptr, &m_type, reinterpret_cast<BYTE *>(&m_old[0]), &size);
        }
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
        RegCloseKey(key);
        SetEnvironmentVariableW(L"SETUPAID_RECORD", m_record.c_str());
    }
    ~Recorder() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        if (m_had)
            RegSetValueExA(key, nullptr, 0, m_type, reinterpret_cast<const BYTE *>(m_old.data()),
                           static_cast<DWORD>(m_old.size()));
        else
            RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
        if (m_saved) RegCloseKey(m_saved);
    }
    // Whether the browser command ran since the last call (waits up to timeoutMs for it).
    bool Ran(DWORD timeoutMs) {
        for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
            if (zxtest::FileExists(m_record)) {
                DeleteFileW(m_record.c_str());
                return true;
            }
            Sleep(50);
        }
        return false;
    }

private:
    zxtest::TempDir m_dir;
    std::wstring m_record;
    HKEY m_saved = nullptr;
    std::string m_old;
    DWORD m_type = REG_SZ;
    bool m_had = false;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    auto *found = reinterpret_cast<std::pair<const wchar_t *, std::vector<HWND>> *>(param);
    if (zxtest::ClassName(window) == found->first) found->second.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent, const wchar_t *className) {
    std::pair<const wchar_t *, std::vector<HWND>> found(className, {});
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

HWND WaitForChild(HWND parent, const wchar_t *className, DWORD timeoutMs = 20000) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        const std::vector<HWND> found = Children(parent, className);
        for (HWND w : found)
            if (IsWindowVisible(w)) return w;
        Sleep(50);
    }
    return nullptr;
}

// The installer's own button (1 Next/Install/Close, 3 Back), clicked with the mouse.
void Button(HWND main, int id) {
    HWND button = GetDlgItem(main, id);
    REQUIRE(button != nullptr);
    for (int i = 0; i < 200 && !IsWindowEnabled(button); ++i)
        Sleep(50);
    zxtest::ClickAt(button);
}

// The page (the child dialog of the installer's window) that holds a control of that class.
HWND PageWith(HWND main, const wchar_t *className) {
    HWND control = WaitForChild(main, className);
    return control ? GetParent(control) : nullptr;
}

// The installer's window as a bitmap file in ZX_PICTURES (nothing without it).
void Picture(HWND main, const wchar_t *name) {
    const std::wstring folder = Environment(L"ZX_PICTURES");
    if (folder.empty()) return;
    Sleep(500);
    RECT r = {};
    GetWindowRect(main, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = -h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    std::string pixels(stride * static_cast<DWORD>(h), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), &pixels[0], reinterpret_cast<BITMAPINFO *>(&info),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file = {0x4D42,
                             static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                             static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info)};
    zxtest::WriteFileBytes(folder + L"\\" + name + L".bmp",
                           std::string(reinterpret_cast<const char *>(&file), sizeof file) +
                               std::string(reinterpret_cast<const char *>(&info), sizeof info) + pixels);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

int StateImage(HWND tree, HTREEITEM item) {
    return static_cast<int>(
        (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK) >> 12) &
        0xF);
}

// Holds the installer's other threads (the copy) still while it lives, so that the message window
// stays up as long as the test looks at it; the threads that own windows keep running.
class HeldCopy {
public:
    HeldCopy(DWORD process, const std::vector<DWORD> &keep) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != process) continue;
            if (std::find(keep.begin(), keep.end(), entry.th32ThreadID) != keep.end()) continue;
            HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
            if (thread != nullptr && SuspendThread(thread) != static_cast<DWORD>(-1))
                m_held.push_back(thread);
            else if (thread != nullptr)
                CloseHandle(thread);
        }
        CloseHandle(snapshot);
    }
    ~HeldCopy() {
        for (HANDLE thread : m_held) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    HeldCopy(const HeldCopy &) = delete;
    HeldCopy &operator=(const HeldCopy &) = delete;

private:
    std::vector<HANDLE> m_held;
};

} // namespace

TEST_CASE("installer pages: the link clicks, one link after Back and Next, the feature tree decides, the "
          "message window paints") {
    const std::wstring installer = Environment(L"ZX_INSTALLER");
    REQUIRE_MESSAGE(!installer.empty(), "ZX_INSTALLER names the installer");
    zxtest::RemoveTree(L"C:\\zx-installer-pages");
    Recorder recorder;
    zxtest::Program setup(L"\"" + installer + L"\" /D=" + kTarget);
    HWND main = setup.WaitForWindow(L"#32770");
    REQUIRE(main != nullptr);
    // Windows of tests running beside this one must not come between the clicks and the installer.
    SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // Welcome: the link is the window under its own centre, and a real click there starts the browser.
    HWND link = WaitForChild(main, L"odkaz");
    REQUIRE(link != nullptr);
    RECT place = {};
    GetWindowRect(link, &place);
    const POINT centre = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    CHECK(WindowFromPoint(centre) == link);
    // A click beside the address's text is no click on the link.
    POINT beside = {place.right - place.left + 30, (place.bottom - place.top) / 2};
    MapWindowPoints(link, main, &beside, 1);
    CHECK(WindowFromPoint(POINT{place.right + 30, centre.y}) != link);
    zxtest::ClickAt(main, &beside);
    CHECK_FALSE(recorder.Ran(1500));
    zxtest::ClickAt(link);
    CHECK(recorder.Ran(10000));
    Picture(main, L"installer-welcome");
    // The window grew for the signature, and the buttons went down with its bottom edge.
    RECT client = {}, next = {};
    GetClientRect(main, &client);
    GetWindowRect(GetDlgItem(main, 1), &next);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT *>(&next), 2);
    CHECK(client.bottom - next.bottom < 12);

    // Next, Back, Next: one link, on the Welcome page only.
    Button(main, 1);
    REQUIRE(PageWith(main, WC_TREEVIEWW) != nullptr);
    Button(main, 3);
    REQUIRE(WaitForChild(main, L"odkaz") != nullptr);
    CHECK(Children(main, L"odkaz").size() == 1);
    Button(main, 1);
    HWND tree = WaitForChild(main, WC_TREEVIEWW);
    REQUIRE(tree != nullptr);
    CHECK(Children(main, L"odkaz").empty());
    // A click on the Features page where the link was starts nothing.
    POINT where = centre;
    ScreenToClient(GetParent(tree), &where);
    zxtest::ClickAt(GetParent(tree), &where);
    CHECK_FALSE(recorder.Ran(1500));

    // The feature tree: setupaid's state images, both items checked, the platform's own required.
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageW(tree, TVM_GETIMAGELIST, TVSIL_STATE, 0));
    CHECK(images != nullptr);
    HTREEITEM platform = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    REQUIRE(platform != nullptr);
    HTREEITEM development = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(platform)));
    REQUIRE(development != nullptr);
    CHECK(StateImage(tree, platform) == 2);
    CHECK(StateImage(tree, development) == 2);
    CHECK((GetWindowLongW(tree, GWL_STYLE) & WS_HSCROLL) == 0); // the longest text fits
    Picture(main, L"installer-features");
    // A real click on the development files' check box clears it: they are not installed.
    const int row = static_cast<int>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
    const POINT box = {8, row + row / 2};
    zxtest::ClickAt(tree, &box);
    for (int i = 0; i < 200 && StateImage(tree, development) != 1; ++i)
        Sleep(50);
    CHECK(StateImage(tree, development) == 1);
    // The same click on the platform's own box leaves it checked: it is required.
    const POINT required = {8, row / 2};
    zxtest::ClickAt(tree, &required);
    Sleep(300);
    CHECK(StateImage(tree, platform) == 2);

    // The directory page, then the copy: the message window is on screen, painted, with its text.
    Button(main, 1);
    Picture(main, L"installer-directory");
    Button(main, 1);
    HWND message = nullptr;
    for (int i = 0; i < 2000 && !message; ++i) {
        for (HWND w : setup.Windows())
            if (w != main && GetDlgItem(w, 1005)) message = w;
        if (!message) Sleep(5);
    }
    REQUIRE(message != nullptr);
    HWND text = GetDlgItem(message, 1005);
    CHECK(zxtest::WindowText(text) == L"Installing the Lumetra Platform...");
    // Its thread paints it whenever it needs it, all through the copy: the text, invalidated from
    // here, is painted again (by a thread that runs no message loop it never would be). A loaded
    // machine may take a while to get round to it, so each paint has seconds, not a fixed instant.
    int checks = 0, unpainted = 0;
    // As a person sees it: the display's own pixels of the window show its light face, not the
    // black of a window the display never got (a copy read back through the system's drawing calls
    // would show it painted all the same). The copy is held still while the picture is taken.
    {
        HeldCopy held(setup.Id(),
                      {GetWindowThreadProcessId(main, nullptr), GetWindowThreadProcessId(message, nullptr)});
        double brightness = -1;
        std::string why;
        for (int i = 0; i < 20 && brightness <= 100 && IsWindow(message); ++i) {
            if (i > 0) Sleep(150);
            zxtest::DisplayPicture picture(message);
            brightness = picture.ClientBrightness();
            why = picture.Why();
        }
        if (why.empty())
            CHECK_MESSAGE(brightness > 100,
                          "the display shows the message window at brightness " << brightness);
        else
            MESSAGE("the display's picture could not be taken: " << why);
    }
    while (IsWindow(message)) {
        InvalidateRect(text, nullptr, TRUE);
        bool painted = false, gone = false;
        for (int i = 0; i < 150 && !painted && !gone; ++i) {
            Sleep(20);
            gone = !IsWindow(message);
            painted =
                !gone && !GetUpdateRect(text, nullptr, FALSE) && !GetUpdateRect(message, nullptr, FALSE);
        }
        if (gone) break;
        if (!painted) ++unpainted;
        if (++checks == 1) Picture(main, L"installer-installing");
    }
    CHECK(checks > 0);
    CHECK(unpainted == 0);

    // Done: the platform is there, the development files are not.
    HWND close = GetDlgItem(main, 1);
    for (int i = 0; i < 600 && zxtest::WindowText(close).find(L"Close") == std::wstring::npos; ++i)
        Sleep(100);
    Picture(main, L"installer-completed");
    Button(main, 1);
    CHECK(setup.WaitForExit(60000) == 0);
    CHECK(zxtest::FileExists(std::wstring(kTarget) + L"\\bin\\zx_winsys.dll"));
    CHECK_FALSE(zxtest::FileExists(std::wstring(kTarget) + L"\\include"));

    // The silent uninstall takes the folders the installation made, the empty parent included.
    zxtest::Program uninstall(L"\"" + std::wstring(kTarget) + L"\\uninstall.exe\" /S");
    CHECK(uninstall.WaitForExit(60000) == 0);
    for (int i = 0; i < 200 && zxtest::FileExists(L"C:\\zx-installer-pages"); ++i)
        Sleep(100);
    CHECK_FALSE(zxtest::FileExists(L"C:\\zx-installer-pages"));
}
