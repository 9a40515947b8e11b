#include "data/list_file.h"

#include "data/byte_scan.h"
#include "platform.h"

#include <cstring>

namespace {

// The delivered text: at most kListLineLimit bytes of an unfinished line stay
// in it, so a refill always finds room for a whole converted chunk.
constexpr size_t kTextCapacity = size_t{64} * 1024;
// Bytes after the text that may be read, never used: lines are searched 64
// bytes at a time, and the record reader reads them the same way.
constexpr size_t kTextSlack = kListLineSlack;
// Bytes read per refill of an encoded file. One UTF-16 unit becomes at most
// three bytes of any ANSI code page (UTF-8 as the system code page included),
// so a chunk's conversion fits in the room a refill has.
constexpr size_t kUtf8Chunk = size_t{8} * 1024;
constexpr size_t kUtf16Chunk = size_t{16} * 1024;
constexpr size_t kRawCapacity = kUtf16Chunk + 4;
constexpr size_t kWideCapacity = kUtf8Chunk + 8;
static_assert(kTextCapacity - kListLineLimit >= 3 * kWideCapacity, "a chunk must fit");
static_assert(kUtf16Chunk / 2 + 2 <= kWideCapacity, "a chunk must fit");

constexpr WCHAR kCarriageReturn = 0x000D;
constexpr WCHAR kLineFeed = 0x000A;
constexpr WCHAR kReplacementCharacter = 0xFFFD;

} // namespace

struct ListFile {
    CrtFile* stream;
    ListTextEncoding encoding;
    char* text;     // kTextCapacity bytes
    size_t start;   // first byte not yet delivered
    size_t end;     // end of the text read so far
    size_t scanned; // bytes after start known to hold no LF
    // The first CR at or after start, or where the search for one stopped
    // (the end of the text then); for PeekListText.
    size_t crAt;
    bool skipping;      // passing over the rest of a line that was cut
    bool streamDone;    // the stream has given all it has
    unsigned char* raw; // encoded bytes not yet converted (encoded files only)
    size_t rawCount;
    WCHAR* wide;
    long line;
    ListStopReason stop;
    long stopLine;
};

namespace {

bool IsBom8(const char* p) {
    return static_cast<unsigned char>(p[0]) == 0xEF && static_cast<unsigned char>(p[1]) == 0xBB &&
           static_cast<unsigned char>(p[2]) == 0xBF;
}

bool IsBom16(const char* p) {
    return static_cast<unsigned char>(p[0]) == 0xFF && static_cast<unsigned char>(p[1]) == 0xFE;
}

// The first LF among n bytes from p, or null. Reads up to 63 bytes more.
const char* FindLineFeed(const char* p, size_t n) {
    const byte_scan::Bytes16 lineFeeds = byte_scan::Splat16('\n');
    for (size_t i = 0; i < n; i += 64) {
        const uint64_t found = byte_scan::Find64(p + i, lineFeeds) & byte_scan::FirstBits(n - i);
        if (found)
            return p + i + __builtin_ctzll(found);
    }
    return nullptr;
}

void Fail(ListFile* file, ListStopReason reason, long line) {
    if (file->stop == ListStopNone) {
        file->stop = reason;
        file->stopLine = line;
    }
}

// Appends `count` UTF-16 units to the text in the ANSI code page. Characters
// the code page lacks become its default character rather than a look-alike.
bool AppendWide(ListFile* file, const WCHAR* wide, size_t count) {
    if (count == 0)
        return true;
    char* out = file->text + file->end;
    const int room = static_cast<int>(kTextCapacity - file->end);
    int made = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(count), out,
                                   room, nullptr, nullptr);
    if (made == 0) // a code page such as UTF-8 takes no best-fit flag
        made = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), out, room, nullptr,
                                   nullptr);
    if (made <= 0) {
        Fail(file, ListStopReadError, file->line + 1);
        return false;
    }
    file->end += static_cast<size_t>(made);
    return true;
}

// How many bytes at the end of a UTF-8 chunk begin a sequence that the chunk
// does not finish; they wait for the next chunk.
size_t UnfinishedUtf8(const unsigned char* bytes, size_t count) {
    for (size_t back = 1; back <= 3 && back <= count; ++back) {
        const unsigned char b = bytes[count - back];
        if ((b & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        if (b < 0xC0)
            return 0;
        const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        return back < length ? back : 0;
    }
    return 0;
}

// Reads up to `chunk` more encoded bytes after those kept from the last
// chunk. Returns how many encoded bytes are now held: 0 once the file is done
// and nothing is kept.
size_t ReadRaw(ListFile* file, size_t chunk) {
    const size_t got =
        file->streamDone ? 0 : CrtRead(file->raw + file->rawCount, chunk, file->stream);
    if (got == 0)
        file->streamDone = true;
    return file->rawCount + got;
}

bool FillUtf8(ListFile* file) {
    for (;;) {
        const size_t total = ReadRaw(file, kUtf8Chunk);
        if (total == 0)
            return false;
        const size_t keep = file->streamDone ? 0 : UnfinishedUtf8(file->raw, total);
        const size_t ready = total - keep;
        if (ready > 0) {
            const int units = MultiByteToWideChar(
                CP_UTF8, 0, reinterpret_cast<const char*>(file->raw), static_cast<int>(ready),
                file->wide, static_cast<int>(kWideCapacity));
            if (units <= 0) {
                Fail(file, ListStopReadError, file->line + 1);
                return false;
            }
            std::memmove(file->raw, file->raw + ready, keep);
            file->rawCount = keep;
            return AppendWide(file, file->wide, static_cast<size_t>(units));
        }
        file->rawCount = keep;
    }
}

bool FillUtf16(ListFile* file) {
    for (;;) {
        const size_t total = ReadRaw(file, kUtf16Chunk);
        if (total == 0)
            return false;
        size_t units = total / 2;
        WCHAR* wide = file->wide;
        for (size_t i = 0; i < units; ++i)
            wide[i] = static_cast<WCHAR>(file->raw[2 * i] | (file->raw[2 * i + 1] << 8));
        size_t keepUnits = 0;
        if (!file->streamDone && units > 0) {
            // A CR may be the first half of a CR LF, a high surrogate the first
            // half of a pair: both wait for the next chunk.
            const WCHAR last = wide[units - 1];
            if (last == kCarriageReturn || (last >= 0xD800 && last <= 0xDBFF))
                keepUnits = 1;
        }
        const size_t keep = file->streamDone ? 0 : keepUnits * 2 + total % 2;
        units -= keepUnits;
        if (file->streamDone && total % 2) // a file cut inside its last character
            wide[units++] = kReplacementCharacter;
        // CR LF reads as LF, as text mode reads an 8-bit file.
        size_t kept = 0;
        for (size_t i = 0; i < units; ++i) {
            if (wide[i] == kCarriageReturn && i + 1 < units && wide[i + 1] == kLineFeed)
                continue;
            wide[kept++] = wide[i];
        }
        std::memmove(file->raw, file->raw + (total - keep), keep);
        file->rawCount = keep;
        if (kept > 0)
            return AppendWide(file, wide, kept);
        if (file->streamDone)
            return false;
    }
}

// Moves the undelivered text to the front and appends more. False when the
// file has nothing more (or reading it failed).
bool Fill(ListFile* file) {
    if (file->stop != ListStopNone)
        return false;
    if (file->start > 0) {
        std::memmove(file->text, file->text + file->start, file->end - file->start);
        file->end -= file->start;
        file->crAt = file->crAt > file->start ? file->crAt - file->start : 0;
        file->start = 0;
    }
    switch (file->encoding) {
    case ListTextUtf8:
        return FillUtf8(file);
    case ListTextUtf16LE:
        return FillUtf16(file);
    case ListTextAnsi:
        break;
    }
    if (file->streamDone)
        return false;
    const size_t got = CrtRead(file->text + file->end, kTextCapacity - file->end, file->stream);
    if (got == 0) {
        file->streamDone = true;
        return false;
    }
    file->end += got;
    return true;
}

} // namespace

ListFile* OpenListFile(const char* path, bool* outOfMemory) {
    if (outOfMemory)
        *outOfMemory = false;
    CrtFile* stream = CrtOpen(path, "r");
    if (!stream)
        return nullptr;
    auto* file = static_cast<ListFile*>(MemAlloc(sizeof(ListFile) + kTextCapacity + kTextSlack));
    if (!file) {
        CrtClose(stream);
        if (outOfMemory)
            *outOfMemory = true;
        return nullptr;
    }
    *file = ListFile{};
    file->stream = stream;
    file->text = reinterpret_cast<char*>(file + 1);

    // The byte-order mark decides how the rest is read. Without one, the
    // bytes just read are the start of the text.
    const size_t got = CrtRead(file->text, 3, stream);
    if (got == 3 && IsBom8(file->text)) {
        file->encoding = ListTextUtf8;
    } else if (got >= 2 && IsBom16(file->text)) {
        // UTF-16 text must not pass through text mode: its line ends are
        // two-byte units, and its bytes may be 0x0D, 0x0A or 0x1A anywhere.
        file->encoding = ListTextUtf16LE;
        CrtClose(stream);
        file->stream = CrtOpen(path, "rb");
        char bom[2];
        if (!file->stream || CrtRead(bom, 2, file->stream) != 2) {
            CloseListFile(file);
            return nullptr;
        }
    } else {
        file->end = got;
    }
    if (file->encoding != ListTextAnsi) {
        void* block = MemAlloc(kRawCapacity + kWideCapacity * sizeof(WCHAR));
        if (!block) {
            CloseListFile(file);
            if (outOfMemory)
                *outOfMemory = true;
            return nullptr;
        }
        file->wide = static_cast<WCHAR*>(block);
        file->raw = reinterpret_cast<unsigned char*>(file->wide + kWideCapacity);
    }
    return file;
}

void CloseListFile(ListFile* file) {
    if (!file)
        return;
    if (file->stream)
        CrtClose(file->stream);
    MemFree(file->wide);
    MemFree(file);
}

ListTextEncoding ListFileEncoding(const ListFile* file) {
    return file ? file->encoding : ListTextAnsi;
}

int ReadListLine(ListFile* file, const char** line, size_t* length) {
    if (!file || file->stop != ListStopNone)
        return 0;
    for (;;) {
        const size_t pending = file->end - file->start;
        const char* from = file->text + file->start;
        const char* lf = FindLineFeed(from + file->scanned, pending - file->scanned);
        if (lf) {
            const size_t size = static_cast<size_t>(lf - from) + 1;
            file->start += size;
            file->scanned = 0;
            if (file->skipping) {
                file->skipping = false;
                continue;
            }
            ++file->line;
            *line = from;
            *length = size < kListLineLimit ? size : kListLineLimit;
            return 1;
        }
        if (file->skipping) {
            file->start = file->end;
            file->scanned = 0;
        } else if (pending >= kListLineLimit) {
            file->start += kListLineLimit;
            file->scanned = 0;
            file->skipping = true;
            ++file->line;
            *line = from;
            *length = kListLineLimit;
            return 1;
        } else {
            file->scanned = pending;
        }
        if (!Fill(file)) {
            if (file->stop != ListStopNone || file->skipping || file->end == file->start)
                return 0;
            // The last line, without a line end.
            *line = file->text + file->start;
            *length = file->end - file->start;
            file->start = file->end;
            file->scanned = 0;
            ++file->line;
            return 1;
        }
    }
}

size_t PeekListText(ListFile* file, const char** text) {
    if (!file || file->stop != ListStopNone || file->skipping)
        return 0;
    if (file->crAt < file->start)
        file->crAt = file->start;
    if (file->crAt < file->end && file->text[file->crAt] != '\r') {
        // The last search ended at the end of the text; more came since.
        const char* from = file->text + file->crAt;
        const void* cr = std::memchr(from, '\r', file->end - file->crAt);
        file->crAt =
            cr ? static_cast<size_t>(static_cast<const char*>(cr) - file->text) : file->end;
    }
    *text = file->text + file->start;
    return file->crAt - file->start;
}

void TakeListLine(ListFile* file, size_t length) {
    file->start += length;
    file->scanned = 0;
    ++file->line;
}

size_t ReadListText(ListFile* file, const char** text) {
    if (!file || file->stop != ListStopNone)
        return 0;
    if (file->start == file->end && !Fill(file))
        return 0;
    *text = file->text + file->start;
    const size_t size = file->end - file->start;
    file->start = file->end;
    file->scanned = 0;
    return size;
}

long ListFileLineNumber(const ListFile* file) {
    return file ? file->line : 0;
}

void StopListFile(ListFile* file, ListStopReason reason, long line) {
    if (!file || reason == ListStopNone)
        return;
    if (file->stop == ListStopNone)
        file->stop = reason;
    file->stopLine = line;
}

ListStopReason ListFileStopReason(const ListFile* file) {
    return file ? file->stop : ListStopNone;
}

long ListFileStopLine(const ListFile* file) {
    return file && file->stop != ListStopNone ? file->stopLine : 0;
}
