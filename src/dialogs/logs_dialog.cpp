#include "dialogs/logs_dialog.h"

#include "base/dialog_ids.h"
#include "base/string_ids.h"
#include "data/settings.h"
#include "dialogs/dialog_procedure.h"
#include "dialogs/dialog_support.h"
#include "dialogs/message_boxes.h"

namespace {

// In the order they are looked at.
const int kLogButtons[] = {IDC_JOB_HISTORY, IDC_CURRENT_JOB_LOG, IDC_SENT_LIST};

const char* LogPath(int id) {
    switch (id) {
    case IDC_JOB_HISTORY:
        return DataPaths.jobHistory;
    case IDC_CURRENT_JOB_LOG:
        return DataPaths.currentJobLog;
    case IDC_SENT_LIST:
        return DataPaths.sentList;
    default:
        return nullptr;
    }
}

class LogsDialog {
public:
    explicit LogsDialog(std::unique_ptr<DialogWindow> window) : window_(std::move(window)) {}

    void Initialise() {
        CenterWindow(window_->Handle(), 0);
        MakeHyperlink(window_->Handle(), IDC_HYPERLINK);
        // Decided once: a log made or removed later does not change them.
        for (int id : kLogButtons) {
            CrtFile* file = CrtOpen(LogPath(id), "r");
            if (file)
                CrtClose(file);
            window_->Enable(id, file != nullptr);
        }
    }

    void Command(int id, int code) {
        switch (id) {
        case IDC_JOB_HISTORY:
        case IDC_CURRENT_JOB_LOG:
        case IDC_SENT_LIST:
            if (code == BN_CLICKED)
                ShellOpenFile(window_->Parent(), LogPath(id));
            break;
        case IDOK:
            window_->End(1);
            break;
        case IDCANCEL:
            window_->End(0);
            break;
        case IDC_HELP_BUTTON:
            if (code == BN_CLICKED)
                Help();
            break;
        case IDC_HYPERLINK:
            OpenProductWebAddress(window_->Parent());
            break;
        default:
            break;
        }
    }

    void Close() { window_->Post(WM_COMMAND, IDCANCEL, 0); }
    void Help() { ShowHelpTopic(window_->Handle(), IDS_HELP_JOB_LOGS); }

private:
    std::unique_ptr<DialogWindow> window_;
};

} // namespace

INT_PTR CALLBACK LogsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return ControllerProcedure<LogsDialog>(dialog, message, wParam);
}

INT_PTR ShowLogsDialog(HWND owner) {
    return ShowLibraryDialog(IDD_LOGS, owner, LogsDialogProc, 0);
}
