// Tokens the HTML editor split with its markup, rejoined before the merge.
#include "list_helpers.h"

#include "data/merge.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Unsplit {
    size_t count;
    std::string html;
};

// Runs on a copy with guard bytes after its NUL, which must stay as they were.
Unsplit UnsplitCopy(const std::string& html, const Record& header) {
    std::vector<char> buffer(html.begin(), html.end());
    buffer.push_back('\0');
    buffer.insert(buffer.end(), 8, '#');
    const size_t count = UnsplitHtmlTokens(buffer.data(), header.get());
    EXPECT_EQ(std::string(buffer.end() - 8, buffer.end()), "########") << "wrote past the end";
    return Unsplit{count, buffer.data()};
}

const Record& Header() {
    static const Record header{"E-mail", "First Name", "Name"};
    return header;
}

std::string Rejoined(const std::string& html) {
    return UnsplitCopy(html, Header()).html;
}

// ---- What the editor writes ------------------------------------------------------

TEST(UnsplitHtmlTokens, TheEditorsShapesReadAsTheTokenTyped) {
    // The markup moves to just after the token, in its order.
    EXPECT_EQ(Rejoined("<p>Dear [[<span lang=EN-GB>First</span> Name]],</p>"),
              "<p>Dear [[First Name]]<span lang=EN-GB></span>,</p>");
    EXPECT_EQ(Rejoined("[[First <b>Name</b>]]"), "[[First Name]]<b></b>");
    EXPECT_EQ(Rejoined("[[<span style='mso-bidi-font-weight:bold'>First</span><span> "
                       "</span>Name]]"),
              "[[First Name]]<span style='mso-bidi-font-weight:bold'></span><span></span>");
    EXPECT_EQ(Rejoined("[[Name<o:p></o:p>]]"), "[[Name]]<o:p></o:p>");
    EXPECT_EQ(Rejoined("[[<!--[if gte mso 9]><xml>x</xml><![endif]-->Name]]"),
              "[[Name]]<!--[if gte mso 9]><xml>x</xml><![endif]-->");
    // Letter case is the merge's to ignore.
    EXPECT_EQ(Rejoined("[[first <i>NAME</i>]]"), "[[first NAME]]<i></i>");
}

TEST(UnsplitHtmlTokens, TagsThatCrossTheTokensEdgeStillPair) {
    // Run by run, as the editor splits a token between two formats.
    EXPECT_EQ(Rejoined("<span lang=EN-GB>[[First</span><span lang=DE> Name]]</span>"),
              "<span lang=EN-GB>[[First Name]]</span><span lang=DE></span>");
    EXPECT_EQ(Rejoined("<b>[[First</b> Name]] rest"), "<b>[[First Name]]</b> rest");
    EXPECT_EQ(Rejoined("[[First <b>Name]] rest</b>"), "[[First Name]]<b> rest</b>");
}

TEST(UnsplitHtmlTokens, BracketsSplitByMarkup) {
    EXPECT_EQ(Rejoined("[<span>[</span>First Name]]"), "[[First Name]]<span></span>");
    EXPECT_EQ(Rejoined("[<span>[First Name</span>]]"), "[[First Name]]<span></span>");
    EXPECT_EQ(Rejoined("[[Name]<b>]</b>"), "[[Name]]<b></b>");
    EXPECT_EQ(Rejoined("[<a>[<b>Name<c>]<d>]"), "[[Name]]<a><b><c><d>");
}

TEST(UnsplitHtmlTokens, EditorBlanksAreBlanksWhenTheTextAsItStandsNamesNoField) {
    EXPECT_EQ(Rejoined("[[<span>First</span><span>&nbsp;</span>Name]]"),
              "[[First Name]]<span></span><span></span>");
    EXPECT_EQ(Rejoined("[[First&nbsp;Name]]"), "[[First Name]]");
    EXPECT_EQ(Rejoined("[[First&#160;Name]]"), "[[First Name]]");
    EXPECT_EQ(Rejoined("[[First&#xA0;Name]]"), "[[First Name]]");
    // The editor breaks long lines where a blank was.
    EXPECT_EQ(Rejoined("[[<span>First\r\nName</span>]]"), "[[First Name]]<span></span>");
    EXPECT_EQ(Rejoined("[[First\nName]]"), "[[First Name]]");
    // Two blanks are not one.
    EXPECT_EQ(Rejoined("[[First&nbsp; Name]]"), "[[First&nbsp; Name]]");
    // A field whose name holds the reference itself is taken as it stands.
    const Record header{"A&nbsp;B", "A B"};
    EXPECT_EQ(UnsplitCopy("[[A&nbsp;<b>B</b>]]", header).html, "[[A&nbsp;B]]<b></b>");
}

// ---- What is left as it stands -------------------------------------------------------

TEST(UnsplitHtmlTokens, EverythingButTheTokensIsLeftByteForByte) {
    const std::vector<std::string> unchanged = {
        "",
        "<p>No tokens at all &amp; a < b > c</p>",
        "[[<span>Nobody</span>]]",        // names no field
        "[[First <b>Nam</b>e]",           // one closing bracket
        "[[<b>First Name</b>",            // no closing pair
        "]] [[<b>First Name</b>",         // closing before opening
        "[[Name]]",                       // nothing to rejoin
        "[<b>x</b>[Name]]",               // text between the brackets
        "[[Na<b>me]x]",                   // a single "]" in the name
        "[[First <b>Name</b> and more]]", // more than the field's name
        "[[First <b>Name",                // a tag never closed at the end
        "[[Name<!-- never closed ]]",     // a comment running to the end
        "<!--[[First <b>Name</b>]]-->",   // within a comment
        "<span title=\"[[First <b>Name</b>]]\">x</span>",
    };
    for (const std::string& html : unchanged) {
        const Unsplit u = UnsplitCopy(html, Header());
        EXPECT_EQ(u.html, html);
        EXPECT_EQ(u.count, 0u) << html;
    }
    EXPECT_EQ(UnsplitCopy("[[<b>Name</b>]]", Record{}).html, "[[<b>Name</b>]]");
    EXPECT_EQ(UnsplitHtmlTokens(nullptr, Header().get()), 0u);
}

TEST(UnsplitHtmlTokens, MarkupIsReadAsABrowserReadsIt) {
    // A ">" in a quoted attribute value does not end the tag.
    EXPECT_EQ(Rejoined("[[<span title=\"a>b\">Name</span>]]"),
              "[[Name]]<span title=\"a>b\"></span>");
    EXPECT_EQ(Rejoined("[[<span title = 'x]]y'>Name</span>]]"),
              "[[Name]]<span title = 'x]]y'></span>");
    // A comment holding "]]" is one piece of markup.
    EXPECT_EQ(Rejoined("[[Na<!-- ]] -->me]]"), "[[Name]]<!-- ]] -->");
    EXPECT_EQ(Rejoined("[[Na<!---->me]]"), "[[Name]]<!---->");
    // Nested and unbalanced tags are all just markup.
    EXPECT_EQ(Rejoined("[[<b><i><u>Na</i>m</b>e]]"), "[[Name]]<b><i><u></i></b>");
    // A "<" that opens no tag is text, and "[[" within a tag is not a token.
    EXPECT_EQ(Rejoined("<a href='[['>[[<b>Name</b>]]</a>"), "<a href='[['>[[Name]]<b></b></a>");
    const Record header{"a < b"};
    EXPECT_EQ(UnsplitCopy("[[a <b>< b</b>]]", header).html, "[[a < b]]<b></b>");
}

TEST(UnsplitHtmlTokens, TheTokenOpensAtTheLastPairAsTheMergeReadsIt) {
    EXPECT_EQ(Rejoined("[[[<b>Name</b>]]"), "[[[Name]]<b></b>");
    EXPECT_EQ(Rejoined("[[x[[<b>Name</b>]]"), "[[x[[Name]]<b></b>");
    EXPECT_EQ(Rejoined("[<i>[</i>[<b>Name</b>]]"), "[<i>[[Name]]</i><b></b>");
}

TEST(UnsplitHtmlTokens, CountsTheTokensRejoinedAndTextAroundThemStays) {
    const Unsplit u = UnsplitCopy(
        "Hi [[<b>Name</b>]], [[Name]] and [[<i>E-mail</i>]]; [[<b>x</b>]] bye", Header());
    EXPECT_EQ(u.count, 2u);
    EXPECT_EQ(u.html, "Hi [[Name]]<b></b>, [[Name]] and [[E-mail]]<i></i>; [[<b>x</b>]] bye");
}

TEST(UnsplitHtmlTokens, TooMuchMarkupInOneTokenLeavesItAsItStands) {
    std::string many = "[[Na";
    for (int i = 0; i < 200; ++i)
        many += "<b>";
    many += "me]]";
    EXPECT_EQ(Rejoined(many), many);
}

// A 2 MB body with 30 split tokens: each rejoined, then merged. (Its time
// is a benchmark's to show, not this test's.)
TEST(UnsplitHtmlTokens, ALargeBodyHasEverySplitTokenRejoined) {
    const std::string para = "<p class=Normal><span lang=EN-GB style='font-size:11.0pt'>Some "
                             "text [x] &amp; more</span><o:p></o:p><!-- [if] --></p>\r\n";
    std::string body;
    for (int t = 0; t < 30; ++t) {
        while (body.size() < static_cast<size_t>(t + 1) * 70000)
            body += para;
        body += "[[<span lang=EN-GB>First</span><span>&nbsp;</span>Name]]";
    }
    std::vector<char> html(body.size() + 1);
    std::memcpy(html.data(), body.c_str(), body.size() + 1);
    EXPECT_EQ(UnsplitHtmlTokens(html.data(), Header().get()), 30u);

    const Record record{"ann@example.com", "Ann", "Smith"};
    Record escaped;
    ASSERT_TRUE(EscapeHtmlValues(record.get(), escaped.get()));
    int need = 0;
    ASSERT_EQ(MergeHtmlFields(html.data(), 0, Header().get(), record.get(), escaped.get(), &need),
              1);
    std::vector<char> merged(static_cast<size_t>(need) + 10);
    std::memcpy(merged.data(), html.data(), std::strlen(html.data()) + 1);
    ASSERT_EQ(MergeHtmlFields(merged.data(), need + 1, Header().get(), record.get(), escaped.get(),
                              nullptr),
              1);
    size_t names = 0;
    for (const char* p = merged.data(); (p = std::strstr(p, "Ann<span lang=EN-GB>")); ++p)
        ++names;
    EXPECT_EQ(names, 30u);
}

} // namespace
