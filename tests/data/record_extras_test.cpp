// A record's attachments, Cc and Bcc, checked against real files: natively
// over the substitute's files, under Wine through the system's own calls.
#include "data/record_extras.h"
#include "list_helpers.h"
#include "test_support.h"

#include <string>
#include <vector>

namespace {

std::u16string Wide(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, reinterpret_cast<WCHAR*>(wide.data()), units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

const WCHAR* W(const std::u16string& wide) {
    return reinterpret_cast<const WCHAR*>(wide.c_str());
}

// A file by its UTF-8 path, through the wide call the product reads it with.
void WriteUtf8Named(const std::string& path, const std::string& bytes) {
    const std::u16string wide = Wide(path);
    HANDLE file = CreateFileW(W(wide), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

class RecordExtrasTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "qv-extras";
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\lists").c_str(), nullptr);
        CreateDirectoryA((folder + "\\files").c_str(), nullptr);
        listFolder = folder + "\\lists";
    }
    void TearDown() override {
        FreeRecordExtras(&extras);
        PlatformTest::TearDown();
    }

    // Checks one record of `values` under a header of `names`.
    RecordExtrasReason Check(const std::vector<std::string>& names,
                             const std::vector<std::string>& values) {
        Record header(names), record(values);
        FindRecordExtraColumns(header.get(), &columns);
        return CheckRecordExtras(&columns, record.get(), listFolder.c_str(), &extras);
    }
    std::vector<std::string> Texts(RecordExtraKind kind) const {
        std::vector<std::string> texts;
        for (int i = 0; i < extras.count; ++i)
            if (extras.items[i].kind == kind)
                texts.push_back(RecordExtraText(&extras, i));
        return texts;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < extras.count; ++i)
            if (extras.items[i].kind == RecordExtraFile)
                names.push_back(RecordExtraName(&extras, i));
        return names;
    }

    std::string folder, listFolder;
    RecordExtraColumns columns;
    RecordExtras extras;
};

TEST_F(RecordExtrasTest, ColumnsAreFoundByNameInAnyPlaceAndCase) {
    Record header(
        {"Name", " ATTACHMENTS ", "E-Mail", "cc", "Attachment2", "Bcc", "attachment", "CcList"});
    FindRecordExtraColumns(header.get(), &columns);
    ASSERT_EQ(columns.attachmentCount, 2);
    EXPECT_EQ(columns.attachment[0], 1);
    EXPECT_EQ(columns.attachment[1], 6);
    ASSERT_EQ(columns.ccCount, 1);
    EXPECT_EQ(columns.cc[0], 3);
    ASSERT_EQ(columns.bccCount, 1);
    EXPECT_EQ(columns.bcc[0], 5);

    Record plain({"Name", "E-Mail"});
    FindRecordExtraColumns(plain.get(), &columns);
    EXPECT_FALSE(HasRecordExtras(&columns));
    EXPECT_EQ(Check({"Name", "E-Mail"}, {"Ann", "a@example.com"}), RecordExtrasOk);
    EXPECT_EQ(extras.count, 0);
}

TEST_F(RecordExtrasTest, FilesResolveAgainstTheListFolderAndKeepTheirOwnNames) {
    WriteUtf8Named(folder + "\\files\\inv 7.pdf", "PDF");
    WriteUtf8Named(listFolder + "\\near.txt", "near");
    WriteUtf8Named(folder + "\\files\\Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt", "utf");
    WriteUtf8Named(folder + "\\files\\empty.bin", "");
    const std::string full = folder + "\\files\\inv 7.pdf";

    ASSERT_EQ(Check({"E-Mail", "Attachments", "Attachment"},
                    {"a@example.com",
                     " near.txt ;..\\files\\Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt;; " + full,
                     "..\\files\\empty.bin"}),
              RecordExtrasOk);
    EXPECT_EQ(Texts(RecordExtraFile),
              (std::vector<std::string>{listFolder + "\\near.txt",
                                        listFolder +
                                            "\\..\\files\\Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt",
                                        full, listFolder + "\\..\\files\\empty.bin"}));
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"near.txt", "Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt",
                                        "inv 7.pdf", "empty.bin"}));
    EXPECT_EQ(extras.fileCount, 4);
    EXPECT_EQ(extras.totalBytes, 4u + 3u + 3u + 0u);

    // Separators and blanks only ask for nothing.
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", " ; ;"}), RecordExtrasOk);
    EXPECT_EQ(extras.fileCount, 0);
    EXPECT_EQ(extras.totalBytes, 0u);
}

TEST_F(RecordExtrasTest, AFileThatCannotBeAttachedIsToldWithItsPath) {
    CreateDirectoryA((folder + "\\files\\sub").c_str(), nullptr);
    WriteUtf8Named(folder + "\\files\\ok.txt", "ok");

    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", "..\\files\\ok.txt;gone.pdf"}),
              RecordAttachmentMissing);
    EXPECT_EQ(std::string(extras.value), listFolder + "\\gone.pdf");
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "cannot be found");

    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", "nowhere\\x.pdf"}),
              RecordAttachmentMissing);
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", folder + "\\files\\sub"}),
              RecordAttachmentFolder);
    EXPECT_EQ(std::string(extras.value), folder + "\\files\\sub");
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", folder + "\\files\\"}),
              RecordAttachmentFolder);
}

TEST_F(RecordExtrasTest, AFileAnotherProgramLocksCannotBeRead) {
    const std::string path = folder + "\\files\\locked.doc";
    WriteUtf8Named(path, "locked");
    const std::u16string wide = Wide(path);
    HANDLE lock = CreateFileW(W(wide), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", path}), RecordAttachmentUnreadable);
    EXPECT_EQ(std::string(extras.value), path);
    CloseHandle(lock);

    // A program that shares the file for reading and writing, as an editor
    // keeping its document open does, does not keep it from being read.
    HANDLE open =
        CreateFileW(W(wide), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", path}), RecordExtrasOk);
    CloseHandle(open);
}

// The size comes from the file system; the file is sparse, nothing is
// written.
TEST_F(RecordExtrasTest, AFileOverTwoGigabytesIsRefusedWithItsName) {
    const std::string path = folder + "\\files\\huge.iso";
    const std::u16string wide = Wide(path);
    HANDLE file = CreateFileW(W(wide), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kMaxAttachmentBytes) + 1;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);

    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", path}), RecordAttachmentTooLarge);
    EXPECT_EQ(std::string(extras.value), path);
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "is larger than 2 GB");

    file = CreateFileW(W(wide), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    end.QuadPart = static_cast<LONGLONG>(kMaxAttachmentBytes);
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(Check({"E-Mail", "Attachment"}, {"a@example.com", path}), RecordExtrasOk);
    EXPECT_EQ(extras.totalBytes, kMaxAttachmentBytes);
    DeleteFileA(path.c_str());
}

TEST_F(RecordExtrasTest, CcAndBccHoldSingleAddressesApartBySemicolonsOrCommas) {
    ASSERT_EQ(Check({"E-Mail", "Cc", "Bcc"},
                    {"a@example.com", "b@example.com; Carl <c@example.com>,d@example.com", ""}),
              RecordExtrasOk);
    EXPECT_EQ(Texts(RecordExtraCc),
              (std::vector<std::string>{"b@example.com", "c@example.com", "d@example.com"}));
    EXPECT_EQ(extras.ccCount, 3);
    EXPECT_EQ(extras.bccCount, 0);

    EXPECT_EQ(Check({"E-Mail", "Cc", "Bcc"}, {"a@example.com", " ;, ", "z@example.com"}),
              RecordExtrasOk);
    EXPECT_EQ(Texts(RecordExtraBcc), (std::vector<std::string>{"z@example.com"}));

    EXPECT_EQ(Check({"E-Mail", "Cc"}, {"a@example.com", "a@b, x"}), RecordCcNotAddresses);
    EXPECT_STREQ(extras.value, "a@b, x");
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "is not a list of e-mail addresses");
    EXPECT_EQ(Check({"E-Mail", "Bcc"}, {"a@example.com", "x@y.com z@y.com"}),
              RecordBccNotAddresses);
    EXPECT_EQ(Check({"E-Mail", "Bcc"}, {"a@example.com", "x@@y.com"}), RecordBccNotAddresses);
}

// A file is looked at only once the addresses are known to be good: a bad
// Cc is told even when a file is missing too.
TEST_F(RecordExtrasTest, TheFirstFaultOfARecordIsTheOneTold) {
    EXPECT_EQ(Check({"E-Mail", "Attachment", "Cc"}, {"a@example.com", "gone.pdf", "nobody"}),
              RecordCcNotAddresses);
    EXPECT_EQ(Check({"E-Mail", "Attachment", "Cc"}, {"a@example.com", "gone.pdf", "c@x.com"}),
              RecordAttachmentMissing);
    // A record shorter than its header asks nothing of the columns it lacks.
    EXPECT_EQ(Check({"E-Mail", "Name", "Attachment", "Cc"}, {"a@example.com"}), RecordExtrasOk);
}

TEST(ListFolder, IsTheListPathUpToItsLastSeparatorInUtf8) {
    char folder[800];
    EXPECT_EQ(ListFolderUtf8("C:\\Lists\\Zo\xEB\\list.csv", folder, sizeof folder), 13u);
    EXPECT_STREQ(folder, "C:\\Lists\\Zo\xC3\xAB");
    ListFolderUtf8("list.csv", folder, sizeof folder);
    EXPECT_STREQ(folder, "");
    ListFolderUtf8("D:list.csv", folder, sizeof folder);
    EXPECT_STREQ(folder, "D:");
    ListFolderUtf8("\\\\server\\share\\l.csv", folder, sizeof folder);
    EXPECT_STREQ(folder, "\\\\server\\share");
}

} // namespace
