// The review dialog between the mailing dialog's Send and the first message,
// worked by a scripted user on the substitute's dialog manager: what it
// shows, moving through the recipients, the test copy, the limit and the
// skip choice kept with the options, going back and sending again.
#include "dialog_native_fixture.h"

#include "data/settings.h"
#include "dialogs/main_dialog.h"

#include <gmock/gmock.h>

#include <cstring>

namespace {

// What the user reads in the review.
struct ReviewLook {
    std::string summary, findings, who, text, limit;
    bool previous, next, skip;
};

class ReviewDialogTest : public DialogTest {
protected:
    ReviewLook LookAtReview(HWND review) {
        return ReviewLook{Text(review, IDC_REVIEW_SUMMARY),
                          Text(review, IDC_REVIEW_FINDINGS),
                          Text(review, IDC_PREVIEW_WHO),
                          Text(review, IDC_PREVIEW_TEXT),
                          Text(review, IDC_MAX_PER_RUN),
                          Enabled(review, IDC_PREVIOUS),
                          Enabled(review, IDC_NEXT),
                          IsDlgButtonChecked(review, IDC_SKIP_CLEAN) == BST_CHECKED};
    }
    // Opens the mailing dialog, types the list and presses Send; `work`
    // takes each review shown. A review the user goes back from leaves the
    // mailing dialog open: the user then cancels it.
    void Send(const std::function<void(HWND)>& work) {
        TakeReviews(work);
        TypeAt(10, IDC_LIST_PATH, listPath);
        ClickAt(20, IDC_SEND_PAUSE);
        At(30, [] {
            if (MailingJob::runState == kJobIdle)
                substitute::Click(substitute::ActiveDialog(), IDCANCEL);
        });
        OpenMain();
    }
};

TEST_F(ReviewDialogTest, ShowsTheMailingAndMovesThroughItsRecipients) {
    PrepareMailing(3);
    WriteList("Name,E-Mail\r\nAnn,ann@example.com\r\nNo One,\r\nBo,bo@example.com\r\n"
              "Cy,cy@example.com\r\n");
    JobOptions.Pause = 30;
    std::vector<ReviewLook> seen;
    Send([&](HWND review) {
        seen.push_back(LookAtReview(review));
        substitute::Click(review, IDC_NEXT);
        seen.push_back(LookAtReview(review));
        substitute::Click(review, IDC_NEXT);
        seen.push_back(LookAtReview(review));
        substitute::Type(review, IDC_GO_LINE, "3");
        substitute::Click(review, IDC_GO);
        seen.push_back(LookAtReview(review));
        EXPECT_TRUE(client->Deliveries().empty());
        substitute::Click(review, IDOK);
    });

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].summary, "3 recipients will be mailed, in about 1 min at 30 s between "
                               "messages.");
    EXPECT_EQ(seen[0].findings, "1 record has no e-mail address and will not be mailed: line 3."
                                "\r\n\r\nThe addresses are taken from the column \"E-Mail\".");
    EXPECT_EQ(seen[0].who, "Recipient 1 of 3, line 2 of the list: ann@example.com");
    EXPECT_EQ(seen[0].text, "To: ann@example.com\r\nSubject: Hello Ann\r\n\r\nDear Ann,\r\nyour "
                            "address is "
                            "ann@example.com.\r\n");
    EXPECT_FALSE(seen[0].previous);
    EXPECT_TRUE(seen[0].next);
    EXPECT_EQ(seen[1].who, "Recipient 2 of 3, line 4 of the list: bo@example.com");
    EXPECT_TRUE(seen[1].previous && seen[1].next);
    EXPECT_EQ(seen[2].who, "Recipient 3 of 3, line 5 of the list: cy@example.com");
    EXPECT_FALSE(seen[2].next);
    // Line 3 is the record without an address: the next recipient is shown.
    EXPECT_EQ(seen[3].who, "Recipient 2 of 3, line 4 of the list: bo@example.com");
    EXPECT_EQ(client->Deliveries().size(), 3u);
    // Line 3 could not be mailed: the summary says so and points at the log.
    EXPECT_THAT(BoxTexts(),
                ::testing::ElementsAre("Job Not Complete (See Current Job Log)\n\nSent: 3\n"
                                       "Not sent: 1 (the current job log names each one; send "
                                       "the same message to the same list again to mail them "
                                       "once they can be)"));
}

// The count is what Start Mailing sends: a copy whose file is on another
// computer only while the user allows such files.
TEST_F(ReviewDialogTest, TheCountFollowsTheChoiceOfFilesOnOtherComputers) {
    PrepareMailing(2);
    WriteList("Name,E-Mail,Attachment\r\nAnn,ann@example.com,\r\n"
              "Bo,bo@example.com,\\\\server\\share\\x.pdf\r\n");
    std::vector<std::string> summaries;
    Send([&](HWND review) {
        summaries.push_back(Text(review, IDC_REVIEW_SUMMARY));
        substitute::Click(review, IDC_ALLOW_NETWORK);
        summaries.push_back(Text(review, IDC_REVIEW_SUMMARY));
        substitute::Click(review, IDC_ALLOW_NETWORK);
        summaries.push_back(Text(review, IDC_REVIEW_SUMMARY));
        substitute::Click(review, IDOK);
    });

    ASSERT_EQ(summaries.size(), 3u);
    EXPECT_EQ(summaries[0], "1 recipient will be mailed, in about 1 s.");
    EXPECT_EQ(summaries[1], "2 recipients will be mailed, in about 2 s.");
    EXPECT_EQ(summaries[2], summaries[0]);
    EXPECT_EQ(client->Deliveries().size(), 1u);
}

TEST_F(ReviewDialogTest, BackReturnsToAReadyMailingDialogThatCanSendAgain) {
    PrepareMailing(2);
    int reviews = 0;
    MainDialogLook afterBack{};
    TakeReviews([&](HWND review) {
        if (++reviews == 1) {
            substitute::Click(review, IDCANCEL);
            return;
        }
        substitute::Click(review, IDOK);
    });
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    At(40, [&] { afterBack = Look(substitute::ActiveDialog()); });
    ClickAt(50, IDC_SEND_PAUSE);
    OpenMain();

    EXPECT_EQ(reviews, 2);
    EXPECT_EQ(afterBack.sendCaption, "&Send");
    EXPECT_EQ(afterBack.status, "");
    EXPECT_TRUE(afterBack.fieldEnabled && afterBack.browseEnabled && afterBack.sendEnabled);
    EXPECT_FALSE(afterBack.progressVisible);
    // Going back showed no summary; the mailing that followed did.
    EXPECT_THAT(BoxTexts(), ::testing::ElementsAre("Job Completed Successfully\n\nSent: 2"));
    EXPECT_EQ(client->Deliveries().size(), 2u);
}

TEST_F(ReviewDialogTest, TheTestButtonSendsTheRecipientOnShowToTheUser) {
    PrepareMailing(3);
    Send([&](HWND review) {
        substitute::Click(review, IDC_NEXT);
        substitute::Click(review, IDC_SEND_TEST);
        substitute::Click(review, IDCANCEL);
    });
    ASSERT_EQ(client->Deliveries().size(), 1u);
    EXPECT_EQ(client->Deliveries()[0].subject, "[Test] Hello Person 2");
    EXPECT_EQ(client->Deliveries()[0].recipients[0].address, "sam.sender@example.com");
    EXPECT_THAT(BoxTexts(), ::testing::ElementsAre(
                                "A test of line 3's copy was sent to sam.sender@example.com."));
}

TEST_F(ReviewDialogTest, TheLimitAndTheSkipChoiceAreKeptWithTheOptions) {
    PrepareMailing(5);
    Send([&](HWND review) {
        substitute::Type(review, IDC_MAX_PER_RUN, "2");
        substitute::Click(review, IDC_SKIP_CLEAN);
        substitute::Click(review, IDOK);
    });
    EXPECT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(JobOptions.MaxPerRun, 2);
    EXPECT_EQ(JobOptions.SkipCleanReview, 1);

    // A new process reads both back.
    ResetSettingsToLoadTime();
    std::strcpy(DataPaths.libraryDirectory, "C:\\Program Files\\Quorvel\\");
    LoadOptions();
    EXPECT_EQ(JobOptions.MaxPerRun, 2);
    EXPECT_EQ(JobOptions.SkipCleanReview, 1);
}

// When and how fast: a provider's figures a click away, the first and the
// last copy's time as the choices stand, a start that does not read refused,
// and the choices kept with the options for the job and the next review.
TEST_F(ReviewDialogTest, WhenAndHowFastIsChosenShownAndKept) {
    PrepareMailing(100);
    std::vector<std::string> said;
    Send([&](HWND review) {
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Click(review, IDC_PROVIDER_2); // Outlook.com
        EXPECT_EQ(Text(review, IDC_PER_DAY), "300");
        EXPECT_EQ(Text(review, IDC_PER_MINUTE), "0");
        EXPECT_EQ(IsDlgButtonChecked(review, IDC_PROVIDER_2), BST_CHECKED);
        substitute::Click(review, IDC_PROVIDER_1); // Exchange Online
        EXPECT_EQ(IsDlgButtonChecked(review, IDC_PROVIDER_2), BST_UNCHECKED);
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Type(review, IDC_PER_MINUTE, "10");
        EXPECT_EQ(IsDlgButtonChecked(review, IDC_PROVIDER_1), BST_UNCHECKED);
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Click(review, IDC_START_LATER);
        substitute::Type(review, IDC_START_AT, "2007-12-08 9:00");
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Click(review, IDOK); // refused: the mailing does not start
        substitute::Type(review, IDC_START_AT, "2007-12-08 09:00");
        substitute::Click(review, IDC_WORKING_DAYS);
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Click(review, IDOK);
    });
    const std::string keep = "\r\nWith an Exchange account the server sends the waiting copies. "
                             "With POP3 or IMAP, keep Outlook running until the last has left.";
    EXPECT_THAT(said, ::testing::ElementsAre(
                          "The first copy leaves at 2007-12-05 04:03:27, the last at "
                          "2007-12-05 04:03:27." +
                              keep,
                          "The first copy leaves at 2007-12-05 04:03:27, the last at "
                          "2007-12-05 04:06:00." +
                              keep,
                          "The first copy leaves at 2007-12-05 04:03:27, the last at "
                          "2007-12-05 04:12:00." +
                              keep,
                          "The start time reads as none: write it as YYYY-MM-DD HH:MM, for "
                          "example 2027-01-04 09:00.",
                          "The first copy leaves at 2007-12-10 00:00:00, the last at "
                          "2007-12-10 00:09:00." +
                              keep));
    EXPECT_THAT(BoxTexts(), ::testing::Contains("Please enter the start as YYYY-MM-DD HH:MM, "
                                                "for example 2027-01-04 09:00."));
    EXPECT_EQ(JobOptions.StartLater, 1);
    EXPECT_STREQ(JobOptions.StartAt, "2007-12-08 09:00");
    EXPECT_EQ(JobOptions.PerMinute, 10);
    EXPECT_EQ(JobOptions.PerDay, 10000);
    EXPECT_EQ(JobOptions.WorkingDaysOnly, 1);
    EXPECT_EQ(client->HeldCount(), 100u) << "every copy waits for Monday";
    JobOptions.StartLater = JobOptions.PerMinute = JobOptions.PerDay = 0;
    JobOptions.WorkingDaysOnly = 0;
    JobOptions.StartAt[0] = '\0';
}

} // namespace
