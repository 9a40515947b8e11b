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
    switch (StopReason()) {
    case ListStopTooLong:
        return "a record of 512 bytes or more";
    case ListStopBadText:
        return "text that is not in the encoding the file is marked with";
    case ListStopNul:
        return "a NUL character";
    case ListStopNotUtf8:
        return "a line that is not UTF-8 like the rest of the file";
    case ListStopWorkbook:
        return ListFileStopDetail(file_);
    case ListStopNoMemory:
        pump->SayString(IDS_OUT_OF_MEMORY, MB_ICONEXCLAMATION);
        return "not enough memory";
    default:
        return "it could not be read";
    }
}
