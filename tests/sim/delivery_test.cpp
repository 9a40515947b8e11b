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
    draft.subject = "Grüße an alle";
    draft.html = "<p>Précis: 1 = 1</p>";
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
    // The sender's copy, as Sent Items keeps it.
    EXPECT_TRUE(HasLine(eml, "Bcc: hidden@example.com"));
    EXPECT_TRUE(HasLine(eml, "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_an_alle?="));
    EXPECT_TRUE(HasLine(eml, "Message-ID: <" + d.messageId + ">"));
    EXPECT_TRUE(HasLine(eml, "MIME-Version: 1.0"));
    EXPECT_TRUE(HasLine(eml, "Content-Type: text/html; charset=\"utf-8\""));
    EXPECT_TRUE(HasLine(eml, "Content-Transfer-Encoding: quoted-printable"));
    EXPECT_TRUE(HasLine(eml, "<p>Pr=C3=A9cis: 1 =3D 1</p>"));
    for (size_t i = 0; i < eml.size(); ++i) {
        EXPECT_LT(static_cast<unsigned char>(eml[i]), 0x80u);
        if (eml[i] == '\n') {
            EXPECT_TRUE(i > 0 && eml[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
}

// What looks like an encoded word is written as encoded words of its own
// text, so that a reader shows "=?utf-8?b?...?=" and not what it encodes;
// text that merely holds "=?" or "?=" alone stays as it is.
TEST_F(SimTest, ASubjectThatLooksEncodedIsWrittenEncodedAsItsLiteralText) {
    auto& c = Start();
    const char* const subjects[] = {"Hi =?utf-8?b?W1VSR0VOVF0gUGF5IG5vdw==?=", "x=?a?Q?b?=y",
                                    "what =? is this", "or this ?= one"};
    for (const char* subject : subjects) {
        sim::Draft draft;
        draft.subject = subject;
        draft.bodyFormat = olFormatPlain;
        draft.body = "b";
        draft.recipients = {sim::Recipient{"ann@example.com"}};
        Submit(c, draft);
    }
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 4u);
    EXPECT_TRUE(
        HasLine(ReadFileBytes(c.Deliveries()[0].path),
                "Subject: =?utf-8?Q?Hi_=3D=3Futf-8=3Fb=3FW1VSR0VOVF0gUGF5IG5vdw=3D=3D=3F=3D?="));
    EXPECT_TRUE(HasLine(ReadFileBytes(c.Deliveries()[1].path),
                        "Subject: =?utf-8?Q?x=3D=3Fa=3FQ=3Fb=3F=3Dy?="));
    EXPECT_TRUE(HasLine(ReadFileBytes(c.Deliveries()[2].path), "Subject: what =? is this"));
    EXPECT_TRUE(HasLine(ReadFileBytes(c.Deliveries()[3].path), "Subject: or this ?= one"));
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
    EXPECT_TRUE(HasLine(eml, "Content-Type: text/plain; charset=\"utf-8\""));
    EXPECT_NE(eml.find("a=20\r\nend=09\r\n"), std::string::npos);
}

// Reads quoted-printable back: soft breaks joined, =XX decoded, CR LF as is.
std::string DecodeQuotedPrintable(const std::string& body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '=') {
            out += body[i];
        } else if (body.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(body.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

// Runs of plain text are copied to the line's end in one piece: the lines
// must still break where the encoding says, and decode to the text sent.
TEST_F(SimTest, BodiesOfEveryLineLengthDecodeToTheTextSentAndNoLineIsTooLong) {
    auto& c = Start();
    std::string body;
    uint32_t seed = 11;
    for (int line = 0; line < 200; ++line) {
        seed = seed * 1103515245u + 12345u;
        const size_t length = (seed >> 16) % 170;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            const unsigned pick = (seed >> 16) % 40;
            body += pick == 0   ? '='
                    : pick == 1 ? ' '
                    : pick == 2 ? '\t'
                    : pick == 3 ? '\xE9'
                                : static_cast<char>('!' + pick);
        }
        body += "\r\n";
    }
    sim::Draft draft;
    draft.bodyFormat = olFormatPlain;
    draft.body = body;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Submit(c, draft);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    const std::string eml = ReadFileBytes(c.Deliveries()[0].path);
    const size_t start = eml.find("\r\n\r\n");
    ASSERT_NE(start, std::string::npos);
    const std::string encoded = eml.substr(start + 4);
    for (const std::string& line : Lines(encoded)) {
        EXPECT_LE(line.size(), 76u) << line;
        if (!line.empty()) {
            EXPECT_TRUE(line.back() != ' ' && line.back() != '\t') << line;
        }
        // A soft break comes only where the next character (at most three
        // written) would pass the 76th column: never early in a line.
        if (!line.empty() && line.back() == '=') {
            EXPECT_GE(line.size(), 74u) << line;
        }
    }
    EXPECT_EQ(DecodeQuotedPrintable(encoded), body);
}

// A long run keeps nothing of what it delivered in memory: the files are
// the record, numbered as ever, and the client counts them.
TEST_F(SimTest, WithoutKeepingDeliveriesTheFilesAreTheOnlyRecord) {
    config.keepDelivered = false;
    auto& c = Start();
    for (const char* address : {"ann@example.com", "bob@example.com", "cy@example.com"}) {
        sim::Draft draft;
        draft.subject = std::string("for ") + address;
        draft.recipients = {sim::Recipient{address}};
        Submit(c, draft);
    }
    c.RunSpooler();
    EXPECT_EQ(c.DeliveredCount(), 3u);
    EXPECT_TRUE(c.Deliveries().empty());
    EXPECT_EQ(c.QueuedCount(), 0u);
    EXPECT_TRUE(c.FolderContents(olFolderSentMail).empty());
    EXPECT_TRUE(c.FolderContents(olFolderOutbox).empty());
    const std::string third = ReadFileBytes(config.deliveryFolder + "\\000003.eml");
    EXPECT_TRUE(HasLine(third, "To: cy@example.com")) << third;
    EXPECT_TRUE(HasLine(third, "Subject: for cy@example.com")) << third;
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

TEST_F(SimTest, ADeliveredFileIsUtf8WithWholeCharactersInEachEncodedWord) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = std::string(30, 'x') + " " + "张伟张伟张伟张伟张伟张伟张伟张伟张伟张伟 🎉🎉🎉";
    draft.bodyFormat = olFormatPlain;
    draft.body = "Καλημέρα\r\n";
    draft.recipients = {sim::Recipient{"łukasz@example.pl", "Łukasz Żółw", MAPI_TO}};
    Submit(c, draft);
    c.RunSpooler();
    ASSERT_EQ(c.Deliveries().size(), 1u);
    const std::string eml = ReadFileBytes(c.Deliveries()[0].path);
    EXPECT_TRUE(
        HasLine(eml, "To: =?utf-8?Q?=C5=81ukasz_=C5=BB=C3=B3=C5=82w?= <łukasz@example.pl>"));
    EXPECT_TRUE(HasLine(eml, "Content-Type: text/plain; charset=\"utf-8\""));
    EXPECT_TRUE(HasLine(eml, "=CE=9A=CE=B1=CE=BB=CE=B7=CE=BC=CE=AD=CF=81=CE=B1"));
    // Every encoded word of the subject decodes to whole UTF-8 characters.
    for (const std::string& line : Lines(eml)) {
        for (size_t at = line.find("=?utf-8?Q?"); at != std::string::npos;
             at = line.find("=?utf-8?Q?", at + 1)) {
            const size_t end = line.find("?=", at + 10);
            ASSERT_NE(end, std::string::npos);
            EXPECT_LE(end + 2 - at, 75u);
            std::string bytes;
            for (size_t k = at + 10; k < end; ++k) {
                if (line[k] == '=') {
                    bytes += static_cast<char>(std::stoi(line.substr(k + 1, 2), nullptr, 16));
                    k += 2;
                } else {
                    bytes += line[k];
                }
            }
            // A word ends between characters: not on a lead or inside a sequence.
            size_t i = 0;
            while (i < bytes.size()) {
                const unsigned char lead = static_cast<unsigned char>(bytes[i]);
                i += lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            }
            EXPECT_EQ(i, bytes.size()) << line;
        }
    }
}
