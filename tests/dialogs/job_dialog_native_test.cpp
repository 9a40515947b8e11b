// The mailing dialog and its job as one: every question of a job is the
// dialog's, so the dialog takes no click while one is open; a job whose
// dialog has gone sends and writes nothing more; a review that cannot be
// shown is said; and the time the user spends deciding is not the job's.
#include "dialog_native_fixture.h"

#include "data/settings.h"
#include "dialogs/dialog_support.h"
#include "dialogs/main_dialog.h"
#include "dialogs/main_dialog_parts.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace {

const char kContinueQuestion[] = "The last mailing of this list with this subject did not finish";

class JobDialogTest : public DialogTest {
protected:
    // A mailing of `recipients` of which a first run, limited to `first`,
    // sent the first ones: the next Send asks whether to continue.
    void PrepareStoppedMailing(int recipients, int first) {
        PrepareMailing(recipients);
        JobOptions.MaxPerRun = first;
        RunJob();
        ASSERT_EQ(client->Deliveries().size(), static_cast<size_t>(first));
        JobOptions.MaxPerRun = 0;
        TakeJobFinished();
        substitute::ClearMessageBoxes();
        JobOptions.ToList[0] = '\0';
        MailingJob::runState = kJobIdle; // no dialog ended that run
        start = GetTickCount();          // the user's actions count from here
    }

    void SendList() {
        TypeAt(10, IDC_LIST_PATH, listPath);
        ClickAt(20, IDC_SEND_PAUSE);
    }

    std::string History() { return ReadLog(DataPaths.jobHistory); }
};

// Owned by the compose window, the question left the dialog's Cancel and
// close box working under it: the summary showed and the dialog closed while
// the job, once answered, went on to review, log and send.
TEST_F(JobDialogTest, TheQuestionsAreTheDialogsAndItTakesNoClickWhileOneIsOpen) {
    PrepareStoppedMailing(4, 1);
    SendList();
    bool cancelTaken = true, closeTaken = true;
    HWND dialog = nullptr;
    substitute::SetMessageBoxResponder([&](const substitute::MessageBoxCall& box) {
        if (box.text.rfind(kContinueQuestion, 0) != 0)
            return IDOK;
        dialog = box.owner;
        cancelTaken = substitute::Click(box.owner, IDCANCEL);
        // The close box posts the dialog's Cancel: nothing may be queued.
        const size_t pending = substitute::PendingMessages();
        substitute::CloseBox(box.owner);
        closeTaken = substitute::PendingMessages() != pending;
        return IDYES;
    });
    OpenMain();

    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(dialog, composeWindow);
    EXPECT_FALSE(cancelTaken);
    EXPECT_FALSE(closeTaken);
    // Continued to its end, each recipient once, with one summary.
    EXPECT_EQ(client->Deliveries().size(), 4u);
    std::vector<std::string> summaries;
    for (const std::string& text : BoxTexts())
        if (text.rfind("Job ", 0) == 0)
            summaries.push_back(text);
    EXPECT_EQ(summaries, std::vector<std::string>{"Job Completed Successfully\n\nSent: 3"});
}

// The compose window closed while the question is open takes the dialog with
// it: whatever the answer, the job reviews nothing, writes no log and sends
// nothing, and the last mailing's files stay as they were for a later Send.
TEST_F(JobDialogTest, AWindowClosedUnderAQuestionEndsTheJobWithNothingSentOrWritten) {
    PrepareStoppedMailing(4, 1);
    const std::string sentBefore = ReadLog(DataPaths.sentList);
    const std::string historyBefore = History();
    SendList();
    substitute::SetMessageBoxResponder([&](const substitute::MessageBoxCall& box) {
        if (box.text.rfind(kContinueQuestion, 0) == 0) {
            DestroyWindow(composeWindow);
            return IDYES;
        }
        return IDOK;
    });
    int reviews = 0;
    TakeReviews([&](HWND review) {
        ++reviews;
        substitute::Click(review, IDOK);
    });
    OpenMain();

    EXPECT_EQ(reviews, 0);
    EXPECT_EQ(client->Deliveries().size(), 1u);
    EXPECT_EQ(ReadLog(DataPaths.sentList), sentBefore);
    EXPECT_EQ(History(), historyBefore);
    EXPECT_FALSE(MainDialogOpen);
    EXPECT_EQ(MailingJob::runState, kJobIdle);
    composeWindow = nullptr;
}

// A compose window closed while its job sends destroys the mailing dialog:
// the job stops at its next look instead of mailing on without a dialog,
// and no other mailing dialog opens on its state meanwhile. Once it has
// ended, a new dialog starts a job of its own.
TEST_F(JobDialogTest, AJobWhoseDialogIsGoneStopsAndNoOtherDialogSeesIt) {
    INT_PTR second = 99;
    int delivered = 0;
    sim::Config config;
    config.onDelivered = [&](const sim::Delivery&) {
        if (++delivered != 2)
            return;
        DestroyWindow(composeWindow);
        second =
            ShowLibraryDialog(IDD_MAIN, nullptr, MainDialogProc, reinterpret_cast<LPARAM>(context));
    };
    Prepare(6, config);
    SendList();
    OpenMain();

    EXPECT_EQ(second, 0); // refused: one mailing at a time
    EXPECT_THAT(BoxTexts(), ::testing::Contains(HasSubstr("Only one mailing can happen")));
    EXPECT_LE(client->Deliveries().size(), 3u);
    EXPECT_THAT(CurrentLog(), HasSubstr("Job Stopped"));
    EXPECT_EQ(MailingJob::runState, kJobIdle);
    EXPECT_FALSE(MainDialogOpen);
    composeWindow = nullptr;
}

} // namespace
