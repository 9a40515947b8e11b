// Every way a job can fail: what the user is shown (text, flags, owner),
// what the current job log says, whether the job goes on, and that the job
// always ends through one Finish: the footers that belong, one
// JobFinishedMessage, and everything it took given back.
#include "job_native_fixture.h"

#include "client/client_commands.h"
#include "data/settings.h"
#include "dialogs/review_dialog.h"

namespace {

class JobFailureTest : public VirtualJobTest {
protected:
    void SetUp() override {
        VirtualJobTest::SetUp();
        owner =
            substitute::CreateTestWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    }

    // As JobTest's, with the message owned by `owner`.
    void Prepare(int recipients = 2, const sim::Config& config = sim::Config(),
                 const sim::Draft& draft = PlainMessage()) {
        JobTest::Prepare(recipients, config, draft);
        context->ownerWindow = owner;
    }

    // The one box shown, with the exclamation icon, owned by the mailing
    // dialog (here the test's window that stands for it), never by the
    // compose window: a box owned by the compose window would leave the
    // dialog's Cancel clickable under it.
    std::string OnlyBox() { return OnlyMessageBox(MailingJob::jobDialog, MB_ICONEXCLAMATION); }

    bool NoLogs() {
        return GetFileAttributesA(DataPaths.currentJobLog) == INVALID_FILE_ATTRIBUTES &&
               GetFileAttributesA(DataPaths.jobHistory) == INVALID_FILE_ATTRIBUTES &&
               GetFileAttributesA(DataPaths.sentList) == INVALID_FILE_ATTRIBUTES;
    }

    // The current job log ends with the footer of an incomplete job.
    bool EndsIncomplete(int sent) {
        const std::string log = CurrentLog();
        const std::string footer =
            "\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: " +
            std::to_string(sent) + "\r\nJob Ended : (";
        return log.find(footer) != std::string::npos;
    }

    HWND owner = nullptr;
};

// ---- Before the logs ----------------------------------------------------------------------------

TEST_F(JobFailureTest, AMessageWithoutStoreMessageEndsAtOnceWithoutAWord) {
    StartClient();
    sim::Draft draft = PlainMessage();
    draft.nullMapiObject = true;
    Compose(draft);
    WriteList(NumberedList(2));
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(NoLogs());
    EXPECT_TRUE(client->Calls("Save").empty());
}

TEST_F(JobFailureTest, WithoutDialogOrOwnerWindowTheBoxesBelongToTheDesktop) {
    StartClient();
    Compose(PlainMessage());
    MailingJob::jobListPath[0] = '\0';
    MailingJob::jobDialog = nullptr;
    RunJob();
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].owner, GetDesktopWindow());
}

TEST_F(JobFailureTest, AListThatCannotBeOpenedIsReported) {
    Prepare();
    std::snprintf(MailingJob::jobListPath, sizeof MailingJob::jobListPath, "C:\\no\\such.csv");
    RunJob();
    EXPECT_EQ(OnlyBox(), "Could not open the mailing list file for reading.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(NoLogs());
}

TEST_F(JobFailureTest, AListThatCannotBeReopenedForSendingClosesBothLogs) {
    Prepare();
    beforeRun = [] { substitute::FailFileOpen(MailingJob::jobListPath, 2); }; // counted, then gone
    RunJob();
    EXPECT_EQ(OnlyBox(), "Could not open the mailing list file for reading.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(EndsIncomplete(0));
    EXPECT_TRUE(client->Deliveries().empty());
}

// Memory that runs out while the list is opened, for either pass, is told
// as memory running out: never as a file that could not be opened.
TEST_F(JobFailureTest, MemoryThatRunsOutOpeningTheListIsToldAsSuch) {
    int opensFailed = 0;
    for (unsigned nth = 1; nth <= 30; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        Prepare();
        beforeRun = [nth] { substitute::FailAllocationAt(nth); };
        RunJob();
        EXPECT_EQ(TakeJobFinished().size(), 1u);
        for (const ShownMessageBox& box : ShownMessageBoxes())
            EXPECT_NE(box.text, "Could not open the mailing list file for reading.");
        if (ShownMessageBoxes().size() == 1 &&
            ShownMessageBoxes()[0].text == "Error: Failed to allocate memory." &&
            ShownMessageBoxes()[0].owner == MailingJob::jobDialog) {
            EXPECT_EQ(ShownMessageBoxes()[0].flags, UINT(MB_ICONEXCLAMATION));
            EXPECT_TRUE(client->Deliveries().empty());
            ++opensFailed;
        }
        substitute::FailAllocationAt(0);
        substitute::ClearMessageBoxes();
        CloseClient();
    }
    // The counting pass's opening and the sending pass's at least; memory
    // that runs out while a record is read is told by the job the same way.
    EXPECT_GE(opensFailed, 2) << "the counting pass's opening and the sending pass's";
}

TEST_F(JobFailureTest, AListWithoutEmailColumnOffersTheHelp) {
    Prepare();
    WriteList("Name,Mail\r\nAnn,ann@example.com\r\n");
    AnswerMessageBoxes(
        [](const ShownMessageBox& box) { return box.flags & MB_YESNO ? IDYES : IDOK; });
    InstallRecordingHelpViewer();
    RunJob();
    std::vector<ShownMessageBox> boxes = ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "\"E-Mail\" field could not be found in the mailing list.\nThis is a "
                             "required field.\nSee the online help for mailing lists.");
    EXPECT_EQ(boxes[0].flags, 0x30u);
    EXPECT_EQ(boxes[1].text, "Would you like to read about Mailing Lists in the online help?");
    EXPECT_EQ(boxes[1].flags, 0x24u);
    EXPECT_EQ(boxes[1].owner, MailingJob::jobDialog);
    std::vector<HelpViewerCall> help = HelpViewerCalls();
    ASSERT_EQ(help.size(), 2u);
    EXPECT_EQ(help[1].keywords, "mailing lists");
    EXPECT_EQ(help[1].owner, MailingJob::jobDialog);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(NoLogs());
    EXPECT_EQ(context->emailFieldIndex, -1);
}

TEST_F(JobFailureTest, DecliningTheHelpOpensNone) {
    Prepare();
    WriteList("Name,Mail\r\nAnn,ann@example.com\r\n");
    InstallRecordingHelpViewer();
    RunJob();
    EXPECT_EQ(ShownMessageBoxes().size(), 2u);
    EXPECT_TRUE(HelpViewerCalls().empty());
}

// A record of 512 bytes or more ends the reading of the list. The job
// does not send to the recipients before it: it says where reading stopped.
TEST_F(JobFailureTest, AListThatCannotBeReadToItsEndIsNotSentAtAll) {
    Prepare();
    WriteList("Name,E-Mail\r\nAnn,ann@example.com\r\n// a comment\r\nBob,bob@example.com\r\n" +
              std::string(600, 'x') + ",x@example.com\r\nCy,cy@example.com\r\n");
    RunJob();
    EXPECT_EQ(OnlyBox(), "The mailing list could not be read at line 5 (a record of 512 "
                         "bytes or more).\nNothing was sent.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_TRUE(NoLogs());
}

// For a quoted record of several lines, the line named is the one where the
// record starts, whichever of its lines took it to 512 characters.
TEST_F(JobFailureTest, AStopInARecordOfSeveralLinesNamesTheLineWhereItStarts) {
    Prepare();
    WriteList("Name,E-Mail\r\nAnn,ann@example.com\r\n\"" + std::string(300, 'q') + "\r\n" +
              std::string(200, 'q') + "\r\n" + std::string(20, 'q') + "\",x@example.com\r\n");
    RunJob();
    EXPECT_EQ(OnlyBox(), "The mailing list could not be read at line 3 (a record of 512 "
                         "bytes or more).\nNothing was sent.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(client->Deliveries().empty());
}

// The list changes once the sending pass has begun, a record too long to
// read appearing far into it. The copies made from what the pass had read
// before the change go; before the pass uses anything read after it, the
// list is counted again, which finds it unreadable: the job ends there,
// incomplete, with nothing of the change sent.
TEST_F(JobFailureTest, AListThatChangesWhileSendingIsCountedAgainAndEndsTheJobWhenUnreadable) {
    StartClient();
    Compose(PlainMessage());
    context->ownerWindow = owner;
    // A list larger than the reader takes in at once.
    const std::string padding(300, 'p');
    std::string before = "Name,Pad,E-Mail\r\n", after;
    for (int i = 1; i <= 300; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "P%d,", i);
        std::string record = line + padding + ",r" + std::to_string(i) + "@example.com\r\n";
        before += record;
        if (i == 280)
            after = before + std::string(600, 'x') + "\r\n";
        else if (i > 280)
            after += record;
    }
    WriteList(before);
    const std::string path = listPath;
    At(0, [path, after] { WriteFileBytes(path, after); });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    const int sent = MailingJob::sentCount;
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 280);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "# %d, To: r%d@example.com. Sent Successfully\r\n"
                  "The mailing list changed: reviewed again before message %d\r\n"
                  "The mailing list could not be read at line 282 (a record of 512 bytes or "
                  "more) during message %d\r\n",
                  sent, sent, sent + 1, sent + 1);
    EXPECT_TRUE(LogHas(expected)) << expected;
    EXPECT_TRUE(EndsIncomplete(sent));
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// ---- The logs -----------------------------------------------------------------------------------

TEST_F(JobFailureTest, ACurrentJobLogThatCannotBeOpenedEndsTheJobBeforeTheOthers) {
    Prepare();
    std::snprintf(DataPaths.currentJobLog, sizeof DataPaths.currentJobLog,
                  "C:\\no\\CurrentJob.txt");
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to open current job log for writing.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(NoLogs());
    EXPECT_TRUE(client->Deliveries().empty());
}

TEST_F(JobFailureTest, AJobHistoryThatCannotBeOpenedLeavesTheCurrentLogWithItsFooter) {
    Prepare();
    std::snprintf(DataPaths.jobHistory, sizeof DataPaths.jobHistory, "C:\\no\\JobHistory.txt");
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to open historical job log for appending.");
    EXPECT_TRUE(EndsIncomplete(0));
    EXPECT_EQ(GetFileAttributesA(DataPaths.sentList), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobFailureTest, ASentListThatCannotBeOpenedLeavesBothLogsWithFooters) {
    Prepare();
    std::snprintf(DataPaths.sentList, sizeof DataPaths.sentList, "C:\\no\\tosent.txt");
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to open log file for sent e-mails.");
    EXPECT_TRUE(EndsIncomplete(0));
    const std::string history = ReadLog(DataPaths.jobHistory);
    EXPECT_NE(history.find("\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 0\r\n"),
              std::string::npos);
    EXPECT_TRUE(client->Deliveries().empty());
}

// ---- The merge ----------------------------------------------------------------------------------

// A value the merge cannot take (its line breaks count twice, as CR LF) is
// the record's alone: the record is logged and left out, and the mailing
// goes on with the next, rather than stopping half-way.
TEST_F(JobFailureTest, AValueTooLongToMergeLeavesItsRecordOutAndTheJobGoesOn) {
    Prepare();
    std::string value;
    for (int i = 0; i < 200; ++i)
        value += "x\n";
    WriteList("Name,E-Mail\r\nAnn,ann@example.com\r\n\"" + value +
              "\",bob@example.com\r\nCy,cy@example.com\r\n");
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(LogHas("Not sent: line 3, the value of \"Name\" has more than 511 characters\r\n"))
        << CurrentLog();
    EXPECT_FALSE(LogHas("Mail merge error"));
    EXPECT_TRUE(EndsIncomplete(2));
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"ann@example.com", "cy@example.com"}));
    EXPECT_EQ(MailingJob::notSentCount, 1);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// ---- Capturing the original ---------------------------------------------------------------------

struct CaptureCase {
    const char* name;
    const char* version;
    std::function<void(sim::MailClient&, sim::Draft&)> fault;
    const char* box; // "" for none
};

void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.name << " on " << c.version;
}

class CaptureFailureTest : public JobFailureTest,
                           public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureFailureTest, EndsTheJobBeforeTheListIsRead) {
    const CaptureCase& c = GetParam();
    sim::Config config;
    config.version = c.version;
    StartClient(config);
    sim::Draft draft = PlainMessage();
    draft.bodyFormat = olFormatHTML;
    draft.html = "<p>[[Name]]</p>";
    c.fault(*client, draft);
    Compose(draft);
    context->ownerWindow = owner;
    WriteList(NumberedList(2));
    RunJob();
    if (*c.box)
        EXPECT_EQ(OnlyBox(), c.box);
    else
        EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(NoLogs());
    EXPECT_TRUE(client->Deliveries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CaptureFailureTest,
    ::testing::Values(
        CaptureCase{
            "SaveFails", "11.0",
            [](sim::MailClient& c, sim::Draft&) { c.FailCall("MailItem.Save", 1, E_ACCESSDENIED); },
            "Failed saving original message. (caught)"},
        CaptureCase{
            "SaveRaises", "11.0",
            [](sim::MailClient& c, sim::Draft&) { c.RaiseCall("MailItem.Save", 1, E_FAIL); },
            "Failed saving original message. (caught)"},
        CaptureCase{"StoreMessageUnusable", "11.0",
                    [](sim::MailClient& c, sim::Draft&) {
                        c.FailQueryInterface(IID_IMessage, "Message", 1);
                    },
                    "Failed getting subject and bext body. (caught)"},
        CaptureCase{"BodyMessageUnusable", "11.0",
                    [](sim::MailClient& c, sim::Draft&) {
                        c.FailQueryInterface(IID_IMessage, "Message", 1, 2);
                    },
                    "Failed getting body. (caught)"},
        CaptureCase{"HtmlMessageUnusable", "11.0",
                    [](sim::MailClient& c, sim::Draft&) {
                        c.FailQueryInterface(IID_IMessage, "Message", 1, 3);
                    },
                    "Failed getting HTML body"},
        CaptureCase{"NoSubject", "11.0",
                    [](sim::MailClient&, sim::Draft& s) { s.hasSubject = false; }, ""},
        CaptureCase{"NoBody", "11.0", [](sim::MailClient&, sim::Draft& s) { s.hasBody = false; },
                    ""},
        CaptureCase{"BodyFormatFails", "11.0",
                    [](sim::MailClient& c, sim::Draft&) { c.FailCall("BodyFormat", 1, E_FAIL); },
                    "Failed getting body format"},
        CaptureCase{"BodyFormatRaises", "10.0",
                    [](sim::MailClient& c, sim::Draft&) { c.RaiseCall("BodyFormat", 1, E_FAIL); },
                    "Caught failure getting body format"},
        CaptureCase{"HtmlBodyNull", "11.0",
                    [](sim::MailClient&, sim::Draft& s) {
                        s.htmlPropertyAvailable = false;
                        s.nullHtmlBody = true;
                    },
                    "Failed getting HTMLBody"},
        CaptureCase{"HtmlBodyRaises", "11.0",
                    [](sim::MailClient& c, sim::Draft& s) {
                        s.htmlPropertyAvailable = false;
                        c.RaiseCall("HTMLBody", 1, E_FAIL);
                    },
                    "Failed getting HTML body"}),
    [](const ::testing::TestParamInfo<CaptureCase>& info) { return info.param.name; });

TEST_F(JobFailureTest, HostsFrom12OnNeverReadTheBodyFormat) {
    sim::Config config;
    config.version = "12.0.4518";
    Prepare(1, config);
    client->FailCall("BodyFormat", 1, E_FAIL, 100);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_TRUE(client->Calls("BodyFormat").empty());
}

TEST_F(JobFailureTest, AnEmptyBodyIsAnEmptyText) {
    sim::Draft draft = PlainMessage();
    draft.body = "";
    Prepare(1, sim::Config(), draft);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(client->Deliveries().size(), 1u);
    EXPECT_EQ(client->Deliveries()[0].body, "");
}

// Memory that cannot be had ends the job without a message, wherever it
// runs out: the subject's copy, the body's buffer, a merged text's buffer.
TEST_F(JobFailureTest, MemoryThatRunsOutEndsTheJobWithoutAMessage) {
    for (unsigned nth : {1u, 2u}) {
        Prepare(2);
        beforeRun = [nth] { substitute::FailAllocationAt(nth); };
        RunJob();
        EXPECT_TRUE(ShownMessageBoxes().empty()) << nth;
        EXPECT_TRUE(NoLogs()) << nth;
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
        CloseClient();
    }
    Prepare(2);
    beforeRun = nullptr;
    At(0, [] { substitute::FailAllocationAt(1); }); // the first merge's buffer
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_FALSE(LogHas("Mail merge error"));
    EXPECT_TRUE(EndsIncomplete(0));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// ---- Making the copy ----------------------------------------------------------------------------

// A second apart, in slices of 100 ms with the thread's messages pumped in
// each, so the client stays responsive through the retries.
TEST_F(JobFailureTest, ACopyThatFailsIsRetriedEverySecondPumpingMessages) {
    Prepare(2);
    client->FailCopy(3);
    int sentWhenPumped = -1;
    At(1500, [&] { sentWhenPumped = MailingJob::sentCount; });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(SleepsOf(1000), 0u);
    EXPECT_EQ(SleepsOf(100), 30u);
    EXPECT_EQ(sentWhenPumped, 0); // reached while message 1 was retried
    EXPECT_TRUE(LogHas("Caught exception during message copy: 1 (1)\r\n"
                       "Caught exception during message copy: 1 (2)\r\n"
                       "Caught exception during message copy: 1 (3)\r\n"
                       "(4:03.29) # 1, To: r01@example.com. Sent Successfully\r\n"));
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_EQ(client->Deliveries().size(), 2u);
}

TEST_F(JobFailureTest, ACopyThatFailsThreeHundredAndOneTimesEndsTheJob) {
    Prepare(2);
    client->FailCopy(301);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Caught exception during message copy: 1 (301)");
    EXPECT_EQ(SleepsOf(100), 3000u);
    EXPECT_TRUE(LogHas("Caught exception during message copy: 1 (300)\r\n"
                       "Caught exception during message copy: 1 (301)\r\n\tResult: Incomplete"));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobFailureTest, ACopyThatIsNoMailItemEndsTheJobSilently) {
    Prepare(2);
    client->FailQueryInterface(IID__MailItem, "MailItem", 1);
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(EndsIncomplete(0));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// A failing object-model call while the copy is built reaches the catch-all,
// which names the step.
struct BuildCase {
    const char* member;
    unsigned nth;
    int line;
};

// Names the case in test listings (by default they show its bytes, pointers included).
void PrintTo(const BuildCase& c, std::ostream* os) {
    *os << c.member << " call " << c.nth;
}

class BuildFailureTest : public JobFailureTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(BuildFailureTest, IsReportedWithTheStepAndEndsTheJob) {
    const BuildCase c = GetParam();
    Prepare(2);
    client->FailCall(c.member, c.nth, E_FAIL);
    RunJob();
    const std::string text =
        "Unknown error caught during message 1 at line " + std::to_string(c.line);
    EXPECT_EQ(OnlyBox(), text);
    EXPECT_TRUE(LogHas("Save Original: 1\r\n" + text + "\r\n\tResult: Incomplete"));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

INSTANTIATE_TEST_SUITE_P(Steps, BuildFailureTest,
                         ::testing::Values(BuildCase{"MailItem.Save", 2, 7},
                                           BuildCase{"MailItem.MAPIOBJECT", 1, 8},
                                           BuildCase{"MailItem.Subject", 1, 9},
                                           BuildCase{"MailItem.Body", 1, 10},
                                           BuildCase{"MailItem.Save", 3, 11}));

TEST_F(JobFailureTest, AnHtmlCopyGetsOnlyItsHtmlBody) {
    sim::Draft draft = PlainMessage();
    draft.bodyFormat = olFormatHTML;
    draft.html = "<p>[[Name]]</p>";
    Prepare(1, sim::Config(), draft);
    client->FailCall("MailItem.Body", 1, E_FAIL, 10); // never set
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->Calls("HTMLBody").size(), 1u);
}

// ---- Addressing and marking the copy ------------------------------------------------------------

struct StoreAllocationCase {
    unsigned nth; // the n-th MAPI allocation from the copy's poll on fails
    const char* box;
    bool logged;
};

void PrintTo(const StoreAllocationCase& c, std::ostream* os) {
    *os << "allocation " << c.nth;
}

class StoreAllocationTest : public JobFailureTest,
                            public ::testing::WithParamInterface<StoreAllocationCase> {};

TEST_P(StoreAllocationTest, EndsTheJobAsTheStepSays) {
    const StoreAllocationCase c = GetParam();
    Prepare(2);
    At(0, [&] { substitute::FailMapiAllocationAt(c.nth); });
    RunJob();
    if (*c.box) {
        EXPECT_EQ(OnlyBox(), c.box);
        EXPECT_EQ(LogHas(std::string(c.box) + "\r\n"), c.logged);
    } else {
        EXPECT_TRUE(ShownMessageBoxes().empty());
    }
    EXPECT_TRUE(EndsIncomplete(0));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

INSTANTIATE_TEST_SUITE_P(
    Allocations, StoreAllocationTest,
    ::testing::Values(
        StoreAllocationCase{1, "Failed to allocate ADRLIST: r01@example.com", true},
        StoreAllocationCase{2, "Failed to allocate SPropValue: r01@example.com", true},
        StoreAllocationCase{3, "", false}, // the address
        StoreAllocationCase{4, "", false}, // its copy as the display name
        StoreAllocationCase{5, "", false}, // "SMTP"
        // 6 and 7, the one-off entry ID and its copy: below
        StoreAllocationCase{8, "Failed to allocate SPropValue for SetProps", false},
        StoreAllocationCase{10, "Failed to allocate SPropValue for SetProps 2", false}));

// The entry ID is the one part of the recipient the job does without: when
// the address book's block for it (6) or its copy in the list (7) cannot be
// had, the copy goes unresolved, and the book's block is given back.
TEST_F(JobFailureTest, AnEntryIdThatCannotBeAllocatedLeavesTheCopyUnresolved) {
    for (unsigned nth : {6u, 7u}) {
        Prepare(2);
        At(0, [nth] { substitute::FailMapiAllocationAt(nth); });
        RunJob();
        EXPECT_TRUE(ShownMessageBoxes().empty()) << nth;
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1}) << nth;
        EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r02@example.com"}) << nth;
        ASSERT_EQ(client->NonDeliveries().size(), 1u) << nth;
        EXPECT_EQ(client->NonDeliveries()[0].recipients[0].address, "r01@example.com");
        CloseClient();                   // and nothing of the store's memory is left
        DeleteFileA(DataPaths.jobState); // the next one is another mailing
    }
}

TEST_F(JobFailureTest, RecipientsThatCannotBeAddedEndTheJob) {
    Prepare(2);
    client->FailCall("ModifyRecipients", 2, MAPI_E_NO_ACCESS);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to add recipient: r02@example.com");
    EXPECT_TRUE(LogHas("Failed to add recipient: r02@example.com\r\n"));
    EXPECT_TRUE(EndsIncomplete(1));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// The box names the recipient as the list does, not as the ANSI code page
// would garble it.
TEST_F(JobFailureTest, AnAddressBeyondTheAnsiCodePageIsShownAsWritten) {
    Prepare(1);
    WriteList("Name,E-Mail\r\nŁukasz,łukasz@example.pl\r\n");
    client->FailCall("ModifyRecipients", 1, MAPI_E_NO_ACCESS);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to add recipient: łukasz@example.pl");
    EXPECT_TRUE(LogHas("Failed to add recipient: łukasz@example.pl\r\n"));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobFailureTest, AFailingSetPropsShowsTheStoresOwnText) {
    for (unsigned nth : {1u, 2u}) {
        substitute::ClearMessageBoxes();
        Prepare(2);
        // The first SetProps gives the composed message its mailing's id.
        client->FailCall("Message.SetProps", nth + 1, MAPI_E_NO_ACCESS);
        RunJob();
        EXPECT_EQ(OnlyBox(), "Simulated failure of SetProps.") << nth;
        EXPECT_TRUE(EndsIncomplete(0));
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
        CloseClient();
    }
}

// A store of another language describes its failures in the ANSI code
// page: the box reads them as written, not as broken UTF-8.
TEST_F(JobFailureTest, TheStoresOwnTextIsReadInItsCodePage) {
    sim::Config config;
    config.faultText = "Zugriff verweigert: Überprüfen Sie die Berechtigung für „Postausgang“.";
    Prepare(2, config);
    client->FailCall("Message.SetProps", 2, MAPI_E_NO_ACCESS);
    RunJob();
    EXPECT_EQ(OnlyBox(), config.faultText);
}

// A review the dialog manager cannot show is no Back: the user is told that
// nothing was sent, and the mailing dialog stays ready for another Send.
TEST_F(JobFailureTest, AReviewThatCannotBeShownIsToldAndNothingStarts) {
    Prepare(2);
    review = ShowReviewDialog;
    beforeRun = [] { substitute::FailActivation(ERROR_ACCESS_DENIED); };
    RunJob();
    substitute::FailActivation(0);
    EXPECT_EQ(OnlyBox(), "The review before the mailing could not be shown, so nothing was sent.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{kJobNotStarted});
    EXPECT_TRUE(NoLogs());
    EXPECT_TRUE(client->Deliveries().empty());
}

TEST_F(JobFailureTest, TheTnefFlagIsResolvedOnceAndSetOnEveryCopy) {
    Prepare(3);
    RunJob();
    // One for the mailing's id on the composed message, one for the flag.
    EXPECT_EQ(client->Calls("GetIDsFromNames").size(), 2u);
    for (const sim::Delivery& d : client->Deliveries())
        EXPECT_EQ(d.useTnef, 0);
    for (const sim::MessageView& m : client->FolderContents(olFolderSentMail))
        EXPECT_EQ(m.editorFormat, static_cast<LONG>(EDITOR_FORMAT_PLAINTEXT));
}

TEST_F(JobFailureTest, ATnefFlagThatCannotBeResolvedEndsTheJob) {
    Prepare(2);
    client->FailCall("GetIDsFromNames", 2, MAPI_E_NO_SUPPORT);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed on GetIDsFromNames");
    EXPECT_TRUE(EndsIncomplete(0));
}

// ---- Moving, submitting, flushing ---------------------------------------------------------------

TEST_F(JobFailureTest, AMoveThatFailsIsLoggedAndTheCopySubmittedFromWhereItIs) {
    Prepare(2);
    client->RaiseCall("MailItem.Move", 1, E_FAIL);
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(LogHas("Error caught moving message to Outbox during message 1\r\n"
                       "(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"));
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"r01@example.com", "r02@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

TEST_F(JobFailureTest, ANamespaceThatFailsSkipsTheMoveSilently) {
    Prepare(1);
    client->FailCall("Session", 1, E_FAIL);
    RunJob();
    EXPECT_FALSE(LogHas("Error caught"));
    EXPECT_TRUE(client->Calls("Move").empty());
    EXPECT_EQ(client->Deliveries().size(), 1u);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

TEST_F(JobFailureTest, TheSentCopyGoesToSentItems) {
    Prepare(1);
    RunJob();
    std::vector<sim::TraceEntry> puts = client->Calls("SaveSentMessageFolder");
    ASSERT_EQ(puts.size(), 1u);
    ASSERT_EQ(client->FolderContents(olFolderSentMail).size(), 1u);
    EXPECT_EQ(client->FolderContents(olFolderSentMail)[0].sentFolder, "Sent Items");
}

// The moved item's store message cannot be had: the job goes on with the
// copy's, which the store has moved away, so the submission fails.
TEST_F(JobFailureTest, AnErrorAfterTheMoveGoesOnWithTheCopysStoreMessage) {
    Prepare(1);
    client->RaiseCall("MailItem.MAPIOBJECT", 2, E_FAIL); // the moved item's
    RunJob();
    EXPECT_TRUE(LogHas("Error caught moving message to Outbox during message 1\r\n"
                       "Failed to submit message to: r01@example.com\r\n"));
    EXPECT_EQ(OnlyBox(), "Failed to submit message to: r01@example.com");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobFailureTest, ASubmitThatFailsEndsTheJob) {
    Prepare(2);
    client->FailCall("SubmitMessage", 1, MAPI_E_NO_RECIPIENTS);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to submit message to: r01@example.com");
    EXPECT_TRUE(LogHas("Failed to submit message to: r01@example.com\r\n\tResult: Incomplete"));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// The copy's store message cannot be used as a message when it is to be
// submitted: the error is logged, and the message counts as sent.
TEST_F(JobFailureTest, AnErrorRaisedWhileSubmittingIsLoggedAndTheMessageStillCounts) {
    // Find which request for IMessage comes just before the first submission.
    Prepare(2);
    RunJob();
    unsigned beforeSubmit = 0;
    for (const sim::TraceEntry& e : client->Trace()) {
        if (e.member == "SubmitMessage")
            break;
        beforeSubmit += e.kind == sim::TraceKind::QueryInterface && e.args == "IMessage";
    }
    ASSERT_GT(beforeSubmit, 0u);
    CloseClient();
    TakeJobFinished();
    // Another mailing, not the one just sent again.
    DeleteFileA(DataPaths.jobState);

    Prepare(2);
    client->FailQueryInterface(IID_IMessage, "Message", 1, beforeSubmit);
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(LogHas("SubmitMessage error caught during message 1\r\n"
                       "(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"
                       "(4:03.26) # 2, To: r02@example.com. Sent Successfully\r\n"));
    EXPECT_EQ(MailingJob::sentCount, 2);
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r02@example.com"});
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

TEST_F(JobFailureTest, AnUnusableSpoolerIsLoggedAndTheMessageStillCounts) {
    Prepare(2);
    client->FailQueryInterface(IID_IMAPIStatus, "", 1);
    RunJob();
    EXPECT_TRUE(LogHas("MAPIFlushQueues error caught during message 1\r\n"
                       "(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"));
    EXPECT_EQ(MailingJob::sentCount, 2);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->Deliveries().size(), 2u); // the next flush sends both
}

TEST_F(JobFailureTest, WithoutSpoolerRowTheMessagesWaitInTheQueue) {
    sim::Config config;
    config.spoolerRow = false;
    Prepare(2, config);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(client->QueuedCount(), 2u);
    EXPECT_FALSE(FlushOutboundQueue());
    client->RunSpooler();
    EXPECT_EQ(client->Deliveries().size(), 2u);
}

TEST_F(JobFailureTest, WithoutSessionThereIsNothingToFlush) {
    Prepare(1);
    MapiSessionRef.Reset();
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->QueuedCount(), 1u);
}

} // namespace
