#include "engine/message_store.h"

#include <cstring>
#include <utility>

namespace MessageStore {

namespace {
// Unique file name, deleted on release, created, exclusive, read-write.
constexpr ULONG kScratchStreamFlags = 0x84001012;
static_assert(kScratchStreamFlags == (SOF_UNIQUEFILENAME | STGM_DELETEONRELEASE | STGM_CREATE |
                                      STGM_SHARE_EXCLUSIVE | STGM_READWRITE),
              "the scratch stream's flags");
// PR_EMAIL_ADDRESS, PR_DISPLAY_NAME, PR_RECIPIENT_TYPE, PR_ADDRTYPE,
// PR_SEND_RICH_INFO, and PR_ENTRYID when the address book gives one.
constexpr ULONG kRecipientValues = 5;
constexpr ULONG kRecipientSlots = kRecipientValues + 1;
constexpr ULONG kEntryIdValue = kRecipientValues;
} // namespace

bool GetSubject(IMessage* message, Utf8Text* subject) {
    subject->Reset();
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT hr =
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Out());
    if (FAILED(hr) || !values || count < 1 || PROP_TYPE(values->ulPropTag) == PT_ERROR ||
        !values->Value.lpszA)
        return true;
    *subject = Utf8Text::Copy(values->Value.lpszA);
    return static_cast<bool>(*subject);
}

BodyRead ReadBodyStream(IMessage* message, ULONG tag, Utf8Text* body) {
    body->Reset();
    ComRef<IStream> property;
    if (FAILED(message->OpenProperty(tag, &IID_IStream, 0, 0,
                                     reinterpret_cast<LPUNKNOWN*>(property.Out()))) ||
        !property)
        return BodyRead::None;

    char folder[MAX_PATH + 1] = "";
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH)
        folder[0] = '\0';
    char prefix[] = "tdp";
    ComRef<IStream> scratch;
    if (FAILED(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, kScratchStreamFlags, folder,
                                prefix, scratch.Out())) ||
        !scratch)
        return BodyRead::None;

    // One copy of the whole property, then one read of what was written.
    ULARGE_INTEGER all, read, written;
    all.QuadPart = 0x7FFFFFFFFFFFFFFFull;
    read.QuadPart = 0;
    written.QuadPart = 0;
    property->CopyTo(scratch.Get(), all, &read, &written);
    const ULONG bytes = static_cast<ULONG>(written.QuadPart);
    if (bytes == 0xFFFFFFFFu)
        return BodyRead::NoMemory;

    char* buffer = static_cast<char*>(MemAlloc(static_cast<size_t>(bytes) + 1));
    if (!buffer)
        return BodyRead::NoMemory;
    std::memset(buffer, 0, static_cast<size_t>(bytes) + 1);
    Utf8Text text = Utf8Text::Adopt(buffer);
    LARGE_INTEGER start;
    start.QuadPart = 0;
    scratch->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    scratch->Read(buffer, bytes, &got);
    buffer[got <= bytes ? got : bytes] = '\0';
    *body = std::move(text);
    return BodyRead::Read;
}

// ---- RecipientList ---------------------------------------------------------------------------

bool RecipientList::AllocateList() {
    Free();
    void* p = nullptr;
    // Sized by the structure, not by its 32-bit size of 16 bytes: on x64 an
    // ADRENTRY holds a 64-bit pointer.
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(1)), &p)) || !p)
        return false;
    std::memset(p, 0, CbNewADRLIST(1));
    list_ = static_cast<ADRLIST*>(p);
    list_->cEntries = 1;
    return true;
}

bool RecipientList::AllocateValues() {
    void* p = nullptr;
    const size_t bytes = kRecipientSlots * sizeof(SPropValue);
    if (!list_ || FAILED(MAPIAllocateBuffer(static_cast<ULONG>(bytes), &p)) || !p)
        return false;
    std::memset(p, 0, bytes);
    list_->aEntries[0].rgPropVals = static_cast<LPSPropValue>(p);
    list_->aEntries[0].cValues = kRecipientValues;
    return true;
}

bool RecipientList::SetString(ULONG index, ULONG tag, const char* text) {
    const size_t length = std::strlen(text);
    void* p = nullptr;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(length + 1), list_, &p)) || !p)
        return false;
    std::memcpy(p, text, length + 1);
    SPropValue& value = list_->aEntries[0].rgPropVals[index];
    value.ulPropTag = tag;
    value.Value.lpszA = static_cast<LPSTR>(p);
    return true;
}

bool RecipientList::SetAddress(const char* address) {
    return SetString(0, PR_EMAIL_ADDRESS, address) && SetString(1, PR_DISPLAY_NAME, address);
}

bool RecipientList::SetFixedValues() {
    SPropValue* values = list_->aEntries[0].rgPropVals;
    values[2].ulPropTag = PR_RECIPIENT_TYPE;
    values[2].Value.l = MAPI_TO;
    if (!SetString(3, PR_ADDRTYPE, "SMTP"))
        return false;
    values[4].ulPropTag = PR_SEND_RICH_INFO;
    values[4].Value.b = FALSE;
    return true;
}

bool RecipientList::SetOneOffEntryId(IAddrBook* addressBook, const char* address) {
    // The text is 8-bit (no MAPI_UNICODE); the copy carries no rich
    // information, as PR_SEND_RICH_INFO says.
    char addressType[] = "SMTP";
    ULONG size = 0;
    MapiBuffer<ENTRYID> made;
    if (FAILED(addressBook->CreateOneOff(const_cast<char*>(address), addressType,
                                         const_cast<char*>(address), MAPI_SEND_NO_RICH_INFO, &size,
                                         made.Out())) ||
        !made || size == 0)
        return false;
    void* p = nullptr;
    if (FAILED(MAPIAllocateMore(size, list_, &p)) || !p)
        return false;
    std::memcpy(p, made.Get(), size);
    SPropValue& value = list_->aEntries[0].rgPropVals[kEntryIdValue];
    value.ulPropTag = PR_ENTRYID;
    value.Value.bin.cb = size;
    value.Value.bin.lpb = static_cast<LPBYTE>(p);
    list_->aEntries[0].cValues = kRecipientSlots;
    return true;
}

HRESULT RecipientList::AddTo(IMessage* message) {
    return message->ModifyRecipients(MODRECIP_ADD, list_);
}

void RecipientList::Free() {
    if (ADRLIST* list = list_) {
        list_ = nullptr;
        FreePadrlist(list);
    }
}

ComRef<IAddrBook> OpenAddressBook(IMAPISession* session) {
    ComRef<IAddrBook> addressBook;
    if (FAILED(session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, addressBook.Out())))
        addressBook.Reset();
    return addressBook;
}

// ---- Properties --------------------------------------------------------------------------------

MapiBuffer<SPropValue> AllocateValue() {
    MapiBuffer<SPropValue> value;
    value.Allocate(sizeof(SPropValue));
    return value;
}

HRESULT SetOneProp(IMessage* message, SPropValue* value) {
    return message->SetProps(1, value, nullptr);
}

HRESULT ResolveUseTnefTag(IMessage* message, ULONG* tag, ULONG* freeResult) {
    *freeResult = 0;
    GUID propertySet = PSETID_Common;
    MAPINAMEID name;
    name.lpguid = &propertySet;
    name.ulKind = MNID_ID;
    name.Kind.lID = PidLidUseTnef;
    LPMAPINAMEID names[1] = {&name};
    LPSPropTagArray tags = nullptr;
    HRESULT hr = message->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
    if (FAILED(hr) || !tags || tags->cValues < 1) {
        if (tags)
            MAPIFreeBuffer(tags);
        return FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
    }
    *tag = CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_BOOLEAN);
    *freeResult = MAPIFreeBuffer(tags);
    return hr;
}

bool LastErrorText(IMAPIProp* object, HRESULT result, Utf8Text* text) {
    text->Reset();
    MapiBuffer<MAPIERROR> error;
    if (FAILED(object->GetLastError(result, 0, error.Out())) || !error || !error->lpszError)
        return false;
    *text = Utf8Text::Copy(error->lpszError);
    return static_cast<bool>(*text);
}

HRESULT Submit(IMessage* message) {
    return message->SubmitMessage(FORCE_SUBMIT);
}

} // namespace MessageStore
