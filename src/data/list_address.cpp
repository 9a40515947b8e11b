// The address of a value: one mailbox, found by a scan of 32 bytes at a time
// for nearly every value, the long way for the rest.
#include "data/list_address.h"

#include "data/byte_scan.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool BreaksAddress(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || c == '"' || c == ',' || c == ';' || c == '<' || c == '>';
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
    if (atSigns != 1 || at == first || at == last - 1 || kept >= kListAddressSize)
        return ListSkipNotOneAddress;
    std::memcpy(address, value + first, kept);
    address[kept] = '\0';
    return 0;
}

} // namespace

// The value is scanned 32 bytes at a time for its end, its at signs and
// anything an address cannot hold. A plain address (nearly every one) is
// then copied as it is; anything else takes the long way.

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
