// Copies handed over with their release times: the whole mailing's times
// against the limits, the start, working days; what waits and what the
// client does with it; a copy that cannot be given its time is not sent.
#include "job_native_fixture.h"

#include "data/send_schedule.h"
#include "data/settings.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr unsigned long long kTicksPerSecond = 10000000ull;
constexpr long long kDay = 86400;

class ReleaseJobTest : public VirtualJobTest {
protected:
    void TearDown() override {
        JobOptions.StartLater = 0;
        JobOptions.StartAt[0] = '\0';
        JobOptions.PerMinute = 0;
        JobOptions.PerDay = 0;
        JobOptions.WorkingDaysOnly = 0;
        VirtualJobTest::TearDown();
    }
    // A mailing of `recipients` at 2 a minute and 5 a day, run once; the
    // local time it started, in seconds.
    long long RunAtTwoAMinuteFiveADay(int recipients);
    // The release times of what waits in the Outbox, in seconds, sorted.
    std::vector<long long> WaitingTimes() {
        std::vector<long long> times;
        for (const sim::MessageView& m : client->FolderContents(olFolderOutbox))
            times.push_back(static_cast<long long>(m.releaseTime / kTicksPerSecond));
        std::sort(times.begin(), times.end());
        return times;
    }
};

long long SecondsOf(const SYSTEMTIME& t) {
    FILETIME ft;
    EXPECT_TRUE(SystemTimeToFileTime(&t, &ft));
    return static_cast<long long>(
        ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) /
        kTicksPerSecond);
}

long long ReleaseJobTest::RunAtTwoAMinuteFiveADay(int recipients) {
    JobOptions.PerMinute = 2;
    JobOptions.PerDay = 5;
    Prepare(recipients);
    SYSTEMTIME started;
    GetLocalTime(&started);
    RunJob();
    return SecondsOf(started);
}

// Every calendar minute and every rolling 24 hours within the limits.
void ExpectWithinLimits(const std::vector<long long>& times, int perMinute, int perDay) {
    std::map<long long, int> minutes;
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_LE(++minutes[times[i] / 60], perMinute) << "copy " << i;
        const size_t d = static_cast<size_t>(perDay);
        if (i >= d) {
            EXPECT_GE(times[i] - times[i - d], kDay) << "copy " << i;
        }
    }
}

TEST_F(ReleaseJobTest, EveryCopyWaitsForItsTimeWithinBothLimits) {
    const long long now = RunAtTwoAMinuteFiveADay(12);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(MailingJob::sentCount, 12) << "a waiting copy is handed over";

    // The two of the first minute go at once; the other ten wait.
    EXPECT_EQ(client->DeliveredCount(), 2u);
    EXPECT_EQ(client->HeldCount(), 10u);
    EXPECT_EQ(MailingJob::waitingCount, 10);
    std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 10u);
    times.insert(times.begin(), {now, now});
    ExpectWithinLimits(times, 2, 5);
    EXPECT_EQ(times[2], now - 26 + 60);   // the third at the next minute
    EXPECT_EQ(times[5], now + kDay);      // the sixth a day after the first
    EXPECT_EQ(times[11], now + 2 * kDay); // 5, 5 and 2
    EXPECT_TRUE(LogHas("# 3, To: r03@example.com. Sent Successfully\r\n"
                       "    Waiting until 2007-12-05 04:04:00\r\n"));
    EXPECT_FALSE(LogHas("# 2, To: r02@example.com. Sent Successfully\r\n    Waiting"));
    EXPECT_TRUE(LogHas("10 messages wait in the Outbox for their time: the mailing's copies "
                       "leave from 2007-12-05 04:03:26 to 2007-12-07 04:03:26."));
    EXPECT_STREQ(MailingJob::lastRelease, "2007-12-07 04:03:26");

    EXPECT_EQ(client->RunClockUntilReleased(), 10u);
    ASSERT_EQ(client->Deliveries().size(), 12u);
    std::vector<long long> dates;
    for (const sim::Delivery& d : client->Deliveries())
        dates.push_back(SecondsOf(d.date));
    EXPECT_EQ(dates, times) << "each leaves dated by its release time";
    EXPECT_EQ(DeliveredTo().size(), 12u);
}

// A start on a Saturday waits for Monday; the options' start is the user's
// local time.
TEST_F(ReleaseJobTest, AStartLaterOnAWeekendWaitsForMonday) {
    JobOptions.StartLater = 1;
    std::strcpy(JobOptions.StartAt, "2007-12-08 10:00");
    JobOptions.WorkingDaysOnly = 1;
    JobOptions.PerMinute = 30;
    Prepare(40);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->DeliveredCount(), 0u);
    const std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 40u);
    ScheduleSeconds monday = 0;
    ASSERT_TRUE(ParseStartAt("2007-12-10 00:00", &monday));
    EXPECT_EQ(times.front(), monday);
    EXPECT_EQ(times[29], monday);
    EXPECT_EQ(times[30], monday + 60);
    EXPECT_TRUE(LogHas("40 messages wait in the Outbox"));
}

// Central European time: UTC+1, UTC+2 from the last Sunday of March to the
// last Sunday of October, as Windows keeps the zone.
TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.DaylightDate = SYSTEMTIME{0, 3, 0, 5, 2, 0, 0, 0};
    zone.StandardDate = SYSTEMTIME{0, 10, 0, 5, 3, 0, 0, 0};
    return zone;
}

long long UtcSecondsOfLocal(const char* local, const TIME_ZONE_INFORMATION& zone) {
    ScheduleSeconds t = 0;
    EXPECT_TRUE(ParseStartAt(local, &t));
    SYSTEMTIME clock, universal;
    const unsigned long long ticks = static_cast<unsigned long long>(t) * kTicksPerSecond;
    const FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(FileTimeToSystemTime(&ft, &clock));
    EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(&zone, &clock, &universal));
    return SecondsOf(universal);
}

// Set up in winter to start after the clocks go forward: the copies leave at
// the time the user wrote on the summer clock, not an hour late; a day's
// limit counts real hours across the night the clock skips one.
TEST_F(ReleaseJobTest, ADaylightSavingChangeMovesNoCopyAndNoLimit) {
    const TIME_ZONE_INFORMATION zone = CentralEurope();
    substitute::SetTimeZone(zone);
    substitute::SetLocalTimeBase(SYSTEMTIME{2027, 3, 6, 20, 10, 0, 0, 0}); // 09:00 UTC
    JobOptions.StartLater = 1;
    std::strcpy(JobOptions.StartAt, "2027-04-05 09:00");
    Prepare(1);
    RunJob();
    std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(times[0], UtcSecondsOfLocal("2027-04-05 07:00", TIME_ZONE_INFORMATION{}))
        << "09:00 summer time is 07:00 UTC";

    substitute::SetTimeZone(TIME_ZONE_INFORMATION{});
}

TEST_F(ReleaseJobTest, ADaysLimitCountsRealHoursAcrossTheNightTheClockSkipsOne) {
    // One a day from the Saturday before the change: the second copy waits
    // 24 real hours, which the clock shows as 11:00 on the Sunday.
    const TIME_ZONE_INFORMATION zone = CentralEurope();
    substitute::SetTimeZone(zone);
    substitute::SetLocalTimeBase(SYSTEMTIME{2027, 3, 6, 20, 10, 0, 0, 0});
    JobOptions.StartLater = 1;
    std::strcpy(JobOptions.StartAt, "2027-03-27 10:00");
    JobOptions.PerDay = 1;
    Prepare(3);
    RunJob();
    const std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(times[0], UtcSecondsOfLocal("2027-03-27 10:00", zone));
    EXPECT_EQ(times[1] - times[0], kDay) << "23 real hours apart is two in one rolling day";
    EXPECT_EQ(times[2] - times[1], kDay);
    substitute::SetTimeZone(TIME_ZONE_INFORMATION{});
}

// A mailing stopped by its run limit while its copies wait, continued at
// once: the copies of the continued run follow the waiting ones, and the
// mailing as a whole keeps both limits, the copies the first run handed
// over counted in them.
TEST_F(ReleaseJobTest, AContinuedRunKeepsTheLimitsWithTheCopiesAnEarlierRunHandedOver) {
    JobOptions.MaxPerRun = 4;
    const long long now = RunAtTwoAMinuteFiveADay(12);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(client->DeliveredCount(), 2u);
    EXPECT_EQ(client->HeldCount(), 2u);

    JobOptions.MaxPerRun = 0;
    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind("The last mailing of this list", 0) == 0 ? IDYES : IDOK;
    });
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->DeliveredCount(), 2u) << "the first minute had its two already";
    std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 10u);
    times.insert(times.begin(), {now, now});
    ExpectWithinLimits(times, 2, 5);
    EXPECT_EQ(times[11], now + 2 * kDay);
    client->RunClockUntilReleased();
    std::vector<std::string> to = DeliveredTo();
    std::sort(to.begin(), to.end());
    EXPECT_EQ(std::unique(to.begin(), to.end()) - to.begin(), 12);
}

// Copies of one mailing wait; another mailing sent meanwhile from the same
// account follows them within the same limits (the review is told of them
// too).
TEST_F(ReleaseJobTest, AnotherMailingSentMeanwhileFollowsTheCopiesThatWait) {
    const long long now = RunAtTwoAMinuteFiveADay(6);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->DeliveredCount(), 2u);

    static std::vector<size_t> handedOver;
    handedOver.clear();
    review = [](HWND, ReviewSession* session) {
        handedOver.push_back(session->HandedOver().size());
        return ReviewAnswer::Start;
    };
    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\nCee,cee@example.com\r\n", "b.csv");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(handedOver, std::vector<size_t>{6}) << "the first mailing's six copies";
    EXPECT_EQ(client->DeliveredCount(), 2u) << "the first minute had its two already";
    std::vector<long long> times = WaitingTimes();
    ASSERT_EQ(times.size(), 6u);
    times.insert(times.begin(), {now, now});
    ExpectWithinLimits(times, 2, 5);
    client->RunClockUntilReleased();
    EXPECT_EQ(DeliveredTo().size(), 8u);
}

// The user's test copy goes at once, whatever the mailing's pace; a start
// gone by is now.
TEST_F(ReleaseJobTest, WithoutLimitsOrWithAStartGoneByNothingWaits) {
    JobOptions.StartLater = 1;
    std::strcpy(JobOptions.StartAt, "2007-12-01 08:00");
    Prepare(3);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(client->HeldCount(), 0u);
    client->RunSpooler();
    EXPECT_EQ(client->DeliveredCount(), 3u);
    EXPECT_EQ(MailingJob::waitingCount, 0);
    EXPECT_FALSE(LogHas("Waiting until"));
}

// A client that refuses the release time: the copy is deleted, not sent
// early, and the job stops with that recipient in doubt no longer (nothing
// was submitted for it).
TEST_F(ReleaseJobTest, ACopyThatCannotBeGivenItsTimeIsNotSent) {
    JobOptions.PerDay = 1;
    Prepare(3);
    client->FailCall("Message.SetProps", 7, MAPI_E_NO_ACCESS);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::sentCount, 1);
    EXPECT_TRUE(LogHas("Failed to set the release time of the message to: r02@example.com"))
        << CurrentLog();
    EXPECT_EQ(client->FolderContents(olFolderOutbox).size(), 0u);
    client->RunClockUntilReleased();
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r01@example.com"}) << CurrentLog();
}

} // namespace
