#include "data/merge.h"

#include "data/byte_scan.h"
#include "platform.h"

#include <cstddef>
#include <cstring>

// Two ways to the same result. The field-by-field merge applies each header
// field in turn to the whole text: simple and exact in every case, but it
// reads the text once per field. The one-pass merge finds every token in a
// single scan and rebuilds the text in place; it is taken only when nothing
// can make the two differ (see OnePass), otherwise the field-by-field merge
// runs on the untouched text.

namespace {

// Sizes of the working buffers a value and a token are built in.
constexpr size_t kValueLimit = 512; // a value of this length or more fails
// An escaped value's limit: every byte of a value below kValueLimit may have
// become "&quot;".
constexpr size_t kEscapedValueLimit = kValueLimit * 6;
constexpr size_t kNameLimit = 507; // "[[" + name + "]]" and its NUL fill 512 bytes
constexpr size_t kTokenExtra = 4;  // "[[" and "]]"

// Headers read from a list hold at most 511 fields (a raw record is at most
// 511 bytes); larger ones take the field-by-field merge.
constexpr int kOnePassFields = 512;
constexpr size_t kInlineTokens = 256;

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

size_t BoundedLength(const char* text, size_t limit) {
    const void* nul = std::memchr(text, '\0', limit);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
}

// The whole merge is defined in terms of this length: a text ends at its NUL.
size_t TextLength(const char* text) {
    return std::strlen(text);
}

const char* ValueOf(const ListRecord* record, int i) {
    return record && i < record->count ? record->values[i] : "";
}

bool HasBracket(const char* text, size_t length) {
    return std::memchr(text, '[', length) || std::memchr(text, ']', length);
}

bool EqualNoCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

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
        const size_t valueLength = BoundedLength(value, valueLimit);
        if (valueLength >= valueLimit)
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
            // Each step is below 512, so the sum is checked before it is made.
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
    unsigned valueLength;      // below the value limit
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
        f.valueLength = static_cast<unsigned>(BoundedLength(f.value, valueLimit));
        // Names are short: their length and brackets in one look.
        f.name = header->values[i];
        bool nameHasBracket = false;
        size_t n = 0;
        for (; n < kNameLimit && f.name[n]; ++n)
            nameHasBracket = nameHasBracket || f.name[n] == '[' || f.name[n] == ']';
        f.nameLength = static_cast<unsigned>(n);
        if (f.valueLength >= valueLimit || f.nameLength >= kNameLimit || nameHasBracket)
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
        if (BoundedLength(ValueOf(record, i), kValueLimit) >= kValueLimit)
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
        // A value at the plain limit or above is cut: its merge fails on the
        // plain value anyway.
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

// ---- Tokens split by an editor's markup ---------------------------------------------
//
// One forward scan that never goes back: outside a token it stops only at a
// "[" and at markup; inside a possible token it reads at most the longest
// field name's worth of text, and steps over markup. The tags and comments met
// inside a token are noted, and when the token names a field they are moved,
// in their order, to just after it: a tag opened in the token and closed
// beyond it (or the reverse) then still pairs up, so no formatting spreads
// over the text that follows. Everything is rebuilt in place behind the scan,
// so the text never grows and the time is linear.

namespace {

// The first of the bytes a, b and c at or after p, or end. The editor's HTML
// has a tag every few dozen bytes, too close for a library search to pay for
// its call: sixteen bytes at a time while sixteen remain.
const char* FindAny(const char* p, const char* end, char a, char b, char c) {
    using namespace byte_scan;
    const Bytes16 va = Splat16(a), vb = Splat16(b), vc = Splat16(c);
    for (; end - p >= 16; p += 16) {
        const Bytes16 v = Load16(p);
        const uint64_t bits =
            Bits16(Either16(Either16(Equal16(v, va), Equal16(v, vb)), Equal16(v, vc)));
        if (bits)
            return p + __builtin_ctzll(bits);
    }
    while (p < end && *p != a && *p != b && *p != c)
        ++p;
    return p;
}

// A "&nbsp;", "&#160;" or "&#xA0;" at p (the no-break blank an editor writes
// between two runs); its length, or 0.
size_t NoBreakBlankAt(const char* p, const char* end) {
    static const char* const forms[] = {"&nbsp;", "&#160;", "&#xa0;"};
    for (const char* form : forms) {
        const size_t n = std::strlen(form);
        if (static_cast<size_t>(end - p) >= n && EqualNoCase(p, form, n))
            return n;
    }
    return 0;
}

class Unsplitter {
public:
    Unsplitter(char* text, size_t length, const ListRecord* header)
        : text_(text), end_(text + length), header_(header) {
        const int fields = header ? header->count : 0;
        for (int i = 0; i < fields; ++i) {
            const size_t n = UsableNameLength(header->values[i]);
            if (n == kNameLimit)
                continue;
            anyName_ = true;
            if (n > longestName_)
                longestName_ = n;
        }
    }

    size_t Run() {
        if (!anyName_)
            return 0;
        const char* p = text_;
        while (p < end_) {
            if (state_ == State::Outside) {
                p = FindAny(p, end_, '[', '<', '<');
                if (p == end_)
                    break;
                if (*p == '<') {
                    const char* after = SkipMarkup(p);
                    p = after ? after : p + 1;
                } else if (*p == '[') {
                    Begin(p);
                    ++p;
                }
                continue;
            }
            if (*p == '<') {
                if (const char* after = SkipMarkup(p)) {
                    if (after == end_ || spanCount_ == kSpans) {
                        state_ = State::Outside; // no room to note it, or nothing after it
                    } else {
                        spans_[spanCount_++] = Span{p, after};
                    }
                    p = after;
                    continue;
                }
            }
            p = TextByte(p);
        }
        Emit(end_);
        *write_ = '\0';
        return rejoined_;
    }

private:
    // Within a token: after "[" (Open), after "[[" (Name), after the name's
    // first "]" (Close).
    enum class State { Outside, Open, Name, Close };
    struct Span {
        const char* from;
        const char* to;
    };
    // Tags and comments noted within one token; a token holding more is left
    // as it stands.
    static constexpr size_t kSpans = 128;
    static constexpr size_t kLiteralLimit = kValueLimit;

    // A name's length when a token of it can be rejoined (no bracket, below
    // the limit), else kNameLimit.
    static size_t UsableNameLength(const char* name) {
        size_t n = 0;
        for (; n < kNameLimit && name[n]; ++n)
            if (name[n] == '[' || name[n] == ']')
                return kNameLimit;
        return n;
    }

    // A token starting with the "[" at p.
    void Begin(const char* p) {
        state_ = State::Open;
        start_ = p;
        spanCount_ = 0;
    }

    // Handles the text byte at p; returns where the scan goes on.
    const char* TextByte(const char* p) {
        const char c = *p;
        switch (state_) {
        case State::Outside:
            break;
        case State::Open:
            if (c != '[') {
                state_ = State::Outside;
                break;
            }
            state_ = State::Name;
            secondOpen_ = p;
            spansBeforeName_ = spanCount_;
            literalLength_ = blankedLength_ = 0;
            literalTooLong_ = blanked_ = lastWasCr_ = false;
            break;
        case State::Name:
            if (c == '[') {
                if (literalLength_ == 0) {
                    // "[[[": the token, if any, opens at the second bracket,
                    // as the merge reads it.
                    DropSpansBefore(spansBeforeName_);
                    start_ = secondOpen_;
                    secondOpen_ = p;
                    spansBeforeName_ = spanCount_;
                } else {
                    Begin(p);
                }
                break;
            }
            if (c == ']') {
                state_ = State::Close;
                break;
            }
            if (const size_t n = c == '&' ? NoBreakBlankAt(p, end_) : 0) {
                AddName(p, n, ' ');
                return p + n;
            }
            if (c == '\r' || c == '\n') {
                // The editor breaks its long lines where a blank was; CR LF
                // is one break.
                const bool pairsWithCr = c == '\n' && lastWasCr_;
                AddName(p, 1, pairsWithCr ? '\0' : ' ');
                lastWasCr_ = c == '\r';
                return p + 1;
            }
            AddName(p, 1, c);
            break;
        case State::Close:
            if (c == ']')
                Finish(p + 1);
            else if (c == '[')
                Begin(p);
            else
                state_ = State::Outside;
            break;
        }
        return p + 1;
    }

    // Adds n bytes of text to the name as it stands, and `blank` (none when
    // NUL) to the name read with the editor's blanks as blanks.
    void AddName(const char* p, size_t n, char blank) {
        lastWasCr_ = false;
        if (literalLength_ + n < kLiteralLimit) {
            std::memcpy(literal_ + literalLength_, p, n);
            literalLength_ += n;
        } else {
            literalTooLong_ = true;
        }
        if (blank) {
            blanked_ = blanked_ || blank != *p || n != 1;
            if (blankedLength_ == longestName_) {
                state_ = State::Outside; // longer than any field's name
                return;
            }
            blankedName_[blankedLength_++] = blank;
        } else {
            blanked_ = true;
        }
    }

    void DropSpansBefore(size_t first) {
        std::memmove(spans_, spans_ + first, (spanCount_ - first) * sizeof(Span));
        spanCount_ -= first;
    }

    // The field name the token's text gives, compared as the merge compares
    // it: the text as it stands first, then with the editor's blanks as
    // blanks. Null when it names no field.
    const char* MatchName(size_t* length) const {
        if (!literalTooLong_ && NamesField(literal_, literalLength_)) {
            *length = literalLength_;
            return literal_;
        }
        if (blanked_ && NamesField(blankedName_, blankedLength_)) {
            *length = blankedLength_;
            return blankedName_;
        }
        return nullptr;
    }

    bool NamesField(const char* name, size_t length) const {
        for (int i = 0; i < header_->count; ++i) {
            const char* field = header_->values[i];
            if (UsableNameLength(field) == length && EqualNoCase(field, name, length))
                return true;
        }
        return false;
    }

    // The token from start_ to `after` (just past its last "]") is complete.
    void Finish(const char* after) {
        state_ = State::Outside;
        size_t nameLength = 0;
        const char* name = MatchName(&nameLength);
        if (!name || (spanCount_ == 0 && name == literal_))
            return; // no field, or nothing to rejoin
        Emit(start_);
        // The tags to the end of the token's place, last first: each moves
        // right over text already read into the name.
        char* to = const_cast<char*>(after);
        size_t markup = 0;
        for (size_t j = spanCount_; j-- > 0;) {
            const size_t n = static_cast<size_t>(spans_[j].to - spans_[j].from);
            to -= n;
            std::memmove(to, spans_[j].from, n);
            markup += n;
        }
        // The token, then the tags after it. The token is no longer than the
        // text it came from, so it ends before the tags begin.
        char* w = write_;
        *w++ = '[';
        *w++ = '[';
        std::memcpy(w, name, nameLength);
        w += nameLength;
        *w++ = ']';
        *w++ = ']';
        std::memmove(w, to, markup);
        write_ = w + markup;
        copied_ = after;
        ++rejoined_;
    }

    // Moves the text not yet written, up to `to`, into its place.
    void Emit(const char* to) {
        const size_t n = static_cast<size_t>(to - copied_);
        if (write_ != copied_)
            std::memmove(write_, copied_, n);
        write_ += n;
        copied_ = to;
    }

    // The end of the tag or comment starting with the "<" at p: the text's
    // end when it is not closed, as a browser reads it. Null when the "<" is
    // text ("a < b").
    const char* SkipMarkup(const char* p) {
        if (end_ - p < 2)
            return nullptr;
        const char next = p[1];
        if (!IsLetter(next) && next != '/' && next != '!' && next != '?')
            return nullptr;
        if (end_ - p >= 4 && p[1] == '!' && p[2] == '-' && p[3] == '-') {
            // Ends at the first "-->"; "<!-->" is a comment too.
            for (const char* close = p + 4;; ++close) {
                close = FindAny(close, end_, '>', '>', '>');
                if (close == end_)
                    return end_;
                if (close[-1] == '-' && close[-2] == '-')
                    return close + 1;
            }
        }
        // A ">" in an attribute value in quotes does not end the tag.
        for (const char* q = p + 1;; ++q) {
            q = FindAny(q, end_, '>', '"', '\'');
            if (q == end_)
                return end_;
            if (*q == '>')
                return q + 1;
            if (OpensValue(p, q)) {
                q = FindAny(q + 1, end_, *q, *q, *q);
                if (q == end_)
                    return end_;
            }
        }
    }

    // Whether the quote at q, in the tag starting at tag, opens an attribute
    // value: an "=" before it, blanks aside.
    static bool OpensValue(const char* tag, const char* q) {
        const char* b = q - 1;
        while (b > tag && (*b == ' ' || *b == '\t' || *b == '\r' || *b == '\n'))
            --b;
        return *b == '=';
    }

    char* const text_;
    const char* const end_;
    const ListRecord* const header_;
    bool anyName_ = false;
    size_t longestName_ = 0;

    char* write_ = text_;        // where the next kept byte goes
    const char* copied_ = text_; // the text before this is written
    size_t rejoined_ = 0;

    State state_ = State::Outside;
    const char* start_ = nullptr;      // the token's first "["
    const char* secondOpen_ = nullptr; // its second "["
    Span spans_[kSpans];
    size_t spanCount_ = 0;
    size_t spansBeforeName_ = 0;
    char literal_[kLiteralLimit];
    size_t literalLength_ = 0;
    bool literalTooLong_ = false;
    char blankedName_[kNameLimit];
    size_t blankedLength_ = 0;
    bool blanked_ = false; // the two readings differ
    bool lastWasCr_ = false;
};

} // namespace

size_t UnsplitHtmlTokens(char* html, const ListRecord* header) {
    if (!html || !header)
        return 0;
    Unsplitter unsplitter(html, TextLength(html), header);
    return unsplitter.Run();
}
