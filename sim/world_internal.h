// The client's world: the store's data, the faults armed by a test, and the
// World that holds the model, the windows, the add-ins, the store and the
// trace.
#pragma once

#include "core_internal.h"

#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sim {

class ItemObject;
class MessageObject;
class InspectorObject;
class ControlObject;
class FolderObject;

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
    std::string bytes; // PT_STRING8: the store's code page; PT_UNICODE: UTF-8; PT_BINARY
};

// Bytes the store keeps in a file of its own, not in memory: an
// attachment's data. The file goes with the last message that holds it.
struct SpillFile {
    SpillFile() = default;
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    ~SpillFile();
    std::string path; // Windows path, in the temporary folder
    uint64_t size = 0;
    // False for a persistent store's own file, read back with its Outbox
    // message: that goes with the message's Outbox record, not with the data.
    bool owned = true;
};
// Reads the spilled bytes a piece at a time: `take` receives each piece.
bool ReadSpill(const SpillFile& spill, const std::function<bool(const char*, size_t)>& take);

// One attachment as the store keeps it, saved (IAttach::SaveChanges); what
// is not saved never reaches the message.
struct AttachmentData {
    ULONG number = 0;                                         // PR_ATTACH_NUM
    LONG method = 0;                                          // PR_ATTACH_METHOD; 0: none set
    std::string longFileName, fileName, displayName, mimeTag; // UTF-8
    std::shared_ptr<const SpillFile> data;                    // PR_ATTACH_DATA_BIN; null: none
};

struct MessageData {
    uint32_t number = 0; // in its entry ID
    FolderId folder = kNoFolder;
    bool hasSubject = false;
    std::string subject;
    bool hasBody = false;
    std::string body;
    std::string html; // UTF-8; empty: no HTML body
    // PR_INTERNET_CPID: the code page PR_HTML's bytes are written in; the
    // store gives no PR_INTERNET_CPID unless `internetCodePageKnown`.
    UINT htmlCodePage = CP_UTF8;
    bool internetCodePageKnown = true;
    LONG editorFormat = EDITOR_FORMAT_DONTKNOW;
    bool htmlPropertyAvailable = true;
    bool nullMapiObject = false;
    bool nullHtmlBody = false;
    bool mail = true;
    bool sent = false;
    bool submitted = false;
    // Submitted once, whether or not delivered since (MailItem.Submitted).
    bool wasSubmitted = false;
    // It has a record in the store's Outbox journal that no later "gone"
    // record ends (a persistent store only).
    bool persisted = false;
    // The record last written for it, so that a submit that changes nothing
    // else is one short line (a persistent store only).
    std::string journaled;
    // Recorded as delivered by a process that died before its .eml was
    // written: delivered again under this name, without a second record.
    std::string redeliverAs;
    bool gone = false; // moved, delivered or deleted: this copy of the data is stale
    std::vector<RecipientRow> recipients;
    ULONG nextRowId = 1;
    // Saved attachments, shared between copies of the message (they never
    // change once saved: a new save replaces the entry).
    std::vector<std::shared_ptr<const AttachmentData>> attachments;
    ULONG nextAttachNumber = 0;
    // The attachments' data already written beside this message's Outbox
    // file (a persistent store), by attachment number.
    std::map<ULONG, const SpillFile*> storedAttachments;
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

// A sent message as the persistent store keeps it in Sent Items: its entry
// ID, subject and recipients, and nothing else (no bodies), so that a long
// run's Sent Items stay small. `text` is the subject, then each recipient as
// one byte of type and the address and display name, each ending in NUL.
struct SentRecord {
    uint32_t number = 0;
    uint32_t subjectLength = 0;
    std::string text;
    std::string Subject() const { return text.substr(0, subjectLength); }
    std::vector<Recipient> Recipients() const;
    static SentRecord Make(uint32_t number, const std::string& subject,
                           const std::vector<Recipient>& recipients);
};

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
    // The object's serial; `*number` its number among those of its class, for
    // its trace name ("Message#3").
    uint64_t Register(Tracked* object, const char* className, unsigned* number);
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
    // The client's clock as a UTC FILETIME count, and how far it was run
    // ahead of the platform's.
    unsigned long long Now() const;
    unsigned long long clockAhead = 0;
    // The release time a message waits for (0: none).
    static unsigned long long ReleaseTime(const MessageData& data);
    bool Held(const MessageData& data) const;
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
    // The .eml number the next delivery tries; 0 until the delivery folder
    // has been looked at (the first delivery), so that a later process
    // carries on after an earlier one's files.
    unsigned nextEmlNumber = 0;

    // -- The persistent store (config.storeFolder; store_disk.cpp) --
    bool Persistent() const { return !config.storeFolder.empty(); }
    // Reads what an earlier process left: Outbox messages and Sent Items records.
    void LoadStore();
    // Appends the message, whole, to the Outbox journal (a later record of
    // the same message replaces an earlier one). False when it could not be
    // written.
    bool PersistOutbox(MessageData& data);
    // Config::onDraftSaved, for a message that stands in Drafts.
    void TellDraftSaved(const MessageData& data) const;
    // The message left the Outbox: the journal records it gone. With
    // `delivered` (its Sent Items record is written), that record may wait
    // for the journal's next write: a process killed meanwhile finds the
    // message in both and only writes its .eml again, whole.
    void ForgetOutbox(MessageData& data, bool delivered = false);
    // The message was delivered (as `emlName`, empty for none): one line in
    // Sent Items.txt; with `light`, Sent Items gets a SentRecord for it.
    void RecordDelivered(MessageData& data, const std::string& emlName, bool light);
    void CloseStore();
    std::vector<SentRecord> sentRecords;   // the light items of Sent Items, oldest first
    HANDLE sentLog = INVALID_HANDLE_VALUE; // Sent Items.txt, open for appending
    // The Outbox journal (store_disk.cpp): Outbox.log, open for appending.
    struct Journal {
        HANDLE file = INVALID_HANDLE_VALUE;
        uint64_t bytes = 0;     // its length
        size_t live = 0;        // messages it holds that are still in the Outbox
        std::string pending;    // "gone" records not written yet
        uint64_t compactAt = 0; // rewritten with only the live messages past this
        bool foldersMade = false;
    } journal;
    bool AppendJournal(const std::string& record);
    bool CompactJournal();
    void LoadOutbox(const std::vector<uint32_t>& delivered, std::map<uint32_t, std::string>& emlOf,
                    uint32_t* highest);

private:
    uint64_t nextSerial_ = 1;
    // By the class names' text: they are literals, which outlive every object.
    std::unordered_map<std::string_view, unsigned> classCounts_;
    DWORD cookies_ = 0;
    bool shuttingDown_ = false;
};

MessageView ViewOf(const World& world, const MessageData& data);

// Puts a whole file written beside `target` in its place, replacing what was
// there (store_files_win.cpp, store_files_native.cpp).
bool ReplaceFileWith(const std::string& temp, const std::string& target);

// How a value looks in the trace.
std::string Render(const World* world, const VARIANT& value);

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

} // namespace sim
