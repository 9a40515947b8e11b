#include "client/com_ref.h"

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

Bstr Bstr::FromAnsi(const char* text) {
    Bstr out;
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) {
        out.text_ = SysAllocStringLen(nullptr, 0);
    } else {
        int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
        if (wide > 0) {
            out.text_ = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
            if (out.text_ &&
                MultiByteToWideChar(CP_ACP, 0, text, length, out.text_, wide) != wide) {
                SysFreeString(out.text_);
                out.text_ = nullptr;
            }
        }
    }
    if (!out.text_)
        RaiseHostError(E_OUTOFMEMORY);
    return out;
}

Utf8Text AnsiFromWide(const OLECHAR* text, size_t length) {
    if (!text)
        return Utf8Text();
    if (length == 0)
        return Utf8Text::Copy("", 0);
    if (length > 0x7FFFFFFF)
        return Utf8Text();
    const int wideLength = static_cast<int>(length);
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return Utf8Text();
    char* out = static_cast<char*>(MemAlloc(static_cast<size_t>(bytes) + 1));
    if (!out)
        return Utf8Text();
    if (WideCharToMultiByte(CP_ACP, 0, text, wideLength, out, bytes, nullptr, nullptr) != bytes) {
        MemFree(out);
        return Utf8Text();
    }
    out[bytes] = '\0';
    return Utf8Text::Adopt(out);
}

Utf8Text AnsiFromBstr(BSTR text) {
    return AnsiFromWide(text, text ? SysStringLen(text) : 0);
}
