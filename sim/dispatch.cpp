// The object framework: text helpers, the register of live objects, the
// trace, faults, late-bound dispatch over member tables and connection points.
#include "dispatch_internal.h"
#include "world_internal.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

constexpr UINT kCodePage = 1252;

size_t& ProcessLiveCount() {
    static size_t count = 0;
    return count;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string StripAmpersands(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&')
            out += Lower(c);
    return out;
}

} // namespace

size_t LiveObjectCount() {
    return ProcessLiveCount();
}

// ---- Text ---------------------------------------------------------------------------------

OleString Wide(const std::string& ansi) {
    if (ansi.empty())
        return OleString();
    int n =
        MultiByteToWideChar(kCodePage, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (n <= 0)
        return OleString();
    OleString out(static_cast<size_t>(n), OLECHAR(0));
    MultiByteToWideChar(kCodePage, 0, ansi.data(), static_cast<int>(ansi.size()), &out[0], n);
    return out;
}

std::string Narrow(const OLECHAR* text, size_t length) {
    if (!text || length == 0)
        return std::string();
    int n = WideCharToMultiByte(kCodePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kCodePage, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::string Narrow(BSTR text) {
    return Narrow(text, text ? SysStringLen(text) : 0);
}

BSTR NewBstr(const std::string& ansi) {
    OleString wide = Wide(ansi);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

bool SameName(const OLECHAR* name, const char* member) {
    if (!name)
        return false;
    size_t i = 0;
    for (; member[i]; ++i) {
        OLECHAR c = name[i];
        if (c == 0 || c > 0x7F || Lower(static_cast<char>(c)) != Lower(member[i]))
            return false;
    }
    return name[i] == 0;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool SameCaption(const std::string& a, const std::string& b) {
    return StripAmpersands(a) == StripAmpersands(b);
}

std::string HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    return text;
}

std::string IidName(REFIID iid) {
    struct Known {
        const IID* iid;
        const char* name;
    };
    static const Known kKnown[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_IConnectionPointContainer, "IConnectionPointContainer"},
        {&IID_IConnectionPoint, "IConnectionPoint"},
        {&IID_IOleWindow, "IOleWindow"},
        {&IID_IStream, "IStream"},
        {&IID_ISequentialStream, "ISequentialStream"},
        {&IID_IMAPIProp, "IMAPIProp"},
        {&IID_IMessage, "IMessage"},
        {&IID_IMAPIStatus, "IMAPIStatus"},
        {&IID_IMAPITable, "IMAPITable"},
        {&IID_IMAPISession, "IMAPISession"},
        {&IID_IAddrBook, "IAddrBook"},
        {&IID_IExchExtCallback, "IExchExtCallback"},
        {&IID_IOutlookExtCallback, "IOutlookExtCallback"},
        {&IID__Application, "_Application"},
        {&IID__NameSpace, "_NameSpace"},
        {&IID__Explorer, "_Explorer"},
        {&IID__Inspector, "_Inspector"},
        {&IID_MAPIFolder, "MAPIFolder"},
        {&IID__Inspectors, "_Inspectors"},
        {&IID__MailItem, "_MailItem"},
        {&IID_ItemEvents, "ItemEvents"},
        {&IID_InspectorsEvents, "InspectorsEvents"},
        {&IID__CommandBars, "_CommandBars"},
        {&IID_CommandBar, "CommandBar"},
        {&IID_CommandBarControls, "CommandBarControls"},
        {&IID_CommandBarControl, "CommandBarControl"},
        {&IID_CommandBarPopup, "CommandBarPopup"},
        {&IID__CommandBarButton, "_CommandBarButton"},
        {&IID__CommandBarButtonEvents, "_CommandBarButtonEvents"},
    };
    for (const Known& k : kKnown)
        if (IsEqualIID(iid, *k.iid))
            return k.name;
    char text[64];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0],
                  iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5],
                  iid.Data4[6], iid.Data4[7]);
    return text;
}

std::string Quoted(const std::string& text) {
    const size_t kShown = 60;
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < kShown; ++i) {
        char c = text[i];
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    if (text.size() > kShown)
        out += "...";
    return out + "\"";
}

double VersionNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    double value = 0, scale = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    return value;
}

std::string HtmlFromText(const std::string& text) {
    std::string out = "<html><body>";
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        else if (c == '\n' || c == '\r')
            out += "<br>\r\n";
        else
            out += c;
    }
    return out + "</body></html>";
}

std::string TextFromHtml(const std::string& html) {
    std::string out;
    size_t i = 0;
    auto tagIs = [&](size_t at, const char* name) {
        size_t n = std::strlen(name);
        if (at + n > html.size())
            return false;
        for (size_t k = 0; k < n; ++k)
            if (Lower(html[at + k]) != name[k])
                return false;
        char after = at + n < html.size() ? html[at + n] : '>';
        return after == '>' || after == ' ' || after == '/';
    };
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            size_t end = html.find('>', i);
            if (end == std::string::npos)
                break;
            if (tagIs(i + 1, "br") || tagIs(i + 1, "/p") || tagIs(i + 1, "/div"))
                out += "\r\n";
            i = end + 1;
        } else if (c == '&') {
            static const struct {
                const char* entity;
                char c;
            } kEntities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&nbsp;", ' '}};
            bool done = false;
            for (const auto& e : kEntities) {
                size_t n = std::strlen(e.entity);
                if (html.compare(i, n, e.entity) == 0) {
                    out += e.c;
                    i += n;
                    done = true;
                    break;
                }
            }
            if (!done) {
                out += c;
                ++i;
            }
        } else if (c == '\r' || c == '\n') {
            ++i; // layout in the source is not text
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string Render(const World* world, const VARIANT& v) {
    char text[64];
    switch (v.vt) {
    case VT_EMPTY:
        return "Empty";
    case VT_NULL:
        return "Null";
    case VT_I2:
        return std::to_string(v.iVal);
    case VT_I4:
        return std::to_string(v.lVal);
    case VT_INT:
        return std::to_string(v.intVal);
    case VT_UI1:
        return std::to_string(v.bVal);
    case VT_UI2:
        return std::to_string(v.uiVal);
    case VT_UI4:
        return std::to_string(v.ulVal);
    case VT_UINT:
        return std::to_string(v.uintVal);
    case VT_I1:
        return std::to_string(static_cast<int>(v.cVal));
    case VT_R8:
        std::snprintf(text, sizeof text, "%g", v.dblVal);
        return text;
    case VT_BOOL:
        return v.boolVal ? "True" : "False";
    case VT_BSTR:
        return Quoted(Narrow(v.bstrVal));
    case VT_ERROR:
        return v.scode == DISP_E_PARAMNOTFOUND ? "missing" : "Error(" + HexCode(v.scode) + ")";
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        if (!v.punkVal)
            return "Nothing";
        if (world)
            if (Tracked* t = world->FindTracked(v.punkVal))
                return t->Name();
        return v.vt == VT_DISPATCH ? "IDispatch" : "IUnknown";
    }
    case VT_BYREF | VT_VARIANT:
        return v.pvarVal ? Render(world, *v.pvarVal) : "&?";
    case VT_BYREF | VT_BOOL:
        return v.pboolVal ? std::string("&") + (*v.pboolVal ? "True" : "False") : "&?";
    case VT_BYREF | VT_I4:
        return v.plVal ? "&" + std::to_string(*v.plVal) : "&?";
    case VT_BYREF | VT_BSTR:
        return v.pbstrVal ? "&" + Quoted(Narrow(*v.pbstrVal)) : "&?";
    default:
        std::snprintf(text, sizeof text, "vt(%u)", static_cast<unsigned>(v.vt));
        return text;
    }
}

// ---- Tracked objects -----------------------------------------------------------------------

Tracked::Tracked(World* world, const char* className) : world_(world), class_(className) {
    serial_ = world_ ? world_->Register(this, className, &name_) : 0;
    ++ProcessLiveCount();
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
    if (world_)
        world_->Record(TraceKind::QueryInterface, name_, "QueryInterface", IidName(iid), hr);
    if (p) {
        AddRefCount();
        *object = p;
    }
    return hr;
}

// ---- World: register, trace, faults --------------------------------------------------------

uint64_t World::Register(Tracked* object, const char* className, std::string* name) {
    unsigned n = ++classCounts_[className];
    *name = std::string(className) + "#" + std::to_string(n);
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

// ---- Call ------------------------------------------------------------------------------------

Call::Call(bool put, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr)
    : put_(put), params_(params), count_(params->cArgs - (put ? 1 : 0)),
      result_(result ? result : &scratch_), excep_(excep), argErr_(argErr) {
    VariantInit(&scratch_);
    VariantInit(result_);
}

Call::~Call() {
    VariantClear(&scratch_);
}

const VARIANT* Call::Raw(unsigned rgIndex) const {
    const VARIANT* v = &params_->rgvarg[rgIndex];
    while (v && v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    return v;
}

bool Call::Missing(unsigned i) const {
    if (i >= count_)
        return true;
    const VARIANT* v = Raw(Index(i));
    return !v || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

const VARIANT* Call::Arg(unsigned i) const {
    return Missing(i) ? nullptr : Raw(Index(i));
}

HRESULT Call::Mismatch(unsigned rgIndex) const {
    if (argErr_)
        *argErr_ = rgIndex;
    return DISP_E_TYPEMISMATCH;
}

HRESULT Call::Long(const VARIANT* v, unsigned rgIndex, LONG* out) const {
    switch (v ? v->vt : static_cast<VARTYPE>(VT_EMPTY)) {
    case VT_I2:
        *out = v->iVal;
        return S_OK;
    case VT_I4:
        *out = v->lVal;
        return S_OK;
    case VT_INT:
        *out = v->intVal;
        return S_OK;
    case VT_I1:
        *out = v->cVal;
        return S_OK;
    case VT_UI1:
        *out = v->bVal;
        return S_OK;
    case VT_UI2:
        *out = v->uiVal;
        return S_OK;
    case VT_UI4:
        *out = static_cast<LONG>(v->ulVal);
        return S_OK;
    case VT_UINT:
        *out = static_cast<LONG>(v->uintVal);
        return S_OK;
    case VT_BOOL:
        *out = v->boolVal ? -1 : 0;
        return S_OK;
    case VT_BYREF | VT_I4:
        if (v->plVal) {
            *out = *v->plVal;
            return S_OK;
        }
        break;
    default:
        break;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::Bool(const VARIANT* v, unsigned rgIndex, bool* out) const {
    if (v && v->vt == VT_BOOL) {
        *out = v->boolVal != 0;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) {
        *out = *v->pboolVal != 0;
        return S_OK;
    }
    LONG n;
    if (v && v->vt != VT_BSTR && SUCCEEDED(Long(v, rgIndex, &n))) {
        *out = n != 0;
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::String(const VARIANT* v, unsigned rgIndex, std::string* out) const {
    if (v && v->vt == VT_BSTR) {
        *out = Narrow(v->bstrVal);
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) {
        *out = Narrow(*v->pbstrVal);
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::Object(const VARIANT* v, unsigned rgIndex, IUnknown** out) const {
    if (v && (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN)) {
        *out = v->punkVal;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal) {
        *out = *v->ppdispVal;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_UNKNOWN) && v->ppunkVal) {
        *out = *v->ppunkVal;
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::ArgLong(unsigned i, LONG* out) const {
    return Long(Arg(i), Index(i), out);
}
HRESULT Call::ArgBool(unsigned i, bool* out) const {
    return Bool(Arg(i), Index(i), out);
}
HRESULT Call::ArgString(unsigned i, std::string* out) const {
    return String(Arg(i), Index(i), out);
}
HRESULT Call::ArgObject(unsigned i, IUnknown** out) const {
    return Object(Arg(i), Index(i), out);
}
HRESULT Call::ValueLong(LONG* out) const {
    return Long(Raw(0), 0, out);
}
HRESULT Call::ValueBool(bool* out) const {
    return Bool(Raw(0), 0, out);
}
HRESULT Call::ValueString(std::string* out) const {
    return String(Raw(0), 0, out);
}
HRESULT Call::ValueObject(IUnknown** out) const {
    return Object(Raw(0), 0, out);
}

HRESULT Call::ReturnLong(LONG value) {
    result_->vt = VT_I4;
    result_->lVal = value;
    return S_OK;
}

HRESULT Call::ReturnBool(bool value) {
    result_->vt = VT_BOOL;
    result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT Call::ReturnString(const std::string& ansi) {
    BSTR text = NewBstr(ansi);
    if (!text)
        return E_OUTOFMEMORY;
    result_->vt = VT_BSTR;
    result_->bstrVal = text;
    return S_OK;
}

HRESULT Call::ReturnObject(IDispatch* object) {
    result_->vt = VT_DISPATCH;
    result_->pdispVal = object;
    if (object)
        object->AddRef();
    return S_OK;
}

HRESULT Call::ReturnUnknown(IUnknown* object) {
    result_->vt = VT_UNKNOWN;
    result_->punkVal = object;
    if (object)
        object->AddRef();
    return S_OK;
}

HRESULT Call::ReturnNull() {
    result_->vt = VT_NULL;
    return S_OK;
}

HRESULT Call::Raise(HRESULT scode, const std::string& description) {
    if (excep_) {
        std::memset(excep_, 0, sizeof *excep_);
        excep_->bstrSource = NewBstr("Mail client (simulated)");
        excep_->bstrDescription = NewBstr(description);
        excep_->scode = scode;
    }
    return DISP_E_EXCEPTION;
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
    const size_t entry = world->Record(kind, Name(), member.name, args);

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
