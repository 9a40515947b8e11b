// The C runtime's streams of the substitute platform, with the Windows C
// runtime's text mode: "\n" is written as CR LF, CR LF reads back as "\n",
// and a Ctrl+Z byte ends a text-mode read as the end of the file does. Paths
// are mapped, opens made to fail and full disks kept by files.cpp.
#include "internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/stat.h>

struct CrtFile {
    FILE* file = nullptr;
    bool text = true;
    bool sawCtrlZ = false;
    bool writeFailed = false; // a write found the disk full: the stream is in error
};

using namespace substitute;

CrtFile* CrtOpen(const char* path, const char* mode) {
    detail::NoteFileCall("CrtOpen", path);
    if (!path || !mode || !*path || detail::RefuseNetworkPath(path))
        return nullptr;
    bool text = true;
    std::string hostMode;
    for (const char* m = mode; *m; ++m) {
        if (*m == 'b')
            text = false;
        else if (*m == 't')
            text = true;
        else
            hostMode += *m;
    }
    if (hostMode.empty() || !std::strchr("rwa", hostMode[0]))
        return nullptr;
    const std::string host = detail::ToHost(path);
    if (detail::FailThisOpen(host))
        return nullptr;
    if (std::string* memory = detail::MemoryFile(host)) {
        if (hostMode != "r")
            return nullptr;
        std::string& bytes = *memory;
        FILE* f = bytes.empty() ? std::fopen("/dev/null", "r")
                                : fmemopen(bytes.data(), bytes.size(), "r");
        return f ? new CrtFile{f, text, false} : nullptr;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return nullptr;
    FILE* f = std::fopen(host.c_str(), hostMode.c_str());
    if (!f)
        return nullptr;
    return new CrtFile{f, text, false};
}

size_t CrtRead(void* buffer, size_t bytes, CrtFile* file) {
    if (!file || !buffer)
        return 0;
    if (!file->text)
        return std::fread(buffer, 1, bytes, file->file);
    char* out = static_cast<char*>(buffer);
    size_t filled = 0;
    while (filled < bytes && !file->sawCtrlZ) {
        size_t got = std::fread(out + filled, 1, bytes - filled, file->file);
        if (got == 0)
            break;
        // Translate in place: the text only ever shrinks. A Ctrl+Z ends it;
        // runs without a CR are moved whole (benchmarks read lists this way).
        char* src = out + filled;
        char* end = src + got;
        if (char* ctrlZ = static_cast<char*>(std::memchr(src, '\x1A', got))) {
            end = ctrlZ;
            file->sawCtrlZ = true;
        }
        char* dst = src;
        while (src < end) {
            char* cr = static_cast<char*>(std::memchr(src, '\r', static_cast<size_t>(end - src)));
            char* stop = cr ? cr : end;
            if (dst != src)
                std::memmove(dst, src, static_cast<size_t>(stop - src));
            dst += stop - src;
            src = stop;
            if (!cr)
                break;
            ++src;
            int next;
            if (src < end)
                next = static_cast<unsigned char>(*src);
            else if (file->sawCtrlZ)
                next = '\x1A'; // the CR is the last character of the text
            else if ((next = std::fgetc(file->file)) != EOF)
                std::ungetc(next, file->file);
            if (next == '\n') {
                if (src < end)
                    ++src;
                else
                    std::fgetc(file->file);
                *dst++ = '\n';
            } else {
                *dst++ = '\r';
            }
        }
        filled = static_cast<size_t>(dst - out);
    }
    return filled;
}

namespace {

// fwrite within the room the disk has left: a full disk takes what fits and
// no more, and the stream is in error from then on.
size_t WriteWithin(const char* data, size_t bytes, CrtFile* file) {
    size_t& room = detail::DiskRoom();
    const size_t fits = room == SIZE_MAX ? bytes : std::min(bytes, room);
    const size_t written = fits ? std::fwrite(data, 1, fits, file->file) : 0;
    if (room != SIZE_MAX)
        room -= written;
    if (written < bytes)
        file->writeFailed = true;
    return written;
}

} // namespace

size_t CrtWrite(const void* data, size_t bytes, CrtFile* file) {
    if (!file || !data)
        return 0;
    if (!file->text)
        return WriteWithin(static_cast<const char*>(data), bytes, file);
    const char* p = static_cast<const char*>(data);
    const char* end = p + bytes;
    size_t done = 0;
    while (p < end) {
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        size_t run = static_cast<size_t>(stop - p);
        if (run && WriteWithin(p, run, file) != run)
            return done;
        done += run;
        p = stop;
        if (lf) {
            if (WriteWithin("\r\n", 2, file) != 2)
                return done;
            ++done;
            ++p;
        }
    }
    return done;
}

int CrtPrintf(CrtFile* file, const char* format, ...) {
    if (!file)
        return -1;
    va_list args;
    va_start(args, format);
    // Most lines fit a buffer on the stack: formatted once, no allocation.
    char line[1024];
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return -1;
    }
    if (static_cast<size_t>(length) < sizeof line) {
        va_end(args);
        return CrtWrite(line, static_cast<size_t>(length), file) == static_cast<size_t>(length)
                   ? length
                   : -1;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    return CrtWrite(text.data(), text.size(), file) == text.size() ? length : -1;
}

int CrtFlush(CrtFile* file) {
    if (!file)
        return -1;
    const int result = std::fflush(file->file);
    return file->writeFailed ? -1 : result;
}

int CrtSeek(CrtFile* file, int64_t offset) {
    if (!file || file->text || offset < 0)
        return -1;
    return fseeko(file->file, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : -1;
}

int64_t CrtLength(CrtFile* file) {
    if (!file || file->text || fseeko(file->file, 0, SEEK_END) != 0)
        return -1;
    const off_t length = ftello(file->file);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

int CrtClose(CrtFile* file) {
    if (!file)
        return -1;
    int result = std::fclose(file->file);
    if (file->writeFailed)
        result = -1;
    delete file;
    return result;
}
