// The Extended MAPI side of the store: its calls, its property values, and
// the message, stream, table, status, address book and session objects.
#pragma once

#include "world_internal.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// ---- Entry IDs and property values --------------------------------------------------------------

// The store's entry IDs: its UID, the kind of object and its number.
enum EntryKind : BYTE {
    kMessageEntry = 1,
    kFolderEntry = 2,
    kSpoolerEntry = 3,
    kSubsystemEntry = 4,
    kStoreEntry = 5,
    kTransportEntry = 6,
};
std::string MakeEntryId(BYTE kind, uint32_t number);
bool ParseEntryId(const std::string& id, BYTE* kind, uint32_t* number);

// A string or binary value: PT_UNICODE values hold UTF-8, PT_STRING8 ones
// the store's code page.
ExtraProp Str(ULONG tag, const std::string& text);
bool IsText(ULONG type);
// A text value in the type asked for: PT_UNICODE, or PT_STRING8 (also for
// no type given), converted between the two as the store converts them.
// Other values pass unchanged.
ExtraProp AsType(const ExtraProp& value, ULONG type);
ExtraProp Num(ULONG tag, LONG number);
ExtraProp Missing(ULONG tag, HRESULT code = MAPI_E_NOT_FOUND);
std::string FlagsText(ULONG flags);
std::string TagText(ULONG tag);
// The tags of an array, for the trace; empty for none.
std::string TagListText(const SPropTagArray* tags);
// A row's value for a column: same ID, and the column's type or none asked
// (a text either way, converted).
ExtraProp ColumnValue(const std::vector<ExtraProp>& row, ULONG column);
HRESULT TagsOut(const std::vector<ULONG>& tags, LPSPropTagArray* out);
// GetProps over a list of readable values.
HRESULT GetPropsFrom(const std::vector<ExtraProp>& all, LPSPropTagArray tags, ULONG flags,
                     ULONG* count, LPSPropValue* values,
                     const std::function<ExtraProp(ULONG)>& read);

// ---- Extended MAPI ------------------------------------------------------------------------------

// One MAPI call: checks the client is there and any armed fault; it enters
// the trace as it starts and its result when it returns.
class MapiCall {
public:
    MapiCall(Tracked& object, const char* member, const std::string& args);
    // The arguments' text made only when the world keeps a trace: a mailing
    // makes these calls by the ten thousand where nobody reads one.
    template <class MakeArgs, class = decltype(std::string(std::declval<const MakeArgs&>()()))>
    MapiCall(Tracked& object, const char* member, const MakeArgs& makeArgs)
        : MapiCall(object, member, Traced(object) ? std::string(makeArgs()) : std::string()) {}
    ~MapiCall();
    // S_OK to go on; otherwise the result to return (disconnected, a fault).
    HRESULT Begin();
    HRESULT Done(HRESULT hr, const std::string& why = "");

private:
    static bool Traced(const Tracked& object);

    ClientClock clock_;
    Tracked& object_;
    const char* member_;
    std::string fault_;
    size_t entry_ = 0;
    bool recorded_ = false;
    bool done_ = false;
};

// A call the store answers the same way whatever it is given (most often
// MAPI_E_NO_SUPPORT): traced, its out-parameters cleared, no fault taken.
template <class... Out>
HRESULT FixedAnswer(Tracked& object, const char* member, HRESULT result, Out*... outs) {
    MapiCall call(object, member, "");
    ((outs ? void(*outs = {}) : void()), ...);
    return call.Done(result);
}

// Property values handed out as the store hands them out: one
// MAPIAllocateBuffer block, strings and binaries chained to it with
// MAPIAllocateMore. A PT_ERROR value carries its code in `number`.
HRESULT PropsOut(const std::vector<ExtraProp>& values, LPSPropValue* out);
// IMAPIProp::GetLastError: the MAPIERROR for the object's last failure.
HRESULT LastErrorOut(Tracked& object, HRESULT result, ULONG flags, LPMAPIERROR* error);

// An object of the store with properties (IMAPIProp and an interface built on
// it): copying its properties to another object and naming property IDs are
// not supported.
template <class Interface> class PropObject : public Interface, public Tracked {
public:
    PropObject(World* world, const char* className) : Tracked(world, className) {}
    SIM_IUNKNOWN(Interface)

    HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ParamOf<&IMAPIProp::CopyTo, 3>,
                                     LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                     LPSPropProblemArray* problems) final {
        return FixedAnswer(*this, "CopyTo", MAPI_E_NO_SUPPORT, problems);
    }
    HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ParamOf<&IMAPIProp::CopyProps, 1>,
                                        LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                        LPSPropProblemArray* problems) final {
        return FixedAnswer(*this, "CopyProps", MAPI_E_NO_SUPPORT, problems);
    }
    HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG* count,
                                              LPMAPINAMEID** names) final {
        return FixedAnswer(*this, "GetNamesFromIDs", MAPI_E_NO_SUPPORT, count, names);
    }
};

class MessageObject final : public PropObject<IMessage> {
public:
    MessageObject(World* world, const MessageRef& data);
    ~MessageObject() override;
    void* Find(REFIID iid) override;
    const MessageRef& Data() const { return data_; }

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenAttach(ULONG number, LPCIID iid, ULONG flags,
                                         LPATTACH* attach) override;
    HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID iid, ULONG flags, ULONG* number,
                                           LPATTACH* attach) override;
    HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG number,
                                           ParamOf<&IMessage::DeleteAttach, 1> uiParam,
                                           LPMAPIPROGRESS progress, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPADRLIST mods) override;
    HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG flags) override;

private:
    MessageRef data_;
};

// A read-only stream over a property's bytes.
class StreamObject final : public IStream, public Tracked {
public:
    StreamObject(World* world, std::string bytes);
    SIM_IUNKNOWN(IStream)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                         DWORD lockType) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                           DWORD lockType) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override;

private:
    std::string bytes_;
    size_t position_ = 0;
};

// A table of rows of properties (the status table, a recipient table).
class TableObject final : public IMAPITable, public Tracked {
public:
    using Row = std::vector<ExtraProp>;
    TableObject(World* world, std::vector<ULONG> columns, std::vector<Row> rows);
    // Rows shared with whoever keeps them (the session's status rows, the
    // same at every call): a table never changes its rows, only its view.
    TableObject(World* world, std::vector<ULONG> columns,
                std::shared_ptr<const std::vector<Row>> rows);
    SIM_IUNKNOWN(IMAPITable)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG eventMask, LPMAPIADVISESINK sink,
                                     ParamOf<&IMAPITable::Advise, 2> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE GetStatus(ULONG* tableStatus, ULONG* tableType) override;
    HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* columns) override;
    HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) override;
    HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG numerator, ULONG denominator) override;
    HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* numerator,
                                            ULONG* denominator) override;
    HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction restriction, BOOKMARK origin,
                                      ULONG flags) override;
    HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* position) override;
    HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK position) override;
    HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet criteria, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* criteria) override;
    HRESULT STDMETHODCALLTYPE QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ExpandRow(ULONG instanceKeySize, LPBYTE instanceKey, ULONG rowCount,
                                        ULONG flags, LPSRowSet* rows, ULONG* moreRows) override;
    HRESULT STDMETHODCALLTYPE CollapseRow(ULONG instanceKeySize, LPBYTE instanceKey, ULONG flags,
                                          ULONG* rowCount) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG timeout,
                                                ULONG* tableStatus) override;
    HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG instanceKeySize,
                                               LPBYTE instanceKey, ULONG* stateSize,
                                               LPBYTE* state) override;
    HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG stateSize, LPBYTE state,
                                               BOOKMARK* location) override;

private:
    std::vector<ULONG> columns_;
    std::shared_ptr<const std::vector<Row>> rows_;
    const std::vector<Row>& all_ = *rows_;
    std::vector<size_t> view_; // rows passing the restriction, in sort order
    size_t cursor_ = 0;
};

class StatusObject final : public PropObject<IMAPIStatus> {
public:
    explicit StatusObject(World* world);
    void* Find(REFIID iid) override;
    std::string EntryId() const;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE ValidateState(ParamOf<&IMAPIStatus::ValidateState, 0> uiParam,
                                            ULONG flags) override;
    HRESULT STDMETHODCALLTYPE SettingsDialog(ParamOf<&IMAPIStatus::SettingsDialog, 0> uiParam,
                                             ULONG flags) override;
    HRESULT STDMETHODCALLTYPE ChangePassword(ParamOf<&IMAPIStatus::ChangePassword, 0> oldPassword,
                                             ParamOf<&IMAPIStatus::ChangePassword, 1> newPassword,
                                             ULONG flags) override;
    HRESULT STDMETHODCALLTYPE FlushQueues(ParamOf<&IMAPIStatus::FlushQueues, 0> uiParam,
                                          ULONG targetTransportSize, LPENTRYID targetTransport,
                                          ULONG flags) override;
};

// The default store, as IMAPISession::OpenMsgStore opens it: its entry ID
// and display name, and AbortSubmit, which takes a submitted message back
// out of the outgoing queue. Everything else is not supported.
class StoreObject final : public PropObject<IMsgStore> {
public:
    explicit StoreObject(World* world);
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                     LPMAPIADVISESINK sink,
                                     ParamOf<&IMsgStore::Advise, 4> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                              LPENTRYID entryId2, ULONG flags,
                                              ULONG* result) override;
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                        ULONG flags, ULONG* objectType, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE
    SetReceiveFolder(ParamOf<&IMsgStore::SetReceiveFolder, 0> messageClass, ULONG flags,
                     ULONG entryIdSize, LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE GetReceiveFolder(
        ParamOf<&IMsgStore::GetReceiveFolder, 0> messageClass, ULONG flags, ULONG* entryIdSize,
        LPENTRYID* entryId, ParamOf<&IMsgStore::GetReceiveFolder, 4> explicitClass) override;
    HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG* flags) override;
    HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG entryIdSize, LPENTRYID entryId,
                                          ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE message, ULONG lockState) override;
    HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG flags, ULONG entryIdSize,
                                          LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE
    NotifyNewMail(ParamOf<&IMsgStore::NotifyNewMail, 0> notification) override;
};

// The session's address book: one-off entry IDs, nothing else.
class AddressBookObject final : public PropObject<IAddrBook> {
public:
    explicit AddressBookObject(World* world);
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override;
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* tags) override;
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                        ULONG flags, ULONG* objectType, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                              LPENTRYID entryId2, ULONG flags,
                                              ULONG* result) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                     LPMAPIADVISESINK sink,
                                     ParamOf<&IAddrBook::Advise, 4> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE CreateOneOff(ParamOf<&IAddrBook::CreateOneOff, 0> name,
                                           ParamOf<&IAddrBook::CreateOneOff, 1> addressType,
                                           ParamOf<&IAddrBook::CreateOneOff, 2> address,
                                           ULONG flags, ULONG* entryIdSize,
                                           LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE NewEntry(ParamOf<&IAddrBook::NewEntry, 0> uiParam, ULONG flags,
                                       ULONG containerIdSize, LPENTRYID containerId,
                                       ULONG templateIdSize, LPENTRYID templateId,
                                       ULONG* newEntryIdSize, LPENTRYID* newEntryId) override;
    HRESULT STDMETHODCALLTYPE ResolveName(ParamOf<&IAddrBook::ResolveName, 0> uiParam, ULONG flags,
                                          ParamOf<&IAddrBook::ResolveName, 2> title,
                                          LPADRLIST list) override;
    HRESULT STDMETHODCALLTYPE Address(ParamOf<&IAddrBook::Address, 0> uiParam, LPADRPARM parameters,
                                      LPADRLIST* list) override;
    HRESULT STDMETHODCALLTYPE Details(ParamOf<&IAddrBook::Details, 0> uiParam,
                                      ParamOf<&IAddrBook::Details, 1> dismiss,
                                      LPVOID dismissContext, ULONG entryIdSize, LPENTRYID entryId,
                                      ParamOf<&IAddrBook::Details, 5> buttonCallback,
                                      LPVOID buttonContext,
                                      ParamOf<&IAddrBook::Details, 7> buttonText,
                                      ULONG flags) override;
    HRESULT STDMETHODCALLTYPE RecipOptions(ParamOf<&IAddrBook::RecipOptions, 0> uiParam,
                                           ULONG flags, LPADRENTRY recipient) override;
    HRESULT STDMETHODCALLTYPE
    QueryDefaultRecipOpt(ParamOf<&IAddrBook::QueryDefaultRecipOpt, 0> addressType, ULONG flags,
                         ULONG* count, LPSPropValue* options) override;
    HRESULT STDMETHODCALLTYPE GetPAB(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE SetPAB(ULONG entryIdSize, LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG entryIdSize, LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG flags, LPSRowSet* searchPath) override;
    HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG flags, LPSRowSet searchPath) override;
    HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG flags, LPSPropTagArray tags,
                                            LPADRLIST list) override;
};

class SessionObject final : public IMAPISession, public Tracked {
public:
    explicit SessionObject(World* world);
    SIM_IUNKNOWN(IMAPISession)
    void* Find(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override;
    HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenMsgStore(ParamOf<&IMAPISession::OpenMsgStore, 0> uiParam,
                                           ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                           ULONG flags, LPMDB* store) override;
    HRESULT STDMETHODCALLTYPE OpenAddressBook(ParamOf<&IMAPISession::OpenAddressBook, 0> uiParam,
                                              LPCIID iid, ULONG flags,
                                              LPADRBOOK* addressBook) override;
    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags,
                                                 LPPROFSECT* section) override;
    HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                        ULONG flags, ULONG* objectType, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                              LPENTRYID entryId2, ULONG flags,
                                              ULONG* result) override;
    HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                     LPMAPIADVISESINK sink,
                                     ParamOf<&IMAPISession::Advise, 4> connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) override;
    HRESULT STDMETHODCALLTYPE MessageOptions(ParamOf<&IMAPISession::MessageOptions, 0> uiParam,
                                             ULONG flags,
                                             ParamOf<&IMAPISession::MessageOptions, 2> addressType,
                                             LPMESSAGE message) override;
    HRESULT STDMETHODCALLTYPE
    QueryDefaultMessageOpt(ParamOf<&IMAPISession::QueryDefaultMessageOpt, 0> addressType,
                           ULONG flags, ULONG* count, LPSPropValue* options) override;
    HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG flags, ULONG* count,
                                           ParamOf<&IMAPISession::EnumAdrTypes, 2> types) override;
    HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* entryIdSize, LPENTRYID* entryId) override;
    HRESULT STDMETHODCALLTYPE Logoff(ParamOf<&IMAPISession::Logoff, 0> uiParam, ULONG flags,
                                     ULONG reserved) override;
    HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG flags, ULONG entryIdSize,
                                              LPENTRYID entryId) override;
    HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN* admin) override;
    HRESULT STDMETHODCALLTYPE ShowForm(ParamOf<&IMAPISession::ShowForm, 0> uiParam, LPMDB store,
                                       LPMAPIFOLDER parentFolder, LPCIID iid, ULONG messageToken,
                                       LPMESSAGE messageSent, ULONG flags, ULONG messageStatus,
                                       ULONG messageFlags, ULONG access,
                                       ParamOf<&IMAPISession::ShowForm, 10> messageClass) override;
    HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID iid, LPMESSAGE message,
                                          ULONG* messageToken) override;

private:
    // The status table's rows, made at the first call and again should the
    // spooler's row come or go: a mailing asks for them before every flush.
    std::shared_ptr<const std::vector<TableObject::Row>> statusRows_;
    bool statusRowsWithSpooler_ = false;
};

} // namespace sim
