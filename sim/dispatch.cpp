// The object framework: the register of live objects, the trace, faults,
// the client's clock, late-bound dispatch over member tables and connection
// points.
#include "dispatch_internal.h"
#include "world_internal.h"

namespace sim {

namespace {

size_t& ProcessLiveCount() {
    static size_t count = 0;
    return count;
}

} // namespace

size_t LiveObjectCount() {
    return ProcessLiveCount();
}

// ---- Tracked objects -----------------------------------------------------------------------

Tracked::Tracked(World* world, const char* className) : world_(world), class_(className) {
    serial_ = world_ ? world_->Register(this, className, &number_) : 0;
    ++ProcessLiveCount();
}

const std::string& Tracked::Name() const {
    if (name_.empty() && number_ != 0)
        name_ = std::string(class_) + "#" + std::to_string(number_);
    return name_;
}

Tracked::~Tracked() {
    if (world_)
        world_->Unregister(serial_);
    --ProcessLiveCount();
}

HRESULT Tracked::Query(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    void* p = nullptr;
    HRESULT hr = E_NOINTERFACE;
    if (!(world_ && world_->TakeQueryFault(class_, iid)) && (p = Find(iid)) != nullptr)
        hr = S_OK;
    if (world_ && world_->tracing)
        world_->Record(TraceKind::QueryInterface, Name(), "QueryInterface", IidName(iid), hr);
    if (p) {
        AddRefCount();
        *object = p;
    }
    return hr;
}

// ---- World: register, trace, faults --------------------------------------------------------

uint64_t World::Register(Tracked* object, const char* className, unsigned* number) {
    *number = ++classCounts_[className];
    uint64_t serial = nextSerial_++;
    live[serial] = object;
    return serial;
}

void World::Unregister(uint64_t serial) {
    live.erase(serial);
}

Tracked* World::FindTracked(IUnknown* object) const {
    if (!object)
        return nullptr;
    for (const auto& entry : live)
        if (entry.second->Owns(object))
            return entry.second;
    return nullptr;
}

size_t World::Record(TraceKind kind, const std::string& object, const std::string& member,
                     const std::string& args, HRESULT result) {
    if (!tracing)
        return static_cast<size_t>(-1);
    trace.push_back(TraceEntry{kind, object, member, args, result, std::string()});
    return trace.size() - 1;
}

void World::Complete(size_t entry, HRESULT result, const std::string& value) {
    if (entry < trace.size()) {
        trace[entry].result = result;
        trace[entry].value = value;
    }
}

bool World::TakeFault(const char* className, const char* member, HRESULT* hr, bool* raise) {
    ++calls;
    bool hit = false;
    for (auto it = faults.begin(); it != faults.end();) {
        Fault& f = *it;
        if ((f.member == "*" || SameText(f.member, member)) &&
            (f.className.empty() || SameText(f.className, className))) {
            if (f.skip > 0) {
                --f.skip;
            } else if (!hit && f.remaining > 0) {
                --f.remaining;
                *hr = f.hr;
                *raise = f.raise;
                hit = true;
            }
        }
        if (f.skip == 0 && f.remaining == 0)
            it = faults.erase(it);
        else
            ++it;
    }
    return hit;
}

bool World::TakeQueryFault(const char* className, REFIID iid) {
    for (auto it = queryFaults.begin(); it != queryFaults.end(); ++it) {
        if (!IsEqualIID(it->iid, iid) ||
            (!it->className.empty() && !SameText(it->className, className)))
            continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        if (it->remaining > 0 && --it->remaining == 0)
            queryFaults.erase(it);
        return true;
    }
    return false;
}

ClientClock::ClientClock(World* world) : world_(world && world->timing ? world : nullptr) {
    if (world_ && world_->timingDepth++ == 0)
        start_ = std::chrono::steady_clock::now();
}

ClientClock::~ClientClock() {
    if (world_ && --world_->timingDepth == 0)
        world_->clientTime += std::chrono::steady_clock::now() - start_;
}

// ---- DispatchObject -----------------------------------------------------------------------------

DispatchObject::DispatchObject(World* world, const char* className, MemberTable members,
                               std::vector<IID> iids, const IID* eventIid)
    : Tracked(world, className), members_(members), iids_(std::move(iids)) {
    if (eventIid)
        events_.reset(new ConnectionPoint(*this, *eventIid));
}

DispatchObject::~DispatchObject() = default;

void* DispatchObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch))
        return static_cast<IDispatch*>(this);
    if (events_ && IsEqualIID(iid, IID_IConnectionPointContainer))
        return static_cast<IConnectionPointContainer*>(this);
    for (const IID& mine : iids_)
        if (IsEqualIID(iid, mine))
            return static_cast<IDispatch*>(this);
    return nullptr;
}

bool DispatchObject::Owns(const void* p) {
    return p == static_cast<IDispatch*>(this) ||
           p == static_cast<IConnectionPointContainer*>(this) ||
           (events_ && p == static_cast<IConnectionPoint*>(events_.get()));
}

void DispatchObject::DropSinks() {
    if (events_)
        events_->DropAll();
}

size_t DispatchObject::SinkCount() const {
    return events_ ? events_->Count() : 0;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                        LCID, DISPID* ids) {
    if (!world_)
        return kDisconnected;
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const Member* members = members_.members;
    const size_t memberCount = members_.count;
    for (size_t m = 0; m < memberCount; ++m) {
        if (HasMember(m) && SameName(names[0], members[m].name)) {
            ids[0] = static_cast<DISPID>(m + 1);
            // Argument names are not known by name.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    std::string name =
        names[0] ? Narrow(names[0], std::char_traits<OLECHAR>::length(names[0])) : std::string();
    world_->Record(TraceKind::Name, Name(), name, "", DISP_E_UNKNOWNNAME);
    return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE DispatchObject::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result,
                                                 EXCEPINFO* excepInfo, UINT* argErr) {
    if (!world_)
        return kDisconnected;
    World* world = world_;
    ClientClock clock(world);
    const Member* members = members_.members;
    const size_t memberCount = members_.count;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (!IsEqualIID(riid, IID_NULL) || dispid < 1 || static_cast<size_t>(dispid) > memberCount ||
        !HasMember(static_cast<size_t>(dispid - 1)) || !params) {
        HRESULT hr = !IsEqualIID(riid, IID_NULL) ? DISP_E_UNKNOWNINTERFACE
                     : !params                   ? E_INVALIDARG
                                                 : DISP_E_MEMBERNOTFOUND;
        if (world->tracing)
            world->Record(put ? TraceKind::Put : TraceKind::Method, Name(),
                          "#" + std::to_string(dispid), "", hr);
        return hr;
    }
    const size_t index = static_cast<size_t>(dispid - 1);
    const Member& member = members[index];
    const TraceKind kind = put                               ? TraceKind::Put
                           : member.access == Access::Method ? TraceKind::Method
                                                             : TraceKind::Get;

    // The arguments as the caller passed them, in declared order.
    std::string args;
    const unsigned positional = params->cArgs - (put && params->cArgs > 0 ? 1 : 0);
    for (unsigned i = 0; world->tracing && i < positional; ++i) {
        if (i)
            args += ", ";
        args += Render(world, params->rgvarg[params->cArgs - 1 - i]);
    }
    if (world->tracing && put && params->cArgs > 0)
        args += std::string(positional ? " " : "") + "= " + Render(world, params->rgvarg[0]);
    // Untraced, the object's name is not made: a mailing makes tens of
    // thousands of calls.
    const size_t entry =
        world->tracing ? world->Record(kind, Name(), member.name, args) : static_cast<size_t>(-1);

    HRESULT hr = S_OK;
    if (put) {
        if (member.access != Access::GetPut ||
            ((flags & DISPATCH_PROPERTYPUTREF) && !member.objectValue) ||
            (!(flags & DISPATCH_PROPERTYPUTREF) && member.refOnly))
            hr = DISP_E_MEMBERNOTFOUND;
        else if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                 params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            hr = DISP_E_PARAMNOTOPTIONAL;
        else if (params->cArgs < 1)
            hr = DISP_E_BADPARAMCOUNT;
    } else if (params->cNamedArgs > 0) {
        hr = DISP_E_NONAMEDARGS;
    } else if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) {
        // Like the host, a read may be made as a method call and the reverse.
        hr = DISP_E_MEMBERNOTFOUND;
    }
    if (SUCCEEDED(hr) && (positional < member.minArgs || positional > member.maxArgs))
        hr = DISP_E_BADPARAMCOUNT;

    Call call(put, params, result, excepInfo, argErr);
    for (unsigned i = 0; SUCCEEDED(hr) && i < member.minArgs; ++i)
        if (call.Missing(i))
            hr = DISP_E_PARAMNOTOPTIONAL;
    if (SUCCEEDED(hr)) {
        std::string why;
        HRESULT fault;
        bool raise = false;
        if (HRESULT unusable = Unusable(&why); unusable != S_OK)
            hr = call.Raise(unusable, why);
        else if (world->TakeFault(ClassName(), member.name, &fault, &raise))
            hr = raise ? call.Raise(fault, "Simulated failure of " + std::string(member.name))
                       : fault;
        else
            hr = Dispatch(index, call);
    }
    world->Complete(entry, hr,
                    world->tracing && SUCCEEDED(hr) && !put ? Render(world, *call.Result()) : "");
    if (FAILED(hr) && result)
        VariantClear(result);
    return hr;
}

HRESULT STDMETHODCALLTYPE DispatchObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DispatchObject::FindConnectionPoint(REFIID riid,
                                                              IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!world_)
        return kDisconnected;
    const size_t entry =
        world_->Record(TraceKind::Connection, Name(), "FindConnectionPoint", IidName(riid));
    HRESULT hr;
    bool raise;
    if (world_->TakeFault(ClassName(), "FindConnectionPoint", &hr, &raise)) {
    } else if (!events_ || !IsEqualIID(riid, events_->Iid())) {
        hr = CONNECT_E_NOCONNECTION;
    } else {
        *point = events_.get();
        AddRef();
        hr = S_OK;
    }
    world_->Complete(entry, hr);
    return hr;
}

// ---- ConnectionPoint ----------------------------------------------------------------------------

ConnectionPoint::~ConnectionPoint() {
    std::vector<Sink> sinks;
    sinks.swap(sinks_);
    for (Sink& s : sinks)
        s.sink->Release();
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container)
        return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(&owner_);
    owner_.AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie)
        *cookie = 0;
    World* world = owner_.GetWorld();
    if (!world)
        return kDisconnected;
    const size_t entry =
        world->Record(TraceKind::Connection, owner_.Name(), "Advise", IidName(iid_));
    HRESULT hr;
    bool raise;
    if (!sink || !cookie) {
        hr = E_POINTER;
    } else if (world->TakeFault(owner_.ClassName(), "Advise", &hr, &raise)) {
    } else {
        // The sink must speak the event interface; a plain IDispatch will do.
        void* p = nullptr;
        if (FAILED(sink->QueryInterface(iid_, &p)) || !p)
            sink->QueryInterface(IID_IDispatch, &p);
        if (!p) {
            hr = CONNECT_E_CANNOTCONNECT;
        } else {
            Sink s{world->NextCookie(), static_cast<IDispatch*>(p)};
            sinks_.push_back(s);
            *cookie = s.cookie;
            hr = S_OK;
        }
    }
    world->Complete(entry, hr, SUCCEEDED(hr) ? "cookie " + std::to_string(*cookie) : "");
    return hr;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD cookie) {
    World* world = owner_.GetWorld();
    size_t entry = world ? world->Record(TraceKind::Connection, owner_.Name(), "Unadvise",
                                         "cookie " + std::to_string(cookie))
                         : 0;
    HRESULT hr = CONNECT_E_NOCONNECTION;
    IDispatch* released = nullptr;
    bool raise;
    if (world && world->TakeFault(owner_.ClassName(), "Unadvise", &hr, &raise)) {
    } else {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie == cookie) {
                released = it->sink;
                sinks_.erase(it);
                hr = S_OK;
                break;
            }
        }
    }
    if (world)
        world->Complete(entry, hr);
    // Last: the sink may go away, and with it the last hold on this container.
    if (released)
        released->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

void ConnectionPoint::DropAll() {
    std::vector<Sink> sinks;
    sinks.swap(sinks_);
    if (sinks.empty())
        return;
    owner_.AddRef();
    for (Sink& s : sinks)
        s.sink->Release();
    owner_.Release();
}

void ConnectionPoint::Fire(DISPID dispid, const char* eventName, VARIANTARG* args, UINT count,
                           const std::string& argText) {
    if (sinks_.empty())
        return;
    std::vector<DWORD> cookies;
    for (const Sink& s : sinks_)
        cookies.push_back(s.cookie);
    owner_.AddRef();
    for (DWORD cookie : cookies) {
        IDispatch* sink = nullptr;
        for (const Sink& s : sinks_)
            if (s.cookie == cookie)
                sink = s.sink;
        World* world = owner_.GetWorld();
        if (!sink || !world)
            continue;
        const bool hold = world->config.holdSinksDuringEvents;
        if (hold)
            sink->AddRef();
        const size_t entry = world->Record(TraceKind::Event, owner_.Name(), eventName,
                                           argText + " -> cookie " + std::to_string(cookie));
        DISPPARAMS params{args, nullptr, count, 0};
        // Without the hold the sink may be gone once Invoke returns.
        HRESULT hr = sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                  nullptr, nullptr, nullptr);
        if (World* still = owner_.GetWorld())
            still->Complete(entry, hr);
        if (hold)
            sink->Release();
    }
    owner_.Release();
}

} // namespace sim
