#include "engine/job_run.h"

#include "base/messages.h"
#include "base/string_ids.h"
#include "base/utf8.h"
#include "client/client_commands.h"
#include "client/host_application.h"
#include "data/job_logs.h"
#include "data/merge.h"
#include "data/settings.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr UINT kErrorFlags = MB_ICONEXCLAMATION;
// The most header fields named for an address that are weighed against each
// other.
constexpr int kAddressColumnsWeighed = 16;
// The most of a passed-over value a log line shows.
constexpr size_t kShownValueSize = 120;
constexpr UINT kQuestionFlags = MB_YESNO | MB_ICONQUESTION;
constexpr DWORD kPollSlice = 100; // ms

void CopyText(char* destination, size_t size, const char* text) {
    std::snprintf(destination, size, "%s", text);
}
} // namespace

// ---- Shared fields ------------------------------------------------------------------------------

int MailingJob::runState = kJobIdle;
char MailingJob::statusText[512] = "Not Running";
double MailingJob::percentDone = 0.0;
int MailingJob::progressPos = 0;
DWORD MailingJob::elapsedMs = 0;
int MailingJob::sentCount = 0;
HWND MailingJob::jobDialog = nullptr;
char MailingJob::jobListPath[260] = "";

void MailingJob::ResetShared() {
    runState = kJobIdle;
    CopyText(statusText, sizeof statusText, "Not Running");
    percentDone = 0.0;
    progressPos = 0;
    elapsedMs = 0;
    sentCount = 0;
    jobDialog = nullptr;
    jobListPath[0] = '\0';
}

void MailingJob::PrepareNew(const char* listPath, HWND dialog) {
    if (listPath != jobListPath)
        CopyText(jobListPath, sizeof jobListPath, listPath);
    // The last mailing's logs stay until this job has read and checked its
    // list: a Send refused on the way must not erase the only record of who
    // was mailed before.
    progressPos = 0;
    percentDone = 0.0;
    sentCount = 0;
    jobDialog = dialog;
}

void MailingJob::Run(ComposeContext* context, ReviewHandler review) {
    JobRun run(context, review);
    run.Execute();
    run.Finish();
}

// ---- Polling, time and progress -----------------------------------------------------------------

bool PumpMessages(CrtFile* currentJobLog) {
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The thread is asked to end (the client closing down): the
                // job stops as a cancel stops it, and the request goes back
                // in the queue for the loop that owns the thread.
                if (currentJobLog)
                    CrtPrintf(currentJobLog, "Job Stopped\n");
                PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (MailingJob::runState == kJobIdle) {
            if (currentJobLog)
                CrtPrintf(currentJobLog, "Job Stopped\n");
            return false;
        }
        if (MailingJob::runState == kJobRunning)
            return true;
        Sleep(kPollSlice);
    }
}

void AccumulateElapsed(DWORD* lastTick, DWORD* elapsedMs) {
    const DWORD now = GetTickCount();
    if (now > *lastTick)
        *elapsedMs += now - *lastTick;
    *lastTick = GetTickCount();
}

void SetProgressStatus(const char* text, int n, int total) {
    std::snprintf(MailingJob::statusText, sizeof MailingJob::statusText, "%d of %d: %s", n, total,
                  text);
    if (total >= 1) {
        MailingJob::percentDone = (n - 1) * 100.0 / total;
        MailingJob::progressPos = static_cast<int>(MailingJob::percentDone);
    }
}

// ---- Buffers ------------------------------------------------------------------------------------

bool MergeBuffer::Resize(size_t bytes) {
    void* grown = MemRealloc(text_, bytes);
    if (!grown)
        return false;
    text_ = static_cast<char*>(grown);
    return true;
}

void MergeBuffer::Free() {
    MemFree(text_);
    text_ = nullptr;
}

// ---- The run ------------------------------------------------------------------------------------

JobRun::JobRun(ComposeContext* context, ReviewHandler review)
    : context_(context), reviewHandler_(review) {
    // The job's own references: the compose window may be closed or sent
    // while the job pumps messages, and its record let go of the context.
    if (context) {
        item_ = context->mailItem;
        message_ = context->message;
    }
}

JobRun::~JobRun() {
    if (!finished_)
        Finish();
}

void JobRun::SetStatus(const char* text) {
    CopyText(MailingJob::statusText, sizeof MailingJob::statusText, text);
}

void JobRun::Log(const char* text) {
    if (currentJobLog_)
        CrtPrintf(currentJobLog_, "%s\n", text);
}

void JobRun::ShowError(const char* text) {
    AskUtf8(text, kErrorFlags);
}

void JobRun::LogAndShow(const char* text) {
    Log(text);
    ShowError(text);
}

void JobRun::Execute() {
    if (!context_.Get() || !item_ || !message_)
        return;
    if (!context_->ownerWindow)
        context_->ownerWindow = GetDesktopWindow();
    owner_ = context_->ownerWindow;
    lastTick_ = GetTickCount();
    MailingJob::elapsedMs = 0;

    if (!CaptureOriginal())
        return;
    if (!LookForLastJob())
        return;
    if (!CountRecipients())
        return;
    // Now that the field names are known, tokens the editor split are mended.
    if (originalHtmlBody_)
        UnsplitHtmlTokens(originalHtmlBody_.Get(), &list_.header);
    if (!OfferToContinue())
        return;
    if (!Review())
        return;
    if (!OpenLogs())
        return;

    listFile_ = OpenList();
    if (!listFile_)
        return;
    // The sending pass logs each record it passes over, in its place among
    // the messages sent.
    list_.onSkipped = LogPassedOver;
    list_.skipContext = this;
    step_ = JobStep::ListReopened;
    try {
        Send();
    } catch (...) {
        char text[128];
        std::snprintf(text, sizeof text, "Unknown error caught during message %d at line %d",
                      MailingJob::sentCount + 1, static_cast<int>(step_));
        LogAndShow(text);
        result_ = recipientCount_ > 0 && MailingJob::sentCount == recipientCount_ ? 1 : 0;
    }
}

// The counting pass: finds the e-mail column and the number of usable
// recipients, and keeps the header record and its raw text for the job.
bool JobRun::CountRecipients() {
    SetStatus("Reading Mailing List");
    ListFile* file = OpenList();
    if (!file)
        return false;
    list_.emailColumn = -1;
    context_->emailFieldIndex = -1;
    MailingJob::sentCount = 0;
    headerLine_[0] = '\0';
    recipientCount_ = 0;
    list_.onSkipped = ReviewPassedOver;
    list_.skipContext = this;
    for (int read = 0;
         ReadNextRecipient(&list_, file, read, address_, read == 0 ? headerLine_ : nullptr, nullptr,
                           &list_.header, &list_.current) == 1;
         ++read) {
        if (CountRecord())
            ReviewRecord();
    }
    list_.onSkipped = nullptr;

    // A list that could not be read to its end is not sent at all: sending
    // to the recipients before the line where reading stopped would report a
    // complete job to a user whose list was not.
    if (ListFileStopReason(file) != ListStopNone) {
        ReportListStopped(file, true);
        CloseListFile(file);
        return false;
    }
    CloseListFile(file);

    if (list_.emailColumn == -1) {
        StringMessageBox(owner_, IDS_NO_EMAIL_FIELD, kProductName, kErrorFlags);
        if (StringMessageBox(owner_, IDS_ASK_MAILING_LIST_HELP, kProductName, kQuestionFlags) ==
            IDYES)
            ShowHelpTopic(owner_, IDS_HELP_MAILING_LISTS);
        return false;
    }
    if (!ChooseAddressColumn())
        return false;
    context_->emailFieldIndex = list_.emailColumn;
    return true;
}

// Counts the usable recipients of a list whose e-mail column is known.
void JobRun::CountWithColumn(ListFile* file) {
    recipientCount_ = 0;
    alreadySent_ = 0;
    doubtSeen_ = false;
    sent_.GiveBack();
    review_.Clear();
    reviewBegun_ = false;
    list_.onSkipped = ReviewPassedOver;
    list_.skipContext = this;
    for (int read = 0; ReadNextRecipient(&list_, file, read, address_, nullptr, nullptr, nullptr,
                                         &list_.current) == 1;
         ++read) {
        if (CountRecord())
            ReviewRecord();
    }
    list_.onSkipped = nullptr;
}

// A header may name several fields for an address ("Email Opt-In" before
// "Email Address"). The first of them is taken by its name alone; when
// another holds more usable addresses, that one is the list's e-mail column
// and the recipients are counted again with it.
bool JobRun::ChooseAddressColumn() {
    int columns[kAddressColumnsWeighed];
    const int count = AddressColumns(&list_.header, columns, kAddressColumnsWeighed);
    if (count < 2)
        return true;
    const int best = BestAddressColumn(MailingJob::jobListPath, columns, count);
    if (best < 0 || best == list_.emailColumn)
        return true;
    list_.emailColumn = best;
    ListFile* file = OpenList();
    if (!file)
        return false;
    CountWithColumn(file);
    const bool stopped = ListFileStopReason(file) != ListStopNone;
    if (stopped)
        ReportListStopped(file, true);
    CloseListFile(file);
    return !stopped;
}

// A list that mails nobody is no success: the job ends not complete, which
// keeps the composed message, and says why. The current job log names each
// record passed over.
void JobRun::TellNobodyMailed() {
    const int column = list_.emailColumn;
    const char* name =
        column >= 0 && column < list_.header.count ? list_.header.values[column] : "";
    char shown[kShownValueSize];
    CopyForLogLine(shown, sizeof shown, name);
    char text[400];
    std::snprintf(text, sizeof text,
                  "No record of the mailing list has a usable e-mail address in its \"%s\" "
                  "column, so nothing was sent.\nThe current job log names each record left out.",
                  shown);
    Log(text);
    ShowError(text);
}

void JobRun::LogPassedOver(void* run, const ListRecord& record, ListSkipReason reason,
                           const char* value) {
    auto* self = static_cast<JobRun*>(run);
    char text[kShownValueSize + 96];
    if (reason == ListSkipNoAddress) {
        std::snprintf(text, sizeof text, "Not sent: line %ld has no e-mail address", record.line);
    } else {
        char shown[kShownValueSize];
        CopyForLogLine(shown, sizeof shown, value);
        std::snprintf(text, sizeof text, "Not sent: line %ld, \"%s\" is not one e-mail address",
                      record.line, shown);
    }
    self->Log(text);
}

// Memory that runs out while the list is opened is told as such, as it is
// when it runs out while the list is read, not as a file that is missing.
ListFile* JobRun::OpenList() {
    bool outOfMemory = false;
    ListFile* file = OpenListFile(MailingJob::jobListPath, &outOfMemory);
    if (!file)
        StringMessageBox(owner_, outOfMemory ? IDS_OUT_OF_MEMORY : IDS_CANNOT_OPEN_MAILING_LIST,
                         kProductName, kErrorFlags);
    return file;
}

void JobRun::ReportListStopped(ListFile* file, bool counting) {
    const char* why = "it could not be read";
    switch (ListFileStopReason(file)) {
    case ListStopTooLong:
        why = "a record of 512 bytes or more";
        break;
    case ListStopBadText:
        why = "text that is not in the encoding the file is marked with";
        break;
    case ListStopNul:
        why = "a NUL character";
        break;
    case ListStopNoMemory:
        why = "not enough memory";
        break;
    default:
        break;
    }
    char text[256];
    if (counting) {
        std::snprintf(text, sizeof text,
                      "The mailing list could not be read at line %ld (%s).\nNothing was sent.",
                      ListFileStopLine(file), why);
        ShowError(text);
    } else {
        std::snprintf(text, sizeof text,
                      "The mailing list could not be read at line %ld (%s) during message %d",
                      ListFileStopLine(file), why, MailingJob::sentCount + 1);
        Log(text);
    }
}

// A fresh job replaces the last mailing's current log and sent list; a job
// that continues the last mailing adds to them, so that they hold the whole
// mailing once.
bool JobRun::OpenLogs() {
    SetStatus("Opening Logs");
    if (!continuing_)
        DeleteFileA(DataPaths.jobState); // it describes the mailing about to be replaced
    currentJobLog_ = CrtOpen(DataPaths.currentJobLog, continuing_ ? "a" : "w");
    AccumulateElapsed(&lastTick_, &MailingJob::elapsedMs);
    if (!currentJobLog_) {
        StringMessageBox(owner_, IDS_CANNOT_OPEN_CURRENT_JOB_LOG, kProductName, kErrorFlags);
        return false;
    }
    // The path as the user typed it, in the ANSI code page: the logs are UTF-8.
    char listPath[3 * sizeof MailingJob::jobListPath];
    AnsiToUtf8(MailingJob::jobListPath, listPath, sizeof listPath);
    const int inFile = recipientCount_ + alreadySent_;
    SYSTEMTIME started;
    GetLocalTime(&started);
    WriteJobLogHeader(currentJobLog_, originalSubject_.Get(), inFile, listPath, started);
    char continued[160] = "";
    if (continuing_) {
        std::snprintf(continued, sizeof continued,
                      "Continuing the last mailing: %d of its recipients were sent already, %d "
                      "are left",
                      alreadySent_, recipientCount_);
        Log(continued);
    }
    jobHistoryLog_ = CrtOpen(DataPaths.jobHistory, "a+");
    if (!jobHistoryLog_) {
        StringMessageBox(owner_, IDS_CANNOT_OPEN_JOB_HISTORY, kProductName, kErrorFlags);
        return false;
    }
    WriteJobLogHeader(jobHistoryLog_, originalSubject_.Get(), inFile, listPath, started);
    if (continuing_)
        CrtPrintf(jobHistoryLog_, "%s\n", continued);
    sentListLog_ = CrtOpen(DataPaths.sentList, continuing_ ? "a" : "w");
    if (!sentListLog_) {
        StringMessageBox(owner_, IDS_CANNOT_OPEN_SENT_LIST, kProductName, kErrorFlags);
        return false;
    }
    if (!continuing_)
        CrtPrintf(sentListLog_, "%s", headerLine_);
    else if (!sent_.EndsWithLineBreak())
        CrtPrintf(sentListLog_, "\n"); // the next record starts a line of its own
    CrtFlush(sentListLog_);
    return OpenJobState(listPath);
}

bool JobRun::OpenJobState(const char* listPath) {
    jobState_ = CrtOpen(DataPaths.jobState, continuing_ ? "a" : "w");
    if (!jobState_) {
        StringMessageBox(owner_, IDS_CANNOT_OPEN_JOB_STATE, kProductName, kErrorFlags);
        return false;
    }
    if (continuing_)
        WriteJobStateContinued(jobState_);
    else
        WriteJobStateStart(jobState_, listPath, originalSubject_.Get());
    return true;
}

bool JobRun::SentBefore() {
    return continuing_ && sent_.Take(recordLine_);
}

bool JobRun::Merge(const char* original, MergeBuffer* merged, bool html) {
    // The measure is at most kMergeMaximumNeed, so need + 10 and need + 1
    // cannot overflow; a measure that would not hold the original itself
    // fails like any merge rather than being copied into.
    auto mergeInto = [&](char* text, int capacity, int* need) {
        return html ? MergeHtmlFields(text, capacity, &list_.header, &list_.current,
                                      &escapedRecord_, need)
                    : MergeFields(text, capacity, &list_.header, &list_.current, need);
    };
    if (html && !EscapeHtmlValues(&list_.current, &escapedRecord_))
        return false;
    int need = 0;
    const size_t length = std::strlen(original);
    bool merges = mergeInto(const_cast<char*>(original), 0, &need) == 1 &&
                  need >= kMergeMinimumNeed && need <= kMergeMaximumNeed &&
                  length < static_cast<size_t>(need);
    if (merges) {
        if (!merged->Resize(static_cast<size_t>(need) + 10))
            return false;
        std::memcpy(merged->Get(), original, length + 1);
        merges = mergeInto(merged->Get(), need + 1, nullptr) == 1;
    }
    if (!merges) {
        Log("Mail merge error");
        StringMessageBox(owner_, IDS_MERGE_FAILED, kProductName, kErrorFlags);
    }
    return merges;
}

// The sending pass. Returns when the list is done or a step ended the job;
// errors that no step handles reach the catch-all in Execute.
void JobRun::Send() {
    if (!mergedSubject_.Resize(std::strlen(originalSubject_.Get()) + 1) ||
        !mergedBody_.Resize(std::strlen(originalBody_.Get()) + 1) ||
        (originalHtmlBody_ && !mergedHtmlBody_.Resize(std::strlen(originalHtmlBody_.Get()) + 1)))
        return;

    // The limit the user set for this run: the rest is left, and the next
    // run of the same mailing continues with it.
    if (JobOptions.MaxPerRun > 0 && JobOptions.MaxPerRun < recipientCount_) {
        leftByLimit_ = recipientCount_ - JobOptions.MaxPerRun;
        recipientCount_ = JobOptions.MaxPerRun;
    }
    long passedOver = 0;
    for (int messageNumber = 0, read = 0;;) {
        step_ = JobStep::ReadingRecord;
        if (!ReadNextRecipient(&list_, listFile_, read, address_, nullptr, recordLine_, nullptr,
                               &list_.current))
            break;
        ++read;
        if (SentBefore()) {
            // Passing over a long run of records sent before still lets the
            // client and the dialog breathe now and then.
            if (++passedOver % 4096 == 0 && !PumpMessages(currentJobLog_))
                return;
            continue;
        }
        if (!ExtrasUsable(true))
            continue;
        if (++messageNumber > recipientCount_)
            break;
        AccumulateElapsed(&lastTick_, &MailingJob::elapsedMs);
        if (!PumpMessages(currentJobLog_))
            return;
        lastTick_ = GetTickCount();

        // The options are read at each use, so a change made in the options
        // dialog while the job runs applies from then on.
        step_ = JobStep::Pausing;
        if (MailingJob::sentCount > 0 && JobOptions.Pause > 0) {
            SetProgressStatus("Pausing Between Mails", MailingJob::sentCount + 1, recipientCount_);
            for (int slice = 0; slice < JobOptions.Pause * 10; ++slice) {
                Sleep(kPollSlice);
                AccumulateElapsed(&lastTick_, &MailingJob::elapsedMs);
                if (!PumpMessages(currentJobLog_))
                    return;
                lastTick_ = GetTickCount();
            }
        }

        step_ = JobStep::SendReceiveCheck;
        SendReceiveIfDue(MailingJob::sentCount + 1);

        step_ = JobStep::Merging;
        SetProgressStatus("Creating Message", MailingJob::sentCount + 1, recipientCount_);
        if (!Merge(originalSubject_.Get(), &mergedSubject_, false) ||
            !Merge(originalBody_.Get(), &mergedBody_, false) ||
            (originalHtmlBody_ && !Merge(originalHtmlBody_.Get(), &mergedHtmlBody_, true)))
            return;

        if (doubtOpen_ && ListRecordHash(recordLine_) == doubtHash_) {
            doubtOpen_ = false;
            if (SettleInDoubt()) {
                // An earlier run's message: it is no longer this run's to send.
                --messageNumber;
                --recipientCount_;
                ++alreadySent_;
                continue;
            }
        }
        if (!SendCopy())
            return;
    }

    // The list changed since it was counted: the job did not get through it,
    // but the copies it did submit still get the final Send/Receive.
    const bool stoppedEarly = ListFileStopReason(listFile_) != ListStopNone;
    if (stoppedEarly)
        ReportListStopped(listFile_, false);

    step_ = JobStep::FinalSendReceive;
    SendReceiveIfDue(MailingJob::sentCount);
    // A continued mailing whose records were all sent by earlier runs is
    // complete; a list that mails nobody is not.
    const bool anyone = recipientCount_ + alreadySent_ > 0;
    const bool allSent = MailingJob::sentCount == recipientCount_;
    result_ = !stoppedEarly && anyone && allSent && leftByLimit_ == 0 ? 1 : 0;
    if (leftByLimit_ > 0 && allSent && !stoppedEarly) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Stopped at this run's limit of %d messages: %d recipients are left. Send "
                      "the same message to the same list again to continue.",
                      recipientCount_, leftByLimit_);
        Log(text);
        if (jobHistoryLog_)
            CrtPrintf(jobHistoryLog_, "%s\n", text);
    }
    if (!anyone && !stoppedEarly)
        TellNobodyMailed();
}

// A Send/Receive that fails or cannot be started does not end the job.
void JobRun::SendReceiveIfDue(int shownNumber) {
    if (JobOptions.DoSendRecv != 1 || sendRecvCounter_ < JobOptions.SendRecvCount)
        return;
    SetProgressStatus("Issuing a Send/Receive", shownNumber, recipientCount_);
    try {
        IssueSendReceive();
    } catch (...) {
    }
    sendRecvCounter_ = 0;
}

void JobRun::Finish() {
    if (finished_)
        return;
    finished_ = true;
    originalSubject_.Reset();
    originalBody_.Reset();
    originalHtmlBody_.Reset();
    mergedSubject_.Free();
    mergedBody_.Free();
    mergedHtmlBody_.Free();
    if (listFile_) {
        CloseListFile(listFile_);
        listFile_ = nullptr;
    }
    if (sentListLog_) {
        CrtClose(sentListLog_);
        sentListLog_ = nullptr;
    }
    if (jobState_) {
        WriteJobStateEnd(jobState_, result_ == 1);
        CrtClose(jobState_);
        jobState_ = nullptr;
    }
    sent_.Clear();
    if (jobHistoryLog_) {
        WriteJobLogFooter(jobHistoryLog_, result_, MailingJob::sentCount);
        CrtClose(jobHistoryLog_);
        jobHistoryLog_ = nullptr;
    }
    if (currentJobLog_) {
        WriteJobLogFooter(currentJobLog_, result_, MailingJob::sentCount);
        CrtClose(currentJobLog_);
        currentJobLog_ = nullptr;
    }
    FreeListRecord(&list_.header);
    FreeListRecord(&list_.current);
    FreeListRecord(&escapedRecord_);
    copyItem_.Reset();
    copyMessage_.Reset();
    movedItem_.Reset();
    addressBook_.Reset();
    item_.Reset();
    message_.Reset();
    PostMessageA(MailingJob::jobDialog, JobFinishedMessage, static_cast<WPARAM>(result_), 0);
}
