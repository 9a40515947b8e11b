// Continuing a mailing that stopped. The last mailing is this one when the
// job state file names the same list and subject and no run of it completed.
// Its sent list then says who was mailed, record by record: those records
// are passed over, matched by their own text, so that rows the user
// corrected or added since are mailed. At most one record is in doubt, the
// one whose copy was being made when the process died; it is looked up in
// the client before anything is sent to it again (doubt_lookup.h).
#pragma once

#include "data/job_progress.h"
#include "data/mailing_list.h"
#include "engine/job_pump.h"

#include <cstdint>

class LastMailing {
public:
    // Before the counting pass: whether the last mailing is this one (its
    // list path, UTF-8, and subject) and did not finish; its sent list is
    // then read. False when the job ends here.
    bool Look(const char* listPath, const char* subject, JobPump* pump);
    // Tells why the last mailing's records cannot be used; true when the
    // user starts over.
    static bool AskStartOver(const char* why, JobPump* pump);

    // The counting pass: whether the record just read was mailed by an
    // earlier run (one of the sent list's records is taken for it).
    bool TakeSentBefore(const char* raw);
    // The counting pass, of a record to be mailed: the first record not
    // yet mailed whose text is the one marked is the one in doubt (the
    // marked line itself unless the user has moved it since).
    void NoteIfInDoubt(const ListRecord& record, const char* address);
    // A new count of the same list (another address column): nothing taken.
    void Recount();

    // After the counting pass: asks whether to continue. `recipients` (to be
    // mailed by this run) grows by those sent before when the user starts
    // over. False when the user sends nothing now.
    bool Offer(const char* headerLine, int* recipients, JobPump* pump);

    bool Continuing() const { return continuing_; }
    int AlreadySent() const { return alreadySent_; }
    // Records the sent list holds (the header aside).
    long SentListRecords() const { return sentRecords_; }
    bool SentListUnterminated() const { return !sent_.EndsWithLineBreak(); }

    // The sending pass (and the review's reading again): whether the record
    // was mailed by an earlier run; a new pass first gives them all back.
    bool SentBefore(const char* raw) { return continuing_ && sent_.Take(raw); }
    void NewPass() {
        if (continuing_)
            sent_.GiveBack();
    }
    // Whether the record just merged is the one in doubt; true once.
    bool TakeDoubt(const char* raw);
    // The record in doubt was mailed by the run that died after all.
    void CountedSentBefore() { ++alreadySent_; }

private:
    void StartOver(int* recipients);

    SentRecords sent_;
    bool found_ = false; // the same list and subject, not completed
    bool continuing_ = false;
    int alreadySent_ = 0;    // usable records an earlier run mailed
    long sentRecords_ = 0;   // records in the sent list (the header aside)
    bool doubtOpen_ = false; // a record of the last run is in doubt
    bool doubtSeen_ = false; // ... and the counting pass found it
    uint64_t doubtHash_ = 0;
    char doubtAddress_[kListAddressSize] = "";
    long doubtListLine_ = 0;
};
