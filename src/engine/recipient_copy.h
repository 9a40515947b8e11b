// One recipient's copy: duplicated from the original through the object
// model, given the merged texts and the record's files, addressed to that
// recipient (and the record's Cc and Bcc) through the store, marked, moved
// to the Outbox, submitted and flushed. The copy owns what it made: a copy
// that is not submitted (a step failed, the user stopped the job) is
// deleted when it goes, so that nothing half-built waits in a folder to be
// sent by hand.
#pragma once

#include "client/com_ref.h"
#include "data/merged_texts.h"
#include "data/record_checks.h"
#include "engine/job_journal.h"
#include "engine/job_step.h"
#include "engine/message_store.h"

class ComposeContext;

// What a run keeps for all its copies: the session's address book (opened
// for the first copy; empty when the session gives none) and the tag of
// the TNEF flag (resolved on the first copy).
class CopyTools {
public:
    IAddrBook* AddressBook();
    void Release() { addressBook_.Reset(); }
    ULONG tnefFlagTag = 0;
    bool tnefFlagResolved = false;

private:
    ComRef<IAddrBook> addressBook_;
    bool addressBookOpened_ = false;
};

// What the copy is made of and for.
struct CopyOrder {
    IDispatch* original = nullptr;           // the compose item
    const ComposeContext* context = nullptr; // whether its window has closed
    const MergedTexts* texts = nullptr;      // merged for this recipient
    bool html = false;                       // the original has an HTML body
    const CheckedExtras* extras = nullptr;   // the record's files, Cc and Bcc
    const char* address = "";                // the recipient
    long line = 0;                           // where the record starts
    bool test = false;                       // the user's test: to the user alone
    int number = 0;                          // the message's number in this run
    int total = 0;                           // messages this run sends
    // When the client is to release the copy (UTC); none: at once.
    const FILETIME* release = nullptr;
};

enum class CopyOutcome {
    Submitted, // submitted (or as good as: an error raised while submitting)
    LeftOut,   // the record is not mailed (a file could not be attached); logged
    Ended,     // a step ended the job; the user was told as the step says
    Raised,    // a client call raised where no step handles it (see the step)
};

class RecipientCopy {
public:
    RecipientCopy(const CopyOrder& order, CopyTools* tools, JobJournal* journal, JobPump* pump,
                  JobStep* step)
        : order_(order), tools_(tools), journal_(journal), pump_(pump), step_(step) {}
    RecipientCopy(const RecipientCopy&) = delete;
    RecipientCopy& operator=(const RecipientCopy&) = delete;
    ~RecipientCopy() { DeleteUnfinished(); }

    CopyOutcome Send();
    // Why the last attachment failed, for a test copy's report.
    const char* LeftOutText() const { return leftOut_; }

private:
    CopyOutcome Build();
    bool MakeCopy(CopyOutcome* outcome);
    bool SetTexts();
    CopyOutcome AttachRecordFiles();
    CopyOutcome AddRecipients();
    void ResolveRecipient(MessageStore::RecipientList* recipients, ULONG entry);
    CopyOutcome Mark();
    CopyOutcome SetOneProp(ULONG tag, bool isLong, LONG value, const char* noMemoryText);
    void MoveToOutbox();
    CopyOutcome SetReleaseTime();
    CopyOutcome Submit();
    void Flush();
    void LogAndShow(const char* text);
    void LeaveOut(const char* text);
    void DeleteUnfinished();

    CopyOrder order_;
    CopyTools* tools_;
    JobJournal* journal_;
    JobPump* pump_;
    JobStep* step_;
    ComRef<IDispatch> copyItem_;
    ComRef<IUnknown> copyMessage_; // of copyItem_; after the move, of movedItem_
    ComRef<IDispatch> movedItem_;
    bool submitted_ = false;
    char leftOut_[600] = "";
};
