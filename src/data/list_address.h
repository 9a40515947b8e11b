// The address in one value of a list: one mailbox, taken from the value as
// it stands or from between its one pair of angle brackets. It knows nothing
// of files, records or columns; the reader (mailing_list.h) is built on it.
#pragma once

#include <cstddef>

// A cleaned address, at most 255 bytes, and the size of a buffer for one.
constexpr size_t kListAddressSize = 256;

// Why a value holds no usable address: the reason the reader passes its
// record over.
enum ListSkipReason {
    ListSkipNoAddress = 1,     // no value in the e-mail column, or only blanks
    ListSkipNotOneAddress = 2, // a value that is not one mailbox
};

// The address in an e-mail column's value: the value cleaned of surrounding
// blanks, or the text between its one pair of angle brackets ("Ann
// <ann@example.com>"), which then becomes the value itself. It must be one
// mailbox: one at sign between a local part and a domain, no blank, control
// character, comma, semicolon, quote, angle bracket or parenthesis (a
// comment), no encoded-word, no Unicode space, format character, line or
// paragraph separator or full-width or half-width form (letters of any
// script are kept: internationalised addresses), well-formed UTF-8, and
// fewer than kListAddressSize bytes. Returns 0 with the address in `address`
// (kListAddressSize bytes), or the reason it is not one (address empty).
int TakeListAddress(char* value, char* address);

// TakeListAddress for a value followed by at least 32 readable bytes past
// its NUL (a record's block keeps more than 64 after its last line), read 32
// bytes at a time, with the same results.
int TakeRecordAddress(char* value, char* address);
