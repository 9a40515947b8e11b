// The Extended MAPI side: each item's store message, property streams,
// tables, the session with its status table and the spooler's status object,
// and the Exchange client-extension callbacks.
#include "exchext_internal.h"
#include "model_internal.h"
#include "store_internal.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr HRESULT kComputed = static_cast<HRESULT>(0x8004011AL); // MAPI_E_COMPUTED
constexpr ULONG kLargeProperty = 16 * 1024; // larger values are read through OpenProperty
constexpr ULONG kPrSentMailEntryId = PROP_TAG(PT_BINARY, 0x0E0A);
constexpr ULONG kPrAttachNum = PROP_TAG(PT_LONG, 0x0E21);
constexpr ULONG kMsgFlagRead = 0x1;
constexpr ULONG kMsgFlagSubmit = 0x4;
constexpr ULONG kMsgFlagUnsent = 0x8;
constexpr ULONG kMapiMessage = 5;
constexpr ULONG kMapiSubsystem = 39;
constexpr ULONG kMapiStoreProvider = 33;
constexpr ULONG kMapiTransportProvider = 36;
constexpr ULONG kStatusAvailable = 1;
constexpr ULONG kTblNoAdvance = 1;
constexpr ULONG kTableSortDescend = 1;
constexpr ULONG kFlushNoUi = 0x10;
constexpr ULONG kFlushAsyncOk = 0x40;
constexpr BOOKMARK kBookmarkCurrent = 1;
constexpr BOOKMARK kBookmarkEnd = 2;

enum EntryKind : BYTE {
    kMessageEntry = 1,
    kFolderEntry = 2,
    kSpoolerEntry = 3,
    kSubsystemEntry = 4,
    kStoreEntry = 5,
    kTransportEntry = 6,
};

const BYTE kStoreUid[16] = {'S', 'I', 'M', 'U', 'L', 'A', 'T', 'E',
                            'D', '-', 'S', 'T', 'O', 'R', 'E', '1'};

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

ExtraProp Num(ULONG tag, LONG number) {
    return ExtraProp{tag, number, std::string()};
}

ExtraProp Missing(ULONG tag, HRESULT code = MAPI_E_NOT_FOUND) {
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

// A string property value passed in, 8-bit or wide.
bool TextValue(const SPropValue& v, std::string* out) {
    if (PROP_TYPE(v.ulPropTag) == PT_STRING8 && v.Value.lpszA) {
        *out = v.Value.lpszA;
        return true;
    }
    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE && v.Value.lpszW) {
        const OLECHAR* w = reinterpret_cast<const OLECHAR*>(v.Value.lpszW);
        *out = Narrow(w, std::char_traits<OLECHAR>::length(w));
        return true;
    }
    return false;
}

// A value stored as given; false for types the store does not keep.
bool StoredValue(const SPropValue& v, ExtraProp* out) {
    const ULONG id = PROP_ID(v.ulPropTag);
    switch (PROP_TYPE(v.ulPropTag)) {
    case PT_LONG:
        *out = Num(v.ulPropTag, v.Value.l);
        return true;
    case PT_I2:
        *out = Num(v.ulPropTag, v.Value.i);
        return true;
    case PT_BOOLEAN:
        *out = Num(v.ulPropTag, v.Value.b ? 1 : 0);
        return true;
    case PT_STRING8:
    case PT_UNICODE: {
        std::string text;
        if (!TextValue(v, &text))
            return false;
        *out = Str(PROP_TAG(PT_STRING8, id), text);
        return true;
    }
    case PT_BINARY:
        *out = Str(v.ulPropTag,
                   v.Value.bin.lpb
                       ? std::string(reinterpret_cast<const char*>(v.Value.bin.lpb), v.Value.bin.cb)
                       : std::string());
        return true;
    default:
        return false;
    }
}

// A row's value for a column: same ID, and the column's type or none asked.
ExtraProp ColumnValue(const std::vector<ExtraProp>& row, ULONG column) {
    for (const ExtraProp& p : row)
        if (PROP_ID(p.tag) == PROP_ID(column) &&
            (PROP_TYPE(column) == PT_UNSPECIFIED || PROP_TYPE(column) == PROP_TYPE(p.tag)))
            return p;
    return Missing(column);
}

int Compare(const ExtraProp& a, const SPropValue& b, bool* comparable) {
    *comparable = true;
    switch (PROP_TYPE(b.ulPropTag)) {
    case PT_LONG:
    case PT_I2:
    case PT_BOOLEAN: {
        LONG other = PROP_TYPE(b.ulPropTag) == PT_LONG ? b.Value.l
                     : PROP_TYPE(b.ulPropTag) == PT_I2 ? b.Value.i
                                                       : (b.Value.b ? 1 : 0);
        return a.number < other ? -1 : a.number > other ? 1 : 0;
    }
    case PT_STRING8:
        return a.bytes.compare(b.Value.lpszA ? b.Value.lpszA : "");
    case PT_BINARY:
        return a.bytes.compare(std::string(reinterpret_cast<const char*>(b.Value.bin.lpb),
                                           b.Value.bin.lpb ? b.Value.bin.cb : 0));
    default:
        *comparable = false;
        return 0;
    }
}

bool Matches(const std::vector<ExtraProp>& row, const SRestriction* r, bool* tooComplex) {
    if (!r) {
        *tooComplex = true;
        return false;
    }
    switch (r->rt) {
    case RES_AND:
        for (ULONG i = 0; i < r->res.resAnd.cRes; ++i)
            if (!Matches(row, &r->res.resAnd.lpRes[i], tooComplex))
                return false;
        return true;
    case RES_OR:
        for (ULONG i = 0; i < r->res.resOr.cRes; ++i)
            if (Matches(row, &r->res.resOr.lpRes[i], tooComplex))
                return true;
        return false;
    case RES_NOT:
        return !Matches(row, r->res.resNot.lpRes, tooComplex);
    case RES_EXIST:
        return PROP_TYPE(ColumnValue(row, r->res.resExist.ulPropTag).tag) != PT_ERROR;
    case RES_PROPERTY: {
        const SPropertyRestriction& p = r->res.resProperty;
        if (!p.lpProp) {
            *tooComplex = true;
            return false;
        }
        ExtraProp value = ColumnValue(row, p.ulPropTag);
        if (PROP_TYPE(value.tag) == PT_ERROR)
            return false;
        bool comparable;
        int c = Compare(value, *p.lpProp, &comparable);
        if (!comparable) {
            *tooComplex = true;
            return false;
        }
        switch (p.relop) {
        case RELOP_LT:
            return c < 0;
        case RELOP_LE:
            return c <= 0;
        case RELOP_GT:
            return c > 0;
        case RELOP_GE:
            return c >= 0;
        case RELOP_EQ:
            return c == 0;
        case RELOP_NE:
            return c != 0;
        default:
            *tooComplex = true;
            return false;
        }
    }
    default:
        *tooComplex = true;
        return false;
    }
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

HRESULT ProblemsOut(const std::vector<SPropProblem>& problems, LPSPropProblemArray* out) {
    if (!out)
        return S_OK;
    *out = nullptr;
    if (problems.empty())
        return S_OK;
    LPSPropProblemArray array = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(offsetof(SPropProblemArray, aProblem) +
                                                     problems.size() * sizeof(SPropProblem)),
                                  reinterpret_cast<void**>(&array))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    array->cProblem = static_cast<ULONG>(problems.size());
    for (size_t i = 0; i < problems.size(); ++i)
        array->aProblem[i] = problems[i];
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
    if (flags & MAPI_UNICODE)
        return MAPI_E_BAD_CHARWIDTH;
    std::vector<ExtraProp> out;
    bool errors = false;
    if (!tags) {
        out = all;
    } else {
        for (ULONG i = 0; i < tags->cValues; ++i) {
            out.push_back(read(tags->aulPropTag[i]));
            errors = errors || PROP_TYPE(out.back().tag) == PT_ERROR;
        }
    }
    if (HRESULT hr = PropsOut(out, values); FAILED(hr))
        return hr;
    *count = static_cast<ULONG>(out.size());
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace

std::string EntryIdOf(const MessageData& data) {
    return MakeEntryId(kMessageEntry, data.number);
}

std::string FolderEntryId(FolderId id) {
    return MakeEntryId(kFolderEntry, static_cast<uint32_t>(id));
}

// ---- One-off entry IDs --------------------------------------------------------------------------

namespace {
const BYTE kOneOffUid[16] = MAPI_ONE_OFF_UID;
constexpr size_t kOneOffHeader = 4 + sizeof kOneOffUid + 2 + 2;

// The next NUL-terminated string at `at`, 8-bit or UTF-16LE; false when the
// bytes end before its NUL.
bool TakeOneOffString(const std::string& bytes, size_t* at, bool unicode, std::string* out) {
    if (!unicode) {
        const size_t end = bytes.find('\0', *at);
        if (end == std::string::npos)
            return false;
        *out = bytes.substr(*at, end - *at);
        *at = end + 1;
        return true;
    }
    OleString wide;
    for (size_t i = *at; i + 1 < bytes.size(); i += 2) {
        const OLECHAR c = static_cast<OLECHAR>(static_cast<unsigned char>(bytes[i]) |
                                               (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (c == 0) {
            *out = Narrow(wide.c_str(), wide.size());
            *at = i + 2;
            return true;
        }
        wide += c;
    }
    return false;
}

void PutOneOffString(std::string* bytes, const std::string& text, bool unicode) {
    if (!unicode) {
        bytes->append(text);
        bytes->push_back('\0');
        return;
    }
    for (OLECHAR c : Wide(text)) {
        bytes->push_back(static_cast<char>(c & 0xFF));
        bytes->push_back(static_cast<char>(c >> 8));
    }
    bytes->append(2, '\0');
}
} // namespace

std::string MakeOneOffEntryId(const OneOffEntry& entry) {
    std::string bytes(4, '\0'); // abFlags
    bytes.append(reinterpret_cast<const char*>(kOneOffUid), sizeof kOneOffUid);
    bytes.append(2, '\0'); // version
    const unsigned flags = (entry.unicode ? MAPI_ONE_OFF_UNICODE : 0) |
                           (entry.noRichInfo ? MAPI_ONE_OFF_NO_RICH_INFO : 0);
    bytes.push_back(static_cast<char>(flags & 0xFF));
    bytes.push_back(static_cast<char>(flags >> 8));
    PutOneOffString(&bytes, entry.displayName, entry.unicode);
    PutOneOffString(&bytes, entry.addressType, entry.unicode);
    PutOneOffString(&bytes, entry.address, entry.unicode);
    return bytes;
}

bool DecodeOneOffEntryId(const std::string& entryId, OneOffEntry* entry) {
    if (entryId.size() < kOneOffHeader ||
        entryId.compare(4, sizeof kOneOffUid, reinterpret_cast<const char*>(kOneOffUid),
                        sizeof kOneOffUid) != 0 ||
        entryId[20] != 0 || entryId[21] != 0)
        return false;
    const unsigned flags = static_cast<unsigned char>(entryId[22]) |
                           (static_cast<unsigned>(static_cast<unsigned char>(entryId[23])) << 8);
    OneOffEntry out;
    out.unicode = (flags & MAPI_ONE_OFF_UNICODE) != 0;
    out.noRichInfo = (flags & MAPI_ONE_OFF_NO_RICH_INFO) != 0;
    size_t at = kOneOffHeader;
    if (!TakeOneOffString(entryId, &at, out.unicode, &out.displayName) ||
        !TakeOneOffString(entryId, &at, out.unicode, &out.addressType) ||
        !TakeOneOffString(entryId, &at, out.unicode, &out.address) || at != entryId.size() ||
        out.addressType.empty() || out.address.empty())
        return false;
    *entry = out;
    return true;
}

// ---- Helpers shared by the MAPI objects --------------------------------------------------------

ClientClock::ClientClock(World* world) : world_(world && world->timing ? world : nullptr) {
    if (world_ && world_->timingDepth++ == 0)
        start_ = std::chrono::steady_clock::now();
}

ClientClock::~ClientClock() {
    if (world_ && --world_->timingDepth == 0)
        world_->clientTime += std::chrono::steady_clock::now() - start_;
}

MapiCall::MapiCall(Tracked& object, const char* member, std::string args)
    : clock_(object.GetWorld()), object_(object), member_(member) {
    if (World* w = object.GetWorld()) {
        entry_ = w->Record(TraceKind::Mapi, object.Name(), member, args);
        recorded_ = true;
    }
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
        fault_ = "Simulated failure of " + std::string(member_) + ".";
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
    void* text = nullptr;
    void* source = nullptr;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(object.lastErrorText.size() + 1), e, &text)) ||
        FAILED(MAPIAllocateMore(static_cast<ULONG>(component.size() + 1), e, &source))) {
        MAPIFreeBuffer(e);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    std::memcpy(text, object.lastErrorText.c_str(), object.lastErrorText.size() + 1);
    std::memcpy(source, component.c_str(), component.size() + 1);
    e->lpszError = static_cast<LPSTR>(text);
    e->lpszComponent = static_cast<LPSTR>(source);
    e->ulLowLevelError = static_cast<ULONG>(result);
    *error = e;
    return S_OK;
}

namespace {

// One property of a message as the store gives it (PT_ERROR when absent).
ExtraProp MessageProp(const MessageData& d, ULONG tag) {
    const ULONG id = PROP_ID(tag), type = PROP_TYPE(tag);
    auto wants = [type](ULONG t) { return type == PT_UNSPECIFIED || type == t; };
    auto large = [](const std::string& bytes) { return bytes.size() >= kLargeProperty; };
    switch (id) {
    case PROP_ID(PR_SUBJECT):
        return d.hasSubject && wants(PT_STRING8) ? Str(PR_SUBJECT, d.subject) : Missing(tag);
    case PROP_ID(PR_BODY):
        if (!d.hasBody || !wants(PT_STRING8))
            return Missing(tag);
        return large(d.body) ? Missing(tag, MAPI_E_NOT_ENOUGH_MEMORY) : Str(PR_BODY, d.body);
    case PROP_ID(PR_HTML):
        if (d.html.empty() || !d.htmlPropertyAvailable || !(wants(PT_BINARY) || type == PT_STRING8))
            return Missing(tag);
        if (large(d.html))
            return Missing(tag, MAPI_E_NOT_ENOUGH_MEMORY);
        return Str(type == PT_STRING8 ? PR_BODY_HTML : PR_HTML, d.html);
    case PROP_ID(PR_MSG_EDITOR_FORMAT):
        return wants(PT_LONG) ? Num(PR_MSG_EDITOR_FORMAT, d.editorFormat) : Missing(tag);
    case PROP_ID(PR_ENTRYID):
        return wants(PT_BINARY) ? Str(PR_ENTRYID, EntryIdOf(d)) : Missing(tag);
    case PROP_ID(PR_MESSAGE_FLAGS):
        return wants(PT_LONG) ? Num(PR_MESSAGE_FLAGS,
                                    static_cast<LONG>(kMsgFlagRead | (d.sent ? 0 : kMsgFlagUnsent) |
                                                      (d.submitted ? kMsgFlagSubmit : 0)))
                              : Missing(tag);
    case PROP_ID(kPrSentMailEntryId):
        return d.sentFolder != kNoFolder && wants(PT_BINARY)
                   ? Str(kPrSentMailEntryId, FolderEntryId(d.sentFolder))
                   : Missing(tag);
    default:
        break;
    }
    auto it = d.extra.find(id);
    if (it != d.extra.end() && wants(PROP_TYPE(it->second.tag)))
        return it->second;
    if (id == PROP_ID(PR_MESSAGE_CLASS) && wants(PT_STRING8))
        return Str(PR_MESSAGE_CLASS, d.mail ? "IPM.Note" : "IPM.Post");
    return Missing(tag);
}

std::vector<ExtraProp> AllMessageProps(const MessageData& d) {
    std::vector<ULONG> tags = {PR_SUBJECT,       PR_BODY,    PR_HTML,          PR_MSG_EDITOR_FORMAT,
                               PR_MESSAGE_CLASS, PR_ENTRYID, PR_MESSAGE_FLAGS, kPrSentMailEntryId};
    for (const auto& e : d.extra)
        if (e.first != PROP_ID(PR_MESSAGE_CLASS))
            tags.push_back(e.second.tag);
    std::vector<ExtraProp> out;
    for (ULONG tag : tags) {
        ExtraProp p = MessageProp(d, tag);
        if (PROP_TYPE(p.tag) != PT_ERROR || p.number == MAPI_E_NOT_ENOUGH_MEMORY)
            out.push_back(p);
    }
    return out;
}

} // namespace

// ---- Messages -----------------------------------------------------------------------------------

MessageObject::MessageObject(World* world, const MessageRef& data)
    : PropObject(world, "Message"), data_(data) {
    data_->message = this;
}

MessageObject::~MessageObject() {
    if (data_->message == this)
        data_->message = nullptr;
}

void* MessageObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIProp) ||
        IsEqualIID(iid, IID_IMessage))
        return static_cast<IMessage*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE MessageObject::GetLastError(HRESULT result, ULONG flags,
                                                      LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", HexCode(result));
    if (error)
        *error = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE MessageObject::SaveChanges(ULONG flags) {
    MapiCall call(*this, "SaveChanges", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    if (data_->folder == kNoFolder)
        world_->Place(data_, kDrafts);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                                  LPSPropValue* values) {
    MapiCall call(*this, "GetProps", tags ? TagListText(tags) : "all");
    if (count)
        *count = 0;
    if (values)
        *values = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    MessageRef d = data_;
    return call.Done(GetPropsFrom(AllMessageProps(*d), tags, flags, count, values,
                                  [d](ULONG tag) { return MessageProp(*d, tag); }));
}

HRESULT STDMETHODCALLTYPE MessageObject::GetPropList(ULONG flags, LPSPropTagArray* tags) {
    MapiCall call(*this, "GetPropList", FlagsText(flags));
    if (tags)
        *tags = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!tags)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    std::vector<ULONG> list;
    for (const ExtraProp& p : AllMessageProps(*data_))
        list.push_back(PROP_TYPE(p.tag) == PT_ERROR ? PROP_TAG(PT_BINARY, PROP_ID(p.tag)) : p.tag);
    return call.Done(TagsOut(list, tags));
}

HRESULT STDMETHODCALLTYPE MessageObject::OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags,
                                                      LPUNKNOWN* object) {
    MapiCall call(*this, "OpenProperty",
                  TagText(tag) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags));
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!object || !iid)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    if (!IsEqualIID(*iid, IID_IStream) && !IsEqualIID(*iid, IID_ISequentialStream))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    if (flags & (MAPI_MODIFY | MAPI_CREATE))
        return call.Done(MAPI_E_NO_SUPPORT, "The store opens property streams for reading only.");
    const MessageData& d = *data_;
    std::string bytes;
    const ULONG id = PROP_ID(tag), type = PROP_TYPE(tag);
    if (id == PROP_ID(PR_BODY) && type == PT_STRING8 && d.hasBody) {
        bytes = d.body;
    } else if (id == PROP_ID(PR_HTML) && (type == PT_BINARY || type == PT_STRING8) &&
               !d.html.empty() && d.htmlPropertyAvailable) {
        bytes = d.html;
    } else {
        ExtraProp p = MessageProp(d, tag);
        if ((PROP_TYPE(p.tag) != PT_STRING8 && PROP_TYPE(p.tag) != PT_BINARY) ||
            id == PROP_ID(PR_BODY) || id == PROP_ID(PR_HTML))
            return call.Done(MAPI_E_NOT_FOUND);
        bytes = p.bytes;
    }
    *object = static_cast<IStream*>(new StreamObject(world_, bytes));
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::SetProps(ULONG count, LPSPropValue values,
                                                  LPSPropProblemArray* problems) {
    std::string args;
    for (ULONG i = 0; values && i < count; ++i)
        args += (i ? ", " : "") + HexCode(static_cast<HRESULT>(values[i].ulPropTag));
    MapiCall call(*this, "SetProps", args);
    if (problems)
        *problems = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!values || count == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    MessageData& d = *data_;
    std::vector<SPropProblem> trouble;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& v = values[i];
        const ULONG id = PROP_ID(v.ulPropTag), type = PROP_TYPE(v.ulPropTag);
        std::string text;
        SCODE problem = S_OK;
        if (type == PT_ERROR)
            continue;
        switch (id) {
        case PROP_ID(PR_SUBJECT):
            if (TextValue(v, &text)) {
                d.subject = text;
                d.hasSubject = true;
            } else {
                problem = MAPI_E_INVALID_PARAMETER;
            }
            break;
        case PROP_ID(PR_BODY):
            if (TextValue(v, &text)) {
                d.body = text;
                d.hasBody = true;
            } else {
                problem = MAPI_E_INVALID_PARAMETER;
            }
            break;
        case PROP_ID(PR_HTML):
            if (type == PT_BINARY)
                d.html = std::string(reinterpret_cast<const char*>(v.Value.bin.lpb),
                                     v.Value.bin.lpb ? v.Value.bin.cb : 0);
            else if (TextValue(v, &text))
                d.html = text;
            else
                problem = MAPI_E_INVALID_PARAMETER;
            break;
        case PROP_ID(PR_MSG_EDITOR_FORMAT):
            if (type != PT_LONG) {
                problem = MAPI_E_INVALID_PARAMETER;
                break;
            }
            d.editorFormat = v.Value.l;
            // A plain-text message is sent without its HTML.
            if (d.editorFormat == static_cast<LONG>(EDITOR_FORMAT_PLAINTEXT))
                d.html.clear();
            break;
        case PROP_ID(PR_ENTRYID):
        case PROP_ID(PR_MESSAGE_FLAGS):
            problem = kComputed;
            break;
        case PROP_ID(kPrSentMailEntryId): {
            problem = MAPI_E_INVALID_PARAMETER;
            if (type == PT_BINARY && v.Value.bin.lpb) {
                std::string eid(reinterpret_cast<const char*>(v.Value.bin.lpb), v.Value.bin.cb);
                BYTE kind;
                uint32_t number;
                if (ParseEntryId(eid, &kind, &number) && kind == kFolderEntry &&
                    number < static_cast<uint32_t>(kFolderCount)) {
                    d.sentFolder = static_cast<FolderId>(number);
                    problem = S_OK;
                }
            }
            break;
        }
        default: {
            ExtraProp stored;
            if (StoredValue(v, &stored))
                d.extra[id] = stored;
            else
                problem = MAPI_E_NO_SUPPORT;
            break;
        }
        }
        if (problem != S_OK)
            trouble.push_back(SPropProblem{i, v.ulPropTag, problem});
    }
    return call.Done(ProblemsOut(trouble, problems));
}

HRESULT STDMETHODCALLTYPE MessageObject::DeleteProps(LPSPropTagArray tags,
                                                     LPSPropProblemArray* problems) {
    MapiCall call(*this, "DeleteProps", "");
    if (problems)
        *problems = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!tags)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    std::vector<SPropProblem> trouble;
    for (ULONG i = 0; i < tags->cValues; ++i) {
        const ULONG id = PROP_ID(tags->aulPropTag[i]);
        if (id == PROP_ID(PR_SUBJECT)) {
            data_->hasSubject = false;
            data_->subject.clear();
        } else if (id == PROP_ID(PR_BODY)) {
            data_->hasBody = false;
            data_->body.clear();
        } else if (id == PROP_ID(PR_HTML)) {
            data_->html.clear();
        } else if (data_->extra.erase(id) == 0) {
            trouble.push_back(SPropProblem{i, tags->aulPropTag[i], kComputed});
        }
    }
    return call.Done(ProblemsOut(trouble, problems));
}

HRESULT STDMETHODCALLTYPE MessageObject::GetIDsFromNames(ULONG count, LPMAPINAMEID* names,
                                                         ULONG flags, LPSPropTagArray* tags) {
    std::string args;
    for (ULONG i = 0; names && i < count; ++i) {
        const MAPINAMEID* n = names[i];
        if (!n)
            continue;
        args += (i ? ", " : "") + (n->lpguid ? IidName(*n->lpguid) : std::string("null")) + "/" +
                (n->ulKind == MNID_ID ? HexCode(n->Kind.lID) : std::string("name"));
    }
    MapiCall call(*this, "GetIDsFromNames", args + ", " + FlagsText(flags));
    if (tags)
        *tags = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!tags)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (!names || count == 0)
        return call.Done(MAPI_E_NO_SUPPORT, "Listing every named property is not supported.");
    if (flags & ~(MAPI_CREATE | MAPI_UNICODE))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    std::vector<ULONG> result;
    bool errors = false;
    for (ULONG i = 0; i < count; ++i) {
        const MAPINAMEID* n = names[i];
        if (!n || !n->lpguid || (n->ulKind != MNID_ID && n->ulKind != MNID_STRING) ||
            (n->ulKind == MNID_STRING && !n->Kind.lpwstrName))
            return call.Done(MAPI_E_INVALID_PARAMETER);
        OleString name;
        if (n->ulKind == MNID_STRING) {
            const OLECHAR* w = reinterpret_cast<const OLECHAR*>(n->Kind.lpwstrName);
            name.assign(w, std::char_traits<OLECHAR>::length(w));
        }
        ULONG id =
            world_->NamedId(*n->lpguid, n->ulKind, n->Kind.lID, name, (flags & MAPI_CREATE) != 0);
        if (id == 0) {
            errors = true;
            result.push_back(PROP_TAG(PT_ERROR, 0));
        } else {
            result.push_back(PROP_TAG(PT_UNSPECIFIED, id));
        }
    }
    if (HRESULT hr = TagsOut(result, tags); FAILED(hr))
        return call.Done(hr);
    return call.Done(errors ? MAPI_W_ERRORS_RETURNED : S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::GetAttachmentTable(ULONG flags, LPMAPITABLE* table) {
    MapiCall call(*this, "GetAttachmentTable", FlagsText(flags));
    if (table)
        *table = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!table)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *table = new TableObject(world_, {kPrAttachNum}, {});
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::OpenAttach(ULONG, LPCIID, ULONG, LPATTACH* attach) {
    return FixedAnswer(*this, "OpenAttach", MAPI_E_NOT_FOUND, attach);
}

HRESULT STDMETHODCALLTYPE MessageObject::CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH* attach) {
    return FixedAnswer(*this, "CreateAttach", MAPI_E_NO_SUPPORT, attach);
}

HRESULT STDMETHODCALLTYPE MessageObject::DeleteAttach(ULONG, ParamOf<&IMessage::DeleteAttach, 1>,
                                                      LPMAPIPROGRESS, ULONG) {
    return FixedAnswer(*this, "DeleteAttach", MAPI_E_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE MessageObject::GetRecipientTable(ULONG flags, LPMAPITABLE* table) {
    MapiCall call(*this, "GetRecipientTable", FlagsText(flags));
    if (table)
        *table = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!table)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    std::vector<TableObject::Row> rows;
    for (const RecipientRow& r : data_->recipients) {
        const Recipient& p = r.recipient;
        rows.push_back({Num(PR_ROWID, static_cast<LONG>(r.rowId)),
                        Str(PR_DISPLAY_NAME, p.displayName.empty() ? p.address : p.displayName),
                        Str(PR_EMAIL_ADDRESS, p.address), Str(PR_ADDRTYPE, p.addressType),
                        Num(PR_RECIPIENT_TYPE, p.type),
                        Num(PR_SEND_RICH_INFO, p.sendRichInfo ? 1 : 0)});
        if (!p.entryId.empty())
            rows.back().push_back(Str(PR_ENTRYID, p.entryId));
    }
    *table = new TableObject(world_,
                             {PR_ROWID, PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE,
                              PR_RECIPIENT_TYPE, PR_SEND_RICH_INFO, PR_ENTRYID},
                             rows);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::ModifyRecipients(ULONG flags, LPADRLIST mods) {
    std::string args = FlagsText(flags);
    if (mods)
        for (ULONG e = 0; e < mods->cEntries; ++e)
            for (ULONG k = 0; k < mods->aEntries[e].cValues && mods->aEntries[e].rgPropVals; ++k)
                if (PROP_ID(mods->aEntries[e].rgPropVals[k].ulPropTag) ==
                        PROP_ID(PR_EMAIL_ADDRESS) &&
                    PROP_TYPE(mods->aEntries[e].rgPropVals[k].ulPropTag) == PT_STRING8 &&
                    mods->aEntries[e].rgPropVals[k].Value.lpszA)
                    args += ", " + Quoted(mods->aEntries[e].rgPropVals[k].Value.lpszA);
    MapiCall call(*this, "ModifyRecipients", args);
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!mods)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & ~(MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    const ULONG op = flags & (MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE);
    if (op != 0 && op != MODRECIP_ADD && op != MODRECIP_MODIFY && op != MODRECIP_REMOVE)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    // Every entry is checked before anything changes.
    std::vector<RecipientRow> entries;
    for (ULONG e = 0; e < mods->cEntries; ++e) {
        const ADRENTRY& entry = mods->aEntries[e];
        if (!entry.rgPropVals && entry.cValues)
            return call.Done(MAPI_E_INVALID_PARAMETER);
        RecipientRow row{Recipient(), 0};
        row.recipient.addressType.clear();
        bool hasRowId = false;
        for (ULONG k = 0; k < entry.cValues; ++k) {
            const SPropValue& v = entry.rgPropVals[k];
            std::string text;
            switch (PROP_ID(v.ulPropTag)) {
            case PROP_ID(PR_EMAIL_ADDRESS):
                if (TextValue(v, &text))
                    row.recipient.address = text;
                break;
            case PROP_ID(PR_DISPLAY_NAME):
                if (TextValue(v, &text))
                    row.recipient.displayName = text;
                break;
            case PROP_ID(PR_ADDRTYPE):
                if (TextValue(v, &text))
                    row.recipient.addressType = text;
                break;
            case PROP_ID(PR_RECIPIENT_TYPE):
                if (PROP_TYPE(v.ulPropTag) == PT_LONG)
                    row.recipient.type = v.Value.l;
                break;
            case PROP_ID(PR_SEND_RICH_INFO):
                if (PROP_TYPE(v.ulPropTag) == PT_BOOLEAN)
                    row.recipient.sendRichInfo = v.Value.b != 0;
                break;
            case PROP_ID(PR_ENTRYID):
                if (PROP_TYPE(v.ulPropTag) == PT_BINARY && v.Value.bin.lpb)
                    row.recipient.entryId.assign(reinterpret_cast<const char*>(v.Value.bin.lpb),
                                                 v.Value.bin.cb);
                break;
            case PROP_ID(PR_ROWID):
                if (PROP_TYPE(v.ulPropTag) == PT_LONG) {
                    row.rowId = static_cast<ULONG>(v.Value.l);
                    hasRowId = true;
                }
                break;
            default:
                break;
            }
        }
        if (op == MODRECIP_MODIFY || op == MODRECIP_REMOVE) {
            if (!hasRowId)
                return call.Done(MAPI_E_INVALID_PARAMETER);
        } else if (row.recipient.address.empty() && row.recipient.displayName.empty()) {
            return call.Done(MAPI_E_INVALID_PARAMETER, "A recipient has neither address nor name.");
        }
        if (row.recipient.address.empty())
            row.recipient.address = row.recipient.displayName;
        if (row.recipient.displayName == row.recipient.address)
            row.recipient.displayName.clear();
        entries.push_back(row);
    }
    auto& list = data_->recipients;
    auto find = [&list](ULONG rowId) {
        return std::find_if(list.begin(), list.end(),
                            [rowId](const RecipientRow& r) { return r.rowId == rowId; });
    };
    if (op == 0)
        list.clear();
    for (RecipientRow& row : entries) {
        if (op == MODRECIP_REMOVE) {
            auto it = find(row.rowId);
            if (it != list.end())
                list.erase(it);
        } else if (op == MODRECIP_MODIFY) {
            auto it = find(row.rowId);
            if (it == list.end())
                return call.Done(MAPI_E_NOT_FOUND);
            it->recipient = row.recipient;
        } else {
            row.rowId = data_->nextRowId++;
            list.push_back(row);
        }
    }
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::SubmitMessage(ULONG flags) {
    MapiCall call(*this, "SubmitMessage", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (flags & ~FORCE_SUBMIT)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (world_->config.submitMilliseconds)
        Sleep(world_->config.submitMilliseconds);
    return call.Done(world_->Submit(data_));
}

HRESULT STDMETHODCALLTYPE MessageObject::SetReadFlag(ULONG flags) {
    MapiCall call(*this, "SetReadFlag", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    return call.Done(S_OK);
}

// ---- Streams ------------------------------------------------------------------------------------

StreamObject::StreamObject(World* world, std::string bytes)
    : Tracked(world, "Stream"), bytes_(std::move(bytes)) {}

void* StreamObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
        IsEqualIID(iid, IID_IStream))
        return static_cast<IStream*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE StreamObject::Read(void* buffer, ULONG count, ULONG* read) {
    MapiCall call(*this, "Read", std::to_string(count));
    if (read)
        *read = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!buffer && count)
        return call.Done(STG_E_INVALIDPOINTER);
    size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONG n = static_cast<ULONG>(std::min<size_t>(left, count));
    if (n)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (read)
        *read = n;
    return call.Done(n < count ? S_FALSE : S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Write(const void*, ULONG, ULONG* written) {
    return FixedAnswer(*this, "Write", STG_E_ACCESSDENIED, written);
}

HRESULT STDMETHODCALLTYPE StreamObject::Seek(LARGE_INTEGER move, DWORD origin,
                                             ULARGE_INTEGER* newPosition) {
    MapiCall call(*this, "Seek",
                  std::to_string(static_cast<long long>(move.QuadPart)) + " from " +
                      std::to_string(origin));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    long long base = origin == STREAM_SEEK_SET   ? 0
                     : origin == STREAM_SEEK_CUR ? static_cast<long long>(position_)
                     : origin == STREAM_SEEK_END ? static_cast<long long>(bytes_.size())
                                                 : -1;
    if (base < 0)
        return call.Done(STG_E_INVALIDFUNCTION);
    long long target = base + move.QuadPart;
    if (target < 0)
        return call.Done(STG_E_INVALIDFUNCTION);
    position_ = static_cast<size_t>(target);
    if (newPosition)
        newPosition->QuadPart = static_cast<ULONGLONG>(target);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::SetSize(ULARGE_INTEGER) {
    return FixedAnswer(*this, "SetSize", STG_E_ACCESSDENIED);
}

HRESULT STDMETHODCALLTYPE StreamObject::CopyTo(IStream* target, ULARGE_INTEGER count,
                                               ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
    MapiCall call(*this, "CopyTo", std::to_string(static_cast<unsigned long long>(count.QuadPart)));
    if (read)
        read->QuadPart = 0;
    if (written)
        written->QuadPart = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!target)
        return call.Done(STG_E_INVALIDPOINTER);
    ULONGLONG left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    ULONGLONG want = std::min<ULONGLONG>(left, count.QuadPart);
    ULONGLONG done = 0, put = 0;
    HRESULT hr = S_OK;
    while (done < want) {
        ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(want - done, 65536));
        ULONG n = 0;
        hr = target->Write(bytes_.data() + position_, chunk, &n);
        position_ += chunk;
        done += chunk;
        put += n;
        if (FAILED(hr))
            break;
    }
    if (read)
        read->QuadPart = done;
    if (written)
        written->QuadPart = put;
    return call.Done(FAILED(hr) ? hr : S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Commit(DWORD) {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE StreamObject::Revert() {
    return S_OK;
}
HRESULT STDMETHODCALLTYPE StreamObject::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}
HRESULT STDMETHODCALLTYPE StreamObject::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE StreamObject::Stat(STATSTG* stat, DWORD) {
    MapiCall call(*this, "Stat", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!stat)
        return call.Done(STG_E_INVALIDPOINTER);
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Clone(IStream** copy) {
    MapiCall call(*this, "Clone", "");
    if (!copy)
        return call.Done(STG_E_INVALIDPOINTER);
    auto* clone = new StreamObject(world_, bytes_);
    clone->position_ = position_;
    *copy = clone;
    return call.Done(S_OK);
}

// ---- Tables -------------------------------------------------------------------------------------

TableObject::TableObject(World* world, std::vector<ULONG> columns, std::vector<Row> rows)
    : Tracked(world, "Table"), columns_(std::move(columns)), all_(std::move(rows)) {
    for (size_t i = 0; i < all_.size(); ++i)
        view_.push_back(i);
}

void* TableObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPITable))
        return static_cast<IMAPITable*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE TableObject::GetLastError(HRESULT result, ULONG flags,
                                                    LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", HexCode(result));
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE TableObject::Advise(ULONG, LPMAPIADVISESINK,
                                              ParamOf<&IMAPITable::Advise, 2> connection) {
    return FixedAnswer(*this, "Advise", MAPI_E_NO_SUPPORT, connection);
}

HRESULT STDMETHODCALLTYPE TableObject::Unadvise(ULONG) {
    return FixedAnswer(*this, "Unadvise", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE TableObject::GetStatus(ULONG* tableStatus, ULONG* tableType) {
    MapiCall call(*this, "GetStatus", "");
    if (!tableStatus || !tableType)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *tableStatus = 0; // TBLSTAT_COMPLETE
    *tableType = 0;   // TBLTYPE_SNAPSHOT
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SetColumns(LPSPropTagArray columns, ULONG flags) {
    MapiCall call(*this, "SetColumns", TagListText(columns) + "; " + FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!columns || columns->cValues == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    columns_.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryColumns(ULONG flags, LPSPropTagArray* columns) {
    MapiCall call(*this, "QueryColumns", FlagsText(flags));
    if (columns)
        *columns = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!columns)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    return call.Done(TagsOut(columns_, columns));
}

HRESULT STDMETHODCALLTYPE TableObject::GetRowCount(ULONG flags, ULONG* count) {
    MapiCall call(*this, "GetRowCount", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!count)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *count = static_cast<ULONG>(view_.size());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) {
    MapiCall call(*this, "SeekRow",
                  std::to_string(static_cast<unsigned long long>(origin)) + ", " +
                      std::to_string(rowCount));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    long long base = origin == BOOKMARK_BEGINNING ? 0
                     : origin == kBookmarkCurrent ? static_cast<long long>(cursor_)
                     : origin == kBookmarkEnd     ? static_cast<long long>(view_.size())
                                                  : -1;
    if (base < 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    long long target = std::max<long long>(
        0, std::min<long long>(static_cast<long long>(view_.size()), base + rowCount));
    if (rowsSought)
        *rowsSought = static_cast<LONG>(target - base);
    cursor_ = static_cast<size_t>(target);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SeekRowApprox(ULONG numerator, ULONG denominator) {
    MapiCall call(*this, "SeekRowApprox", "");
    if (denominator == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    cursor_ = static_cast<size_t>(static_cast<ULONGLONG>(view_.size()) * numerator / denominator);
    cursor_ = std::min(cursor_, view_.size());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryPosition(ULONG* row, ULONG* numerator,
                                                     ULONG* denominator) {
    MapiCall call(*this, "QueryPosition", "");
    if (!row || !numerator || !denominator)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *row = static_cast<ULONG>(cursor_);
    *numerator = static_cast<ULONG>(cursor_);
    *denominator = static_cast<ULONG>(view_.size() ? view_.size() : 1);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::FindRow(LPSRestriction restriction, BOOKMARK origin,
                                               ULONG flags) {
    MapiCall call(*this, "FindRow", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!restriction || (flags & 1) /* DIR_BACKWARD */)
        return call.Done(restriction ? MAPI_E_NO_SUPPORT : MAPI_E_INVALID_PARAMETER);
    size_t from = origin == BOOKMARK_BEGINNING ? 0
                  : origin == kBookmarkCurrent ? cursor_
                                               : view_.size();
    for (size_t i = from; i < view_.size(); ++i) {
        bool tooComplex = false;
        bool match = Matches(all_[view_[i]], restriction, &tooComplex);
        if (tooComplex)
            return call.Done(kTooComplex);
        if (match) {
            cursor_ = i;
            return call.Done(S_OK);
        }
    }
    return call.Done(MAPI_E_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE TableObject::Restrict(LPSRestriction restriction, ULONG flags) {
    std::string args = "none";
    if (restriction && restriction->rt == RES_PROPERTY && restriction->res.resProperty.lpProp)
        args = HexCode(static_cast<HRESULT>(restriction->res.resProperty.ulPropTag)) + " relop " +
               std::to_string(restriction->res.resProperty.relop) + " " +
               std::to_string(restriction->res.resProperty.lpProp->Value.l);
    else if (restriction)
        args = "rt " + std::to_string(restriction->rt);
    MapiCall call(*this, "Restrict", args);
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    (void)flags;
    std::vector<size_t> view;
    for (size_t i = 0; i < all_.size(); ++i) {
        bool tooComplex = false;
        if (!restriction || Matches(all_[i], restriction, &tooComplex))
            view.push_back(i);
        if (tooComplex)
            return call.Done(kTooComplex);
    }
    view_ = view;
    cursor_ = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::CreateBookmark(BOOKMARK* position) {
    return FixedAnswer(*this, "CreateBookmark", MAPI_E_NO_SUPPORT, position);
}

HRESULT STDMETHODCALLTYPE TableObject::FreeBookmark(BOOKMARK) {
    return FixedAnswer(*this, "FreeBookmark", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE TableObject::SortTable(LPSSortOrderSet criteria, ULONG flags) {
    MapiCall call(*this, "SortTable", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!criteria)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (criteria->cCategories)
        return call.Done(kTooComplex);
    std::vector<SSortOrder> keys(criteria->aSort, criteria->aSort + criteria->cSorts);
    std::stable_sort(view_.begin(), view_.end(), [&](size_t a, size_t b) {
        for (const SSortOrder& k : keys) {
            ExtraProp x = ColumnValue(all_[a], k.ulPropTag), y = ColumnValue(all_[b], k.ulPropTag);
            int c =
                x.number != y.number ? (x.number < y.number ? -1 : 1) : x.bytes.compare(y.bytes);
            if (c != 0)
                return k.ulOrder == kTableSortDescend ? c > 0 : c < 0;
        }
        return false;
    });
    cursor_ = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QuerySortOrder(LPSSortOrderSet* criteria) {
    return FixedAnswer(*this, "QuerySortOrder", MAPI_E_NO_SUPPORT, criteria);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) {
    MapiCall call(*this, "QueryRows", std::to_string(rowCount) + ", " + FlagsText(flags));
    if (rows)
        *rows = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!rows || rowCount == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (rowCount < 0)
        return call.Done(MAPI_E_NO_SUPPORT, "Reading backwards is not supported.");
    const size_t n = std::min<size_t>(static_cast<size_t>(rowCount),
                                      view_.size() - std::min(cursor_, view_.size()));
    LPSRowSet set = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(n ? n : 1)),
                                  reinterpret_cast<void**>(&set))))
        return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
    set->cRows = 0;
    for (size_t i = 0; i < n; ++i) {
        std::vector<ExtraProp> values;
        for (ULONG column : columns_)
            values.push_back(ColumnValue(all_[view_[cursor_ + i]], column));
        SRow& row = set->aRow[i];
        row.ulAdrEntryPad = 0;
        row.cValues = static_cast<ULONG>(values.size());
        if (FAILED(PropsOut(values, &row.lpProps))) {
            FreeProws(set);
            return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
        }
        set->cRows = static_cast<ULONG>(i + 1);
    }
    if (!(flags & kTblNoAdvance))
        cursor_ += n;
    *rows = set;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::Abort() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TableObject::ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet* rows,
                                                 ULONG* moreRows) {
    return FixedAnswer(*this, "ExpandRow", MAPI_E_NO_SUPPORT, rows, moreRows);
}

HRESULT STDMETHODCALLTYPE TableObject::CollapseRow(ULONG, LPBYTE, ULONG, ULONG* rowCount) {
    return FixedAnswer(*this, "CollapseRow", MAPI_E_NO_SUPPORT, rowCount);
}

HRESULT STDMETHODCALLTYPE TableObject::WaitForCompletion(ULONG, ULONG, ULONG* tableStatus) {
    return FixedAnswer(*this, "WaitForCompletion", S_OK, tableStatus);
}

HRESULT STDMETHODCALLTYPE TableObject::GetCollapseState(ULONG, ULONG, LPBYTE, ULONG* stateSize,
                                                        LPBYTE* state) {
    return FixedAnswer(*this, "GetCollapseState", MAPI_E_NO_SUPPORT, stateSize, state);
}

HRESULT STDMETHODCALLTYPE TableObject::SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK* location) {
    return FixedAnswer(*this, "SetCollapseState", MAPI_E_NO_SUPPORT, location);
}

// ---- The spooler's status object ----------------------------------------------------------------

namespace {
std::vector<ExtraProp> SpoolerProps(const std::string& entryId) {
    return {Num(PR_RESOURCE_TYPE, MAPI_SPOOLER), Str(PR_DISPLAY_NAME, "Mail Spooler"),
            Str(PR_PROVIDER_DISPLAY, "Mail Spooler"), Num(PR_STATUS_CODE, kStatusAvailable),
            Str(PR_ENTRYID, entryId)};
}
} // namespace

StatusObject::StatusObject(World* world) : PropObject(world, "Status") {}

void* StatusObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIProp) ||
        IsEqualIID(iid, IID_IMAPIStatus))
        return static_cast<IMAPIStatus*>(this);
    return nullptr;
}

std::string StatusObject::EntryId() const {
    return MakeEntryId(kSpoolerEntry, 0);
}

HRESULT STDMETHODCALLTYPE StatusObject::GetLastError(HRESULT result, ULONG flags,
                                                     LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", HexCode(result));
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE StatusObject::SaveChanges(ULONG) {
    return FixedAnswer(*this, "SaveChanges", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StatusObject::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                                 LPSPropValue* values) {
    MapiCall call(*this, "GetProps", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    std::vector<ExtraProp> all = SpoolerProps(EntryId());
    return call.Done(GetPropsFrom(all, tags, flags, count, values,
                                  [all](ULONG tag) { return ColumnValue(all, tag); }));
}

HRESULT STDMETHODCALLTYPE StatusObject::GetPropList(ULONG flags, LPSPropTagArray* tags) {
    MapiCall call(*this, "GetPropList", FlagsText(flags));
    if (!tags)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    std::vector<ULONG> list;
    for (const ExtraProp& p : SpoolerProps(EntryId()))
        list.push_back(p.tag);
    return call.Done(TagsOut(list, tags));
}

HRESULT STDMETHODCALLTYPE StatusObject::OpenProperty(ULONG, LPCIID, ULONG, ULONG,
                                                     LPUNKNOWN* object) {
    return FixedAnswer(*this, "OpenProperty", MAPI_E_NO_SUPPORT, object);
}

HRESULT STDMETHODCALLTYPE StatusObject::SetProps(ULONG, LPSPropValue,
                                                 LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "SetProps", MAPI_E_NO_ACCESS, problems);
}

HRESULT STDMETHODCALLTYPE StatusObject::DeleteProps(LPSPropTagArray,
                                                    LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "DeleteProps", MAPI_E_NO_ACCESS, problems);
}

HRESULT STDMETHODCALLTYPE StatusObject::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG,
                                                        LPSPropTagArray* tags) {
    return FixedAnswer(*this, "GetIDsFromNames", MAPI_E_NO_SUPPORT, tags);
}

HRESULT STDMETHODCALLTYPE StatusObject::ValidateState(ParamOf<&IMAPIStatus::ValidateState, 0>,
                                                      ULONG) {
    return FixedAnswer(*this, "ValidateState", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StatusObject::SettingsDialog(ParamOf<&IMAPIStatus::SettingsDialog, 0>,
                                                       ULONG) {
    return FixedAnswer(*this, "SettingsDialog", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StatusObject::ChangePassword(ParamOf<&IMAPIStatus::ChangePassword, 0>,
                                                       ParamOf<&IMAPIStatus::ChangePassword, 1>,
                                                       ULONG) {
    return FixedAnswer(*this, "ChangePassword", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StatusObject::FlushQueues(ParamOf<&IMAPIStatus::FlushQueues, 0> uiParam,
                                                    ULONG targetTransportSize, LPENTRYID,
                                                    ULONG flags) {
    MapiCall call(*this, "FlushQueues",
                  "window " + std::to_string(static_cast<unsigned long long>(uiParam)) +
                      ", transport bytes " + std::to_string(targetTransportSize) + ", " +
                      FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (flags & ~(FLUSH_UPLOAD | FLUSH_DOWNLOAD | FLUSH_FORCE | kFlushNoUi | kFlushAsyncOk))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    ++world_->flushes;
    if (flags & FLUSH_UPLOAD)
        world_->DeliverQueue(false);
    return call.Done(S_OK);
}

// ---- The address book ---------------------------------------------------------------------------

AddressBookObject::AddressBookObject(World* world) : PropObject(world, "AddressBook") {}

void* AddressBookObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIProp) ||
        IsEqualIID(iid, IID_IAddrBook))
        return static_cast<IAddrBook*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetLastError(HRESULT result, ULONG flags,
                                                          LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", HexCode(result));
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE AddressBookObject::SaveChanges(ULONG) {
    return FixedAnswer(*this, "SaveChanges", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetProps(LPSPropTagArray, ULONG, ULONG* count,
                                                      LPSPropValue* values) {
    return FixedAnswer(*this, "GetProps", MAPI_E_NO_SUPPORT, count, values);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetPropList(ULONG, LPSPropTagArray* tags) {
    return FixedAnswer(*this, "GetPropList", MAPI_E_NO_SUPPORT, tags);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::OpenProperty(ULONG, LPCIID, ULONG, ULONG,
                                                          LPUNKNOWN* object) {
    return FixedAnswer(*this, "OpenProperty", MAPI_E_NO_SUPPORT, object);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::SetProps(ULONG, LPSPropValue,
                                                      LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "SetProps", MAPI_E_NO_SUPPORT, problems);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::DeleteProps(LPSPropTagArray,
                                                         LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "DeleteProps", MAPI_E_NO_SUPPORT, problems);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG,
                                                             LPSPropTagArray* tags) {
    return FixedAnswer(*this, "GetIDsFromNames", MAPI_E_NO_SUPPORT, tags);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG,
                                                       ULONG* objectType, LPUNKNOWN* object) {
    return FixedAnswer(*this, "OpenEntry", MAPI_E_NO_SUPPORT, objectType, object);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::CompareEntryIDs(ULONG size1, LPENTRYID id1,
                                                             ULONG size2, LPENTRYID id2, ULONG,
                                                             ULONG* result) {
    MapiCall call(*this, "CompareEntryIDs", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!id1 || !id2 || !result)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *result = size1 == size2 && std::memcmp(id1, id2, size1) == 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK,
                                                    ParamOf<&IAddrBook::Advise, 4> connection) {
    return FixedAnswer(*this, "Advise", MAPI_E_NO_SUPPORT, connection);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::Unadvise(ULONG) {
    return FixedAnswer(*this, "Unadvise", MAPI_E_NO_SUPPORT);
}

// IAddrBook::CreateOneOff (MAPI reference): the name, the address type and
// the address are required, 8-bit unless MAPI_UNICODE; the flags are
// MAPI_UNICODE and MAPI_SEND_NO_RICH_INFO. The entry ID is one block from
// MAPIAllocateBuffer, which the caller gives back with MAPIFreeBuffer.
HRESULT STDMETHODCALLTYPE AddressBookObject::CreateOneOff(
    ParamOf<&IAddrBook::CreateOneOff, 0> name, ParamOf<&IAddrBook::CreateOneOff, 1> addressType,
    ParamOf<&IAddrBook::CreateOneOff, 2> address, ULONG flags, ULONG* entryIdSize,
    LPENTRYID* entryId) {
    const bool unicode = (flags & MAPI_UNICODE) != 0;
    auto text = [unicode](const void* p) {
        if (!p)
            return std::string();
        if (!unicode)
            return std::string(static_cast<const char*>(p));
        const OLECHAR* w = static_cast<const OLECHAR*>(p);
        return Narrow(w, std::char_traits<OLECHAR>::length(w));
    };
    OneOffEntry entry;
    entry.displayName = text(name);
    entry.addressType = text(addressType);
    entry.address = text(address);
    entry.unicode = unicode;
    entry.noRichInfo = (flags & MAPI_SEND_NO_RICH_INFO) != 0;
    MapiCall call(*this, "CreateOneOff",
                  Quoted(entry.displayName) + ", " + Quoted(entry.addressType) + ", " +
                      Quoted(entry.address) + ", " + FlagsText(flags));
    if (entryIdSize)
        *entryIdSize = 0;
    if (entryId)
        *entryId = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!name || !addressType || !address || !entryIdSize || !entryId)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & ~(MAPI_UNICODE | MAPI_SEND_NO_RICH_INFO))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (entry.addressType.empty() || entry.address.empty())
        return call.Done(MAPI_E_INVALID_PARAMETER, "A one-off entry needs a type and an address.");
    const std::string bytes = MakeOneOffEntryId(entry);
    void* block = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(bytes.size()), &block)) || !block)
        return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
    std::memcpy(block, bytes.data(), bytes.size());
    *entryIdSize = static_cast<ULONG>(bytes.size());
    *entryId = static_cast<LPENTRYID>(block);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::NewEntry(ParamOf<&IAddrBook::NewEntry, 0>, ULONG,
                                                      ULONG, LPENTRYID, ULONG, LPENTRYID,
                                                      ULONG* newEntryIdSize,
                                                      LPENTRYID* newEntryId) {
    return FixedAnswer(*this, "NewEntry", MAPI_E_NO_SUPPORT, newEntryIdSize, newEntryId);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::ResolveName(ParamOf<&IAddrBook::ResolveName, 0>, ULONG,
                                                         ParamOf<&IAddrBook::ResolveName, 2>,
                                                         LPADRLIST) {
    return FixedAnswer(*this, "ResolveName", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::Address(ParamOf<&IAddrBook::Address, 0>, LPADRPARM,
                                                     LPADRLIST* list) {
    return FixedAnswer(*this, "Address", MAPI_E_NO_SUPPORT, list);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::Details(ParamOf<&IAddrBook::Details, 0>,
                                                     ParamOf<&IAddrBook::Details, 1>, LPVOID, ULONG,
                                                     LPENTRYID, ParamOf<&IAddrBook::Details, 5>,
                                                     LPVOID, ParamOf<&IAddrBook::Details, 7>,
                                                     ULONG) {
    return FixedAnswer(*this, "Details", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::RecipOptions(ParamOf<&IAddrBook::RecipOptions, 0>,
                                                          ULONG, LPADRENTRY) {
    return FixedAnswer(*this, "RecipOptions", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::QueryDefaultRecipOpt(
    ParamOf<&IAddrBook::QueryDefaultRecipOpt, 0>, ULONG, ULONG* count, LPSPropValue* options) {
    return FixedAnswer(*this, "QueryDefaultRecipOpt", MAPI_E_NO_SUPPORT, count, options);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetPAB(ULONG* entryIdSize, LPENTRYID* entryId) {
    return FixedAnswer(*this, "GetPAB", MAPI_E_NO_SUPPORT, entryIdSize, entryId);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::SetPAB(ULONG, LPENTRYID) {
    return FixedAnswer(*this, "SetPAB", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetDefaultDir(ULONG* entryIdSize, LPENTRYID* entryId) {
    return FixedAnswer(*this, "GetDefaultDir", MAPI_E_NO_SUPPORT, entryIdSize, entryId);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::SetDefaultDir(ULONG, LPENTRYID) {
    return FixedAnswer(*this, "SetDefaultDir", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::GetSearchPath(ULONG, LPSRowSet* searchPath) {
    return FixedAnswer(*this, "GetSearchPath", MAPI_E_NO_SUPPORT, searchPath);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::SetSearchPath(ULONG, LPSRowSet) {
    return FixedAnswer(*this, "SetSearchPath", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE AddressBookObject::PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST) {
    return FixedAnswer(*this, "PrepareRecips", MAPI_E_NO_SUPPORT);
}

// ---- Session ------------------------------------------------------------------------------------

SessionObject::SessionObject(World* world) : Tracked(world, "Session") {}

void* SessionObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPISession))
        return static_cast<IMAPISession*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE SessionObject::GetLastError(HRESULT result, ULONG flags,
                                                      LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", HexCode(result));
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE SessionObject::GetMsgStoresTable(ULONG, LPMAPITABLE* table) {
    return FixedAnswer(*this, "GetMsgStoresTable", MAPI_E_NO_SUPPORT, table);
}

HRESULT STDMETHODCALLTYPE SessionObject::OpenMsgStore(ParamOf<&IMAPISession::OpenMsgStore, 0>,
                                                      ULONG, LPENTRYID, LPCIID, ULONG,
                                                      LPMDB* store) {
    return FixedAnswer(*this, "OpenMsgStore", MAPI_E_NO_SUPPORT, store);
}

// IMAPISession::OpenAddressBook (MAPI reference): the interface asked is
// IAddrBook or none (null); the flags are AB_NO_DIALOG and
// MAPI_DEFERRED_ERRORS. Each call gives a new reference to an address book
// of the session.
HRESULT STDMETHODCALLTYPE
SessionObject::OpenAddressBook(ParamOf<&IMAPISession::OpenAddressBook, 0> uiParam, LPCIID iid,
                               ULONG flags, LPADRBOOK* addressBook) {
    MapiCall call(*this, "OpenAddressBook",
                  "window " + std::to_string(static_cast<unsigned long long>(uiParam)) + ", " +
                      (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags));
    if (addressBook)
        *addressBook = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!addressBook)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & ~(AB_NO_DIALOG | MAPI_DEFERRED_ERRORS))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (iid && !IsEqualIID(*iid, IID_IAddrBook) && !IsEqualIID(*iid, IID_IMAPIProp) &&
        !IsEqualIID(*iid, IID_IUnknown))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    *addressBook = new AddressBookObject(world_);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::OpenProfileSection(LPMAPIUID, LPCIID, ULONG,
                                                            LPPROFSECT* section) {
    return FixedAnswer(*this, "OpenProfileSection", MAPI_E_NO_SUPPORT, section);
}

HRESULT STDMETHODCALLTYPE SessionObject::GetStatusTable(ULONG flags, LPMAPITABLE* table) {
    MapiCall call(*this, "GetStatusTable", FlagsText(flags));
    if (table)
        *table = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!table)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & ~MAPI_UNICODE)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (flags & MAPI_UNICODE)
        return call.Done(MAPI_E_BAD_CHARWIDTH);
    std::vector<TableObject::Row> rows = {
        {Num(PR_ROWID, 1), Str(PR_DISPLAY_NAME, "MAPI Subsystem"),
         Num(PR_RESOURCE_TYPE, kMapiSubsystem), Str(PR_ENTRYID, MakeEntryId(kSubsystemEntry, 0)),
         Num(PR_STATUS_CODE, kStatusAvailable)},
        {Num(PR_ROWID, 2), Str(PR_DISPLAY_NAME, "Personal Folders"),
         Num(PR_RESOURCE_TYPE, kMapiStoreProvider), Str(PR_ENTRYID, MakeEntryId(kStoreEntry, 0)),
         Num(PR_STATUS_CODE, kStatusAvailable)},
        {Num(PR_ROWID, 3), Str(PR_DISPLAY_NAME, "Internet E-mail"),
         Num(PR_RESOURCE_TYPE, kMapiTransportProvider),
         Str(PR_ENTRYID, MakeEntryId(kTransportEntry, 0)), Num(PR_STATUS_CODE, kStatusAvailable)},
    };
    if (world_->config.spoolerRow)
        rows.push_back({Num(PR_ROWID, 4), Str(PR_DISPLAY_NAME, "Mail Spooler"),
                        Num(PR_RESOURCE_TYPE, MAPI_SPOOLER),
                        Str(PR_ENTRYID, world_->spooler->EntryId()),
                        Num(PR_STATUS_CODE, kStatusAvailable)});
    *table = new TableObject(
        world_, {PR_ROWID, PR_DISPLAY_NAME, PR_RESOURCE_TYPE, PR_ENTRYID, PR_STATUS_CODE}, rows);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                                   ULONG flags, ULONG* objectType,
                                                   LPUNKNOWN* object) {
    std::string eid =
        entryId ? std::string(reinterpret_cast<const char*>(entryId), entryIdSize) : std::string();
    MapiCall call(*this, "OpenEntry",
                  HexBytes(eid) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags));
    if (object)
        *object = nullptr;
    if (objectType)
        *objectType = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!object || !objectType)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & ~(MAPI_MODIFY | MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS))
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    BYTE kind;
    uint32_t number;
    if (!ParseEntryId(eid, &kind, &number))
        return call.Done(MAPI_E_INVALID_ENTRYID);
    Tracked* target = nullptr;
    ULONG type = 0;
    Ptr<MessageObject> message;
    if (kind == kSpoolerEntry) {
        target = world_->spooler.Get();
        type = MAPI_STATUS;
    } else if (kind == kMessageEntry) {
        MessageRef data = world_->FindMessage(eid);
        if (!data)
            return call.Done(MAPI_E_NOT_FOUND);
        message = world_->MessageFor(data);
        target = message.Get();
        type = kMapiMessage;
    } else {
        return call.Done(MAPI_E_NO_SUPPORT, "Only messages and the spooler open here.");
    }
    void* p = target->Find(iid ? *iid : IID_IUnknown);
    if (!p)
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    target->AddRefCount();
    *object = static_cast<IUnknown*>(p);
    *objectType = type;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2,
                                                         LPENTRYID id2, ULONG, ULONG* result) {
    MapiCall call(*this, "CompareEntryIDs", "");
    if (!id1 || !id2 || !result)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *result = size1 == size2 && std::memcmp(id1, id2, size1) == 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK,
                                                ParamOf<&IMAPISession::Advise, 4> connection) {
    return FixedAnswer(*this, "Advise", MAPI_E_NO_SUPPORT, connection);
}

HRESULT STDMETHODCALLTYPE SessionObject::Unadvise(ULONG) {
    return FixedAnswer(*this, "Unadvise", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE SessionObject::MessageOptions(ParamOf<&IMAPISession::MessageOptions, 0>,
                                                        ULONG,
                                                        ParamOf<&IMAPISession::MessageOptions, 2>,
                                                        LPMESSAGE) {
    return FixedAnswer(*this, "MessageOptions", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE SessionObject::QueryDefaultMessageOpt(
    ParamOf<&IMAPISession::QueryDefaultMessageOpt, 0>, ULONG, ULONG* count, LPSPropValue* options) {
    return FixedAnswer(*this, "QueryDefaultMessageOpt", MAPI_E_NO_SUPPORT, count, options);
}

HRESULT STDMETHODCALLTYPE
SessionObject::EnumAdrTypes(ULONG, ULONG* count, ParamOf<&IMAPISession::EnumAdrTypes, 2> types) {
    return FixedAnswer(*this, "EnumAdrTypes", MAPI_E_NO_SUPPORT, count, types);
}

HRESULT STDMETHODCALLTYPE SessionObject::QueryIdentity(ULONG* entryIdSize, LPENTRYID* entryId) {
    return FixedAnswer(*this, "QueryIdentity", MAPI_E_NO_SUPPORT, entryIdSize, entryId);
}

HRESULT STDMETHODCALLTYPE SessionObject::Logoff(ParamOf<&IMAPISession::Logoff, 0>, ULONG, ULONG) {
    return FixedAnswer(*this, "Logoff", S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::SetDefaultStore(ULONG, ULONG, LPENTRYID) {
    return FixedAnswer(*this, "SetDefaultStore", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE SessionObject::AdminServices(ULONG, LPSERVICEADMIN* admin) {
    return FixedAnswer(*this, "AdminServices", MAPI_E_NO_SUPPORT, admin);
}

HRESULT STDMETHODCALLTYPE SessionObject::ShowForm(ParamOf<&IMAPISession::ShowForm, 0>, LPMDB,
                                                  LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG,
                                                  ULONG, ULONG, ULONG,
                                                  ParamOf<&IMAPISession::ShowForm, 10>) {
    return FixedAnswer(*this, "ShowForm", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE SessionObject::PrepareForm(LPCIID, LPMESSAGE, ULONG* messageToken) {
    return FixedAnswer(*this, "PrepareForm", MAPI_E_NO_SUPPORT, messageToken);
}

// ---- Exchange client-extension callbacks --------------------------------------------------------

CallbackObject::CallbackObject(World* world, ULONG context, IDispatch* object)
    : Tracked(world, "Callback"), context_(context), object_(object) {}

void* CallbackObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IExchExtCallback))
        return static_cast<IExchExtCallback*>(this);
    if (IsEqualIID(iid, IID_IOutlookExtCallback))
        return static_cast<IOutlookExtCallback*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetVersion(ULONG* version, ULONG flags) {
    MapiCall call(*this, "GetVersion", FlagsText(flags));
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!version)
        return call.Done(E_INVALIDARG);
    *version = static_cast<ULONG>(world_->version) << 16;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetWindow(HWND* window) {
    MapiCall call(*this, "GetWindow", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!window)
        return call.Done(E_INVALIDARG);
    *window = GetDesktopWindow();
    if (InspectorObject* inspector =
            dynamic_cast<InspectorObject*>(world_->FindTracked(object_.Get())))
        *window = inspector->Data()->window ? inspector->Data()->window : *window;
    else if (context_ == EECONTEXT_VIEWER && world_->config.explorerWindow)
        *window = world_->config.explorerWindow;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetMenu(HMENU* menu) {
    return FixedAnswer(*this, "GetMenu", MAPI_E_NO_SUPPORT, menu);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetToolbar(ULONG, HWND* toolbar) {
    return FixedAnswer(*this, "GetToolbar", MAPI_E_NO_SUPPORT, toolbar);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSession(LPMAPISESSION* session,
                                                     LPADRBOOK* addressBook) {
    MapiCall call(*this, "GetSession", "");
    if (session)
        *session = nullptr;
    if (addressBook)
        *addressBook = nullptr; // the product opens it from the session when it needs one
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!session && !addressBook)
        return call.Done(E_INVALIDARG);
    if (session) {
        *session = world_->session.Get();
        world_->session->AddRef();
    }
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetObject(LPMDB* store, LPMAPIPROP* object) {
    MapiCall call(*this, "GetObject(store)", "");
    if (store)
        *store = nullptr;
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    InspectorObject* inspector = dynamic_cast<InspectorObject*>(world_->FindTracked(object_.Get()));
    if (!inspector || !object)
        return call.Done(MAPI_E_NO_SUPPORT);
    Ptr<MessageObject> message = world_->MessageFor(inspector->Data());
    *object = static_cast<IMessage*>(message.Detach());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSelectionCount(ULONG* count) {
    MapiCall call(*this, "GetSelectionCount", "");
    if (!count)
        return call.Done(E_INVALIDARG);
    *count = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSelectionItem(ULONG, ULONG* entryIdSize,
                                                           LPENTRYID* entryId, ULONG*, LPSTR, ULONG,
                                                           ULONG*, ULONG) {
    return FixedAnswer(*this, "GetSelectionItem", MAPI_E_NO_SUPPORT, entryIdSize, entryId);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetMenuPos(ULONG, HMENU* menu, ULONG*, ULONG*, ULONG) {
    return FixedAnswer(*this, "GetMenuPos", MAPI_E_NO_SUPPORT, menu);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetSharedExtsDir(LPSTR, ULONG, ULONG) {
    return FixedAnswer(*this, "GetSharedExtsDir", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetRecipients(LPADRLIST* recipients) {
    return FixedAnswer(*this, "GetRecipients", MAPI_E_NO_SUPPORT, recipients);
}

HRESULT STDMETHODCALLTYPE CallbackObject::SetRecipients(LPADRLIST) {
    return FixedAnswer(*this, "SetRecipients", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetNewMessageSite(ULONG, LPMAPIFOLDER, IPersistMessage*,
                                                            IMAPIMessageSite** site,
                                                            IMAPIViewContext** viewContext, ULONG) {
    return FixedAnswer(*this, "GetNewMessageSite", MAPI_E_NO_SUPPORT, site, viewContext);
}

HRESULT STDMETHODCALLTYPE CallbackObject::RegisterModeless(IMAPIViewContext*, HWND) {
    return FixedAnswer(*this, "RegisterModeless", S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetObject(IUnknown** object) {
    MapiCall call(*this, "GetObject", "");
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!object)
        return call.Done(E_INVALIDARG);
    if (!object_)
        return call.Done(E_FAIL);
    *object = object_.Get();
    object_->AddRef();
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE CallbackObject::GetOfficeCharacter(void** character) {
    return FixedAnswer(*this, "GetOfficeCharacter", E_NOTIMPL, character);
}

} // namespace sim
