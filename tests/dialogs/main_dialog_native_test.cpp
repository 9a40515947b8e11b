// The mailing dialog on the substitute's dialog manager, driven by a scripted
// user through whole mailings against the simulated mail client: every state
// of the dialog and what the user sees in it, the job nested in the Send
// handler, the summary, and what becomes of the composed message.
#include "dialog_native_fixture.h"

#include "base/version.h"
#include "data/settings.h"
#include "dialogs/dialog_support.h"
#include "dialogs/main_dialog.h"
#include "dialogs/main_dialog_parts.h"
#include "dialogs/options_dialog.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const char kCompleted[] = "Job Completed Successfully\n\nSent: 3";

// ---- Opening ------------------------------------------------------------------------------

TEST_F(DialogTest, OpensIdleWithTheLastListTheVersionAndItsTooltips) {
    PrepareMailing(1);
    std::snprintf(JobOptions.ToList, sizeof JobOptions.ToList, "%s", "C:\\lists\\last.csv");
    HWND seen = nullptr;
    MainDialogLook idle{};
    RECT bounds{};
    int focus = 0;
    std::vector<std::string> tips;
    At(10, [&] {
        seen = substitute::ActiveDialog();
        idle = Look(seen);
        GetWindowRect(seen, &bounds);
        focus = GetDlgCtrlID(GetFocus());
        EXPECT_EQ(SendDlgItemMessageA(seen, IDC_LIST_PATH, EM_GETLIMITTEXT, 0, 0), 259);
        EXPECT_EQ(SendDlgItemMessageA(seen, IDC_PROGRESS, PBM_GETRANGE, TRUE, 0), 0);
        EXPECT_EQ(SendDlgItemMessageA(seen, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
        char caption[64] = "";
        GetWindowTextA(seen, caption, sizeof caption);
        EXPECT_STREQ(caption, "Quorvel 2.1");
        EXPECT_EQ(Text(seen, IDC_LIST_PATH), "C:\\lists\\last.csv");
        EXPECT_EQ(GetParent(seen), composeWindow);
        // One tooltip per button, in the 44-byte form on x86.
        for (const substitute::ToolTip& t : substitute::ToolTips()) {
            tips.push_back(t.text);
            EXPECT_EQ(t.flags, 0x11u);
            EXPECT_EQ(t.cbSize, sizeof(void*) == 4 ? 44u : TTTOOLINFOA_V2_SIZE);
            EXPECT_EQ(GetParent(t.tooltip), seen);
        }
        substitute::Click(seen, IDCANCEL);
    });
    OpenMain();

    EXPECT_EQ(idle.sendCaption, "&Send");
    EXPECT_EQ(idle.sendTooltip, "Start Sending Emails");
    EXPECT_EQ(idle.status, "");
    EXPECT_TRUE(idle.fieldEnabled && idle.browseEnabled && idle.openEnabled);
    EXPECT_TRUE(idle.sendEnabled && idle.cancelEnabled);
    EXPECT_FALSE(idle.progressVisible);
    EXPECT_EQ(focus, IDC_LIST_PATH);
    // Centred on the 1024 x 768 screen.
    EXPECT_EQ((bounds.left + bounds.right) / 2, 512);
    EXPECT_NEAR((bounds.top + bounds.bottom) / 2.0, 384, 1);
    EXPECT_EQ(tips.size(), 6u);
    EXPECT_TRUE(substitute::ToolTips().empty()) << "the tooltip window goes with its dialog";
    EXPECT_EQ(substitute::CommonControlsCalls().size(), 1u);
    EXPECT_EQ(substitute::CommonControlsCalls()[0].dwSize, 8u);
    EXPECT_EQ(substitute::CommonControlsCalls()[0].dwICC, 0xFFu);
    EXPECT_FALSE(MainDialogOpen);
    // Cancel while idle saves nothing.
    EXPECT_FALSE(substitute::GetRegistryValue(HKEY_CURRENT_USER, kOptionsKey, "ToList", nullptr));
}

TEST_F(DialogTest, TheTooltipsReadAsTheButtonsSay) {
    PrepareMailing(1);
    std::vector<std::string> tips;
    At(10, [&] {
        HWND dialog = substitute::ActiveDialog();
        for (int id :
             {IDC_OPEN, IDC_BROWSE, IDC_SEND_PAUSE, IDCANCEL, IDC_HELP_BUTTON, IDC_OPTIONS})
            tips.push_back(TooltipOf(dialog, id));
        substitute::Click(dialog, IDCANCEL);
    });
    OpenMain();
    EXPECT_THAT(tips, ElementsAre("Open File For Viewing", "Browse For File",
                                  "Start Sending Emails", "Cancel and Return to Message",
                                  "Display the Online Help", "Adjust Quorvel Options"));
}

TEST_F(DialogTest, WithoutATooltipWindowTheDialogStillWorks) {
    PrepareMailing(3);
    substitute::FailNextWindowCreation();
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    OpenMain();
    EXPECT_EQ(MainDialogTooltip, nullptr);
    EXPECT_TRUE(substitute::ToolTips().empty());
    EXPECT_THAT(BoxTexts(), ElementsAre(kCompleted));
}

TEST_F(DialogTest, ASecondMailingDialogIsRefusedAndTheFirstGoesOn) {
    PrepareMailing(1);
    INT_PTR second = 99;
    HWND first = nullptr;
    At(10, [&] {
        first = substitute::ActiveDialog();
        second = ShowLibraryDialog(IDD_MAIN, composeWindow, MainDialogProc,
                                   reinterpret_cast<LPARAM>(context));
        EXPECT_TRUE(MainDialogOpen);
        EXPECT_EQ(substitute::ActiveDialog(), first);
        substitute::Click(first, IDCANCEL);
    });
    OpenMain();
    EXPECT_EQ(second, 0);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].text,
              "Only one mailing can happen at a time.  Currently, there is already another "
              "mailing job in progress.");
    EXPECT_EQ(ShownMessageBoxes()[0].flags, 0u);
    EXPECT_NE(ShownMessageBoxes()[0].owner, first);
    EXPECT_FALSE(MainDialogOpen);
}

// ---- A whole mailing ------------------------------------------------------------------------

TEST_F(DialogTest, EnterStartsTheJobAndACompletedJobDeletesTheMessage) {
    PrepareMailing(3);
    JobOptions.SaveOrig = 0;
    TypeAt(10, IDC_LIST_PATH, listPath);
    KeyAt(20, VK_RETURN);
    At(21, [this] { looks.push_back(Look(lastDialog)); });
    substitute::SetMessageBoxResponder([this](const substitute::MessageBoxCall& box) {
        looks.push_back(Look(box.owner));
        return IDOK;
    });
    OpenMain();

    EXPECT_THAT(BoxTexts(), ElementsAre(kCompleted));
    EXPECT_EQ(ShownMessageBoxes()[0].flags, 0u);
    EXPECT_EQ(client->Deliveries().size(), 3u);
    ASSERT_EQ(looks.size(), 1u);
    // The summary box finds the line with the result and the bar full.
    EXPECT_EQ(looks[0].status, "Completed Successfully");
    EXPECT_EQ(looks[0].progress, 100);
    EXPECT_EQ(looks[0].sendCaption, "&Pause");
    EXPECT_EQ(client->Calls("Delete").size(), 1u);
    EXPECT_TRUE(client->Calls("Close").empty());
    // The settings were saved with the list typed.
    EXPECT_EQ(std::string(JobOptions.ToList), listPath);
    EXPECT_TRUE(substitute::GetRegistryValue(HKEY_CURRENT_USER, kOptionsKey, "ToList", nullptr));
    EXPECT_FALSE(MainDialogOpen);
    EXPECT_EQ(MailingJob::runState, kJobIdle);
}

TEST_F(DialogTest, ACompletedJobClosesTheMessageWithSavingWhenAskedTo) {
    PrepareMailing(2);
    JobOptions.SaveOrig = 1;
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    OpenMain();
    const std::vector<sim::TraceEntry> closes = client->Calls("Close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_TRUE(client->Calls("Delete").empty());
}

TEST_F(DialogTest, AFailedCloseIsLoggedAndAMissingLogTold) {
    PrepareMailing(1);
    JobOptions.SaveOrig = 1;
    client->FailCall("MailItem.Close", 1, E_FAIL);
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    OpenMain();
    EXPECT_THAT(CurrentLog(), HasSubstr("Error attempting to close original message.\r\n"));

    // Again, deleting, with the log out of reach.
    substitute::ClearMessageBoxes();
    JobOptions.SaveOrig = 0;
    client->FailCall("MailItem.Delete", 1, E_FAIL);
    // The log is out of reach once the summary is shown.
    // The same message again: the user sends it to everyone again.
    substitute::SetMessageBoxResponder([](const substitute::MessageBoxCall& box) {
        if (box.text.rfind("This message was sent to all", 0) == 0)
            return IDYES;
        substitute::FailFileOpen(DataPaths.currentJobLog, 1);
        return IDOK;
    });
    TypeAt(40, IDC_LIST_PATH, listPath);
    ClickAt(50, IDC_SEND_PAUSE);
    OpenMain();
    ASSERT_EQ(ShownMessageBoxes().size(), 3u);
    EXPECT_EQ(ShownMessageBoxes()[2].text, "Failed to open current job log for writing.");
    EXPECT_EQ(ShownMessageBoxes()[2].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(ShownMessageBoxes()[2].owner, composeWindow);
}

TEST_F(DialogTest, PauseAndResumeKeepTheJobAndCancelLeavesTheMessageOpen) {
    PrepareMailing(6);
    JobOptions.Pause = 3;
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    LookAt(4000); // running, in the pause after the second message
    ClickAt(4100, IDC_SEND_PAUSE);
    LookAt(4200); // paused
    int sentWhenPaused = -1;
    At(60000, [&] { sentWhenPaused = MailingJob::sentCount; });
    ClickAt(60100, IDC_SEND_PAUSE);
    LookAt(60200); // running again
    ClickAt(63000, IDCANCEL);
    substitute::SetMessageBoxResponder([this](const substitute::MessageBoxCall& box) {
        looks.push_back(Look(box.owner));
        return IDOK;
    });
    OpenMain();

    ASSERT_EQ(looks.size(), 4u);
    const MainDialogLook& running = looks[0];
    EXPECT_EQ(running.sendCaption, "&Pause");
    EXPECT_EQ(running.sendTooltip, "Pause Sending");
    EXPECT_FALSE(running.fieldEnabled || running.browseEnabled);
    EXPECT_TRUE(running.progressVisible && running.openEnabled);
    EXPECT_TRUE(running.sendEnabled && running.cancelEnabled);
    EXPECT_THAT(running.status, HasSubstr("of 6: "));
    const MainDialogLook& paused = looks[1];
    EXPECT_EQ(paused.sendCaption, "&Send");
    EXPECT_EQ(paused.sendTooltip, "Start Sending Emails");
    EXPECT_FALSE(paused.fieldEnabled || paused.browseEnabled);
    EXPECT_TRUE(paused.progressVisible && paused.sendEnabled && paused.cancelEnabled);
    // Held paused, the job sent nothing more; resumed, it went on with its
    // counters and files.
    EXPECT_EQ(sentWhenPaused, 2);
    EXPECT_EQ(looks[2].sendCaption, "&Pause");
    // The summary box comes while the job is still unwinding: Cancelling.
    const MainDialogLook& cancelling = looks[3];
    EXPECT_EQ(cancelling.sendCaption, "&Send");
    EXPECT_FALSE(cancelling.sendEnabled || cancelling.cancelEnabled);
    EXPECT_FALSE(cancelling.fieldEnabled || cancelling.browseEnabled);
    EXPECT_TRUE(cancelling.progressVisible);
    EXPECT_EQ(cancelling.status, "Not Complete (See Current Job Log)");

    // One summary, for the dialog's own JobFinishedMessage; the job's later
    // one found the dialog gone.
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].text, "Job Not Complete (See Current Job Log)\n\nSent: 3");
    EXPECT_EQ(client->Deliveries().size(), 3u);
    EXPECT_THAT(CurrentLog(), HasSubstr("Job Stopped"));
    // One job: resuming deleted none of its files.
    const std::string sent = ReadLog(DataPaths.sentList);
    for (const char* address : {"r01@example.com", "r02@example.com", "r03@example.com"})
        EXPECT_THAT(sent, HasSubstr(address));
    EXPECT_TRUE(client->Calls("Close").empty());
    EXPECT_TRUE(client->Calls("Delete").empty());
    EXPECT_FALSE(MainDialogOpen);
}

TEST_F(DialogTest, EnterAndEscDoNothingWhileTheJobRunsButClicksDo) {
    PrepareMailing(3);
    JobOptions.Pause = 2;
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    KeyAt(1000, VK_ESCAPE);
    KeyAt(1100, VK_RETURN);
    LookAt(1200);
    OpenMain();
    ASSERT_EQ(looks.size(), 1u);
    EXPECT_EQ(looks[0].sendCaption, "&Pause");
    EXPECT_THAT(BoxTexts(), ElementsAre(kCompleted));
}

TEST_F(DialogTest, SendWithAnEmptyFieldAsksForAListAndStaysIdle) {
    PrepareMailing(1);
    JobOptions.ToList[0] = '\0';
    ClickAt(10, IDC_SEND_PAUSE);
    LookAt(20);
    int focus = 0;
    At(25, [&] { focus = GetDlgCtrlID(GetFocus()); });
    ClickAt(30, IDCANCEL);
    OpenMain();
    EXPECT_THAT(BoxTexts(), ElementsAre("Please fill in the Mailing List to use."));
    ASSERT_EQ(looks.size(), 1u);
    EXPECT_TRUE(looks[0].fieldEnabled && looks[0].browseEnabled);
    EXPECT_FALSE(looks[0].progressVisible);
    EXPECT_FALSE(looks[0].openEnabled);
    EXPECT_EQ(looks[0].sendCaption, "&Send");
    EXPECT_EQ(focus, IDC_LIST_PATH);
    EXPECT_EQ(MailingJob::runState, kJobIdle);
    EXPECT_TRUE(client->Deliveries().empty());
}

TEST_F(DialogTest, TheFieldTakes259CharactersAndToListTheFirst258) {
    PrepareMailing(1);
    const std::string typed(300, 'a');
    TypeAt(10, IDC_LIST_PATH, typed);
    std::string shown;
    At(20, [&] { shown = Text(lastDialog, IDC_LIST_PATH); });
    ClickAt(30, IDC_OPEN);
    ClickAt(40, IDCANCEL);
    OpenMain();
    EXPECT_EQ(shown.size(), 259u);
    ASSERT_EQ(substitute::ShellCalls().size(), 1u);
    const substitute::ShellCall& open = substitute::ShellCalls()[0];
    EXPECT_EQ(open.file, std::string(258, 'a'));
    EXPECT_EQ(open.verb, "open");
    EXPECT_EQ(open.owner, composeWindow);
    EXPECT_EQ(open.show, SW_SHOWMAXIMIZED);
    EXPECT_EQ(open.directory, "c:\\");
    // Cancel in Idle keeps what was typed for the next dialog.
    EXPECT_EQ(std::string(JobOptions.ToList), std::string(258, 'a'));
}

TEST_F(DialogTest, OpenIsEnabledExactlyWhenTheFieldHoldsText) {
    PrepareMailing(1);
    JobOptions.ToList[0] = '\0';
    std::vector<bool> open;
    At(10, [&] { open.push_back(Enabled(substitute::ActiveDialog(), IDC_OPEN)); });
    TypeAt(20, IDC_LIST_PATH, "x");
    At(30, [&] { open.push_back(Enabled(lastDialog, IDC_OPEN)); });
    TypeAt(40, IDC_LIST_PATH, "");
    At(50, [&] { open.push_back(Enabled(lastDialog, IDC_OPEN)); });
    ClickAt(60, IDCANCEL);
    OpenMain();
    EXPECT_EQ(open, (std::vector<bool>{false, true, false}));
}

// ---- Browse, help, options and the hyperlink --------------------------------------------------

TEST_F(DialogTest, BrowseOffersTheListTypesFromTheLastFolderAndKeepsTheChoice) {
    PrepareMailing(1);
    JobOptions.ToList[0] = '\0';
    std::snprintf(JobOptions.LastToFolder, sizeof JobOptions.LastToFolder, "%s", "C:\\old\\");
    std::vector<std::string> answers = {"", "C:\\lists\\people.csv"};
    substitute::SetOpenFileResponder([&](const substitute::OpenFileCall&) {
        std::string answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    ClickAt(10, IDC_BROWSE); // cancelled
    std::string afterCancel;
    At(15, [&] { afterCancel = Text(lastDialog, IDC_LIST_PATH); });
    ClickAt(20, IDC_BROWSE);
    std::string field;
    bool open = false;
    At(30, [&] {
        field = Text(lastDialog, IDC_LIST_PATH);
        open = Enabled(lastDialog, IDC_OPEN);
    });
    ClickAt(40, IDCANCEL);
    OpenMain();

    EXPECT_EQ(afterCancel, "");
    EXPECT_EQ(field, "C:\\lists\\people.csv");
    EXPECT_TRUE(open);
    EXPECT_EQ(std::string(JobOptions.ToList), "C:\\lists\\people.csv");
    EXPECT_EQ(std::string(JobOptions.LastToFolder), "C:\\lists\\");
    ASSERT_EQ(substitute::OpenFileCalls().size(), 2u);
    const substitute::OpenFileCall& call = substitute::OpenFileCalls()[0];
    EXPECT_EQ(call.owner, composeWindow);
    EXPECT_EQ(call.structSize, sizeof(void*) == 4 ? 76u : OPENFILENAME_SIZE_VERSION_400A);
    EXPECT_THAT(call.filter,
                ElementsAre("Tab Delimited or Comma Separated (*.txt, *.csv)", "*.txt;*.csv",
                            "Tab Delimited Text (*.txt)", "*.txt", "Comma Separated Values (*.csv)",
                            "*.csv", "Workbooks (*.xlsx, *.xlsm, *.ods)", "*.xlsx;*.xlsm;*.ods",
                            "All (*.*)", "*.*"));
    EXPECT_EQ(call.filterIndex, 1u);
    EXPECT_EQ(call.fileSize, 260u);
    EXPECT_EQ(call.initialFile, "");
    EXPECT_EQ(call.initialDir, "C:\\old\\");
    EXPECT_EQ(call.title, "Select Mailing List");
    EXPECT_EQ(call.flags, 0x1004u);
    EXPECT_FALSE(call.customFilter || call.fileTitle || call.defaultExtension || call.hook);
    EXPECT_EQ(substitute::ManifestCalls().back(), "GetOpenFileNameA (active)");
}

TEST_F(DialogTest, HelpOptionsAndTheHyperlinkOpenOverTheComposeWindow) {
    PrepareMailing(1);
    InstallRecordingHelpViewer();
    ClickAt(10, IDC_HELP_BUTTON);
    At(20, [] { SendMessageA(substitute::ActiveDialog(), WM_HELP, 0, 0); });
    HWND optionsOwner = nullptr;
    ClickAt(30, IDC_OPTIONS);
    At(40, [&] {
        optionsOwner = GetParent(substitute::ActiveDialog());
        substitute::Click(substitute::ActiveDialog(), IDCANCEL);
    });
    At(50, [] { substitute::DoubleClick(substitute::ActiveDialog(), IDC_HYPERLINK); });
    ClickAt(60, IDCANCEL);
    OpenMain();

    std::vector<std::string> keywords;
    for (const HelpViewerCall& call : HelpViewerCalls())
        if (call.command == HH_KEYWORD_LOOKUP)
            keywords.push_back(call.keywords);
    EXPECT_THAT(keywords, ElementsAre("mailing lists", "mailing lists"));
    EXPECT_EQ(optionsOwner, composeWindow);
    // A double click is two notifications: the address opens twice.
    ASSERT_EQ(substitute::ShellCalls().size(), 2u);
    for (const substitute::ShellCall& call : substitute::ShellCalls()) {
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, QV_WEB_ADDRESS);
        EXPECT_EQ(call.owner, composeWindow);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        EXPECT_TRUE(call.parametersNull && call.directoryNull);
    }
}

// ---- The status line ---------------------------------------------------------------------------

// The timer's rule, with the job's fields set by the test as the job would
// set them, and the virtual clock moving between ticks.
TEST_F(DialogTest, TheRemainingTimeMovesInStepsOfFiveSecondsAtMostEveryTwoSeconds) {
    PrepareMailing(1);
    std::vector<std::string> lines;
    auto tick = [&](DWORD ms, const char* status, double percent, DWORD elapsed) {
        At(ms, [&lines, status, percent, elapsed] {
            HWND dialog = substitute::ActiveDialog();
            MailingJob::runState = kJobRunning;
            std::snprintf(MailingJob::statusText, sizeof MailingJob::statusText, "%s", status);
            MailingJob::percentDone = percent;
            MailingJob::elapsedMs = elapsed;
            SendMessageA(dialog, WM_TIMER, 5, 0);
            char line[600] = "";
            GetDlgItemTextA(dialog, IDC_STATUS, line, sizeof line);
            lines.push_back(line);
        });
    };
    tick(100, "1 of 4: Creating Message", 0.0, 0);          // no estimate yet
    tick(200, "1 of 4: Creating Message", 0.05, 1000);      // still none
    tick(300, "2 of 4: Creating Message", 50.0, 60000);     // a new status: shown with the time
    tick(2400, "2 of 4: Creating Message", 50.0, 63000);    // +3 s drift: not redisplayed
    tick(2500, "2 of 4: Creating Message", 50.0, 66000);    // +6 s, 2.2 s after the last
    tick(2600, "2 of 4: Creating Message", 50.0, 80000);    // +14 s, but 0.1 s after
    tick(2700, "3 of 4: Pausing Between Mails", 0.001, 90); // new status, no estimate
    At(2800, [] { MailingJob::runState = kJobIdle; });
    ClickAt(2900, IDCANCEL);
    OpenMain();
    EXPECT_THAT(lines, ElementsAre("1 of 4: Creating Message", "1 of 4: Creating Message",
                                   "2 of 4: Creating Message  (Remaining Time: 0:01:00)",
                                   "2 of 4: Creating Message  (Remaining Time: 0:01:00)",
                                   "2 of 4: Creating Message  (Remaining Time: 0:01:06)",
                                   "2 of 4: Creating Message  (Remaining Time: 0:01:06)",
                                   "3 of 4: Pausing Between Mails"));
}

TEST_F(DialogTest, TheFirstEstimateShowsAtTheFirstRefreshOnceATenthIsDone) {
    PrepareMailing(1);
    std::vector<std::string> lines;
    auto tick = [&](DWORD ms, double percent) {
        At(ms, [&lines, percent] {
            HWND dialog = substitute::ActiveDialog();
            MailingJob::runState = kJobPaused; // a paused job keeps its time on the line
            std::snprintf(MailingJob::statusText, sizeof MailingJob::statusText, "%s", "s");
            MailingJob::percentDone = percent;
            MailingJob::elapsedMs = 4000;
            SendMessageA(dialog, WM_TIMER, 5, 0);
            char line[600] = "";
            GetDlgItemTextA(dialog, IDC_STATUS, line, sizeof line);
            lines.push_back(line);
        });
    };
    tick(3000, 0.09);
    tick(5100, 0.1); // the time alone, none shown before: a refresh
    At(5200, [] { MailingJob::runState = kJobIdle; });
    ClickAt(5300, IDCANCEL);
    OpenMain();
    EXPECT_THAT(lines, ElementsAre("s", "s  (Remaining Time: 1:06:36)"));
}

// ---- The library's manifest ---------------------------------------------------------------------

TEST_F(DialogTest, DialogsAndControlsRunWithTheManifestMadeOnce) {
    PrepareMailing(1);
    ClickAt(10, IDCANCEL);
    OpenMain();
    ClickAt(20, IDCANCEL);
    OpenMain();
    EXPECT_EQ(substitute::ActivationContextsCreated(), 1u);
    EXPECT_THAT(substitute::ManifestCalls(),
                ElementsAre("DialogBoxParamA (active)", "InitCommonControlsEx (active)",
                            "CreateWindowExA (active)", "DialogBoxParamA (active)",
                            "InitCommonControlsEx (active)", "CreateWindowExA (active)"));
}

TEST_F(DialogTest, WithoutActivationContextsTheCallsAreMadeWithout) {
    PrepareMailing(1);
    substitute::FailActivation(ERROR_PROC_NOT_FOUND);
    ClickAt(10, IDCANCEL);
    OpenMain();
    EXPECT_THAT(substitute::ManifestCalls(),
                ElementsAre("DialogBoxParamA (none)", "InitCommonControlsEx (none)",
                            "CreateWindowExA (none)"));
}

TEST_F(DialogTest, AnotherActivationFailureShowsNoDialogAndLeavesTheMessage) {
    PrepareMailing(1);
    substitute::FailActivation(ERROR_INVALID_PARAMETER);
    OpenMain();
    EXPECT_TRUE(substitute::ManifestCalls().empty());
    EXPECT_FALSE(MainDialogOpen);
    EXPECT_TRUE(client->Calls("Delete").empty());
    EXPECT_EQ(ShowOptionsDialog(composeWindow), -1);
}

} // namespace

// ---- The waiting copies -------------------------------------------------------------------------

namespace {

// The per-day limit of a test, put back whatever the test's end.
struct PerDayLimit {
    explicit PerDayLimit(int perDay) { JobOptions.PerDay = perDay; }
    ~PerDayLimit() { JobOptions.PerDay = 0; }
};

} // namespace

class WaitingCopiesDialogTest : public DialogTest {
protected:
    // The mailing dialog opened again after a mailing of 12 at 2 a day (10
    // wait); `script` acts on it from `now` (virtual ms after the start) on.
    void OpenAfterMailing(const std::function<void(DWORD now)>& script) {
        RunJob();
        ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        ASSERT_EQ(client->HeldCount(), 10u);
        MailingJob::runState = kJobIdle; // as the dialog that ran it leaves it
        const DWORD now = GetTickCount() - start;
        At(now + 5, [this] { enabledAtOpen = Enabled(substitute::ActiveDialog(), IDC_WITHDRAW); });
        script(now);
        At(now + 90, [this] { enabledAtEnd = Enabled(substitute::ActiveDialog(), IDC_WITHDRAW); });
        CloseAt(now + 100);
        OpenMain();
    }
    bool enabledAtOpen = false, enabledAtEnd = false;
};

TEST_F(WaitingCopiesDialogTest, TheButtonWithdrawsTheWaitingCopiesAndSaysSo) {
    PerDayLimit limit(2);
    PrepareMailing(12);
    OpenAfterMailing([this](DWORD now) { ClickAt(now + 20, IDC_WITHDRAW); });
    EXPECT_TRUE(enabledAtOpen);
    EXPECT_FALSE(enabledAtEnd) << "nothing waits any more";
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].text,
              "10 waiting copies were withdrawn; continuing the mailing sends them.");
    EXPECT_EQ(ShownMessageBoxes()[0].flags, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    EXPECT_THAT(CurrentLog(), HasSubstr("Withdrawn: line 13, To: r12@example.com\r\n"));
}

// What could not be done is told as such, never as a withdrawal.
TEST_F(WaitingCopiesDialogTest, AnOutboxOutOfReachOrACopyThatLeftIsToldAndNotCountedWithdrawn) {
    PerDayLimit limit(2);
    PrepareMailing(12);
    OpenAfterMailing([this](DWORD now) {
        // The dialog's own look finds copies; the withdrawal's cannot read.
        At(now + 10, [this] { client->FailCall("Items.Count", 1, E_FAIL); });
        ClickAt(now + 20, IDC_WITHDRAW);
        // Then one copy leaves before it can be taken back, and the client
        // will not delete another.
        At(now + 30, [this] {
            client->FailCall("Store.AbortSubmit", 1, MAPI_E_NOT_IN_QUEUE);
            client->FailCall("MailItem.Delete", 3, E_FAIL);
        });
        ClickAt(now + 40, IDC_WITHDRAW);
    });
    EXPECT_TRUE(enabledAtOpen);
    EXPECT_TRUE(enabledAtEnd) << "seven copies still wait";
    ASSERT_EQ(ShownMessageBoxes().size(), 2u);
    EXPECT_EQ(ShownMessageBoxes()[0].text,
              "The Outbox could not be reached, so no copies were withdrawn.");
    EXPECT_EQ(ShownMessageBoxes()[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(ShownMessageBoxes()[1].text,
              "2 waiting copies were withdrawn; continuing the mailing sends them.\n\n"
              "1 had already left: they count as sent.\n\n"
              "The mail client did not delete the copy to r06@example.com (line 7 of the list) "
              "from the Outbox, so the withdrawal stopped there and the copies after it still "
              "wait. That copy will not leave: continuing the mailing deletes it and sends it.");
    EXPECT_EQ(client->HeldCount(), 7u);
}

TEST_F(WaitingCopiesDialogTest, WithNothingWaitingTheButtonIsDisabled) {
    PrepareMailing(2);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    MailingJob::runState = kJobIdle;
    const DWORD now = GetTickCount() - start;
    At(now + 5, [this] { enabledAtOpen = Enabled(substitute::ActiveDialog(), IDC_WITHDRAW); });
    CloseAt(now + 10);
    OpenMain();
    EXPECT_FALSE(enabledAtOpen);
}
