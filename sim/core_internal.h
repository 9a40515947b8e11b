// The simulated mail client's common ground: text helpers, the results it
// shares, and what every simulated object is (Tracked, SIM_IUNKNOWN). Only
// sim/ includes it and the other headers of this folder.
#pragma once

#include "mail_client.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

namespace sim {

// The type of a method's parameter, as the platform's headers declare it
// (some SDK headers give a window parameter as ULONG, others as ULONG_PTR).
template <typename T> struct MethodParams;
template <typename R, typename C, typename... A>
struct MethodParams<R (STDMETHODCALLTYPE C::*)(A...)> {
    using Tuple = std::tuple<A...>;
};
template <auto M, size_t N>
using ParamOf = std::tuple_element_t<N, typename MethodParams<decltype(M)>::Tuple>;

using OleString = std::basic_string<OLECHAR>;

// ---- Text -------------------------------------------------------------------------
// The client's own text is UTF-8; the object model's and the store's
// PT_UNICODE values are UTF-16, and every character passes between them. The
// store's 8-bit (PT_STRING8) form is its code page, Windows-1252, which lacks
// most characters: they become '?', as they do in a real store.
constexpr UINT kStoreCodePage = 1252;
OleString Wide(const std::string& utf8);
std::string Narrow(const OLECHAR* text, size_t length);
std::string Narrow(BSTR text);
BSTR NewBstr(const std::string& utf8);
// UTF-8 text in the store's 8-bit code page, and back.
std::string StoreBytes(const std::string& utf8);
std::string FromStoreBytes(const std::string& bytes);
// UTF-8 text as UTF-16 little-endian bytes (a PT_UNICODE stream).
std::string Utf16LeBytes(const std::string& utf8);
// Bytes in a code page as UTF-8, and UTF-8 text in a code page; what the
// code page lacks is written as an HTML numeric character reference.
std::string DecodeBytes(const std::string& bytes, UINT codePage);
std::string EncodeHtml(const std::string& utf8, UINT codePage);
// ASCII case-insensitive comparison of a member name.
bool SameName(const OLECHAR* name, const char* member);
bool SameText(const std::string& a, const std::string& b);
// Captions compare without case and without accelerator ampersands.
bool SameCaption(const std::string& a, const std::string& b);
std::string HexBytes(const std::string& bytes);
void AppendHexBytes(std::string* out, const std::string& bytes);
std::string HexCode(HRESULT hr);
// A number appended as printf's "%0*llu" and "%0*llX" write it, at least
// `minDigits` wide: the trace's codes and the store's numbers are made at every
// call, and the C formatter was a tenth of the client's time.
void AppendDecimal(std::string* out, unsigned long long value, int minDigits = 1);
void AppendHex(std::string* out, unsigned long long value, int minDigits = 1);
std::string IidName(REFIID iid);
std::string Quoted(const std::string& text);
// The leading decimal number of a version text ("11.0.0.8312" -> 11.0).
double VersionNumber(const std::string& text);
std::string HtmlFromText(const std::string& text);
std::string TextFromHtml(const std::string& html);

constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108L);  // RPC_E_DISCONNECTED
constexpr HRESULT kObjectDeleted = static_cast<HRESULT>(0x8004010AL); // MAPI_E_OBJECT_DELETED
constexpr HRESULT kTooComplex = static_cast<HRESULT>(0x80040117L);    // MAPI_E_TOO_COMPLEX
constexpr LONG olPost = 45;
constexpr LONG olDiscard = 1;
constexpr LONG olPromptForSave = 2;

// Sixteen bytes, as GCC's and Clang's vector extension holds them: compiled
// to SSE2 on x64 and to plain words where the target has no such registers.
// Bodies are kilobytes, scanned sixteen bytes at a time for what needs care.
// Vectors are passed by reference only: by value they would change the
// calling convention on a target without SSE.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
// The index of the first byte set in a comparison's result; 16 for none.
inline size_t FirstOf16(const Bytes16& hits) {
    uint64_t halves[2];
    std::memcpy(halves, &hits, sizeof halves);
    // Little-endian, as every target of this client is: byte 0 is the low one.
    if (halves[0] != 0)
        return static_cast<size_t>(__builtin_ctzll(halves[0])) / 8;
    if (halves[1] != 0)
        return 8 + static_cast<size_t>(__builtin_ctzll(halves[1])) / 8;
    return 16;
}

class World;

// ---- Objects ------------------------------------------------------------------------
// What every simulated object shares: a reference count, its client (null
// once the client has shut down), a trace name and its place in the client's
// register of live objects.
class Tracked {
public:
    Tracked(World* world, const char* className);
    virtual ~Tracked();
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    World* GetWorld() const { return world_; }
    // Made when first asked for (the trace, a failure's text): objects are
    // made by the thousand in a mailing that keeps no trace.
    const std::string& Name() const;
    const char* ClassName() const { return class_; }
    virtual IUnknown* Identity() = 0;
    // Whether `p` is one of this object's interface pointers.
    virtual bool Owns(const void* p) { return p == Identity(); }
    // The client lets go of the sinks it was given (shutdown, a control deleted).
    virtual void DropSinks() {}
    // The client is going away.
    void Detach() { world_ = nullptr; }

    ULONG AddRefCount() { return ++refs_; }
    ULONG ReleaseCount() {
        ULONG left = --refs_;
        if (left == 0) {
            // Calls that reach the object while it is being destroyed must
            // not destroy it a second time.
            refs_ = 1;
            delete this;
        }
        return left;
    }
    // The interface for `iid`, without a reference; null when not supported.
    virtual void* Find(REFIID iid) = 0;
    // QueryInterface as every object answers it: faults, trace, reference.
    HRESULT Query(REFIID iid, void** object);

    // The last failing result and its text, for IMAPIProp::GetLastError.
    HRESULT lastError = S_OK;
    std::string lastErrorText;

protected:
    World* world_;

private:
    const char* class_;
    mutable std::string name_;
    unsigned number_ = 0;
    uint64_t serial_;
    ULONG refs_ = 1;
};

// IUnknown of a simulated object, answered by its Tracked part, in the class
// that derives from every interface it implements. `Primary` is the
// interface whose pointer is the object's identity. `Primary` is a type,
// which no parentheses may enclose inside static_cast.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SIM_IUNKNOWN(Primary)                                                                      \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {                 \
        return Query(iid, object);                                                                 \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return AddRefCount();                                                                      \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        return ReleaseCount();                                                                     \
    }                                                                                              \
    IUnknown* Identity() override {                                                                \
        return static_cast<Primary*>(this);                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)

} // namespace sim
