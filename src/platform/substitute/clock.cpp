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
    ULONGLONG elapsedSinceBase = 0; // virtual milliseconds since the local-time base
    SYSTEMTIME base{2024, 3, 1, 4, 9, 0, 0, 0};
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

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    const auto& s = State();
    const SYSTEMTIME& b = s.base;
    long long ms = ((static_cast<long long>(b.wHour) * 60 + b.wMinute) * 60 + b.wSecond) * 1000 +
                   b.wMilliseconds + static_cast<long long>(s.elapsedSinceBase);
    FillSystemTime(substitute::DaysFromCivil(b.wYear, b.wMonth, b.wDay) + ms / 86400000,
                   ms % 86400000, time);
}

void WINAPI GetSystemTime(LPSYSTEMTIME time) {
    GetLocalTime(time);
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

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* utcTime) {
    if (!localTime || !utcTime)
        return FALSE;
    *utcTime = *localTime;
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* utcTime, FILETIME* localTime) {
    return LocalFileTimeToFileTime(utcTime, localTime);
}

DWORD WINAPI GetLastError() {
    return State().lastError;
}
void WINAPI SetLastError(DWORD error) {
    State().lastError = error;
}
