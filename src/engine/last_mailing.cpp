#include "engine/last_mailing.h"

#include "base/data_paths.h"
#include "base/string_ids.h"
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
    doubtOpen_ = last.hasDoubt && sentRecords_ <= last.doubtSentBefore;
    doubtHash_ = last.doubtHash;
    return true;
}

bool LastMailing::AskStartOver(const char* why, JobPump* pump) {
    char format[kTextSize], text[kTextSize];
    LoadFormat(IDS_ASK_START_OVER, format, sizeof format);
    std::snprintf(text, sizeof text, format, why);
    return pump->Say(text, MB_YESNO | kAskFlags) == IDYES;
}

bool LastMailing::TakeSentBefore(const char* raw) {
    if (!found_ || !sent_.Take(raw))
        return false;
    ++alreadySent_;
    return true;
}

void LastMailing::NoteIfInDoubt(const ListRecord& record, const char* address) {
    if (doubtOpen_ && !doubtSeen_ && ListRecordHash(record.raw) == doubtHash_) {
        doubtSeen_ = true;
        std::snprintf(doubtAddress_, sizeof doubtAddress_, "%s", address);
        doubtListLine_ = record.line;
    }
}

void LastMailing::Recount() {
    alreadySent_ = 0;
    doubtSeen_ = false;
    sent_.GiveBack();
}

void LastMailing::StartOver(int* recipients) {
    *recipients += alreadySent_;
    alreadySent_ = 0;
    found_ = false;
    continuing_ = false;
    doubtOpen_ = false;
    sentRecords_ = 0;
    sent_.Clear();
}

bool LastMailing::Offer(const char* headerLine, int* recipients, JobPump* pump) {
    if (!found_)
        return true;
    // A sent list that is not this list's proves nothing about its records.
    if (!sent_.HeaderIs(headerLine)) {
        StartOver(recipients);
        return AskStartOver("it is the sent list of another mailing list", pump);
    }
    if (alreadySent_ == 0 && !doubtSeen_) {
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
        doubtOpen_ = doubtSeen_;
        sent_.GiveBack(); // the sending pass takes them again
        return true;
    case IDNO:
        StartOver(recipients);
        return true;
    default:
        return false;
    }
}

bool LastMailing::TakeDoubt(const char* raw) {
    if (!doubtOpen_ || ListRecordHash(raw) != doubtHash_)
        return false;
    doubtOpen_ = false;
    return true;
}
