// The session: its status table, the spooler's status object (FlushQueues),
// opening entries, and the address book (its one-off entry IDs are
// store_one_off.cpp's).
#include "store_internal.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr ULONG kMapiMessage = 5;
constexpr ULONG kMapiSubsystem = 39;
constexpr ULONG kMapiStoreProvider = 33;
constexpr ULONG kMapiTransportProvider = 36;
constexpr ULONG kStatusAvailable = 1;

constexpr ULONG kFlushNoUi = 0x10;
constexpr ULONG kFlushAsyncOk = 0x40;

// OpenMsgStore's flags (mapidefs.h).
constexpr ULONG kMdbNoDialog = 0x1;
constexpr ULONG kMdbWrite = 0x4;
constexpr ULONG kMdbTemporary = 0x20;
constexpr ULONG kMdbNoMail = 0x80;

} // namespace

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
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE StatusObject::SaveChanges(ULONG) {
    return FixedAnswer(*this, "SaveChanges", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StatusObject::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                                 LPSPropValue* values) {
    MapiCall call(*this, "GetProps", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    std::vector<ExtraProp> all = SpoolerProps(EntryId());
    return call.Done(GetPropsFrom(all, tags, flags, count, values,
                                  [all](ULONG tag) { return ColumnValue(all, tag); }));
}

HRESULT STDMETHODCALLTYPE StatusObject::GetPropList(ULONG flags, LPSPropTagArray* tags) {
    MapiCall call(*this, "GetPropList", [&] { return FlagsText(flags); });
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
    MapiCall call(*this, "FlushQueues", [&] {
        return "window " + std::to_string(static_cast<unsigned long long>(uiParam)) +
               ", transport bytes " + std::to_string(targetTransportSize) + ", " + FlagsText(flags);
    });
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
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
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
            return FromStoreBytes(static_cast<const char*>(p));
        const OLECHAR* w = static_cast<const OLECHAR*>(p);
        return Narrow(w, std::char_traits<OLECHAR>::length(w));
    };
    OneOffEntry entry;
    entry.displayName = text(name);
    entry.addressType = text(addressType);
    entry.address = text(address);
    entry.unicode = unicode;
    entry.noRichInfo = (flags & MAPI_SEND_NO_RICH_INFO) != 0;
    MapiCall call(*this, "CreateOneOff", [&] {
        return Quoted(entry.displayName) + ", " + Quoted(entry.addressType) + ", " +
               Quoted(entry.address) + ", " + FlagsText(flags);
    });
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

// ---- The message store --------------------------------------------------------------------------

namespace {
std::vector<ExtraProp> StoreProps() {
    return {Str(PR_ENTRYID, MakeEntryId(kStoreEntry, 0)), Str(PR_DISPLAY_NAME, "Personal Folders")};
}
} // namespace

StoreObject::StoreObject(World* world) : PropObject(world, "Store") {}

void* StoreObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIProp) ||
        IsEqualIID(iid, IID_IMsgStore))
        return static_cast<IMsgStore*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE StoreObject::GetLastError(HRESULT result, ULONG flags,
                                                    LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE StoreObject::SaveChanges(ULONG) {
    return FixedAnswer(*this, "SaveChanges", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StoreObject::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                                LPSPropValue* values) {
    MapiCall call(*this, "GetProps", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    std::vector<ExtraProp> all = StoreProps();
    return call.Done(GetPropsFrom(all, tags, flags, count, values,
                                  [all](ULONG tag) { return ColumnValue(all, tag); }));
}

HRESULT STDMETHODCALLTYPE StoreObject::GetPropList(ULONG flags, LPSPropTagArray* tags) {
    MapiCall call(*this, "GetPropList", [&] { return FlagsText(flags); });
    if (!tags)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    std::vector<ULONG> list;
    for (const ExtraProp& p : StoreProps())
        list.push_back(p.tag);
    return call.Done(TagsOut(list, tags));
}

HRESULT STDMETHODCALLTYPE StoreObject::OpenProperty(ULONG, LPCIID, ULONG, ULONG,
                                                    LPUNKNOWN* object) {
    return FixedAnswer(*this, "OpenProperty", MAPI_E_NO_SUPPORT, object);
}

HRESULT STDMETHODCALLTYPE StoreObject::SetProps(ULONG, LPSPropValue,
                                                LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "SetProps", MAPI_E_NO_ACCESS, problems);
}

HRESULT STDMETHODCALLTYPE StoreObject::DeleteProps(LPSPropTagArray, LPSPropProblemArray* problems) {
    return FixedAnswer(*this, "DeleteProps", MAPI_E_NO_ACCESS, problems);
}

HRESULT STDMETHODCALLTYPE StoreObject::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG,
                                                       LPSPropTagArray* tags) {
    return FixedAnswer(*this, "GetIDsFromNames", MAPI_E_NO_SUPPORT, tags);
}

HRESULT STDMETHODCALLTYPE StoreObject::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK,
                                              ParamOf<&IMsgStore::Advise, 4> connection) {
    return FixedAnswer(*this, "Advise", MAPI_E_NO_SUPPORT, connection);
}

HRESULT STDMETHODCALLTYPE StoreObject::Unadvise(ULONG) {
    return FixedAnswer(*this, "Unadvise", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StoreObject::CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG,
                                                       ULONG* result) {
    return FixedAnswer(*this, "CompareEntryIDs", MAPI_E_NO_SUPPORT, result);
}

HRESULT STDMETHODCALLTYPE StoreObject::OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG* objectType,
                                                 LPUNKNOWN* object) {
    return FixedAnswer(*this, "OpenEntry", MAPI_E_NO_SUPPORT, objectType, object);
}

HRESULT STDMETHODCALLTYPE StoreObject::SetReceiveFolder(ParamOf<&IMsgStore::SetReceiveFolder, 0>,
                                                        ULONG, ULONG, LPENTRYID) {
    return FixedAnswer(*this, "SetReceiveFolder", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StoreObject::GetReceiveFolder(
    ParamOf<&IMsgStore::GetReceiveFolder, 0>, ULONG, ULONG* entryIdSize, LPENTRYID* entryId,
    ParamOf<&IMsgStore::GetReceiveFolder, 4> explicitClass) {
    return FixedAnswer(*this, "GetReceiveFolder", MAPI_E_NO_SUPPORT, entryIdSize, entryId,
                       explicitClass);
}

HRESULT STDMETHODCALLTYPE StoreObject::GetReceiveFolderTable(ULONG, LPMAPITABLE* table) {
    return FixedAnswer(*this, "GetReceiveFolderTable", MAPI_E_NO_SUPPORT, table);
}

HRESULT STDMETHODCALLTYPE StoreObject::StoreLogoff(ULONG*) {
    return FixedAnswer(*this, "StoreLogoff", MAPI_E_NO_SUPPORT);
}

// IMsgStore::AbortSubmit (MAPI reference, "IMsgStore::AbortSubmit"): the
// flags are reserved and must be zero; S_OK takes the message out of the
// outgoing queue (it stays where it is, no longer submitted), and
// MAPI_E_NOT_IN_QUEUE answers for a message no longer queued, typically
// because it has been sent (a delivered message is moved to Sent Items
// under another entry ID, so its Outbox entry ID finds nothing).
// MAPI_E_UNABLE_TO_ABORT, a message the spooler holds, comes only from a
// fault a test arms.
HRESULT STDMETHODCALLTYPE StoreObject::AbortSubmit(ULONG entryIdSize, LPENTRYID entryId,
                                                   ULONG flags) {
    std::string eid =
        entryId ? std::string(reinterpret_cast<const char*>(entryId), entryIdSize) : std::string();
    MapiCall call(*this, "AbortSubmit", [&] { return HexBytes(eid) + ", " + FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!entryId || entryIdSize == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags != 0)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    BYTE kind;
    uint32_t number;
    if (!ParseEntryId(eid, &kind, &number) || kind != kMessageEntry)
        return call.Done(MAPI_E_INVALID_ENTRYID);
    MessageRef data = world_->FindMessage(eid);
    auto& queue = world_->queue;
    if (!data || data->gone || !data->submitted ||
        std::find(queue.begin(), queue.end(), data) == queue.end())
        return call.Done(MAPI_E_NOT_IN_QUEUE);
    data->submitted = false;
    // A persistent store records the message as no longer submitted before
    // the call returns, as it recorded the submit: a client started again
    // must not queue it.
    if (!world_->PersistOutbox(*data)) {
        data->submitted = true;
        return call.Done(MAPI_E_CALL_FAILED);
    }
    data->wasSubmitted = false;
    queue.erase(std::remove(queue.begin(), queue.end(), data), queue.end());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE StoreObject::GetOutgoingQueue(ULONG, LPMAPITABLE* table) {
    return FixedAnswer(*this, "GetOutgoingQueue", MAPI_E_NO_SUPPORT, table);
}

HRESULT STDMETHODCALLTYPE StoreObject::SetLockState(LPMESSAGE, ULONG) {
    return FixedAnswer(*this, "SetLockState", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StoreObject::FinishedMsg(ULONG, ULONG, LPENTRYID) {
    return FixedAnswer(*this, "FinishedMsg", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE StoreObject::NotifyNewMail(ParamOf<&IMsgStore::NotifyNewMail, 0>) {
    return FixedAnswer(*this, "NotifyNewMail", MAPI_E_NO_SUPPORT);
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
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE SessionObject::GetMsgStoresTable(ULONG, LPMAPITABLE* table) {
    return FixedAnswer(*this, "GetMsgStoresTable", MAPI_E_NO_SUPPORT, table);
}

// IMAPISession::OpenMsgStore (MAPI reference): the store of the entry ID
// given (the default store's, as a message's PR_STORE_ENTRYID names it),
// asked for as IMsgStore or none (null); the flags are MAPI_BEST_ACCESS,
// MDB_WRITE, MDB_NO_DIALOG, MDB_NO_MAIL, MDB_TEMPORARY and
// MAPI_DEFERRED_ERRORS.
HRESULT STDMETHODCALLTYPE
SessionObject::OpenMsgStore(ParamOf<&IMAPISession::OpenMsgStore, 0> uiParam, ULONG entryIdSize,
                            LPENTRYID entryId, LPCIID iid, ULONG flags, LPMDB* store) {
    std::string eid =
        entryId ? std::string(reinterpret_cast<const char*>(entryId), entryIdSize) : std::string();
    MapiCall call(*this, "OpenMsgStore", [&] {
        return "window " + std::to_string(static_cast<unsigned long long>(uiParam)) + ", " +
               HexBytes(eid) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags);
    });
    if (store)
        *store = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!store || !entryId)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    constexpr ULONG kKnown = MAPI_BEST_ACCESS | kMdbWrite | kMdbNoDialog | kMdbNoMail |
                             kMdbTemporary | MAPI_DEFERRED_ERRORS;
    if (flags & ~kKnown)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    BYTE kind;
    uint32_t number;
    if (!ParseEntryId(eid, &kind, &number) || kind != kStoreEntry)
        return call.Done(MAPI_E_INVALID_ENTRYID);
    if (iid && !IsEqualIID(*iid, IID_IMsgStore) && !IsEqualIID(*iid, IID_IMAPIProp) &&
        !IsEqualIID(*iid, IID_IUnknown))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    *store = new StoreObject(world_);
    return call.Done(S_OK);
}

// IMAPISession::OpenAddressBook (MAPI reference): the interface asked is
// IAddrBook or none (null); the flags are AB_NO_DIALOG and
// MAPI_DEFERRED_ERRORS. Each call gives a new reference to an address book
// of the session.
HRESULT STDMETHODCALLTYPE
SessionObject::OpenAddressBook(ParamOf<&IMAPISession::OpenAddressBook, 0> uiParam, LPCIID iid,
                               ULONG flags, LPADRBOOK* addressBook) {
    MapiCall call(*this, "OpenAddressBook", [&] {
        return "window " + std::to_string(static_cast<unsigned long long>(uiParam)) + ", " +
               (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags);
    });
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
    MapiCall call(*this, "GetStatusTable", [&] { return FlagsText(flags); });
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
    const bool withSpooler = world_->config.spoolerRow;
    if (!statusRows_ || statusRowsWithSpooler_ != withSpooler) {
        std::vector<TableObject::Row> rows = {
            {Num(PR_ROWID, 1), Str(PR_DISPLAY_NAME, "MAPI Subsystem"),
             Num(PR_RESOURCE_TYPE, kMapiSubsystem),
             Str(PR_ENTRYID, MakeEntryId(kSubsystemEntry, 0)),
             Num(PR_STATUS_CODE, kStatusAvailable)},
            {Num(PR_ROWID, 2), Str(PR_DISPLAY_NAME, "Personal Folders"),
             Num(PR_RESOURCE_TYPE, kMapiStoreProvider),
             Str(PR_ENTRYID, MakeEntryId(kStoreEntry, 0)), Num(PR_STATUS_CODE, kStatusAvailable)},
            {Num(PR_ROWID, 3), Str(PR_DISPLAY_NAME, "Internet E-mail"),
             Num(PR_RESOURCE_TYPE, kMapiTransportProvider),
             Str(PR_ENTRYID, MakeEntryId(kTransportEntry, 0)),
             Num(PR_STATUS_CODE, kStatusAvailable)},
        };
        if (withSpooler)
            rows.push_back({Num(PR_ROWID, 4), Str(PR_DISPLAY_NAME, "Mail Spooler"),
                            Num(PR_RESOURCE_TYPE, MAPI_SPOOLER),
                            Str(PR_ENTRYID, world_->spooler->EntryId()),
                            Num(PR_STATUS_CODE, kStatusAvailable)});
        statusRows_ = std::make_shared<const std::vector<TableObject::Row>>(std::move(rows));
        statusRowsWithSpooler_ = withSpooler;
    }
    *table = new TableObject(
        world_, {PR_ROWID, PR_DISPLAY_NAME, PR_RESOURCE_TYPE, PR_ENTRYID, PR_STATUS_CODE},
        statusRows_);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE SessionObject::OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                                   ULONG flags, ULONG* objectType,
                                                   LPUNKNOWN* object) {
    std::string eid =
        entryId ? std::string(reinterpret_cast<const char*>(entryId), entryIdSize) : std::string();
    MapiCall call(*this, "OpenEntry", [&] {
        return HexBytes(eid) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags);
    });
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

} // namespace sim
