// The host's file system as the substitute platform needs it, over POSIX
// calls alone: the WebAssembly build's C++ library has no <filesystem>
// (wasi-libc gives the POSIX calls), and one set of calls serves both.
#pragma once

#include <string>

namespace substitute::hostfs {

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// Both name the same file (device and file number).
bool SameFile(const std::string& a, const std::string& b);
// The folder that holds path ("" for a bare name, "/" for the root's entries).
std::string ParentPath(const std::string& path);
// Every missing folder on the way, then the folder; false if one could not be made.
bool CreateDirectories(const std::string& path);
// The file, or the folder and all it holds; no error for what is already gone.
void RemoveAll(const std::string& path);
std::string CurrentPath();
// path made absolute from the current folder, "." and ".." taken away, no
// repeated or trailing '/' (the root aside).
std::string Normal(const std::string& path);
// A new, empty folder under parent, named prefix and six characters of its own.
std::string MakeTemporaryFolder(const std::string& parent, const std::string& prefix);

} // namespace substitute::hostfs
