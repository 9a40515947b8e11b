// The review is the plan: the sending pass mails the copies the review
// counted, to the end of the list. A record mended after the counting pass is
// not mailed in the place of another, and a list edited after the counting
// pass (during the review or while the copies go) is counted and reviewed
// again before anything of the edit is mailed. Natively and under Wine.
#include "job_fixture.h"

#include "data/settings.h"

#include <algorithm>
#include <functional>

namespace {

const char kContinue[] = "The last mailing of this list with this subject did not finish";

std::function<bool(ReviewSession*)> OnPlanReview;
int PlanReviews = 0;
ReviewAnswer TakePlanReview(HWND, ReviewSession* session) {
    ++PlanReviews;
    return !OnPlanReview || OnPlanReview(session) ? ReviewAnswer::Start : ReviewAnswer::Back;
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// Five records, the third with no address.
const char kList[] = "Name,E-Mail\r\n"
                     "P1,r01@example.com\r\n"
                     "P2,r02@example.com\r\n"
                     "Nobody,\r\n"
                     "P4,r04@example.com\r\n"
                     "P5,r05@example.com\r\n";
// The same with the third record's address filled in.
const char kMended[] = "Name,E-Mail\r\n"
                       "P1,r01@example.com\r\n"
                       "P2,r02@example.com\r\n"
                       "Nobody,r03@example.com\r\n"
                       "P4,r04@example.com\r\n"
                       "P5,r05@example.com\r\n";

class PlanJobTest : public JobTest {
protected:
    void SetUp() override {
        JobTest::SetUp();
        OnPlanReview = nullptr;
        PlanReviews = 0;
        review = TakePlanReview;
    }
    void TearDown() override {
        OnPlanReview = nullptr;
        JobTest::TearDown();
    }
    std::string Log() { return ReadLog(DataPaths.currentJobLog); }
};

// A record whose file was missing when the list was counted, the file put
// in place during the review: it is not mailed now (it would take the last
// record's place), the last record is, and the run is not complete, so
// the next Send mails it after its own review.
TEST_F(PlanJobTest, ARecordFixedDuringTheReviewIsLeftForTheNextRunAndTheLastRecordIsMailed) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string file = std::string(folder) + "late.pdf";
    DeleteFileA(file.c_str());
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment\r\n"
              "Ann,ann@example.com,\r\n"
              "Bo,bo@example.com,late.pdf\r\n"
              "Cy,cy@example.com,\r\n");
    long counted = 0;
    OnPlanReview = [&](ReviewSession* session) {
        counted = session->Recipients();
        WriteFileBytes(file, "%PDF late");
        return true;
    };
    RunJob();
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"ann@example.com", "cy@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::notSentCount, 1);
    EXPECT_TRUE(MailingJob::throughList);
    EXPECT_TRUE(Has(Log(), "Not sent: line 3 could not be mailed when the mailing was reviewed"))
        << Log();
    EXPECT_FALSE(Has(Log(), "Completed Successfully")) << Log();
    EXPECT_TRUE(Has(ReadLog(DataPaths.jobState), "Ended: Not complete"));

    // The next Send continues the mailing: Bo is counted, reviewed, mailed.
    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind(kContinue, 0) == 0 ? IDYES : IDOK;
    });
    OnPlanReview = [&](ReviewSession* session) {
        counted = session->Recipients();
        return true;
    };
    Compose(PlainMessage());
    RunJob();
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"ann@example.com", "cy@example.com", "bo@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    DeleteFileA(file.c_str());
}

// A file that goes missing after the count still leaves the records after
// it mailed: no count runs out before the end of the list.
TEST_F(PlanJobTest, ARecordThatCannotBeMailedAfterAllIsLoggedAndTheRestStillGo) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string file = std::string(folder) + "early.pdf";
    WriteFileBytes(file, "%PDF early");
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment\r\n"
              "Ann,ann@example.com,early.pdf\r\n"
              "Bo,bo@example.com,\r\n");
    OnPlanReview = [&](ReviewSession*) {
        DeleteFileA(file.c_str());
        return true;
    };
    RunJob();
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"bo@example.com"});
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::notSentCount, 1);
    EXPECT_TRUE(Has(Log(), "Not sent: line 2, the attachment")) << Log();
}

// The list itself mended during the review: the mailing is counted and
// reviewed again before the first copy, and the mended record is mailed.
// Going back from that second review stops the job with nothing sent and
// the mailing left open.
TEST_F(PlanJobTest, AListEditedDuringTheReviewIsReviewedAgainBeforeTheFirstCopy) {
    Prepare(0);
    WriteList(kList);
    std::vector<long> counted;
    OnPlanReview = [&](ReviewSession* session) {
        counted.push_back(session->Recipients());
        if (PlanReviews == 1)
            WriteList(kMended);
        return true;
    };
    RunJob();
    EXPECT_EQ(counted, (std::vector<long>{4, 5}));
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r02@example.com", "r03@example.com",
                                        "r04@example.com", "r05@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_TRUE(Has(Log(), "The mailing list changed: reviewed again before message 1")) << Log();

    // Again, the user going back from the second review this time.
    WriteList(kList);
    counted.clear();
    PlanReviews = 0;
    OnPlanReview = [&](ReviewSession* session) {
        counted.push_back(session->Recipients());
        if (PlanReviews == 1)
            WriteList(kMended);
        return PlanReviews == 1;
    };
    Compose(PlainMessage());
    const size_t before = client->Deliveries().size();
    RunJob();
    EXPECT_EQ(counted, (std::vector<long>{4, 5}));
    EXPECT_EQ(client->Deliveries().size(), before);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(Has(Log(), "Job Stopped")) << Log();
    EXPECT_TRUE(Has(ReadLog(DataPaths.jobState), "Ended: Not complete"));
}

// An edit that keeps the list's size and puts its time back is found by
// its bytes.
TEST_F(PlanJobTest, AnEditThatKeepsTheSizeAndTimeIsFoundByTheListsBytes) {
    Prepare(3);
    OnPlanReview = [&](ReviewSession*) {
        if (PlanReviews == 1)
            WriteFileBytesKeepingTime(
                listPath, NumberedList(3).replace(NumberedList(3).find("r02"), 3, "r09"));
        return true;
    };
    RunJob();
    EXPECT_EQ(PlanReviews, 2);
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r09@example.com", "r03@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

// The list edited while the copies go (a second apart): a record is given
// its address and another is taken out. Nothing after the edit is sent
// before the review of the list as it now is; whoever was mailed is not
// mailed again, the one taken out is not mailed at all.
TEST_F(PlanJobTest, AListEditedWhileSendingIsReviewedAgainAndNobodyGetsTwoCopies) {
    sim::Config config;
    int delivered = 0;
    std::string path;
    config.onDelivered = [&](const sim::Delivery&) {
        if (++delivered != 2)
            return;
        WriteFileBytes(path, "Name,E-Mail\r\n"
                             "P1,r01@example.com\r\n"
                             "P2,r02@example.com\r\n"
                             "Nobody,r03@example.com\r\n"
                             "P5,r05@example.com\r\n");
    };
    Prepare(0, config);
    WriteList(kList);
    path = listPath;
    JobOptions.Pause = 1;
    std::vector<long> counted, before;
    OnPlanReview = [&](ReviewSession* session) {
        counted.push_back(session->Recipients());
        before.push_back(session->AlreadySent());
        return true;
    };
    RunJob();
    EXPECT_EQ(counted, (std::vector<long>{4, 2}));
    EXPECT_EQ(before, (std::vector<long>{0, 2}));
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"r01@example.com", "r02@example.com",
                                                       "r03@example.com", "r05@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_TRUE(Has(Log(), "The mailing list changed: reviewed again before message 3")) << Log();
    EXPECT_EQ(MailingJob::notSentCount, 0);
}

// Edited after the last copy: the end of the pass finds it, and the
// record added is mailed after the review.
TEST_F(PlanJobTest, AListEditedAfterTheLastCopyIsReviewedBeforeTheJobEnds) {
    sim::Config config;
    int delivered = 0;
    std::string path;
    config.onDelivered = [&](const sim::Delivery&) {
        if (++delivered == 2)
            WriteFileBytes(path, NumberedList(3));
    };
    Prepare(2, config);
    path = listPath;
    RunJob();
    EXPECT_EQ(PlanReviews, 2);
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r02@example.com", "r03@example.com"}));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

} // namespace
