// Items of the object model: a message's subject, bodies, To line and
// sent-items folder, its inspector and store message, and saving, copying,
// moving, closing and deleting it.
#include "model_internal.h"
#include "store_internal.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

const char* const kMoved = "The item has been moved or deleted.";

} // namespace

// ---- Items --------------------------------------------------------------------------------------

const Member kItemMembers[kItemMemberCount] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Parent", Access::Get, 0, 0},
    {"Sent", Access::Get, 0, 0},
    {"GetInspector", Access::Get, 0, 0},
    {"MAPIOBJECT", Access::Get, 0, 0},
    {"Save", Access::Method, 0, 0},
    {"Copy", Access::Method, 0, 0},
    {"Move", Access::Method, 1, 1},
    {"Close", Access::Method, 1, 1},
    {"Delete", Access::Method, 0, 0},
    {"Subject", Access::GetPut, 0, 0},
    {"Body", Access::GetPut, 0, 0},
    {"HTMLBody", Access::GetPut, 0, 0},
    {"BodyFormat", Access::GetPut, 0, 0},
    {"SaveSentMessageFolder", Access::GetPut, 0, 0, true, true},
    {"EntryID", Access::Get, 0, 0},
    {"To", Access::Get, 0, 0},
    {"Submitted", Access::Get, 0, 0},
    {"Recipients", Access::Get, 0, 0},
    {"SendUsingAccount", Access::Get, 0, 0},
};

ItemObject::ItemObject(World* world, const MessageRef& data)
    : DispatchObject(world, "MailItem", kItemMembers, {}, &IID_ItemEvents), data_(data) {
    data_->item = this;
}

ItemObject::~ItemObject() {
    if (data_->item == this)
        data_->item = nullptr;
}

void* ItemObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID__MailItem))
        return data_->mail ? static_cast<IDispatch*>(this) : nullptr;
    return DispatchObject::Find(iid);
}

HRESULT ItemObject::Unusable(std::string* description) const {
    if (!data_->gone)
        return S_OK;
    *description = kMoved;
    return kObjectDeleted;
}

// ---- What each member does ------------------------------------------------------------------

namespace {

// A member of an item read or called (`get`), or set (`put`).
using ItemHandler = HRESULT (*)(ItemObject& item, World* w, Call& call);

struct ItemMemberHandlers {
    ItemHandler get = nullptr;
    ItemHandler put = nullptr; // null: the member cannot be set
};

std::vector<Recipient> RecipientsOf(const MessageData& d) {
    std::vector<Recipient> recipients;
    for (const RecipientRow& r : d.recipients)
        recipients.push_back(r.recipient);
    return recipients;
}

HRESULT GetApplication(ItemObject&, World* w, Call& call) {
    return call.ReturnObject(w->app.Get());
}

HRESULT GetClass(ItemObject& item, World*, Call& call) {
    return call.ReturnLong(item.Data()->mail ? olMail : olPost);
}

HRESULT GetParent(ItemObject& item, World* w, Call& call) {
    const MessageData& d = *item.Data();
    return call.ReturnObject(d.folder == kNoFolder ? nullptr : w->folders[d.folder].Get());
}

HRESULT GetSent(ItemObject& item, World*, Call& call) {
    return call.ReturnBool(item.Data()->sent);
}

HRESULT GetInspector(ItemObject& item, World* w, Call& call) {
    Ptr<InspectorObject> inspector = w->InspectorFor(item.Data());
    return call.ReturnObject(inspector.Get());
}

HRESULT GetMapiObject(ItemObject& item, World* w, Call& call) {
    if (item.Data()->nullMapiObject)
        return call.ReturnUnknown(nullptr);
    Ptr<MessageObject> message = w->MessageFor(item.Data());
    return call.ReturnUnknown(static_cast<IMessage*>(message.Get()));
}

HRESULT Save(ItemObject& item, World* w, Call& call) {
    MessageData& d = *item.Data();
    if (d.folder == kNoFolder)
        w->Place(item.Data(), kDrafts);
    else if (d.folder == kOutbox && !w->PersistOutbox(d))
        return call.Raise(E_FAIL, "The item could not be saved.");
    w->TellDraftSaved(d);
    return S_OK;
}

HRESULT Copy(ItemObject& item, World* w, Call& call) {
    const MessageData& d = *item.Data();
    MessageRef copy = w->CopyMessage(d, d.folder == kNoFolder ? kDrafts : d.folder);
    Ptr<ItemObject> made = w->ItemFor(copy);
    return call.ReturnObject(made.Get());
}

HRESULT Move(ItemObject& item, World* w, Call& call) {
    IUnknown* object;
    if (HRESULT hr = call.ArgObject(0, &object); FAILED(hr))
        return hr;
    FolderObject* folder = object ? AsFolder(w, object) : nullptr;
    if (!folder)
        return call.Raise(E_INVALIDARG, "The destination is not a folder.");
    MessageRef moved = w->Move(item.Data(), folder->Id());
    Ptr<ItemObject> made = w->ItemFor(moved);
    return call.ReturnObject(made.Get());
}

HRESULT Close(ItemObject& item, World* w, Call& call) {
    return CloseByCall(w, &item, item.Data(), call);
}

HRESULT Delete(ItemObject& item, World* w, Call& call) {
    Ptr<ItemObject> keep(&item);
    MessageRef data = item.Data();
    // The store under the item refuses to delete a message still in the
    // outgoing queue: "messages ... that are currently submitted cannot be
    // deleted" (MAPI reference, "IMAPIFolder::DeleteMessages"), and "after a
    // message is submitted, aborting the submission by calling AbortSubmit
    // is the only action that can be performed on the message" (MAPI
    // reference, "IMsgStore::AbortSubmit"). A caller takes it out of the
    // queue first.
    if (data->submitted)
        return call.Raise(MAPI_E_SUBMITTED, "The message has been submitted and cannot be "
                                            "deleted until its sending is cancelled.");
    w->CloseItem(data, olDiscard, false);
    if (data->folder == kOutbox)
        data->wasSubmitted = false;
    if (data->folder == kNoFolder || data->folder == kDeletedItems)
        w->Remove(data);
    else
        w->Move(data, kDeletedItems);
    return S_OK;
}

HRESULT GetSubject(ItemObject& item, World*, Call& call) {
    return call.ReturnString(item.Data()->subject);
}

HRESULT PutSubject(ItemObject& item, World*, Call& call) {
    std::string text;
    if (HRESULT hr = call.ValueString(&text); FAILED(hr))
        return hr;
    MessageData& d = *item.Data();
    d.subject = text;
    d.hasSubject = true;
    return S_OK;
}

HRESULT GetBody(ItemObject& item, World*, Call& call) {
    return call.ReturnString(BodyOf(*item.Data()));
}

HRESULT PutBody(ItemObject& item, World*, Call& call) {
    std::string text;
    if (HRESULT hr = call.ValueString(&text); FAILED(hr))
        return hr;
    MessageData& d = *item.Data();
    d.body = text;
    d.hasBody = true;
    // An HTML message shows the new text as its HTML too.
    if (d.editorFormat == olFormatHTML)
        d.html = HtmlFromText(text);
    return S_OK;
}

HRESULT GetHtmlBody(ItemObject& item, World*, Call& call) {
    const MessageData& d = *item.Data();
    if (d.nullHtmlBody)
        return call.ReturnNull();
    return call.ReturnString(!d.html.empty() ? d.html
                             : d.hasBody     ? HtmlFromText(d.body)
                                             : std::string());
}

HRESULT PutHtmlBody(ItemObject& item, World*, Call& call) {
    std::string html;
    if (HRESULT hr = call.ValueString(&html); FAILED(hr))
        return hr;
    MessageData& d = *item.Data();
    d.html = html;
    d.editorFormat = olFormatHTML;
    d.body = TextFromHtml(html);
    d.hasBody = true;
    return S_OK;
}

HRESULT GetBodyFormat(ItemObject& item, World*, Call& call) {
    return call.ReturnLong(item.Data()->editorFormat);
}

HRESULT PutBodyFormat(ItemObject& item, World*, Call& call) {
    LONG format;
    if (HRESULT hr = call.ValueLong(&format); FAILED(hr))
        return hr;
    if (format < olFormatPlain || format > olFormatRichText)
        return call.Raise(E_INVALIDARG, "The body format is not valid.");
    MessageData& d = *item.Data();
    if (format == olFormatPlain)
        d.html.clear();
    else if (format == olFormatHTML && d.html.empty())
        d.html = HtmlFromText(d.body);
    d.editorFormat = format;
    return S_OK;
}

HRESULT GetSaveSentMessageFolder(ItemObject& item, World* w, Call& call) {
    const MessageData& d = *item.Data();
    return call.ReturnObject(d.sentFolder == kNoFolder ? nullptr : w->folders[d.sentFolder].Get());
}

HRESULT PutSaveSentMessageFolder(ItemObject& item, World* w, Call& call) {
    IUnknown* object;
    if (HRESULT hr = call.ValueObject(&object); FAILED(hr))
        return hr;
    MessageData& d = *item.Data();
    if (!object) {
        d.sentFolder = kNoFolder;
        return S_OK;
    }
    FolderObject* folder = AsFolder(w, object);
    if (!folder)
        return DISP_E_TYPEMISMATCH;
    d.sentFolder = folder->Id();
    return S_OK;
}

HRESULT GetEntryId(ItemObject& item, World*, Call& call) {
    const MessageData& d = *item.Data();
    return call.ReturnString(d.folder == kNoFolder ? std::string() : HexBytes(EntryIdOf(d)));
}

HRESULT GetTo(ItemObject& item, World*, Call& call) {
    return call.ReturnString(ToLine(RecipientsOf(*item.Data())));
}

HRESULT GetSubmitted(ItemObject& item, World*, Call& call) {
    // "MailItem.Submitted property (Outlook)": true once the item has
    // been submitted, and so for what it became in Sent Items too.
    const MessageData& d = *item.Data();
    return call.ReturnBool(d.submitted || d.wasSubmitted);
}

HRESULT GetRecipients(ItemObject& item, World* w, Call& call) {
    Ptr<RecipientsObject> list =
        Ptr<RecipientsObject>::Adopt(new RecipientsObject(w, RecipientsOf(*item.Data())));
    return call.ReturnObject(list.Get());
}

HRESULT GetSendUsingAccount(ItemObject&, World* w, Call& call) {
    return ReturnAccount(w, w->config.sendUsingAccount, call);
}

// By member, so that the table keeps the order of ItemMember whatever the
// order of the lines here.
constexpr std::array<ItemMemberHandlers, kItemMemberCount> MakeItemHandlers() {
    std::array<ItemMemberHandlers, kItemMemberCount> h{};
    h[kItemApplication] = {GetApplication};
    h[kItemClass] = {GetClass};
    h[kItemParent] = {GetParent};
    h[kItemSent] = {GetSent};
    h[kItemGetInspector] = {GetInspector};
    h[kItemMapiObject] = {GetMapiObject};
    h[kItemSave] = {Save};
    h[kItemCopy] = {Copy};
    h[kItemMove] = {Move};
    h[kItemClose] = {Close};
    h[kItemDelete] = {Delete};
    h[kItemSubject] = {GetSubject, PutSubject};
    h[kItemBody] = {GetBody, PutBody};
    h[kItemHtmlBody] = {GetHtmlBody, PutHtmlBody};
    h[kItemBodyFormat] = {GetBodyFormat, PutBodyFormat};
    h[kItemSaveSentMessageFolder] = {GetSaveSentMessageFolder, PutSaveSentMessageFolder};
    h[kItemEntryId] = {GetEntryId};
    h[kItemTo] = {GetTo};
    h[kItemSubmitted] = {GetSubmitted};
    h[kItemRecipients] = {GetRecipients};
    h[kItemSendUsingAccount] = {GetSendUsingAccount};
    return h;
}

constexpr std::array<ItemMemberHandlers, kItemMemberCount> kItemHandlers = MakeItemHandlers();

constexpr bool EveryMemberAnswers() {
    for (const ItemMemberHandlers& h : kItemHandlers)
        if (!h.get)
            return false;
    return true;
}
static_assert(EveryMemberAnswers(), "a member of ItemMember has no handler");

} // namespace

bool ItemObject::HasMember(size_t index) const {
    // "MailItem.SendUsingAccount property (Outlook)": added in Outlook 2007.
    return index != kItemSendUsingAccount || (world_ && world_->version >= 12);
}

HRESULT ItemObject::Dispatch(size_t index, Call& call) {
    if (index >= kItemHandlers.size())
        return DISP_E_MEMBERNOTFOUND;
    const ItemHandler handler = call.IsPut() ? kItemHandlers[index].put : kItemHandlers[index].get;
    return handler ? handler(*this, world_, call) : DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
