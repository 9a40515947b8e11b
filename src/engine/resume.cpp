// Continuing a mailing that stopped. The last mailing is this one when the
// job state file names the same list and subject and no run of it completed.
// Its sent list then says who was mailed, record by record: those records
// are passed over, matched by their own text, so that rows the user
// corrected or added since are mailed. At most one record is in doubt, the
// one whose copy was being made when the process died; it is looked up in
// the client's Outbox and Sent Items before anything is sent to it again.
#include "engine/job_run.h"

#include "base/data_paths.h"
#include "base/messages.h"
#include "base/string_ids.h"
#include "base/utf8.h"
#include "client/host_application.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kAskFlags = MB_ICONQUESTION;
constexpr size_t kTextSize = 1024;

// A string-table text as a printf format.
void LoadFormat(UINT id, char* format, size_t size) {
    format[0] = '\0';
    LoadStringA(DataPaths.module, id, format, static_cast<int>(size));
}

bool SameAddress(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

} // namespace

// Without memory for the wide text, the 8-bit box shows what it can.
int JobRun::AskUtf8(const char* text, UINT flags) {
    try {
        Bstr wideText = Bstr::FromUtf8(text);
        Bstr caption = Bstr::FromUtf8(kProductName);
        return MessageBoxW(owner_, wideText.Get(), caption.Get(), flags);
    } catch (const HostError&) {
        return MessageBoxA(owner_, text, kProductName, flags);
    }
}

bool JobRun::LookForLastJob() {
    lastJobFound_ = false;
    continuing_ = false;
    LastJob last;
    switch (ReadLastJob(DataPaths.jobState, &last)) {
    case LastJobNone:
        return true;
    case LastJobNoMemory:
        StringMessageBox(owner_, IDS_OUT_OF_MEMORY, kProductName, MB_ICONEXCLAMATION);
        return false;
    case LastJobUnreadable:
        // Whether the last mailing is this one cannot be told: starting
        // over could mail its recipients twice, so the user decides.
        return AskStartOver("the file that names it, JobState.txt, cannot be read");
    case LastJobFound:
        break;
    }
    if (last.completed)
        return true;
    char listPath[3 * sizeof MailingJob::jobListPath];
    AnsiToUtf8(MailingJob::jobListPath, listPath, sizeof listPath);
    if (!IsSameMailing(last, listPath, originalSubject_.Get()))
        return true;

    SetStatus("Reading Sent List");
    const SentListRead read = sent_.Load(DataPaths.sentList);
    if (read != SentListOk) {
        if (read == SentListNoMemory) {
            StringMessageBox(owner_, IDS_OUT_OF_MEMORY, kProductName, MB_ICONEXCLAMATION);
            return false;
        }
        return AskStartOver(read == SentListMissing ? "it cannot be opened"
                                                    : "it could not be read to its end");
    }
    lastJobFound_ = true;
    sentRecords_ = sent_.Count();
    // The mark of the record being sent stands for a message in doubt only
    // while the sent list does not hold that record yet.
    doubtOpen_ = last.hasDoubt && sentRecords_ <= last.doubtSentBefore;
    doubtHash_ = last.doubtHash;
    return true;
}

bool JobRun::AskStartOver(const char* why) {
    char format[kTextSize], text[kTextSize];
    LoadFormat(IDS_ASK_START_OVER, format, sizeof format);
    std::snprintf(text, sizeof text, format, why);
    return AskUtf8(text, MB_YESNO | kAskFlags) == IDYES;
}

bool JobRun::CountRecord() {
    if (lastJobFound_ && sent_.Take(list_.current.raw)) {
        ++alreadySent_;
        extras_.totalBytes = 0; // not checked: mailed before
        return true;
    }
    if (!ExtrasUsable(false)) {
        ReviewNotBuildable(); // it cannot be mailed as it asks: not counted
        return false;
    }
    // The first record not yet mailed whose text is the one marked: the
    // marked line itself unless the user has moved it since.
    if (doubtOpen_ && !doubtSeen_ && ListRecordHash(list_.current.raw) == doubtHash_) {
        doubtSeen_ = true;
        std::snprintf(doubtAddress_, sizeof doubtAddress_, "%s", address_);
        doubtListLine_ = list_.current.line;
    }
    ++recipientCount_;
    return true;
}

void JobRun::StartOver() {
    recipientCount_ += alreadySent_;
    alreadySent_ = 0;
    lastJobFound_ = false;
    continuing_ = false;
    doubtOpen_ = false;
    sentRecords_ = 0;
    sent_.Clear();
}

bool JobRun::OfferToContinue() {
    if (!lastJobFound_)
        return true;
    // A sent list that is not this list's proves nothing about its records.
    if (!sent_.HeaderIs(headerLine_)) {
        StartOver();
        return AskStartOver("it is the sent list of another mailing list");
    }
    if (alreadySent_ == 0 && !doubtSeen_) {
        StartOver(); // nothing was sent: continuing and starting over are one
        return true;
    }
    char note[kTextSize] = "";
    if (doubtSeen_) {
        char format[kTextSize];
        LoadFormat(IDS_IN_DOUBT_NOTE, format, sizeof format);
        std::snprintf(note, sizeof note, format, doubtAddress_, doubtListLine_);
    }
    char format[kTextSize], text[2 * kTextSize];
    LoadFormat(IDS_ASK_CONTINUE_MAILING, format, sizeof format);
    std::snprintf(text, sizeof text, format, alreadySent_, recipientCount_, note);
    switch (AskUtf8(text, MB_YESNOCANCEL | kAskFlags)) {
    case IDYES:
        continuing_ = true;
        doubtOpen_ = doubtSeen_;
        sent_.GiveBack(); // the sending pass takes them again
        return true;
    case IDNO:
        StartOver();
        return true;
    default:
        return false;
    }
}

bool JobRun::FoundInFolder(IDispatch* nameSpace, LONG folder) {
    // Outlook's filter syntax: the value in quotes, a quote in it doubled.
    const char* subject = mergedSubject_.Get();
    const size_t length = std::strlen(subject);
    MergeBuffer filter;
    if (!filter.Resize(2 * length + 32))
        RaiseHostError(E_OUTOFMEMORY);
    char* out = filter.Get();
    out += std::snprintf(out, 16, "[Subject] = '");
    for (const char* p = subject; *p; ++p) {
        if (*p == '\'')
            *out++ = '\'';
        *out++ = *p;
    }
    std::strcpy(out, "'");

    ComRef<IDispatch> items =
        HostApplication::FolderItems(HostApplication::GetDefaultFolder(nameSpace, folder).Get());
    for (ComRef<IDispatch> item = HostApplication::FindItem(items.Get(), filter.Get()); item;
         item = HostApplication::FindNextItem(items.Get())) {
        if (HostApplication::Class(item.Get()) != olMail)
            continue;
        ComRef<IDispatch> recipients = HostApplication::Recipients(item.Get());
        const LONG count = HostApplication::RecipientsCount(recipients.Get());
        bool addressed = false;
        for (LONG i = 1; i <= count && !addressed; ++i) {
            ComRef<IDispatch> recipient = HostApplication::RecipientsItem(recipients.Get(), i);
            Utf8Text address = HostApplication::RecipientAddress(recipient.Get());
            addressed = address && SameAddress(address.Get(), address_);
        }
        if (!addressed)
            continue;
        if (folder == olFolderOutbox && !HostApplication::Submitted(item.Get())) {
            // The copy the last run made and never submitted: it would never
            // go, and a copy sent now would stand beside it.
            HostApplication::Delete(item.Get());
            char text[kTextSize];
            std::snprintf(text, sizeof text,
                          "In doubt: line %ld, To: %s. A copy never submitted was deleted from "
                          "the Outbox",
                          list_.current.line, address_);
            Log(text);
            continue;
        }
        return true;
    }
    return false;
}

bool JobRun::SettleInDoubt() {
    char text[kTextSize];
    const long line = list_.current.line;
    bool found = false;
    const char* where = nullptr;
    try {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
        if (FoundInFolder(nameSpace.Get(), olFolderOutbox)) {
            found = true;
            where = "Outbox";
        } else if (FoundInFolder(nameSpace.Get(), olFolderSentMail)) {
            found = true;
            where = "Sent Items";
        }
    } catch (...) {
        // The client cannot be searched: the user decides.
        char format[kTextSize];
        LoadFormat(IDS_ASK_SEND_IN_DOUBT, format, sizeof format);
        std::snprintf(text, sizeof text, format, address_, line);
        const bool send = AskUtf8(text, MB_YESNO | kAskFlags) == IDYES;
        std::snprintf(
            text, sizeof text, "In doubt: line %ld, To: %s. Not looked up: %s", line, address_,
            send ? "sent again at the user's choice" : "counted as sent at the user's choice");
        Log(text);
        if (!send)
            RecordSent();
        return !send;
    }
    if (found) {
        std::snprintf(text, sizeof text, "In doubt: line %ld, To: %s. Found in %s: counted as sent",
                      line, address_, where);
        Log(text);
        RecordSent();
        return true;
    }
    std::snprintf(text, sizeof text,
                  "In doubt: line %ld, To: %s. Not in the Outbox or Sent Items: sent", line,
                  address_);
    Log(text);
    return false;
}
