// The store behind the object model: items and their messages agree; the
// calls a mailing makes on messages, the session, its status table and the
// spooler behave as the store's; missing properties are missing.
#include "sim_test.h"

using namespace simtest;

namespace {

Ptr<IMessage> MessageOf(IDispatch* item) {
    Result r;
    if (FAILED(Get(item, "MAPIOBJECT", &r.v)) || r.v.vt != VT_UNKNOWN)
        return Ptr<IMessage>();
    return QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
}

// GetProps of one tag: its value as text (strings), or its type when not a string.
std::string PropText(IMessage* message, ULONG tag, ULONG* type = nullptr, HRESULT* hr = nullptr) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT r = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
    if (hr)
        *hr = r;
    std::string text;
    if (values) {
        if (type)
            *type = PROP_TYPE(values[0].ulPropTag);
        if (PROP_TYPE(values[0].ulPropTag) == PT_STRING8)
            text = values[0].Value.lpszA;
        MAPIFreeBuffer(values);
    }
    return text;
}

// An address list of one entry holding one value, laid out as ADRLIST.
struct OneValueList {
    explicit OneValueList(SPropValue* value) : entry{0, 1, value} {}
    LPADRLIST Get() { return reinterpret_cast<LPADRLIST>(this); }
    ULONG cEntries = 1;
    ADRENTRY entry;
};

TEST_F(SimTest, AnItemAndItsStoreMessageShowTheSameContent) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Café news";
    draft.body = "Hello\r\nworld";
    draft.bodyFormat = olFormatPlain;
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    ASSERT_TRUE(message);
    EXPECT_EQ(PropText(message.Get(), PR_SUBJECT), "Caf\xE9 news");
    std::string body, html;
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY, &body), S_OK);
    EXPECT_EQ(body, "Hello\r\nworld");
    EXPECT_EQ(ReadStream(message.Get(), PR_HTML, &html), MAPI_E_NOT_FOUND); // a plain-text message
    EXPECT_EQ(Number(item.Get(), "BodyFormat"), olFormatPlain);

    ASSERT_EQ(Put(item.Get(), "Subject", "Grüße"), S_OK);
    ASSERT_EQ(Put(item.Get(), "HTMLBody", "<p>Hi &amp; bye</p>"), S_OK);
    EXPECT_EQ(PropText(message.Get(), PR_SUBJECT), "Gr\xFC\xDF"
                                                   "e");
    ASSERT_EQ(ReadStream(message.Get(), PR_HTML, &html), S_OK);
    EXPECT_EQ(html, "<p>Hi &amp; bye</p>");
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY_HTML, &html), S_OK);
    EXPECT_EQ(html, "<p>Hi &amp; bye</p>");
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY, &body), S_OK);
    EXPECT_EQ(body, "Hi & bye\r\n");
    EXPECT_EQ(Number(item.Get(), "BodyFormat"), olFormatHTML);
    ULONG type = 0;
    SizedSPropTagArray(1, format) = {1, {PR_MSG_EDITOR_FORMAT}};
    ULONG count;
    LPSPropValue values = nullptr;
    ASSERT_EQ(message->GetProps(reinterpret_cast<LPSPropTagArray>(&format), 0, &count, &values),
              S_OK);
    EXPECT_EQ(values[0].Value.l, static_cast<LONG>(EDITOR_FORMAT_HTML));
    MAPIFreeBuffer(values);

    // The store's side shows in the object model.
    SPropValue subject;
    subject.ulPropTag = PR_SUBJECT;
    subject.Value.lpszA = const_cast<LPSTR>("Set in the store");
    ASSERT_EQ(message->SetProps(1, &subject, nullptr), S_OK);
    EXPECT_EQ(Text(item.Get(), "Subject"), "Set in the store");
    SPropValue plain;
    plain.ulPropTag = PR_MSG_EDITOR_FORMAT;
    plain.Value.l = EDITOR_FORMAT_PLAINTEXT;
    ASSERT_EQ(message->SetProps(1, &plain, nullptr), S_OK);
    EXPECT_EQ(Number(item.Get(), "BodyFormat"), olFormatPlain);
    EXPECT_EQ(ReadStream(message.Get(), PR_HTML, &html),
              MAPI_E_NOT_FOUND); // plain text drops the HTML
    PropText(message.Get(), PR_ENTRYID, &type);
    EXPECT_EQ(type, PT_BINARY);
}

TEST_F(SimTest, MissingPropertiesAreMissingInTheStoreOnly) {
    auto& c = Start();
    sim::Draft draft;
    draft.hasSubject = false;
    draft.hasBody = false;
    draft.html = "<b>kept</b>";
    draft.htmlPropertyAvailable = false;
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    ULONG type = 0;
    HRESULT hr;
    PropText(message.Get(), PR_SUBJECT, &type, &hr);
    EXPECT_EQ(hr, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(type, PT_ERROR);
    std::string text;
    EXPECT_EQ(ReadStream(message.Get(), PR_BODY, &text), MAPI_E_NOT_FOUND);
    EXPECT_EQ(ReadStream(message.Get(), PR_HTML, &text), MAPI_E_NOT_FOUND);
    EXPECT_EQ(Text(item.Get(), "HTMLBody"), "<b>kept</b>");
    EXPECT_EQ(Number(item.Get(), "BodyFormat"), olFormatHTML);

    sim::Draft none;
    none.nullMapiObject = true;
    Ptr<IDispatch> other = c.CurrentItem(c.OpenCompose(none).Get());
    Result r;
    ASSERT_EQ(Get(other.Get(), "MAPIOBJECT", &r.v), S_OK);
    EXPECT_EQ(r.v.vt, VT_UNKNOWN);
    EXPECT_EQ(r.v.punkVal, nullptr);
}

TEST_F(SimTest, AnEmptyBodyReadsAsNoBytes) {
    auto& c = Start();
    sim::Draft draft;
    draft.bodyFormat = olFormatPlain;
    Ptr<IMessage> message = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    std::string body = "x";
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY, &body), S_OK);
    EXPECT_EQ(body, "");
}

TEST_F(SimTest, RecipientsAreAddedModifiedAndRemovedByRow) {
    auto& c = Start();
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"boss@example.com", "The Boss", MAPI_CC}};
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    LPADRLIST list = OneRecipient("ann@example.com", "ann@example.com");
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list), S_OK);
    FreePadrlist(list);
    sim::MessageView view = c.View(message.Get());
    ASSERT_EQ(view.recipients.size(), 2u);
    EXPECT_EQ(view.recipients[0].address, "boss@example.com");
    EXPECT_EQ(view.recipients[1].address, "ann@example.com");
    EXPECT_EQ(view.recipients[1].type, MAPI_TO);
    EXPECT_FALSE(view.recipients[1].sendRichInfo);
    EXPECT_EQ(Text(item.Get(), "To"), "ann@example.com");

    LPMAPITABLE table = nullptr;
    ASSERT_EQ(message->GetRecipientTable(0, &table), S_OK);
    Ptr<IMAPITable> recipients = Ptr<IMAPITable>::Adopt(table);
    LPSRowSet rows = nullptr;
    SizedSPropTagArray(2, columns) = {2, {PR_ROWID, PR_EMAIL_ADDRESS}};
    ASSERT_EQ(HrQueryAllRows(recipients.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                             nullptr, 0, &rows),
              S_OK);
    ASSERT_EQ(rows->cRows, 2u);
    const SRow* row = rows->aRow; // cRows entries, though declared as one
    EXPECT_STREQ(row[1].lpProps[1].Value.lpszA, "ann@example.com");
    const LONG bossRow = row[0].lpProps[0].Value.l;
    FreeProws(rows);

    SPropValue rowId;
    rowId.ulPropTag = PR_ROWID;
    rowId.Value.l = bossRow;
    OneValueList remove(&rowId);
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_REMOVE, remove.Get()), S_OK);
    ASSERT_EQ(c.View(message.Get()).recipients.size(), 1u);

    SPropValue nameless;
    nameless.ulPropTag = PR_RECIPIENT_TYPE;
    nameless.Value.l = MAPI_TO;
    OneValueList bad(&nameless);
    EXPECT_EQ(message->ModifyRecipients(MODRECIP_ADD, bad.Get()), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(message->ModifyRecipients(0x100, bad.Get()), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(c.View(message.Get()).recipients.size(), 1u);
}

// ---- The address book and resolved recipients -----------------------------------------------

Ptr<IAddrBook> AddressBook(sim::MailClient& c) {
    LPADRBOOK book = nullptr;
    EXPECT_EQ(c.Session()->OpenAddressBook(0, nullptr, AB_NO_DIALOG, &book), S_OK);
    return Ptr<IAddrBook>::Adopt(book);
}

TEST_F(SimTest, TheAddressBookMakesOneOffEntriesInThePublishedLayout) {
    auto& c = Start();
    Ptr<IAddrBook> book = AddressBook(c);
    ASSERT_TRUE(book);
    char name[] = "Ann Archer", type[] = "SMTP", address[] = "ann@example.com";
    ULONG size = 0;
    LPENTRYID id = nullptr;
    ASSERT_EQ(book->CreateOneOff(name, type, address, MAPI_SEND_NO_RICH_INFO, &size, &id), S_OK);
    const std::string bytes(reinterpret_cast<const char*>(id), size);
    EXPECT_EQ(MAPIFreeBuffer(id), 0u); // one block of the caller's
    const BYTE uid[16] = MAPI_ONE_OFF_UID;
    const std::string header = std::string(4, '\0') +
                               std::string(reinterpret_cast<const char*>(uid), sizeof uid) +
                               std::string("\0\0\x01\0", 4); // version 0, no rich info
    EXPECT_EQ(bytes, header + std::string("Ann Archer\0SMTP\0ann@example.com\0", 32));
    sim::OneOffEntry entry;
    ASSERT_TRUE(sim::DecodeOneOffEntryId(bytes, &entry));
    EXPECT_EQ(entry.displayName, "Ann Archer");
    EXPECT_EQ(entry.addressType, "SMTP");
    EXPECT_EQ(entry.address, "ann@example.com");
    EXPECT_TRUE(entry.noRichInfo);
    EXPECT_FALSE(entry.unicode);

    // Wide strings make a wide entry, flagged as such.
    OLECHAR wideName[] = {'Z', 0xF6, 'e', 0}, wideType[] = {'S', 'M', 'T', 'P', 0},
            wideAddress[] = {'z', '@', 'x', '.', 'o', 'r', 'g', 0};
    ASSERT_EQ(book->CreateOneOff(reinterpret_cast<LPSTR>(wideName),
                                 reinterpret_cast<LPSTR>(wideType),
                                 reinterpret_cast<LPSTR>(wideAddress), MAPI_UNICODE, &size, &id),
              S_OK);
    const std::string wide(reinterpret_cast<const char*>(id), size);
    MAPIFreeBuffer(id);
    EXPECT_EQ(static_cast<unsigned char>(wide[23]), 0x80u); // MAPI_ONE_OFF_UNICODE
    ASSERT_TRUE(sim::DecodeOneOffEntryId(wide, &entry));
    EXPECT_EQ(entry.displayName, "Zöe");
    EXPECT_EQ(entry.address, "z@x.org");
    EXPECT_TRUE(entry.unicode);
    EXPECT_FALSE(entry.noRichInfo);

    // What is not a whole one-off entry does not decode.
    EXPECT_FALSE(sim::DecodeOneOffEntryId(bytes.substr(0, bytes.size() - 1), &entry));
    EXPECT_FALSE(sim::DecodeOneOffEntryId(std::string(25, '\0'), &entry));
    EXPECT_FALSE(sim::DecodeOneOffEntryId(bytes + "x", &entry));

    // What the book refuses, it refuses without handing anything out.
    id = reinterpret_cast<LPENTRYID>(1);
    EXPECT_EQ(book->CreateOneOff(name, type, address, 0x4, &size, &id), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(id, nullptr);
    EXPECT_EQ(book->CreateOneOff(name, type, nullptr, 0, &size, &id), MAPI_E_INVALID_PARAMETER);
    char empty[] = "";
    EXPECT_EQ(book->CreateOneOff(name, empty, address, 0, &size, &id), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(book->ResolveName(0, 0, nullptr, nullptr), MAPI_E_NO_SUPPORT);
    LPADRBOOK other = nullptr;
    EXPECT_EQ(c.Session()->OpenAddressBook(0, nullptr, 0x100, &other), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(c.Session()->OpenAddressBook(0, &IID_IMessage, 0, &other),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(other, nullptr);
}

// A recipient the store can deliver to is resolved: it holds an entry ID.
// One without is answered with a report in the Inbox, never an .eml.
TEST_F(SimTest, AnUnresolvedRecipientIsReportedUndeliverableInsteadOfDelivered) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Half way";
    Ptr<IMessage> message = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    std::string entryId;
    ASSERT_EQ(OneOffFromAddressBook(c.Session().Get(), "ann@example.com", "Ann", &entryId), S_OK);
    for (LPADRLIST list : {OneRecipient("ann@example.com", "Ann", entryId),
                           OneRecipient("bob@example.com", "bob@example.com")}) {
        ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list), S_OK);
        FreePadrlist(list);
    }
    // The recipient table shows the entry ID where there is one.
    LPMAPITABLE table = nullptr;
    ASSERT_EQ(message->GetRecipientTable(0, &table), S_OK);
    Ptr<IMAPITable> recipients = Ptr<IMAPITable>::Adopt(table);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    LPSRowSet rows = nullptr;
    ASSERT_EQ(HrQueryAllRows(recipients.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                             nullptr, 0, &rows),
              S_OK);
    ASSERT_EQ(rows->cRows, 2u);
    const SRow* row = rows->aRow;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(row[0].lpProps[0].Value.bin.lpb),
                          row[0].lpProps[0].Value.bin.cb),
              entryId);
    EXPECT_EQ(PROP_TYPE(row[1].lpProps[0].ulPropTag), PT_ERROR);
    FreeProws(rows);

    ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    ASSERT_EQ(c.Deliveries()[0].recipients.size(), 1u);
    EXPECT_EQ(c.Deliveries()[0].recipients[0].address, "ann@example.com");
    EXPECT_EQ(ReadFileBytes(c.Deliveries()[0].path).find("bob@"), std::string::npos);
    ASSERT_EQ(c.NonDeliveries().size(), 1u);
    const sim::NonDelivery& report = c.NonDeliveries()[0];
    EXPECT_EQ(report.subject, "Half way");
    ASSERT_EQ(report.recipients.size(), 1u);
    EXPECT_EQ(report.recipients[0].address, "bob@example.com");
    const std::vector<sim::MessageView> inbox = c.FolderContents(kInboxFolder);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].entryId, report.reportEntryId);
    EXPECT_EQ(inbox[0].subject, "Undeliverable: Half way");
    EXPECT_NE(inbox[0].body.find("bob@example.com"), std::string::npos);
    ASSERT_EQ(inbox[0].recipients.size(), 1u);
    EXPECT_EQ(inbox[0].recipients[0].address, c.GetConfig().senderAddress);

    // With nobody resolved there is no file at all; the message still counts
    // as sent and goes to Sent Items.
    Ptr<IMessage> lost = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    LPADRLIST list = OneRecipient("cy@example.com", "cy@example.com", std::string("\x01\x02", 2));
    ASSERT_EQ(lost->ModifyRecipients(MODRECIP_ADD, list), S_OK);
    FreePadrlist(list);
    ASSERT_EQ(lost->SubmitMessage(FORCE_SUBMIT), S_OK);
    c.RunSpooler();
    EXPECT_EQ(c.DeliveredCount(), 1u);
    EXPECT_EQ(c.QueuedCount(), 0u);
    ASSERT_EQ(c.NonDeliveries().size(), 2u);
    EXPECT_EQ(c.NonDeliveries()[1].recipients[0].address, "cy@example.com");
    EXPECT_EQ(c.FolderContents(kInboxFolder).size(), 2u);
    EXPECT_EQ(c.FolderContents(olFolderSentMail).size(), 2u);
}

TEST_F(SimTest, AComposeWindowsRecipientsAreResolvedAsItOpens) {
    auto& c = Start();
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"boss@example.com", "The Boss", MAPI_CC}};
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    const sim::MessageView view = c.View(item.Get());
    ASSERT_EQ(view.recipients.size(), 1u);
    sim::OneOffEntry entry;
    ASSERT_TRUE(sim::DecodeOneOffEntryId(view.recipients[0].entryId, &entry));
    EXPECT_EQ(entry.displayName, "The Boss");
    EXPECT_EQ(entry.address, "boss@example.com");
}

TEST_F(SimTest, NamedPropertiesMapToOneIdPerStore) {
    auto& c = Start();
    Ptr<IMessage> a = MessageOf(c.CurrentItem(c.OpenCompose({}).Get()).Get());
    Ptr<IMessage> b = MessageOf(c.CurrentItem(c.OpenCompose({}).Get()).Get());
    LPSPropTagArray tags = nullptr;
    EXPECT_EQ(UseTnefTag(a.Get(), 0, &tags), MAPI_W_ERRORS_RETURNED);
    ASSERT_NE(tags, nullptr);
    EXPECT_EQ(PROP_TYPE(tags->aulPropTag[0]), PT_ERROR);
    MAPIFreeBuffer(tags);

    ASSERT_EQ(UseTnefTag(a.Get(), MAPI_CREATE, &tags), S_OK);
    const ULONG id = PROP_ID(tags->aulPropTag[0]);
    EXPECT_GE(id, 0x8000u);
    MAPIFreeBuffer(tags);
    ASSERT_EQ(UseTnefTag(b.Get(), 0, &tags), S_OK);
    EXPECT_EQ(PROP_ID(tags->aulPropTag[0]), id);
    MAPIFreeBuffer(tags);

    SPropValue flag;
    flag.ulPropTag = PROP_TAG(PT_BOOLEAN, id);
    flag.Value.b = 0;
    ASSERT_EQ(b->SetProps(1, &flag, nullptr), S_OK);
    EXPECT_EQ(c.View(b.Get()).useTnef, 0);
    EXPECT_EQ(c.View(a.Get()).useTnef, -1);
}

TEST_F(SimTest, AFailedSetPropsIsExplainedByAnErrorAllocatedForTheCaller) {
    auto& c = Start();
    Ptr<IMessage> message = MessageOf(c.CurrentItem(c.OpenCompose({}).Get()).Get());
    c.FailCall("SetProps", 1, MAPI_E_NO_ACCESS);
    SPropValue plain;
    plain.ulPropTag = PR_MSG_EDITOR_FORMAT;
    plain.Value.l = EDITOR_FORMAT_PLAINTEXT;
    ASSERT_EQ(message->SetProps(1, &plain, nullptr), MAPI_E_NO_ACCESS);
    LPMAPIERROR error = nullptr;
    ASSERT_EQ(message->GetLastError(MAPI_E_NO_ACCESS, 0, &error), S_OK);
    ASSERT_NE(error, nullptr);
    EXPECT_STRNE(error->lpszError, "");
    EXPECT_EQ(MAPIFreeBuffer(error), 0u);
    // Nothing is known about a result the store never gave.
    ASSERT_EQ(message->GetLastError(E_FAIL, 0, &error), S_OK);
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(message->GetLastError(MAPI_E_NO_ACCESS, MAPI_UNICODE, &error), MAPI_E_BAD_CHARWIDTH);
}

TEST_F(SimTest, FlushingTheSpoolerDeliversWhatWasSubmitted) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Queued";
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    EXPECT_EQ(message->SubmitMessage(FORCE_SUBMIT), MAPI_E_SUBMITTED);
    EXPECT_EQ(message->SubmitMessage(0x10), MAPI_E_UNKNOWN_FLAGS);
    EXPECT_EQ(c.QueuedCount(), 1u);
    EXPECT_TRUE(c.Deliveries().empty());

    ULONG rows = 0, type = 0;
    ASSERT_EQ(FlushSpooler(c.Session().Get(), &rows, &type), S_OK);
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(type, static_cast<ULONG>(MAPI_STATUS));
    EXPECT_EQ(c.FlushCount(), 1u);
    EXPECT_EQ(c.QueuedCount(), 0u);
    ASSERT_EQ(c.Deliveries().size(), 1u);
    EXPECT_EQ(c.Deliveries()[0].subject, "Queued");
    ASSERT_EQ(c.FolderContents(olFolderSentMail).size(), 1u);
    EXPECT_TRUE(c.FolderContents(olFolderSentMail)[0].sent);
    // The message object now stands for a message that has moved on.
    EXPECT_EQ(message->SubmitMessage(FORCE_SUBMIT), kObjectDeleted);

    sim::Draft empty;
    EXPECT_EQ(MessageOf(c.CurrentItem(c.OpenCompose(empty).Get()).Get())->SubmitMessage(0),
              MAPI_E_NO_RECIPIENTS);
}

TEST_F(SimTest, WithoutASpoolerRowTheStatusTableHasNothingToFlush) {
    config.spoolerRow = false;
    auto& c = Start();
    ULONG rows = 99;
    EXPECT_EQ(FlushSpooler(c.Session().Get(), &rows), MAPI_E_NOT_FOUND);
    EXPECT_EQ(rows, 0u);
}

TEST_F(SimTest, TheStatusTableAndSpoolerRefuseWhatTheyDoNotKnow) {
    auto& c = Start();
    LPMAPITABLE table = nullptr;
    EXPECT_EQ(c.Session()->GetStatusTable(0x4, &table), MAPI_E_UNKNOWN_FLAGS);
    ASSERT_EQ(c.Session()->GetStatusTable(0, &table), S_OK);
    Ptr<IMAPITable> status = Ptr<IMAPITable>::Adopt(table);
    ULONG count = 0;
    ASSERT_EQ(status->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 4u); // subsystem, store, transport, spooler
    SRestriction content;
    content.rt = 3; // RES_CONTENT
    EXPECT_EQ(status->Restrict(&content, 0), static_cast<HRESULT>(0x80040117L));

    ULONG type;
    LPUNKNOWN unknown = nullptr;
    BYTE junk[8] = {};
    EXPECT_EQ(c.Session()->OpenEntry(sizeof junk, reinterpret_cast<LPENTRYID>(junk),
                                     &IID_IMAPIStatus, MAPI_BEST_ACCESS, &type, &unknown),
              MAPI_E_INVALID_ENTRYID);
}

TEST_F(SimTest, CopiesAndMovesMakeNewMessagesAndTheSentFolderIsKept) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Original";
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Ptr<IDispatch> original = c.CurrentItem(c.OpenCompose(draft).Get());
    ASSERT_EQ(Call(original.Get(), "Save"), S_OK);
    Ptr<IDispatch> copy = Object(original.Get(), "Copy");
    ASSERT_TRUE(copy);
    EXPECT_NE(Text(copy.Get(), "EntryID"), Text(original.Get(), "EntryID"));
    EXPECT_EQ(c.FolderContents(kDraftsFolder).size(), 2u);

    Ptr<IDispatch> ns = Object(c.Application().Get(), "Session");
    Ptr<IDispatch> outbox = Object(ns.Get(), "GetDefaultFolder", {olFolderOutbox});
    Ptr<IDispatch> deleted = Object(ns.Get(), "GetDefaultFolder", {kDeletedItemsFolder});
    Ptr<IDispatch> moved = Object(copy.Get(), "Move", {outbox.Get()});
    ASSERT_TRUE(moved);
    // Set by reference only, as the host's type library declares it.
    EXPECT_EQ(Put(moved.Get(), "SaveSentMessageFolder", Arg(deleted.Get())), DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(PutRef(moved.Get(), "SaveSentMessageFolder", Arg(deleted.Get())), S_OK);
    EXPECT_EQ(Text(Object(moved.Get(), "SaveSentMessageFolder").Get(), "Name"), "Deleted Items");
    Ptr<IMessage> message = MessageOf(moved.Get());
    ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    EXPECT_TRUE(c.FolderContents(olFolderOutbox).empty());
    EXPECT_TRUE(c.FolderContents(olFolderSentMail).empty());
    ASSERT_EQ(c.FolderContents(kDeletedItemsFolder).size(), 1u);
    EXPECT_TRUE(c.FolderContents(kDeletedItemsFolder)[0].sent);
    EXPECT_EQ(c.FolderContents(kDraftsFolder).size(), 1u); // the original stays a draft

    EXPECT_EQ(PutRef(moved.Get(), "SaveSentMessageFolder", Arg(c.Application().Get())),
              DISP_E_EXCEPTION); // the moved item has gone on to Sent: it is stale
}

TEST_F(SimTest, AllocationsTheStoreHandsOutAreTheCallersToFree) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Counted";
    Ptr<IMessage> message = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    const size_t before = LiveMapiBuffers();
    ULONG count = 0;
    LPSPropValue values = nullptr;
    ASSERT_TRUE(SUCCEEDED(message->GetProps(nullptr, 0, &count, &values)));
    EXPECT_GT(count, 3u);
    EXPECT_EQ(LiveMapiBuffers(), before + 1);
    MAPIFreeBuffer(values);
    EXPECT_EQ(LiveMapiBuffers(), before);
}

} // namespace
