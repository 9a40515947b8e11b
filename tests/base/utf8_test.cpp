// UTF-8 checks and cuts: a cut never splits a character, malformed text is
// told apart from text, and ANSI text reaches UTF-8 with its characters.
// Runs natively and under Wine, where the conversions are the system's.
#include "test_support.h"

#include "base/line_text.h"
#include "base/utf8.h"

#include <cstring>
#include <string>

namespace {

bool Valid(const std::string& s) {
    return IsUtf8(s.data(), s.size());
}

TEST(Utf8Test, TellsWellFormedTextFromMalformed) {
    EXPECT_TRUE(Valid(""));
    EXPECT_TRUE(Valid("plain ascii, long enough to take the eight-byte path"));
    EXPECT_TRUE(Valid("\xC5\x81ukasz \xCE\x91\xCE\xBB\xCE\xAD\xCE\xBE \xE5\xBC\xA0\xE4\xBC\x9F "
                      "\xF0\x9F\x98\x80"));
    EXPECT_FALSE(Valid("Zo\xEB"));                // ANSI e with diaeresis
    EXPECT_FALSE(Valid("\x80"));                  // a stray continuation byte
    EXPECT_FALSE(Valid("\xC0\xAF"));              // overlong '/'
    EXPECT_FALSE(Valid("\xE0\x80\xAF"));          // overlong, three bytes
    EXPECT_FALSE(Valid("\xED\xA0\x80"));          // a surrogate
    EXPECT_FALSE(Valid("\xF4\x90\x80\x80"));      // above U+10FFFF
    EXPECT_FALSE(Valid("abcdefgh\xE5\xBC"));      // unfinished at the end
    EXPECT_FALSE(Valid("abcdefghijklmnop\xC3(")); // a lead byte without its follower
}

TEST(Utf8Test, CutsBetweenCharactersOnly) {
    const std::string chinese = "\xE5\xBC\xA0\xE4\xBC\x9F"; // two 3-byte characters
    EXPECT_EQ(Utf8Prefix(chinese.data(), chinese.size(), 6), 6u);
    EXPECT_EQ(Utf8Prefix(chinese.data(), chinese.size(), 5), 3u);
    EXPECT_EQ(Utf8Prefix(chinese.data(), chinese.size(), 2), 0u);
    const std::string emoji = "a\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8Prefix(emoji.data(), emoji.size(), 4), 1u);
    // Bytes that are not UTF-8 count one each.
    EXPECT_EQ(Utf8Prefix("Zo\xEB!", 4, 3), 3u);

    char small[5];
    EXPECT_EQ(CopyUtf8(small, sizeof small, "ab\xC3\xA9\xC3\xA9"), 4u);
    EXPECT_STREQ(small, "ab\xC3\xA9");
    EXPECT_EQ(CopyUtf8(small, sizeof small, "\xE5\xBC\xA0\xE4\xBC\x9F"), 3u);
    EXPECT_STREQ(small, "\xE5\xBC\xA0");
}

TEST(Utf8Test, AnsiTextBecomesUtf8) {
    char out[64];
    EXPECT_EQ(AnsiToUtf8("C:\\lists\\plain.csv", out, sizeof out), 18u);
    EXPECT_STREQ(out, "C:\\lists\\plain.csv");
    // Windows-1252, the code page of both test machines: e with diaeresis.
    AnsiToUtf8("Zo\xEB", out, sizeof out);
    EXPECT_STREQ(out, "Zo\xC3\xAB");
    char tiny[4];
    AnsiToUtf8("Zo\xEB", tiny, sizeof tiny); // the two-byte character does not fit
    EXPECT_STREQ(tiny, "Zo");
}

// A value copied into a log cannot forge a line of its own.
TEST(Utf8Test, ALogLineCopyHasNoControlCharacterAndIsCutVisibly) {
    char out[32];
    CopyForLogLine(out, sizeof out, "h@example.com\r\nBcc: all@x\t\x7F");
    EXPECT_STREQ(out, "h@example.com  Bcc: all@x  ");
    CopyForLogLine(out, 10, "\xE5\xBC\xA0\xE4\xBC\x9F\xE5\xBC\xA0x");
    EXPECT_STREQ(out, "\xE5\xBC\xA0\xE4\xBC\x9F...") << "cut between characters, and said so";
    CopyForLogLine(out, 10, "\xE5\xBC\xA0\xE4\xBC\x9F");
    EXPECT_STREQ(out, "\xE5\xBC\xA0\xE4\xBC\x9F") << "what fits is not cut";
    // Unicode's own line breaks: NEL, the line and the paragraph separator.
    CopyForLogLine(out, sizeof out, "lee@exa\xE2\x80\xA8mple\xE2\x80\xA9.c\xC2\x85om");
    EXPECT_STREQ(out, "lee@exa mple .c om");
    CopyForLogLine(out, sizeof out, "\xE2\x80\xA0 \xE2\x80");
    EXPECT_STREQ(out, "\xE2\x80\xA0 \xE2\x80") << "other characters and broken text as they are";
}

} // namespace

namespace {

std::string Folded(const std::string& s) {
    char out[256];
    FoldLetterCase(s.c_str(), out, sizeof out);
    return out;
}

} // namespace

// Recipients are told apart with letter case aside in every script people
// write addresses in, and nothing else is changed: the folded text keeps
// its length and its other characters, byte for byte.
TEST(Utf8Test, LetterCaseIsFoldedInTheScriptsOfAddresses) {
    EXPECT_EQ(Folded("ÄNNE.Ørsted@Example.COM"), "änne.ørsted@example.com");
    EXPECT_EQ(Folded("ŁUKASZ.ŻÓŁW@ŚWIAT.PL"), "łukasz.żółw@świat.pl");
    EXPECT_EQ(Folded("ĽUBOŠ.ĎURČO@ŇÁRODNÍ.SK"), "ľuboš.ďurčo@ňárodní.sk");
    EXPECT_EQ(Folded("ΑΛΈΞΑΝΔΡΟΣ@ΠΑΡΆΔΕΙΓΜΑ.ΕΛ"), "αλέξανδροσ@παράδειγμα.ελ");
    EXPECT_EQ(Folded("αλέξανδρος@x"), "αλέξανδροσ@x"); // final sigma
    EXPECT_EQ(Folded("ЁЖИК.ПЕТРОВ@ПРИМЕР.РФ"), "ёжик.петров@пример.рф");
    EXPECT_EQ(Folded("ŸVES@X"), "ÿves@x");
    // Not letters, or with no small letter of the same length: unchanged.
    for (const char* same : {"×÷@ß.de", "İı@x", "ĸŉ@x", "王@例子.中国", "😀@x", "a@b"})
        EXPECT_EQ(Folded(same), same);
    // Not UTF-8: the bytes pass unchanged.
    EXPECT_EQ(Folded("\xC3"), "\xC3");
    EXPECT_EQ(Folded("\xC3(A"), "\xC3(a");
    // In place, and cut to the buffer.
    char text[] = "ÉLODIE@X";
    EXPECT_EQ(FoldLetterCase(text, text, sizeof text), std::strlen("élodie@x"));
    EXPECT_STREQ(text, "élodie@x");
    char small[4];
    EXPECT_EQ(FoldLetterCase("ABCDE", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
}

// The status and the ledger's marks are built without the formatter: the same
// digits as printf's, and a line too long for its buffer cut between
// characters, never inside one.
TEST(Utf8Test, ALineOfWordsAndNumbersIsWhatPrintfWouldMakeAndCutsBetweenCharacters) {
    char line[64];
    LineText(line, sizeof line)
        .Text("(")
        .Number(9)
        .Text(":")
        .Number(5, 2)
        .Text(".")
        .Number(0, 2)
        .Text(") # ")
        .Number(-42)
        .Text(" ")
        .Hex(0xfedcba9876543210ull, 16)
        .Text(" ")
        .Hex(0xab, 16);
    EXPECT_STREQ(line, "(9:05.00) # -42 fedcba9876543210 00000000000000ab");
    LineText(line, sizeof line).Number(-9223372036854775807LL - 1).Text(" ").Number(1234567, 3);
    EXPECT_STREQ(line, "-9223372036854775808 1234567");

    char small[8];
    LineText cut(small, sizeof small);
    cut.Text("ab").Text("\xC3\xA9\xC3\xA9\xC3\xA9"); // a, b and three é: the third does not fit
    EXPECT_STREQ(small, "ab\xC3\xA9\xC3\xA9");
    EXPECT_EQ(cut.Length(), 6u);
    cut.Number(7).Text("x");
    EXPECT_STREQ(small, "ab\xC3\xA9\xC3\xA9"
                        "7");
    EXPECT_TRUE(Valid(small));
}
