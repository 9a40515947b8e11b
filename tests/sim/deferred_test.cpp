// Deferred delivery: a message submitted with a release time waits in the
// Outbox until the client's clock reaches it, on disk too, and leaves dated
// by it; the property's type is the one the store takes.
#include "sim_test.h"

using namespace simtest;

namespace {

constexpr unsigned long long kMinute = 60ull * 10000000ull;

FILETIME AsFileTime(unsigned long long ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

SYSTEMTIME AsSystemTime(unsigned long long ticks) {
    const FILETIME ft = AsFileTime(ticks);
    SYSTEMTIME t{};
    EXPECT_TRUE(FileTimeToSystemTime(&ft, &t));
    return t;
}

class DeferredTest : public SimTest {
protected:
    // A message to `to`, released at `release` (0: none), submitted.
    void Submit(const std::string& subject, unsigned long long release,
                const std::string& to = "ann@example.com") {
        sim::Draft draft;
        draft.subject = subject;
        draft.body = "Body";
        draft.recipients = {sim::Recipient{to}};
        Ptr<IDispatch> inspector = client->OpenCompose(draft);
        Ptr<IDispatch> item = client->CurrentItem(inspector.Get());
        Result r;
        Get(item.Get(), "MAPIOBJECT", &r.v);
        Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
        ASSERT_TRUE(message);
        if (release) {
            SPropValue v{};
            v.ulPropTag = PR_DEFERRED_DELIVERY_TIME;
            v.Value.ft = AsFileTime(release);
            LPSPropProblemArray problems = nullptr;
            ASSERT_EQ(message->SetProps(1, &v, &problems), S_OK);
            EXPECT_EQ(problems, nullptr);
            MAPIFreeBuffer(problems);
        }
        ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
        client->CloseInspector(inspector.Get(), 1); // olDiscard
    }
};

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

TEST_F(DeferredTest, HeldUntilTheClockReachesItsTimeThenDatedByIt) {
    auto& c = Start();
    const unsigned long long now = c.ClientClock();
    Submit("Later", now + 90 * kMinute);
    Submit("Soon", now + 5 * kMinute);
    Submit("Gone by", now - 3 * kMinute);
    Submit("Now", 0);
    EXPECT_EQ(c.QueuedCount(), 4u);
    EXPECT_EQ(c.HeldCount(), 2u);

    c.RunSpooler(); // a time gone by is sent at once
    ASSERT_EQ(c.DeliveredCount(), 2u);
    EXPECT_EQ(c.Deliveries()[0].subject, "Gone by");
    EXPECT_EQ(c.Deliveries()[1].subject, "Now");
    EXPECT_EQ(c.FolderContents(olFolderOutbox).size(), 2u);
    EXPECT_EQ(c.FolderContents(olFolderOutbox)[0].releaseTime, now + 90 * kMinute);

    c.AdvanceClientClock(4 * kMinute);
    c.RunSpooler();
    EXPECT_EQ(c.DeliveredCount(), 2u) << "a minute early";

    EXPECT_EQ(c.RunClockUntilReleased(), 2u);
    EXPECT_EQ(c.HeldCount(), 0u);
    EXPECT_EQ(c.QueuedCount(), 0u);
    ASSERT_EQ(c.DeliveredCount(), 4u);
    EXPECT_EQ(c.Deliveries()[2].subject, "Soon");
    EXPECT_TRUE(SameSecond(c.Deliveries()[2].date, AsSystemTime(now + 5 * kMinute)));
    EXPECT_EQ(c.Deliveries()[3].subject, "Later");
    EXPECT_TRUE(SameSecond(c.Deliveries()[3].date, AsSystemTime(now + 90 * kMinute)));
    // Run forward to the last release; under Windows the client's clock is
    // the system's, moved on, so the test's own time is on it too.
    EXPECT_GE(c.ClientClock(), now + 90 * kMinute);
    EXPECT_LT(c.ClientClock(), now + 90 * kMinute + kMinute / 2);
}

TEST_F(DeferredTest, TheReleaseTimeIsASystemTimeOrRefused) {
    auto& c = Start();
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Ptr<IDispatch> inspector = c.OpenCompose(draft);
    Result r;
    Get(c.CurrentItem(inspector.Get()).Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    SPropValue v{};
    v.ulPropTag = PROP_TAG(PT_LONG, PROP_ID(PR_DEFERRED_DELIVERY_TIME));
    v.Value.l = 12345;
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(message->SetProps(1, &v, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    ASSERT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_INVALID_TYPE);
    MAPIFreeBuffer(problems);
    ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    EXPECT_EQ(c.HeldCount(), 0u) << "nothing held by a value refused";
    c.CloseInspector(inspector.Get(), 1);
}

// Held messages are in the Outbox's journal like any submitted one: a
// client killed while they wait has them again, still waiting.
TEST_F(DeferredTest, HeldMessagesOutliveAKilledClient) {
    config.storeFolder = MailFolder();
    auto& first = Start();
    const unsigned long long now = first.ClientClock();
    Submit("Tomorrow", now + 24ull * 60 * kMinute, "bob@example.com");
    Submit("At once", 0);
    first.RunSpooler();
    EXPECT_EQ(first.DeliveredCount(), 1u);

    client.reset(); // killed: nothing more is written
    auto& second = Start();
    EXPECT_EQ(second.HeldCount(), 1u);
    second.RunSpooler();
    EXPECT_EQ(second.DeliveredCount(), 0u);
    EXPECT_EQ(second.RunClockUntilReleased(), 1u);
    ASSERT_EQ(second.Deliveries().size(), 1u);
    EXPECT_EQ(second.Deliveries()[0].subject, "Tomorrow");
    EXPECT_TRUE(SameSecond(second.Deliveries()[0].date, AsSystemTime(now + 24ull * 60 * kMinute)));
}

} // namespace
