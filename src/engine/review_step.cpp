// The review before the first message: its findings are told record by
// record while the counting pass reads the list, the composed message's own
// recipients are added, and the dialog is shown unless the user asked to
// skip a review that finds nothing. From the dialog the user previews any
// recipient's copy, sends one to themself, and starts or goes back.
#include "engine/job_run.h"

#include "base/messages.h"
#include "client/host_application.h"
#include "data/merge.h"
#include "data/settings.h"

#include <cstdio>
#include <cstring>

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

void JobRun::BeginReview() {
    if (reviewBegun_)
        return;
    reviewBegun_ = true;
    if (!review_.Begin(&list_.header, list_.emailColumn, originalSubject_.Get(),
                       originalBody_.Get(), originalHtmlBody_ ? originalHtmlBody_.Get() : nullptr))
        review_.Clear();
}

// Every usable record, sent before or not: should the user start over, all
// of them are mailed, and the review was shown before that choice.
void JobRun::ReviewRecord() {
    BeginReview();
    review_.AddRecipient(list_.current, address_);
    review_.AddAttachmentBytes(list_.current, extras_.totalBytes);
}

void JobRun::ReviewNotBuildable() {
    BeginReview();
    const RecordExtrasReason reason = extras_.reason;
    const char* what = reason == RecordCcNotAddresses    ? "its Cc"
                       : reason == RecordBccNotAddresses ? "its Bcc"
                                                         : "an attachment";
    char why[96];
    std::snprintf(why, sizeof why, "%s %s", what, RecordExtrasReasonText(reason));
    review_.AddNotBuildable(list_.current, why, extras_.value);
}

void JobRun::ReviewPassedOver(void* run, const ListRecord& record, ListSkipReason reason,
                              const char*) {
    auto* self = static_cast<JobRun*>(run);
    self->BeginReview();
    self->review_.AddPassedOver(record, reason);
}

bool JobRun::Review() {
    BeginReview();
    if (!reviewHandler_)
        return true;
    // Whoever is on the composed message gets every copy too.
    try {
        ComRef<IDispatch> recipients = HostApplication::Recipients(item_.Get());
        const LONG count = HostApplication::RecipientsCount(recipients.Get());
        for (LONG i = 1; i <= count; ++i) {
            Utf8Text address = HostApplication::RecipientAddress(
                HostApplication::RecipientsItem(recipients.Get(), i).Get());
            review_.AddComposedRecipient(address ? address.Get() : "");
        }
    } catch (...) {
        // A client that cannot tell its recipients: nothing to add.
    }
    if (JobOptions.SkipCleanReview == 1 && review_.Clean())
        return true;
    SetStatus("Reviewing the Mailing");
    // Over the mailing dialog that started the job, when there is one.
    HWND owner =
        MailingJob::jobDialog && IsWindow(MailingJob::jobDialog) ? MailingJob::jobDialog : owner_;
    if (reviewHandler_(owner, this))
        return true;
    result_ = kJobNotStarted;
    return false;
}

long JobRun::SeekRecipient(long index, long line) {
    ListFile* file = OpenList();
    if (!file)
        return -1;
    const ListSkipHandler skipped = list_.onSkipped;
    list_.onSkipped = nullptr;
    if (continuing_)
        sent_.GiveBack();
    long found = -1;
    long at = 0;
    for (int read = 0; ReadNextRecipient(&list_, file, read, address_, nullptr, recordLine_,
                                         nullptr, &list_.current) == 1;
         ++read) {
        if (continuing_ && sent_.Take(recordLine_))
            continue;
        if (index >= 0 ? at == index : list_.current.line >= line) {
            found = at;
            break;
        }
        ++at;
    }
    if (ListFileStopReason(file) != ListStopNone && found < 0)
        ReportListStopped(file, true);
    CloseListFile(file);
    if (continuing_)
        sent_.GiveBack(); // the sending pass takes them again
    list_.onSkipped = skipped;
    return found;
}

bool JobRun::Preview(long index, ReviewCopy* copy) {
    if (index < 0 || index >= recipientCount_)
        return false;
    if (SeekRecipient(index, 0) != index)
        return false;
    if (!previewSubject_.Resize(std::strlen(originalSubject_.Get()) + 1) ||
        !previewBody_.Resize(std::strlen(originalBody_.Get()) + 1) ||
        !Merge(originalSubject_.Get(), &previewSubject_, false) ||
        !Merge(originalBody_.Get(), &previewBody_, false))
        return false;
    copy->index = index;
    copy->line = list_.current.line;
    copy->address = address_;
    copy->subject = previewSubject_.Get();
    copy->body = previewBody_.Get();
    return true;
}

long JobRun::RecipientAtLine(long line) {
    return SeekRecipient(-1, line);
}

bool JobRun::SendTest(long index, char* said, size_t size) {
    std::snprintf(said, size, "%s", "The test could not be sent.");
    char me[kListAddressSize] = "";
    try {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
        Utf8Text address =
            HostApplication::RecipientAddress(HostApplication::CurrentUser(nameSpace.Get()).Get());
        std::snprintf(me, sizeof me, "%s", address ? address.Get() : "");
    } catch (...) {
        me[0] = '\0';
    }
    // A mailbox of the client's own kind (an Exchange name) is no address a
    // copy can be sent to over the Internet.
    char taken[kListAddressSize];
    char value[kListAddressSize];
    std::snprintf(value, sizeof value, "%s", me);
    if (!me[0] || TakeListAddress(value, taken) != 0) {
        std::snprintf(said, size,
                      "The test was not sent: the mail client gives no Internet address of "
                      "yours%s%s%s.",
                      me[0] ? " (it gives \"" : "", me, me[0] ? "\")" : "");
        return false;
    }
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
    if (SeekRecipient(index, 0) != index)
        return false;
    // The test carries the record's files, as its copy will.
    if (!ExtrasUsable(false)) {
        std::snprintf(said, size,
                      "The test was not sent: line %ld cannot be mailed as it asks (%s \"%s\" "
                      "%s).",
                      list_.current.line,
                      extras_.reason == RecordCcNotAddresses    ? "Cc"
                      : extras_.reason == RecordBccNotAddresses ? "Bcc"
                                                                : "the attachment",
                      extras_.value, RecordExtrasReasonText(extras_.reason));
        return false;
    }
    if (!mergedSubject_.Resize(std::strlen(originalSubject_.Get()) + 1) ||
        !mergedBody_.Resize(std::strlen(originalBody_.Get()) + 1) ||
        (originalHtmlBody_ && !mergedHtmlBody_.Resize(std::strlen(originalHtmlBody_.Get()) + 1)) ||
        !Merge(originalSubject_.Get(), &mergedSubject_, false) ||
        !Merge(originalBody_.Get(), &mergedBody_, false) ||
        (originalHtmlBody_ && !Merge(originalHtmlBody_.Get(), &mergedHtmlBody_, true)))
        return false;
    const size_t merged = std::strlen(mergedSubject_.Get());
    if (!mergedSubject_.Resize(merged + sizeof kTestMark))
        return false;
    std::memmove(mergedSubject_.Get() + sizeof kTestMark - 1, mergedSubject_.Get(), merged + 1);
    std::memcpy(mergedSubject_.Get(), kTestMark, sizeof kTestMark - 1);

    const long line = list_.current.line;
    std::snprintf(address_, sizeof address_, "%s", taken);
    testCopy_ = true;
    bool sent = false;
    try {
        sent = SendCopy();
    } catch (...) {
        sent = false;
    }
    testCopy_ = false;
    copyItem_.Reset();
    copyMessage_.Reset();
    movedItem_.Reset();
    if (sent)
        std::snprintf(said, size, "A test of line %ld's copy was sent to %s.", line, taken);
    return sent;
}
