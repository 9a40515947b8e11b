// Ownership of what the host hands out: counted interface references, BSTRs,
// VARIANTs, MAPI buffers and the 8-bit texts converted from the host's wide
// strings. Each owner gives back what it holds when it goes, so every path
// through the job, the early returns and the raised errors included,
// releases everything it took.
//
// Errors: a failing call into the host's object model is raised as a
// HostError carrying its HRESULT. Asking an object for an interface it does
// not have gives an empty reference, not an error; using an empty reference
// raises E_POINTER.
#pragma once

#include "platform.h"

#include <cstddef>

// An error raised by, or a failing result of, a call into the host.
class HostError {
public:
    explicit HostError(HRESULT code) : code_(code) {}
    HRESULT Code() const { return code_; }

private:
    HRESULT code_;
};

[[noreturn]] void RaiseHostError(HRESULT code);

// ---- Counted interface references ---------------------------------------------------------

template <class T> class ComRef {
public:
    ComRef() = default;
    ComRef(std::nullptr_t) {}
    ComRef(const ComRef& other) : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    ComRef(ComRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~ComRef() { Reset(); }
    ComRef& operator=(ComRef other) noexcept {
        T* old = p_;
        p_ = other.p_;
        other.p_ = old;
        return *this;
    }

    // Takes over a reference the caller already owns (an out-parameter, a
    // new object).
    static ComRef Adopt(T* p) {
        ComRef r;
        r.p_ = p;
        return r;
    }
    // Takes a reference of its own.
    static ComRef Share(T* p) {
        if (p)
            p->AddRef();
        return Adopt(p);
    }

    void Reset() {
        if (T* p = p_) {
            p_ = nullptr;
            p->Release();
        }
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    T* Get() const { return p_; }
    // The first use of an empty reference raises E_POINTER.
    T* operator->() const {
        if (!p_)
            RaiseHostError(E_POINTER);
        return p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out-parameter: what was held is released first.
    T** Out() {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

// Asks `object` for the interface `iid`. A missing interface (E_NOINTERFACE)
// or a null object gives an empty reference; any other failure is raised.
template <class U> ComRef<U> QueryAs(IUnknown* object, REFIID iid) {
    if (!object)
        return ComRef<U>();
    void* p = nullptr;
    HRESULT hr = object->QueryInterface(iid, &p);
    if (hr == E_NOINTERFACE)
        return ComRef<U>();
    if (FAILED(hr))
        RaiseHostError(hr);
    return ComRef<U>::Adopt(static_cast<U*>(p));
}

// Like QueryAs, but the interface is needed: a missing one raises E_POINTER,
// as the first use of the empty reference would.
template <class U> ComRef<U> RequireAs(IUnknown* object, REFIID iid) {
    ComRef<U> r = QueryAs<U>(object, iid);
    if (!r)
        RaiseHostError(E_POINTER);
    return r;
}

// ---- Owned text ------------------------------------------------------------------------------

// An owned, NUL-terminated UTF-8 string on the project's heap; may be null.
class Utf8Text {
public:
    Utf8Text() = default;
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    Utf8Text(Utf8Text&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    Utf8Text& operator=(Utf8Text&& other) noexcept {
        if (this != &other) {
            Reset();
            text_ = other.text_;
            other.text_ = nullptr;
        }
        return *this;
    }
    ~Utf8Text() { Reset(); }

    // A copy of `length` bytes followed by a NUL; null when memory is
    // exhausted.
    static Utf8Text Copy(const char* text, size_t length);
    static Utf8Text Copy(const char* text);
    // Takes over a MemAlloc'd buffer.
    static Utf8Text Adopt(char* text) {
        Utf8Text t;
        t.text_ = text;
        return t;
    }

    void Reset();
    char* Detach() {
        char* t = text_;
        text_ = nullptr;
        return t;
    }
    char* Get() const { return text_; }
    explicit operator bool() const { return text_ != nullptr; }

private:
    char* text_ = nullptr;
};

// ---- BSTR and VARIANT -------------------------------------------------------------------------

class Bstr {
public:
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    ~Bstr() { SysFreeString(text_); }

    // The 8-bit text in the system code page as the host's wide string.
    // Raises E_OUTOFMEMORY when it cannot be made.
    static Bstr FromAnsi(const char* text);
    // The UTF-8 text as the host's wide string, every character kept (a
    // malformed byte becomes U+FFFD). Raises E_OUTOFMEMORY when it cannot be
    // made.
    static Bstr FromUtf8(const char* text);
    // Takes over a string made with SysAllocString*.
    static Bstr Adopt(BSTR text) {
        Bstr b;
        b.text_ = text;
        return b;
    }
    BSTR Get() const { return text_; }
    BSTR Detach() {
        BSTR t = text_;
        text_ = nullptr;
        return t;
    }

private:
    BSTR text_ = nullptr;
};

// The host's wide string in the system code page: null for a null string or
// when memory is exhausted; an empty string stays empty.
Utf8Text AnsiFromWide(const OLECHAR* text, size_t length);
Utf8Text AnsiFromBstr(BSTR text);
// The host's wide string as UTF-8, every character kept: null for a null
// string or when memory is exhausted; an empty string stays empty.
Utf8Text Utf8FromWide(const OLECHAR* text, size_t length);
Utf8Text Utf8FromBstr(BSTR text);

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    ~Variant() { VariantClear(&v_); }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    // Cleared first, for an out-parameter.
    VARIANT* Out() {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// ---- MAPI buffers -----------------------------------------------------------------------------

// A block from MAPIAllocateBuffer (with whatever MAPIAllocateMore chained to
// it), given back with MAPIFreeBuffer.
template <class T> class MapiBuffer {
public:
    MapiBuffer() = default;
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    MapiBuffer(MapiBuffer&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~MapiBuffer() { Free(); }

    // Allocates `bytes`, zeroed; false when the store has no memory.
    bool Allocate(size_t bytes) {
        Free();
        void* p = nullptr;
        if (bytes > 0xFFFFFFFFu || FAILED(MAPIAllocateBuffer(static_cast<ULONG>(bytes), &p)) || !p)
            return false;
        unsigned char* bytesOut = static_cast<unsigned char*>(p);
        for (size_t i = 0; i < bytes; ++i)
            bytesOut[i] = 0;
        p_ = static_cast<T*>(p);
        return true;
    }
    // Gives the block back; the result of MAPIFreeBuffer (0 when nothing was
    // held).
    ULONG Free() {
        if (!p_)
            return 0;
        T* p = p_;
        p_ = nullptr;
        return MAPIFreeBuffer(p);
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Out() {
        Free();
        return &p_;
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};
