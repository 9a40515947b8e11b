#include "engine/sending_plan.h"

#include "engine/mailing_job.h"

namespace {
// Between two looks at the list while nothing more of it is read: an edit
// that takes recipients out is heeded within about this long.
constexpr DWORD kLookEveryMs = 1000;
} // namespace

SendingPlan::~SendingPlan() {
    MemFree(left_);
}

void SendingPlan::StartCount() {
    leftCount_ = 0;
    cursor_ = 0;
    mailedBefore_ = 0;
    if (reloaded_)
        ledger_.GiveBack();
    else
        last_->Recount();
}

bool SendingPlan::TakeSentBefore(const char* address) {
    if (!reloaded_)
        return last_->TakeSentBefore(address);
    if (!ledger_.Take(address))
        return false;
    ++mailedBefore_;
    return true;
}

bool SendingPlan::Leave(long line) {
    if (leftCount_ == leftRoom_) {
        const size_t room = leftRoom_ ? 2 * leftRoom_ : 64;
        void* grown = MemRealloc(left_, room * sizeof *left_);
        if (!grown)
            return false;
        left_ = static_cast<long*>(grown);
        leftRoom_ = room;
    }
    left_[leftCount_++] = line;
    return true;
}

void SendingPlan::TakeFingerprint(const JobList& list) {
    print_ = ListFingerprint();
    list.ReadHash(&print_.bytes, &print_.hash);
    print_.stamped = TakeListStamp(MailingJob::jobListPath, &print_.stamp);
    print_.taken = true;
}

void SendingPlan::NewPass() {
    cursor_ = 0;
    looked_ = false;
    if (reloaded_)
        ledger_.GiveBack();
    else
        last_->NewPass();
}

bool SendingPlan::CountedNotMailable(long line) {
    while (cursor_ < leftCount_ && left_[cursor_] < line)
        ++cursor_;
    return cursor_ < leftCount_ && left_[cursor_] == line;
}

// The first look and the last compare the bytes as well: the review may
// have lasted long enough for an edit that keeps the size, within the file
// system's two seconds or by a program that puts the old time back. In
// between, a changed size or time is enough to tell, and the text the pass
// reads after a look is looked at again before it is used.
bool SendingPlan::StillCounted(const JobList& list, bool atEnd) {
    if (!print_.taken)
        return true;
    uint64_t bytes = 0;
    uint64_t hash = 0;
    list.ReadHash(&bytes, &hash);
    const DWORD now = GetTickCount();
    const bool first = !looked_;
    if (!first && !atEnd && bytes == lookedBytes_ && now - lookedAt_ < kLookEveryMs)
        return true;
    looked_ = true;
    lookedBytes_ = bytes;
    lookedAt_ = now;
    return ListStillSame(MailingJob::jobListPath, print_, first || atEnd, bytes, hash);
}

bool SendingPlan::TakeLedger(const char* path) {
    if (ledger_.Load(path) != SentListOk || !ledger_.HasAddressColumn())
        return false;
    reloaded_ = true;
    return true;
}
