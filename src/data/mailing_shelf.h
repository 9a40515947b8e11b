// Mailings side by side. The current mailing's two files are JobState.txt
// and tosent.txt (job_progress.h); a mailing started while another is the
// current one puts that one's pair aside in the data folder, as
// "Unfinished <n>.txt" and "Unfinished <n> sent.txt", and the pair comes
// back when its message is sent again: an unfinished mailing to be
// continued, a finished one so that sending it again is asked first (a
// finished one is put aside only while there is room; it is no longer
// needed to mail anyone exactly once).
//
// A kill at any point leaves every mailing whole in one place at least and
// is never taken for an older state of it. Each file is written beside its
// place and put there in one step (MoveFileExA), the state file after its
// sent list: a state file stands only with the sent list it describes. The
// current pair is the newest of its mailing, so a copy of it left aside by
// a kill is dropped, or written over by the next putting aside, and never
// brought back over it. Bringing a pair back removes the current state
// file first (it stands put aside by then), so that a kill between the two
// files leaves no state beside the wrong sent list.
#pragma once

#include "data/job_progress.h"

// Puts the current pair aside when it is a mailing other than `key`'s that
// is unfinished or carries an id. False when it could not be put aside
// whole: the current pair must then not be replaced.
bool ShelveCurrentMailing(const MailingKey& key);

enum class ShelfFind {
    NotPutAside = 0, // the current pair is it, or no pair is
    BroughtBack = 1,
    Failed = 2, // it is put aside and could not be brought back
};

// Brings back the pair put aside of `key`'s mailing (MailingMatch::Same),
// or with `nearest` the first one that may be it (the same message, then
// the same subject), putting the current pair aside first. Nothing is
// brought over a current pair that is what is looked for.
ShelfFind TakeMailingFromShelf(const MailingKey& key, bool nearest);

// The current pair is `key`'s mailing: any pair of it still put aside is an
// older copy (left by a kill between copying and removing).
void DropShelvedCopies(const MailingKey& key);

// Calls `visit` with the state file of every mailing kept here: the current
// one (whether it is there or not), then each one put aside, finished or not.
void ForEachKeptMailing(void (*visit)(void* context, const char* statePath), void* context);
