// What a mailing leaves behind so that, however it stops (a cancel, an
// error, the client closing or killed, a limit reached), the next run can
// take it up without mailing anyone twice.
//
// Two files carry it. The sent list (tosent.txt) holds the raw text of every
// record mailed, written and flushed before the next message starts. The job
// state file (JobState.txt) holds which mailing it is and, before each copy
// is made, a line naming the record about to be sent:
//
//   Quorvel job state 1
//   List: <the list's path as the user typed it, UTF-8>
//   Subject: <the subject before merging, with \ CR LF written \\ \r \n>
//   Mailing: <the mailing's id, as the composed message carries it>
//   Date: <m/d/yyyy, the day the run started>
//   Sheet: <1 when hidden rows count, else 0> <the sheet's name, escaped as the subject>
//                             (a workbook's sheet the run read)
//   Sending <line> <hash> <records in the sent list before this one> <address>
//   Release <UTC seconds since 1601> (when the client releases that copy, if
//                             it waits: later runs keep the account's limits)
//   ...
//   Continued                 (a later run took the mailing up; its Date follows)
//   In doubt <address>        (a message an earlier run left in doubt, carried)
//   Settled <address>         (... and decided: looked up, or by the user)
//   Ended: Completed | Ended: Not complete
//   Withdrawing <line> <address>   (a waiting copy about to be taken back
//                                   out of the Outbox)
//   Withdrawn <line> <address>     (... and gone: the record is to be sent)
//   Not withdrawn <line> <address> (... it had left, or the client kept it)
//
// A waiting copy counts as handed over, so its record is in the sent list.
// Taking it back out of the Outbox is noted before it is tried: from the
// "Withdrawing" line on, one of that address's records in the sent list no
// longer counts as sent, and until "Withdrawn" or "Not withdrawn" follows
// the copy is in doubt (a kill may have struck before or after the client
// deleted it), so the run that continues looks for it before sending it
// again. The sent list itself is only ever appended to.
//
// A run that ends in order writes its "Ended" line. A state file whose last
// line is a "Sending" line belongs to a run that died: the record named may
// have been submitted without being recorded, and is "in doubt". A doubt
// stays until it is settled, across any number of runs: each run that
// continues the mailing writes the doubts it was handed again, so that a
// run that never reaches one does not forget it. The previous version's
// marks have no address; their record is then known by its hash alone,
// and its files no mailing id: such a mailing is known by its list and
// subject. A reader of either version passes over lines it does not know.
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Room for a mailing's id and its NUL.
constexpr size_t kMailingIdSize = 64;

// A record's identity for the job state file: FNV-1a over its raw text
// without the line break that ends it.
uint64_t ListRecordHash(const char* raw);

// ---- The job state file -----------------------------------------------------------------------

// The first lines: the mailing's list (UTF-8) and subject. Flushes.
void WriteJobStateStart(CrtFile* state, const char* listPathUtf8, const char* subject);
// The list and the subject of a run (a later run's: renamed, edited). Flushes.
void WriteJobStateListAndSubject(CrtFile* state, const char* listPathUtf8, const char* subject);
// The sheet of a workbook the run reads, so that a later run continuing the
// mailing reads it too. Flushes; false when the line did not reach the system.
bool WriteJobStateSheet(CrtFile* state, const char* sheetName, bool includeHidden);
// A later run takes the mailing up. Flushes.
void WriteJobStateContinued(CrtFile* state);
// The mailing's id, and the day this run started (m/d/yyyy). Flushes; false
// when the lines did not reach the system.
bool WriteJobStateMailing(CrtFile* state, const char* mailingId, const char* date);
// The record about to be sent, and when its copy is released (UTC seconds
// since 1601; -1 for a copy that goes at once). Flushes; false when the
// lines did not reach the system.
bool WriteJobStateSending(CrtFile* state, long line, uint64_t hash, long sentBefore,
                          const char* address, long long releaseUtc = -1);
// A doubt carried by a run, and a doubt settled. Flush; false when the line
// did not reach the system.
bool WriteJobStateDoubt(CrtFile* state, const char* address);
bool WriteJobStateSettled(CrtFile* state, const char* address);

// The addresses whose message is in doubt, letter case aside; few (at most
// one per run that died), so kept in a plain array.
class DoubtSet {
public:
    DoubtSet() = default;
    DoubtSet(const DoubtSet&) = delete;
    DoubtSet& operator=(const DoubtSet&) = delete;
    ~DoubtSet() { Clear(); }

    // False when memory ran out; an address held already is held once.
    bool Add(const char* address);
    // Whether it was held.
    bool Remove(const char* address);
    bool Has(const char* address) const { return IndexOf(address) >= 0; }
    int Count() const { return count_; }
    const char* At(int i) const { return slots_ + static_cast<size_t>(i) * kSlot; }
    void Clear();
    bool CopyFrom(const DoubtSet& other);

private:
    static constexpr size_t kSlot = 256; // kListAddressSize
    int IndexOf(const char* address) const;
    char* slots_ = nullptr;
    int count_ = 0, room_ = 0;
};
void WriteJobStateEnd(CrtFile* state, bool completed);
// A waiting copy of the record at `line`, to `address`, about to be taken
// back, then taken back or not. Flush; false when the line did not reach
// the system.
bool WriteJobStateWithdrawing(CrtFile* state, long line, const char* address);
bool WriteJobStateWithdrawn(CrtFile* state, long line, const char* address);
bool WriteJobStateNotWithdrawn(CrtFile* state, long line, const char* address);

// Addresses, each as often as it was added (letter case aside), packed
// one after another: the copies a mailing took back, up to the whole of it.
class AddressBag {
public:
    AddressBag() = default;
    AddressBag(const AddressBag&) = delete;
    AddressBag& operator=(const AddressBag&) = delete;
    ~AddressBag() { Clear(); }

    // False when memory ran out.
    bool Add(const char* address);
    // One of this address taken out; false when none was held.
    bool RemoveOne(const char* address);
    int Count() const { return count_; }
    // Calls `visit` with each address held, in the order added.
    template <class Visit> void ForEach(Visit visit) const {
        for (size_t at = 0; at < used_; at += std::strlen(text_ + at) + 1)
            if (text_[at] != kRemoved)
                visit(text_ + at);
    }
    void Clear();

private:
    static constexpr char kRemoved = '\x01';
    char* text_ = nullptr;
    size_t used_ = 0, room_ = 0;
    int count_ = 0;
};

enum LastJobRead {
    LastJobNone = 0,       // no state file: no mailing to continue
    LastJobFound = 1,      //
    LastJobUnreadable = 2, // a file that cannot be read, or is not a job state
    LastJobNoMemory = 3,
};

// What the job state file tells of the last mailing.
struct LastJob {
    char listPath[3 * MAX_PATH] = "";    // UTF-8
    char* subject = nullptr;             // the last run's; MemAlloc'd, freed by the destructor
    char mailingId[kMailingIdSize] = ""; // empty in the previous version's files
    char date[24] = "";                  // of the last run; empty when none said
    bool completed = false;
    // The last "Sending" line when no "Ended" line came after it; its
    // address is empty in the previous version's marks.
    bool hasDoubt = false;
    long doubtLine = 0;
    uint64_t doubtHash = 0;
    long doubtSentBefore = 0;
    char doubtAddress[256] = "";
    // The workbook's sheet the last run read, when its list is a workbook.
    bool hasSheet = false;
    bool sheetIncludesHidden = false;
    char sheet[256] = ""; // UTF-8
    // Doubts earlier runs carried and nobody settled since, and waiting
    // copies whose withdrawal a kill cut short.
    DoubtSet carried;
    // The records whose waiting copy was taken back (or was being): they
    // no longer count as sent, one per address each.
    AddressBag withdrawn;
    // Told of every "Sending" line as it is read, when set: which list line
    // each address's copies were made from.
    void (*onSending)(void* context, long line, const char* address) = nullptr;
    // ... and of every copy's release time (UTC seconds since 1601), with
    // the same context.
    void (*onRelease)(void* context, long long releaseUtc) = nullptr;
    void* onSendingContext = nullptr;

    LastJob() = default;
    LastJob(const LastJob&) = delete;
    LastJob& operator=(const LastJob&) = delete;
    ~LastJob();
};

LastJobRead ReadLastJob(const char* statePath, LastJob* job);

// Which mailing a run is of: its list (UTF-8) and subject, and the id the
// composed message carries ("" when it carries none).
struct MailingKey {
    const char* listPath = "";
    const char* subject = "";
    const char* id = "";
};

// How a job state stands to a mailing. A mailing is the composed message
// sent to its list: once both sides have an id, the id names the message
// (its subject edited, it is still itself, and another message of the same
// subject is not), and the list file of the same path is the same list;
// the same message with a list of another path is a renamed list or
// another list, which its recipients tell (last_mailing.h). Without an id
// on either side a mailing is its list file (letter case aside, as the
// file system sees it) and subject.
enum class MailingMatch {
    Other = 0,
    Same = 1,
    // The same message, with a list file of another path.
    SameMessage = 2,
    // Not known to be the same, but of the same subject: a message that
    // carries no id, or one no job state knows, may be of it.
    SameSubject = 3,
};
MailingMatch MatchMailing(const LastJob& job, const MailingKey& key);
// Whether the job state names this list and subject (by them alone).
inline bool IsSameMailing(const LastJob& job, const char* listPathUtf8, const char* subject) {
    return MatchMailing(job, MailingKey{listPathUtf8, subject, ""}) == MailingMatch::Same;
}

// ---- The sent list, read back -----------------------------------------------------------------

enum SentListRead {
    SentListOk = 0,
    SentListMissing = 1, // it cannot be opened
    SentListBroken = 2,  // reading it stopped early (its text, a record too long)
    SentListNoMemory = 3,
};

// The recipients a mailing's sent list holds: each address (letter case
// aside) as often as a record of it was mailed, to be taken one by one by
// the list's records of that address. A recipient is an address, not a
// record's text: a record re-quoted, given trailing blanks, moved or with
// another field renamed is still the recipient it was.
struct ListRecord;

class SentRecords {
public:
    SentRecords() = default;
    SentRecords(const SentRecords&) = delete;
    SentRecords& operator=(const SentRecords&) = delete;
    ~SentRecords() { Clear(); }

    // Reads the sent list at `path` with the list's delimiter (ListDelimiter).
    SentListRead Load(const char* path);
    // One record of this address no longer counts as sent (its copy was
    // taken back before it left); false when none was held.
    bool Withdraw(const char* address);
    // Load keeps the address of the record at this index (0: the first
    // after the header); -1, the default, keeps none.
    void Watch(long index) { watch_ = index; }
    // That record's address, "" when the list holds no such record or it
    // has no usable address (a record cut short by a full disk has none).
    const char* WatchedAddress() const { return watched_; }
    void Clear();

    // Whether the sent list's header names a field for an address: one
    // that does not proves nothing about anyone.
    bool HasAddressColumn() const { return hasAddressColumn_; }

    // Records held (the header aside), those without a usable address too.
    long Count() const { return records_; }
    // Whether the file's last line ended in a line break; an append must
    // otherwise start a new line first.
    bool EndsWithLineBreak() const { return endsWithLineBreak_; }

    // Whether this address (as the reader returns it) is among those held
    // and not taken yet; when it is, one of them is taken.
    bool Take(const char* address);
    // Everything taken is held again (for the next pass over the list).
    void GiveBack();

private:
    // 24 bytes in either build, and the address's text beside it: memory
    // grows with the distinct addresses, not with the records.
    struct Entry {
        uint64_t hash;
        uint32_t offset; // of the text in text_
        uint32_t length;
        int32_t held;
        int32_t left;
    };
    bool Add(const char* address);
    bool AddressColumn(const ListRecord& header, const char* path);
    Entry* Find(uint64_t hash, const char* text, size_t length);
    bool Grow();

    Entry* entries_ = nullptr;
    size_t capacity_ = 0; // a power of two, or 0
    size_t used_ = 0;
    char* text_ = nullptr;
    size_t textSize_ = 0, textUsed_ = 0;
    long records_ = 0;
    long watch_ = -1;
    char watched_[256] = "";
    bool endsWithLineBreak_ = true;
    bool hasAddressColumn_ = false;
    int column_ = -1;
};
