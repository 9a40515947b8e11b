// The simulated mail client: a stand-in for the desktop mail client that an
// Exchange client extension lives in. It is a host, not a mock: the extension
// reaches it only through the published interfaces (IDispatch late binding on
// the object model and the Office command bars, connection-point events,
// Extended MAPI, the Exchange client-extension callbacks), and it knows
// nothing of the extension's code. Tests and host programs drive it through
// the C++ API below, as a user and an administrator would drive the real one.
//
// What it holds
//   - The object model: Application (Version, Inspectors, Explorers,
//     ActiveExplorer, Session, GetNamespace), NameSpace (GetDefaultFolder, SendAndReceive on
//     hosts of version 12 and above, MAPIOBJECT), folders (Drafts, Outbox,
//     Sent Items, Deleted Items, Inbox: Name, EntryID, Items), one explorer, the
//     Inspectors collection, inspectors (CommandBars, CurrentItem, Close,
//     IOleWindow) and mail items (Class, Sent, Submitted, GetInspector,
//     MAPIOBJECT, Save, Copy, Move, Close, Delete, Subject, Body, HTMLBody,
//     BodyFormat, SaveSentMessageFolder, EntryID, To, Recipients).
//   - A folder's Items (Class, Count, Item by position, Find, FindNext), a
//     new collection at each read. Find takes Jet filters of one or two
//     conditions joined by And, each "[Subject] = 'text'" or "[To] = 'text'"
//     (double quotes too, a quote inside doubled), compared without regard
//     to case; it gives the first match or Nothing, FindNext the next one.
//     It raises DISP_E_EXCEPTION (scode E_INVALIDARG) for a property the
//     real Find refuses (Body, HTMLBody, EntryID, Class, Sent, Submitted,
//     ...), for any other property but Subject and To ("is unknown"), and
//     for what does not parse (no brackets, no quotes, an unterminated
//     quote, another operator, Or). Recipients (Count, Item) of Recipient
//     (Address, Name, Type: olTo 1, olCC 2, olBCC 3) are as the item's were
//     when asked for. Deleting a submitted Outbox item is refused
//     (DISP_E_EXCEPTION, scode MAPI_E_SUBMITTED) until IMsgStore::AbortSubmit
//     has taken it out of the queue.
//   - Command bars per window: CommandBars (Item, Count, ActiveMenuBar,
//     FindControl), CommandBar (Name, Controls, FindControl, ...),
//     CommandBarControls (Item, Count, Add) and controls (buttons and popups:
//     BeginGroup, Caption, TooltipText, Tag, OLEUsage, Visible, Enabled,
//     FaceId, Style, Picture, Mask, Id, Type, Index, Parameter, Controls,
//     Move, Execute, PasteFace, Delete). The explorer's menu bar holds the
//     Tools popup at index 5, captioned by the configured language.
//   - Events through connection points: InspectorsEvents NewInspector,
//     ExplorersEvents NewExplorer, ItemEvents Close and Send, _CommandBarButtonEvents Click. A
//     click is delivered to every sink connected to any button sharing the clicked button's Id
//     (every custom button has Id 1), as the host does.
//   - The message store: every item's MAPIOBJECT is an IMessage over the same
//     data (PR_SUBJECT, PR_BODY, PR_BODY_HTML/PR_HTML, PR_MSG_EDITOR_FORMAT,
//     recipients, named properties); the session's status table holds a
//     spooler row whose IMAPIStatus::FlushQueues delivers the submitted
//     messages. Send/Receive (the control with the host's Send/Receive id,
//     Executed, or NameSpace.SendAndReceive) delivers them as well.
//   - The address book: IMAPISession::OpenAddressBook gives an IAddrBook
//     whose CreateOneOff makes one-off entry IDs (the published layout:
//     MakeOneOffEntryId, DecodeOneOffEntryId below); its other methods
//     answer MAPI_E_NO_SUPPORT. Recipients of a compose window are resolved
//     as the client shows them: each gets a one-off entry ID.
//   - Delivery: each delivered message becomes an RFC 5322 file (.eml) in the
//     delivery folder and moves to its sent-items folder. Only resolved
//     recipients (those holding a one-off PR_ENTRYID) are delivered to; the
//     others get a non-delivery report: a report message in the Inbox and a
//     NonDelivery record. A message none of whose recipients is resolved
//     makes no .eml file at all. The file is the sender's copy: it keeps a
//     Bcc line, as a sent item does. A message with attachments (IMessage::
//     CreateAttach, ATTACH_BY_VALUE, PR_ATTACH_DATA_BIN through a stream
//     that is committed, then IAttach::SaveChanges) is multipart/mixed: the
//     text, then each file base64-encoded under its PR_ATTACH_LONG_FILENAME
//     (RFC 2231 when not ASCII). An attachment's bytes live in a file of
//     the temporary folder, never whole in memory, and are streamed into
//     the .eml. Copy and Move carry a message's attachments along.
//
// The persistent store (Config::storeFolder set)
//   - The Outbox lives on disk, as a journal only ever appended to:
//     a message saved while in the Outbox (Save, IMessage::SaveChanges) and
//     every message at SubmitMessage is appended whole to
//     <storeFolder>\Outbox.log, in one write, before the call returns; a
//     message deleted or moved out is recorded gone there at once, one
//     delivered with the journal's next write. The journal is emptied when
//     the Outbox is and it is past 1 MiB, and rewritten (whole, as
//     Outbox.tmp, then put in place) past 8 MiB otherwise. The folder is
//     never listed.
//   - Each delivery appends one line to
//     <storeFolder>\Sent Items.txt ("R1", the Sent Items entry ID in hex, the Outbox number,
//     the .eml name, the subject, the recipient count, then type, address and
//     display name of each; tab-separated, with \\ \t \n \r escaped),
//     then writes its .eml. Sent Items gets a light item for it
//     (subject and recipients only) when keepDelivered is off.
//   - A client started on a folder that holds these reads them back (a
//     record a kill cut short is cut off): the journal's messages are
//     Outbox messages again (the submitted ones queued, delivered
//     at the next flush, Send/Receive or RunSpooler; a message also named
//     in Sent Items.txt was delivered: its .eml is written again, whole,
//     under the recorded name, and it is not sent again), and each
//     record is a light Sent Items item answering Application, Class,
//     Parent, Sent, Submitted, Subject, To, Recipients and EntryID, and no
//     other member (GetIDsOfNames fails). Message numbers carry on after
//     the highest read. Named properties other than PidLidUseTnef are not
//     kept. An Outbox message's attachments are: each one's data in
//     <storeFolder>\Outbox\XXXXXXXX-N.att, written before the record that
//     names it, removed once the journal says the message is gone.
//   - With or without a store, .eml numbers carry on after the last file of
//     the delivery folder (looked at once, at the first delivery), and a
//     file already there is never written over.
//
// Conventions
//   - 8-bit strings in this API are UTF-8 text. The store keeps every
//     character: it answers PT_UNICODE (the _W properties) with all of them,
//     and the 8-bit form (PT_STRING8) in its code page, Windows-1252, with
//     '?' for what that lacks, as a real store does.
//   - Everything runs on the calling thread; events are delivered inside the
//     call that causes them (OpenCompose, Click, CloseInspector, ...).
//   - Returned interface pointers are new references: wrap them in Ptr<>.
//   - Invoke takes a read as a property get or as a method call alike (a
//     late-bound caller may use either); a put must be a put, and
//     MailItem.SaveSentMessageFolder takes only a put by reference.
//   - Failures the extension can observe are the host's: result codes from
//     Invoke (DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH,
//     DISP_E_PARAMNOTOPTIONAL, E_INVALIDARG from Item for a missing name or
//     index, DISP_E_EXCEPTION with EXCEPINFO for a raised error), MAPI codes.
//
// A typical test
//   sim::MailClient client(config);
//   client.InstallExtension(extension);                        // session + explorer
//   sim::Ptr<IDispatch> inspector = client.OpenCompose(draft); // NewInspector fires
//   sim::Ptr<IDispatch> button = client.FindControl(inspector, "Standard", "Quorsend");
//   client.Click(button);                                      // the extension runs
//   client.Deliveries(); client.FolderContents(olFolderSentMail); client.Trace();
//
// A host program (the real extension under Wine) is a thin main(): create a
// MailClient, load the library, pass its ExchEntryPoint result to
// InstallExtension, open compose windows and click, then let the client go.
#pragma once

#include "platform.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// ---- Counted references ---------------------------------------------------------
template <class T> class Ptr {
public:
    Ptr() = default;
    Ptr(T* p) : p_(p) { // takes a reference of its own
        if (p_)
            p_->AddRef();
    }
    Ptr(const Ptr& o) : Ptr(o.p_) {}
    Ptr(Ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~Ptr() { Reset(); }
    Ptr& operator=(Ptr o) noexcept {
        T* old = p_;
        p_ = o.p_;
        o.p_ = old;
        return *this;
    }
    // Wraps a pointer whose reference the caller hands over (a new object or
    // an out-parameter).
    static Ptr Adopt(T* p) {
        Ptr r;
        r.p_ = p;
        return r;
    }
    void Reset() {
        if (T* p = p_) {
            p_ = nullptr;
            p->Release();
        }
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Out-parameter use: releases what was held.
    T** Out() {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

// ---- Configuration ----------------------------------------------------------------
enum class MenuLanguage {
    English, // "&Tools"
    Spanish, // "&Herramientas"
    German,  // "E&xtras"
    Other    // French captions: the Tools menu is "&Outils", found only by position
};

// Send/Receive control ids of the hosts: 5488 before version 11, 7095 from 11 on.
constexpr LONG kSendReceiveIdByVersion = -1;
constexpr LONG kNoSendReceiveControl = 0;

struct Delivery;

struct Config {
    std::string version = "11.0.0.8312";   // Application.Version
    LONG newItemBodyFormat = olFormatHTML; // body format of new compose items
    std::string senderName = "Sam Sender"; // From of delivered messages
    std::string senderAddress = "sam.sender@example.com";
    MenuLanguage menuLanguage = MenuLanguage::English;
    // false: the client starts without an explorer window, as when another
    // program starts it: ActiveExplorer is null and Explorers empty until
    // OpenExplorer.
    bool explorer = true;
    unsigned explorerAfterPolls = 0; // ActiveExplorer is null for this many reads
    bool spoolerRow = true;          // the status table's spooler row
    LONG sendReceiveControlId = kSendReceiveIdByVersion;
    std::string deliveryFolder; // Windows path; empty: <temp>\SimMail
    // Windows path of a store kept on disk, as the real client keeps its
    // own; empty: the store lives in memory and dies with the client. With
    // one, what is in the Outbox and what was delivered outlive the process
    // (see "The persistent store" above).
    std::string storeFolder;
    // The sending account, Namespace.Accounts' first (clients of version
    // 12 on): its AccountType (with Exchange the server holds deferred
    // messages, with POP3 and IMAP they leave only while the client runs)
    // and its SmtpAddress (empty: senderAddress). The profile's other
    // accounts follow it in the collection.
    LONG accountType = olExchange;
    std::string accountAddress;
    struct Account {
        LONG type;
        std::string smtpAddress;
    };
    std::vector<Account> otherAccounts;
    // MailItem.SendUsingAccount of every item: an index of the accounts
    // (0 the first), -1 for none (Nothing: the default account sends it).
    int sendUsingAccount = -1;
    HWND explorerWindow = nullptr; // IOleWindow of the explorer; null: desktop
    // Whether an event source holds a reference on each sink while it calls
    // it. Some do not: a sink that ends itself inside its own Invoke is then
    // freed there.
    bool holdSinksDuringEvents = true;
    DWORD submitMilliseconds = 0; // how long SubmitMessage takes (it sleeps)
    // Whether a delivered message stays in memory: its Delivery record (with
    // its text) and its copy in the sent-items folder. A long run turns this
    // off: the .eml files are then the only record, Deliveries() stays empty
    // and DeliveredCount() counts them.
    bool keepDelivered = true;
    // Told of each delivery as it is made, kept or not.
    std::function<void(const Delivery&)> onDelivered;
    // Told of each message saved in Drafts (the object model's Save,
    // IMAPIProp::SaveChanges), with its named string properties as
    // MessageView::publicStrings gives them: what a store on disk keeps of
    // the draft, and what the demo and the host keep for the next run,
    // killed runs included.
    std::function<void(const std::vector<std::pair<std::string, std::string>>&)> onDraftSaved;
    // What the store says of a simulated failure (UTF-8; GetLastError gives it
    // in the ANSI code page, as a store of that language does); empty:
    // "Simulated failure of <member>."
    std::string faultText;
};

// ---- Messages -------------------------------------------------------------------------
struct Recipient {
    Recipient() = default;
    Recipient(std::string a, std::string name = std::string(), LONG t = MAPI_TO)
        : address(std::move(a)), displayName(std::move(name)), type(t) {}
    std::string address;
    std::string displayName; // empty: the address
    LONG type = MAPI_TO;     // MAPI_TO, MAPI_CC, MAPI_BCC
    std::string addressType = "SMTP";
    bool sendRichInfo = true; // PR_SEND_RICH_INFO
    // PR_ENTRYID, the bytes; empty: unresolved. A draft's recipients without
    // one are given a one-off entry ID when the compose window opens.
    std::string entryId;
};

// What a one-off entry ID holds.
struct OneOffEntry {
    std::string displayName, addressType, address; // UTF-8
    bool unicode = false;                          // MAPI_ONE_OFF_UNICODE: the strings were UTF-16
    bool noRichInfo = false;                       // MAPI_ONE_OFF_NO_RICH_INFO
};
// A one-off entry ID as IAddrBook::CreateOneOff makes it: 4 bytes of flags
// (0), the one-off provider's UID (MAPI_ONE_OFF_UID), a 16-bit version (0)
// and a 16-bit flags word (MAPI_ONE_OFF_NO_RICH_INFO, MAPI_ONE_OFF_UNICODE),
// then the display name, the address type and the address, each ending in
// NUL, 8-bit (or UTF-16 little-endian with `unicode`).
std::string MakeOneOffEntryId(const OneOffEntry& entry);
// False when the bytes are not a whole one-off entry ID.
bool DecodeOneOffEntryId(const std::string& entryId, OneOffEntry* entry);

// The message a compose window opens with: an unsaved draft, unless `sent`
// (a message already sent, opened for reading).
struct Draft {
    std::string subject;
    bool hasSubject = true; // false: the store has no PR_SUBJECT
    std::string body;
    bool hasBody = true; // false: no PR_BODY (OpenProperty fails)
    std::string html;    // empty: none (unless the format is HTML: made from the body)
    // The code page PR_HTML gives the HTML's bytes in (characters it lacks
    // are written as numeric character references), and whether the store
    // states it as PR_INTERNET_CPID.
    UINT htmlCodePage = CP_UTF8;
    bool internetCodePageKnown = true;
    LONG bodyFormat =
        olFormatUnspecified;           // unspecified: HTML when html is given, else the config's
    bool htmlPropertyAvailable = true; // false: OpenProperty(PR_HTML / PR_BODY_HTML) fails
    bool nullMapiObject = false;       // MAPIOBJECT gives VT_UNKNOWN null
    bool nullHtmlBody = false;         // HTMLBody gives VT_NULL
    bool sent = false;                 // a read (already sent) message
    bool mailItem = true;              // false: a post item: Class 45, no _MailItem
    std::vector<Recipient> recipients;
    HWND window = nullptr; // the inspector's IOleWindow window; null: the desktop
    // Named string properties of the public set (PS_PUBLIC_STRINGS) the
    // draft was saved with, by name: a draft reopened from the store has
    // them, as MessageView::publicStrings gave them when it was saved.
    std::vector<std::pair<std::string, std::string>> publicStrings;
};

// What the store holds for one message.
struct MessageView {
    std::string entryId; // hex
    std::string folder;  // "Drafts", "Outbox", "Sent Items", "Deleted Items" or "" (unsaved)
    bool hasSubject = false;
    std::string subject;
    bool hasBody = false;
    std::string body;
    std::string html;  // empty: no HTML body
    LONG editorFormat; // PR_MSG_EDITOR_FORMAT
    std::vector<Recipient> recipients;
    bool submitted = false;
    bool sent = false;
    int useTnef = -1;       // the PidLidUseTnef named property: -1 unset, 0 false, 1 true
    std::string sentFolder; // SaveSentMessageFolder's name; empty: the default
    // PR_DEFERRED_DELIVERY_TIME, the UTC FILETIME's 100 ns count; 0: none.
    unsigned long long releaseTime = 0;
    // Its named string properties of PS_PUBLIC_STRINGS, by name: what a
    // real store keeps with the message once it is saved (IMAPIProp::
    // SaveChanges), in the order their names were first mapped.
    std::vector<std::pair<std::string, std::string>> publicStrings;
};

// One message the client has sent.
// A file a delivered message carried (multipart/mixed, base64).
struct DeliveredAttachment {
    std::string fileName; // UTF-8, as PR_ATTACH_LONG_FILENAME gave it
    uint64_t size = 0;
};

struct Delivery {
    std::string path;      // Windows path of the .eml file
    std::string messageId; // without the angle brackets
    std::string from;      // sender address
    std::vector<Recipient> recipients;
    std::string subject;
    std::string body; // the text part as sent (HTML source when isHtml)
    bool isHtml = false;
    int useTnef = -1;
    SYSTEMTIME date;
    std::vector<DeliveredAttachment> attachments; // in the message's order
};

// A submitted message that did not reach some of its recipients: the report
// the client put in the Inbox.
struct NonDelivery {
    std::string subject;               // of the message that was not delivered
    std::vector<Recipient> recipients; // those it did not reach
    std::string reason;                // as the report gives it
    std::string reportEntryId;         // hex, the report message in the Inbox
};

// ---- Trace ----------------------------------------------------------------------------------
// AddRef and Release are not recorded, nor GetIDsOfNames that succeed (the
// Invoke that follows names the member).
enum class TraceKind {
    Get,            // property read through Invoke
    Put,            // property write through Invoke
    Method,         // method call through Invoke
    Name,           // GetIDsOfNames that failed
    QueryInterface, // any object's QueryInterface
    Connection,     // Advise / Unadvise / FindConnectionPoint
    Mapi,           // a call on a MAPI interface or an extension callback
    Event           // an event delivered to one sink (result: the sink's)
};

struct TraceEntry {
    TraceKind kind;
    std::string object; // "MailItem#3", "Control#7", "Message#2", ...
    std::string member; // canonical member name ("Caption", "SubmitMessage", ...)
    std::string args;   // rendered arguments; for Put: the value
    HRESULT result;
    std::string value; // what a successful get or call returned, rendered
};

// ---- COM add-ins and the ribbon ------------------------------------------------------------
// A library's DllGetClassObject: the host program passes the export it found
// (natively, the product's function itself).
using ClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID iid, void** object);

// The key under HKEY_CURRENT_USER (one user's) and HKEY_LOCAL_MACHINE (every
// user's) whose subkeys, one per ProgID, list the client's COM add-ins.
constexpr const char kAddInsKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins";
// The ribbon of compose-mail windows, as GetCustomUI is asked for it.
constexpr const char kComposeRibbonId[] = "Microsoft.Outlook.Mail.Compose";

// A button of an add-in's compose ribbon, as its XML declares it.
struct RibbonButton {
    std::string progId; // the add-in
    std::string id, label, size, screentip, supertip, onAction, getImage, tab, group;
    std::string groupLabel;
    unsigned imagesLoaded = 0; // getImage calls that gave a picture
    // The bitmap of the last picture getImage gave (on Windows; natively
    // only the count above): its size, its bits per pixel and its pixels as
    // 32-bit BGRA, top row first, alpha as the bitmap holds it.
    LONG imageWidth = 0, imageHeight = 0;
    WORD imageBitsPixel = 0;
    std::vector<BYTE> imagePixels;
};

// How long one start-up call of an add-in took, by the platform's clock
// (natively the substitute's virtual one, under Windows the real one).
struct AddInTiming {
    std::string progId;
    std::string call; // "OnConnection" or "OnStartupComplete"
    DWORD milliseconds = 0;
};

// ---- The client -------------------------------------------------------------------------------
class World;

class MailClient {
public:
    explicit MailClient(const Config& config = Config());
    // Shuts the client down: closes every window, lets go of every sink the
    // extension connected and of the extension; objects the extension still
    // holds answer RPC_E_DISCONNECTED from then on.
    ~MailClient();
    MailClient(const MailClient&) = delete;
    MailClient& operator=(const MailClient&) = delete;

    const Config& GetConfig() const;

    // -- Published objects (new references) --
    Ptr<IDispatch> Application();
    Ptr<IDispatch> Explorer(); // the explorer, whether or not ActiveExplorer shows it yet
    Ptr<IMAPISession> Session();
    // The Exchange callback for a context: GetSession gives the session;
    // IOutlookExtCallback::GetObject gives `object` (or, when null, the
    // context's natural object: the explorer for EECONTEXT_VIEWER, else the
    // application).
    Ptr<IExchExtCallback> NewCallback(ULONG context, IDispatch* object = nullptr);

    // -- The extension, as the client loads it --
    // Keeps a reference of its own to the extension (the caller keeps and
    // releases its own) and installs it in the session context, then in the
    // explorer's (EECONTEXT_VIEWER). Each compose window opened later installs
    // it in EECONTEXT_SENDNOTEMESSAGE (before NewInspector fires). Returns the
    // two Install results in order.
    std::vector<HRESULT> InstallExtension(IExchExt* extension);
    // Lets go of the extension (the client's one reference).
    void ReleaseExtension();
    // Clients of version 14 and above do not load client extensions:
    // InstallExtension then installs nothing and returns no results.

    // -- COM add-ins, as a client of version 9 and above loads them (the
    // ribbon from 12) --
    // Reads the add-in keys (kAddInsKey\<ProgID>, LoadBehavior 3) of the
    // current user, then of the machine (a ProgID in both is loaded once, by
    // the user's), finds each ProgID's class (Software\Classes\<ProgID>\CLSID,
    // the user's over the machine's),
    // creates it through `getClassObject`'s class factory, then calls
    // OnConnection (ext_cm_Startup) on each and OnStartupComplete on each.
    // Returns the ProgIDs connected; what failed is in LoadErrors().
    // Each OnConnection and OnStartupComplete is timed (AddInTimings); from
    // version 15 on, an add-in that takes more than a second in either is
    // disabled: disconnected (ext_dm_UserClosed), let go, left out of the
    // result, and named in LoadErrors() and DisabledAddIns().
    std::vector<std::string> LoadComAddIns(ClassObjectFunction getClassObject);
    // The user ticks a registered add-in in the COM Add-ins dialog while the
    // client runs: it is created as at start-up and connected with
    // OnConnection(ext_cm_AfterStartup), and OnStartupComplete never comes.
    // Timed and disabled as above. False when it is not registered, already
    // connected, or was not connected.
    bool ConnectComAddIn(ClassObjectFunction getClassObject, const std::string& progId);
    const std::vector<AddInTiming>& AddInTimings() const;
    const std::vector<std::string>& DisabledAddIns() const;
    // The user unticks the add-in in the add-in manager:
    // OnDisconnection(ext_dm_UserClosed), then the client lets go of it.
    bool DisconnectComAddIn(const std::string& progId);
    size_t ConnectedComAddIns() const;
    // Load and ribbon faults: a missing class, a failed OnConnection, XML
    // without its essentials (the customUI namespace the version reads:
    // 2006/01 at version 12, 2006/01 or 2009/07 from 14; a tab, a group with
    // an id, buttons with unique ids and a label), which leaves that
    // add-in's ribbon out whole; a callback the add-in's IDispatch does not
    // know, a getImage that gives no picture.
    const std::vector<std::string>& LoadErrors() const;
    // The compose ribbon's buttons of the add-ins, on the window of an
    // unsent mail item (a read window has none). The client asks each add-in
    // for its compose ribbon (GetCustomUI) when the first compose window
    // shows, after NewInspector, and each window loads the buttons' images.
    std::vector<RibbonButton> RibbonButtons(IDispatch* inspector);
    // The user presses a ribbon button of a compose window: its onAction
    // callback is invoked by name on the add-in's IDispatch with an
    // IRibbonControl whose Context is the window. The callback's result.
    HRESULT ClickRibbonButton(IDispatch* inspector, const std::string& id);

    // -- Windows and user actions --
    // The user opens the explorer window of a client started without one:
    // NewExplorer fires with it (while it is not yet the active explorer),
    // then it shows. Nothing when it is open already. Returns the explorer.
    Ptr<IDispatch> OpenExplorer();
    // Opens a compose window: NewInspector fires. Returns the inspector.
    Ptr<IDispatch> OpenCompose(const Draft& draft);
    // The inspectors shown, in opening order.
    std::vector<Ptr<IDispatch>> OpenInspectors();
    Ptr<IDispatch> CurrentItem(IDispatch* inspector);
    // The user closes the window: ItemEvents Close fires (a sink may cancel);
    // the item is saved (olSave) or discarded (olDiscard). False when cancelled.
    bool CloseInspector(IDispatch* inspector, LONG saveMode = olSave);
    // The user presses Send: ItemEvents Send fires (a sink may cancel); the
    // item moves to the Outbox and is submitted; the window goes away.
    enum class SendOutcome { Sent, Cancelled, NoRecipients };
    SendOutcome SendInspector(IDispatch* inspector);
    // A control of a window's bar, by bar name and caption (case-insensitive,
    // accelerator ampersands ignored), searching popups too. Null when absent.
    Ptr<IDispatch> FindControl(IDispatch* window, const std::string& bar,
                               const std::string& caption);
    // Every control of a window whose tag is `tag`.
    std::vector<Ptr<IDispatch>> ControlsTagged(IDispatch* window, const std::string& tag);
    // Every control of a window, on any of its bars, captioned `caption` (as
    // FindControl compares captions), deleted ones left out.
    std::vector<Ptr<IDispatch>> ControlsCaptioned(IDispatch* window, const std::string& caption);
    // The user clicks a control: Click goes to every sink of every button
    // with the same Id. Returns the CancelDefault the sinks left.
    bool Click(IDispatch* control);

    // What a button was given for its face. Recorded on Windows, where the
    // clipboard and the pictures are the system's; natively it stays empty.
    struct FaceState {
        // The clipboard at the last PasteFace: its formats by name ("CF_DIB",
        // "CF_BITMAP", "Toolbar Button Face", ...) and the blocks of the three
        // face formats.
        std::vector<std::string> clipboardFormats;
        std::vector<BYTE> dib, buttonFace, buttonMask;
        // The bitmaps of the Picture and Mask pictures last set.
        LONG pictureWidth = 0, pictureHeight = 0, maskWidth = 0, maskHeight = 0;
        WORD pictureBitsPixel = 0, maskBitsPixel = 0;
        // Their pixels as the system reads them back: 32-bit BGRX, top row
        // first (a host draws the face from these).
        std::vector<BYTE> picturePixels, maskPixels;
    };
    struct ControlState {
        LONG type = 0, id = 0, index = 0, faceId = 0, style = 0, oleUsage = 0;
        std::string caption, tooltip, tag, parameter, bar;
        bool visible = true, enabled = true, beginGroup = false, temporary = false;
        bool hasPicture = false, hasMask = false;
        unsigned facePastes = 0;
        FaceState face;
        size_t sinks = 0;     // connected Click sinks
        bool deleted = false; // its window closed or it was deleted
    };
    ControlState Inspect(IDispatch* control);
    // Connected sinks of an event source (an item, the Inspectors collection, a button).
    size_t SinkCount(IDispatch* source);

    // -- The store --
    // Sent Items lists a persistent store's light items first (subject,
    // recipients and entry ID only).
    std::vector<MessageView> FolderContents(LONG olFolder);
    // The store's view of an item (IDispatch) or of a message (IMessage).
    MessageView View(IUnknown* itemOrMessage);
    // Messages submitted and not yet delivered, those a persistent store
    // read back included.
    size_t QueuedCount();
    // The spooler runs (as it would in the background): delivers the queue,
    // but for the messages held until a release time still to come.
    void RunSpooler();
    // Submitted messages held for their release time (PR_DEFERRED_DELIVERY_
    // TIME later than the client's clock): they wait in the Outbox, on disk
    // too with a persistent store, and each leaves when the clock reaches
    // its time, its .eml's Date that time.
    size_t HeldCount();
    // Runs the client's clock forward, from one release time to the next,
    // delivering each message as its time comes, until none is held; the
    // number delivered. The clock stays where the last one left.
    size_t RunClockUntilReleased();
    // The client's clock (UTC FILETIME count): the platform's, plus what
    // RunClockUntilReleased or AdvanceClientClock ran it forward.
    unsigned long long ClientClock() const;
    void AdvanceClientClock(unsigned long long ticks);
    const std::vector<Delivery>& Deliveries() const;
    // Messages delivered so far, kept in memory or not: one for each .eml.
    size_t DeliveredCount() const;
    // Non-delivery reports so far, in order.
    const std::vector<NonDelivery>& NonDeliveries() const;
    // Send/Receive passes (control executed, SendAndReceive, FlushQueues).
    unsigned SendReceiveCount() const;
    unsigned FlushCount() const;
    // Reads of ActiveExplorer so far.
    unsigned ActiveExplorerReads() const;

    // -- Faults --
    // The n-th call from now (1 = the next) of `member` fails with `hr`,
    // and the `times - 1` calls after it too. `member` is "Name" or
    // "Class.Name" ("Copy", "MailItem.Save", "Message.SubmitMessage",
    // "Status.FlushQueues"); it applies to Invoke, to the MAPI methods and to
    // the callbacks. Invoke returns `hr` itself; RaiseCall makes Invoke raise
    // it (DISP_E_EXCEPTION with EXCEPINFO.scode = hr). A MAPI call returns
    // `hr`, and GetLastError then describes it. The member "*" is any
    // member: FailCall("*", n, hr) fails the n-th call from now, whatever it
    // is, which a sweep over every call of a run uses with CallCount.
    void FailCall(const std::string& member, unsigned nth, HRESULT hr, unsigned times = 1);
    void RaiseCall(const std::string& member, unsigned nth, HRESULT hr, unsigned times = 1);
    // Copy raises `hr` the next k times in a row.
    void FailCopy(unsigned k, HRESULT hr = E_FAIL);
    // QueryInterface for `iid` fails with E_NOINTERFACE, on every object or
    // on objects of one class ("MailItem", "Control", ...), from the n-th
    // such call from now (1 = the next) on, `times` calls (0: always).
    void FailQueryInterface(const IID& iid, const std::string& className = "", unsigned times = 0,
                            unsigned nth = 1);
    void ClearFaults();
    // The calls made so far that a fault could have failed: Invoke, the MAPI
    // methods, the callbacks, the connection points.
    unsigned long CallCount() const;

    // -- Trace --
    const std::vector<TraceEntry>& Trace() const;
    void ClearTrace();
    // On by default; a long mailing may switch it off to keep memory flat.
    void SetTracing(bool on);
    // Whether the client times the calls made to it (off by default: each
    // call then reads the clock twice), and the time spent inside them.
    void SetTiming(bool on);
    double ClientSeconds() const;
    // Entries whose member is `member` (and whose object starts with `object`).
    std::vector<TraceEntry> Calls(const std::string& member, const std::string& object = "") const;
    std::string TraceText() const;
    // The trace name of an object of this client ("" if not one).
    std::string NameOf(IUnknown* object) const;

    // Objects of this client alive now.
    size_t LiveObjects() const;

private:
    std::unique_ptr<World> world_;
};

// Objects of every client alive in the process: 0 once every client is gone
// and the extension has released all it held.
size_t LiveObjectCount();

// Renders a trace entry as one line: "MailItem#3.Save() -> 0x00000000".
std::string FormatTraceEntry(const TraceEntry& entry);

} // namespace sim
