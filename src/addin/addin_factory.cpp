#include "addin/addin_factory.h"

#include "addin/addin_object.h"
#include "compose/client_object.h"

#include <new>

namespace {

ULONG gFactories = 0;
ULONG gServerLocks = 0;

class AddInFactory final : public IClassFactory {
public:
    AddInFactory() { ++gFactories; }
    ~AddInFactory() { --gFactories; }
    AddInFactory(const AddInFactory&) = delete;
    AddInFactory& operator=(const AddInFactory&) = delete;

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
        if (count_ == 0)
            return 0;
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return GuardClientCall("AddInFactory::CreateInstance", E_FAIL, [&]() -> HRESULT {
            QuorvelAddIn* addIn = new (std::nothrow) QuorvelAddIn;
            if (!addIn)
                return E_OUTOFMEMORY;
            addIn->AddRef();
            const HRESULT hr = addIn->QueryInterface(iid, object);
            addIn->Release(); // freed here when the interface was refused
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++gServerLocks;
        else if (gServerLocks > 0)
            --gServerLocks;
        return S_OK;
    }

private:
    ULONG count_ = 0;
};

} // namespace

ULONG AddInServerLocks() {
    return gFactories + gServerLocks;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(clsid, CLSID_QuorvelAddIn))
        return CLASS_E_CLASSNOTAVAILABLE;
    AddInFactory* factory = new (std::nothrow) AddInFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

// Not while a sink or the extension object is still alive either: the client
// may call them whether or not an add-in object is.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return QuorvelAddIn::LiveCount() == 0 && AddInServerLocks() == 0 && gClientObjectsAlive == 0
               ? S_OK
               : S_FALSE;
}
