// The Extended MAPI calls the job makes on the host's message store: reading
// the original's subject and bodies, addressing, marking, submitting and
// flushing each copy. Every operation reports failure through its result and
// never raises; what was allocated is given back on every path.
#pragma once

#include "client/com_ref.h"

#include <functional>

namespace MessageStore {

// PR_SUBJECT of the message, read as Unicode and kept as UTF-8. True with
// `subject` set, or left null when the call fails or the message has no
// subject; false when memory for the copy cannot be had.
bool GetSubject(IMessage* message, Utf8Text* subject);

// PR_INTERNET_CPID: the code page the message's 8-bit HTML is in; 0 when
// the store gives none.
UINT GetInternetCodePage(IMessage* message);

enum class BodyRead {
    Read,     // `body` holds the property's bytes, NUL-terminated
    None,     // the property cannot be opened, or no scratch stream was had
    NoMemory, // the buffer for the bytes cannot be allocated
};
// Reads a whole body property (PR_BODY, PR_BODY_HTML, PR_HTML) through a
// scratch stream in the temporary folder, deleted when released. The bytes
// come back unconverted; a body ends at its first NUL.
BodyRead ReadBodyStream(IMessage* message, ULONG tag, Utf8Text* body);
// The same, with the number of bytes read (a wide body holds NUL bytes).
BodyRead ReadBodyStream(IMessage* message, ULONG tag, Utf8Text* body, size_t* length);

// The ADRLIST that addresses a copy: its recipient and any Cc and Bcc
// recipients of its record, each entry with its own type and one-off entry
// ID, given to the message in one ModifyRecipients call and given back with
// FreePadrlist when it goes. Built step by step, so the caller can tell which
// allocation failed.
class RecipientList {
public:
    RecipientList() = default;
    RecipientList(const RecipientList&) = delete;
    RecipientList& operator=(const RecipientList&) = delete;
    ~RecipientList() { Free(); }

    // The list with `entries` entries (one at least), none holding values
    // yet; false when the store has no memory.
    bool AllocateList(ULONG entries = 1);
    ULONG Count() const { return list_ ? list_->cEntries : 0; }
    // The entry's values, zeroed: room for six, of which the entry holds
    // five until SetOneOffEntryId adds the sixth. False when the store has
    // no memory.
    bool AllocateValues(ULONG entry = 0);
    // Values 0 and 1: PR_EMAIL_ADDRESS and PR_DISPLAY_NAME (PT_UNICODE), each
    // a wide copy of the UTF-8 address chained to the list. False when a copy
    // cannot be had.
    bool SetAddress(const char* address, ULONG entry = 0);
    // Values 2 to 4: PR_RECIPIENT_TYPE (MAPI_TO, MAPI_CC or MAPI_BCC),
    // PR_ADDRTYPE "SMTP" (PT_UNICODE, chained), PR_SEND_RICH_INFO false.
    // False when the copy cannot be had.
    bool SetFixedValues(ULONG entry = 0, LONG type = MAPI_TO);
    // Value 5: PR_ENTRYID, the address book's one-off entry ID for the
    // address of value 0 (as its display name too, type "SMTP", no rich
    // information, asked for with the entry's wide strings and MAPI_UNICODE),
    // copied and chained to the list; the book's own block is given back.
    // False, the entry left with its five values, when the book makes none
    // or the copy cannot be had.
    bool SetOneOffEntryId(IAddrBook* addressBook, ULONG entry = 0);
    // ModifyRecipients with MODRECIP_ADD: the recipients the message already
    // holds stay.
    HRESULT AddTo(IMessage* message);
    void Free();

private:
    bool SetString(ULONG entry, ULONG index, ULONG tag, const char* text);
    ADRLIST* list_ = nullptr;
};

enum class AttachResult {
    Attached,
    FileUnreadable, // the file could not be opened or read through
    FileTooLarge,   // it grew beyond what an attachment holds
    StoreFailed,    // the store refused the attachment or its data
    NoMemory,
    Stopped, // the caller asked to stop between two pieces
};
// Attaches the file at `path` (UTF-8) to the message by value, under `name`
// (PR_ATTACH_LONG_FILENAME, PR_ATTACH_FILENAME, PR_DISPLAY_NAME, all
// PT_UNICODE). Its bytes go through PR_ATTACH_DATA_BIN's stream a piece at a
// time, so memory does not grow with the file; the stream is committed and
// the attachment saved. `storeResult` receives the store's failing result.
// `afterPiece`, when given, is called after every piece: a long file is
// long work, and the caller hands the thread back there; false stops.
AttachResult AttachFile(IMessage* message, const char* path, const char* name, HRESULT* storeResult,
                        const std::function<bool()>& afterPiece = {});

// IMessage::SaveChanges, the message kept open for further changes.
HRESULT SaveMessage(IMessage* message);

// The session's address book, without its dialogs; empty when the session
// gives none.
ComRef<IAddrBook> OpenAddressBook(IMAPISession* session);

// One property value, from the store's allocator; null when it has no memory.
MapiBuffer<SPropValue> AllocateValue();
HRESULT SetOneProp(IMessage* message, SPropValue* value);
// As SetOneProp, and the value's own problem (SetProps reports a refused
// value in its problem array, not in its result) as the result.
HRESULT SetOnePropChecked(IMessage* message, SPropValue* value);

// The tag of the named property PidLidUseTnef (PSETID_Common, 0x8582),
// created when missing, with its type made PT_BOOLEAN. The returned tag
// array is given back; `freeResult` receives what MAPIFreeBuffer said.
HRESULT ResolveUseTnefTag(IMessage* message, ULONG* tag, ULONG* freeResult);

// The store's description of a failing result (GetLastError, flags 0): true
// with the text when the store gives one.
bool LastErrorText(IMAPIProp* object, HRESULT result, Utf8Text* text);

HRESULT Submit(IMessage* message);

} // namespace MessageStore
