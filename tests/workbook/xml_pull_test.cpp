// The platform's XML pull reader, the same checks over XmlLite under Wine
// and over libxml2 natively: what a workbook's parts hold is delivered
// alike, and what a hostile document tries is refused alike.
#include "test_support.h"

#include "platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using XmlPullTest = PlatformTest;

struct Source {
    std::string bytes;
    size_t at = 0;
    int piece = 3; // small pieces: every token straddles a read
    bool failAtEnd = false;

    static int Read(void* context, char* buffer, int size) {
        auto* s = static_cast<Source*>(context);
        if (s->at == s->bytes.size() && s->failAtEnd)
            return -1;
        const size_t n = std::min<size_t>(
            {static_cast<size_t>(size), static_cast<size_t>(s->piece), s->bytes.size() - s->at});
        std::memcpy(buffer, s->bytes.data() + s->at, n);
        s->at += n;
        return static_cast<int>(n);
    }
};

// The document as the reader saw it: "<name a=v>" "text" "</name>", and
// "!error" when it failed.
std::string Walk(Source& source, std::string* error = nullptr) {
    XmlPull* reader = XmlPullOpen(&Source::Read, &source);
    EXPECT_NE(reader, nullptr);
    if (!reader)
        return "";
    std::string seen;
    for (;;) {
        const int node = XmlPullNext(reader);
        if (node == XmlPullEnd)
            break;
        if (node == XmlPullFailed) {
            seen += "!error";
            if (error)
                *error = XmlPullError(reader);
            break;
        }
        if (node == XmlPullElement) {
            seen +=
                "<" + std::string(XmlPullName(reader)) + "@" + std::to_string(XmlPullDepth(reader));
            for (const char* name : {"r", "t", "id", "s"})
                if (const char* value = XmlPullAttribute(reader, name))
                    seen += std::string(" ") + name + "=" + value;
            seen += XmlPullIsEmpty(reader) ? "/>" : ">";
        } else if (node == XmlPullEndElement) {
            seen += "</" + std::string(XmlPullName(reader)) + ">";
        } else {
            size_t length = 0;
            const char* text = XmlPullValue(reader, &length);
            seen += "[" + std::string(text, length) + "]";
        }
    }
    EXPECT_EQ(XmlPullNext(reader),
              seen.find("!error") == std::string::npos ? XmlPullEnd : XmlPullFailed);
    XmlPullClose(reader);
    return seen;
}

std::string Walk(const std::string& document, std::string* error = nullptr) {
    Source source;
    source.bytes = document;
    return Walk(source, error);
}

TEST_F(XmlPullTest, APartsElementsAttributesAndTextsArriveInUtf8) {
    const std::string sheet =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<!-- a comment --><?pi passed over?>"
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> "
        "J\xC3\xBCrgen &amp; &#x4E2D;&#25991; &lt;&gt;&quot;&apos; </t></is></c>"
        "<c r=\"B1\" s=\"3\"/><c r:id=\"rId7\"><v><![CDATA[0042]]></v></c></row></sheetData>"
        "</worksheet>\n";
    EXPECT_EQ(Walk(sheet), "<worksheet@0><sheetData@1><row@2 r=1><c@3 r=A1 t=inlineStr><is@4>"
                           "<t@5>[ J\xC3\xBCrgen & \xE4\xB8\xAD\xE6\x96\x87 <>\"' ]</t></is></c>"
                           "<c@3 r=B1 s=3/><c@3 id=rId7><v@4>[0042]</v></c></row></sheetData>"
                           "</worksheet>");
}

// LibreOffice writes a cell's type twice, in two namespaces: no fault. The
// same attribute twice in one namespace is one.
TEST_F(XmlPullTest, AnAttributesLocalNameMayRecurInAnotherNamespace) {
    EXPECT_EQ(Walk("<c xmlns:office=\"urn:office\" xmlns:calcext=\"urn:calcext\" "
                   "office:t=\"float\" calcext:t=\"error\" r=\"A1\"/>"),
              "<c@0 r=A1 t=float/>");
    const std::string seen =
        Walk("<c xmlns:p=\"urn:x\" p:t=\"1\" r=\"A1\" xmlns:q=\"urn:y\" q:t=\"2\" p:t=\"3\"/>");
    EXPECT_EQ(seen.substr(seen.size() - 6), "!error");
}

TEST_F(XmlPullTest, UtfSixteenDocumentsAreDeliveredInUtf8Too) {
    const std::string utf8 = "<t>\xC3\xA9\xF0\x9F\x98\x80</t>";
    std::string utf16 = "\xFF\xFE";
    // "<t>é😀</t>" in UTF-16LE.
    for (uint16_t unit : {0x3C, 0x74, 0x3E, 0xE9, 0xD83D, 0xDE00, 0x3C, 0x2F, 0x74, 0x3E}) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    EXPECT_EQ(Walk(utf8), "<t@0>[\xC3\xA9\xF0\x9F\x98\x80]</t>");
    EXPECT_EQ(Walk(utf16), "<t@0>[\xC3\xA9\xF0\x9F\x98\x80]</t>");
}

TEST_F(XmlPullTest, DocumentTypesAndEntitiesAreNeverProcessed) {
    const char* hostile[] = {
        // An entity expanding a billion times.
        "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
        "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
        "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>"
        "<sst><si><t>&lol3;</t></si></sst>",
        // An external entity naming a file and one naming a web address.
        "<!DOCTYPE x [<!ENTITY f SYSTEM \"file:///etc/passwd\">]><sst><t>&f;</t></sst>",
        "<!DOCTYPE x SYSTEM \"http://example.invalid/x.dtd\"><sst/>",
        // A parameter entity.
        "<!DOCTYPE x [<!ENTITY % p SYSTEM \"http://example.invalid/p\"> %p;]><sst/>",
    };
    for (const char* document : hostile) {
        SCOPED_TRACE(document);
        std::string error;
        const std::string seen = Walk(document, &error);
        EXPECT_EQ(seen.find("lol"), std::string::npos);
        EXPECT_EQ(seen.find("root"), std::string::npos);
        EXPECT_EQ(seen.substr(seen.size() - 6), "!error");
        EXPECT_NE(error.find("DTD"), std::string::npos) << error;
    }
    // An entity no declaration defines is never expanded: the reading fails.
    std::string error;
    const std::string seen = Walk("<sst><t>&undefined;</t></sst>", &error);
    EXPECT_EQ(seen.substr(seen.size() - 6), "!error");
    EXPECT_EQ(seen.find("undefined"), std::string::npos);
    EXPECT_FALSE(error.empty());
}

TEST_F(XmlPullTest, BrokenDocumentsAndFailingSourcesFailAndStayFailed) {
    for (const char* broken : {"", "<a>", "<a></b>", "<a x=\"1\" x=\"2\"/>", "<a>\x01</a>",
                               "<a>\xC3</a>", "<a/><b/>", "text"}) {
        SCOPED_TRACE(broken);
        std::string error;
        const std::string seen = Walk(broken, &error);
        ASSERT_GE(seen.size(), 6u);
        EXPECT_EQ(seen.substr(seen.size() - 6), "!error");
        EXPECT_FALSE(error.empty());
    }
    Source failing;
    failing.bytes = "<sst><si><t>a</t></si>";
    failing.failAtEnd = true;
    std::string error;
    const std::string seen = Walk(failing, &error);
    EXPECT_EQ(seen.substr(seen.size() - 6), "!error");
    EXPECT_EQ(error, "its bytes could not be read");
}

} // namespace
