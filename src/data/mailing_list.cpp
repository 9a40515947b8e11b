#include "data/mailing_list.h"

#include "platform.h"
#include "ui/messages.h"
#include "ui/string_ids.h"

#include <cstdint>
#include <cstring>

int ListDelimiter = -1;

namespace {

constexpr int kValueSlotStep = 100;
// The first size of a record's block of values. A line is split with its
// length and 68 bytes free; a record of up to 511 raw bytes rarely needs more.
constexpr size_t kInitialTextSize = 2048;
// The part of a header field's name searched for "e-mail" and "email".
constexpr size_t kHeaderNameScan = 255;

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
// The splitter sees the line with its LF turned into CR LF and each pair of
// CRs into one CR. A line without a CR before its LF (nearly every line) is
// split as it is: neither CR nor LF is a delimiter or a quote, so only text
// that runs to the end of the line is concerned, and it needs the CR LF only
// when it stays in the record (a quoted value going on); elsewhere the last
// value's line break would be trimmed off anyway. Other lines are normalised
// into a buffer first.

// Sixteen bytes compared at once (SSE2 on x86; plain code elsewhere).
typedef unsigned char ByteVector __attribute__((vector_size(16)));
typedef signed char MatchVector __attribute__((vector_size(16)));

// The high bit of each of the eight bytes of `matches`, gathered into eight
// low bits (the products never overlap, so nothing carries).
inline uint64_t HighBits(uint64_t matches) {
    return ((matches & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56;
}

// One bit for each delimiter or double quote among the 64 bytes from p (bit
// i for p[i]). Reads 64 bytes: the caller keeps only the bits it may use.
uint64_t StopBits(const char* p, char delimiter) {
    const ByteVector delimiters = ByteVector{} + static_cast<unsigned char>(delimiter);
    const ByteVector quotes = ByteVector{} + static_cast<unsigned char>('"');
    uint64_t bits = 0;
    for (int i = 0; i < 64; i += 16) {
        ByteVector bytes;
        std::memcpy(&bytes, p + i, 16);
        const MatchVector matches = (bytes == delimiters) | (bytes == quotes);
        uint64_t halves[2];
        std::memcpy(halves, &matches, 16);
        bits |= HighBits(halves[0]) << i | HighBits(halves[1]) << (i + 8);
    }
    return bits;
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

// Copies n bytes and tells whether they hold a CR, sixteen bytes at a time.
bool CopyFindingCr(char* to, const char* from, size_t n) {
    const ByteVector crs = ByteVector{} + static_cast<unsigned char>('\r');
    MatchVector found = MatchVector{};
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        ByteVector bytes;
        std::memcpy(&bytes, from + i, 16);
        std::memcpy(to + i, &bytes, 16);
        found |= bytes == crs;
    }
    uint64_t halves[2];
    std::memcpy(halves, &found, 16);
    bool cr = (halves[0] | halves[1]) != 0;
    for (; i < n; ++i) {
        to[i] = from[i];
        cr = cr || from[i] == '\r';
    }
    return cr;
}

class LineSplitter {
public:
    LineSplitter(ListRecord* record, char delimiter) : record_(record), delimiter_(delimiter) {}

    bool anyText = false;   // some value holds text
    bool needsTrim = false; // some value may end in a line break

    // Splits one physical line (as read, with its LF if it has one). False
    // when memory ran out.
    bool SplitLine(const char* line, size_t length, bool* inQuotes) {
        const bool hasLf = length > 0 && line[length - 1] == '\n';
        const size_t body = hasLf ? length - 1 : length;
        // Room for the copy, the CR LF and a NUL, and for reading 64 bytes
        // at a time: values never move while a line is split.
        if (!ReserveText(record_, length + 68))
            return false;
        // A quoted value going on from the last line continues over its NUL.
        const bool continuing = *inQuotes && record_->count > 0;
        char* copy = record_->text + record_->textUsed - (continuing ? 1 : 0);
        if (!CopyFindingCr(copy, line, body))
            return Split(copy, body, hasLf, inQuotes);
        // LF becomes CR LF, then each pair of CRs one CR.
        char expanded[kListRawSize + 2];
        std::memcpy(expanded, line, body);
        size_t n = body;
        if (hasLf) {
            expanded[n++] = '\r';
            expanded[n++] = '\n';
        }
        size_t made = 0;
        for (size_t i = 0; i < n; ++i) {
            copy[made++] = expanded[i];
            if (expanded[i] == '\r' && i + 1 < n && expanded[i + 1] == '\r')
                ++i;
        }
        needsTrim = true;
        return Split(copy, made, false, inQuotes);
    }

private:
    enum class State { Value, Quoted, AfterQuote };

    // Splits the line's copy at `s` (length bytes; room after them).
    // `lineBreak`: the normalised line goes on with CR LF after them. The
    // delimiters and quotes of 64 bytes at a time, as bits, are walked in
    // order: no branch per byte. The record's count and array are kept in
    // locals meanwhile: the NULs written into the text could otherwise be
    // taken to change them.
    bool Split(char* s, size_t length, bool lineBreak, bool* inQuotes) {
        ListRecord* const record = record_;
        char* const end = s + length;
        record->textUsed = static_cast<size_t>(end + 1 - record->text);
        char** values = record->values;
        int count = record->count;
        int capacity = record->capacity;
        bool text = false;
        // Room for one more value: the array grows by 100 slots when the
        // new count reaches its capacity.
        auto room = [&]() {
            if (count + 1 < capacity)
                return true;
            record->count = count;
            if (!ReserveSlot(record))
                return false;
            values = record->values;
            capacity = record->capacity;
            return true;
        };
        auto close = [&](const char* value, char* at) {
            *at = '\0';
            text = text || *value != '\0';
        };

        State state = State::Value;
        char* start = s;         // the value being read (its text when quoted)
        bool pairs = false;      // the quoted text holds doubled quotes
        const char* skip = s;    // bits below this are stepped over
        bool continuing = false; // the quoted text adds to the last value
        bool ok = true;
        if (*inQuotes) {
            state = State::Quoted;
            continuing = true;
            if (count == 0) { // quotes open only inside a value
                ok = room();
                if (ok)
                    values[count++] = s;
            }
        }
        *inQuotes = false;
        for (char* block = s; ok && block < end; block += 64) {
            uint64_t bits = StopBits(block, delimiter_);
            const size_t n = static_cast<size_t>(end - block);
            if (n < 64)
                bits &= (uint64_t{1} << n) - 1;
            for (; bits; bits &= bits - 1) {
                char* at = block + __builtin_ctzll(bits);
                if (at < skip)
                    continue;
                const bool quote = *at == '"';
                if (state == State::Value) {
                    if (quote) { // the text before the opening quote is dropped
                        state = State::Quoted;
                        start = at + 1;
                        pairs = false;
                        continue;
                    }
                    if (!room()) {
                        ok = false;
                        break;
                    }
                    values[count++] = start;
                    close(start, at);
                    start = at + 1;
                } else if (state == State::Quoted) {
                    if (!quote)
                        continue; // a delimiter inside the quotes
                    if (at + 1 < end && at[1] == '"') {
                        pairs = true; // "" stands for one quote
                        skip = at + 2;
                        continue;
                    }
                    // The closing quote.
                    char* valueEnd = pairs ? Unquote(start, at) : at;
                    if (continuing) {
                        close(values[count - 1], valueEnd);
                        continuing = false;
                    } else if (room()) {
                        values[count++] = start;
                        close(start, valueEnd);
                    } else {
                        ok = false;
                        break;
                    }
                    state = State::AfterQuote;
                } else if (!quote) { // after the closing quote, up to a delimiter
                    state = State::Value;
                    start = at + 1;
                }
            }
        }
        if (ok) {
            switch (state) {
            case State::Value: // the rest of the line, if text remains
                if (start < end || lineBreak) {
                    ok = room();
                    if (ok) {
                        values[count++] = start;
                        close(start, end);
                    }
                }
                break;
            case State::Quoted: { // the quotes stay open: the line break is the value's
                if (!continuing) {
                    ok = room();
                    if (!ok)
                        break;
                    values[count++] = start;
                }
                char* valueEnd = pairs ? Unquote(start, end) : end;
                if (lineBreak) {
                    *valueEnd++ = '\r';
                    *valueEnd++ = '\n';
                    needsTrim = true;
                }
                close(values[count - 1], valueEnd);
                // The next line's copy continues over the NUL.
                record->textUsed = static_cast<size_t>(valueEnd + 1 - record->text);
                *inQuotes = true;
                break;
            }
            case State::AfterQuote:
                break;
            }
        }
        record->count = count;
        anyText = anyText || text;
        return ok;
    }

    ListRecord* record_;
    char delimiter_;
};

void OutOfMemory(ListFile* file, ListRecord* record) {
    ClearListRecord(record);
    StringMessageBox(GetDesktopWindow(), IDS_OUT_OF_MEMORY, kProductName, MB_ICONEXCLAMATION);
    StopListFile(file, ListStopNoMemory);
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

void CopyRaw(char* destination, const char* raw) {
    std::memcpy(destination, raw, std::strlen(raw) + 1);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NamesAddress(const char* name) {
    char lower[kHeaderNameScan + 1];
    size_t n = 0;
    for (; n < kHeaderNameScan && name[n]; ++n)
        lower[n] = LowerAscii(name[n]);
    lower[n] = '\0';
    return std::strstr(lower, "e-mail") || std::strstr(lower, "email");
}

// A value of the form «Name <address>» becomes the address alone. Returns
// the value's length.
size_t TakeBracketedAddress(char* value) {
    const size_t length = std::strlen(value);
    if (!std::memchr(value, '<', length))
        return length;
    char* open = std::strrchr(value, '<');
    char* close = std::strchr(open + 1, '>');
    if (!close || !std::strchr(open + 1, '@'))
        return length;
    *close = '\0';
    const size_t inner = static_cast<size_t>(close - open - 1);
    if (inner >= kListRawSize - 1)
        return static_cast<size_t>(close - value);
    std::memmove(value, open + 1, inner + 1);
    return inner;
}

// At most 255 bytes of the value, without leading and trailing blanks.
// Returns the address's length.
size_t CleanAddress(const char* value, size_t length, char* address) {
    size_t n = length < kListAddressSize - 1 ? length : kListAddressSize - 1;
    size_t first = 0;
    while (first < n && IsBlank(value[first]))
        ++first;
    while (n > first && IsBlank(value[n - 1]))
        --n;
    std::memcpy(address, value + first, n - first);
    address[n - first] = '\0';
    return n - first;
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
    ClearListRecord(record);
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

void SelectListDelimiter(const char* path) {
    bool comma = false;
    bool tab = false;
    if (path && *path) {
        if (ListFile* file = OpenListFile(path)) {
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
        ListDelimiter = 0;
        return;
    }
    if (tab && !comma) {
        ListDelimiter = 1;
        return;
    }
    bool csv = false;
    for (const char* p = path; p && *p && !csv; ++p)
        csv = p[0] == '.' && LowerAscii(p[1]) == 'c' && LowerAscii(p[2]) == 's' &&
              LowerAscii(p[3]) == 'v';
    ListDelimiter = csv ? 0 : 1;
}

int ReadListRecord(ListFile* file, ListRecord* record) {
    if (!record)
        return 0;
    for (;;) {
        ClearListRecord(record);
        record->raw[0] = '\0';
        if (ListDelimiter != 0 && ListDelimiter != 1)
            return 0;
        const char delimiter = ListDelimiter == 0 ? ',' : '\t';
        LineSplitter splitter(record, delimiter);
        size_t rawLength = 0;
        bool inQuotes = false;
        bool gotText = false;
        for (;;) {
            const char* line;
            size_t length;
            if (!ReadListLine(file, &line, &length)) {
                if (ListFileStopReason(file) != ListStopNone) {
                    ClearListRecord(record);
                    return 0;
                }
                break;
            }
            if (length >= 2 && line[0] == '/' && line[1] == '/')
                continue; // a comment line, wherever it stands
            if (rawLength + length >= kListRawSize) {
                ClearListRecord(record);
                StopListFile(file, ListStopTooLong);
                return 0;
            }
            std::memcpy(record->raw + rawLength, line, length);
            rawLength += length;
            record->raw[rawLength] = '\0';
            gotText = true;
            if (!splitter.SplitLine(line, length, &inQuotes)) {
                OutOfMemory(file, record);
                return 0;
            }
            if (line[length - 1] == '\n' && !inQuotes)
                break;
        }
        if (!gotText)
            return 0;
        const bool allEmpty = splitter.needsTrim ? TrimValues(record) : !splitter.anyText;
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
            if (header->count == 1) {
                list->emailColumn = 0;
            } else {
                for (int i = 0; i < header->count; ++i) {
                    if (NamesAddress(header->values[i])) {
                        list->emailColumn = i;
                        break;
                    }
                }
            }
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
        if (current->count <= column)
            continue;
        if (recordRaw)
            CopyRaw(recordRaw, current->raw);
        char* value = current->values[column];
        const size_t length = CleanAddress(value, TakeBracketedAddress(value), address);
        if (std::memchr(address, '@', length))
            return 1;
    }
}
