// What the review's two files share (review.cpp, review_carried.cpp): the
// hash its tables key on and the writer its texts are told through.
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstdint>

// FNV-1a over the text with ASCII letters lower-cased: the same mailbox
// typed "Jo@Example.com" and "jo@example.com" is one recipient twice, and
// Windows takes "C:\Lists\A.pdf" and "c:\lists\a.pdf" for one file.
uint64_t ReviewTextHash(const char* text);

// Appends to a text cut at its size.
class ReviewWriter {
public:
    ReviewWriter(char* text, size_t size) : text_(text), size_(size) {
        if (size)
            text[0] = '\0';
    }
    void operator()(const char* format, ...) QV_PRINTF_FORMAT(2, 3);
    size_t Used() const { return used_; }

private:
    char* text_;
    size_t size_;
    size_t used_ = 0;
};
