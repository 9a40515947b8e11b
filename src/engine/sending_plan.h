// What the review showed is what the sending pass mails. The counting pass
// leaves the plan: the records it counted as not mailable (their files, Cc
// or Bcc could not be used), so that one mended during the review is not
// mailed in the place of another, and the list's fingerprint
// (data/list_fingerprint.h). The sending pass looks at the list before its
// first copy, whenever it has read more of the file, at least every second
// and at its end; a list that changed is counted and reviewed again before
// anything of the change is mailed, and from then on whoever the sent list
// names has been mailed (the ledger), so no one gets a second copy.
#pragma once

#include "data/job_progress.h"
#include "data/list_fingerprint.h"
#include "engine/job_list.h"
#include "engine/last_mailing.h"

class SendingPlan {
public:
    explicit SendingPlan(LastMailing* last) : last_(last) {}
    SendingPlan(const SendingPlan&) = delete;
    SendingPlan& operator=(const SendingPlan&) = delete;
    ~SendingPlan();

    // ---- the counting pass
    // A count of the list starts (again): nothing left out yet.
    void StartCount();
    // Whether the record just counted, of this address, was mailed before
    // (by an earlier run, or by this one once the list changed).
    bool TakeSentBefore(const char* address);
    // The record starting at `line` is counted as not mailable. False when
    // memory ran out.
    bool Leave(long line);
    // After the count, with its file still open: the list's fingerprint.
    void TakeFingerprint(const JobList& list);

    // ---- the sending pass, and the review's reading again
    void NewPass();
    bool SentBefore(const char* address) {
        return reloaded_ ? ledger_.Take(address) : last_->SentBefore(address);
    }
    // Whether the record starting at `line` was counted as not mailable;
    // asked in the order of the list.
    bool CountedNotMailable(long line);
    // Whether the list is still the one counted, looked at when due (the
    // pass's first record, its end, more of the file read, a second gone).
    bool StillCounted(const JobList& list, bool atEnd);

    // Records of the list mailed before, as the review tells them.
    long AlreadySent() const { return reloaded_ ? mailedBefore_ : last_->AlreadySent(); }
    // The list changed: from now on whoever the sent list at `path` names
    // has been mailed. False when it cannot be read.
    bool TakeLedger(const char* path);
    bool LedgerTaken() const { return reloaded_; }

private:
    LastMailing* last_;
    ListFingerprint print_;
    SentRecords ledger_;
    bool reloaded_ = false;
    long mailedBefore_ = 0;
    // The lines counted as not mailable, in the order of the list.
    long* left_ = nullptr;
    size_t leftCount_ = 0, leftRoom_ = 0, cursor_ = 0;
    bool looked_ = false; // in this pass
    uint64_t lookedBytes_ = 0;
    DWORD lookedAt_ = 0;
};
