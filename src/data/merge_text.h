// Internal to the merge: the limits and the small text helpers that the
// merge (merge.cpp) and the mending of split tokens (unsplit_tokens.cpp)
// both read texts by.
#pragma once

#include "data/mailing_list.h"

#include <cstddef>
#include <cstring>

namespace merge_text {

constexpr size_t kValueLimit = 512; // a value of this many characters or more fails
// A value below kValueLimit characters holds fewer bytes than this: a UTF-8
// character is four bytes at most.
constexpr size_t kValueByteLimit = kValueLimit * 4;
constexpr size_t kNameLimit = 507; // "[[" + name + "]]" and its NUL fill 512 bytes

inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline size_t BoundedLength(const char* text, size_t limit) {
    const void* nul = std::memchr(text, '\0', limit);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : limit;
}

constexpr size_t kValueOver = static_cast<size_t>(-1);

// A value's length in bytes, or kValueOver when it has kValueLimit characters
// or more. A list's values are UTF-8, and a user counts "Zoë" as
// three characters, not four bytes: a byte that continues a character adds
// none. Only a value of kValueLimit bytes or more needs counting.
inline size_t PlainValueLength(const char* value) {
    const size_t bytes = BoundedLength(value, kValueByteLimit);
    if (bytes < kValueLimit)
        return bytes;
    size_t characters = 0;
    for (size_t i = 0; i < bytes; ++i)
        characters += (static_cast<unsigned char>(value[i]) & 0xC0) != 0x80;
    return characters >= kValueLimit || bytes >= kValueByteLimit ? kValueOver : bytes;
}

// The whole merge is defined in terms of this length: a text ends at its NUL.
inline size_t TextLength(const char* text) {
    return std::strlen(text);
}

inline const char* ValueOf(const ListRecord* record, int i) {
    return record && i < record->count ? record->values[i] : "";
}

inline bool HasBracket(const char* text, size_t length) {
    return std::memchr(text, '[', length) || std::memchr(text, ']', length);
}

inline bool EqualNoCase(const char* a, const char* b, size_t length) {
    // A token mostly spells its field's name as the header does.
    if (std::memcmp(a, b, length) == 0)
        return true;
    for (size_t i = 0; i < length; ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

} // namespace merge_text
