// The options and logs dialogs on the substitute's dialog manager with a
// scripted user: what they show, what OK stores and what it refuses, and the
// logs they open.
#include "dialog_native_fixture.h"

#include "data/settings.h"
#include "dialogs/logs_dialog.h"
#include "dialogs/options_dialog.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;

namespace {

class OptionsTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        JobOptions.Pause = 3;
        JobOptions.DoSendRecv = 0;
        JobOptions.SendRecvCount = 7;
        JobOptions.SaveOrig = 1;
    }
    // Types the pause and the interval, then presses Enter (OK).
    INT_PTR Submit(const std::string& pause, const std::string& interval) {
        TypeAt(10, IDC_PAUSE, pause);
        TypeAt(20, IDC_SEND_RECEIVE_COUNT, interval);
        KeyAt(30, VK_RETURN);
        return ShowOptionsDialog(composeWindow);
    }
    bool Saved() {
        return substitute::GetRegistryValue(HKEY_CURRENT_USER, kOptionsKey, "Pause", nullptr);
    }
};

TEST_F(OptionsTest, ShowsTheOptionsWithTheVersionAndTheSpinsBoundToTheirFields) {
    HWND dialog = nullptr;
    At(10, [&] {
        dialog = substitute::ActiveDialog();
        char caption[64] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Quorvel 2.1 Options");
        EXPECT_EQ(Text(dialog, IDC_PAUSE), "3");
        EXPECT_EQ(Text(dialog, IDC_SEND_RECEIVE_COUNT), "7");
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_DO_SEND_RECEIVE), 0u);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SAVE_ORIGINAL), 1u);
        EXPECT_FALSE(Enabled(dialog, IDC_SEND_RECEIVE_COUNT));
        EXPECT_FALSE(Enabled(dialog, IDC_SEND_RECEIVE_SPIN));
        for (int spin : {IDC_PAUSE_SPIN, IDC_SEND_RECEIVE_SPIN})
            EXPECT_EQ(SendDlgItemMessageA(dialog, spin, UDM_GETRANGE, 0, 0), MAKELONG(9999, 0));
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PAUSE_SPIN, UDM_GETBUDDY, 0, 0),
                  reinterpret_cast<LRESULT>(GetDlgItem(dialog, IDC_PAUSE)));
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SEND_RECEIVE_SPIN, UDM_GETBUDDY, 0, 0),
                  reinterpret_cast<LRESULT>(GetDlgItem(dialog, IDC_SEND_RECEIVE_COUNT)));
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_PAUSE);
        // Checking Send/Receive enables the interval; unchecking disables it.
        substitute::Click(dialog, IDC_DO_SEND_RECEIVE);
        EXPECT_TRUE(Enabled(dialog, IDC_SEND_RECEIVE_COUNT));
        EXPECT_TRUE(Enabled(dialog, IDC_SEND_RECEIVE_SPIN));
        substitute::Click(dialog, IDC_DO_SEND_RECEIVE);
        EXPECT_FALSE(Enabled(dialog, IDC_SEND_RECEIVE_COUNT));
        substitute::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(ShowOptionsDialog(composeWindow), 0);
    EXPECT_FALSE(Saved());
}

TEST_F(OptionsTest, OkStoresEveryValueAndSavesTheSettings) {
    ClickAt(5, IDC_DO_SEND_RECEIVE);
    ClickAt(6, IDC_SAVE_ORIGINAL);
    EXPECT_EQ(Submit("9999", "0"), 1);
    EXPECT_EQ(JobOptions.Pause, 9999);
    EXPECT_EQ(JobOptions.DoSendRecv, 1);
    EXPECT_EQ(JobOptions.SendRecvCount, 0); // stored; the next load brings it up to 1
    EXPECT_EQ(JobOptions.SaveOrig, 0);
    EXPECT_TRUE(Saved());
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(OptionsTest, AnEmptyPauseIsZeroAndADisabledIntervalIsStillStored) {
    EXPECT_EQ(Submit("", "12"), 1);
    EXPECT_EQ(JobOptions.Pause, 0);
    EXPECT_EQ(JobOptions.DoSendRecv, 0);
    EXPECT_EQ(JobOptions.SendRecvCount, 7) << "a disabled field cannot be typed into";
}

TEST_F(OptionsTest, APauseOutOfRangeIsRefusedAndNothingStored) {
    for (const char* pause : {"10000", "4294967296", "99999999999999999999"}) {
        SCOPED_TRACE(pause);
        substitute::ClearMessageBoxes();
        start = GetTickCount();
        ClickAt(5, IDC_SAVE_ORIGINAL);
        int focus = 0;
        At(40, [&] {
            focus = GetDlgCtrlID(GetFocus());
            substitute::Click(substitute::ActiveDialog(), IDCANCEL);
        });
        EXPECT_EQ(Submit(pause, "5"), 0);
        ASSERT_EQ(ShownMessageBoxes().size(), 1u);
        EXPECT_EQ(ShownMessageBoxes()[0].text,
                  "Please enter a delay value between 0 and 9999 seconds.");
        EXPECT_EQ(ShownMessageBoxes()[0].flags, static_cast<UINT>(MB_OK));
        EXPECT_EQ(focus, IDC_PAUSE);
        EXPECT_EQ(JobOptions.Pause, 3);
        EXPECT_EQ(JobOptions.SaveOrig, 1);
        EXPECT_FALSE(Saved());
    }
}

TEST_F(OptionsTest, AnIntervalOutOfRangeIsDroppedWithoutAWord) {
    ClickAt(5, IDC_DO_SEND_RECEIVE);
    EXPECT_EQ(Submit("2", "10000"), 1);
    EXPECT_EQ(JobOptions.Pause, 2);
    EXPECT_EQ(JobOptions.DoSendRecv, 1);
    EXPECT_EQ(JobOptions.SendRecvCount, 7);
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(Saved());
}

TEST_F(OptionsTest, CancelEscAndTheCloseBoxStoreNothing) {
    TypeAt(10, IDC_PAUSE, "1");
    KeyAt(20, VK_ESCAPE);
    EXPECT_EQ(ShowOptionsDialog(composeWindow), 0);
    TypeAt(30, IDC_PAUSE, "1");
    CloseAt(40);
    EXPECT_EQ(ShowOptionsDialog(composeWindow), 0);
    EXPECT_EQ(JobOptions.Pause, 3);
    EXPECT_FALSE(Saved());
}

TEST_F(OptionsTest, HelpAndLogsOpenOverTheOwner) {
    InstallRecordingHelpViewer();
    ClickAt(10, IDC_HELP_BUTTON);
    HWND logsOwner = nullptr;
    bool optionsStillOpen = false;
    ClickAt(20, IDC_LOGS);
    At(30, [&] {
        HWND logs = substitute::ActiveDialog();
        logsOwner = GetParent(logs);
        char caption[64] = "";
        GetWindowTextA(logs, caption, sizeof caption);
        EXPECT_STREQ(caption, "Quorvel Logs");
        substitute::Click(logs, IDCANCEL);
        optionsStillOpen = substitute::ActiveDialog() == lastDialog;
    });
    ClickAt(40, IDCANCEL);
    ShowOptionsDialog(composeWindow);
    EXPECT_EQ(logsOwner, composeWindow);
    EXPECT_TRUE(optionsStillOpen);
    ASSERT_EQ(HelpViewerCalls().size(), 2u);
    EXPECT_EQ(HelpViewerCalls()[1].keywords, "options");
}

// ---- The logs dialog ---------------------------------------------------------------------------

class LogsTest : public DialogTest {
protected:
    std::vector<bool> ButtonsEnabled(HWND dialog) {
        return {Enabled(dialog, IDC_JOB_HISTORY), Enabled(dialog, IDC_CURRENT_JOB_LOG),
                Enabled(dialog, IDC_SENT_LIST)};
    }
};

TEST_F(LogsTest, ButtonsAreEnabledForTheLogsThatExistWhenItOpens) {
    std::vector<bool> none, some;
    At(10, [&] {
        none = ButtonsEnabled(substitute::ActiveDialog());
        // Made while the dialog is open: it does not look again.
        WriteFileBytes(DataPaths.jobHistory, "history");
        substitute::Click(substitute::ActiveDialog(), IDOK);
    });
    EXPECT_EQ(ShowLogsDialog(composeWindow), 1);
    WriteFileBytes(DataPaths.sentList, "sent");
    At(20, [&] {
        some = ButtonsEnabled(substitute::ActiveDialog());
        substitute::Click(substitute::ActiveDialog(), IDCANCEL);
    });
    EXPECT_EQ(ShowLogsDialog(composeWindow), 0);
    EXPECT_EQ(none, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(some, (std::vector<bool>{true, false, true}));
}

TEST_F(LogsTest, ALogOpensWithTheShellAndAFailureIsTold) {
    WriteFileBytes(DataPaths.jobHistory, "history");
    WriteFileBytes(DataPaths.currentJobLog, "current");
    WriteFileBytes(DataPaths.sentList, "sent");
    std::vector<INT_PTR> results = {42, SE_ERR_FNF, 42};
    substitute::SetShellResponder([&](const substitute::ShellCall&) {
        INT_PTR r = results.front();
        results.erase(results.begin());
        return r;
    });
    InstallRecordingHelpViewer();
    ClickAt(10, IDC_JOB_HISTORY);
    ClickAt(20, IDC_CURRENT_JOB_LOG);
    ClickAt(30, IDC_SENT_LIST);
    ClickAt(40, IDC_HELP_BUTTON);
    ClickAt(50, IDOK);
    EXPECT_EQ(ShowLogsDialog(composeWindow), 1);

    std::vector<std::string> files;
    for (const substitute::ShellCall& call : substitute::ShellCalls()) {
        files.push_back(call.file);
        EXPECT_EQ(call.owner, composeWindow);
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.directory, "c:\\");
        EXPECT_EQ(call.show, SW_SHOWMAXIMIZED);
    }
    EXPECT_THAT(files,
                ElementsAre(DataPaths.jobHistory, DataPaths.currentJobLog, DataPaths.sentList));
    EXPECT_EQ(OnlyMessageBox(composeWindow, MB_OK),
              std::string("The specified file was not found:\n") + DataPaths.currentJobLog);
    ASSERT_EQ(HelpViewerCalls().size(), 2u);
    EXPECT_EQ(HelpViewerCalls()[1].keywords, "job logs");
}

TEST_F(LogsTest, OpenedDuringAJobItFindsTheLogsTheJobMadeAfresh) {
    PrepareMailing(3);
    JobOptions.Pause = 1;
    WriteFileBytes(DataPaths.currentJobLog, "an old job");
    WriteFileBytes(DataPaths.sentList, "an old job");
    std::vector<bool> duringSending;
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    // While the job runs, from the mailing dialog through the options dialog.
    At(500, [&] { substitute::Click(substitute::ActiveDialog(), IDC_OPTIONS); });
    At(600, [&] { substitute::Click(substitute::ActiveDialog(), IDC_LOGS); });
    At(700, [&] {
        duringSending = ButtonsEnabled(substitute::ActiveDialog());
        substitute::Click(substitute::ActiveDialog(), IDCANCEL);
    });
    At(800, [&] { substitute::Click(substitute::ActiveDialog(), IDCANCEL); });
    OpenMain();
    EXPECT_EQ(duringSending, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(ReadLog(DataPaths.sentList).find("an old job"), std::string::npos);
}

} // namespace
