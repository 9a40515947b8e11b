#include "dialog_fakes.h"

#include "dialogs/main_dialog.h"
#include "dialogs/options_dialog.h"

namespace {
std::vector<MainDialogCall> gMainDialogCalls;
std::vector<HWND> gOptionsDialogCalls;
std::function<void(ComposeContext*, HWND)> gMainDialogAction;
} // namespace

const std::vector<MainDialogCall>& MainDialogCalls() {
    return gMainDialogCalls;
}

const std::vector<HWND>& OptionsDialogCalls() {
    return gOptionsDialogCalls;
}

void SetMainDialogAction(std::function<void(ComposeContext*, HWND)> action) {
    gMainDialogAction = std::move(action);
}

void ResetDialogFakes() {
    gMainDialogCalls.clear();
    gOptionsDialogCalls.clear();
    gMainDialogAction = nullptr;
}

void OpenMainDialog(ComposeContext* context, HWND window) {
    gMainDialogCalls.push_back({context, window, context ? context->mailItem.Get() : nullptr,
                                context ? context->count : 0});
    if (gMainDialogAction)
        gMainDialogAction(context, window);
}

INT_PTR ShowOptionsDialog(HWND owner) {
    gOptionsDialogCalls.push_back(owner);
    return 0;
}
