// A tracing window's commands for its readers: Ctrl+C, Ctrl+A, Ctrl+S, Ctrl+F, F3, Shift+F3,
// Ctrl+L, End (following the newest row again) and the context menu that offers them.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
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

// A row as copy and save give it: empty columns at its end are left out.
std::wstring Shown(const std::wstring &row) {
    size_t end = row.size();
    while (end > 0 && row[end - 1] == L'\t')
        --end;
    return row.substr(0, end);
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

TracingView::TracingView(HWND frame, HWND list, size_t cap)
    : m_cap(cap ? cap : 1), m_frame(frame), m_list(list),
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
        if (header->hwndFrom != m_list) return false;
        switch (header->code) {
        case LVN_GETDISPINFOW:
            DisplayInfo(reinterpret_cast<NMLVDISPINFOW *>(lParam));
            return true;
        case LVN_ODFINDITEMW: // typing a row's first letters finds nothing: the reader has Ctrl+F
            *result = -1;
            return true;
        case LVN_BEGINLABELEDITW: // a line number is not for editing
            *result = TRUE;
            return true;
        case LVN_ODSTATECHANGED: {
            const NMLVODSTATECHANGE *change = reinterpret_cast<const NMLVODSTATECHANGE *>(lParam);
            if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED))
                SetFollowing(false);
            return true;
        }
        case LVN_ITEMCHANGED: {
            // A row the reader selects holds the view where it is.
            const NMLISTVIEW *change = reinterpret_cast<const NMLISTVIEW *>(lParam);
            if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                !(change->uOldState & LVIS_SELECTED))
                SetFollowing(false);
            return false;
        }
        default:
            return false;
        }
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

void TracingView::ShowNewest() {
    const int count = static_cast<int>(RowCount());
    if (m_following && count > 0) SendMessageW(m_list, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

size_t TracingView::Append(std::vector<std::wstring> &&rows) {
    // While following, the window left the newest row in view after the last batch: a view that
    // the reader scrolled away from it (in any way) stops following; one scrolled back to it, with
    // no row selected, follows again.
    const bool newest = NewestRowVisible();
    if (m_following && !newest)
        SetFollowing(false);
    else if (!m_following && newest && SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        SetFollowing(true);

    size_t columns = 0;
    const size_t noteBefore = m_trimmed ? 1 : 0;
    for (std::wstring &row : rows) {
        columns = std::max(columns, static_cast<size_t>(std::count(row.begin(), row.end(), L'\t')) + 1);
        m_rows.push_back(std::move(row));
    }
    size_t removed = 0;
    if (m_rows.size() > m_cap) {
        removed = m_rows.size() - m_cap;
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(removed));
        m_trimmed += removed;
        wchar_t note[128];
        swprintf(note, 128, L"\t[%llu older lines dropped: a window keeps the newest %zu]", m_trimmed, m_cap);
        m_trimmedNote = note;
    }
    const long delta =
        static_cast<long>(m_trimmed ? 1 : 0) - static_cast<long>(noteBefore) - static_cast<long>(removed);
    Shift(delta, rows.size());
    ShowNewest();
    return columns;
}

void TracingView::Shift(long delta, size_t added) {
    const int count = static_cast<int>(RowCount());
    const int before = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    if (delta == 0) {
        if (count != before)
            SendMessageW(m_list, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
        InvalidateRect(m_list, nullptr, FALSE);
        return;
    }
    // The reader's marks name rows by their places, which have moved: read them, then move each one
    // to where its row is now. Each mark is moved by itself (clearing every row's state at once
    // costs the list a pass over all of them).
    const int selected = static_cast<int>(SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0));
    std::vector<int> marked;
    if (selected > 0 && selected < before)
        for (int row = -1;
             (row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;)
            marked.push_back(row);
    const int focused =
        static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const int mark = static_cast<int>(SendMessageW(m_list, LVM_GETSELECTIONMARK, 0, 0));
    const int top = static_cast<int>(SendMessageW(m_list, LVM_GETTOPINDEX, 0, 0));
    if (count != before)
        SendMessageW(m_list, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    LVITEMW state = {};
    const auto set = [&](int row, UINT mask, UINT value) {
        state.stateMask = mask;
        state.state = value;
        SendMessageW(m_list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    };
    if (selected >= before) {
        // All were selected: so are the rows that stayed, not the new ones.
        for (int row = count - static_cast<int>(added); row < count; ++row)
            if (row >= 0) set(row, LVIS_SELECTED, 0);
    } else {
        for (int row : marked)
            if (row < count) set(row, LVIS_SELECTED, 0);
        for (int row : marked)
            if (row + delta >= 0 && row + delta < count) set(row + delta, LVIS_SELECTED, LVIS_SELECTED);
    }
    if (focused >= 0) {
        if (focused < count) set(focused, LVIS_FOCUSED, 0);
        if (focused + delta >= 0) set(focused + delta, LVIS_FOCUSED, LVIS_FOCUSED);
    }
    if (mark >= 0) SendMessageW(m_list, LVM_SETSELECTIONMARK, 0, mark + delta >= 0 ? mark + delta : -1);
    if (!m_following && top > 0) {
        // The view stays on the rows the reader was reading.
        RECT row = {LVIR_BOUNDS, 0, 0, 0};
        if (SendMessageW(m_list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)))
            SendMessageW(m_list, LVM_SCROLL, 0, static_cast<LPARAM>(delta) * (row.bottom - row.top));
    }
    InvalidateRect(m_list, nullptr, FALSE);
}

const std::wstring &TracingView::Row(size_t index) const {
    if (m_trimmed) {
        if (index == 0) return m_trimmedNote;
        --index;
    }
    return m_rows[index];
}

void TracingView::DisplayInfo(NMLVDISPINFOW *info) const {
    if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
    info->item.pszText[0] = L'\0';
    if (info->item.iItem < 0 || static_cast<size_t>(info->item.iItem) >= RowCount()) return;
    // The column's part of the row: the text between its tabs.
    const std::wstring &row = Row(static_cast<size_t>(info->item.iItem));
    size_t start = 0;
    for (int k = 0; k < info->item.iSubItem && start != std::wstring::npos; ++k) {
        start = row.find(L'\t', start);
        if (start != std::wstring::npos) ++start;
    }
    if (start == std::wstring::npos) return;
    const size_t end = std::min(row.find(L'\t', start), row.size());
    const size_t n = std::min(end - start, static_cast<size_t>(info->item.cchTextMax - 1));
    wmemcpy(info->item.pszText, row.data() + start, n);
    info->item.pszText[n] = L'\0';
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
        ShowNewest();
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

void TracingView::Copy() {
    std::wstring text;
    for (int row = -1;
         (row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0 &&
         static_cast<size_t>(row) < RowCount();)
        text += Shown(Row(static_cast<size_t>(row))) + L"\r\n";
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
    for (size_t row = 0; row < RowCount(); ++row)
        bytes += qx::Utf8(Shown(Row(row)) + L"\r\n");
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
// row, going round past the last (or first) row; the row found is selected and shown, clear of
// the Find dialog. A text that is in no row says so.
void TracingView::Find(bool down) {
    std::wstring needle = m_findText;
    CharLowerBuffW(&needle[0], static_cast<DWORD>(needle.size()));
    const int count = static_cast<int>(RowCount());
    const int focused =
        static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    int found = -1;
    std::wstring text;
    const int start = focused < 0 ? (down ? -1 : count) : focused;
    for (int step = 1; step <= count; ++step) {
        const int row = ((down ? start + step : start - step) % count + count) % count;
        // The row without its number.
        const std::wstring &whole = Row(static_cast<size_t>(row));
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
    SendMessageW(m_list, LVM_SETSELECTIONMARK, 0, found);
    SetFollowing(false);
    SendMessageW(m_list, LVM_ENSUREVISIBLE, found, FALSE);
    KeepFromFindDialog(found);
}

// Moves the Find dialog off the row found: below it, or above it when the screen has no room there.
void TracingView::KeepFromFindDialog(int row) {
    if (!m_findDialog || !IsWindowVisible(m_findDialog)) return;
    RECT bounds = {LVIR_BOUNDS, 0, 0, 0}, dialog, overlap;
    if (!SendMessageW(m_list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds))) return;
    MapWindowPoints(m_list, nullptr, reinterpret_cast<POINT *>(&bounds), 2);
    GetWindowRect(m_findDialog, &dialog);
    if (!IntersectRect(&overlap, &bounds, &dialog)) return;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST), &monitor);
    const int height = dialog.bottom - dialog.top;
    int y = bounds.bottom + 8;
    if (y + height > monitor.rcWork.bottom) y = bounds.top - 8 - height;
    if (y < monitor.rcWork.top) y = monitor.rcWork.top;
    SetWindowPos(m_findDialog, nullptr, dialog.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TracingView::Clear() {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    m_rows.clear();
    m_trimmed = 0;
    SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    SetFollowing(true);
}

bool TracingView::NewestRowVisible() const {
    const int count = static_cast<int>(RowCount());
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
