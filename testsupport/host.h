// The host under Wine: its paths, its commands, links made as the host makes them, and a drive
// letter that leads into a test folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zxtest {

// The host path of a Windows path under Wine, or "" elsewhere.
std::wstring UnixPath(const std::wstring &path);

// Runs a host command (Wine starts host programs, but hands out no process handle to wait on) and
// waits up to timeoutMs for done() to hold; returns whether it did.
template <class Done> bool HostCommand(const std::wstring &command, Done done, DWORD timeoutMs = 10000);

// A symbolic link to a folder or a file, made as the host makes it: Wine shows a folder's as a
// directory with a reparse point, a file's as the file, and cannot remove either itself. Removed by
// the host when the object goes. IsHostLink asks the host whether path is a link.
class HostLink {
public:
    HostLink(const std::wstring &link, const std::wstring &target);
    ~HostLink();
    HostLink(const HostLink &) = delete;
    HostLink &operator=(const HostLink &) = delete;
    bool Made() const { return m_made; }

private:
    std::wstring m_link;
    bool m_made = false;
};

// A free drive letter that leads into folder for the object's life: the system's own mapping where
// it works (DefineDosDevice), otherwise a link in the Wine prefix's drive folder. Root() is "T:\"
// for the letter taken, or "" when no letter could be mapped: then nothing may be done on it.
class MappedDrive {
public:
    explicit MappedDrive(const std::wstring &folder);
    ~MappedDrive();
    MappedDrive(const MappedDrive &) = delete;
    MappedDrive &operator=(const MappedDrive &) = delete;
    const std::wstring &Root() const { return m_root; }
    std::wstring Letter() const { return m_root.substr(0, 2); }

private:
    std::wstring m_folder, m_root, m_marker, m_link;
    bool m_defined = false;
};

bool IsLink(const std::wstring &path);
bool IsHostLink(const std::wstring &path);

template <class Done> bool HostCommand(const std::wstring &command, Done done, DWORD timeoutMs) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = command;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &info)) {
        if (info.hThread) CloseHandle(info.hThread);
        if (info.hProcess) CloseHandle(info.hProcess);
    }
    for (DWORD waited = 0; !done(); waited += 10) {
        if (waited >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

} // namespace zxtest

namespace zxtest {

// The display server's own picture of a window as a person sees it on the screen (under Wine: the
// X server's pixels of the window's X window, read by the host's xwd), not a copy read back
// through the system's drawing calls, which shows what a program drew even where the display
// never got it. The window's own X window is asked for, not the whole screen: "xwd -root" reads a
// window that lies wholly inside another of the same visual through the one below, and shows it
// black where the screen shows it painted.
class DisplayPicture {
public:
    // Takes the picture of a top-level window; Taken() is false where it could not be taken (no
    // host, no xwd, no X window) and Why() says why.
    explicit DisplayPicture(HWND window);
    bool Taken() const { return !m_pixels.empty(); }
    const std::string &Why() const { return m_why; }
    // The mean brightness (0 to 255) of the window's client area, or -1 without a picture.
    double ClientBrightness() const;
    // A pixel at window coordinates (0,0 is the window's top left corner), black outside.
    COLORREF Pixel(int x, int y) const;

private:
    int m_width = 0, m_height = 0;
    RECT m_client = {}; // in window coordinates
    std::vector<COLORREF> m_pixels;
    std::string m_why;
};

} // namespace zxtest
