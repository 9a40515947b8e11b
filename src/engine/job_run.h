// The working state of one run of the mailing job and its steps. Internal to
// the engine: the job's steps share this state, and nothing outside the
// engine sees it.
#pragma once

#include "client/com_ref.h"
#include "client/host_state.h"
#include "data/job_progress.h"
#include "data/list_file.h"
#include "data/mailing_list.h"
#include "data/record_extras.h"
#include "data/review.h"
#include "engine/mailing_job.h"
#include "engine/message_store.h"

// The step of a message the job is at, set as each step begins. A raised
// error the steps do not handle names it in its message ("... at line %d"),
// so the values are what users and the help see and stay as they are.
enum class JobStep : int {
    None = 0,
    ListReopened = 1,
    ReadingRecord = 2,    // merged buffers allocated, reading the next record
    Pausing = 3,          // the pause between mails
    SendReceiveCheck = 4, // Send/Receive every N messages
    Merging = 5,
    MakingCopy = 6,
    SavingCopy = 7,
    GettingStoreMessage = 8,
    SettingSubject = 9,
    SettingBody = 10,
    SavingCopyAgain = 11,
    BuildingRecipient = 12,
    AddingRecipient = 13,   // the last recipient values, then ModifyRecipients
    FormatTnefAndMove = 14, // editor format, TNEF flag, move to the Outbox
    Submitting = 15,
    Flushing = 16,
    CountingAndLogging = 17,
    FinalSendReceive = 18,
    AttachingFiles = 19, // the record's own files, after the copy's texts
};

// The current record's attachments, Cc and Bcc, checked; its storage given
// back with the run.
struct CheckedExtras : RecordExtras {
    CheckedExtras() = default;
    CheckedExtras(const CheckedExtras&) = delete;
    CheckedExtras& operator=(const CheckedExtras&) = delete;
    ~CheckedExtras() { FreeRecordExtras(this); }
};

// A text buffer regrown for every message.
class MergeBuffer {
public:
    MergeBuffer() = default;
    MergeBuffer(const MergeBuffer&) = delete;
    MergeBuffer& operator=(const MergeBuffer&) = delete;
    ~MergeBuffer() { Free(); }
    bool Resize(size_t bytes);
    void Free();
    char* Get() const { return text_; }
    explicit operator bool() const { return text_ != nullptr; }

private:
    char* text_ = nullptr;
};

class JobRun final : public ReviewSession {
public:
    explicit JobRun(ComposeContext* context, ReviewHandler review = nullptr);
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;
    ~JobRun();

    // Preparation, the counting pass, the logs and the sending pass; returns
    // at the first step that ends the job. Finish follows in every case.
    void Execute();
    // Closes and releases everything the run holds and posts the result.
    void Finish();

    // The review (review_step.cpp)
    long Recipients() const override { return recipientCount_; }
    long AlreadySent() const override { return alreadySent_; }
    const MailingReview& Findings() const override { return review_; }
    bool Preview(long index, ReviewCopy* copy) override;
    long RecipientAtLine(long line) override;
    bool SendTest(long index, char* said, size_t size) override;

private:
    // Preparation
    bool CountRecipients();
    void CountWithColumn(ListFile* file);
    bool ChooseAddressColumn();
    void TellNobodyMailed();
    bool OpenLogs();
    // Opens the job state file: afresh, or to go on with the last mailing.
    bool OpenJobState(const char* listPath);
    void Send();
    // Whether the record just read was mailed by an earlier run of this
    // mailing (and is taken from the sent list's records).
    bool SentBefore();

    // Continuing the last mailing (resume.cpp)
    // Before the counting pass: whether the last mailing is this one and did
    // not finish; its sent list is then read. False when the job ends here.
    bool LookForLastJob();
    // After the counting pass: asks whether to continue. False when the
    // user sends nothing now.
    bool OfferToContinue();
    void StartOver();
    // Tells why the last mailing's records cannot be used; true when the
    // user starts over.
    bool AskStartOver(const char* why);
    // Counts the record just read in the counting pass: already sent, in
    // doubt, or to be sent; false when it cannot be mailed as it asks.
    bool CountRecord();
    // Whether the record just read can be mailed as its attachment, Cc and
    // Bcc columns ask (extras.cpp); the sending pass logs the ones that
    // cannot. Both passes call it, so they count the same records.
    bool ExtrasUsable(bool logNotSent);
    // The record in doubt has been merged: whether its message went is
    // looked up in the client; true when it counts as sent.
    bool SettleInDoubt();
    // Looks for the merged copy in one of the client's folders; a copy made
    // but never submitted is deleted. Raises when the client cannot be
    // searched.
    bool FoundInFolder(IDispatch* nameSpace, LONG folder);
    // Records the current record as mailed: the success line, the sent
    // list, both flushed.
    void RecordSent();
    // A UTF-8 text in the wide message box, so that what lies beyond the
    // ANSI code page reads as written; returns the button pressed.
    int AskUtf8(const char* text, UINT flags);
    // Merges the recipient's values into a copy of `original`; into an HTML
    // body (`html`) as text, escaped.
    bool Merge(const char* original, MergeBuffer* merged, bool html);
    // Runs the host's Send/Receive when the options ask for one and enough
    // copies went since the last; the status shows message `shownNumber`.
    void SendReceiveIfDue(int shownNumber);

    // The review: findings told record by record in the counting pass, then
    // the dialog; false when the user goes back. The limit per run applied.
    void ReviewRecord();
    // The record just counted cannot be built as it asks (extras_ says why).
    void ReviewNotBuildable();
    static void ReviewPassedOver(void* run, const ListRecord& record, ListSkipReason reason,
                                 const char* value);
    void BeginReview();
    bool Review();
    // Reads the list again to recipient `index` (-1: the first at or after
    // `line`); its record is then list_.current. Returns its index, or -1.
    long SeekRecipient(long index, long line);

    // Capturing the original
    bool CaptureOriginal();
    bool CaptureSubject();
    bool CaptureBody();
    bool CaptureBodyFormat();
    bool CaptureHtmlBody();

    // One copy
    bool SendCopy();
    bool MakeCopy();
    // The second between two tries of Copy, messages pumped; false when the
    // user stopped the job meanwhile.
    bool WaitBetweenTries();
    bool AddRecipient();
    void ResolveRecipient(MessageStore::RecipientList* recipients, ULONG entry);
    // The record's files attached to the copy (extras.cpp); false when one
    // could not be, the copy then deleted and the record logged as not sent.
    bool AttachRecordFiles();
    void DeleteCopy();
    bool MarkCopy();
    bool SetOneProp(ULONG tag, bool isLong, LONG value, const char* noMemoryText);
    void MoveToOutbox();

    void SetStatus(const char* text);
    void Log(const char* text);
    // Shows a UTF-8 text (an address, a field name) through the wide message
    // box, so that what lies beyond the ANSI code page reads as written.
    void ShowError(const char* text);
    void LogAndShow(const char* text);
    void ReportListStopped(ListFile* file, bool counting);
    // Logs a record the sending pass passes over, with its line and why.
    static void LogPassedOver(void* run, const ListRecord& record, ListSkipReason reason,
                              const char* value);
    // Opens the job's list, telling the user when it cannot be had.
    ListFile* OpenList();

    ComposeContextRef context_;
    ComRef<IDispatch> item_;   // the compose item
    ComRef<IUnknown> message_; // its store message
    HWND owner_ = nullptr;

    DWORD lastTick_ = 0;
    Utf8Text originalSubject_, originalBody_, originalHtmlBody_;
    LONG bodyFormat_ = 0;
    MailingList list_;
    char headerLine_[kListRawSize] = "";
    char recordLine_[kListRawSize] = "";
    char address_[kListAddressSize] = "";
    int recipientCount_ = 0; // to be sent by this run

    // The last mailing, when this job may continue it.
    SentRecords sent_;
    bool lastJobFound_ = false; // the same list and subject, not completed
    bool continuing_ = false;
    int alreadySent_ = 0;    // usable records an earlier run mailed
    long sentRecords_ = 0;   // records in the sent list (the header aside)
    bool doubtOpen_ = false; // a record of the last run is in doubt
    bool doubtSeen_ = false; // ... and the counting pass found it
    uint64_t doubtHash_ = 0;
    char doubtAddress_[kListAddressSize] = "";
    long doubtListLine_ = 0;
    MergeBuffer mergedSubject_, mergedBody_, mergedHtmlBody_;
    ListRecord escapedRecord_; // the current record's values as HTML text
    RecordExtraColumns extraColumns_;
    bool extraColumnsFound_ = false;
    char listFolder_[3 * sizeof MailingJob::jobListPath] = ""; // UTF-8
    CheckedExtras extras_;
    int sendRecvCounter_ = 0;
    JobStep step_ = JobStep::None;

    // The copy being made (released at the next message and at Finish).
    ULONG tnefFlagTag_ = 0;
    bool tnefFlagResolved_ = false;
    ComRef<IDispatch> copyItem_;
    ComRef<IUnknown> copyMessage_;
    ComRef<IDispatch> movedItem_;
    // The session's address book, opened for the first copy and kept until
    // Finish; empty when the session gives none.
    ComRef<IAddrBook> addressBook_;
    bool addressBookOpened_ = false;

    CrtFile* currentJobLog_ = nullptr;
    CrtFile* jobHistoryLog_ = nullptr;
    CrtFile* sentListLog_ = nullptr;
    CrtFile* jobState_ = nullptr;
    ListFile* listFile_ = nullptr;
    int result_ = 0;
    bool finished_ = false;

    ReviewHandler reviewHandler_ = nullptr;
    MailingReview review_;
    bool reviewBegun_ = false;
    MergeBuffer previewSubject_, previewBody_;
    // Recipients left for a later run by the limit on this one.
    int leftByLimit_ = 0;
    // The copy being sent is the user's test: not counted, logged or recorded.
    bool testCopy_ = false;
};

// The store message of an item as IMessage; a message that is missing or not
// an IMessage raises, as using it would.
ComRef<IMessage> AsMessage(const ComRef<IUnknown>& message);
