// The mailing job: from the message open in a compose window and a mailing
// list, one merged copy of the message to every recipient of the list, paced,
// pausable and cancellable, with its three logs. The main dialog calls
// MailingJob::Run on the user-interface thread; the job pumps the thread's
// messages itself between recipients and in every slice of the pause between
// them, so the dialog and the mail client stay live while it runs. The job
// and the dialog talk only through the shared fields below and one posted
// JobFinishedMessage.
#pragma once

#include "platform.h"

class ComposeContext;

class MailingReview;

// Posted to MailingJob::jobDialog when a job ends: wParam 1 when every
// recipient counted was sent, 0 when not, kJobNotStarted when the user went
// back from the review before anything was sent; lParam 0.
constexpr UINT JobFinishedMessage = WM_USER + 4;
constexpr int kJobNotStarted = 2;

// One recipient's merged copy, as the review previews it. The texts stay
// valid until the next call on the session.
struct ReviewCopy {
    long index = 0; // among the recipients this run mails, from 0
    long line = 0;  // the list line where its record starts
    const char* address = "";
    const char* subject = ""; // UTF-8
    const char* body = "";    // the plain-text body, UTF-8
};

// What the review dialog asks of the job waiting for its answer.
class ReviewSession {
public:
    // Recipients this run mails, and those an earlier run of the same
    // mailing has mailed already.
    virtual long Recipients() const = 0;
    virtual long AlreadySent() const = 0;
    virtual const MailingReview& Findings() const = 0;
    // Recipient `index`'s copy, merged; false when there is no such
    // recipient or the list cannot be read again (the user is told).
    virtual bool Preview(long index, ReviewCopy* copy) = 0;
    // The first recipient whose record starts at `line` of the list or
    // after it; -1 when none does.
    virtual long RecipientAtLine(long line) = 0;
    // Sends recipient `index`'s copy to the user's own address, its subject
    // marked as a test. It is not counted, logged or recorded as sent.
    // `said` receives what happened, for the dialog to show.
    virtual bool SendTest(long index, char* said, size_t size) = 0;

protected:
    ~ReviewSession() = default;
};

// Shows the review over `owner` and returns when the user has chosen: true
// to start the mailing, false to go back to the mailing dialog.
typedef bool (*ReviewHandler)(HWND owner, ReviewSession* session);

// Seconds a mailing of `messages` takes at `pause` seconds between messages,
// each message itself taken as one second.
long EstimatedSeconds(long messages, int pause);

enum JobRunState {
    kJobIdle = 0,    // no job, or a stop was asked for
    kJobRunning = 1, //
    kJobPaused = 2,  //
};

class MailingJob {
public:
    // Written by the dialog only; the job reads it when it pumps messages.
    static int runState;
    // What the job is doing ("Not Running" at load).
    static char statusText[512];
    // Share of the recipients already sent, and the same truncated for the
    // progress bar.
    static double percentDone;
    static int progressPos;
    // Time spent on the job, without the time the user held it paused.
    static DWORD elapsedMs;
    // Messages submitted by this job.
    static int sentCount;
    // The window that receives JobFinishedMessage.
    static HWND jobDialog;
    // The mailing list of this job (the dialog copies it in when it starts).
    static char jobListPath[260];

    // Makes ready for a new job on `listPath`, reported to `dialog`: the list
    // becomes jobListPath and the counters start from 0. The last mailing's
    // logs stay until the job has read and checked its list. The main
    // dialog's Send does this right before Run.
    static void PrepareNew(const char* listPath, HWND dialog);

    // Runs one whole job on the composed message; returns when it is over.
    // The job holds its own reference on the context (and so on its mail item
    // and store message) until it ends, whatever the compose window does
    // meanwhile.
    // With a review handler, the job shows the review after it has checked
    // the list and before the first message, and sends nothing unless the
    // user starts it there (JobOptions.SkipCleanReview skips a review that
    // finds nothing). JobOptions.MaxPerRun, read then, limits this run.
    static void Run(ComposeContext* context, ReviewHandler review = nullptr);

    // The shared fields as at load time (for a fresh process in tests).
    static void ResetShared();
};

// Dispatches every message waiting for the thread, then answers from
// runState: running goes on (true); a stop request writes "Job Stopped" to
// the log (when there is one) and ends (false); paused waits in 100 ms steps,
// dispatching, until the user resumes or stops. A WM_QUIT ends it as a stop
// request does, and is posted again with its exit code for the loop that owns
// the thread.
bool PumpMessages(CrtFile* currentJobLog);

// Adds the time since `lastTick` to `elapsedMs` (nothing when the tick count
// wrapped meanwhile), then takes a fresh tick.
void AccumulateElapsed(DWORD* lastTick, DWORD* elapsedMs);

// statusText becomes "n of total: text"; with a total of 1 or more the
// progress becomes the share of the n - 1 messages already done.
void SetProgressStatus(const char* text, int n, int total);
