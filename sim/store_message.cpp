// Each item's store message: IMessage over the item's data, its properties
// (large ones through streams), named properties, recipients and submission.
#include "store_internal.h"

#include <algorithm>

namespace sim {

namespace {

constexpr HRESULT kComputed = static_cast<HRESULT>(0x8004011AL); // MAPI_E_COMPUTED
constexpr ULONG kLargeProperty = 16 * 1024; // larger values are read through OpenProperty
constexpr ULONG kPrSentMailEntryId = PROP_TAG(PT_BINARY, 0x0E0A);
constexpr ULONG kMsgFlagRead = 0x1;
constexpr ULONG kMsgFlagSubmit = 0x4;
constexpr ULONG kMsgFlagUnsent = 0x8;

// A string property value passed in, 8-bit (in the store's code page) or
// wide, as UTF-8.
bool TextValue(const SPropValue& v, std::string* out) {
    if (PROP_TYPE(v.ulPropTag) == PT_STRING8 && v.Value.lpszA) {
        *out = FromStoreBytes(v.Value.lpszA);
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
        *out = Str(PROP_TAG(PT_UNICODE, id), text);
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

// The bytes PR_HTML gives: the HTML in the message's code page.
std::string HtmlBytes(const MessageData& d) {
    return EncodeHtml(d.html, d.htmlCodePage);
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

// One property of a message as the store gives it (PT_ERROR when absent).
// Text is asked for as PT_UNICODE, as PT_STRING8 or with no type (8-bit).
ExtraProp MessageProp(const MessageData& d, ULONG tag) {
    const ULONG id = PROP_ID(tag), type = PROP_TYPE(tag);
    auto wants = [type](ULONG t) { return type == PT_UNSPECIFIED || type == t; };
    const bool wantsText = IsText(type) || type == PT_UNSPECIFIED;
    auto large = [](const std::string& bytes) { return bytes.size() >= kLargeProperty; };
    switch (id) {
    case PROP_ID(PR_SUBJECT):
        return d.hasSubject && wantsText ? AsType(Str(PR_SUBJECT_W, d.subject), type)
                                         : Missing(tag);
    case PROP_ID(PR_BODY):
        if (!d.hasBody || !wantsText)
            return Missing(tag);
        return large(d.body) ? Missing(tag, MAPI_E_NOT_ENOUGH_MEMORY)
                             : AsType(Str(PR_BODY_W, d.body), type);
    case PROP_ID(PR_HTML):
        if (d.html.empty() || !d.htmlPropertyAvailable || !(wants(PT_BINARY) || type == PT_STRING8))
            return Missing(tag);
        if (large(d.html))
            return Missing(tag, MAPI_E_NOT_ENOUGH_MEMORY);
        return Str(type == PT_STRING8 ? PR_BODY_HTML : PR_HTML, HtmlBytes(d));
    case PROP_ID(PR_INTERNET_CPID):
        return d.internetCodePageKnown && wants(PT_LONG)
                   ? Num(PR_INTERNET_CPID, static_cast<LONG>(d.htmlCodePage))
                   : Missing(tag);
    case PROP_ID(PR_MSG_EDITOR_FORMAT):
        return wants(PT_LONG) ? Num(PR_MSG_EDITOR_FORMAT, d.editorFormat) : Missing(tag);
    case PROP_ID(PR_ENTRYID):
        return wants(PT_BINARY) ? Str(PR_ENTRYID, EntryIdOf(d)) : Missing(tag);
    case PROP_ID(PR_STORE_ENTRYID):
        return wants(PT_BINARY) ? Str(PR_STORE_ENTRYID, MakeEntryId(kStoreEntry, 0)) : Missing(tag);
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
    if (it != d.extra.end() &&
        (wants(PROP_TYPE(it->second.tag)) || (IsText(PROP_TYPE(it->second.tag)) && wantsText)))
        return AsType(it->second, type);
    if (id == PROP_ID(PR_MESSAGE_CLASS) && wantsText)
        return AsType(Str(PR_MESSAGE_CLASS, d.mail ? "IPM.Note" : "IPM.Post"), type);
    return Missing(tag);
}

std::vector<ExtraProp> AllMessageProps(const MessageData& d) {
    std::vector<ULONG> tags = {PR_SUBJECT,           PR_BODY,          PR_HTML,    PR_INTERNET_CPID,
                               PR_MSG_EDITOR_FORMAT, PR_MESSAGE_CLASS, PR_ENTRYID, PR_MESSAGE_FLAGS,
                               kPrSentMailEntryId,   PR_STORE_ENTRYID};
    for (const auto& e : d.extra)
        if (e.first != PROP_ID(PR_MESSAGE_CLASS))
            tags.push_back(IsText(PROP_TYPE(e.second.tag)) ? PROP_TAG(PT_STRING8, e.first)
                                                           : e.second.tag);
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
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
    if (error)
        *error = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE MessageObject::SaveChanges(ULONG flags) {
    MapiCall call(*this, "SaveChanges", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    if (data_->folder == kNoFolder)
        world_->Place(data_, kDrafts);
    else if (data_->folder == kOutbox && !world_->PersistOutbox(*data_))
        return call.Done(MAPI_E_CALL_FAILED, "The store could not write the message.");
    world_->TellDraftSaved(*data_);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                                  LPSPropValue* values) {
    MapiCall call(*this, "GetProps", [&] { return tags ? TagListText(tags) : "all"; });
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
    MapiCall call(*this, "GetPropList", [&] { return FlagsText(flags); });
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
    MapiCall call(*this, "OpenProperty", [&] {
        return TagText(tag) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags);
    });
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
    // A PT_UNICODE stream holds UTF-16LE, without a terminating NUL; a
    // PT_STRING8 one the store's code page.
    if (id == PROP_ID(PR_BODY) && type == PT_STRING8 && d.hasBody) {
        bytes = StoreBytes(d.body);
    } else if (id == PROP_ID(PR_BODY) && type == PT_UNICODE && d.hasBody) {
        bytes = Utf16LeBytes(d.body);
    } else if (id == PROP_ID(PR_HTML) && (type == PT_BINARY || type == PT_STRING8) &&
               !d.html.empty() && d.htmlPropertyAvailable) {
        bytes = HtmlBytes(d);
    } else {
        ExtraProp p = MessageProp(d, tag);
        if ((!IsText(PROP_TYPE(p.tag)) && PROP_TYPE(p.tag) != PT_BINARY) ||
            id == PROP_ID(PR_BODY) || id == PROP_ID(PR_HTML))
            return call.Done(MAPI_E_NOT_FOUND);
        bytes = PROP_TYPE(p.tag) == PT_UNICODE ? Utf16LeBytes(p.bytes) : p.bytes;
    }
    *object = static_cast<IStream*>(new StreamObject(world_, bytes));
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::SetProps(ULONG count, LPSPropValue values,
                                                  LPSPropProblemArray* problems) {
    MapiCall call(*this, "SetProps", [&] {
        std::string args;
        for (ULONG i = 0; values && i < count; ++i)
            args += (i ? ", " : "") + HexCode(static_cast<HRESULT>(values[i].ulPropTag));
        return args;
    });
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
            // Bytes are in the message's code page (PR_INTERNET_CPID).
            if (type == PT_BINARY)
                d.html = DecodeBytes(std::string(reinterpret_cast<const char*>(v.Value.bin.lpb),
                                                 v.Value.bin.lpb ? v.Value.bin.cb : 0),
                                     d.htmlCodePage);
            else if (type == PT_STRING8 && v.Value.lpszA)
                d.html = DecodeBytes(v.Value.lpszA, d.htmlCodePage);
            else if (TextValue(v, &text))
                d.html = text;
            else
                problem = MAPI_E_INVALID_PARAMETER;
            break;
        case PROP_ID(PR_INTERNET_CPID):
            if (type != PT_LONG || v.Value.l <= 0) {
                problem = MAPI_E_INVALID_PARAMETER;
                break;
            }
            d.htmlCodePage = static_cast<UINT>(v.Value.l);
            d.internetCodePageKnown = true;
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
        case PROP_ID(PR_STORE_ENTRYID):
        case PROP_ID(PR_MESSAGE_FLAGS):
            problem = kComputed;
            break;
        case PROP_ID(PR_DEFERRED_DELIVERY_TIME):
            // [MS-OXPROPS] PidTagDeferredDeliveryTime is PtypTime, a UTC
            // FILETIME; IMAPIProp::SetProps (MAPI reference) reports a value
            // of another type in the problem array, MAPI_E_INVALID_TYPE.
            if (type != PT_SYSTIME) {
                problem = MAPI_E_INVALID_TYPE;
                break;
            }
            d.extra[id] = ExtraProp{
                v.ulPropTag, 0,
                std::string(reinterpret_cast<const char*>(&v.Value.ft), sizeof v.Value.ft)};
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
    MapiCall call(*this, "GetIDsFromNames", [&] { return args + ", " + FlagsText(flags); });
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

HRESULT STDMETHODCALLTYPE MessageObject::GetRecipientTable(ULONG flags, LPMAPITABLE* table) {
    MapiCall call(*this, "GetRecipientTable", [&] { return FlagsText(flags); });
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
                        Str(PR_DISPLAY_NAME_W, p.displayName.empty() ? p.address : p.displayName),
                        Str(PR_EMAIL_ADDRESS_W, p.address), Str(PR_ADDRTYPE_W, p.addressType),
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
    MapiCall call(*this, "ModifyRecipients", [&] {
        std::string args = FlagsText(flags);
        if (mods)
            for (ULONG e = 0; e < mods->cEntries; ++e)
                for (ULONG k = 0; k < mods->aEntries[e].cValues && mods->aEntries[e].rgPropVals;
                     ++k)
                    if (std::string text; PROP_ID(mods->aEntries[e].rgPropVals[k].ulPropTag) ==
                                              PROP_ID(PR_EMAIL_ADDRESS) &&
                                          TextValue(mods->aEntries[e].rgPropVals[k], &text))
                        args += ", " + Quoted(text);
        return args;
    });
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
    MapiCall call(*this, "SubmitMessage", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (flags & ~FORCE_SUBMIT)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (world_->config.submitMilliseconds)
        Sleep(world_->config.submitMilliseconds);
    return call.Done(world_->Submit(data_));
}

HRESULT STDMETHODCALLTYPE MessageObject::SetReadFlag(ULONG flags) {
    MapiCall call(*this, "SetReadFlag", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    return call.Done(S_OK);
}

} // namespace sim
