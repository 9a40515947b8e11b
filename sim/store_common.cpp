// What the MAPI objects of the store share: entry IDs, property values and
// the arrays handed out for them, and each call's trace and faults.
#include "store_internal.h"

#include <cstring>
#include <vector>

namespace sim {

namespace {

const BYTE kStoreUid[16] = {'S', 'I', 'M', 'U', 'L', 'A', 'T', 'E',
                            'D', '-', 'S', 'T', 'O', 'R', 'E', '1'};

// UTF-8 text in the ANSI code page; what the code page lacks becomes '?'.
std::string AnsiOf(const std::string& utf8) {
    if (utf8.empty())
        return utf8;
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return utf8;
    std::vector<WCHAR> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), units);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return utf8;
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes) - 1);
    return out;
}

std::string DefaultErrorText(HRESULT hr) {
    switch (hr) {
    case MAPI_E_NOT_FOUND:
        return "The requested object could not be found.";
    case MAPI_E_NO_SUPPORT:
        return "The object does not support this operation.";
    case MAPI_E_NO_RECIPIENTS:
        return "The message has no recipients.";
    case MAPI_E_NOT_ENOUGH_MEMORY:
        return "Not enough memory was available to complete the operation.";
    case kObjectDeleted:
        return "The message has been moved or deleted.";
    default:
        return "The operation failed (" + HexCode(hr) + ").";
    }
}

} // namespace

std::string MakeEntryId(BYTE kind, uint32_t number) {
    std::string id(4, '\0');
    id.append(reinterpret_cast<const char*>(kStoreUid), sizeof kStoreUid);
    id += static_cast<char>(kind);
    for (int i = 0; i < 4; ++i)
        id += static_cast<char>((number >> (8 * i)) & 0xFF);
    return id;
}

bool ParseEntryId(const std::string& id, BYTE* kind, uint32_t* number) {
    if (id.size() != 25 || id.compare(4, 16, reinterpret_cast<const char*>(kStoreUid), 16) != 0)
        return false;
    *kind = static_cast<BYTE>(id[20]);
    *number = 0;
    for (int i = 0; i < 4; ++i)
        *number |= static_cast<uint32_t>(static_cast<unsigned char>(id[21 + i])) << (8 * i);
    return true;
}

ExtraProp Str(ULONG tag, const std::string& text) {
    return ExtraProp{tag, 0, text};
}

bool IsText(ULONG type) {
    return type == PT_STRING8 || type == PT_UNICODE;
}

// PT_STRING8 and PT_UNICODE (MAPI reference): a store that keeps Unicode
// gives a string asked for as PT_STRING8 in its code page, and the characters
// the code page lacks are lost.
ExtraProp AsType(const ExtraProp& value, ULONG type) {
    const ULONG has = PROP_TYPE(value.tag), id = PROP_ID(value.tag);
    if (has == PT_UNICODE && (type == PT_STRING8 || type == PT_UNSPECIFIED))
        return Str(PROP_TAG(PT_STRING8, id), StoreBytes(value.bytes));
    if (has == PT_STRING8 && type == PT_UNICODE)
        return Str(PROP_TAG(PT_UNICODE, id), FromStoreBytes(value.bytes));
    return value;
}

ExtraProp Num(ULONG tag, LONG number) {
    return ExtraProp{tag, number, std::string()};
}

ExtraProp Missing(ULONG tag, HRESULT code) {
    return Num(PROP_TAG(PT_ERROR, PROP_ID(tag)), code);
}

std::string FlagsText(ULONG flags) {
    return "flags " + HexCode(static_cast<HRESULT>(flags));
}

std::string TagText(ULONG tag) {
    return "tag " + HexCode(static_cast<HRESULT>(tag));
}

// The tags of an array, for the trace; empty for none.
std::string TagListText(const SPropTagArray* tags) {
    std::string text;
    for (ULONG i = 0; tags && i < tags->cValues; ++i)
        text += (i ? ", " : "") + HexCode(static_cast<HRESULT>(tags->aulPropTag[i]));
    return text;
}

// A row's value for a column: same ID, and the column's type or none asked.
ExtraProp ColumnValue(const std::vector<ExtraProp>& row, ULONG column) {
    const ULONG type = PROP_TYPE(column);
    for (const ExtraProp& p : row)
        if (PROP_ID(p.tag) == PROP_ID(column) &&
            (type == PT_UNSPECIFIED || type == PROP_TYPE(p.tag) ||
             (IsText(type) && IsText(PROP_TYPE(p.tag)))))
            return AsType(p, type);
    return Missing(column);
}

HRESULT TagsOut(const std::vector<ULONG>& tags, LPSPropTagArray* out) {
    LPSPropTagArray array = nullptr;
    if (FAILED(MAPIAllocateBuffer(
            static_cast<ULONG>(CbNewSPropTagArray(tags.size() ? tags.size() : 1)),
            reinterpret_cast<void**>(&array))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    array->cValues = static_cast<ULONG>(tags.size());
    for (size_t i = 0; i < tags.size(); ++i)
        array->aulPropTag[i] = tags[i];
    *out = array;
    return S_OK;
}

// GetProps over a list of readable values.
HRESULT GetPropsFrom(const std::vector<ExtraProp>& all, LPSPropTagArray tags, ULONG flags,
                     ULONG* count, LPSPropValue* values,
                     const std::function<ExtraProp(ULONG)>& read) {
    if (!count || !values)
        return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    // IMAPIProp::GetProps (MAPI reference): MAPI_UNICODE asks for the text
    // values whose type is not given as PT_UNICODE, otherwise as PT_STRING8.
    const bool unicode = (flags & MAPI_UNICODE) != 0;
    std::vector<ExtraProp> out;
    bool errors = false;
    if (!tags) {
        for (const ExtraProp& p : all)
            out.push_back(unicode && PROP_TYPE(p.tag) == PT_STRING8
                              ? read(PROP_TAG(PT_UNICODE, PROP_ID(p.tag)))
                              : p);
    } else {
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            ExtraProp p = read(tag);
            // Asked again as wide: the 8-bit value has lost what its code page lacks.
            if (unicode && PROP_TYPE(tag) == PT_UNSPECIFIED && PROP_TYPE(p.tag) == PT_STRING8)
                p = read(PROP_TAG(PT_UNICODE, PROP_ID(tag)));
            out.push_back(p);
            errors = errors || PROP_TYPE(out.back().tag) == PT_ERROR;
        }
    }
    if (HRESULT hr = PropsOut(out, values); FAILED(hr))
        return hr;
    *count = static_cast<ULONG>(out.size());
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

std::string EntryIdOf(const MessageData& data) {
    return MakeEntryId(kMessageEntry, data.number);
}

std::string FolderEntryId(FolderId id) {
    return MakeEntryId(kFolderEntry, static_cast<uint32_t>(id));
}

// ---- Helpers shared by the MAPI objects --------------------------------------------------------

MapiCall::MapiCall(Tracked& object, const char* member, const std::string& args)
    : clock_(object.GetWorld()), object_(object), member_(member) {
    if (World* w = object.GetWorld()) {
        entry_ = w->Record(TraceKind::Mapi, object.Name(), member, args);
        recorded_ = true;
    }
}

bool MapiCall::Traced(const Tracked& object) {
    const World* w = object.GetWorld();
    return w && w->tracing;
}

MapiCall::~MapiCall() {
    if (!done_)
        Done(S_OK);
}

HRESULT MapiCall::Begin() {
    World* w = object_.GetWorld();
    if (!w)
        return kDisconnected;
    HRESULT hr;
    bool raise;
    if (w->TakeFault(object_.ClassName(), member_, &hr, &raise)) {
        fault_ = !w->config.faultText.empty()
                     ? w->config.faultText
                     : "Simulated failure of " + std::string(member_) + ".";
        return hr;
    }
    return S_OK;
}

HRESULT MapiCall::Done(HRESULT hr, const std::string& why) {
    done_ = true;
    if (FAILED(hr)) {
        object_.lastError = hr;
        object_.lastErrorText = !why.empty()      ? why
                                : !fault_.empty() ? fault_
                                                  : DefaultErrorText(hr);
    }
    if (recorded_)
        if (World* w = object_.GetWorld())
            w->Complete(entry_, hr);
    return hr;
}

HRESULT PropsOut(const std::vector<ExtraProp>& values, LPSPropValue* out) {
    *out = nullptr;
    LPSPropValue block = nullptr;
    const size_t n = values.empty() ? 1 : values.size();
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(n * sizeof(SPropValue)),
                                  reinterpret_cast<void**>(&block))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::memset(block, 0, n * sizeof(SPropValue));
    for (size_t i = 0; i < values.size(); ++i) {
        const ExtraProp& v = values[i];
        SPropValue& p = block[i];
        p.ulPropTag = v.tag;
        switch (PROP_TYPE(v.tag)) {
        case PT_LONG:
            p.Value.l = v.number;
            break;
        case PT_I2:
            p.Value.i = static_cast<short>(v.number);
            break;
        case PT_BOOLEAN:
            p.Value.b = v.number ? 1 : 0;
            break;
        case PT_ERROR:
            p.Value.err = v.number;
            break;
        case PT_SYSTIME:
            if (v.bytes.size() == sizeof p.Value.ft)
                std::memcpy(&p.Value.ft, v.bytes.data(), sizeof p.Value.ft);
            break;
        case PT_UNICODE: {
            const OleString wide = Wide(v.bytes);
            void* units = nullptr;
            if (FAILED(MAPIAllocateMore(static_cast<ULONG>((wide.size() + 1) * sizeof(OLECHAR)),
                                        block, &units))) {
                MAPIFreeBuffer(block);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            std::memcpy(units, wide.data(), wide.size() * sizeof(OLECHAR));
            static_cast<OLECHAR*>(units)[wide.size()] = 0;
            p.Value.lpszW = static_cast<LPWSTR>(units);
            break;
        }
        case PT_STRING8:
        case PT_BINARY: {
            void* bytes = nullptr;
            if (FAILED(MAPIAllocateMore(static_cast<ULONG>(v.bytes.size() + 1), block, &bytes))) {
                MAPIFreeBuffer(block);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            std::memcpy(bytes, v.bytes.data(), v.bytes.size());
            static_cast<char*>(bytes)[v.bytes.size()] = '\0';
            if (PROP_TYPE(v.tag) == PT_STRING8) {
                p.Value.lpszA = static_cast<LPSTR>(bytes);
            } else {
                p.Value.bin.cb = static_cast<ULONG>(v.bytes.size());
                p.Value.bin.lpb = static_cast<LPBYTE>(bytes);
            }
            break;
        }
        default:
            break;
        }
    }
    *out = block;
    return S_OK;
}

HRESULT LastErrorOut(Tracked& object, HRESULT result, ULONG flags, LPMAPIERROR* error) {
    if (!error)
        return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    if (flags & MAPI_UNICODE)
        return MAPI_E_BAD_CHARWIDTH;
    if (!FAILED(result) || result != object.lastError)
        return S_OK; // nothing known about it
    LPMAPIERROR e = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(MAPIERROR), reinterpret_cast<void**>(&e))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::memset(e, 0, sizeof *e);
    const std::string component = "Mail client store (simulated)";
    // Without MAPI_UNICODE the texts are 8-bit, in the ANSI code page
    // (IMAPIProp::GetLastError, MAPIERROR: "lpszError ... The string is in
    // Unicode format if the MAPI_UNICODE flag was set").
    const std::string described = AnsiOf(object.lastErrorText);
    void* text = nullptr;
    void* source = nullptr;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(described.size() + 1), e, &text)) ||
        FAILED(MAPIAllocateMore(static_cast<ULONG>(component.size() + 1), e, &source))) {
        MAPIFreeBuffer(e);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    std::memcpy(text, described.c_str(), described.size() + 1);
    std::memcpy(source, component.c_str(), component.size() + 1);
    e->lpszError = static_cast<LPSTR>(text);
    e->lpszComponent = static_cast<LPSTR>(source);
    e->ulLowLevelError = static_cast<ULONG>(result);
    *error = e;
    return S_OK;
}

} // namespace sim
