#include "client/com_ref.h"

#include "base/debug_trace.h"
#include "client/client_call.h"

#include <cstring>

void RaiseHostError(HRESULT code) {
    throw HostError(code);
}

Utf8Text Utf8Text::Copy(const char* text, size_t length) {
    char* copy = static_cast<char*>(MemAlloc(length + 1));
    if (!copy)
        return Utf8Text();
    if (length)
        std::memcpy(copy, text, length);
    copy[length] = '\0';
    return Adopt(copy);
}

Utf8Text Utf8Text::Copy(const char* text) {
    return text ? Copy(text, std::strlen(text)) : Utf8Text();
}

void Utf8Text::Reset() {
    if (char* t = text_) {
        text_ = nullptr;
        MemFree(t);
    }
}

namespace {

Bstr Widen(UINT codePage, const char* text) {
    Bstr out;
    const size_t length = std::strlen(text);
    BSTR made = nullptr;
    if (length == 0) {
        made = SysAllocStringLen(nullptr, 0);
    } else if (length <= 0x7FFFFFFF) {
        // No code page makes more UTF-16 units than it has bytes, so one
        // conversion into a string of the byte count is enough; a text that
        // made fewer units (anything beyond ASCII) is copied to its length.
        const int bytes = static_cast<int>(length);
        made = SysAllocStringLen(nullptr, static_cast<UINT>(bytes));
        const int wide = made ? MultiByteToWideChar(codePage, 0, text, bytes, made, bytes) : 0;
        if (wide <= 0) {
            SysFreeString(made);
            made = nullptr;
        } else if (wide < bytes) {
            BSTR exact = SysAllocStringLen(made, static_cast<UINT>(wide));
            SysFreeString(made);
            made = exact;
        }
    }
    if (!made)
        RaiseHostError(E_OUTOFMEMORY);
    return Bstr::Adopt(made);
}

// UTF-8 takes no default character: what UTF-16 holds, UTF-8 holds.
Utf8Text Narrow(UINT codePage, const OLECHAR* text, size_t length) {
    if (!text)
        return Utf8Text();
    if (length == 0)
        return Utf8Text::Copy("", 0);
    if (length > 0x7FFFFFFF / 4)
        return Utf8Text();
    const int wideLength = static_cast<int>(length);
    int bytes = WideCharToMultiByte(codePage, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return Utf8Text();
    char* out = static_cast<char*>(MemAlloc(static_cast<size_t>(bytes) + 1));
    if (!out)
        return Utf8Text();
    if (WideCharToMultiByte(codePage, 0, text, wideLength, out, bytes, nullptr, nullptr) != bytes) {
        MemFree(out);
        return Utf8Text();
    }
    out[bytes] = '\0';
    return Utf8Text::Adopt(out);
}

} // namespace

Bstr Bstr::FromAnsi(const char* text) {
    return Widen(CP_ACP, text);
}

Bstr Bstr::FromUtf8(const char* text) {
    return Widen(CP_UTF8, text);
}

Utf8Text AnsiFromWide(const OLECHAR* text, size_t length) {
    return Narrow(CP_ACP, text, length);
}

Utf8Text AnsiFromBstr(BSTR text) {
    return AnsiFromWide(text, text ? SysStringLen(text) : 0);
}

Utf8Text Utf8FromWide(const OLECHAR* text, size_t length) {
    return Narrow(CP_UTF8, text, length);
}

Utf8Text Utf8FromBstr(BSTR text) {
    return Utf8FromWide(text, text ? SysStringLen(text) : 0);
}

void TraceClientFailure(const char* call, HRESULT result, const char* file, int line) {
    DebugTrace("%s failed (0x%08lX) at %s:%d\r\n", call,
               static_cast<unsigned long>(static_cast<ULONG>(result)), file, line);
}
