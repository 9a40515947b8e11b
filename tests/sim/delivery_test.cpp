// Delivery: Send/Receive and the spooler turn submitted messages into files a
// mail reader can open. (A real parser reads them back in the scenario test.)
#include "sim_test.h"

using namespace simtest;

namespace {

Ptr<IMessage> Submit(sim::MailClient& c, const sim::Draft& draft) {
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Result r;
    Get(item.Get(), "MAPIOBJECT", &r.v);
    Ptr<IMessage> message = QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
    EXPECT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    return message;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool HasLine(const std::string& eml, const std::string& line) {
    for (const std::string& l : Lines(eml))
        if (l == line)
            return true;
    return false;
}

TEST_F(SimTest, ExecutingTheSendReceiveCommandDeliversTheQueue) {
    config.version = "11.0.0.8312";
    auto& c = Start();
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Submit(c, draft);
    Submit(c, draft);
    Ptr<IDispatch> bars = Object(c.Explorer().Get(), "CommandBars");
    Ptr<IDispatch> sendReceive =
        Object(bars.Get(), "FindControl",
               {Arg::Missing(), Arg::Int(7095), Arg::Missing(), Arg::Missing()});
    ASSERT_TRUE(sendReceive);
    ASSERT_EQ(Call(sendReceive.Get(), "Execute"), S_OK);
    EXPECT_EQ(c.SendReceiveCount(), 1u);
    EXPECT_EQ(c.Deliveries().size(), 2u);
    EXPECT_EQ(c.QueuedCount(), 0u);
    EXPECT_EQ(c.FolderContents(olFolderSentMail).size(), 2u);
}

TEST_F(SimTest, ADeliveredFileCarriesTheSenderTheRecipientsHeldAndEncodedText) {
    config.senderName = "Sam Sender";
    config.senderAddress = "sam@example.com";
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Gr\xFC\xDF"
                    "e an alle";
    draft.html = "<p>Pr\xE9"
                 "cis: 1 = 1</p>";
    draft.recipients = {sim::Recipient{"ann@example.com", "Ann Archer", MAPI_TO},
                        sim::Recipient{"bob@example.com", "", MAPI_TO},
                        sim::Recipient{"cy@example.com", "Smith, Cy", MAPI_CC},
                        sim::Recipient{"hidden@example.com", "", MAPI_BCC}};
    Submit(c, draft);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    const sim::Delivery& d = c.Deliveries()[0];
    EXPECT_TRUE(d.isHtml);
    EXPECT_EQ(d.recipients.size(), 4u);
    EXPECT_EQ(d.from, "sam@example.com");
    EXPECT_EQ(c.SendReceiveCount(), 0u);

    const std::string eml = ReadFileBytes(d.path);
    ASSERT_FALSE(eml.empty()) << d.path;
    EXPECT_TRUE(HasLine(eml, "From: Sam Sender <sam@example.com>"));
    EXPECT_TRUE(HasLine(eml, "To: Ann Archer <ann@example.com>, bob@example.com"));
    EXPECT_TRUE(HasLine(eml, "Cc: \"Smith, Cy\" <cy@example.com>"));
    EXPECT_EQ(eml.find("hidden@example.com"), std::string::npos);
    EXPECT_TRUE(HasLine(eml, "Subject: =?windows-1252?Q?Gr=FC=DFe_an_alle?="));
    EXPECT_TRUE(HasLine(eml, "Message-ID: <" + d.messageId + ">"));
    EXPECT_TRUE(HasLine(eml, "MIME-Version: 1.0"));
    EXPECT_TRUE(HasLine(eml, "Content-Type: text/html; charset=\"windows-1252\""));
    EXPECT_TRUE(HasLine(eml, "Content-Transfer-Encoding: quoted-printable"));
    EXPECT_TRUE(HasLine(eml, "<p>Pr=E9cis: 1 =3D 1</p>"));
    for (size_t i = 0; i < eml.size(); ++i) {
        EXPECT_LT(static_cast<unsigned char>(eml[i]), 0x80u);
        if (eml[i] == '\n') {
            EXPECT_TRUE(i > 0 && eml[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
}

TEST_F(SimTest, LongLinesAndTrailingBlanksAreEncodedSoNoLineIsTooLong) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = std::string(120, 'x') + " " + std::string(20, 'y');
    draft.bodyFormat = olFormatPlain;
    draft.body = std::string(297, 'a') + " \r\nend\t\r\n";
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Submit(c, draft);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    EXPECT_FALSE(c.Deliveries()[0].isHtml);
    const std::string eml = ReadFileBytes(c.Deliveries()[0].path);
    bool inBody = false;
    for (const std::string& line : Lines(eml)) {
        if (line.empty())
            inBody = true;
        EXPECT_LE(line.size(), inBody ? 76u : 998u) << line;
        if (inBody && !line.empty()) {
            EXPECT_NE(line.back(), ' ');
        }
    }
    EXPECT_TRUE(HasLine(eml, "Content-Type: text/plain; charset=\"windows-1252\""));
    EXPECT_NE(eml.find("a=20\r\nend=09\r\n"), std::string::npos);
}

TEST_F(SimTest, AMessageThatCannotBeWrittenStaysQueued) {
    auto& c = Start();
    WriteFileBytes(config.deliveryFolder, "a file where the folder should be");
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Submit(c, draft);
    c.RunSpooler();
    EXPECT_TRUE(c.Deliveries().empty());
    EXPECT_EQ(c.QueuedCount(), 1u);
    EXPECT_TRUE(c.FolderContents(olFolderSentMail).empty());
    DeleteFileA(config.deliveryFolder.c_str());
}

} // namespace
