// When the client releases each copy of this run: the options' start and
// limits turned into one release time a copy (SendSchedule, on the user's
// local clock), given to the copy in UTC. The copies are all handed over
// in minutes; those whose time has not come wait in the Outbox (or, with
// an Exchange account, on the server) and count as sent in the ledger.
#pragma once

#include "data/send_schedule.h"
#include "platform.h"

#include <deque>
#include <memory>
#include <vector>

class ReleasePlan {
public:
    // From JobOptions, as they are when the sending pass starts; no plan
    // (every copy at once) when they ask for no start, limit or weekday.
    // `earlierUtc`: the release times earlier runs of the mailing gave their
    // copies (UTC seconds since 1601, in any order), kept within the limits
    // together with this run's.
    void Start(const std::vector<long long>& earlierUtc);
    bool Active() const { return schedule_ != nullptr; }
    // The next copy's release time in UTC, or null for none (no plan, or
    // the user's test copy, which goes at once).
    const FILETIME* Next(bool test);
    // The last copy waits for the schedule (not only for the next second).
    bool LastWaits() const { return lastWaits_; }
    // Copies handed over whose time has not come yet, now.
    int Waiting();
    // The first and the last copy's time on the user's clock
    // ("YYYY-MM-DD HH:MM:SS"; empty for none).
    void LastRelease(char (&text)[20]) const;
    void FirstRelease(char (&text)[20]) const;

private:
    std::unique_ptr<SendSchedule> schedule_;
    // The copies whose time is `now` or before have left.
    void Forget(ScheduleSeconds now);

    FILETIME release_{};
    std::deque<ScheduleSeconds> pending_; // release times still to come, in order
    bool lastWaits_ = false;
};

// The local time as schedule seconds (a second begun counts as gone: the
// next whole second is the earliest a copy handed over now can be given),
// and a schedule time as a UTC FILETIME, and UTC seconds since 1601 as
// a schedule time and back.
ScheduleSeconds LocalScheduleNow(bool roundUp = false);
FILETIME ScheduleToUtc(ScheduleSeconds local);
// How far the user's clock is ahead of UTC at a time of it, in seconds (the
// schedules' SetClockOffset).
long long LocalClockOffset(ScheduleSeconds local);
ScheduleSeconds UtcToSchedule(long long utcSeconds);
long long UtcSecondsOf(const FILETIME& utc);

// The release times (UTC seconds since 1601), at `sinceUtc` or later, of the
// copies every mailing kept in the data folder handed over
// (ForEachKeptMailing), all sent from the user's account and counted by its
// provider together. A copy taken back from the Outbox no longer counts.
// Memory that runs out leaves out the rest; a state file that cannot be read
// gives none.
void ReleasesOfEveryMailing(long long sinceUtc, std::vector<long long>* times);

// Counts the copies handed over before `schedule` was made (release times,
// UTC seconds since 1601, in any order) against its limits.
void TakeHandedOver(SendSchedule* schedule, const std::vector<long long>& handedOverUtc);
