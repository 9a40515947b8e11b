#include "extension/extension_object.h"

#include "client/host_application.h"
#include "client/host_state.h"
#include "compose/doors.h"
#include "compose/event_sinks.h"
#include "compose/options_menu.h"
#include "data/settings.h"
#include "dialogs/startup_problems.h"

#include <new>
#include <utility>

namespace {

// The locale of the Application lookup: LOCALE_SYSTEM_DEFAULT.
constexpr LCID kSystemLocale = 0x0800;
constexpr UINT kAttempts = 200;

} // namespace

TSAddIn::TSAddIn() : ClientObject<IExchExt>(Counting::Extension, {&IID_IUnknown, &IID_IExchExt}) {
    OpenDoor(Door::Extension);
    DebugTrace("   TSAddIn constructor\r\n");
}

TSAddIn::~TSAddIn() {
    DebugTrace("   TSAddIn destructor\r\n");
    application_.Reset();
    // The client lets go of its last extension object while it is still
    // there, before it logs off: the process-wide references go back now
    // rather than from a static destructor when the library unloads, under
    // the loader lock and after the session is gone.
    // A connected add-in still works with them.
    if (CloseDoor(Door::Extension)) {
        MapiSessionRef.Reset();
        ApplicationRef.Reset();
    }
}

ULONG TSAddIn::LiveCount() {
    return DoorsOpen(Door::Extension);
}

void TSAddIn::TraceCount(const char* what, ULONG count) {
    DebugTrace("   TSAddIn::%s %lu (%p)\r\n", what, static_cast<unsigned long>(count),
               static_cast<const void*>(this));
}

HRESULT STDMETHODCALLTYPE TSAddIn::Install(LPEXCHEXTCALLBACK callback, ULONG context, ULONG) {
    DebugTrace("   TSAddIn::Install mcontext = %lu\r\n", static_cast<unsigned long>(context));
    context_ = context;
    return GuardClientCall("TSAddIn::Install", S_FALSE, [&]() -> HRESULT {
        Attach(callback);
        switch (context) {
        case EECONTEXT_SESSION: {
            ComRef<IMAPISession> session;
            LPADRBOOK addressBook = nullptr;
            const HRESULT hr = callback->GetSession(session.Out(), &addressBook);
            if (addressBook) // not used; an IUnknown like every MAPI object
                reinterpret_cast<IUnknown*>(addressBook)->Release();
            if (FAILED(hr))
                RaiseHostError(hr);
            MapiSessionRef = std::move(session);
            return S_OK;
        }
        case EECONTEXT_VIEWER:
            GuardClientCall("TSAddIn::InstallInterface", 0, [&]() -> int {
                InstallInterface(callback);
                return 0;
            });
            return S_OK;
        case EECONTEXT_TASK:
            return S_OK;
        default:
            return S_FALSE;
        }
    });
}

void TSAddIn::Attach(IExchExtCallback* callback) {
    ComRef<IOutlookExtCallback> outlook =
        QueryAs<IOutlookExtCallback>(callback, IID_IOutlookExtCallback);
    if (!outlook)
        return;
    ComRef<IUnknown> object;
    if (FAILED(outlook->GetObject(object.Out())) || !object)
        return;
    ComRef<IDispatch> dispatch = QueryAs<IDispatch>(object.Get(), IID_IDispatch);
    object.Reset();
    if (!dispatch)
        return;

    Bstr name = Bstr::FromAnsi("Application");
    LPOLESTR names[] = {name.Get()};
    DISPID id = DISPID_UNKNOWN;
    Variant result;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, kSystemLocale, &id);
    if (SUCCEEDED(hr)) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        hr = dispatch->Invoke(id, IID_NULL, kSystemLocale, DISPATCH_METHOD, &none, result.Out(),
                              nullptr, nullptr);
    }
    dispatch.Reset();
    if (FAILED(hr) || result->vt != VT_DISPATCH || !result->pdispVal)
        return;

    application_ = QueryAs<IDispatch>(result->pdispVal, IID__Application);
    ApplicationRef = QueryAs<IDispatch>(result->pdispVal, IID__Application);
    if (!application_)
        RaiseHostError(E_POINTER);
    Utf8Text version = HostApplication::Version(application_.Get());
    HostVersion = ParseHostVersion(version.Get());
}

void TSAddIn::InstallInterface(IExchExtCallback*) {
    DebugTrace("   TSAddIn::InstallInterface %p\r\n", static_cast<const void*>(this));
    // The Tools entry is a convenience: a menu bar that refuses it must not
    // cost this explorer's compose windows their button.
    GuardClientCall("TSAddIn::InstallInterface options entry", 0, [&]() -> int {
        AddOptionsMenuEntry(kAttempts);
        return 0;
    });
    if (!application_)
        RaiseHostError(E_POINTER);
    ComRef<IDispatch> inspectors = HostApplication::Inspectors(application_.Get());
    if (inspectors)
        CInspectorsCollectionEventHandler::Create(std::move(inspectors));
}

extern "C" LPEXCHEXT CALLBACK ExchEntryPoint() {
    DebugTrace("   ExchEntryPoint\r\n");
    return GuardClientCall("ExchEntryPoint", static_cast<LPEXCHEXT>(nullptr), []() -> LPEXCHEXT {
        TellStartupProblems(StartLibraryOnce());
        return new (std::nothrow) TSAddIn;
    });
}
