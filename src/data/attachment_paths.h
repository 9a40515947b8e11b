// What a file name written in a list's cell names, told from its text alone,
// before the disk or the network is asked anything about it. A list often
// comes from someone else: opening a path on another machine hands that
// machine the user's network credentials, and opening a device or a stream
// is no reading of a file at all, so these are told apart by their form
// first, and only a local file is ever looked at unasked.
#pragma once

#include <cstddef>

enum class AttachmentPathKind {
    Local,   // a file on this machine: "C:\x.pdf", "..\x.pdf", "\\?\C:\x.pdf"
    Network, // on another machine: "\\server\share\x", "//server/x", "\\?\UNC\server\x"
    Device,  // "\\.\...", "\\?\Volume...", "CON", "nul.txt", "COM1", "LPT1", "AUX", "PRN"
    Stream,  // an alternate data stream: "x.pdf:hidden", "C:\x.pdf::$DATA"
    Url,     // "file:///...", "http://...", "mailto:..."
};

AttachmentPathKind KindOfAttachmentPath(const char* path);

// The full path `path` names, resolved against `folder` (UTF-8, itself a
// full path, or empty when the list's folder is not known: a relative path
// then stays relative): separators as "\", "." and ".." resolved (never
// above the drive or the share), and each component's trailing dots and
// blanks left out, as Windows leaves them out when it opens the file. The
// long-path prefix "\\?\" of a local path is dropped. Returns the length,
// 0 when the path does not fit in `size`.
size_t FullAttachmentPath(const char* folder, const char* path, char* out, size_t size);

// Windows compares paths without regard to letter case (ASCII here).
bool SameAttachmentPath(const char* a, const char* b);
// Whether `path` lies inside `folder` (both full, as FullAttachmentPath
// gives them), at any depth; false for an empty folder.
bool AttachmentPathIsUnder(const char* path, const char* folder);
// The same, or `path` being `folder` itself, or a path whose components
// could be the folder's under their 8.3 short names ("APPDAT~1" for
// "AppData", "QUORVE~1" for "Quorvel"): from its text alone a short name
// cannot be told from another file's, so it is taken to be the folder's
// whenever its form allows.
bool AttachmentPathMayBeUnder(const char* path, const char* folder);
