#include "data/mailing_list.h"

#include "base/utf8.h"
#include "data/byte_scan.h"
#include "data/list_address.h"
#include "data/workbook_text.h"
#include "platform.h"

#include <cstdint>
#include <cstring>

int ListDelimiter = -1;

namespace {

constexpr int kValueSlotStep = 100;
// The first size of a record's block of values. A line is split with its
// length and 68 bytes free, and the quick way takes a line only with room for
// the longest raw text; a record rarely needs more.
constexpr size_t kInitialTextSize = 4096;

bool ReserveText(ListRecord* record, size_t more) {
    if (record->textSize - record->textUsed >= more)
        return true;
    size_t size = record->textSize ? record->textSize : kInitialTextSize;
    while (size - record->textUsed < more)
        size *= 2;
    char* block = static_cast<char*>(MemAlloc(size));
    if (!block)
        return false;
    if (record->textUsed)
        std::memcpy(block, record->text, record->textUsed);
    for (int i = 0; i < record->count; ++i)
        record->values[i] = block + (record->values[i] - record->text);
    MemFree(record->text);
    record->text = block;
    record->textSize = size;
    return true;
}

// A slot for one more value: the array grows by 100 slots when the new count
// reaches its capacity.
bool ReserveSlot(ListRecord* record) {
    if (record->count + 1 < record->capacity)
        return true;
    const int slots = record->capacity + kValueSlotStep;
    void* grown = MemRealloc(record->values, static_cast<size_t>(slots) * sizeof(char*));
    if (!grown)
        return false;
    record->values = static_cast<char**>(grown);
    record->capacity = slots;
    return true;
}

// ---- Splitting a line ------------------------------------------------------------------
//
// Each physical line is copied once into the record's block and split there:
// a value is the text between two delimiters, ended by a NUL written over the
// delimiter; a quoted value has its doubled quotes undone in place (it only
// shrinks). A quoted value that goes on to the next line keeps the next
// line's copy right after it, so it simply continues.
//
// The pass that copies a line into the block also copies it into the raw
// text and marks its delimiters and quotes, many bytes at a time; when the
// line lies whole in the file's buffered text (nearly always), the same pass
// finds its end. The split then visits only the marked bytes, and a line
// without quotes needs no more than its value array filled.
//
// The splitter sees the line with its LF turned into CR LF and each pair of
// CRs into one CR. A line without a CR before its LF (nearly every line) is
// split as it is: neither CR nor LF is a delimiter or a quote, so only text
// that runs to the end of the line is concerned, and it needs the CR LF only
// when it stays in the record (a quoted value going on); elsewhere the last
// value's line break would be trimmed off anyway. Other lines are normalised
// into a buffer first.

// Marks of delimiters or quotes: bit i % 64 of word i / 64 for byte i of a
// line. Room for the longest text split: a line below kListRawSize bytes,
// one more once its LF has become CR LF.
constexpr size_t kMarkWords = (kListRawSize + 63) / 64;

// Copies the n bytes of a line (1 to kListRawSize) to `text` and, unless it is
// null, to `raw` (rawRoom bytes), and marks the line's delimiters and double
// quotes in `stops`. Returns whether the line holds a CR. Works sixteen bytes
// at a time: reads up to 15 bytes past the line (kListLineSlack) and writes
// as many past it into `text`; into `raw` exactly the n bytes.
bool CopyAndMark(const char* from, size_t n, char* text, char* raw, size_t rawRoom, char delimiter,
                 uint64_t* stops) {
    using namespace byte_scan;
    const Bytes16 delimiters = Splat16(delimiter);
    const Bytes16 quotes = Splat16('"');
    const Bytes16 crs = Splat16('\r');
    const bool rawByChunks = raw && rawRoom >= ((n + 15) & ~size_t{15});
    for (size_t w = 0; w < (n + 63) / 64; ++w)
        stops[w] = 0;
    uint64_t cr = 0;
    for (size_t i = 0; i < n; i += 16) {
        const Bytes16 bytes = Load16(from + i);
        Store16(text + i, bytes);
        if (rawByChunks)
            Store16(raw + i, bytes);
        const uint64_t inLine = FirstBits(n - i);
        stops[i / 64] |=
            (Bits16(Either16(Equal16(bytes, delimiters), Equal16(bytes, quotes))) & inLine)
            << (i % 64);
        cr |= Bits16(Equal16(bytes, crs)) & inLine;
    }
    if (raw && !rawByChunks)
        std::memcpy(raw, from, n);
    return cr != 0;
}

// The same for a line whose end is still to be found, in text without CRs:
// copies the text at `from` up to its first LF, which must come before
// `window` bytes (1 or more), and marks its delimiters and its quotes apart.
// In `text`, the copy has a NUL for each delimiter: a line without quotes is
// then split already but for its value array. Returns the line's length with
// the LF, or 0 when the window holds none (then `text` and `raw` hold bytes
// of no meaning). Works 64 bytes at a time: reads up to 63 bytes past the
// window and writes as many past it into `text` and `raw`.
size_t FindCopyAndMark(const char* from, size_t window, char* text, char* raw, char delimiter,
                       uint64_t* delimiterMarks, uint64_t* quoteMarks) {
    using namespace byte_scan;
    const Bytes16 lineFeeds = Splat16('\n');
    const Bytes16 delimiters = Splat16(delimiter);
    const Bytes16 quotes = Splat16('"');
    for (size_t i = 0; i < window; i += 64) {
        uint64_t ends = 0;
        uint64_t found = 0;
        uint64_t quoted = 0;
        for (int j = 0; j < 64; j += 16) {
            const Bytes16 bytes = Load16(from + i + j);
            const Matches16 atDelimiters = Equal16(bytes, delimiters);
            Store16(text + i + j, ZeroWhere16(atDelimiters, bytes));
            Store16(raw + i + j, bytes);
            ends |= Bits16(Equal16(bytes, lineFeeds)) << j;
            found |= Bits16(atDelimiters) << j;
            quoted |= Bits16(Equal16(bytes, quotes)) << j;
        }
        if (ends) {
            const size_t at = i + static_cast<size_t>(__builtin_ctzll(ends));
            if (at >= window)
                return 0;
            const uint64_t before = (ends & (0 - ends)) - 1;
            delimiterMarks[i / 64] = found & before;
            quoteMarks[i / 64] = quoted & before;
            return at + 1;
        }
        delimiterMarks[i / 64] = found;
        quoteMarks[i / 64] = quoted;
    }
    return 0;
}

// Replaces each pair of double quotes in [from, to) by one, in place (left
// to right, going on after each replacement). Returns the new end.
char* Unquote(char* from, char* to) {
    char* quote = static_cast<char*>(std::memchr(from, '"', static_cast<size_t>(to - from)));
    if (!quote)
        return to;
    char* out = quote + 1;
    const char* in = quote + 1;
    if (in < to && *in == '"')
        ++in;
    while (in < to) {
        const char c = *in++;
        *out++ = c;
        if (c == '"' && in < to && *in == '"')
            ++in;
    }
    return out;
}

class LineSplitter {
public:
    LineSplitter(ListRecord* record, char delimiter) : record_(record), delimiter_(delimiter) {}

    bool needsTrim = false; // some value may end in a line break

    // Takes the file's next line the fast way, when it lies whole in the
    // buffered text, holds no CR, is no comment line, keeps the raw text at
    // least 64 bytes below its limit and fits the record's block as it is:
    // finds its end while copying it (to `raw`, rawRoom bytes, too), delivers
    // it and splits it. Returns its length, with *ok false when memory ran
    // out; 0 when the line is to be read the ordinary way (nothing has
    // changed then).
    size_t TakeLine(ListFile* file, char* raw, size_t rawRoom, bool* inQuotes, bool* ok) {
        const char* line;
        const size_t buffered = PeekListText(file, &line);
        ListRecord* const record = record_;
        if (buffered < 2 || (line[0] == '/' && line[1] == '/') || rawRoom <= 64 ||
            record->textSize - record->textUsed < rawRoom + 68)
            return 0;
        const bool continuing = *inQuotes && record->count > 0;
        char* copy = record->text + record->textUsed - (continuing ? 1 : 0);
        // Sixty-four bytes written at a time stay within the raw text.
        const size_t window = buffered < rawRoom - 64 ? buffered : rawRoom - 64;
        uint64_t delimiters[kMarkWords];
        uint64_t quotes[kMarkWords];
        const size_t length =
            FindCopyAndMark(line, window, copy, raw, delimiter_, delimiters, quotes);
        if (length == 0) {
            // Put back the two NULs written over: the raw text's end and,
            // for a quoted value going on, the value's.
            raw[0] = '\0';
            copy[0] = '\0';
            return 0;
        }
        TakeListLine(file, length);
        raw[length] = '\0';
        const size_t body = length - 1;
        const size_t words = (body + 63) / 64;
        uint64_t anyQuote = 0;
        for (size_t w = 0; w < words; ++w)
            anyQuote |= quotes[w];
        if (!*inQuotes && !anyQuote) {
            *ok = SplitDelimited(copy, body, delimiters, words);
            return length;
        }
        std::memcpy(copy, line, length); // the delimiters back
        for (size_t w = 0; w < words; ++w)
            delimiters[w] |= quotes[w];
        *ok = Split(copy, body, true, inQuotes, delimiters, words);
        return length;
    }

    // Splits one physical line (as read, with its LF if it has one; the
    // kListLineSlack bytes after it readable) and copies it to `raw`, which
    // has rawRoom bytes. False when memory ran out.
    bool SplitLine(const char* line, size_t length, char* raw, size_t rawRoom, bool* inQuotes) {
        // Room for the copy (written sixteen bytes at a time), the CR LF and
        // a NUL: values never move while a line is split.
        if (!ReserveText(record_, length + 68)) {
            std::memcpy(raw, line, length);
            raw[length] = '\0';
            return false;
        }
        // A quoted value going on from the last line continues over its NUL.
        const bool continuing = *inQuotes && record_->count > 0;
        char* copy = record_->text + record_->textUsed - (continuing ? 1 : 0);
        uint64_t stops[kMarkWords];
        const bool cr = CopyAndMark(line, length, copy, raw, rawRoom, delimiter_, stops);
        raw[length] = '\0';
        const bool hasLf = line[length - 1] == '\n';
        const size_t body = hasLf ? length - 1 : length;
        if (!cr)
            return Split(copy, body, hasLf, inQuotes, stops, (body + 63) / 64);
        // LF becomes CR LF, then each pair of CRs one CR.
        char expanded[kListRawSize + 2];
        std::memcpy(expanded, line, body);
        size_t n = body;
        if (hasLf) {
            expanded[n++] = '\r';
            expanded[n++] = '\n';
        }
        char normal[kListRawSize + 2 + kListLineSlack];
        size_t made = 0;
        for (size_t i = 0; i < n; ++i) {
            normal[made++] = expanded[i];
            if (expanded[i] == '\r' && i + 1 < n && expanded[i + 1] == '\r')
                ++i;
        }
        CopyAndMark(normal, made, copy, nullptr, 0, delimiter_, stops);
        needsTrim = true;
        return Split(copy, made, false, inQuotes, stops, (made + 63) / 64);
    }

private:
    // Splits a line's copy at `s` (length bytes before its LF), without
    // quotes or CRs, whose delimiters the copy holds as NULs already and the
    // `words` words of `delimiters` mark: only the value array is left to
    // fill. Gives the same values as Split, more simply.
    bool SplitDelimited(char* s, size_t length, const uint64_t* delimiters, size_t words) {
        ListRecord* const record = record_;
        char* const end = s + length;
        *end = '\0';
        record->textUsed = static_cast<size_t>(end + 1 - record->text);
        char** slot = record->values + record->count;
        char** full = FullSlot(record);
        char* start = s;
        char* base = s;
        for (size_t w = 0; w < words; ++w, base += 64) {
            for (uint64_t bits = delimiters[w]; bits; bits &= bits - 1) {
                if (!Push(&slot, &full, start))
                    return false;
                start = base + __builtin_ctzll(bits) + 1;
            }
        }
        if (!Push(&slot, &full, start))
            return false;
        record->count = static_cast<int>(slot - record->values);
        return true;
    }

    // Splits the line's copy at `s` (length bytes; room after them), whose
    // delimiters and quotes the first `words` words of `stops` mark.
    // `lineBreak`: the normalised line goes on with CR LF after them. The
    // marked bytes are visited in order. The record's count and array are
    // kept in locals meanwhile: the NULs written into the text could
    // otherwise be taken to change them.
    bool Split(char* s, size_t length, bool lineBreak, bool* inQuotes, const uint64_t* stops,
               size_t words) {
        ListRecord* const record = record_;
        char* const end = s + length;
        record->textUsed = static_cast<size_t>(end + 1 - record->text);
        char** slot = record->values + record->count;
        char** full = FullSlot(record);
        enum { kValue, kQuoted, kAfterQuote } state = kValue;
        char* start = s;      // the value being read (its text when quoted)
        bool pairs = false;   // the quoted text holds doubled quotes
        const char* skip = s; // in quotes, marks below this are stepped over
        // The quotes of the last line are still open: the quoted text adds to
        // the last value.
        bool continuing = *inQuotes;
        *inQuotes = false;
        if (continuing) {
            state = kQuoted;
            if (slot == record->values) { // quotes open only inside a value
                if (!Push(&slot, &full, s))
                    return false;
            }
        }
        char* base = s;
        for (size_t w = 0; w < words; ++w, base += 64) {
            for (uint64_t bits = stops[w]; bits; bits &= bits - 1) {
                char* const at = base + __builtin_ctzll(bits);
                const bool quote = *at == '"';
                if (state == kValue) {
                    if (quote) { // the text before the opening quote is dropped
                        state = kQuoted;
                        start = at + 1;
                        pairs = false;
                        continue;
                    }
                    if (!Push(&slot, &full, start))
                        return false;
                    *at = '\0';
                    start = at + 1;
                } else if (state == kQuoted) {
                    if (!quote || at < skip)
                        continue; // a delimiter in the quotes, or a pair's second quote
                    if (at + 1 < end && at[1] == '"') {
                        pairs = true; // "" stands for one quote
                        skip = at + 2;
                        continue;
                    }
                    // The closing quote.
                    char* valueEnd = pairs ? Unquote(start, at) : at;
                    if (continuing) {
                        continuing = false;
                    } else {
                        if (!Push(&slot, &full, start))
                            return false;
                    }
                    *valueEnd = '\0';
                    state = kAfterQuote;
                } else if (!quote) { // after the closing quote, up to a delimiter
                    state = kValue;
                    start = at + 1;
                }
            }
        }
        if (state == kValue) { // the rest of the line, if text remains
            if (start < end || lineBreak) {
                if (!Push(&slot, &full, start))
                    return false;
                *end = '\0';
            }
        } else if (state == kQuoted) { // the line break is the value's
            if (!continuing) {
                if (!Push(&slot, &full, start))
                    return false;
            }
            char* valueEnd = pairs ? Unquote(start, end) : end;
            if (lineBreak) {
                *valueEnd++ = '\r';
                *valueEnd++ = '\n';
                needsTrim = true;
            }
            *valueEnd = '\0';
            // The next line's copy continues over the NUL.
            record->textUsed = static_cast<size_t>(valueEnd + 1 - record->text);
            *inQuotes = true;
        }
        record->count = static_cast<int>(slot - record->values);
        return true;
    }

    // The first slot that would leave the record's value array no free one:
    // the array grows by 100 slots when the new count reaches its capacity.
    static char** FullSlot(ListRecord* record) {
        return record->capacity > 0 ? record->values + record->capacity - 1
                                    : record->values + record->count;
    }

    // Stores `value` in the next slot, growing the record's value array
    // first when it is full (the caller's slot pointers move along). False
    // when memory ran out: the record then keeps the values stored so far.
    bool Push(char*** slot, char*** full, char* value) {
        if (*slot >= *full) {
            ListRecord* const record = record_;
            const ptrdiff_t count = *slot - record->values;
            record->count = static_cast<int>(count);
            if (!ReserveSlot(record))
                return false;
            *slot = record->values + count;
            *full = FullSlot(record);
        }
        *(*slot)++ = value;
        return true;
    }

    ListRecord* record_;
    char delimiter_;
};

// The pass stops at the record memory ran out in; the caller tells the user.
void OutOfMemory(ListFile* file, ListRecord* record, long recordLine) {
    ClearListRecord(record);
    StopListFile(file, ListStopNoMemory, recordLine);
}

// Removes one trailing LF, then one trailing CR, from every value. True when
// every value is then empty.
bool TrimValues(ListRecord* record) {
    bool allEmpty = true;
    for (int i = 0; i < record->count; ++i) {
        char* value = record->values[i];
        size_t length = std::strlen(value);
        if (length > 0 && value[length - 1] == '\n')
            --length;
        if (length > 0 && value[length - 1] == '\r')
            --length;
        value[length] = '\0';
        if (value[0] != '\0')
            allEmpty = false;
    }
    return allEmpty;
}

// True when every value is empty (a blank line or one of delimiters only);
// nearly always the first value tells.
bool NoValueText(const ListRecord* record) {
    for (int i = 0; i < record->count; ++i)
        if (record->values[i][0] != '\0')
            return false;
    return true;
}

void CopyRaw(char* destination, const char* raw) {
    std::memcpy(destination, raw, std::strlen(raw) + 1);
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Tells the job of a record passed over.
void Skip(MailingList* list, const ListRecord& record, ListSkipReason reason, const char* value) {
    if (list->onSkipped)
        list->onSkipped(list->skipContext, record, reason, value);
}

} // namespace

void ClearListRecord(ListRecord* record) {
    if (!record || !record->values)
        return;
    record->count = 0;
    record->textUsed = 0;
}

void FreeListRecord(ListRecord* record) {
    if (!record)
        return;
    MemFree(record->values);
    MemFree(record->text);
    record->values = nullptr;
    record->text = nullptr;
    record->count = 0;
    record->capacity = 0;
    record->textSize = 0;
    record->textUsed = 0;
}

int AddListValue(ListRecord* record, const char* text, size_t length) {
    if (!record || !ReserveSlot(record) || !ReserveText(record, length + 1))
        return 0;
    char* value = record->text + record->textUsed;
    if (length)
        std::memcpy(value, text, length);
    value[length] = '\0';
    record->textUsed += length + 1;
    record->values[record->count++] = value;
    return 1;
}

namespace {

// Whether the file's header line (its first line that is no comment and not
// empty) separates names with semicolons and holds no comma and no tab. A
// comma in a later value, an address list or a decimal number, does not count.
bool HeaderUsesSemicolons(ListFile* file) {
    bool semicolons = false;
    const char* line;
    size_t length;
    while (ReadListLine(file, &line, &length)) {
        if (length >= 2 && line[0] == '/' && line[1] == '/')
            continue;
        size_t end = length;
        while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r'))
            --end;
        if (end == 0)
            continue;
        semicolons = std::memchr(line, ';', end) && !std::memchr(line, ',', end) &&
                     !std::memchr(line, '\t', end);
        break;
    }
    return semicolons;
}

} // namespace

void SelectListDelimiter(const char* path) {
    // A workbook's rows are delivered as comma-separated text.
    if (IsWorkbookPath(path)) {
        ListDelimiter = kListComma;
        return;
    }
    bool comma = false;
    bool tab = false;
    ListFile* file = path && *path ? OpenListFile(path) : nullptr;
    if (file) {
        const bool semicolons = HeaderUsesSemicolons(file);
        CloseListFile(file);
        if (semicolons) {
            ListDelimiter = kListSemicolon;
            return;
        }
        // The whole text, from its start again.
        if ((file = OpenListFile(path)) != nullptr) {
            const char* text;
            size_t length;
            while (!(comma && tab) && (length = ReadListText(file, &text)) > 0) {
                comma = comma || std::memchr(text, ',', length);
                tab = tab || std::memchr(text, '\t', length);
            }
            CloseListFile(file);
        }
    }
    if (comma && !tab) {
        ListDelimiter = kListComma;
        return;
    }
    if (tab && !comma) {
        ListDelimiter = kListTab;
        return;
    }
    bool csv = false;
    for (const char* p = path; p && *p && !csv; ++p)
        csv = p[0] == '.' && LowerAscii(p[1]) == 'c' && LowerAscii(p[2]) == 's' &&
              LowerAscii(p[3]) == 'v';
    ListDelimiter = csv ? kListComma : kListTab;
}

int ReadListRecord(ListFile* file, ListRecord* record) {
    if (!record)
        return 0;
    for (;;) {
        ClearListRecord(record);
        record->raw[0] = '\0';
        if (ListDelimiter != kListComma && ListDelimiter != kListTab &&
            ListDelimiter != kListSemicolon)
            return 0;
        const char delimiter = ListDelimiter == kListComma ? ','
                               : ListDelimiter == kListTab ? '\t'
                                                           : ';';
        LineSplitter splitter(record, delimiter);
        size_t rawLength = 0;
        bool inQuotes = false;
        bool gotText = false;
        // The physical line where the record starts (its first line that is
        // no comment): a stop names it, so that the user finds the record
        // there whichever of its lines could not be read.
        long recordLine = 0;
        for (;;) {
            char* raw = record->raw + rawLength;
            const size_t rawRoom = kListRawSize - rawLength;
            bool ok = true;
            bool lineEnds = true;
            size_t length = splitter.TakeLine(file, raw, rawRoom, &inQuotes, &ok);
            if (length) {
                rawLength += length;
                if (!recordLine)
                    recordLine = ListFileLineNumber(file);
            } else {
                const char* line;
                if (!ReadListLine(file, &line, &length)) {
                    if (ListFileStopReason(file) != ListStopNone) {
                        // The file stopped by itself, at the line it could
                        // not deliver: inside this record if it has begun.
                        if (recordLine)
                            StopListFile(file, ListFileStopReason(file), recordLine);
                        ClearListRecord(record);
                        return 0;
                    }
                    break;
                }
                if (length >= 2 && line[0] == '/' && line[1] == '/')
                    continue; // a comment line, wherever it stands
                if (!recordLine)
                    recordLine = ListFileLineNumber(file);
                // Beyond the buffer it is beyond the limit too.
                if (rawLength + length >= kListRawSize) {
                    ClearListRecord(record);
                    StopListFile(file, ListStopTooLong, recordLine);
                    return 0;
                }
                rawLength += length;
                ok = splitter.SplitLine(line, length, raw, rawRoom, &inQuotes);
                lineEnds = line[length - 1] == '\n' || line[length - 1] == '\r';
            }
            // Fewer bytes than the limit are fewer units too: only a longer
            // raw text is measured in the file's own encoding.
            if (rawLength >= kListRawLimit &&
                ListTextUnits(file, record->raw, rawLength) >= kListRawLimit) {
                ClearListRecord(record);
                StopListFile(file, ListStopTooLong, recordLine);
                return 0;
            }
            gotText = true;
            if (!ok) {
                OutOfMemory(file, record, recordLine);
                return 0;
            }
            if (lineEnds && !inQuotes)
                break;
        }
        if (!gotText)
            return 0;
        record->line = recordLine;
        const bool allEmpty = splitter.needsTrim ? TrimValues(record) : NoValueText(record);
        if (!allEmpty)
            return 1;
        // A blank line or one of delimiters only: read on.
    }
}

int ReadNextRecipient(MailingList* list, ListFile* file, int headerDone, char* address,
                      char* headerRaw, char* recordRaw, ListRecord* header, ListRecord* current) {
    if (address)
        address[0] = '\0';
    if (!list || !address || !current)
        return 0;
    if (headerDone == 0) {
        if (header) {
            if (!ReadListRecord(file, header))
                return 0;
            if (headerRaw)
                CopyRaw(headerRaw, header->raw);
            int first = -1;
            if (AddressColumns(header, &first, 1) == 1)
                list->emailColumn = first;
        } else {
            // The header was read by the first pass: step over it.
            ListRecord skipped;
            const int read = ReadListRecord(file, &skipped);
            if (read && headerRaw)
                CopyRaw(headerRaw, skipped.raw);
            FreeListRecord(&skipped);
            if (!read)
                return 0;
        }
    }
    const int column = list->emailColumn;
    if (column < 0)
        return 0;
    for (;;) {
        if (!ReadListRecord(file, current))
            return 0;
        if (current->count <= column) {
            Skip(list, *current, ListSkipNoAddress, "");
            continue;
        }
        if (recordRaw)
            CopyRaw(recordRaw, current->raw);
        char* value = current->values[column];
        const int refused = TakeRecordAddress(value, address);
        if (refused == 0)
            return 1;
        address[0] = '\0';
        Skip(list, *current, static_cast<ListSkipReason>(refused), value);
    }
}
