#include "data/list_file.h"

#include "base/utf8.h"
#include "data/byte_scan.h"
#include "data/list_fingerprint.h"
#include "data/workbook_text.h"
#include "platform.h"

#include <cstring>

namespace {

// The delivered text: at most kListLineLimit bytes of an unfinished line stay
// in it, so a refill always finds room for a whole converted chunk.
constexpr size_t kTextCapacity = size_t{64} * 1024;
// Bytes after the text that may be read, never used: lines are searched 64
// bytes at a time, and the record reader reads them the same way.
constexpr size_t kTextSlack = kListLineSlack;
// Bytes converted per refill of a file that needs converting. One byte of an
// ANSI code page or one UTF-16 unit becomes at most three bytes of UTF-8, so
// a chunk's conversion fits in the room a refill has.
constexpr size_t kAnsiChunk = size_t{8} * 1024;
constexpr size_t kUtf16Chunk = size_t{16} * 1024;
// An ANSI file's bytes wait here to be converted: the whole of the refill
// during which the file turned out to be no UTF-8 at most.
constexpr size_t kRawCapacity = kTextCapacity;
constexpr size_t kWideCapacity = kAnsiChunk + 8;
static_assert(kTextCapacity - kListLineLimit >= 3 * kWideCapacity, "a chunk must fit");
static_assert(kUtf16Chunk / 2 + 2 <= kWideCapacity, "a chunk must fit");

constexpr WCHAR kCarriageReturn = 0x000D;
constexpr WCHAR kLineFeed = 0x000A;

} // namespace

struct ListFile {
    CrtFile* stream;
    char* path; // for the one look at the whole text a file without a mark needs
    ListTextEncoding encoding;
    // A file without a mark whose first byte beyond ASCII is still to come.
    bool undecided;
    bool bigEndian; // UTF-16 stored high byte first
    char* text;     // kTextCapacity bytes
    size_t start;   // first byte not yet delivered
    size_t end;     // end of the text read so far
    size_t checked; // UTF-8 text before this is known to be well-formed
    size_t scanned; // bytes after start known to hold no line end
    // The first CR at or after start, or where the search for one stopped
    // (the end of the text then); for PeekListText.
    size_t crAt;
    bool skipping;      // passing over the rest of a line that was cut
    bool streamDone;    // the stream has given all it has
    unsigned char* raw; // bytes not yet converted (files that need converting)
    size_t rawCount;
    WCHAR* wide;
    long line;
    // Text that cannot be delivered follows the end of the text: reading
    // stops there, at the line that holds it.
    ListStopReason pendingStop;
    ListStopReason stop;
    long stopLine;
    ListHash read;          // every byte taken from the stream, for the list's fingerprint
    WorkbookText* workbook; // a workbook's sheet, delivered as comma-separated text
    bool countCharacters;   // ListTextUnits counts UTF-16 units whatever the encoding
};

namespace {

// Every read of the list's stream goes through here, so that the pass's
// hash covers exactly what it read.
size_t ReadStream(ListFile* file, void* buffer, size_t size) {
    const size_t got = CrtRead(buffer, size, file->stream);
    file->read.Add(buffer, got);
    return got;
}

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

// Where the first line among n bytes from p ends: its LF, or a CR that no LF
// follows (a line end of its own, as spreadsheets read it; text mode has
// made every CR LF of the file one LF already, and one that stays is a single
// line end); null when none does. A CR that is the last of the n bytes may be
// the first half of a CR LF: *crLast tells the caller to look again with more.
const char* FindLineEnd(const char* p, size_t n, bool* crLast) {
    *crLast = false;
    const char* lf = FindLineFeed(p, n);
    const size_t before = lf ? static_cast<size_t>(lf - p) : n;
    const auto* cr = static_cast<const char*>(std::memchr(p, '\r', before));
    if (!cr)
        return lf;
    if (cr + 1 == p + n) {
        *crLast = true;
        return nullptr;
    }
    return cr[1] == '\n' ? lf : cr;
}

// Whether a line ends just before `at` in the text from `start`: after an LF,
// or after a CR, which ends a line of its own unless an LF follows it.
bool LineEndsBefore(const char* text, size_t at) {
    return text[at - 1] == '\n' || (text[at - 1] == '\r' && text[at] != '\n');
}

// The first byte among n from p that is beyond ASCII or a NUL; n when none.
// Sixty-four bytes at a time while there is none (nearly every list is ASCII
// throughout), then thirty-two to find it.
size_t FirstHighOrNul(const char* p, size_t n) {
    using namespace byte_scan;
    size_t i = 0;
    while (i + 64 <= n && !AnyHighOrZero64(Load16(p + i), Load16(p + i + 16), Load16(p + i + 32),
                                           Load16(p + i + 48)))
        i += 64;
    for (; i + 32 <= n; i += 32) {
        const uint64_t found =
            HighOrZeroBits16(Load16(p + i)) | HighOrZeroBits16(Load16(p + i + 16)) << 16;
        if (found)
            return i + static_cast<size_t>(__builtin_ctzll(found));
    }
    for (; i < n; ++i)
        if (p[i] == '\0' || static_cast<unsigned char>(p[i]) >= 0x80)
            return i;
    return n;
}

// Checks n bytes of UTF-8 from p. Returns n when they are well-formed and
// hold no NUL; otherwise the offset of the first fault, with *unfinished set
// when the fault is only a sequence the n bytes end before finishing.
size_t CheckUtf8(const char* p, size_t n, bool* unfinished) {
    *unfinished = false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(p);
    size_t i = 0;
    for (;;) {
        i += FirstHighOrNul(p + i, n - i);
        if (i >= n)
            return n;
        if (bytes[i] == 0)
            return i;
        const long length = Utf8SequenceLength(p + i, n - i);
        if (length <= 0) {
            *unfinished = length < 0;
            return i;
        }
        i += static_cast<size_t>(length);
    }
}

// What the whole file at `path`, read as text mode reads it, is when it has
// no mark.
enum class UnmarkedText {
    Ansi,      // no more well-formed UTF-8 beyond ASCII than bytes that are not
    Utf8,      // well-formed UTF-8 throughout (NULs aside: they stop the reader anyway)
    Utf8Mixed, // mostly UTF-8, with bytes that are not: a line pasted from an older file
};

// Counts the well-formed sequences beyond ASCII and the bytes that are not
// UTF-8 among n bytes from p (NULs are neither: they stop the reader anyway).
// A sequence the n bytes end inside is left: returns where it starts.
size_t CountUtf8(const char* p, size_t n, size_t* sequences, size_t* faults) {
    size_t at = 0;
    for (;;) {
        at += FirstHighOrNul(p + at, n - at);
        if (at >= n)
            return n;
        if (p[at] == '\0') {
            ++at;
            continue;
        }
        const long length = Utf8SequenceLength(p + at, n - at);
        if (length < 0)
            return at;
        if (length == 0) {
            ++*faults;
            ++at;
        } else {
            ++*sequences;
            at += static_cast<size_t>(length);
        }
    }
}

// The whole file is looked at once, when its first byte beyond ASCII comes.
// An ANSI file holds well-formed UTF-8 beyond ASCII by chance only ("\xC3\xA9"
// is "Ã©" too), seldom and hardly more of it than of other bytes; a UTF-8
// file with a line in an older encoding holds more: that line is then
// refused, not the whole file read as ANSI and every other line's letters
// mailed garbled. As much of one as of the other reads as ANSI, as before.
UnmarkedText LookAtWholeFile(const char* path) {
    CrtFile* stream = CrtOpen(path, "r");
    char* buffer = stream ? static_cast<char*>(MemAlloc(kTextCapacity)) : nullptr;
    size_t sequences = 0;
    size_t faults = 0;
    size_t kept = 0;
    bool read = buffer != nullptr;
    while (read) {
        const size_t got = CrtRead(buffer + kept, kTextCapacity - kept, stream);
        const size_t n = kept + got;
        const size_t at = CountUtf8(buffer, n, &sequences, &faults);
        kept = n - at; // at most three bytes, finished by the next read
        std::memmove(buffer, buffer + at, kept);
        if (got == 0)
            break;
    }
    faults += kept; // a character the file ends before finishing
    MemFree(buffer);
    if (stream)
        CrtClose(stream);
    if (!read || sequences <= faults)
        return UnmarkedText::Ansi;
    return faults == 0 ? UnmarkedText::Utf8 : UnmarkedText::Utf8Mixed;
}

void Fail(ListFile* file, ListStopReason reason, long line) {
    if (file->stop == ListStopNone) {
        file->stop = reason;
        file->stopLine = line;
    }
}

// Text from `at` on cannot be delivered: the text ends with the last whole
// line before it, and reading stops when that is delivered, at the next line.
void CutBefore(ListFile* file, size_t at, ListStopReason reason) {
    size_t end = at;
    while (end > file->start && !LineEndsBefore(file->text, end))
        --end;
    file->end = end;
    if (file->checked > end)
        file->checked = end;
    if (file->crAt > end)
        file->crAt = end;
    file->pendingStop = reason;
    file->streamDone = true;
}

// Appends `count` UTF-16 units to the text as UTF-8.
bool AppendWide(ListFile* file, const WCHAR* wide, size_t count) {
    if (count == 0)
        return true;
    char* out = file->text + file->end;
    const int room = static_cast<int>(kTextCapacity - file->end);
    const int made =
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(count), out, room, nullptr, nullptr);
    if (made <= 0) {
        Fail(file, ListStopReadError, file->line + 1);
        return false;
    }
    file->end += static_cast<size_t>(made);
    file->checked = file->end;
    return true;
}

// The number of the first `count` bytes to convert now: all of them at the
// end of the file, otherwise those up to the last LF among them (an LF is
// never part of a character of any ANSI code page, where a lead byte of a
// double-byte character may be the chunk's last), or all when none has one.
size_t WholeLines(const unsigned char* bytes, size_t count, bool last) {
    if (last)
        return count;
    for (size_t n = count; n > 0; --n)
        if (bytes[n - 1] == '\n')
            return n;
    return count;
}

// A file without a mark that is not UTF-8: its bytes are converted from the
// ANSI code page, a chunk at a time.
bool FillAnsi(ListFile* file) {
    for (;;) {
        if (file->rawCount == 0 && !file->streamDone) {
            file->rawCount = ReadStream(file, file->raw, kAnsiChunk);
            if (file->rawCount == 0)
                file->streamDone = true;
        }
        if (file->rawCount == 0)
            return false;
        size_t take = file->rawCount < kAnsiChunk ? file->rawCount : kAnsiChunk;
        const char* bytes = reinterpret_cast<const char*>(file->raw);
        const void* nul = std::memchr(bytes, '\0', take);
        if (nul) {
            // What comes before the NUL's line is delivered; reading stops there.
            take = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
            while (take > 0 && !LineEndsBefore(bytes, take))
                --take;
            file->rawCount = take;
            file->pendingStop = ListStopNul;
            file->streamDone = true;
            if (take == 0)
                return false;
        } else {
            take = WholeLines(file->raw, take, file->streamDone && take == file->rawCount);
        }
        const int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(take), file->wide,
                                              static_cast<int>(kWideCapacity));
        if (units <= 0) {
            Fail(file, ListStopReadError, file->line + 1);
            return false;
        }
        file->rawCount -= take;
        std::memmove(file->raw, file->raw + take, file->rawCount);
        if (!AppendWide(file, file->wide, static_cast<size_t>(units)))
            return false;
        return true;
    }
}

bool NeedConversionBuffers(ListFile* file) {
    if (file->wide)
        return true;
    void* block = MemAlloc(kRawCapacity + kWideCapacity * sizeof(WCHAR));
    if (!block)
        return false;
    file->wide = static_cast<WCHAR*>(block);
    file->raw = reinterpret_cast<unsigned char*>(file->wide + kWideCapacity);
    return true;
}

// Checks the 8-bit text read since the last check. UTF-8 (marked, or found
// so) must be well-formed; a file without a mark decides what it is at its
// first byte beyond ASCII. False when nothing more can be delivered now.
bool CheckNewText(ListFile* file) {
    if (file->undecided) {
        const size_t from = file->checked;
        const size_t at = from + FirstHighOrNul(file->text + from, file->end - from);
        if (at >= file->end) {
            file->checked = file->end;
            return true;
        }
        if (file->text[at] == '\0') {
            file->checked = at;
            CutBefore(file, at, ListStopNul);
            return file->end > file->start;
        }
        file->undecided = false;
        const UnmarkedText kind = LookAtWholeFile(file->path);
        if (kind != UnmarkedText::Ansi) {
            file->encoding = ListTextUtf8Unmarked;
        } else {
            // The bytes just read are converted from the ANSI code page, and
            // so is the rest of the file.
            if (!NeedConversionBuffers(file)) {
                Fail(file, ListStopNoMemory, file->line + 1);
                return false;
            }
            const size_t count = file->end - from;
            std::memcpy(file->raw, file->text + from, count);
            file->rawCount = count;
            file->end = from;
            return FillAnsi(file);
        }
    }
    bool unfinished = false;
    const size_t n = file->end - file->checked;
    const size_t good = CheckUtf8(file->text + file->checked, n, &unfinished);
    if (good == n || (unfinished && !file->streamDone)) {
        file->checked += good; // an unfinished character waits for the next read
        return true;
    }
    const size_t at = file->checked + good;
    file->checked = at;
    CutBefore(file, at,
              file->text[at] == '\0'                   ? ListStopNul
              : file->encoding == ListTextUtf8Unmarked ? ListStopNotUtf8
                                                       : ListStopBadText);
    return file->end > file->start;
}

// A UTF-16 file: its units are checked (a NUL, a lone surrogate) and
// converted to UTF-8.
bool FillUtf16(ListFile* file) {
    for (;;) {
        const size_t got =
            file->streamDone ? 0 : ReadStream(file, file->raw + file->rawCount, kUtf16Chunk);
        if (got == 0)
            file->streamDone = true;
        const size_t total = file->rawCount + got;
        if (total == 0)
            return false;
        size_t units = total / 2;
        WCHAR* wide = file->wide;
        const size_t low = file->bigEndian ? 1 : 0;
        for (size_t i = 0; i < units; ++i)
            wide[i] =
                static_cast<WCHAR>(file->raw[2 * i + low] | (file->raw[2 * i + 1 - low] << 8));
        size_t keepUnits = 0;
        if (!file->streamDone && units > 0) {
            // A CR may be the first half of a CR LF, a high surrogate the first
            // half of a pair: both wait for the next chunk.
            const WCHAR last = wide[units - 1];
            if (last == kCarriageReturn || (last >= 0xD800 && last <= 0xDBFF))
                keepUnits = 1;
        }
        size_t keep = file->streamDone ? 0 : keepUnits * 2 + total % 2;
        units -= keepUnits;
        ListStopReason fault = file->streamDone && total % 2 ? ListStopBadText : ListStopNone;
        // CR LF reads as LF, as text mode reads an 8-bit file; the units after
        // a fault are not delivered.
        size_t kept = 0;
        size_t lineStart = 0;
        for (size_t i = 0; i < units; ++i) {
            const WCHAR unit = wide[i];
            if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF) ||
                (unit >= 0xD800 && unit <= 0xDBFF &&
                 (i + 1 >= units || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF))) {
                fault = unit == 0 ? ListStopNul : ListStopBadText;
                kept = lineStart;
                break;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                wide[kept++] = unit;
                wide[kept++] = wide[++i];
                continue;
            }
            if (unit == kCarriageReturn && i + 1 < units && wide[i + 1] == kLineFeed)
                continue;
            wide[kept++] = unit;
            // A CR kept here is a line end of its own: one before an LF is
            // dropped above, one at the end of a chunk waits for the next.
            if (unit == kLineFeed || unit == kCarriageReturn)
                lineStart = kept;
        }
        if (fault != ListStopNone) {
            kept = lineStart < kept ? lineStart : kept;
            file->pendingStop = fault;
            file->streamDone = true;
            keep = 0;
        }
        std::memmove(file->raw, file->raw + (total - keep), keep);
        file->rawCount = keep;
        if (kept > 0)
            return AppendWide(file, wide, kept);
        if (file->streamDone)
            return false;
    }
}

// A workbook's next piece of text; its text is UTF-8 and checked as such.
bool FillFromWorkbook(ListFile* file) {
    if (file->streamDone)
        return false;
    const long got =
        ReadWorkbookText(file->workbook, file->text + file->end, kTextCapacity - file->end);
    if (got > 0) {
        // A workbook's fingerprint is of the text its sheet gave: the same
        // sheet gives the same text, an edited one other text.
        file->read.Add(file->text + file->end, static_cast<size_t>(got));
        file->end += static_cast<size_t>(got);
        return CheckNewText(file);
    }
    file->streamDone = true;
    if (got < 0)
        Fail(file, ListStopWorkbook, file->line + 1);
    return false;
}

// Reads and converts more text after the end. False when nothing came.
bool ReadMore(ListFile* file) {
    if (file->workbook)
        return FillFromWorkbook(file);
    if (file->encoding == ListTextUtf16LE || file->encoding == ListTextUtf16BE)
        return FillUtf16(file);
    if (file->raw && file->encoding == ListTextAnsi && !file->undecided)
        return FillAnsi(file);
    if (!file->streamDone) {
        const size_t got = ReadStream(file, file->text + file->end, kTextCapacity - file->end);
        if (got > 0) {
            file->end += got;
            return CheckNewText(file);
        }
        file->streamDone = true;
    }
    if (file->checked < file->end) {
        // The first bytes of a short file, not yet looked at.
        if (file->undecided)
            return CheckNewText(file);
        // A character the file ends before finishing.
        CutBefore(file, file->checked,
                  file->encoding == ListTextUtf8Unmarked ? ListStopNotUtf8 : ListStopBadText);
        return file->end > file->start;
    }
    return false;
}

// Moves the undelivered text to the front and appends more. False when the
// file has nothing more, or reading it stopped.
bool Fill(ListFile* file) {
    if (file->stop != ListStopNone)
        return false;
    if (file->start > 0) {
        std::memmove(file->text, file->text + file->start, file->end - file->start);
        file->end -= file->start;
        file->checked = file->checked > file->start ? file->checked - file->start : 0;
        file->crAt = file->crAt > file->start ? file->crAt - file->start : 0;
        file->start = 0;
    }
    const bool more =
        file->pendingStop == ListStopNone || file->rawCount > 0 ? ReadMore(file) : false;
    // Everything before the text that cannot be delivered has been: reading
    // stops at the next line, the one that holds it.
    if (!more && file->pendingStop != ListStopNone && file->rawCount == 0)
        Fail(file, file->pendingStop, file->line + 1);
    return more && file->stop == ListStopNone;
}

} // namespace

ListFile* OpenListFile(const char* path, bool* outOfMemory) {
    if (outOfMemory)
        *outOfMemory = false;
    WorkbookText* workbook = IsWorkbookPath(path) ? OpenWorkbookText(path) : nullptr;
    CrtFile* stream = workbook ? nullptr : CrtOpen(path, "r");
    if (!stream && !workbook)
        return nullptr;
    if (workbook) {
        auto* file =
            static_cast<ListFile*>(MemAlloc(sizeof(ListFile) + kTextCapacity + kTextSlack));
        if (!file) {
            CloseWorkbookText(workbook);
            if (outOfMemory)
                *outOfMemory = true;
            return nullptr;
        }
        *file = ListFile{};
        file->text = reinterpret_cast<char*>(file + 1);
        file->encoding = ListTextUtf8;
        file->workbook = workbook;
        return file;
    }
    const size_t pathSize = std::strlen(path) + 1;
    auto* file =
        static_cast<ListFile*>(MemAlloc(sizeof(ListFile) + kTextCapacity + kTextSlack + pathSize));
    if (!file) {
        CrtClose(stream);
        if (outOfMemory)
            *outOfMemory = true;
        return nullptr;
    }
    *file = ListFile{};
    file->stream = stream;
    file->text = reinterpret_cast<char*>(file + 1);
    file->path = file->text + kTextCapacity + kTextSlack;
    std::memcpy(file->path, path, pathSize);

    // The byte-order mark decides how the rest is read. Without one, a file
    // whose first two bytes are one zero and one other byte is UTF-16 (its
    // first character is then one of the first 256, nearly always ASCII),
    // which no 8-bit list can be: a NUL stops those. Otherwise the bytes
    // just read are the start of the text.
    const size_t got = ReadStream(file, file->text, 3);
    const auto* first = reinterpret_cast<const unsigned char*>(file->text);
    size_t mark = 0;
    if (got == 3 && IsBom8(file->text)) {
        file->encoding = ListTextUtf8;
    } else if (got >= 2 && (IsBom16(file->text) || (first[0] == 0xFE && first[1] == 0xFF))) {
        file->encoding = first[0] == 0xFF ? ListTextUtf16LE : ListTextUtf16BE;
        mark = 2;
    } else if (got >= 2 && (first[0] == 0) != (first[1] == 0)) {
        file->encoding = first[1] == 0 ? ListTextUtf16LE : ListTextUtf16BE;
    } else {
        // Looked at with the rest of the first piece: nothing is delivered
        // before it has been checked.
        file->undecided = true;
        file->end = got;
        ReadMore(file);
    }
    if (file->encoding == ListTextUtf16LE || file->encoding == ListTextUtf16BE) {
        // UTF-16 text must not pass through text mode: its line ends are
        // two-byte units, and its bytes may be 0x0D, 0x0A or 0x1A anywhere.
        file->bigEndian = file->encoding == ListTextUtf16BE;
        CrtClose(stream);
        file->stream = CrtOpen(path, "rb");
        char bom[2];
        if (!file->stream || ReadStream(file, bom, mark) != mark) {
            CloseListFile(file);
            return nullptr;
        }
        if (!NeedConversionBuffers(file)) {
            CloseListFile(file);
            if (outOfMemory)
                *outOfMemory = true;
            return nullptr;
        }
    }
    return file;
}

void CloseListFile(ListFile* file) {
    if (!file)
        return;
    if (file->stream)
        CrtClose(file->stream);
    CloseWorkbookText(file->workbook);
    MemFree(file->wide);
    MemFree(file);
}

void ListFileReadHash(const ListFile* file, uint64_t* bytes, uint64_t* hash) {
    *bytes = file ? file->read.Bytes() : 0;
    *hash = file ? file->read.Value() : 0;
}

ListTextEncoding ListFileEncoding(const ListFile* file) {
    return file ? file->encoding : ListTextAnsi;
}

void CountListInCharacters(ListFile* file) {
    if (file)
        file->countCharacters = true;
}

size_t ListTextUnits(const ListFile* file, const char* text, size_t n) {
    if (!file)
        return n;
    if (file->countCharacters || file->encoding == ListTextUtf16LE ||
        file->encoding == ListTextUtf16BE)
        return Utf8Utf16Units(text, n);
    return file->encoding == ListTextAnsi ? Utf8AnsiBytes(text, n) : n;
}

int ReadListLine(ListFile* file, const char** line, size_t* length) {
    if (!file || file->stop != ListStopNone)
        return 0;
    for (;;) {
        const size_t pending = file->end - file->start;
        const char* from = file->text + file->start;
        bool crLast = false;
        const char* lf = FindLineEnd(from + file->scanned, pending - file->scanned, &crLast);
        if (crLast && file->pendingStop != ListStopNone && file->rawCount == 0)
            lf = file->text + file->end - 1; // nothing can follow this CR now
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
            file->scanned = crLast ? pending - 1 : pending;
        }
        if (!Fill(file)) {
            // A CR waiting for what follows it, when what follows turned out
            // to be text that cannot be delivered: a line end after all. The
            // stop waits for the next read, which names the line after it.
            const bool crLine =
                !file->skipping && file->end > file->start && file->text[file->end - 1] == '\r' &&
                file->pendingStop != ListStopNone && file->stop == file->pendingStop;
            if ((file->stop != ListStopNone && !crLine) || file->skipping ||
                file->end == file->start)
                return 0;
            if (crLine) {
                file->stop = ListStopNone;
                file->stopLine = 0;
            }
            // The last line, without a line end, or ending in a lone CR.
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
    for (;;) {
        // Whole lines only, as ReadListLine delivers them (a CR at the end
        // is taken for a line end even when an LF is still to come: a piece
        // then ends between the two, which a scan of the text does not
        // mind): a last line is
        // given once the file has ended cleanly after it, and a UTF-8
        // character the buffer ends inside waits for the next piece. A
        // line longer than a line may be is given as far as it goes.
        const size_t ready = file->checked > file->start ? file->checked - file->start : 0;
        const char* from = file->text + file->start;
        size_t size = ready;
        while (size > 0 && from[size - 1] != '\r' && from[size - 1] != '\n')
            --size;
        if (size == 0 && ready >= kListLineLimit)
            size = ready;
        if (size == 0 && !Fill(file)) {
            if (file->stop != ListStopNone || file->checked <= file->start)
                return 0;
            size = file->checked - file->start; // the last line, without a line end
        }
        if (size == 0)
            continue;
        *text = file->text + file->start;
        file->start += size;
        file->scanned = 0;
        return size;
    }
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

const char* ListFileStopDetail(const ListFile* file) {
    return file && file->workbook ? WorkbookTextProblem(file->workbook) : "";
}

const char* ListFileStopText(const ListFile* file) {
    switch (ListFileStopReason(file)) {
    case ListStopTooLong:
        return "a record of 512 bytes or more";
    case ListStopBadText:
        return "text that is not in the encoding the file is marked with";
    case ListStopNul:
        return "a NUL character";
    case ListStopNotUtf8:
        return "a line that is not UTF-8 like the rest of the file";
    case ListStopWorkbook:
        return ListFileStopDetail(file);
    case ListStopNoMemory:
        return "not enough memory";
    default:
        return "it could not be read";
    }
}

const WorkbookText* ListFileWorkbook(const ListFile* file) {
    return file ? file->workbook : nullptr;
}
