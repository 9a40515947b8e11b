// The job's mailing list: the reader's state for the whole job (the header
// and its raw text, kept; the current record, its raw text and address) and
// the file of the pass under way, opened afresh for each pass and closed
// when the pass or the job ends.
#pragma once

#include "data/list_file.h"
#include "data/merged_texts.h"
#include "data/workbook_text.h"
#include "engine/job_pump.h"

// The reader's state, its records' storage given back with it.
struct JobMailingList : MailingList {
    JobMailingList() = default;
    JobMailingList(const JobMailingList&) = delete;
    JobMailingList& operator=(const JobMailingList&) = delete;
    ~JobMailingList() {
        FreeListRecord(&header);
        FreeListRecord(&current);
    }
};

class JobList {
public:
    JobList() = default;
    JobList(const JobList&) = delete;
    JobList& operator=(const JobList&) = delete;
    ~JobList() { Close(); }

    // Opens jobListPath for a pass, telling the user when it cannot be had
    // (memory that runs out as such, not as a file that is missing).
    bool Open(JobPump* pump);
    void Close();

    // The next recipient of the pass; the header first when `withHeader`
    // (its raw text kept). False at the end or when reading stopped.
    bool Next(bool withHeader);
    // Why the pass stopped before the end of the file, if it did.
    ListStopReason StopReason() const { return file_ ? ListFileStopReason(file_) : ListStopNone; }
    long StopLine() const { return file_ ? ListFileStopLine(file_) : 0; }
    // What a stop means to the user, "a record of 512 bytes or more" and
    // the like; memory that ran out is also told in its own box first.
    const char* StopWhy(JobPump* pump) const;

    JobMailingList& Reader() { return list_; }
    const ListRecord& Header() const { return list_.header; }
    const ListRecord& Current() const { return list_.current; }
    int EmailColumn() const { return list_.emailColumn; }
    const char* HeaderLine() const { return headerLine_; }
    const char* RecordLine() const { return recordLine_; }
    const char* Address() const { return address_; }
    // What the pass has read of the file so far (ListFileReadHash).
    void ReadHash(uint64_t* bytes, uint64_t* hash) const { ListFileReadHash(file_, bytes, hash); }
    // A workbook's sheets, the one read and the rows left out, as the pass
    // under way has read them (called at the end of the counting pass);
    // Workbook() is null for a text list.
    void TakeWorkbookFacts();
    const WorkbookListFacts* Workbook() const { return isWorkbook_ ? &workbook_ : nullptr; }
    // Records passed over are told to `handler` (null: to nobody).
    void TellSkipped(ListSkipHandler handler, void* context) {
        list_.onSkipped = handler;
        list_.skipContext = context;
    }

private:
    JobMailingList list_;
    ListFile* file_ = nullptr;
    int read_ = 0; // records read in this pass, the header included
    WorkbookListFacts workbook_;
    bool isWorkbook_ = false;
    char headerLine_[kListRawSize] = "";
    char recordLine_[kListRawSize] = "";
    char address_[kListAddressSize] = "";
};
