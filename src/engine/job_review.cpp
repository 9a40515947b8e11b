#include "engine/job_review.h"

#include "base/string_ids.h"
#include "client/client_call.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "data/settings.h"
#include "data/workbook_text.h"
#include "engine/mailing_job.h"
#include "engine/sending_account.h"

#include <cstdio>

namespace {
// What a test copy's subject starts with, so that it reads as what it is.
const char kTestMark[] = "[Test] ";
// Each message itself is taken as this long, besides the pause: a copy,
// saved, addressed and submitted.
constexpr long kSecondsPerMessage = 1;
} // namespace

long EstimatedSeconds(long messages, int pause) {
    if (messages <= 0)
        return 0;
    return messages * kSecondsPerMessage + (messages - 1) * static_cast<long>(pause);
}

void JobReview::Begin() {
    if (begun_)
        return;
    begun_ = true;
    const OriginalMessage& original = *parts_.original;
    if (!review_.Begin(&parts_.list->Header(), parts_.list->EmailColumn(), original.Subject(),
                       original.Body(), original.HtmlBody()))
        review_.Clear();
}

void JobReview::Restart() {
    review_.Clear();
    begun_ = false;
}

void JobReview::Recipient(const ListRecord& record, const char* address,
                          const RecordExtras* extras) {
    Begin();
    review_.AddRecipient(record, address);
    if (!extras)
        return;
    review_.AddAttachmentBytes(record, extras->totalBytes);
    review_.AddCarried(record, *extras);
}

void JobReview::NotBuildable(const ListRecord& record, const CheckedExtras& extras) {
    Begin();
    char why[96];
    NotBuildableWhy(extras, why, sizeof why);
    review_.AddNotBuildable(record, why, extras.value);
}

void JobReview::PassedOver(void* review, const ListRecord& record, ListSkipReason reason,
                           const char*) {
    auto* self = static_cast<JobReview*>(review);
    self->Begin();
    self->review_.AddPassedOver(record, reason);
}

// Whoever is on the composed message gets every copy too. A client that
// cannot tell its recipients adds nothing.
void JobReview::AddComposedRecipients() {
    ClientCall("the composed message's recipients", [&] {
        ComRef<IDispatch> recipients = HostApplication::Recipients(parts_.item);
        const LONG count = HostApplication::RecipientsCount(recipients.Get());
        for (LONG i = 1; i <= count; ++i) {
            Utf8Text address = HostApplication::RecipientAddress(
                HostApplication::RecipientsItem(recipients.Get(), i).Get());
            review_.AddComposedRecipient(address ? address.Get() : "");
        }
    });
}

ReviewAnswer JobReview::Show(bool always) {
    Begin();
    AddComposedRecipients();
    networkAllowed_ = false; // never remembered from an earlier review
    ReviewAnswer answer = ReviewAnswer::NotOffered;
    // Rows left out and values not shown as the sheet shows them are told
    // even when the user skips reviews that find nothing.
    const WorkbookListFacts* facts = Workbook();
    const bool workbookToTell = facts && (facts->hiddenRows > 0 || !facts->formatNotes.empty() ||
                                          !facts->uncomputed.empty());
    if (always || JobOptions.SkipCleanReview != 1 || !review_.Clean() || workbookToTell) {
        SetStatusText("Reviewing the Mailing");
        answer = parts_.pump->Review(this);
    }
    const bool allowed = answer == ReviewAnswer::Start && networkAllowed_;
    parts_.checks->SetNetworkFiles(allowed ? NetworkFiles::Allowed : NetworkFiles::Refused);
    refusedCopies_ = allowed ? 0 : review_.NetworkCopies();
    return answer;
}

void JobReview::ChooseWorkbookRows(int sheet, bool includeHidden) {
    WorkbookChoice.sheet = sheet;
    WorkbookChoice.includeHidden = includeHidden;
}

long JobReview::Seek(long index, long line) {
    JobList& list = *parts_.list;
    if (!list.Open(parts_.pump))
        return -1;
    list.TellSkipped(nullptr, nullptr);
    parts_.plan->NewPass();
    long found = -1;
    for (long at = 0; list.Next(false);) {
        if (parts_.plan->SentBefore(list.Address()))
            continue;
        if (index >= 0 ? at == index : list.Current().line >= line) {
            found = at;
            break;
        }
        ++at;
    }
    if (list.StopReason() != ListStopNone && found < 0) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The mailing list could not be read at line %ld (%s).\nNothing was sent.",
                      list.StopLine(), list.StopWhy(parts_.pump));
        parts_.pump->Say(text, MB_ICONEXCLAMATION);
    }
    list.Close();
    parts_.plan->NewPass(); // the sending pass takes them again
    return found;
}

bool JobReview::Preview(long index, ReviewCopy* copy) {
    if (index < 0 || index >= *parts_.recipients || Seek(index, 0) != index)
        return false;
    const OriginalMessage& original = *parts_.original;
    preview_.SetOriginal(original.Subject(), original.Body(), nullptr);
    if (!preview_.Reserve(false))
        return false;
    const MergeResult merged =
        preview_.MergeForPreview(parts_.list->Header(), parts_.list->Current());
    if (merged == MergeResult::Failed)
        parts_.pump->SayString(IDS_MERGE_FAILED, MB_ICONEXCLAMATION);
    if (merged != MergeResult::Merged)
        return false;
    copy->index = index;
    copy->line = parts_.list->Current().line;
    copy->address = parts_.list->Address();
    copy->subject = preview_.Subject();
    copy->body = preview_.Body();
    // The files on other computers are named, not looked at.
    RecordChecks& checks = *parts_.checks;
    if (checks.Usable(parts_.list->Header(), parts_.list->EmailColumn(), parts_.list->Current(),
                      MailingJob::jobListPath)) {
        DescribeRecordExtras(&checks.Extras(), false, "\n", carried_, sizeof carried_);
    } else {
        std::snprintf(carried_, sizeof carried_, "Not mailed: %s \"%s\" %s", checks.WhatFailed(),
                      checks.Extras().value, RecordExtrasReasonText(checks.Extras().reason));
    }
    copy->carried = carried_;
    return true;
}

// Read once a review: the client is asked only when the review is shown.
SendingAccount JobReview::Account() {
    if (!accountRead_) {
        account_ = ReadSendingAccount(ApplicationRef.Get(), parts_.item);
        accountRead_ = true;
    }
    return account_;
}

long JobReview::RecipientAtLine(long line) {
    return Seek(-1, line);
}

// A mailbox of the client's own kind (an Exchange name) is no address a copy
// can be sent to over the Internet.
bool JobReview::TestAddress(char* taken, size_t size, char* said, size_t saidSize) {
    char me[kListAddressSize] = "";
    ClientCall("CurrentUser", [&] {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
        Utf8Text address =
            HostApplication::RecipientAddress(HostApplication::CurrentUser(nameSpace.Get()).Get());
        std::snprintf(me, sizeof me, "%s", address ? address.Get() : "");
    });
    char value[kListAddressSize];
    std::snprintf(value, sizeof value, "%s", me);
    if (size < kListAddressSize || !me[0] || TakeListAddress(value, taken) != 0) {
        std::snprintf(said, saidSize,
                      "The test was not sent: the mail client gives no Internet address of "
                      "yours%s%s%s.",
                      me[0] ? " (it gives \"" : "", me, me[0] ? "\")" : "");
        return false;
    }
    return true;
}

bool JobReview::SendTest(long index, char* said, size_t size) {
    std::snprintf(said, size, "%s", "The test could not be sent.");
    char taken[kListAddressSize];
    if (!TestAddress(taken, sizeof taken, said, size))
        return false;
    // Whoever is on the composed message gets every copy, the test too.
    for (int i = 0; i < review_.FindingCount(); ++i) {
        const ReviewFinding& finding = review_.Finding(i);
        if (finding.kind == ReviewFindingKind::OnComposed) {
            std::snprintf(said, size,
                          "The test was not sent: the composed message is addressed to %s, who "
                          "would get it too. Remove its recipients first.",
                          finding.subject);
            return false;
        }
    }
    if (Seek(index, 0) != index)
        return false;
    JobList& list = *parts_.list;
    const long line = list.Current().line;
    // The test carries the record's files, as its copy will; those on
    // other computers only when the user has ticked so.
    RecordChecks& checks = *parts_.checks;
    const NetworkFiles before = checks.NetworkChoice();
    checks.SetNetworkFiles(networkAllowed_ ? NetworkFiles::Allowed : NetworkFiles::Refused);
    const bool usable =
        checks.Usable(list.Header(), list.EmailColumn(), list.Current(), MailingJob::jobListPath);
    checks.SetNetworkFiles(before);
    if (!usable) {
        std::snprintf(said, size,
                      "The test was not sent: line %ld cannot be mailed as it asks (%s \"%s\" "
                      "%s).",
                      line, checks.WhatFailed(), checks.Extras().value,
                      RecordExtrasReasonText(checks.Extras().reason));
        return false;
    }
    const OriginalMessage& original = *parts_.original;
    MergedTexts texts;
    texts.SetOriginal(original.Subject(), original.Body(), original.HtmlBody());
    if (!texts.Reserve(true))
        return false;
    const MergeResult merged = texts.Merge(list.Header(), list.Current());
    if (merged == MergeResult::Failed)
        parts_.pump->SayString(IDS_MERGE_FAILED, MB_ICONEXCLAMATION);
    if (merged != MergeResult::Merged || !texts.MarkSubject(kTestMark))
        return false;

    CopyOrder order;
    order.original = parts_.item;
    order.context = parts_.context;
    order.texts = &texts;
    order.html = original.HtmlBody() != nullptr;
    order.extras = &checks.Extras();
    order.address = taken;
    order.line = line;
    order.test = true;
    order.number = MailingJob::sentCount + 1;
    order.total = *parts_.recipients;
    JobStep step = JobStep::None;
    RecipientCopy copy(order, parts_.tools, parts_.journal, parts_.pump, &step);
    switch (copy.Send()) {
    case CopyOutcome::Submitted:
        std::snprintf(said, size, "A test of line %ld's copy was sent to %s.", line, taken);
        return true;
    case CopyOutcome::LeftOut:
        // Its file could not be attached: nothing went.
        std::snprintf(said, size, "The test was not sent: %s.", copy.LeftOutText());
        return false;
    default:
        return false;
    }
}
