// Pacing, Send/Receive and the user's Pause, Send (resume) and Cancel, in
// virtual time: the job waits in 100 ms slices, reads runState only when it
// pumps, counts its own time without the time held paused, and takes the
// options at each use.
#include "job_native_fixture.h"

#include "client/client_commands.h"
#include "data/settings.h"

#include <cstring>

namespace {

// ---- The pause between mails --------------------------------------------------------------------

TEST_F(VirtualJobTest, ThePauseComesBetweenMessagesInSlicesOf100Ms) {
    JobOptions.Pause = 3;
    Prepare(3);
    RunJob();

    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    // None before the first message; 3 s = 30 slices before each other one.
    EXPECT_EQ(substitute::SleepCalls(), std::vector<DWORD>(60, 100));
    EXPECT_EQ(MailingJob::elapsedMs, 6000u);
    ASSERT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(client->Deliveries()[0].date.wSecond, 26);
    EXPECT_EQ(client->Deliveries()[1].date.wSecond, 29);
    EXPECT_EQ(client->Deliveries()[2].date.wSecond, 32);
    EXPECT_TRUE(LogHas("(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"
                       "(4:03.29) # 2, To: r02@example.com. Sent Successfully\r\n"
                       "(4:03.32) # 3, To: r03@example.com. Sent Successfully\r\n"));
    EXPECT_TRUE(LogHas("Job Started: (12/5/2007 4:03.26)\r\n"));
}

TEST_F(VirtualJobTest, TheStatusAndProgressShowWhatTheJobDoes) {
    JobOptions.Pause = 1;
    Prepare(4);
    std::vector<std::string> seen;
    substitute::OnPump([&] {
        if (seen.empty() || seen.back() != MailingJob::statusText)
            seen.push_back(MailingJob::statusText);
    });
    double percentWhilePausing = -1;
    At(500, [&] { percentWhilePausing = MailingJob::percentDone; });
    RunJob();
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "Opening Logs", "1 of 4: Flushing Message", "2 of 4: Pausing Between Mails",
                        "2 of 4: Flushing Message", "3 of 4: Pausing Between Mails",
                        "3 of 4: Flushing Message", "4 of 4: Pausing Between Mails"}));
    EXPECT_DOUBLE_EQ(percentWhilePausing, 25.0);
    EXPECT_EQ(std::string(MailingJob::statusText), "4 of 4: Flushing Message");
    EXPECT_DOUBLE_EQ(MailingJob::percentDone, 75.0);
    EXPECT_EQ(MailingJob::progressPos, 75);
}

TEST_F(VirtualJobTest, TimeHeldPausedIsNotCountedAndTheJobGoesOnWhereItWaited) {
    JobOptions.Pause = 1;
    Prepare(2);
    PauseAt(450);           // inside the pause before message 2
    ResumeAt(450 + 600000); // ten minutes later
    RunJob();

    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(MailingJob::elapsedMs, 1000u); // the configured pause only
    EXPECT_GE(GetTickCount() - start, 601000u);
    EXPECT_EQ(client->Deliveries()[1].date.wMinute, 13);
}

TEST_F(VirtualJobTest, ATickCountThatWrapsAddsNothingForThatInterval) {
    substitute::SetTickCount(0xFFFFFFFFu - 250);
    start = GetTickCount();
    JobOptions.Pause = 1;
    Prepare(2);
    RunJob();
    EXPECT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(MailingJob::elapsedMs, 900u); // the slice across the wrap counts nothing
}

// The minute the user spends at the continue question and the half minute
// in the review are not the job's time: the remaining time is reckoned from
// the job's own.
TEST_F(VirtualJobTest, TimeSpentDecidingIsNotJobTime) {
    Prepare(3);
    JobOptions.MaxPerRun = 1;
    RunJob(); // the first run mails one; two are left
    JobOptions.MaxPerRun = 0;
    JobOptions.Pause = 1;
    TakeJobFinished();
    AnswerMessageBoxes([](const ShownMessageBox&) {
        Sleep(60000);
        return IDYES;
    });
    review = [](HWND, ReviewSession*) {
        Sleep(30000);
        return ReviewAnswer::Start;
    };
    RunJob();
    EXPECT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(MailingJob::elapsedMs, 1000u); // the one pause between its two messages
}

TEST_F(VirtualJobTest, OptionsChangedDuringAJobApplyFromTheirNextUse) {
    Prepare(3);
    At(0, [] { // the user confirms the options dialog before the first message
        JobOptions.Pause = 1;
        JobOptions.DoSendRecv = 1;
        JobOptions.SendRecvCount = 1;
    });
    At(500, [] { JobOptions.Pause = 2; }); // while pausing before message 2
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    // Before message 2 the pause grew to 20 slices while it ran; before
    // message 3 it was 20 from the start.
    EXPECT_EQ(SleepsOf(100), 40u);
    EXPECT_EQ(client->SendReceiveCount(), 3u); // before messages 2 and 3, and at the end
}

// ---- Send/Receive -------------------------------------------------------------------------------

struct SendReceiveCase {
    int doSendRecv;
    int every;
    int messages;
    unsigned expected;
};

// Names the case in test listings (by default they show its bytes, pointers included).
void PrintTo(const SendReceiveCase& c, std::ostream* os) {
    *os << "DoSendRecv " << c.doSendRecv << ", every " << c.every << ", " << c.messages
        << " messages";
}

class SendReceiveCountTest : public VirtualJobTest,
                             public ::testing::WithParamInterface<SendReceiveCase> {};

TEST_P(SendReceiveCountTest, RunsEveryNMessagesAndOnceAtTheEndWhenDue) {
    const SendReceiveCase c = GetParam();
    JobOptions.DoSendRecv = c.doSendRecv;
    JobOptions.SendRecvCount = c.every;
    Prepare(c.messages);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(MailingJob::sentCount, c.messages);
    EXPECT_EQ(client->SendReceiveCount(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, SendReceiveCountTest,
    ::testing::Values(SendReceiveCase{1, 1, 3, 3},     // before messages 2 and 3, and after 3
                      SendReceiveCase{1, 100, 150, 1}, // before message 101 only
                      SendReceiveCase{1, 100, 100, 1}, // at the end only
                      SendReceiveCase{1, 0, 3, 4},     // before every message, and at the end
                      SendReceiveCase{0, 1, 3, 0},     // off
                      SendReceiveCase{2, 1, 3, 0}));   // only 1 switches it on

TEST_F(VirtualJobTest, TheFinalSendReceiveShowsTheLastMessageNumber) {
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 100;
    Prepare(100);
    RunJob();
    EXPECT_EQ(std::string(MailingJob::statusText), "100 of 100: Issuing a Send/Receive");
    EXPECT_DOUBLE_EQ(MailingJob::percentDone, 99.0);
    EXPECT_EQ(client->SendReceiveCount(), 1u);
}

struct HostCase {
    const char* version;
    const char* how; // "Execute 5488", "Execute 7095" or "SendAndReceive"
};

void PrintTo(const HostCase& c, std::ostream* os) {
    *os << "host " << c.version;
}

class SendReceiveHostTest : public VirtualJobTest,
                            public ::testing::WithParamInterface<HostCase> {};

TEST_P(SendReceiveHostTest, EachHostIsAskedItsOwnWay) {
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 1;
    sim::Config config;
    config.version = GetParam().version;
    Prepare(2, config);
    RunJob();
    EXPECT_EQ(client->SendReceiveCount(), 2u);
    const std::string how = GetParam().how;
    if (how == "SendAndReceive") {
        std::vector<sim::TraceEntry> calls = client->Calls("SendAndReceive");
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].args, "False"); // no progress dialog
        EXPECT_TRUE(client->Calls("FindControl").empty());
    } else {
        std::vector<sim::TraceEntry> find = client->Calls("FindControl");
        ASSERT_EQ(find.size(), 2u);
        EXPECT_NE(find[0].args.find(how.substr(8)), std::string::npos) << find[0].args;
        EXPECT_EQ(client->Calls("Execute").size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, SendReceiveHostTest,
                         ::testing::Values(HostCase{"9.0.0.3821", "Execute 5488"},
                                           HostCase{"10.0.6626", "Execute 5488"},
                                           HostCase{"11.0.0.8312", "Execute 7095"},
                                           HostCase{"12.0.4518", "SendAndReceive"},
                                           HostCase{"16.0.5000", "SendAndReceive"}));

TEST_F(VirtualJobTest, AHostWithoutTheSendReceiveControlJustGoesOn) {
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 1;
    sim::Config config;
    config.sendReceiveControlId = sim::kNoSendReceiveControl;
    Prepare(2, config);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->SendReceiveCount(), 0u);
    EXPECT_FALSE(IssueSendReceive());
}

TEST_F(VirtualJobTest, ASendReceiveThatFailsIsIgnored) {
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 1;
    Prepare(2);
    client->RaiseCall("Execute", 1, E_FAIL, 2);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->Deliveries().size(), 2u);
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// ---- Pause, resume and cancel at every poll point -----------------------------------------------

const char kStoppedAfterOne[] = "(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"
                                "Job Stopped\r\n"
                                "\tResult: Incomplete (See Current Job Log)\r\n"
                                "\tE-Mails Sent: 1\r\n";

TEST_F(VirtualJobTest, CancelBeforeTheFirstMessageSendsNothing) {
    Prepare(3);
    CancelAt(0);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_TRUE(LogHas("Save Original: 1\r\nJob Stopped\r\n\tResult: Incomplete (See Current "
                       "Job Log)\r\n\tE-Mails Sent: 0\r\n"));
    EXPECT_EQ(ReadLog(DataPaths.sentList), "Name,E-Mail\r\n");
}

TEST_F(VirtualJobTest, CancelDuringAThirtySecondPauseStopsWithin100Ms) {
    JobOptions.Pause = 30;
    Prepare(3);
    CancelAt(12345);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_LE(GetTickCount() - (start + 12345), 100u);
    EXPECT_EQ(client->Deliveries().size(), 1u);
    EXPECT_TRUE(LogHas(kStoppedAfterOne));
    const std::string history = ReadLog(DataPaths.jobHistory);
    EXPECT_NE(history.find("\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 1\r\n"),
              std::string::npos);
}

TEST_F(VirtualJobTest, CancelWhilePausedStops) {
    JobOptions.Pause = 1;
    Prepare(3);
    PauseAt(500);
    CancelAt(5000);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(client->Deliveries().size(), 1u);
    EXPECT_LE(GetTickCount() - (start + 5000), 100u);
}

// The retries of a copy pump the thread's messages as the pause between
// mails does: a Pause or a Cancel pressed while a copy is retried reaches the
// job within the 100 ms of a slice, not after the retries.
TEST_F(VirtualJobTest, APausePressedWhileACopyIsRetriedHoldsTheRetries) {
    Prepare(3);
    client->RaiseCall("Copy", 2, E_FAIL); // message 2's copy is retried once
    PauseAt(500);
    ResumeAt(60000);
    int copiesWhenResumed = -1;
    At(60000, [&] { copiesWhenResumed = static_cast<int>(client->Calls("Copy").size()); });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(copiesWhenResumed, 2); // the retry waited for the user
    EXPECT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(MailingJob::elapsedMs, 1000u); // the paused minute is not the job's
}

TEST_F(VirtualJobTest, ACancelPressedWhileACopyIsRetriedStopsBeforeThatMessage) {
    for (int recipients : {3, 2}) {
        SCOPED_TRACE(recipients);
        Prepare(recipients);
        client->RaiseCall("Copy", 2, E_FAIL);
        CancelAt(500);
        RunJob();
        EXPECT_LE(GetTickCount() - (start + 500), 100u);
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
        EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r01@example.com"});
        EXPECT_TRUE(LogHas("Caught exception during message copy: 2 (1)\r\nJob Stopped\r\n"
                           "\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 1\r\n"));
        EXPECT_EQ(client->Calls("Copy").size(), 2u); // not tried again
        CloseClient();
        DeleteFileA(DataPaths.jobState);
        start = GetTickCount();
    }
}

// A quit request (the client closing down) that reaches the job's pump stops
// the job as Cancel does, running or paused, and goes back in the queue with
// its exit code for the loop that owns the thread.
TEST_F(VirtualJobTest, AQuitRequestStopsTheJobAndIsPostedAgainForTheOwnersLoop) {
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        JobOptions.Pause = 30;
        Prepare(3);
        if (paused)
            PauseAt(1000);
        At(5000, [] { PostQuitMessage(7); });
        RunJob();
        EXPECT_LE(GetTickCount() - (start + 5000), 100u);
        EXPECT_TRUE(LogHas("# 1, To: r01@example.com. Sent Successfully\r\nJob Stopped\r\n"
                           "\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 1\r\n"));
        EXPECT_EQ(client->Deliveries().size(), 1u);
        const std::string history = ReadLog(DataPaths.jobHistory);
        EXPECT_NE(history.find("\tResult: Incomplete (See Current Job Log)\r\n"),
                  std::string::npos);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(msg.message, UINT(WM_QUIT));
        EXPECT_EQ(msg.wParam, WPARAM(7));
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "one quit, posted once";
        CloseClient();
        DeleteFileA(DataPaths.jobHistory);
        start = GetTickCount();
    }
}

// ---- The compose window goes away during the job ------------------------------------------------

TEST_F(VirtualJobTest, ClosingTheComposeWindowDuringTheJobLeavesTheJobItsMessage) {
    JobOptions.Pause = 1;
    Prepare(3);
    At(500, [&] {
        // The item's Close tears the window record down, and with it the
        // record's reference on the context.
        ASSERT_TRUE(client->CloseInspector(inspector.Get(), olSave));
        context->Release();
        context = nullptr;
        item.Reset();
        inspector.Reset();
    });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(client->Deliveries()[2].subject, "Hello Person 3");
}

TEST_F(VirtualJobTest, SendingTheComposeWindowDuringTheJobEndsItWithoutHarm) {
    JobOptions.Pause = 1;
    sim::Draft draft = PlainMessage();
    draft.recipients = {sim::Recipient("someone@example.com")};
    Prepare(3, sim::Config(), draft);
    At(500, [&] {
        ASSERT_EQ(client->SendInspector(inspector.Get()), sim::MailClient::SendOutcome::Sent);
        context->Release();
        context = nullptr;
        item.Reset();
        inspector.Reset();
    });
    RunJob();
    // The original is gone: it cannot be copied any more, and after the
    // retries the job says so and ends.
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::sentCount, 1);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].text, "Caught exception during message copy: 2 (301)");
    EXPECT_EQ(SleepsOf(100), 3000u + 10u); // the retries and the pause before message 2
    EXPECT_TRUE(LogHas("\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 1\r\n"));
}

} // namespace
