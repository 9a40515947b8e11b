// The product's add-in behind a wrapper that sleeps before it hands on
// OnConnection or OnStartupComplete: an add-in whose start-up is slow, to
// see the client time it and give up on it. Its class object stands where
// the library's DllGetClassObject would.
#pragma once

#include "wrapped_addin.h"

#include "addin/addin_factory.h"
#include "client/com_ref.h"

#include <utility>

namespace slowaddin {

// The sleeps before each call; 0 by default.
inline DWORD ConnectionDelay = 0;
inline DWORD StartupDelay = 0;

class SlowAddIn final : public IDTExtensibility2 {
public:
    explicit SlowAddIn(ComRef<IDTExtensibility2> inner) : inner_(std::move(inner)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, IID_IDTExtensibility2))
            return E_NOINTERFACE; // no ribbon: the start-up is what is looked at
        *object = static_cast<IDTExtensibility2*>(this);
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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return inner_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return inner_->Invoke(dispid, iid, locale, flags, params, result, exception, argumentError);
    }
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override {
        Sleep(ConnectionDelay);
        return inner_->OnConnection(application, mode, addInInstance, custom);
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode,
                                              SAFEARRAY** custom) override {
        return inner_->OnDisconnection(mode, custom);
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override {
        return inner_->OnAddInsUpdate(custom);
    }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override {
        Sleep(StartupDelay);
        return inner_->OnStartupComplete(custom);
    }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override {
        return inner_->OnBeginShutdown(custom);
    }

private:
    ~SlowAddIn() = default;
    ULONG count_ = 1;
    ComRef<IDTExtensibility2> inner_;
};

inline HRESULT STDAPICALLTYPE ClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return WrappingClassObject<SlowAddIn>(clsid, iid, object);
}

} // namespace slowaddin
