#include "dialog_fakes.h"

#include "dialogs/main_dialog.h"
#include "dialogs/options_dialog.h"

namespace {
std::vector<MainDialogCall> RecordedMainDialogCalls;
std::vector<HWND> RecordedOptionsDialogCalls;
std::function<void(ComposeContext*, HWND)> MainDialogAction;
} // namespace

const std::vector<MainDialogCall>& MainDialogCalls() {
    return RecordedMainDialogCalls;
}

const std::vector<HWND>& OptionsDialogCalls() {
    return RecordedOptionsDialogCalls;
}

void SetMainDialogAction(std::function<void(ComposeContext*, HWND)> action) {
    MainDialogAction = std::move(action);
}

void ResetDialogFakes() {
    RecordedMainDialogCalls.clear();
    RecordedOptionsDialogCalls.clear();
    MainDialogAction = nullptr;
}

void OpenMainDialog(ComposeContext* context, HWND window) {
    RecordedMainDialogCalls.push_back({context, window, context ? context->mailItem.Get() : nullptr,
                                       context ? context->count : 0});
    if (MainDialogAction)
        MainDialogAction(context, window);
}

INT_PTR ShowOptionsDialog(HWND owner) {
    RecordedOptionsDialogCalls.push_back(owner);
    return 0;
}
