// A record's attachments, Cc and Bcc, checked against real files: natively
// over the substitute's files, under Wine through the system's own calls.
#include "data/attachment_paths.h"
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
        listPath = listFolder + "\\list.csv";
        dataFolder = folder + "\\AppData\\Quorvel";
        CreateDirectoryA((folder + "\\AppData").c_str(), nullptr);
        CreateDirectoryA(dataFolder.c_str(), nullptr);
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
        places.listFolder = listFolder.c_str();
        places.listPath = listPath.c_str();
        places.dataFolder = dataFolder.c_str();
        return CheckRecordExtras(&columns, record.get(), &places, &extras);
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

    std::vector<bool> Outside() const {
        std::vector<bool> outside;
        for (int i = 0; i < extras.count; ++i)
            if (extras.items[i].kind == RecordExtraFile)
                outside.push_back(extras.items[i].outside);
        return outside;
    }

    std::string folder, listFolder, listPath, dataFolder;
    RecordExtrasPlaces places;
    RecordExtraColumns columns;
    RecordExtras extras;
};

TEST_F(RecordExtrasTest, ColumnsAreFoundByNameInAnyPlaceAndCase) {
    Record header(
        {"Name", " ATTACHMENTS ", "E-Mail", "cc", "Attachment2", "Bcc", "attachment", "CcList"});
    FindRecordExtraColumns(header.get(), &columns);
    ASSERT_EQ(columns.attachmentCount, 3);
    EXPECT_EQ(columns.attachment[0], 1);
    EXPECT_EQ(columns.attachment[1], 4);
    EXPECT_EQ(columns.attachment[2], 6);
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
    // Each as the full path it names, ".." resolved.
    EXPECT_EQ(Texts(RecordExtraFile),
              (std::vector<std::string>{listFolder + "\\near.txt",
                                        folder + "\\files\\Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt",
                                        full, folder + "\\files\\empty.bin"}));
    EXPECT_EQ(Outside(), (std::vector<bool>{false, true, true, true}));
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

TEST_F(RecordExtrasTest, AttachmentColumnsAreFoundAsPeopleNameThem) {
    Record header({"E-Mail", "Attachment 1", "Attachment2", "Attachments (PDF)", "attachment_3",
                   "AttachmentType", "Attached", "Attachmentss", "My Attachment"});
    FindRecordExtraColumns(header.get(), &columns);
    ASSERT_EQ(columns.attachmentCount, 4);
    EXPECT_EQ(columns.attachment[0], 1);
    EXPECT_EQ(columns.attachment[1], 2);
    EXPECT_EQ(columns.attachment[2], 3);
    EXPECT_EQ(columns.attachment[3], 4);

    // Each holds one or more files, as "Attachments" does.
    WriteUtf8Named(listFolder + "\\a.pdf", "a");
    WriteUtf8Named(listFolder + "\\b.pdf", "bb");
    ASSERT_EQ(
        Check({"E-Mail", "Attachment 1", "Attachment 2"}, {"a@x.com", "a.pdf", "b.pdf; a.pdf"}),
        RecordExtrasOk);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.pdf", "b.pdf", "a.pdf"}));
}

// The product's own sent list names every recipient of the last mailing;
// the list names them all too; a hidden file is hidden for a reason.
TEST_F(RecordExtrasTest, TheListTheDataFolderAndHiddenOrSystemFilesAreRefused) {
    WriteUtf8Named(listPath, "E-Mail\r\n");
    WriteUtf8Named(dataFolder + "\\tosent.txt", "sent");
    WriteUtf8Named(listFolder + "\\secret.txt", "s");
    WriteUtf8Named(listFolder + "\\boot.ini", "b");
    const std::vector<std::string> header{"E-Mail", "Attachment"};

    for (const std::string& list : {std::string("list.csv"), std::string("LIST.CSV"),
                                    std::string(".\\sub\\..\\list.csv. "), listPath}) {
        EXPECT_EQ(Check(header, {"a@x.com", list}), RecordAttachmentIsList) << list;
        EXPECT_TRUE(SameAttachmentPath(extras.value, listPath.c_str())) << extras.value;
    }
    // Its short name could be the list's: refused as the list.
    EXPECT_EQ(Check(header, {"a@x.com", "LIST~1.CSV"}), RecordAttachmentIsList);
    for (const std::string& data : {std::string("..\\appdata\\Quorvel\\tosent.txt"),
                                    std::string("..\\AppData\\QUORVEL\\gone.txt"),
                                    std::string("../AppData/Quorvel/./tosent.txt."), dataFolder,
                                    std::string("..\\APPDAT~1\\QUORVE~1\\tosent.txt")}) {
        EXPECT_EQ(Check(header, {"a@x.com", data}), RecordAttachmentDataFolder) << data;
    }
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason),
                 "is in Quorvel's own data folder (its logs and sent lists)");

    ASSERT_TRUE(SetFileAttributesW(W(Wide(listFolder + "\\secret.txt")), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(W(Wide(listFolder + "\\boot.ini")), FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(Check(header, {"a@x.com", "secret.txt"}), RecordAttachmentHidden);
    EXPECT_EQ(std::string(extras.value), listFolder + "\\secret.txt");
    EXPECT_EQ(Check(header, {"a@x.com", "boot.ini"}), RecordAttachmentHidden);
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "is a hidden or system file");
    ASSERT_TRUE(SetFileAttributesW(W(Wide(listFolder + "\\secret.txt")), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Check(header, {"a@x.com", "secret.txt"}), RecordExtrasOk);
}

// Neither the disk nor the network is asked about these: their form alone
// refuses them (natively, the substitute records that no call was made).
TEST_F(RecordExtrasTest, DevicesStreamsAndWebAddressesAreRefusedByTheirForm) {
    const std::vector<std::string> header{"E-Mail", "Attachment"};
    for (const char* device :
         {"CON", "nul.txt", "Com1", "LPT1 .pdf", "aux", "PRN.doc", "C:\\x\\com9.pdf",
          "\\\\.\\PhysicalDrive0", "//./COM1", "\\\\?\\GLOBALROOT\\Device\\x", "conout$"})
        EXPECT_EQ(Check(header, {"a@x.com", device}), RecordAttachmentDevice) << device;
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "names a device, not a file");
    for (const char* stream : {"x.pdf:hidden", "C:\\x.pdf::$DATA", "a\\b:c"})
        EXPECT_EQ(Check(header, {"a@x.com", stream}), RecordAttachmentStream) << stream;
    for (const char* url : {"file:///C:/x.pdf", "http://example.com/x.pdf", "https://e.com/x",
                            "file:\\\\server\\x", "mailto:x@y.com"})
        EXPECT_EQ(Check(header, {"a@x.com", url}), RecordAttachmentUrl) << url;
    EXPECT_STREQ(RecordExtrasReasonText(extras.reason), "is a web address, not a file");
}

// Until the user decides in the review, a file on another computer is only
// listed; refused, it refuses its record.
TEST_F(RecordExtrasTest, NetworkFilesAreListedUntilTheUserDecides) {
    const std::vector<std::string> header{"E-Mail", "Attachment"};
    const std::string value = "\\\\server\\share\\x.pdf; //server/share/./y.pdf; "
                              "\\\\?\\UNC\\server\\share\\z.pdf";
    ASSERT_EQ(Check(header, {"a@x.com", value}), RecordExtrasOk);
    EXPECT_EQ(Texts(RecordExtraFile),
              (std::vector<std::string>{"\\\\server\\share\\x.pdf", "\\\\server\\share\\y.pdf",
                                        "\\\\server\\share\\z.pdf"}));
    EXPECT_EQ(extras.networkFiles, 3);
    EXPECT_EQ(extras.totalBytes, 0u);
    EXPECT_TRUE(extras.items[0].network && extras.items[1].network && extras.items[2].network);

    // The temporary folder outlives a test under Wine: the file is made here.
    places.network = NetworkFiles::Refused;
    DeleteFileA((listFolder + "\\before-net.txt").c_str());
    EXPECT_EQ(Check(header, {"a@x.com", "before-net.txt;" + value}), RecordAttachmentMissing);
    WriteUtf8Named(listFolder + "\\before-net.txt", "n");
    EXPECT_EQ(Check(header, {"a@x.com", "before-net.txt;" + value}), RecordAttachmentNetwork);
    EXPECT_EQ(std::string(extras.value), "\\\\server\\share\\x.pdf");
    EXPECT_EQ(Check(header, {"a@x.com", "before-net.txt"}), RecordExtrasOk);
}

TEST_F(RecordExtrasTest, WhatACopyCarriesIsToldInOneLine) {
    WriteUtf8Named(listFolder + "\\a.pdf", std::string(1536, 'a'));
    ASSERT_EQ(Check({"E-Mail", "Attachments", "Cc", "Bcc"},
                    {"a@x.com", "a.pdf;\\\\srv\\s\\b.pdf", "c@x.com, d@x.com", "e@x.com"}),
              RecordExtrasOk);
    char text[512];
    DescribeRecordExtras(&extras, false, "\n", text, sizeof text);
    EXPECT_STREQ(text, "Cc: c@x.com, d@x.com\nBcc: e@x.com\nAttachments: a.pdf (1.5 KB), b.pdf (on "
                       "the network)");
    DescribeRecordExtras(&extras, true, "; ", text, sizeof text);
    EXPECT_EQ(std::string(text), "Cc: c@x.com, d@x.com; Bcc: e@x.com; Attachments: " + listFolder +
                                     "\\a.pdf (1.5 KB), \\\\srv\\s\\b.pdf (on the network)");
    DescribeRecordExtras(&extras, true, "; ", text, 9);
    EXPECT_STREQ(text, "Cc: c@x.");
    EXPECT_EQ(Check({"E-Mail", "Attachments"}, {"a@x.com", ""}), RecordExtrasOk);
    DescribeRecordExtras(&extras, true, "; ", text, sizeof text);
    EXPECT_STREQ(text, "");
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
