// UTF-8, the one encoding of text inside the library: list values, merged
// texts, addresses and log lines are UTF-8 in 8-bit buffers. Byte limits stay
// byte limits, and a text cut to fit one is cut between characters, never
// inside one.
#pragma once

#include <cstddef>

// The length of the well-formed UTF-8 sequence that starts at `text` (n
// bytes left, at least 1): 0 when it is malformed, and when the n bytes end
// before it does, the negative of the bytes it has so far.
long Utf8SequenceLength(const char* text, size_t n);

// True when the n bytes are well-formed UTF-8: no stray continuation byte,
// no overlong form, no surrogate, nothing above U+10FFFF, nothing unfinished.
bool IsUtf8(const char* text, size_t n);

// The length of the longest prefix of the n bytes that holds at most
// `limit` bytes and ends between two characters. Bytes that are not UTF-8
// count one each, so any text gets a prefix.
size_t Utf8Prefix(const char* text, size_t n, size_t limit);

// Copies `text` into `destination` (size bytes, at least 1), cut between
// characters when it does not fit; always NUL-terminated. Returns the length
// copied.
size_t CopyUtf8(char* destination, size_t size, const char* text);

// A text of the ANSI code page as UTF-8, into `destination` (size bytes);
// cut between characters when it does not fit. ASCII passes unchanged.
// Returns the length written.
size_t AnsiToUtf8(const char* text, char* destination, size_t size);

// A text for one line of a log: every control character (a line break, a
// tab) and every line break beyond ASCII (NEL, the line and the paragraph
// separator) becomes a space, so that no text can start a line of its own,
// and it is cut between characters to fit `size` bytes (at least 4), ending
// in "..." when cut. Returns the length written.
size_t CopyForLogLine(char* destination, size_t size, const char* text);

// What n bytes of UTF-8 come to as UTF-16 code units (two for a character
// beyond U+FFFF), and as bytes of the ANSI code page (UTF-16 units when
// they cannot be converted): the lengths a list's text had in its file.
size_t Utf8Utf16Units(const char* text, size_t n);
size_t Utf8AnsiBytes(const char* text, size_t n);

// Folds the letter case of UTF-8 text as addresses are told apart: capitals
// of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic become small
// letters (and a final sigma the ordinary one), so "ÄNNE@Example.com" and
// "änne@example.com" are one recipient. Each of these keeps its UTF-8
// length, so the text can be folded in place (`out` may be `text`); other
// bytes pass unchanged. Writes at most size - 1 bytes and a NUL; returns the
// length written.
size_t FoldLetterCase(const char* text, char* out, size_t size);

// Whether two texts are the same with their letter case folded as above.
bool SameFoldingCase(const char* a, const char* b);
