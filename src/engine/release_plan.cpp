#include "engine/release_plan.h"

#include "data/mailing_shelf.h"
#include "data/settings.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

ScheduleSeconds LocalScheduleNow(bool roundUp) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const ScheduleSeconds t =
        ScheduleTimeOf(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return roundUp && now.wMilliseconds > 0 ? t + 1 : t;
}

namespace {
FILETIME FileTimeOfSeconds(long long seconds) {
    const unsigned long long ticks = static_cast<unsigned long long>(seconds) *
                                     static_cast<unsigned long long>(kFileTimeTicksPerSecond);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
} // namespace

long long UtcSecondsOf(const FILETIME& time) {
    return static_cast<long long>(
        ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
        static_cast<unsigned long long>(kFileTimeTicksPerSecond));
}

// A release time goes between the user's clock and UTC by the time zone's
// rules on its own date. LocalFileTimeToFileTime would not do: it "uses the
// current settings for the time zone and daylight saving time" (MSDN), so a
// mailing set up in winter to start after the clocks go forward would leave
// an hour late.
FILETIME ScheduleToUtc(ScheduleSeconds local) {
    const FILETIME localTime = FileTimeOfSeconds(local);
    FILETIME utc = localTime;
    SYSTEMTIME clock, universal;
    if (FileTimeToSystemTime(&localTime, &clock) &&
        TzSpecificLocalTimeToSystemTime(nullptr, &clock, &universal) &&
        SystemTimeToFileTime(&universal, &utc))
        return utc;
    if (!LocalFileTimeToFileTime(&localTime, &utc))
        utc = localTime;
    return utc;
}

long long LocalClockOffset(ScheduleSeconds local) {
    return local - UtcSecondsOf(ScheduleToUtc(local));
}

ScheduleSeconds UtcToSchedule(long long utcSeconds) {
    const FILETIME utc = FileTimeOfSeconds(utcSeconds);
    FILETIME local = utc;
    SYSTEMTIME universal, clock;
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &clock) ||
        !SystemTimeToFileTime(&clock, &local)) {
        if (!FileTimeToLocalFileTime(&utc, &local))
            local = utc;
    }
    return UtcSecondsOf(local); // the same count of seconds, on the local clock
}

void ReleasePlan::Start(const std::vector<long long>& earlierUtc) {
    schedule_.reset();
    pending_.clear();
    lastWaits_ = false;
    const ScheduleSeconds now = LocalScheduleNow(true);
    ScheduleSeconds start = now;
    const bool later = JobOptions.StartLater == 1 && ParseStartAt(JobOptions.StartAt, &start);
    if (!later)
        start = now;
    const SendLimits limits{JobOptions.PerMinute, JobOptions.PerDay,
                            JobOptions.WorkingDaysOnly == 1};
    if (!later && limits.perMinute <= 0 && limits.perDay <= 0 && !limits.workingDaysOnly)
        return;
    schedule_ = std::make_unique<SendSchedule>(limits, start, now);
    schedule_->SetClockOffset(&LocalClockOffset);
    TakeHandedOver(schedule_.get(), earlierUtc);
}

namespace {

// One state file's release times, each with the address of the copy it is
// of (the "Sending" mark before it). Memory that runs out stops the count
// there: nothing is thrown through the state file's reader.
struct Releases {
    long long since = 0;
    std::string address; // of the last mark read
    std::vector<std::pair<long long, std::string>> copies;
    std::vector<long long>* times = nullptr;
    bool full = false;

    static void Sending(void* self, long, const char* address) {
        Releases* r = static_cast<Releases*>(self);
        try {
            if (!r->full)
                r->address = address;
        } catch (const std::bad_alloc&) {
            r->full = true;
        }
    }
    static void Release(void* self, long long utc) {
        Releases* r = static_cast<Releases*>(self);
        try {
            if (!r->full && utc >= r->since)
                r->copies.emplace_back(utc, r->address);
        } catch (const std::bad_alloc&) {
            r->full = true;
        }
    }
    // Adds the release times of the state file at `path`, but for the copies
    // taken back: of an address given more than one copy, the last ones
    // (those that waited longest) are the ones taken back. A withdrawal a
    // kill cut short may have left its copy waiting: it still counts.
    static void Read(void* self, const char* path);
};

void Releases::Read(void* self, const char* path) {
    Releases* r = static_cast<Releases*>(self);
    r->copies.clear();
    LastJob job;
    job.onSending = &Releases::Sending;
    job.onRelease = &Releases::Release;
    job.onSendingContext = r;
    if (r->full || ReadLastJob(path, &job) != LastJobFound)
        return;
    try {
        for (auto copy = r->copies.rbegin(); copy != r->copies.rend(); ++copy)
            if (!job.withdrawn.Count() || job.carried.Has(copy->second.c_str()) ||
                !job.withdrawn.RemoveOne(copy->second.c_str()))
                r->times->push_back(copy->first);
    } catch (const std::bad_alloc&) {
        r->full = true;
    }
}

} // namespace

void ReleasesOfEveryMailing(long long sinceUtc, std::vector<long long>* times) {
    Releases releases;
    releases.since = sinceUtc;
    releases.times = times;
    ForEachKeptMailing(&Releases::Read, &releases);
}

void TakeHandedOver(SendSchedule* schedule, const std::vector<long long>& handedOverUtc) {
    // The copies handed over before count against the same account's
    // limits: the ones to come follow them. Memory that runs out leaves the
    // limits to the copies to come.
    try {
        std::vector<ScheduleSeconds> earlier;
        earlier.reserve(handedOverUtc.size());
        for (long long t : handedOverUtc)
            earlier.push_back(UtcToSchedule(t));
        std::sort(earlier.begin(), earlier.end());
        for (ScheduleSeconds t : earlier)
            schedule->Taken(t);
    } catch (const std::bad_alloc&) {
    }
}

const FILETIME* ReleasePlan::Next(bool test) {
    lastWaits_ = false;
    if (!schedule_ || test)
        return nullptr;
    const ScheduleSeconds now = LocalScheduleNow(true);
    const ScheduleSeconds at = schedule_->Next(now);
    lastWaits_ = at > now;
    Forget(LocalScheduleNow());
    pending_.push_back(at);
    release_ = ScheduleToUtc(at);
    return &release_;
}

void ReleasePlan::Forget(ScheduleSeconds now) {
    while (!pending_.empty() && pending_.front() <= now)
        pending_.pop_front();
}

int ReleasePlan::Waiting() {
    Forget(LocalScheduleNow());
    return static_cast<int>(pending_.size());
}

void ReleasePlan::LastRelease(char (&text)[20]) const {
    text[0] = '\0';
    if (schedule_ && schedule_->Count() > 0)
        FormatScheduleTime(schedule_->Last(), text);
}

void ReleasePlan::FirstRelease(char (&text)[20]) const {
    text[0] = '\0';
    if (schedule_ && schedule_->Count() > 0)
        FormatScheduleTime(schedule_->First(), text);
}
