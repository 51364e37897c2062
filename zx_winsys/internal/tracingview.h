// What a tracing window offers the people who read it: copy, select all, save, find, following
// the newest row, clear, and a context menu with the same commands. Everything here runs on the
// window's user-interface thread; lines keep arriving in batches while any of it runs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

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
    // A message of the frame window; true, with its result, when the view handled it.
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result);
    // After a batch of rows was inserted: while following, the newest row is brought into view.
    void Inserted();

private:
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
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
    std::wstring RowText(int row, int columns, int firstColumn) const;
    int Columns() const;

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
