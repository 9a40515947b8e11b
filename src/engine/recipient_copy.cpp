#include "engine/recipient_copy.h"

#include "base/utf8.h"
#include "client/client_call.h"
#include "client/client_commands.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "engine/mailing_job.h"
#include "engine/original_message.h"

#include <cstdio>

namespace {
// Copy failures are retried this many times, a second apart.
constexpr int kCopyRetries = 300;
constexpr DWORD kCopyRetryDelay = 1000;
constexpr UINT kErrorFlags = MB_ICONEXCLAMATION;
// The most of a path a log line shows.
constexpr size_t kShownPathSize = 400;
// A long file is attached in pieces; the thread is handed back every so
// many of them.
constexpr unsigned kPiecesPerPump = 8;
} // namespace

IAddrBook* CopyTools::AddressBook() {
    if (!addressBookOpened_) {
        addressBookOpened_ = true;
        if (MapiSessionRef)
            addressBook_ = MessageStore::OpenAddressBook(MapiSessionRef.Get());
    }
    return addressBook_.Get();
}

void RecipientCopy::LogAndShow(const char* text) {
    journal_->Log(text);
    pump_->Say(text, kErrorFlags);
}

CopyOutcome RecipientCopy::Send() {
    CopyOutcome outcome = Build();
    if (outcome != CopyOutcome::Submitted)
        return outcome;
    *step_ = JobStep::Flushing;
    Flush();
    return CopyOutcome::Submitted;
}

CopyOutcome RecipientCopy::Build() {
    CopyOutcome outcome = CopyOutcome::Ended;
    if (!MakeCopy(&outcome))
        return outcome;
    if (!SetTexts())
        return copyItem_ ? CopyOutcome::Raised : CopyOutcome::Ended;
    // A copy without a file its record names is never sent: it is deleted
    // and the job goes on with the next record.
    outcome = AttachRecordFiles();
    if (outcome == CopyOutcome::Submitted)
        outcome = AddRecipients();
    if (outcome == CopyOutcome::Submitted)
        outcome = Mark();
    if (outcome != CopyOutcome::Submitted)
        return outcome;
    MoveToOutbox();
    if (!copyMessage_)
        return CopyOutcome::Ended;
    outcome = SetReleaseTime();
    if (outcome != CopyOutcome::Submitted)
        return outcome;
    return Submit();
}

// The host's Copy can fail for a while (the original is busy being saved);
// it is retried a second apart. The thread's messages are pumped between
// tries as in the pause between mails, so the client stays responsive and
// the user can pause or cancel the retries. Once the user has closed or sent
// the compose window no copy can succeed any more, and the job ends at the
// first failure instead of retrying for five minutes.
bool RecipientCopy::MakeCopy(CopyOutcome* outcome) {
    *step_ = JobStep::MakingCopy;
    *outcome = CopyOutcome::Ended;
    for (int attempts = 0;;) {
        copyItem_.Reset();
        const HRESULT copied = ClientCall("Copy", [&] {
            ComRef<IDispatch> copy = HostApplication::Copy(order_.original);
            copyItem_ = QueryAs<IDispatch>(copy.Get(), IID__MailItem);
        });
        if (SUCCEEDED(copied))
            return static_cast<bool>(copyItem_); // no copy, or no mail item: silently
        ++attempts;
        copyItem_.Reset();
        char text[128];
        std::snprintf(text, sizeof text, "Caught exception during message copy: %d (%d)",
                      order_.number, attempts);
        journal_->Log(text);
        if (attempts > kCopyRetries || order_.context->itemClosed) {
            pump_->Say(text, kErrorFlags);
            return false;
        }
        if (!pump_->Wait(kCopyRetryDelay))
            return false;
    }
}

// Steps 7 to 11: a failing call here is no step's to handle. False with
// copyItem_ kept when a call raised; false with it gone when the copy has
// no store message.
bool RecipientCopy::SetTexts() {
    const MergedTexts& texts = *order_.texts;
    return SUCCEEDED(ClientCall("the copy's texts",
                                [&] {
                                    *step_ = JobStep::SavingCopy;
                                    HostApplication::Save(copyItem_.Get());
                                    *step_ = JobStep::GettingStoreMessage;
                                    copyMessage_ = HostApplication::MapiObject(copyItem_.Get());
                                    if (!copyMessage_) {
                                        DeleteUnfinished();
                                        return;
                                    }
                                    *step_ = JobStep::SettingSubject;
                                    HostApplication::PutSubject(copyItem_.Get(), texts.Subject());
                                    *step_ = JobStep::SettingBody;
                                    if (order_.html)
                                        HostApplication::PutHtmlBody(copyItem_.Get(),
                                                                     texts.HtmlBody());
                                    else
                                        HostApplication::PutBody(copyItem_.Get(), texts.Body());
                                    *step_ = JobStep::SavingCopyAgain;
                                    HostApplication::Save(copyItem_.Get());
                                })) &&
           copyMessage_;
}

// `why` follows "Not sent: " in the log ("line N, the attachment ...").
void RecipientCopy::LeaveOut(const char* why) {
    std::snprintf(leftOut_, sizeof leftOut_, "%s", why);
    if (!order_.test) {
        char text[sizeof leftOut_ + 16];
        std::snprintf(text, sizeof text, "Not sent: %s", why);
        journal_->Log(text);
    }
    DeleteUnfinished();
}

CopyOutcome RecipientCopy::AttachRecordFiles() {
    const CheckedExtras& extras = *order_.extras;
    if (extras.fileCount == 0)
        return CopyOutcome::Submitted;
    *step_ = JobStep::AttachingFiles;
    SetProgressStatus("Attaching Files", order_.number, order_.total);
    ComRef<IMessage> message;
    if (FAILED(ClientCall("IMessage", [&] { message = AsMessage(copyMessage_.Get()); })))
        return CopyOutcome::Raised;
    for (int i = 0; i < extras.count; ++i) {
        if (extras.items[i].kind != RecordExtraFile)
            continue;
        const char* path = RecordExtraText(&extras, i);
        HRESULT storeResult = S_OK;
        unsigned pieces = 0;
        bool stopped = false;
        const MessageStore::AttachResult result = MessageStore::AttachFile(
            message.Get(), path, RecordExtraName(&extras, i), &storeResult, [&] {
                // A long file is no frozen client.
                if (++pieces % kPiecesPerPump == 0 && !pump_->Poll())
                    stopped = true;
                return !stopped;
            });
        if (result == MessageStore::AttachResult::Attached)
            continue;
        message.Reset();
        if (stopped) {
            DeleteUnfinished();
            return CopyOutcome::Ended;
        }
        char shown[kShownPathSize];
        CopyForLogLine(shown, sizeof shown, path);
        char why[64];
        switch (result) {
        case MessageStore::AttachResult::FileTooLarge:
            std::snprintf(why, sizeof why, "is larger than 2 GB");
            break;
        case MessageStore::AttachResult::StoreFailed:
            std::snprintf(why, sizeof why, "could not be attached (0x%08X)",
                          static_cast<unsigned>(static_cast<ULONG>(storeResult)));
            break;
        case MessageStore::AttachResult::NoMemory:
            std::snprintf(why, sizeof why, "could not be attached: not enough memory");
            break;
        default:
            std::snprintf(why, sizeof why, "cannot be read");
            break;
        }
        char text[kShownPathSize + 128];
        std::snprintf(text, sizeof text, "line %ld, the attachment \"%s\" %s", order_.line, shown,
                      why);
        LeaveOut(text);
        return CopyOutcome::LeftOut;
    }
    // The attachments saved with the message before the client moves it.
    const HRESULT saved = MessageStore::SaveMessage(message.Get());
    message.Reset();
    if (FAILED(saved)) {
        char text[128];
        std::snprintf(text, sizeof text, "line %ld, its attachments could not be saved (0x%08X)",
                      order_.line, static_cast<unsigned>(static_cast<ULONG>(saved)));
        LeaveOut(text);
        return CopyOutcome::LeftOut;
    }
    return CopyOutcome::Submitted;
}

// The record's recipient, then its Cc and Bcc addresses, in one list: the
// copy gets them all at once or none.
CopyOutcome RecipientCopy::AddRecipients() {
    char text[400];
    *step_ = JobStep::BuildingRecipient;
    const CheckedExtras& extras = *order_.extras;
    MessageStore::RecipientList recipients;
    // A test goes to the user alone, never to the record's copy addresses.
    const ULONG entries =
        order_.test ? 1 : 1 + static_cast<ULONG>(extras.ccCount + extras.bccCount);
    if (!recipients.AllocateList(entries)) {
        std::snprintf(text, sizeof text, "Failed to allocate ADRLIST: %s", order_.address);
        LogAndShow(text);
        return CopyOutcome::Ended;
    }
    for (ULONG entry = 0; entry < entries; ++entry) {
        if (!recipients.AllocateValues(entry)) {
            std::snprintf(text, sizeof text, "Failed to allocate SPropValue: %s", order_.address);
            LogAndShow(text);
            return CopyOutcome::Ended;
        }
    }
    if (!recipients.SetAddress(order_.address))
        return CopyOutcome::Ended;
    ULONG entry = 1;
    for (int i = 0; i < extras.count && entry < entries; ++i) {
        const RecordExtraKind kind = extras.items[i].kind;
        if (kind == RecordExtraFile)
            continue;
        if (!recipients.SetAddress(RecordExtraText(&extras, i), entry) ||
            !recipients.SetFixedValues(entry, kind == RecordExtraCc ? MAPI_CC : MAPI_BCC))
            return CopyOutcome::Ended;
        ++entry;
    }
    *step_ = JobStep::AddingRecipient;
    if (!recipients.SetFixedValues())
        return CopyOutcome::Ended;
    for (entry = 0; entry < entries; ++entry)
        ResolveRecipient(&recipients, entry);
    HRESULT added = S_OK;
    if (FAILED(ClientCall("ModifyRecipients",
                          [&] { added = recipients.AddTo(AsMessage(copyMessage_.Get()).Get()); })))
        return CopyOutcome::Raised;
    if (FAILED(added)) {
        std::snprintf(text, sizeof text, "Failed to add recipient: %s", order_.address);
        LogAndShow(text);
        return CopyOutcome::Ended;
    }
    return CopyOutcome::Submitted;
}

// A store delivers a submitted message only to resolved recipients, those
// with an entry ID, and answers the others with a non-delivery report: each
// recipient is given a one-off entry ID from the session's address book.
// Without a book, or when it makes no entry ID, the copy goes as it always
// could, unresolved: that is the store's to answer, and the job goes on.
void RecipientCopy::ResolveRecipient(MessageStore::RecipientList* recipients, ULONG entry) {
    if (IAddrBook* book = tools_->AddressBook())
        recipients->SetOneOffEntryId(book, entry);
}

// A failing SetProps shows the store's own description of the failure, when
// it gives one.
CopyOutcome RecipientCopy::SetOneProp(ULONG tag, bool isLong, LONG value,
                                      const char* noMemoryText) {
    MapiBuffer<SPropValue> prop = MessageStore::AllocateValue();
    if (!prop) {
        pump_->Say(noMemoryText, kErrorFlags);
        return CopyOutcome::Ended;
    }
    prop->ulPropTag = tag;
    if (isLong)
        prop->Value.l = value;
    else
        prop->Value.b = static_cast<unsigned short>(value);
    ComRef<IMessage> message;
    if (FAILED(ClientCall("IMessage", [&] { message = AsMessage(copyMessage_.Get()); })))
        return CopyOutcome::Raised;
    HRESULT hr = MessageStore::SetOneProp(message.Get(), prop.Get());
    prop.Free();
    if (FAILED(hr)) {
        Utf8Text description;
        if (MessageStore::LastErrorText(message.Get(), hr, &description))
            pump_->Say(description.Get(), kErrorFlags);
        return CopyOutcome::Ended;
    }
    return CopyOutcome::Submitted;
}

CopyOutcome RecipientCopy::Mark() {
    *step_ = JobStep::FormatTnefAndMove;
    if (!order_.html) {
        const CopyOutcome marked = SetOneProp(PR_MSG_EDITOR_FORMAT, true, EDITOR_FORMAT_PLAINTEXT,
                                              "Failed to allocate SPropValue for SetProps");
        if (marked != CopyOutcome::Submitted)
            return marked;
    }
    if (!tools_->tnefFlagResolved) {
        ULONG freeResult = 0;
        HRESULT resolved = S_OK;
        if (FAILED(ClientCall("GetIDsFromNames", [&] {
                resolved = MessageStore::ResolveUseTnefTag(AsMessage(copyMessage_.Get()).Get(),
                                                           &tools_->tnefFlagTag, &freeResult);
            })))
            return CopyOutcome::Raised;
        if (FAILED(resolved)) {
            pump_->Say("Failed on GetIDsFromNames", kErrorFlags);
            return CopyOutcome::Ended;
        }
        if (freeResult != 0)
            pump_->Say("Failed on MAPIFreeBuffer", kErrorFlags);
        tools_->tnefFlagResolved = true;
    }
    return SetOneProp(tools_->tnefFlagTag, false, FALSE,
                      "Failed to allocate SPropValue for SetProps 2");
}

// Moves the copy to the Outbox, with Sent Items as the folder for its sent
// copy. Guarded as a whole: when it fails, the copy is submitted from where
// it was made. Leaves copyMessage_ empty when the moved item has no store
// message.
void RecipientCopy::MoveToOutbox() {
    const HRESULT moved = ClientCall("the move to the Outbox", [&] {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace;
        if (FAILED(HostApplication::TrySession(ApplicationRef.Get(), &nameSpace)))
            return;
        ComRef<IDispatch> outbox =
            HostApplication::GetDefaultFolder(nameSpace.Get(), olFolderOutbox);
        ComRef<IDispatch> item = HostApplication::Move(copyItem_.Get(), outbox.Get());
        movedItem_ = QueryAs<IDispatch>(item.Get(), IID__MailItem);
        if (!movedItem_)
            RaiseHostError(E_POINTER); // nothing came back: its first use fails
        ComRef<IDispatch> sentItems =
            HostApplication::GetDefaultFolder(nameSpace.Get(), olFolderSentMail);
        HostApplication::PutSaveSentMessageFolder(movedItem_.Get(), sentItems.Get());
        HostApplication::Save(movedItem_.Get());
        copyMessage_ = HostApplication::MapiObject(movedItem_.Get());
    });
    if (FAILED(moved)) {
        char text[128];
        std::snprintf(text, sizeof text, "Error caught moving message to Outbox during message %d",
                      order_.number);
        journal_->Log(text);
    }
}

// Set on the moved message just before SubmitMessage, which saves it: the
// copy waits in the Outbox (or on the server) until its time, and a copy
// that could not be given its time is not sent early.
CopyOutcome RecipientCopy::SetReleaseTime() {
    if (!order_.release)
        return CopyOutcome::Submitted;
    MapiBuffer<SPropValue> prop = MessageStore::AllocateValue();
    if (!prop) {
        pump_->Say("Failed to allocate SPropValue for SetProps", kErrorFlags);
        return CopyOutcome::Ended;
    }
    prop->ulPropTag = PR_DEFERRED_DELIVERY_TIME;
    prop->Value.ft = *order_.release;
    HRESULT hr = S_OK;
    ComRef<IMessage> message;
    if (FAILED(ClientCall("SetProps", [&] {
            message = AsMessage(copyMessage_.Get());
            hr = MessageStore::SetOnePropChecked(message.Get(), prop.Get());
        })))
        return CopyOutcome::Raised;
    if (FAILED(hr)) {
        char text[400];
        std::snprintf(text, sizeof text, "Failed to set the release time of the message to: %s",
                      order_.address);
        LogAndShow(text);
        return CopyOutcome::Ended;
    }
    return CopyOutcome::Submitted;
}

CopyOutcome RecipientCopy::Submit() {
    *step_ = JobStep::Submitting;
    SetProgressStatus("Sending Message", order_.number, order_.total);
    HRESULT result = S_OK;
    const HRESULT called = ClientCall("SubmitMessage", [&] {
        result = MessageStore::Submit(AsMessage(copyMessage_.Get()).Get());
    });
    char text[400];
    if (FAILED(called)) {
        // It may have gone: counted as submitted, never deleted.
        std::snprintf(text, sizeof text, "SubmitMessage error caught during message %d",
                      order_.number);
        journal_->Log(text);
    } else if (FAILED(result)) {
        std::snprintf(text, sizeof text, "Failed to submit message to: %s", order_.address);
        LogAndShow(text);
        return CopyOutcome::Ended;
    }
    submitted_ = true;
    return CopyOutcome::Submitted;
}

void RecipientCopy::Flush() {
    SetProgressStatus("Flushing Message", order_.number, order_.total);
    if (FAILED(ClientCall("FlushQueues", [] { FlushOutboundQueue(); }))) {
        char text[128];
        std::snprintf(text, sizeof text, "MAPIFlushQueues error caught during message %d",
                      order_.number);
        journal_->Log(text);
    }
}

// A copy that was not submitted must not go, nor wait in a folder to be sent
// by hand: it is deleted. Should the client refuse, the log says so.
void RecipientCopy::DeleteUnfinished() {
    IDispatch* made = movedItem_ ? movedItem_.Get() : copyItem_.Get();
    copyMessage_.Reset();
    if (made && !submitted_ &&
        FAILED(ClientCall("Delete", [&] { HostApplication::Delete(made); }))) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "The unfinished copy for message %d could not be deleted from the Drafts",
                      order_.number);
        journal_->Log(text);
    }
    movedItem_.Reset();
    copyItem_.Reset();
    submitted_ = true; // nothing left to delete
}
