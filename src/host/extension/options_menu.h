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
void AddOptionsMenuEntry(LONG maxAttempts);

// Back to the state at load time (for tests).
void ResetOptionsMenu();
