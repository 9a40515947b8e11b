// Continuing a mailing that stopped. A mailing is the composed message sent
// to its list: the message carries the mailing's id (mailing_stamp.h), the
// job state file names it, and the two are the same mailing whatever became
// of the subject or of the list's file name. A message without an id (a
// draft of the previous version) is the mailing of its list and subject, as
// it was. A mailing another one pushed aside is brought back first
// (mailing_shelf.h); one that reached everyone is sent again only when the
// user says so. A message no mailing is known for, whose subject is that of
// a mailing of recipients it shares, is offered to be sent only to the
// others. Its sent list then says who was mailed, by address:
// each address is passed over as many times as it was mailed, so that a
// record re-quoted, moved or otherwise edited is still the recipient it was,
// and rows whose address was corrected, or added, are mailed. The messages
// in doubt (one per run that died, each kept until settled) are looked up
// in the client before anything is sent to their address again
// (doubt_lookup.h).
#pragma once

#include <vector>

#include "client/com_ref.h"
#include "data/job_progress.h"
#include "data/mailing_list.h"
#include "engine/job_pump.h"

#include <cstdint>

class LastMailing {
public:
    // Before the counting pass: whether the last mailing is this one (its
    // list path, UTF-8, its subject and the id the composed `message`
    // carries) and did not finish; its sent list is then read. False when
    // the job ends here.
    bool Look(const char* listPath, const char* subject, IUnknown* message, JobPump* pump);
    // The id of the mailing this run is of, once Offer has decided.
    const char* MailingId() const { return id_; }
    // The mailing has begun: the composed message carries its id from now
    // on (saved with it), unless it did already.
    void StampMessage(IUnknown* message);
    // Tells why the last mailing's records cannot be used; true when the
    // user starts over.
    static bool AskStartOver(const char* why, JobPump* pump);

    // The counting pass: whether the record just read, of this address, was
    // mailed by an earlier run (one of the address's copies is taken for it).
    bool TakeSentBefore(const char* address);
    // The counting pass, of a record to be mailed: the first record not
    // yet mailed of an address in doubt is the one in doubt. A mark of the
    // previous version, without its address, names its record by its text.
    void NoteIfInDoubt(const ListRecord& record, const char* address);
    // A new count of the same list (another address column): nothing taken.
    void Recount();

    // After the counting pass: asks whether to continue. `recipients` (to be
    // mailed by this run) grows by those sent before when the user starts
    // over. False when the user sends nothing now.
    bool Offer(int* recipients, JobPump* pump);

    bool Continuing() const { return continuing_; }
    int AlreadySent() const { return alreadySent_; }
    // Records the sent list holds (the header aside).
    long SentListRecords() const { return sentRecords_; }
    bool SentListUnterminated() const { return !sent_.EndsWithLineBreak(); }

    // The sending pass (and the review's reading again): whether the record
    // of this address was mailed by an earlier run; a new pass first gives
    // them all back.
    bool SentBefore(const char* address) { return continuing_ && sent_.Take(address); }
    void NewPass() {
        if (continuing_)
            sent_.GiveBack();
    }
    // Whether the address of the record just merged is in doubt; true once
    // for each doubt.
    bool TakeDoubt(const char* address);
    // The subject, before merging, of the run that left the doubts: the
    // copies in doubt went with it, whatever the subject is now.
    const char* DoubtSubject() const { return doubtSubject_ ? doubtSubject_.Get() : ""; }
    // The doubts a continuing run carries on (written again by the journal).
    const DoubtSet& Doubts() const { return doubts_; }
    // The record in doubt was mailed by the run that died after all.
    void CountedSentBefore() { ++alreadySent_; }

    // When the copies already handed over are released (UTC seconds since
    // 1601, those of the last 24 hours and later): this mailing's earlier
    // runs' and every other mailing's kept here, read by Look before
    // anything is put aside or replaced. This run keeps the account's
    // limits together with them.
    const std::vector<long long>& ReleaseTimes() const { return releases_; }

private:
    void StartOver(int* recipients);
    // The job state at hand is the mailing to read: its sent list and doubts.
    bool TakeUp(const LastJob& last, JobPump* pump);
    // A mailing of the same subject, when this message's is not known.
    bool LookForSameSubject(const MailingKey& key, JobPump* pump);
    bool AskSendAgain(const LastJob& last, JobPump* pump);
    bool AskSendToOthers(int* recipients, JobPump* pump);

    SentRecords sent_;
    bool found_ = false;     // the same mailing, not completed (or one of its subject)
    bool bySubject_ = false; // found by its subject alone: the message's mailing is not known
    bool renamed_ = false;   // the same message's mailing, of a list file of another path
    char stamp_[kMailingIdSize] = ""; // the id the message carried
    ULONG stampTag_ = 0;              // its property's tag on the message's store
    char id_[kMailingIdSize] = "";    // the id of the mailing this run is of
    char fresh_[kMailingIdSize] = ""; // the id a new mailing of this message takes
    char date_[24] = "";              // of the mailing found, for the questions
    bool continuing_ = false;
    int alreadySent_ = 0;  // usable records an earlier run mailed
    long sentRecords_ = 0; // records in the sent list (the header aside)
    DoubtSet doubts_;      // the addresses in doubt, not yet settled
    Utf8Text doubtSubject_;
    bool legacyDoubt_ = false; // a mark without its address, known by its hash
    uint64_t legacyHash_ = 0;
    bool doubtSeen_ = false; // the counting pass found a record in doubt
    char doubtAddress_[kListAddressSize] = "";
    long doubtListLine_ = 0;
    // Addresses of the doubts the counting pass found (each noted once).
    DoubtSet noted_;
    std::vector<long long> releases_;
};
