// The waiting copies taken back and the mailing continued, against the
// simulated client's Outbox and queue: natively and under Wine (where the
// store is reached through the real SDK's IMsgStore).
#include "job_fixture.h"

#include "data/settings.h"
#include "engine/waiting_copies.h"

#include <map>

namespace {

class WithdrawAnywhereTest : public JobTest {
protected:
    void TearDown() override {
        JobOptions.PerDay = 0;
        JobTest::TearDown();
    }
};

TEST_F(WithdrawAnywhereTest, WithdrawnCopiesNeverLeaveAndContinuingSendsThemOnce) {
    JobOptions.PerDay = 2;
    Prepare(6);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    // Four wait for another day; on a real clock the first two may wait
    // for the next second too.
    const size_t held = client->HeldCount();
    ASSERT_GE(held, 4u);
    const WithdrawalReport report = WithdrawWaitingCopies();
    EXPECT_EQ(report.outcome, WithdrawalOutcome::Done);
    EXPECT_EQ(report.withdrawn, static_cast<int>(held));
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    client->RunClockUntilReleased();
    EXPECT_EQ(DeliveredTo().size(), 6u - held);

    AnswerMessageBoxes([](const ShownMessageBox& box) {
        if (box.text.rfind("The last mailing of this list with this subject did not finish", 0) ==
            0)
            return IDYES;
        return (box.flags & MB_YESNO) ? IDNO : IDOK;
    });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    client->RunClockUntilReleased();
    std::map<std::string, int> count;
    for (const std::string& to : DeliveredTo())
        ++count[to];
    EXPECT_EQ(count.size(), 6u);
    for (const auto& [to, n] : count)
        EXPECT_EQ(n, 1) << to;
}

} // namespace
