// The reading layer: physical lines in text mode, their numbers, and the text
// of files that start with a UTF-8 or UTF-16LE byte-order mark, converted to
// the ANSI code page (Windows-1252 here) in pieces of any size.
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
    if (encoding)
        *encoding = ListFileEncoding(file.get());
    const char* piece;
    while (size_t n = ReadListText(file.get(), &piece))
        text.append(piece, n);
    return text;
}

TEST_F(ListFileTest, DeliversLinesWithOneLfWhetherTheFileUsesLfOrCrLf) {
    const std::vector<std::string> expected = {"Name,Email\n", "Ann,a@x\n", "Bo,b@x"};
    EXPECT_EQ(Lines(WriteList("lf.txt", "Name,Email\nAnn,a@x\nBo,b@x")), expected);
    EXPECT_EQ(Lines(WriteList("crlf.txt", "Name,Email\r\nAnn,a@x\r\nBo,b@x")), expected);
}

TEST_F(ListFileTest, KeepsALoneCarriageReturnAndCountsOnlyLfAsALineEnd) {
    std::vector<long> numbers;
    EXPECT_EQ(Lines(WriteList("cr.txt", "a\rb\r\r\nc\n\n"), &numbers),
              (std::vector<std::string>{"a\rb\r\n", "c\n", "\n"}));
    EXPECT_EQ(numbers, (std::vector<long>{1, 2, 3}));
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
    EXPECT_EQ(std::string(line, length), "d\re\n");
    buffered = PeekListText(file.get(), &text);
    EXPECT_EQ(std::string(text, buffered), "f\n") << "past the CR, the rest";
    TakeListLine(file.get(), 2);
    EXPECT_EQ(ListFileLineNumber(file.get()), 4);
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

// ---- Byte-order marks ------------------------------------------------------------

TEST_F(ListFileTest, WithoutAMarkTheBytesAreDeliveredAsTheyAre) {
    ListTextEncoding encoding;
    EXPECT_EQ(WholeText(WriteList("ansi.txt", "\xEF\xBB"
                                              "x,\xE9\x80\n"),
                        &encoding),
              "\xEF\xBB"
              "x,\xE9\x80\n");
    EXPECT_EQ(encoding, ListTextAnsi);
    EXPECT_EQ(WholeText(WriteList("short.txt", "\xEF")), "\xEF");
    EXPECT_EQ(WholeText(WriteList("empty.txt", "")), "");
    EXPECT_EQ(WholeText(WriteList("mark-later.txt", "a\xEF\xBB\xBF")), "a\xEF\xBB\xBF");
}

TEST_F(ListFileTest, Utf8AfterItsMarkIsConvertedToTheAnsiCodePage) {
    ListTextEncoding encoding;
    // é, €, then Ł and a CJK character, which Windows-1252 lacks.
    const std::string text =
        WholeText(WriteList("utf8.csv", "\xEF\xBB\xBFName,E-Mail\r\nRen\xC3\xA9,\xE2\x82\xAC\r\n"
                                        "\xC5\x81"
                                        "ukasz,\xE4\xB8\xAD\r\n"),
                  &encoding);
    EXPECT_EQ(encoding, ListTextUtf8);
    EXPECT_EQ(text, "Name,E-Mail\nRen\xE9,\x80\n?ukasz,?\n");
}

TEST_F(ListFileTest, Utf16AfterItsMarkIsConvertedToTheAnsiCodePage) {
    ListTextEncoding encoding;
    const std::string text =
        WholeText(WriteList("utf16.txt", Utf16File(u"Name\tE-Mail\r\nRen\u00E9\t\u20AC\r\n"
                                                   u"\u0141ukasz\t\u4E2D\r\n\u001A\u000D.\n")),
                  &encoding);
    EXPECT_EQ(encoding, ListTextUtf16LE);
    // Its bytes pass through no text mode: 0x1A and a lone CR are characters.
    EXPECT_EQ(text, "Name\tE-Mail\nRen\xE9\t\x80\n?ukasz\t?\n\x1A\r.\n");
}

TEST_F(ListFileTest, ConvertsCharactersThatStraddleTheReadingPieces) {
    // Multi-byte UTF-8 characters, UTF-16 CR LF pairs and surrogate pairs at
    // every offset of a long file.
    std::string utf8 = "\xEF\xBB\xBF";
    std::u16string utf16;
    std::string expected;
    // How the system renders a character beyond the BMP (one default
    // character or one per surrogate): converted whole, as a reference.
    char emoji[8];
    const int emojiLength = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, OLESTR("\U0001F600"),
                                                2, emoji, sizeof emoji, nullptr, nullptr);
    ASSERT_GT(emojiLength, 0);
    for (int i = 0; i < 9000; ++i) {
        utf8 += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
                "a\r\n";
        utf16 += u"\u00E9\u20AC\U0001F600a\r\n";
        expected += "\xE9\x80" + std::string(emoji, static_cast<size_t>(emojiLength)) + "a\n";
        if (i % 3 == 0) {
            utf8 += "b";
            utf16 += u"b";
            expected += "b";
        }
    }
    EXPECT_EQ(WholeText(WriteList("straddle8.txt", utf8)), expected);
    EXPECT_EQ(WholeText(WriteList("straddle16.txt", Utf16File(utf16))), expected);
}

TEST_F(ListFileTest, AUtf16FileCutInsideACharacterEndsInTheDefaultCharacter) {
    EXPECT_EQ(WholeText(WriteList("odd.txt", Utf16File(u"ab") + "c")), "ab?");
    EXPECT_EQ(WholeText(WriteList("bom-only.txt", "\xFF\xFE")), "");
    EXPECT_EQ(WholeText(WriteList("bom8-only.txt", "\xEF\xBB\xBF")), "");
}

} // namespace
