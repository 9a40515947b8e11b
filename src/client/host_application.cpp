#include "client/host_application.h"

#include "base/debug_trace.h"

#include <cstring>
#include <utility>

namespace HostApplication {
namespace {

// One member of one interface: its name and, once looked up, its DISPID.
// The DISPIDs of an interface are the same on every object that has it, so
// one lookup serves the process.
struct Member {
    const OLECHAR* name;
    DISPID id;
    bool known;
};

#define QV_MEMBER(name)                                                                            \
    { OLESTR(name), DISPID_UNKNOWN, false }

Member ApplicationMembers[] = {QV_MEMBER("Version"), QV_MEMBER("Inspectors"),
                               QV_MEMBER("ActiveExplorer"), QV_MEMBER("Session"),
                               QV_MEMBER("Explorers")};
enum { kAppVersion, kAppInspectors, kAppActiveExplorer, kAppSession, kAppExplorers };

Member NameSpaceMembers[] = {QV_MEMBER("GetDefaultFolder"), QV_MEMBER("SendAndReceive"),
                             QV_MEMBER("MAPIOBJECT"), QV_MEMBER("CurrentUser"),
                             QV_MEMBER("Accounts")};
enum { kNsGetDefaultFolder, kNsSendAndReceive, kNsMapiObject, kNsCurrentUser, kNsAccounts };

// Members of the same name on different interfaces (CommandBars of _Explorer
// and of _Inspector, Controls of CommandBar and of CommandBarPopup) may have
// different DISPIDs: each interface keeps its own.
Member ExplorerMembers[] = {QV_MEMBER("CommandBars")};
enum { kExplorerCommandBars };

Member InspectorMembers[] = {QV_MEMBER("CommandBars"), QV_MEMBER("CurrentItem")};
enum { kInspectorCommandBars, kInspectorCurrentItem };

Member MailItemMembers[] = {QV_MEMBER("Class"),
                            QV_MEMBER("Sent"),
                            QV_MEMBER("GetInspector"),
                            QV_MEMBER("MAPIOBJECT"),
                            QV_MEMBER("Save"),
                            QV_MEMBER("Copy"),
                            QV_MEMBER("Move"),
                            QV_MEMBER("Close"),
                            QV_MEMBER("Delete"),
                            QV_MEMBER("Subject"),
                            QV_MEMBER("Body"),
                            QV_MEMBER("HTMLBody"),
                            QV_MEMBER("BodyFormat"),
                            QV_MEMBER("SaveSentMessageFolder"),
                            QV_MEMBER("Submitted"),
                            QV_MEMBER("Recipients"),
                            QV_MEMBER("SendUsingAccount")};
enum {
    kMailClass,
    kMailSent,
    kMailGetInspector,
    kMailMapiObject,
    kMailSave,
    kMailCopy,
    kMailMove,
    kMailClose,
    kMailDelete,
    kMailSubject,
    kMailBody,
    kMailHtmlBody,
    kMailBodyFormat,
    kMailSaveSentMessageFolder,
    kMailSubmitted,
    kMailRecipients,
    kMailSendUsingAccount
};

Member FolderMembers[] = {QV_MEMBER("Items")};
enum { kFolderItems };

Member ItemsMembers[] = {QV_MEMBER("Find"), QV_MEMBER("FindNext"), QV_MEMBER("Count"),
                         QV_MEMBER("Item")};
enum { kItemsFind, kItemsFindNext, kItemsCount, kItemsItem };

Member RecipientsMembers[] = {QV_MEMBER("Count"), QV_MEMBER("Item")};
enum { kRecipientsCount, kRecipientsItem };

Member RecipientMembers[] = {QV_MEMBER("Address")};
enum { kRecipientAddress };

Member AccountsMembers[] = {QV_MEMBER("Count"), QV_MEMBER("Item")};
enum { kAccountsCount, kAccountsItem };

Member AccountMembers[] = {QV_MEMBER("AccountType"), QV_MEMBER("SmtpAddress")};
enum { kAccountType, kAccountSmtpAddress };

Member CommandBarsMembers[] = {QV_MEMBER("Item"), QV_MEMBER("ActiveMenuBar"),
                               QV_MEMBER("FindControl")};
enum { kBarsItem, kBarsActiveMenuBar, kBarsFindControl };

Member CommandBarMembers[] = {QV_MEMBER("Controls")};
Member CommandBarPopupMembers[] = {QV_MEMBER("Controls")};
enum { kBarControls };

Member ControlsMembers[] = {QV_MEMBER("Item"), QV_MEMBER("Add")};
enum { kControlsItem, kControlsAdd };

Member ControlMembers[] = {QV_MEMBER("BeginGroup"), QV_MEMBER("Caption"),  QV_MEMBER("TooltipText"),
                           QV_MEMBER("Tag"),        QV_MEMBER("OLEUsage"), QV_MEMBER("Visible"),
                           QV_MEMBER("Move"),       QV_MEMBER("Execute"),  QV_MEMBER("Delete")};
enum {
    kControlBeginGroup,
    kControlCaption,
    kControlTooltipText,
    kControlTag,
    kControlOleUsage,
    kControlVisible,
    kControlMove,
    kControlExecute,
    kControlDelete
};

Member ButtonMembers[] = {QV_MEMBER("FaceId"), QV_MEMBER("Style"), QV_MEMBER("Picture"),
                          QV_MEMBER("Mask"), QV_MEMBER("PasteFace")};
enum { kButtonFaceId, kButtonStyle, kButtonPicture, kButtonMask, kButtonPasteFace };

#undef QV_MEMBER

template <size_t N> void Forget(Member (&table)[N]) {
    for (Member& m : table) {
        m.id = DISPID_UNKNOWN;
        m.known = false;
    }
}

HRESULT Resolve(IDispatch* object, Member& member) {
    if (member.known)
        return S_OK;
    LPOLESTR name = const_cast<LPOLESTR>(member.name);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    member.id = id;
    member.known = true;
    return S_OK;
}

// One Invoke. `args` are in the caller's order (Invoke wants them reversed).
// Returns the call's result; an error the host raised (DISP_E_EXCEPTION)
// comes back as the code it carries, with *raised set.
HRESULT Call(IDispatch* object, Member& member, WORD flags, VARIANT* args, UINT count,
             VARIANT* result, bool* raised) {
    *raised = false;
    if (!object)
        RaiseHostError(E_POINTER);
    // Checked before the name is looked up, so that nothing reaches the
    // object of a call that cannot be made.
    if (count > kMaxCallArguments) {
        DebugTrace("   HostApplication call: %u arguments, at most %u fit\r\n",
                   static_cast<unsigned>(count), static_cast<unsigned>(kMaxCallArguments));
        return DISP_E_BADPARAMCOUNT;
    }
    HRESULT hr = Resolve(object, member);
    if (FAILED(hr))
        return hr;

    VARIANT reversed[kMaxCallArguments];
    for (UINT i = 0; i < count; ++i)
        reversed[i] = args[count - 1 - i];
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO error = {};
    UINT argError = 0;
    hr = object->Invoke(member.id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, result, &error,
                        &argError);
    if (hr == DISP_E_EXCEPTION) {
        if (error.pfnDeferredFillIn)
            error.pfnDeferredFillIn(&error);
        *raised = true;
        if (FAILED(error.scode))
            hr = error.scode;
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
    }
    return hr;
}

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kPutRef = DISPATCH_PROPERTYPUTREF;

// A call that must succeed: a failure is raised. A property get or a method
// call gives what it returned; a put is given no result to fill and gives an
// empty one.
Variant Must(IDispatch* object, Member& member, WORD flags, VARIANT* args = nullptr,
             UINT count = 0) {
    Variant result;
    const bool put = (flags & (kPut | kPutRef)) != 0;
    bool raised;
    HRESULT hr = Call(object, member, flags, args, count, put ? nullptr : result.Get(), &raised);
    if (FAILED(hr))
        RaiseHostError(hr);
    return result;
}

HRESULT Try(IDispatch* object, Member& member, WORD flags, VARIANT* args, UINT count,
            VARIANT* result) {
    bool raised;
    HRESULT hr = Call(object, member, flags, args, count, result, &raised);
    if (raised)
        RaiseHostError(hr);
    return hr;
}

// ---- Arguments and results ------------------------------------------------------------------

// An argument of type `type`; the caller sets its value.
VARIANT Typed(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    return v;
}

VARIANT Missing() {
    VARIANT v = Typed(VT_ERROR);
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT Long(LONG value) {
    VARIANT v = Typed(VT_I4);
    v.lVal = value;
    return v;
}

VARIANT Int(int value) {
    VARIANT v = Typed(VT_INT);
    v.intVal = value;
    return v;
}

VARIANT Bool(bool value) {
    VARIANT v = Typed(VT_BOOL);
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Object(IDispatch* object) {
    VARIANT v = Typed(VT_DISPATCH);
    v.pdispVal = object;
    return v;
}

// Borrows the string: `text` must outlive the call.
VARIANT Text(const Bstr& text) {
    VARIANT v = Typed(VT_BSTR);
    v.bstrVal = text.Get();
    return v;
}

ComRef<IDispatch> DispatchResult(Variant value) {
    VARIANT* v = value.Get();
    if (v->vt == VT_EMPTY || v->vt == VT_NULL)
        return ComRef<IDispatch>();
    if (v->vt == VT_DISPATCH) {
        IDispatch* p = v->pdispVal;
        v->vt = VT_EMPTY;
        return ComRef<IDispatch>::Adopt(p);
    }
    if (v->vt == VT_UNKNOWN)
        return QueryAs<IDispatch>(v->punkVal, IID_IDispatch);
    RaiseHostError(DISP_E_TYPEMISMATCH);
}

ComRef<IUnknown> UnknownResult(Variant value) {
    VARIANT* v = value.Get();
    if (v->vt == VT_EMPTY || v->vt == VT_NULL)
        return ComRef<IUnknown>();
    if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
        IUnknown* p = v->punkVal;
        v->vt = VT_EMPTY;
        return ComRef<IUnknown>::Adopt(p);
    }
    RaiseHostError(DISP_E_TYPEMISMATCH);
}

LONG LongResult(const Variant& value) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), const_cast<VARIANT*>(value.Get()), 0, VT_I4);
    if (FAILED(hr))
        RaiseHostError(hr);
    return converted->lVal;
}

bool BoolResult(const Variant& value) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), const_cast<VARIANT*>(value.Get()), 0, VT_BOOL);
    if (FAILED(hr))
        RaiseHostError(hr);
    return converted->boolVal != VARIANT_FALSE;
}

Utf8Text TextResult(const Variant& value) {
    const VARIANT* v = value.Get();
    if (v->vt == VT_EMPTY || v->vt == VT_NULL)
        return Utf8Text();
    if (v->vt == VT_BSTR)
        return Utf8FromBstr(v->bstrVal);
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), const_cast<VARIANT*>(v), 0, VT_BSTR);
    if (FAILED(hr))
        RaiseHostError(hr);
    return Utf8FromBstr(converted->bstrVal);
}

ComRef<IDispatch> GetObject(IDispatch* object, Member& member) {
    return DispatchResult(Must(object, member, kGet));
}

// An object property in the Try form: its failing result returned, the
// reference empty then.
HRESULT TryObject(IDispatch* object, Member& member, ComRef<IDispatch>* out) {
    out->Reset();
    Variant result;
    HRESULT hr = Try(object, member, kGet, nullptr, 0, result.Get());
    if (SUCCEEDED(hr))
        *out = DispatchResult(std::move(result));
    return hr;
}

void PutText(IDispatch* object, Member& member, const char* text) {
    Bstr wide = Bstr::FromUtf8(text ? text : "");
    VARIANT arg = Text(wide);
    Must(object, member, kPut, &arg, 1);
}

void PutValue(IDispatch* object, Member& member, VARIANT arg) {
    Must(object, member, kPut, &arg, 1);
}

void CallMethod(IDispatch* object, Member& member) {
    Must(object, member, kMethod);
}

} // namespace

HRESULT TryMethod(IDispatch* object, const char* name, VARIANT* args, UINT count, Variant* result) {
    Bstr wide = Bstr::FromAnsi(name ? name : "");
    Member member = {wide.Get(), DISPID_UNKNOWN, false};
    return Try(object, member, kMethod, args, count, result ? result->Out() : nullptr);
}

void ForgetMemberIds() {
    Forget(ApplicationMembers);
    Forget(NameSpaceMembers);
    Forget(ExplorerMembers);
    Forget(InspectorMembers);
    Forget(MailItemMembers);
    Forget(FolderMembers);
    Forget(ItemsMembers);
    Forget(RecipientsMembers);
    Forget(RecipientMembers);
    Forget(AccountsMembers);
    Forget(AccountMembers);
    Forget(CommandBarsMembers);
    Forget(CommandBarMembers);
    Forget(CommandBarPopupMembers);
    Forget(ControlsMembers);
    Forget(ControlMembers);
    Forget(ButtonMembers);
}

// ---- _Application -----------------------------------------------------------------------------

Utf8Text Version(IDispatch* application) {
    return TextResult(Must(application, ApplicationMembers[kAppVersion], kGet));
}

ComRef<IDispatch> Inspectors(IDispatch* application) {
    return GetObject(application, ApplicationMembers[kAppInspectors]);
}

ComRef<IDispatch> Explorers(IDispatch* application) {
    return GetObject(application, ApplicationMembers[kAppExplorers]);
}

ComRef<IDispatch> ActiveExplorer(IDispatch* application) {
    return DispatchResult(Must(application, ApplicationMembers[kAppActiveExplorer], kMethod));
}

ComRef<IDispatch> Session(IDispatch* application) {
    return GetObject(application, ApplicationMembers[kAppSession]);
}

HRESULT TrySession(IDispatch* application, ComRef<IDispatch>* nameSpace) {
    return TryObject(application, ApplicationMembers[kAppSession], nameSpace);
}

// ---- _NameSpace ---------------------------------------------------------------------------------

ComRef<IUnknown> NameSpaceMapiObject(IDispatch* nameSpace) {
    return UnknownResult(Must(nameSpace, NameSpaceMembers[kNsMapiObject], kGet));
}

ComRef<IDispatch> GetDefaultFolder(IDispatch* nameSpace, LONG folder) {
    VARIANT arg = Long(folder);
    return DispatchResult(Must(nameSpace, NameSpaceMembers[kNsGetDefaultFolder], kMethod, &arg, 1));
}

ComRef<IDispatch> CurrentUser(IDispatch* nameSpace) {
    return DispatchResult(Must(nameSpace, NameSpaceMembers[kNsCurrentUser], kGet));
}

void SendAndReceive(IDispatch* nameSpace, bool showProgressDialog) {
    VARIANT arg = Bool(showProgressDialog);
    Must(nameSpace, NameSpaceMembers[kNsSendAndReceive], kMethod, &arg, 1);
}

// ---- _Explorer and _Inspector -------------------------------------------------------------------

ComRef<IDispatch> ExplorerCommandBars(IDispatch* explorer) {
    return GetObject(explorer, ExplorerMembers[kExplorerCommandBars]);
}

ComRef<IDispatch> InspectorCommandBars(IDispatch* inspector) {
    return GetObject(inspector, InspectorMembers[kInspectorCommandBars]);
}

ComRef<IDispatch> CurrentItem(IDispatch* inspector) {
    return GetObject(inspector, InspectorMembers[kInspectorCurrentItem]);
}

// ---- _MailItem ----------------------------------------------------------------------------------

LONG Class(IDispatch* item) {
    return LongResult(Must(item, MailItemMembers[kMailClass], kGet));
}

bool Sent(IDispatch* item) {
    return BoolResult(Must(item, MailItemMembers[kMailSent], kGet));
}

ComRef<IDispatch> GetInspector(IDispatch* item) {
    return GetObject(item, MailItemMembers[kMailGetInspector]);
}

ComRef<IUnknown> MapiObject(IDispatch* item) {
    return UnknownResult(Must(item, MailItemMembers[kMailMapiObject], kGet));
}

void Save(IDispatch* item) {
    CallMethod(item, MailItemMembers[kMailSave]);
}

ComRef<IDispatch> Copy(IDispatch* item) {
    return DispatchResult(Must(item, MailItemMembers[kMailCopy], kMethod));
}

ComRef<IDispatch> Move(IDispatch* item, IDispatch* folder) {
    VARIANT arg = Object(folder);
    return DispatchResult(Must(item, MailItemMembers[kMailMove], kMethod, &arg, 1));
}

void Close(IDispatch* item, LONG saveMode) {
    VARIANT arg = Long(saveMode);
    Must(item, MailItemMembers[kMailClose], kMethod, &arg, 1);
}

void Delete(IDispatch* item) {
    CallMethod(item, MailItemMembers[kMailDelete]);
}

void PutSubject(IDispatch* item, const char* subject) {
    PutText(item, MailItemMembers[kMailSubject], subject);
}

void PutBody(IDispatch* item, const char* body) {
    PutText(item, MailItemMembers[kMailBody], body);
}

void PutHtmlBody(IDispatch* item, const char* html) {
    PutText(item, MailItemMembers[kMailHtmlBody], html);
}

bool Submitted(IDispatch* item) {
    return BoolResult(Must(item, MailItemMembers[kMailSubmitted], kGet));
}

ComRef<IDispatch> Recipients(IDispatch* item) {
    return GetObject(item, MailItemMembers[kMailRecipients]);
}

// ---- MAPIFolder, Items, Recipients -------------------------------------------------------------

ComRef<IDispatch> FolderItems(IDispatch* folder) {
    return GetObject(folder, FolderMembers[kFolderItems]);
}

ComRef<IDispatch> FindItem(IDispatch* items, const char* filter) {
    Bstr wide = Bstr::FromUtf8(filter ? filter : "");
    VARIANT arg = Text(wide);
    return DispatchResult(Must(items, ItemsMembers[kItemsFind], kMethod, &arg, 1));
}

ComRef<IDispatch> FindNextItem(IDispatch* items) {
    return DispatchResult(Must(items, ItemsMembers[kItemsFindNext], kMethod));
}

LONG ItemsCount(IDispatch* items) {
    return LongResult(Must(items, ItemsMembers[kItemsCount], kGet));
}

ComRef<IDispatch> ItemsItem(IDispatch* items, LONG index) {
    VARIANT arg = Long(index);
    return DispatchResult(Must(items, ItemsMembers[kItemsItem], kGet | kMethod, &arg, 1));
}

LONG RecipientsCount(IDispatch* recipients) {
    return LongResult(Must(recipients, RecipientsMembers[kRecipientsCount], kGet));
}

ComRef<IDispatch> RecipientsItem(IDispatch* recipients, LONG index) {
    VARIANT arg = Long(index);
    return DispatchResult(
        Must(recipients, RecipientsMembers[kRecipientsItem], kGet | kMethod, &arg, 1));
}

Utf8Text RecipientAddress(IDispatch* recipient) {
    return TextResult(Must(recipient, RecipientMembers[kRecipientAddress], kGet));
}

Utf8Text HtmlBody(IDispatch* item) {
    return TextResult(Must(item, MailItemMembers[kMailHtmlBody], kGet));
}

// ---- Accounts -----------------------------------------------------------------------------------

HRESULT TrySendUsingAccount(IDispatch* item, ComRef<IDispatch>* account) {
    return TryObject(item, MailItemMembers[kMailSendUsingAccount], account);
}

HRESULT TryAccounts(IDispatch* nameSpace, ComRef<IDispatch>* accounts) {
    return TryObject(nameSpace, NameSpaceMembers[kNsAccounts], accounts);
}

LONG AccountsCount(IDispatch* accounts) {
    return LongResult(Must(accounts, AccountsMembers[kAccountsCount], kGet));
}

ComRef<IDispatch> AccountsItem(IDispatch* accounts, LONG index) {
    VARIANT arg = Long(index);
    return DispatchResult(Must(accounts, AccountsMembers[kAccountsItem], kGet | kMethod, &arg, 1));
}

LONG AccountType(IDispatch* account) {
    return LongResult(Must(account, AccountMembers[kAccountType], kGet));
}

Utf8Text AccountSmtpAddress(IDispatch* account) {
    return TextResult(Must(account, AccountMembers[kAccountSmtpAddress], kGet));
}

LONG BodyFormat(IDispatch* item) {
    return LongResult(Must(item, MailItemMembers[kMailBodyFormat], kGet));
}

HRESULT TryBodyFormat(IDispatch* item, LONG* format) {
    Variant result;
    HRESULT hr = Try(item, MailItemMembers[kMailBodyFormat], kGet, nullptr, 0, result.Get());
    if (SUCCEEDED(hr))
        *format = LongResult(result);
    return hr;
}

void PutSaveSentMessageFolder(IDispatch* item, IDispatch* folder) {
    VARIANT arg = Object(folder);
    Must(item, MailItemMembers[kMailSaveSentMessageFolder], kPutRef, &arg, 1);
}

// ---- Command bars -------------------------------------------------------------------------------

ComRef<IDispatch> CommandBarsItem(IDispatch* commandBars, const char* name) {
    Bstr wide = Bstr::FromUtf8(name);
    VARIANT arg = Text(wide);
    return DispatchResult(
        Must(commandBars, CommandBarsMembers[kBarsItem], kGet | kMethod, &arg, 1));
}

ComRef<IDispatch> ActiveMenuBar(IDispatch* commandBars) {
    return GetObject(commandBars, CommandBarsMembers[kBarsActiveMenuBar]);
}

ComRef<IDispatch> FindControl(IDispatch* commandBars, int id) {
    VARIANT args[4] = {Missing(), Int(id), Missing(), Missing()};
    return DispatchResult(
        Must(commandBars, CommandBarsMembers[kBarsFindControl], kMethod, args, 4));
}

ComRef<IDispatch> BarControls(IDispatch* bar) {
    return GetObject(bar, CommandBarMembers[kBarControls]);
}

ComRef<IDispatch> PopupControls(IDispatch* popup) {
    return GetObject(popup, CommandBarPopupMembers[kBarControls]);
}

ComRef<IDispatch> ControlsItem(IDispatch* controls, const char* caption) {
    Bstr wide = Bstr::FromUtf8(caption);
    VARIANT arg = Text(wide);
    return DispatchResult(Must(controls, ControlsMembers[kControlsItem], kGet | kMethod, &arg, 1));
}

ComRef<IDispatch> ControlsItem(IDispatch* controls, LONG index) {
    VARIANT arg = Int(index);
    return DispatchResult(Must(controls, ControlsMembers[kControlsItem], kGet | kMethod, &arg, 1));
}

ComRef<IDispatch> ControlsAdd(IDispatch* controls, LONG type, bool temporary) {
    VARIANT args[5] = {Long(type), Missing(), Missing(), Missing(), Bool(temporary)};
    return DispatchResult(Must(controls, ControlsMembers[kControlsAdd], kMethod, args, 5));
}

// ---- CommandBarControl --------------------------------------------------------------------------

void PutBeginGroup(IDispatch* control, bool beginGroup) {
    PutValue(control, ControlMembers[kControlBeginGroup], Bool(beginGroup));
}

void PutCaption(IDispatch* control, const char* caption) {
    PutText(control, ControlMembers[kControlCaption], caption);
}

void PutTooltipText(IDispatch* control, const char* text) {
    PutText(control, ControlMembers[kControlTooltipText], text);
}

void PutTag(IDispatch* control, const char* tag) {
    PutText(control, ControlMembers[kControlTag], tag);
}

Utf8Text Tag(IDispatch* control) {
    return TextResult(Must(control, ControlMembers[kControlTag], kGet));
}

bool ControlTagIs(IDispatch* control, const char* tag) {
    ComRef<IDispatch> asControl = QueryAs<IDispatch>(control, IID_CommandBarControl);
    if (!asControl)
        return false;
    Utf8Text text = Tag(asControl.Get());
    return text && text.Get()[0] != '\0' && std::strcmp(text.Get(), tag) == 0;
}

void PutOleUsage(IDispatch* control, LONG usage) {
    PutValue(control, ControlMembers[kControlOleUsage], Long(usage));
}

void PutVisible(IDispatch* control, bool visible) {
    PutValue(control, ControlMembers[kControlVisible], Bool(visible));
}

void MoveControl(IDispatch* control) {
    VARIANT args[2] = {Missing(), Missing()};
    Must(control, ControlMembers[kControlMove], kMethod, args, 2);
}

void Execute(IDispatch* control) {
    CallMethod(control, ControlMembers[kControlExecute]);
}

void DeleteControl(IDispatch* control) {
    VARIANT temporary = Missing();
    Must(control, ControlMembers[kControlDelete], kMethod, &temporary, 1);
}

// ---- _CommandBarButton --------------------------------------------------------------------------

void PutFaceId(IDispatch* button, LONG faceId) {
    PutValue(button, ButtonMembers[kButtonFaceId], Long(faceId));
}

void PutStyle(IDispatch* button, LONG style) {
    PutValue(button, ButtonMembers[kButtonStyle], Long(style));
}

void PutPicture(IDispatch* button, IDispatch* picture) {
    PutValue(button, ButtonMembers[kButtonPicture], Object(picture));
}

void PutMask(IDispatch* button, IDispatch* mask) {
    PutValue(button, ButtonMembers[kButtonMask], Object(mask));
}

void PasteFace(IDispatch* button) {
    CallMethod(button, ButtonMembers[kButtonPasteFace]);
}

} // namespace HostApplication
