#include "engine/message_store.h"

#include "base/utf8.h"

#include "engine/store_text.h"

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

// Asked for as PT_UNICODE: the 8-bit form would come in the store's code
// page, without the characters it lacks.
bool GetSubject(IMessage* message, Utf8Text* subject) {
    subject->Reset();
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_W}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT hr =
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Out());
    if (FAILED(hr) || !values || count < 1 || PROP_TYPE(values->ulPropTag) != PT_UNICODE ||
        !values->Value.lpszW)
        return true;
    *subject = StoreText::FromWide(values->Value.lpszW);
    return static_cast<bool>(*subject);
}

UINT GetInternetCodePage(IMessage* message) {
    SizedSPropTagArray(1, tags) = {1, {PR_INTERNET_CPID}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT hr =
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Out());
    if (FAILED(hr) || !values || count < 1 || values->ulPropTag != PR_INTERNET_CPID ||
        values->Value.l <= 0)
        return 0;
    return static_cast<UINT>(values->Value.l);
}

BodyRead ReadBodyStream(IMessage* message, ULONG tag, Utf8Text* body) {
    return ReadBodyStream(message, tag, body, nullptr);
}

BodyRead ReadBodyStream(IMessage* message, ULONG tag, Utf8Text* body, size_t* length) {
    body->Reset();
    if (length)
        *length = 0;
    ComRef<IStream> property;
    if (FAILED(message->OpenProperty(tag, &IID_IStream, 0, 0,
                                     reinterpret_cast<LPUNKNOWN*>(property.Out()))) ||
        !property)
        return BodyRead::None;

    char folder[MAX_PATH + 1] = "";
    DWORD folderLength = GetTempPathA(MAX_PATH, folder);
    if (folderLength == 0 || folderLength > MAX_PATH)
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
    const ULONG kept = got <= bytes ? got : bytes;
    buffer[kept] = '\0';
    *body = std::move(text);
    if (length)
        *length = kept;
    return BodyRead::Read;
}

// ---- RecipientList ---------------------------------------------------------------------------

bool RecipientList::AllocateList(ULONG entries) {
    Free();
    if (entries == 0)
        entries = 1;
    void* p = nullptr;
    // Sized by the structure, not by its 32-bit size of 16 bytes: on x64 an
    // ADRENTRY holds a 64-bit pointer.
    const size_t bytes = CbNewADRLIST(entries);
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(bytes), &p)) || !p)
        return false;
    std::memset(p, 0, bytes);
    list_ = static_cast<ADRLIST*>(p);
    list_->cEntries = entries;
    return true;
}

// Each entry's values are a block of their own, as FreePadrlist gives back
// each entry's rgPropVals and then the list.
bool RecipientList::AllocateValues(ULONG entry) {
    void* p = nullptr;
    const size_t bytes = kRecipientSlots * sizeof(SPropValue);
    if (!list_ || entry >= list_->cEntries ||
        FAILED(MAPIAllocateBuffer(static_cast<ULONG>(bytes), &p)) || !p)
        return false;
    std::memset(p, 0, bytes);
    list_->aEntries[entry].rgPropVals = static_cast<LPSPropValue>(p);
    list_->aEntries[entry].cValues = kRecipientValues;
    return true;
}

namespace {
// The UTF-8 text as a wide string chained to `parent`; null when it cannot
// be had.
WCHAR* ChainedWide(const char* text, void* parent) {
    const size_t length = std::strlen(text);
    if (length > 0x7FFFFFFF)
        return nullptr;
    int units = 0;
    if (length > 0) {
        units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
        if (units <= 0)
            return nullptr;
    }
    void* p = nullptr;
    const size_t bytes = (static_cast<size_t>(units) + 1) * sizeof(WCHAR);
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(bytes), parent, &p)) || !p)
        return nullptr;
    WCHAR* wide = static_cast<WCHAR*>(p);
    if (units > 0 &&
        MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), wide, units) != units)
        return nullptr; // the block goes with its parent
    wide[units] = 0;
    return wide;
}
} // namespace

// PT_UNICODE values: an address with characters beyond the ANSI code page
// (a non-ASCII local part, a name in another script) reaches the store whole.
bool RecipientList::SetString(ULONG entry, ULONG index, ULONG tag, const char* text) {
    WCHAR* wide = ChainedWide(text, list_);
    if (!wide)
        return false;
    SPropValue& value = list_->aEntries[entry].rgPropVals[index];
    value.ulPropTag = tag;
    value.Value.lpszW = wide;
    return true;
}

bool RecipientList::SetAddress(const char* address, ULONG entry) {
    return SetString(entry, 0, PR_EMAIL_ADDRESS_W, address) &&
           SetString(entry, 1, PR_DISPLAY_NAME_W, address);
}

bool RecipientList::SetFixedValues(ULONG entry, LONG type) {
    SPropValue* values = list_->aEntries[entry].rgPropVals;
    values[2].ulPropTag = PR_RECIPIENT_TYPE;
    values[2].Value.l = type;
    if (!SetString(entry, 3, PR_ADDRTYPE_W, "SMTP"))
        return false;
    values[4].ulPropTag = PR_SEND_RICH_INFO;
    values[4].Value.b = FALSE;
    return true;
}

bool RecipientList::SetOneOffEntryId(IAddrBook* addressBook, ULONG entry) {
    // The texts are the entry's own wide values (MAPI_UNICODE): the address,
    // as its display name too, and "SMTP". The copy carries no rich
    // information, as PR_SEND_RICH_INFO says.
    SPropValue* values = list_->aEntries[entry].rgPropVals;
    LPTSTR address = reinterpret_cast<LPTSTR>(values[0].Value.lpszW);
    LPTSTR addressType = reinterpret_cast<LPTSTR>(values[3].Value.lpszW);
    if (!address || !addressType)
        return false;
    ULONG size = 0;
    MapiBuffer<ENTRYID> made;
    if (FAILED(addressBook->CreateOneOff(address, addressType, address,
                                         MAPI_SEND_NO_RICH_INFO | MAPI_UNICODE, &size,
                                         made.Out())) ||
        !made || size == 0)
        return false;
    void* p = nullptr;
    if (FAILED(MAPIAllocateMore(size, list_, &p)) || !p)
        return false;
    std::memcpy(p, made.Get(), size);
    SPropValue& value = list_->aEntries[entry].rgPropVals[kEntryIdValue];
    value.ulPropTag = PR_ENTRYID;
    value.Value.bin.cb = size;
    value.Value.bin.lpb = static_cast<LPBYTE>(p);
    list_->aEntries[entry].cValues = kRecipientSlots;
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

// ---- Attachments -------------------------------------------------------------------------------

namespace {

// The piece of a file read and written at a time.
constexpr size_t kAttachPiece = size_t{64} * 1024;
// The longest path opened, in UTF-16 units (as the data layer checks it).
constexpr int kAttachPathUnits = 1024;
// An attachment's size is a 32-bit signed value in the store.
constexpr unsigned long long kAttachLimit = 0x7FFFFFFF;

class OpenFile {
public:
    explicit OpenFile(HANDLE handle) : handle_(handle) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

class PieceBuffer {
public:
    PieceBuffer() : bytes_(static_cast<char*>(MemAlloc(kAttachPiece))) {}
    PieceBuffer(const PieceBuffer&) = delete;
    PieceBuffer& operator=(const PieceBuffer&) = delete;
    ~PieceBuffer() { MemFree(bytes_); }
    char* Get() const { return bytes_; }

private:
    char* bytes_;
};

} // namespace

AttachResult AttachFile(IMessage* message, const char* path, const char* name, HRESULT* storeResult,
                        const std::function<bool()>& afterPiece) {
    *storeResult = S_OK;
    WCHAR widePath[kAttachPathUnits];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath, kAttachPathUnits) <= 0)
        return AttachResult::FileUnreadable;
    // The file first: nothing is made in the store for a file that is gone.
    OpenFile file(CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return AttachResult::FileUnreadable;
    PieceBuffer piece;
    MapiBuffer<SPropValue> values;
    if (!piece.Get() || !values.Allocate(4 * sizeof(SPropValue)))
        return AttachResult::NoMemory;
    WCHAR* wideName = ChainedWide(name, values.Get());
    if (!wideName)
        return AttachResult::NoMemory;

    ComRef<IAttach> attach;
    ULONG number = 0;
    HRESULT hr = message->CreateAttach(nullptr, 0, &number, attach.Out());
    if (FAILED(hr) || !attach) {
        *storeResult = FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
        return AttachResult::StoreFailed;
    }
    SPropValue* v = values.Get();
    v[0].ulPropTag = PR_ATTACH_METHOD;
    v[0].Value.l = ATTACH_BY_VALUE;
    v[1].ulPropTag = PR_ATTACH_LONG_FILENAME_W;
    v[1].Value.lpszW = wideName;
    v[2].ulPropTag = PR_ATTACH_FILENAME_W;
    v[2].Value.lpszW = wideName;
    v[3].ulPropTag = PR_DISPLAY_NAME_W;
    v[3].Value.lpszW = wideName;
    hr = attach->SetProps(4, v, nullptr);
    if (FAILED(hr)) {
        *storeResult = hr;
        return AttachResult::StoreFailed;
    }
    values.Free();

    ComRef<IStream> data;
    hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_CREATE | STGM_WRITE,
                              MAPI_CREATE | MAPI_MODIFY, reinterpret_cast<LPUNKNOWN*>(data.Out()));
    if (FAILED(hr) || !data) {
        *storeResult = FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
        return AttachResult::StoreFailed;
    }
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), piece.Get(), static_cast<DWORD>(kAttachPiece), &got, nullptr))
            return AttachResult::FileUnreadable;
        if (got == 0)
            break;
        total += got;
        if (total > kAttachLimit)
            return AttachResult::FileTooLarge;
        ULONG written = 0;
        hr = data->Write(piece.Get(), got, &written);
        if (FAILED(hr) || written != got) {
            *storeResult = FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
            return AttachResult::StoreFailed;
        }
        if (afterPiece && !afterPiece())
            return AttachResult::Stopped;
    }
    hr = data->Commit(STGC_DEFAULT);
    data.Reset();
    if (SUCCEEDED(hr))
        hr = attach->SaveChanges(KEEP_OPEN_READWRITE);
    if (FAILED(hr)) {
        *storeResult = hr;
        return AttachResult::StoreFailed;
    }
    return AttachResult::Attached;
}

HRESULT SaveMessage(IMessage* message) {
    return message->SaveChanges(KEEP_OPEN_READWRITE);
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

HRESULT SetOnePropChecked(IMessage* message, SPropValue* value) {
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = message->SetProps(1, value, &problems);
    if (SUCCEEDED(hr) && problems && problems->cProblem > 0)
        hr = problems->aProblem[0].scode;
    if (problems)
        MAPIFreeBuffer(problems);
    return hr;
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
    // Asked for without MAPI_UNICODE, the text is 8-bit in the ANSI code
    // page; the library's texts are UTF-8.
    const char* ansi = reinterpret_cast<const char*>(error->lpszError);
    const size_t size = 3 * std::strlen(ansi) + 1;
    char* converted = static_cast<char*>(MemAlloc(size));
    if (!converted)
        return false;
    AnsiToUtf8(ansi, converted, size);
    *text = Utf8Text::Adopt(converted);
    return true;
}

HRESULT Submit(IMessage* message) {
    return message->SubmitMessage(FORCE_SUBMIT);
}

} // namespace MessageStore
