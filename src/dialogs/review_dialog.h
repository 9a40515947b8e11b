// The review before a mailing (template IDD_REVIEW): how many recipients the
// job will mail and how long it takes, what in the list and the message looks
// wrong, the merged copy of any recipient, a test copy to the user, and the
// limit for this run. The job shows it through MailingJob::Run's handler.
#pragma once

#include "engine/mailing_job.h"

// Returns true when the user starts the mailing, false when they go back.
bool ShowReviewDialog(HWND owner, ReviewSession* session);
