#include "dialogs/options_dialog.h"

#include "base/dialog_ids.h"
#include "base/messages.h"
#include "base/string_ids.h"
#include "data/settings.h"
#include "dialogs/decimal_field.h"
#include "dialogs/dialog_procedure.h"
#include "dialogs/dialog_support.h"
#include "dialogs/logs_dialog.h"
#include "dialogs/message_boxes.h"

#include <cstdio>

namespace {

constexpr int kLargestValue = 9999;
constexpr int kFieldSize = 64;

class OptionsDialog {
public:
    explicit OptionsDialog(std::unique_ptr<DialogWindow> window) : window_(std::move(window)) {}

    void Initialise() {
        CenterWindow(window_->Handle(), 0);
        int major = 0, minor = 0;
        GetFileVersion(&major, &minor);
        char caption[64];
        std::snprintf(caption, sizeof caption, "%s %d.%d Options", kProductName, major, minor);
        window_->SetCaption(caption);
        MakeHyperlink(window_->Handle(), IDC_HYPERLINK);
        window_->SetUpDownRange(IDC_PAUSE_SPIN, 0, kLargestValue);
        SetNumber(IDC_PAUSE, JobOptions.Pause);
        window_->SetCheck(IDC_DO_SEND_RECEIVE, JobOptions.DoSendRecv != 0);
        window_->SetUpDownRange(IDC_SEND_RECEIVE_SPIN, 0, kLargestValue);
        SetNumber(IDC_SEND_RECEIVE_COUNT, JobOptions.SendRecvCount);
        if (JobOptions.DoSendRecv == 0)
            EnableInterval(false);
        window_->SetCheck(IDC_SAVE_ORIGINAL, JobOptions.SaveOrig != 0);
    }

    void Command(int id, int code) {
        switch (id) {
        case IDOK:
            Ok();
            break;
        case IDCANCEL:
            window_->End(0);
            break;
        case IDC_DO_SEND_RECEIVE:
            if (code == BN_CLICKED)
                EnableInterval(window_->IsChecked(IDC_DO_SEND_RECEIVE));
            break;
        case IDC_HELP_BUTTON:
            if (code == BN_CLICKED)
                Help();
            break;
        case IDC_LOGS:
            if (code == BN_CLICKED)
                ShowLogsDialog(window_->Parent());
            break;
        case IDC_HYPERLINK:
            OpenProductWebAddress(window_->Parent());
            break;
        default:
            break;
        }
    }

    void Close() { window_->Post(WM_COMMAND, IDCANCEL, 0); }
    void Help() { ShowHelpTopic(window_->Handle(), IDS_HELP_OPTIONS); }

private:
    void SetNumber(int id, int value) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        window_->SetText(id, text);
    }

    int ReadNumber(int id) {
        char text[kFieldSize];
        window_->GetText(id, text, sizeof text);
        return ReadDecimalField(text);
    }

    static bool InRange(int value) { return value >= 0 && value <= kLargestValue; }

    void EnableInterval(bool enable) {
        window_->Enable(IDC_SEND_RECEIVE_COUNT, enable);
        window_->Enable(IDC_SEND_RECEIVE_SPIN, enable);
    }

    void Ok() {
        const int pause = ReadNumber(IDC_PAUSE);
        if (!InRange(pause)) {
            window_->ShowStringMessage(IDS_PAUSE_OUT_OF_RANGE, MB_OK);
            window_->Focus(IDC_PAUSE);
            return;
        }
        JobOptions.Pause = pause;
        JobOptions.DoSendRecv = window_->IsChecked(IDC_DO_SEND_RECEIVE) ? 1 : 0;
        // An interval out of range keeps the one there was, without a word.
        const int interval = ReadNumber(IDC_SEND_RECEIVE_COUNT);
        if (InRange(interval))
            JobOptions.SendRecvCount = interval;
        JobOptions.SaveOrig = window_->IsChecked(IDC_SAVE_ORIGINAL) ? 1 : 0;
        SaveOptions();
        window_->End(1);
    }

    std::unique_ptr<DialogWindow> window_;
};

} // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return ControllerProcedure<OptionsDialog>(dialog, message, wParam);
}

INT_PTR ShowOptionsDialog(HWND owner) {
    return ShowLibraryDialog(IDD_OPTIONS, owner, OptionsDialogProc, 0);
}
