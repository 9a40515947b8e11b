#include "engine/mailing_stamp.h"

#include "client/com_ref.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

WCHAR kStampName[] = {'Q', 'u', 'o', 'r', 'v', 'e', 'l', ' ', 'M', 'a', 'i', 'l', 'i', 'n', 'g', 0};

// The property's tag on this store, as PT_STRING8; 0 when the store refused.
ULONG StampTag(IMessage* message) {
    GUID set = kPsPublicStrings;
    MAPINAMEID name;
    name.lpguid = &set;
    name.ulKind = MNID_STRING;
    name.Kind.lpwstrName = kStampName;
    LPMAPINAMEID names[1] = {&name};
    MapiBuffer<SPropTagArray> tags;
    const HRESULT hr = message->GetIDsFromNames(1, names, MAPI_CREATE, tags.Out());
    if (FAILED(hr) || !tags || tags->cValues < 1 || PROP_TYPE(tags->aulPropTag[0]) == PT_ERROR)
        return 0;
    return CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_STRING8);
}

// An id is what this code writes: letters, digits and dashes, never empty.
bool LooksLikeId(const char* text, size_t size) {
    const size_t length = std::strlen(text);
    if (length == 0 || length >= size)
        return false;
    for (const char* p = text; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || *p == '-'))
            return false;
    return true;
}

} // namespace

bool ReadMailingStamp(IUnknown* message, char* id, size_t size, ULONG* tagOut) {
    id[0] = '\0';
    ComRef<IMessage> store = QueryAs<IMessage>(message, IID_IMessage);
    const ULONG tag = store ? StampTag(store.Get()) : 0;
    *tagOut = tag;
    if (!tag)
        return false;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT hr =
        store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Out());
    if (FAILED(hr) || !values || count < 1 || values->ulPropTag != tag || !values->Value.lpszA)
        return false;
    // A value another program wrote there, or one cut short, names no mailing.
    if (!LooksLikeId(values->Value.lpszA, size))
        return false;
    std::snprintf(id, size, "%s", values->Value.lpszA);
    return true;
}

bool WriteMailingStamp(IUnknown* message, ULONG tag, const char* id) {
    ComRef<IMessage> store = QueryAs<IMessage>(message, IID_IMessage);
    if (!store || !tag)
        return false;
    SPropValue value;
    value.ulPropTag = tag;
    value.dwAlignPad = 0;
    value.Value.lpszA = const_cast<LPSTR>(id);
    if (FAILED(store->SetProps(1, &value, nullptr)))
        return false;
    // Until it is saved the store may drop it with the draft's other changes.
    return SUCCEEDED(store->SaveChanges(KEEP_OPEN_READWRITE));
}

void NewMailingId(const char* listPath, const char* subject, char* id, size_t size) {
    static unsigned made = 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    uint64_t hash = 14695981039346656037ull;
    for (const char* text : {listPath ? listPath : "", "\n", subject ? subject : ""})
        for (const char* p = text; *p; ++p) {
            hash ^= static_cast<unsigned char>(*p);
            hash *= 1099511628211ull;
        }
    std::snprintf(id, size, "%04u%02u%02u-%02u%02u%02u%03u-%08lx-%04x-%016llx", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  static_cast<unsigned long>(GetTickCount()), ++made & 0xFFFF,
                  static_cast<unsigned long long>(hash));
}
