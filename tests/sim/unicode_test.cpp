// The store keeps every character: PT_UNICODE answers with all of them,
// PT_STRING8 with its code page's, the HTML's bytes come in the code page
// PR_INTERNET_CPID names, and one-off entries and recipients keep wide texts;
// the delivered file is UTF-8 (delivery_test.cpp).
#include "sim_test.h"

using namespace simtest;

namespace {

Ptr<IMessage> MessageOf(IDispatch* item) {
    Result r;
    if (FAILED(Get(item, "MAPIOBJECT", &r.v)) || r.v.vt != VT_UNKNOWN)
        return Ptr<IMessage>();
    return QueryAs<IMessage>(r.v.punkVal, IID_IMessage);
}

// GetProps of one tag with `flags`: the type given back and the value as
// UTF-8 (a PT_UNICODE value) or as its bytes (PT_STRING8).
std::string Prop(IMessage* message, ULONG tag, ULONG flags, ULONG* type) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    *type = PT_ERROR;
    if (FAILED(message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), flags, &count, &values)))
        return std::string();
    std::string text;
    *type = PROP_TYPE(values[0].ulPropTag);
    if (*type == PT_STRING8) {
        text = values[0].Value.lpszA;
    } else if (*type == PT_UNICODE) {
        BSTR b = SysAllocString(reinterpret_cast<const OLECHAR*>(values[0].Value.lpszW));
        text = Narrow(b);
        SysFreeString(b);
    } else if (*type == PT_LONG) {
        text = std::to_string(values[0].Value.l);
    }
    MAPIFreeBuffer(values);
    return text;
}

std::string Utf16Le(const std::string& utf8) {
    std::string out;
    for (OLECHAR c : Wide(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

const char kMixed[] = "Zażółć Αθήνα 张伟 🎉";

// kMixed in Windows-1252: ó is there, the rest is '?'. The emoji, a surrogate
// pair, is one '?' in the substitute and one per unit on Windows.
bool LostBeyondTheCodePage(const std::string& bytes) {
    const std::string kept = "Za?\xF3?? ????? ?? ";
    return bytes.compare(0, kept.size(), kept) == 0 && bytes.size() > kept.size() &&
           bytes.find_first_not_of('?', kept.size()) == std::string::npos;
}

} // namespace

TEST_F(SimTest, TextIsWholeAsUnicodeAndInTheCodePageAs8Bit) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = kMixed;
    draft.body = std::string(kMixed) + "\r\n";
    draft.bodyFormat = olFormatPlain;
    Ptr<IMessage> message = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    ASSERT_TRUE(message);
    ULONG type = 0;
    EXPECT_EQ(Prop(message.Get(), PR_SUBJECT_W, 0, &type), kMixed);
    EXPECT_EQ(type, PT_UNICODE);
    // Windows-1252 has ó but none of the others: they are lost, as in a real store.
    EXPECT_TRUE(LostBeyondTheCodePage(Prop(message.Get(), PR_SUBJECT, 0, &type)));
    EXPECT_EQ(type, PT_STRING8);
    // No type given: 8-bit, unless MAPI_UNICODE asks for wide.
    Prop(message.Get(), PROP_TAG(PT_UNSPECIFIED, 0x0037), 0, &type);
    EXPECT_EQ(type, PT_STRING8);
    EXPECT_EQ(Prop(message.Get(), PROP_TAG(PT_UNSPECIFIED, 0x0037), MAPI_UNICODE, &type), kMixed);
    EXPECT_EQ(type, PT_UNICODE);

    std::string body;
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY_W, &body), S_OK);
    EXPECT_EQ(body, Utf16Le(draft.body)); // no terminating NUL
    ASSERT_EQ(ReadStream(message.Get(), PR_BODY, &body), S_OK);
    ASSERT_GE(body.size(), 2u);
    EXPECT_EQ(body.substr(body.size() - 2), "\r\n");
    EXPECT_TRUE(LostBeyondTheCodePage(body.substr(0, body.size() - 2)));

    // Written wide, read wide.
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    ASSERT_EQ(Put(item.Get(), "Subject", "Ελλάδα 北京"), S_OK);
    EXPECT_EQ(Text(item.Get(), "Subject"), "Ελλάδα 北京");
    EXPECT_EQ(Prop(MessageOf(item.Get()).Get(), PR_SUBJECT_W, 0, &type), "Ελλάδα 北京");
}

TEST_F(SimTest, TheHtmlComesInTheMessagesCodePageWithReferencesForWhatItLacks) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "html";
    draft.html = "<p>Łódź Ελλάδα 北京</p>";
    draft.htmlCodePage = 1250;
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    ULONG type = 0;
    EXPECT_EQ(Prop(message.Get(), PR_INTERNET_CPID, 0, &type), "1250");
    std::string html;
    ASSERT_EQ(ReadStream(message.Get(), PR_HTML, &html), S_OK);
    EXPECT_EQ(html,
              "<p>\xA3\xF3\x64\x9F &#917;&#955;&#955;&#940;&#948;&#945; &#21271;&#20140;</p>");
    // The object model's HTMLBody is the text itself.
    EXPECT_EQ(Text(item.Get(), "HTMLBody"), "<p>Łódź Ελλάδα 北京</p>");

    // Bytes written are read in the code page PR_INTERNET_CPID names.
    SPropValue cpid;
    cpid.ulPropTag = PR_INTERNET_CPID;
    cpid.Value.l = 1253;
    ASSERT_EQ(message->SetProps(1, &cpid, nullptr), S_OK);
    std::string greek = "<p>\xC1\xE8\xDE\xED\xE1</p>"; // Αθήνα in Windows-1253
    SPropValue bytes;
    bytes.ulPropTag = PR_HTML;
    bytes.Value.bin.cb = static_cast<ULONG>(greek.size());
    bytes.Value.bin.lpb = reinterpret_cast<LPBYTE>(&greek[0]);
    ASSERT_EQ(message->SetProps(1, &bytes, nullptr), S_OK);
    EXPECT_EQ(Text(item.Get(), "HTMLBody"), "<p>Αθήνα</p>");

    // Without PR_INTERNET_CPID the store states none.
    draft.internetCodePageKnown = false;
    Ptr<IMessage> unstated = MessageOf(c.CurrentItem(c.OpenCompose(draft).Get()).Get());
    Prop(unstated.Get(), PR_INTERNET_CPID, 0, &type);
    EXPECT_EQ(type, PT_ERROR);
}

// CreateOneOff (MAPI reference): 8-bit strings unless MAPI_UNICODE. A wide
// address keeps its characters; an 8-bit one is the store's code page.
TEST_F(SimTest, RecipientsAndOneOffEntriesKeepWideTexts) {
    auto& c = Start();
    std::string entryId;
    ASSERT_EQ(OneOffFromAddressBook(c.Session().Get(), "łukasz@example.pl", "Łukasz 张", &entryId),
              S_OK);
    sim::OneOffEntry entry;
    ASSERT_TRUE(sim::DecodeOneOffEntryId(entryId, &entry));
    EXPECT_TRUE(entry.unicode);
    EXPECT_EQ(entry.address, "łukasz@example.pl");
    EXPECT_EQ(entry.displayName, "Łukasz 张");

    LPADRBOOK book = nullptr;
    ASSERT_EQ(c.Session()->OpenAddressBook(0, nullptr, AB_NO_DIALOG, &book), S_OK);
    Ptr<IAddrBook> addressBook = Ptr<IAddrBook>::Adopt(book);
    char name[] = "Caf\xE9", type[] = "SMTP", address[] = "?ukasz@example.pl";
    ULONG size = 0;
    LPENTRYID made = nullptr;
    ASSERT_EQ(addressBook->CreateOneOff(name, type, address, 0, &size, &made), S_OK);
    ASSERT_TRUE(
        sim::DecodeOneOffEntryId(std::string(reinterpret_cast<const char*>(made), size), &entry));
    MAPIFreeBuffer(made);
    EXPECT_FALSE(entry.unicode);
    EXPECT_EQ(entry.displayName, "Café");

    sim::Draft draft;
    draft.subject = "to";
    Ptr<IDispatch> item = c.CurrentItem(c.OpenCompose(draft).Get());
    Ptr<IMessage> message = MessageOf(item.Get());
    LPADRLIST list = OneRecipient("łukasz@example.pl", "Łukasz 张", entryId);
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list), S_OK);
    FreePadrlist(list);
    const sim::MessageView view = c.View(item.Get());
    ASSERT_EQ(view.recipients.size(), 1u);
    EXPECT_EQ(view.recipients[0].address, "łukasz@example.pl");
    EXPECT_EQ(view.recipients[0].displayName, "Łukasz 张");
    EXPECT_EQ(Text(item.Get(), "To"), "Łukasz 张");
}
