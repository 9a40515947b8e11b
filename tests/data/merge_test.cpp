// The merge: tokens, field order, limits and room, measured and replaced the
// way the job does it.
#include "list_helpers.h"
#include "reference_merge.h"

#include "data/merge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Merged {
    int measured = 0;
    int ok = 0; // both calls succeeded
    std::string text;
};

// Measure, then merge into a buffer of the measured size, as the job does.
Merged JobMerge(const std::string& original, const Record& header, const Record& record) {
    Merged m;
    std::string unmerged = original;
    if (!MergeFields(unmerged.data(), 0, header.get(), record.get(), &m.measured))
        return m;
    EXPECT_EQ(unmerged, original) << "measuring changed the text";
    std::vector<char> buffer(static_cast<size_t>(m.measured) + 10, '\0');
    std::memcpy(buffer.data(), original.c_str(), original.size() + 1);
    m.ok = MergeFields(buffer.data(), m.measured + 1, header.get(), record.get(), nullptr);
    m.text = buffer.data();
    return m;
}

// Replace mode with a given room.
int MergeInto(std::string* text, int capacity, const Record& header, const Record& record) {
    std::vector<char> buffer(text->size() + 4096, '\0');
    std::memcpy(buffer.data(), text->c_str(), text->size() + 1);
    int ok = MergeFields(buffer.data(), capacity, header.get(), record.get(), nullptr);
    *text = buffer.data();
    return ok;
}

int Measure(const std::string& text, const Record& header, const Record& record) {
    std::string copy = text;
    int need = -1;
    EXPECT_EQ(MergeFields(copy.data(), 0, header.get(), record.get(), &need), 1);
    return need;
}

// The same into an HTML body: the values escaped.
Merged JobMergeHtml(const std::string& original, const Record& header, const Record& record) {
    Merged m;
    Record escaped;
    EXPECT_TRUE(EscapeHtmlValues(record.get(), escaped.get()));
    std::string unmerged = original;
    if (!MergeHtmlFields(unmerged.data(), 0, header.get(), record.get(), escaped.get(),
                         &m.measured))
        return m;
    std::vector<char> buffer(static_cast<size_t>(m.measured) + 10, '\0');
    std::memcpy(buffer.data(), original.c_str(), original.size() + 1);
    m.ok = MergeHtmlFields(buffer.data(), m.measured + 1, header.get(), record.get(), escaped.get(),
                           nullptr);
    m.text = buffer.data();
    return m;
}

// ---- Into an HTML body -------------------------------------------------------------

TEST(MergeHtml, ValuesAreEscapedSoTheyShowAsTheyRead) {
    const Record header{"Company", "Name"};
    const Record record{"Smith <Holdings> & \"Sons\"", "Ann"};
    const Merged m =
        JobMergeHtml("<a title=\"[[company]]\">[[Company]]</a> [[Name]]", header, record);
    EXPECT_EQ(m.ok, 1);
    EXPECT_EQ(m.text, "<a title=\"Smith &lt;Holdings&gt; &amp; &quot;Sons&quot;\">Smith "
                      "&lt;Holdings&gt; &amp; &quot;Sons&quot;</a> Ann");
    // The plain merge of the same record takes the value as it stands.
    EXPECT_EQ(JobMerge("[[Company]]", header, record).text, "Smith <Holdings> & \"Sons\"");
}

// The 511-byte limit is the plain value's: escaping may make it six times
// as long, and a value at the limit fails in both merges alike.
TEST(MergeHtml, TheValueLimitAppliesBeforeEscaping) {
    const Record header{"A"};
    const Merged quotes = JobMergeHtml("[[A]]", header, Record{std::string(511, '"')});
    EXPECT_EQ(quotes.ok, 1);
    std::string expected;
    for (int i = 0; i < 511; ++i)
        expected += "&quot;";
    EXPECT_EQ(quotes.text, expected);
    EXPECT_EQ(JobMergeHtml("no token", header, Record{std::string(512, 'v')}).ok, 0);
    EXPECT_EQ(JobMerge("no token", header, Record{std::string(512, 'v')}).ok, 0);
}

// ---- Tokens ------------------------------------------------------------------------

TEST(MergeTokens, MatchWithoutRegardToCaseAndEveryOccurrenceIsReplaced) {
    Record header{"Name", "Email"};
    Record record{"Ann", "ann@example.com"};
    Merged m = JobMerge("Hi [[name]], re [[NAME]]", header, record);
    EXPECT_EQ(m.ok, 1);
    EXPECT_EQ(m.text, "Hi Ann, re Ann");
    EXPECT_EQ(m.measured, 25); // the value is shorter than the token: the text's length + 1
    EXPECT_EQ(
        JobMerge("[[First Name]] [[first name]] [[FIRST NAME]]", Record{"First Name"}, Record{"Bo"})
            .text,
        "Bo Bo Bo");
}

TEST(MergeTokens, OnlyExactNamesBetweenTheBracketsMatch) {
    Record header{"Name"};
    Record record{"Ann"};
    EXPECT_EQ(JobMerge("Dear [[Nickname]],", header, record).text, "Dear [[Nickname]],");
    EXPECT_EQ(JobMerge("[[ Name ]] [Name] [[Name] [[Name]", header, record).text,
              "[[ Name ]] [Name] [[Name] [[Name]");
    EXPECT_EQ(JobMerge("[[[[Name]]]]", header, record).text, "[[Ann]]");
    EXPECT_EQ(JobMerge("[[[Name]]]", header, record).text, "[Ann]");
}

TEST(MergeTokens, OnlyAsciiLettersFoldCase) {
    // 0xE9 and 0xC9 are one letter in two cases in Windows-1252; they stay apart.
    Record header{"Caf\xE9"};
    Record record{"X"};
    EXPECT_EQ(JobMerge("[[CAF\xE9]] [[CAF\xC9]]", header, record).text, "X [[CAF\xC9]]");
}

TEST(MergeTokens, MissingAndEmptyValuesRemoveTheirTokens) {
    Record header{"First", "Last", "City"};
    Record shortRecord{"Ann", "Lee"};
    EXPECT_EQ(JobMerge("[[First]] [[Last]] of [[City]].", header, shortRecord).text,
              "Ann Lee of .");
    Record emptyValue{"", "Lee", "Oslo"};
    EXPECT_EQ(JobMerge("<[[First]]>[[first]]", header, emptyValue).text, "<>");
}

TEST(MergeTokens, ValuesBeyondTheHeaderAreNotUsed) {
    Record header{"A"};
    Record record{"1", "2"};
    EXPECT_EQ(JobMerge("[[A]][[B]]", header, record).text, "1[[B]]");
}

// ---- Field order ---------------------------------------------------------------------

TEST(MergeFieldOrder, LaterFieldsExpandTokensThatEarlierValuesBringIn) {
    Record header{"A", "B"};
    Record record{"<[[B]]>", "bbbbbbbbbb"};
    Record reversed{"a", "<[[A]]>"};
    Record headerBA{"B", "A"};
    EXPECT_EQ(JobMerge("[[A]]", header, record).ok, 0)
        << "the measure does not count the token the value brings in";
    std::string text = "[[A]]";
    EXPECT_EQ(MergeInto(&text, 100, header, record), 1);
    EXPECT_EQ(text, "<bbbbbbbbbb>");
    // A value holding an earlier field's token keeps it.
    text = "[[B]]";
    EXPECT_EQ(MergeInto(&text, 100, header, reversed), 1);
    EXPECT_EQ(text, "<[[A]]>");
    // A value holding its own field's token is not expanded again.
    Record self{"[[A]]", ""};
    text = "x[[A]]y[[a]]";
    EXPECT_EQ(MergeInto(&text, 100, header, self), 1);
    EXPECT_EQ(text, "x[[A]]y[[A]]");
}

TEST(MergeFieldOrder, AReplacementCanCompleteALaterFieldsToken) {
    Record header{"X", "Name"};
    Record record{"", "Ann"};
    std::string text = "[[Na[[X]]me]]";
    EXPECT_EQ(MergeInto(&text, 100, header, record), 1);
    EXPECT_EQ(text, "Ann");
}

TEST(MergeFieldOrder, OfTwoNamesEqualApartFromCaseTheFirstTakesEveryToken) {
    Record header{"name", "NAME"};
    Record record{"first", "second-and-longer"};
    Merged m = JobMerge("[[Name]] [[NAME]]", header, record);
    EXPECT_EQ(m.text, "first first");
    // Measuring counts the tokens for both fields.
    EXPECT_EQ(m.measured, 18 + 2 * (17 - 8));
}

// ---- Measuring -----------------------------------------------------------------------

TEST(MergeMeasure, IsTheMergedSizeAndNeverBelowTen) {
    Record header{"N"};
    Record record{"a long value"};
    EXPECT_EQ(Measure("", header, record), 10);
    EXPECT_EQ(Measure("12345678", header, record), 10);
    EXPECT_EQ(Measure("123456789", header, record), 10);
    EXPECT_EQ(Measure("1234567890", header, record), 11);
    EXPECT_EQ(Measure("[[n]]-[[N]]", header, record), 12 + 2 * (12 - 5));
    Merged m = JobMerge("", header, record);
    EXPECT_EQ(m.ok, 1);
    EXPECT_EQ(m.text, "");
    EXPECT_EQ(Measure("no tokens", Record{}, Record{}), 10);
}

// ---- Limits and room --------------------------------------------------------------

TEST(MergeLimits, AFieldNameOf507CharactersFailsEvenWithoutItsToken) {
    const std::string name506(506, 'n');
    const std::string name507(507, 'n');
    Merged ok = JobMerge("x [[" + name506 + "]] y", Record{name506}, Record{"v"});
    EXPECT_EQ(ok.ok, 1);
    EXPECT_EQ(ok.text, "x v y");
    int need = 0;
    std::string text = "no token";
    EXPECT_EQ(MergeFields(text.data(), 100, Record{name507}.get(), Record{"v"}.get(), &need), 0);
    EXPECT_EQ(MergeInto(&text, 100, Record{name507}, Record{"v"}), 0);
}

TEST(MergeLimits, AValueOf512CharactersFailsEvenWithoutItsToken) {
    const std::string value511(511, 'v');
    const std::string value512(512, 'v');
    Merged ok = JobMerge("[[A]]", Record{"A"}, Record{value511});
    EXPECT_EQ(ok.ok, 1);
    EXPECT_EQ(ok.text, value511);
    EXPECT_EQ(ok.measured, 512);
    int need = 0;
    std::string text = "no token";
    EXPECT_EQ(MergeFields(text.data(), 0, Record{"A"}.get(), Record{value512}.get(), &need), 0);
    EXPECT_EQ(MergeInto(&text, 1000, Record{"A"}, Record{value512}), 0);
    // A value beyond the header's fields is never looked at.
    EXPECT_EQ(MergeInto(&text, 1000, Record{"A"}, Record{"a", value512}), 1);
}

TEST(MergeLimits, TheValueLimitCountsCharactersNotBytes) {
    // 511 accented letters are 1022 bytes of UTF-8 and still one value that
    // fits; the 512th character fails however few bytes it takes.
    std::string accented;
    for (int i = 0; i < 511; ++i)
        accented += "\xC3\xAB";
    Merged ok = JobMerge("[[A]]", Record{"A"}, Record{accented});
    EXPECT_EQ(ok.ok, 1);
    EXPECT_EQ(ok.text, accented);
    Merged html = JobMergeHtml("<p>[[A]]</p>", Record{"A"}, Record{accented});
    EXPECT_EQ(html.ok, 1);
    EXPECT_EQ(html.text, "<p>" + accented + "</p>");
    std::string four; // 511 characters of four bytes each
    for (int i = 0; i < 511; ++i)
        four += "\xF0\x9F\x98\x80";
    EXPECT_EQ(JobMerge("[[A]]", Record{"A"}, Record{four}).ok, 1);
    EXPECT_EQ(JobMerge("[[A]]", Record{"A"}, Record{four + "x"}).ok, 0);
    EXPECT_EQ(JobMerge("x", Record{"A"}, Record{accented + "x"}).ok, 0);
    EXPECT_EQ(JobMergeHtml("x", Record{"A"}, Record{accented + "\xC3\xAB"}).ok, 0);
    // Quotes escape to six bytes each and still merge.
    const std::string quotes(511, '"');
    Merged escaped = JobMergeHtml("[[A]]", Record{"A"}, Record{quotes});
    EXPECT_EQ(escaped.ok, 1);
    EXPECT_EQ(escaped.text.size(), 511u * 6);
}

TEST(MergeLimits, FieldOverMergeLimitNamesTheFirstValueThatWillNotMerge) {
    Record header{"A", "B", "C"};
    EXPECT_EQ(FieldOverMergeLimit(header.get(), Record{"a", "b", "c"}.get()), -1);
    EXPECT_EQ(FieldOverMergeLimit(header.get(), Record{"a", std::string(512, 'b')}.get()), 1);
    // Beyond the header a value is never merged, so never too long.
    EXPECT_EQ(FieldOverMergeLimit(Record{"A"}.get(), Record{"a", std::string(600, 'b')}.get()), -1);
    EXPECT_EQ(FieldOverMergeLimit(header.get(), Record{std::string(511, 'a')}.get()), -1);
}

TEST(MergeLimits, ALaterFieldOverTheLimitLeavesTheTextPartlyMerged) {
    Record header{"A", "B"};
    Record record{"1", std::string(600, 'b')};
    std::string text = "[[A]][[B]]";
    EXPECT_EQ(MergeInto(&text, 1000, header, record), 0);
    EXPECT_EQ(text, "1[[B]]");
}

TEST(MergeLimits, ASubstitutionMustLeaveRoomForTheNul) {
    Record header{"A"};
    Record record{"12345678"};                    // 8 characters for a 5-character token: 3 more
    const std::string original = "x[[A]]y[[a]]z"; // 13 -> 19 characters
    std::string fits = original;
    EXPECT_EQ(MergeInto(&fits, 20, header, record), 1);
    EXPECT_EQ(fits, "x12345678y12345678z");
    std::string tight = original;
    EXPECT_EQ(MergeInto(&tight, 19, header, record), 0);
    EXPECT_EQ(tight, "x12345678yz") << "the failing token is removed and its value not put in";
}

// The measured size must stay one that a buffer can be made of: a count that
// passes the ceiling fails the measure instead of coming back cut to 32 bits.
TEST(MergeLimits, AMeasureThatWouldPassTheCeilingFails) {
    Record header{"a"};
    Record record{"twelve chars"}; // each token adds 7
    std::string text = "[[a]][[A]]";
    int need = -1;
    EXPECT_EQ(MergeFieldsWithin(text.data(), 0, header.get(), record.get(), &need, 25), 1);
    EXPECT_EQ(need, 25);
    EXPECT_EQ(MergeFieldsWithin(text.data(), 0, header.get(), record.get(), &need, 24), 0);
    EXPECT_EQ(need, 18) << "counted up to the token that passes the ceiling";
    EXPECT_EQ(MergeFieldsWithin(text.data(), 0, header.get(), record.get(), &need, 10), 0);
    EXPECT_EQ(need, 0) << "the text alone passes it";
    EXPECT_EQ(text, "[[a]][[A]]");
    std::vector<char> room(100, '\0');
    std::memcpy(room.data(), text.c_str(), text.size() + 1);
    EXPECT_EQ(MergeFieldsWithin(room.data(), 100, header.get(), record.get(), nullptr, 10), 1)
        << "replacing is bounded by the room, not by the ceiling";
    EXPECT_STREQ(room.data(), "twelve charstwelve chars");
}

TEST(MergeLimits, TextsWhoseMergeWouldPassTwoGigabytesFailToMeasure) {
    // [[a]] with a 511-character value: each token adds 506 bytes.
    Record header{"a"};
    Record record{std::string(511, 'v')};
    auto tokens = [](size_t count, size_t pad) {
        std::string text;
        text.reserve(5 * count + pad);
        for (size_t i = 0; i < count; ++i)
            text += "[[a]]";
        return text.append(pad, 'p');
    };
    // 511 bytes for each token, 1 for each padding byte and the NUL.
    std::string atCeiling = tokens(4202511, 509);
    int need = -1;
    EXPECT_EQ(MergeFields(atCeiling.data(), 0, header.get(), record.get(), &need), 1);
    EXPECT_EQ(need, kMergeMaximumNeed);
    EXPECT_EQ(ReferenceMergeFields(atCeiling.data(), 0, header.get(), record.get(), &need), 1);
    EXPECT_EQ(need, kMergeMaximumNeed);
    atCeiling += 'p';
    EXPECT_EQ(MergeFields(atCeiling.data(), 0, header.get(), record.get(), &need), 0);
    EXPECT_LE(need, kMergeMaximumNeed);
    atCeiling.clear();
    atCeiling.shrink_to_fit();
    // About 42 MB whose count passes 2^32: cut to 32 bits it would read as
    // some 7.6 MB, and the text would be copied into a buffer of that size.
    std::string past = tokens(8420000, 0);
    need = -1;
    EXPECT_EQ(MergeFields(past.data(), 0, header.get(), record.get(), &need), 0);
    EXPECT_GE(need, 0);
    EXPECT_LE(need, kMergeMaximumNeed);
}

// ---- FindNoCase ----------------------------------------------------------------------

TEST(FindNoCaseSearch, FindsTheFirstOccurrenceFoldingAsciiLettersOnly) {
    const char* text = "abc [[NAME]] [[name]]";
    EXPECT_EQ(FindNoCase(text, "[[name]]"), text + 4);
    EXPECT_EQ(FindNoCase(text + 5, "[[name]]"), text + 13);
    const char* overlap = "aaab";
    EXPECT_EQ(FindNoCase(overlap, "AAB"), overlap + 1);
    EXPECT_EQ(FindNoCase("Caf\xC9", "caf\xE9"), nullptr);
    EXPECT_EQ(FindNoCase("x[", "[["), nullptr);
    EXPECT_EQ(FindNoCase("", "a"), nullptr);
    EXPECT_EQ(FindNoCase("abc", "abcd"), nullptr);
    const char* last = "xx@";
    EXPECT_EQ(FindNoCase(last, "@"), last + 2);
}

} // namespace

// ---- The subject ------------------------------------------------------------------

TEST(FlattenSubject, EveryKindOfLineBreakBecomesOneBlank) {
    struct Case {
        std::string in, out;
        size_t breaks;
    } cases[] = {
        {"Hi Ann\r\nBcc: spy@example.com", "Hi Ann Bcc: spy@example.com", 1},
        {"a\rb\nc", "a b c", 2},
        {"a\r\n\r\nb", "a  b", 2},
        {"a\n\rb", "a  b", 2},
        {"a\xC2\x85"
         "b\xE2\x80\xA8"
         "c\xE2\x80\xA9"
         "d",
         "a b c d", 3},
        // Neighbours of the separators are left alone.
        {"\xC2\xA0\xE2\x80\xAA\xE2\x80\x94", "\xC2\xA0\xE2\x80\xAA\xE2\x80\x94", 0},
        {"\r", " ", 1},
        {"", "", 0},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(FlattenSubjectLines(text.data()), c.breaks) << c.in;
        EXPECT_EQ(std::string(text.c_str()), c.out) << c.in;
    }
}
