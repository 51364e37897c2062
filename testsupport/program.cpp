// Programs under test and their windows.
#include "testsupport/program.h"

#include "testsupport/zxtest.h"

namespace zxtest {

namespace {

struct Search {
    DWORD process;
    const wchar_t *className;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
    auto *search = reinterpret_cast<Search *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) &&
        (!search->className || ClassName(window) == search->className))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

Program::Program(const std::wstring &commandLine, const std::wstring &folder) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    REQUIRE_MESSAGE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &info),
                    Narrow(commandLine));
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_id = info.dwProcessId;
}

Program::~Program() {
    if (Running()) {
        TerminateProcess(m_process, 0xDEAD);
        WaitForSingleObject(m_process, 10000);
    }
    CloseHandle(m_process);
}

bool Program::Running() const {
    return WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> Program::Windows() const {
    Search search = {m_id, nullptr, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::WaitForWindow(const wchar_t *className, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search = {m_id, className, {}};
        EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
        if (!search.found.empty()) return search.found.front();
        if (GetTickCount() - start > timeoutMs || !Running()) return nullptr;
        Sleep(50);
    }
}

DWORD Program::WaitForExit(DWORD timeoutMs) {
    REQUIRE_MESSAGE(WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0, "the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return code;
}

void Program::Kill() {
    TerminateProcess(m_process, 0xDEAD);
    WaitForSingleObject(m_process, INFINITE);
}

std::wstring WindowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(window, &text[0], n + 1);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring MessageBoxText(HWND box) {
    // The message text of a standard message box is its static control 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : L"";
}

void Click(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

std::wstring Beside(const wchar_t *program) {
    return SelfFolder() + L"\\" + program;
}

Box WaitForBox(const Program &program, DWORD timeoutMs) {
    Box box;
    box.window = program.WaitForWindow(L"#32770", timeoutMs);
    if (box.window) {
        // The box may still be filling in its controls.
        for (int i = 0; i < 100 && MessageBoxText(box.window).empty(); ++i)
            Sleep(20);
        box.caption = WindowText(box.window);
        box.text = MessageBoxText(box.window);
    }
    return box;
}

} // namespace zxtest
