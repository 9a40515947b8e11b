// The review before a mailing (template IDD_REVIEW): how many recipients the
// job will mail and how long it takes, what in the list and the message looks
// wrong, the merged copy of any recipient, a test copy to the user, and the
// limit for this run. The job shows it through the JobUser the mailing
// dialog gives it.
#pragma once

#include "engine/mailing_job.h"

// Returns when the user has chosen: Start or Back; NotShown when the dialog
// could not be made.
ReviewAnswer ShowReviewDialog(HWND owner, ReviewSession* session);
