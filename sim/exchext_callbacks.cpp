// The Exchange client-extension callbacks: the window, the session and the
// object of the context the extension was installed in.
#include "exchext_internal.h"
#include "model_internal.h"
#include "store_internal.h"

namespace sim {

// ---- Exchange client-extension callbacks --------------------------------------------------------

CallbackObject::CallbackObject(World* world, ULONG context, IDispatch* object)
    : Tracked(world, "Callback"), context_(context), object_(object) {}

void* CallbackObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IExchExtCallback))
        return static_cast<IExchExtCallback*>(this);
    if (IsEqualIID(iid, IID_IOutlookExtCallback))
        return static_cast<IOutlookExtCallback*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetVersion(ULONG* version, ULONG flags) {
    MapiCall call(*this, "GetVersion", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!version)
        return call.Done(E_INVALIDARG);
    *version = static_cast<ULONG>(world_->version) << 16;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetWindow(HWND* window) {
    MapiCall call(*this, "GetWindow", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!window)
        return call.Done(E_INVALIDARG);
    *window = GetDesktopWindow();
    if (InspectorObject* inspector =
            dynamic_cast<InspectorObject*>(world_->FindTracked(object_.Get())))
        *window = inspector->Data()->window ? inspector->Data()->window : *window;
    else if (context_ == EECONTEXT_VIEWER && world_->config.explorerWindow)
        *window = world_->config.explorerWindow;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetMenu(HMENU* menu) {
    return FixedAnswer(*this, "GetMenu", MAPI_E_NO_SUPPORT, menu);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetToolbar(ULONG, HWND* toolbar) {
    return FixedAnswer(*this, "GetToolbar", MAPI_E_NO_SUPPORT, toolbar);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSession(LPMAPISESSION* session,
                                                     LPADRBOOK* addressBook) {
    MapiCall call(*this, "GetSession", "");
    if (session)
        *session = nullptr;
    if (addressBook)
        *addressBook = nullptr; // the product opens it from the session when it needs one
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!session && !addressBook)
        return call.Done(E_INVALIDARG);
    if (session) {
        *session = world_->session.Get();
        world_->session->AddRef();
    }
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetObject(LPMDB* store, LPMAPIPROP* object) {
    MapiCall call(*this, "GetObject(store)", "");
    if (store)
        *store = nullptr;
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    InspectorObject* inspector = dynamic_cast<InspectorObject*>(world_->FindTracked(object_.Get()));
    if (!inspector || !object)
        return call.Done(MAPI_E_NO_SUPPORT);
    Ptr<MessageObject> message = world_->MessageFor(inspector->Data());
    *object = static_cast<IMessage*>(message.Detach());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSelectionCount(ULONG* count) {
    MapiCall call(*this, "GetSelectionCount", "");
    if (!count)
        return call.Done(E_INVALIDARG);
    *count = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSelectionItem(ULONG, ULONG* entryIdSize,
                                                           LPENTRYID* entryId, ULONG*, LPSTR, ULONG,
                                                           ULONG*, ULONG) {
    return FixedAnswer(*this, "GetSelectionItem", MAPI_E_NO_SUPPORT, entryIdSize, entryId);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetMenuPos(ULONG, HMENU* menu, ULONG*, ULONG*, ULONG) {
    return FixedAnswer(*this, "GetMenuPos", MAPI_E_NO_SUPPORT, menu);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSharedExtsDir(LPSTR, ULONG, ULONG) {
    return FixedAnswer(*this, "GetSharedExtsDir", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetRecipients(LPADRLIST* recipients) {
    return FixedAnswer(*this, "GetRecipients", MAPI_E_NO_SUPPORT, recipients);
}

HRESULT STDMETHODCALLTYPE CallbackObject::SetRecipients(LPADRLIST) {
    return FixedAnswer(*this, "SetRecipients", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetNewMessageSite(ULONG, LPMAPIFOLDER, IPersistMessage*,
                                                            IMAPIMessageSite** site,
                                                            IMAPIViewContext** viewContext, ULONG) {
    return FixedAnswer(*this, "GetNewMessageSite", MAPI_E_NO_SUPPORT, site, viewContext);
}

HRESULT STDMETHODCALLTYPE CallbackObject::RegisterModeless(IMAPIViewContext*, HWND) {
    return FixedAnswer(*this, "RegisterModeless", S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetObject(IUnknown** object) {
    MapiCall call(*this, "GetObject", "");
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!object)
        return call.Done(E_INVALIDARG);
    if (!object_)
        return call.Done(E_FAIL);
    *object = object_.Get();
    object_->AddRef();
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetOfficeCharacter(void** character) {
    return FixedAnswer(*this, "GetOfficeCharacter", E_NOTIMPL, character);
}

} // namespace sim
