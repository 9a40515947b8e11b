// The mailing dialog of the demo while the library's dialogs are not in the
// build: the compose button's click reaches this OpenMainDialog, which does
// what the user and the dialog would. The list is already in its field
// (JobOptions.ToList); the user presses Send at once; the dialog runs the job
// with its 100 ms status timer, shows the summary, and after a completed job
// saves and closes the composed message, or deletes it, as the options say.
// The options dialog is not shown: the demo does not use the Tools menu.
#include "control.h"
#include "data/mailing_list.h"
#include "data/settings.h"
#include "demo_dialog.h"
#include "engine/mailing_job.h"
#include "host/client/host_application.h"
#include "host/client/host_state.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/options_dialog.h"

#include <cstdio>
#include <string>

int DemoJobResult = -1;

namespace {

constexpr UINT_PTR kStatusTimer = 5;
std::string gLastStatus;

void ShowStatus() {
    if (MailingJob::runState == kJobIdle || gLastStatus == MailingJob::statusText)
        return;
    gLastStatus = MailingJob::statusText;
    const int filled = MailingJob::progressPos / 5;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(20, '.');
    std::printf("  [%s] %3d%%  %-40s (job time %lu.%lu s)\n", bar.c_str(), MailingJob::progressPos,
                MailingJob::statusText, static_cast<unsigned long>(MailingJob::elapsedMs / 1000),
                static_cast<unsigned long>(MailingJob::elapsedMs % 1000 / 100));
    std::fflush(stdout);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_TIMER && wParam == kStatusTimer) {
        ShowStatus();
    } else if (message == JobFinishedMessage && DemoJobResult < 0) {
        DemoJobResult = static_cast<int>(wParam);
        MailingJob::runState = kJobIdle;
        KillTimer(window, kStatusTimer);
        const char* resultText =
            wParam == 1 ? "Completed Successfully" : "Not Complete (See Current Job Log)";
        std::printf("  [%s] %3d%%  %s\n",
                    wParam == 1 ? "####################" : "--------------------",
                    wParam == 1 ? 100 : MailingJob::progressPos, resultText);
        char summary[128];
        std::snprintf(summary, sizeof summary, "Job %s\n\nSent: %d", resultText,
                      MailingJob::sentCount);
        MessageBoxA(window, summary, "Quorvel", MB_OK);
    }
    return 0;
}

} // namespace

void OpenMainDialog(ComposeContext* context, HWND window) {
    std::printf("  main dialog (the demo's stand-in) over window %p; Send pressed\n\n",
                static_cast<void*>(window));
    context->ownerWindow = window;
    HWND dialog = substitute::CreateTestWindow(DialogProc);
    std::snprintf(MailingJob::jobListPath, sizeof MailingJob::jobListPath, "%s", JobOptions.ToList);
    SelectListDelimiter(JobOptions.ToList);
    DeleteFileA(DataPaths.sentList);
    DeleteFileA(DataPaths.currentJobLog);
    MailingJob::progressPos = 0;
    MailingJob::percentDone = 0.0;
    MailingJob::sentCount = 0;
    MailingJob::jobDialog = dialog;
    MailingJob::runState = kJobRunning;
    DemoJobResult = -1;
    SetTimer(dialog, kStatusTimer, 100, nullptr);
    // With no pause the virtual clock stands still: the dialog's timer
    // would never come due, so the status is also shown at every pump.
    substitute::OnPump(ShowStatus);
    MailingJob::Run(context);
    MSG msg;
    while (DemoJobResult < 0 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    substitute::OnPump(nullptr);
    DestroyWindow(dialog);
    if (DemoJobResult != 1)
        return;
    // The window goes with the message: its Close event ends the window's
    // record while this click is still under way.
    try {
        if (JobOptions.SaveOrig)
            HostApplication::Close(context->mailItem.Get(), olSave);
        else
            HostApplication::Delete(context->mailItem.Get());
    } catch (const HostError& error) {
        std::printf("Error attempting to %s original message (0x%08lX).\n",
                    JobOptions.SaveOrig ? "close" : "delete",
                    static_cast<unsigned long>(error.Code()));
    }
}

// The demo never opens the Tools-menu entry.
INT_PTR ShowOptionsDialog(HWND) {
    return -1;
}
