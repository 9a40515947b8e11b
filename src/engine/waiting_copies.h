// The copies of the last mailing still waiting in the Outbox for their
// release time, taken back before they leave. A copy is known by the
// mailing's id it carries (mailing_stamp.h); each is taken out of the
// outgoing queue (IMsgStore::AbortSubmit) and then deleted, and the job
// state file notes it before and after (job_progress.h), so that continuing
// the mailing sends exactly the copies taken back, and a kill in the middle
// leaves at most the one copy under way in doubt, looked up as any other.
#pragma once

enum class WithdrawalOutcome {
    Done,          // every copy found was tried (see the counts)
    NoMailing,     // no last mailing the client's copies could be known by
    NoneWaiting,   // the Outbox holds none of its copies
    NoOutbox,      // the Outbox or the store could not be reached: nothing done
    NoState,       // the job state file could not be written: stopped there
    DeleteRefused, // the client did not delete a copy taken out of the queue
    NoMemory,      // memory ran out: stopped there
};

struct WithdrawalReport {
    WithdrawalOutcome outcome = WithdrawalOutcome::NoMailing;
    int withdrawn = 0;   // taken out of the queue and deleted
    int alreadyLeft = 0; // gone before it could be taken back: counts as sent
    int kept = 0;        // the client could not take it back: it still waits
    // The copy the client did not delete (DeleteRefused).
    char stoppedAddress[256] = "";
    long stoppedLine = 0;
};

// Whether the last mailing has at least one copy waiting in the Outbox;
// false too when the client cannot be asked.
bool LastMailingHasWaitingCopies();

// Takes back every waiting copy of the last mailing. Each copy taken back,
// and each that could not be, is one line of the current job log and the
// job history (its list line and address).
WithdrawalReport WithdrawWaitingCopies();
