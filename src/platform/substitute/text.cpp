// Text conversion of the substitute platform. The ANSI code page is
// Windows-1252, as on a Western-European Windows; UTF-8, Windows-1250 and
// Windows-1253 are converted too.
// Characters with no place in the code page become the default character.
#include "internal.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes map to the C1
// controls of the same value, as Windows maps them.
const char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The other code pages a message's HTML may come in: Central European
// (Windows-1250) and Greek (Windows-1253), bytes 0x80..0xFF. Their unassigned
// bytes map to the code point of the same value.
const char16_t kCentralEuropean[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

const char16_t kGreek[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x008A, 0x2039,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x009A, 0x203A, 0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x0385, 0x0386, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7, 0x0388, 0x0389, 0x038A, 0x00BB,
    0x038C, 0x00BD, 0x038E, 0x038F, 0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395, 0x0396, 0x0397,
    0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F, 0x03A0, 0x03A1, 0x00D2, 0x03A3,
    0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF,
    0x03B0, 0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB,
    0x03BC, 0x03BD, 0x03BE, 0x03BF, 0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7,
    0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD, 0x03CE, 0x00FF,
};

// One 8-bit code page: the unit of each byte 0x80..0xFF (below 0x80 it is
// ASCII).
struct CodePageTable {
    explicit CodePageTable(const char16_t* high) {
        for (int c = 0; c < 0x80; ++c)
            units[c] = static_cast<WCHAR>(c);
        for (int c = 0x80; c < 0x100; ++c)
            units[c] = static_cast<WCHAR>(high[c - 0x80]);
    }
    // The byte for a code point, or false when the code page lacks it.
    bool Encode(char32_t cp, unsigned char* out) const {
        if (cp < 0x80) {
            *out = static_cast<unsigned char>(cp);
            return true;
        }
        // Most of Windows-1252's upper half is Latin-1, byte for code point.
        if (cp >= 0xA0 && cp < 0x100 && units[cp] == cp) {
            *out = static_cast<unsigned char>(cp);
            return true;
        }
        for (int c = 0x80; c < 0x100; ++c)
            if (units[c] == cp) {
                *out = static_cast<unsigned char>(c);
                return true;
            }
        return false;
    }
    WCHAR units[256];
};

char16_t WesternHigh(int i) {
    return i < 0x20 ? kHighControls[i] : static_cast<char16_t>(0x80 + i);
}

struct WesternHalf {
    WesternHalf() {
        for (int i = 0; i < 128; ++i)
            high[i] = WesternHigh(i);
    }
    char16_t high[128];
};

// The table of a code page this platform converts; null for the others.
// CP_ACP is Windows-1252.
const CodePageTable* TableOf(UINT codePage) {
    static const WesternHalf western;
    static const CodePageTable windows1252(western.high), windows1250(kCentralEuropean),
        windows1253(kGreek);
    switch (codePage) {
    case CP_ACP:
    case 1252:
        return &windows1252;
    case 1250:
        return &windows1250;
    case 1253:
        return &windows1253;
    default:
        return nullptr;
    }
}

// Decodes UTF-8 as Windows does (a malformed sequence's first byte becomes
// U+FFFD) into `out`, which has room for `room` units; with a room of 0 only
// counts. Returns the units made, or SIZE_MAX when they do not fit. ASCII,
// nearly all of every text, goes eight bytes at a time.
size_t DecodeUtf8(const unsigned char* p, size_t n, char16_t* out, size_t room) {
    size_t made = 0;
    size_t i = 0;
    auto put = [&](char16_t unit) {
        if (room != 0) {
            if (made >= room)
                return false;
            out[made] = unit;
        }
        ++made;
        return true;
    };
    while (i < n) {
        // A run of ASCII, found eight bytes at a time, copied whole.
        size_t run = 0;
        for (uint64_t word; i + run + 8 <= n; run += 8) {
            std::memcpy(&word, p + i + run, 8);
            if (word & 0x8080808080808080ull)
                break;
        }
        if (run > 0) {
            if (room != 0) {
                if (made + run > room)
                    return SIZE_MAX;
                for (size_t k = 0; k < run; ++k)
                    out[made + k] = p[i + k];
            }
            made += run;
            i += run;
            continue;
        }
        unsigned char c = p[i];
        if (c < 0x80) {
            if (!put(c))
                return SIZE_MAX;
            ++i;
            continue;
        }
        int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : c & 0x1F;
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<size_t>(k) >= n || (p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            if (!put(static_cast<char16_t>(0xFFFD)))
                return SIZE_MAX;
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            if (!put(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10))) ||
                !put(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))))
                return SIZE_MAX;
        } else if (!put(static_cast<char16_t>(cp))) {
            return SIZE_MAX;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return made;
}

// One wide unit, or a surrogate pair, in; the code page's byte, or the
// default character, out.
char32_t NextCodePoint(const WCHAR* wide, size_t n, size_t* i) {
    char32_t cp = wide[*i];
    if (cp >= 0xD800 && cp <= 0xDBFF && *i + 1 < n && wide[*i + 1] >= 0xDC00 &&
        wide[*i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[*i + 1] - 0xDC00);
        ++*i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        cp = 0xFFFD;
    }
    return cp;
}

// The bytes a wide text makes in the ANSI code page: one for each unit, one
// for each surrogate pair.
size_t AnsiLength(const WCHAR* wide, size_t n) {
    size_t bytes = n;
    size_t i = 0;
    // Eight units at a time while none is a high surrogate.
    for (; i + 8 < n; i += 8) {
        bool surrogate = false;
        for (int k = 0; k < 8; ++k)
            surrogate |= (wide[i + k] & 0xFC00) == 0xD800;
        if (surrogate)
            break;
    }
    for (; i + 1 < n; ++i)
        if (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            --bytes;
            ++i;
        }
    return bytes;
}

// Into an 8-bit code page, straight into the caller's buffer; a buffer too
// small is left untouched.
int WideToAnsi(const CodePageTable& table, const WCHAR* wide, size_t n, char* out, int room,
               char fallback, BOOL* usedDefaultChar) {
    // Never more bytes than units: only a buffer smaller than the text needs
    // the count first.
    const size_t bytes = room != 0 && n <= static_cast<size_t>(room) ? 0 : AnsiLength(wide, n);
    if (bytes > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (room != 0 && bytes > static_cast<size_t>(room)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (room == 0 && !usedDefaultChar)
        return static_cast<int>(bytes);
    bool usedDefault = false;
    size_t made = 0;
    size_t i = 0;
    // ASCII eight units at a time, the common case of mail text.
    if (room != 0) {
        for (; i + 8 <= n; i += 8, made += 8) {
            WCHAR any = 0;
            for (int k = 0; k < 8; ++k)
                any |= wide[i + k];
            if (any >= 0x80)
                break;
            for (int k = 0; k < 8; ++k)
                out[made + k] = static_cast<char>(wide[i + k]);
        }
    }
    for (; i < n; ++i, ++made) {
        unsigned char b;
        bool mapped = true;
        if (wide[i] < 0x80)
            b = static_cast<unsigned char>(wide[i]);
        else
            mapped = table.Encode(NextCodePoint(wide, n, &i), &b);
        if (!mapped)
            usedDefault = true;
        if (room != 0)
            out[made] = mapped ? static_cast<char>(b) : fallback;
    }
    if (usedDefaultChar)
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    return static_cast<int>(made);
}

unsigned DecodingCalls = 0;
unsigned DecodingFailsAt = 0; // absolute call number that fails; 0 = none

} // namespace

namespace substitute {
void FailMultiByteToWideCharAt(unsigned n) {
    DecodingFailsAt = n ? DecodingCalls + n : 0;
}
namespace detail {
void ResetText() {
    DecodingCalls = 0;
    DecodingFailsAt = 0;
}
} // namespace detail
} // namespace substitute

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR multiByte, int multiByteCount,
                               LPWSTR wide, int wideCount) {
    if (++DecodingCalls == DecodingFailsAt) {
        DecodingFailsAt = 0;
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const CodePageTable* table = TableOf(codePage);
    if (!multiByte || wideCount < 0 || (!table && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n =
        multiByteCount < 0 ? std::strlen(multiByte) + 1 : static_cast<size_t>(multiByteCount);
    const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
    if (codePage != CP_UTF8) {
        // One unit for each byte: converted straight into the caller's buffer.
        if (n == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (n > static_cast<size_t>(INT_MAX)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (wideCount == 0)
            return static_cast<int>(n);
        if (n > static_cast<size_t>(wideCount)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        for (size_t i = 0; i < n; ++i)
            wide[i] = table->units[bytes[i]];
        return static_cast<int>(n);
    }
    if (n == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t made =
        DecodeUtf8(bytes, n, reinterpret_cast<char16_t*>(wide), static_cast<size_t>(wideCount));
    if (made == SIZE_MAX) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(made);
}

namespace {
// How many units from `wide` on are ASCII, eight at a time while they last.
size_t AsciiRun(LPCWSTR wide, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t low, high;
        std::memcpy(&low, wide + i, sizeof low);
        std::memcpy(&high, wide + i + 4, sizeof high);
        if ((low | high) & 0xFF80FF80FF80FF80u)
            break;
    }
    while (i < n && wide[i] < 0x80)
        ++i;
    return i;
}
} // namespace

int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR multiByte,
                               int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    const CodePageTable* table = TableOf(codePage);
    if (!wide || multiByteCount < 0 || (!table && codePage != CP_UTF8) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = 0;
    if (wideCount < 0) {
        while (wide[n])
            ++n;
        ++n;
    } else {
        n = static_cast<size_t>(wideCount);
    }
    if (n == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char fallback = defaultChar ? *defaultChar : '?';
    if (codePage != CP_UTF8)
        return WideToAnsi(*table, wide, n, multiByte, multiByteCount, fallback, usedDefaultChar);
    // Written straight into the caller's buffer (or only counted, with a
    // size of 0); runs of ASCII found eight units at a time and copied whole.
    const size_t room = static_cast<size_t>(multiByteCount);
    auto* out = reinterpret_cast<unsigned char*>(multiByte);
    size_t made = 0;
    for (size_t i = 0; i < n; ++i) {
        if (const size_t run = AsciiRun(wide + i, n - i); run > 0) {
            if (room != 0) {
                if (made + run > room) {
                    SetLastError(ERROR_INSUFFICIENT_BUFFER);
                    return 0;
                }
                for (size_t k = 0; k < run; ++k)
                    out[made + k] = static_cast<unsigned char>(wide[i + k]);
            }
            made += run;
            i += run - 1;
            continue;
        }
        const char32_t cp = NextCodePoint(wide, n, &i);
        unsigned char bytes[4];
        size_t length;
        if (cp < 0x80) {
            bytes[0] = static_cast<unsigned char>(cp);
            length = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            length = 2;
        } else if (cp < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            length = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            length = 4;
        }
        if (room != 0) {
            if (made + length > room) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(out + made, bytes, length);
        }
        made += length;
    }
    return static_cast<int>(made);
}
