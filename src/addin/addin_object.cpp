#include "addin/addin_object.h"

#include "base/ascii_names.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "compose/button_face.h"
#include "compose/compose_button.h"
#include "compose/doors.h"
#include "compose/event_sinks.h"
#include "compose/options_menu.h"
#include "data/settings.h"
#include "dialogs/startup_problems.h"

#include <string>
#include <utility>

const char kRibbonComposeId[] = "Microsoft.Outlook.Mail.Compose";
const char kRibbonActionCallback[] = "OnQuorsendAction";
const char kRibbonImageCallback[] = "GetQuorsendImage";

namespace {

ULONG LiveAddIns = 0;
// The first version whose compose windows have a ribbon.
constexpr double kFirstRibbonVersion = 12.0;

enum : DISPID { kActionId = 1, kImageId = 2 };

void AppendEscaped(std::string& out, const char* text) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += *p;
        }
    }
}

// The compose ribbon's group: on the new message's main tab, after its
// own groups, one large button. In the 2006/01 customUI namespace, the only
// one version 12 reads; later versions read it too, and nothing here needs
// the 2009/07 schema.
std::string ComposeRibbonXml() {
    std::string xml = "<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\">"
                      "<ribbon><tabs><tab idMso=\"TabNewMailMessage\">"
                      "<group id=\"QuorvelGroup\" label=\"Quorvel\">"
                      "<button id=\"QuorsendButton\" size=\"large\" label=\"";
    AppendEscaped(xml, ComposeButtonCaption());
    xml += "\" screentip=\"";
    AppendEscaped(xml, ComposeButtonCaption());
    xml += "\" supertip=\"";
    AppendEscaped(xml, ComposeButtonTooltip());
    xml += "\" getImage=\"";
    xml += kRibbonImageCallback;
    xml += "\" onAction=\"";
    xml += kRibbonActionCallback;
    xml += "\"/></group></tab></tabs></ribbon></customUI>";
    return xml;
}

// The one argument of a callback, by value or by reference.
const VARIANT* Argument(DISPPARAMS* params) {
    if (!params || params->cArgs != 1 || !params->rgvarg)
        return nullptr;
    const VARIANT* v = &params->rgvarg[0];
    if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal)
        v = v->pvarVal;
    return v;
}

} // namespace

QuorvelAddIn::QuorvelAddIn()
    : ClientObject(
          Counting::SourceHeld,
          {&IID_IUnknown, &IID_IDispatch, &IID_IDTExtensibility2, {&IID_IRibbonExtensibility, 1}}) {
    ++LiveAddIns;
    DebugTrace("   QuorvelAddIn constructor\r\n");
}

QuorvelAddIn::~QuorvelAddIn() {
    DebugTrace("   QuorvelAddIn destructor\r\n");
    // A client that lets go without OnDisconnection still gets everything back.
    GuardClientCall("QuorvelAddIn destructor", 0, [this]() -> int {
        Disconnect(false);
        return 0;
    });
    --LiveAddIns;
}

ULONG QuorvelAddIn::LiveCount() {
    return LiveAddIns;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
    if (!names || !ids || count == 0)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    if (SameAsciiName(names[0], kRibbonActionCallback))
        ids[0] = kActionId;
    else if (SameAsciiName(names[0], kRibbonImageCallback))
        ids[0] = kImageId;
    else
        hr = DISP_E_UNKNOWNNAME;
    if (count > 1)
        hr = DISP_E_UNKNOWNNAME; // the callbacks have no named arguments
    return hr;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::Invoke(DISPID dispid, REFIID iid, LCID, WORD flags,
                                               DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                               UINT*) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (dispid != kActionId && dispid != kImageId)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    const VARIANT* control = Argument(params);
    if (!control)
        return DISP_E_BADPARAMCOUNT;
    if (control->vt != VT_DISPATCH)
        return DISP_E_TYPEMISMATCH;
    // The client holds the add-in while it calls it; the dialog may run a
    // whole mailing, during which the client may try to let go.
    AddRef();
    const HRESULT hr = GuardClientCall("QuorvelAddIn::Invoke", E_FAIL, [&]() -> HRESULT {
        return dispid == kActionId ? OnAction(control->pdispVal) : GetImage(result);
    });
    Release();
    return hr;
}

HRESULT QuorvelAddIn::OnAction(IDispatch* control) {
    ComRef<IRibbonControl> ribbon = QueryAs<IRibbonControl>(control, IID_IRibbonControl);
    if (!ribbon)
        return E_INVALIDARG;
    ComRef<IDispatch> context;
    const HRESULT hr = ribbon->get_Context(context.Out());
    if (FAILED(hr))
        return hr;
    if (!context)
        return S_OK;
    RibbonButtonClicked(context.Get());
    return S_OK;
}

HRESULT QuorvelAddIn::GetImage(VARIANT* result) {
    if (!result)
        return E_POINTER;
    VariantInit(result);
    IDispatch* picture = NewBitmapPicture(DataPaths.module, kFaceLargeBitmap);
    if (!picture)
        return E_FAIL;
    result->vt = VT_DISPATCH;
    result->pdispVal = picture;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::OnConnection(IDispatch* application, ext_ConnectMode mode,
                                                     IDispatch*, SAFEARRAY**) {
    DebugTrace("   QuorvelAddIn::OnConnection mode = %d\r\n", static_cast<int>(mode));
    if (!application)
        return E_POINTER;
    if (connected_)
        return S_OK;
    return GuardClientCall("QuorvelAddIn::OnConnection", E_FAIL, [&]() -> HRESULT {
        TellStartupProblems(StartLibraryOnce());
        Connect(application);
        // Connected at the client's start-up, the add-in hears
        // OnStartupComplete next; connected any other way (the user ticking
        // it in the COM Add-ins dialog, ext_cm_AfterStartup) it never does.
        if (mode != ext_cm_Startup)
            StartOptionsEntry();
        return S_OK;
    });
}

void QuorvelAddIn::Connect(IDispatch* application) {
    application_ = RequireAs<IDispatch>(application, IID__Application);
    connected_ = true;
    OpenDoor(Door::AddIn);
    if (!ApplicationRef) {
        ApplicationRef = application_;
        Utf8Text version = HostApplication::Version(application_.Get());
        HostVersion = ParseHostVersion(version.Get());
    }
    if (!MapiSessionRef) {
        ComRef<IDispatch> nameSpace = HostApplication::Session(application_.Get());
        ComRef<IUnknown> object = HostApplication::NameSpaceMapiObject(nameSpace.Get());
        MapiSessionRef = QueryAs<IMAPISession>(object.Get(), IID_IMAPISession);
    }
    if (HostVersion >= kFirstRibbonVersion)
        RibbonServesComposeWindows = true;
    ComRef<IDispatch> inspectors = HostApplication::Inspectors(application_.Get());
    if (inspectors) {
        inspectorsSink_ =
            CInspectorsCollectionEventHandler::Create(std::move(inspectors), Door::AddIn);
        if (inspectorsSink_)
            inspectorsSink_->AddRef(); // ours, beside the collection's
    }
}

void QuorvelAddIn::StartOptionsEntry() {
    // The entry is a convenience: whatever fails here leaves the connection
    // as it is.
    GuardClientCall("QuorvelAddIn::StartOptionsEntry", 0, [&]() -> int {
        if (!explorersSink_) {
            ComRef<IDispatch> explorers = HostApplication::Explorers(application_.Get());
            if (explorers) {
                explorersSink_ = CExplorersCollectionEventHandler::Create(std::move(explorers));
                if (explorersSink_)
                    explorersSink_->AddRef(); // ours, beside the collection's
            }
        }
        // No waiting for an explorer: a client started by another program
        // has none until the user opens one, and a client blocked here is a
        // client that disables slow add-ins.
        ComRef<IDispatch> explorer = HostApplication::ActiveExplorer(application_.Get());
        AddOptionsMenuEntryTo(explorer.Get());
        return 0;
    });
}

void QuorvelAddIn::Disconnect(bool userClosed) {
    if (CInspectorsCollectionEventHandler* sink = inspectorsSink_) {
        inspectorsSink_ = nullptr;
        sink->Stop();
        sink->Release();
    }
    if (CExplorersCollectionEventHandler* sink = explorersSink_) {
        explorersSink_ = nullptr;
        sink->Stop();
        sink->Release();
    }
    if (!connected_)
        return;
    connected_ = false;
    DestroyComposeInspectors(Door::AddIn);
    RibbonServesComposeWindows = false;
    application_.Reset();
    // The last of the two doors to close gives the client's objects back.
    if (CloseDoor(Door::AddIn)) {
        // Switched off while the client goes on: the Tools entry goes too.
        // At shutdown it goes with the client's menus.
        if (userClosed)
            RemoveOptionsMenuEntry();
        MapiSessionRef.Reset();
        ApplicationRef.Reset();
    }
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) {
    DebugTrace("   QuorvelAddIn::OnDisconnection mode = %d\r\n", static_cast<int>(mode));
    return GuardClientCall("QuorvelAddIn::OnDisconnection", E_FAIL, [&]() -> HRESULT {
        Disconnect(mode == ext_dm_UserClosed);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::OnAddInsUpdate(SAFEARRAY**) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::OnStartupComplete(SAFEARRAY**) {
    // The Tools entry, once for the process whichever door adds it first.
    // A client started by another program may have no explorer yet.
    return GuardClientCall("QuorvelAddIn::OnStartupComplete", S_OK, [&]() -> HRESULT {
        if (connected_)
            StartOptionsEntry();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::OnBeginShutdown(SAFEARRAY**) {
    return GuardClientCall("QuorvelAddIn::OnBeginShutdown", S_OK, [&]() -> HRESULT {
        Disconnect(false);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE QuorvelAddIn::GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) {
    if (!ribbonXml)
        return E_POINTER;
    *ribbonXml = nullptr;
    return GuardClientCall("QuorvelAddIn::GetCustomUI", E_FAIL, [&]() -> HRESULT {
        Utf8Text id = AnsiFromBstr(ribbonId);
        if (!id || std::string(id.Get()) != kRibbonComposeId)
            return S_OK;
        Bstr xml = Bstr::FromAnsi(ComposeRibbonXml().c_str());
        if (!xml.Get())
            return E_OUTOFMEMORY;
        RibbonServesComposeWindows = true;
        *ribbonXml = xml.Detach();
        return S_OK;
    });
}
