// The job's hold on the thread: it runs on the client's user-interface
// thread, so it hands the thread back (dispatches the waiting messages) at
// every record, in every slice of a wait and within long passes, and reads
// the user's Pause and Cancel there. It also keeps the job's time: the time
// between those moments, without the time held paused and without the time
// the user spent answering a question or in the review.
#pragma once

#include "engine/job_user.h"

#include <cstdint>

class JobPump {
public:
    explicit JobPump(JobUser* user) : user_(user) {}
    JobPump(const JobPump&) = delete;
    JobPump& operator=(const JobPump&) = delete;

    JobUser* User() const { return user_; }
    // A stop is written to this log ("Job Stopped") once it is open.
    void LogStopsTo(CrtFile* log) { stopLog_ = log; }

    // The job's time starts now, from 0.
    void StartClock();
    // Adds the time since the last moment counted to elapsedMs.
    void CountTime();

    // Dispatches every waiting message, then answers from runState: running
    // goes on (true); a stop request, a thread asked to end or a user gone
    // ends (false, "Job Stopped" logged); paused waits in 100 ms slices,
    // dispatching, until the user resumes or stops.
    bool Poll();
    // `ms` in 100 ms slices, polling after each; false when stopped.
    bool Wait(DWORD ms);
    // Within a long pass: polls every `every`-th call, so that the thread is
    // never held for long and the same input pumps at the same places.
    bool Breathe(unsigned every);

    // The user is asked; the time it takes is not the job's.
    int Say(const char* text, UINT flags);
    int SayString(UINT stringId, UINT flags);
    void ShowHelp(UINT topicStringId);
    ReviewAnswer Review(ReviewSession* session);

    // The job hands the thread back for good: the last stretch ends here.
    void End() { Pumped(); }

    // Whether the job may go on after a question: the user has not stopped
    // it meanwhile, nor gone.
    bool StillWanted() const;

private:
    // The thread has just pumped: the stretch without pumping ends here.
    void Pumped();
    void Resume(); // after the user: the job's time goes on from now

    JobUser* user_;
    CrtFile* stopLog_ = nullptr;
    DWORD lastTick_ = 0;
    uint64_t lastPumpUs_ = 0;
    unsigned breaths_ = 0;
};
