// The mailing job: from the message open in a compose window and a mailing
// list, one merged copy of the message to every recipient of the list, paced,
// pausable and cancellable, with its three logs. The main dialog calls
// MailingJob::Run on the user-interface thread; the job pumps the thread's
// messages itself between recipients and in every slice of the pause between
// them, so the dialog and the mail client stay live while it runs. The job
// and the dialog talk only through the shared fields below and the JobUser
// the dialog hands the job (job_user.h), which posts JobFinishedMessage.
#pragma once

#include "engine/job_user.h"
#include "platform.h"

#include <cstdint>

class ComposeContext;

// Posted to MailingJob::jobDialog when a job ends: wParam 1 when every
// recipient counted was sent, 0 when not, kJobNotStarted when nothing was
// started (the user went back from the review, or it could not be shown);
// lParam 0.
constexpr UINT JobFinishedMessage = WM_USER + 4;
constexpr int kJobNotStarted = 2;

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
    // Records of the list this job left out (no usable address, a file or
    // Cc that cannot be used, a copy the client refused): the current job
    // log names each one. The mailing stays open for them.
    static int notSentCount;
    // Copies this job handed over with a release time still to come, and
    // the last one's time on the user's clock ("" for none).
    static int waitingCount;
    static char lastRelease[20];
    // Whether this job went through the whole list: not stopped by the
    // user, a limit, the list changing or an error. With records left out
    // it did its work all the same; they are the list's.
    static bool throughList;
    // Whether this job opened its logs: one that ended before (a list
    // refused, a question answered Cancel) has no log of its own to show.
    static bool logsOpened;
    // The window that receives JobFinishedMessage.
    static HWND jobDialog;
    // The mailing list of this job (the dialog copies it in when it starts).
    static char jobListPath[260];
    // The longest the job held the thread without pumping its messages, in
    // real microseconds (the client is frozen that long); from PrepareNew.
    static uint64_t longestPumpGapUs;

    // Makes ready for a new job on `listPath`, reported to `dialog`: the list
    // becomes jobListPath and the counters start from 0. The last mailing's
    // logs stay until the job has read and checked its list. The main
    // dialog's Send does this right before Run.
    static void PrepareNew(const char* listPath, HWND dialog);

    // Runs one whole job on the composed message; returns when it is over.
    // The job holds its own reference on the context (and so on its mail item
    // and store message) until it ends, whatever the compose window does
    // meanwhile. Everything the user sees goes through `user`: the questions,
    // the review (after the list has been checked, before the first message;
    // nothing is sent unless the user starts it there, and
    // JobOptions.SkipCleanReview skips one that finds nothing), the pumping
    // and the end. JobOptions.MaxPerRun, read then, limits this run.
    static void Run(ComposeContext* context, JobUser* user);

    // The shared fields as at load time (for a fresh process in tests).
    static void ResetShared();
};

// Adds the time since `lastTick` to `elapsedMs` (nothing when the tick count
// wrapped meanwhile), then takes a fresh tick.
void AccumulateElapsed(DWORD* lastTick, DWORD* elapsedMs);

// statusText becomes `text`.
void SetStatusText(const char* text);

// statusText becomes "n of total: text"; with a total of 1 or more the
// progress becomes the share of the n - 1 messages already done.
void SetProgressStatus(const char* text, int n, int total);
