// Finding bytes sixteen and sixty-four at a time, for the mailing-list
// reader's hot loops. SSE2 where the compiler has it (every x86-64 target);
// 64-bit words elsewhere (the 32-bit Windows build), with the same results.
// A comparison gives a Matches16 value; Bits16 turns it into one bit per byte
// (bit i for byte i).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace byte_scan {

#if defined(__SSE2__)
typedef __m128i Bytes16;
typedef __m128i Matches16;

inline Bytes16 Load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store16(char* p, Bytes16 v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline Bytes16 Splat16(char c) {
    return _mm_set1_epi8(c);
}
inline Matches16 Equal16(Bytes16 v, Bytes16 c) {
    return _mm_cmpeq_epi8(v, c);
}
inline Matches16 Either16(Matches16 a, Matches16 b) {
    return _mm_or_si128(a, b);
}
inline Matches16 NoMatches16() {
    return _mm_setzero_si128();
}
inline uint64_t Bits16(Matches16 m) {
    return static_cast<unsigned>(_mm_movemask_epi8(m));
}
// The bytes of v, zero where m matched.
inline Bytes16 ZeroWhere16(Matches16 m, Bytes16 v) {
    return _mm_andnot_si128(m, v);
}
// One bit per byte that is not ASCII or is a NUL.
inline uint64_t HighOrZeroBits16(Bytes16 v) {
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_setzero_si128()))));
}
// Whether any of 64 bytes is beyond ASCII or a NUL: the smallest byte tells
// of a NUL, the high bits of all of them of the rest.
inline bool AnyHighOrZero64(Bytes16 a, Bytes16 b, Bytes16 c, Bytes16 d) {
    const __m128i smallest = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d));
    const __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
    return _mm_movemask_epi8(_mm_or_si128(any, _mm_cmpeq_epi8(smallest, _mm_setzero_si128()))) != 0;
}
// One bit per byte that an e-mail address cannot hold as it stands, or that
// needs a closer look: a control character, a blank (NUL included), DEL,
// '"', ',', ';', '<' or '>' ('<' and '>' differ only in the bit 0x02), '(' or
// ')' (only in 0x01), '?' (an encoded-word's), a byte beyond ASCII.
inline uint64_t AddressStopBits16(Bytes16 v) {
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x20)), v);
    __m128i m = _mm_or_si128(low, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(',')));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(';')));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8('?')));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x02)), _mm_set1_epi8('>')));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x01)), _mm_set1_epi8(')')));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(m, v)));
}
#else
struct Bytes16 {
    uint64_t low, high;
};
typedef Bytes16 Matches16; // the high bit of each byte that matched

inline Bytes16 Load16(const char* p) {
    Bytes16 v;
    std::memcpy(&v.low, p, 8);
    std::memcpy(&v.high, p + 8, 8);
    return v;
}
inline void Store16(char* p, Bytes16 v) {
    std::memcpy(p, &v.low, 8);
    std::memcpy(p + 8, &v.high, 8);
}
inline Bytes16 Splat16(char c) {
    const uint64_t word = 0x0101010101010101ull * static_cast<unsigned char>(c);
    return {word, word};
}
// The high bit of each zero byte of x, exactly: no byte's sum carries into
// the next.
inline uint64_t ZeroBytes(uint64_t x) {
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((x & low7) + low7) | x | low7);
}
inline Matches16 Equal16(Bytes16 v, Bytes16 c) {
    return {ZeroBytes(v.low ^ c.low), ZeroBytes(v.high ^ c.high)};
}
inline Matches16 Either16(Matches16 a, Matches16 b) {
    return {a.low | b.low, a.high | b.high};
}
inline Matches16 NoMatches16() {
    return {0, 0};
}
// The high bits of the eight bytes gathered into eight low bits: each byte's
// bit lands in the top byte at its own place, and no two products overlap.
inline uint64_t HighBits(uint64_t m) {
    return (m * 0x0002040810204081ull) >> 56;
}
inline uint64_t Bits16(Matches16 m) {
    return HighBits(m.low) | HighBits(m.high) << 8;
}
// The bytes of v, zero where m matched: a matched byte's high bit spread over
// the byte.
inline Bytes16 ZeroWhere16(Matches16 m, Bytes16 v) {
    return {v.low & ~((m.low >> 7) * 0xFF), v.high & ~((m.high >> 7) * 0xFF)};
}
inline uint64_t AddressStopBits16(Bytes16 v) {
    char bytes[16];
    Store16(bytes, v);
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == ',' || c == ';' || c == '<' || c == '>' ||
            c == '(' || c == ')' || c == '?')
            bits |= uint64_t{1} << i;
    }
    return bits;
}
inline uint64_t HighOrZeroBits16(Bytes16 v) {
    const uint64_t high = 0x8080808080808080ull;
    return HighBits((v.low & high) | ZeroBytes(v.low)) |
           HighBits((v.high & high) | ZeroBytes(v.high)) << 8;
}
inline bool AnyHighOrZero64(Bytes16 a, Bytes16 b, Bytes16 c, Bytes16 d) {
    return (HighOrZeroBits16(a) | HighOrZeroBits16(b) | HighOrZeroBits16(c) |
            HighOrZeroBits16(d)) != 0;
}
#endif

// One bit per byte equal to `c` among the 64 bytes from p (bit i for p[i]).
inline uint64_t Find64(const char* p, Bytes16 c) {
    return Bits16(Equal16(Load16(p), c)) | Bits16(Equal16(Load16(p + 16), c)) << 16 |
           Bits16(Equal16(Load16(p + 32), c)) << 32 | Bits16(Equal16(Load16(p + 48), c)) << 48;
}

// The bits for the first n of 64 bytes (n at most 64).
inline uint64_t FirstBits(size_t n) {
    return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

} // namespace byte_scan
