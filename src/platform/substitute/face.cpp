// The button face without a clipboard, GDI or OLE: every call is recorded,
// and pictures are placeholder objects that count themselves, so that tests
// see which method ran and that every picture was given back.
#include "internal.h"

#include <string>
#include <vector>

namespace substitute {
namespace {

std::vector<std::string> RecordedFaceCalls;
size_t LivePictureCount = 0;

// A picture as far as a command-bar button needs one: an IDispatch it can
// hold and let go of.
class PlaceholderPicture final : public IDispatch {
public:
    PlaceholderPicture() { ++LivePictureCount; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~PlaceholderPicture() { --LivePictureCount; }
    ULONG refs_ = 1;
};

} // namespace

const std::vector<std::string>& FaceCalls() {
    return RecordedFaceCalls;
}

size_t LivePictures() {
    return LivePictureCount;
}

namespace detail {
void ResetFace() {
    RecordedFaceCalls.clear();
}
} // namespace detail

} // namespace substitute

struct SavedClipboard {};

bool IsWindows95Or98() {
    return false;
}

void PutFaceOnClipboard(HMODULE, int faceId, int face9xId) {
    substitute::RecordedFaceCalls.push_back("PutFaceOnClipboard " + std::to_string(faceId) + " " +
                                            std::to_string(face9xId));
}

IDispatch* NewBitmapPicture(HMODULE, int bitmapId) {
    substitute::RecordedFaceCalls.push_back("NewBitmapPicture " + std::to_string(bitmapId));
    return new substitute::PlaceholderPicture;
}

SavedClipboard* SaveClipboard() {
    substitute::RecordedFaceCalls.push_back("SaveClipboard");
    return new SavedClipboard;
}

void RestoreClipboard(SavedClipboard* saved) {
    substitute::RecordedFaceCalls.push_back(saved ? "RestoreClipboard" : "EmptyClipboard");
    delete saved;
}
