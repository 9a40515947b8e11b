#include "engine/job_run.h"

#include "base/data_paths.h"
#include "base/line_text.h"
#include "base/string_ids.h"
#include "base/utf8.h"
#include "client/client_call.h"
#include "client/client_commands.h"
#include "data/merge.h"
#include "data/settings.h"
#include "engine/doubt_lookup.h"
#include "engine/mailing_job.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr UINT kErrorFlags = MB_ICONEXCLAMATION;
constexpr UINT kQuestionFlags = MB_YESNO | MB_ICONQUESTION;
// The most header fields named for an address that are weighed against each
// other.
constexpr int kAddressColumnsWeighed = 16;
// The most of a passed-over value a log line shows.
constexpr size_t kShownValueSize = 120;
// A long pass hands the thread back every so many records: about a
// millisecond's reading, and the same places for the same list.
constexpr unsigned kRecordsPerPump = 1024;
constexpr unsigned kPassedOverPerPump = 4096;
constexpr DWORD kPauseSlice = 100; // ms
} // namespace

JobRun::JobRun(ComposeContext* context, JobUser* user)
    : context_(context), user_(user), pump_(user),
      review_(ReviewParts{context ? context->mailItem.Get() : nullptr, context, &original_, &list_,
                          &plan_, &checks_, &tools_, &journal_, &pump_, &recipientCount_,
                          &last_.ReleaseTimes()}) {
    // The job's own references: the compose window may be closed or sent
    // while the job pumps messages, and its record let go of the context.
    if (context) {
        item_ = context->mailItem;
        message_ = context->message;
    }
}

void JobRun::LogAndShow(const char* text) {
    journal_.Log(text);
    pump_.Say(text, kErrorFlags);
}

void JobRun::Execute() {
    if (!Prepare() || !OpenJournal() || !list_.Open(&pump_))
        return;
    // The sending pass logs each record it passes over, in its place among
    // the messages sent.
    list_.TellSkipped(LogPassedOver, this);
    step_ = JobStep::ListReopened;
    Send();
}

// Everything before the first file is written: nothing the user decides
// against here leaves a trace of this job.
bool JobRun::Prepare() {
    if (!context_.Get() || !item_ || !message_)
        return false;
    pump_.StartClock();
    if (!original_.Capture(item_.Get(), message_.Get(), &pump_))
        return false;
    char listPath[3 * sizeof MailingJob::jobListPath];
    AnsiToUtf8(MailingJob::jobListPath, listPath, sizeof listPath);
    if (!last_.Look(listPath, original_.Subject(), message_.Get(), &pump_) ||
        !pump_.StillWanted() || !CountRecipients())
        return false;
    // Now that the field names are known, tokens the editor split are mended.
    if (char* html = original_.MutableHtmlBody())
        UnsplitHtmlTokens(html, &list_.Reader().header);
    // Whatever the user did while a question was open, the job goes on only
    // while its dialog still wants it.
    if (!last_.Offer(&recipientCount_, &pump_) || !pump_.StillWanted())
        return false;
    switch (ShowReview(false)) {
    case ReviewAnswer::Start:
    case ReviewAnswer::NotOffered:
        recipientCount_ -= static_cast<int>(review_.RefusedCopies());
        return pump_.StillWanted();
    case ReviewAnswer::NotShown:
        pump_.Say("The review before the mailing could not be shown, so nothing was sent.",
                  kErrorFlags);
        result_ = kJobNotStarted;
        return false;
    case ReviewAnswer::Back:
    case ReviewAnswer::ReadAgain:
        result_ = kJobNotStarted;
        return false;
    }
    return false;
}

// The review, shown again over the list counted anew each time the user
// picks another sheet of a workbook or includes its hidden rows.
// `again`: during the mailing, once the list changed. The choices the user
// made in a review before the list was read again are in the options, so
// that the next review shows them; a review left without starting gives the
// options back as they were.
ReviewAnswer JobRun::ShowReview(bool again) {
    const JobOptionsState before = JobOptions;
    ReviewAnswer answer = review_.Show(again);
    while (answer == ReviewAnswer::ReadAgain) {
        SetStatusText("Reading Mailing List");
        checks_.Forget();
        review_.Restart();
        if (!CountList(again) || !pump_.StillWanted()) {
            answer = ReviewAnswer::Back;
            break;
        }
        answer = review_.Show(true);
    }
    if (answer != ReviewAnswer::Start && answer != ReviewAnswer::NotOffered)
        JobOptions = before;
    return answer;
}

// The counting pass: finds the e-mail column and the number of usable
// recipients, and keeps the header record and its raw text for the job.
bool JobRun::CountRecipients() {
    SetStatusText("Reading Mailing List");
    MailingJob::sentCount = 0;
    return CountList(false);
}

// Counted again after the list changed, nothing is said to have been sent:
// what stops the count is logged as stopping the mailing.
bool JobRun::CountList(bool again) {
    if (!list_.Open(&pump_))
        return false;
    list_.Reader().emailColumn = -1;
    context_->emailFieldIndex = -1;
    recipientCount_ = 0;
    plan_.StartCount();
    list_.TellSkipped(JobReview::PassedOver, &review_);
    bool wanted = true;
    while (wanted && list_.Next(true))
        wanted = CountRecord() && pump_.Breathe(kRecordsPerPump);
    list_.TellSkipped(nullptr, nullptr);
    if (!wanted)
        return false;

    // A list that could not be read to its end is not sent at all: sending
    // to the recipients before the line where reading stopped would report a
    // complete job to a user whose list was not.
    if (list_.StopReason() != ListStopNone) {
        ReportListStopped(!again);
        list_.Close();
        return false;
    }
    plan_.TakeFingerprint(list_);
    list_.TakeWorkbookFacts();
    list_.Close();

    if (list_.EmailColumn() == -1) {
        pump_.SayString(IDS_NO_EMAIL_FIELD, kErrorFlags);
        if (pump_.SayString(IDS_ASK_MAILING_LIST_HELP, kQuestionFlags) == IDYES)
            pump_.ShowHelp(IDS_HELP_MAILING_LISTS);
        return false;
    }
    if (!ChooseAddressColumn(again))
        return false;
    context_->emailFieldIndex = list_.EmailColumn();
    return true;
}

bool JobRun::CountRecord() {
    const ListRecord& record = list_.Current();
    if (plan_.TakeSentBefore(list_.Address())) {
        review_.Recipient(record, list_.Address(), nullptr); // mailed before: not checked again
        return true;
    }
    if (!checks_.Usable(list_.Header(), list_.EmailColumn(), record, MailingJob::jobListPath)) {
        review_.NotBuildable(record, checks_.Extras()); // it cannot be mailed as it asks
        // Not mailed by this run, even should it be mended before its turn.
        if (plan_.Leave(record.line))
            return true;
        pump_.SayString(IDS_OUT_OF_MEMORY, kErrorFlags);
        return false;
    }
    if (!plan_.LedgerTaken())
        last_.NoteIfInDoubt(record, list_.Address());
    ++recipientCount_;
    review_.Recipient(record, list_.Address(), &checks_.Extras());
    return true;
}

// A header may name several fields for an address ("Email Opt-In" before
// "Email Address"). The first of them is taken by its name alone; when
// another holds more usable addresses, that one is the list's e-mail column
// and the recipients are counted again with it.
bool JobRun::ChooseAddressColumn(bool again) {
    int columns[kAddressColumnsWeighed];
    const int count = AddressColumns(&list_.Header(), columns, kAddressColumnsWeighed);
    if (count < 2)
        return true;
    const int best = BestAddressColumn(MailingJob::jobListPath, columns, count);
    if (best < 0 || best == list_.EmailColumn())
        return true;
    list_.Reader().emailColumn = best;
    if (!list_.Open(&pump_))
        return false;
    recipientCount_ = 0;
    plan_.StartCount();
    review_.Restart();
    list_.TellSkipped(JobReview::PassedOver, &review_);
    bool wanted = true;
    while (wanted && list_.Next(false))
        wanted = CountRecord() && pump_.Breathe(kRecordsPerPump);
    list_.TellSkipped(nullptr, nullptr);
    const bool stopped = list_.StopReason() != ListStopNone;
    if (stopped)
        ReportListStopped(!again);
    list_.Close();
    return wanted && !stopped;
}

void JobRun::ReportListStopped(bool counting) {
    const char* why = list_.StopWhy(&pump_);
    char text[256];
    if (counting) {
        std::snprintf(text, sizeof text,
                      "The mailing list could not be read at line %ld (%s).\nNothing was sent.",
                      list_.StopLine(), why);
        pump_.Say(text, kErrorFlags);
    } else {
        std::snprintf(text, sizeof text,
                      "The mailing list could not be read at line %ld (%s) during message %d",
                      list_.StopLine(), why, MailingJob::sentCount + 1);
        journal_.Log(text);
    }
}

// A list that mails nobody is no success: the job ends not complete, which
// keeps the composed message, and says why. The current job log names each
// record passed over.
void JobRun::TellNobodyMailed() {
    const int column = list_.EmailColumn();
    const ListRecord& header = list_.Header();
    const char* name = column >= 0 && column < header.count ? header.values[column] : "";
    char shown[kShownValueSize];
    CopyForLogLine(shown, sizeof shown, name);
    char text[400];
    std::snprintf(text, sizeof text,
                  "No record of the mailing list has a usable e-mail address in its \"%s\" "
                  "column, so nothing was sent.\nThe current job log names each record left out.",
                  shown);
    LogAndShow(text);
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
    self->journal_.Log(text);
    ++MailingJob::notSentCount;
}

bool JobRun::OpenJournal() {
    SetStatusText("Opening Logs");
    // The path as the user typed it, in the ANSI code page: the logs are UTF-8.
    char listPath[3 * sizeof MailingJob::jobListPath];
    AnsiToUtf8(MailingJob::jobListPath, listPath, sizeof listPath);
    JournalStart start;
    start.subject = original_.Subject();
    start.listPath = listPath;
    start.headerLine = list_.HeaderLine();
    start.mailingId = last_.MailingId();
    start.recipientsInFile = recipientCount_ + last_.AlreadySent();
    start.continuing = last_.Continuing();
    start.alreadySent = last_.AlreadySent();
    start.left = recipientCount_;
    start.sentListUnterminated = last_.Continuing() && last_.SentListUnterminated();
    start.doubts = last_.Continuing() ? &last_.Doubts() : nullptr;
    const WorkbookListFacts* book = list_.Workbook();
    if (book && book->sheet >= 0 && static_cast<size_t>(book->sheet) < book->sheets.size()) {
        start.sheetName = book->sheets[static_cast<size_t>(book->sheet)].name.c_str();
        start.includeHidden = book->includeHidden;
    }
    journal_.SetSentRecords(last_.SentListRecords());
    const bool opened = journal_.Open(start, &pump_);
    MailingJob::logsOpened = journal_.CurrentLog() != nullptr;
    if (opened)
        last_.StampMessage(message_.Get());
    return opened;
}

// The sending pass. Returns when the list is done or a step ended the job.
// It mails each record the review counted, to the end of the list (or to
// this run's limit); a record it holds as not mailable is logged, not
// mailed in the place of another. Before anything of a list that changed is
// used, the list is reviewed again and the pass starts afresh.
void JobRun::Send() {
    texts_.SetOriginal(original_.Subject(), original_.Body(), original_.HtmlBody());
    if (!texts_.Reserve(true))
        return;
    ApplyLimit();
    release_.Start(last_.ReleaseTimes());
    plan_.NewPass();
    for (int messageNumber = 0;;) {
        step_ = JobStep::ReadingRecord;
        const bool got = list_.Next(false);
        if (!plan_.StillCounted(list_, !got)) {
            if (ReviewAgain())
                continue;
            // The copies submitted before still go out.
            step_ = JobStep::FinalSendReceive;
            SendReceiveIfDue(MailingJob::sentCount);
            return;
        }
        if (!got)
            break;
        if (plan_.SentBefore(list_.Address())) {
            // Passing over a long run of records sent before still lets the
            // client and the dialog breathe now and then.
            if (!pump_.Breathe(kPassedOverPerPump))
                return;
            continue;
        }
        if (plan_.CountedNotMailable(list_.Current().line)) {
            LogNotMailable();
            continue;
        }
        if (!checks_.Usable(list_.Header(), list_.EmailColumn(), list_.Current(),
                            MailingJob::jobListPath)) {
            char text[1024];
            checks_.NotSentText(list_.Current().line, text, sizeof text);
            journal_.Log(text);
            ++MailingJob::notSentCount;
            continue;
        }
        // Only the limit the user set ends the pass before the end of the list.
        if (leftByLimit_ > 0 && messageNumber >= recipientCount_)
            break;
        ++messageNumber;
        if (!SendRecord(&messageNumber))
            return;
    }
    EndSendingPass();
}

// The limit the user set for this run: the rest is left, and the next run
// of the same mailing continues with it.
void JobRun::ApplyLimit() {
    leftByLimit_ = 0;
    if (JobOptions.MaxPerRun > 0 && JobOptions.MaxPerRun < recipientCount_) {
        leftByLimit_ = recipientCount_ - JobOptions.MaxPerRun;
        recipientCount_ = JobOptions.MaxPerRun;
    }
}

void JobRun::LogNotMailable() {
    const ListRecord& record = list_.Current();
    char text[1024];
    if (!checks_.Usable(list_.Header(), list_.EmailColumn(), record, MailingJob::jobListPath))
        checks_.NotSentText(record.line, text, sizeof text);
    else
        std::snprintf(text, sizeof text,
                      "Not sent: line %ld could not be mailed when the mailing was reviewed",
                      record.line);
    journal_.Log(text);
    ++MailingJob::notSentCount;
}

// Whoever the sent list names has had a copy: the new count leaves them
// out, and the new pass passes over them, so no one gets a second one.
bool JobRun::ReviewAgain() {
    list_.Close();
    char text[128];
    std::snprintf(text, sizeof text, "The mailing list changed: reviewed again before message %d",
                  MailingJob::sentCount + 1);
    journal_.Log(text);
    if (!plan_.TakeLedger(DataPaths.sentList)) {
        journal_.Log("Job Stopped");
        return false;
    }
    SetStatusText("Reading Mailing List");
    const int sent = MailingJob::sentCount;
    checks_.Forget();
    review_.Restart();
    if (!CountList(true) || !pump_.StillWanted())
        return false;
    const ReviewAnswer answer = ShowReview(true);
    if (answer != ReviewAnswer::Start && answer != ReviewAnswer::NotOffered) {
        journal_.Log("Job Stopped");
        return false;
    }
    if (!pump_.StillWanted() || !list_.Open(&pump_))
        return false;
    recipientCount_ += sent - static_cast<int>(review_.RefusedCopies());
    ApplyLimit();
    list_.TellSkipped(LogPassedOver, this);
    MailingJob::notSentCount = 0; // the new pass logs its own
    plan_.NewPass();
    return true;
}

bool JobRun::SendRecord(int* messageNumber) {
    if (!pump_.Poll())
        return false;
    // The options are read at each use, so a change made in the options
    // dialog while the job runs applies from then on.
    step_ = JobStep::Pausing;
    if (MailingJob::sentCount > 0 && JobOptions.Pause > 0) {
        SetProgressStatus("Pausing Between Mails", MailingJob::sentCount + 1, recipientCount_);
        // The pause is read at every slice: lengthened in the options while
        // it runs, it lasts the new length.
        for (int slice = 0; slice < JobOptions.Pause * 10; ++slice)
            if (!pump_.Wait(kPauseSlice))
                return false;
    }
    step_ = JobStep::SendReceiveCheck;
    SendReceiveIfDue(MailingJob::sentCount + 1);

    step_ = JobStep::Merging;
    SetProgressStatus("Creating Message", MailingJob::sentCount + 1, recipientCount_);
    const MergeResult merged = texts_.Merge(list_.Header(), list_.Current());
    if (merged == MergeResult::Failed) {
        journal_.Log("Mail merge error");
        pump_.SayString(IDS_MERGE_FAILED, kErrorFlags);
    }
    if (merged != MergeResult::Merged)
        return false;

    if (last_.TakeDoubt(list_.Address())) {
        switch (SettleInDoubt()) {
        case Doubt::Stop:
            return false;
        case Doubt::CountedSent:
            // An earlier run's message: it is no longer this run's to send.
            --*messageNumber;
            --recipientCount_;
            last_.CountedSentBefore();
            return true;
        case Doubt::Send:
            break;
        }
    }
    return SendCopy();
}

JobRun::Doubt JobRun::SettleInDoubt() {
    char text[1024];
    const long line = list_.Current().line;
    const char* address = list_.Address();
    // The copy in doubt went with the subject of the run that left it,
    // which may have been edited since.
    MergeBuffer earlier;
    const char* subject = texts_.Subject();
    if (std::strcmp(last_.DoubtSubject(), original_.Subject()) != 0 &&
        MergeRecord(last_.DoubtSubject(), list_.Header(), list_.Current(), false, nullptr,
                    &earlier) == MergeResult::Merged)
        subject = earlier.Get();
    const DoubtFound found = LookUpInDoubt(subject, address, line, &journal_);
    // Decided from here on, whichever way: the next run is not handed it
    // again (a copy sent again is marked before it is made, as any other).
    if (found != DoubtFound::NotLookedUp)
        journal_.Settle(address);
    if (found == DoubtFound::NotLookedUp) {
        // The client cannot be searched: the user decides.
        char format[1024] = "";
        LoadStringA(DataPaths.module, IDS_ASK_SEND_IN_DOUBT, format, sizeof format);
        std::snprintf(text, sizeof text, format, address, line);
        const bool send = pump_.Say(text, kQuestionFlags) == IDYES;
        if (!pump_.StillWanted())
            return Doubt::Stop;
        journal_.Settle(address);
        std::snprintf(
            text, sizeof text, "In doubt: line %ld, To: %s. Not looked up: %s", line, address,
            send ? "sent again at the user's choice" : "counted as sent at the user's choice");
        journal_.Log(text);
        if (send)
            return Doubt::Send;
        journal_.RecordSent(list_.RecordLine());
        return Doubt::CountedSent;
    }
    if (found == DoubtFound::Nowhere) {
        std::snprintf(text, sizeof text,
                      "In doubt: line %ld, To: %s. Not in the Outbox or Sent Items: sent", line,
                      address);
        journal_.Log(text);
        return Doubt::Send;
    }
    std::snprintf(text, sizeof text, "In doubt: line %ld, To: %s. Found in %s: counted as sent",
                  line, address, found == DoubtFound::InOutbox ? "Outbox" : "Sent Items");
    journal_.Log(text);
    journal_.RecordSent(list_.RecordLine());
    return Doubt::CountedSent;
}

bool JobRun::SendCopy() {
    // Before anything of the copy exists: should the process die between
    // here and the success line, the next run knows this one record is in
    // doubt, and no other. A mark that cannot be written stops the job
    // rather than send what could not be accounted for.
    CopyOrder order;
    order.release = release_.Next(false);
    if (!journal_.MarkSending(list_.Current().line, ListRecordHash(list_.RecordLine()),
                              list_.Address(), order.release)) {
        LogAndShow("The job state file could not be written, so the mailing stops here.");
        return false;
    }
    order.original = item_.Get();
    order.context = context_.Get();
    order.texts = &texts_;
    order.html = original_.HtmlBody() != nullptr;
    order.extras = &checks_.Extras();
    order.address = list_.Address();
    order.line = list_.Current().line;
    order.number = MailingJob::sentCount + 1;
    order.total = recipientCount_;
    RecipientCopy copy(order, &tools_, &journal_, &pump_, &step_);
    switch (copy.Send()) {
    case CopyOutcome::Submitted:
        break;
    case CopyOutcome::LeftOut:
        ++MailingJob::notSentCount; // logged by the copy; the mailing stays open for it
        return true;
    case CopyOutcome::Ended:
        return false;
    case CopyOutcome::Raised:
        EndAtRaisedCall();
        return false;
    }
    step_ = JobStep::CountingAndLogging;
    ++sendRecvCounter_;
    ++MailingJob::sentCount;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // Numbered within the whole mailing, runs that continued it included.
    char line[kListAddressSize + 64];
    LineText text(line, sizeof line);
    text.Text("(")
        .Number(now.wHour)
        .Text(":")
        .Number(now.wMinute, 2)
        .Text(".")
        .Number(now.wSecond, 2)
        .Text(") # ")
        .Number(last_.AlreadySent() + MailingJob::sentCount)
        .Text(", To: ")
        .Text(list_.Address())
        .Text(". Sent Successfully\n");
    journal_.Write(line, text.Length());
    WriteCarriedLine();
    WriteWaitingLine();
    journal_.RecordSent(list_.RecordLine());
    return true;
}

// A copy handed over to wait for its time: sent, as far as the ledger goes
// (the client holds it), and its time on a line after the success line.
void JobRun::WriteWaitingLine() {
    if (!release_.LastWaits())
        return;
    char at[20];
    release_.LastRelease(at);
    char line[64];
    std::snprintf(line, sizeof line, "    Waiting until %s", at);
    journal_.Log(line);
}

void JobRun::TellWaiting() {
    MailingJob::waitingCount = release_.Waiting();
    release_.LastRelease(MailingJob::lastRelease);
    if (MailingJob::waitingCount == 0)
        return;
    char first[20];
    release_.FirstRelease(first);
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d messages wait in the Outbox for their time: the mailing's copies leave "
                  "from %s to %s.",
                  MailingJob::waitingCount, first, MailingJob::lastRelease);
    journal_.LogBoth(text);
}

// What the copy carried beyond its To, on a line of its own after the
// success line, which stays as it always was.
void JobRun::WriteCarriedLine() {
    char carried[2048];
    checks_.CarriedText(carried, sizeof carried);
    if (!carried[0])
        return;
    char line[sizeof carried + 16];
    std::snprintf(line, sizeof line, "    With %s", carried);
    journal_.Log(line);
}

// A client call that raised where no step handles it: the step it came
// from is named, and the job ends.
void JobRun::EndAtRaisedCall() {
    char text[128];
    std::snprintf(text, sizeof text, "Unknown error caught during message %d at line %d",
                  MailingJob::sentCount + 1, static_cast<int>(step_));
    LogAndShow(text);
    result_ = recipientCount_ > 0 && MailingJob::sentCount == recipientCount_ &&
                      MailingJob::notSentCount == 0 && leftByLimit_ == 0
                  ? 1
                  : 0;
}

void JobRun::EndSendingPass() {
    // The list changed since it was counted: the job did not get through it,
    // but the copies it did submit still get the final Send/Receive.
    const bool stoppedEarly = list_.StopReason() != ListStopNone;
    if (stoppedEarly)
        ReportListStopped(false);

    step_ = JobStep::FinalSendReceive;
    SendReceiveIfDue(MailingJob::sentCount);
    // A continued mailing whose records were all sent by earlier runs is
    // complete; a list that mails nobody is not, nor one whose records were
    // left out: "Completed Successfully" means every record was mailed, and
    // the mailing stays open for those left out, so that sending the same
    // message to the same list again mails only them.
    const bool anyone = recipientCount_ + last_.AlreadySent() > 0;
    const bool allSent = MailingJob::sentCount == recipientCount_;
    MailingJob::throughList = !stoppedEarly && allSent && leftByLimit_ == 0;
    result_ = MailingJob::throughList && anyone && MailingJob::notSentCount == 0 ? 1 : 0;
    if (leftByLimit_ > 0 && allSent && !stoppedEarly) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Stopped at this run's limit of %d messages: %d recipients are left. Send "
                      "the same message to the same list again to continue.",
                      recipientCount_, leftByLimit_);
        journal_.LogBoth(text);
    }
    if (!anyone && !stoppedEarly)
        TellNobodyMailed();
    TellWaiting();
}

// A Send/Receive that fails or cannot be started does not end the job.
void JobRun::SendReceiveIfDue(int shownNumber) {
    if (JobOptions.DoSendRecv != 1 || sendRecvCounter_ < JobOptions.SendRecvCount)
        return;
    SetProgressStatus("Issuing a Send/Receive", shownNumber, recipientCount_);
    ClientCall("Send/Receive", [] { IssueSendReceive(); });
    sendRecvCounter_ = 0;
}

void JobRun::Finish() {
    if (finished_)
        return;
    finished_ = true;
    list_.Close();
    pump_.LogStopsTo(nullptr);
    journal_.Close(result_, MailingJob::sentCount);
    tools_.Release();
    item_.Reset();
    message_.Reset();
    pump_.End();
    user_->Finished(result_);
}
