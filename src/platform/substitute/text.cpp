// Text conversion of the substitute platform. The ANSI code page is
// Windows-1252, as on a Western-European Windows; UTF-8 is converted too.
// Characters with no place in the code page become the default character.
#include "internal.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes map to the C1
// controls of the same value, as Windows maps them.
const char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromAnsi(unsigned char c) {
    if (c >= 0x80 && c <= 0x9F)
        return kHighControls[c - 0x80];
    return c;
}

// Every byte's unit, looked up rather than decided byte by byte.
struct AnsiTable {
    AnsiTable() {
        for (int c = 0; c < 256; ++c)
            units[c] = static_cast<WCHAR>(FromAnsi(static_cast<unsigned char>(c)));
    }
    WCHAR units[256];
};

bool ToAnsi(char32_t cp, unsigned char* out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        *out = static_cast<unsigned char>(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == cp) {
            *out = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

// UTF-8 decoding; a malformed sequence gives U+FFFD, as Windows does without
// MB_ERR_INVALID_CHARS.
std::u16string DecodeUtf8(const unsigned char* p, size_t n) {
    std::u16string out;
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            out += c;
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
            out += static_cast<char16_t>(0xFFFD);
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
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

// Into the ANSI code page, straight into the caller's buffer; a buffer too
// small is left untouched.
int WideToAnsi(const WCHAR* wide, size_t n, char* out, int room, char fallback,
               BOOL* usedDefaultChar) {
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
            mapped = ToAnsi(NextCodePoint(wide, n, &i), &b);
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
    if (!multiByte || wideCount < 0 ||
        (codePage != CP_ACP && codePage != 1252 && codePage != CP_UTF8)) {
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
        static const AnsiTable table;
        for (size_t i = 0; i < n; ++i)
            wide[i] = table.units[bytes[i]];
        return static_cast<int>(n);
    }
    std::u16string out = DecodeUtf8(bytes, n);
    if (out.empty() && n == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (wideCount == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(wideCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wide, out.data(), out.size() * sizeof(char16_t));
    return static_cast<int>(out.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR multiByte,
                               int multiByteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!wide || multiByteCount < 0 ||
        (codePage != CP_ACP && codePage != 1252 && codePage != CP_UTF8) ||
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
        return WideToAnsi(wide, n, multiByte, multiByteCount, fallback, usedDefaultChar);
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        const char32_t cp = NextCodePoint(wide, n, &i);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    if (multiByteCount == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(multiByteCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, out.data(), out.size());
    return static_cast<int>(out.size());
}
