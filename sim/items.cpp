// Items of the object model: a message's subject, bodies, To line and
// sent-items folder, its inspector and store message, and saving, copying,
// moving, closing and deleting it.
#include "model_internal.h"
#include "store_internal.h"

#include <algorithm>

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

HRESULT ItemObject::Dispatch(size_t index, Call& call) {
    World* w = world_;
    MessageData& d = *data_;
    if (call.IsPut()) {
        switch (index) {
        case kItemSubject: {
            std::string text;
            if (HRESULT hr = call.ValueString(&text); FAILED(hr))
                return hr;
            d.subject = text;
            d.hasSubject = true;
            return S_OK;
        }
        case kItemBody: {
            std::string text;
            if (HRESULT hr = call.ValueString(&text); FAILED(hr))
                return hr;
            d.body = text;
            d.hasBody = true;
            // An HTML message shows the new text as its HTML too.
            if (d.editorFormat == olFormatHTML)
                d.html = HtmlFromText(text);
            return S_OK;
        }
        case kItemHtmlBody: {
            std::string html;
            if (HRESULT hr = call.ValueString(&html); FAILED(hr))
                return hr;
            d.html = html;
            d.editorFormat = olFormatHTML;
            d.body = TextFromHtml(html);
            d.hasBody = true;
            return S_OK;
        }
        case kItemBodyFormat: {
            LONG format;
            if (HRESULT hr = call.ValueLong(&format); FAILED(hr))
                return hr;
            if (format < olFormatPlain || format > olFormatRichText)
                return call.Raise(E_INVALIDARG, "The body format is not valid.");
            if (format == olFormatPlain)
                d.html.clear();
            else if (format == olFormatHTML && d.html.empty())
                d.html = HtmlFromText(d.body);
            d.editorFormat = format;
            return S_OK;
        }
        case kItemSaveSentMessageFolder: {
            IUnknown* object;
            if (HRESULT hr = call.ValueObject(&object); FAILED(hr))
                return hr;
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
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    switch (index) {
    case kItemApplication:
        return call.ReturnObject(w->app.Get());
    case kItemClass:
        return call.ReturnLong(d.mail ? olMail : olPost);
    case kItemParent:
        return call.ReturnObject(d.folder == kNoFolder ? nullptr : w->folders[d.folder].Get());
    case kItemSent:
        return call.ReturnBool(d.sent);
    case kItemGetInspector: {
        Ptr<InspectorObject> inspector = w->InspectorFor(data_);
        return call.ReturnObject(inspector.Get());
    }
    case kItemMapiObject: {
        if (d.nullMapiObject)
            return call.ReturnUnknown(nullptr);
        Ptr<MessageObject> message = w->MessageFor(data_);
        return call.ReturnUnknown(static_cast<IMessage*>(message.Get()));
    }
    case kItemSave:
        if (d.folder == kNoFolder)
            w->Place(data_, kDrafts);
        else if (d.folder == kOutbox && !w->PersistOutbox(d))
            return call.Raise(E_FAIL, "The item could not be saved.");
        return S_OK;
    case kItemCopy: {
        MessageRef copy = w->CopyMessage(d, d.folder == kNoFolder ? kDrafts : d.folder);
        Ptr<ItemObject> item = w->ItemFor(copy);
        return call.ReturnObject(item.Get());
    }
    case kItemMove: {
        IUnknown* object;
        if (HRESULT hr = call.ArgObject(0, &object); FAILED(hr))
            return hr;
        FolderObject* folder = object ? AsFolder(w, object) : nullptr;
        if (!folder)
            return call.Raise(E_INVALIDARG, "The destination is not a folder.");
        MessageRef moved = w->Move(data_, folder->Id());
        Ptr<ItemObject> item = w->ItemFor(moved);
        return call.ReturnObject(item.Get());
    }
    case kItemClose:
        return CloseByCall(w, this, data_, call);
    case kItemDelete: {
        Ptr<ItemObject> keep(this);
        MessageRef data = data_;
        w->CloseItem(data, olDiscard, false);
        // Deleted from the Outbox, a message is no longer sent.
        if (data->folder == kOutbox) {
            w->queue.erase(std::remove(w->queue.begin(), w->queue.end(), data), w->queue.end());
            data->submitted = false;
            data->wasSubmitted = false;
        }
        if (data->folder == kNoFolder || data->folder == kDeletedItems)
            w->Remove(data);
        else
            w->Move(data, kDeletedItems);
        return S_OK;
    }
    case kItemSubject:
        return call.ReturnString(d.subject);
    case kItemBody:
        return call.ReturnString(BodyOf(d));
    case kItemHtmlBody:
        if (d.nullHtmlBody)
            return call.ReturnNull();
        return call.ReturnString(!d.html.empty() ? d.html
                                 : d.hasBody     ? HtmlFromText(d.body)
                                                 : std::string());
    case kItemBodyFormat:
        return call.ReturnLong(d.editorFormat);
    case kItemSaveSentMessageFolder:
        return call.ReturnObject(d.sentFolder == kNoFolder ? nullptr
                                                           : w->folders[d.sentFolder].Get());
    case kItemEntryId:
        return call.ReturnString(d.folder == kNoFolder ? std::string() : HexBytes(EntryIdOf(d)));
    case kItemTo: {
        std::vector<Recipient> recipients;
        for (const RecipientRow& r : d.recipients)
            recipients.push_back(r.recipient);
        return call.ReturnString(ToLine(recipients));
    }
    case kItemSubmitted:
        // "MailItem.Submitted property (Outlook)": true once the item has
        // been submitted, and so for what it became in Sent Items too.
        return call.ReturnBool(d.submitted || d.wasSubmitted);
    case kItemRecipients: {
        std::vector<Recipient> recipients;
        for (const RecipientRow& r : d.recipients)
            recipients.push_back(r.recipient);
        Ptr<RecipientsObject> list =
            Ptr<RecipientsObject>::Adopt(new RecipientsObject(w, std::move(recipients)));
        return call.ReturnObject(list.Get());
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
