// The streaming reader agrees with a plain reading of the whole text, step by
// step as the rules read, over many generated list files: quotes, doubled
// quotes and quoted line breaks, comments, blank lines, lone CRs, long
// records, NUL and Ctrl+Z bytes, semicolon lists, cells that are not one
// address, in ANSI, UTF-8 with and without a mark, and UTF-16LE files.
#include "list_helpers.h"
#include "reference_list.h"
#include "test_support.h"

#include "data/mailing_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using ReaderDifferentialTest = PlatformTest;

enum class Encoding { Ansi, Utf8, Utf16, Utf8Unmarked };

class ListGenerator {
public:
    explicit ListGenerator(unsigned seed) : random_(seed) {}

    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    bool OneIn(int n) { return Below(n) == 0; }

    // A list as code points; 8-bit files use only those below 256.
    std::u32string List(Encoding encoding) {
        static const char32_t* const kHeaders[] = {U"Name,Email\n",
                                                   U"Email\n",
                                                   U"Name\tE-Mail\tCity\n",
                                                   U"a,b,c\n",
                                                   U"\"E-Mail\",\"Name\"\r\n",
                                                   U"Vorname;Nachname;E-Mail\r\n",
                                                   U"//x\n\nName;Email\n"};
        std::u32string text = OneIn(8) ? U"" : kHeaders[Below(7)];
        for (int n = Below(30); n > 0; --n)
            text += Piece(encoding);
        return text;
    }

    // A list of many records, long enough for the reader's buffer to be
    // refilled many times: records of every length up to a few hundred
    // bytes, mostly plain, some quoted (delimiters, pairs and line breaks in
    // the quotes, text after them), with now and then a lone CR, a comment or
    // a blank line; the last line may lack its line end. Each line's end
    // falls at every place of the reader's 64-byte steps and of its buffer.
    std::u32string LongList(Encoding encoding, int records) {
        std::u32string text = U"Name,Email,City,Notes\r\n";
        for (int r = 0; r < records; ++r) {
            for (int f = Below(9); f >= 0; --f) {
                text += Field(encoding);
                if (f > 0)
                    text += U',';
            }
            text += OneIn(3) ? U"\n" : U"\r\n";
            if (OneIn(300))
                text += U"// a comment, \"with quotes\n";
            if (OneIn(300))
                text += U",,\r\n";
        }
        if (OneIn(2)) // the last line without its line end
            text.pop_back();
        return text;
    }

private:
    std::u32string Field(Encoding encoding) {
        static const char32_t* const kWide[] = {U"\u20AC", U"\u0141", U"\u4E2D", U"\U0001F600"};
        std::u32string word;
        for (int n = Below(OneIn(12) ? 400 : 24); n > 0; --n)
            word += static_cast<char32_t>(U'a' + Below(26));
        switch (Below(24)) {
        case 0:
            return U"";
        case 1:
            return U"\"" + word + U", " + word + U"\"";
        case 2:
            return U"\"" + word + U" \"\"x\"\" " + word + U"\"";
        case 3:
            return OneIn(4) ? U"\"" + word + U"\n" + word + U"\"" : word;
        case 4:
            return OneIn(4) ? word + U"\r" + word : word;
        case 5:
            return U"\"" + word + U"\"" + word;
        case 6:
            return U" <" + word + U"@x.y> ";
        case 7:
            if (encoding != Encoding::Ansi)
                return word + kWide[Below(4)];
            return word + static_cast<char32_t>(0xA0 + Below(0x60));
        case 8:
            return U"\"" + word + U"@x.y, " + word + U"@z.w\"";
        case 9:
            return word + U"@x.y; b@c.d";
        default:
            return OneIn(2) ? word + U"@x.y" : word;
        }
    }

    std::u32string Piece(Encoding encoding) {
        static const char32_t* const kPieces[] = {
            U",",     U"\t",      U"\"",      U"\"\"",        U"\n",        U"\r\n",    U"\r",
            U"//",    U" ",       U"<",       U">",           U"@",         U"x@y.z",   U"Ann",
            U"Email", U"\n//c\n", U"\n\n",    U",,,\n",       U"\"a,\nb\"", U" <p@q> ", U"\xE9",
            U"\x80",  U";",       U"a@b;c@d", U"<a@b>, <c@d>"};
        static const char32_t* const kWide[] = {U"\u20AC", U"\u0141", U"\u4E2D", U"\U0001F600"};
        switch (Below(40)) {
        case 0:
            return std::u32string(static_cast<size_t>(100 + Below(400)), U'w');
        case 1:
            return OneIn(4) ? std::u32string(1, U'\x1A') : U"";
        case 2:
            return OneIn(4) ? std::u32string(1, U'\0') : U"";
        case 3:
        case 4:
            if (encoding != Encoding::Ansi)
                return kWide[Below(4)];
            return std::u32string(1, static_cast<char32_t>(0x80 + Below(0x80)));
        case 5:
            // A byte that is no UTF-8: in a UTF-8 file it stops the reader.
            // (a code point past U+10FFFF stands for it here).
            return encoding == Encoding::Utf8 && OneIn(6)
                       ? std::u32string(1, static_cast<char32_t>(0x110000))
                       : std::u32string();
        default:
            return kPieces[Below(static_cast<int>(sizeof kPieces / sizeof *kPieces))];
        }
    }

    std::mt19937 random_;
};

std::string Encode(const std::u32string& text, Encoding encoding) {
    std::string bytes;
    if (encoding == Encoding::Ansi) {
        for (char32_t c : text)
            bytes += static_cast<char>(c);
        return bytes;
    }
    if (encoding == Encoding::Utf8 || encoding == Encoding::Utf8Unmarked) {
        if (encoding == Encoding::Utf8)
            bytes = "\xEF\xBB\xBF";
        for (char32_t c : text) {
            if (c == 0x110000) {
                bytes += "\xC0";
            } else if (c < 0x80) {
                bytes += static_cast<char>(c);
            } else if (c < 0x800) {
                bytes += static_cast<char>(0xC0 | (c >> 6));
                bytes += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                bytes += static_cast<char>(0xE0 | (c >> 12));
                bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                bytes += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                bytes += static_cast<char>(0xF0 | (c >> 18));
                bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                bytes += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return bytes;
    }
    bytes = "\xFF\xFE";
    auto unit = [&](char32_t u) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>((u >> 8) & 0xFF);
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return bytes;
}

struct ProductRead {
    std::vector<ReferenceRecord> records;
    ListStopReason stop;
    long stopLine;
};

ProductRead ReadRecords(const std::string& path) {
    ProductRead read;
    OpenList file(path);
    Record record;
    while (ReadListRecord(file.get(), record.get()))
        read.records.push_back(
            ReferenceRecord{record.Values(), record.get()->raw, record.get()->line});
    read.stop = ListFileStopReason(file.get());
    read.stopLine = ListFileStopLine(file.get());
    return read;
}

void Compare(const std::string& bytes, const std::string& name, int iteration) {
    SCOPED_TRACE("list " + std::to_string(iteration) + " (" + name + ")");
    const std::string path = WriteList(name, bytes);
    const ReferenceText delivered = ReferenceDeliveredText(bytes);

    SelectListDelimiter(path.c_str());
    ASSERT_EQ(ListDelimiter, ReferenceDelimiter(delivered.text, path));

    const ReferenceList expected = ReferenceReadRecords(delivered, ListDelimiter);
    const ProductRead actual = ReadRecords(path);
    ASSERT_EQ(actual.records.size(), expected.records.size());
    for (size_t i = 0; i < actual.records.size(); ++i) {
        ASSERT_EQ(actual.records[i].values, expected.records[i].values) << "record " << i;
        ASSERT_EQ(actual.records[i].raw, expected.records[i].raw) << "record " << i;
        ASSERT_EQ(actual.records[i].line, expected.records[i].line) << "record " << i;
    }
    ASSERT_EQ(actual.stop, expected.stopReason);
    ASSERT_EQ(actual.stopLine, expected.stopLine);

    const ReferencePass pass = ReferenceRecipients(delivered, ListDelimiter);
    const CountingPass counting = RunCountingPass(path);
    ASSERT_EQ(counting.emailColumn, pass.emailColumn);
    ASSERT_EQ(counting.headerRaw, pass.headerRaw);
    ASSERT_EQ(counting.header, pass.header);
    ASSERT_EQ(counting.addresses.size(), pass.recipients.size());
    for (size_t i = 0; i < pass.recipients.size(); ++i) {
        ASSERT_EQ(counting.addresses[i], pass.recipients[i].address) << "recipient " << i;
        ASSERT_EQ(counting.records[i], pass.recipients[i].values) << "recipient " << i;
    }
    ASSERT_EQ(counting.stopLine, pass.stopLine);
    ASSERT_EQ(counting.skips.size(), pass.skips.size());
    for (size_t i = 0; i < pass.skips.size(); ++i) {
        ASSERT_EQ(counting.skips[i].line, pass.skips[i].line) << "skip " << i;
        ASSERT_EQ(counting.skips[i].reason, pass.skips[i].reason) << "skip " << i;
        ASSERT_EQ(counting.skips[i].value, pass.skips[i].value) << "skip " << i;
    }

    const SendingPass sending = RunSendingPass(path, counting.emailColumn);
    ASSERT_EQ(sending.addresses, counting.addresses);
    for (size_t i = 0; i < pass.recipients.size(); ++i)
        ASSERT_EQ(sending.raws[i], pass.recipients[i].raw) << "recipient " << i;
    ASSERT_EQ(sending.stopLine, pass.stopLine);
}

TEST_F(ReaderDifferentialTest, AgreesWithThePlainReadingOnGeneratedLists) {
    ListGenerator g(4242);
    const char* const kNames[] = {"gen.csv", "gen.txt"};
    for (int iteration = 0; iteration < 600; ++iteration) {
        const Encoding encoding = static_cast<Encoding>(iteration % 4);
        const std::string bytes = Encode(g.List(encoding), encoding);
        Compare(bytes, kNames[iteration % 2], iteration);
        if (HasFatalFailure())
            return;
    }
}

// The reader takes most lines straight from its buffer, finding their end as
// it copies them, and the rest (lines that straddle a refill, hold a CR, are
// comments or come near the raw-text limit) the ordinary way; both must give
// the plain reading's records wherever a line falls.
TEST_F(ReaderDifferentialTest, AgreesWithThePlainReadingOnListsOfManyRefills) {
    ListGenerator g(777);
    for (int iteration = 0; iteration < 8; ++iteration) {
        const Encoding encoding = static_cast<Encoding>(iteration % 4);
        const std::string bytes = Encode(g.LongList(encoding, 3000), encoding);
        ASSERT_GT(bytes.size(), 3 * 64 * 1024u);
        Compare(bytes, "long.csv", iteration);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
