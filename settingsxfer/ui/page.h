// What the three pages of the tab dialog share: the element boxes, tooltips, the file dialog,
// the wait cursor, the result box and the backup folder.
#pragma once

#include <windows.h>

#include <string>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/options.h"
#include "settingsxfer/core/transfer.h"

namespace sx {

// Messages and constants of the pages.
const UINT kReloadMessage = WM_USER + 1; // the Import tab was chosen
const int kPathLength = 260;

// The translated text for this program.
const wchar_t *T(const wchar_t *text);

// What every page does when it is made: remembers the options (window user data), moves to
// (2, 22) inside the tab control, and fetches the backup folder for its file dialog.
void InitPage(HWND page, TransferOptions *options, std::wstring *backupFolder);
TransferOptions *OptionsOf(HWND page);

// check 1: check all eight boxes; other non-zero: uncheck them; 0: leave them. Then enable all
// eight when enable is 1, else disable them.
void SetElementBoxes(HWND page, int check, int enable);
void CheckEnabledBoxes(HWND page);
// Unchecks all eight and leaves their enabled states.
void UncheckAllBoxes(HWND page);
// Enables the box of every group that has an element for which present(element) holds.
template <typename Present> void EnableBoxesOfPresentElements(HWND page, Present present);
void UncheckDisabledBoxes(HWND page);
bool AnyBoxChecked(HWND page);
// Clears elements and appends each checked box's group members, in box order.
void BuildElementList(HWND page, TransferOptions &options);
bool IsElementBox(int id);
bool IsChecked(HWND page, int id);

// The "Check All" and "Clear All" pictures and their tooltips (texts translated when asked).
void SetUpBoxButtons(HWND page, bool translateTips);

// The page's file dialog; true with the chosen path in path.
bool AskForFile(HWND page, bool save, const std::wstring &folder, std::wstring *path);

// Runs an engine operation with the page's options under the wait cursor (the previous cursor
// comes back after it), then shows the result box: the success text; for elements that could not
// be written or deleted partlyText (a format with the number of them); for a store that another
// transfer holds a text that says so; otherwise the error text with the icon of an error.
int RunEngine(HWND page, int (*operation)(const TransferOptions &, TransferReport *),
              const wchar_t *errorText, const wchar_t *successText, const wchar_t *partlyText = nullptr);

std::wstring ItemText(HWND page, int id, int length);
// The text of a combo box's selected entry (empty without a selection).
std::wstring SelectedEntry(HWND page, int comboId);
void Enable(HWND page, int id, bool enable);

// The page procedures.
INT_PTR CALLBACK ExportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ImportPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DeletePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

template <typename Present> void EnableBoxesOfPresentElements(HWND page, Present present) {
    for (const ElementInfo &e : kElements)
        if (present(e.name)) Enable(page, InfoOf(e.group).boxId, true);
}

} // namespace sx
