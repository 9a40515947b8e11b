// The world's windows and the store's folders and messages behind the object
// model: starting and shutting down the client, showing and closing windows,
// saving, moving and submitting messages.
#include "exchext_internal.h"
#include "model_internal.h"
#include "store_internal.h"

#include <algorithm>

namespace sim {

namespace {

constexpr LONG olFolderDeletedItems = 3;
constexpr LONG olFolderInbox = 6;
constexpr LONG olFolderDrafts = 16;

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
    LoadStore();
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
    CloseStore();
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
    data->htmlCodePage = draft.htmlCodePage;
    data->internetCodePageKnown = draft.internetCodePageKnown;
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
    for (const auto& [name, value] : draft.publicStrings) {
        const ULONG id = NamedId(kPsPublicStrings, MNID_STRING, 0, Wide(name), true);
        data->extra[id] = ExtraProp{PROP_TAG(PT_UNICODE, id), 0, value};
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
    data->wasSubmitted = false;
    data->persisted = false;
    data->storedAttachments.clear();
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
    moved->persisted = false;
    moved->storedAttachments.clear();
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
    ForgetOutbox(*data);
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
    // A persistent store has the message on disk before the call returns:
    // submitted is submitted, whatever happens to the process after.
    if (!PersistOutbox(*data)) {
        data->submitted = false;
        return MAPI_E_CALL_FAILED;
    }
    data->wasSubmitted = true;
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

namespace {

std::vector<std::pair<std::string, std::string>> PublicStringsOf(const World& world,
                                                                 const MessageData& data) {
    std::vector<std::pair<std::string, std::string>> strings;
    for (const World::NamedProp& n : world.named) {
        auto it = data.extra.find(n.propId);
        if (IsEqualGUID(n.set, kPsPublicStrings) && n.kind == MNID_STRING &&
            it != data.extra.end() && PROP_TYPE(it->second.tag) == PT_UNICODE)
            strings.emplace_back(Narrow(n.name.data(), n.name.size()), it->second.bytes);
    }
    return strings;
}

} // namespace

void World::TellDraftSaved(const MessageData& data) const {
    if (config.onDraftSaved && data.folder == kDrafts)
        config.onDraftSaved(PublicStringsOf(*this, data));
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
    v.releaseTime = World::ReleaseTime(data);
    for (const RecipientRow& r : data.recipients)
        v.recipients.push_back(r.recipient);
    v.submitted = data.submitted;
    v.sent = data.sent;
    v.useTnef = world.UseTnef(data);
    v.publicStrings = PublicStringsOf(world, data);
    v.sentFolder = data.sentFolder == kNoFolder ? "" : FolderName(data.sentFolder);
    return v;
}

} // namespace sim
