#include "engine/job_journal.h"

#include "base/data_paths.h"
#include "base/string_ids.h"
#include "data/job_logs.h"
#include "data/job_progress.h"
#include "data/mailing_shelf.h"
#include "engine/release_plan.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr UINT kErrorFlags = MB_ICONEXCLAMATION;
} // namespace

bool JobJournal::Open(const JournalStart& start, JobPump* pump) {
    if (!start.continuing) {
        // Another mailing that did not finish is put aside, not replaced;
        // when it cannot be, nothing of it is overwritten.
        if (!ShelveCurrentMailing(MailingKey{start.listPath, start.subject, start.mailingId})) {
            pump->SayString(IDS_CANNOT_OPEN_JOB_STATE, kErrorFlags);
            return false;
        }
        DeleteFileA(DataPaths.jobState); // it describes the mailing about to be replaced
    }
    currentJobLog_ = CrtFileRef(CrtOpen(DataPaths.currentJobLog, start.continuing ? "a" : "w"));
    pump->CountTime();
    if (!currentJobLog_) {
        pump->SayString(IDS_CANNOT_OPEN_CURRENT_JOB_LOG, kErrorFlags);
        return false;
    }
    pump->LogStopsTo(currentJobLog_.Get());
    SYSTEMTIME started;
    GetLocalTime(&started);
    WriteJobLogHeader(currentJobLog_.Get(), start.subject, start.recipientsInFile, start.listPath,
                      started);
    char continued[160] = "";
    if (start.continuing) {
        std::snprintf(continued, sizeof continued,
                      "Continuing the last mailing: %d of its recipients were sent already, %d "
                      "are left",
                      start.alreadySent, start.left);
        Log(continued);
    }
    jobHistoryLog_ = CrtFileRef(CrtOpen(DataPaths.jobHistory, "a+"));
    if (!jobHistoryLog_) {
        pump->SayString(IDS_CANNOT_OPEN_JOB_HISTORY, kErrorFlags);
        return false;
    }
    WriteJobLogHeader(jobHistoryLog_.Get(), start.subject, start.recipientsInFile, start.listPath,
                      started);
    if (start.continuing)
        CrtPrintf(jobHistoryLog_.Get(), "%s\n", continued);
    sentListLog_ = CrtFileRef(CrtOpen(DataPaths.sentList, start.continuing ? "a" : "w"));
    if (!sentListLog_) {
        pump->SayString(IDS_CANNOT_OPEN_SENT_LIST, kErrorFlags);
        return false;
    }
    if (!start.continuing)
        CrtPrintf(sentListLog_.Get(), "%s", start.headerLine);
    else if (start.sentListUnterminated)
        CrtPrintf(sentListLog_.Get(), "\n"); // the next record starts a line of its own
    CrtFlush(sentListLog_.Get());
    return OpenJobState(start, pump);
}

bool JobJournal::OpenJobState(const JournalStart& start, JobPump* pump) {
    jobState_ = CrtFileRef(CrtOpen(DataPaths.jobState, start.continuing ? "a" : "w"));
    if (!jobState_) {
        pump->SayString(IDS_CANNOT_OPEN_JOB_STATE, kErrorFlags);
        return false;
    }
    if (start.continuing) {
        WriteJobStateContinued(jobState_.Get());
        // The list may have been renamed and the subject edited since: the
        // state names them as this run's copies go.
        WriteJobStateListAndSubject(jobState_.Get(), start.listPath, start.subject);
    } else
        WriteJobStateStart(jobState_.Get(), start.listPath, start.subject);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[24];
    std::snprintf(date, sizeof date, "%u/%u/%u", now.wMonth, now.wDay, now.wYear);
    // Before anything is sent, the state must say whose mailing this is and
    // carry its doubts: a disk that takes no more ends the job here.
    bool written = WriteJobStateMailing(jobState_.Get(), start.mailingId, date);
    for (int i = 0; written && start.continuing && start.doubts && i < start.doubts->Count(); ++i)
        written = WriteJobStateDoubt(jobState_.Get(), start.doubts->At(i));
    if (written && start.sheetName)
        written = WriteJobStateSheet(jobState_.Get(), start.sheetName, start.includeHidden);
    if (!written) {
        pump->SayString(IDS_CANNOT_OPEN_JOB_STATE, kErrorFlags);
        return false;
    }
    return true;
}

void JobJournal::Log(const char* text) {
    if (currentJobLog_)
        CrtPrintf(currentJobLog_.Get(), "%s\n", text);
}

void JobJournal::LogBoth(const char* text) {
    Log(text);
    if (jobHistoryLog_)
        CrtPrintf(jobHistoryLog_.Get(), "%s\n", text);
}

void JobJournal::Write(const char* text, size_t length) {
    if (currentJobLog_)
        CrtWrite(text, length, currentJobLog_.Get());
}

bool JobJournal::MarkSending(long line, uint64_t hash, const char* address,
                             const FILETIME* releaseUtc) {
    return !jobState_ || WriteJobStateSending(jobState_.Get(), line, hash, sentRecords_, address,
                                              releaseUtc ? UtcSecondsOf(*releaseUtc) : -1);
}

void JobJournal::Settle(const char* address) {
    if (jobState_)
        WriteJobStateSettled(jobState_.Get(), address);
}

void JobJournal::RecordSent(const char* recordLine) {
    if (currentJobLog_)
        CrtFlush(currentJobLog_.Get());
    if (sentListLog_) {
        CrtWrite(recordLine, std::strlen(recordLine), sentListLog_.Get());
        CrtFlush(sentListLog_.Get());
    }
    ++sentRecords_;
}

void JobJournal::Close(int result, int sent) {
    sentListLog_.Close();
    if (jobState_) {
        WriteJobStateEnd(jobState_.Get(), result == 1);
        jobState_.Close();
    }
    if (jobHistoryLog_) {
        WriteJobLogFooter(jobHistoryLog_.Get(), result, sent);
        jobHistoryLog_.Close();
    }
    if (currentJobLog_) {
        WriteJobLogFooter(currentJobLog_.Get(), result, sent);
        currentJobLog_.Close();
    }
}
