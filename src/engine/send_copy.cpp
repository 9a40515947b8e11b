// One recipient's copy: duplicated from the original through the object
// model, given the merged texts, addressed to that recipient alone through
// the store, marked, moved to the Outbox, submitted and flushed, then counted
// and logged. The step (step_) names where a raised error came from.
#include "engine/job_run.h"

#include "base/messages.h"
#include "client/client_commands.h"
#include "client/host_application.h"
#include "engine/mailing_job.h"
#include "engine/message_store.h"

#include <cstdio>
#include <cstring>

namespace {
// Copy failures are retried this many times, a second apart.
constexpr int kCopyRetries = 300;
constexpr DWORD kCopyRetryDelay = 1000;
constexpr DWORD kRetrySlice = 100;

} // namespace

bool JobRun::SendCopy() {
    copyItem_.Reset();
    copyMessage_.Reset();
    movedItem_.Reset();

    // Before anything of the copy exists: should the process die between
    // here and the success line, the next run knows this one record is in
    // doubt, and no other. A mark that cannot be written stops the job
    // rather than send what could not be accounted for.
    if (jobState_ && !WriteJobStateSending(jobState_, list_.current.line,
                                           ListRecordHash(recordLine_), sentRecords_)) {
        LogAndShow("The job state file could not be written, so the mailing stops here.");
        return false;
    }
    if (!MakeCopy())
        return false;
    step_ = JobStep::SavingCopy;
    HostApplication::Save(copyItem_.Get());
    step_ = JobStep::GettingStoreMessage;
    copyMessage_ = HostApplication::MapiObject(copyItem_.Get());
    if (!copyMessage_)
        return false;
    step_ = JobStep::SettingSubject;
    HostApplication::PutSubject(copyItem_.Get(), mergedSubject_.Get());
    step_ = JobStep::SettingBody;
    if (originalHtmlBody_)
        HostApplication::PutHtmlBody(copyItem_.Get(), mergedHtmlBody_.Get());
    else
        HostApplication::PutBody(copyItem_.Get(), mergedBody_.Get());
    step_ = JobStep::SavingCopyAgain;
    HostApplication::Save(copyItem_.Get());
    // A copy without a file its record names is never sent: it is deleted
    // and the job goes on with the next record.
    if (!AttachRecordFiles())
        return true;

    if (!AddRecipient() || !MarkCopy())
        return false;
    MoveToOutbox();
    if (!copyMessage_)
        return false;

    char text[400];
    step_ = JobStep::Submitting;
    SetProgressStatus("Sending Message", MailingJob::sentCount + 1, recipientCount_);
    try {
        if (FAILED(MessageStore::Submit(AsMessage(copyMessage_).Get()))) {
            std::snprintf(text, sizeof text, "Failed to submit message to: %s", address_);
            LogAndShow(text);
            return false;
        }
    } catch (...) {
        std::snprintf(text, sizeof text, "SubmitMessage error caught during message %d",
                      MailingJob::sentCount + 1);
        Log(text);
    }

    step_ = JobStep::Flushing;
    SetProgressStatus("Flushing Message", MailingJob::sentCount + 1, recipientCount_);
    try {
        FlushOutboundQueue();
    } catch (...) {
        std::snprintf(text, sizeof text, "MAPIFlushQueues error caught during message %d",
                      MailingJob::sentCount + 1);
        Log(text);
    }

    // The user's test from the review is none of the mailing's messages.
    if (testCopy_)
        return true;
    step_ = JobStep::CountingAndLogging;
    ++sendRecvCounter_;
    ++MailingJob::sentCount;
    SYSTEMTIME now;
    GetLocalTime(&now);
    // Numbered within the whole mailing, runs that continued it included.
    char line[kListAddressSize + 64];
    const int length = std::snprintf(
        line, sizeof line, "(%d:%02d.%02d) # %d, To: %s. Sent Successfully\n", now.wHour,
        now.wMinute, now.wSecond, alreadySent_ + MailingJob::sentCount, address_);
    if (currentJobLog_)
        CrtWrite(line, static_cast<size_t>(length), currentJobLog_);
    RecordSent();
    return true;
}

// Both reach the system before the next message starts: a process that dies
// later loses neither.
void JobRun::RecordSent() {
    if (currentJobLog_)
        CrtFlush(currentJobLog_);
    if (sentListLog_) {
        CrtWrite(recordLine_, std::strlen(recordLine_), sentListLog_);
        CrtFlush(sentListLog_);
    }
    ++sentRecords_;
}

// The host's Copy can fail for a while (the original is busy being saved);
// it is retried a second apart. The thread's messages are pumped between
// tries as in the pause between mails, so the client stays responsive and
// the user can pause or cancel the retries. Once the user has closed or sent
// the compose window no copy can succeed any more, and the job ends at the
// first failure instead of retrying for five minutes.
bool JobRun::MakeCopy() {
    step_ = JobStep::MakingCopy;
    for (int attempts = 0;;) {
        try {
            copyItem_.Reset();
            ComRef<IDispatch> copy = HostApplication::Copy(item_.Get());
            copyItem_ = QueryAs<IDispatch>(copy.Get(), IID__MailItem);
            return static_cast<bool>(copyItem_);
        } catch (...) {
            ++attempts;
            copyItem_.Reset();
            char text[128];
            std::snprintf(text, sizeof text, "Caught exception during message copy: %d (%d)",
                          MailingJob::sentCount + 1, attempts);
            Log(text);
            if (attempts > kCopyRetries || context_->itemClosed) {
                ShowError(text);
                return false;
            }
            if (!WaitBetweenTries())
                return false;
        }
    }
}

bool JobRun::WaitBetweenTries() {
    for (DWORD waited = 0; waited < kCopyRetryDelay; waited += kRetrySlice) {
        Sleep(kRetrySlice);
        AccumulateElapsed(&lastTick_, &MailingJob::elapsedMs);
        if (!PumpMessages(currentJobLog_))
            return false;
        lastTick_ = GetTickCount();
    }
    return true;
}

// The record's recipient, then its Cc and Bcc addresses, in one list: the
// copy gets them all at once or none.
bool JobRun::AddRecipient() {
    char text[400];
    step_ = JobStep::BuildingRecipient;
    MessageStore::RecipientList recipients;
    // A test goes to the user alone, never to the record's copy addresses.
    const ULONG entries =
        testCopy_ ? 1 : 1 + static_cast<ULONG>(extras_.ccCount + extras_.bccCount);
    if (!recipients.AllocateList(entries)) {
        std::snprintf(text, sizeof text, "Failed to allocate ADRLIST: %s", address_);
        LogAndShow(text);
        return false;
    }
    for (ULONG entry = 0; entry < entries; ++entry) {
        if (!recipients.AllocateValues(entry)) {
            std::snprintf(text, sizeof text, "Failed to allocate SPropValue: %s", address_);
            LogAndShow(text);
            return false;
        }
    }
    if (!recipients.SetAddress(address_))
        return false;
    ULONG entry = 1;
    for (int i = 0; i < extras_.count && entry < entries; ++i) {
        const RecordExtraKind kind = extras_.items[i].kind;
        if (kind == RecordExtraFile)
            continue;
        if (!recipients.SetAddress(RecordExtraText(&extras_, i), entry) ||
            !recipients.SetFixedValues(entry, kind == RecordExtraCc ? MAPI_CC : MAPI_BCC))
            return false;
        ++entry;
    }
    step_ = JobStep::AddingRecipient;
    if (!recipients.SetFixedValues())
        return false;
    for (entry = 0; entry < entries; ++entry)
        ResolveRecipient(&recipients, entry);
    if (FAILED(recipients.AddTo(AsMessage(copyMessage_).Get()))) {
        std::snprintf(text, sizeof text, "Failed to add recipient: %s", address_);
        LogAndShow(text);
        return false;
    }
    return true;
}

// A store delivers a submitted message only to resolved recipients, those
// with an entry ID, and answers the others with a non-delivery report: each
// recipient is given a one-off entry ID from the session's address book.
// Without a book, or when it makes no entry ID, the copy goes as it always
// could, unresolved: that is the store's to answer, and the job goes on.
void JobRun::ResolveRecipient(MessageStore::RecipientList* recipients, ULONG entry) {
    if (!addressBookOpened_) {
        addressBookOpened_ = true;
        if (MapiSessionRef)
            addressBook_ = MessageStore::OpenAddressBook(MapiSessionRef.Get());
    }
    if (addressBook_)
        recipients->SetOneOffEntryId(addressBook_.Get(), entry);
}

// A failing SetProps shows the store's own description of the failure, when
// it gives one.
bool JobRun::SetOneProp(ULONG tag, bool isLong, LONG value, const char* noMemoryText) {
    MapiBuffer<SPropValue> prop = MessageStore::AllocateValue();
    if (!prop) {
        ShowError(noMemoryText);
        return false;
    }
    prop->ulPropTag = tag;
    if (isLong)
        prop->Value.l = value;
    else
        prop->Value.b = static_cast<unsigned short>(value);
    ComRef<IMessage> message = AsMessage(copyMessage_);
    HRESULT hr = MessageStore::SetOneProp(message.Get(), prop.Get());
    prop.Free();
    if (FAILED(hr)) {
        Utf8Text description;
        if (MessageStore::LastErrorText(message.Get(), hr, &description))
            ShowError(description.Get());
        return false;
    }
    return true;
}

bool JobRun::MarkCopy() {
    step_ = JobStep::FormatTnefAndMove;
    if (!originalHtmlBody_ && !SetOneProp(PR_MSG_EDITOR_FORMAT, true, EDITOR_FORMAT_PLAINTEXT,
                                          "Failed to allocate SPropValue for SetProps"))
        return false;
    if (!tnefFlagResolved_) {
        ULONG freeResult = 0;
        if (FAILED(MessageStore::ResolveUseTnefTag(AsMessage(copyMessage_).Get(), &tnefFlagTag_,
                                                   &freeResult))) {
            ShowError("Failed on GetIDsFromNames");
            return false;
        }
        if (freeResult != 0)
            ShowError("Failed on MAPIFreeBuffer");
        tnefFlagResolved_ = true;
    }
    return SetOneProp(tnefFlagTag_, false, FALSE, "Failed to allocate SPropValue for SetProps 2");
}

// Moves the copy to the Outbox, with Sent Items as the folder for its sent
// copy. Guarded as a whole: when it fails, the copy is submitted from where
// it was made. Leaves copyMessage_ empty when the moved item has no store
// message.
void JobRun::MoveToOutbox() {
    try {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace;
        if (FAILED(HostApplication::TrySession(ApplicationRef.Get(), &nameSpace)))
            return;
        ComRef<IDispatch> outbox =
            HostApplication::GetDefaultFolder(nameSpace.Get(), olFolderOutbox);
        ComRef<IDispatch> moved = HostApplication::Move(copyItem_.Get(), outbox.Get());
        movedItem_ = QueryAs<IDispatch>(moved.Get(), IID__MailItem);
        if (!movedItem_)
            RaiseHostError(E_POINTER); // nothing came back: its first use fails
        ComRef<IDispatch> sentItems =
            HostApplication::GetDefaultFolder(nameSpace.Get(), olFolderSentMail);
        HostApplication::PutSaveSentMessageFolder(movedItem_.Get(), sentItems.Get());
        HostApplication::Save(movedItem_.Get());
        copyMessage_ = HostApplication::MapiObject(movedItem_.Get());
    } catch (...) {
        char text[128];
        std::snprintf(text, sizeof text, "Error caught moving message to Outbox during message %d",
                      MailingJob::sentCount + 1);
        Log(text);
    }
}
