// Text beyond the ANSI code page, from the composed message and the list to
// the delivered file: Polish, Greek, Chinese and emoji in the subject and the
// bodies, a recipient whose address has a non-ASCII local part, and HTML whose
// bytes are in a code page of their own. Each delivered .eml is decoded back
// here and must hold exactly the merged characters. Runs natively and under
// Wine, where the system's own conversions do the work.
#include "job_fixture.h"

#include "data/settings.h"
#include "engine/store_text.h"

#include <utility>

namespace {

const char kSubject[] = "Zażółć gęślą jaźń, [[Name]] — Αλέξανδρος, 张伟 🎉";
const char kBody[] = "Dear [[Name]],\r\nΚαλημέρα! 你好，世界。\r\nłódź 😀 [[E-Mail]]\r\n";

// Lists are read as bytes: UTF-8 values pass as they are.
const char kList[] = "Name,E-Mail\r\n"
                     "Łukasz Żółw,łukasz@example.pl\r\n"
                     "Αλέξανδρος,alex@example.gr\r\n";

std::string Merge(std::string text, const std::string& name, const std::string& address) {
    for (const auto& [token, value] :
         {std::pair<std::string, std::string>{"[[Name]]", name}, {"[[E-Mail]]", address}})
        for (size_t at = text.find(token); at != std::string::npos;
             at = text.find(token, at + value.size()))
            text.replace(at, token.size(), value);
    return text;
}

int Hex(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Quoted-printable back to bytes: soft breaks joined, =XX decoded.
std::string DecodeQuotedPrintable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;
        } else if (i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        } else {
            ADD_FAILURE() << "a bare = in the body";
        }
    }
    return out;
}

// A header's value, its folds undone, its UTF-8 Q-encoded words decoded (the
// blanks between two words are not text).
std::string HeaderText(const std::string& eml, const std::string& name) {
    const std::string head = eml.substr(0, eml.find("\r\n\r\n"));
    size_t at = head.find(name + ": ");
    if (at != 0 && at != std::string::npos)
        at = head.find("\r\n" + name + ": ") + 2;
    if (at == std::string::npos)
        return std::string();
    std::string value;
    for (size_t i = at + name.size() + 2; i < head.size(); ++i) {
        if (head.compare(i, 3, "\r\n ") == 0) {
            i += 2;
            continue;
        }
        if (head.compare(i, 2, "\r\n") == 0)
            break;
        value += head[i];
    }
    std::string out;
    bool afterWord = false;
    for (size_t i = 0; i < value.size();) {
        if (value.compare(i, 10, "=?utf-8?Q?") == 0) {
            const size_t end = value.find("?=", i + 10);
            const std::string word = value.substr(i + 10, end - i - 10);
            for (size_t k = 0; k < word.size(); ++k) {
                if (word[k] == '_') {
                    out += ' ';
                } else if (word[k] == '=' && k + 2 < word.size()) {
                    out += static_cast<char>(Hex(word[k + 1]) * 16 + Hex(word[k + 2]));
                    k += 2;
                } else {
                    out += word[k];
                }
            }
            i = end + 2;
            afterWord = true;
            continue;
        }
        if (afterWord && value[i] == ' ' && value.compare(i + 1, 2, "=?") == 0) {
            ++i;
            continue;
        }
        afterWord = false;
        out += value[i++];
    }
    return out;
}

std::string BodyOf(const std::string& eml) {
    const size_t at = eml.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : DecodeQuotedPrintable(eml.substr(at + 4));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The HTML the copies were given through HTMLBody.
std::vector<std::string> HtmlBodiesPut(sim::MailClient& client) {
    std::vector<std::string> out;
    for (const auto& call : client.Calls("HTMLBody"))
        out.push_back(call.args);
    return out;
}

} // namespace

// ---- The plain message -------------------------------------------------------------------------

TEST_F(JobTest, EveryCharacterOfTheMessageAndTheListReachesTheRecipient) {
    StartClient();
    sim::Draft draft;
    draft.subject = kSubject;
    draft.body = kBody;
    draft.bodyFormat = olFormatPlain;
    Compose(draft);
    WriteList(kList);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(DeliveredTo(), (std::vector<std::string>{"łukasz@example.pl", "alex@example.gr"}));
    EXPECT_TRUE(client->NonDeliveries().empty());

    const std::pair<std::string, std::string> people[] = {{"Łukasz Żółw", "łukasz@example.pl"},
                                                          {"Αλέξανδρος", "alex@example.gr"}};
    for (size_t i = 0; i < 2; ++i) {
        const sim::Delivery& d = client->Deliveries()[i];
        const auto& [name, address] = people[i];
        const std::string subject = Merge(kSubject, name, address);
        const std::string body = Merge(kBody, name, address);
        EXPECT_EQ(d.subject, subject);
        EXPECT_FALSE(d.isHtml);
        // The one-off entry the address book made holds the address whole.
        sim::OneOffEntry entry;
        ASSERT_TRUE(sim::DecodeOneOffEntryId(d.recipients[0].entryId, &entry));
        EXPECT_EQ(entry.address, address);
        EXPECT_TRUE(entry.unicode);

        const std::string eml = ReadFileBytes(d.path);
        EXPECT_EQ(HeaderText(eml, "Subject"), subject);
        EXPECT_EQ(HeaderText(eml, "To"), address); // RFC 6532: the address as it is
        EXPECT_TRUE(Contains(eml, "Content-Type: text/plain; charset=\"utf-8\"\r\n"));
        EXPECT_EQ(BodyOf(eml), body);
    }
    // The sent list and the log name the recipient as the list did.
    EXPECT_TRUE(Contains(ReadLog(DataPaths.sentList), "Łukasz Żółw,łukasz@example.pl"));
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog), "To: łukasz@example.pl. Sent"));
}

// What a store gives as PT_STRING8 is its code page: had the job read the
// 8-bit forms, these would have come as '?'. The recipient's values went to
// the store as PT_UNICODE.
TEST_F(JobTest, TheOriginalIsReadAndTheRecipientWrittenAsUnicode) {
    StartClient();
    sim::Draft draft;
    draft.subject = kSubject;
    draft.body = kBody;
    draft.bodyFormat = olFormatPlain;
    Compose(draft);
    WriteList(kList);
    RunJob();
    ASSERT_FALSE(client->Calls("GetProps").empty());
    EXPECT_EQ(client->Calls("GetProps")[0].args, "0x0037001F"); // PR_SUBJECT_W
    bool bodyW = false;
    for (const auto& call : client->Calls("OpenProperty"))
        bodyW = bodyW || Contains(call.args, "tag 0x1000001F");
    EXPECT_TRUE(bodyW);
    ASSERT_EQ(client->Calls("ModifyRecipients").size(), 2u);
    EXPECT_TRUE(Contains(client->Calls("ModifyRecipients")[0].args, "\"łukasz@example.pl\""));
    EXPECT_EQ(client->Calls("CreateOneOff")[0].args,
              "\"łukasz@example.pl\", \"SMTP\", \"łukasz@example.pl\", flags 0x80010000");
}

// ---- HTML in its own code page -----------------------------------------------------------------

class HtmlCodePageTest : public JobTest {
protected:
    // A host-11 HTML message whose PR_HTML comes in `codePage`.
    void RunHtml(const std::string& html, UINT codePage, bool statedByStore) {
        StartClient();
        sim::Draft draft;
        draft.subject = "Hello [[Name]]";
        draft.html = html;
        draft.htmlCodePage = codePage;
        draft.internetCodePageKnown = statedByStore;
        Compose(draft);
        WriteList(kList);
        RunJob();
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        ASSERT_EQ(client->Deliveries().size(), 2u);
    }

    // The first copy's delivered HTML, checked to state the charset of its
    // part.
    std::string DeliveredHtml() {
        const sim::Delivery& d = client->Deliveries()[0];
        EXPECT_TRUE(d.isHtml);
        const std::string eml = ReadFileBytes(d.path);
        EXPECT_TRUE(Contains(eml, "Content-Type: text/html; charset=\"utf-8\"\r\n"));
        const std::string html = BodyOf(eml);
        EXPECT_FALSE(Contains(html, "windows-125")) << html;
        return html;
    }
};

// The store's code page wins over what the document says of itself; 你好 the
// store writes as references, as Windows-1250 lacks them.
TEST_F(HtmlCodePageTest, CentralEuropeanBytesAreDecodedByTheStoresCodePage) {
    RunHtml("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=iso-8859-1\"></head><body><p>Zażółć gęślą jaźń, [[Name]]! 你好</p>"
            "</body></html>",
            1250, true);
    const std::string html = DeliveredHtml();
    EXPECT_TRUE(Contains(html, "content=\"text/html; charset=utf-8\"")) << html;
    EXPECT_TRUE(Contains(html, "<p>Zażółć gęślą jaźń, Łukasz Żółw! &#20320;&#22909;</p>")) << html;
}

TEST_F(HtmlCodePageTest, WithoutTheStoresCodePageTheDocumentsOwnCharsetIsRead) {
    RunHtml("<html><head><meta charset=\"windows-1253\"></head><body><p>Καλημέρα [[Name]]</p>"
            "</body></html>",
            1253, false);
    const std::string html = DeliveredHtml();
    EXPECT_TRUE(Contains(html, "<meta charset=\"utf-8\">")) << html;
    EXPECT_TRUE(Contains(html, "<p>Καλημέρα Łukasz Żółw</p>")) << html;
}

TEST_F(HtmlCodePageTest, WithNeitherTheBytesAreAnsi) {
    RunHtml("<p>Café crème, [[Name]]</p>", 1252, false);
    EXPECT_TRUE(Contains(DeliveredHtml(), "<p>Café crème, Łukasz Żółw</p>"));
}

TEST_F(HtmlCodePageTest, Utf8HtmlWithEmojiPassesWhole) {
    RunHtml("<html><head><meta charset=\"utf-8\"></head><body><p>[[Name]] 🎉 北京 Αθήνα</p>"
            "</body></html>",
            CP_UTF8, true);
    const std::string html = DeliveredHtml();
    EXPECT_TRUE(Contains(html, "<p>Łukasz Żółw 🎉 北京 Αθήνα</p>")) << html;
    // Put through HTMLBody, a wide string: nothing was lost on the way.
    for (const std::string& put : HtmlBodiesPut(*client))
        EXPECT_FALSE(Contains(put, "?")) << put;
}

// ---- The HTML's own declaration ----------------------------------------------------------------

TEST(StoreTextTest, TheDeclarationIsFoundOnlyInAMetaTagInItsUsualShapes) {
    auto declared = [](const std::string& html) {
        return StoreText::DeclaredCodePage(html.data(), html.size());
    };
    EXPECT_EQ(
        declared("<META HTTP-EQUIV=Content-Type CONTENT=\"text/html; CHARSET=Windows-1250\">"),
        1250u);
    EXPECT_EQ(declared("<head><meta charset='iso-8859-7'/></head>"), 28597u);
    EXPECT_EQ(declared("<meta charset = utf-8>"), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(declared("<p>charset=windows-1253</p><meta name=x>"), 0u); // text, not a meta
    EXPECT_EQ(declared("<meta charset=\"x-unknown\">"), 0u);
    EXPECT_EQ(declared("<meta charset=\"windows-1253\""), 1253u); // a tag cut short still says it
    EXPECT_EQ(declared(""), 0u);
}

TEST(StoreTextTest, DecodingRestatesTheCharsetAndKeepsEverythingElse) {
    const std::string bytes =
        "<meta content=\"text/html; charset=windows-1253\">\xC1\xE8\xDE\xED\xE1";
    Utf8Text html = StoreText::HtmlToUtf8(bytes.data(), bytes.size(), 1253);
    ASSERT_TRUE(html);
    EXPECT_STREQ(html.Get(), "<meta content=\"text/html; charset=utf-8\">Αθήνα");
    // UTF-16LE stops at its first NUL unit; an odd last byte is no character.
    const char wide[] = {'\x41', '\x01', 'a', '\0', '\0', '\0', 'b', '\0'};
    EXPECT_STREQ(StoreText::FromUtf16Bytes(wide, sizeof wide).Get(), "Ła");
    EXPECT_STREQ(StoreText::FromUtf16Bytes(wide, 3).Get(), "Ł");
}
