// A class object that stands where the library's DllGetClassObject would and
// hands out the product's own add-in inside a test's wrapper (an add-in that
// starts slowly, one whose ribbon is in another namespace). Wrapper is an
// IDTExtensibility2 made from the inner add-in, with a count of 1.
#pragma once

#include "addin/addin_factory.h"
#include "client/com_ref.h"

#include <utility>

template <class Wrapper> class WrappingFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        ComRef<IClassFactory> factory;
        HRESULT hr = DllGetClassObject(CLSID_QuorvelAddIn, IID_IClassFactory,
                                       reinterpret_cast<void**>(factory.Out()));
        ComRef<IDTExtensibility2> inner;
        if (SUCCEEDED(hr))
            hr = factory->CreateInstance(outer, IID_IDTExtensibility2,
                                         reinterpret_cast<void**>(inner.Out()));
        if (FAILED(hr))
            return hr;
        IDTExtensibility2* wrapper = new Wrapper(std::move(inner));
        hr = wrapper->QueryInterface(iid, object);
        wrapper->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~WrappingFactory() = default;
    ULONG count_ = 1;
};

template <class Wrapper>
HRESULT STDAPICALLTYPE WrappingClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!IsEqualGUID(clsid, CLSID_QuorvelAddIn))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new WrappingFactory<Wrapper>;
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}
