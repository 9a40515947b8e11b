// When the client releases each copy of this run: the options' start and
// limits turned into one release time a copy (SendSchedule, on the user's
// local clock), given to the copy in UTC. The copies are all handed over
// in minutes; those whose time has not come wait in the Outbox (or, with
// an Exchange account, on the server) and count as sent in the ledger.
#pragma once

#include "data/send_schedule.h"
#include "platform.h"

#include <memory>

class ReleasePlan {
public:
    // From JobOptions, as they are when the sending pass starts; no plan
    // (every copy at once) when they ask for no start, limit or weekday.
    void Start();
    bool Active() const { return schedule_ != nullptr; }
    // The next copy's release time in UTC, or null for none (no plan, or
    // the user's test copy, which goes at once).
    const FILETIME* Next(bool test);
    // The last copy's release was still to come when it was handed over.
    bool LastWaits() const { return lastWaits_; }
    // Copies handed over to wait for their time, and the last one's time
    // on the user's clock ("YYYY-MM-DD HH:MM:SS"; empty for none).
    int Waiting() const { return waiting_; }
    void LastRelease(char (&text)[20]) const;
    void FirstRelease(char (&text)[20]) const;

private:
    std::unique_ptr<SendSchedule> schedule_;
    FILETIME release_{};
    int waiting_ = 0;
    bool lastWaits_ = false;
};

// The local time as schedule seconds, and a schedule time as a UTC FILETIME.
ScheduleSeconds LocalScheduleNow();
FILETIME ScheduleToUtc(ScheduleSeconds local);
