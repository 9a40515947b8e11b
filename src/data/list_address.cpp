// The address of a value: one mailbox, found by a scan of 32 bytes at a time
// for nearly every value, the long way for the rest.
#include "data/list_address.h"

#include "base/utf8.h"
#include "data/byte_scan.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool BreaksAddress(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || c == '"' || c == ',' || c == ';' || c == '<' || c == '>' ||
           c == '(' || c == ')';
}

// Characters beyond ASCII that no mailbox holds, though a list may: a copy
// from a web page or a word processor brings no-break and other spaces,
// zero-width and direction marks, and an input method full-width letters
// ("\xEF\xBD\x86ay" for "fay"). Such an address is not the one meant and
// may look exactly like it; letters of other scripts (an internationalised
// local part, a domain in U-labels) are none of these.
bool BreaksAddressBeyondAscii(unsigned long c) {
    return (c >= 0x80 && c <= 0xA0) ||     // C1 controls (NEL), the no-break space
           c == 0xAD ||                    // soft hyphen
           c == 0x061C || c == 0x180E ||   // Arabic letter mark, Mongolian vowel separator
           c == 0x1680 ||                  // Ogham space mark
           (c >= 0x2000 && c <= 0x200F) || // spaces, zero-width characters, LRM, RLM
           (c >= 0x2028 && c <= 0x202F) || // line and paragraph separators, bidi embeddings
           (c >= 0x205F && c <= 0x206F) || // medium space, word joiner, invisible operators
           c == 0x3000 ||                  // ideographic space
           c == 0xFEFF ||                  // zero-width no-break space, a byte-order mark
           (c >= 0xFF00 && c <= 0xFFEF) || // full-width and half-width forms
           (c >= 0xFFF9 && c <= 0xFFFB) || // interlinear annotation
           (c >= 0xE0000 && c <= 0xE007F); // tags
}

unsigned long CodePoint(const unsigned char* p, long length) {
    if (length == 2)
        return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    if (length == 3)
        return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    return (p[0] & 0x07ul) << 18 | (p[1] & 0x3Ful) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
}

// Whether the n bytes from `text`, an address as typed, hold what no mailbox
// does: a character above, text that is not UTF-8, or an encoded-word
// ("=?utf-8?b?...?="), which mail programs would show decoded as a name.
bool BreaksAddressText(const char* text, size_t n) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < n;) {
        if (bytes[i] < 0x80) {
            if (text[i] == '=' && i + 1 < n && text[i + 1] == '?') {
                for (size_t k = i + 2; k + 1 < n; ++k)
                    if (text[k] == '?' && text[k + 1] == '=')
                        return true;
            }
            ++i;
            continue;
        }
        const long length = Utf8SequenceLength(text + i, n - i);
        if (length <= 1 || BreaksAddressBeyondAscii(CodePoint(bytes + i, length)))
            return true;
        i += static_cast<size_t>(length);
    }
    return false;
}

// The one pair of angle brackets of «Name <address>»: the text between them
// becomes the value. A value with more than one bracket of a kind (two
// mailboxes, say) is left as it is, to be refused whole.
void TakeBracketedAddress(char* value, size_t length) {
    char* open = static_cast<char*>(std::memchr(value, '<', length));
    if (!open || std::memchr(open + 1, '<', length - static_cast<size_t>(open + 1 - value)))
        return;
    char* close = static_cast<char*>(std::memchr(value, '>', length));
    if (!close || close < open ||
        std::memchr(close + 1, '>', length - static_cast<size_t>(close + 1 - value)) ||
        !std::memchr(open + 1, '@', static_cast<size_t>(close - open - 1)))
        return;
    const size_t inner = static_cast<size_t>(close - open - 1);
    std::memmove(value, open + 1, inner);
    value[inner] = '\0';
}

// The long way, for a value with a blank, a bracket or anything else an
// address cannot hold as it stands.
int TakeAddressSlowly(char* value, char* address) {
    TakeBracketedAddress(value, std::strlen(value));
    const size_t length = std::strlen(value);
    size_t first = 0;
    while (first < length && IsBlank(value[first]))
        ++first;
    size_t last = length;
    while (last > first && IsBlank(value[last - 1]))
        --last;
    if (first == last)
        return ListSkipNoAddress;
    const size_t kept = last - first;
    int atSigns = 0;
    size_t at = 0;
    for (size_t i = first; i < last; ++i) {
        if (value[i] == '@') {
            ++atSigns;
            at = i;
        } else if (BreaksAddress(value[i])) {
            return ListSkipNotOneAddress;
        }
    }
    if (atSigns != 1 || at == first || at == last - 1 || kept >= kListAddressSize ||
        BreaksAddressText(value + first, kept))
        return ListSkipNotOneAddress;
    std::memcpy(address, value + first, kept);
    address[kept] = '\0';
    return 0;
}

} // namespace

// The value is scanned 32 bytes at a time for its end, its at signs and
// anything an address cannot hold or that needs a closer look (a byte
// beyond ASCII, a question mark). A plain address (nearly every one) is then
// copied as it is; anything else takes the long way.

int TakeRecordAddress(char* value, char* address) {
    using namespace byte_scan;
    const Bytes16 nuls = Splat16('\0');
    const Bytes16 atSigns = Splat16('@');
    uint64_t stops = 0;
    bool oneAt = false; // exactly one at sign so far
    bool moreAts = false;
    size_t length = 0;
    for (size_t i = 0;; i += 32) {
        const Bytes16 low = Load16(value + i);
        const Bytes16 high = Load16(value + i + 16);
        const uint64_t ends = Bits16(Equal16(low, nuls)) | Bits16(Equal16(high, nuls)) << 16;
        const uint64_t before = ends ? (ends & (0 - ends)) - 1 : ~uint64_t{0};
        stops |= (AddressStopBits16(low) | AddressStopBits16(high) << 16) & before;
        const uint64_t ats =
            (Bits16(Equal16(low, atSigns)) | Bits16(Equal16(high, atSigns)) << 16) & before;
        if (ats) {
            moreAts = moreAts || oneAt || (ats & (ats - 1)) != 0;
            oneAt = true;
        }
        if (ends) {
            length = i + static_cast<size_t>(__builtin_ctzll(ends));
            break;
        }
    }
    if (stops || !oneAt || moreAts || length >= kListAddressSize || value[0] == '@' ||
        value[length - 1] == '@')
        return TakeAddressSlowly(value, address);
    if (length <= 32) { // thirty-two bytes read past the value's end at most
        Store16(address, Load16(value));
        Store16(address + 16, Load16(value + 16));
    } else {
        std::memcpy(address, value, length);
    }
    address[length] = '\0';
    return 0;
}

int TakeListAddress(char* value, char* address) {
    address[0] = '\0';
    return value ? TakeAddressSlowly(value, address) : ListSkipNoAddress;
}
