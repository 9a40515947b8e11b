// Recording stand-ins for the two dialogs that a compose window's button and
// the Tools entry open, so that tests see what a click asked for: which
// message, over which window, how many times.
#pragma once

#include "client/host_state.h"

#include <functional>
#include <string>
#include <vector>

struct MainDialogCall {
    ComposeContext* context;
    HWND window;
    IDispatch* mailItem;    // the context's item at the call (not held)
    LONG contextReferences; // the context's count inside the call
};

const std::vector<MainDialogCall>& MainDialogCalls();
const std::vector<HWND>& OptionsDialogCalls();
// Runs inside OpenMainDialog, as a user acting while the dialog is open.
void SetMainDialogAction(std::function<void(ComposeContext*, HWND)> action);
void ResetDialogFakes();
