#include "reference_merge.h"

#include "data/merge.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
} // namespace

const char* ReferenceFindNoCase(const char* haystack, const char* needle) {
    if (!*haystack)
        return nullptr;
    for (const char* candidate = haystack; *candidate; ++candidate) {
        if (Upper(*candidate) != Upper(needle[0]))
            continue;
        size_t k = 1;
        while (needle[k] && candidate[k] && Upper(candidate[k]) == Upper(needle[k]))
            ++k;
        if (!needle[k])
            return candidate;
    }
    return nullptr;
}

int ReferenceMergeFields(char* text, int capacity, const ListRecord* header,
                         const ListRecord* record, int* need) {
    return ReferenceMergeFieldsWithin(text, capacity, header, record, need, kMergeMaximumNeed);
}

int ReferenceMergeFieldsWithin(char* text, int capacity, const ListRecord* header,
                               const ListRecord* record, int* need, int maximumNeed) {
    // The size is counted in a wide integer and checked against the ceiling
    // at every step: the text, then each token that adds to it.
    long long measured = static_cast<long long>(std::strlen(text)) + 1;
    if (need) {
        if (measured > maximumNeed) {
            *need = 0;
            return 0;
        }
        *need = static_cast<int>(measured);
    }
    for (int i = 0; i < header->count; ++i) {
        // A value may hold 511 characters, however many bytes of UTF-8 each
        // takes.
        std::string value;
        if (i < record->count) {
            size_t characters = 0;
            for (const char* p = record->values[i]; *p; ++p)
                characters += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
            if (characters >= 512)
                return 0;
            value = record->values[i];
        }
        if (std::strlen(header->values[i]) >= 507)
            return 0;
        char token[512];
        std::snprintf(token, sizeof token, "[[%s]]", header->values[i]);
        const size_t tokenLength = std::strlen(token);
        const size_t valueLength = value.size();
        if (need) {
            for (const char* at = ReferenceFindNoCase(text, token); at;
                 at = ReferenceFindNoCase(at + tokenLength, token)) {
                if (valueLength > tokenLength)
                    measured += static_cast<long long>(valueLength - tokenLength);
                if (measured > maximumNeed)
                    return 0;
                *need = static_cast<int>(measured);
            }
            continue;
        }
        char* at = const_cast<char*>(ReferenceFindNoCase(text, token));
        while (at) {
            std::memmove(at, at + tokenLength, std::strlen(at + tokenLength) + 1);
            if (static_cast<long long>(std::strlen(text)) + static_cast<long long>(valueLength) >=
                capacity)
                return 0;
            std::memmove(at + valueLength, at, std::strlen(at) + 1);
            std::memcpy(at, value.data(), valueLength);
            at = const_cast<char*>(ReferenceFindNoCase(at + valueLength, token));
        }
    }
    if (need && *need < 10)
        *need = 10;
    return 1;
}
