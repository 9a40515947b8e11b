// The three dialogs on the real dialog manager (under Wine), from the
// templates and the manifest of the built Quorvel.dll, against the simulated
// mail client: a user types the list, sends, pauses, looks at the options and
// the logs, resumes and reads the summary; another cancels. What the user sees
// in each state is checked on the real windows, and each state is saved as a
// PNG screenshot in the build tree's "screenshots" folder for people to judge.
#include "../engine/job_fixture.h"
#include "real_user_win.h"
#include "screenshot_win.h"

#include "base/dialog_ids.h"
#include "data/settings.h"
#include "dialogs/dialog_support.h"
#include "dialogs/main_dialog.h"
#include "dialogs/main_dialog_parts.h"

#include <gmock/gmock.h>

#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// ---- A scripted user on real windows ---------------------------------------------------
// Steps run from a thread timer, which every modal loop and the job's own pump
// dispatch: each step waits until what it needs is on the screen, then acts.
// A step that waits too long fails the test and ends every dialog, so that a
// fault never leaves the program hanging.

struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
};

std::deque<Step> Steps;
DWORD WaitingSince = 0;
UINT_PTR StepTimer = 0;
std::vector<std::string> StuckSteps;
constexpr DWORD kPatience = 30000;

// What the thread shows, for the report of a step that waited in vain.
BOOL CALLBACK DescribeWindow(HWND window, LPARAM lParam) {
    char className[64] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    *reinterpret_cast<std::string*>(lParam) += std::string(" [") + className + " \"" + caption +
                                               "\"" + (IsWindowVisible(window) ? "" : " hidden") +
                                               "]";
    return TRUE;
}

BOOL CALLBACK EndEveryDialog(HWND window, LPARAM) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0)
        EndDialog(window, 0);
    return TRUE;
}

void CALLBACK RunSteps(HWND, UINT, UINT_PTR, DWORD) {
    while (!Steps.empty()) {
        if (!Steps.front().ready()) {
            if (GetTickCount() - WaitingSince > kPatience) {
                std::string shown;
                EnumThreadWindows(GetCurrentThreadId(), DescribeWindow,
                                  reinterpret_cast<LPARAM>(&shown));
                StuckSteps.push_back(Steps.front().what + "; on the screen:" + shown);
                Steps.clear();
                MailingJob::runState = kJobIdle;
                EnumThreadWindows(GetCurrentThreadId(), EndEveryDialog, 0);
            }
            return;
        }
        // Taken off first: an action that opens a modal window comes back
        // only when it closes, and the steps after it run inside that window.
        Step step = std::move(Steps.front());
        Steps.pop_front();
        WaitingSince = GetTickCount();
        step.act();
    }
}

// The thread's visible dialog with this caption, or null.
struct FindRequest {
    std::string caption;
    HWND found;
};
BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<FindRequest*>(lParam);
    char className[16] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        request->caption == caption) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}
HWND FindDialog(const std::string& caption) {
    FindRequest request{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// The tooltip text the tooltip window holds for a control of the dialog.
std::string TooltipOf(HWND dialog, int id) {
    if (!MainDialogTooltip)
        return "(none)";
    char text[80] = "";
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
    tool.lpszText = text;
    SendMessageA(MainDialogTooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return text;
}

struct Look {
    std::string sendCaption, sendTooltip, status;
    bool fieldEnabled, browseEnabled, openEnabled, sendEnabled, cancelEnabled, progressVisible;
    int progress;
};

Look LookAt(HWND dialog) {
    Look look;
    look.sendCaption = Text(dialog, IDC_SEND_PAUSE);
    look.sendTooltip = TooltipOf(dialog, IDC_SEND_PAUSE);
    look.status = Text(dialog, IDC_STATUS);
    look.fieldEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_LIST_PATH)) != FALSE;
    look.browseEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE)) != FALSE;
    look.openEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_OPEN)) != FALSE;
    look.sendEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SEND_PAUSE)) != FALSE;
    look.cancelEnabled = IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != FALSE;
    look.progressVisible = IsWindowVisible(GetDlgItem(dialog, IDC_PROGRESS)) != FALSE;
    look.progress =
        static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0));
    return look;
}

// The message box whose text begins with `start`, or null.
struct BoxRequest {
    std::string start;
    HWND found;
};
BOOL CALLBACK MatchBox(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<BoxRequest*>(lParam);
    char text[512] = "";
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    if (IsWindowVisible(window) &&
        std::strncmp(text, request->start.c_str(), request->start.size()) == 0) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}
HWND FindBox(const std::string& start) {
    BoxRequest request{start, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchBox, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

const char kMainCaption[] = "Quorvel 2.1";
const char kOptionsCaption[] = "Quorvel 2.1 Options";
const char kLogsCaption[] = "Quorvel Logs";

class RealDialogTest : public JobTest {
protected:
    void SetUp() override {
        JobTest::SetUp();
        // The dialogs, strings, version and manifest of the delivered library.
        ASSERT_NE(ProductLibrary(), nullptr) << "Quorvel.dll is not beside the test program";
        AttachLibrary(ProductLibrary());
        JobOptions.Pause = 0;
        JobOptions.DoSendRecv = 0;
        ForgetActivationContext();
        MainDialogOpen = false;
        Steps.clear();
        StuckSteps.clear();
        WaitingSince = GetTickCount();
        StepTimer = SetTimer(nullptr, 0, 40, RunSteps);
        ASSERT_NE(StepTimer, 0u);
    }
    void TearDown() override {
        KillTimer(nullptr, StepTimer);
        EXPECT_THAT(StuckSteps, ElementsAre()) << "the script waited in vain";
        JobTest::TearDown();
    }

    void Then(const std::string& what, std::function<bool()> ready, std::function<void()> act) {
        Steps.push_back(Step{what, std::move(ready), std::move(act)});
    }
    // Once the dialog has been on the screen long enough to be painted.
    void WhenShown(const std::string& caption, std::function<void(HWND)> act) {
        Then("the dialog " + caption, Settled([caption] { return FindDialog(caption); }),
             [caption, act] { act(FindDialog(caption)); });
    }
    static std::function<bool()> Settled(std::function<HWND()> find) {
        auto since = std::make_shared<DWORD>(0);
        return [find, since] {
            if (!find()) {
                *since = 0;
                return false;
            }
            if (*since == 0)
                *since = GetTickCount() | 1;
            return GetTickCount() - *since >= 300;
        };
    }
    void Shoot(HWND window, const std::string& name) {
        EXPECT_TRUE(SaveWindowPng(window, ScreenshotFolder() + name + ArchitectureSuffix()))
            << name;
    }
    static std::string ArchitectureSuffix() { return sizeof(void*) == 8 ? "-x64.png" : "-x86.png"; }
};

TEST_F(RealDialogTest, AWholeMailingWithPauseOptionsLogsAndResume) {
    Prepare(6);
    JobOptions.Pause = 1;
    JobOptions.SaveOrig = 0;
    std::vector<Look> looks;
    std::vector<bool> logsEnabled;
    std::string summaryLine;
    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind("Job ", 0) == 0 ? 0 : IDOK; // the summary is answered below
    });

    WhenShown(kMainCaption, [&](HWND main) {
        looks.push_back(LookAt(main)); // idle, the list of the options
        Type(main, IDC_LIST_PATH, "");
        looks.push_back(LookAt(main)); // idle, the field cleared
        Type(main, IDC_LIST_PATH, listPath);
        looks.push_back(LookAt(main)); // idle, a list typed
        Shoot(main, "main-idle");
        Click(main, IDC_SEND_PAUSE);
    });
    Then(
        "the remaining time",
        [] {
            const std::string line = Text(FindDialog(kMainCaption), IDC_STATUS);
            return line.find("Remaining Time") != std::string::npos &&
                   line.find("0:00:00") == std::string::npos;
        },
        [&] {
            HWND main = FindDialog(kMainCaption);
            looks.push_back(LookAt(main)); // running
            Shoot(main, "main-running");
            Click(main, IDC_SEND_PAUSE);
        });
    Then(
        "the pause", [] { return MailingJob::runState == kJobPaused; },
        [&] {
            HWND main = FindDialog(kMainCaption);
            looks.push_back(LookAt(main)); // paused
            Shoot(main, "main-paused");
            Click(main, IDC_OPTIONS);
        });
    WhenShown(kOptionsCaption, [&](HWND options) {
        // The spins are bound to their fields, over 0..9999.
        HWND pauseSpin = GetDlgItem(options, IDC_PAUSE_SPIN);
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(pauseSpin, UDM_GETBUDDY, 0, 0)),
                  GetDlgItem(options, IDC_PAUSE));
        EXPECT_EQ(SendMessageA(pauseSpin, UDM_GETRANGE, 0, 0), MAKELONG(9999, 0));
        EXPECT_EQ(Text(options, IDC_PAUSE), "1");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, IDC_SEND_RECEIVE_COUNT)));
        Shoot(options, "options");
        Click(options, IDC_LOGS);
    });
    WhenShown(kLogsCaption, [&](HWND logs) {
        for (int id : {IDC_JOB_HISTORY, IDC_CURRENT_JOB_LOG, IDC_SENT_LIST})
            logsEnabled.push_back(IsWindowEnabled(GetDlgItem(logs, id)) != FALSE);
        Shoot(logs, "logs");
        Click(logs, IDOK);
    });
    Then(
        "the logs closed", [] { return !FindDialog(kLogsCaption); },
        [] { Click(FindDialog(kOptionsCaption), IDCANCEL); });
    Then(
        "the options closed", [] { return !FindDialog(kOptionsCaption); },
        [] { Click(FindDialog(kMainCaption), IDC_SEND_PAUSE); });
    Then("the summary", Settled([] { return FindBox("Job "); }), [&] {
        HWND box = FindBox("Job ");
        looks.push_back(LookAt(FindDialog(kMainCaption))); // behind the summary
        summaryLine = Text(box, 0xFFFF);
        Shoot(FindDialog(kMainCaption), "main-completed");
        Shoot(box, "summary");
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });

    OpenMainDialog(context, nullptr);

    ASSERT_EQ(looks.size(), 6u);
    const Look& idle = looks[0];
    EXPECT_EQ(idle.sendCaption, "&Send");
    EXPECT_EQ(idle.sendTooltip, "Start Sending Emails");
    EXPECT_EQ(idle.status, "");
    EXPECT_TRUE(idle.fieldEnabled && idle.browseEnabled && idle.sendEnabled && idle.cancelEnabled &&
                idle.openEnabled);
    EXPECT_FALSE(idle.progressVisible);
    // Open follows the field's text as it is typed.
    EXPECT_FALSE(looks[1].openEnabled);
    EXPECT_TRUE(looks[2].openEnabled);

    const Look& running = looks[3];
    EXPECT_EQ(running.sendCaption, "&Pause");
    EXPECT_EQ(running.sendTooltip, "Pause Sending");
    EXPECT_THAT(running.status, HasSubstr("  (Remaining Time: 0:00:"));
    EXPECT_FALSE(running.fieldEnabled || running.browseEnabled);
    EXPECT_TRUE(running.openEnabled && running.sendEnabled && running.cancelEnabled);
    EXPECT_TRUE(running.progressVisible);
    EXPECT_GT(running.progress, 0);

    const Look& paused = looks[4];
    EXPECT_EQ(paused.sendCaption, "&Send");
    EXPECT_EQ(paused.sendTooltip, "Start Sending Emails");
    EXPECT_FALSE(paused.fieldEnabled || paused.browseEnabled);
    EXPECT_TRUE(paused.sendEnabled && paused.cancelEnabled && paused.progressVisible);

    // The logs the running job has made are there to open.
    EXPECT_EQ(logsEnabled, (std::vector<bool>{true, true, true}));

    const Look& done = looks[5];
    EXPECT_EQ(done.status, "Completed Successfully");
    EXPECT_EQ(done.progress, 100);
    EXPECT_EQ(summaryLine, "Job Completed Successfully\n\nSent: 6");

    EXPECT_EQ(client->Deliveries().size(), 6u);
    EXPECT_EQ(client->Calls("Delete").size(), 1u);
    EXPECT_FALSE(MainDialogOpen);
}

TEST_F(RealDialogTest, TheTemplatesTooltipsAndTheIdleStateOnTheRealManager) {
    Prepare(1);
    std::vector<std::string> tips;
    WhenShown(kMainCaption, [&](HWND main) {
        EXPECT_EQ(SendMessageA(MainDialogTooltip, TTM_GETTOOLCOUNT, 0, 0), 6);
        for (int id :
             {IDC_OPEN, IDC_BROWSE, IDC_SEND_PAUSE, IDCANCEL, IDC_HELP_BUTTON, IDC_OPTIONS})
            tips.push_back(TooltipOf(main, id));
        // The range set at start: 0..100.
        PBRANGE range = {};
        SendMessageA(GetDlgItem(main, IDC_PROGRESS), PBM_GETRANGE, FALSE,
                     reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 100);
        // The field holds 259 characters at most.
        EXPECT_EQ(SendMessageA(GetDlgItem(main, IDC_LIST_PATH), EM_GETLIMITTEXT, 0, 0), 259);
        Click(main, IDCANCEL);
    });
    OpenMainDialog(context, nullptr);
    EXPECT_THAT(tips, ElementsAre("Open File For Viewing", "Browse For File",
                                  "Start Sending Emails", "Cancel and Return to Message",
                                  "Display the Online Help", "Adjust Quorvel Options"));
    EXPECT_TRUE(client->Calls("Delete").empty());
    EXPECT_FALSE(MainDialogOpen);
}

TEST_F(RealDialogTest, CancelWhileRunningShowsTheSummaryAndLeavesTheMessageOpen) {
    Prepare(6);
    JobOptions.Pause = 1;
    Look atSummary{};
    std::string summaryLine;
    AnswerMessageBoxes([&](const ShownMessageBox& box) {
        if (box.text.rfind("Job ", 0) == 0) {
            atSummary = LookAt(FindDialog(kMainCaption));
            summaryLine = box.text;
        }
        return IDOK;
    });
    WhenShown(kMainCaption, [&](HWND main) {
        Type(main, IDC_LIST_PATH, listPath);
        Click(main, IDC_SEND_PAUSE);
    });
    Then(
        "the first message sent", [] { return MailingJob::sentCount >= 1; },
        [] { Click(FindDialog(kMainCaption), IDCANCEL); });

    OpenMainDialog(context, nullptr);

    // Cancelling: Send/Pause and Cancel disabled, the result on the line.
    EXPECT_EQ(atSummary.status, "Not Complete (See Current Job Log)");
    EXPECT_EQ(atSummary.sendCaption, "&Send");
    EXPECT_FALSE(atSummary.sendEnabled || atSummary.cancelEnabled || atSummary.fieldEnabled);
    EXPECT_THAT(summaryLine, HasSubstr("Job Not Complete (See Current Job Log)\n\nSent: "));
    EXPECT_LT(client->Deliveries().size(), 6u);
    EXPECT_TRUE(client->Calls("Delete").empty());
    EXPECT_TRUE(client->Calls("Close").empty());
    EXPECT_FALSE(MainDialogOpen);
}

// A client that tells its account (version 14, an Exchange mailbox): the
// review, on the real dialog manager, says who keeps the waiting copies and
// proposes the provider's limits, in room for all of it.
TEST_F(RealDialogTest, TheReviewNamesTheSendingAccountAndProposesItsLimits) {
    sim::Config config;
    config.version = "14.0.4760.1000";
    config.accountType = olExchange;
    config.accountAddress = "cy@contoso.com";
    Prepare(3, config);
    JobOptions.LimitsChosen = 0;
    TakeReviews([](HWND) {});
    std::string said, perMinute, perDay;
    bool marked = false;
    WhenShown(kMainCaption, [&](HWND main) {
        Type(main, IDC_LIST_PATH, listPath);
        Click(main, IDC_SEND_PAUSE);
    });
    WhenShown("Quorvel: Review the Mailing", [&](HWND review) {
        said = Text(review, IDC_RELEASE_TEXT);
        perMinute = Text(review, IDC_PER_MINUTE);
        perDay = Text(review, IDC_PER_DAY);
        marked = IsDlgButtonChecked(review, IDC_PROVIDER_1) == BST_CHECKED;
        Shoot(review, "review-account");
        Click(review, IDCANCEL);
    });
    WhenShown(kMainCaption, [&](HWND main) { Click(main, IDCANCEL); });
    OpenMainDialog(context, nullptr);

    EXPECT_NE(said.find("\r\nThey go from cy@contoso.com, an Exchange account: its server "
                        "sends the waiting copies, whether Outlook runs or not. Proposed for this "
                        "account: the limits of Exchange Online / Microsoft 365."),
              std::string::npos)
        << said;
    EXPECT_EQ(perMinute, "30");
    EXPECT_EQ(perDay, "10000");
    EXPECT_TRUE(marked);
    EXPECT_TRUE(DeliveredTo().empty());
    JobOptions.LimitsChosen = 1;
}

// A list someone else made, on the real dialog manager: the review names
// every file and copy address, the preview the copy's To, Bcc and files, and
// the choice for the file on another computer is there, off; left off, that
// record is not mailed (and the server never asked: its name is not opened).
TEST_F(RealDialogTest, TheReviewShowsTheFilesAndCopyAddressesAndTheNetworkChoice) {
    Prepare(1);
    const std::string folder = listPath.substr(0, listPath.find_last_of('\\'));
    WriteFileBytes(folder + "\\invoice-1.pdf", std::string(2048, 'i'));
    WriteFileBytes(folder + "\\terms.pdf", "terms");
    WriteList("Name,Work Email,Private E-Mail,Attachment 1,Attachment 2,Cc,Bcc\r\n"
              "Ann,ann@example.com,a@home.net,invoice-1.pdf,terms.pdf,,x@stranger.net\r\n"
              "Bo,bo@example.com,,\\\\server\\share\\x.pdf,terms.pdf,boss@example.com,"
              "x@stranger.net\r\n"
              "Cy,cy@example.com,,,terms.pdf,ann@example.com,x@stranger.net\r\n");
    TakeReviews([](HWND) {}); // the steps below take it, once it is painted
    std::string findings, preview;
    bool choice = false, ticked = true;
    WhenShown(kMainCaption, [&](HWND main) {
        Type(main, IDC_LIST_PATH, listPath);
        Click(main, IDC_SEND_PAUSE);
    });
    WhenShown("Quorvel: Review the Mailing", [&](HWND review) {
        findings = Text(review, IDC_REVIEW_FINDINGS);
        preview = Text(review, IDC_PREVIEW_TEXT);
        choice = IsWindowEnabled(GetDlgItem(review, IDC_ALLOW_NETWORK)) != FALSE;
        ticked = IsDlgButtonChecked(review, IDC_ALLOW_NETWORK) == BST_CHECKED;
        Shoot(review, "review-extras");
        Click(review, IDOK);
    });
    OpenMainDialog(context, nullptr);

    EXPECT_NE(findings.find("passed over: \"Private E-Mail\""), std::string::npos) << findings;
    EXPECT_NE(findings.find("- terms.pdf (5 bytes) on every copy (3): " + folder + "\\terms.pdf"),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("- x.pdf on 1 copy (line 3): \\\\server\\share\\x.pdf, on another "
                            "computer"),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("- Bcc x@stranger.net on every copy (3)"), std::string::npos);
    EXPECT_EQ(preview.rfind("To: ann@example.com\r\nBcc: x@stranger.net\r\nAttachments: "
                            "invoice-1.pdf (2.0 KB), terms.pdf (5 bytes)\r\nSubject: ",
                            0),
              0u)
        << preview;
    EXPECT_TRUE(choice);
    EXPECT_FALSE(ticked);
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"ann@example.com;x@stranger.net",
                                        "cy@example.com;ann@example.com;x@stranger.net"}));
}

// A workbook openpyxl wrote, with formulas and no results of them: on the
// real dialog manager the review names their columns under the sheet's
// line, and nothing is sent when the user goes back.
TEST_F(RealDialogTest, TheReviewNamesTheFormulasAWorkbookHoldsNoResultOf) {
    Prepare(1);
    TakeReviews([](HWND) {});
    std::string findings;
    WhenShown(kMainCaption, [&](HWND main) {
        Type(main, IDC_LIST_PATH, QV_TEST_WORKBOOKS "uncomputed.xlsx");
        Click(main, IDC_SEND_PAUSE);
    });
    WhenShown("Quorvel: Review the Mailing", [&](HWND review) {
        findings = Text(review, IDC_REVIEW_FINDINGS);
        Shoot(review, "review-workbook-notes");
        Click(review, IDCANCEL);
    });
    WhenShown(kMainCaption, [&](HWND main) { Click(main, IDCANCEL); });
    OpenMainDialog(context, nullptr);

    EXPECT_EQ(findings.rfind("The list is the sheet \"Sheet\" of the workbook.\r\n\r\nFormulas "
                             "the workbook holds no result of (the program that wrote it does "
                             "not compute them; open the workbook in a spreadsheet program and "
                             "save it): column C from line 2, column D from line 3.",
                             0),
              0u)
        << findings;
    EXPECT_TRUE(DeliveredTo().empty());
}

} // namespace
