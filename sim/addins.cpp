// COM add-ins as the client loads them from version 9 (2000) on: from the
// user's and the machine's add-in keys through the library's class factory,
// connected at start-up and disconnected at shutdown or from the add-in
// manager; and, from version 12 (2007) on, the compose ribbon they declare,
// whose callbacks the client invokes by name.
#include "model_internal.h"

#include <cstring>
#include <utility>

namespace sim {
namespace {

const char kClassesKey[] = "Software\\Classes";
const char kNamespace2009[] = "http://schemas.microsoft.com/office/2009/07/customui";
const char kNamespace2006[] = "http://schemas.microsoft.com/office/2006/01/customui";

// Office 2000 (version 9) brought COM add-ins (IDTExtensibility2, the
// Addins keys; docs: "Developing COM Add-Ins for Microsoft Office 2000",
// "Customizing Outlook Using COM Add-Ins"); Office 2007 (12) the ribbon.
constexpr double kFirstComAddInVersion = 9.0;
constexpr double kFirstRibbonVersion = 12.0;
// The 2009/07 customUI schema came with Office 2010 (version 14); 2007
// validates the ribbon XML against the 2006/01 schema alone and rejects a
// document in any other namespace, where 2010 and later read both (docs:
// "Customizing the 2007 Office Fluent Ribbon for Developers", "Introduction
// to the Office 2010 Backstage View for Developers": the customUI14 schema).
constexpr double kFirst2009SchemaVersion = 14.0;

bool ReadString(HKEY root, const std::string& path, const char* name, std::string* out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[512];
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return false;
    buffer[size] = 0;
    *out = buffer;
    return true;
}

bool ReadDword(HKEY root, const std::string& path, const char* name, DWORD* out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = sizeof *out;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

std::vector<std::string> SubKeys(HKEY root, const char* path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
bool ParseClsid(const std::string& text, CLSID* out) {
    static const char kShape[] = "{########-####-####-####-############}";
    if (text.size() != sizeof kShape - 1)
        return false;
    unsigned char bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] != '#') {
            if (text[i] != kShape[i])
                return false;
            continue;
        }
        const int hi = HexDigit(text[i]);
        const int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0 || kShape[i + 1] != '#')
            return false;
        bytes[n++] = static_cast<unsigned char>(hi * 16 + lo);
        ++i;
    }
    out->Data1 =
        (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    out->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

// ---- The ribbon's XML: elements and their attributes, nothing more ----

struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string Attribute(const char* key) const {
        for (const auto& a : attributes)
            if (a.first == key)
                return a.second;
        return std::string();
    }
    bool Has(const char* key) const {
        for (const auto& a : attributes)
            if (a.first == key)
                return true;
        return false;
    }
};

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        static const std::pair<const char*, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool found = false;
        for (const auto& e : kEntities) {
            const size_t len = std::strlen(e.first);
            if (text.compare(i, len, e.first) == 0) {
                out += e.second;
                i += len - 1;
                found = true;
                break;
            }
        }
        if (!found)
            out += '&';
    }
    return out;
}

// The opening tags in document order; false on a tag that does not parse.
bool ParseElements(const std::string& xml, std::vector<Element>* out, std::string* error) {
    size_t i = 0;
    while ((i = xml.find('<', i)) != std::string::npos) {
        if (xml.compare(i, 2, "</") == 0 || xml.compare(i, 2, "<?") == 0 ||
            xml.compare(i, 4, "<!--") == 0) {
            i = xml.find('>', i);
            if (i == std::string::npos)
                break;
            continue;
        }
        Element e;
        size_t p = i + 1;
        while (p < xml.size() && xml[p] != ' ' && xml[p] != '>' && xml[p] != '/')
            e.name += xml[p++];
        for (;;) {
            while (p < xml.size() &&
                   (xml[p] == ' ' || xml[p] == '\n' || xml[p] == '\t' || xml[p] == '\r'))
                ++p;
            if (p >= xml.size()) {
                *error = "unterminated <" + e.name + ">";
                return false;
            }
            if (xml[p] == '>' || xml[p] == '/')
                break;
            const size_t eq = xml.find('=', p);
            if (eq == std::string::npos || eq + 1 >= xml.size() || xml[eq + 1] != '"') {
                *error = "attribute without a quoted value in <" + e.name + ">";
                return false;
            }
            const size_t end = xml.find('"', eq + 2);
            if (end == std::string::npos) {
                *error = "unterminated attribute in <" + e.name + ">";
                return false;
            }
            e.attributes.emplace_back(xml.substr(p, eq - p),
                                      Unescape(xml.substr(eq + 2, end - eq - 2)));
            p = end + 1;
        }
        out->push_back(std::move(e));
        i = p;
    }
    return true;
}

// A callback name the add-in's IDispatch knows.
bool KnowsName(IDispatch* dispatch, const std::string& name, DISPID* id) {
    OleString wide = Wide(name);
    LPOLESTR names[] = {&wide[0]};
    return dispatch && SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, id));
}

// ---- IRibbonControl ----

enum RibbonControlMember { kRcId, kRcContext, kRcTag };
const Member kRibbonControlMembers[] = {
    {"Id", Access::Get, 0, 0},
    {"Context", Access::Get, 0, 0},
    {"Tag", Access::Get, 0, 0},
};

class RibbonControlObject final : public DispatchObject, public IRibbonControl {
public:
    RibbonControlObject(World* world, std::string id, IDispatch* context)
        : DispatchObject(world, "RibbonControl", kRibbonControlMembers, {}), id_(std::move(id)),
          context_(context) {}

    IDispatch* AsDispatch() { return static_cast<DispatchObject*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Query(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefCount(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseCount(); }
    IUnknown* Identity() override { return AsDispatch(); }
    bool Owns(const void* p) override {
        return p == static_cast<IRibbonControl*>(this) || DispatchObject::Owns(p);
    }
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IRibbonControl))
            return static_cast<IRibbonControl*>(this);
        return DispatchObject::Find(iid);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return DispatchObject::GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return DispatchObject::GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return DispatchObject::GetIDsOfNames(riid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argErr) override {
        return DispatchObject::Invoke(member, riid, locale, flags, params, result, excepInfo,
                                      argErr);
    }

    HRESULT STDMETHODCALLTYPE get_Id(BSTR* id) override {
        if (!id)
            return E_POINTER;
        *id = NewBstr(id_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Context(IDispatch** context) override {
        if (!context)
            return E_POINTER;
        if (!world_)
            return kDisconnected;
        *context = context_.Get();
        if (*context)
            (*context)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* tag) override {
        if (!tag)
            return E_POINTER;
        *tag = NewBstr("");
        return S_OK;
    }

protected:
    HRESULT Dispatch(size_t index, Call& call) override {
        switch (index) {
        case kRcId:
            return call.ReturnString(id_);
        case kRcContext:
            return call.ReturnObject(context_.Get());
        default:
            return call.ReturnString("");
        }
    }

private:
    std::string id_;
    Ptr<IDispatch> context_;
};

Ptr<IDispatch> AddInDispatch(IDTExtensibility2* addIn) {
    Ptr<IDispatch> dispatch;
    if (addIn)
        addIn->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Out()));
    return dispatch;
}

// The compose ribbon's buttons of one add-in's XML; errors appended.
// The client shows nothing of an XML that breaks its schema: the add-in's
// ribbon is left out whole, as Office does (the "Show add-in user interface
// errors" option only reports it). A callback it cannot find by name is
// reported, the control stays.
std::vector<RibbonButton> ReadComposeRibbon(const std::string& progId, const std::string& xml,
                                            IDispatch* callbacks, double version,
                                            std::vector<std::string>* errors) {
    std::vector<RibbonButton> buttons;
    std::vector<Element> elements;
    std::string error;
    bool invalid = false;
    auto report = [&](const std::string& what) { errors->push_back(progId + ": " + what); };
    auto fail = [&](const std::string& what) {
        invalid = true;
        report(what);
    };
    if (!ParseElements(xml, &elements, &error)) {
        fail(error);
        return buttons;
    }
    if (elements.empty() || elements[0].name != "customUI") {
        fail("the root is not <customUI>");
        return buttons;
    }
    const std::string ns = elements[0].Attribute("xmlns");
    if (ns == kNamespace2009 && version < kFirst2009SchemaVersion)
        fail("<customUI> is in the 2009/07 namespace, which version " +
             std::to_string(static_cast<int>(version)) + " does not read");
    else if (ns != kNamespace2009 && ns != kNamespace2006)
        fail("<customUI> is not in the ribbon namespace");
    std::vector<std::string> ids;
    std::string tab, group, groupLabel;
    bool sawTab = false, sawGroup = false;
    auto checkCallback = [&](const Element& e, const char* attribute) {
        const std::string name = e.Attribute(attribute);
        DISPID id;
        if (!name.empty() && !KnowsName(callbacks, name, &id))
            report(std::string(attribute) + " callback \"" + name + "\" is not known");
    };
    for (const Element& e : elements) {
        if (e.Has("id")) {
            const std::string id = e.Attribute("id");
            if (id.empty())
                fail("<" + e.name + "> has an empty id");
            for (const std::string& seen : ids)
                if (seen == id)
                    fail("the id \"" + id + "\" is used twice");
            ids.push_back(id);
        }
        for (const char* callback : {"onAction", "getImage", "getLabel", "getEnabled", "onLoad"})
            checkCallback(e, callback);
        if (e.name == "tab") {
            sawTab = true;
            tab = e.Has("idMso") ? e.Attribute("idMso") : e.Attribute("id");
            if (tab.empty())
                fail("<tab> has neither id nor idMso");
        } else if (e.name == "group") {
            sawGroup = true;
            group = e.Attribute("id");
            groupLabel = e.Attribute("label");
            if (group.empty())
                fail("<group> has no id");
        } else if (e.name == "button") {
            RibbonButton b;
            b.progId = progId;
            b.id = e.Attribute("id");
            b.label = e.Attribute("label");
            b.size = e.Attribute("size");
            b.screentip = e.Attribute("screentip");
            b.supertip = e.Attribute("supertip");
            b.onAction = e.Attribute("onAction");
            b.getImage = e.Attribute("getImage");
            b.tab = tab;
            b.group = group;
            b.groupLabel = groupLabel;
            if (b.id.empty())
                fail("a <button> has no id");
            if (b.label.empty() && !e.Has("getLabel"))
                fail("<button id=\"" + b.id + "\"> has no label");
            if (!b.size.empty() && b.size != "large" && b.size != "normal")
                fail("<button id=\"" + b.id + "\"> has size \"" + b.size + "\"");
            if (b.onAction.empty())
                fail("<button id=\"" + b.id + "\"> names no onAction");
            buttons.push_back(std::move(b));
        }
    }
    if (!sawTab || !sawGroup)
        fail("no <tab> with a <group>");
    if (invalid)
        buttons.clear();
    return buttons;
}

// The add-in object of a registered ProgID, through its class (the user's
// classes over the machine's, as the merged view finds them) and the
// library's class factory. Null, with the reason in the load errors, when
// it cannot be had.
Ptr<IDTExtensibility2> CreateAddIn(World* w, ClassObjectFunction getClassObject,
                                   const std::string& progId) {
    const std::string classPath = std::string(kClassesKey) + "\\" + progId + "\\CLSID";
    std::string clsidText;
    CLSID clsid;
    if ((!ReadString(HKEY_CURRENT_USER, classPath, "", &clsidText) &&
         !ReadString(HKEY_LOCAL_MACHINE, classPath, "", &clsidText)) ||
        !ParseClsid(clsidText, &clsid)) {
        w->loadErrors.push_back(progId + ": no class for the ProgID");
        return Ptr<IDTExtensibility2>();
    }
    Ptr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Out()));
    Ptr<IDTExtensibility2> addIn;
    if (SUCCEEDED(hr) && factory)
        hr = factory->CreateInstance(nullptr, IID_IDTExtensibility2,
                                     reinterpret_cast<void**>(addIn.Out()));
    factory.Reset();
    if (FAILED(hr) || !addIn) {
        w->loadErrors.push_back(progId + ": the class could not be created " + HexCode(hr));
        return Ptr<IDTExtensibility2>();
    }
    return addIn;
}

const char* ModeName(ext_ConnectMode mode) {
    switch (mode) {
    case ext_cm_AfterStartup:
        return "ext_cm_AfterStartup";
    case ext_cm_Startup:
        return "ext_cm_Startup";
    default:
        return "ext_cm_External";
    }
}

// Office add-in resiliency: from version 15 (2013) on the client disables
// an add-in whose start-up takes longer than 1000 ms, OnConnection and
// OnStartupComplete each counting (docs: "Performance criteria for keeping
// add-ins enabled", "Support for keeping add-ins enabled").
constexpr DWORD kStartupBudgetMs = 1000;
constexpr double kFirstResilientVersion = 15.0;

// The compose-mail ribbon is the one of an unsent mail item's window.
bool IsComposeWindow(InspectorObject* inspector) {
    const MessageRef& data = inspector->Data();
    return data && data->mail && !data->sent;
}

} // namespace

// ---- World ----------------------------------------------------------------------------------

void World::ShowRibbon(InspectorObject* inspector) {
    // A read window (a sent message, a post) shows the read ribbon, not the
    // compose one, so no add-in's compose buttons.
    if (version < kFirstRibbonVersion || !IsComposeWindow(inspector))
        return;
    for (size_t n = 0; n < addIns.size(); ++n) {
        if (!addIns[n].object)
            continue;
        Ptr<IDTExtensibility2> keep = addIns[n].object;
        const std::string progId = addIns[n].progId;
        if (!addIns[n].ribbonAsked) {
            addIns[n].ribbonAsked = true;
            Ptr<IRibbonExtensibility> ribbon;
            if (FAILED(keep->QueryInterface(IID_IRibbonExtensibility,
                                            reinterpret_cast<void**>(ribbon.Out()))))
                continue;
            BSTR id = NewBstr(kComposeRibbonId);
            BSTR xml = nullptr;
            const size_t entry = Record(TraceKind::Event, "AddIn " + progId, "GetCustomUI",
                                        Quoted(kComposeRibbonId));
            const HRESULT hr = ribbon->GetCustomUI(id, &xml);
            Complete(entry, hr);
            SysFreeString(id);
            const std::string text = xml ? Narrow(xml) : std::string();
            SysFreeString(xml);
            if (FAILED(hr)) {
                loadErrors.push_back(progId + ": GetCustomUI failed " + HexCode(hr));
                continue;
            }
            if (text.empty())
                continue;
            Ptr<IDispatch> callbacks = AddInDispatch(keep.Get());
            std::vector<RibbonButton> buttons =
                ReadComposeRibbon(progId, text, callbacks.Get(), version, &loadErrors);
            if (n < addIns.size() && addIns[n].object.Get() == keep.Get())
                addIns[n].buttons = std::move(buttons);
        }
        // Each window loads its buttons' images.
        if (n >= addIns.size())
            break;
        for (size_t b = 0; b < addIns[n].buttons.size(); ++b) {
            const std::string getImage = addIns[n].buttons[b].getImage;
            if (getImage.empty())
                continue;
            Ptr<IDispatch> callbacks = AddInDispatch(keep.Get());
            DISPID dispid;
            if (!KnowsName(callbacks.Get(), getImage, &dispid))
                continue;
            Ptr<RibbonControlObject> control =
                Ptr<RibbonControlObject>::Adopt(new RibbonControlObject(
                    this, addIns[n].buttons[b].id, static_cast<IDispatch*>(inspector)));
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_DISPATCH;
            arg.pdispVal = static_cast<IRibbonControl*>(control.Get());
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            VARIANT result;
            VariantInit(&result);
            const size_t entry =
                Record(TraceKind::Event, "AddIn " + progId, getImage, addIns[n].buttons[b].id);
            const HRESULT hr = callbacks->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                 &result, nullptr, nullptr);
            Complete(entry, hr);
            const bool picture = SUCCEEDED(hr) &&
                                 (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) &&
                                 result.punkVal;
            if (n < addIns.size() && b < addIns[n].buttons.size()) {
                RibbonButton& button = addIns[n].buttons[b];
                if (picture)
                    RecordPictureBitmap(result.punkVal, &button.imageWidth, &button.imageHeight,
                                        &button.imageBitsPixel, &button.imagePixels);
            }
            VariantClear(&result);
            if (n < addIns.size() && b < addIns[n].buttons.size()) {
                if (picture)
                    ++addIns[n].buttons[b].imagesLoaded;
                else
                    loadErrors.push_back(progId + ": " + getImage + " gave no picture");
            }
        }
    }
}

HRESULT World::TimedAddInCall(const std::string& progId, IDTExtensibility2* addIn, const char* call,
                              ext_ConnectMode mode, bool* slow) {
    const bool startupComplete = std::strcmp(call, "OnStartupComplete") == 0;
    const size_t entry =
        Record(TraceKind::Event, "AddIn " + progId, call, startupComplete ? "" : ModeName(mode));
    SAFEARRAY* custom = nullptr;
    // Natively the substitute's virtual clock, which the add-in's Sleep
    // advances; under Windows the real one.
    const DWORD began = GetTickCount();
    const HRESULT hr = startupComplete ? addIn->OnStartupComplete(&custom)
                                       : addIn->OnConnection(static_cast<IDispatch*>(app.Get()),
                                                             mode, nullptr, &custom);
    const DWORD took = GetTickCount() - began;
    Complete(entry, hr);
    addInTimings.push_back(AddInTiming{progId, call, took});
    *slow = version >= kFirstResilientVersion && took > kStartupBudgetMs;
    if (*slow)
        loadErrors.push_back(progId + ": " + call + " took " + std::to_string(took) +
                             " ms, more than " + std::to_string(kStartupBudgetMs) +
                             " ms: the add-in is disabled");
    return hr;
}

void World::DisableAddIn(const std::string& progId) {
    // The user is told and the add-in goes; here it is let go at once, so
    // that nothing of it runs on in the client.
    disabledAddIns.push_back(progId);
    for (auto it = addIns.begin(); it != addIns.end(); ++it) {
        if (!SameText(it->progId, progId))
            continue;
        AddIn leaving = std::move(*it);
        addIns.erase(it);
        SAFEARRAY* custom = nullptr;
        const size_t entry = Record(TraceKind::Event, "AddIn " + leaving.progId, "OnDisconnection",
                                    "ext_dm_UserClosed");
        Complete(entry, leaving.object->OnDisconnection(ext_dm_UserClosed, &custom));
        leaving.object.Reset();
        return;
    }
}

void World::BeginAddInShutdown() {
    for (size_t n = 0; n < addIns.size(); ++n) {
        Ptr<IDTExtensibility2> keep = addIns[n].object;
        if (!keep)
            continue;
        SAFEARRAY* custom = nullptr;
        const size_t entry =
            Record(TraceKind::Event, "AddIn " + addIns[n].progId, "OnBeginShutdown", "");
        Complete(entry, keep->OnBeginShutdown(&custom));
    }
}

void World::DisconnectAddIns() {
    std::vector<AddIn> leaving;
    leaving.swap(addIns);
    for (AddIn& a : leaving) {
        if (!a.object)
            continue;
        SAFEARRAY* custom = nullptr;
        const size_t entry =
            Record(TraceKind::Event, "AddIn " + a.progId, "OnDisconnection", "ext_dm_HostShutdown");
        Complete(entry, a.object->OnDisconnection(ext_dm_HostShutdown, &custom));
        a.object.Reset();
    }
}

// ---- MailClient -------------------------------------------------------------------------------

std::vector<std::string> MailClient::LoadComAddIns(ClassObjectFunction getClassObject) {
    World* w = world_.get();
    std::vector<std::string> loaded;
    if (w->version < kFirstComAddInVersion || !getClassObject)
        return loaded;
    // The user's add-ins, then the machine's: a ProgID registered in both
    // is one add-in, loaded once, by the user's entry.
    std::vector<std::pair<HKEY, std::string>> listed;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const std::string& progId : SubKeys(root, kAddInsKey)) {
            bool seen = false;
            for (const auto& l : listed)
                seen = seen || SameText(l.second, progId);
            if (!seen)
                listed.emplace_back(root, progId);
        }
    std::vector<World::AddIn> connected;
    for (const auto& [root, progId] : listed) {
        DWORD behavior = 0;
        if (!ReadDword(root, std::string(kAddInsKey) + "\\" + progId, "LoadBehavior", &behavior) ||
            behavior != 3)
            continue;
        Ptr<IDTExtensibility2> addIn = CreateAddIn(w, getClassObject, progId);
        if (!addIn)
            continue;
        World::AddIn entry;
        entry.progId = progId;
        entry.object = addIn;
        connected.push_back(std::move(entry));
    }
    for (World::AddIn& a : connected) {
        bool slow = false;
        const HRESULT hr =
            w->TimedAddInCall(a.progId, a.object.Get(), "OnConnection", ext_cm_Startup, &slow);
        if (FAILED(hr)) {
            w->loadErrors.push_back(a.progId + ": OnConnection failed " + HexCode(hr));
            continue;
        }
        const std::string progId = a.progId;
        w->addIns.push_back(std::move(a));
        if (slow)
            w->DisableAddIn(progId);
        else
            loaded.push_back(progId);
    }
    std::vector<std::string> started;
    for (const World::AddIn& a : w->addIns)
        started.push_back(a.progId);
    for (const std::string& progId : started) {
        Ptr<IDTExtensibility2> keep;
        for (const World::AddIn& a : w->addIns)
            if (a.progId == progId)
                keep = a.object;
        if (!keep)
            continue; // gone meanwhile
        bool slow = false;
        w->TimedAddInCall(progId, keep.Get(), "OnStartupComplete", ext_cm_Startup, &slow);
        if (slow) {
            w->DisableAddIn(progId);
            for (auto it = loaded.begin(); it != loaded.end(); ++it)
                if (*it == progId) {
                    loaded.erase(it);
                    break;
                }
        }
    }
    return loaded;
}

bool MailClient::ConnectComAddIn(ClassObjectFunction getClassObject, const std::string& progId) {
    World* w = world_.get();
    if (w->version < kFirstComAddInVersion || !getClassObject)
        return false;
    for (const World::AddIn& a : w->addIns)
        if (SameText(a.progId, progId))
            return false; // already ticked
    // The dialog lists the add-ins registered for the user or the machine.
    bool registered = false;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const std::string& listed : SubKeys(root, kAddInsKey))
            registered = registered || SameText(listed, progId);
    if (!registered)
        return false;
    Ptr<IDTExtensibility2> addIn = CreateAddIn(w, getClassObject, progId);
    if (!addIn)
        return false;
    // A connection after start-up is told so, and is not followed by
    // OnStartupComplete: that event "occurs only when the add-in is loaded
    // at start-up" (docs: "IDTExtensibility2.OnConnection method",
    // ext_ConnectMode.ext_cm_AfterStartup; "IDTExtensibility2.OnStartupComplete
    // method").
    bool slow = false;
    const HRESULT hr =
        w->TimedAddInCall(progId, addIn.Get(), "OnConnection", ext_cm_AfterStartup, &slow);
    if (FAILED(hr)) {
        w->loadErrors.push_back(progId + ": OnConnection failed " + HexCode(hr));
        return false;
    }
    World::AddIn entry;
    entry.progId = progId;
    entry.object = addIn;
    w->addIns.push_back(std::move(entry));
    if (slow) {
        w->DisableAddIn(progId);
        return false;
    }
    return true;
}

const std::vector<AddInTiming>& MailClient::AddInTimings() const {
    return world_->addInTimings;
}

const std::vector<std::string>& MailClient::DisabledAddIns() const {
    return world_->disabledAddIns;
}

bool MailClient::DisconnectComAddIn(const std::string& progId) {
    World* w = world_.get();
    for (auto it = w->addIns.begin(); it != w->addIns.end(); ++it) {
        if (!SameText(it->progId, progId))
            continue;
        World::AddIn leaving = std::move(*it);
        w->addIns.erase(it);
        SAFEARRAY* custom = nullptr;
        const size_t entry = w->Record(TraceKind::Event, "AddIn " + leaving.progId,
                                       "OnDisconnection", "ext_dm_UserClosed");
        w->Complete(entry, leaving.object->OnDisconnection(ext_dm_UserClosed, &custom));
        leaving.object.Reset();
        return true;
    }
    return false;
}

size_t MailClient::ConnectedComAddIns() const {
    return world_->addIns.size();
}

const std::vector<std::string>& MailClient::LoadErrors() const {
    return world_->loadErrors;
}

std::vector<RibbonButton> MailClient::RibbonButtons(IDispatch* inspector) {
    std::vector<RibbonButton> out;
    InspectorObject* i = dynamic_cast<InspectorObject*>(world_->FindTracked(inspector));
    if (!i || !i->shown || !IsComposeWindow(i))
        return out;
    for (const World::AddIn& a : world_->addIns)
        for (const RibbonButton& b : a.buttons)
            out.push_back(b);
    return out;
}

HRESULT MailClient::ClickRibbonButton(IDispatch* inspector, const std::string& id) {
    World* w = world_.get();
    InspectorObject* window = dynamic_cast<InspectorObject*>(w->FindTracked(inspector));
    if (!window || !window->shown || !IsComposeWindow(window))
        return E_INVALIDARG;
    for (size_t n = 0; n < w->addIns.size(); ++n) {
        for (const RibbonButton& b : w->addIns[n].buttons) {
            if (b.id != id)
                continue;
            Ptr<IDTExtensibility2> keep = w->addIns[n].object;
            const std::string onAction = b.onAction;
            Ptr<IDispatch> callbacks = AddInDispatch(keep.Get());
            DISPID dispid;
            if (!KnowsName(callbacks.Get(), onAction, &dispid))
                return DISP_E_UNKNOWNNAME;
            Ptr<RibbonControlObject> control = Ptr<RibbonControlObject>::Adopt(
                new RibbonControlObject(w, id, static_cast<IDispatch*>(window)));
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_DISPATCH;
            arg.pdispVal = static_cast<IRibbonControl*>(control.Get());
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            const size_t entry =
                w->Record(TraceKind::Event, "AddIn " + w->addIns[n].progId, onAction, id);
            const HRESULT hr = callbacks->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                 nullptr, nullptr, nullptr);
            w->Complete(entry, hr);
            return hr;
        }
    }
    return E_INVALIDARG;
}

} // namespace sim
