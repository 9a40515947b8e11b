#include "engine/last_mailing.h"

#include "base/data_paths.h"
#include "base/string_ids.h"
#include "data/mailing_shelf.h"
#include "engine/mailing_job.h"

#include <cstdio>

namespace {

constexpr UINT kAskFlags = MB_ICONQUESTION;
constexpr size_t kTextSize = 1024;

// A string-table text as a printf format.
void LoadFormat(UINT id, char* format, size_t size) {
    format[0] = '\0';
    LoadStringA(DataPaths.module, id, format, static_cast<int>(size));
}

} // namespace

bool LastMailing::Look(const char* listPath, const char* subject, JobPump* pump) {
    found_ = false;
    continuing_ = false;
    // Another mailing may have pushed this one aside: it is brought back
    // (the other put aside in its place) before the state file is read.
    if (!TakeMailingFromShelf(listPath, subject))
        return AskStartOver("it was put aside by another mailing and cannot be brought back", pump);
    LastJob last;
    switch (ReadLastJob(DataPaths.jobState, &last)) {
    case LastJobNone:
        return true;
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
    if (last.completed || !IsSameMailing(last, listPath, subject))
        return true;
    DropShelvedCopies(listPath, subject);

    SetStatusText("Reading Sent List");
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
    found_ = true;
    sentRecords_ = sent_.Count();
    // The mark of the record being sent stands for a message in doubt only
    // while the sent list does not hold that record yet.
    doubts_.Clear();
    noted_.Clear();
    legacyDoubt_ = false;
    bool memory = doubts_.CopyFrom(last.carried);
    if (last.hasDoubt && sentRecords_ <= last.doubtSentBefore) {
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
    if (alreadySent_ == 0 && !doubtSeen_ && doubts_.Count() == 0) {
        StartOver(recipients); // nothing was sent: continuing and starting over are one
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

bool LastMailing::TakeDoubt(const char* address) {
    return continuing_ && doubts_.Remove(address);
}
