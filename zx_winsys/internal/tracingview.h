// What a tracing window offers the people who read it: its rows, held by the window (the list view
// only shows them: it asks for the texts it draws), copy, select all, save, find, following the
// newest row, clear, and a context menu with the same commands. Everything here runs on the
// window's user-interface thread; lines keep arriving in batches while any of it runs.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <deque>
#include <string>
#include <vector>

namespace qx {

class TracingView {
public:
    // list: a list view with owner data (LVS_OWNERDATA); cap: the most rows it keeps.
    TracingView(HWND frame, HWND list, size_t cap);
    ~TracingView();
    TracingView(const TracingView &) = delete;
    TracingView &operator=(const TracingView &) = delete;

    // The window's keys and the find dialog's messages, before they are dispatched; true when
    // the message was taken.
    bool PreTranslate(MSG *message);
    // After a message was dispatched: a scroll by the reader pauses or resumes following.
    void AfterDispatch(const MSG &message);
    // A message of the frame window (the list's notifications among them); true, with its result,
    // when the view handled it.
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result);

    // Adds rows (columns joined by tabs) at the end; beyond the cap the oldest go, counted in a
    // first row that says how many. Keeps the reader's selection and view on the rows they were
    // on. Returns the most columns a row of the batch has.
    size_t Append(std::vector<std::wstring> &&rows);
    size_t RowCount() const { return m_rows.size() + (m_trimmed ? 1 : 0); }
    // While following, the newest row is brought into view (after a resize, say).
    void ShowNewest();

private:
    // The row shown at index (the note of trimmed rows first, when there is one).
    const std::wstring &Row(size_t index) const;
    void DisplayInfo(NMLVDISPINFOW *info) const;
    void Command(int command);
    void ContextMenu(LPARAM where);
    void Copy();
    void Save();
    void OpenFind();
    void Find(bool down);
    void Clear();
    void SetFollowing(bool following);
    bool NewestRowVisible() const;
    void ShowTitle();
    // Tells the list its count, and moves the selection, the focus and the view by delta rows
    // (rows went at the front); added rows came at the end.
    void Shift(long delta, size_t added);
    void KeepFromFindDialog(int row);

    std::deque<std::wstring> m_rows; // the rows as the records held them, columns joined by tabs
    size_t m_cap;
    unsigned long long m_trimmed = 0; // rows that went at the cap
    std::wstring m_trimmedNote;       // the row that says so
    HWND m_frame;
    HWND m_list;
    HACCEL m_keys;
    bool m_following = true;
    std::wstring m_title; // the title given to the window; " (paused)" follows it while paused
    std::wstring m_findText;
    HWND m_findDialog = nullptr;
    UINT m_findMessage;
    FINDREPLACEW m_find = {};
    wchar_t m_findBuffer[256] = L"";
};

} // namespace qx
