// The review's "when and how fast" section: the start (now or a time of the
// user's clock), the limits a minute and in any 24 hours with the
// providers' figures a click away, working days, and when the first and the
// last copy will leave for the mailing's recipients, and who keeps the
// waiting ones: the sending account's server or the running client. Until
// the user has chosen limits once, those of the account's provider are
// proposed.
#pragma once

#include "data/send_schedule.h"
#include "dialogs/dialog_window.h"

#include <string>
#include <utility>

#include <vector>

class ReviewRelease {
public:
    // `handedOver`: the release times (UTC) of the copies already handed
    // over, which the mailing's copies follow.
    ReviewRelease(DialogWindow* window, long recipients, const std::vector<long long>* handedOver,
                  SendingAccount account = SendingAccount())
        : window_(window), recipients_(recipients), handedOver_(handedOver),
          account_(std::move(account)) {}
    // The controls as the options left them.
    void Show();
    // A click or an edit in the section; false when it is not the section's.
    bool Command(int id, int code);
    // The choices into the options; false (the user told, the field in
    // focus) when one cannot be used. `quietly`: nothing said, and nothing
    // taken unless all of them can be used.
    bool Take(bool quietly = false);

private:
    void ShowWhen();
    void MarkProvider();
    bool ReadLimit(int id, int high, int* value, bool quietly);

    DialogWindow* window_;
    long recipients_;
    const std::vector<long long>* handedOver_;
    SendingAccount account_;
    int proposed_ = -1; // the provider whose limits Show proposed
};

// Who keeps the copies until they leave, for the account the client told
// (UTF-8, at most two sentences); `proposed`: the provider whose limits
// stand proposed for it, -1 for none.
std::string DescribeSendingAccount(const SendingAccount& account, int proposed);
