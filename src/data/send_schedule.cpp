#include "data/send_schedule.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr ScheduleSeconds kDay = 86400;

// The Monday 00:00 after a Saturday or Sunday time; other days unchanged.
ScheduleSeconds PastWeekend(ScheduleSeconds t) {
    const int day = ScheduleWeekday(t);
    if (day != 0 && day != 6)
        return t;
    const ScheduleSeconds midnight = t - t % kDay;
    return midnight + (day == 6 ? 2 : 1) * kDay;
}

// Days since 1601-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 134774;
}

void CivilFromDays(long long z, int* y, int* m, int* d) {
    z += 719468 - 134774;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

bool ReadDigits(const char*& p, int count, int* value) {
    *value = 0;
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < '0' || *p > '9')
            return false;
        *value = *value * 10 + (*p - '0');
    }
    return true;
}

bool ReadSeparated(const char*& p, char separator, int count, int* value) {
    if (*p++ != separator)
        return false;
    return ReadDigits(p, count, value);
}

} // namespace

ScheduleSeconds ScheduleTimeOf(int year, int month, int day, int hour, int minute, int second) {
    return DaysFromCivil(year, month, day) * kDay + hour * 3600LL + minute * 60LL + second;
}

void FormatScheduleTime(ScheduleSeconds t, char (&text)[20]) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(t / kDay, &y, &m, &d);
    const unsigned s = static_cast<unsigned>(t % kDay);
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                  static_cast<unsigned>(y) % 10000u, static_cast<unsigned>(m) % 100u,
                  static_cast<unsigned>(d) % 100u, s / 3600 % 100u, s / 60 % 60, s % 60);
}

bool ParseStartAt(const char* text, ScheduleSeconds* t) {
    const char* p = text;
    int y = 0, m = 0, d = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(p, 4, &y) || !ReadSeparated(p, '-', 2, &m) || !ReadSeparated(p, '-', 2, &d) ||
        !ReadSeparated(p, ' ', 2, &hour) || !ReadSeparated(p, ':', 2, &minute))
        return false;
    if (*p == ':' && !ReadSeparated(p, ':', 2, &second))
        return false;
    if (*p != '\0' || y < 1601 || m < 1 || m > 12 || d < 1 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    int cy = 0, cm = 0, cd = 0;
    CivilFromDays(DaysFromCivil(y, m, d), &cy, &cm, &cd);
    if (cd != d || cm != m) // 31 April, 29 February of a common year
        return false;
    *t = ScheduleTimeOf(y, m, d, hour, minute, second);
    return true;
}

const ProviderLimits kProviderLimits[] = {
    {"No limit", 0, 0},
    {"Exchange Online / Microsoft 365", 30, 10000},
    {"Outlook.com", 0, 300},
    {"Gmail", 0, 500},
    {"Gmail for business", 0, 2000},
};
const size_t kProviderLimitCount = sizeof kProviderLimits / sizeof kProviderLimits[0];

namespace {

constexpr int kExchangeOnline = 1, kOutlookCom = 2, kGmail = 3;

// The address's domain in lower case, "" when it has none.
std::string DomainOf(const std::string& address) {
    const size_t at = address.rfind('@');
    std::string domain = at == std::string::npos ? "" : address.substr(at + 1);
    for (char& c : domain)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    while (!domain.empty() && (domain.back() == ' ' || domain.back() == '.'))
        domain.pop_back();
    return domain;
}

// "hotmail.co.uk" is a hotmail domain: the label, then a country's or a
// generic ending ("fr", "com", "co.uk", "com.br"), and nothing more, so that
// "live.example.com" is not.
bool FirstLabelIs(const std::string& domain, const char* label) {
    const size_t n = std::strlen(label);
    if (domain.compare(0, n, label) != 0 || domain.size() <= n + 1 || domain[n] != '.')
        return false;
    int labels = 0;
    size_t length = 0;
    for (size_t i = n + 1; i <= domain.size(); ++i) {
        if (i < domain.size() && domain[i] != '.') {
            if (++length > 3)
                return false;
            continue;
        }
        if (length == 0 || ++labels > 2)
            return false;
        length = 0;
    }
    return true;
}

} // namespace

int ProviderOfAccount(const SendingAccount& account) {
    const std::string domain = DomainOf(account.address);
    // Outlook.com's addresses reach the desktop client as Exchange accounts
    // too: the domain says more than the kind.
    if (domain == "gmail.com" || domain == "googlemail.com")
        return kGmail;
    if (domain == "outlook.com" || domain == "msn.com" || FirstLabelIs(domain, "hotmail") ||
        FirstLabelIs(domain, "live") || FirstLabelIs(domain, "outlook"))
        return kOutlookCom;
    if (account.kind == AccountKind::Exchange)
        return kExchangeOnline;
    return -1;
}

int ScheduleWeekday(ScheduleSeconds t) {
    const long long days = t / kDay;
    return static_cast<int>((days + 1) % 7);
}

SendSchedule::SendSchedule(const SendLimits& limits, ScheduleSeconds start, ScheduleSeconds now)
    : limits_(limits), last_(start < now ? now : start) {
    if (limits_.perMinute < 0)
        limits_.perMinute = 0;
    if (limits_.perDay < 0)
        limits_.perDay = 0;
}

// Each rule only moves the time on, so applying them in turn until none
// moves it gives the earliest time that keeps all three.
ScheduleSeconds SendSchedule::Earliest(ScheduleSeconds t) const {
    for (;;) {
        const ScheduleSeconds before = t;
        if (limits_.workingDaysOnly)
            t = PastWeekend(t);
        if (limits_.perDay > 0 && window_.size() == static_cast<size_t>(limits_.perDay)) {
            const ScheduleSeconds oldest = window_[oldest_];
            ScheduleSeconds due = oldest + kDay;
            // The clocks went forward within that day: it ends later on them.
            if (offset_ && offset_(due) > offset_(oldest))
                due += offset_(due) - offset_(oldest);
            if (t < due)
                t = due;
        }
        if (limits_.perMinute > 0 && t / 60 == minute_ && inMinute_ >= limits_.perMinute)
            t = (minute_ + 1) * 60;
        if (t == before)
            return t;
    }
}

void SendSchedule::Hold(ScheduleSeconds t) {
    if (t / 60 != minute_) {
        minute_ = t / 60;
        inMinute_ = 0;
    }
    ++inMinute_;
    if (limits_.perDay > 0) {
        if (window_.size() < static_cast<size_t>(limits_.perDay)) {
            window_.push_back(t);
        } else {
            window_[oldest_] = t;
            oldest_ = (oldest_ + 1) % window_.size();
        }
    }
    if (t > last_)
        last_ = t;
}

ScheduleSeconds SendSchedule::Next(ScheduleSeconds notBefore) {
    const ScheduleSeconds t = Earliest(notBefore > last_ ? notBefore : last_);
    Hold(t);
    if (count_++ == 0)
        first_ = t;
    return t;
}

void SendSchedule::Taken(ScheduleSeconds t) {
    // Only the last day's copies can crowd the ones to come.
    if (t + kDay <= last_)
        return;
    Hold(t);
}

std::vector<ScheduleSeconds> ComputeSendSchedule(const SendLimits& limits, ScheduleSeconds start,
                                                 ScheduleSeconds now, int count) {
    SendSchedule schedule(limits, start, now);
    std::vector<ScheduleSeconds> times;
    times.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int i = 0; i < count; ++i)
        times.push_back(schedule.Next());
    return times;
}
