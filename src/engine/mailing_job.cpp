#include "engine/mailing_job.h"

#include "base/line_text.h"
#include "base/utf8.h"
#include "data/workbook_text.h"
#include "engine/job_run.h"

namespace {
void CopyText(char* destination, size_t size, const char* text) {
    CopyUtf8(destination, size, text);
}
} // namespace

int MailingJob::runState = kJobIdle;
char MailingJob::statusText[512] = "Not Running";
double MailingJob::percentDone = 0.0;
int MailingJob::progressPos = 0;
DWORD MailingJob::elapsedMs = 0;
int MailingJob::sentCount = 0;
int MailingJob::notSentCount = 0;
int MailingJob::waitingCount = 0;
char MailingJob::lastRelease[20] = "";
bool MailingJob::throughList = false;
bool MailingJob::logsOpened = false;
HWND MailingJob::jobDialog = nullptr;
char MailingJob::jobListPath[260] = "";
uint64_t MailingJob::longestPumpGapUs = 0;

void MailingJob::ResetShared() {
    runState = kJobIdle;
    CopyText(statusText, sizeof statusText, "Not Running");
    percentDone = 0.0;
    progressPos = 0;
    elapsedMs = 0;
    sentCount = 0;
    notSentCount = 0;
    waitingCount = 0;
    lastRelease[0] = '\0';
    throughList = false;
    logsOpened = false;
    jobDialog = nullptr;
    jobListPath[0] = '\0';
    longestPumpGapUs = 0;
}

void MailingJob::PrepareNew(const char* listPath, HWND dialog) {
    if (listPath != jobListPath)
        CopyText(jobListPath, sizeof jobListPath, listPath);
    // A sheet picked in the review holds for this list only.
    ResetWorkbookChoiceUnless(jobListPath);
    // The last mailing's logs stay until this job has read and checked its
    // list: a Send refused on the way must not erase the only record of who
    // was mailed before.
    progressPos = 0;
    percentDone = 0.0;
    sentCount = 0;
    notSentCount = 0;
    waitingCount = 0;
    lastRelease[0] = '\0';
    throughList = false;
    logsOpened = false;
    longestPumpGapUs = 0;
    jobDialog = dialog;
}

void MailingJob::Run(ComposeContext* context, JobUser* user) {
    JobRun run(context, user);
    run.Execute();
    run.Finish();
}

void AccumulateElapsed(DWORD* lastTick, DWORD* elapsedMs) {
    const DWORD now = GetTickCount();
    if (now > *lastTick)
        *elapsedMs += now - *lastTick;
    *lastTick = GetTickCount();
}

void SetStatusText(const char* text) {
    CopyText(MailingJob::statusText, sizeof MailingJob::statusText, text);
}

void SetProgressStatus(const char* text, int n, int total) {
    LineText(MailingJob::statusText, sizeof MailingJob::statusText)
        .Number(n)
        .Text(" of ")
        .Number(total)
        .Text(": ")
        .Text(text);
    if (total >= 1) {
        MailingJob::percentDone = (n - 1) * 100.0 / total;
        MailingJob::progressPos = static_cast<int>(MailingJob::percentDone);
    }
}
