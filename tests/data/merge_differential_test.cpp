// The merge equals the plain field-by-field merge byte for byte, over many
// generated headers, records and texts: tokens in every case, values that
// hold brackets and other fields' tokens, nested and broken brackets, empty
// values, the length limits and too little room.
#include "list_helpers.h"
#include "reference_merge.h"

#include "data/merge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class Generator {
public:
    // A plain generator draws names and values without brackets, the way
    // most lists are, so that most cases take the merge's one-pass way.
    Generator(unsigned seed, bool plain) : random_(seed), plain_(plain) {}

    int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    bool OneIn(int n) { return Below(n) == 0; }

    std::string Letters(int max) {
        std::string s;
        for (int n = Below(max + 1); n > 0; --n)
            s += static_cast<char>((OneIn(2) ? 'a' : 'A') + Below(26));
        return s;
    }

    std::string AnyCase(const std::string& s) {
        std::string out = s;
        for (char& c : out) {
            if (OneIn(2) && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            else if (OneIn(2) && c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }

    std::string Name() {
        static const char* const kNames[] = {"Name", "First Name", "E-Mail",  "email", "a",   "B",
                                             "",     "Caf\xE9",    "x y",     "NAME",  "Na",  "me",
                                             "a]]",  "[[b",        "c]]x[[d", "[",     "]",   "]]",
                                             "[[",   "Last",       " Name ",  "City",  "Nick"};
        if (OneIn(60))
            return std::string(OneIn(2) ? 506 : 507, 'n');
        if (OneIn(8))
            return Letters(6);
        const int kPlainNames = 12;
        return kNames[Below(plain_ ? kPlainNames
                                   : static_cast<int>(sizeof kNames / sizeof *kNames))];
    }

    std::string Token(const std::vector<std::string>& header) {
        if (header.empty() || OneIn(6))
            return "[[" + AnyCase(Name()) + "]]";
        return "[[" + AnyCase(header[static_cast<size_t>(Below(static_cast<int>(header.size())))]) +
               "]]";
    }

    std::string Piece(const std::vector<std::string>& header) {
        switch (Below(14)) {
        case 0:
        case 1:
        case 2:
            return Token(header);
        case 3:
            return "[[";
        case 4:
            return "]]";
        case 5:
            return OneIn(2) ? "[" : "]";
        case 6:
            return "[[" + Token(header) + "]]";
        case 7: // a token split around another one
            return "[[Na" + Token(header) + "me]]";
        case 8:
            return std::string(1, static_cast<char>(0x80 + Below(0x80)));
        case 9:
            return " ";
        default:
            return Letters(8);
        }
    }

    std::string Text(const std::vector<std::string>& header, int pieces) {
        std::string text;
        for (int n = Below(pieces + 1); n > 0; --n)
            text += Piece(header);
        return text;
    }

    std::string Value(const std::vector<std::string>& header) {
        switch (Below(12) + (plain_ && !OneIn(10) ? 3 : 0)) {
        case 0:
            return "";
        case 1:
            return Token(header);
        case 2:
            return Text(header, 4);
        case 3:
            return std::string(static_cast<size_t>(OneIn(6) ? 512 : 511), 'v');
        case 4:
            return std::string(static_cast<size_t>(Below(300)), 'w');
        default:
            return Letters(12);
        }
    }

private:
    std::mt19937 random_;
    bool plain_;
};

struct Outcome {
    int result;
    int need;
    std::string text;
};

Outcome Run(int (*merge)(char*, int, const ListRecord*, const ListRecord*, int*),
            const std::string& text, int capacity, const Record& header, const Record& record,
            bool measure) {
    // The buffer holds what the room says, and more to catch a write past it.
    const size_t room = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    std::vector<char> buffer((room > text.size() ? room : text.size() + 1) + 64, '\x55');
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    Outcome o{};
    o.need = -7;
    o.result =
        merge(buffer.data(), capacity, header.get(), record.get(), measure ? &o.need : nullptr);
    o.text = buffer.data();
    return o;
}

int Product(char* text, int capacity, const ListRecord* h, const ListRecord* r, int* need) {
    return MergeFields(text, capacity, h, r, need);
}

int Literal(char* text, int capacity, const ListRecord* h, const ListRecord* r, int* need) {
    return ReferenceMergeFields(text, capacity, h, r, need);
}

void ExpectSame(const std::string& text, int capacity, const Record& header, const Record& record,
                bool measure, int iteration) {
    const Outcome expected = Run(Literal, text, capacity, header, record, measure);
    const Outcome actual = Run(Product, text, capacity, header, record, measure);
    ASSERT_EQ(actual.result, expected.result) << "case " << iteration << " text «" << text << "»";
    ASSERT_EQ(actual.text, expected.text) << "case " << iteration << " text «" << text << "»";
    if (measure) {
        ASSERT_EQ(actual.need, expected.need) << "case " << iteration << " text «" << text << "»";
    }
}

// Measuring under a lower ceiling: the same result and the same size counted
// where the count would pass it.
void ExpectSameWithin(const std::string& text, int ceiling, const Record& header,
                      const Record& record, int iteration) {
    std::string expectedText = text, actualText = text;
    int expectedNeed = -7, actualNeed = -7;
    const int expected = ReferenceMergeFieldsWithin(expectedText.data(), 0, header.get(),
                                                    record.get(), &expectedNeed, ceiling);
    const int actual =
        MergeFieldsWithin(actualText.data(), 0, header.get(), record.get(), &actualNeed, ceiling);
    ASSERT_EQ(actual, expected) << "case " << iteration << " ceiling " << ceiling;
    ASSERT_EQ(actualNeed, expectedNeed) << "case " << iteration << " ceiling " << ceiling;
    ASSERT_LE(actualNeed, ceiling);
    ASSERT_EQ(actualText, text) << "case " << iteration;
}

class MergeDifferential : public ::testing::TestWithParam<bool> {};

TEST_P(MergeDifferential, EqualsTheFieldByFieldMergeOnGeneratedInputs) {
    Generator g(20240611, GetParam());
    for (int iteration = 0; iteration < 25000; ++iteration) {
        std::vector<std::string> names;
        for (int n = g.Below(9); n > 0; --n)
            names.push_back(g.Name());
        std::vector<std::string> values;
        for (int n = g.Below(static_cast<int>(names.size()) + 2); n > 0; --n)
            values.push_back(g.Value(names));
        Record header(names);
        Record record(values);
        const std::string text = g.Text(names, g.OneIn(50) ? 600 : 24);

        ExpectSame(text, 0, header, record, true, iteration);
        // The job's room: the measured size plus one.
        int need = 0;
        std::string copy = text;
        if (ReferenceMergeFields(copy.data(), 0, header.get(), record.get(), &need)) {
            ExpectSame(text, need + 1, header, record, false, iteration);
            // The ceiling at the measured size and just below it.
            ExpectSameWithin(text, need, header, record, iteration);
            if (need > kMergeMinimumNeed)
                ExpectSameWithin(text, need - 1, header, record, iteration);
        }
        // And one anywhere from the least size to past the text's own (not
        // drawn from the generator, which goes on making the same cases).
        const size_t spread = text.size() + 600;
        ExpectSameWithin(text,
                         kMergeMinimumNeed +
                             static_cast<int>((static_cast<size_t>(iteration) * 7919) % spread),
                         header, record, iteration);
        // Any room at all, too little included.
        ExpectSame(text, g.Below(static_cast<int>(text.size()) + 64), header, record, false,
                   iteration);
        ExpectSame(text, static_cast<int>(text.size()) + 8000, header, record, false, iteration);
        if (HasFatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, MergeDifferential, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "PlainNamesAndValues" : "BracketsEverywhere";
                         });

TEST(MergeDifferentialLong, EqualsTheFieldByFieldMergeOnLongTextsWithManyTokens) {
    // More tokens than the merge keeps on its stack, with values that grow and
    // shrink the text in turn.
    Generator g(7, true);
    Record header{"First", "Last", "Email", "Company", "A"};
    for (int iteration = 0; iteration < 20; ++iteration) {
        Record record{g.Letters(12), std::string(static_cast<size_t>(g.Below(30)), 'L'),
                      "x@example.com", "", g.Letters(2)};
        std::string text;
        for (int n = 0; n < 1500; ++n)
            text += g.Letters(5) + g.Token({"First", "Last", "Email", "Company", "A"});
        int need = 0;
        std::string copy = text;
        ASSERT_EQ(ReferenceMergeFields(copy.data(), 0, header.get(), record.get(), &need), 1);
        ExpectSame(text, need + 1, header, record, false, iteration);
        ExpectSame(text, need / 2, header, record, false, iteration);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
