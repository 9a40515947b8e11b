// The virtual clock: GetTickCount, Sleep, GetLocalTime and the scheduled
// actions that stand for a user acting at a given moment.
#include "internal.h"

#include <algorithm>
#include <cstdint>

namespace substitute {
namespace {

struct ScheduledAction {
    DWORD tick;
    unsigned long long order;
    std::function<void()> action;
};

struct ClockState {
    DWORD tick = 1000000;
    ULONGLONG elapsedSinceBase = 0;             // virtual milliseconds since the local-time base
    SYSTEMTIME base{2024, 3, 1, 4, 9, 0, 0, 0}; // local, in `zone`
    TIME_ZONE_INFORMATION zone{};               // all zero: UTC
    std::vector<DWORD> sleeps;
    std::vector<ScheduledAction> scheduled;
    std::vector<std::function<void()>> onPump;
    unsigned long long nextOrder = 0;
    unsigned pumpCount = 0;
    DWORD lastError = 0;
};

ClockState& State() {
    static ClockState state;
    return state;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long* y, unsigned* m, unsigned* d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<long long>(yoe) + era * 400 + (*m <= 2);
}

} // namespace

void SetTickCount(DWORD tick) {
    State().tick = tick;
}

void AdvanceClock(DWORD milliseconds) {
    State().tick += milliseconds; // wraps like the real 32-bit count
    State().elapsedSinceBase += milliseconds;
}

void SetLocalTimeBase(const SYSTEMTIME& time) {
    State().base = time;
    State().elapsedSinceBase = 0;
}

void SetTimeZone(const TIME_ZONE_INFORMATION& zone) {
    State().zone = zone;
}

const std::vector<DWORD>& SleepCalls() {
    return State().sleeps;
}

void At(DWORD tick, std::function<void()> action) {
    ClockState& s = State();
    s.scheduled.push_back({tick, s.nextOrder++, std::move(action)});
}

void OnPump(std::function<void()> action) {
    State().onPump.push_back(std::move(action));
}

unsigned PumpCount() {
    return State().pumpCount;
}

namespace detail {

void ResetClock() {
    State() = ClockState{};
}

// "Due" compares in the wrapping 32-bit space, as a program comparing tick
// counts by difference would.
static bool IsDue(DWORD tick, DWORD now) {
    return static_cast<int32_t>(now - tick) >= 0;
}

void RunPumpActions() {
    ClockState& s = State();
    ++s.pumpCount;
    // Copy: an action may register further actions.
    auto onPump = s.onPump;
    for (auto& action : onPump)
        action();
    for (;;) {
        auto due = s.scheduled.end();
        for (auto it = s.scheduled.begin(); it != s.scheduled.end(); ++it) {
            if (!IsDue(it->tick, s.tick))
                continue;
            if (due == s.scheduled.end() || static_cast<int32_t>(it->tick - due->tick) < 0 ||
                (it->tick == due->tick && it->order < due->order))
                due = it;
        }
        if (due == s.scheduled.end())
            return;
        auto action = std::move(due->action);
        s.scheduled.erase(due);
        action();
    }
}

bool NextScheduledTick(DWORD* tick) {
    ClockState& s = State();
    bool found = false;
    for (const auto& a : s.scheduled) {
        if (!found || static_cast<int32_t>(a.tick - *tick) < 0) {
            *tick = a.tick;
            found = true;
        }
    }
    return found;
}

} // namespace detail
} // namespace substitute

using substitute::State;

DWORD WINAPI GetTickCount() {
    return State().tick;
}

void WINAPI Sleep(DWORD milliseconds) {
    State().sleeps.push_back(milliseconds);
    substitute::AdvanceClock(milliseconds);
}

namespace {

// Days from 1601-01-01 to 1970-01-01.
constexpr long long kFileTimeEpochDays = 134774;
constexpr long long kTicksPerMs = 10000;

// A civil time, given as days since 1970 and milliseconds into the day.
void FillSystemTime(long long days, long long ms, LPSYSTEMTIME time) {
    long long y;
    unsigned m, d;
    substitute::CivilFromDays(days, &y, &m, &d);
    time->wYear = static_cast<WORD>(y);
    time->wMonth = static_cast<WORD>(m);
    time->wDay = static_cast<WORD>(d);
    time->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    time->wHour = static_cast<WORD>(ms / 3600000);
    time->wMinute = static_cast<WORD>(ms / 60000 % 60);
    time->wSecond = static_cast<WORD>(ms / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(ms % 1000);
}

} // namespace

namespace {

constexpr long long kMinute = 60000, kDayMs = 86400000;

// Milliseconds since 1601-01-01 of a civil time, and back.
long long MsOf(const SYSTEMTIME& t) {
    const long long days =
        substitute::DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kFileTimeEpochDays;
    return days * kDayMs + ((t.wHour * 60LL + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

void SystemTimeOfMs(long long ms, LPSYSTEMTIME time) {
    FillSystemTime(ms / kDayMs - kFileTimeEpochDays, ms % kDayMs, time);
}

bool HasDaylightSaving(const TIME_ZONE_INFORMATION& z) {
    return z.DaylightDate.wMonth != 0 && z.StandardDate.wMonth != 0;
}

// The moment a rule of the "day of month" form (wYear 0: the wDay'th
// wDayOfWeek of wMonth, 5 the last) names in `year`, on the clock it is
// read by; a rule with a year names that date.
long long RuleMs(const SYSTEMTIME& rule, long long year) {
    if (rule.wYear != 0)
        return MsOf(rule);
    const long long first = substitute::DaysFromCivil(year, rule.wMonth, 1);
    const long long weekday = ((first % 7) + 11) % 7; // of the 1st (1970-01-01 a Thursday)
    long long day = 1 + (rule.wDayOfWeek - weekday + 7) % 7 + 7LL * (rule.wDay - 1);
    const unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const long long length = lengths[rule.wMonth - 1] + (rule.wMonth == 2 && leap);
    while (day > length)
        day -= 7;
    SYSTEMTIME at{static_cast<WORD>(year),
                  rule.wMonth,
                  0,
                  static_cast<WORD>(day),
                  rule.wHour,
                  rule.wMinute,
                  rule.wSecond,
                  rule.wMilliseconds};
    return MsOf(at);
}

long long YearOf(long long ms) {
    SYSTEMTIME t;
    SystemTimeOfMs(ms, &t);
    return t.wYear;
}

bool Between(long long t, long long start, long long end) {
    // A southern zone's summer spans the new year: its start comes after its end.
    return start <= end ? t >= start && t < end : t >= start || t < end;
}

// UTC minus local time, in minutes, at the UTC moment `utc`. Daylight time
// starts at the DaylightDate on the standard clock and ends at the
// StandardDate on the daylight clock.
long long BiasAtUtc(const TIME_ZONE_INFORMATION& z, long long utc) {
    if (!HasDaylightSaving(z))
        return z.Bias + z.StandardBias;
    const long long year = YearOf(utc - z.Bias * kMinute);
    const long long start = RuleMs(z.DaylightDate, year) + (z.Bias + z.StandardBias) * kMinute;
    const long long end = RuleMs(z.StandardDate, year) + (z.Bias + z.DaylightBias) * kMinute;
    return z.Bias + (Between(utc, start, end) ? z.DaylightBias : z.StandardBias);
}

// The same for a local clock reading; the hour the clock skips counts as
// daylight time, the hour it repeats as daylight time too (its first pass).
long long BiasAtLocal(const TIME_ZONE_INFORMATION& z, long long local) {
    if (!HasDaylightSaving(z))
        return z.Bias + z.StandardBias;
    const long long year = YearOf(local);
    const long long start = RuleMs(z.DaylightDate, year);
    const long long end = RuleMs(z.StandardDate, year);
    return z.Bias + (Between(local, start, end) ? z.DaylightBias : z.StandardBias);
}

long long UtcNowMs() {
    const auto& s = State();
    const long long base = MsOf(s.base);
    return base + BiasAtLocal(s.zone, base) * kMinute + static_cast<long long>(s.elapsedSinceBase);
}

bool ValidMs(const SYSTEMTIME* t, long long* ms) {
    FILETIME ignored;
    if (!t || !SystemTimeToFileTime(t, &ignored))
        return false;
    *ms = MsOf(*t);
    return true;
}

} // namespace

void WINAPI GetSystemTime(LPSYSTEMTIME time) {
    SystemTimeOfMs(UtcNowMs(), time);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    const long long utc = UtcNowMs();
    SystemTimeOfMs(utc - BiasAtUtc(State().zone, utc) * kMinute, time);
}

namespace {
// A time moved by the zone's bias at it: +1 from local to UTC, -1 back.
BOOL ByZone(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* from, LPSYSTEMTIME to,
            int direction) {
    long long at = 0;
    if (!to || !ValidMs(from, &at)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const TIME_ZONE_INFORMATION& z = zone ? *zone : State().zone;
    const long long bias = direction > 0 ? BiasAtLocal(z, at) : BiasAtUtc(z, at);
    SystemTimeOfMs(at + direction * bias * kMinute, to);
    return TRUE;
}
} // namespace

// MSDN, "SystemTimeToTzSpecificLocalTime" and "TzSpecificLocalTimeToSystemTime":
// the zone's rules on the date converted; null for the user's zone.
BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone,
                                            const SYSTEMTIME* universal, LPSYSTEMTIME local) {
    return ByZone(zone, universal, local, -1);
}

BOOL WINAPI TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone,
                                            const SYSTEMTIME* local, LPSYSTEMTIME universal) {
    return ByZone(zone, local, universal, +1);
}

void WINAPI GetSystemTimeAsFileTime(FILETIME* time) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    SystemTimeToFileTime(&now, time);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* t, FILETIME* fileTime) {
    if (!t || !fileTime || t->wMonth < 1 || t->wMonth > 12 || t->wDay < 1 || t->wDay > 31 ||
        t->wHour > 23 || t->wMinute > 59 || t->wSecond > 59 || t->wMilliseconds > 999 ||
        t->wYear < 1601 || t->wYear > 30827) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const long long days =
        substitute::DaysFromCivil(t->wYear, t->wMonth, t->wDay) + kFileTimeEpochDays;
    const long long ms = ((days * 24 + t->wHour) * 60 + t->wMinute) * 60000LL +
                         t->wSecond * 1000LL + t->wMilliseconds;
    const unsigned long long ticks = static_cast<unsigned long long>(ms) * kTicksPerMs;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const unsigned long long ticks =
        (static_cast<unsigned long long>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    const long long ms = static_cast<long long>(ticks / kTicksPerMs);
    FillSystemTime(ms / 86400000 - kFileTimeEpochDays, ms % 86400000, systemTime);
    return TRUE;
}

// MSDN, "LocalFileTimeToFileTime": it "uses the current settings for the
// time zone and daylight saving time", whatever the date converted.
namespace {
BOOL ShiftFileTime(const FILETIME* from, FILETIME* to, long long minutes) {
    if (!from || !to)
        return FALSE;
    const long long ticks = static_cast<long long>(
        (static_cast<unsigned long long>(from->dwHighDateTime) << 32) | from->dwLowDateTime);
    const unsigned long long shifted =
        static_cast<unsigned long long>(ticks + minutes * kMinute * kTicksPerMs);
    to->dwLowDateTime = static_cast<DWORD>(shifted);
    to->dwHighDateTime = static_cast<DWORD>(shifted >> 32);
    return TRUE;
}
} // namespace

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* utcTime) {
    return ShiftFileTime(localTime, utcTime, BiasAtUtc(State().zone, UtcNowMs()));
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* utcTime, FILETIME* localTime) {
    return ShiftFileTime(utcTime, localTime, -BiasAtUtc(State().zone, UtcNowMs()));
}

DWORD WINAPI GetLastError() {
    return State().lastError;
}
void WINAPI SetLastError(DWORD error) {
    State().lastError = error;
}
