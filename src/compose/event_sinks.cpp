#include "compose/event_sinks.h"

#include "compose/compose_events.h"

#include <new>
#include <utility>

// ---- SinkConnection ------------------------------------------------------------------------

bool SinkConnection::Connect(IUnknown* source, REFIID eventIid, IUnknown* sink) {
    End();
    ComRef<IConnectionPointContainer> container;
    if (!source ||
        FAILED(source->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(container.Out()))) ||
        !container)
        return false;
    if (FAILED(container->FindConnectionPoint(eventIid, point_.Out())) || !point_)
        return false;
    DWORD cookie = 0;
    if (FAILED(point_->Advise(sink, &cookie)))
        return false;
    cookie_ = cookie;
    advised_ = true;
    return true;
}

HRESULT SinkConnection::End() {
    HRESULT hr = S_FALSE;
    ComRef<IConnectionPoint> point = std::move(point_);
    point_.Reset();
    if (advised_ && point) {
        advised_ = false;
        hr = point->Unadvise(cookie_);
    }
    advised_ = false;
    cookie_ = 0;
    return hr;
}

// ---- DispatchEventSink ---------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE DispatchEventSink::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE DispatchEventSink::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                           LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!ids || !names)
        return E_POINTER;
    if (count != 1)
        return E_INVALIDARG;
    ids[0] = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchEventSink::Invoke(DISPID dispid, REFIID iid, LCID, WORD,
                                                    DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                                    UINT*) {
    AddRef();
    const HRESULT hr = GuardClientCall(
        "Invoke", S_OK, [&]() -> HRESULT { return HandleInvoke(dispid, iid, params); });
    // The last use of this object: it may be gone once Release returns.
    Release();
    return hr;
}

HRESULT DispatchEventSink::HandleInvoke(DISPID dispid, REFIID iid, DISPPARAMS* params) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (dispid != handledDispid_)
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_POINTER;
    if (params->cArgs != argumentCount_)
        return DISP_E_BADPARAMCOUNT;
    // The event's object is its first declared argument: the last element.
    const VARIANT& object = params->rgvarg[params->cArgs - 1];
    if (object.vt != VT_DISPATCH)
        return S_OK;
    try {
        OnEvent(object.pdispVal);
    } catch (const HostError& error) {
        DebugTrace("   event 0x%lX: host error 0x%08lX\r\n", static_cast<unsigned long>(dispid),
                   static_cast<unsigned long>(error.Code()));
    }
    return S_OK;
}

bool DispatchEventSink::ConnectSink(IDispatch* source) {
    if (!source && ownerReleased_)
        RaiseHostError(E_POINTER);
    return connection_.Connect(source, eventIid_, static_cast<IDispatch*>(this));
}

void DispatchEventSink::End() {
    DisconnectSink();
    Release();
}

// ---- CInspectorsCollectionEventHandler -------------------------------------------------

CInspectorsCollectionEventHandler::CInspectorsCollectionEventHandler(Door door)
    : DispatchEventSink(Counting::SourceHeld, IID_InspectorsEvents), door_(door) {
    handledDispid_ = DISPID_InspectorsEvents_NewInspector;
    argumentCount_ = 1;
    DebugTrace("   CInspectorsCollectionEventHandler Constructor %p\r\n",
               static_cast<const void*>(this));
}

CInspectorsCollectionEventHandler*
CInspectorsCollectionEventHandler::Create(ComRef<IDispatch> inspectors, Door door) {
    CInspectorsCollectionEventHandler* handler =
        new (std::nothrow) CInspectorsCollectionEventHandler(door);
    if (!handler)
        return nullptr;
    if (!handler->ConnectSink(inspectors.Get())) {
        delete handler;
        return nullptr;
    }
    handler->inspectors_ = std::move(inspectors);
    return handler;
}

CInspectorsCollectionEventHandler::~CInspectorsCollectionEventHandler() {
    DebugTrace("   CInspectorsCollectionEventHandler Destructor %p\r\n",
               static_cast<const void*>(this));
    DisconnectSink();
}

void CInspectorsCollectionEventHandler::TraceCount(const char* what, ULONG count) {
    DebugTrace("   CInspectorsCollectionEventHandler::%s %lu (%p)\r\n", what,
               static_cast<unsigned long>(count), static_cast<const void*>(this));
}

void CInspectorsCollectionEventHandler::Stop() {
    // The collection's reference is the only one: hold one of our own so
    // that the Unadvise does not free the handler under its own connection.
    AddRef();
    DisconnectSink();
    inspectors_.Reset();
    Release();
}

void CInspectorsCollectionEventHandler::OnEvent(IDispatch* inspector) {
    OnNewInspector(inspector, this, door_);
}

// ---- CExplorersCollectionEventHandler --------------------------------------------------

CExplorersCollectionEventHandler::CExplorersCollectionEventHandler()
    : DispatchEventSink(Counting::SourceHeld, IID_ExplorersEvents) {
    handledDispid_ = DISPID_ExplorersEvents_NewExplorer;
    argumentCount_ = 1;
}

CExplorersCollectionEventHandler*
CExplorersCollectionEventHandler::Create(ComRef<IDispatch> explorers) {
    CExplorersCollectionEventHandler* handler = new (std::nothrow) CExplorersCollectionEventHandler;
    if (!handler)
        return nullptr;
    if (!handler->ConnectSink(explorers.Get())) {
        delete handler;
        return nullptr;
    }
    handler->explorers_ = std::move(explorers);
    return handler;
}

CExplorersCollectionEventHandler::~CExplorersCollectionEventHandler() {
    DisconnectSink();
}

void CExplorersCollectionEventHandler::Stop() {
    AddRef(); // the collection's reference goes during the Unadvise
    DisconnectSink();
    explorers_.Reset();
    Release();
}

void CExplorersCollectionEventHandler::OnEvent(IDispatch* explorer) {
    OnNewExplorer(explorer);
}

// ---- COptionsMenuEventHandler ----------------------------------------------------------

COptionsMenuEventHandler::COptionsMenuEventHandler()
    : DispatchEventSink(Counting::SourceHeld, IID__CommandBarButtonEvents) {
    handledDispid_ = DISPID_CommandBarButtonEvents_Click;
    argumentCount_ = 2;
}

COptionsMenuEventHandler* COptionsMenuEventHandler::Create(ComRef<IDispatch> control) {
    COptionsMenuEventHandler* handler = new (std::nothrow) COptionsMenuEventHandler;
    if (!handler)
        return nullptr;
    if (!handler->ConnectSink(control.Get())) {
        delete handler;
        return nullptr;
    }
    handler->control_ = std::move(control);
    return handler;
}

COptionsMenuEventHandler::~COptionsMenuEventHandler() {
    OnOptionsEntrySinkGone(this);
    DisconnectSink();
}

ComRef<IDispatch> COptionsMenuEventHandler::Disconnect() {
    AddRef(); // alive until disconnected, whatever the source lets go of
    ComRef<IDispatch> control = std::move(control_);
    DisconnectSink();
    // The last use of this object: it may be gone once Release returns.
    Release();
    return control;
}

void COptionsMenuEventHandler::OnEvent(IDispatch* control) {
    OnOptionsEntryClick(control);
}

// ---- CComposeButtonEventHandler --------------------------------------------------------

namespace {
CComposeButtonEventHandler* LiveButtonHandlers = nullptr;
} // namespace

CComposeButtonEventHandler::CComposeButtonEventHandler(LONG number)
    : DispatchEventSink(Counting::OwnerReleased, IID__CommandBarButtonEvents, true),
      number_(number) {
    handledDispid_ = DISPID_CommandBarButtonEvents_Click;
    argumentCount_ = 2;
    count_ = 1; // the owner's
    next_ = LiveButtonHandlers;
    LiveButtonHandlers = this;
}

CComposeButtonEventHandler::~CComposeButtonEventHandler() {
    for (CComposeButtonEventHandler** p = &LiveButtonHandlers; *p; p = &(*p)->next_) {
        if (*p == this) {
            *p = next_;
            break;
        }
    }
}

CComposeButtonEventHandler* CComposeButtonEventHandler::Create(LONG number) {
    return new (std::nothrow) CComposeButtonEventHandler(number);
}

void CComposeButtonEventHandler::Connect(IDispatch* control) {
    ConnectSink(control);
    control_ = control;
}

CComposeButtonEventHandler* CComposeButtonEventHandler::Attach(const ComRef<IDispatch>& control) {
    CComposeButtonEventHandler* handler = Create(0);
    if (!handler)
        return nullptr;
    try {
        handler->Connect(control.Get());
    } catch (const HostError&) {
        // Left unconnected: the window keeps its record, its button does nothing.
    }
    return handler;
}

CComposeButtonEventHandler* CComposeButtonEventHandler::Newest() {
    return LiveButtonHandlers;
}

void CComposeButtonEventHandler::OnEvent(IDispatch* control) {
    OnComposeButtonClick(control, number_, context_);
}

// ---- CItemEventHandler -----------------------------------------------------------------

CItemEventHandler::CItemEventHandler(ComposeContext* context)
    : DispatchEventSink(Counting::OwnerReleased, IID_ItemEvents), context_(context) {
    count_ = 1; // the owner's
}

CItemEventHandler* CItemEventHandler::Create(ComposeContext* context,
                                             const ComRef<IDispatch>& mailItem) {
    CItemEventHandler* handler = new (std::nothrow) CItemEventHandler(context);
    if (!handler)
        RaiseHostError(E_OUTOFMEMORY);
    // Without the item's events its window record would never hear Close and
    // would hold the inspector, the item and the button for good: the window
    // gets no record (and no button) instead.
    bool connected = false;
    try {
        connected = handler->ConnectSink(mailItem.Get());
    } catch (...) {
        delete handler;
        throw;
    }
    if (!connected) {
        delete handler;
        RaiseHostError(E_FAIL);
    }
    return handler;
}

HRESULT CItemEventHandler::HandleInvoke(DISPID dispid, REFIID iid, DISPPARAMS*) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if ((dispid == DISPID_ItemEvents_Close || dispid == DISPID_ItemEvents_Send) && context_) {
        // Once only: the record's end ends this handler too, once Invoke
        // lets go of it.
        ComposeContext* context = context_;
        context_ = nullptr;
        OnComposeItemClosed(context);
    }
    return S_OK;
}
