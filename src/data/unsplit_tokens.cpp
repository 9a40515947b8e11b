// Tokens an HTML editor split with its markup, rejoined.
#include "data/merge.h"

#include "data/byte_scan.h"
#include "data/merge_text.h"
#include "platform.h"

#include <cstddef>
#include <cstring>

using namespace merge_text;

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
