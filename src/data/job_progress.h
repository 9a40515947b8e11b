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
//   Sending <line> <hash> <records in the sent list before this one>
//   ...
//   Continued                 (a later run took the mailing up)
//   Ended: Completed | Ended: Not complete
//
// A run that ends in order writes its "Ended" line. A state file whose last
// line is a "Sending" line belongs to a run that died: the record named may
// have been submitted without being recorded, and is "in doubt".
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstdint>

// A record's identity for the job state file: FNV-1a over its raw text
// without the line break that ends it.
uint64_t ListRecordHash(const char* raw);

// ---- The job state file -----------------------------------------------------------------------

// The first lines: the mailing's list (UTF-8) and subject. Flushes.
void WriteJobStateStart(CrtFile* state, const char* listPathUtf8, const char* subject);
// A later run takes the mailing up. Flushes.
void WriteJobStateContinued(CrtFile* state);
// The record about to be sent. Flushes; false when the line did not reach
// the system.
bool WriteJobStateSending(CrtFile* state, long line, uint64_t hash, long sentBefore);
void WriteJobStateEnd(CrtFile* state, bool completed);

enum LastJobRead {
    LastJobNone = 0,       // no state file: no mailing to continue
    LastJobFound = 1,      //
    LastJobUnreadable = 2, // a file that cannot be read, or is not a job state
    LastJobNoMemory = 3,
};

// What the job state file tells of the last mailing.
struct LastJob {
    char listPath[3 * MAX_PATH] = ""; // UTF-8
    char* subject = nullptr;          // MemAlloc'd; freed by the destructor
    bool completed = false;
    // The last "Sending" line when no "Ended" line came after it.
    bool hasDoubt = false;
    long doubtLine = 0;
    uint64_t doubtHash = 0;
    long doubtSentBefore = 0;

    LastJob() = default;
    LastJob(const LastJob&) = delete;
    LastJob& operator=(const LastJob&) = delete;
    ~LastJob();
};

LastJobRead ReadLastJob(const char* statePath, LastJob* job);

// Whether the job state names this mailing: the same list file (letter case
// aside, as the file system sees it) and the same subject.
bool IsSameMailing(const LastJob& job, const char* listPathUtf8, const char* subject);

// ---- The sent list, read back -----------------------------------------------------------------

enum SentListRead {
    SentListOk = 0,
    SentListMissing = 1, // it cannot be opened
    SentListBroken = 2,  // reading it stopped early (its text, a record too long)
    SentListNoMemory = 3,
};

// The records a mailing's sent list holds, each as often as it holds it, to
// be taken one by one by the records of the list they match, text for text.
class SentRecords {
public:
    SentRecords() = default;
    SentRecords(const SentRecords&) = delete;
    SentRecords& operator=(const SentRecords&) = delete;
    ~SentRecords() { Clear(); }

    // Reads the sent list at `path` with the list's delimiter (ListDelimiter).
    SentListRead Load(const char* path);
    void Clear();

    // Whether the sent list's first record, its header, is `headerRaw`: a
    // sent list written for another list proves nothing about this one.
    bool HeaderIs(const char* headerRaw) const;

    // Records held (the header aside).
    long Count() const { return records_; }
    // Whether the file's last line ended in a line break; an append must
    // otherwise start a new line first.
    bool EndsWithLineBreak() const { return endsWithLineBreak_; }

    // Whether a record of this raw text is among those held and not taken
    // yet; when it is, one of them is taken.
    bool Take(const char* raw);
    // Everything taken is held again (for the next pass over the list).
    void GiveBack();

private:
    // 24 bytes in either build: a sent list of a million records fits a
    // 32-bit client's address space with room to spare.
    struct Entry {
        uint64_t hash;
        uint32_t offset; // of the text in text_
        uint32_t length;
        int32_t held;
        int32_t left;
    };
    bool Add(const char* raw);
    Entry* Find(uint64_t hash, const char* text, size_t length);
    bool Grow();

    Entry* entries_ = nullptr;
    size_t capacity_ = 0; // a power of two, or 0
    size_t used_ = 0;
    char* text_ = nullptr;
    size_t textSize_ = 0, textUsed_ = 0;
    long records_ = 0;
    bool endsWithLineBreak_ = true;
    char* header_ = nullptr;
};
