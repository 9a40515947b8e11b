// Release times of whole mailings checked against the limits they were
// computed for: every calendar minute, every rolling 24 hours, the start,
// working days.
#include "data/send_schedule.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr ScheduleSeconds kDay = 86400;

// Seconds since 1601-01-01 of a civil date and time.
ScheduleSeconds At(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0) {
    y -= m <= 2;
    const long long era = y / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days1970 = era * 146097 + static_cast<long long>(doe) - 719468;
    const long long days1601 = days1970 + 134774;
    return days1601 * kDay + hour * 3600LL + minute * 60LL + second;
}

// What is wrong with a schedule, or "" when it keeps every limit.
std::string Faults(const std::vector<ScheduleSeconds>& times, const SendLimits& limits,
                   ScheduleSeconds start) {
    std::map<long long, int> perMinute;
    for (size_t i = 0; i < times.size(); ++i) {
        const ScheduleSeconds t = times[i];
        if (t < start)
            return "copy " + std::to_string(i) + " before the start";
        if (i > 0 && t < times[i - 1])
            return "copy " + std::to_string(i) + " before the one ahead of it";
        const int day = ScheduleWeekday(t);
        if (limits.workingDaysOnly && (day == 0 || day == 6))
            return "copy " + std::to_string(i) + " on a weekend";
        if (limits.perMinute > 0 && ++perMinute[t / 60] > limits.perMinute)
            return "minute of copy " + std::to_string(i) + " over the limit";
        // Sorted: a 24-hour window holds more than D copies exactly when
        // some copy and the D-th after it are less than a day apart.
        const size_t d = static_cast<size_t>(limits.perDay);
        if (limits.perDay > 0 && i >= d && t - times[i - d] < kDay)
            return "24 hours ending at copy " + std::to_string(i) + " over the limit";
    }
    return "";
}

struct BusiestCounts {
    int minute = 0;
    int day = 0;
};

BusiestCounts Busiest(const std::vector<ScheduleSeconds>& times) {
    BusiestCounts b;
    std::map<long long, int> minutes;
    size_t from = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        if (++minutes[times[i] / 60] > b.minute)
            b.minute = minutes[times[i] / 60];
        while (times[i] - times[from] >= kDay)
            ++from;
        if (static_cast<int>(i - from + 1) > b.day)
            b.day = static_cast<int>(i - from + 1);
    }
    return b;
}

TEST(SendSchedule, WeekdaysOfKnownDates) {
    EXPECT_EQ(ScheduleWeekday(At(1601, 1, 1)), 1); // a Monday
    EXPECT_EQ(ScheduleWeekday(At(2026, 12, 9, 23, 59, 59)), 3);
    EXPECT_EQ(ScheduleWeekday(At(2026, 12, 12)), 6);
    EXPECT_EQ(ScheduleWeekday(At(2026, 12, 13, 12)), 0);
}

// The providers' limits, over mailings long enough to fill several days,
// each kept and each reached: the schedule is as fast as the limits allow.
TEST(SendSchedule, ProviderLimitsKeptAndFilled) {
    const ScheduleSeconds now = At(2026, 12, 9, 9, 30, 15);
    for (size_t p = 0; p < kProviderLimitCount; ++p) {
        const ProviderLimits& provider = kProviderLimits[p];
        const SendLimits limits{provider.perMinute, provider.perDay, false};
        const int count = provider.perDay > 0 ? provider.perDay * 2 + 7 : 2500;
        const auto times = ComputeSendSchedule(limits, now, now, count);
        ASSERT_EQ(times.size(), static_cast<size_t>(count));
        EXPECT_EQ(Faults(times, limits, now), "") << provider.name;
        EXPECT_EQ(times.front(), now) << provider.name;
        const BusiestCounts busiest = Busiest(times);
        if (provider.perMinute > 0) {
            EXPECT_EQ(busiest.minute, provider.perMinute) << provider.name;
        }
        if (provider.perDay > 0) {
            EXPECT_EQ(busiest.day, provider.perDay) << provider.name;
            // The day's first copies go in the first minutes, the next
            // day's exactly a day after them.
            EXPECT_EQ(times[static_cast<size_t>(provider.perDay)], times[0] + kDay);
        } else {
            EXPECT_EQ(times.back(), now) << provider.name; // no limit: all at once
        }
    }
}

TEST(SendSchedule, ExchangeOnlineSpreadsByTheMinute) {
    const ScheduleSeconds now = At(2026, 12, 9, 10, 0, 40);
    const SendLimits limits{30, 10000, false};
    const auto times = ComputeSendSchedule(limits, now, now, 10000);
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times[29], now);                    // 30 in the start's minute
    EXPECT_EQ(times[30], At(2026, 12, 9, 10, 1)); // the 31st at the next minute
    // 10,000 at 30 a minute: 334 minutes, the last one's first second.
    EXPECT_EQ(times.back(), At(2026, 12, 9, 10, 0) + 333LL * 60);
}

TEST(SendSchedule, StartLaterOrInThePast) {
    const ScheduleSeconds now = At(2026, 12, 9, 10);
    const SendLimits limits{2, 5, false};
    const ScheduleSeconds later = At(2026, 12, 10, 8, 15, 30);
    auto times = ComputeSendSchedule(limits, later, now, 12);
    EXPECT_EQ(Faults(times, limits, later), "");
    EXPECT_EQ(times.front(), later);
    const ScheduleSeconds past = At(2026, 12, 1, 8);
    times = ComputeSendSchedule(limits, past, now, 12);
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times.front(), now) << "a start gone by is now";
}

TEST(SendSchedule, LimitsOfOne) {
    const ScheduleSeconds now = At(2026, 12, 9, 10, 0, 59);
    SendLimits limits{1, 0, false};
    auto times = ComputeSendSchedule(limits, now, now, 4);
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times[1], At(2026, 12, 9, 10, 1));
    EXPECT_EQ(times[3], At(2026, 12, 9, 10, 3));
    limits = SendLimits{1, 1, false};
    times = ComputeSendSchedule(limits, now, now, 4);
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times[3], now + 3 * kDay);
    limits = SendLimits{0, 1, true};
    times = ComputeSendSchedule(limits, now, now, 6); // Wednesday on
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times[2], now + 2 * kDay);   // Friday
    EXPECT_EQ(times[3], At(2026, 12, 14)); // the weekend passed over, from midnight
    EXPECT_EQ(times[4], At(2026, 12, 15));
}

// A start on a weekend waits for Monday; a mailing running into a weekend
// goes on on Monday, and the rolling day still counts the Friday's copies.
TEST(SendSchedule, WorkingDaysCrossWeekends) {
    const SendLimits limits{30, 300, true};
    const ScheduleSeconds saturday = At(2026, 12, 12, 14, 5);
    auto times = ComputeSendSchedule(limits, saturday, saturday, 50);
    EXPECT_EQ(Faults(times, limits, saturday), "");
    EXPECT_EQ(times.front(), At(2026, 12, 14));

    const ScheduleSeconds fridayNight = At(2026, 12, 11, 23, 58, 10);
    times = ComputeSendSchedule(limits, fridayNight, fridayNight, 1000);
    EXPECT_EQ(Faults(times, limits, fridayNight), "");
    EXPECT_EQ(times[59], At(2026, 12, 11, 23, 59));
    EXPECT_EQ(times[60], At(2026, 12, 14)) << "the Friday's third minute is a Saturday";
    // The Friday's 60 are more than a day behind Monday's midnight, which
    // carries its 300 as fast as the minute's limit allows.
    EXPECT_EQ(times[60 + 29], At(2026, 12, 14));
    EXPECT_EQ(times[60 + 30], At(2026, 12, 14, 0, 1));
    const BusiestCounts busiest = Busiest(times);
    EXPECT_EQ(busiest.minute, 30);
    EXPECT_EQ(busiest.day, 300);
}

TEST(SendSchedule, NoCopiesAndNegativeLimits) {
    EXPECT_TRUE(ComputeSendSchedule(SendLimits{}, 0, 0, 0).empty());
    const ScheduleSeconds now = At(2026, 12, 9);
    const auto times = ComputeSendSchedule(SendLimits{-3, -1, false}, now, now, 100);
    EXPECT_EQ(times.back(), now) << "a limit below 0 is none";
    SendSchedule schedule(SendLimits{30, 0, false}, now, now);
    for (int i = 0; i < 61; ++i)
        schedule.Next();
    EXPECT_EQ(schedule.Count(), 61);
    EXPECT_EQ(schedule.First(), now);
    EXPECT_EQ(schedule.Last(), now + 120);
}

// Copies handed over one by one, later than their times would be: each is
// given no time before its own hand-over, and the limits hold from there.
TEST(SendSchedule, NoTimeBeforeTheCopysHandOver) {
    const ScheduleSeconds now = At(2026, 12, 9, 10);
    const SendLimits limits{2, 3, false};
    SendSchedule schedule(limits, now, now);
    std::vector<ScheduleSeconds> times;
    for (int i = 0; i < 8; ++i)
        times.push_back(schedule.Next(now + 45LL * i)); // one handed over every 45 s
    EXPECT_EQ(Faults(times, limits, now), "");
    EXPECT_EQ(times[0], now);
    EXPECT_EQ(times[1], now + 45);
    EXPECT_EQ(times[2], now + 90);
    EXPECT_EQ(times[3], now + kDay) << "the day counts the times given, not the hand-overs";
}

TEST(SendSchedule, StartTimesReadAndWritten) {
    ScheduleSeconds t = 0;
    ASSERT_TRUE(ParseStartAt("2026-12-14 08:30", &t));
    EXPECT_EQ(t, At(2026, 12, 14, 8, 30));
    ASSERT_TRUE(ParseStartAt("2028-02-29 23:59:59", &t));
    EXPECT_EQ(t, At(2028, 2, 29, 23, 59, 59));
    char text[20];
    FormatScheduleTime(t, text);
    EXPECT_STREQ(text, "2028-02-29 23:59:59");
    FormatScheduleTime(At(1601, 1, 1), text);
    EXPECT_STREQ(text, "1601-01-01 00:00:00");
    for (const char* bad : {"", "2026-13-01 00:00", "2026-04-31 10:00", "2026-12-14 08:60",
                            "2026-12-14T08:30", " 2026-12-14 08:30", "2026-12-14 08:30:5"})
        EXPECT_FALSE(ParseStartAt(bad, &t)) << bad;
}

} // namespace

// The provider proposed for an account: the address's domain first (an
// Outlook.com mailbox reaches the client as an Exchange account too), then
// the kind; a POP3 or IMAP account of any other domain gets no proposal.
TEST(SendSchedule, TheProviderOfAnAccount) {
    const auto of = [](AccountKind kind, const char* address) {
        const int p = ProviderOfAccount(SendingAccount{kind, address});
        return p < 0 ? std::string("none") : std::string(kProviderLimits[p].name);
    };
    EXPECT_EQ(of(AccountKind::Imap, "ann@gmail.com"), "Gmail");
    EXPECT_EQ(of(AccountKind::Pop3, "Ann@GoogleMail.COM"), "Gmail");
    EXPECT_EQ(of(AccountKind::Exchange, "bo@outlook.com"), "Outlook.com");
    EXPECT_EQ(of(AccountKind::Other, "bo@hotmail.co.uk"), "Outlook.com");
    EXPECT_EQ(of(AccountKind::Imap, "bo@live.fr"), "Outlook.com");
    EXPECT_EQ(of(AccountKind::Imap, "bo@outlook.com.br"), "Outlook.com");
    EXPECT_EQ(of(AccountKind::Exchange, "cy@contoso.com"), "Exchange Online / Microsoft 365");
    EXPECT_EQ(of(AccountKind::Exchange, ""), "Exchange Online / Microsoft 365");
    // A company's own host named like a provider is not the provider.
    EXPECT_EQ(of(AccountKind::Imap, "dee@live.example.com"), "none");
    EXPECT_EQ(of(AccountKind::Imap, "dee@hotmail.company.org"), "none");
    EXPECT_EQ(of(AccountKind::Imap, "dee@notgmail.com"), "none");
    EXPECT_EQ(of(AccountKind::Pop3, "dee@example.com"), "none");
    EXPECT_EQ(of(AccountKind::Unknown, ""), "none");
    EXPECT_EQ(of(AccountKind::Imap, "no-at-sign"), "none");
}

// A clock that goes forward an hour at day 2's 02:00: the day after a copy
// at day 1's 10:00 ends at day 2's 11:00 on it; without the offset, at 10:00.
long long ForwardOnDayTwo(ScheduleSeconds local) {
    return local >= 2LL * 86400 + 2LL * 3600 ? 7200 : 3600;
}

TEST(SendSchedule, ARollingDayIsTwentyFourRealHoursAcrossAClockChange) {
    const SendLimits oneADay{0, 1, false};
    const ScheduleSeconds start = 86400 + 10 * 3600;
    SendSchedule plain(oneADay, start, 0);
    EXPECT_EQ(plain.Next(), start);
    EXPECT_EQ(plain.Next(), start + 86400);
    SendSchedule shifted(oneADay, start, 0);
    shifted.SetClockOffset(&ForwardOnDayTwo);
    EXPECT_EQ(shifted.Next(), start);
    EXPECT_EQ(shifted.Next(), start + 86400 + 3600);
    EXPECT_EQ(shifted.Next(), start + 2LL * 86400 + 3600) << "no change within that day";
}
