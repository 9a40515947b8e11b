// The test-facing API of the simulated mail client.
#include "exchext_internal.h"
#include "model_internal.h"
#include "store_internal.h"

namespace sim {

namespace {

BarsObject* BarsOf(World* world, IDispatch* window) {
    auto* w = dynamic_cast<WindowObject*>(world->FindTracked(window));
    return w ? w->Bars() : nullptr;
}

InspectorObject* AsInspector(World* world, IDispatch* object) {
    return dynamic_cast<InspectorObject*>(world->FindTracked(object));
}

const char* KindText(TraceKind kind) {
    switch (kind) {
    case TraceKind::Get:
        return "get";
    case TraceKind::Put:
        return "put";
    case TraceKind::Method:
        return "call";
    case TraceKind::Name:
        return "name";
    case TraceKind::QueryInterface:
        return "qi";
    case TraceKind::Connection:
        return "connection";
    case TraceKind::Mapi:
        return "mapi";
    case TraceKind::Event:
        return "event";
    }
    return "";
}

} // namespace

std::string FormatTraceEntry(const TraceEntry& e) {
    std::string line = std::string(KindText(e.kind)) + " " + e.object + "." + e.member + "(" +
                       e.args + ") -> " + HexCode(e.result);
    if (!e.value.empty())
        line += " " + e.value;
    return line;
}

MailClient::MailClient(const Config& config) : world_(new World(config)) {
    world_->Start();
}

MailClient::~MailClient() {
    world_->Shutdown();
}

const Config& MailClient::GetConfig() const {
    return world_->config;
}

Ptr<IDispatch> MailClient::Application() {
    return Ptr<IDispatch>(world_->app.Get());
}

Ptr<IDispatch> MailClient::Explorer() {
    return Ptr<IDispatch>(world_->explorer.Get());
}

Ptr<IMAPISession> MailClient::Session() {
    return Ptr<IMAPISession>(world_->session.Get());
}

Ptr<IExchExtCallback> MailClient::NewCallback(ULONG context, IDispatch* object) {
    IDispatch* natural = object ? object
                         : context == EECONTEXT_VIEWER
                             ? static_cast<IDispatch*>(world_->explorer.Get())
                             : static_cast<IDispatch*>(world_->app.Get());
    return Ptr<IExchExtCallback>::Adopt(new CallbackObject(world_.get(), context, natural));
}

std::vector<HRESULT> MailClient::InstallExtension(IExchExt* extension) {
    if (world_->version >= 14.0)
        return std::vector<HRESULT>();
    world_->extension = Ptr<IExchExt>(extension);
    std::vector<HRESULT> results = world_->InstallIn(EECONTEXT_SESSION, world_->app.Get());
    for (HRESULT hr : world_->InstallIn(EECONTEXT_VIEWER, world_->explorer.Get()))
        results.push_back(hr);
    return results;
}

void MailClient::ReleaseExtension() {
    world_->extension.Reset();
}

Ptr<IDispatch> MailClient::OpenExplorer() {
    World* w = world_.get();
    if (!w->explorerCreated) {
        // The new window is in the collection when NewExplorer fires, and
        // becomes the active explorer only after it: the event "occurs after
        // the new Explorer object is created but before the explorer window
        // appears" (docs: "Explorers.NewExplorer event (Outlook)").
        w->explorerCreated = true;
        Ptr<IDispatch> keep(w->explorer.Get());
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_DISPATCH;
        arg.pdispVal = keep.Get();
        w->explorers->Events()->Fire(DISPID_ExplorersEvents_NewExplorer, "NewExplorer", &arg, 1,
                                     w->explorer->Name());
    }
    w->explorerShown = true;
    return Explorer();
}

Ptr<IDispatch> MailClient::OpenCompose(const Draft& draft) {
    MessageRef data = world_->NewMessage(draft);
    Ptr<InspectorObject> inspector = world_->InspectorFor(data);
    world_->Show(inspector.Get());
    return Ptr<IDispatch>(inspector.Get());
}

std::vector<Ptr<IDispatch>> MailClient::OpenInspectors() {
    std::vector<Ptr<IDispatch>> out;
    for (const Ptr<InspectorObject>& i : world_->shown)
        out.push_back(Ptr<IDispatch>(i.Get()));
    return out;
}

Ptr<IDispatch> MailClient::CurrentItem(IDispatch* inspector) {
    InspectorObject* i = AsInspector(world_.get(), inspector);
    if (!i)
        return Ptr<IDispatch>();
    Ptr<ItemObject> item = world_->ItemFor(i->Data());
    return Ptr<IDispatch>(item.Get());
}

bool MailClient::CloseInspector(IDispatch* inspector, LONG saveMode) {
    InspectorObject* i = AsInspector(world_.get(), inspector);
    if (!i || !i->shown)
        return false;
    Ptr<InspectorObject> keep(i);
    return world_->CloseItem(i->Data(), saveMode, true);
}

MailClient::SendOutcome MailClient::SendInspector(IDispatch* inspector) {
    InspectorObject* i = AsInspector(world_.get(), inspector);
    if (!i || !i->shown)
        return SendOutcome::Cancelled;
    Ptr<InspectorObject> keep(i);
    return world_->SendItem(i->Data());
}

Ptr<IDispatch> MailClient::FindControl(IDispatch* window, const std::string& bar,
                                       const std::string& caption) {
    BarsObject* bars = BarsOf(world_.get(), window);
    BarObject* b = bars ? bars->Bar(bar) : nullptr;
    if (!b)
        return Ptr<IDispatch>();
    ControlObject* c = SearchControls(
        b->controls.Get(), [&](ControlObject& c) { return SameCaption(c.caption, caption); });
    return Ptr<IDispatch>(c);
}

std::vector<Ptr<IDispatch>> MailClient::ControlsTagged(IDispatch* window, const std::string& tag) {
    std::vector<Ptr<IDispatch>> out;
    BarsObject* bars = BarsOf(world_.get(), window);
    if (!bars)
        return out;
    for (const Ptr<BarObject>& b : bars->bars)
        SearchControls(b->controls.Get(), [&](ControlObject& c) {
            if (c.tag == tag)
                out.push_back(Ptr<IDispatch>(&c));
            return false;
        });
    return out;
}

std::vector<Ptr<IDispatch>> MailClient::ControlsCaptioned(IDispatch* window,
                                                          const std::string& caption) {
    std::vector<Ptr<IDispatch>> out;
    BarsObject* bars = BarsOf(world_.get(), window);
    if (!bars)
        return out;
    for (const Ptr<BarObject>& b : bars->bars)
        SearchControls(b->controls.Get(), [&](ControlObject& c) {
            if (!c.deleted && SameCaption(c.caption, caption))
                out.push_back(Ptr<IDispatch>(&c));
            return false;
        });
    return out;
}

bool MailClient::Click(IDispatch* control) {
    ControlObject* c = AsControl(world_.get(), control);
    if (!c || c->deleted)
        return false;
    return world_->ClickBroadcast(c);
}

MailClient::ControlState MailClient::Inspect(IDispatch* control) {
    ControlState s;
    ControlObject* c = AsControl(world_.get(), control);
    if (!c) {
        s.deleted = true;
        return s;
    }
    s.type = c->type;
    s.id = c->id;
    s.faceId = c->faceId;
    s.style = c->style;
    s.oleUsage = c->oleUsage;
    s.caption = c->caption;
    s.tooltip = c->tooltip;
    s.tag = c->tag;
    s.parameter = c->parameter;
    s.bar = c->parent ? c->parent->barName : std::string();
    s.visible = c->visible;
    s.enabled = c->enabled;
    s.beginGroup = c->beginGroup;
    s.temporary = c->temporary;
    s.hasPicture = static_cast<bool>(c->picture);
    s.hasMask = static_cast<bool>(c->mask);
    s.facePastes = c->facePastes;
    s.face = c->face;
    s.sinks = c->SinkCount();
    s.deleted = c->deleted;
    s.index = c->Position();
    return s;
}

size_t MailClient::SinkCount(IDispatch* source) {
    auto* d = dynamic_cast<DispatchObject*>(world_->FindTracked(source));
    return d ? d->SinkCount() : 0;
}

std::vector<MessageView> MailClient::FolderContents(LONG olFolder) {
    const FolderId id = FolderOf(olFolder);
    std::vector<MessageView> out;
    if (id == kSentItems) {
        for (const SentRecord& r : world_->sentRecords) {
            MessageView v;
            v.entryId = HexBytes(MakeEntryId(kMessageEntry, r.number));
            v.folder = FolderName(kSentItems);
            v.hasSubject = true;
            v.subject = r.Subject();
            v.editorFormat = EDITOR_FORMAT_DONTKNOW;
            v.recipients = r.Recipients();
            v.sent = true;
            out.push_back(std::move(v));
        }
    }
    for (const MessageRef& m : world_->store)
        if (m->folder == id)
            out.push_back(ViewOf(*world_, *m));
    return out;
}

MessageView MailClient::View(IUnknown* itemOrMessage) {
    Tracked* t = world_->FindTracked(itemOrMessage);
    if (auto* item = dynamic_cast<ItemObject*>(t))
        return ViewOf(*world_, *item->Data());
    if (auto* message = dynamic_cast<MessageObject*>(t))
        return ViewOf(*world_, *message->Data());
    return MessageView();
}

size_t MailClient::QueuedCount() {
    return world_->queue.size();
}

void MailClient::RunSpooler() {
    world_->DeliverQueue(false);
}

size_t MailClient::HeldCount() {
    size_t held = 0;
    for (const MessageRef& data : world_->queue)
        if (!data->gone && data->submitted && world_->Held(*data))
            ++held;
    return held;
}

size_t MailClient::RunClockUntilReleased() {
    const size_t before = world_->deliveredCount;
    world_->DeliverQueue(false);
    for (;;) {
        unsigned long long next = 0;
        const unsigned long long now = world_->Now();
        for (const MessageRef& data : world_->queue) {
            const unsigned long long at = World::ReleaseTime(*data);
            if (!data->gone && data->submitted && at > now && (next == 0 || at < next))
                next = at;
        }
        if (next == 0)
            break;
        world_->clockAhead += next - now;
        const size_t queued = world_->queue.size();
        world_->DeliverQueue(false);
        if (world_->queue.size() == queued)
            break; // nothing could leave (the delivery folder cannot be written)
    }
    return world_->deliveredCount - before;
}

unsigned long long MailClient::ClientClock() const {
    return world_->Now();
}

void MailClient::AdvanceClientClock(unsigned long long ticks) {
    world_->clockAhead += ticks;
}

const std::vector<Delivery>& MailClient::Deliveries() const {
    return world_->deliveries;
}

size_t MailClient::DeliveredCount() const {
    return world_->deliveredCount;
}

const std::vector<NonDelivery>& MailClient::NonDeliveries() const {
    return world_->nonDeliveries;
}

unsigned MailClient::SendReceiveCount() const {
    return world_->sendReceives;
}

unsigned MailClient::FlushCount() const {
    return world_->flushes;
}

unsigned MailClient::ActiveExplorerReads() const {
    return world_->explorerReads;
}

void MailClient::FailCall(const std::string& member, unsigned nth, HRESULT hr, unsigned times) {
    size_t dot = member.find('.');
    Fault f{dot == std::string::npos ? "" : member.substr(0, dot),
            dot == std::string::npos ? member : member.substr(dot + 1),
            nth ? nth - 1 : 0,
            times,
            hr,
            false};
    world_->faults.push_back(f);
}

void MailClient::RaiseCall(const std::string& member, unsigned nth, HRESULT hr, unsigned times) {
    FailCall(member, nth, hr, times);
    world_->faults.back().raise = true;
}

void MailClient::FailCopy(unsigned k, HRESULT hr) {
    if (k)
        RaiseCall("MailItem.Copy", 1, hr, k);
}

void MailClient::FailQueryInterface(const IID& iid, const std::string& className, unsigned times,
                                    unsigned nth) {
    world_->queryFaults.push_back(QueryFault{iid, className, nth > 0 ? nth - 1 : 0, times});
}

void MailClient::ClearFaults() {
    world_->faults.clear();
    world_->queryFaults.clear();
}

unsigned long MailClient::CallCount() const {
    return world_->calls;
}

const std::vector<TraceEntry>& MailClient::Trace() const {
    return world_->trace;
}

void MailClient::ClearTrace() {
    world_->trace.clear();
}

void MailClient::SetTracing(bool on) {
    world_->tracing = on;
}

void MailClient::SetTiming(bool on) {
    world_->timing = on;
}

double MailClient::ClientSeconds() const {
    return std::chrono::duration<double>(world_->clientTime).count();
}

std::vector<TraceEntry> MailClient::Calls(const std::string& member,
                                          const std::string& object) const {
    std::vector<TraceEntry> out;
    for (const TraceEntry& e : world_->trace)
        if (SameText(e.member, member) && e.object.compare(0, object.size(), object) == 0)
            out.push_back(e);
    return out;
}

std::string MailClient::TraceText() const {
    std::string text;
    for (const TraceEntry& e : world_->trace)
        text += FormatTraceEntry(e) + "\n";
    return text;
}

std::string MailClient::NameOf(IUnknown* object) const {
    Tracked* t = world_->FindTracked(object);
    return t ? t->Name() : std::string();
}

size_t MailClient::LiveObjects() const {
    return world_->live.size();
}

} // namespace sim
