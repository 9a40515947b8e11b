// The COM add-in the mail client connects at start-up from version 12 on:
// the second way in, beside the client-extension object. It reaches the
// client's application and session through OnConnection instead of the
// extension callbacks, and from there every compose window is handled by the
// same window records, sinks, dialogs and job as through the extension.
// Its ribbon button replaces the command-bar button where the client has a
// ribbon.
#pragma once

#include "compose/client_object.h"

// IUnknown, IDispatch and IDTExtensibility2 are answered with the
// IDTExtensibility2 pointer, IRibbonExtensibility with its own.
class QuorvelAddIn final : public ClientObject<IDTExtensibility2, IRibbonExtensibility> {
public:
    QuorvelAddIn();
    ~QuorvelAddIn() override;

    // IDispatch: the ribbon's callbacks, reached by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

    // IRibbonExtensibility: the compose-mail ribbon's group; an empty text
    // (S_OK) for every other ribbon.
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) override;

    // Add-in objects alive in the process.
    static ULONG LiveCount();

private:
    void Connect(IDispatch* application);
    // The Tools entry, without holding up the client: on the explorer there
    // is now, else on the first one NewExplorer brings.
    void StartOptionsEntry();
    void Disconnect(bool userClosed);
    HRESULT OnAction(IDispatch* control);
    HRESULT GetImage(VARIANT* result);

    bool connected_ = false;
    ComRef<IDispatch> application_;
    class CInspectorsCollectionEventHandler* inspectorsSink_ = nullptr; // held by the source
    class CExplorersCollectionEventHandler* explorersSink_ = nullptr;   // held by the source
};

// The ribbon's names, as the XML gives them and the client calls them.
extern const char kRibbonComposeId[];      // "Microsoft.Outlook.Mail.Compose"
extern const char kRibbonActionCallback[]; // onAction of the button
extern const char kRibbonImageCallback[];  // getImage of the button
