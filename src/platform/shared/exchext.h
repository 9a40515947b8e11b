// The Exchange client-extension interfaces through which the mail client loads
// Quorvel. The SDK headers of mingw-w64 do not declare them, so both builds
// use these declarations (published method order and signatures).
#pragma once

struct IExchExtCallback;
typedef IExchExtCallback* LPEXCHEXTCALLBACK;

struct IPersistMessage;
struct IMAPIMessageSite;
struct IMAPIViewContext;

// Context values of IExchExt::Install.
#define EECONTEXT_SESSION 0x00000001
#define EECONTEXT_VIEWER 0x00000002
#define EECONTEXT_REMOTEVIEWER 0x00000003
#define EECONTEXT_SEARCHVIEWER 0x00000004
#define EECONTEXT_ADDRBOOK 0x00000005
#define EECONTEXT_SENDNOTEMESSAGE 0x00000006
#define EECONTEXT_READNOTEMESSAGE 0x00000007
#define EECONTEXT_SENDPOSTMESSAGE 0x00000008
#define EECONTEXT_READPOSTMESSAGE 0x00000009
#define EECONTEXT_READREPORTMESSAGE 0x0000000A
#define EECONTEXT_SENDRESENDMESSAGE 0x0000000B
#define EECONTEXT_PROPERTYSHEETS 0x0000000C
#define EECONTEXT_ADVANCEDCRITERIA 0x0000000D
#define EECONTEXT_TASK 0x0000000E

struct IExchExt : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Install(LPEXCHEXTCALLBACK callback, ULONG context,
                                              ULONG flags) = 0;
};
typedef IExchExt* LPEXCHEXT;

struct IExchExtCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetVersion(ULONG* version, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMenu(HMENU* menu) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetToolbar(ULONG toolbarId, HWND* toolbar) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSession(LPMAPISESSION* session,
                                                 LPADRBOOK* addressBook) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObject(LPMDB* store, LPMAPIPROP* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSelectionCount(ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSelectionItem(ULONG index, ULONG* entryIdSize,
                                                       LPENTRYID* entryId, ULONG* type,
                                                       LPSTR messageClass, ULONG messageClassSize,
                                                       ULONG* messageFlags, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMenuPos(ULONG commandId, HMENU* menu, ULONG* first,
                                                 ULONG* last, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSharedExtsDir(LPSTR directory, ULONG size,
                                                       ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecipients(LPADRLIST* recipients) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecipients(LPADRLIST recipients) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNewMessageSite(ULONG composeInFolder, LPMAPIFOLDER folder,
                                                        IPersistMessage* message,
                                                        IMAPIMessageSite** site,
                                                        IMAPIViewContext** viewContext,
                                                        ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterModeless(IMAPIViewContext* viewContext,
                                                       HWND window) = 0;
};

// Outlook's addition to the callback: the object model of the context.
struct IOutlookExtCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetObject(IUnknown** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOfficeCharacter(void** character) = 0;
};

// {00020D11-0000-0000-C000-000000000046}
constexpr IID IID_IExchExt = {0x00020D11, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00020D10-0000-0000-C000-000000000046}
constexpr IID IID_IExchExtCallback = {0x00020D10, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0006720D-0000-0000-C000-000000000046}
constexpr IID IID_IOutlookExtCallback = {
    0x0006720D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
