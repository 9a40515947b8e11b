// What a mailing writes down as it goes: the current job's log and the job
// history (each with its start and end blocks), the sent list (a mailing list
// itself, of the records mailed) and the job state file (which mailing, and
// the record whose copy is under way). The journal owns the four files; they
// are closed when it goes, and its Close writes their ends in the order a
// reader of the logs relies on.
#pragma once

#include "base/crt_file.h"
#include "data/job_progress.h"
#include "engine/job_pump.h"

#include <cstdint>

// What the logs' start blocks say of the mailing.
struct JournalStart {
    const char* subject = "";    // before merging, UTF-8
    const char* listPath = "";   // as the user typed it, UTF-8
    const char* headerLine = ""; // the list's header record, as read
    const char* mailingId = "";  // the mailing's id (last_mailing.h)
    int recipientsInFile = 0;
    bool continuing = false; // the logs of the last run are added to
    int alreadySent = 0;     // when continuing: mailed by the earlier runs
    int left = 0;            // ... and left for this one
    // The sent list kept from the last run ends without a line break.
    bool sentListUnterminated = false;
    // When continuing: the messages in doubt the earlier runs left, written
    // again so that they stay in doubt until a run settles them.
    const DoubtSet* doubts = nullptr;
    // A workbook's sheet the run reads (UTF-8), null for a text list.
    const char* sheetName = nullptr;
    bool includeHidden = false;
};

class JobJournal {
public:
    JobJournal() = default;
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    // A fresh mailing replaces the last one's current log and sent list; a
    // continued one adds to them, so that they hold the whole mailing once.
    // False, the user told, when a file cannot be opened; the ones opened
    // stay open for Close.
    bool Open(const JournalStart& start, JobPump* pump);
    CrtFile* CurrentLog() const { return currentJobLog_.Get(); }

    // A line of the current job's log ("\n" added); of both logs.
    void Log(const char* text);
    void LogBoth(const char* text);
    // The current job's log, as it is (the success lines).
    void Write(const char* text, size_t length);

    // Before anything of a copy exists: the record about to be sent, so that
    // a run that dies leaves this one record in doubt and no other. False
    // when the mark did not reach the system. `releaseUtc`: when the client
    // releases the copy, null for at once.
    bool MarkSending(long line, uint64_t hash, const char* address,
                     const FILETIME* releaseUtc = nullptr);
    // A message in doubt decided (looked up, or by the user).
    void Settle(const char* address);
    // The record is mailed: the current log and the sent list both reach
    // the system before the next message starts.
    void RecordSent(const char* recordLine);
    // Records the sent list holds, the earlier runs' included.
    void SetSentRecords(long count) { sentRecords_ = count; }

    // The end of the job: the sent list and the state file ("Ended: ...")
    // closed, then the footers of the history and of the current log.
    void Close(int result, int sent);

private:
    bool OpenJobState(const JournalStart& start, JobPump* pump);

    CrtFileRef currentJobLog_, jobHistoryLog_, sentListLog_, jobState_;
    long sentRecords_ = 0;
};
