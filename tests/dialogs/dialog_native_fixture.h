// Dialogs on the substitute's dialog manager, with a scripted user: the
// dialogs are built from the library's own templates, and the user's clicks,
// typing and keys are actions at chosen virtual times. A simulated mail
// client with a compose window is at hand for the mailing dialog's job.
#pragma once

#include "../engine/job_native_fixture.h"

#include "base/dialog_ids.h"
#include "control.h"

#include <string>
#include <vector>

// Where SaveOptions writes the options.
constexpr char kOptionsKey[] = "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options";

// What a user sees of the mailing dialog at one moment.
struct MainDialogLook {
    std::string sendCaption, sendTooltip, status;
    bool fieldEnabled, browseEnabled, openEnabled, sendEnabled, cancelEnabled;
    bool progressVisible;
    int progress;
};

class DialogTest : public VirtualJobTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A client, a compose window over a window of its own, and a list of n
    // recipients; the list's path is typed by the script where it wants.
    void PrepareMailing(int recipients);
    // OpenMainDialog over the compose window; its dialog's result is kept.
    void OpenMain();

    // The scripted user, acting on the dialog in front at `ms` after the start.
    void ClickAt(DWORD ms, int id);
    void TypeAt(DWORD ms, int id, const std::string& text);
    void KeyAt(DWORD ms, int virtualKey);
    void CloseAt(DWORD ms);
    // Records what the dialog in front shows at `ms`.
    void LookAt(DWORD ms);

    MainDialogLook Look(HWND dialog);
    std::string Text(HWND dialog, int id);
    bool Enabled(HWND dialog, int id);
    bool Visible(HWND dialog, int id);
    std::string TooltipOf(HWND dialog, int id);
    // The message boxes shown, by text.
    std::vector<std::string> BoxTexts();

    HWND composeWindow = nullptr;
    std::vector<MainDialogLook> looks;
    // What the dialog in front was when a scripted action ran.
    HWND lastDialog = nullptr;
};
