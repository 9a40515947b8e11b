// The simulated store's file helpers (store_files.h).
#include "store_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim::disk {

namespace {

// The first of sixteen bytes that may be a backslash, tab, line feed or
// carriage return: one under 0x0E (the three control characters and a few
// others, which the caller then looks at one by one) or a backslash. A body is
// kilobytes of text with a line end now and then, so it is looked at sixteen
// bytes at a time and copied in runs.
size_t FirstToLookAt(const char* p) {
    Bytes16 bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const Bytes16 hits = (bytes < 0x0E) | (bytes == '\\');
    return FirstOf16(hits);
}

} // namespace

void AppendEscaped(std::string* out, const std::string& text) {
    const char* p = text.data();
    const size_t n = text.size();
    size_t from = 0, i = 0;
    while (i < n) {
        if (i + 16 <= n) {
            const size_t skip = FirstToLookAt(p + i);
            i += skip;
            if (skip == 16)
                continue;
        }
        const char c = p[i];
        const char escaped = c == '\\'   ? '\\'
                             : c == '\t' ? 't'
                             : c == '\n' ? 'n'
                             : c == '\r' ? 'r'
                                         : '\0';
        if (escaped) {
            out->append(p + from, i - from);
            *out += '\\';
            *out += escaped;
            from = i + 1;
        }
        ++i;
    }
    out->append(p + from, n - from);
}

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    AppendEscaped(&out, text);
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        out.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return out;
        start = tab + 1;
    }
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> out;
    ForEachLine(bytes, [&](std::string line) { out.push_back(std::move(line)); });
    return out;
}

std::string FromHex(const std::string& hex) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : 0;
    };
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    return out;
}

LONG Number(const std::string& text) {
    return static_cast<LONG>(std::strtol(text.c_str(), nullptr, 10));
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(file, bytes);
    CloseHandle(file);
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(file);
    return ok;
}

// Opens a log for appending, others may read it meanwhile (and must let it
// be written: FILE_SHARE_WRITE); a last line cut short by a kill is cut off
// first, so that the next line starts on a line of its own.
HANDLE OpenLog(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    LARGE_INTEGER at;
    at.QuadPart = 0;
    if (!bytes.empty() && bytes.back() != '\n') {
        const size_t lastEnd = bytes.rfind('\n');
        at.QuadPart = static_cast<LONGLONG>(lastEnd == std::string::npos ? 0 : lastEnd + 1);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
    at.QuadPart = 0;
    SetFilePointerEx(file, at, nullptr, FILE_END);
    return file;
}

bool EnsureFolders(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string NumberText(uint32_t number) {
    std::string text;
    AppendHex(&text, number, 8);
    return text;
}

std::string StoreFolder(const Config& config) {
    std::string folder = config.storeFolder;
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string OutboxFile(const Config& config, uint32_t number, const char* suffix) {
    return StoreFolder(config) + "\\Outbox\\" + NumberText(number) + suffix;
}

std::string AttachmentFile(const Config& config, uint32_t message, ULONG attachment) {
    return OutboxFile(config, message, ("-" + std::to_string(attachment) + ".att").c_str());
}

// An attachment's bytes copied to the store's own file, a piece at a time.
bool StoreAttachment(const SpillFile& data, const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = true;
    const bool read = ReadSpill(data, [&](const char* p, size_t n) {
        written = WriteAll(file, std::string(p, n));
        return written;
    });
    CloseHandle(file);
    return read && written;
}

uint64_t FileSize(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (file != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(file, &size);
        CloseHandle(file);
    }
    return static_cast<uint64_t>(size.QuadPart);
}

std::string SentLogPath(const Config& config) {
    return StoreFolder(config) + "\\Sent Items.txt";
}

} // namespace sim::disk
