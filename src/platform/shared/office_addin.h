// The COM add-in interfaces through which current versions of the mail
// client load Quorvel: IDTExtensibility2 (connection and shutdown) and the
// ribbon's IRibbonExtensibility and IRibbonControl. The SDK headers of
// mingw-w64 do not declare them, so both builds use these declarations
// (published method order and signatures).
#pragma once

// How the client connected the add-in (OnConnection).
enum ext_ConnectMode {
    ext_cm_AfterStartup = 0,
    ext_cm_Startup = 1,
    ext_cm_External = 2,
    ext_cm_CommandLine = 3,
};
// Why it lets go of it (OnDisconnection).
enum ext_DisconnectMode {
    ext_dm_HostShutdown = 0,
    ext_dm_UserClosed = 1,
};

struct IDTExtensibility2 : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application,
                                                   ext_ConnectMode connectMode,
                                                   IDispatch* addInInstance,
                                                   SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode,
                                                      SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

struct IRibbonExtensibility : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) = 0;
};

struct IRibbonControl : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Id(BSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Context(IDispatch** context) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Tag(BSTR* tag) = 0;
};

constexpr IID IID_IDTExtensibility2 = {
    0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
constexpr IID IID_IRibbonExtensibility = {
    0x000C0396, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IRibbonControl = {0x000C0395, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The add-in's class: {5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}, ProgID "Quorvel.Connect".
constexpr CLSID CLSID_QuorvelAddIn = {
    0x5A0C6E3B, 0x2F41, 0x4C8E, {0x9D, 0x2A, 0x7B, 0x1E, 0x0C, 0x4F, 0x9A, 0x63}};
