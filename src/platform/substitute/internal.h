// State shared between the files of the substitute platform. Not for tests:
// they use control.h.
#pragma once

#include "control.h"
#include "resource_table.h"

#include <string>

namespace substitute::detail {

// Runs the scheduled actions that are due and the per-pump actions; called
// each time the thread looks at its queue.
void RunPumpActions();
// Earliest scheduled action's tick, if any; used by loops that would block.
bool NextScheduledTick(DWORD* tick);

void ResetClock();
void ResetWindows();
void ResetRegistry();
void ResetFiles();
void ResetResources();
void ResetMemory();
void ResetText();
void ResetHelpViewer();
void ResetFace();

// Windows path -> host path, resolving relative paths against the virtual
// current directory.
std::string ToHost(const char* windowsPath);

} // namespace substitute::detail
