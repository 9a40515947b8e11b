// The waiting copies of a mailing taken back out of the Outbox, and the
// mailing continued afterwards: exactly the copies taken back are sent, and
// whatever left in between, or a kill in the middle of the withdrawal,
// leaves nobody mailed twice or not at all.
#include "job_native_fixture.h"

#include "data/settings.h"
#include "engine/waiting_copies.h"

#include <map>
#include <set>

namespace {

constexpr unsigned long long kTicksPerDay = 86400ull * 10000000ull;
const char kContinue[] = "The last mailing of this list with this subject did not finish";

std::string Address(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "r%02d@example.com", i);
    return text;
}

class WithdrawTest : public VirtualJobTest {
protected:
    void TearDown() override {
        JobOptions.PerDay = 0;
        VirtualJobTest::TearDown();
    }

    // A mailing of 50 at 10 a day: 10 leave at once, 40 wait.
    void HandOverFifty() {
        JobOptions.PerDay = 10;
        Prepare(50);
        RunJob();
        ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        ASSERT_EQ(client->DeliveredCount(), 10u);
        ASSERT_EQ(client->HeldCount(), 40u);
    }

    // The mailing run again on its message, the continue question answered
    // Yes (and any other Yes/No question No); then the client's clock runs
    // until nothing waits.
    void Continue() {
        boxesBefore = ShownMessageBoxes().size();
        AnswerMessageBoxes([](const ShownMessageBox& box) {
            if (box.text.rfind(kContinue, 0) == 0)
                return IDYES;
            return (box.flags & MB_YESNO) ? IDNO : IDOK;
        });
        RunJob();
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1}) << CurrentLog();
        client->RunClockUntilReleased();
    }

    // The addresses still waiting in the Outbox, submitted.
    std::set<std::string> Waiting() {
        std::set<std::string> out;
        for (const sim::MessageView& m : client->FolderContents(olFolderOutbox))
            if (m.submitted)
                out.insert(m.recipients.at(0).address);
        return out;
    }

    // Each recipient's deliveries, read from the client's sent items.
    std::map<std::string, int> DeliveriesByAddress() {
        std::map<std::string, int> count;
        for (const std::string& to : DeliveredTo())
            ++count[to];
        return count;
    }

    void ExpectEveryoneOnce() {
        const std::map<std::string, int> count = DeliveriesByAddress();
        EXPECT_EQ(count.size(), 50u);
        for (int i = 1; i <= 50; ++i)
            EXPECT_EQ(count.count(Address(i)) ? count.at(Address(i)) : 0, 1) << Address(i);
    }

    size_t LinesStartingWith(const std::string& log, const std::string& prefix) {
        size_t n = 0;
        for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1))
            if (at == 0 || log[at - 1] == '\n')
                ++n;
        return n;
    }

    size_t boxesBefore = 0;
};

TEST_F(WithdrawTest, TheWaitingCopiesAreWithdrawnAndContinuingSendsExactlyThose) {
    HandOverFifty();
    EXPECT_TRUE(LastMailingHasWaitingCopies());
    const WithdrawalReport report = WithdrawWaitingCopies();
    EXPECT_EQ(report.outcome, WithdrawalOutcome::Done);
    EXPECT_EQ(report.withdrawn, 40);
    EXPECT_EQ(report.alreadyLeft + report.kept, 0);
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    EXPECT_EQ(client->HeldCount(), 0u);
    EXPECT_FALSE(LastMailingHasWaitingCopies());

    // One line per copy in both logs: its list line and its address.
    const std::string log = CurrentLog();
    EXPECT_EQ(LinesStartingWith(log, "Withdrawn: line "), 40u);
    EXPECT_NE(log.find("Withdrawn: line 12, To: r11@example.com\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Withdrawn: line 51, To: r50@example.com\r\n"), std::string::npos);
    EXPECT_EQ(log.find("To: r10@example.com\r\nWithdrawn"), std::string::npos);
    EXPECT_EQ(LinesStartingWith(ReadLog(DataPaths.jobHistory), "Withdrawn: line "), 40u);

    // Nothing withdrawn leaves, however long the client waits.
    client->RunClockUntilReleased();
    EXPECT_EQ(client->DeliveredCount(), 10u);

    Continue();
    const std::vector<ShownMessageBox> shown = ShownMessageBoxes();
    ASSERT_GT(shown.size(), boxesBefore);
    EXPECT_NE(shown[boxesBefore].text.find("10 of its recipients were sent, 40 are left."),
              std::string::npos)
        << shown[boxesBefore].text;
    ExpectEveryoneOnce();
    EXPECT_EQ(client->DeliveredCount(), 50u);

    // A second withdrawal finds nothing, and a further continue sends nobody.
    EXPECT_EQ(WithdrawWaitingCopies().outcome, WithdrawalOutcome::NoneWaiting);
}

// The clock runs forward a day: ten more copies leave; the rest are
// withdrawn, and continuing sends only those.
TEST_F(WithdrawTest, CopiesThatLeftMeanwhileStaySentAndOnlyTheRestAreSentAgain) {
    HandOverFifty();
    client->AdvanceClientClock(kTicksPerDay + 60ull * 10000000ull);
    client->RunSpooler();
    ASSERT_EQ(client->DeliveredCount(), 20u);
    // One more leaves between the look at the Outbox and its withdrawal:
    // the client answers that it is no longer queued.
    client->FailCall("Store.AbortSubmit", 3, MAPI_E_NOT_IN_QUEUE);
    const WithdrawalReport report = WithdrawWaitingCopies();
    EXPECT_EQ(report.outcome, WithdrawalOutcome::Done);
    EXPECT_EQ(report.withdrawn, 29);
    EXPECT_EQ(report.alreadyLeft, 1);
    EXPECT_EQ(Waiting().size(), 1u) << "the one the client kept still waits";
    EXPECT_EQ(LinesStartingWith(CurrentLog(), "Not withdrawn: line "), 1u);
    EXPECT_NE(CurrentLog().find(". It had already left\r\n"), std::string::npos);

    Continue();
    ExpectEveryoneOnce();
}

// A kill in the middle: after the mark and before the client was asked
// (the copy still waits), or after the copy was taken out of the queue and
// before it was deleted (it stands unsubmitted in the Outbox). Continuing
// looks the one copy up, sends what was withdrawn, and nobody gets two.
TEST_F(WithdrawTest, AKillInTheMiddleOfAWithdrawalLosesAndDoublesNobody) {
    for (const bool beforeTheAbort : {true, false}) {
        SCOPED_TRACE(beforeTheAbort ? "killed before the abort" : "killed before the delete");
        HandOverFifty();
        // The client refuses from the 15th copy on, so that the Outbox
        // stands as the kill left it: 14 withdrawn, the rest waiting.
        if (beforeTheAbort)
            client->FailCall("Store.AbortSubmit", 15, MAPI_E_UNABLE_TO_ABORT, 26);
        else
            client->FailCall("MailItem.Delete", 15, E_FAIL);
        const WithdrawalReport report = WithdrawWaitingCopies();
        if (beforeTheAbort) {
            // The job state file as the kill left it: its last line the mark
            // of the copy under way (the rest of the withdrawal never ran).
            std::string state = ReadLog(DataPaths.jobState);
            const size_t mark = state.find("Not withdrawn ");
            ASSERT_NE(mark, std::string::npos);
            state.erase(mark);
            WriteFileBytes(DataPaths.jobState, state);
            EXPECT_EQ(Waiting().size(), 26u); // the 15th and the 25 after it
        } else {
            EXPECT_EQ(report.outcome, WithdrawalOutcome::DeleteRefused);
            EXPECT_EQ(report.withdrawn, 14);
            EXPECT_STREQ(report.stoppedAddress, "r25@example.com");
            EXPECT_EQ(Waiting().size(), 25u);
            EXPECT_EQ(client->FolderContents(olFolderOutbox).size(), 26u);
        }
        Continue();
        ExpectEveryoneOnce();
        EXPECT_NE(CurrentLog().find(beforeTheAbort
                                        ? "In doubt: line 26, To: r25@example.com. Found in "
                                          "Outbox: counted as sent"
                                        : "A copy never submitted was deleted from the Outbox"),
                  std::string::npos)
            << CurrentLog();
        EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
        CloseClient();
        // The next mailing a day after the last copy left (the client ran
        // its clock on to the fifth day), when the account's day is free
        // again.
        Sleep(6u * 86400u * 1000u);
    }
}

// Copies taken back never leave, so they no longer hold the account's day:
// another mailing sent after the withdrawal follows only the ten that left.
TEST_F(WithdrawTest, CopiesTakenBackDoNotHoldBackTheNextMailing) {
    HandOverFifty();
    SYSTEMTIME handedOver;
    GetLocalTime(&handedOver);
    FILETIME at;
    SystemTimeToFileTime(&handedOver, &at);
    const unsigned long long now =
        (static_cast<unsigned long long>(at.dwHighDateTime) << 32) | at.dwLowDateTime;
    ASSERT_EQ(WithdrawWaitingCopies().withdrawn, 40);

    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\nCee,cee@example.com\r\n", "b.csv");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    const std::vector<sim::MessageView> waiting = client->FolderContents(olFolderOutbox);
    ASSERT_EQ(waiting.size(), 2u) << "the day's ten left already";
    for (const sim::MessageView& m : waiting)
        EXPECT_LE(m.releaseTime, now + kTicksPerDay + 60ull * 10000000ull)
            << "a day after the first ten, not after the forty taken back";
}

// Nothing to withdraw is said as such, and no mailing state is touched.
TEST_F(WithdrawTest, WithoutAWaitingCopyOrAReachableOutboxNothingIsWithdrawn) {
    Prepare(3);
    EXPECT_EQ(WithdrawWaitingCopies().outcome, WithdrawalOutcome::NoMailing);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_FALSE(LastMailingHasWaitingCopies());
    EXPECT_EQ(WithdrawWaitingCopies().outcome, WithdrawalOutcome::NoneWaiting);

    JobOptions.PerDay = 1;
    RunJob(); // sent again to all three (the question answered No: start over)
    TakeJobFinished();
    const std::string state = ReadLog(DataPaths.jobState);
    client->FailCall("Items.Count", 1, E_FAIL);
    EXPECT_EQ(WithdrawWaitingCopies().outcome, WithdrawalOutcome::NoOutbox);
    EXPECT_EQ(ReadLog(DataPaths.jobState), state);
}

} // namespace
