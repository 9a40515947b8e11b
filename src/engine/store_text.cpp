#include "engine/store_text.h"

#include <cstring>

namespace StoreText {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(const char* a, size_t n, const char* b) {
    if (std::strlen(b) != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != b[i])
            return false;
    return true;
}

// The IANA names a mail message's HTML is found with, and their Windows code
// pages. ISO-8859-1 and US-ASCII are read as Windows-1252, its superset, as
// browsers and mail readers read them.
struct Charset {
    const char* name;
    UINT codePage;
};
const Charset kCharsets[] = {
    {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},       {"us-ascii", 1252},     {"iso-8859-1", 1252},
    {"latin1", 1252},       {"windows-1250", 1250},  {"windows-1251", 1251}, {"windows-1252", 1252},
    {"windows-1253", 1253}, {"windows-1254", 1254},  {"windows-1255", 1255}, {"windows-1256", 1256},
    {"windows-1257", 1257}, {"windows-1258", 1258},  {"iso-8859-2", 28592},  {"iso-8859-5", 28595},
    {"iso-8859-7", 28597},  {"iso-8859-9", 28599},   {"iso-8859-15", 28605}, {"koi8-r", 20866},
    {"koi8-u", 21866},      {"shift_jis", 932},      {"gb2312", 936},        {"gbk", 936},
    {"big5", 950},          {"ks_c_5601-1987", 949}, {"euc-kr", 949},        {"euc-jp", 51932},
    {"iso-2022-jp", 50220}, {"gb18030", 54936},
};

UINT CodePageOfName(const char* name, size_t n) {
    for (const Charset& c : kCharsets)
        if (SameNoCase(name, n, c.name))
            return c.codePage;
    return 0;
}

// Where the charset name of the document's declaration stands: its offset
// and length. False when there is none. Only the first declaration counts,
// and only inside a <meta> tag.
bool FindDeclaration(const char* html, size_t count, size_t* at, size_t* length) {
    static const char kMeta[] = "<meta";
    static const char kCharsetKey[] = "charset";
    for (size_t i = 0; i + 5 <= count; ++i) {
        if (html[i] != '<')
            continue;
        size_t k = 0;
        while (k < 5 && i + k < count && Lower(html[i + k]) == kMeta[k])
            ++k;
        if (k < 5)
            continue;
        size_t end = i + 5;
        while (end < count && html[end] != '>')
            ++end;
        // "charset" inside the tag, then optional blanks, '=', optional quote.
        for (size_t j = i + 5; j + 7 <= end; ++j) {
            size_t m = 0;
            while (m < 7 && Lower(html[j + m]) == kCharsetKey[m])
                ++m;
            if (m < 7)
                continue;
            size_t p = j + 7;
            while (p < end && (html[p] == ' ' || html[p] == '\t'))
                ++p;
            if (p >= end || html[p] != '=')
                continue;
            ++p;
            while (p < end &&
                   (html[p] == ' ' || html[p] == '\t' || html[p] == '"' || html[p] == '\''))
                ++p;
            size_t q = p;
            while (q < end && html[q] != '"' && html[q] != '\'' && html[q] != ';' &&
                   html[q] != ' ' && html[q] != '/' && html[q] != '>')
                ++q;
            if (q == p)
                continue;
            *at = p;
            *length = q - p;
            return true;
        }
        i = end;
    }
    return false;
}

} // namespace

Utf8Text FromUtf16Bytes(const char* bytes, size_t count) {
    const size_t units = count / 2;
    WCHAR* wide = static_cast<WCHAR*>(MemAlloc((units + 1) * sizeof(WCHAR)));
    if (!wide)
        return Utf8Text();
    size_t n = 0;
    for (; n < units; ++n) {
        const unsigned char lo = static_cast<unsigned char>(bytes[2 * n]);
        const unsigned char hi = static_cast<unsigned char>(bytes[2 * n + 1]);
        wide[n] = static_cast<WCHAR>(lo | (hi << 8));
        if (wide[n] == 0)
            break;
    }
    Utf8Text text = Utf8FromWide(wide, n);
    MemFree(wide);
    return text;
}

Utf8Text FromWide(const WCHAR* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return Utf8FromWide(text, n);
}

UINT DeclaredCodePage(const char* html, size_t count) {
    size_t at = 0, length = 0;
    return FindDeclaration(html, count, &at, &length) ? CodePageOfName(html + at, length) : 0;
}

Utf8Text HtmlToUtf8(const char* bytes, size_t count, UINT codePage) {
    if (count == 0)
        return Utf8Text::Copy("", 0);
    if (count > 0x7FFFFFFF)
        return Utf8Text();
    const int n = static_cast<int>(count);
    int units = MultiByteToWideChar(codePage, 0, bytes, n, nullptr, 0);
    if (units <= 0) {
        codePage = CP_ACP;
        units = MultiByteToWideChar(codePage, 0, bytes, n, nullptr, 0);
        if (units <= 0)
            return Utf8Text();
    }
    WCHAR* wide = static_cast<WCHAR*>(MemAlloc(static_cast<size_t>(units) * sizeof(WCHAR)));
    if (!wide)
        return Utf8Text();
    Utf8Text text;
    if (MultiByteToWideChar(codePage, 0, bytes, n, wide, units) == units)
        text = Utf8FromWide(wide, static_cast<size_t>(units));
    MemFree(wide);
    if (!text)
        return text;

    // The stated charset, now wrong, becomes utf-8.
    const char* utf8 = text.Get();
    const size_t length = std::strlen(utf8);
    size_t at = 0, nameLength = 0;
    if (!FindDeclaration(utf8, length, &at, &nameLength) ||
        SameNoCase(utf8 + at, nameLength, "utf-8"))
        return text;
    static const char kUtf8[] = "utf-8";
    const size_t made = length - nameLength + (sizeof kUtf8 - 1);
    char* out = static_cast<char*>(MemAlloc(made + 1));
    if (!out)
        return Utf8Text();
    std::memcpy(out, utf8, at);
    std::memcpy(out + at, kUtf8, sizeof kUtf8 - 1);
    std::memcpy(out + at + sizeof kUtf8 - 1, utf8 + at + nameLength, length - at - nameLength);
    out[made] = '\0';
    return Utf8Text::Adopt(out);
}

} // namespace StoreText
