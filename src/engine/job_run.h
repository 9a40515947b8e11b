// One run of the mailing job, from the Send to the end. The run only
// sequences: the original is captured, the last mailing looked for, the list
// counted and reviewed, the journal opened, then record by record each
// copy merged, built and recorded; whatever way it ends, Finish closes what
// the run holds and tells the user the result. Each step's state belongs to
// the part that owns it (original_message, last_mailing, job_list,
// record_checks, job_review, job_journal, recipient_copy, job_pump).
#pragma once

#include "client/host_state.h"
#include "data/merged_texts.h"
#include "data/record_checks.h"
#include "engine/job_journal.h"
#include "engine/job_list.h"
#include "engine/job_pump.h"
#include "engine/job_review.h"
#include "engine/job_step.h"
#include "engine/last_mailing.h"
#include "engine/original_message.h"
#include "engine/recipient_copy.h"
#include "engine/release_plan.h"
#include "engine/sending_plan.h"

class JobRun {
public:
    JobRun(ComposeContext* context, JobUser* user);
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;
    ~JobRun() { Finish(); }

    // Everything up to the end of the sending pass; returns at the first
    // step that ends the job.
    void Execute();
    // Closes what the run holds, writes the journal's ends and tells the
    // user the result; once.
    void Finish();

private:
    bool Prepare();
    bool CountRecipients();
    ReviewAnswer ShowReview(bool again);
    // One count of the list, the first or one after it changed (`again`).
    bool CountList(bool again);
    // False when memory ran out.
    bool CountRecord();
    // Counts again with the column of several named for an address that
    // holds the most addresses, when that is not the first one's.
    bool ChooseAddressColumn(bool again);
    void ReportListStopped(bool counting);
    void TellNobodyMailed();
    bool OpenJournal();
    static void LogPassedOver(void* run, const ListRecord& record, ListSkipReason reason,
                              const char* value);

    void Send();
    // The list changed while being sent: counted and reviewed again, and
    // the pass started afresh. False when the job ends here.
    bool ReviewAgain();
    // The limit the user set for this run, over recipientCount_.
    void ApplyLimit();
    // A record the plan holds as not mailable, logged as such.
    void LogNotMailable();
    // The record just read: false when the job ends here.
    bool SendRecord(int* messageNumber);
    enum class Doubt { Send, CountedSent, Stop };
    Doubt SettleInDoubt();
    bool SendCopy();
    void EndAtRaisedCall();
    void WriteCarriedLine();
    void WriteWaitingLine();
    void TellWaiting();
    void EndSendingPass();
    void SendReceiveIfDue(int shownNumber);
    void LogAndShow(const char* text);

    ComposeContextRef context_;
    ComRef<IDispatch> item_;   // the compose item
    ComRef<IUnknown> message_; // its store message
    JobUser* user_;
    JobPump pump_;
    OriginalMessage original_;
    JobList list_;
    LastMailing last_;
    SendingPlan plan_{&last_};
    RecordChecks checks_;
    MergedTexts texts_;
    CopyTools tools_;
    JobJournal journal_;
    ReleasePlan release_;
    int recipientCount_ = 0; // to be sent by this run
    JobReview review_;
    int sendRecvCounter_ = 0;
    // Recipients left for a later run by the limit on this one.
    int leftByLimit_ = 0;
    JobStep step_ = JobStep::None;
    int result_ = 0;
    bool finished_ = false;
};
