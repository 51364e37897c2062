// Helpers shared by the pages of the tab dialog.
#include "settingsxfer/ui/page.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/res/resource.h"
#include "zx_gensys/qx_translation.h"

namespace sx {

const wchar_t *T(const wchar_t *text) {
    return QX_GetTranslation(text, __FILE__);
}

void InitPage(HWND page, TransferOptions *options, std::wstring *backupFolder) {
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(options));
    SetWindowPos(page, nullptr, 2, 22, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    *backupFolder = BackupFolder().GetString();
}

TransferOptions *OptionsOf(HWND page) {
    return reinterpret_cast<TransferOptions *>(GetWindowLongPtrW(page, GWLP_USERDATA));
}

bool IsElementBox(int id) {
    for (const GroupInfo &g : kGroups)
        if (g.boxId == id) return true;
    return false;
}

bool IsChecked(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void Enable(HWND page, int id, bool enable) {
    EnableWindow(GetDlgItem(page, id), enable ? TRUE : FALSE);
}

void SetElementBoxes(HWND page, int check, int enable) {
    for (const GroupInfo &g : kGroups) {
        if (check == 1)
            CheckDlgButton(page, g.boxId, BST_CHECKED);
        else if (check != 0)
            CheckDlgButton(page, g.boxId, BST_UNCHECKED);
        Enable(page, g.boxId, enable == 1);
    }
}

void CheckEnabledBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (IsWindowEnabled(GetDlgItem(page, g.boxId))) CheckDlgButton(page, g.boxId, BST_CHECKED);
}

void UncheckAllBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        CheckDlgButton(page, g.boxId, BST_UNCHECKED);
}

void UncheckDisabledBoxes(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (!IsWindowEnabled(GetDlgItem(page, g.boxId))) CheckDlgButton(page, g.boxId, BST_UNCHECKED);
}

bool AnyBoxChecked(HWND page) {
    for (const GroupInfo &g : kGroups)
        if (IsChecked(page, g.boxId)) return true;
    return false;
}

void BuildElementList(HWND page, TransferOptions &options) {
    options.elements.clear();
    for (const GroupInfo &g : kGroups) {
        if (!IsChecked(page, g.boxId)) continue;
        for (const CQxStringW &member : GroupMembers(g.group))
            options.elements.push_back(member);
    }
}

void SetUpBoxButtons(HWND page, bool translateTips) {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(page, GWLP_HINSTANCE));
    const struct {
        int button;
        int bitmap;
        const wchar_t *tip;
    } buttons[] = {{IDC_CHECK_ALL, IDB_CHECK_ALL, L"Select All"},
                   {IDC_CLEAR_ALL, IDB_CLEAR_ALL, L"Uncheck All"}};
    for (const auto &b : buttons) {
        HANDLE picture =
            LoadImageW(instance, MAKEINTRESOURCEW(b.bitmap), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
        SendDlgItemMessageW(page, b.button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));

        HWND tooltip =
            CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, page, nullptr, instance, nullptr);
        if (!tooltip) continue;
        TOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = page;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(page, b.button));
        tool.lpszText = const_cast<wchar_t *>(translateTips ? T(b.tip) : b.tip);
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tooltip, TTM_ACTIVATE, TRUE, 0);
    }
}

bool AskForFile(HWND page, bool save, const std::wstring &folder, std::wstring *path) {
    std::vector<wchar_t> file(kPathLength, L'\0');
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kPathLength;
    dialog.lpstrFilter = L"Binary Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0";
    dialog.lpstrInitialDir = folder.c_str();
    dialog.Flags = OFN_EXPLORER;
    dialog.lpstrDefExt = L"bin";
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
    *path = file.data();
    return true;
}

namespace {

// The one job that runs (page, thread, what it may tell the page). The page's thread owns it; the
// job's thread reads work and writes result and report, and the progress under the lock.
struct Job : TransferControl {
    HWND page = nullptr;
    std::wstring what;
    JobWork work;
    JobDone done;
    HANDLE thread = nullptr;
    volatile LONG cancelled = 0;
    volatile LONG progressPosted = 0;
    CRITICAL_SECTION lock;
    TransferProgress progress; // guarded by lock
    int result = 0;
    TransferReport report;
    std::vector<std::pair<HWND, bool>> enabled; // the page's controls as they were
    HWND closeFrame = nullptr;

    Job() { InitializeCriticalSection(&lock); }
    ~Job() override { DeleteCriticalSection(&lock); }
    bool Cancelled() override { return cancelled != 0; }
    void Progress(const TransferProgress &now) override {
        EnterCriticalSection(&lock);
        progress = now;
        LeaveCriticalSection(&lock);
        if (InterlockedExchange(&progressPosted, 1) == 0) PostMessageW(page, kJobProgressMessage, 0, 0);
    }
};

Job *g_job = nullptr; // the page threads' only

DWORD WINAPI JobThread(void *parameter) {
    Job *job = static_cast<Job *>(parameter);
    job->result = job->work(job, &job->report);
    PostMessageW(job->page, kJobDoneMessage, 0, reinterpret_cast<LPARAM>(job));
    return 0;
}

std::wstring Megabytes(unsigned long long bytes) {
    wchar_t text[32];
    swprintf(text, 32, L"%.1f MB", bytes / 1048576.0);
    return text;
}

void ShowProgress(Job &job) {
    EnterCriticalSection(&job.lock);
    const TransferProgress p = job.progress;
    LeaveCriticalSection(&job.lock);
    wchar_t text[200];
    int permille = 0;
    if (p.finishing) {
        swprintf(text, 200, L"%ls: writing the prepared elements...", job.what.c_str());
        permille = 1000;
        EnableWindow(GetDlgItem(job.page, IDOK), FALSE); // the store is being changed: no more Cancel
    } else if (p.itemsTotal > 0) {
        swprintf(text, 200, L"%ls: %d of %d elements, %ls", job.what.c_str(), p.itemsDone, p.itemsTotal,
                 Megabytes(p.bytes).c_str());
        permille = static_cast<int>(1000LL * p.itemsDone / p.itemsTotal);
    } else if (p.bytesTotal > 0) {
        swprintf(text, 200, L"%ls: %ls of %ls", job.what.c_str(), Megabytes(p.bytes).c_str(),
                 Megabytes(p.bytesTotal).c_str());
        permille = static_cast<int>(1000.0 * p.bytes / p.bytesTotal);
    } else {
        swprintf(text, 200, L"%ls...", job.what.c_str());
    }
    SetStatus(job.page, text);
    SendDlgItemMessageW(job.page, IDC_PROGRESS, PBM_SETPOS, permille, 0);
}

BOOL CALLBACK DisableOne(HWND control, LPARAM parameter) {
    Job *job = reinterpret_cast<Job *>(parameter);
    const int id = GetDlgCtrlID(control);
    if (GetParent(control) != job->page || id == IDOK || id == IDC_PROGRESS || id == IDC_PROGRESS_TEXT)
        return TRUE;
    job->enabled.emplace_back(control, IsWindowEnabled(control) != FALSE);
    EnableWindow(control, FALSE);
    return TRUE;
}

} // namespace

void SetStatus(HWND page, const std::wstring &text) {
    SetDlgItemTextW(page, IDC_PROGRESS_TEXT, text.c_str());
}

bool JobRunning() {
    return g_job != nullptr;
}

void CancelJob() {
    if (!g_job || g_job->cancelled) return;
    InterlockedExchange(&g_job->cancelled, 1);
    SetDlgItemTextW(g_job->page, IDOK, T(L"Stopping..."));
}

void CloseWhenJobEnds(HWND frame) {
    if (!g_job) return;
    g_job->closeFrame = frame;
    CancelJob();
}

bool StartJob(HWND page, const wchar_t *what, JobWork work, JobDone done) {
    if (g_job) return false;
    Job *job = new Job;
    job->page = page;
    job->what = what;
    job->work = std::move(work);
    job->done = std::move(done);
    EnumChildWindows(page, DisableOne, reinterpret_cast<LPARAM>(job));
    SetDlgItemTextW(page, IDOK, T(L"Cancel"));
    SendDlgItemMessageW(page, IDC_PROGRESS, PBM_SETRANGE32, 0, 1000);
    SendDlgItemMessageW(page, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    ShowWindow(GetDlgItem(page, IDC_PROGRESS), SW_SHOW);
    SetStatus(page, std::wstring(what) + L"...");
    // Escape reaches the page from its focused control.
    SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(page, IDOK)), TRUE);
    g_job = job;
    job->thread = CreateThread(nullptr, 0, JobThread, job, 0, nullptr);
    if (!job->thread) {
        // No thread: the work runs here, as it did before windows kept answering.
        job->result = job->work(job, &job->report);
        PostMessageW(page, kJobDoneMessage, 0, reinterpret_cast<LPARAM>(job));
    }
    return true;
}

bool HandleJobMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kJobProgressMessage:
        if (g_job && g_job->page == page) {
            InterlockedExchange(&g_job->progressPosted, 0);
            ShowProgress(*g_job);
        }
        return true;
    case kJobDoneMessage: {
        Job *job = reinterpret_cast<Job *>(lParam);
        if (!job || job != g_job) return true;
        if (job->thread) {
            WaitForSingleObject(job->thread, INFINITE); // it has posted its last message
            CloseHandle(job->thread);
        }
        g_job = nullptr;
        for (const auto &control : job->enabled)
            EnableWindow(control.first, control.second ? TRUE : FALSE);
        ShowWindow(GetDlgItem(page, IDC_PROGRESS), SW_HIDE);
        EnableWindow(GetDlgItem(page, IDOK), TRUE);
        SetDlgItemTextW(page, IDOK, job->what.c_str());
        if (job->closeFrame) {
            PostMessageW(job->closeFrame, WM_CLOSE, 0, 0);
        } else if (job->done) {
            job->done(job->result, job->report);
        }
        delete job;
        return true;
    }
    case WM_COMMAND:
        // The button is Cancel while a job runs; Escape (IDCANCEL from the dialog keys) cancels too.
        if (g_job && g_job->page == page &&
            (LOWORD(wParam) == IDOK || (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == 0 && lParam == 0))) {
            CancelJob();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void RunEngine(HWND page, int (*operation)(const TransferOptions &, TransferReport *, TransferControl *),
               const wchar_t *errorText, const wchar_t *successText, const wchar_t *partlyText,
               std::function<void(int)> then) {
    const TransferOptions options = *OptionsOf(page); // the job's own copy: the page may change its own
    wchar_t title[64] = L"";
    GetDlgItemTextW(page, IDOK, title, 64);
    const std::wstring error = errorText, success = successText, partly = partlyText ? partlyText : L"";
    StartJob(
        page, title,
        [options, operation](TransferControl *control, TransferReport *report) {
            return operation(options, report, control);
        },
        [page, error, success, partly, then](int result, const TransferReport &report) {
            wchar_t text[1024];
            if (result == kTransferPartly && !partly.empty()) {
                swprintf(text, 1024, T(partly.c_str()), report.failedElements);
                SetStatus(page, text);
                MessageBoxW(page, text, T(L"Error"), MB_ICONERROR);
            } else if (result == kStoreBusy) {
                const wchar_t *busy =
                    T(L"Another transfer of the settings store is running. Try again when it has ended.");
                SetStatus(page, busy);
                MessageBoxW(page, busy, T(L"Error"), MB_ICONERROR);
            } else if (result == kTransferCancelled) {
                SetStatus(page, T(L"Stopped: the store and the package are as they were."));
            } else if (result != 0) {
                std::wstring shown = T(error.c_str());
                if (!report.refusal.empty()) shown += L"\n\n" + report.refusal;
                SetStatus(page, report.refusal.empty() ? T(error.c_str()) : report.refusal);
                MessageBoxW(page, shown.c_str(), T(L"Error"), MB_ICONERROR);
            } else {
                SetStatus(page, T(success.c_str()));
                MessageBoxW(page, T(success.c_str()), T(L"Success"), MB_OK);
            }
            if (then) then(result);
        });
}

std::wstring SelectedEntry(HWND page, int comboId) {
    const LRESULT index = SendDlgItemMessageW(page, comboId, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return L"";
    const LRESULT length = SendDlgItemMessageW(page, comboId, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return L"";
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(page, comboId, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

std::wstring ItemText(HWND page, int id, int length) {
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    GetDlgItemTextW(page, id, text.data(), length);
    return text.data();
}

} // namespace sx
