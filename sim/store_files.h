// The simulated store's files on disk: the escaping of its text records,
// whole-file reads and writes, its logs opened for appending, and where each
// file lives under the store folder.
#pragma once

#include "world_internal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim::disk {

// Backslash, tab, line feed and carriage return as \\, \t, \n and \r.
void AppendEscaped(std::string* out, const std::string& text);
std::string Escape(const std::string& text);
std::string Unescape(const std::string& text);
// A line's tab-separated fields.
std::vector<std::string> Fields(const std::string& line);

// Each line of a file, without its CR LF; a last line without its line end
// (a write cut short) is left out.
template <class Visit> void ForEachLine(const std::string& bytes, Visit visit) {
    for (size_t start = 0;;) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            return;
        size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r')
            --stop;
        visit(bytes.substr(start, stop - start));
        start = end + 1;
    }
}

std::vector<std::string> Lines(const std::string& bytes);
std::string FromHex(const std::string& hex);
LONG Number(const std::string& text);

bool WriteAll(HANDLE file, const std::string& bytes);
bool WriteNewFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
HANDLE OpenLog(const std::string& path, const std::string& bytes);
bool EnsureFolders(const std::string& path);
uint64_t FileSize(const std::string& path);

// A message's number as its files and journal lines name it: eight
// hexadecimal digits.
std::string NumberText(uint32_t number);
std::string StoreFolder(const Config& config);
std::string OutboxFile(const Config& config, uint32_t number, const char* suffix);
std::string AttachmentFile(const Config& config, uint32_t message, ULONG attachment);
bool StoreAttachment(const SpillFile& data, const std::string& path);
std::string SentLogPath(const Config& config);

} // namespace sim::disk
