// The store on disk: a client whose process dies (here: one destroyed
// without flushing, or files left as a kill leaves them) comes back with its
// Outbox and Sent Items, and sends every submitted message exactly once. And
// what a program restarting a mailing asks of the object model to find the
// message that was in flight: Items, Find and FindNext, Recipients and
// Submitted.
#include "sim_test.h"

#include <cstdio>
#include <cstdlib>

using namespace simtest;

namespace {

constexpr LONG kOutboxFolder = olFolderOutbox;

std::string ReadFileText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A message's text but its Message-ID line, which a delivery finished by a
// later process numbers anew.
std::string WithoutMessageId(std::string text) {
    const size_t at = text.find("\r\nMessage-ID: ");
    if (at != std::string::npos)
        text.erase(at, text.find("\r\n", at + 2) - at);
    return text;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class StoreTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        config.storeFolder = MailFolder();
    }
    // The user sends a message: it moves to the Outbox and is submitted.
    void Send(const std::string& subject, const std::string& to = "ann@example.com",
              const std::string& name = "Ann") {
        sim::Draft draft;
        draft.subject = subject;
        draft.body = "Body of " + subject;
        draft.recipients = {sim::Recipient{to, name}};
        ASSERT_EQ(client->SendInspector(client->OpenCompose(draft).Get()),
                  sim::MailClient::SendOutcome::Sent);
    }
    // A message saved in the Outbox and not submitted.
    void SaveInOutbox(const std::string& subject) {
        sim::Draft draft;
        draft.subject = subject;
        draft.recipients = {sim::Recipient{"bob@example.com"}};
        Ptr<IDispatch> inspector = client->OpenCompose(draft);
        Ptr<IDispatch> item = client->CurrentItem(inspector.Get());
        Ptr<IDispatch> outbox = Folder(kOutboxFolder);
        Ptr<IDispatch> moved = Object(item.Get(), "Move", {Arg(outbox.Get())});
        ASSERT_TRUE(moved);
        ASSERT_EQ(Call(moved.Get(), "Save"), S_OK);
        client->CloseInspector(inspector.Get(), 1); // olDiscard
    }
    Ptr<IDispatch> Folder(LONG which) {
        Ptr<IDispatch> ns = Object(client->Application().Get(), "GetNamespace", {Arg("MAPI")});
        return Object(ns.Get(), "GetDefaultFolder", {Arg(which)});
    }
    Ptr<IDispatch> Items(LONG which) { return Object(Folder(which).Get(), "Items"); }
    std::string JournalPath() { return config.storeFolder + "\\Outbox.log"; }
    std::string Journal() { return ReadFileText(JournalPath()); }
    // The file of attachment 0 of the first message the journal holds.
    std::string FirstAttachmentFile() {
        const std::string journal = Journal();
        const size_t at = journal.find("\r\nnumber\t");
        if (at == std::string::npos)
            return std::string();
        char name[32];
        std::snprintf(name, sizeof name, "\\Outbox\\%08lX-0.att",
                      std::strtoul(journal.c_str() + at + 9, nullptr, 10));
        return config.storeFolder + name;
    }
    std::string Eml(unsigned n) {
        char name[32];
        std::snprintf(name, sizeof name, "\\%06u.eml", n);
        return config.deliveryFolder + name;
    }
    // The process is killed: nothing is flushed, nothing more is written.
    sim::MailClient& Restart() {
        client.reset();
        return Start();
    }
};

// ---- Surviving the process -------------------------------------------------------------------

TEST_F(StoreTest, SubmittedMessagesOutliveTheProcessAndAreDeliveredOnceAfterIt) {
    auto& first = Start();
    Send("One");
    Send("Two");
    SaveInOutbox("Kept for later");
    EXPECT_EQ(first.QueuedCount(), 2u);

    auto& second = Restart();
    EXPECT_EQ(second.QueuedCount(), 2u);
    std::vector<sim::MessageView> outbox = second.FolderContents(kOutboxFolder);
    ASSERT_EQ(outbox.size(), 3u);
    EXPECT_EQ(outbox[0].subject, "One");
    EXPECT_TRUE(outbox[0].submitted);
    EXPECT_EQ(outbox[0].body, "Body of One");
    ASSERT_EQ(outbox[0].recipients.size(), 1u);
    EXPECT_EQ(outbox[0].recipients[0].displayName, "Ann");
    EXPECT_FALSE(outbox[0].recipients[0].entryId.empty()); // still resolved
    EXPECT_FALSE(outbox[2].submitted);

    second.RunSpooler();
    ASSERT_EQ(second.DeliveredCount(), 2u);
    EXPECT_EQ(second.Deliveries()[0].subject, "One");
    EXPECT_EQ(second.Deliveries()[1].subject, "Two");
    EXPECT_EQ(second.FolderContents(kOutboxFolder).size(), 1u); // the unsubmitted one stays

    auto& third = Restart();
    EXPECT_EQ(third.QueuedCount(), 0u);
    third.RunSpooler();
    EXPECT_EQ(third.DeliveredCount(), 0u);
    std::vector<sim::MessageView> sent = third.FolderContents(olFolderSentMail);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].subject, "Two");
    EXPECT_EQ(sent[1].recipients[0].address, "ann@example.com");
    ASSERT_EQ(third.FolderContents(kOutboxFolder).size(), 1u);
    EXPECT_EQ(third.FolderContents(kOutboxFolder)[0].subject, "Kept for later");
    EXPECT_TRUE(FileExists(Eml(2)));
    EXPECT_FALSE(FileExists(Eml(3)));
}

// A submitted message's attachments come back with it: a restarted client
// never sends it without them.
TEST_F(StoreTest, AnOutboxMessagesAttachmentsOutliveTheProcess) {
    auto& first = Start();
    sim::Draft draft;
    draft.subject = "With a file";
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Ptr<IDispatch> inspector = first.OpenCompose(draft);
    Ptr<IDispatch> item = first.CurrentItem(inspector.Get());
    Result r;
    Get(item.Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    Ptr<IAttach> attach;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Out()), S_OK);
    SPropValue values[3] = {};
    values[0].ulPropTag = PR_ATTACH_METHOD;
    values[0].Value.l = ATTACH_BY_VALUE;
    values[1].ulPropTag = PR_ATTACH_LONG_FILENAME_W;
    values[1].Value.lpszW = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(u"kept.bin"));
    const std::string bytes(100000, '\x5A');
    values[2].ulPropTag = PR_ATTACH_DATA_BIN;
    values[2].Value.bin.cb = static_cast<ULONG>(bytes.size());
    values[2].Value.bin.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()));
    ASSERT_EQ(attach->SetProps(3, values, nullptr), S_OK);
    ASSERT_EQ(attach->SaveChanges(0), S_OK);
    attach.Reset();
    message.Reset();
    item.Reset();
    ASSERT_EQ(first.SendInspector(inspector.Get()), sim::MailClient::SendOutcome::Sent);
    inspector.Reset();
    const std::string file = FirstAttachmentFile();
    ASSERT_TRUE(FileExists(file)) << file;

    auto& second = Restart();
    second.RunSpooler();
    ASSERT_EQ(second.DeliveredCount(), 1u);
    ASSERT_EQ(second.Deliveries()[0].attachments.size(), 1u);
    EXPECT_EQ(second.Deliveries()[0].attachments[0].fileName, "kept.bin");
    EXPECT_EQ(second.Deliveries()[0].attachments[0].size, bytes.size());
    // Delivered: the attachment's file is gone, and so is the message from
    // the Outbox of a client killed right after.
    EXPECT_FALSE(FileExists(file));
    const std::string journal = Journal();
    client.reset();
    WriteFileText(JournalPath(), journal);
    auto& third = Start();
    EXPECT_EQ(third.QueuedCount(), 0u);
    EXPECT_TRUE(third.FolderContents(kOutboxFolder).empty());
}

TEST_F(StoreTest, AKillAtEachStepOfADeliveryNeitherLosesNorRepeatsTheMessage) {
    // Killed after the Sent Items record, before the journal said the
    // message was gone (that waits for the journal's next write): the
    // message is in the Outbox again, and its .eml is missing (the kill came
    // before it was written) or cut short (while it was). Either way the
    // client starting again writes it whole under the recorded name; the
    // message is neither recorded nor delivered a second time.
    Start();
    Send("In doubt");
    const std::string submitted = Journal();
    ASSERT_NE(submitted.find("subject\tIn doubt"), std::string::npos);
    client->RunSpooler();
    ASSERT_EQ(client->DeliveredCount(), 1u);
    const std::string eml = config.deliveryFolder + "\\000001.eml";
    const std::string whole = ReadFileText(eml);
    ASSERT_NE(whole.find("Subject: In doubt"), std::string::npos);
    const std::string records = ReadFileText(config.storeFolder + "\\Sent Items.txt");
    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "the .eml cut short" : "no .eml");
        client.reset();
        WriteFileText(JournalPath(), submitted);
        if (cut)
            WriteFileText(eml, whole.substr(0, whole.size() / 3));
        else
            DeleteFileA(eml.c_str());
        auto& again = Start();
        EXPECT_EQ(again.QueuedCount(), 1u);
        EXPECT_EQ(again.FolderContents(olFolderSentMail).size(), 1u);
        again.RunSpooler();
        EXPECT_EQ(WithoutMessageId(ReadFileText(eml)), WithoutMessageId(whole));
        EXPECT_FALSE(FileExists(config.deliveryFolder + "\\000002.eml"));
        EXPECT_EQ(ReadFileText(config.storeFolder + "\\Sent Items.txt"), records);
        EXPECT_TRUE(again.FolderContents(kOutboxFolder).empty());
        EXPECT_EQ(again.FolderContents(olFolderSentMail).size(), 1u);
    }
    // And after the clean exit the journal holds nothing of it: a third
    // client neither queues nor writes it again.
    client.reset();
    auto& third = Start();
    EXPECT_EQ(third.QueuedCount(), 0u);
    third.RunSpooler();
    EXPECT_EQ(third.DeliveredCount(), 0u);
    EXPECT_EQ(ReadFileText(config.storeFolder + "\\Sent Items.txt"), records);
}

TEST_F(StoreTest, ARecordAKillCutShortIsCutOffAndTheNextOneReadsWhole) {
    Start();
    SaveInOutbox("Kept");
    const std::string before = Journal();
    Send("Cut");
    const std::string after = Journal();
    ASSERT_GT(after.size(), before.size() + 10);
    // Killed in the middle of the submit's record, and at its last byte:
    // the submit never returned, the message is not there; what was whole
    // before is.
    for (size_t keep : {(after.size() - before.size()) / 2, after.size() - before.size() - 1}) {
        SCOPED_TRACE(keep);
        client.reset();
        WriteFileText(JournalPath(), after.substr(0, before.size() + keep));
        auto& again = Start();
        EXPECT_EQ(again.QueuedCount(), 0u);
        std::vector<sim::MessageView> outbox = again.FolderContents(kOutboxFolder);
        ASSERT_EQ(outbox.size(), 1u);
        EXPECT_EQ(outbox[0].subject, "Kept");
    }
    // The half record was cut off: what is appended after it reads back.
    Send("After\tthe\ncut\\");
    auto& third = Restart();
    ASSERT_EQ(third.QueuedCount(), 1u);
    third.RunSpooler();
    ASSERT_EQ(third.DeliveredCount(), 1u);
    EXPECT_EQ(third.Deliveries()[0].subject, "After\tthe\ncut\\");
    EXPECT_EQ(third.FolderContents(kOutboxFolder).size(), 1u);
}

// A message saved in the Outbox and then submitted, as each copy of a
// mailing is: the submit is one short line after the saved record, and a
// client killed right after it sends the message once; killed while that
// line was written, it finds the message saved and not submitted.
TEST_F(StoreTest, ASubmitAfterASaveIsOneLineThatTheNextClientReadsAsTheSubmit) {
    Start();
    SaveInOutbox("Saved first");
    const std::string saved = Journal();
    Ptr<IDispatch> item = Object(Items(kOutboxFolder).Get(), "Item", {Arg(1)});
    ASSERT_TRUE(item);
    Result r;
    Get(item.Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    ASSERT_TRUE(message);
    ASSERT_EQ(message->SubmitMessage(0), S_OK);
    message.Reset();
    item.Reset();
    const std::string submitted = Journal();
    ASSERT_EQ(submitted.compare(0, saved.size(), saved), 0);
    const std::string line = submitted.substr(saved.size());
    EXPECT_EQ(line.compare(0, 10, "submitted\t"), 0) << line;
    EXPECT_LT(line.size(), 24u);

    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "the line cut short" : "the line whole");
        client.reset();
        WriteFileText(JournalPath(), cut ? submitted.substr(0, submitted.size() - 3) : submitted);
        auto& again = Start();
        std::vector<sim::MessageView> outbox = again.FolderContents(kOutboxFolder);
        ASSERT_EQ(outbox.size(), 1u);
        EXPECT_EQ(outbox[0].subject, "Saved first");
        EXPECT_EQ(outbox[0].submitted, !cut);
        EXPECT_EQ(again.QueuedCount(), cut ? 0u : 1u);
    }
    client->RunSpooler();
    EXPECT_EQ(client->DeliveredCount(), 0u); // the cut one was never submitted
    client.reset();
    WriteFileText(JournalPath(), submitted);
    auto& last = Start();
    last.RunSpooler();
    ASSERT_EQ(last.DeliveredCount(), 1u);
    EXPECT_EQ(last.Deliveries()[0].subject, "Saved first");
    auto& after = Restart();
    after.RunSpooler();
    EXPECT_EQ(after.DeliveredCount(), 0u);
}

// A long run: the journal is emptied when the Outbox is, and rewritten with
// what is left when it is not; a kill during the rewrite leaves the old
// journal or the whole new one, never a mix.
TEST_F(StoreTest, TheJournalStaysSmallInALongRunAndAKillWhileItIsRewrittenLosesNothing) {
    config.keepDelivered = false;
    Start();
    auto mail = [&](int count, const std::string& body) {
        for (int i = 0; i < count; ++i) {
            sim::Draft draft;
            draft.subject = "Note " + std::to_string(i);
            draft.body = body;
            draft.recipients = {sim::Recipient{"ann@example.com"}};
            ASSERT_EQ(client->SendInspector(client->OpenCompose(draft).Get()),
                      sim::MailClient::SendOutcome::Sent);
            client->RunSpooler();
        }
    };
    const std::string body(40000, 'x');
    mail(60, body); // 2.4 MB of records, the Outbox empty after each
    EXPECT_LT(Journal().size(), (1u << 20) + 2 * body.size());

    SaveInOutbox("Kept for later");
    mail(260, body); // past 8 MiB with one message still in the Outbox
    EXPECT_LT(Journal().size(), (8u << 20) + 2 * body.size());
    EXPECT_EQ(client->DeliveredCount(), 320u);
    const std::string journal = Journal();
    ASSERT_NE(journal.find("Kept for later"), std::string::npos);
    client.reset();

    // Killed while the new journal was written: the old one counts.
    const std::string compacted = config.storeFolder + "\\Outbox.tmp";
    WriteFileText(compacted, journal.substr(0, journal.size() / 2));
    auto& second = Start();
    EXPECT_FALSE(FileExists(compacted));
    ASSERT_EQ(second.FolderContents(kOutboxFolder).size(), 1u);
    EXPECT_EQ(second.FolderContents(kOutboxFolder)[0].subject, "Kept for later");
    EXPECT_EQ(second.QueuedCount(), 0u);
    EXPECT_EQ(second.FolderContents(olFolderSentMail).size(), 320u);
    client.reset();
    // Killed after it was whole, while it took the old one's place (the
    // old one half overwritten): the new one counts.
    const size_t record = journal.find("QVSIM-MESSAGE 1");
    ASSERT_NE(record, std::string::npos);
    const size_t end = journal.find("end\r\n", record) + 5;
    WriteFileText(compacted, journal.substr(record, end - record) + "whole\r\n");
    WriteFileText(JournalPath(), "gone\t0000");
    auto& third = Start();
    EXPECT_FALSE(FileExists(compacted));
    ASSERT_EQ(third.FolderContents(kOutboxFolder).size(), 1u);
    EXPECT_EQ(third.FolderContents(kOutboxFolder)[0].subject, "Kept for later");
    third.RunSpooler();
    EXPECT_EQ(third.DeliveredCount(), 0u);
}

TEST_F(StoreTest, ARecordCutShortIsDroppedAndTheNextOneStartsOnItsOwnLine) {
    Start();
    Send("Whole");
    client->RunSpooler();
    client.reset();
    const std::string log = config.storeFolder + "\\Sent Items.txt";
    WriteFileText(log, ReadFileText(log) + "R1\t0000\tcut");

    auto& c = Start();
    EXPECT_EQ(c.FolderContents(olFolderSentMail).size(), 1u);
    Send("After\tthe\ncut\\");
    c.RunSpooler();
    auto& again = Restart();
    std::vector<sim::MessageView> sent = again.FolderContents(olFolderSentMail);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].subject, "After\tthe\ncut\\");
    EXPECT_EQ(ReadFileText(log).find("cut\r\n"), std::string::npos);
}

TEST_F(StoreTest, WithoutDeliveredMessagesInMemorySentItemsStillListsThem) {
    config.keepDelivered = false;
    Start();
    Send("Light", "carl@example.com", "");
    client->RunSpooler();
    EXPECT_TRUE(client->Deliveries().empty());
    ASSERT_EQ(client->FolderContents(olFolderSentMail).size(), 1u);
    Ptr<IDispatch> items = Items(olFolderSentMail);
    ASSERT_EQ(Number(items.Get(), "Count"), 1);
    Ptr<IDispatch> item = Object(items.Get(), "Item", {Arg(1)});
    EXPECT_EQ(Text(item.Get(), "Subject"), "Light");
    EXPECT_EQ(Text(item.Get(), "To"), "carl@example.com");
    EXPECT_EQ(Number(item.Get(), "Class"), olMail);
    EXPECT_EQ(Text(item.Get(), "EntryID"), client->FolderContents(olFolderSentMail)[0].entryId);
    Result submitted;
    ASSERT_EQ(Get(item.Get(), "Submitted", &submitted.v), S_OK);
    EXPECT_TRUE(submitted.Bool());
    // Only the record is kept: the body is not there at all.
    HRESULT hr = S_OK;
    IdOf(item.Get(), "Body", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    // What it has of _MailItem has the interface's DISPIDs, those of a
    // compose window's item: a caller keeps one DISPID per member.
    sim::Draft draft;
    draft.subject = "Compose";
    Ptr<IDispatch> composed = client->CurrentItem(client->OpenCompose(draft).Get());
    for (const char* member : {"Class", "Sent", "Submitted", "Subject", "To", "Recipients"})
        EXPECT_EQ(IdOf(item.Get(), member, &hr), IdOf(composed.Get(), member, &hr)) << member;
}

// One property of a message, as its bytes (PT_BINARY).
std::string BinaryProp(IMessage* message, ULONG tag) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    if (FAILED(message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values)) ||
        !values || values->ulPropTag != tag) {
        MAPIFreeBuffer(values);
        return std::string();
    }
    std::string bytes(reinterpret_cast<const char*>(values->Value.bin.lpb), values->Value.bin.cb);
    MAPIFreeBuffer(values);
    return bytes;
}

// A submitted message is taken out of the queue by AbortSubmit before it
// can be deleted; once aborted and deleted it stays gone, even for a client
// killed right after; a message already sent is no longer in the queue.
TEST_F(StoreTest, ASubmittedOutboxItemIsAbortedBeforeItIsDeletedAndStaysGoneAfterAKill) {
    Start();
    Send("Changed my mind");
    Ptr<IDispatch> item = Object(Items(kOutboxFolder).Get(), "Item", {Arg(1)});
    EXPECT_EQ(Call(item.Get(), "Delete"), DISP_E_EXCEPTION) << "still submitted";
    EXPECT_EQ(client->QueuedCount(), 1u);

    Result r;
    Get(item.Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    std::string storeId = BinaryProp(message.Get(), PR_STORE_ENTRYID);
    std::string entryId = BinaryProp(message.Get(), PR_ENTRYID);
    ASSERT_FALSE(storeId.empty());
    Ptr<IMAPISession> session = client->Session();
    Ptr<IMsgStore> store;
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(storeId.size()),
                                    reinterpret_cast<LPENTRYID>(&storeId[0]), nullptr,
                                    MAPI_BEST_ACCESS, store.Out()),
              S_OK);
    auto* id = reinterpret_cast<LPENTRYID>(&entryId[0]);
    const auto size = static_cast<ULONG>(entryId.size());
    EXPECT_EQ(store->AbortSubmit(size, id, 1), MAPI_E_UNKNOWN_FLAGS) << "reserved, zero";
    ASSERT_EQ(store->AbortSubmit(size, id, 0), S_OK);
    EXPECT_EQ(client->QueuedCount(), 0u);
    EXPECT_EQ(store->AbortSubmit(size, id, 0), MAPI_E_NOT_IN_QUEUE) << "aborted already";
    ASSERT_EQ(Call(item.Get(), "Delete"), S_OK);
    // What a kill right after the Delete leaves.
    const std::string journal = Journal();
    client->RunSpooler();
    EXPECT_EQ(client->DeliveredCount(), 0u);
    message.Reset();
    store.Reset();
    session.Reset();
    item.Reset();
    VariantClear(&r.v);
    client.reset();
    WriteFileText(JournalPath(), journal);
    auto& again = Start();
    EXPECT_EQ(again.QueuedCount(), 0u);
    EXPECT_TRUE(again.FolderContents(kOutboxFolder).empty());
}

// Aborted but not deleted when the client was killed: the message comes
// back unsubmitted, and is not sent.
TEST_F(StoreTest, AnAbortedSubmissionOutlivesAKill) {
    Start();
    Send("Not yet");
    Ptr<IDispatch> item = Object(Items(kOutboxFolder).Get(), "Item", {Arg(1)});
    Result r;
    Get(item.Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    std::string storeId = BinaryProp(message.Get(), PR_STORE_ENTRYID);
    std::string entryId = BinaryProp(message.Get(), PR_ENTRYID);
    Ptr<IMAPISession> session = client->Session();
    Ptr<IMsgStore> store;
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(storeId.size()),
                                    reinterpret_cast<LPENTRYID>(&storeId[0]), &IID_IMsgStore, 0,
                                    store.Out()),
              S_OK);
    ASSERT_EQ(store->AbortSubmit(static_cast<ULONG>(entryId.size()),
                                 reinterpret_cast<LPENTRYID>(&entryId[0]), 0),
              S_OK);
    const std::string journal = Journal();
    message.Reset();
    store.Reset();
    session.Reset();
    item.Reset();
    VariantClear(&r.v);
    client.reset();
    WriteFileText(JournalPath(), journal);
    auto& again = Start();
    EXPECT_EQ(again.QueuedCount(), 0u);
    ASSERT_EQ(again.FolderContents(kOutboxFolder).size(), 1u);
    EXPECT_FALSE(again.FolderContents(kOutboxFolder)[0].submitted);
    again.RunSpooler();
    EXPECT_EQ(again.DeliveredCount(), 0u);
}

TEST_F(SimTest, DeliveryFilesAreNumberedOnAfterThoseOfAnEarlierProcessAndNeverWrittenOver) {
    // A file put there by hand is stepped over, not replaced.
    CreateDirectoryA(config.deliveryFolder.c_str(), nullptr);
    const std::string planted = config.deliveryFolder + "\\000002.eml";
    WriteFileText(planted, "kept");
    std::vector<std::string> paths;
    for (int run = 0; run < 2; ++run) {
        Start();
        for (const char* subject : {"a", "b"}) {
            sim::Draft draft;
            draft.subject = subject;
            draft.recipients = {sim::Recipient{"ann@example.com"}};
            client->SendInspector(client->OpenCompose(draft).Get());
        }
        client->RunSpooler();
        for (const sim::Delivery& d : client->Deliveries())
            paths.push_back(d.path.substr(config.deliveryFolder.size() + 1));
    }
    EXPECT_EQ(paths,
              (std::vector<std::string>{"000001.eml", "000003.eml", "000004.eml", "000005.eml"}));
    EXPECT_EQ(ReadFileText(planted), "kept");
    EXPECT_NE(client->Deliveries()[0].messageId.substr(0, 6), "000001");
}

// ---- Looking a message up ----------------------------------------------------------------------

TEST_F(StoreTest, FindMatchesSubjectAndToWithoutRegardToCaseAndFindNextGoesOn) {
    config.keepDelivered = false;
    Start();
    Send("Weekly news", "ann@example.com", "Ann");
    Send("Weekly news", "bob@example.com", "Bob");
    Send("O'Brien's offer", "ann@example.com", "Ann");
    client->RunSpooler();
    Restart();
    Send("Weekly news", "carl@example.com", "Carl"); // still in the Outbox
    Send("Größe", "dora@example.com", "Dora");
    client->RunSpooler();

    Ptr<IDispatch> items = Items(olFolderSentMail);
    EXPECT_EQ(Number(items.Get(), "Class"), 16); // olItems
    EXPECT_EQ(Number(items.Get(), "Count"), 5);
    Ptr<IDispatch> found = Object(items.Get(), "Find", {Arg("[Subject] = 'WEEKLY NEWS'")});
    ASSERT_TRUE(found);
    EXPECT_EQ(Text(found.Get(), "To"), "Ann");
    found = Object(items.Get(), "FindNext");
    EXPECT_EQ(Text(found.Get(), "To"), "Bob");
    found = Object(items.Get(), "FindNext");
    EXPECT_EQ(Text(found.Get(), "To"), "Carl");
    Result end;
    ASSERT_EQ(Call(items.Get(), "FindNext", {}, &end.v), S_OK);
    EXPECT_EQ(end.v.vt, VT_DISPATCH);
    EXPECT_EQ(end.v.pdispVal, nullptr);

    found = Object(items.Get(), "Find", {Arg("[Subject] = \"weekly news\" And [To] = 'bob'")});
    EXPECT_EQ(Text(found.Get(), "To"), "Bob");
    found = Object(items.Get(), "Find", {Arg("[Subject]='o''brien''s OFFER'")});
    EXPECT_EQ(Text(found.Get(), "Subject"), "O'Brien's offer");
    found = Object(items.Get(), "Find", {Arg("[subject] = 'GRÖSSE'")});
    EXPECT_FALSE(found); // ß has no one-letter capital
    found = Object(items.Get(), "Find", {Arg("[Subject] = 'GRÖßE'")});
    EXPECT_EQ(Text(found.Get(), "To"), "Dora");

    Result none;
    ASSERT_EQ(Call(items.Get(), "Find", {Arg("[Subject] = 'Weekly'")}, &none.v), S_OK);
    EXPECT_EQ(none.v.vt, VT_DISPATCH);
    EXPECT_EQ(none.v.pdispVal, nullptr);
}

TEST_F(StoreTest, FindRefusesFiltersAndPropertiesItCannotUse) {
    Start();
    Send("Anything");
    Ptr<IDispatch> items = Items(kOutboxFolder);
    struct Case {
        const char* filter;
        const char* says;
    } cases[] = {
        {"[Body] = 'x'", "cannot be used in a filter"},
        {"[Submitted] = 'True'", "cannot be used in a filter"},
        {"[EntryID] = '00'", "cannot be used in a filter"},
        {"[Colour] = 'red'", "is unknown"},
        {"Subject = 'x'", "Cannot parse condition"},
        {"[Subject = 'x'", "Cannot parse condition"},
        {"[Subject] = 'unterminated", "Cannot parse condition"},
        {"[Subject] = unquoted", "Cannot parse condition"},
        {"[Subject] <> 'x'", "Cannot parse condition"},
        {"[Subject] = 'a' Or [To] = 'b'", "Cannot parse condition"},
        {"", "Cannot parse condition"},
    };
    for (const Case& c : cases) {
        Result r;
        Outcome o = Invoke(items.Get(), "Find", DISPATCH_METHOD, {Arg(c.filter)}, &r.v);
        EXPECT_EQ(o.hr, DISP_E_EXCEPTION) << c.filter;
        EXPECT_NE(o.description.find(c.says), std::string::npos)
            << c.filter << ": " << o.description;
    }
    EXPECT_EQ(Call(items.Get(), "Find"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(items.Get(), "Find", {Arg("[Subject] = 'a'"), Arg(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(items.Get(), "Item", {Arg(2)}), E_INVALIDARG);
    // FindNext before any Find finds nothing.
    Result r;
    ASSERT_EQ(Call(Items(kOutboxFolder).Get(), "FindNext", {}, &r.v), S_OK);
    EXPECT_EQ(r.v.pdispVal, nullptr);
}

TEST_F(SimTest, AnItemsRecipientsAndSubmittedFollowItThroughTheOutboxToSentItems) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Three people";
    draft.recipients = {sim::Recipient{"ann@example.com", "Ann", MAPI_TO},
                        sim::Recipient{"bob@example.com", "", MAPI_CC},
                        sim::Recipient{"eve@example.com", "Eve", MAPI_BCC}};
    Ptr<IDispatch> inspector = c.OpenCompose(draft);
    Ptr<IDispatch> item = c.CurrentItem(inspector.Get());
    Result submitted;
    ASSERT_EQ(Get(item.Get(), "Submitted", &submitted.v), S_OK);
    EXPECT_EQ(submitted.v.vt, VT_BOOL);
    EXPECT_FALSE(submitted.Bool());
    Ptr<IDispatch> recipients = Object(item.Get(), "Recipients");
    ASSERT_EQ(Number(recipients.Get(), "Count"), 3);
    Ptr<IDispatch> bob = Object(recipients.Get(), "Item", {Arg(2)});
    EXPECT_EQ(Text(bob.Get(), "Address"), "bob@example.com");
    EXPECT_EQ(Text(bob.Get(), "Name"), "bob@example.com");
    EXPECT_EQ(Number(bob.Get(), "Type"), 2); // olCC
    EXPECT_EQ(Number(Object(recipients.Get(), "Item", {Arg(3)}).Get(), "Type"), 3);
    EXPECT_EQ(Call(recipients.Get(), "Item", {Arg(0)}), E_INVALIDARG);
    EXPECT_EQ(Call(recipients.Get(), "Item"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Put(item.Get(), "Submitted", Arg(true)), DISP_E_MEMBERNOTFOUND);

    ASSERT_EQ(c.SendInspector(inspector.Get()), sim::MailClient::SendOutcome::Sent);
    Ptr<IDispatch> ns = Object(c.Application().Get(), "GetNamespace", {Arg("MAPI")});
    Ptr<IDispatch> outbox = Object(ns.Get(), "GetDefaultFolder", {Arg(olFolderOutbox)});
    Ptr<IDispatch> queued = Object(Object(outbox.Get(), "Items").Get(), "Item", {Arg(1)});
    Result inOutbox;
    ASSERT_EQ(Get(queued.Get(), "Submitted", &inOutbox.v), S_OK);
    EXPECT_TRUE(inOutbox.Bool());
    c.RunSpooler();
    Ptr<IDispatch> sentFolder = Object(ns.Get(), "GetDefaultFolder", {Arg(olFolderSentMail)});
    Ptr<IDispatch> sent = Object(Object(sentFolder.Get(), "Items").Get(), "Item", {Arg(1)});
    Result inSent;
    ASSERT_EQ(Get(sent.Get(), "Submitted", &inSent.v), S_OK);
    EXPECT_TRUE(inSent.Bool());
    EXPECT_EQ(Number(Object(sent.Get(), "Recipients").Get(), "Count"), 3);
}

} // namespace
