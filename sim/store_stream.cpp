// The read-only streams over a property's bytes.
#include "store_internal.h"

#include <algorithm>
#include <cstring>

namespace sim {

// ---- Streams ------------------------------------------------------------------------------------

StreamObject::StreamObject(World* world, std::string bytes)
    : Tracked(world, "Stream"), bytes_(std::move(bytes)) {}

void* StreamObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
        IsEqualIID(iid, IID_IStream))
        return static_cast<IStream*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE StreamObject::Read(void* buffer, ULONG count, ULONG* read) {
    MapiCall call(*this, "Read", [&] { return std::to_string(count); });
    if (read)
        *read = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!buffer && count)
        return call.Done(STG_E_INVALIDPOINTER);
    size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONG n = static_cast<ULONG>(std::min<size_t>(left, count));
    if (n)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (read)
        *read = n;
    return call.Done(n < count ? S_FALSE : S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Write(const void*, ULONG, ULONG* written) {
    return FixedAnswer(*this, "Write", STG_E_ACCESSDENIED, written);
}

HRESULT STDMETHODCALLTYPE StreamObject::Seek(LARGE_INTEGER move, DWORD origin,
                                             ULARGE_INTEGER* newPosition) {
    MapiCall call(*this, "Seek", [&] {
        return std::to_string(static_cast<long long>(move.QuadPart)) + " from " +
               std::to_string(origin);
    });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    long long base = origin == STREAM_SEEK_SET   ? 0
                     : origin == STREAM_SEEK_CUR ? static_cast<long long>(position_)
                     : origin == STREAM_SEEK_END ? static_cast<long long>(bytes_.size())
                                                 : -1;
    if (base < 0)
        return call.Done(STG_E_INVALIDFUNCTION);
    long long target = base + move.QuadPart;
    if (target < 0)
        return call.Done(STG_E_INVALIDFUNCTION);
    position_ = static_cast<size_t>(target);
    if (newPosition)
        newPosition->QuadPart = static_cast<ULONGLONG>(target);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::SetSize(ULARGE_INTEGER) {
    return FixedAnswer(*this, "SetSize", STG_E_ACCESSDENIED);
}

HRESULT STDMETHODCALLTYPE StreamObject::CopyTo(IStream* target, ULARGE_INTEGER count,
                                               ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
    MapiCall call(*this, "CopyTo",
                  [&] { return std::to_string(static_cast<unsigned long long>(count.QuadPart)); });
    if (read)
        read->QuadPart = 0;
    if (written)
        written->QuadPart = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!target)
        return call.Done(STG_E_INVALIDPOINTER);
    ULONGLONG left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONGLONG want = std::min<ULONGLONG>(left, count.QuadPart);
    ULONGLONG done = 0, put = 0;
    HRESULT hr = S_OK;
    while (done < want) {
        ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(want - done, 65536));
        ULONG n = 0;
        hr = target->Write(bytes_.data() + position_, chunk, &n);
        position_ += chunk;
        done += chunk;
        put += n;
        if (FAILED(hr))
            break;
    }
    if (read)
        read->QuadPart = done;
    if (written)
        written->QuadPart = put;
    return call.Done(FAILED(hr) ? hr : S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Commit(DWORD) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE StreamObject::Revert() {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE StreamObject::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}
HRESULT STDMETHODCALLTYPE StreamObject::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE StreamObject::Stat(STATSTG* stat, DWORD) {
    MapiCall call(*this, "Stat", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!stat)
        return call.Done(STG_E_INVALIDPOINTER);
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Clone(IStream** copy) {
    MapiCall call(*this, "Clone", "");
    if (!copy)
        return call.Done(STG_E_INVALIDPOINTER);
    auto* clone = new StreamObject(world_, bytes_);
    clone->position_ = position_;
    *copy = clone;
    return call.Done(S_OK);
}

} // namespace sim
