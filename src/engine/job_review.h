// The review before the first message: its findings are told record by
// record while the counting pass reads the list, the composed message's own
// recipients are added, and the review is shown unless the user asked to
// skip one that finds nothing. From it the user previews any recipient's
// copy, sends one to themself, and starts or goes back.
#pragma once

#include "data/review.h"
#include "engine/job_list.h"
#include "engine/last_mailing.h"
#include "engine/original_message.h"
#include "engine/recipient_copy.h"
#include "engine/sending_plan.h"

// The parts of the run the review reads (and, for a test, sends) through.
struct ReviewParts {
    IDispatch* item = nullptr; // the compose item
    const ComposeContext* context = nullptr;
    const OriginalMessage* original = nullptr;
    JobList* list = nullptr;
    SendingPlan* plan = nullptr; // who was mailed before
    RecordChecks* checks = nullptr;
    CopyTools* tools = nullptr;
    JobJournal* journal = nullptr;
    JobPump* pump = nullptr;
    const int* recipients = nullptr;                    // to be mailed by this run
    const std::vector<long long>* handedOver = nullptr; // LastMailing::ReleaseTimes
};

class JobReview final : public ReviewSession {
public:
    explicit JobReview(const ReviewParts& parts) : parts_(parts) {}

    // The counting pass tells the review of each record: usable (sent
    // before or not: should the user start over, all of them are mailed,
    // and the review is shown before that choice), not buildable as it
    // asks, or passed over by the reader.
    // `extras` is what its check found; null for a record mailed before,
    // which is not checked again.
    void Recipient(const ListRecord& record, const char* address, const RecordExtras* extras);
    void NotBuildable(const ListRecord& record, const CheckedExtras& extras);
    static void PassedOver(void* review, const ListRecord& record, ListSkipReason reason,
                           const char* value);
    // The list is counted again (another address column): findings anew.
    void Restart();

    // Shows the review, when there is one to show (`always`: also one
    // that finds nothing, when the user asked to skip those). Start (or no
    // review) goes on; Back and a review that could not be shown end the job.
    // Settles the files on other computers too: allowed only when the user
    // ticked so and started; otherwise the records naming one are not
    // mailed.
    ReviewAnswer Show(bool always = false);
    // The counted recipients that will not be mailed after all: their
    // files on other computers were not allowed.
    long RefusedCopies() const { return refusedCopies_; }

    long Recipients() const override { return *parts_.recipients; }
    long AlreadySent() const override { return parts_.plan->AlreadySent(); }
    const std::vector<long long>& HandedOver() const override { return *parts_.handedOver; }
    const MailingReview& Findings() const override { return review_; }
    SendingAccount Account() override;
    bool Preview(long index, ReviewCopy* copy) override;
    long RecipientAtLine(long line) override;
    bool SendTest(long index, char* said, size_t size) override;
    void AllowNetworkFiles(bool allowed) override { networkAllowed_ = allowed; }
    const WorkbookListFacts* Workbook() const override { return parts_.list->Workbook(); }
    void ChooseWorkbookRows(int sheet, bool includeHidden) override;

private:
    void Begin();
    void AddComposedRecipients();
    // Reads the list again to recipient `index` (-1: the first at or after
    // `line`); its record is then the list's current one. Its index, or -1.
    long Seek(long index, long line);
    bool TestAddress(char* taken, size_t size, char* said, size_t saidSize);

    ReviewParts parts_;
    MailingReview review_;
    bool begun_ = false;
    bool accountRead_ = false;
    SendingAccount account_;
    MergedTexts preview_;
    char carried_[2048] = "";
    bool networkAllowed_ = false;
    long refusedCopies_ = 0;
};
