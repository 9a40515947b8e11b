// What the event sinks (event_sinks.h) pass on: one function for each event
// the client reports. A sink only decodes its event (the interface, the
// DISPID, the arguments) and calls one of these; what the product does about
// the event is decided here, by the part that owns it: the compose windows'
// records and buttons (compose_button.cpp) or the Tools entry
// (options_menu.cpp). Host errors are raised to the sink, which traces them
// and answers the client as if nothing had gone wrong.
#pragma once

#include "client/host_state.h"
#include "compose/doors.h"

class COptionsMenuEventHandler;

// NewInspector: a window whose item is an unsent mail item gets its record,
// its context, its item handler and its button. `sink` is the reporting
// sink, for the trace.
// A window already recorded through the other door is not recorded again:
// one button, one item handler per window whichever door reported it first.
void OnNewInspector(IDispatch* newInspector, const void* sink, Door door = Door::Extension);

// NewExplorer: the new explorer gets the Tools entry unless it is in place.
void OnNewExplorer(IDispatch* explorer);

// Click of a command-bar button a compose window's handler serves: the
// button with `number`'s tag opens the main dialog for `context` (null once
// the window's record has ended: nothing happens then).
void OnComposeButtonClick(IDispatch* control, LONG number, ComposeContext* context);

// Close or Send of the composed item: the window is gone, its record ends.
void OnComposeItemClosed(ComposeContext* context);

// Click of the Tools entry: the options dialog, over the desktop.
void OnOptionsEntryClick(IDispatch* control);

// The entry let go of its handler (its window closed, the client shut
// down): nothing may reach `sink` through the Tools entry's state afterwards.
void OnOptionsEntrySinkGone(const COptionsMenuEventHandler* sink);
