// A folder's contents in the object model: MAPIFolder.Items with Find and
// FindNext, an item's Recipients, and the light Sent Items items of the
// persistent store.
#include "model_internal.h"
#include "store_internal.h"

namespace sim {

namespace {

constexpr LONG olItems = 16;
constexpr LONG olRecipients = 17;
constexpr LONG olRecipient = 4;

// The type library's interfaces of these objects (no SDK header has them).
constexpr IID kIidItems = outlook_detail::OfficeIid(0x00063041);
constexpr IID kIidRecipients = outlook_detail::OfficeIid(0x0006303B);
constexpr IID kIidRecipient = outlook_detail::OfficeIid(0x00063045);

// Jet compares strings without regard to case ("Filtering Items Using a
// String Comparison", learn.microsoft.com), for letters beyond ASCII too:
// Latin-1, Latin Extended-A, Greek and Cyrillic capitals fold here.
std::wstring Folded(const std::string& utf8) {
    std::wstring wide;
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return wide;
    std::vector<WCHAR> buffer(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), buffer.data(), n);
    for (WCHAR c : buffer) {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
            c = static_cast<WCHAR>(c + 32);
        else if (c >= 0x400 && c <= 0x40F)
            c = static_cast<WCHAR>(c + 80);
        else if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 &&
                 ((c < 0x139 || c > 0x148) && (c < 0x179 || c > 0x17E) ? c % 2 == 0 : c % 2 == 1))
            c = static_cast<WCHAR>(c + 1);
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

bool SameFolded(const std::string& a, const std::string& b) {
    return a.size() == b.size() ? SameText(a, b) || Folded(a) == Folded(b) : Folded(a) == Folded(b);
}

// Properties the Find method raises an error for, as "Items.Find method
// (Outlook)" lists them (learn.microsoft.com): body, computed, binary and
// multi-valued properties.
const char* const kNotInFilter[] = {
    "Body",
    "Categories",
    "Children",
    "Class",
    "Companies",
    "CompanyLastFirstNoSpace",
    "CompanyLastFirstSpaceOnly",
    "ContactNames",
    "Contacts",
    "ConversationIndex",
    "DLName",
    "Email1EntryID",
    "Email2EntryID",
    "Email3EntryID",
    "EntryID",
    "HTMLBody",
    "IsOnlineMeeting",
    "LastFirstAndSuffix",
    "LastFirstNoSpace",
    "AutoResolvedWinner",
    "BodyFormat",
    "InternetCodePage",
    "Permission",
    "LastFirstNoSpaceCompany",
    "LastFirstSpaceOnly",
    "LastFirstSpaceOnlyCompany",
    "LastFirstNoSpaceAndSuffix",
    "MemberCount",
    "NetMeetingAlias",
    "NetMeetingAutoStart",
    "NetMeetingOrganizerAlias",
    "NetMeetingServer",
    "NetMeetingType",
    "RecurrenceState",
    "ReplyRecipients",
    "ReceivedByEntryID",
    "ReceivedOnBehalfOfEntryID",
    "ResponseState",
    "Saved",
    "Sent",
    "Submitted",
    "VotingOptions",
    "DownloadState",
    "IsConflict",
    "MeetingWorkspaceURL",
};

// A Jet filter of Items.Find ("Items.Find method (Outlook)", "Filtering
// Items Using a String Comparison"): "[Property] = 'text'" or with the text
// in double quotes, a quote inside it doubled, two such conditions joined
// by And. Of the properties only Subject and To are known here; the others
// are refused rather than answered wrongly. Empty `error`: parsed.
std::vector<FindCondition> ParseFilter(const std::string& filter, std::string* error,
                                       HRESULT* scode) {
    std::vector<FindCondition> out;
    size_t i = 0;
    auto blanks = [&] {
        while (i < filter.size() && (filter[i] == ' ' || filter[i] == '\t'))
            ++i;
    };
    auto fail = [&](size_t at) {
        *error = "Cannot parse condition. Error at \"" + filter.substr(at) + "\".";
        *scode = E_INVALIDARG;
        out.clear();
        return out;
    };
    for (;;) {
        blanks();
        if (i >= filter.size() || filter[i] != '[')
            return fail(i);
        const size_t close = filter.find(']', i + 1);
        if (close == std::string::npos)
            return fail(i);
        const std::string name = filter.substr(i + 1, close - i - 1);
        FindCondition condition{FindCondition::Subject, std::string()};
        if (SameText(name, "Subject")) {
            condition.field = FindCondition::Subject;
        } else if (SameText(name, "To")) {
            condition.field = FindCondition::To;
        } else {
            for (const char* refused : kNotInFilter) {
                if (SameText(name, refused)) {
                    *error = "The property \"" + name + "\" cannot be used in a filter.";
                    *scode = E_INVALIDARG;
                    out.clear();
                    return out;
                }
            }
            *error = "The property \"" + name + "\" is unknown.";
            *scode = E_INVALIDARG;
            out.clear();
            return out;
        }
        i = close + 1;
        blanks();
        if (i >= filter.size() || filter[i] != '=')
            return fail(i);
        ++i;
        blanks();
        if (i >= filter.size() || (filter[i] != '\'' && filter[i] != '"'))
            return fail(i);
        const char quote = filter[i];
        const size_t start = i++;
        for (;;) {
            if (i >= filter.size())
                return fail(start);
            if (filter[i] == quote) {
                if (i + 1 < filter.size() && filter[i + 1] == quote) {
                    condition.value += quote;
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            condition.value += filter[i++];
        }
        out.push_back(std::move(condition));
        blanks();
        if (i == filter.size())
            return out;
        if (out.size() == 2 || filter.size() - i < 4 || !SameText(filter.substr(i, 3), "And") ||
            (filter[i + 3] != ' ' && filter[i + 3] != '\t'))
            return fail(i);
        i += 3;
    }
}

bool Meets(const std::vector<FindCondition>& conditions, const std::string& subject,
           const std::vector<Recipient>& recipients) {
    for (const FindCondition& c : conditions) {
        const std::string& have = c.field == FindCondition::Subject ? subject : ToLine(recipients);
        if (!SameFolded(have, c.value))
            return false;
    }
    return true;
}

std::vector<Recipient> RecipientsOf(const MessageData& d) {
    std::vector<Recipient> out;
    for (const RecipientRow& r : d.recipients)
        out.push_back(r.recipient);
    return out;
}

} // namespace

std::string ToLine(const std::vector<Recipient>& recipients) {
    std::string to;
    for (const Recipient& r : recipients) {
        if (r.type != MAPI_TO)
            continue;
        if (!to.empty())
            to += "; ";
        to += r.displayName.empty() ? r.address : r.displayName;
    }
    return to;
}

// ---- Items ---------------------------------------------------------------------------------

namespace {
enum ItemsMember {
    kItemsApplication,
    kItemsClass,
    kItemsCount,
    kItemsItem,
    kItemsFind,
    kItemsFindNext
};
const Member kItemsMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"Count", Access::Get, 0, 0},       {"Item", Access::Method, 1, 1},
    {"Find", Access::Method, 1, 1},     {"FindNext", Access::Method, 0, 0},
};
} // namespace

ItemsObject::ItemsObject(World* world, FolderId id)
    : DispatchObject(world, "Items", kItemsMembers, {kIidItems}), id_(id) {}

size_t ItemsObject::Count() const {
    size_t n = id_ == kSentItems ? world_->sentRecords.size() : 0;
    for (const MessageRef& m : world_->store)
        if (m->folder == id_)
            ++n;
    return n;
}

Ptr<IDispatch> ItemsObject::ItemAt(size_t position) {
    World* w = world_;
    const size_t records = id_ == kSentItems ? w->sentRecords.size() : 0;
    if (position < records)
        return Ptr<IDispatch>::Adopt(new SentItemObject(w, w->sentRecords[position]));
    size_t n = records;
    for (const MessageRef& m : w->store) {
        if (m->folder != id_)
            continue;
        if (n++ == position) {
            Ptr<ItemObject> item = w->ItemFor(m);
            return Ptr<IDispatch>(static_cast<IDispatch*>(item.Get()));
        }
    }
    return Ptr<IDispatch>();
}

size_t ItemsObject::FindFrom(size_t from) {
    World* w = world_;
    const size_t records = id_ == kSentItems ? w->sentRecords.size() : 0;
    for (size_t i = from; i < records; ++i) {
        const SentRecord& r = w->sentRecords[i];
        if (Meets(conditions_, r.Subject(), r.Recipients()))
            return i;
    }
    size_t n = records;
    for (const MessageRef& m : w->store) {
        if (m->folder != id_)
            continue;
        if (n >= from && Meets(conditions_, m->subject, RecipientsOf(*m)))
            return n;
        ++n;
    }
    return n;
}

HRESULT ItemsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kItemsApplication:
        return call.ReturnObject(world_->app.Get());
    case kItemsClass:
        return call.ReturnLong(olItems);
    case kItemsCount:
        return call.ReturnLong(static_cast<LONG>(Count()));
    case kItemsItem: {
        LONG n;
        if (HRESULT hr = call.ArgLong(0, &n); FAILED(hr))
            return hr;
        if (n < 1 || static_cast<size_t>(n) > Count())
            return E_INVALIDARG;
        return call.ReturnObject(ItemAt(static_cast<size_t>(n - 1)).Get());
    }
    case kItemsFind: {
        std::string filter, error;
        if (HRESULT hr = call.ArgString(0, &filter); FAILED(hr))
            return hr;
        HRESULT scode = S_OK;
        std::vector<FindCondition> conditions = ParseFilter(filter, &error, &scode);
        if (!error.empty())
            return call.Raise(scode, error);
        conditions_ = std::move(conditions);
        finding_ = true;
        found_ = FindFrom(0);
        return call.ReturnObject(ItemAt(found_).Get());
    }
    case kItemsFindNext:
        // "Items.FindNext method (Outlook)": after Find; Nothing at the end.
        if (!finding_)
            return call.ReturnObject(nullptr);
        found_ = FindFrom(found_ + 1);
        return call.ReturnObject(ItemAt(found_).Get());
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Recipients ----------------------------------------------------------------------------

namespace {
enum RecipientsMember { kRecsApplication, kRecsClass, kRecsCount, kRecsItem };
const Member kRecipientsMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Method, 1, 1},
};
enum RecipientMember { kRecApplication, kRecClass, kRecAddress, kRecName, kRecType };
const Member kRecipientMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"Address", Access::Get, 0, 0},     {"Name", Access::Get, 0, 0},
    {"Type", Access::Get, 0, 0},
};
} // namespace

RecipientsObject::RecipientsObject(World* world, std::vector<Recipient> recipients)
    : DispatchObject(world, "Recipients", kRecipientsMembers, {kIidRecipients}),
      recipients_(std::move(recipients)) {}

HRESULT RecipientsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kRecsApplication:
        return call.ReturnObject(world_->app.Get());
    case kRecsClass:
        return call.ReturnLong(olRecipients);
    case kRecsCount:
        return call.ReturnLong(static_cast<LONG>(recipients_.size()));
    case kRecsItem: {
        LONG n;
        if (HRESULT hr = call.ArgLong(0, &n); FAILED(hr))
            return hr;
        if (n < 1 || static_cast<size_t>(n) > recipients_.size())
            return E_INVALIDARG;
        Ptr<RecipientObject> r = Ptr<RecipientObject>::Adopt(
            new RecipientObject(world_, recipients_[static_cast<size_t>(n - 1)]));
        return call.ReturnObject(r.Get());
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

RecipientObject::RecipientObject(World* world, Recipient recipient)
    : DispatchObject(world, "Recipient", kRecipientMembers, {kIidRecipient}),
      recipient_(std::move(recipient)) {}

HRESULT RecipientObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kRecApplication:
        return call.ReturnObject(world_->app.Get());
    case kRecClass:
        return call.ReturnLong(olRecipient);
    case kRecAddress:
        return call.ReturnString(recipient_.address);
    case kRecName:
        return call.ReturnString(recipient_.displayName.empty() ? recipient_.address
                                                                : recipient_.displayName);
    case kRecType:
        // olTo, olCC, olBCC are MAPI_TO, MAPI_CC, MAPI_BCC.
        return call.ReturnLong(recipient_.type);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Light Sent Items items ------------------------------------------------------------------

SentItemObject::SentItemObject(World* world, const SentRecord& record)
    : DispatchObject(world, "MailItem", kItemMembers, {IID__MailItem}), record_(record) {}

bool SentItemObject::HasMember(size_t index) const {
    switch (index) {
    case kItemApplication:
    case kItemClass:
    case kItemParent:
    case kItemSent:
    case kItemSubmitted:
    case kItemSubject:
    case kItemTo:
    case kItemRecipients:
    case kItemEntryId:
        return true;
    default:
        return false;
    }
}

HRESULT SentItemObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kItemApplication:
        return call.ReturnObject(world_->app.Get());
    case kItemClass:
        return call.ReturnLong(olMail);
    case kItemParent:
        return call.ReturnObject(world_->folders[kSentItems].Get());
    case kItemSent:
    case kItemSubmitted:
        return call.ReturnBool(true);
    case kItemSubject:
        return call.ReturnString(record_.Subject());
    case kItemTo:
        return call.ReturnString(ToLine(record_.Recipients()));
    case kItemRecipients: {
        Ptr<RecipientsObject> list =
            Ptr<RecipientsObject>::Adopt(new RecipientsObject(world_, record_.Recipients()));
        return call.ReturnObject(list.Get());
    }
    case kItemEntryId:
        return call.ReturnString(HexBytes(MakeEntryId(kMessageEntry, record_.number)));
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
