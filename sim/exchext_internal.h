// The callback object the client gives an Exchange client extension.
#pragma once

#include "core_internal.h"

namespace sim {

// ---- Exchange client-extension callbacks --------------------------------------------------------
class CallbackObject final : public IExchExtCallback, public IOutlookExtCallback, public Tracked {
public:
    CallbackObject(World* world, ULONG context, IDispatch* object);
    SIM_IUNKNOWN(IExchExtCallback)
    bool Owns(const void* p) override {
        return p == static_cast<IExchExtCallback*>(this) ||
               p == static_cast<IOutlookExtCallback*>(this);
    }
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetVersion(ULONG* version, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE GetMenu(HMENU* menu) override;
    HRESULT STDMETHODCALLTYPE GetToolbar(ULONG toolbarId, HWND* toolbar) override;
    HRESULT STDMETHODCALLTYPE GetSession(LPMAPISESSION* session, LPADRBOOK* addressBook) override;
    HRESULT STDMETHODCALLTYPE GetObject(LPMDB* store, LPMAPIPROP* object) override;
    HRESULT STDMETHODCALLTYPE GetSelectionCount(ULONG* count) override;
    HRESULT STDMETHODCALLTYPE GetSelectionItem(ULONG index, ULONG* entryIdSize, LPENTRYID* entryId,
                                               ULONG* type, LPSTR messageClass,
                                               ULONG messageClassSize, ULONG* messageFlags,
                                               ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetMenuPos(ULONG commandId, HMENU* menu, ULONG* first, ULONG* last,
                                         ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetSharedExtsDir(LPSTR directory, ULONG size, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetRecipients(LPADRLIST* recipients) override;
    HRESULT STDMETHODCALLTYPE SetRecipients(LPADRLIST recipients) override;
    HRESULT STDMETHODCALLTYPE GetNewMessageSite(ULONG composeInFolder, LPMAPIFOLDER folder,
                                                IPersistMessage* message, IMAPIMessageSite** site,
                                                IMAPIViewContext** viewContext,
                                                ULONG flags) override;
    HRESULT STDMETHODCALLTYPE RegisterModeless(IMAPIViewContext* viewContext, HWND window) override;
    // IOutlookExtCallback
    HRESULT STDMETHODCALLTYPE GetObject(IUnknown** object) override;
    HRESULT STDMETHODCALLTYPE GetOfficeCharacter(void** character) override;

private:
    ULONG context_;
    Ptr<IDispatch> object_;
};

} // namespace sim
