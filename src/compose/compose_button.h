// The "Quorsend" button of every compose window of an unsent mail item: the
// window's record, the context of its message, the button and its click.
// The events that make and end a record and the button's click come through
// compose_events.h.
#pragma once

#include "client/host_state.h"
#include "compose/doors.h"

class CComposeButtonEventHandler;
class CItemEventHandler;

// The record of one compose window, reached through its context's owner
// field (and, for the ribbon, through the window). It lives until the item's
// Close or Send event.
struct ComposeInspector {
    CComposeButtonEventHandler* buttonHandler = nullptr; // may be null
    CItemEventHandler* itemHandler = nullptr;
    ComRef<IDispatch> inspector; // the compose window (_Inspector)
    // After the window: a record given up half-made lets go of its context
    // first, then of its window, as DestroyComposeInspector does.
    ComposeContextRef context;
    Door door = Door::Extension;
    ComposeInspector* next = nullptr; // the live records of the process
};

// Set while the client shows the product's ribbon button: compose windows
// then get no command-bar button of their own.
extern bool RibbonServesComposeWindows;

// The number of the next button this process creates; each creation,
// successful or not, uses one up.
extern LONG ButtonCounter;

// The live record of the compose window `inspector` (COM identity), if any.
ComposeInspector* FindComposeInspector(IDispatch* inspector);
// The ribbon button of the compose window `inspector`: the main dialog over
// that window for its message, as a click on its command-bar button does.
// A window with no record (one opened before the product was connected)
// gets a context for this call alone. Errors are raised to the caller.
void RibbonButtonClicked(IDispatch* inspector);
// Finds the window's "Quorsend" button on its "Standard" bar, or creates it,
// and attaches a click handler to it.
void AddComposeButton(ComposeInspector* record);
// Ends a window's record: its two handlers (disconnected and freed), its
// reference on the context and on the window.
void DestroyComposeInspector(ComposeInspector* record);
// Ends the records of every window `door` reported (the door is closing).
void DestroyComposeInspectors(Door door);
// The button's caption and tooltip text, for the ribbon's button too.
const char* ComposeButtonCaption();
const char* ComposeButtonTooltip();
// The click on a window's button: the main dialog over that window (owner 0
// when its handle cannot be had), for its message. The context stays valid
// until the dialog returns, whatever happens to the window meanwhile.
void ComposeButtonClicked(ComposeContext* context);

// The button number back to 0 and no ribbon, as at load time (for tests).
void ResetComposeButtons();
