#include "dialogs/review_release.h"

#include "base/dialog_ids.h"
#include "data/send_schedule.h"
#include "data/settings.h"
#include "dialogs/decimal_field.h"
#include "engine/release_plan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void SetNumber(DialogWindow* window, int id, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    window->SetText(id, text);
}

const char* KindName(AccountKind kind) {
    switch (kind) {
    case AccountKind::Imap:
        return "an IMAP account";
    case AccountKind::Pop3:
        return "a POP3 account";
    default:
        return "an account that is not Exchange";
    }
}

} // namespace

std::string DescribeSendingAccount(const SendingAccount& account, int proposed) {
    if (account.kind == AccountKind::Unknown)
        return "With an Exchange account the server sends the waiting copies. With POP3 or IMAP, "
               "keep Outlook running until the last has left.";
    std::string text = "They go from ";
    if (!account.address.empty())
        text += account.address + ", ";
    if (account.kind == AccountKind::Exchange)
        text += "an Exchange account: its server sends the waiting copies, whether Outlook runs "
                "or not.";
    else
        text += std::string(KindName(account.kind)) +
                ": keep Outlook running, and the computer awake, until the last has left.";
    if (proposed > 0 && static_cast<size_t>(proposed) < kProviderLimitCount)
        text += std::string(" Proposed for this account: the limits of ") +
                kProviderLimits[proposed].name + ".";
    return text;
}

void ReviewRelease::Show() {
    window_->SetCheck(IDC_START_LATER, JobOptions.StartLater == 1);
    window_->SetText(IDC_START_AT, JobOptions.StartAt);
    window_->LimitText(IDC_START_AT, 19);
    int perMinute = JobOptions.PerMinute, perDay = JobOptions.PerDay;
    // Limits the user never chose: the provider's, when the account names one.
    proposed_ = JobOptions.LimitsChosen ? -1 : ProviderOfAccount(account_);
    if (proposed_ >= 0) {
        perMinute = kProviderLimits[proposed_].perMinute;
        perDay = kProviderLimits[proposed_].perDay;
    }
    SetNumber(window_, IDC_PER_MINUTE, perMinute);
    SetNumber(window_, IDC_PER_DAY, perDay);
    window_->LimitText(IDC_PER_MINUTE, 4);
    window_->LimitText(IDC_PER_DAY, 6);
    window_->SetCheck(IDC_WORKING_DAYS, JobOptions.WorkingDaysOnly == 1);
    MarkProvider();
    ShowWhen();
}

bool ReviewRelease::Command(int id, int code) {
    if (id >= IDC_PROVIDER_FIRST && id <= IDC_PROVIDER_LAST && code == BN_CLICKED) {
        const ProviderLimits& p = kProviderLimits[id - IDC_PROVIDER_FIRST];
        SetNumber(window_, IDC_PER_MINUTE, p.perMinute);
        SetNumber(window_, IDC_PER_DAY, p.perDay);
        MarkProvider();
        ShowWhen();
        return true;
    }
    if ((id == IDC_START_LATER || id == IDC_WORKING_DAYS) && code == BN_CLICKED) {
        ShowWhen();
        return true;
    }
    if ((id == IDC_START_AT || id == IDC_PER_MINUTE || id == IDC_PER_DAY) && code == EN_CHANGE) {
        if (id != IDC_START_AT)
            MarkProvider();
        ShowWhen();
        return true;
    }
    return false;
}

// The provider whose figures the two limits are, if any.
void ReviewRelease::MarkProvider() {
    char minute[16], day[16];
    window_->GetText(IDC_PER_MINUTE, minute, sizeof minute);
    window_->GetText(IDC_PER_DAY, day, sizeof day);
    const int perMinute = std::atoi(minute), perDay = std::atoi(day);
    for (size_t i = 0; i < kProviderLimitCount; ++i)
        window_->SetCheck(IDC_PROVIDER_FIRST + static_cast<int>(i),
                          kProviderLimits[i].perMinute == perMinute &&
                              kProviderLimits[i].perDay == perDay);
}

// When the first and the last copy leave with the choices as they stand,
// and who keeps the waiting ones.
void ReviewRelease::ShowWhen() {
    char text[16];
    window_->GetText(IDC_PER_MINUTE, text, sizeof text);
    const int perMinute = std::atoi(text);
    window_->GetText(IDC_PER_DAY, text, sizeof text);
    const int perDay = std::atoi(text);
    char startText[24];
    window_->GetText(IDC_START_AT, startText, sizeof startText);
    const ScheduleSeconds now = LocalScheduleNow(true);
    ScheduleSeconds start = now;
    if (window_->IsChecked(IDC_START_LATER) && !ParseStartAt(startText, &start)) {
        window_->SetText(IDC_RELEASE_TEXT, "The start time reads as none: write it as "
                                           "YYYY-MM-DD HH:MM, for example 2027-01-04 09:00.");
        return;
    }
    const SendLimits limits{perMinute, perDay, window_->IsChecked(IDC_WORKING_DAYS)};
    SendSchedule schedule(limits, start, now);
    schedule.SetClockOffset(&LocalClockOffset);
    if (handedOver_)
        TakeHandedOver(&schedule, *handedOver_);
    for (long i = 0; i < recipients_; ++i)
        schedule.Next();
    char first[20] = "", last[20] = "", line[640];
    if (recipients_ > 0) {
        FormatScheduleTime(schedule.First(), first);
        FormatScheduleTime(schedule.Last(), last);
    }
    // The proposal is told while the limits are still the proposed ones.
    const bool proposal = proposed_ >= 0 && kProviderLimits[proposed_].perMinute == perMinute &&
                          kProviderLimits[proposed_].perDay == perDay;
    std::snprintf(line, sizeof line, "The first copy leaves at %s, the last at %s.\r\n%s",
                  recipients_ > 0 ? first : "-", recipients_ > 0 ? last : "-",
                  DescribeSendingAccount(account_, proposal ? proposed_ : -1).c_str());
    window_->SetText(IDC_RELEASE_TEXT, line);
}

bool ReviewRelease::ReadLimit(int id, int high, int* value, bool quietly) {
    char text[16];
    window_->GetText(id, text, sizeof text);
    *value = text[0] ? ReadDecimalField(text) : 0;
    if (*value >= 0 && *value <= high)
        return true;
    if (quietly)
        return false;
    char said[160];
    std::snprintf(said, sizeof said, "Please enter a limit from 0 (no limit) to %d.", high);
    window_->ShowMessage(said, MB_OK | MB_ICONEXCLAMATION);
    window_->Focus(id);
    return false;
}

bool ReviewRelease::Take(bool quietly) {
    int perMinute = 0, perDay = 0;
    if (!ReadLimit(IDC_PER_MINUTE, kMaxPerMinute, &perMinute, quietly) ||
        !ReadLimit(IDC_PER_DAY, kMaxPerDay, &perDay, quietly))
        return false;
    char startAt[sizeof JobOptions.StartAt + 4];
    window_->GetText(IDC_START_AT, startAt, sizeof startAt);
    ScheduleSeconds start = 0;
    const bool later = window_->IsChecked(IDC_START_LATER);
    if (later && !ParseStartAt(startAt, &start)) {
        if (quietly)
            return false;
        window_->ShowMessage("Please enter the start as YYYY-MM-DD HH:MM, for example "
                             "2027-01-04 09:00.",
                             MB_OK | MB_ICONEXCLAMATION);
        window_->Focus(IDC_START_AT);
        return false;
    }
    JobOptions.StartLater = later ? 1 : 0;
    // A time that reads is at most "YYYY-MM-DD HH:MM:SS": it fits.
    if ((later || ParseStartAt(startAt, &start)) &&
        std::strlen(startAt) < sizeof JobOptions.StartAt)
        std::memcpy(JobOptions.StartAt, startAt, std::strlen(startAt) + 1);
    JobOptions.PerMinute = perMinute;
    JobOptions.PerDay = perDay;
    JobOptions.WorkingDaysOnly = window_->IsChecked(IDC_WORKING_DAYS) ? 1 : 0;
    JobOptions.LimitsChosen = 1;
    return true;
}
