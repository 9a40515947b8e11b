// The review before a mailing, as the job offers it to its dialog: what it
// counts and finds, the merged copy of any recipient, a test copy to the
// user, going back, and the limit for one run continued by the next.
// Natively and under Wine (the dialog itself is tested on its own).
#include "job_fixture.h"

#include "data/review.h"
#include "data/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

const char kQuestion[] = "The last mailing of this list with this subject did not finish";

// The test's review: a plain function for the job's user, the test's
// actions behind it.
std::function<bool(ReviewSession*)> OnReview;
int ReviewsShown = 0;
ReviewAnswer TakeReview(HWND, ReviewSession* session) {
    ++ReviewsShown;
    return !OnReview || OnReview(session) ? ReviewAnswer::Start : ReviewAnswer::Back;
}

class ReviewJobTest : public JobTest {
protected:
    void SetUp() override {
        JobTest::SetUp();
        OnReview = nullptr;
        ReviewsShown = 0;
        review = TakeReview;
    }

    struct Shown {
        long line = 0;
        std::string address, subject, body;
    };
    static Shown Preview(ReviewSession* session, long index) {
        ReviewCopy copy;
        Shown shown;
        if (session->Preview(index, &copy))
            shown = Shown{copy.line, copy.address, copy.subject, copy.body};
        return shown;
    }
};

TEST_F(ReviewJobTest, TheReviewCountsFindsAndPreviewsAnyRecipientBeforeAnythingIsSent) {
    StartClient();
    sim::Draft draft = PlainMessage();
    draft.subject = "Hello [[Name]] in [[Twon]]";
    draft.recipients.push_back(sim::Recipient("boss@example.com"));
    Compose(draft);
    WriteList("Name,E-Mail,Town\r\n"
              "Ann,ann@example.com,Oslo\r\n"
              "Nobody,,Rome\r\n"
              "Bo,bo@example.com,\r\n"
              "Ann again,ANN@example.com,Bergen\r\n"
              "Cy,cy@example.com,Lima\r\n");
    long recipients = 0;
    std::string findings;
    Shown first, middle, last, pastTheEnd;
    long atLine4 = -2, pastLastLine = -2;
    size_t deliveredDuringReview = 99;
    OnReview = [&](ReviewSession* session) {
        deliveredDuringReview = client->Deliveries().size();
        recipients = session->Recipients();
        char text[4096];
        session->Findings().Describe(text, sizeof text);
        findings = text;
        first = Preview(session, 0);
        middle = Preview(session, 1);
        last = Preview(session, 3);
        pastTheEnd = Preview(session, 4);
        atLine4 = session->RecipientAtLine(4);
        pastLastLine = session->RecipientAtLine(7);
        return true;
    };
    RunJob();
    ASSERT_EQ(ReviewsShown, 1);
    EXPECT_EQ(deliveredDuringReview, 0u);
    EXPECT_EQ(recipients, 4);
    EXPECT_NE(findings.find("1 record has no e-mail address and will not be mailed: line 3."),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("1 record repeats an address of an earlier record: that recipient "
                            "gets more than one copy: line 5 (as line 2)."),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("\"[[Twon]]\" in the message names no column of the list (did you "
                            "mean \"Town\"?)"),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("boss@example.com is already a recipient of the composed message"),
              std::string::npos)
        << findings;

    EXPECT_EQ(first.line, 2);
    EXPECT_EQ(first.address, "ann@example.com");
    EXPECT_EQ(first.subject, "Hello Ann in [[Twon]]");
    EXPECT_EQ(first.body, "Dear Ann,\r\nyour address is ann@example.com.\r\n");
    EXPECT_EQ(middle.line, 4);
    EXPECT_EQ(middle.subject, "Hello Bo in [[Twon]]");
    EXPECT_EQ(last.line, 6);
    EXPECT_EQ(last.address, "cy@example.com");
    EXPECT_EQ(pastTheEnd.line, 0);
    EXPECT_EQ(atLine4, 1);
    EXPECT_EQ(pastLastLine, -1);
    // Previewing moved nothing: the mailing that follows sends each once,
    // and each copy to the composed message's recipient too, as told.
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"boss@example.com;ann@example.com",
                                                       "boss@example.com;bo@example.com",
                                                       "boss@example.com;ANN@example.com",
                                                       "boss@example.com;cy@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0}); // line 3 was left out
}

TEST_F(ReviewJobTest, GoingBackSendsNothingAndLeavesTheLastMailingsFilesAlone) {
    Prepare(3);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    const std::string log = ReadLog(DataPaths.currentJobLog);
    const std::string sent = ReadLog(DataPaths.sentList);
    const std::string history = ReadLog(DataPaths.jobHistory);
    const size_t delivered = client->Deliveries().size();

    OnReview = [](ReviewSession*) { return false; };
    Compose(PlainMessage());
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{kJobNotStarted});
    EXPECT_EQ(client->Deliveries().size(), delivered);
    EXPECT_EQ(ReadLog(DataPaths.currentJobLog), log);
    EXPECT_EQ(ReadLog(DataPaths.sentList), sent);
    EXPECT_EQ(ReadLog(DataPaths.jobHistory), history);
}

TEST_F(ReviewJobTest, ATestGoesToTheUserMarkedAndIsNeitherCountedNorLoggedNorRecorded) {
    Prepare(3);
    bool sent = false;
    std::string said;
    OnReview = [&](ReviewSession* session) {
        char text[512];
        sent = session->SendTest(1, text, sizeof text);
        said = text;
        return true;
    };
    RunJob();
    ASSERT_TRUE(sent) << said;
    EXPECT_EQ(said, "A test of line 3's copy was sent to sam.sender@example.com.");
    const std::vector<sim::Delivery>& d = client->Deliveries();
    ASSERT_EQ(d.size(), 4u);
    ASSERT_EQ(d[0].recipients.size(), 1u);
    EXPECT_EQ(d[0].recipients[0].address, "sam.sender@example.com");
    EXPECT_EQ(d[0].subject, "[Test] Hello Person 2");
    EXPECT_NE(d[0].body.find("your address is r02@example.com"), std::string::npos) << d[0].body;
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"sam.sender@example.com", "r01@example.com",
                                                       "r02@example.com", "r03@example.com"}));
    // The mailing is the three recipients, as if no test had gone.
    EXPECT_EQ(MailingJob::sentCount, 3);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    const std::string log = ReadLog(DataPaths.currentJobLog);
    EXPECT_EQ(log.find("sam.sender"), std::string::npos) << log;
    EXPECT_NE(log.find("# 3, To: r03@example.com. Sent Successfully"), std::string::npos) << log;
    EXPECT_EQ(ReadLog(DataPaths.sentList).find("Person 2"),
              ReadLog(DataPaths.sentList).rfind("Person 2"));
}

TEST_F(ReviewJobTest, ATestCarriesTheRecordsFilesButGoesToNobodyElse) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    WriteFileBytes(std::string(folder) + "note.txt", "a note");
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment,Cc,Bcc\r\n"
              "Ann,ann@example.com,note.txt,boss@example.com,archive@example.com\r\n"
              "Bo,bo@example.com,gone.txt,,\r\n");
    std::string said, refused;
    OnReview = [&](ReviewSession* session) {
        char text[512];
        EXPECT_TRUE(session->SendTest(0, text, sizeof text)) << text;
        said = text;
        EXPECT_FALSE(session->SendTest(1, text, sizeof text));
        refused = text;
        return false;
    };
    RunJob();
    EXPECT_EQ(said, "A test of line 2's copy was sent to sam.sender@example.com.");
    ASSERT_EQ(client->Deliveries().size(), 1u);
    const sim::Delivery& test = client->Deliveries()[0];
    ASSERT_EQ(test.recipients.size(), 1u);
    EXPECT_EQ(test.recipients[0].address, "sam.sender@example.com");
    EXPECT_NE(ReadFileBytes(test.path).find("filename=\"note.txt\""), std::string::npos);
    // The record whose file is gone is refused: the review already names it.
    EXPECT_NE(refused.find("The test was not sent: line 3 cannot be mailed as it asks (the "
                           "attachment \""),
              std::string::npos)
        << refused;
    DeleteFileA((std::string(folder) + "note.txt").c_str());
}

// The record's file checked fine but could not be attached: the copy is
// deleted, and the user is told the test did not go, and why.
TEST_F(ReviewJobTest, ATestWhoseFileCannotBeAttachedIsReportedNotSent) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    WriteFileBytes(std::string(folder) + "note.txt", "a note");
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment\r\nAnn,ann@example.com,note.txt\r\n");
    std::string said;
    bool sent = true;
    OnReview = [&](ReviewSession* session) {
        client->FailCall("CreateAttach", 1, MAPI_E_NOT_ENOUGH_MEMORY);
        char text[512];
        sent = session->SendTest(0, text, sizeof text);
        said = text;
        return false;
    };
    RunJob();
    EXPECT_FALSE(sent);
    EXPECT_EQ(said.rfind("The test was not sent: line 2, the attachment \"", 0), 0u) << said;
    EXPECT_NE(said.find("note.txt\" could not be attached (0x8007000E)."), std::string::npos)
        << said;
    EXPECT_TRUE(client->Deliveries().empty());
    // In the drafts (olFolderDrafts) only the composed message: the copy is gone.
    EXPECT_EQ(client->FolderContents(16).size(), 1u);
    DeleteFileA((std::string(folder) + "note.txt").c_str());
}

TEST_F(ReviewJobTest, NoTestGoesWhileTheComposedMessageHasRecipientsOfItsOwn) {
    StartClient();
    sim::Draft draft = PlainMessage();
    draft.recipients.push_back(sim::Recipient("boss@example.com"));
    Compose(draft);
    WriteList(NumberedList(2));
    std::string said;
    OnReview = [&](ReviewSession* session) {
        char text[512];
        EXPECT_FALSE(session->SendTest(0, text, sizeof text));
        said = text;
        return false;
    };
    RunJob();
    EXPECT_EQ(said, "The test was not sent: the composed message is addressed to "
                    "boss@example.com, who would get it too. Remove its recipients first.");
    EXPECT_TRUE(client->Deliveries().empty());
}

TEST_F(ReviewJobTest, WithoutAnInternetAddressOfTheUsersOwnNoTestIsSent) {
    sim::Config config;
    config.senderAddress = "/o=Org/ou=Site/cn=Recipients/cn=sam";
    Prepare(2, config);
    std::string said;
    OnReview = [&](ReviewSession* session) {
        char text[512];
        EXPECT_FALSE(session->SendTest(0, text, sizeof text));
        said = text;
        return false;
    };
    RunJob();
    EXPECT_EQ(said, "The test was not sent: the mail client gives no Internet address of yours "
                    "(it gives \"/o=Org/ou=Site/cn=Recipients/cn=sam\").");
    EXPECT_TRUE(client->Deliveries().empty());
}

TEST_F(ReviewJobTest, ALimitStopsTheRunAndTheNextRunsContinueUntilEveryoneHasOneCopy) {
    Prepare(7);
    JobOptions.MaxPerRun = 3;
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r02@example.com", "r03@example.com"}));
    EXPECT_NE(ReadLog(DataPaths.currentJobLog)
                  .find("Stopped at this run's limit of 3 messages: 4 recipients are left."),
              std::string::npos)
        << ReadLog(DataPaths.currentJobLog);

    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind(kQuestion, 0) == 0 ? IDYES : IDOK;
    });
    long reviewed = 0;
    OnReview = [&](ReviewSession* session) {
        reviewed = session->Recipients();
        return true;
    };
    Compose(PlainMessage());
    RunJob();
    EXPECT_EQ(reviewed, 4); // the review counts those left
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    Compose(PlainMessage());
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    std::vector<std::string> all = DeliveredTo();
    EXPECT_EQ(all.size(), 7u);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
}

TEST_F(ReviewJobTest, RecordsWhoseFilesOrCopiesCannotBeUsedAndLargeFilesAreToldBeforehand) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string temp = folder;
    WriteFileBytes(temp + "small.pdf", "%PDF small");
    WriteFileBytes(temp + "large.bin", std::string(size_t{26} * 1024 * 1024, 'x'));
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment,Cc\r\n"
              "Ann,ann@example.com,small.pdf,\r\n"
              "Bo,bo@example.com,missing.pdf,\r\n"
              "Cy,cy@example.com,small.pdf,\"x@y, not one\"\r\n"
              "Di,di@example.com,large.bin,\r\n"
              "Ed,ed@example.com,gone.pdf,\r\n");
    std::string findings;
    long recipients = 0;
    OnReview = [&](ReviewSession* session) {
        char text[4096];
        session->Findings().Describe(text, sizeof text);
        findings = text;
        recipients = session->Recipients();
        return false;
    };
    RunJob();
    EXPECT_EQ(recipients, 2);
    EXPECT_NE(findings.find("2 records will not be mailed because an attachment cannot be found: "
                            "lines 3 ("),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("missing.pdf), 6 ("), std::string::npos) << findings;
    EXPECT_NE(findings.find("1 record will not be mailed because its Cc is not a list of e-mail "
                            "addresses: line 4 (x@y, not one)."),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("1 copy carries attachments of more than 25 MB in all, which many "
                            "providers refuse: line 5 (26.0 MB)."),
              std::string::npos)
        << findings;
    DeleteFileA((temp + "large.bin").c_str());
    DeleteFileA((temp + "small.pdf").c_str());
}

// What would stop the mailing at a record is told before the first copy:
// a value of 512 characters or more (line breaks count twice), with its
// line and field. The subject the preview shows is the one line recipients
// get.
TEST_F(ReviewJobTest, ValuesTooLongToMergeAreToldAndThePreviewShowsTheSubjectOnOneLine) {
    StartClient();
    sim::Draft draft = PlainMessage();
    draft.subject = "Hi [[Name]]";
    Compose(draft);
    std::string breaks;
    for (int i = 0; i < 200; ++i)
        breaks += "x\n";
    WriteList("Name,E-Mail,Notes\r\n"
              "\"Ann\nBcc: spy@example.com\",ann@example.com,\r\n"
              "Bo,bo@example.com,\"" +
              breaks + "\"\r\nCy,cy@example.com,\r\n");
    std::string findings;
    long recipients = 0;
    Shown first;
    OnReview = [&](ReviewSession* session) {
        char text[4096];
        session->Findings().Describe(text, sizeof text);
        findings = text;
        recipients = session->Recipients();
        first = Preview(session, 0);
        return true;
    };
    RunJob();
    EXPECT_EQ(recipients, 2);
    EXPECT_NE(findings.find("1 record will not be mailed because a value has more than 511 "
                            "characters: line 4 (Notes)."),
              std::string::npos)
        << findings;
    EXPECT_EQ(first.subject, "Hi Ann Bcc: spy@example.com");
    ASSERT_EQ(DeliveredTo(), (std::vector<std::string>{"ann@example.com", "cy@example.com"}));
    EXPECT_EQ(client->Deliveries()[0].subject, first.subject);
    EXPECT_EQ(client->Deliveries()[0].recipients.size(), 1u);
}

TEST_F(ReviewJobTest, ACleanReviewIsSkippedWhenAskedAndOneWithFindingsNever) {
    Prepare(2);
    JobOptions.SkipCleanReview = 1;
    RunJob();
    EXPECT_EQ(ReviewsShown, 0);
    EXPECT_EQ(DeliveredTo().size(), 2u);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});

    WriteList("Name,E-Mail\r\nA,a@example.com\r\nB,\r\n");
    Compose(PlainMessage());
    RunJob();
    EXPECT_EQ(ReviewsShown, 1);
}

} // namespace
