#include "dialogs/main_dialog.h"

#include "base/debug_trace.h"
#include "base/dialog_ids.h"
#include "base/line_text.h"
#include "base/messages.h"
#include "base/string_ids.h"
#include "base/utf8.h"
#include "client/client_call.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "data/mailing_list.h"
#include "data/settings.h"
#include "dialogs/dialog_procedure.h"
#include "dialogs/dialog_support.h"
#include "dialogs/job_window_user.h"
#include "dialogs/main_dialog_parts.h"
#include "dialogs/message_boxes.h"
#include "dialogs/options_dialog.h"
#include "dialogs/review_dialog.h"
#include "engine/mailing_job.h"
#include "engine/waiting_copies.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool MainDialogOpen = false;

namespace {

// The copies the client holds until their time, after the sent count: they
// are sent as far as this mailing goes, and leave by themselves.
void AddWaiting(char* summary, size_t size) {
    if (MailingJob::waitingCount <= 0)
        return;
    const size_t used = std::strlen(summary);
    if (used >= size)
        return;
    std::snprintf(summary + used, size - used, "\nWaiting in the Outbox: %d, the last leaves at %s",
                  MailingJob::waitingCount, MailingJob::lastRelease);
}

// A string-table text, formatted, added to `text`.
template <class... Args> void AddString(char* text, size_t size, UINT id, Args... args) {
    char format[1024] = "";
    LoadStringA(DataPaths.module, id, format, sizeof format);
    const size_t used = std::strlen(text);
    if (used >= size)
        return;
    // A text without arguments is taken as it stands, never as a format.
    if constexpr (sizeof...(Args) == 0)
        std::snprintf(text + used, size - used, "%s", format);
    else
        std::snprintf(text + used, size - used, format, args...);
}

constexpr UINT_PTR kStatusTimer = 5;
constexpr UINT kStatusPeriod = 100;
// The list field holds 259 characters; ToList takes 258 of them.
constexpr int kListFieldLimit = 259;
constexpr int kListReadSize = 259;
// The remaining time alone moves the line by this much, this often at most.
constexpr long long kRemainingStep = 5;
constexpr DWORD kRemainingInterval = 2000;

class MainDialog {
public:
    MainDialog(std::unique_ptr<DialogWindow> window, ComposeContext* context)
        : window_(std::move(window)), context_(context) {}

    void Initialise() {
        if (MainDialogOpen) {
            window_->ShowStringMessage(IDS_ONE_MAILING_AT_A_TIME, MB_OK);
            refused_ = true;
            ended_ = true;
            window_->End(0);
            return;
        }
        MainDialogOpen = true;
        HWND dialog = window_->Handle();
        CenterWindow(dialog, 0);
        int major = 0, minor = 0;
        GetFileVersion(&major, &minor);
        char caption[64];
        std::snprintf(caption, sizeof caption, "%s %d.%d", kProductName, major, minor);
        window_->SetCaption(caption);
        MakeHyperlink(dialog, IDC_HYPERLINK);
        lastStatus_[0] = '\0';
        lastRemaining_ = -1;
        lastRefresh_ = 0;
        window_->SetText(IDC_LIST_PATH, JobOptions.ToList);
        window_->LimitText(IDC_LIST_PATH, kListFieldLimit);
        SelectListDelimiter(JobOptions.ToList);
        if (JobOptions.ToList[0] == '\0')
            window_->Enable(IDC_OPEN, false);
        // Only a mailing with copies still in the Outbox has any to take back.
        window_->Enable(IDC_WITHDRAW, LastMailingHasWaitingCopies());
        window_->SetText(IDC_SEND_PAUSE, "&Send");
        AddMainDialogTooltips(dialog);
        SetSendTooltip(dialog, true);
        MailingJob::progressPos = 0;
        MailingJob::percentDone = 0.0;
        window_->Show(IDC_PROGRESS, false);
        window_->SetProgressRange(IDC_PROGRESS, 0, 100);
        MailingJob::statusText[0] = '\0';
        window_->SetText(IDC_STATUS, MailingJob::statusText);
    }

    void Command(int id, int code) {
        switch (id) {
        case IDC_SEND_PAUSE:
            if (code == BN_CLICKED)
                SendOrPause();
            break;
        case IDCANCEL:
            if (code == BN_CLICKED)
                Cancel();
            break;
        case IDC_LIST_PATH:
            if (code == EN_CHANGE)
                FieldChanged();
            break;
        case IDC_BROWSE:
            if (code == BN_CLICKED)
                Browse();
            break;
        case IDC_OPEN:
            if (code == BN_CLICKED) {
                ReadField();
                ShellOpenFile(window_->Parent(), JobOptions.ToList);
            }
            break;
        case IDC_HELP_BUTTON:
            if (code == BN_CLICKED)
                Help();
            break;
        case IDC_OPTIONS:
            if (code == BN_CLICKED)
                ShowOptionsDialog(window_->Parent());
            break;
        case IDC_HYPERLINK:
            OpenProductWebAddress(window_->Parent());
            break;
        case IDC_WITHDRAW:
            if (code == BN_CLICKED && MailingJob::runState == kJobIdle)
                Withdraw();
            break;
        default:
            break;
        }
    }

    void Close() { window_->Post(WM_COMMAND, IDCANCEL, 0); }
    void Help() { ShowHelpTopic(window_->Handle(), IDS_HELP_MAILING_LISTS); }

    void Tick() {
        window_->SetProgress(IDC_PROGRESS, MailingJob::progressPos);
        const bool changed = std::strcmp(MailingJob::statusText, lastStatus_) != 0;
        const int remaining = RemainingSeconds(MailingJob::percentDone, MailingJob::elapsedMs);
        const DWORD now = GetTickCount();
        const bool timeMoved =
            remaining != -1 &&
            (lastRemaining_ == -1 ||
             std::llabs(static_cast<long long>(remaining) - lastRemaining_) >= kRemainingStep) &&
            now - lastRefresh_ >= kRemainingInterval;
        if (!timeMoved && !changed)
            return;
        lastRemaining_ = remaining;
        CopyUtf8(lastStatus_, sizeof lastStatus_, MailingJob::statusText);
        lastRefresh_ = now;
        char line[sizeof MailingJob::statusText + 64];
        FormatStatusLine(line, sizeof line, MailingJob::statusText,
                         MailingJob::runState != kJobIdle ? remaining : -1);
        window_->SetText(IDC_STATUS, line);
    }

    void JobFinished(int result) {
        // The job's own message after a cancel finds the dialog already done.
        if (ended_)
            return;
        MailingJob::runState = kJobIdle;
        window_->StopTimer(kStatusTimer);
        MailingJob::statusText[0] = '\0';
        lastStatus_[0] = '\0';
        lastRemaining_ = -1;
        lastRefresh_ = 0;
        MailingJob::progressPos = 0;
        MailingJob::percentDone = 0.0;
        if (result == kJobNotStarted) {
            // Back from the review: nothing was sent, and the user may
            // change the list or the message and send again.
            SetSendCaption(true);
            window_->SetText(IDC_STATUS, "");
            window_->Show(IDC_PROGRESS, false);
            window_->Enable(IDC_LIST_PATH, true);
            window_->Enable(IDC_BROWSE, true);
            window_->Focus(IDC_SEND_PAUSE);
            return;
        }
        // A job that ended before it opened its logs has none to point at:
        // the current job log is still the last mailing's.
        const char* resultText = result == 1              ? "Completed Successfully"
                                 : MailingJob::logsOpened ? "Not Complete (See Current Job Log)"
                                                          : "Not Complete";
        window_->SetText(IDC_STATUS, resultText);
        if (result == 1)
            window_->SetProgress(IDC_PROGRESS, 100);
        char summary[512];
        int length = std::snprintf(summary, sizeof summary, "Job %s\n\nSent: %d", resultText,
                                   MailingJob::sentCount);
        if (result != 1 && MailingJob::notSentCount > 0 && length > 0)
            std::snprintf(summary + length, sizeof summary - static_cast<size_t>(length),
                          "\nNot sent: %d (the current job log names each one; send the same "
                          "message to the same list again to mail them once they can be)",
                          MailingJob::notSentCount);
        AddWaiting(summary, sizeof summary);
        window_->ShowMessage(summary, MB_OK);
        SaveOptions();
        End(result);
    }

    // The dialog goes while its job still runs when its owner, the compose
    // window, is closed under it: the job is stopped and told its user has
    // gone, and no other mailing dialog opens until it has ended.
    void Destroyed() {
        if (jobUser_) {
            jobUser_->Leave();
            MailingJob::runState = kJobIdle;
            return;
        }
        if (!refused_ && !ended_)
            MainDialogOpen = false;
    }

private:
    void ReadField() { window_->GetText(IDC_LIST_PATH, JobOptions.ToList, kListReadSize); }

    void SetSendCaption(bool start) {
        window_->SetText(IDC_SEND_PAUSE, start ? "&Send" : "&Pause");
        SetSendTooltip(window_->Handle(), start);
    }

    void End(INT_PTR result) {
        ended_ = true;
        window_->End(result);
        MainDialogOpen = false;
    }

    // Takes the last mailing's waiting copies back and tells what became of
    // them, what could not be done included.
    void Withdraw() {
        const WithdrawalReport report = WithdrawWaitingCopies();
        char text[2048];
        FormatWithdrawal(report, text, sizeof text);
        window_->ShowMessage(text, report.outcome == WithdrawalOutcome::Done && report.kept == 0
                                       ? MB_OK | MB_ICONINFORMATION
                                       : MB_OK | MB_ICONEXCLAMATION);
        window_->Enable(IDC_WITHDRAW, LastMailingHasWaitingCopies());
    }

    void SendOrPause() {
        window_->Enable(IDC_WITHDRAW, false);
        window_->Enable(IDC_LIST_PATH, false);
        window_->Enable(IDC_BROWSE, false);
        window_->SetProgress(IDC_PROGRESS, MailingJob::progressPos);
        window_->Show(IDC_PROGRESS, true);
        if (MailingJob::runState == kJobRunning) {
            MailingJob::runState = kJobPaused;
            SetSendCaption(true);
            return;
        }
        ReadField();
        if (JobOptions.ToList[0] == '\0') {
            window_->ShowStringMessage(IDS_FILL_IN_MAILING_LIST, MB_OK);
            window_->Enable(IDC_LIST_PATH, true);
            window_->Enable(IDC_BROWSE, true);
            window_->Show(IDC_PROGRESS, false);
            window_->Focus(IDC_LIST_PATH);
            return;
        }
        SelectListDelimiter(JobOptions.ToList);
        const int oldState = MailingJob::runState;
        MailingJob::runState = kJobRunning;
        SetSendCaption(false);
        if (oldState == kJobPaused)
            return; // the job waiting in its pump goes on
        StartJob();
    }

    // The one place a job starts. The job may outlive the dialog (see
    // Destroyed); the controller is then gone when Run returns.
    void StartJob() {
        MailingJob::PrepareNew(JobOptions.ToList, window_->Handle());
        window_->StartTimer(kStatusTimer, kStatusPeriod);
        ComposeContextRef context(context_.Get());
        WindowJobUser user(context->ownerWindow, ShowReviewDialog);
        jobUser_ = &user;
        MailingJob::Run(context.Get(), &user);
        if (!user.Present()) {
            MainDialogOpen = false;
            return;
        }
        jobUser_ = nullptr;
    }

    void Cancel() {
        const int oldState = MailingJob::runState;
        MailingJob::runState = kJobIdle;
        SetSendCaption(true);
        if (oldState == kJobIdle) {
            End(0);
            return;
        }
        std::snprintf(MailingJob::statusText, sizeof MailingJob::statusText, "%s",
                      "Cancelling Gracefully...");
        window_->Enable(IDC_SEND_PAUSE, false);
        window_->Enable(IDCANCEL, false);
        window_->Post(JobFinishedMessage, 0, 0);
    }

    void FieldChanged() {
        ReadField();
        window_->Enable(IDC_OPEN, JobOptions.ToList[0] != '\0');
    }

    void Browse() {
        char title[256] = "";
        LoadStringA(DataPaths.module, IDS_SELECT_MAILING_LIST, title, sizeof title);
        char path[MAX_PATH];
        if (!BrowseForMailingList(window_->Parent(), path, title))
            return;
        std::snprintf(JobOptions.ToList, sizeof JobOptions.ToList, "%s", path);
        window_->SetText(IDC_LIST_PATH, JobOptions.ToList);
    }

    std::unique_ptr<DialogWindow> window_;
    ComposeContextRef context_;
    char lastStatus_[sizeof MailingJob::statusText] = "";
    int lastRemaining_ = -1;
    DWORD lastRefresh_ = 0;
    bool refused_ = false;
    bool ended_ = false;
    // The user of the job under way, while one runs.
    WindowJobUser* jobUser_ = nullptr;
};

void LogOriginalFailure(HWND owner, const char* what) {
    CrtFile* log = CrtOpen(DataPaths.currentJobLog, "a+");
    if (!log) {
        StringMessageBox(owner, IDS_CANNOT_OPEN_CURRENT_JOB_LOG, kProductName, MB_ICONEXCLAMATION);
        return;
    }
    char line[64];
    std::snprintf(line, sizeof line, "Error attempting to %s original message.", what);
    CrtPrintf(log, "%s\n", line);
    CrtClose(log);
}

} // namespace

void FormatWithdrawal(const WithdrawalReport& report, char* text, size_t size) {
    text[0] = '\0';
    switch (report.outcome) {
    case WithdrawalOutcome::NoMailing:
        AddString(text, size, IDS_WITHDRAW_NO_MAILING);
        return;
    case WithdrawalOutcome::NoneWaiting:
        AddString(text, size, IDS_WITHDRAW_NONE);
        return;
    case WithdrawalOutcome::NoOutbox:
        AddString(text, size, IDS_WITHDRAW_NO_OUTBOX);
        return;
    case WithdrawalOutcome::NoMemory:
        AddString(text, size, IDS_OUT_OF_MEMORY);
        return;
    case WithdrawalOutcome::NoState:
        if (report.withdrawn + report.alreadyLeft + report.kept == 0) {
            AddString(text, size, IDS_WITHDRAW_NO_STATE_AT_ALL);
            return;
        }
        break;
    case WithdrawalOutcome::Done:
    case WithdrawalOutcome::DeleteRefused:
        break;
    }
    AddString(text, size, IDS_WITHDRAWN, report.withdrawn);
    if (report.alreadyLeft > 0)
        AddString(text, size, IDS_WITHDRAW_LEFT, report.alreadyLeft);
    if (report.kept > 0)
        AddString(text, size, IDS_WITHDRAW_KEPT, report.kept);
    if (report.outcome == WithdrawalOutcome::DeleteRefused)
        AddString(text, size, IDS_WITHDRAW_DELETE_REFUSED, report.stoppedAddress,
                  report.stoppedLine);
    if (report.outcome == WithdrawalOutcome::NoState)
        AddString(text, size, IDS_WITHDRAW_NO_STATE);
}

int RemainingSeconds(double percentDone, DWORD elapsedMs) {
    if (!(std::fabs(percentDone) >= 0.1))
        return -1;
    // Each step rounded to a double, as the estimate is defined: the x87
    // unit would otherwise carry extended precision through and truncate
    // 3996 seconds to 3995.
    const double elapsed = static_cast<double>(elapsedMs);
    volatile double share = 100.0 / percentDone;
    volatile double total = share * elapsed;
    volatile double left = total - elapsed;
    volatile double seconds = left * 0.001;
    // A long job at a small share done can promise more than an int holds.
    if (seconds >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (seconds <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(seconds);
}

void FormatStatusLine(char* line, size_t size, const char* status, int remainingSeconds) {
    LineText text(line, size);
    text.Text(status);
    if (remainingSeconds == -1)
        return;
    text.Text("  (Remaining Time: ")
        .Number(remainingSeconds / 3600)
        .Text(":")
        .Number(remainingSeconds % 3600 / 60, 2)
        .Text(":")
        .Number(remainingSeconds % 60, 2)
        .Text(")");
}

BOOL BrowseForMailingList(HWND owner, char* path, const char* title) {
    static const char kFilter[] = "Tab Delimited or Comma Separated (*.txt, *.csv)\0*.txt;*.csv\0"
                                  "Tab Delimited Text (*.txt)\0*.txt\0"
                                  "Comma Separated Values (*.csv)\0*.csv\0"
                                  "Workbooks (*.xlsx, *.xlsm, *.ods)\0*.xlsx;*.xlsm;*.ods\0"
                                  "All (*.*)\0*.*\0";
    // The structure without the places-bar fields: 76 bytes on x86.
    constexpr DWORD kOpenFileSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
    static_assert(sizeof(void*) != 4 || kOpenFileSize == 76,
                  "the 32-bit open-file structure is 76 bytes");
    path[0] = '\0';
    OPENFILENAMEA openFile = {};
    openFile.lStructSize = kOpenFileSize;
    openFile.hwndOwner = owner;
    openFile.lpstrFilter = kFilter;
    openFile.nFilterIndex = 1;
    openFile.lpstrFile = path;
    openFile.nMaxFile = MAX_PATH;
    openFile.lpstrInitialDir = JobOptions.LastToFolder;
    openFile.lpstrTitle = title;
    openFile.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!ShowOpenFileDialog(&openFile))
        return FALSE;
    char folder[MAX_PATH];
    std::snprintf(folder, sizeof folder, "%s", path);
    if (char* slash = std::strrchr(folder, '\\')) {
        slash[1] = '\0';
        std::snprintf(JobOptions.LastToFolder, sizeof JobOptions.LastToFolder, "%s", folder);
    }
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            auto* context = reinterpret_cast<ComposeContext*>(lParam);
            if (MainDialog* main = AttachController<MainDialog>(dialog, context))
                main->Initialise();
            else
                EndDialog(dialog, 0);
            return TRUE;
        }
        MainDialog* main = ControllerOf<MainDialog>(dialog);
        if (!main)
            return FALSE;
        switch (message) {
        case WM_COMMAND:
            main->Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_TIMER:
            if (wParam != kStatusTimer)
                return FALSE;
            main->Tick();
            return TRUE;
        case WM_CLOSE:
            main->Close();
            return TRUE;
        case WM_HELP:
            main->Help();
            return TRUE;
        case JobFinishedMessage:
            main->JobFinished(static_cast<int>(wParam));
            return TRUE;
        case WM_NCDESTROY:
            main->Destroyed();
            DetachController<MainDialog>(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}

void OpenMainDialog(ComposeContext* context, HWND window) {
    if (!context)
        return;
    HWND owner = window ? window : GetDesktopWindow();
    context->ownerWindow = owner;
    DebugTrace("Opening Main Dialog\r\n");
    const INT_PTR result =
        ShowLibraryDialog(IDD_MAIN, owner, MainDialogProc, reinterpret_cast<LPARAM>(context));
    if (result != 1)
        return;
    const bool save = JobOptions.SaveOrig != 0;
    if (FAILED(ClientCall(save ? "Close" : "Delete", [&] {
            if (save)
                HostApplication::Close(context->mailItem.Get(), olSave);
            else
                HostApplication::Delete(context->mailItem.Get());
        })))
        LogOriginalFailure(owner, save ? "close" : "delete");
}
