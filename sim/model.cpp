// The object model: application, namespace, folders, the explorer and
// inspector windows and their collections.
#include "model_internal.h"
#include "store_internal.h"

namespace sim {

namespace {

constexpr LONG olApplication = 0;
constexpr LONG olNamespace = 1;
constexpr LONG olFolder = 2;
constexpr LONG olExplorer = 34;
constexpr LONG olInspector = 35;
constexpr LONG olInspectors = 61;
constexpr LONG olExplorers = 60;

HWND OrDesktop(HWND window) {
    return window ? window : GetDesktopWindow();
}

} // namespace

// Close(SaveMode) of an inspector or of its item: the window closes as the
// user would close it (Close fires, and a sink may cancel).
HRESULT CloseByCall(World* world, IDispatch* self, const MessageRef& data, Call& call) {
    LONG mode;
    if (HRESULT hr = call.ArgLong(0, &mode); FAILED(hr))
        return hr;
    if (mode < olSave || mode > olPromptForSave)
        return call.Raise(E_INVALIDARG, "The save mode is not valid.");
    Ptr<IDispatch> keep(self);
    world->CloseItem(data, mode, true);
    return S_OK;
}

// ---- Application ----------------------------------------------------------------------------

namespace {
enum AppMember {
    kAppApplication,
    kAppClass,
    kAppSession,
    kAppVersion,
    kAppName,
    kAppInspectors,
    kAppActiveExplorer,
    kAppActiveInspector,
    kAppGetNamespace,
    kAppExplorers,
};
const Member kAppMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Session", Access::Get, 0, 0},
    {"Version", Access::Get, 0, 0},
    {"Name", Access::Get, 0, 0},
    {"Inspectors", Access::Get, 0, 0},
    {"ActiveExplorer", Access::Method, 0, 0},
    {"ActiveInspector", Access::Method, 0, 0},
    {"GetNamespace", Access::Method, 1, 1},
    {"Explorers", Access::Get, 0, 0},
};
} // namespace

AppObject::AppObject(World* world)
    : DispatchObject(world, "Application", kAppMembers, {IID__Application}) {}

HRESULT AppObject::Dispatch(size_t index, Call& call) {
    World* w = world_;
    switch (index) {
    case kAppApplication:
        return call.ReturnObject(this);
    case kAppClass:
        return call.ReturnLong(olApplication);
    case kAppSession:
        return call.ReturnObject(w->nameSpace.Get());
    case kAppVersion:
        return call.ReturnString(w->config.version);
    case kAppName:
        return call.ReturnString("Outlook");
    case kAppInspectors:
        return call.ReturnObject(w->inspectors.Get());
    case kAppActiveExplorer:
        ++w->explorerReads;
        return call.ReturnObject(w->ExplorerActive() ? w->explorer.Get() : nullptr);
    case kAppActiveInspector:
        return call.ReturnObject(w->shown.empty() ? nullptr : w->shown.back().Get());
    case kAppGetNamespace: {
        std::string type;
        if (HRESULT hr = call.ArgString(0, &type); FAILED(hr))
            return hr;
        if (!SameText(type, "MAPI"))
            return call.Raise(E_INVALIDARG, "The namespace type is not valid.");
        return call.ReturnObject(w->nameSpace.Get());
    }
    case kAppExplorers:
        return call.ReturnObject(w->explorers.Get());
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- NameSpace ---------------------------------------------------------------------------------

namespace {
enum NsMember {
    kNsApplication,
    kNsClass,
    kNsType,
    kNsGetDefaultFolder,
    kNsMapiObject,
    kNsSendAndReceive,
    kNsCurrentUser,
    kNsAccounts,
};
const Member kNsMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"Type", Access::Get, 0, 0},        {"GetDefaultFolder", Access::Method, 1, 1},
    {"MAPIOBJECT", Access::Get, 0, 0},  {"SendAndReceive", Access::Method, 1, 1},
    {"CurrentUser", Access::Get, 0, 0}, {"Accounts", Access::Get, 0, 0},
};
} // namespace

NamespaceObject::NamespaceObject(World* world)
    : DispatchObject(world, "NameSpace", kNsMembers, {IID__NameSpace}) {}

bool NamespaceObject::HasMember(size_t index) const {
    // Send/Receive on the namespace and its Accounts came with version 12.
    return (index != kNsSendAndReceive && index != kNsAccounts) ||
           (world_ && world_->version >= 12);
}

HRESULT NamespaceObject::Dispatch(size_t index, Call& call) {
    World* w = world_;
    switch (index) {
    case kNsApplication:
        return call.ReturnObject(w->app.Get());
    case kNsClass:
        return call.ReturnLong(olNamespace);
    case kNsType:
        return call.ReturnString("MAPI");
    case kNsGetDefaultFolder: {
        LONG which;
        if (HRESULT hr = call.ArgLong(0, &which); FAILED(hr))
            return hr;
        FolderId id = FolderOf(which);
        if (id == kNoFolder)
            return call.Raise(E_INVALIDARG, "The folder does not exist in this profile.");
        return call.ReturnObject(w->folders[id].Get());
    }
    case kNsMapiObject:
        return call.ReturnUnknown(static_cast<IMAPISession*>(w->session.Get()));
    case kNsSendAndReceive: {
        bool progress;
        if (HRESULT hr = call.ArgBool(0, &progress); FAILED(hr))
            return hr;
        w->DeliverQueue(true);
        return S_OK;
    }
    case kNsCurrentUser: {
        // NameSpace.CurrentUser (Outlook object model reference): the
        // profile's own mailbox, the one its messages are sent from; a
        // profile without one has none to give.
        if (w->config.senderAddress.empty())
            return call.Raise(E_FAIL, "The operation failed.");
        Recipient me;
        me.address = w->config.senderAddress;
        me.displayName = w->config.senderName;
        me.type = MAPI_TO;
        Ptr<RecipientObject> r = Ptr<RecipientObject>::Adopt(new RecipientObject(w, me));
        return call.ReturnObject(r.Get());
    }
    case kNsAccounts: {
        Ptr<AccountsObject> accounts = Ptr<AccountsObject>::Adopt(new AccountsObject(w));
        return call.ReturnObject(accounts.Get());
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Folders --------------------------------------------------------------------------------

namespace {
enum FolderMember { kFolderApplication, kFolderClass, kFolderName, kFolderEntryId, kFolderItems };
const Member kFolderMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0}, {"Name", Access::Get, 0, 0},
    {"EntryID", Access::Get, 0, 0},     {"Items", Access::Get, 0, 0},
};
} // namespace

FolderObject::FolderObject(World* world, FolderId id)
    : DispatchObject(world, "Folder", kFolderMembers, {IID_MAPIFolder}), id_(id) {}

HRESULT FolderObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kFolderApplication:
        return call.ReturnObject(world_->app.Get());
    case kFolderClass:
        return call.ReturnLong(olFolder);
    case kFolderName:
        return call.ReturnString(FolderName(id_));
    case kFolderEntryId:
        return call.ReturnString(HexBytes(FolderEntryId(id_)));
    case kFolderItems: {
        // A new collection each time, as the real client gives one: a Find
        // on one does not move another's FindNext.
        Ptr<ItemsObject> items = Ptr<ItemsObject>::Adopt(new ItemsObject(world_, id_));
        return call.ReturnObject(items.Get());
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

FolderObject* AsFolder(World* world, IUnknown* object) {
    return dynamic_cast<FolderObject*>(world->FindTracked(object));
}

// ---- Window objects -----------------------------------------------------------------------------

WindowObject::WindowObject(World* world, const char* className, MemberTable members, const IID& iid,
                           WindowKind kind)
    : DispatchObject(world, className, members, {iid}) {
    bars_ = Ptr<BarsObject>::Adopt(new BarsObject(world, kind));
}

void* WindowObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IOleWindow))
        return static_cast<IOleWindow*>(this);
    return DispatchObject::Find(iid);
}

bool WindowObject::Owns(const void* p) {
    return p == static_cast<IOleWindow*>(this) || DispatchObject::Owns(p);
}

HRESULT STDMETHODCALLTYPE WindowObject::GetWindow(HWND* window) {
    if (!window)
        return E_POINTER;
    *window = nullptr;
    if (!world_)
        return kDisconnected;
    MapiCall call(*this, "GetWindow", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    std::string why;
    if (HRESULT hr = Unusable(&why); hr != S_OK)
        return call.Done(hr, why);
    *window = OrDesktop(Handle());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE WindowObject::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

void WindowObject::Teardown() {
    if (bars_)
        bars_->DeleteAll();
}

// ---- Explorer ---------------------------------------------------------------------------------

namespace {
enum ExplorerMember { kExpApplication, kExpClass, kExpCommandBars, kExpCaption };
const Member kExplorerMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"CommandBars", Access::Get, 0, 0},
    {"Caption", Access::Get, 0, 0},
};
} // namespace

ExplorerObject::ExplorerObject(World* world)
    : WindowObject(world, "Explorer", kExplorerMembers, IID__Explorer, WindowKind::Explorer) {}

HWND ExplorerObject::Handle() const {
    return world_->config.explorerWindow;
}

HRESULT ExplorerObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kExpApplication:
        return call.ReturnObject(world_->app.Get());
    case kExpClass:
        return call.ReturnLong(olExplorer);
    case kExpCommandBars:
        return call.ReturnObject(bars_.Get());
    case kExpCaption:
        return call.ReturnString("Inbox - Mail");
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Inspectors collection -------------------------------------------------------------------

namespace {
enum InspectorsMember { kInsApplication, kInsClass, kInsCount, kInsItem };
const Member kInspectorsMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Method, 1, 1},
};
} // namespace

InspectorsObject::InspectorsObject(World* world)
    : DispatchObject(world, "Inspectors", kInspectorsMembers, {IID__Inspectors},
                     &IID_InspectorsEvents) {}

HRESULT InspectorsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kInsApplication:
        return call.ReturnObject(world_->app.Get());
    case kInsClass:
        return call.ReturnLong(olInspectors);
    case kInsCount:
        return call.ReturnLong(static_cast<LONG>(world_->shown.size()));
    case kInsItem:
        return ReturnItemAt(call, world_->shown);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Explorers collection --------------------------------------------------------------------

namespace {
enum ExplorersMember { kExpsApplication, kExpsClass, kExpsCount, kExpsItem };
const Member kExplorersMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Method, 1, 1},
};
} // namespace

// The connection point answers to the events' dispinterface, ExplorersEvents
// {00063078-...}, not to the collection's own _Explorers {0006300A-...}
// (docs: "Explorers.NewExplorer event (Outlook)", "ExplorersEvents").
ExplorersObject::ExplorersObject(World* world)
    : DispatchObject(world, "Explorers", kExplorersMembers, {IID__Explorers},
                     &IID_ExplorersEvents) {}

HRESULT ExplorersObject::Dispatch(size_t index, Call& call) {
    std::vector<Ptr<ExplorerObject>> open;
    if (world_->explorerCreated)
        open.push_back(world_->explorer);
    switch (index) {
    case kExpsApplication:
        return call.ReturnObject(world_->app.Get());
    case kExpsClass:
        return call.ReturnLong(olExplorers);
    case kExpsCount:
        return call.ReturnLong(static_cast<LONG>(open.size()));
    case kExpsItem:
        return ReturnItemAt(call, open);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Inspector ----------------------------------------------------------------------------------

namespace {
enum InspectorMember {
    kInspApplication,
    kInspClass,
    kInspCommandBars,
    kInspCurrentItem,
    kInspCaption,
    kInspClose,
};
const Member kInspectorMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"CommandBars", Access::Get, 0, 0}, {"CurrentItem", Access::Get, 0, 0},
    {"Caption", Access::Get, 0, 0},     {"Close", Access::Method, 1, 1},
};
} // namespace

InspectorObject::InspectorObject(World* world, const MessageRef& data)
    : WindowObject(world, "Inspector", kInspectorMembers, IID__Inspector, WindowKind::Inspector),
      data_(data) {
    data_->inspector = this;
}

InspectorObject::~InspectorObject() {
    if (data_ && data_->inspector == this)
        data_->inspector = nullptr;
}

HWND InspectorObject::Handle() const {
    return data_->window;
}

void InspectorObject::Teardown() {
    shown = false;
    closed = true;
    WindowObject::Teardown();
    heldItem.Reset();
}

HRESULT InspectorObject::Unusable(std::string* description) const {
    if (!closed)
        return S_OK;
    *description = "The inspector has been closed.";
    return E_FAIL;
}

HRESULT InspectorObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kInspApplication:
        return call.ReturnObject(world_->app.Get());
    case kInspClass:
        return call.ReturnLong(olInspector);
    case kInspCommandBars:
        return call.ReturnObject(bars_.Get());
    case kInspCurrentItem: {
        Ptr<ItemObject> item = world_->ItemFor(data_);
        return call.ReturnObject(item.Get());
    }
    case kInspCaption:
        return call.ReturnString((data_->subject.empty() ? "Untitled" : data_->subject) +
                                 " - Message");
    case kInspClose:
        return CloseByCall(world_, this, data_, call);
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
