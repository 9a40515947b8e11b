#include "dialog_fakes.h"

#include "dialogs/main_dialog.h"
#include "dialogs/options_dialog.h"

namespace {
std::vector<MainDialogCall> RecordedMainDialogCalls;
std::vector<HWND> RecordedOptionsDialogCalls;
std::function<void(ComposeContext*, HWND)> gMainDialogAction;
} // namespace

const std::vector<MainDialogCall>& MainDialogCalls() {
    return RecordedMainDialogCalls;
}

const std::vector<HWND>& OptionsDialogCalls() {
    return RecordedOptionsDialogCalls;
}

void SetMainDialogAction(std::function<void(ComposeContext*, HWND)> action) {
    gMainDialogAction = std::move(action);
}

void ResetDialogFakes() {
    RecordedMainDialogCalls.clear();
    RecordedOptionsDialogCalls.clear();
    gMainDialogAction = nullptr;
}

void OpenMainDialog(ComposeContext* context, HWND window) {
    RecordedMainDialogCalls.push_back({context, window, context ? context->mailItem.Get() : nullptr,
                                       context ? context->count : 0});
    if (gMainDialogAction)
        gMainDialogAction(context, window);
}

INT_PTR ShowOptionsDialog(HWND owner) {
    RecordedOptionsDialogCalls.push_back(owner);
    return 0;
}
