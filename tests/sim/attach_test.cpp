// Attachments in the simulated store: what a message keeps of them, the
// calls it refuses as a real store does, and what a delivery makes of them.
#include "sim_test.h"

#include <cstring>

using namespace simtest;

namespace {

Ptr<IMessage> ComposedMessage(sim::MailClient& c, Ptr<IDispatch>* item) {
    sim::Draft draft;
    draft.subject = "Files";
    draft.body = "See the files.";
    draft.bodyFormat = olFormatPlain;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    *item = c.CurrentItem(c.OpenCompose(draft).Get());
    Result r;
    Get(item->Get(), "MAPIOBJECT", &r.v);
    return QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
}

HRESULT SetNames(IAttach* attach, const char16_t* name) {
    SPropValue values[3] = {};
    values[0].ulPropTag = PR_ATTACH_METHOD;
    values[0].Value.l = ATTACH_BY_VALUE;
    values[1].ulPropTag = PR_ATTACH_LONG_FILENAME_W;
    values[1].Value.lpszW = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(name));
    values[2].ulPropTag = PR_DISPLAY_NAME_W;
    values[2].Value.lpszW = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(name));
    return attach->SetProps(3, values, nullptr);
}

Ptr<IStream> DataStream(IAttach* attach, HRESULT* hr, ULONG flags = MAPI_CREATE | MAPI_MODIFY,
                        ULONG options = STGM_CREATE | STGM_WRITE) {
    Ptr<IStream> stream;
    *hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, options, flags,
                               reinterpret_cast<LPUNKNOWN*>(stream.Out()));
    return stream;
}

// Attaches `bytes` under `name` the way the published calls ask for it.
void Attach(IMessage* message, const char16_t* name, const std::string& bytes) {
    Ptr<IAttach> attach;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Out()), S_OK);
    ASSERT_EQ(SetNames(attach.Get(), name), S_OK);
    HRESULT hr = S_OK;
    Ptr<IStream> stream = DataStream(attach.Get(), &hr);
    ASSERT_EQ(hr, S_OK);
    for (size_t at = 0; at < bytes.size(); at += 1000) {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(1000, bytes.size() - at));
        ULONG written = 0;
        ASSERT_EQ(stream->Write(bytes.data() + at, n, &written), S_OK);
        ASSERT_EQ(written, n);
    }
    ASSERT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
    stream.Reset();
    ASSERT_EQ(attach->SaveChanges(0), S_OK);
}

ULONG AttachmentCount(IMessage* message) {
    Ptr<IMAPITable> table;
    if (FAILED(message->GetAttachmentTable(0, table.Out())))
        return 0;
    ULONG rows = 0;
    table->GetRowCount(0, &rows);
    return rows;
}

TEST_F(SimTest, AnAttachmentReachesTheMessageOnlyWhenCommittedAndSaved) {
    auto& c = Start();
    Ptr<IDispatch> item;
    Ptr<IMessage> message = ComposedMessage(c, &item);
    {
        // Never saved: the message has no attachment.
        Ptr<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Out()), S_OK);
        ASSERT_EQ(SetNames(attach.Get(), u"lost.txt"), S_OK);
    }
    EXPECT_EQ(AttachmentCount(message.Get()), 0u);
    {
        // Saved, but its stream was never committed: no data.
        Ptr<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Out()), S_OK);
        ASSERT_EQ(SetNames(attach.Get(), u"empty.txt"), S_OK);
        HRESULT hr = S_OK;
        Ptr<IStream> stream = DataStream(attach.Get(), &hr);
        ASSERT_EQ(hr, S_OK);
        ULONG written = 0;
        stream->Write("abc", 3, &written);
        stream.Reset();
        ASSERT_EQ(attach->SaveChanges(0), S_OK);
        // Only Release is left after a save that does not keep it open.
        EXPECT_EQ(SetNames(attach.Get(), u"again.txt"), MAPI_E_NO_ACCESS);
    }
    EXPECT_EQ(AttachmentCount(message.Get()), 1u);
    Ptr<IAttach> opened;
    ASSERT_EQ(message->OpenAttach(1, nullptr, 0, opened.Out()), S_OK);
    HRESULT hr = S_OK;
    Ptr<IStream> reading = DataStream(opened.Get(), &hr, 0, STGM_READ);
    EXPECT_EQ(hr, MAPI_E_NOT_FOUND);
}

TEST_F(SimTest, TheStoreRefusesAttachmentCallsAsTheReferenceDescribes) {
    auto& c = Start();
    Ptr<IDispatch> item;
    Ptr<IMessage> message = ComposedMessage(c, &item);
    Ptr<IAttach> attach;
    ULONG number = 0;
    EXPECT_EQ(message->CreateAttach(&IID_IMessage, 0, &number, attach.Out()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(message->CreateAttach(nullptr, MAPI_MODIFY, &number, attach.Out()),
              MAPI_E_UNKNOWN_FLAGS);
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Out()), S_OK);
    HRESULT hr = S_OK;
    DataStream(attach.Get(), &hr, MAPI_CREATE, STGM_CREATE | STGM_WRITE);
    EXPECT_EQ(hr, MAPI_E_INVALID_PARAMETER);
    DataStream(attach.Get(), &hr, MAPI_CREATE | MAPI_MODIFY, STGM_READ);
    EXPECT_EQ(hr, MAPI_E_NO_ACCESS);
    SPropValue size = {};
    size.ulPropTag = PR_ATTACH_SIZE;
    size.Value.l = 5;
    LPSPropProblemArray problems = nullptr;
    EXPECT_EQ(attach->SetProps(1, &size, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    EXPECT_EQ(problems->cProblem, 1u);
    MAPIFreeBuffer(problems);
}

TEST_F(SimTest, ADeliveryCarriesEachFileBase64EncodedUnderItsOwnName) {
    auto& c = Start();
    Ptr<IDispatch> item;
    Ptr<IMessage> message = ComposedMessage(c, &item);
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7) & 0xFF);
    Attach(message.Get(), u"report 7.bin", bytes);
    Attach(message.Get(), u"Zo\u00EB \u65E5\u672C.txt", "");
    ASSERT_EQ(AttachmentCount(message.Get()), 2u);
    ASSERT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    const sim::Delivery& d = c.Deliveries()[0];
    ASSERT_EQ(d.attachments.size(), 2u);
    EXPECT_EQ(d.attachments[0].fileName, "report 7.bin");
    EXPECT_EQ(d.attachments[0].size, bytes.size());
    EXPECT_EQ(d.attachments[1].fileName, "Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt");
    EXPECT_EQ(d.attachments[1].size, 0u);

    const std::string eml = ReadFileBytes(d.path);
    EXPECT_NE(eml.find("Content-Type: multipart/mixed; boundary="), std::string::npos);
    EXPECT_NE(eml.find("Content-Disposition: attachment; filename=\"report 7.bin\""),
              std::string::npos);
    EXPECT_NE(eml.find("filename*=utf-8''Zo%C3%AB%20%E6%97%A5%E6%9C%AC.txt"), std::string::npos);
    // The first line of the file's base64: its first 57 bytes.
    EXPECT_NE(
        eml.find(
            "\r\nAAcOFRwjKjE4P0ZNVFtiaXB3foWMk5qhqK+2vcTL0tng5+71/AMKERgfJi00O0JJUFdeZWxzeoGI\r\n"),
        std::string::npos);
    // The text part is still first, as it was.
    EXPECT_NE(eml.find("See the files."), std::string::npos);
}

// A copy made through the object model is a copy of the message: its
// attachments too.
TEST_F(SimTest, ACopyKeepsTheAttachmentsOfTheOriginal) {
    auto& c = Start();
    Ptr<IDispatch> item;
    Ptr<IMessage> message = ComposedMessage(c, &item);
    Attach(message.Get(), u"kept.txt", "kept");
    Result copy;
    ASSERT_EQ(Call(item.Get(), "Copy", {}, &copy.v), S_OK);
    Result r;
    Get(copy.v.pdispVal, "MAPIOBJECT", &r.v);
    Ptr<IMessage> copied = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    EXPECT_EQ(AttachmentCount(copied.Get()), 1u);
    ASSERT_EQ(copied->DeleteAttach(0, 0, nullptr, 0), S_OK);
    EXPECT_EQ(AttachmentCount(copied.Get()), 0u);
    EXPECT_EQ(AttachmentCount(message.Get()), 1u);
}

} // namespace
