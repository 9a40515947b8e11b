#include "data/mailing_list.h"

#include "platform.h"
#include "ui/messages.h"
#include "ui/string_ids.h"

#include <cstring>

int ListDelimiter = -1;

namespace {

constexpr int kValueSlotStep = 100;
// A record of 511 raw bytes holds at most about 1.5 KB of values (each line
// end becomes CR LF, each value its NUL), so a record read from a file never
// grows its block beyond this first size.
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

// Copies text to `out`, replacing each pair of double quotes by one (left to
// right, going on after each replacement). Returns the length written.
size_t CopyUnquoting(char* out, const char* text, size_t length) {
    const char* end = text + length;
    char* o = out;
    for (;;) {
        const char* quote =
            static_cast<const char*>(std::memchr(text, '"', static_cast<size_t>(end - text)));
        const char* stop = quote ? quote + 1 : end;
        std::memcpy(o, text, static_cast<size_t>(stop - text));
        o += stop - text;
        if (!quote)
            return static_cast<size_t>(o - out);
        text = stop;
        if (text < end && *text == '"')
            ++text;
    }
}

// A new value: quoted text has its doubled quotes undone.
bool StoreValue(ListRecord* record, const char* text, size_t length, bool quoted) {
    if (!quoted)
        return AddListValue(record, text, length) != 0;
    if (!AddListValue(record, "", 0) || !ReserveText(record, length))
        return false;
    char* value = record->values[record->count - 1];
    const size_t made = CopyUnquoting(value, text, length);
    value[made] = '\0';
    record->textUsed += made;
    return true;
}

// More quoted text for the last value (a quoted field that goes on). The last
// value is always the last text in the record's block.
bool AppendToLastValue(ListRecord* record, const char* text, size_t length) {
    if (record->count == 0)
        return StoreValue(record, text, length, true);
    if (!ReserveText(record, length))
        return false;
    char* at = record->text + record->textUsed - 1; // the last value's NUL
    const size_t made = CopyUnquoting(at, text, length);
    at[made] = '\0';
    record->textUsed += made;
    return true;
}

// The closing quote: the first double quote at or after `from` that is not
// followed by another; a pair "" is stepped over as a whole.
const char* ClosingQuote(const char* from, const char* end) {
    for (;;) {
        const char* quote =
            static_cast<const char*>(std::memchr(from, '"', static_cast<size_t>(end - from)));
        if (!quote || quote + 1 == end || quote[1] != '"')
            return quote;
        from = quote + 2;
    }
}

// Past the next delimiter at or after `from`, or the end of the line.
const char* AfterDelimiter(const char* from, const char* end, char delimiter) {
    const char* d =
        static_cast<const char*>(std::memchr(from, delimiter, static_cast<size_t>(end - from)));
    return d ? d + 1 : end;
}

// Splits one normalised line into the record's values. False when memory ran
// out.
bool SplitLine(ListRecord* record, const char* line, size_t length, char delimiter,
               bool* inQuotes) {
    const char* p = line;
    const char* end = line + length;
    const char* quote = static_cast<const char*>(std::memchr(p, '"', length));
    while (p < end) {
        if (*inQuotes) {
            const char* closing = ClosingQuote(p, end);
            if (!closing)
                return AppendToLastValue(record, p, static_cast<size_t>(end - p));
            if (!AppendToLastValue(record, p, static_cast<size_t>(closing - p)))
                return false;
            *inQuotes = false;
            p = AfterDelimiter(closing + 1, end, delimiter);
            continue;
        }
        if (quote && quote < p)
            quote = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        const char* stop = quote ? quote : end;
        const char* d =
            static_cast<const char*>(std::memchr(p, delimiter, static_cast<size_t>(stop - p)));
        if (d) {
            if (!StoreValue(record, p, static_cast<size_t>(d - p), false))
                return false;
            p = d + 1;
            continue;
        }
        if (!quote)
            return StoreValue(record, p, static_cast<size_t>(end - p), false);
        // A quoted field; any text before its opening quote is dropped.
        const char* closing = ClosingQuote(quote + 1, end);
        if (!closing) {
            *inQuotes = true;
            return StoreValue(record, quote + 1, static_cast<size_t>(end - quote - 1), true);
        }
        if (!StoreValue(record, quote + 1, static_cast<size_t>(closing - quote - 1), true))
            return false;
        p = AfterDelimiter(closing + 1, end, delimiter);
    }
    return true;
}

// The line as the splitter sees it: its LF becomes CR LF, then each pair of
// CRs becomes one CR. Returns the new length (at most length + 1).
size_t NormaliseLine(const char* line, size_t length, char* out) {
    const bool hasLf = length > 0 && line[length - 1] == '\n';
    const size_t body = hasLf ? length - 1 : length;
    if (!std::memchr(line, '\r', body)) {
        std::memcpy(out, line, body);
        if (!hasLf)
            return body;
        out[body] = '\r';
        out[body + 1] = '\n';
        return body + 2;
    }
    char expanded[kListRawSize + 1];
    std::memcpy(expanded, line, body);
    size_t n = body;
    if (hasLf) {
        expanded[n++] = '\r';
        expanded[n++] = '\n';
    }
    size_t made = 0;
    for (size_t i = 0; i < n; ++i) {
        out[made++] = expanded[i];
        if (expanded[i] == '\r' && i + 1 < n && expanded[i + 1] == '\r')
            ++i;
    }
    return made;
}

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
        const char* next =
            i + 1 < record->count ? record->values[i + 1] : record->text + record->textUsed;
        size_t length = static_cast<size_t>(next - value) - 1;
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

// A value of the form «Name <address>» becomes the address alone.
void TakeBracketedAddress(char* value) {
    char* open = std::strrchr(value, '<');
    if (!open)
        return;
    char* close = std::strchr(open + 1, '>');
    if (!close || !std::strchr(open + 1, '@'))
        return;
    *close = '\0';
    const size_t inner = static_cast<size_t>(close - open - 1);
    if (inner < kListRawSize - 1)
        std::memmove(value, open + 1, inner + 1);
}

// At most 255 bytes of the value, without leading and trailing blanks.
void CleanAddress(const char* value, char* address) {
    size_t n = 0;
    while (n < kListAddressSize - 1 && value[n])
        ++n;
    size_t first = 0;
    while (first < n && IsBlank(value[first]))
        ++first;
    while (n > first && IsBlank(value[n - 1]))
        --n;
    std::memmove(address, value + first, n - first);
    address[n - first] = '\0';
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
    if (!record)
        return 0;
    if (record->count + 1 >= record->capacity) {
        const int slots = record->capacity + kValueSlotStep;
        void* grown = MemRealloc(record->values, static_cast<size_t>(slots) * sizeof(char*));
        if (!grown)
            return 0;
        record->values = static_cast<char**>(grown);
        record->capacity = slots;
    }
    if (!ReserveText(record, length + 1))
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

            char normal[kListRawSize + 1];
            const size_t normalLength = NormaliseLine(line, length, normal);
            gotText = true;
            if (!SplitLine(record, normal, normalLength, delimiter, &inQuotes)) {
                OutOfMemory(file, record);
                return 0;
            }
            if (normalLength > 0 && normal[normalLength - 1] == '\n' && !inQuotes)
                break;
        }
        if (!gotText)
            return 0;
        if (!TrimValues(record))
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
        TakeBracketedAddress(value);
        CleanAddress(value, address);
        if (std::strchr(address, '@'))
            return 1;
    }
}
