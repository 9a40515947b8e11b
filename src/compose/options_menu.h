// The "Quorvel &Options..." entry of the explorer's Tools menu.
#pragma once

#include "platform.h"

class COptionsMenuEventHandler;

// 1 once the entry and its click handler are in place, for the life of the
// process.
extern LONG OptionsMenuInstalled;
// The entry's click handler (held by the entry, not by this pointer).
extern COptionsMenuEventHandler* OptionsMenuSink;

// Adds the entry under the Tools menu ("&Tools", "&Herramientas", "E&xtras",
// else the fifth menu), waiting up to `maxAttempts` x 5 ms for the client's
// first explorer. Does nothing once installed or without an application.
// The client-extension door's way: its explorer context comes with the
// explorer, so the wait is short or none.
void AddOptionsMenuEntry(LONG maxAttempts);

// Adds the entry under `explorer`'s Tools menu at once, without waiting.
// Does nothing once installed or for a null explorer. The add-in's way: it
// may not block the client's start-up, so it takes the explorer there is,
// or the one NewExplorer brings later.
void AddOptionsMenuEntryTo(IDispatch* explorer);

// Takes the entry away again: its handler lets go of the entry and the entry
// leaves the menu. For a product the user switched off while the client
// goes on; the entry would otherwise stay, and with it code of a library
// the client may unload. Nothing when the entry is not in place.
void RemoveOptionsMenuEntry();

// Back to the state at load time (for tests).
void ResetOptionsMenu();
