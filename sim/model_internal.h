// The object model: the application, the namespace, folders, the explorer
// and inspector windows with their collections, and items.
#pragma once

#include "bars_internal.h"
#include "dispatch_internal.h"
#include "world_internal.h"

#include <string>

namespace sim {

// ---- Object model classes --------------------------------------------------------------------
class AppObject final : public DispatchObject {
public:
    explicit AppObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class NamespaceObject final : public DispatchObject {
public:
    explicit NamespaceObject(World* world);

protected:
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;
};

class FolderObject final : public DispatchObject {
public:
    FolderObject(World* world, FolderId id);
    FolderId Id() const { return id_; }

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    FolderId id_;
};
FolderObject* AsFolder(World* world, IUnknown* object);

// Close(SaveMode) of an inspector or of its item: the window closes as the
// user would close it (Close fires, and a sink may cancel).
HRESULT CloseByCall(World* world, IDispatch* self, const MessageRef& data, Call& call);

class BarsObject;

// A window of the client, the explorer or an inspector: its command bars, and
// an IOleWindow that gives its handle (the desktop when it has none of its
// own) unless the window is unusable.
class WindowObject : public DispatchObject, public IOleWindow {
public:
    WindowObject(World* world, const char* className, MemberTable members, const IID& iid,
                 WindowKind kind);
    SIM_IUNKNOWN(IDispatch)
    void* Find(REFIID iid) override;
    bool Owns(const void* p) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    BarsObject* Bars() { return bars_.Get(); }
    // The window is gone: its bars and their controls are deleted.
    virtual void Teardown();

protected:
    // The window a test chose for it; null: none of its own.
    virtual HWND Handle() const = 0;
    Ptr<BarsObject> bars_;
};

class ExplorerObject final : public WindowObject {
public:
    explicit ExplorerObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
    HWND Handle() const override;
};

class InspectorsObject final : public DispatchObject {
public:
    explicit InspectorsObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

// The explorer windows (none or the one), with ExplorersEvents.
class ExplorersObject final : public DispatchObject {
public:
    explicit ExplorersObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class InspectorObject final : public WindowObject {
public:
    InspectorObject(World* world, const MessageRef& data);
    ~InspectorObject() override;

    const MessageRef& Data() const { return data_; }
    bool shown = false;
    bool closed = false;
    Ptr<ItemObject> heldItem; // the item of a window on screen
    // The window is gone: its bars are deleted and it lets go of its item.
    void Teardown() override;

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;
    HWND Handle() const override;

private:
    MessageRef data_;
};

class ItemObject final : public DispatchObject {
public:
    ItemObject(World* world, const MessageRef& data);
    ~ItemObject() override;
    const MessageRef& Data() const { return data_; }
    void* Find(REFIID iid) override;

protected:
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;

private:
    MessageRef data_;
};

// ---- Folder contents and recipients (folder_items.cpp) --------------------------------------

// A condition of Items.Find: [Subject] or [To] equal to a text.
struct FindCondition {
    enum Field { Subject, To } field;
    std::string value;
};

// MAPIFolder.Items: the folder's items as they are at each call (the light
// Sent Items records first, then the saved messages in saving order), with
// Find and FindNext.
class ItemsObject final : public DispatchObject {
public:
    ItemsObject(World* world, FolderId id);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    // The first item from position `from` (0-based) meeting the conditions:
    // its position, or the count when none does.
    size_t FindFrom(size_t from);
    Ptr<IDispatch> ItemAt(size_t position);
    size_t Count() const;
    FolderId id_;
    std::vector<FindCondition> conditions_;
    size_t found_ = 0;
    bool finding_ = false;
};

// MailItem.Recipients, as it was when asked for: Count and Item.
class RecipientsObject final : public DispatchObject {
public:
    RecipientsObject(World* world, std::vector<Recipient> recipients);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    std::vector<Recipient> recipients_;
};

class RecipientObject final : public DispatchObject {
public:
    RecipientObject(World* world, Recipient recipient);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    Recipient recipient_;
};

// ---- The profile's accounts (accounts.cpp) ----------------------------------------------------

// Namespace.Accounts and MailItem.SendUsingAccount, from version 12 on.
class AccountsObject final : public DispatchObject {
public:
    explicit AccountsObject(World* world);

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class AccountObject final : public DispatchObject {
public:
    AccountObject(World* world, size_t index); // of the profile's accounts

protected:
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    size_t account_;
};

// How many accounts the profile has: the sending one and the others.
size_t AccountCount(const World* world);
// The account of that index (0 the first) as the call's result; Nothing
// for an index no account has.
HRESULT ReturnAccount(World* world, int index, Call& call);

// A Sent Items item the persistent store kept only the record of: what the
// record holds answers, the rest is not there.
// The members of _MailItem the simulated items answer, in one order for
// every kind of item: a member's DISPID (its index + 1) is the interface's,
// the same on every item, as the client's type library fixes it; a client
// that looks a DISPID up on one item and calls it on another relies on that.
enum ItemMember {
    kItemApplication,
    kItemClass,
    kItemParent,
    kItemSent,
    kItemGetInspector,
    kItemMapiObject,
    kItemSave,
    kItemCopy,
    kItemMove,
    kItemClose,
    kItemDelete,
    kItemSubject,
    kItemBody,
    kItemHtmlBody,
    kItemBodyFormat,
    kItemSaveSentMessageFolder,
    kItemEntryId,
    kItemTo,
    kItemSubmitted,
    kItemRecipients,
    kItemSendUsingAccount,
    kItemMemberCount
};
extern const Member kItemMembers[kItemMemberCount];

class SentItemObject final : public DispatchObject {
public:
    SentItemObject(World* world, const SentRecord& record);

protected:
    // Of _MailItem, an item read back from disk answers only the members
    // a search needs.
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;

private:
    SentRecord record_;
};

// The To line of the object model: the display names of the To
// recipients (the address when there is none), separated by "; ".
std::string ToLine(const std::vector<Recipient>& recipients);

} // namespace sim
