// A line of a few words and numbers, built in a caller's buffer without the
// C formatter. The status and the success line are made several times for
// every copy, and parsing a format string each time cost more than the rest
// of what the library does to write them.
#pragma once

#include "base/utf8.h"

#include <cstddef>
#include <cstring>

class LineText {
public:
    // `size` is at least 1; the buffer always holds a NUL-terminated line.
    LineText(char* buffer, size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }

    // Appends what fits, cut between characters.
    LineText& Text(const char* text) { return Bytes(text, std::strlen(text)); }

    LineText& Bytes(const char* text, size_t n) {
        const size_t fits = Utf8Prefix(text, n, size_ - 1 - length_);
        std::memcpy(buffer_ + length_, text, fits);
        length_ += fits;
        buffer_[length_] = '\0';
        return *this;
    }

    // A decimal number with at least `digits` digits (zeros in front).
    LineText& Number(long long value, int digits = 1) {
        char text[24];
        char* end = text + sizeof text;
        char* at = end;
        // Negated as unsigned, so that the smallest value has a magnitude too.
        unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        do {
            *--at = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0 || (end - at < digits && at - text > 1));
        if (value < 0)
            *--at = '-';
        return Bytes(at, static_cast<size_t>(end - at));
    }

    // Lower-case hexadecimal in exactly `digits` digits (at most 16).
    LineText& Hex(unsigned long long value, int digits) {
        char text[16];
        const int n = digits < 1 ? 1 : digits > 16 ? 16 : digits;
        for (int i = n - 1; i >= 0; --i, value >>= 4)
            text[i] = "0123456789abcdef"[value & 15];
        return Bytes(text, static_cast<size_t>(n));
    }

    const char* Get() const { return buffer_; }
    size_t Length() const { return length_; }

private:
    char* buffer_;
    size_t size_;
    size_t length_ = 0;
};
