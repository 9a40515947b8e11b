// When each copy of a mailing is released by the client: the copies are
// handed over at once, each with its release time, spread so that no
// calendar minute and no rolling 24 hours carry more than the account's
// provider takes, and, when asked, on working days (Monday to Friday) only.
// Pure arithmetic on the user's wall-clock time in whole seconds since
// 1601-01-01 (the FILETIME epoch); the door converts to UTC when it sets
// the copy's property.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using ScheduleSeconds = long long;

// A limit of 0 is no limit.
struct SendLimits {
    int perMinute = 0;
    int perDay = 0; // any 24 hours, not the calendar day
    bool workingDaysOnly = false;
};

// The limits of the providers the review offers, first the no-limit one.
struct ProviderLimits {
    const char* name;
    int perMinute;
    int perDay;
};
extern const ProviderLimits kProviderLimits[];
extern const size_t kProviderLimitCount;

// The account the copies leave from, as far as the client tells it. Who
// keeps a copy until its release time depends on its kind: an Exchange
// server holds it; with POP3, IMAP and the rest only the running client does.
enum class AccountKind { Unknown, Exchange, Imap, Pop3, Other };
struct SendingAccount {
    AccountKind kind = AccountKind::Unknown;
    std::string address; // its SMTP address; may be empty
};
// The provider (an index of kProviderLimits) whose limits the account's
// address domain, else its kind, names; -1 when neither does (a POP3 or
// IMAP account of any other domain may be anyone's).
int ProviderOfAccount(const SendingAccount& account);

// The largest limits the options hold.
constexpr int kMaxPerMinute = 9999;
constexpr int kMaxPerDay = 999999;

// A FILETIME's 100-nanosecond count as seconds and back.
constexpr long long kFileTimeTicksPerSecond = 10000000;
// Seconds since 1601-01-01 of a civil date and time, and back as
// "YYYY-MM-DD HH:MM:SS".
ScheduleSeconds ScheduleTimeOf(int year, int month, int day, int hour, int minute, int second);
void FormatScheduleTime(ScheduleSeconds t, char (&text)[20]);
// "YYYY-MM-DD HH:MM" (seconds may follow), a real date from 1601 to 9999;
// false for anything else.
bool ParseStartAt(const char* text, ScheduleSeconds* t);
// Day of the week of a time: 0 Sunday .. 6 Saturday (1601-01-01 was a Monday).
int ScheduleWeekday(ScheduleSeconds t);

// Release times one copy after another, for a mailing whose copies are
// built one at a time: Next() is the earliest time at or after the last one
// that keeps every limit. Holds the last perDay times (the rolling window).
class SendSchedule {
public:
    // `start` before `now` starts now.
    SendSchedule(const SendLimits& limits, ScheduleSeconds start, ScheduleSeconds now);
    // `notBefore`: the copy cannot leave before it is handed over, and a
    // copy that left later than its time would crowd the ones after it.
    ScheduleSeconds Next(ScheduleSeconds notBefore = 0);
    // A copy given its time before this schedule was made (an earlier run
    // of the mailing), counted against the limits of the copies to come;
    // called in the order of the times, before the first Next.
    void Taken(ScheduleSeconds t);
    // How far the user's clock is ahead of UTC at a time of it, in
    // seconds: with it, a rolling day is 24 real hours across a change of
    // the clocks (the night they go forward, 25 on the clock). Without it
    // the clock's hours are taken as real ones.
    using ClockOffset = long long (*)(ScheduleSeconds local);
    void SetClockOffset(ClockOffset offset) { offset_ = offset; }
    int Count() const { return count_; }
    ScheduleSeconds First() const { return first_; }
    ScheduleSeconds Last() const { return last_; }

private:
    ScheduleSeconds Earliest(ScheduleSeconds t) const;
    void Hold(ScheduleSeconds t);

    SendLimits limits_;
    ScheduleSeconds last_;
    ScheduleSeconds first_ = 0;
    int count_ = 0;
    long long minute_ = -1;               // the calendar minute of the last copy
    int inMinute_ = 0;                    // copies in that minute
    std::vector<ScheduleSeconds> window_; // the last perDay times, a ring
    size_t oldest_ = 0;
    ClockOffset offset_ = nullptr;
};

// The whole schedule of `count` copies (the review's figures, the tests).
std::vector<ScheduleSeconds> ComputeSendSchedule(const SendLimits& limits, ScheduleSeconds start,
                                                 ScheduleSeconds now, int count);
