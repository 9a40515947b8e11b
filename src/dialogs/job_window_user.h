// The person running a mailing, as the job sees them: the JobUser whose
// boxes and review belong to the mailing dialog (so that the dialog takes no
// input while one is open), and whose pumping is the thread's own message
// loop. A job started without a dialog (tests, the sweep) has its boxes
// owned by the compose window, else the desktop.
#pragma once

#include "engine/job_user.h"

class WindowJobUser final : public JobUser {
public:
    typedef ReviewAnswer (*ReviewShower)(HWND owner, ReviewSession* session);

    // `fallbackOwner` owns the boxes while no mailing dialog does; `review`
    // shows the review (none: the job goes on without one).
    WindowJobUser(HWND fallbackOwner, ReviewShower review)
        : fallbackOwner_(fallbackOwner), review_(review) {}

    int Say(const char* text, UINT flags) override;
    int SayString(UINT stringId, UINT flags) override;
    void ShowHelp(UINT topicStringId) override;
    ReviewAnswer Review(ReviewSession* session) override;
    bool DispatchWaiting() override;
    bool Present() const override { return !gone_; }
    void Finished(int result) override;

    // The mailing dialog is gone while its job still runs: the job stops at
    // its next look, and nothing more is sent or written.
    void Leave() { gone_ = true; }

    // The window that owns the job's boxes.
    HWND Owner() const;

private:
    HWND fallbackOwner_;
    ReviewShower review_;
    bool gone_ = false;
};
