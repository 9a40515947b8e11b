// The scripted user: once the compose window is painted it clicks
// "Quorsend", then works the real dialogs step by step through their
// windows (typing into the list field, clicking the dialog's buttons), reads
// the status line as it changes, and answers every message box as it comes.
// It runs on a thread timer while the dialogs' own loops run.
#include "base/dialog_ids.h"
#include "host.h"
#include "real_user_win.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The mailing dialog's caption.
const char kMainCaption[] = "Quorvel 2.1";
const char kReviewCaption[] = "Quorvel: Review the Mailing";
// How long the user waits for a step's moment before giving up on the
// dialog: the step is reported and every dialog ended.
constexpr DWORD kPatience = 30000;

// A message box: a system dialog with a text and none of the extension's
// controls (the extension's dialogs have captionless labels too).
bool IsMessageBox(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, "#32770") == 0 && GetDlgItem(window, 0xFFFF) &&
           !GetDlgItem(window, IDC_STATUS) && !GetDlgItem(window, IDC_PAUSE) &&
           !GetDlgItem(window, IDC_JOB_HISTORY) && !GetDlgItem(window, IDC_REVIEW_FINDINGS);
}

struct Found {
    std::string caption;
    HWND window;
};
BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<Found*>(lParam);
    char className[16] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) && !IsMessageBox(window) &&
        request->caption == caption) {
        request->window = window;
        return FALSE;
    }
    return TRUE;
}
HWND FindDialog(const std::string& caption) {
    Found request{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&request));
    return request.window;
}

BOOL CALLBACK CollectBoxes(HWND window, LPARAM lParam) {
    if (IsWindowVisible(window) && IsMessageBox(window))
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

void PrintLine(const std::string& line, int progress) {
    std::string bar(static_cast<size_t>(progress / 5), '#');
    bar.resize(20, '.');
    std::printf("  [%s] %3d%%  %s\n", bar.c_str(), progress, line.c_str());
    std::fflush(stdout);
}

int ProgressOf(HWND main) {
    return static_cast<int>(SendDlgItemMessageA(main, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

// Messages the extension has handed the client so far.
size_t MessagesSent() {
    return Client->Calls("SubmitMessage").size();
}

void ShowStatus(HWND main) {
    const std::string line = Text(main, IDC_STATUS);
    if (line.empty() || line == LastStatusLine)
        return;
    LastStatusLine = line;
    PrintLine(line, ProgressOf(main));
}

// Whether a window has been on the screen long enough to be painted.
bool Painted(HWND window) {
    if (!window)
        return false;
    const DWORD seen = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropA(window, "QvSeen")));
    if (!seen) {
        SetPropA(window, "QvSeen",
                 reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetTickCount() | 1)));
        return false;
    }
    return GetTickCount() - seen >= 300;
}

// The questions the user answers Yes: continue the last mailing, and send
// the message in doubt when the client cannot be searched for it.
const char* const kYesQuestions[] = {
    "The last mailing of this list with this subject did not finish",
    "The last run of this mailing stopped while",
};

// The message boxes on the screen: each is printed, photographed once it has
// been painted, and answered as a user would (Yes to the questions above, No
// to any other, else OK).
void AnswerBoxes() {
    std::vector<HWND> boxes;
    EnumThreadWindows(GetCurrentThreadId(), CollectBoxes, reinterpret_cast<LPARAM>(&boxes));
    for (HWND box : boxes) {
        if (AnsweredBoxes.count(box))
            continue;
        // Let it paint before it is read and photographed.
        if (!Painted(box))
            continue;
        AnsweredBoxes.insert(box);
        const std::string caption = Text(box), text = Text(box, 0xFFFF);
        const bool question = GetDlgItem(box, IDNO) != nullptr;
        if (text.rfind("Job ", 0) == 0) {
            HWND main = GetWindow(box, GW_OWNER);
            if (main) {
                ShowStatus(main);
                Shoot(main, "main-finished");
            }
            SummaryText = text;
            JobResult = text.rfind("Job Completed Successfully", 0) == 0 ? 1 : 0;
            Shoot(box, "summary");
        } else {
            Shoot(box, "message-box-" + std::to_string(AnsweredBoxes.size()));
        }
        bool yes = false;
        for (const char* asked : kYesQuestions)
            yes |= text.rfind(asked, 0) == 0;
        // The questions --answer chooses, at their safe defaults otherwise.
        if (ChosenAnswer(Options, text) >= 0)
            yes = ChosenAnswer(Options, text) == 1;
        const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
        std::printf("\n  +-- message box \"%s\"%s\n", caption.c_str(),
                    !question ? ""
                    : yes ? (cancel ? " (Yes/No/Cancel, answered Yes)" : " (Yes/No, answered Yes)")
                          : (cancel ? " (Yes/No/Cancel, answered No)" : " (Yes/No, answered No)"));
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line))
            std::printf("  | %s\n", line.c_str());
        std::printf("  +--\n\n");
        std::fflush(stdout);
        Click(box, !question ? IDOK : yes ? IDYES : IDNO);
    }
}

// Picks the sheet or ticks the hidden rows the options ask for and the
// review does not show; true when it did (the review is then shown anew).
bool ChangeReview(HWND review) {
    const ReviewChange change = ReviewChangeFor(
        Options, static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCOUNT, 0, 0)),
        static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCURSEL, 0, 0)),
        IsDlgButtonChecked(review, IDC_INCLUDE_HIDDEN) == BST_CHECKED,
        IsWindowEnabled(GetDlgItem(review, IDC_INCLUDE_HIDDEN)) != FALSE);
    if (change.sheet >= 0) {
        std::printf("  the user picks sheet %d in the review\n", change.sheet + 1);
        ChooseItem(review, IDC_SHEET, change.sheet);
        return true;
    }
    if (change.tickHidden) {
        std::printf("  the user ticks \"Include the hidden rows\" in the review\n");
        Click(review, IDC_INCLUDE_HIDDEN);
        return true;
    }
    return false;
}

// The review before the mailing: printed as the user reads it, photographed
// once painted, and started (after the sheet and rows the options ask for).
void StartFromReview() {
    HWND review = FindDialog(kReviewCaption);
    if (!review || ReviewsStarted.count(review) || !Painted(review))
        return;
    ReviewsStarted.insert(review);
    if (ChangeReview(review))
        return;
    Shoot(review, "review");
    std::printf("\n  +-- review \"%s\"\n", kReviewCaption);
    for (int id : {IDC_REVIEW_SUMMARY, IDC_REVIEW_FINDINGS, IDC_PREVIEW_WHO, IDC_PREVIEW_TEXT}) {
        std::istringstream lines(Text(review, id));
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::printf("  | %s\n", line.c_str());
        }
    }
    std::printf("  +-- the user clicks \"Start Mailing\"\n\n");
    std::fflush(stdout);
    Click(review, IDOK);
}

BOOL CALLBACK EndEveryDialog(HWND window, LPARAM) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0)
        EndDialog(window, 0);
    return TRUE;
}

// One step of the script, when its moment has come; true when done.
bool RunStep(const UserStep& step, HWND main) {
    const DWORD waited = GetTickCount() - StepSince;
    if (step.seconds && waited < static_cast<DWORD>(step.at) * 1000)
        return false;
    if (!step.seconds && MessagesSent() < static_cast<size_t>(step.at))
        return false;
    const std::string running = Text(main, IDC_SEND_PAUSE);
    if (step.action == "send" || step.action == "send-empty") {
        Type(main, IDC_LIST_PATH, step.action == "send" ? ListPath : "");
        Shoot(main, step.action == "send" ? "main-idle" : "main-empty-field");
        std::printf("  the user %s and clicks Send\n",
                    step.action == "send" ? "types the list's path" : "clears the field");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "pause") {
        if (running != "&Pause")
            return false;
        Shoot(main, "main-running");
        std::printf("  the user clicks Pause\n");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "resume") {
        if (running != "&Send")
            return false;
        Shoot(main, "main-paused");
        std::printf("  the user clicks Send to resume\n");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "cancel" || step.action == "close") {
        if (step.action == "cancel")
            Shoot(main, running == "&Pause" ? "main-running" : "main-paused");
        std::printf("  the user clicks Cancel\n");
        Click(main, IDCANCEL);
    } else if (step.action == "die") {
        // DieIfDue ends the process at its delivery; the steps after it wait.
        return false;
    } else if (step.action == "options") {
        // Options, then Logs from there, each photographed once painted,
        // then both closed.
        HWND options = FindDialog("Quorvel 2.1 Options");
        HWND logs = FindDialog("Quorvel Logs");
        switch (OptionsStage) {
        case 0:
            std::printf("  the user opens the options and the logs\n");
            Click(main, IDC_OPTIONS);
            break;
        case 1:
            if (!Painted(options))
                return false;
            Shoot(options, "options");
            Click(options, IDC_LOGS);
            break;
        case 2:
            if (!Painted(logs))
                return false;
            Shoot(logs, "logs");
            Click(logs, IDOK);
            break;
        case 3:
            if (logs || !options)
                return false;
            Click(options, IDCANCEL);
            break;
        default:
            if (options)
                return false;
            OptionsStage = 0;
            return true;
        }
        ++OptionsStage;
        return false;
    }
    return true;
}

void CALLBACK UserTimer(HWND, UINT, UINT_PTR, DWORD) {
    static bool inside = false;
    if (inside)
        return;
    inside = true;
    AnswerBoxes();
    StartFromReview();
    HWND main = FindDialog(kMainCaption);
    if (main)
        ShowStatus(main);
    if (!Clicked) {
        // The compose window has been painted: the user clicks its button.
        if (GetTickCount() - StepSince > 500) {
            Shoot(ComposeWindow, "compose");
            std::printf("  the user clicks \"Quorsend\"\n");
            StepSince = GetTickCount();
            PostMessageA(QuorsendButton, BM_CLICK, 0, 0);
        }
    } else if (main && NextStep < Options.user.size()) {
        if (!MainDialogSince)
            MainDialogSince = GetTickCount();
        // Painted before the first step acts.
        if (GetTickCount() - MainDialogSince > 300 && RunStep(Options.user[NextStep], main)) {
            ++NextStep;
            StepSince = GetTickCount();
        }
    }
    if (!DialogDone && GetTickCount() - StepSince > kPatience) {
        Problems.push_back(NextStep < Options.user.size()
                               ? "the step \"" + Options.user[NextStep].action + "\" waited in vain"
                               : "the dialog stayed open after the script's last step");
        NextStep = Options.user.size();
        EnumThreadWindows(GetCurrentThreadId(), EndEveryDialog, 0);
        StepSince = GetTickCount();
    }
    inside = false;
}

} // namespace

void DieIfDue() {
    static int delivered = 0;
    ++delivered;
    for (const UserStep& step : Options.user) {
        if (step.action == "die" && step.at == delivered) {
            std::printf("  the process dies at delivery %d\n", delivered);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 9);
        }
    }
}

void RunUser() {
    StepSince = GetTickCount();
    const UINT_PTR timer = SetTimer(nullptr, 0, 40, UserTimer);
    MSG msg;
    while (!DialogDone && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    KillTimer(nullptr, timer);
}
