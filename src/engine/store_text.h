// Text as the store gives it, made into the library's UTF-8: wide property
// values and streams, and HTML bytes in the code page they were written in.
#pragma once

#include "client/com_ref.h"

#include <cstddef>

namespace StoreText {

// UTF-16 little-endian bytes (a PT_UNICODE stream) as UTF-8; the text ends at
// its first NUL unit, and an odd last byte is no character. Null when memory
// is exhausted.
Utf8Text FromUtf16Bytes(const char* bytes, size_t count);

// A wide property value as UTF-8; null when memory is exhausted.
Utf8Text FromWide(const WCHAR* text);

// The code page an HTML document states for itself, by <meta charset=...>
// or <meta http-equiv="Content-Type" content="...; charset=...">; 0 when it
// states none, or one this library does not know.
UINT DeclaredCodePage(const char* html, size_t count);

// HTML bytes in `codePage` as UTF-8, with the charset the document states,
// if it states one, made "utf-8" so that the text says what it is. A code
// page the system cannot convert is read as the ANSI code page. Null when
// memory is exhausted.
Utf8Text HtmlToUtf8(const char* bytes, size_t count, UINT codePage);

} // namespace StoreText
