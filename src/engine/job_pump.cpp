#include "engine/job_pump.h"

#include "engine/mailing_job.h"

namespace {
constexpr DWORD kPollSlice = 100; // ms
} // namespace

void JobPump::StartClock() {
    MailingJob::elapsedMs = 0;
    lastTick_ = GetTickCount();
    lastPumpUs_ = RealMicroseconds();
}

void JobPump::CountTime() {
    AccumulateElapsed(&lastTick_, &MailingJob::elapsedMs);
}

void JobPump::Pumped() {
    const uint64_t now = RealMicroseconds();
    if (lastPumpUs_ != 0 && now > lastPumpUs_ && now - lastPumpUs_ > MailingJob::longestPumpGapUs)
        MailingJob::longestPumpGapUs = now - lastPumpUs_;
    lastPumpUs_ = now;
}

// While the user answers or the thread dispatches, the thread is the
// client's, not held by the job: the next stretch starts when it comes back.
void JobPump::Resume() {
    lastPumpUs_ = RealMicroseconds();
    lastTick_ = GetTickCount();
}

bool JobPump::StillWanted() const {
    return MailingJob::runState != kJobIdle && user_->Present();
}

bool JobPump::Poll() {
    CountTime();
    bool goOn = true;
    for (;;) {
        Pumped();
        const bool dispatched = user_->DispatchWaiting();
        lastPumpUs_ = RealMicroseconds();
        if (!dispatched) {
            goOn = false; // the thread is asked to end: a stop, as Cancel is
            break;
        }
        if (MailingJob::runState == kJobIdle || !user_->Present()) {
            goOn = false;
            break;
        }
        if (MailingJob::runState == kJobRunning)
            break;
        Sleep(kPollSlice);
    }
    if (!goOn && stopLog_)
        CrtPrintf(stopLog_, "Job Stopped\n");
    lastTick_ = GetTickCount();
    return goOn;
}

bool JobPump::Wait(DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += kPollSlice) {
        Sleep(kPollSlice);
        if (!Poll())
            return false;
    }
    return true;
}

bool JobPump::Breathe(unsigned every) {
    if (++breaths_ % every != 0)
        return true;
    return Poll();
}

int JobPump::Say(const char* text, UINT flags) {
    CountTime();
    Pumped();
    const int answer = user_->Say(text, flags);
    Resume();
    return answer;
}

int JobPump::SayString(UINT stringId, UINT flags) {
    CountTime();
    Pumped();
    const int answer = user_->SayString(stringId, flags);
    Resume();
    return answer;
}

void JobPump::ShowHelp(UINT topicStringId) {
    CountTime();
    Pumped();
    user_->ShowHelp(topicStringId);
    Resume();
}

ReviewAnswer JobPump::Review(ReviewSession* session) {
    CountTime();
    Pumped();
    const ReviewAnswer answer = user_->Review(session);
    Resume();
    return answer;
}
