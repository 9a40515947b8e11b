// The object model: application, namespace, folders, explorer, inspectors and
// items; the world's windows and the store's folders behind them.
#include "exchext_internal.h"
#include "model_internal.h"
#include "store_internal.h"

#include <algorithm>

namespace sim {

namespace {

constexpr LONG olApplication = 0;
constexpr LONG olNamespace = 1;
constexpr LONG olFolder = 2;
constexpr LONG olExplorer = 34;
constexpr LONG olInspector = 35;
constexpr LONG olInspectors = 61;
constexpr LONG olExplorers = 60;
constexpr LONG olFolderDeletedItems = 3;
constexpr LONG olFolderInbox = 6;
constexpr LONG olFolderDrafts = 16;

const char* const kMoved = "The item has been moved or deleted.";

HWND OrDesktop(HWND window) {
    return window ? window : GetDesktopWindow();
}

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

// Fires an item event whose one argument is Cancel; true when a sink set it.
bool FireCancellable(ItemObject* item, DISPID dispid, const char* eventName) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BYREF | VT_BOOL;
    arg.pboolVal = &cancel;
    item->Events()->Fire(dispid, eventName, &arg, 1, "&False");
    return cancel != VARIANT_FALSE;
}

} // namespace

const char* FolderName(FolderId id) {
    switch (id) {
    case kDrafts:
        return "Drafts";
    case kOutbox:
        return "Outbox";
    case kSentItems:
        return "Sent Items";
    case kDeletedItems:
        return "Deleted Items";
    case kInbox:
        return "Inbox";
    default:
        return "";
    }
}

FolderId FolderOf(LONG olFolder) {
    switch (olFolder) {
    case olFolderOutbox:
        return kOutbox;
    case olFolderSentMail:
        return kSentItems;
    case olFolderDeletedItems:
        return kDeletedItems;
    case olFolderInbox:
        return kInbox;
    case olFolderDrafts:
        return kDrafts;
    default:
        return kNoFolder;
    }
}

std::string BodyOf(const MessageData& data) {
    if (data.hasBody)
        return data.body;
    return data.html.empty() ? std::string() : TextFromHtml(data.html);
}

// ---- World --------------------------------------------------------------------------------

World::World(const Config& c)
    : config(c), version(VersionNumber(c.version)), explorerCreated(c.explorer),
      explorerShown(c.explorer) {}

World::~World() {
    Shutdown();
}

LONG World::SendReceiveId() const {
    if (config.sendReceiveControlId != kSendReceiveIdByVersion)
        return config.sendReceiveControlId;
    return version < 11 ? 5488 : 7095;
}

bool World::ExplorerActive() const {
    return explorerShown && explorerReads > config.explorerAfterPolls;
}

void World::Start() {
    app = Ptr<AppObject>::Adopt(new AppObject(this));
    nameSpace = Ptr<NamespaceObject>::Adopt(new NamespaceObject(this));
    for (int f = 0; f < kFolderCount; ++f)
        folders[f] = Ptr<FolderObject>::Adopt(new FolderObject(this, static_cast<FolderId>(f)));
    inspectors = Ptr<InspectorsObject>::Adopt(new InspectorsObject(this));
    explorers = Ptr<ExplorersObject>::Adopt(new ExplorersObject(this));
    session = Ptr<SessionObject>::Adopt(new SessionObject(this));
    spooler = Ptr<StatusObject>::Adopt(new StatusObject(this));
    explorer = Ptr<ExplorerObject>::Adopt(new ExplorerObject(this));
}

void World::Shutdown() {
    if (shuttingDown_)
        return;
    shuttingDown_ = true;
    BeginAddInShutdown();
    // The windows close without events, as when the client exits.
    while (!shown.empty())
        Hide(shown.back().Get());
    if (explorer)
        explorer->Teardown();
    // The client lets go of the extension and the add-ins, then of every
    // sink it was given.
    DisconnectAddIns();
    extension.Reset();
    std::vector<Tracked*> alive;
    for (const auto& entry : live) {
        entry.second->AddRefCount();
        alive.push_back(entry.second);
    }
    for (Tracked* t : alive)
        t->DropSinks();
    for (Tracked* t : alive)
        t->ReleaseCount();
    queue.clear();
    storeIndex.clear();
    store.clear();
    explorer.Reset();
    spooler.Reset();
    session.Reset();
    inspectors.Reset();
    explorers.Reset();
    for (auto& f : folders)
        f.Reset();
    nameSpace.Reset();
    app.Reset();
    // What the extension still holds is cut off from the client.
    for (const auto& entry : live)
        entry.second->Detach();
    live.clear();
    controls.clear();
}

std::vector<HRESULT> World::InstallIn(ULONG context, IDispatch* object) {
    std::vector<HRESULT> results;
    if (!extension)
        return results;
    Ptr<IExchExtCallback> callback =
        Ptr<IExchExtCallback>::Adopt(new CallbackObject(this, context, object));
    const size_t entry =
        Record(TraceKind::Event, "Extension", "Install", "context " + std::to_string(context));
    Ptr<IExchExt> keep = extension;
    HRESULT hr = keep->Install(callback.Get(), context, 0);
    Complete(entry, hr);
    results.push_back(hr);
    return results;
}

// ---- Windows ----------------------------------------------------------------------------------

Ptr<InspectorObject> World::InspectorFor(const MessageRef& data) {
    if (data->inspector)
        return Ptr<InspectorObject>(data->inspector);
    return Ptr<InspectorObject>::Adopt(new InspectorObject(this, data));
}

void World::Show(InspectorObject* inspector) {
    Ptr<InspectorObject> keep(inspector);
    inspector->shown = true;
    inspector->heldItem = ItemFor(inspector->Data());
    shown.push_back(keep);
    InstallIn(EECONTEXT_SENDNOTEMESSAGE, inspector);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = static_cast<IDispatch*>(inspector);
    inspectors->Events()->Fire(DISPID_InspectorsEvents_NewInspector, "NewInspector", &arg, 1,
                               inspector->Name());
    if (inspector->shown)
        ShowRibbon(inspector);
}

void World::Hide(InspectorObject* inspector) {
    Ptr<InspectorObject> keep(inspector);
    for (auto it = shown.begin(); it != shown.end(); ++it) {
        if (it->Get() == inspector) {
            shown.erase(it);
            break;
        }
    }
    inspector->Teardown();
}

bool World::CloseItem(const MessageRef& data, LONG saveMode, bool cancellable) {
    Ptr<InspectorObject> inspector(data->inspector);
    if (inspector && inspector->shown) {
        Ptr<ItemObject> item = ItemFor(data);
        if (FireCancellable(item.Get(), DISPID_ItemEvents_Close, "Close") && cancellable)
            return false;
    }
    if (saveMode != olDiscard && data->folder == kNoFolder && !data->gone)
        Place(data, kDrafts);
    if (inspector && inspector->shown)
        Hide(inspector.Get());
    return true;
}

MailClient::SendOutcome World::SendItem(const MessageRef& data) {
    if (data->recipients.empty())
        return MailClient::SendOutcome::NoRecipients;
    Ptr<ItemObject> item = ItemFor(data);
    if (FireCancellable(item.Get(), DISPID_ItemEvents_Send, "Send"))
        return MailClient::SendOutcome::Cancelled;
    Ptr<InspectorObject> inspector(data->inspector);
    if (!data->gone) {
        MessageRef outgoing = Move(data, kOutbox);
        Submit(outgoing);
    }
    if (inspector && inspector->shown)
        Hide(inspector.Get());
    return MailClient::SendOutcome::Sent;
}

// ---- The store ------------------------------------------------------------------------------

MessageRef World::NewMessage(const Draft& draft) {
    auto data = std::make_shared<MessageData>();
    data->number = nextMessageNumber++;
    data->hasSubject = draft.hasSubject;
    data->subject = draft.hasSubject ? draft.subject : std::string();
    data->hasBody = draft.hasBody;
    data->body = draft.hasBody ? draft.body : std::string();
    LONG format = draft.bodyFormat != olFormatUnspecified ? draft.bodyFormat
                  : !draft.html.empty()                   ? olFormatHTML
                                                          : config.newItemBodyFormat;
    data->editorFormat = format;
    if (format == olFormatHTML)
        data->html = draft.html.empty() ? HtmlFromText(draft.body) : draft.html;
    else if (format == olFormatRichText)
        data->html = draft.html;
    data->htmlPropertyAvailable = draft.htmlPropertyAvailable;
    data->nullMapiObject = draft.nullMapiObject;
    data->nullHtmlBody = draft.nullHtmlBody;
    data->mail = draft.mailItem;
    data->sent = draft.sent;
    data->window = draft.window;
    // The client resolves what the user typed in the compose window as it
    // shows it: an address of no address book becomes a one-off entry.
    for (Recipient r : draft.recipients) {
        if (r.entryId.empty()) {
            OneOffEntry entry;
            entry.displayName = r.displayName.empty() ? r.address : r.displayName;
            entry.addressType = r.addressType;
            entry.address = r.address;
            entry.noRichInfo = !r.sendRichInfo;
            r.entryId = MakeOneOffEntryId(entry);
        }
        data->recipients.push_back(RecipientRow{r, data->nextRowId++});
    }
    if (draft.sent)
        Place(data, kSentItems);
    return data;
}

MessageRef World::CopyMessage(const MessageData& from, FolderId folder) {
    auto data = std::make_shared<MessageData>(from);
    data->number = nextMessageNumber++;
    data->folder = kNoFolder;
    data->gone = false;
    data->submitted = false;
    data->htmlPropertyAvailable = true;
    data->nullMapiObject = false;
    data->nullHtmlBody = false;
    data->window = nullptr;
    data->item = nullptr;
    data->message = nullptr;
    data->inspector = nullptr;
    Place(data, folder);
    return data;
}

void World::Place(const MessageRef& data, FolderId folder) {
    data->folder = folder;
    std::string id = EntryIdOf(*data);
    if (storeIndex.count(id))
        return;
    store.push_back(data);
    storeIndex.emplace(std::move(id), std::prev(store.end()));
}

MessageRef World::Move(const MessageRef& data, FolderId folder) {
    if (data->folder == kNoFolder) {
        Place(data, folder);
        return data;
    }
    if (data->folder == folder)
        return data;
    auto moved = std::make_shared<MessageData>(*data);
    moved->number = nextMessageNumber++;
    moved->folder = folder;
    moved->item = nullptr;
    moved->message = nullptr;
    moved->inspector = nullptr;
    for (MessageRef& q : queue)
        if (q == data)
            q = moved;
    Remove(data);
    Place(moved, folder);
    return moved;
}

void World::Remove(const MessageRef& data) {
    data->gone = true;
    auto at = storeIndex.find(EntryIdOf(*data));
    if (at != storeIndex.end() && *at->second == data) {
        store.erase(at->second);
        storeIndex.erase(at);
    }
    queue.erase(std::remove(queue.begin(), queue.end(), data), queue.end());
}

MessageRef World::FindMessage(const std::string& entryId) const {
    auto at = storeIndex.find(entryId);
    return at == storeIndex.end() ? nullptr : *at->second;
}

Ptr<ItemObject> World::ItemFor(const MessageRef& data) {
    if (data->item)
        return Ptr<ItemObject>(data->item);
    return Ptr<ItemObject>::Adopt(new ItemObject(this, data));
}

Ptr<MessageObject> World::MessageFor(const MessageRef& data) {
    if (data->message)
        return Ptr<MessageObject>(data->message);
    return Ptr<MessageObject>::Adopt(new MessageObject(this, data));
}

HRESULT World::Submit(const MessageRef& data) {
    if (data->gone)
        return kObjectDeleted;
    if (data->recipients.empty())
        return MAPI_E_NO_RECIPIENTS;
    if (data->submitted)
        return MAPI_E_SUBMITTED;
    if (data->folder == kNoFolder)
        Place(data, kOutbox);
    data->submitted = true;
    queue.push_back(data);
    return S_OK;
}

ULONG World::NamedId(const GUID& set, ULONG kind, LONG id, const OleString& name, bool create) {
    for (const NamedProp& n : named)
        if (IsEqualGUID(n.set, set) && n.kind == kind &&
            (kind == MNID_ID ? n.id == id : n.name == name))
            return n.propId;
    if (!create)
        return 0;
    NamedProp n{set, kind, kind == MNID_ID ? id : 0, kind == MNID_ID ? OleString() : name,
                static_cast<ULONG>(0x8000 + named.size())};
    named.push_back(n);
    return n.propId;
}

int World::UseTnef(const MessageData& data) const {
    for (const NamedProp& n : named) {
        if (IsEqualGUID(n.set, PSETID_Common) && n.kind == MNID_ID && n.id == PidLidUseTnef) {
            auto it = data.extra.find(n.propId);
            if (it != data.extra.end() && PROP_TYPE(it->second.tag) == PT_BOOLEAN)
                return it->second.number ? 1 : 0;
        }
    }
    return -1;
}

MessageView ViewOf(const World& world, const MessageData& data) {
    MessageView v;
    v.entryId = HexBytes(EntryIdOf(data));
    v.folder = FolderName(data.folder);
    v.hasSubject = data.hasSubject;
    v.subject = data.subject;
    v.hasBody = data.hasBody;
    v.body = BodyOf(data);
    v.html = data.html;
    v.editorFormat = data.editorFormat;
    for (const RecipientRow& r : data.recipients)
        v.recipients.push_back(r.recipient);
    v.submitted = data.submitted;
    v.sent = data.sent;
    v.useTnef = world.UseTnef(data);
    v.sentFolder = data.sentFolder == kNoFolder ? "" : FolderName(data.sentFolder);
    return v;
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
};
const Member kNsMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"Type", Access::Get, 0, 0},        {"GetDefaultFolder", Access::Method, 1, 1},
    {"MAPIOBJECT", Access::Get, 0, 0},  {"SendAndReceive", Access::Method, 1, 1},
};
} // namespace

NamespaceObject::NamespaceObject(World* world)
    : DispatchObject(world, "NameSpace", kNsMembers, {IID__NameSpace}) {}

bool NamespaceObject::HasMember(size_t index) const {
    // Send/Receive on the namespace came with version 12.
    return index != kNsSendAndReceive || (world_ && world_->version >= 12);
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
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Folders --------------------------------------------------------------------------------

namespace {
enum FolderMember { kFolderApplication, kFolderClass, kFolderName, kFolderEntryId };
const Member kFolderMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Name", Access::Get, 0, 0},
    {"EntryID", Access::Get, 0, 0},
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

// ---- Items --------------------------------------------------------------------------------------

namespace {
enum ItemMember {
    kItemApplication,
    kItemClass,
    kItemParent,
    kItemSent,
    kItemGetInspector,
    kItemMapiObject,
    kItemSave,
    kItemCopy,
    kItemMove,
    kItemClose,
    kItemDelete,
    kItemSubject,
    kItemBody,
    kItemHtmlBody,
    kItemBodyFormat,
    kItemSaveSentMessageFolder,
    kItemEntryId,
    kItemTo,
};
const Member kItemMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Parent", Access::Get, 0, 0},
    {"Sent", Access::Get, 0, 0},
    {"GetInspector", Access::Get, 0, 0},
    {"MAPIOBJECT", Access::Get, 0, 0},
    {"Save", Access::Method, 0, 0},
    {"Copy", Access::Method, 0, 0},
    {"Move", Access::Method, 1, 1},
    {"Close", Access::Method, 1, 1},
    {"Delete", Access::Method, 0, 0},
    {"Subject", Access::GetPut, 0, 0},
    {"Body", Access::GetPut, 0, 0},
    {"HTMLBody", Access::GetPut, 0, 0},
    {"BodyFormat", Access::GetPut, 0, 0},
    {"SaveSentMessageFolder", Access::GetPut, 0, 0, true, true},
    {"EntryID", Access::Get, 0, 0},
    {"To", Access::Get, 0, 0},
};
} // namespace

ItemObject::ItemObject(World* world, const MessageRef& data)
    : DispatchObject(world, "MailItem", kItemMembers, {}, &IID_ItemEvents), data_(data) {
    data_->item = this;
}

ItemObject::~ItemObject() {
    if (data_->item == this)
        data_->item = nullptr;
}

void* ItemObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID__MailItem))
        return data_->mail ? static_cast<IDispatch*>(this) : nullptr;
    return DispatchObject::Find(iid);
}

HRESULT ItemObject::Unusable(std::string* description) const {
    if (!data_->gone)
        return S_OK;
    *description = kMoved;
    return kObjectDeleted;
}

HRESULT ItemObject::Dispatch(size_t index, Call& call) {
    World* w = world_;
    MessageData& d = *data_;
    if (call.IsPut()) {
        switch (index) {
        case kItemSubject: {
            std::string text;
            if (HRESULT hr = call.ValueString(&text); FAILED(hr))
                return hr;
            d.subject = text;
            d.hasSubject = true;
            return S_OK;
        }
        case kItemBody: {
            std::string text;
            if (HRESULT hr = call.ValueString(&text); FAILED(hr))
                return hr;
            d.body = text;
            d.hasBody = true;
            // An HTML message shows the new text as its HTML too.
            if (d.editorFormat == olFormatHTML)
                d.html = HtmlFromText(text);
            return S_OK;
        }
        case kItemHtmlBody: {
            std::string html;
            if (HRESULT hr = call.ValueString(&html); FAILED(hr))
                return hr;
            d.html = html;
            d.editorFormat = olFormatHTML;
            d.body = TextFromHtml(html);
            d.hasBody = true;
            return S_OK;
        }
        case kItemBodyFormat: {
            LONG format;
            if (HRESULT hr = call.ValueLong(&format); FAILED(hr))
                return hr;
            if (format < olFormatPlain || format > olFormatRichText)
                return call.Raise(E_INVALIDARG, "The body format is not valid.");
            if (format == olFormatPlain)
                d.html.clear();
            else if (format == olFormatHTML && d.html.empty())
                d.html = HtmlFromText(d.body);
            d.editorFormat = format;
            return S_OK;
        }
        case kItemSaveSentMessageFolder: {
            IUnknown* object;
            if (HRESULT hr = call.ValueObject(&object); FAILED(hr))
                return hr;
            if (!object) {
                d.sentFolder = kNoFolder;
                return S_OK;
            }
            FolderObject* folder = AsFolder(w, object);
            if (!folder)
                return DISP_E_TYPEMISMATCH;
            d.sentFolder = folder->Id();
            return S_OK;
        }
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    switch (index) {
    case kItemApplication:
        return call.ReturnObject(w->app.Get());
    case kItemClass:
        return call.ReturnLong(d.mail ? olMail : olPost);
    case kItemParent:
        return call.ReturnObject(d.folder == kNoFolder ? nullptr : w->folders[d.folder].Get());
    case kItemSent:
        return call.ReturnBool(d.sent);
    case kItemGetInspector: {
        Ptr<InspectorObject> inspector = w->InspectorFor(data_);
        return call.ReturnObject(inspector.Get());
    }
    case kItemMapiObject: {
        if (d.nullMapiObject)
            return call.ReturnUnknown(nullptr);
        Ptr<MessageObject> message = w->MessageFor(data_);
        return call.ReturnUnknown(static_cast<IMessage*>(message.Get()));
    }
    case kItemSave:
        if (d.folder == kNoFolder)
            w->Place(data_, kDrafts);
        return S_OK;
    case kItemCopy: {
        MessageRef copy = w->CopyMessage(d, d.folder == kNoFolder ? kDrafts : d.folder);
        Ptr<ItemObject> item = w->ItemFor(copy);
        return call.ReturnObject(item.Get());
    }
    case kItemMove: {
        IUnknown* object;
        if (HRESULT hr = call.ArgObject(0, &object); FAILED(hr))
            return hr;
        FolderObject* folder = object ? AsFolder(w, object) : nullptr;
        if (!folder)
            return call.Raise(E_INVALIDARG, "The destination is not a folder.");
        MessageRef moved = w->Move(data_, folder->Id());
        Ptr<ItemObject> item = w->ItemFor(moved);
        return call.ReturnObject(item.Get());
    }
    case kItemClose:
        return CloseByCall(w, this, data_, call);
    case kItemDelete: {
        Ptr<ItemObject> keep(this);
        MessageRef data = data_;
        w->CloseItem(data, olDiscard, false);
        if (data->folder == kNoFolder || data->folder == kDeletedItems)
            w->Remove(data);
        else
            w->Move(data, kDeletedItems);
        return S_OK;
    }
    case kItemSubject:
        return call.ReturnString(d.subject);
    case kItemBody:
        return call.ReturnString(BodyOf(d));
    case kItemHtmlBody:
        if (d.nullHtmlBody)
            return call.ReturnNull();
        return call.ReturnString(!d.html.empty() ? d.html
                                 : d.hasBody     ? HtmlFromText(d.body)
                                                 : std::string());
    case kItemBodyFormat:
        return call.ReturnLong(d.editorFormat);
    case kItemSaveSentMessageFolder:
        return call.ReturnObject(d.sentFolder == kNoFolder ? nullptr
                                                           : w->folders[d.sentFolder].Get());
    case kItemEntryId:
        return call.ReturnString(d.folder == kNoFolder ? std::string() : HexBytes(EntryIdOf(d)));
    case kItemTo: {
        std::string to;
        for (const RecipientRow& r : d.recipients) {
            if (r.recipient.type != MAPI_TO)
                continue;
            if (!to.empty())
                to += "; ";
            to += r.recipient.displayName.empty() ? r.recipient.address : r.recipient.displayName;
        }
        return call.ReturnString(to);
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
