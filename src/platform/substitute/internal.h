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

// file_calls.cpp: each file call that names a path is recorded first; a
// path on another machine is then refused as unreachable (no server
// answers here), and the attributes set by SetFileAttributesW are added to
// what the host's files have.
void NoteFileCall(const char* function, const char* path);
bool RefuseNetworkPath(const char* path);
DWORD SetAttributesOf(const std::string& host);
// Whether this MoveFileExA is the one FailMoveFileAt made fail.
bool FailThisMove();
// files.cpp: GetFileAttributes without its record.
DWORD AttributesOf(const char* path);
// files.cpp, for the C runtime's streams (crt_streams.cpp): whether this open
// of a host path is the one FailFileOpen made fail; the bytes SetMemoryFile
// gave a host path, or null; the bytes the disk still takes (SIZE_MAX: no
// limit), which writes use up.
bool FailThisOpen(const std::string& host);
std::string* MemoryFile(const std::string& host);
size_t& DiskRoom();
void ResetFileCalls();

} // namespace substitute::detail
