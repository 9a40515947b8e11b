// The review dialog between the mailing dialog's Send and the first message,
// worked by a scripted user on the substitute's dialog manager: what it
// shows, moving through the recipients, the test copy, the limit and the
// skip choice kept with the options, going back and sending again.
#include "dialog_native_fixture.h"

#include "data/settings.h"
#include "data/workbook_text.h"
#include "dialogs/main_dialog.h"
#include "engine/mailing_job.h"

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
    void TearDown() override {
        WorkbookChoice = WorkbookListChoice(); // process-wide, as in the library
        DialogTest::TearDown();
    }
    // A mailing of n from a client of `version` whose one account is of
    // that type and address.
    void PrepareFromAccount(int n, const char* version, LONG type, const char* address) {
        sim::Config config;
        config.version = version;
        config.accountType = type;
        config.accountAddress = address;
        Prepare(n, config);
    }
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

// The account the client tells says who keeps the waiting copies; until the
// user has chosen limits once, its provider's are proposed, and the choice
// made in the review is kept: the next review proposes nothing.
TEST_F(ReviewDialogTest, TheSendingAccountSaysWhoKeepsTheCopiesAndProposesItsLimits) {
    PrepareFromAccount(3, "12.0.4518.1014", olImap, "ann@gmail.com");
    JobOptions.LimitsChosen = 0;
    std::vector<std::string> said, perDay;
    bool gmailMarked = false;
    Send([&](HWND review) {
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        perDay.push_back(Text(review, IDC_PER_DAY));
        gmailMarked = IsDlgButtonChecked(review, IDC_PROVIDER_3) == BST_CHECKED;
        substitute::Type(review, IDC_PER_DAY, "100");
        said.push_back(Text(review, IDC_RELEASE_TEXT));
        substitute::Click(review, IDOK);
    });
    const std::string imap = "\r\nThey go from ann@gmail.com, an IMAP account: keep Outlook "
                             "running, and the computer awake, until the last has left.";
    ASSERT_EQ(said.size(), 2u);
    EXPECT_THAT(said[0], ::testing::EndsWith(imap + " Proposed for this account: the limits of "
                                                    "Gmail."));
    EXPECT_THAT(said[1], ::testing::EndsWith(imap)) << "100 a day is no longer the proposal";
    EXPECT_EQ(perDay[0], "500");
    EXPECT_TRUE(gmailMarked);
    EXPECT_EQ(JobOptions.PerDay, 100);
    EXPECT_EQ(JobOptions.LimitsChosen, 1);
    EXPECT_EQ(client->Deliveries().size() + client->HeldCount(), 3u);
    JobOptions.PerDay = 0;
    JobOptions.LimitsChosen = 0;
}

// Limits the user has chosen once are never proposed over.
TEST_F(ReviewDialogTest, LimitsChosenOnceAreNotProposedOver) {
    PrepareFromAccount(1, "12.0.4518.1014", olPop3, "ann@gmail.com");
    JobOptions.LimitsChosen = 1;
    JobOptions.PerDay = 100;
    std::string said, perDay;
    Send([&](HWND review) {
        said = Text(review, IDC_RELEASE_TEXT);
        perDay = Text(review, IDC_PER_DAY);
        substitute::Click(review, IDCANCEL);
    });
    EXPECT_THAT(said, ::testing::EndsWith("\r\nThey go from ann@gmail.com, a POP3 account: keep "
                                          "Outlook running, and the computer awake, until the "
                                          "last has left."));
    EXPECT_EQ(perDay, "100");
    JobOptions.PerDay = 0;
    JobOptions.LimitsChosen = 0;
}

// An Exchange account: its server keeps the copies; Exchange Online's
// limits are proposed for a mailbox of any domain but the consumer ones.
TEST_F(ReviewDialogTest, AnExchangeAccountsServerKeepsTheCopies) {
    PrepareFromAccount(2, "14.0.4760.1000", olExchange, "cy@contoso.com");
    JobOptions.LimitsChosen = 0;
    std::string said, perMinute;
    Send([&](HWND review) {
        said = Text(review, IDC_RELEASE_TEXT);
        perMinute = Text(review, IDC_PER_MINUTE);
        substitute::Click(review, IDCANCEL);
    });
    EXPECT_THAT(said, ::testing::EndsWith(
                          "\r\nThey go from cy@contoso.com, an Exchange account: its server "
                          "sends the waiting copies, whether Outlook runs or not. Proposed for "
                          "this account: the limits of Exchange Online / Microsoft 365."));
    EXPECT_EQ(perMinute, "30");
    EXPECT_EQ(JobOptions.LimitsChosen, 0) << "going back keeps no choice: the next review proposes";
    EXPECT_EQ(JobOptions.PerMinute, 0);
    JobOptions.PerMinute = JobOptions.PerDay = 0;
    JobOptions.LimitsChosen = 0;
}

// The copies another mailing left waiting hold the account's day: the review
// of the next one says its copies leave after them.
TEST_F(ReviewDialogTest, TheTimesShownFollowTheCopiesAnotherMailingLeftWaiting) {
    JobOptions.PerDay = 2;
    PrepareMailing(4); // two leave now, two tomorrow
    RunJob();
    ASSERT_EQ(client->HeldCount(), 2u);
    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\nCee,cee@example.com\r\n", "b.csv");
    MailingJob::runState = kJobIdle; // as the mailing dialog leaves it
    start = GetTickCount();          // the user's steps from here on
    std::string said;
    Send([&](HWND review) {
        said = Text(review, IDC_RELEASE_TEXT);
        substitute::Click(review, IDCANCEL);
    });
    EXPECT_THAT(said, ::testing::StartsWith("The first copy leaves at 2007-12-07 04:03:"));
    EXPECT_EQ(client->HeldCount(), 2u) << "nothing of the second mailing was handed over";
    JobOptions.PerDay = 0;
}

} // namespace

namespace {

// What the review shows of a workbook's sheets and hidden rows.
struct SheetLook {
    int sheets, chosen;
    bool sheetEnabled, hiddenTicked, hiddenEnabled;
    std::string summary, findings;
};

SheetLook LookAtSheets(HWND review) {
    return SheetLook{static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCOUNT, 0, 0)),
                     static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCURSEL, 0, 0)),
                     IsWindowEnabled(GetDlgItem(review, IDC_SHEET)) != FALSE,
                     IsDlgButtonChecked(review, IDC_INCLUDE_HIDDEN) == BST_CHECKED,
                     IsWindowEnabled(GetDlgItem(review, IDC_INCLUDE_HIDDEN)) != FALSE,
                     [&] {
                         char text[256] = "";
                         GetDlgItemTextA(review, IDC_REVIEW_SUMMARY, text, sizeof text);
                         return std::string(text);
                     }(),
                     [&] {
                         char text[2048] = "";
                         GetDlgItemTextA(review, IDC_REVIEW_FINDINGS, text, sizeof text);
                         return std::string(text);
                     }()};
}

// A workbook of three sheets (the first hidden), the second with rows
// hidden by hand and by a filter and a cell in a format not reproduced.
TEST_F(ReviewDialogTest, AWorkbooksSheetIsPickedAndItsHiddenRowsIncludedFromTheReview) {
    PrepareMailing(1);
    listPath = std::string(QV_TEST_WORKBOOKS) + "people.xlsx";
    std::vector<SheetLook> seen;
    char hiddenItem[64] = "";
    Send([&](HWND review) {
        seen.push_back(LookAtSheets(review));
        if (seen.size() == 1) {
            SendDlgItemMessageA(review, IDC_SHEET, CB_GETLBTEXT, 0,
                                reinterpret_cast<LPARAM>(hiddenItem));
            substitute::Click(review, IDC_INCLUDE_HIDDEN);
        } else if (seen.size() == 2) {
            EXPECT_FALSE(substitute::ChooseItem(review, IDC_SHEET, 3)); // there is none
            substitute::ChooseItem(review, IDC_SHEET, 2);
        } else {
            // Set by the program, a selection tells nothing (no CBN_SELCHANGE):
            // the list is not read again.
            EXPECT_EQ(SendDlgItemMessageA(review, IDC_SHEET, CB_SETCURSEL, 7, 0), CB_ERR);
            EXPECT_EQ(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCURSEL, 0, 0), CB_ERR);
            substitute::Click(review, IDOK);
        }
    });

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_STREQ(hiddenItem, "Old list (hidden)");
    // The first visible sheet, its hidden rows left out: the safe defaults.
    EXPECT_EQ(seen[0].sheets, 3);
    EXPECT_EQ(seen[0].chosen, 1);
    EXPECT_TRUE(seen[0].sheetEnabled && seen[0].hiddenEnabled);
    EXPECT_FALSE(seen[0].hiddenTicked);
    EXPECT_EQ(seen[0].summary.substr(0, 26), "4 recipients will be maile");
    EXPECT_EQ(seen[0].findings.substr(0, 224),
              "The list is the sheet \"People\" of the workbook. 2 hidden rows are left out "
              "(\"Include the hidden rows\" mails them too).\r\n\r\nShown in the General form, "
              "their number format not being one Quorvel reproduces: column E from line 6.");
    // Read again with the hidden rows.
    EXPECT_EQ(seen[1].chosen, 1);
    EXPECT_TRUE(seen[1].hiddenTicked && seen[1].hiddenEnabled);
    EXPECT_EQ(seen[1].summary.substr(0, 26), "6 recipients will be maile");
    EXPECT_EQ(seen[1].findings.substr(0, 77),
              "The list is the sheet \"People\" of the workbook. Its hidden rows are included.");
    // And then from the third sheet, which is the one mailed.
    EXPECT_EQ(seen[2].chosen, 2);
    EXPECT_EQ(seen[2].summary.substr(0, 26), "2 recipients will be maile");
    EXPECT_EQ(seen[2].findings.substr(0, 74),
              "The list is the sheet \"M\xE1s\" of the workbook. Its hidden rows are included.");
    ASSERT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(WorkbookChoice.sheet, 2); // kept for this list until another is mailed
    MailingJob::PrepareNew("C:\\other.xlsx", nullptr);
    EXPECT_EQ(WorkbookChoice.sheet, -1);
    EXPECT_FALSE(WorkbookChoice.includeHidden);
}

// A workbook a library wrote holds no results of its formulas: the review
// tells which columns, even to a user who skips clean reviews, before
// anything is sent.
TEST_F(ReviewDialogTest, FormulasAWorkbookHoldsNoResultOfAreToldInTheReview) {
    PrepareMailing(1);
    JobOptions.SkipCleanReview = 1;
    listPath = std::string(QV_TEST_WORKBOOKS) + "uncomputed.xlsx";
    std::vector<SheetLook> seen;
    Send([&](HWND review) {
        seen.push_back(LookAtSheets(review));
        substitute::Click(review, IDCANCEL);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].findings.find(
                  "\r\n\r\nFormulas the workbook holds no result of (the program that wrote "
                  "it does not compute them; open the workbook in a spreadsheet program and save "
                  "it): column C from line 2, column D from line 3.\r\n"),
              std::string::npos)
        << seen[0].findings;
    EXPECT_TRUE(client->Deliveries().empty());
}

// A mailing of a sheet picked in the review and stopped by its limit is
// continued, once the client has been started again, from that sheet (known
// by its name, so that a sheet added in front since changes nothing), not
// from the first visible one, whose people were never meant to be mailed.
TEST_F(ReviewDialogTest, AContinuedMailingOfAWorkbookReadsTheSheetItsFirstRunRead) {
    PrepareMailing(1);
    listPath = std::string(QV_TEST_WORKBOOKS) + "people.xlsx";
    std::vector<SheetLook> seen;
    Send([&](HWND review) {
        seen.push_back(LookAtSheets(review));
        if (seen.size() == 1) {
            substitute::ChooseItem(review, IDC_SHEET, 2);
            return;
        }
        substitute::Type(review, IDC_MAX_PER_RUN, "1");
        substitute::Click(review, IDOK);
    });
    ASSERT_EQ(seen.size(), 2u);
    ASSERT_EQ(DeliveredTo(), std::vector<std::string>{"eva@example.com"});

    WorkbookChoice = WorkbookListChoice(); // the client closed and started again
    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind("The last mailing of this list", 0) == 0 ? IDYES : IDOK;
    });
    seen.clear();
    Send([&](HWND review) {
        seen.push_back(LookAtSheets(review));
        substitute::Click(review, IDOK);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].chosen, 2);
    EXPECT_EQ(seen[0].summary.substr(0, 25), "1 recipient will be maile");
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"eva@example.com", "fay@example.com"}));
    JobOptions.MaxPerRun = 0;
}

// What the user typed before picking another sheet is still there in the
// review of that sheet, and is what the mailing goes with; going back from
// it instead leaves the options as they were.
TEST_F(ReviewDialogTest, ChoicesMadeBeforeAnotherSheetIsPickedAreKeptUntilTheUserGoesBack) {
    PrepareMailing(1);
    listPath = std::string(QV_TEST_WORKBOOKS) + "people.xlsx";
    std::vector<std::string> limits, perMinute;
    const auto chooseThenPick = [&](HWND review) {
        limits.push_back(Text(review, IDC_MAX_PER_RUN));
        perMinute.push_back(Text(review, IDC_PER_MINUTE));
        if (limits.size() == 1) {
            substitute::Type(review, IDC_MAX_PER_RUN, "1");
            substitute::Type(review, IDC_PER_MINUTE, "7");
            substitute::ChooseItem(review, IDC_SHEET, 2);
        }
    };
    Send([&](HWND review) {
        chooseThenPick(review);
        if (limits.size() == 2)
            substitute::Click(review, IDCANCEL);
    });
    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(limits[1], "1");
    EXPECT_EQ(perMinute[1], "7");
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(JobOptions.MaxPerRun, 0) << "gone back from: nothing kept";
    EXPECT_EQ(JobOptions.PerMinute, 0);

    limits.clear();
    perMinute.clear();
    WorkbookChoice = WorkbookListChoice(); // the first sheet offered again
    Send([&](HWND review) {
        chooseThenPick(review);
        if (limits.size() == 2)
            substitute::Click(review, IDOK);
    });
    EXPECT_EQ(perMinute[0], "0");
    client->RunClockUntilReleased(); // handed over with its release time
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"eva@example.com"});
    EXPECT_EQ(JobOptions.MaxPerRun, 1);
    EXPECT_EQ(JobOptions.PerMinute, 7);
    JobOptions.MaxPerRun = JobOptions.PerMinute = 0;
}

// Several sheets alone are nothing to review: a clean one is skipped when
// the user asked so, the sheet picked before for this list kept.
TEST_F(ReviewDialogTest, AWorkbookOfSeveralSheetsFindingNothingIsSkippedWhenAskedSo) {
    PrepareMailing(1);
    listPath = std::string(QV_TEST_WORKBOOKS) + "people.xlsx";
    WorkbookChoice.path = listPath;
    WorkbookChoice.sheet = 2;
    JobOptions.SkipCleanReview = 1;
    int reviews = 0;
    Send([&](HWND review) {
        ++reviews;
        substitute::Click(review, IDOK);
    });
    EXPECT_EQ(reviews, 0);
    EXPECT_EQ(client->Deliveries().size(), 2u);
}

// A text list has no sheets: both choices stay off and nothing is said.
TEST_F(ReviewDialogTest, ATextListOffersNoSheetNorHiddenRows) {
    PrepareMailing(2);
    std::vector<SheetLook> seen;
    Send([&](HWND review) {
        seen.push_back(LookAtSheets(review));
        substitute::Click(review, IDC_INCLUDE_HIDDEN); // disabled: nothing happens
        substitute::Click(review, IDOK);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].sheets, 0);
    EXPECT_FALSE(seen[0].sheetEnabled || seen[0].hiddenEnabled || seen[0].hiddenTicked);
    EXPECT_EQ(seen[0].findings.find("sheet"), std::string::npos);
    EXPECT_EQ(client->Deliveries().size(), 2u);
}

} // namespace
