#include "base/utf8.h"

#include "platform.h"

#include <cstring>

namespace {

// The length of the well-formed sequence starting at p (n bytes left), or 0.
size_t SequenceLength(const unsigned char* p, size_t n) {
    const long length = Utf8SequenceLength(reinterpret_cast<const char*>(p), n);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

} // namespace

long Utf8SequenceLength(const char* text, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        high = b == 0xED ? 0x9F : 0xBF; // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= n)
            return -static_cast<long>(n);
        const unsigned char lowest = i == 1 ? low : 0x80;
        const unsigned char highest = i == 1 ? high : 0xBF;
        if (p[i] < lowest || p[i] > highest)
            return 0;
    }
    return static_cast<long>(length);
}

bool IsUtf8(const char* text, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < n) {
        // ASCII eight bytes at a time: nearly every list is mostly ASCII.
        while (i + 8 <= n) {
            unsigned long long word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const size_t length = SequenceLength(p + i, n - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

size_t Utf8Prefix(const char* text, size_t n, size_t limit) {
    if (n <= limit)
        return n;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < limit) {
        size_t length = SequenceLength(p + i, n - i);
        if (length == 0)
            length = 1;
        if (i + length > limit)
            break;
        i += length;
    }
    return i;
}

size_t CopyUtf8(char* destination, size_t size, const char* text) {
    if (!destination || size == 0)
        return 0;
    const size_t n = text ? std::strlen(text) : 0;
    const size_t kept = Utf8Prefix(text, n, size - 1);
    if (kept)
        std::memmove(destination, text, kept);
    destination[kept] = '\0';
    return kept;
}

size_t AnsiToUtf8(const char* text, char* destination, size_t size) {
    if (!destination || size == 0)
        return 0;
    destination[0] = '\0';
    if (!text || !*text)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    bool ascii = true;
    for (; p[n]; ++n)
        ascii = ascii && p[n] < 0x80;
    if (ascii)
        return CopyUtf8(destination, size, text);
    const int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), nullptr, 0);
    if (units <= 0)
        return CopyUtf8(destination, size, text);
    WCHAR* wide = static_cast<WCHAR*>(MemAlloc(static_cast<size_t>(units) * sizeof(WCHAR)));
    char* utf8 = wide ? static_cast<char*>(MemAlloc(static_cast<size_t>(units) * 3 + 1)) : nullptr;
    size_t made = 0;
    if (utf8 && MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), wide, units) == units) {
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, units * 3, nullptr, nullptr);
        if (bytes > 0) {
            utf8[bytes] = '\0';
            made = CopyUtf8(destination, size, utf8);
        }
    }
    MemFree(utf8);
    MemFree(wide);
    return made;
}

size_t CopyForLogLine(char* destination, size_t size, const char* text) {
    if (!destination || size < 4)
        return 0;
    const size_t n = text ? std::strlen(text) : 0;
    size_t kept = Utf8Prefix(text, n, size - 1);
    const bool cut = kept < n;
    if (cut)
        kept = Utf8Prefix(text, n, size - 4);
    // Unicode's line breaks beyond ASCII (NEL, the line and the paragraph
    // separator) end a line in some viewers too: each is a space as well.
    size_t out = 0;
    for (size_t i = 0; i < kept; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < kept ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0xC2 && next == 0x85) {
            ++i;
            destination[out++] = ' ';
        } else if (c == 0xE2 && next == 0x80 && i + 2 < kept &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            i += 2;
            destination[out++] = ' ';
        } else {
            destination[out++] = c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
        }
    }
    kept = out;
    if (cut) {
        std::memcpy(destination + kept, "...", 3);
        kept += 3;
    }
    destination[kept] = '\0';
    return kept;
}

// UTF-16 code units: one a character, two beyond U+FFFF (a four-byte
// sequence of UTF-8).
size_t Utf8Utf16Units(const char* text, size_t n) {
    size_t units = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        units += (c & 0xC0) != 0x80;
        units += c >= 0xF0;
    }
    return units;
}

// The bytes the text takes in the ANSI code page it was converted from.
size_t Utf8AnsiBytes(const char* text, size_t n) {
    size_t i = 0;
    while (i < n && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    if (i == n)
        return n;
    WCHAR wide[2048]; // more than a record's raw text holds
    if (n > sizeof wide / sizeof wide[0])
        return Utf8Utf16Units(text, n);
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), wide,
                                          static_cast<int>(sizeof wide / sizeof wide[0]));
    const int bytes =
        units > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr) : 0;
    return bytes > 0 ? static_cast<size_t>(bytes) : Utf8Utf16Units(text, n);
}

namespace {

// The small letter of a capital in U+0080..U+07FF, the two-byte range all
// the folded scripts lie in; the code point itself otherwise.
unsigned SmallLetter(unsigned c) {
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c == 0x178)
        return 0xFF;
    // Greek capitals with tonos.
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 0x3F;
    if (c == 0x3C2)
        return 0x3C3;
    // Latin Extended-A pairs a capital with the small letter after it: on
    // even code points, but on odd ones from U+0139 to U+0148 and from
    // U+0179 (U+0130, U+0131, U+0138 and U+0149 stand alone).
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool evenPairs =
        (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if ((oddPairs && (c & 1)) || (evenPairs && !(c & 1)))
        return c + 1;
    return c;
}

} // namespace

size_t FoldLetterCase(const char* text, char* out, size_t size) {
    if (!size)
        return 0;
    size_t i = 0;
    for (; text[i] && i + 1 < size; ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 'A' && lead <= 'Z') {
            out[i] = static_cast<char>(lead - 'A' + 'a');
            continue;
        }
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if (lead < 0xC2 || lead > 0xDF || (next & 0xC0) != 0x80 || i + 2 >= size) {
            out[i] = text[i];
            continue;
        }
        const unsigned small = SmallLetter(((lead & 0x1Fu) << 6) | (next & 0x3Fu));
        out[i] = static_cast<char>(0xC0 | (small >> 6));
        out[i + 1] = static_cast<char>(0x80 | (small & 0x3F));
        ++i;
    }
    out[i] = '\0';
    return i;
}

bool SameFoldingCase(const char* a, const char* b) {
    // A piece at a time, cut between characters: folding keeps every
    // character's length, so two texts that fold alike are cut alike.
    char x[256], y[256];
    for (;;) {
        const size_t n = Utf8Prefix(a, std::strlen(a), sizeof x - 1);
        const size_t m = Utf8Prefix(b, std::strlen(b), sizeof y - 1);
        if (n != m)
            return false;
        if (n == 0)
            return true;
        std::memcpy(x, a, n);
        std::memcpy(y, b, n);
        x[n] = y[n] = '\0';
        FoldLetterCase(x, x, n + 1);
        FoldLetterCase(y, y, n + 1);
        if (std::memcmp(x, y, n) != 0)
            return false;
        a += n;
        b += n;
    }
}
