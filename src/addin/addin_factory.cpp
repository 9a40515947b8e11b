#include "addin/addin_factory.h"

#include "addin/addin_object.h"
#include "compose/client_object.h"

#include <new>

namespace {

ULONG ServerLocks = 0;

class AddInFactory final : public ClientObject<IClassFactory> {
public:
    AddInFactory() : ClientObject(Counting::SourceHeld, {&IID_IUnknown, &IID_IClassFactory}) {}

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
            ++ServerLocks;
        else if (ServerLocks > 0)
            --ServerLocks;
        return S_OK;
    }
};

} // namespace

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

// Every object the client may call counts, whichever door made it: a sink
// or the extension object is called whether or not an add-in object is alive.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return ClientObjectsAlive == 0 && ServerLocks == 0 ? S_OK : S_FALSE;
}
