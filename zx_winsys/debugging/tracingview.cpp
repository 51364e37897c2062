// A tracing window's commands for its readers: Ctrl+C, Ctrl+A, Ctrl+S, Ctrl+F, F3, Shift+F3,
// Ctrl+L, End (following the newest row again) and the context menu that offers them.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "zx_winsys/internal/module.h"
#include "zx_winsys/internal/systemtext.h"
#include "zx_winsys/internal/tracingview.h"

namespace {

enum Command : WORD {
    kCopy = 0x101,
    kSelectAll,
    kSave,
    kFind,
    kFindNext,
    kFindPrevious,
    kClear,
    kFollow,
};

const ACCEL kKeys[] = {
    {FCONTROL | FVIRTKEY, 'C', kCopy},
    {FCONTROL | FVIRTKEY, 'A', kSelectAll},
    {FCONTROL | FVIRTKEY, 'S', kSave},
    {FCONTROL | FVIRTKEY, 'F', kFind},
    {FVIRTKEY, VK_F3, kFindNext},
    {FSHIFT | FVIRTKEY, VK_F3, kFindPrevious},
    {FCONTROL | FVIRTKEY, 'L', kClear},
    {FVIRTKEY, VK_END, kFollow},
    {FCONTROL | FVIRTKEY, VK_INSERT, kCopy},
};

const wchar_t kPaused[] = L" (paused)";

// The system's common dialogs, loaded when a reader first asks for one and kept: imported, they
// would be loaded and unloaded with the library, and under Wine every unload of them leaves a
// handle behind.
template <typename F> F CommonDialog(const char *name) {
    static HMODULE module = LoadLibraryW(L"comdlg32.dll");
    return qx::Symbol<F>(module, name);
}

// Writes the bytes to a file beside path, then puts it in path's place: a save that fails (a
// full disk, a file that another program holds) leaves the file that was there as it was.
DWORD WriteReplacing(const std::wstring &path, const std::string &bytes) {
    const std::wstring partial = path + L".saving";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD error = ERROR_SUCCESS;
    for (size_t done = 0; done < bytes.size() && error == ERROR_SUCCESS;) {
        const DWORD chunk =
            static_cast<DWORD>(bytes.size() - done < (1u << 20) ? bytes.size() - done : 1u << 20);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        done += written;
    }
    if (error == ERROR_SUCCESS && !FlushFileBuffers(file)) error = GetLastError();
    CloseHandle(file);
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) DeleteFileW(partial.c_str());
    return error;
}

// The window's title as a file name: characters that no file name may hold become blanks.
std::wstring FileNameOf(const std::wstring &title) {
    std::wstring name;
    for (wchar_t c : title)
        name += wcschr(L"\\/:*?\"<>|", c) ? L' ' : c;
    return name + L".txt";
}

} // namespace

namespace qx {

TracingView::TracingView(HWND frame, HWND list)
    : m_frame(frame), m_list(list),
      m_keys(CreateAcceleratorTableW(const_cast<ACCEL *>(kKeys), sizeof kKeys / sizeof kKeys[0])),
      m_findMessage(RegisterWindowMessageW(FINDMSGSTRINGW)) {
    wchar_t title[512] = L"";
    GetWindowTextW(frame, title, 512);
    m_title = title;
}

TracingView::~TracingView() {
    if (m_keys) DestroyAcceleratorTable(m_keys);
}

bool TracingView::PreTranslate(MSG *message) {
    if (m_findDialog && IsDialogMessageW(m_findDialog, message)) return true;
    if (!m_keys || (message->hwnd != m_frame && !IsChild(m_frame, message->hwnd))) return false;
    // A label being edited in the list keeps its own keys.
    wchar_t className[16] = L"";
    GetClassNameW(message->hwnd, className, 16);
    if (_wcsicmp(className, L"Edit") == 0) return false;
    return TranslateAcceleratorW(m_frame, m_keys, message) != 0;
}

bool TracingView::Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result) {
    *result = 0;
    if (message == m_findMessage && m_findMessage != 0) {
        const FINDREPLACEW *find = reinterpret_cast<const FINDREPLACEW *>(lParam);
        if (find->Flags & FR_DIALOGTERM) {
            m_findDialog = nullptr;
        } else if (find->Flags & FR_FINDNEXT) {
            m_findText = m_findBuffer;
            Find((find->Flags & FR_DOWN) != 0);
        }
        return true;
    }
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0 || LOWORD(wParam) < kCopy || LOWORD(wParam) > kFollow) return false;
        Command(LOWORD(wParam));
        return true;
    case WM_CONTEXTMENU:
        ContextMenu(lParam);
        return true;
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->hwndFrom != m_list || header->code != LVN_ITEMCHANGED) return false;
        // A row the reader selects holds the view where it is.
        const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(lParam);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED))
            SetFollowing(false);
        return false;
    }
    case WM_SETTEXT: {
        m_title = lParam ? reinterpret_cast<const wchar_t *>(lParam) : L"";
        const std::wstring shown = m_following ? m_title : m_title + kPaused;
        *result = DefWindowProcW(m_frame, WM_SETTEXT, wParam, reinterpret_cast<LPARAM>(shown.c_str()));
        return true;
    }
    default:
        return false;
    }
}

void TracingView::Inserted() {
    const int count = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    if (m_following && count > 0) SendMessageW(m_list, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

void TracingView::BeforeInsert() {
    // While following, the window left the newest row in view after the last batch.
    const bool newest = NewestRowVisible();
    if (m_following && !newest)
        SetFollowing(false);
    else if (!m_following && newest && SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        SetFollowing(true);
}

void TracingView::AfterDispatch(const MSG &message) {
    // The wheel, or the scroll bar (whose dragging ends within its button's dispatch), show their
    // effect at once: scrolled away from the newest row, the view pauses; scrolled back to it,
    // it follows again. Watched here rather than by subclassing the list, which would put every
    // row's insertion through the subclass's lookups (under Wine a server call each).
    if (message.hwnd != m_list && message.hwnd != m_frame) return;
    if (message.message == WM_MOUSEWHEEL || message.message == WM_NCLBUTTONDOWN) {
        if (!NewestRowVisible())
            SetFollowing(false);
        else if (SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
            SetFollowing(true);
    }
}

void TracingView::Command(int command) {
    switch (command) {
    case kCopy:
        Copy();
        break;
    case kSelectAll:
        SetFollowing(false);
        {
            LVITEMW item = {};
            item.stateMask = LVIS_SELECTED;
            item.state = LVIS_SELECTED;
            SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        }
        break;
    case kSave:
        Save();
        break;
    case kFind:
        OpenFind();
        break;
    case kFindNext:
    case kFindPrevious:
        if (m_findText.empty())
            OpenFind();
        else
            Find(command == kFindNext);
        break;
    case kClear:
        Clear();
        break;
    case kFollow: {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED;
        SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        SetFollowing(true);
        Inserted();
        break;
    }
    default:
        break;
    }
}

void TracingView::ContextMenu(LPARAM where) {
    POINT at = {static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == static_cast<LPARAM>(-1)) { // from the keyboard: at the list's corner
        at = {8, 8};
        ClientToScreen(m_list, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const bool selection = SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    const UINT found = m_findText.empty() ? MF_GRAYED : MF_ENABLED;
    AppendMenuW(menu, selection ? MF_ENABLED : MF_GRAYED, kCopy, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_ENABLED, kSelectAll, L"Select &All\tCtrl+A");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_ENABLED, kFind, L"&Find...\tCtrl+F");
    AppendMenuW(menu, found, kFindNext, L"Find &Next\tF3");
    AppendMenuW(menu, found, kFindPrevious, L"Find &Previous\tShift+F3");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_ENABLED, kSave, L"&Save As...\tCtrl+S");
    AppendMenuW(menu, MF_ENABLED, kClear, L"C&lear\tCtrl+L");
    AppendMenuW(menu, m_following ? MF_CHECKED : MF_UNCHECKED, kFollow, L"F&ollow Newest\tEnd");
    const int chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_frame, nullptr);
    DestroyMenu(menu);
    if (chosen != 0) Command(chosen);
}

void TracingView::Added(const std::vector<std::wstring> &parts) {
    size_t used = parts.size(); // empty columns at the row's end are left out
    while (used > 1 && parts[used - 1].empty())
        --used;
    try {
        std::wstring text;
        for (size_t k = 0; k < used; ++k)
            text += (k ? L"\t" : L"") + parts[k];
        m_rows.push_back(std::move(text));
    } catch (const std::bad_alloc &) {
        // without memory the row is in the list only; copy, save and find leave it out
    }
}

void TracingView::RemovedOldest() {
    if (!m_rows.empty()) m_rows.pop_front();
}

void TracingView::Copy() {
    std::wstring text;
    for (int row = -1;
         (row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0 &&
         row < static_cast<int>(m_rows.size());)
        text += m_rows[static_cast<size_t>(row)] + L"\r\n";
    if (text.empty()) {
        MessageBeep(MB_OK);
        return;
    }
    bool open = false;
    for (int attempt = 0; attempt < 10 && !(open = OpenClipboard(m_frame) != FALSE); ++attempt)
        Sleep(20); // another program may hold the clipboard for a moment
    HGLOBAL memory = open ? GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)) : nullptr;
    if (memory) {
        wmemcpy(static_cast<wchar_t *>(GlobalLock(memory)), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        EmptyClipboard();
        if (!SetClipboardData(CF_UNICODETEXT, memory)) {
            GlobalFree(memory);
            memory = nullptr;
        }
    }
    if (open) CloseClipboard();
    if (!memory)
        MessageBoxW(m_frame, L"The rows could not be copied: the clipboard is not available.",
                    m_title.c_str(), MB_OK | MB_ICONWARNING);
}

void TracingView::Save() {
    wchar_t path[1024];
    wcsncpy(path, FileNameOf(m_title).c_str(), 1023);
    path[1023] = L'\0';
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_frame;
    dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = 1024;
    dialog.lpstrDefExt = L"txt";
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    using SaveDialog = BOOL(WINAPI *)(OPENFILENAMEW *);
    SaveDialog save = CommonDialog<SaveDialog>("GetSaveFileNameW");
    if (!save || !save(&dialog)) return; // cancelled

    // UTF-8 with its byte-order mark, lines ending in CR LF: the title, then every row.
    std::string bytes = "\xEF\xBB\xBF";
    bytes += qx::Utf8(m_title + L"\r\n");
    for (const std::wstring &row : m_rows)
        bytes += qx::Utf8(row + L"\r\n");
    const DWORD error = WriteReplacing(path, bytes);
    if (error != ERROR_SUCCESS) {
        const std::wstring text =
            L"The window could not be saved as " + std::wstring(path) + L":\n" + qx::SystemMessage(error);
        MessageBoxW(m_frame, text.c_str(), m_title.c_str(), MB_OK | MB_ICONWARNING);
    }
}

void TracingView::OpenFind() {
    if (m_findDialog) {
        SetActiveWindow(m_findDialog);
        return;
    }
    m_find = {};
    m_find.lStructSize = sizeof m_find;
    m_find.hwndOwner = m_frame;
    m_find.Flags = FR_DOWN | FR_HIDEMATCHCASE | FR_HIDEWHOLEWORD;
    m_find.lpstrFindWhat = m_findBuffer;
    m_find.wFindWhatLen = sizeof m_findBuffer / sizeof m_findBuffer[0];
    using FindDialog = HWND(WINAPI *)(FINDREPLACEW *);
    FindDialog find = CommonDialog<FindDialog>("FindTextW");
    m_findDialog = find ? find(&m_find) : nullptr;
}

// The next row (down) or the previous one that holds the text, ignoring case, from the focused
// row; the row found is selected and shown. A text that is not found says so.
void TracingView::Find(bool down) {
    std::wstring needle = m_findText;
    CharLowerBuffW(&needle[0], static_cast<DWORD>(needle.size()));
    const int count = static_cast<int>(m_rows.size());
    const int focused =
        static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    int found = -1;
    std::wstring text;
    for (int row = focused < 0 ? (down ? 0 : count - 1) : (down ? focused + 1 : focused - 1);
         row >= 0 && row < count; row += down ? 1 : -1) {
        // The row without its number.
        const std::wstring &whole = m_rows[static_cast<size_t>(row)];
        const size_t tab = whole.find(L'\t');
        text.assign(whole, tab == std::wstring::npos ? whole.size() : tab + 1, std::wstring::npos);
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
        if (text.find(needle) != std::wstring::npos) {
            found = row;
            break;
        }
    }
    if (found < 0) {
        const std::wstring text = L"Cannot find \"" + m_findText + L"\".";
        MessageBoxW(m_findDialog ? m_findDialog : m_frame, text.c_str(), m_title.c_str(),
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, found, reinterpret_cast<LPARAM>(&item));
    SetFollowing(false);
    SendMessageW(m_list, LVM_ENSUREVISIBLE, found, FALSE);
}

void TracingView::Clear() {
    SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    m_rows.clear();
    SetFollowing(true);
}

bool TracingView::NewestRowVisible() const {
    const int count = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    const int top = static_cast<int>(SendMessageW(m_list, LVM_GETTOPINDEX, 0, 0));
    const int page = static_cast<int>(SendMessageW(m_list, LVM_GETCOUNTPERPAGE, 0, 0));
    return count == 0 || top + page >= count;
}

void TracingView::SetFollowing(bool following) {
    if (following == m_following) return;
    m_following = following;
    ShowTitle();
}

void TracingView::ShowTitle() {
    const std::wstring shown = m_following ? m_title : m_title + kPaused;
    DefWindowProcW(m_frame, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
}

} // namespace qx
