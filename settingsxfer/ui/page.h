// What the three pages of the tab dialog share: the element boxes, tooltips, the file dialog,
// the wait cursor, the result box and the backup folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/options.h"
#include "settingsxfer/core/transfer.h"

namespace sx {

// Messages and constants of the pages.
const UINT kReloadMessage = WM_USER + 1;     // the Import tab was chosen
const UINT kJobProgressMessage = WM_APP + 1; // a page's job has gone on (see StartJob)
const UINT kJobDoneMessage = WM_APP + 2;     // a page's job has ended
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

// A transfer, or the check of a package, on a thread of its own while the window keeps answering.
// The page's controls are disabled and its button becomes "Cancel" (Escape and closing the window
// cancel too); the progress shows in a line and a bar below the element boxes; the other tabs wait.
// work runs on the job's thread; done runs on the page's thread when it has ended. One job at a
// time: false when one runs.
using JobWork = std::function<int(TransferControl *control, TransferReport *report)>;
using JobDone = std::function<void(int result, const TransferReport &report)>;
bool StartJob(HWND page, const wchar_t *what, JobWork work, JobDone done);
bool JobRunning();
// Asks the running job to stop at the next element.
void CancelJob();
// Closes frame once the running job has ended (it is asked to stop first).
void CloseWhenJobEnds(HWND frame);
// The page procedures pass every message here first: true when it was the job's.
bool HandleJobMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Shows a line below the element boxes.
void SetStatus(HWND page, const std::wstring &text);

// Runs an engine operation with the page's options as a job, then shows the result box: the
// success text; for items that could not be done partlyText (a format with their number); for a
// store that another transfer holds a text that says so; for Cancel that nothing changed;
// otherwise the error text and the reason with the icon of an error. then (may be empty) runs after
// the box with the result.
void RunEngine(HWND page, int (*operation)(const TransferOptions &, TransferReport *, TransferControl *),
               const wchar_t *errorText, const wchar_t *successText, const wchar_t *partlyText,
               std::function<void(int)> then = {});

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
