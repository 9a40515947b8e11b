// What the library's start-up could not find, told to the user by the door
// that started the library.
#pragma once

#include "data/settings.h"

// One box for each problem, in the order the start-up meets them, owned by
// the desktop window: the client has given the library no window of its own
// yet. Nothing is shown when there is none.
void TellStartupProblems(const StartupProblems& problems);
