#include "data/merge.h"

#include "data/byte_scan.h"
#include "data/merge_text.h"
#include "platform.h"

#include <cstddef>
#include <cstring>

using namespace merge_text;

// Two ways to the same result. The field-by-field merge applies each header
// field in turn to the whole text: simple and exact in every case, but it
// reads the text once per field. The one-pass merge finds every token in a
// single scan and rebuilds the text in place; it is taken only when nothing
// can make the two differ (see OnePass), otherwise the field-by-field merge
// runs on the untouched text.

namespace {

// Sizes of the working buffers a value and a token are built in.
// An escaped value's limit: every byte of a value below kValueLimit may have
// become "&quot;".
constexpr size_t kEscapedValueLimit = kValueLimit * 6;
constexpr size_t kTokenExtra = 4; // "[[" and "]]"

// A value's length in bytes, kValueOver when it is over its limit: a plain
// value's limit counts characters, an escaped one's (taken only after its
// plain value passed) bytes of the buffer it was built in.
size_t ValueLength(const char* value, size_t valueLimit) {
    if (valueLimit == kValueLimit)
        return PlainValueLength(value);
    const size_t length = BoundedLength(value, valueLimit);
    return length >= valueLimit ? kValueOver : length;
}

// Headers read from a list hold at most 511 fields (a raw record is at most
// 511 bytes); larger ones take the field-by-field merge.
constexpr int kOnePassFields = 512;
constexpr size_t kInlineTokens = 256;

// ---- Field by field ------------------------------------------------------------

int MergeFieldByField(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                      int* need, int maximumNeed, size_t valueLimit) {
    size_t length = TextLength(text);
    if (need) {
        if (length >= static_cast<size_t>(maximumNeed)) {
            *need = 0;
            return 0;
        }
        *need = static_cast<int>(length + 1);
    }
    const int fields = header ? header->count : 0;
    for (int i = 0; i < fields; ++i) {
        const char* value = ValueOf(record, i);
        const size_t valueLength = ValueLength(value, valueLimit);
        if (valueLength == kValueOver)
            return 0;
        const char* name = header->values[i];
        const size_t nameLength = BoundedLength(name, kNameLimit);
        if (nameLength >= kNameLimit)
            return 0;
        char token[kValueLimit];
        const size_t tokenLength = nameLength + kTokenExtra;
        token[0] = token[1] = '[';
        std::memcpy(token + 2, name, nameLength);
        token[nameLength + 2] = token[nameLength + 3] = ']';
        token[tokenLength] = '\0';

        if (need) {
            // Each step is below a few kilobytes, so the sum is checked before
            // it is made.
            const int grows =
                valueLength > tokenLength ? static_cast<int>(valueLength - tokenLength) : 0;
            for (const char* at = FindNoCase(text, token); at;
                 at = FindNoCase(at + tokenLength, token)) {
                if (*need > maximumNeed - grows)
                    return 0;
                *need += grows;
            }
            continue;
        }
        for (char* at = FindNoCase(text, token); at;) {
            const size_t offset = static_cast<size_t>(at - text);
            std::memmove(at, at + tokenLength, length - offset - tokenLength + 1);
            length -= tokenLength;
            if (capacity < 0 || length + valueLength >= static_cast<size_t>(capacity))
                return 0;
            std::memmove(at + valueLength, at, length - offset + 1);
            std::memcpy(at, value, valueLength);
            length += valueLength;
            at = FindNoCase(at + valueLength, token);
        }
    }
    if (need && *need < kMergeMinimumNeed)
        *need = kMergeMinimumNeed;
    return 1;
}

// ---- One pass ----------------------------------------------------------------------
//
// When no field name holds a bracket, a token is "[[", a bracket-free name and
// "]]": two tokens can never overlap, and every token of the text is found by
// one scan of its "[[" pairs. Measuring is then exact. Replacing is exact too
// when no replacement can form a token that the field-by-field merge would
// find in a later field's pass. Such a token must run from original text
// across the place of a replaced token into original text, so it needs a "["
// as the nearest bracket before that place or a "]" as the nearest bracket
// after it, or brackets inside the value put there. The scan checks all three
// and gives way to the field-by-field merge when one of them is present.

enum : signed char { Unknown = -1, No = 0, Yes = 1 };

struct Field {
    const char* name;
    const char* value;
    unsigned nameLength;       // below kNameLimit
    unsigned valueLength;      // bytes, below kEscapedValueLimit
    int uses;                  // tokens this field replaces
    signed char valueBrackets; // Unknown until a token of the field is met
};

struct Token {
    size_t at;
    int field;
};

class TokenList {
public:
    TokenList() = default;
    TokenList(const TokenList&) = delete;
    TokenList& operator=(const TokenList&) = delete;
    ~TokenList() {
        if (items_ != inline_)
            MemFree(items_);
    }
    bool Add(size_t at, int field) {
        if (count_ == capacity_) {
            const size_t grown = capacity_ * 2;
            void* block = items_ == inline_ ? MemAlloc(grown * sizeof(Token))
                                            : MemRealloc(items_, grown * sizeof(Token));
            if (!block)
                return false;
            if (items_ == inline_)
                std::memcpy(block, inline_, sizeof inline_);
            items_ = static_cast<Token*>(block);
            capacity_ = grown;
        }
        items_[count_++] = Token{at, field};
        return true;
    }
    size_t Count() const { return count_; }
    const Token& operator[](size_t i) const { return items_[i]; }

private:
    Token inline_[kInlineTokens];
    Token* items_ = inline_;
    size_t count_ = 0;
    size_t capacity_ = kInlineTokens;
};

enum class OnePassResult { Done, GiveWay };

// Rebuilds the text with every token replaced, in place: the stretches of
// text that move left are moved first, from the left; those that move right
// next, from the right; the values last. No move overwrites text still to be
// moved.
void Rebuild(char* text, size_t length, const Field* table, const TokenList& tokens) {
    const size_t n = tokens.Count();
    auto delta = [&](size_t j) {
        const Field& f = table[tokens[j].field];
        return static_cast<ptrdiff_t>(f.valueLength) -
               static_cast<ptrdiff_t>(f.nameLength + kTokenExtra);
    };
    auto stretchAfter = [&](size_t j, size_t* from, size_t* to) {
        *from = tokens[j].at + table[tokens[j].field].nameLength + kTokenExtra;
        *to = j + 1 < n ? tokens[j + 1].at : length;
    };
    ptrdiff_t shift = 0;
    for (size_t j = 0; j < n; ++j) {
        shift += delta(j);
        size_t from, to;
        stretchAfter(j, &from, &to);
        if (shift <= 0)
            std::memmove(text + from + shift, text + from, to - from);
    }
    const ptrdiff_t total = shift;
    for (size_t j = n; j-- > 0;) {
        size_t from, to;
        stretchAfter(j, &from, &to);
        if (shift > 0)
            std::memmove(text + from + shift, text + from, to - from);
        shift -= delta(j);
    }
    for (size_t j = 0; j < n; ++j) {
        const Field& f = table[tokens[j].field];
        std::memcpy(text + tokens[j].at + shift, f.value, f.valueLength);
        shift += delta(j);
    }
    text[static_cast<ptrdiff_t>(length) + total] = '\0';
}

// The table of the header's fields, each name and value measured once.
// False when a field is the field-by-field merge's: a failing field leaves
// the text partly merged, a state only that merge produces, and a name with
// a bracket can make tokens overlap.
bool MeasureFields(const ListRecord* header, const ListRecord* record, int fields,
                   size_t valueLimit, Field* table, size_t* longestName) {
    *longestName = 0;
    for (int i = 0; i < fields; ++i) {
        Field& f = table[i];
        f.value = ValueOf(record, i);
        const size_t valueLength = ValueLength(f.value, valueLimit);
        f.valueLength = static_cast<unsigned>(valueLength);
        // Names are short: their length and brackets in one look.
        f.name = header->values[i];
        bool nameHasBracket = false;
        size_t n = 0;
        for (; n < kNameLimit && f.name[n]; ++n)
            nameHasBracket = nameHasBracket || f.name[n] == '[' || f.name[n] == ']';
        f.nameLength = static_cast<unsigned>(n);
        if (valueLength == kValueOver || f.nameLength >= kNameLimit || nameHasBracket)
            return false;
        f.valueBrackets = Unknown;
        f.uses = 0;
        if (f.nameLength > *longestName)
            *longestName = f.nameLength;
    }
    return true;
}

// The field the name of a token names: the first of that name, letter case
// aside, or -1. Measuring (`grows` given) counts the token once for every
// field it names.
int FieldNamed(const Field* table, int fields, const char* name, size_t nameLength,
               long long* grows) {
    int field = -1;
    for (int i = 0; i < fields; ++i) {
        const Field& f = table[i];
        if (f.nameLength != nameLength || !EqualNoCase(f.name, name, nameLength))
            continue;
        if (field < 0)
            field = i;
        if (!grows)
            break;
        const size_t tokenLength = nameLength + kTokenExtra;
        if (f.valueLength > tokenLength)
            *grows += static_cast<long long>(f.valueLength - tokenLength);
    }
    return field;
}

// Whether replacing the token from `open` to `after` with its field's value
// could form a token that a later field's pass of the field-by-field merge
// would find (see above): brackets in the value, a "[" as the nearest bracket
// before the token (the last "[" before it is `lastOpen`), or a "]" as the
// nearest after it (the next "[" is at `nextOpen`).
bool CouldFormToken(Field& f, const char* lastOpen, const char* open, const char* after,
                    const char* nextOpen) {
    if (f.valueBrackets == Unknown)
        f.valueBrackets = HasBracket(f.value, f.valueLength) ? Yes : No;
    if (f.valueBrackets == Yes)
        return true;
    if (lastOpen && !std::memchr(lastOpen + 1, ']', static_cast<size_t>(open - lastOpen - 1)))
        return true;
    return std::memchr(after, ']', static_cast<size_t>(nextOpen - after)) != nullptr;
}

// The scan of every "[[" pair of the text. Measuring (`grows` given), it adds
// up the bytes the values add; merging, it lists the tokens to replace and
// counts each field's uses, or gives way.
OnePassResult ScanTokens(const char* text, size_t length, Field* table, int fields,
                         size_t longestName, long long* grows, TokenList* tokens) {
    const char* const end = text + length;
    const char* lastOpen = nullptr; // the nearest "[" before the scan position
    const char* p = text;
    while (const char* open =
               static_cast<const char*>(std::memchr(p, '[', static_cast<size_t>(end - p)))) {
        if (end - open < 2 || open[1] != '[') {
            lastOpen = open;
            p = open + 1;
            continue;
        }
        const char* name = open + 2;
        const char* nextOpen =
            static_cast<const char*>(std::memchr(name, '[', static_cast<size_t>(end - name)));
        if (!nextOpen)
            nextOpen = end;
        size_t window = static_cast<size_t>(nextOpen - name);
        if (window > longestName + 1)
            window = longestName + 1;
        const char* close = static_cast<const char*>(std::memchr(name, ']', window));
        const int field =
            close && end - close >= 2 && close[1] == ']'
                ? FieldNamed(table, fields, name, static_cast<size_t>(close - name), grows)
                : -1;
        if (field < 0) {
            lastOpen = open;
            p = open + 1;
            continue;
        }
        const char* after = close + 2;
        if (!grows) {
            if (CouldFormToken(table[field], lastOpen, open, after, nextOpen) ||
                !tokens->Add(static_cast<size_t>(open - text), field))
                return OnePassResult::GiveWay;
            ++table[field].uses;
        }
        lastOpen = open + 1;
        p = after;
    }
    return OnePassResult::Done;
}

// The room the merged text needs, from the scan's measure.
OnePassResult ReportNeed(size_t length, long long grows, int* need, int maximumNeed) {
    long long measured = static_cast<long long>(length) + 1 + grows;
    // Where the count passes the ceiling is the field-by-field merge's to
    // say.
    if (measured > maximumNeed)
        return OnePassResult::GiveWay;
    if (measured < kMergeMinimumNeed)
        measured = kMergeMinimumNeed;
    *need = static_cast<int>(measured);
    return OnePassResult::Done;
}

// Whether every replacement fits in `capacity` as the field-by-field merge
// checks the room: after every replacement, a replacement that would not fit
// leaving its partly merged text behind.
bool FitsFieldByField(const Field* table, int fields, size_t length, int capacity) {
    long long running = static_cast<long long>(length);
    for (int i = 0; i < fields; ++i) {
        const Field& f = table[i];
        if (f.uses == 0)
            continue;
        const long long delta = static_cast<long long>(f.valueLength) -
                                static_cast<long long>(f.nameLength + kTokenExtra);
        const long long peak = delta <= 0 ? running + delta : running + delta * f.uses;
        if (peak >= capacity)
            return false;
        running += delta * f.uses;
    }
    return true;
}

OnePassResult OnePass(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                      int* need, int maximumNeed, size_t valueLimit) {
    const int fields = header ? header->count : 0;
    if (fields > kOnePassFields)
        return OnePassResult::GiveWay;
    Field table[kOnePassFields];
    size_t longestName;
    if (!MeasureFields(header, record, fields, valueLimit, table, &longestName))
        return OnePassResult::GiveWay;

    const size_t length = TextLength(text);
    long long grows = 0; // measure mode: bytes the values add
    TokenList tokens;
    if (ScanTokens(text, length, table, fields, longestName, need ? &grows : nullptr, &tokens) ==
        OnePassResult::GiveWay)
        return OnePassResult::GiveWay;
    if (need)
        return ReportNeed(length, grows, need, maximumNeed);
    if (!FitsFieldByField(table, fields, length, capacity))
        return OnePassResult::GiveWay;
    if (tokens.Count() > 0)
        Rebuild(text, length, table, tokens);
    return OnePassResult::Done;
}

} // namespace

int MergeFields(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                int* need) {
    return MergeFieldsWithin(text, capacity, header, record, need, kMergeMaximumNeed);
}

namespace {
int Merge(char* text, int capacity, const ListRecord* header, const ListRecord* record, int* need,
          int maximumNeed, size_t valueLimit) {
    if (!text)
        return 0;
    if (OnePass(text, capacity, header, record, need, maximumNeed, valueLimit) ==
        OnePassResult::Done)
        return 1;
    return MergeFieldByField(text, capacity, header, record, need, maximumNeed, valueLimit);
}
} // namespace

int MergeFieldsWithin(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                      int* need, int maximumNeed) {
    return Merge(text, capacity, header, record, need, maximumNeed, kValueLimit);
}

int MergeHtmlFields(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                    const ListRecord* escaped, int* need) {
    const int fields = header ? header->count : 0;
    for (int i = 0; i < fields; ++i)
        if (PlainValueLength(ValueOf(record, i)) == kValueOver)
            return 0;
    return Merge(text, capacity, header, escaped, need, kMergeMaximumNeed, kEscapedValueLimit);
}

bool EscapeHtmlValues(const ListRecord* record, ListRecord* escaped) {
    ClearListRecord(escaped);
    if (!record)
        return true;
    char buffer[kEscapedValueLimit];
    for (int i = 0; i < record->count; ++i) {
        const char* value = record->values[i];
        size_t n = 0;
        // A value over the plain limit is cut: its merge fails on the plain
        // value anyway. Below it, every character escapes to six bytes at most.
        for (const char* p = value; *p && n + 6 <= sizeof buffer; ++p) {
            const char* reference = *p == '&'   ? "&amp;"
                                    : *p == '<' ? "&lt;"
                                    : *p == '>' ? "&gt;"
                                    : *p == '"' ? "&quot;"
                                                : nullptr;
            if (reference) {
                const size_t length = std::strlen(reference);
                std::memcpy(buffer + n, reference, length);
                n += length;
            } else {
                buffer[n++] = *p;
            }
        }
        if (!AddListValue(escaped, buffer, n))
            return false;
    }
    return true;
}

int FieldOverMergeLimit(const ListRecord* header, const ListRecord* record) {
    const int fields = header ? header->count : 0;
    for (int i = 0; i < fields; ++i)
        if (PlainValueLength(ValueOf(record, i)) == kValueOver)
            return i;
    return -1;
}

size_t FlattenSubjectLines(char* subject) {
    if (!subject)
        return 0;
    size_t replaced = 0;
    char* out = subject;
    for (const char* p = subject; *p;) {
        const auto c = static_cast<unsigned char>(p[0]);
        size_t breakLength = 0;
        if (c == '\r')
            breakLength = p[1] == '\n' ? 2 : 1;
        else if (c == '\n')
            breakLength = 1;
        else if (c == 0xC2 && static_cast<unsigned char>(p[1]) == 0x85)
            breakLength = 2;
        else if (c == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80 &&
                 (static_cast<unsigned char>(p[2]) == 0xA8 ||
                  static_cast<unsigned char>(p[2]) == 0xA9))
            breakLength = 3;
        if (breakLength == 0) {
            *out++ = *p++;
            continue;
        }
        *out++ = ' ';
        p += breakLength;
        ++replaced;
    }
    *out = '\0';
    return replaced;
}

const char* FindNoCase(const char* haystack, const char* needle) {
    if (!haystack || !needle || !*haystack || !*needle)
        return nullptr;
    const char first = needle[0];
    const size_t restLength = std::strlen(needle + 1);
    const char* p = haystack;
    for (;;) {
        if (IsLetter(first)) {
            const char upper = UpperAscii(first);
            while (*p && UpperAscii(*p) != upper)
                ++p;
            if (!*p)
                return nullptr;
        } else {
            p = std::strchr(p, first);
            if (!p)
                return nullptr;
        }
        size_t k = 0;
        while (k < restLength && p[1 + k] && UpperAscii(p[1 + k]) == UpperAscii(needle[1 + k]))
            ++k;
        if (k == restLength)
            return p;
        if (!p[1 + k])
            return nullptr; // the rest of the haystack is shorter than the needle
        ++p;
    }
}
