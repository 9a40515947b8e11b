// The reading layer: physical lines in text mode, their numbers, and the text
// of files that start with a UTF-8 or UTF-16LE byte-order mark, converted to
// encodings a list may have, delivered as UTF-8 in pieces of any size.
#include "list_helpers.h"
#include "test_support.h"

#include "data/list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ListFileTest = PlatformTest;

std::vector<std::string> Lines(const std::string& path, std::vector<long>* numbers = nullptr) {
    std::vector<std::string> lines;
    OpenList file(path);
    EXPECT_NE(file.get(), nullptr);
    const char* line;
    size_t length;
    while (ReadListLine(file.get(), &line, &length)) {
        lines.emplace_back(line, length);
        if (numbers)
            numbers->push_back(ListFileLineNumber(file.get()));
    }
    EXPECT_EQ(ListFileStopReason(file.get()), ListStopNone);
    return lines;
}

std::string WholeText(const std::string& path, ListTextEncoding* encoding = nullptr) {
    std::string text;
    OpenList file(path);
    EXPECT_NE(file.get(), nullptr);
    const char* piece;
    while (size_t n = ReadListText(file.get(), &piece))
        text.append(piece, n);
    // Known once the text has been read.
    if (encoding)
        *encoding = ListFileEncoding(file.get());
    return text;
}

TEST_F(ListFileTest, DeliversLinesWithOneLfWhetherTheFileUsesLfOrCrLf) {
    const std::vector<std::string> expected = {"Name,Email\n", "Ann,a@x\n", "Bo,b@x"};
    EXPECT_EQ(Lines(WriteList("lf.txt", "Name,Email\nAnn,a@x\nBo,b@x")), expected);
    EXPECT_EQ(Lines(WriteList("crlf.txt", "Name,Email\r\nAnn,a@x\r\nBo,b@x")), expected);
}

// A lone CR is a line end, as spreadsheets and old Mac programs write it;
// text mode has made each CR LF one LF, and a CR LF left (from CR CR LF on
// disk) is one line end. The raw bytes of each line stay as they are.
TEST_F(ListFileTest, ALoneCarriageReturnEndsALineAsAnLfDoes) {
    std::vector<long> numbers;
    EXPECT_EQ(Lines(WriteList("cr.txt", "a\rb\r\r\nc\n\n\r"), &numbers),
              (std::vector<std::string>{"a\r", "b\r\n", "c\n", "\n", "\r"}));
    EXPECT_EQ(numbers, (std::vector<long>{1, 2, 3, 4, 5}));
    // A CR at the end of the buffered text waits for what follows it.
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 30000; ++i) {
        const std::string line = std::string(i % 7 + 1, 'x') + (i % 3 ? "\r" : "\r\n");
        bytes += line;
        expected.push_back(i % 3 ? line : line.substr(0, line.size() - 2) + "\n");
    }
    EXPECT_TRUE(Lines(WriteList("many-cr.txt", bytes)) == expected);
    EXPECT_EQ(Lines(WriteList("utf16-cr.txt", Utf16File(u"a\rb\r\nc\r"))),
              (std::vector<std::string>{"a\r", "b\n", "c\r"}));
}

TEST_F(ListFileTest, EndsTheTextAtCtrlZAsTextModeDoes) {
    EXPECT_EQ(Lines(WriteList("ctrlz.txt", "a,b\n\x1A"
                                           "c,d\n")),
              std::vector<std::string>{"a,b\n"});
}

TEST_F(ListFileTest, CutsALineLongerThanTheLimitAndGoesOnAtTheNextLine) {
    const std::string longLine(kListLineLimit + 1000, 'x');
    std::vector<long> numbers;
    auto lines = Lines(WriteList("long.txt", "first\n" + longLine + "\nlast\n"), &numbers);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].size(), kListLineLimit);
    EXPECT_EQ(lines[1].find_first_not_of('x'), std::string::npos);
    EXPECT_EQ(lines[2], "last\n");
    EXPECT_EQ(numbers, (std::vector<long>{1, 2, 3}));
}

TEST_F(ListFileTest, ReadsLinesAcrossManyRefills) {
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string line = "record " + std::to_string(i) + std::string(i % 37, ',');
        bytes += line + "\r\n";
        expected.push_back(line + "\n");
    }
    EXPECT_EQ(Lines(WriteList("many.txt", bytes)), expected);
}

// A reader that finds line ends itself sees the buffered text up to its next
// CR, and the lines it takes are numbered and consumed like ReadListLine's.
TEST_F(ListFileTest, PeekedTextStopsAtACrAndTakenLinesCountAsRead) {
    OpenList file(WriteList("peek.txt", "head\nab,c\r\nd\re\nf\n"));
    const char* line;
    size_t length;
    ASSERT_EQ(ReadListLine(file.get(), &line, &length), 1); // fills the buffer
    const char* text;
    size_t buffered = PeekListText(file.get(), &text);
    EXPECT_EQ(std::string(text, buffered), "ab,c\nd");
    TakeListLine(file.get(), 5);
    EXPECT_EQ(ListFileLineNumber(file.get()), 2);
    buffered = PeekListText(file.get(), &text);
    EXPECT_EQ(std::string(text, buffered), "d") << "a lone CR ends the peek";
    ASSERT_EQ(ReadListLine(file.get(), &line, &length), 1);
    EXPECT_EQ(std::string(line, length), "d\r") << "a line of its own";
    buffered = PeekListText(file.get(), &text);
    EXPECT_EQ(std::string(text, buffered), "e\nf\n") << "past the CR, the rest";
    TakeListLine(file.get(), 2);
    TakeListLine(file.get(), 2);
    EXPECT_EQ(ListFileLineNumber(file.get()), 5);
    EXPECT_EQ(ReadListLine(file.get(), &line, &length), 0);
}

TEST_F(ListFileTest, NothingIsPeekedWhileACutLineIsPassedOverOrAfterAStop) {
    // Longer than the reading buffer: its end is not yet read when it is cut.
    OpenList file(WriteList("peekcut.txt", std::string(100000, 'x') + "\nnext\n"));
    const char* line;
    size_t length;
    ASSERT_EQ(ReadListLine(file.get(), &line, &length), 1);
    EXPECT_EQ(length, kListLineLimit);
    const char* text;
    EXPECT_EQ(PeekListText(file.get(), &text), 0u) << "the rest of the cut line is no line";
    ASSERT_EQ(ReadListLine(file.get(), &line, &length), 1);
    EXPECT_EQ(std::string(line, length), "next\n");
    StopListFile(file.get(), ListStopTooLong, 2);
    EXPECT_EQ(PeekListText(file.get(), &text), 0u);
}

TEST_F(ListFileTest, AFileThatCannotBeOpenedGivesNoFile) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    bool outOfMemory = true;
    EXPECT_EQ(OpenListFile((std::string(folder) + "qv-no-such-list.txt").c_str(), &outOfMemory),
              nullptr);
    EXPECT_FALSE(outOfMemory) << "a missing file is no lack of memory";
    EXPECT_EQ(OpenListFile(""), nullptr);
    EXPECT_EQ(OpenListFile(folder), nullptr) << "a folder is not a list";
}

// ---- Encodings ---------------------------------------------------------------------
//
// Everything is delivered as UTF-8. Windows-1252 is the ANSI code page of
// both test machines.

// A literal's bytes, NULs included.
template <size_t N> std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// The text delivered up to a stop, the stop and its line.
struct Stopped {
    std::string text;
    ListStopReason reason = ListStopNone;
    long line = 0;
};

Stopped ReadUntilStop(const std::string& path) {
    Stopped result;
    OpenList file(path);
    EXPECT_NE(file.get(), nullptr);
    const char* line;
    size_t length;
    while (ReadListLine(file.get(), &line, &length))
        result.text.append(line, length);
    result.reason = ListFileStopReason(file.get());
    result.line = ListFileStopLine(file.get());
    return result;
}

TEST_F(ListFileTest, WithoutAMarkUtf8IsTakenAsItIsAndAnythingElseAsAnsi) {
    ListTextEncoding encoding;
    // What web exports write: UTF-8, no mark.
    const std::string utf8 =
        "Name,E-Mail\n\xC5\x81ukasz,l@x\n\xCE\x91\xCE\xBB\xCE\xAD\xCE\xBE,a@x\n"
        "\xE5\xBC\xA0\xE4\xBC\x9F,z@x\n\xF0\x9F\x98\x80,e@x\n";
    EXPECT_EQ(WholeText(WriteList("web.csv", utf8), &encoding), utf8);
    EXPECT_EQ(encoding, ListTextUtf8Unmarked);
    // A legacy export in the ANSI code page: "Zoë" and "€" stay themselves.
    EXPECT_EQ(WholeText(WriteList("legacy.csv", "Name,E-Mail\nZo\xEB,\x80\n"), &encoding),
              "Name,E-Mail\nZo\xC3\xAB,\xE2\x82\xAC\n");
    EXPECT_EQ(encoding, ListTextAnsi);
    // Bytes that look like a mark, but are not one, are ANSI text too.
    EXPECT_EQ(WholeText(WriteList("ansi.txt", "\xEF\xBB"
                                              "x,\xE9\n")),
              "\xC3\xAF\xC2\xBBx,\xC3\xA9\n");
    EXPECT_EQ(WholeText(WriteList("short.txt", "\xEF")), "\xC3\xAF");
    EXPECT_EQ(WholeText(WriteList("empty.txt", "")), "");
    EXPECT_EQ(WholeText(WriteList("ascii.txt", "a,b\n"), &encoding), "a,b\n");
    EXPECT_EQ(encoding, ListTextAnsi);
}

// The whole file decides, not its start: a list whose first byte beyond ASCII
// comes after many refills, and one whose UTF-8 is broken only at its end.
TEST_F(ListFileTest, TheWholeFileDecidesItsEncoding) {
    std::string ascii;
    for (int i = 0; i < 5000; ++i)
        ascii += "person" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\r\n";
    std::string expected;
    for (int i = 0; i < 5000; ++i)
        expected += "person" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\n";
    ListTextEncoding encoding;
    EXPECT_EQ(WholeText(WriteList("late8.csv", ascii + "Ren\xC3\xA9,r@x\r\n"), &encoding),
              expected + "Ren\xC3\xA9,r@x\n");
    EXPECT_EQ(encoding, ListTextUtf8Unmarked);
    EXPECT_EQ(
        WholeText(WriteList("late-ansi.csv", "Ren\xC3\xA9,r@x\r\n" + ascii + "Zo\xEB,z@x\r\n"),
                  &encoding),
        "Ren\xC3\x83\xC2\xA9,r@x\n" + expected + "Zo\xC3\xAB,z@x\n")
        << "as many bytes that are no UTF-8 as UTF-8 characters make the whole file ANSI";
    EXPECT_EQ(encoding, ListTextAnsi);
}

// A UTF-8 list with one line pasted in from an older file is not read as
// ANSI (every other name garbled, "Ann M\xC3\x83\xC2\xBCller"): that line
// stops the reading, and says why. Whatever the file's size and where the
// line stands; UTF-16 without a mark is read as UTF-16, either byte order.
TEST_F(ListFileTest, AUtf8FileWithALineOfAnotherEncodingStopsThereAndUnmarkedUtf16IsRead) {
    ListTextEncoding encoding;
    const std::string utf8Lines = "Name,E-Mail\nAnn M\xC3\xBCller,ann@x\nRen\xC3\xA9,r@x\n";
    Stopped mixed = ReadUntilStop(WriteList("mixed.csv", utf8Lines + "Zo\xEB,z@x\nEd,e@x\n"));
    EXPECT_EQ(mixed.text, utf8Lines);
    EXPECT_EQ(mixed.reason, ListStopNotUtf8);
    EXPECT_EQ(mixed.line, 4);
    std::string ascii;
    for (int i = 0; i < 5000; ++i)
        ascii += "person" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\n";
    Stopped late = ReadUntilStop(WriteList("mixed-late.csv", utf8Lines + ascii + "Zo\xEB\n"));
    EXPECT_EQ(late.text, utf8Lines + ascii);
    EXPECT_EQ(late.reason, ListStopNotUtf8);
    EXPECT_EQ(late.line, 5004);
    Stopped first = ReadUntilStop(WriteList("mixed-first.csv", "Zo\xEB\n" + utf8Lines));
    EXPECT_EQ(first.text, "");
    EXPECT_EQ(first.line, 1);
    // Mostly ANSI, with one pair that happens to be UTF-8: ANSI, as before.
    EXPECT_EQ(WholeText(WriteList("ansi-pair.csv", "Ren\xC3\xA9\nZo\xEB\nM\xFCller\n"), &encoding),
              "Ren\xC3\x83\xC2\xA9\nZo\xC3\xAB\nM\xC3\xBCller\n");
    EXPECT_EQ(encoding, ListTextAnsi);

    const std::u16string text = u"Name\tE-Mail\r\nRen\u00E9\t\u4E2D\U0001F600\r\n";
    const std::string expected = "Name\tE-Mail\nRen\xC3\xA9\t\xE4\xB8\xAD\xF0\x9F\x98\x80\n";
    std::string little, big;
    for (char16_t unit : text) {
        little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    EXPECT_EQ(WholeText(WriteList("utf16le.txt", little), &encoding), expected);
    EXPECT_EQ(encoding, ListTextUtf16LE);
    EXPECT_EQ(WholeText(WriteList("utf16be.txt", big), &encoding), expected);
    EXPECT_EQ(encoding, ListTextUtf16BE);
    EXPECT_EQ(WholeText(WriteList("utf16be-marked.txt", "\xFE\xFF" + big), &encoding), expected);
    EXPECT_EQ(encoding, ListTextUtf16BE);
    // A lone surrogate is still text that breaks its encoding.
    Stopped broken =
        ReadUntilStop(WriteList("utf16be-broken.txt", big + std::string("\xD8\x00", 2)));
    EXPECT_EQ(broken.text, expected);
    EXPECT_EQ(broken.reason, ListStopBadText);
}

TEST_F(ListFileTest, MarkedUtf8AndUtf16ReachUtf8WithEveryCharacter) {
    ListTextEncoding encoding;
    EXPECT_EQ(
        WholeText(WriteList("utf8.csv", "\xEF\xBB\xBFName,E-Mail\r\nRen\xC3\xA9,\xE2\x82\xAC\r\n"
                                        "\xC5\x81ukasz,\xE4\xB8\xAD\r\n"),
                  &encoding),
        "Name,E-Mail\nRen\xC3\xA9,\xE2\x82\xAC\n\xC5\x81ukasz,\xE4\xB8\xAD\n");
    EXPECT_EQ(encoding, ListTextUtf8);
    const std::string text =
        WholeText(WriteList("utf16.txt", Utf16File(u"Name\tE-Mail\r\nRen\u00E9\t\u20AC\r\n"
                                                   u"\u0141ukasz\t\u4E2D\U0001F600\r\n"
                                                   u"\u001A\u000D.\n")),
                  &encoding);
    EXPECT_EQ(encoding, ListTextUtf16LE);
    // Its bytes pass through no text mode: 0x1A and a lone CR are characters.
    EXPECT_EQ(text, "Name\tE-Mail\nRen\xC3\xA9\t\xE2\x82\xAC\n\xC5\x81ukasz\t\xE4\xB8\xAD"
                    "\xF0\x9F\x98\x80\n\x1A\r.\n");
}

TEST_F(ListFileTest, ConvertsCharactersThatStraddleTheReadingPieces) {
    // Multi-byte UTF-8 characters, UTF-16 CR LF pairs and surrogate pairs at
    // every offset of a long file; ANSI bytes across the conversion chunks.
    std::string utf8;
    std::u16string utf16;
    std::string ansi;
    std::string expected;
    std::string expectedAnsi;
    for (int i = 0; i < 9000; ++i) {
        utf8 += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                "a\r\n";
        utf16 += u"\u00E9\u20AC\U0001F600a\r\n";
        ansi += "\x80\xE9\x80"
                "a\r\n";
        expectedAnsi += "\xE2\x82\xAC\xC3\xA9\xE2\x82\xAC"
                        "a\n";
        expected += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                    "a\n";
        if (i % 3 == 0) {
            utf8 += "b";
            utf16 += u"b";
            ansi += "b";
            expected += "b";
            expectedAnsi += "b";
        }
    }
    EXPECT_TRUE(WholeText(WriteList("straddle8.txt", "\xEF\xBB\xBF" + utf8)) == expected);
    EXPECT_TRUE(WholeText(WriteList("straddle8u.txt", utf8)) == expected);
    EXPECT_TRUE(WholeText(WriteList("straddle16.txt", Utf16File(utf16))) == expected);
    EXPECT_TRUE(WholeText(WriteList("straddle-ansi.txt", ansi)) == expectedAnsi);
}

// Text that is not what its mark says, and a NUL, stop reading at the line
// that holds them; every line before it is delivered.
TEST_F(ListFileTest, TextThatBreaksItsEncodingStopsAtItsLine) {
    Stopped s = ReadUntilStop(WriteList("lying8.csv", "\xEF\xBB\xBFName,E-Mail\r\nAnn,a@x\r\n"
                                                      "Zo\xEB,z@x\r\nBo,b@x\r\n"));
    EXPECT_EQ(s.text, "Name,E-Mail\nAnn,a@x\n");
    EXPECT_EQ(s.reason, ListStopBadText);
    EXPECT_EQ(s.line, 3);

    s = ReadUntilStop(WriteList("cut8.csv", "\xEF\xBB\xBFName\r\nAnn\r\n\xE5\xBC"));
    EXPECT_EQ(s.text, "Name\nAnn\n");
    EXPECT_EQ(s.reason, ListStopBadText) << "a character the file ends inside";
    EXPECT_EQ(s.line, 3);

    s = ReadUntilStop(WriteList("nul.csv", Bytes("Name,E-Mail\nAnn,a@x\nEve,e@x\0evil\nBo,b@x\n")));
    EXPECT_EQ(s.text, "Name,E-Mail\nAnn,a@x\n");
    EXPECT_EQ(s.reason, ListStopNul);
    EXPECT_EQ(s.line, 3);

    s = ReadUntilStop(WriteList("nul-ansi.csv", Bytes("Zo\xEB\nAnn\nE\0\nB\n")));
    EXPECT_EQ(s.text, "Zo\xC3\xAB\nAnn\n");
    EXPECT_EQ(s.reason, ListStopNul);
    EXPECT_EQ(s.line, 3);

    s = ReadUntilStop(WriteList("surrogate.txt", Utf16File(u"Name\r\nAnn\r\n") + Bytes("\x00\xD8") +
                                                     Utf16File(u"x\r\n").substr(2)));
    EXPECT_EQ(s.text, "Name\nAnn\n");
    EXPECT_EQ(s.reason, ListStopBadText) << "a lone surrogate";
    EXPECT_EQ(s.line, 3);

    s = ReadUntilStop(WriteList("nul16.txt", Utf16File(u"Name\r\nA") + Bytes("\0\0") +
                                                 Utf16File(u"\r\nB\r\n").substr(2)));
    EXPECT_EQ(s.text, "Name\n");
    EXPECT_EQ(s.reason, ListStopNul);
    EXPECT_EQ(s.line, 2);

    s = ReadUntilStop(WriteList("odd.txt", Utf16File(u"ab\r\ncd") + "c"));
    EXPECT_EQ(s.text, "ab\n");
    EXPECT_EQ(s.reason, ListStopBadText) << "a file cut inside its last character";
    EXPECT_EQ(s.line, 2);
}

TEST_F(ListFileTest, AMarkAloneIsAnEmptyList) {
    EXPECT_EQ(WholeText(WriteList("bom-only.txt", "\xFF\xFE")), "");
    EXPECT_EQ(WholeText(WriteList("bom8-only.txt", "\xEF\xBB\xBF")), "");
}

// A line that ends in a CR just before text that cannot be read is a whole
// line: read, and the stop named at the line after it.
TEST_F(ListFileTest, ALineEndingInACrBeforeAFaultIsRead) {
    Stopped nul = ReadUntilStop(WriteList("cr-nul.txt", std::string("a,b\rc\0d\n", 8)));
    EXPECT_EQ(nul.text, "a,b\r");
    EXPECT_EQ(nul.reason, ListStopNul);
    EXPECT_EQ(nul.line, 2);
    Stopped surrogate = ReadUntilStop(WriteList("cr-surrogate.txt", std::string("\r\0\0\xD8", 4)));
    EXPECT_EQ(surrogate.text, "\r");
    EXPECT_EQ(surrogate.reason, ListStopBadText);
    EXPECT_EQ(surrogate.line, 2);
}

} // namespace
