// The two ways the client reaches the product, and what they share: the
// process-wide references to the client (ApplicationRef, MapiSessionRef)
// go back when the last open door closes, whichever door that is.
#pragma once

#include "platform.h"

// The way the client reached the product: the client-extension object or
// the COM add-in. A client that has both registered reports each compose
// window to both.
enum class Door { Extension, AddIn };

// A door opens: the extension with each extension object, the add-in with
// each connection.
void OpenDoor(Door door);
// One opening of `door` ends. True when no door of either kind is open any
// more: the caller then gives the client's objects back.
bool CloseDoor(Door door);
// The openings of `door` now.
ULONG DoorsOpen(Door door);

// No door open, as at load time (for tests).
void ResetDoors();
