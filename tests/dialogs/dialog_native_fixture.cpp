#include "dialog_native_fixture.h"

#include "data/settings.h"
#include "dialogs/dialog_support.h"
#include "dialogs/main_dialog.h"
#include "dialogs/main_dialog_parts.h"

namespace {
LRESULT CALLBACK ComposeWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
} // namespace

void DialogTest::SetUp() {
    VirtualJobTest::SetUp();
    ForgetActivationContext();
    MainDialogOpen = false;
    composeWindow = substitute::CreateTestWindow(ComposeWindowProc);
}

void DialogTest::TearDown() {
    // Every control the dialogs asked for exists in their templates and
    // understood what it was sent.
    EXPECT_EQ(substitute::DialogFaults(), std::vector<std::string>{});
    EXPECT_EQ(substitute::ActiveDialog(), nullptr) << "a dialog is still open";
    VirtualJobTest::TearDown();
}

void DialogTest::PrepareMailing(int recipients) {
    Prepare(recipients);
}

void DialogTest::OpenMain() {
    OpenMainDialog(context, composeWindow);
}

void DialogTest::ClickAt(DWORD ms, int id) {
    At(ms, [this, id] {
        lastDialog = substitute::ActiveDialog();
        substitute::Click(lastDialog, id);
    });
}

void DialogTest::TypeAt(DWORD ms, int id, const std::string& text) {
    At(ms, [this, id, text] {
        lastDialog = substitute::ActiveDialog();
        substitute::Type(lastDialog, id, text);
    });
}

void DialogTest::KeyAt(DWORD ms, int virtualKey) {
    At(ms, [virtualKey] { substitute::PressKey(virtualKey); });
}

void DialogTest::CloseAt(DWORD ms) {
    At(ms, [] { substitute::CloseBox(substitute::ActiveDialog()); });
}

void DialogTest::LookAt(DWORD ms) {
    At(ms, [this] { looks.push_back(Look(substitute::ActiveDialog())); });
}

std::string DialogTest::Text(HWND dialog, int id) {
    static char text[16384];
    text[0] = '\0';
    GetWindowTextA(GetDlgItem(dialog, id), text, sizeof text);
    return text;
}

bool DialogTest::Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool DialogTest::Visible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

std::string DialogTest::TooltipOf(HWND dialog, int id) {
    const UINT_PTR control = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
    for (const substitute::ToolTip& t : substitute::ToolTips())
        if (t.window == dialog && t.id == control)
            return t.text;
    return "(none)";
}

MainDialogLook DialogTest::Look(HWND dialog) {
    MainDialogLook look;
    look.sendCaption = Text(dialog, IDC_SEND_PAUSE);
    look.sendTooltip = TooltipOf(dialog, IDC_SEND_PAUSE);
    look.status = Text(dialog, IDC_STATUS);
    look.fieldEnabled = Enabled(dialog, IDC_LIST_PATH);
    look.browseEnabled = Enabled(dialog, IDC_BROWSE);
    look.openEnabled = Enabled(dialog, IDC_OPEN);
    look.sendEnabled = Enabled(dialog, IDC_SEND_PAUSE);
    look.cancelEnabled = Enabled(dialog, IDCANCEL);
    look.progressVisible = Visible(dialog, IDC_PROGRESS);
    look.progress =
        static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0));
    return look;
}

std::vector<std::string> DialogTest::BoxTexts() {
    std::vector<std::string> texts;
    for (const ShownMessageBox& box : ShownMessageBoxes())
        texts.push_back(box.text);
    return texts;
}
