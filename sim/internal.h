// The simulated mail client's insides: the object framework (reference
// counting, late-bound dispatch, connection points, trace and faults), the
// object model, the command bars and the message store. Only sim/ includes it.
#pragma once

#include "mail_client.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace sim {

// The type of a method's parameter, as the platform's headers declare it
// (some SDK headers give a window parameter as ULONG, others as ULONG_PTR).
template <typename T> struct MethodParams;
template <typename R, typename C, typename... A>
struct MethodParams<R (STDMETHODCALLTYPE C::*)(A...)> {
    using Tuple = std::tuple<A...>;
};
template <auto M, size_t N>
using ParamOf = std::tuple_element_t<N, typename MethodParams<decltype(M)>::Tuple>;

using OleString = std::basic_string<OLECHAR>;

// ---- Text -------------------------------------------------------------------------
// The store's 8-bit text is Windows-1252; the object model's is UTF-16.
OleString Wide(const std::string& ansi);
std::string Narrow(const OLECHAR* text, size_t length);
std::string Narrow(BSTR text);
BSTR NewBstr(const std::string& ansi);
// ASCII case-insensitive comparison of a member name.
bool SameName(const OLECHAR* name, const char* member);
bool SameText(const std::string& a, const std::string& b);
// Captions compare without case and without accelerator ampersands.
bool SameCaption(const std::string& a, const std::string& b);
std::string HexBytes(const std::string& bytes);
std::string HexCode(HRESULT hr);
std::string IidName(REFIID iid);
std::string Quoted(const std::string& text);
// The leading decimal number of a version text ("11.0.0.8312" -> 11.0).
double VersionNumber(const std::string& text);
std::string HtmlFromText(const std::string& text);
std::string TextFromHtml(const std::string& html);

constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108L);  // RPC_E_DISCONNECTED
constexpr HRESULT kObjectDeleted = static_cast<HRESULT>(0x8004010AL); // MAPI_E_OBJECT_DELETED
constexpr HRESULT kTooComplex = static_cast<HRESULT>(0x80040117L);    // MAPI_E_TOO_COMPLEX
constexpr LONG olPost = 45;
constexpr LONG olDiscard = 1;
constexpr LONG olPromptForSave = 2;

// The face a button is given, as the platform shows it (face_win.cpp,
// face_native.cpp): the clipboard at PasteFace, the bitmap of a picture.
void RecordClipboardFace(MailClient::FaceState* face);
void RecordPictureBitmap(IUnknown* picture, LONG* width, LONG* height, WORD* bitsPixel,
                         std::vector<BYTE>* pixels);

class World;
class ItemObject;
class MessageObject;
class InspectorObject;
class ControlObject;
class ControlsObject;
class FolderObject;

// ---- Objects ------------------------------------------------------------------------
// What every simulated object shares: a reference count, its client (null
// once the client has shut down), a trace name and its place in the client's
// register of live objects.
class Tracked {
public:
    Tracked(World* world, const char* className);
    virtual ~Tracked();
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    World* GetWorld() const { return world_; }
    const std::string& Name() const { return name_; }
    const char* ClassName() const { return class_; }
    virtual IUnknown* Identity() = 0;
    // Whether `p` is one of this object's interface pointers.
    virtual bool Owns(const void* p) { return p == Identity(); }
    // The client lets go of the sinks it was given (shutdown, a control deleted).
    virtual void DropSinks() {}
    // The client is going away.
    void Detach() { world_ = nullptr; }

    ULONG AddRefCount() { return ++refs_; }
    ULONG ReleaseCount() {
        ULONG left = --refs_;
        if (left == 0) {
            // Calls that reach the object while it is being destroyed must
            // not destroy it a second time.
            refs_ = 1;
            delete this;
        }
        return left;
    }
    // The interface for `iid`, without a reference; null when not supported.
    virtual void* Find(REFIID iid) = 0;
    // QueryInterface as every object answers it: faults, trace, reference.
    HRESULT Query(REFIID iid, void** object);

    // The last failing result and its text, for IMAPIProp::GetLastError.
    HRESULT lastError = S_OK;
    std::string lastErrorText;

protected:
    World* world_;

private:
    const char* class_;
    std::string name_;
    uint64_t serial_;
    ULONG refs_ = 1;
};

// IUnknown of a simulated object, answered by its Tracked part, in the class
// that derives from every interface it implements. `Primary` is the
// interface whose pointer is the object's identity. `Primary` is a type,
// which no parentheses may enclose inside static_cast.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SIM_IUNKNOWN(Primary)                                                                      \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {                 \
        return Query(iid, object);                                                                 \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return AddRefCount();                                                                      \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        return ReleaseCount();                                                                     \
    }                                                                                              \
    IUnknown* Identity() override {                                                                \
        return static_cast<Primary*>(this);                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)

// ---- Late-bound dispatch ---------------------------------------------------------------
enum class Access { Get, GetPut, Method };

struct Member {
    const char* name;
    Access access;
    unsigned minArgs;
    unsigned maxArgs;
    bool objectValue = false; // a property holding an object: PUTREF accepted
    bool refOnly = false;     // ... and only PUTREF, as a type library's [propputref] alone
};

// The members of a class of objects, in DISPID order (the first is DISPID 1).
struct MemberTable {
    template <size_t N> MemberTable(const Member (&table)[N]) : members(table), count(N) {}
    const Member* members;
    size_t count;
};

class DispatchObject;

// One Invoke, with its arguments in declared order.
class Call {
public:
    Call(bool put, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool IsPut() const { return put_; }
    unsigned Count() const { return count_; }
    bool Missing(unsigned i) const;
    // The argument as passed (by-reference variants followed); null when absent.
    const VARIANT* Arg(unsigned i) const;
    HRESULT ArgLong(unsigned i, LONG* out) const;
    HRESULT ArgBool(unsigned i, bool* out) const;
    HRESULT ArgString(unsigned i, std::string* out) const;
    // A borrowed object (no reference taken); null for Nothing.
    HRESULT ArgObject(unsigned i, IUnknown** out) const;
    // The value of a property put.
    HRESULT ValueLong(LONG* out) const;
    HRESULT ValueBool(bool* out) const;
    HRESULT ValueString(std::string* out) const;
    HRESULT ValueObject(IUnknown** out) const;

    HRESULT ReturnLong(LONG value);
    HRESULT ReturnBool(bool value);
    HRESULT ReturnString(const std::string& ansi);
    HRESULT ReturnObject(IDispatch* object); // null: Nothing
    HRESULT ReturnUnknown(IUnknown* object);
    HRESULT ReturnNull();
    // The host raises an error: DISP_E_EXCEPTION with EXCEPINFO.
    HRESULT Raise(HRESULT scode, const std::string& description);

    const VARIANT* Result() const { return result_; }

private:
    const VARIANT* Raw(unsigned rgIndex) const;
    HRESULT Long(const VARIANT* v, unsigned rgIndex, LONG* out) const;
    HRESULT Bool(const VARIANT* v, unsigned rgIndex, bool* out) const;
    HRESULT String(const VARIANT* v, unsigned rgIndex, std::string* out) const;
    HRESULT Object(const VARIANT* v, unsigned rgIndex, IUnknown** out) const;
    HRESULT Mismatch(unsigned rgIndex) const;
    unsigned Index(unsigned i) const { return params_->cArgs - 1 - i; }

    bool put_;
    DISPPARAMS* params_;
    unsigned count_;
    VARIANT* result_;
    VARIANT scratch_;
    EXCEPINFO* excep_;
    UINT* argErr_;
};

// A collection's Item by its position, counted from 1, in the first
// argument; E_INVALIDARG outside the collection, as the host answers.
template <class T> HRESULT ReturnItemAt(Call& call, const std::vector<Ptr<T>>& items) {
    LONG n;
    if (HRESULT hr = call.ArgLong(0, &n); FAILED(hr))
        return hr;
    if (n < 1 || static_cast<size_t>(n) > items.size())
        return E_INVALIDARG;
    return call.ReturnObject(items[static_cast<size_t>(n - 1)].Get());
}

class ConnectionPoint;

// An object of the object model or of the command bars: IDispatch over a
// member table, and the connection-point container for its events.
class DispatchObject : public IDispatch, public IConnectionPointContainer, public Tracked {
public:
    DispatchObject(World* world, const char* className, MemberTable members, std::vector<IID> iids,
                   const IID* eventIid = nullptr);
    ~DispatchObject() override;

    SIM_IUNKNOWN(IDispatch)

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argErr) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    void* Find(REFIID iid) override;
    bool Owns(const void* p) override;
    void DropSinks() override;
    ConnectionPoint* Events() { return events_.get(); }
    size_t SinkCount() const;

protected:
    // Whether this object has the member (a popup has no Picture, ...).
    virtual bool HasMember(size_t) const { return true; }
    virtual HRESULT Dispatch(size_t index, Call& call) = 0;
    // An error every member raises (a deleted item, a closed window); S_OK for none.
    virtual HRESULT Unusable(std::string*) const { return S_OK; }

private:
    MemberTable members_;
    std::vector<IID> iids_;
    std::unique_ptr<ConnectionPoint> events_;
};

// A connection point living inside its container (it shares the container's
// reference count). Each sink is held by one reference until Unadvise, or
// until the container lets go of its sinks.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(DispatchObject& owner, const IID& iid) : owner_(owner), iid_(iid) {}
    ~ConnectionPoint();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const { return iid_; }
    size_t Count() const { return sinks_.size(); }
    void DropAll();
    // Delivers an event to every sink connected now (a sink that goes away
    // before its turn is skipped). `args` are in Invoke order (last first).
    void Fire(DISPID dispid, const char* eventName, VARIANTARG* args, UINT count,
              const std::string& argText);

private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    DispatchObject& owner_;
    IID iid_;
    std::vector<Sink> sinks_;
};

// ---- The store's data ---------------------------------------------------------------------
enum FolderId { kNoFolder = -1, kDrafts, kOutbox, kSentItems, kDeletedItems, kInbox, kFolderCount };
const char* FolderName(FolderId id);
// The folder of a default-folder number (olFolderOutbox, ...); kNoFolder for others.
FolderId FolderOf(LONG olFolder);

struct RecipientRow {
    Recipient recipient;
    ULONG rowId;
};

// A stored property other than the ones the object model also shows.
struct ExtraProp {
    ULONG tag;
    LONG number = 0;   // PT_LONG, PT_BOOLEAN, PT_I2, PT_ERROR
    std::string bytes; // PT_STRING8, PT_BINARY
};

struct MessageData {
    uint32_t number = 0; // in its entry ID
    FolderId folder = kNoFolder;
    bool hasSubject = false;
    std::string subject;
    bool hasBody = false;
    std::string body;
    std::string html; // empty: no HTML body
    LONG editorFormat = EDITOR_FORMAT_DONTKNOW;
    bool htmlPropertyAvailable = true;
    bool nullMapiObject = false;
    bool nullHtmlBody = false;
    bool mail = true;
    bool sent = false;
    bool submitted = false;
    bool gone = false; // moved, delivered or deleted: this copy of the data is stale
    std::vector<RecipientRow> recipients;
    ULONG nextRowId = 1;
    std::map<ULONG, ExtraProp> extra; // by property ID
    FolderId sentFolder = kNoFolder;
    HWND window = nullptr;
    // The live objects over this data (weak).
    ItemObject* item = nullptr;
    MessageObject* message = nullptr;
    InspectorObject* inspector = nullptr;
};
using MessageRef = std::shared_ptr<MessageData>;

std::string EntryIdOf(const MessageData& data);
std::string FolderEntryId(FolderId id);
// The body the object model shows, derived as the host derives it.
std::string BodyOf(const MessageData& data);

// ---- Fault injection ------------------------------------------------------------------------
struct Fault {
    std::string className; // empty: any
    std::string member;
    unsigned skip;
    unsigned remaining;
    HRESULT hr;
    bool raise;
};
struct QueryFault {
    IID iid;
    std::string className;
    unsigned skip;      // matching calls to let through first
    unsigned remaining; // 0: always
};

// ---- The client's world ----------------------------------------------------------------------
class AppObject;
class NamespaceObject;
class ExplorerObject;
class InspectorsObject;
class ExplorersObject;
class SessionObject;
class StatusObject;

class World {
public:
    explicit World(const Config& config);
    ~World();

    // Builds the application, folders, explorer and session.
    void Start();
    // Closes the windows, drops every sink, lets go of the extension and of
    // the model, and detaches every object still alive.
    void Shutdown();

    Config config;
    double version = 0;
    LONG SendReceiveId() const;

    // -- Register of live objects --
    uint64_t Register(Tracked* object, const char* className, std::string* name);
    void Unregister(uint64_t serial);
    Tracked* FindTracked(IUnknown* object) const;
    std::map<uint64_t, Tracked*> live;

    // -- Trace and faults --
    // Entries are recorded when a call starts (so nested calls follow it) and
    // completed when it returns.
    size_t Record(TraceKind kind, const std::string& object, const std::string& member,
                  const std::string& args, HRESULT result = S_OK);
    void Complete(size_t entry, HRESULT result, const std::string& value = "");
    std::vector<TraceEntry> trace;
    bool tracing = true;
    // A fault armed for this call, if any.
    bool TakeFault(const char* className, const char* member, HRESULT* hr, bool* raise);
    bool TakeQueryFault(const char* className, REFIID iid);
    std::vector<Fault> faults;
    unsigned long calls = 0; // every call that could have been made to fail
    // -- Timing (ClientClock) --
    bool timing = false;
    unsigned timingDepth = 0;
    std::chrono::nanoseconds clientTime{0};
    std::vector<QueryFault> queryFaults;
    DWORD NextCookie() { return ++cookies_; }

    // -- The model --
    Ptr<AppObject> app;
    Ptr<NamespaceObject> nameSpace;
    Ptr<ExplorerObject> explorer;
    Ptr<InspectorsObject> inspectors;
    Ptr<ExplorersObject> explorers;
    Ptr<FolderObject> folders[kFolderCount];
    Ptr<SessionObject> session;
    Ptr<StatusObject> spooler;
    std::vector<Ptr<InspectorObject>> shown; // inspectors on screen, in order
    unsigned explorerReads = 0;
    // The explorer window: created (in the Explorers collection) and shown
    // (the active explorer). A client started without one creates it when
    // the user opens it, fires NewExplorer, and only then shows it.
    bool explorerCreated = false;
    bool explorerShown = false;
    bool ExplorerActive() const;
    Ptr<IExchExt> extension;

    // -- COM add-ins --
    struct AddIn {
        std::string progId;
        Ptr<IDTExtensibility2> object;
        bool ribbonAsked = false;
        std::vector<RibbonButton> buttons; // its compose ribbon
    };
    std::vector<AddIn> addIns;
    std::vector<std::string> loadErrors;
    std::vector<AddInTiming> addInTimings;
    std::vector<std::string> disabledAddIns;
    // Calls OnConnection (or OnStartupComplete, when `startupComplete`) on
    // the add-in, timed. Sets *slow when the client disables the add-in for
    // the time it took.
    HRESULT TimedAddInCall(const std::string& progId, IDTExtensibility2* addIn, const char* call,
                           ext_ConnectMode mode, bool* slow);
    // The client gives up on a slow add-in: it is disconnected and let go.
    void DisableAddIn(const std::string& progId);
    // After NewInspector: the compose ribbon, asked once per add-in, and
    // the buttons' images for this window.
    void ShowRibbon(InspectorObject* inspector);
    // OnBeginShutdown to every add-in (before the windows close), then
    // OnDisconnection(ext_dm_HostShutdown) and the client's reference.
    void BeginAddInShutdown();
    void DisconnectAddIns();
    std::vector<HRESULT> InstallIn(ULONG context, IDispatch* object);

    // -- Windows --
    Ptr<InspectorObject> InspectorFor(const MessageRef& data);
    // Shows an inspector: Install in the compose context, then NewInspector.
    void Show(InspectorObject* inspector);
    // The window goes away (its bars and their controls with it).
    void Hide(InspectorObject* inspector);
    // The item's window closes: Close fires (cancellable when `cancellable`);
    // the item is saved or discarded. False when a sink cancelled.
    bool CloseItem(const MessageRef& data, LONG saveMode, bool cancellable);
    MailClient::SendOutcome SendItem(const MessageRef& data);

    // -- Command bars --
    std::vector<ControlObject*> controls; // every control not deleted, in creation order
    bool ClickBroadcast(ControlObject* clicked);

    // -- The store --
    // Saved messages, in saving order, found by entry ID: a long mailing
    // moves and removes as many messages as it sends, each in constant time.
    std::list<MessageRef> store;
    std::unordered_map<std::string, std::list<MessageRef>::iterator> storeIndex;
    std::vector<MessageRef> queue; // submitted, not yet delivered
    MessageRef NewMessage(const Draft& draft);
    MessageRef CopyMessage(const MessageData& from, FolderId folder);
    // Places the data in a folder (first save) or moves it: a move makes new
    // data (new entry ID) and leaves the old stale.
    void Place(const MessageRef& data, FolderId folder);
    MessageRef Move(const MessageRef& data, FolderId folder);
    void Remove(const MessageRef& data);
    MessageRef FindMessage(const std::string& entryId) const;
    Ptr<ItemObject> ItemFor(const MessageRef& data);
    Ptr<MessageObject> MessageFor(const MessageRef& data);
    HRESULT Submit(const MessageRef& data);

    // Named properties: the store's mapping of names to property IDs.
    struct NamedProp {
        GUID set;
        ULONG kind;
        LONG id;
        OleString name;
        ULONG propId;
    };
    std::vector<NamedProp> named;
    ULONG NamedId(const GUID& set, ULONG kind, LONG id, const OleString& name, bool create);
    int UseTnef(const MessageData& data) const;

    // -- Delivery --
    // Delivers the queue; counts one Send/Receive pass when `sendReceive`.
    void DeliverQueue(bool sendReceive);
    bool Deliver(const MessageRef& data);
    std::string DeliveryFolder() const;
    std::vector<Delivery> deliveries; // kept only with config.keepDelivered
    size_t deliveredCount = 0;
    std::vector<NonDelivery> nonDeliveries;
    // The report for the recipients of `data` that cannot be reached: a
    // message in the Inbox, addressed to the sender, and its record.
    void ReportNonDelivery(const MessageData& data, const std::vector<Recipient>& unreached,
                           const std::string& reason);
    std::string madeFolder; // the delivery folder, once it is known to exist
    unsigned sendReceives = 0;
    unsigned flushes = 0;
    uint32_t nextMessageNumber = 1;

private:
    uint64_t nextSerial_ = 1;
    std::map<std::string, unsigned> classCounts_;
    DWORD cookies_ = 0;
    bool shuttingDown_ = false;
};

MessageView ViewOf(const World& world, const MessageData& data);

// How a value looks in the trace.
std::string Render(const World* world, const VARIANT& value);

// ---- Object model classes --------------------------------------------------------------------
class AppObject final : public DispatchObject {
public:
    explicit AppObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class NamespaceObject final : public DispatchObject {
public:
    explicit NamespaceObject(World* world);

protected:
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;
};

class FolderObject final : public DispatchObject {
public:
    FolderObject(World* world, FolderId id);
    FolderId Id() const { return id_; }

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    FolderId id_;
};
FolderObject* AsFolder(World* world, IUnknown* object);

class BarsObject;
enum class WindowKind { Explorer, Inspector };

// A window of the client, the explorer or an inspector: its command bars, and
// an IOleWindow that gives its handle (the desktop when it has none of its
// own) unless the window is unusable.
class WindowObject : public DispatchObject, public IOleWindow {
public:
    WindowObject(World* world, const char* className, MemberTable members, const IID& iid,
                 WindowKind kind);
    SIM_IUNKNOWN(IDispatch)
    void* Find(REFIID iid) override;
    bool Owns(const void* p) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    BarsObject* Bars() { return bars_.Get(); }
    // The window is gone: its bars and their controls are deleted.
    virtual void Teardown();

protected:
    // The window a test chose for it; null: none of its own.
    virtual HWND Handle() const = 0;
    Ptr<BarsObject> bars_;
};

class ExplorerObject final : public WindowObject {
public:
    explicit ExplorerObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
    HWND Handle() const override;
};

class InspectorsObject final : public DispatchObject {
public:
    explicit InspectorsObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

// The explorer windows (none or the one), with ExplorersEvents.
class ExplorersObject final : public DispatchObject {
public:
    explicit ExplorersObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class InspectorObject final : public WindowObject {
public:
    InspectorObject(World* world, const MessageRef& data);
    ~InspectorObject() override;

    const MessageRef& Data() const { return data_; }
    bool shown = false;
    bool closed = false;
    Ptr<ItemObject> heldItem; // the item of a window on screen
    // The window is gone: its bars are deleted and it lets go of its item.
    void Teardown() override;

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;
    HWND Handle() const override;

private:
    MessageRef data_;
};

class ItemObject final : public DispatchObject {
public:
    ItemObject(World* world, const MessageRef& data);
    ~ItemObject() override;
    const MessageRef& Data() const { return data_; }
    void* Find(REFIID iid) override;

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;

private:
    MessageRef data_;
};

// ---- Command bars ------------------------------------------------------------------------------
class BarObject;

class BarsObject final : public DispatchObject {
public:
    BarsObject(World* world, WindowKind kind);
    std::vector<Ptr<BarObject>> bars;
    BarObject* Bar(const std::string& name) const;
    void DeleteAll();

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class ControlsObject final : public DispatchObject {
public:
    ControlsObject(World* world, std::string barName);
    std::vector<Ptr<ControlObject>> items;
    std::string barName;
    Ptr<ControlObject> AddControl(LONG type, LONG id, const std::string& caption, bool temporary,
                                  size_t before /* 0-based; size(): at the end */);
    void DeleteAll();

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class BarObject final : public DispatchObject {
public:
    BarObject(World* world, const std::string& name, LONG type);
    std::string name;
    LONG type; // msoBarTypeNormal 0, msoBarTypeMenuBar 1
    bool visible = true;
    Ptr<ControlsObject> controls;

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class ControlObject final : public DispatchObject {
public:
    ControlObject(World* world, LONG type, LONG id);
    ~ControlObject() override;
    void* Find(REFIID iid) override;

    LONG type;
    LONG id;
    std::string caption, tooltip, tag, parameter;
    bool visible = true, enabled = true, beginGroup = false, temporary = false;
    LONG faceId = 0, style = 0, oleUsage = 0;
    Ptr<IUnknown> picture, mask;
    unsigned facePastes = 0;
    MailClient::FaceState face;
    bool deleted = false;
    ControlsObject* parent = nullptr; // weak
    Ptr<ControlsObject> children;     // a popup's menu
    void MarkDeleted();
    HRESULT Execute();
    // Its position in its parent, from 1; 0 when it has none.
    LONG Position() const;

protected:
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;

private:
    // Leaves the client's list of controls.
    void Unlist();
    // Leaves its parent's items (`parent` is left as it is).
    void LeaveParent();
};
ControlObject* AsControl(World* world, IUnknown* object);
// The first control matching, depth first through popups.
ControlObject* SearchControls(ControlsObject* controls,
                              const std::function<bool(ControlObject&)>& match);
void BuildBars(World* world, BarsObject* bars, WindowKind kind);

// ---- Extended MAPI ------------------------------------------------------------------------------

// One MAPI call: checks the client is there and any armed fault; it enters
// the trace as it starts and its result when it returns.
// Time spent inside the client, taken at its outermost entries (Invoke and
// the MAPI methods) when the client is asked to time itself, so that a
// caller's own share of a run is the run less this.
class ClientClock {
public:
    explicit ClientClock(World* world);
    ~ClientClock();
    ClientClock(const ClientClock&) = delete;
    ClientClock& operator=(const ClientClock&) = delete;

private:
    World* world_;
    std::chrono::steady_clock::time_point start_;
};

class MapiCall {
public:
    MapiCall(Tracked& object, const char* member, const std::string& args);
    ~MapiCall();
    // S_OK to go on; otherwise the result to return (disconnected, a fault).
    HRESULT Begin();
    HRESULT Done(HRESULT hr, const std::string& why = "");

private:
    ClientClock clock_;
    Tracked& object_;
    const char* member_;
    std::string fault_;
    size_t entry_ = 0;
    bool recorded_ = false;
    bool done_ = false;
};

// A call the store answers the same way whatever it is given (most often
// MAPI_E_NO_SUPPORT): traced, its out-parameters cleared, no fault taken.
template <class... Out>
HRESULT FixedAnswer(Tracked& object, const char* member, HRESULT result, Out*... outs) {
    MapiCall call(object, member, "");
    ((outs ? void(*outs = {}) : void()), ...);
    return call.Done(result);
}

// Property values handed out as the store hands them out: one
// MAPIAllocateBuffer block, strings and binaries chained to it with
// MAPIAllocateMore. A PT_ERROR value carries its code in `number`.
HRESULT PropsOut(const std::vector<ExtraProp>& values, LPSPropValue* out);
// IMAPIProp::GetLastError: the MAPIERROR for the object's last failure.
HRESULT LastErrorOut(Tracked& object, HRESULT result, ULONG flags, LPMAPIERROR* error);

// An object of the store with properties (IMAPIProp and an interface built on
// it): copying its properties to another object and naming property IDs are
// not supported.
template <class Interface> class PropObject : public Interface, public Tracked {
public:
    PropObject(World* world, const char* className) : Tracked(world, className) {}
    SIM_IUNKNOWN(Interface)

    HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ParamOf<&IMAPIProp::CopyTo, 3>,
                                     LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                     LPSPropProblemArray* problems) final {
        return FixedAnswer(*this, "CopyTo", MAPI_E_NO_SUPPORT, problems);
    }
    HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ParamOf<&IMAPIProp::CopyProps, 1>,
                                        LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                        LPSPropProblemArray* problems) final {
        return FixedAnswer(*this, "CopyProps", MAPI_E_NO_SUPPORT, problems);
    }
    HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG* count,
                                              LPMAPINAMEID** names) final {
        return FixedAnswer(*this, "GetNamesFromIDs", MAPI_E_NO_SUPPORT, count, names);
    }
};

class MessageObject final : public PropObject<IMessage> {
public:
    MessageObject(World* world, const MessageRef& data);
    ~MessageObject() override;
    void* Find(REFIID iid) override;
    const MessageRef& Data() const { return data_; }

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenAttach(ULONG number, LPCIID iid, ULONG flags,
                                         LPATTACH* attach) override;
    HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID iid, ULONG flags, ULONG* number,
                                           LPATTACH* attach) override;
    HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG number,
                                           ParamOf<&IMessage::DeleteAttach, 1> uiParam,
                                           LPMAPIPROGRESS progress, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPADRLIST mods) override;
    HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG flags) override;

private:
    MessageRef data_;
};

// A read-only stream over a property's bytes.
class StreamObject final : public IStream, public Tracked {
public:
    StreamObject(World* world, std::string bytes);
    SIM_IUNKNOWN(IStream)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                         DWORD lockType) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                           DWORD lockType) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override;

private:
    std::string bytes_;
    size_t position_ = 0;
};

// A table of rows of properties (the status table, a recipient table).
class TableObject final : public IMAPITable, public Tracked {
public:
    using Row = std::vector<ExtraProp>;
    TableObject(World* world, std::vector<ULONG> columns, std::vector<Row> rows);
    SIM_IUNKNOWN(IMAPITable)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG eventMask, LPMAPIADVISESINK sink,
                                     ParamOf<&IMAPITable::Advise, 2> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE GetStatus(ULONG* tableStatus, ULONG* tableType) override;
    HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* columns) override;
    HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) override;
    HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG numerator, ULONG denominator) override;
    HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* numerator,
                                            ULONG* denominator) override;
    HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction restriction, BOOKMARK origin,
                                      ULONG flags) override;
    HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* position) override;
    HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK position) override;
    HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet criteria, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* criteria) override;
    HRESULT STDMETHODCALLTYPE QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ExpandRow(ULONG instanceKeySize, LPBYTE instanceKey, ULONG rowCount,
                                        ULONG flags, LPSRowSet* rows, ULONG* moreRows) override;
    HRESULT STDMETHODCALLTYPE CollapseRow(ULONG instanceKeySize, LPBYTE instanceKey, ULONG flags,
                                          ULONG* rowCount) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG timeout,
                                                ULONG* tableStatus) override;
    HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG instanceKeySize,
                                               LPBYTE instanceKey, ULONG* stateSize,
                                               LPBYTE* state) override;
    HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG stateSize, LPBYTE state,
                                               BOOKMARK* location) override;

private:
    std::vector<ULONG> columns_;
    std::vector<Row> all_;
    std::vector<size_t> view_; // rows passing the restriction, in sort order
    size_t cursor_ = 0;
};

class StatusObject final : public PropObject<IMAPIStatus> {
public:
    explicit StatusObject(World* world);
    void* Find(REFIID iid) override;
    std::string EntryId() const;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE ValidateState(ParamOf<&IMAPIStatus::ValidateState, 0> uiParam,
                                            ULONG flags) override;
    HRESULT STDMETHODCALLTYPE SettingsDialog(ParamOf<&IMAPIStatus::SettingsDialog, 0> uiParam,
                                             ULONG flags) override;
    HRESULT STDMETHODCALLTYPE ChangePassword(ParamOf<&IMAPIStatus::ChangePassword, 0> oldPassword,
                                             ParamOf<&IMAPIStatus::ChangePassword, 1> newPassword,
                                             ULONG flags) override;
    HRESULT STDMETHODCALLTYPE FlushQueues(ParamOf<&IMAPIStatus::FlushQueues, 0> uiParam,
                                          ULONG targetTransportSize, LPENTRYID targetTransport,
                                          ULONG flags) override;
};

// The session's address book: one-off entry IDs, nothing else.
class AddressBookObject final : public PropObject<IAddrBook> {
public:
    explicit AddressBookObject(World* world);
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                        ULONG flags, ULONG* objectType, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                              LPENTRYID entryId2, ULONG flags,
                                              ULONG* result) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                     LPMAPIADVISESINK sink,
                                     ParamOf<&IAddrBook::Advise, 4> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE CreateOneOff(ParamOf<&IAddrBook::CreateOneOff, 0> name,
                                           ParamOf<&IAddrBook::CreateOneOff, 1> addressType,
                                           ParamOf<&IAddrBook::CreateOneOff, 2> address,
                                           ULONG flags, ULONG* entryIdSize,
                                           LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE NewEntry(ParamOf<&IAddrBook::NewEntry, 0> uiParam, ULONG flags,
                                       ULONG containerIdSize, LPENTRYID containerId,
                                       ULONG templateIdSize, LPENTRYID templateId,
                                       ULONG* newEntryIdSize, LPENTRYID* newEntryId) override;
    HRESULT STDMETHODCALLTYPE ResolveName(ParamOf<&IAddrBook::ResolveName, 0> uiParam, ULONG flags,
                                          ParamOf<&IAddrBook::ResolveName, 2> title,
                                          LPADRLIST list) override;
    HRESULT STDMETHODCALLTYPE Address(ParamOf<&IAddrBook::Address, 0> uiParam, LPADRPARM parameters,
                                      LPADRLIST* list) override;
    HRESULT STDMETHODCALLTYPE Details(ParamOf<&IAddrBook::Details, 0> uiParam,
                                      ParamOf<&IAddrBook::Details, 1> dismiss,
                                      LPVOID dismissContext, ULONG entryIdSize, LPENTRYID entryId,
                                      ParamOf<&IAddrBook::Details, 5> buttonCallback,
                                      LPVOID buttonContext,
                                      ParamOf<&IAddrBook::Details, 7> buttonText,
                                      ULONG flags) override;
    HRESULT STDMETHODCALLTYPE RecipOptions(ParamOf<&IAddrBook::RecipOptions, 0> uiParam,
                                           ULONG flags, LPADRENTRY recipient) override;
    HRESULT STDMETHODCALLTYPE
    QueryDefaultRecipOpt(ParamOf<&IAddrBook::QueryDefaultRecipOpt, 0> addressType, ULONG flags,
                         ULONG* count, LPSPropValue* options) override;
    HRESULT STDMETHODCALLTYPE GetPAB(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE SetPAB(ULONG entryIdSize, LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG entryIdSize, LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG flags, LPSRowSet* searchPath) override;
    HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG flags, LPSRowSet searchPath) override;
    HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG flags, LPSPropTagArray tags,
                                            LPADRLIST list) override;
};

class SessionObject final : public IMAPISession, public Tracked {
public:
    explicit SessionObject(World* world);
    SIM_IUNKNOWN(IMAPISession)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenMsgStore(ParamOf<&IMAPISession::OpenMsgStore, 0> uiParam,
                                           ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                           ULONG flags, LPMDB* store) override;
    HRESULT STDMETHODCALLTYPE OpenAddressBook(ParamOf<&IMAPISession::OpenAddressBook, 0> uiParam,
                                              LPCIID iid, ULONG flags,
                                              LPADRBOOK* addressBook) override;
    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags,
                                                 LPPROFSECT* section) override;
    HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                        ULONG flags, ULONG* objectType, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                              LPENTRYID entryId2, ULONG flags,
                                              ULONG* result) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                     LPMAPIADVISESINK sink,
                                     ParamOf<&IMAPISession::Advise, 4> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE MessageOptions(ParamOf<&IMAPISession::MessageOptions, 0> uiParam,
                                             ULONG flags,
                                             ParamOf<&IMAPISession::MessageOptions, 2> addressType,
                                             LPMESSAGE message) override;
    HRESULT STDMETHODCALLTYPE
    QueryDefaultMessageOpt(ParamOf<&IMAPISession::QueryDefaultMessageOpt, 0> addressType,
                           ULONG flags, ULONG* count, LPSPropValue* options) override;
    HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG flags, ULONG* count,
                                           ParamOf<&IMAPISession::EnumAdrTypes, 2> types) override;
    HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE Logoff(ParamOf<&IMAPISession::Logoff, 0> uiParam, ULONG flags,
                                     ULONG reserved) override;
    HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG flags, ULONG entryIdSize,
                                              LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN* admin) override;
    HRESULT STDMETHODCALLTYPE ShowForm(ParamOf<&IMAPISession::ShowForm, 0> uiParam, LPMDB store,
                                       LPMAPIFOLDER parentFolder, LPCIID iid, ULONG messageToken,
                                       LPMESSAGE messageSent, ULONG flags, ULONG messageStatus,
                                       ULONG messageFlags, ULONG access,
                                       ParamOf<&IMAPISession::ShowForm, 10> messageClass) override;
    HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID iid, LPMESSAGE message,
                                          ULONG* messageToken) override;
};

// ---- Exchange client-extension callbacks --------------------------------------------------------
class CallbackObject final : public IExchExtCallback, public IOutlookExtCallback, public Tracked {
public:
    CallbackObject(World* world, ULONG context, IDispatch* object);
    SIM_IUNKNOWN(IExchExtCallback)
    bool Owns(const void* p) override {
        return p == static_cast<IExchExtCallback*>(this) ||
               p == static_cast<IOutlookExtCallback*>(this);
    }
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetVersion(ULONG* version, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE GetMenu(HMENU* menu) override;
    HRESULT STDMETHODCALLTYPE GetToolbar(ULONG toolbarId, HWND* toolbar) override;
    HRESULT STDMETHODCALLTYPE GetSession(LPMAPISESSION* session, LPADRBOOK* addressBook) override;
    HRESULT STDMETHODCALLTYPE GetObject(LPMDB* store, LPMAPIPROP* object) override;
    HRESULT STDMETHODCALLTYPE GetSelectionCount(ULONG* count) override;
    HRESULT STDMETHODCALLTYPE GetSelectionItem(ULONG index, ULONG* entryIdSize, LPENTRYID* entryId,
                                               ULONG* type, LPSTR messageClass,
                                               ULONG messageClassSize, ULONG* messageFlags,
                                               ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetMenuPos(ULONG commandId, HMENU* menu, ULONG* first, ULONG* last,
                                         ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetSharedExtsDir(LPSTR directory, ULONG size, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetRecipients(LPADRLIST* recipients) override;
    HRESULT STDMETHODCALLTYPE SetRecipients(LPADRLIST recipients) override;
    HRESULT STDMETHODCALLTYPE GetNewMessageSite(ULONG composeInFolder, LPMAPIFOLDER folder,
                                                IPersistMessage* message, IMAPIMessageSite** site,
                                                IMAPIViewContext** viewContext,
                                                ULONG flags) override;
    HRESULT STDMETHODCALLTYPE RegisterModeless(IMAPIViewContext* viewContext, HWND window) override;
    // IOutlookExtCallback
    HRESULT STDMETHODCALLTYPE GetObject(IUnknown** object) override;
    HRESULT STDMETHODCALLTYPE GetOfficeCharacter(void** character) override;

private:
    ULONG context_;
    Ptr<IDispatch> object_;
};

} // namespace sim
