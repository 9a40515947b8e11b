#include "engine/last_mailing.h"

#include "base/data_paths.h"
#include "base/string_ids.h"
#include "base/utf8.h"
#include "data/mailing_shelf.h"
#include "data/workbook_text.h"
#include "engine/mailing_job.h"
#include "engine/mailing_stamp.h"
#include "engine/release_plan.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kAskFlags = MB_ICONQUESTION;
constexpr size_t kTextSize = 1024;
constexpr long long kSecondsPerDay = 86400;

// A string-table text as a printf format.
void LoadFormat(UINT id, char* format, size_t size) {
    format[0] = '\0';
    LoadStringA(DataPaths.module, id, format, static_cast<int>(size));
}

// The day a mailing was sent, as its state file gives it; the previous
// version's files say none.
const char* DateOf(const char* date) {
    return date && date[0] ? date : "an earlier day";
}

} // namespace

bool LastMailing::Look(const char* listPath, const char* subject, IUnknown* message,
                       JobPump* pump) {
    found_ = false;
    continuing_ = false;
    bySubject_ = false;
    renamed_ = false;
    date_[0] = '\0';
    ReadMailingStamp(message, stamp_, sizeof stamp_, &stampTag_);
    if (stamp_[0])
        std::snprintf(fresh_, sizeof fresh_, "%s", stamp_);
    else
        NewMailingId(listPath, subject, fresh_, sizeof fresh_);
    std::snprintf(id_, sizeof id_, "%s", fresh_);
    const MailingKey key{listPath, subject, stamp_};
    // Every copy handed over in the last day counts against the account's
    // limits, whichever mailing it is of; read before a mailing is put
    // aside or started over, whose waiting copies still leave.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    releases_.clear();
    ReleasesOfEveryMailing(UtcSecondsOf(now) - kSecondsPerDay, &releases_);
    // Another mailing may have pushed this one aside: it is brought back
    // (the other put aside in its place) before the state file is read.
    if (TakeMailingFromShelf(key, false) == ShelfFind::Failed)
        return AskStartOver("it was put aside by another mailing and cannot be brought back", pump);
    LastJob last;
    switch (ReadLastJob(DataPaths.jobState, &last)) {
    case LastJobNone:
        return LookForSameSubject(key, pump);
    case LastJobNoMemory:
        pump->SayString(IDS_OUT_OF_MEMORY, MB_ICONEXCLAMATION);
        return false;
    case LastJobUnreadable:
        // Whether the last mailing is this one cannot be told: starting
        // over could mail its recipients twice, so the user decides.
        return AskStartOver("the file that names it, JobState.txt, cannot be read", pump);
    case LastJobFound:
        break;
    }
    if (MatchMailing(last, key) != MailingMatch::Same)
        return LookForSameSubject(key, pump);
    if (last.completed) {
        // This very message reached everyone already; a message that does
        // not say which mailing it is may still share some of them.
        if (stamp_[0])
            return AskSendAgain(last, pump);
        return LookForSameSubject(key, pump);
    }
    DropShelvedCopies(key);
    if (last.mailingId[0])
        std::snprintf(id_, sizeof id_, "%s", last.mailingId);
    return TakeUp(last, pump);
}

bool LastMailing::LookForSameSubject(const MailingKey& key, JobPump* pump) {
    // One put aside that may share recipients with this one, and cannot be
    // brought back to be compared, could be mailed twice: the user decides.
    if (TakeMailingFromShelf(key, true) == ShelfFind::Failed)
        return AskStartOver("it was put aside by another mailing and cannot be brought back", pump);
    LastJob last;
    if (ReadLastJob(DataPaths.jobState, &last) != LastJobFound)
        return true;
    const MailingMatch match = MatchMailing(last, key);
    if (match == MailingMatch::Other)
        return true;
    // The same message to a list of another path is the same mailing when
    // they share recipients (the list renamed or moved), another one when
    // they share none; a message not known is asked about.
    renamed_ = match == MailingMatch::SameMessage && !last.completed;
    bySubject_ = !renamed_;
    std::snprintf(date_, sizeof date_, "%s", last.date);
    if (last.mailingId[0])
        std::snprintf(id_, sizeof id_, "%s", last.mailingId);
    return TakeUp(last, pump);
}

bool LastMailing::AskSendAgain(const LastJob& last, JobPump* pump) {
    // The records its sent list holds; a sent list that cannot be read
    // leaves the count its state file gives.
    long sent = last.doubtSentBefore + 1;
    if (sent_.Load(DataPaths.sentList) == SentListOk)
        sent = sent_.Count();
    sent_.Clear();
    char format[kTextSize], text[2 * kTextSize];
    LoadFormat(IDS_ASK_SEND_AGAIN, format, sizeof format);
    std::snprintf(text, sizeof text, format, static_cast<int>(sent), DateOf(last.date));
    return pump->Say(text, MB_YESNO | MB_DEFBUTTON2 | kAskFlags) == IDYES;
}

bool LastMailing::TakeUp(const LastJob& last, JobPump* pump) {
    SetStatusText("Reading Sent List");
    sent_.Watch(last.hasDoubt ? last.doubtSentBefore : -1);
    const SentListRead read = sent_.Load(DataPaths.sentList);
    if (read != SentListOk) {
        if (read == SentListNoMemory) {
            pump->SayString(IDS_OUT_OF_MEMORY, MB_ICONEXCLAMATION);
            return false;
        }
        return AskStartOver(read == SentListMissing ? "it cannot be opened"
                                                    : "it could not be read to its end",
                            pump);
    }
    // Copies taken back out of the Outbox before they left: their records
    // are sent again.
    last.withdrawn.ForEach([this](const char* address) { sent_.Withdraw(address); });
    found_ = true;
    // A workbook is read from the sheet the earlier runs read, unless the
    // user has picked one for this list since the client started.
    if (last.hasSheet && WorkbookChoice.sheet < 0 && WorkbookChoice.sheetName.empty()) {
        WorkbookChoice.sheetName = last.sheet;
        WorkbookChoice.includeHidden = last.sheetIncludesHidden;
    }
    sentRecords_ = sent_.Count();
    doubtSubject_ = Utf8Text::Copy(last.subject ? last.subject : "");
    // The mark of the record being sent stands for a message in doubt until
    // the sent list holds that record, whole, in its place: a record a full
    // disk cut short holds nobody.
    doubts_.Clear();
    noted_.Clear();
    legacyDoubt_ = false;
    bool memory = doubts_.CopyFrom(last.carried);
    const bool recorded =
        sentRecords_ > last.doubtSentBefore &&
        (!last.doubtAddress[0] || SameFoldingCase(sent_.WatchedAddress(), last.doubtAddress));
    if (last.hasDoubt && !recorded) {
        if (last.doubtAddress[0])
            memory = doubts_.Add(last.doubtAddress) && memory;
        legacyDoubt_ = !last.doubtAddress[0];
        legacyHash_ = last.doubtHash;
    }
    if (!memory) {
        pump->SayString(IDS_OUT_OF_MEMORY, MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

bool LastMailing::AskStartOver(const char* why, JobPump* pump) {
    char format[kTextSize], text[kTextSize];
    LoadFormat(IDS_ASK_START_OVER, format, sizeof format);
    std::snprintf(text, sizeof text, format, why);
    return pump->Say(text, MB_YESNO | kAskFlags) == IDYES;
}

bool LastMailing::TakeSentBefore(const char* address) {
    if (!found_ || !sent_.Take(address))
        return false;
    ++alreadySent_;
    return true;
}

void LastMailing::NoteIfInDoubt(const ListRecord& record, const char* address) {
    if (!found_)
        return;
    if (legacyDoubt_ && ListRecordHash(record.raw) == legacyHash_) {
        // The previous version's mark: from here on its address stands for it.
        legacyDoubt_ = false;
        doubts_.Add(address);
    }
    if (!doubts_.Has(address) || noted_.Has(address) || !noted_.Add(address))
        return;
    if (!doubtSeen_) {
        std::snprintf(doubtAddress_, sizeof doubtAddress_, "%s", address);
        doubtListLine_ = record.line;
    }
    doubtSeen_ = true;
}

void LastMailing::Recount() {
    alreadySent_ = 0;
    doubtSeen_ = false;
    noted_.Clear();
    sent_.GiveBack();
}

void LastMailing::StartOver(int* recipients) {
    *recipients += alreadySent_;
    // A new mailing: of the message's own id, or a new one.
    std::snprintf(id_, sizeof id_, "%s", fresh_);
    bySubject_ = false;
    renamed_ = false;
    alreadySent_ = 0;
    found_ = false;
    continuing_ = false;
    doubts_.Clear();
    noted_.Clear();
    legacyDoubt_ = false;
    sentRecords_ = 0;
    sent_.Clear();
}

bool LastMailing::Offer(int* recipients, JobPump* pump) {
    if (!found_)
        return true;
    // A sent list that names no address proves nothing about anyone; one
    // whose other fields differ (renamed, moved) still names its recipients.
    if (!sent_.HasAddressColumn()) {
        StartOver(recipients);
        return AskStartOver("it is the sent list of another mailing list", pump);
    }
    if (alreadySent_ == 0 && (bySubject_ || renamed_ || (!doubtSeen_ && doubts_.Count() == 0))) {
        StartOver(recipients); // nothing was sent: continuing and starting over are one
        return true;
    }
    if (bySubject_)
        return AskSendToOthers(recipients, pump);
    char note[kTextSize] = "";
    if (doubtSeen_) {
        char format[kTextSize];
        LoadFormat(IDS_IN_DOUBT_NOTE, format, sizeof format);
        std::snprintf(note, sizeof note, format, doubtAddress_, doubtListLine_);
    }
    char format[kTextSize], text[2 * kTextSize];
    LoadFormat(IDS_ASK_CONTINUE_MAILING, format, sizeof format);
    std::snprintf(text, sizeof text, format, alreadySent_, *recipients, note);
    switch (pump->Say(text, MB_YESNOCANCEL | kAskFlags)) {
    case IDYES:
        continuing_ = true;
        sent_.GiveBack(); // the sending pass takes them again
        return true;
    case IDNO:
        StartOver(recipients);
        return true;
    default:
        return false;
    }
}

bool LastMailing::AskSendToOthers(int* recipients, JobPump* pump) {
    char format[kTextSize], text[2 * kTextSize];
    LoadFormat(IDS_ASK_SEND_TO_OTHERS, format, sizeof format);
    std::snprintf(text, sizeof text, format, alreadySent_, DateOf(date_));
    if (pump->Say(text, MB_YESNO | kAskFlags) != IDYES) {
        StartOver(recipients);
        return true;
    }
    // The mailing those recipients were sent: this message is of it now.
    continuing_ = true;
    sent_.GiveBack();
    return true;
}

void LastMailing::StampMessage(IUnknown* message) {
    if (std::strcmp(id_, stamp_) != 0 && WriteMailingStamp(message, stampTag_, id_))
        std::snprintf(stamp_, sizeof stamp_, "%s", id_);
}

bool LastMailing::TakeDoubt(const char* address) {
    return continuing_ && doubts_.Remove(address);
}
