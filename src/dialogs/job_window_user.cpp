#include "dialogs/job_window_user.h"

#include "base/messages.h"
#include "client/client_call.h"
#include "dialogs/message_boxes.h"
#include "engine/mailing_job.h"

HWND WindowJobUser::Owner() const {
    if (MailingJob::jobDialog && IsWindow(MailingJob::jobDialog))
        return MailingJob::jobDialog;
    return fallbackOwner_ ? fallbackOwner_ : GetDesktopWindow();
}

// A UTF-8 text in the wide message box, so that what lies beyond the ANSI
// code page reads as written; without memory for the wide text, the 8-bit
// box shows what it can.
int WindowJobUser::Say(const char* text, UINT flags) {
    const HWND owner = Owner();
    int answer = 0;
    if (SUCCEEDED(ClientCall("the wide message box", [&] {
            Bstr wideText = Bstr::FromUtf8(text);
            Bstr caption = Bstr::FromUtf8(kProductName);
            answer = MessageBoxW(owner, wideText.Get(), caption.Get(), flags);
        })))
        return answer;
    return MessageBoxA(owner, text, kProductName, flags);
}

int WindowJobUser::SayString(UINT stringId, UINT flags) {
    return StringMessageBox(Owner(), stringId, kProductName, flags);
}

void WindowJobUser::ShowHelp(UINT topicStringId) {
    ShowHelpTopic(Owner(), topicStringId);
}

ReviewAnswer WindowJobUser::Review(ReviewSession* session) {
    return review_ ? review_(Owner(), session) : ReviewAnswer::NotOffered;
}

bool WindowJobUser::DispatchWaiting() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The thread is asked to end (the client closing down): the job
            // stops as a cancel stops it, and the request goes back in the
            // queue for the loop that owns the thread.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

void WindowJobUser::Finished(int result) {
    PostMessageA(MailingJob::jobDialog, JobFinishedMessage, static_cast<WPARAM>(result), 0);
}
