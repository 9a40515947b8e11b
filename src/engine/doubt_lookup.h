// Whether the copy a run that died was making went after all: the merged
// copy is looked for in the client's Outbox, then in Sent Items, by its
// subject and recipient. A copy the dead run made and never submitted would
// never go, and a copy sent now would stand beside it: it is deleted.
#pragma once

#include "engine/job_journal.h"

enum class DoubtFound {
    InOutbox,
    InSentItems,
    Nowhere,
    NotLookedUp, // the client cannot be searched: the user decides
};

// `subject` is the copy's merged subject, `address` its recipient, `line`
// the list line of its record (for the log).
DoubtFound LookUpInDoubt(const char* subject, const char* address, long line, JobJournal* journal);
