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

Program::Program(const std::wstring &commandLine, const std::wstring &folder, bool inheritHandles,
                 const std::wstring &outputFile) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.empty()) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        output = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        Ensure(output != INVALID_HANDLE_VALUE, "the output file");
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = output;
        inheritHandles = true;
    }
    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, inheritHandles ? TRUE : FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    Ensure(started != FALSE, Narrow(commandLine).c_str());
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
    Ensure(WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0, "the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return code;
}

void Program::Kill() {
    TerminateProcess(m_process, 0xDEAD);
    WaitForSingleObject(m_process, INFINITE);
}

// Asks the window itself (GetWindowText does not reach controls of other programs).
std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL,
                        10000, &copied);
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

void Press(HWND dialog, int buttonId) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
}

void ClickAt(HWND window, const POINT *point, bool rightButton) {
    RECT client = {};
    GetClientRect(window, &client);
    POINT at = point ? *point : POINT{client.right / 2, client.bottom / 2};
    ClientToScreen(window, &at);
    SetCursorPos(at.x, at.y);
    INPUT clicks[2] = {};
    for (INPUT &input : clicks) {
        input.type = INPUT_MOUSE;
        input.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    clicks[0].mi.dwFlags = (rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN) | MOUSEEVENTF_MOVE |
                           MOUSEEVENTF_ABSOLUTE;
    clicks[1].mi.dwFlags =
        (rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP) | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(2, clicks, sizeof(INPUT));
    Sleep(100); // the click is delivered through the target's message queue
}

void PressKeys(HWND window, const std::vector<WORD> &keys) {
    HWND top = GetAncestor(window, GA_ROOT);
    for (int i = 0; i < 100 && GetForegroundWindow() != top; ++i) {
        SetForegroundWindow(top);
        Sleep(20);
    }
    std::vector<INPUT> inputs(keys.size() * 2);
    for (size_t k = 0; k < keys.size(); ++k) {
        inputs[k].type = inputs[inputs.size() - 1 - k].type = INPUT_KEYBOARD;
        inputs[k].ki.wVk = inputs[inputs.size() - 1 - k].ki.wVk = keys[k];
        inputs[inputs.size() - 1 - k].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(100); // delivered through the target's message queue
}

std::wstring ClipboardText() {
    std::wstring text;
    for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i)
        Sleep(20);
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t *chars = static_cast<const wchar_t *>(GlobalLock(data))) text = chars;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool IsChecked(HWND dialog, int buttonId) {
    return SendMessageW(GetDlgItem(dialog, buttonId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int buttonId) {
    return IsWindowEnabled(GetDlgItem(dialog, buttonId)) != FALSE;
}

void SetText(HWND dialog, int controlId, const std::wstring &text) {
    DWORD_PTR result = 0;
    REQUIRE(SendMessageTimeoutW(GetDlgItem(dialog, controlId), WM_SETTEXT, 0,
                                reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000, &result));
}

HWND FindChildDialog(HWND parent, int controlId, const wchar_t *controlText) {
    for (HWND child = FindWindowExW(parent, nullptr, L"#32770", nullptr); child;
         child = FindWindowExW(parent, child, L"#32770", nullptr)) {
        HWND control = GetDlgItem(child, controlId);
        if (control && WindowText(control) == controlText) return child;
    }
    return nullptr;
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
