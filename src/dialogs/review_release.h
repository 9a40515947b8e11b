// The review's "when and how fast" section: the start (now or a time of the
// user's clock), the limits a minute and in any 24 hours with the
// providers' figures a click away, working days, and when the first and the
// last copy will leave for the mailing's recipients.
#pragma once

#include "dialogs/dialog_window.h"

#include <vector>

class ReviewRelease {
public:
    // `handedOver`: the release times (UTC) of the copies already handed
    // over, which the mailing's copies follow.
    ReviewRelease(DialogWindow* window, long recipients, const std::vector<long long>* handedOver)
        : window_(window), recipients_(recipients), handedOver_(handedOver) {}
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
};
