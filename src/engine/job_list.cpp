#include "engine/job_list.h"

#include "base/string_ids.h"
#include "engine/mailing_job.h"

#include <cstdio>

bool JobList::Open(JobPump* pump) {
    Close();
    bool outOfMemory = false;
    file_ = OpenListFile(MailingJob::jobListPath, &outOfMemory);
    if (!file_)
        pump->SayString(outOfMemory ? IDS_OUT_OF_MEMORY : IDS_CANNOT_OPEN_MAILING_LIST,
                        MB_ICONEXCLAMATION);
    read_ = 0;
    return file_ != nullptr;
}

void JobList::Close() {
    if (file_)
        CloseListFile(file_);
    file_ = nullptr;
}

bool JobList::Next(bool withHeader) {
    // The header is read by the first call of every pass; only the counting
    // pass keeps it (and its raw text), the others pass over it.
    const int got = ReadNextRecipient(
        &list_, file_, read_, address_, withHeader && read_ == 0 ? headerLine_ : nullptr,
        withHeader ? nullptr : recordLine_, withHeader ? &list_.header : nullptr, &list_.current);
    if (got != 1)
        return false;
    ++read_;
    return true;
}

void JobList::TakeWorkbookFacts() {
    isWorkbook_ = ::TakeWorkbookFacts(ListFileWorkbook(file_), &workbook_);
}

const char* JobList::StopWhy(JobPump* pump) const {
    // Running out of memory is told in its own box too.
    if (StopReason() == ListStopNoMemory)
        pump->SayString(IDS_OUT_OF_MEMORY, MB_ICONEXCLAMATION);
    return ListFileStopText(file_);
}
