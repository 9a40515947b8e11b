// The "Quorsend" button of every compose window of an unsent mail item: the
// window's record, the context of its message, the button and its click.
#pragma once

#include "host/client/host_state.h"

class CComposeButtonEventHandler;
class CItemEventHandler;

// The record of one compose window, reached only through its context's
// owner field. It lives until the item's Close or Send event.
struct ComposeInspector {
    CComposeButtonEventHandler* buttonHandler = nullptr; // may be null
    CItemEventHandler* itemHandler = nullptr;
    ComposeContext* context = nullptr; // one counted reference
    ComRef<IDispatch> inspector;       // the compose window (_Inspector)
};

// The number of the next button this process creates; each creation,
// successful or not, uses one up.
extern LONG ButtonCounter;

// NewInspector: a window whose item is an unsent mail item gets its record,
// its context, its item handler and its button. `handler` is the reporting
// sink, for the trace. Errors are raised to the caller.
void OnNewInspector(IDispatch* newInspector, const void* handler);
// Finds the window's "Quorsend" button on its "Standard" bar, or creates it,
// and attaches a click handler to it.
void AddComposeButton(ComposeInspector* record);
// Ends a window's record: its two handlers (disconnected and freed), its
// reference on the context and on the window.
void DestroyComposeInspector(ComposeInspector* record);
// The click on a window's button: the main dialog over that window (owner 0
// when its handle cannot be had), for its message. The context stays valid
// until the dialog returns, whatever happens to the window meanwhile.
void ComposeButtonClicked(ComposeContext* context);

// The button number back to 0, as at load time (for tests).
void ResetComposeButtons();
