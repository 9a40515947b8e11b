// Unfinished mailings side by side. The current mailing's two files are
// JobState.txt and tosent.txt (job_progress.h); a mailing started while
// another is unfinished puts that one's pair aside in the data folder, as
// "Unfinished <n>.txt" and "Unfinished <n> sent.txt", and the pair comes
// back when its message is sent to its list again. Nothing is ever dropped
// that a later run could need: a pair is copied before the one it came from
// is replaced, and a copy a kill left twice is told apart by its mailing
// (DropShelvedCopies).
#pragma once

// Puts the current mailing's pair aside when it is an unfinished mailing
// other than this one (list, UTF-8, and subject). False when it could not be
// copied whole: the current pair must then not be replaced.
bool ShelveUnfinishedMailing(const char* listPathUtf8, const char* subject);

// Brings back the unfinished mailing of this list and subject when it was
// put aside, putting the current pair aside first. False when a copy failed
// (the files are then as they were, or both copies stand).
bool TakeMailingFromShelf(const char* listPathUtf8, const char* subject);

// The current pair is this mailing: any pair of it still put aside is an
// older copy of the same mailing (left by a kill between copy and delete).
void DropShelvedCopies(const char* listPathUtf8, const char* subject);
