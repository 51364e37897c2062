// What a tracing window offers the people who read it: copy, select all, save, find, following
// the newest row, clear, and a context menu with the same commands. Everything here runs on the
// window's user-interface thread; lines keep arriving in batches while any of it runs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <deque>
#include <string>
#include <vector>

namespace qx {

class TracingView {
public:
    TracingView(HWND frame, HWND list);
    ~TracingView();
    TracingView(const TracingView &) = delete;
    TracingView &operator=(const TracingView &) = delete;

    // The window's keys and the find dialog's messages, before they are dispatched; true when
    // the message was taken.
    bool PreTranslate(MSG *message);
    // After a message was dispatched: a scroll by the reader pauses or resumes following.
    void AfterDispatch(const MSG &message);
    // A message of the frame window; true, with its result, when the view handled it.
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result);
    // Before a batch of rows is inserted: a view that the reader scrolled away from the newest row
    // (in any way) stops following; one scrolled back to it, with no row selected, follows again.
    void BeforeInsert();
    // A row added at the end of the list, with the parts of its columns.
    void Added(const std::vector<std::wstring> &parts);
    // The oldest row went.
    void RemovedOldest();
    // After a batch of rows was inserted: while following, the newest row is brought into view.
    void Inserted();

private:
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

    // The rows' texts as the records held them, columns joined by tabs: copy, save and find read
    // these, not the list view (a question to the list for each cell is far too slow for a
    // window of 100,000 rows).
    std::deque<std::wstring> m_rows;
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
