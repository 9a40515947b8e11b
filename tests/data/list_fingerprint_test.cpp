// The list's fingerprint: the hash of a stream the same however the reads
// cut it, a pass over the records and a look at the bytes alone agreeing on
// every encoding the reader takes, and an edit found by its size and time or,
// when those stay, by the bytes.
#include "list_helpers.h"
#include "test_support.h"

#include "data/list_fingerprint.h"
#include "data/mailing_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class ListFingerprintTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        char folder[MAX_PATH] = "";
        GetTempPathA(sizeof folder, folder);
        path = std::string(folder) + "print.csv";
        ListDelimiter = kListComma;
    }
    // The fingerprint a counting pass leaves: every record read, then the
    // size and time.
    ListFingerprint Counted() {
        ListFingerprint print;
        OpenList file(path);
        ListRecord record;
        while (ReadListRecord(file.get(), &record)) {
        }
        FreeListRecord(&record);
        ListFileReadHash(file.get(), &print.bytes, &print.hash);
        print.stamped = TakeListStamp(path.c_str(), &print.stamp);
        print.taken = true;
        return print;
    }
    std::string path;
};

uint64_t HashInPieces(const std::string& text, size_t piece) {
    ListHash hash;
    for (size_t at = 0; at < text.size(); at += piece)
        hash.Add(text.data() + at, std::min(piece, text.size() - at));
    return hash.Value();
}

TEST(ListHashTest, TheSameStreamHashesAlikeHoweverItIsCutAndAnyEditChangesIt) {
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "Person " + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\n";
    const uint64_t whole = HashInPieces(text, text.size());
    for (size_t piece : {1u, 3u, 7u, 31u, 32u, 33u, 64u, 4096u})
        EXPECT_EQ(HashInPieces(text, piece), whole) << piece;

    std::string edited = text;
    edited[1234] = static_cast<char>(edited[1234] + 1);
    EXPECT_NE(HashInPieces(edited, 64), whole);
    // Two words swapped, and the same text with a NUL after it.
    edited = text;
    std::swap_ranges(edited.begin() + 64, edited.begin() + 72, edited.begin() + 96);
    EXPECT_NE(HashInPieces(edited, 64), whole);
    EXPECT_NE(HashInPieces(text + std::string(1, '\0'), 64), whole);
    EXPECT_NE(HashInPieces("", 1), HashInPieces(std::string(1, '\0'), 1));
}

// Whatever way the pass reads (text mode, a UTF-16 file read again in
// binary, an ANSI file converted, a list of many refills), a look at the
// bytes alone takes the same ones.
TEST_F(ListFingerprintTest, APassAndALookAtTheBytesAgreeInEveryEncoding) {
    std::string many = "Name,E-Mail\r\n";
    for (int i = 0; i < 3000; ++i)
        many += "Person " + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\r\n";
    const std::string texts[] = {
        "Name,E-Mail\r\nAnn,ann@example.com\r\n",
        "Name,E-Mail\r\nZo\xC3\xAB,zoe@example.com\r\n",
        "Name,E-Mail\r\nZo\xEB,zoe@example.com\r\n",
        std::string("\xFF\xFEN\0a\0m\0e\0,\0E\0\n\0a\0,\0b\0@\0c\0\n\0", 28),
        many,
    };
    for (const std::string& text : texts) {
        WriteFileBytes(path, text);
        const ListFingerprint print = Counted();
        uint64_t bytes = 0, hash = 0;
        ASSERT_TRUE(HashListFile(path.c_str(), &bytes, &hash));
        EXPECT_EQ(bytes, print.bytes);
        EXPECT_EQ(hash, print.hash);
        EXPECT_GT(print.bytes, 0u);
        EXPECT_TRUE(ListStillSame(path.c_str(), print, true, 0, 0));
        EXPECT_TRUE(ListStillSame(path.c_str(), print, false, 0, 0));
    }
}

TEST_F(ListFingerprintTest, AnEditIsFoundByTheSizeAndTimeOrByTheBytes) {
    const std::string text = "Name,E-Mail\r\nAnn,ann@example.com\r\nBo,bo@example.com\r\n";
    WriteFileBytes(path, text);
    const ListFingerprint print = Counted();
    // A pass that holds the whole list as counted needs no second read.
    EXPECT_TRUE(ListStillSame(path.c_str(), print, true, print.bytes, print.hash));

    WriteFileBytes(path, text + "Cy,cy@example.com\r\n");
    EXPECT_FALSE(ListStillSame(path.c_str(), print, false, 0, 0));
    EXPECT_FALSE(ListStillSame(path.c_str(), print, true, 0, 0));

    // The same size and time back: only the bytes tell, and a pass holding
    // bytes that are not the counted ones proves nothing.
    WriteFileBytes(path, text);
    const ListFingerprint again = Counted();
    std::string edited = text;
    edited.replace(edited.find("Bo"), 2, "Bu");
    WriteFileBytesKeepingTime(path, edited);
    EXPECT_FALSE(ListStillSame(path.c_str(), again, true, again.bytes, again.hash + 1));
    EXPECT_FALSE(ListStillSame(path.c_str(), again, true, 0, 0));

    DeleteFileA(path.c_str());
    EXPECT_FALSE(ListStillSame(path.c_str(), again, false, 0, 0));
    EXPECT_FALSE(ListStillSame(path.c_str(), again, true, 0, 0));
}

} // namespace
