// The mail client's object-model and command-bar operations the extension
// relies on, called by late binding through IDispatch, so that the same code
// drives the real client and the simulated one. Each member's DISPID is
// looked up by name once per interface and kept for the process.
//
// Every operation raises a HostError carrying the HRESULT when the call fails
// (a failing result, or an error the host raised). The Try forms keep the
// two apart where the caller must: they return a failing result, and raise
// only what the host raised (DISP_E_EXCEPTION, as the code it carries). A
// null object raises E_POINTER. Object results come back as counted
// references; a null result is an empty reference.
#pragma once

#include "client/com_ref.h"

namespace HostApplication {

// ---- _Application -----------------------------------------------------------------------------
Utf8Text Version(IDispatch* application);
ComRef<IDispatch> Inspectors(IDispatch* application);
// The collection of the client's explorer windows; its NewExplorer event
// tells of each one that opens.
ComRef<IDispatch> Explorers(IDispatch* application);
// Null while the client has no explorer window.
ComRef<IDispatch> ActiveExplorer(IDispatch* application);
ComRef<IDispatch> Session(IDispatch* application);
HRESULT TrySession(IDispatch* application, ComRef<IDispatch>* nameSpace);

// ---- _NameSpace ---------------------------------------------------------------------------------
// The session behind the namespace (IUnknown; ask it for IMAPISession).
ComRef<IUnknown> NameSpaceMapiObject(IDispatch* nameSpace);
ComRef<IDispatch> GetDefaultFolder(IDispatch* nameSpace, LONG folder);
// NameSpace.CurrentUser: the Recipient of the profile's own mailbox.
ComRef<IDispatch> CurrentUser(IDispatch* nameSpace);
// Starts a Send/Receive of every account; the host's progress dialog shows
// only when asked for.
void SendAndReceive(IDispatch* nameSpace, bool showProgressDialog);

// ---- _Explorer and _Inspector -------------------------------------------------------------------
ComRef<IDispatch> ExplorerCommandBars(IDispatch* explorer);
ComRef<IDispatch> InspectorCommandBars(IDispatch* inspector);
ComRef<IDispatch> CurrentItem(IDispatch* inspector);

// ---- _MailItem ----------------------------------------------------------------------------------
LONG Class(IDispatch* item);
bool Sent(IDispatch* item);
ComRef<IDispatch> GetInspector(IDispatch* item);
// The item as an Extended MAPI message (IUnknown; use it as IMessage).
ComRef<IUnknown> MapiObject(IDispatch* item);
void Save(IDispatch* item);
ComRef<IDispatch> Copy(IDispatch* item);
ComRef<IDispatch> Move(IDispatch* item, IDispatch* folder);
void Close(IDispatch* item, LONG saveMode);
void Delete(IDispatch* item);
void PutSubject(IDispatch* item, const char* subject);
void PutBody(IDispatch* item, const char* body);
void PutHtmlBody(IDispatch* item, const char* html);
// Null when the host gives no string, or it cannot be converted.
Utf8Text HtmlBody(IDispatch* item);
// Whether the item has been submitted (those in Sent Items have been).
bool Submitted(IDispatch* item);
ComRef<IDispatch> Recipients(IDispatch* item);

// ---- Accounts (clients of version 12 on) -------------------------------------------------------
// MailItem.SendUsingAccount: the account the item goes from; an empty
// reference when it names none (the default account sends it). Earlier
// clients have no such member: the lookup fails (DISP_E_UNKNOWNNAME).
HRESULT TrySendUsingAccount(IDispatch* item, ComRef<IDispatch>* account);
// NameSpace.Accounts, the profile's accounts; fails as above before 12.
HRESULT TryAccounts(IDispatch* nameSpace, ComRef<IDispatch>* accounts);
LONG AccountsCount(IDispatch* accounts);
// 1-based, as the collection counts.
ComRef<IDispatch> AccountsItem(IDispatch* accounts, LONG index);
// OlAccountType: olExchange, olImap, olPop3, olHttp, and later kinds.
LONG AccountType(IDispatch* account);
Utf8Text AccountSmtpAddress(IDispatch* account);

// ---- MAPIFolder, Items, Recipients --------------------------------------------------------------
ComRef<IDispatch> FolderItems(IDispatch* folder);
// Items.Find with a filter in the client's own syntax ("[Subject] = 'x'");
// an empty reference when nothing matches. FindNextItem goes on from the
// last match.
ComRef<IDispatch> FindItem(IDispatch* items, const char* filter);
ComRef<IDispatch> FindNextItem(IDispatch* items);
// A folder's items by position, 1-based; a collection read afresh holds the
// folder as it is now.
LONG ItemsCount(IDispatch* items);
ComRef<IDispatch> ItemsItem(IDispatch* items, LONG index);
LONG RecipientsCount(IDispatch* recipients);
// 1-based, as the collection counts.
ComRef<IDispatch> RecipientsItem(IDispatch* recipients, LONG index);
Utf8Text RecipientAddress(IDispatch* recipient);
LONG BodyFormat(IDispatch* item);
HRESULT TryBodyFormat(IDispatch* item, LONG* format);
void PutSaveSentMessageFolder(IDispatch* item, IDispatch* folder);

// ---- Command bars -------------------------------------------------------------------------------
ComRef<IDispatch> CommandBarsItem(IDispatch* commandBars, const char* name);
ComRef<IDispatch> ActiveMenuBar(IDispatch* commandBars);
// FindControl with Type, Tag and Visible omitted.
ComRef<IDispatch> FindControl(IDispatch* commandBars, int id);
ComRef<IDispatch> BarControls(IDispatch* bar);
ComRef<IDispatch> PopupControls(IDispatch* popup);
ComRef<IDispatch> ControlsItem(IDispatch* controls, const char* caption);
// The index goes as VT_INT.
ComRef<IDispatch> ControlsItem(IDispatch* controls, LONG index);
// Controls.Add with Id, Parameter and Before omitted.
ComRef<IDispatch> ControlsAdd(IDispatch* controls, LONG type, bool temporary);

// ---- CommandBarControl --------------------------------------------------------------------------
void PutBeginGroup(IDispatch* control, bool beginGroup);
void PutCaption(IDispatch* control, const char* caption);
void PutTooltipText(IDispatch* control, const char* text);
void PutTag(IDispatch* control, const char* tag);
Utf8Text Tag(IDispatch* control);
// Whether `control` is a command-bar control whose Tag is `tag`
// (case-sensitive; an empty Tag never is). A click reaches the handlers of
// every button the client counts as the same one (each custom button has
// the same Id), so each handler asks this of the control the click names.
bool ControlTagIs(IDispatch* control, const char* tag);
void PutOleUsage(IDispatch* control, LONG usage);
void PutVisible(IDispatch* control, bool visible);
// Move with Bar and Before omitted.
void MoveControl(IDispatch* control);
void Execute(IDispatch* control);
// Takes the control off its bar or menu.
void DeleteControl(IDispatch* control);

// ---- _CommandBarButton --------------------------------------------------------------------------
void PutFaceId(IDispatch* button, LONG faceId);
void PutStyle(IDispatch* button, LONG style);
void PutPicture(IDispatch* button, IDispatch* picture);
void PutMask(IDispatch* button, IDispatch* mask);
void PasteFace(IDispatch* button);

// ---- Any method ---------------------------------------------------------------------------------
// The most arguments one call passes (Controls.Add, the longest above,
// passes five). A call with more fails with DISP_E_BADPARAMCOUNT before
// anything reaches the object.
constexpr UINT kMaxCallArguments = 6;
// The method `name` of `object`, called the way every operation above calls
// its member, with `count` arguments in the caller's order; the name is
// looked up afresh each time. The call's result is returned and what the
// host raised is raised, as the Try forms do. For members no operation above
// covers, and for the tests of the call itself.
HRESULT TryMethod(IDispatch* object, const char* name, VARIANT* args, UINT count, Variant* result);

// Forgets every DISPID looked up so far (for tests that change hosts).
void ForgetMemberIds();

} // namespace HostApplication
