// Whole mailings whose list names files, Cc and Bcc for each record: each
// copy carries the composed message's attachments and its record's files,
// and goes to its record's Cc and Bcc addresses alone; a record that cannot
// be built as it asks is logged and not mailed, and never counted. Runs
// natively and under Wine (the files read through the system's calls).
#include "job_fixture.h"

#include "base/data_paths.h"
#include "client/host_application.h"

#include <string>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::u16string Wide(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, reinterpret_cast<WCHAR*>(wide.data()), units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

HANDLE OpenWide(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    const std::u16string wide = Wide(path);
    return CreateFileW(reinterpret_cast<const WCHAR*>(wide.c_str()), access, share, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteNamed(const std::string& utf8Path, const std::string& bytes) {
    HANDLE file = OpenWide(utf8Path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << utf8Path;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string TempFolder() {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    return folder; // with its trailing backslash
}

// Attaches a file to the composed message through its store message, as the
// user's own attachment.
void AttachToOriginal(IDispatch* item, const char16_t* name, const std::string& bytes) {
    ComRef<IUnknown> object = HostApplication::MapiObject(item);
    IMessage* message = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IMessage, reinterpret_cast<void**>(&message)), S_OK);
    IAttach* attach = nullptr;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, &attach), S_OK);
    SPropValue values[2] = {};
    values[0].ulPropTag = PR_ATTACH_METHOD;
    values[0].Value.l = ATTACH_BY_VALUE;
    values[1].ulPropTag = PR_ATTACH_LONG_FILENAME_W;
    values[1].Value.lpszW = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(name));
    EXPECT_EQ(attach->SetProps(2, values, nullptr), S_OK);
    values[0].ulPropTag = PR_ATTACH_DATA_BIN;
    values[0].Value.bin.cb = static_cast<ULONG>(bytes.size());
    values[0].Value.bin.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()));
    EXPECT_EQ(attach->SetProps(1, values, nullptr), S_OK);
    EXPECT_EQ(attach->SaveChanges(0), S_OK);
    attach->Release();
    message->Release();
}

// The temporary folder's own name, to reach it from inside it with "..".
std::string TempFolderName() {
    std::string folder = TempFolder();
    folder.pop_back();
    return folder.substr(folder.find_last_of('\\') + 1);
}

std::vector<std::string> Names(const sim::Delivery& d) {
    std::vector<std::string> names;
    for (const sim::DeliveredAttachment& a : d.attachments)
        names.push_back(a.fileName + ":" + std::to_string(a.size));
    return names;
}

std::vector<std::string> Addressed(const sim::Delivery& d) {
    std::vector<std::string> all;
    for (const sim::Recipient& r : d.recipients)
        all.push_back(std::to_string(r.type) + " " + r.address);
    return all;
}

sim::Draft PlainDraft() {
    sim::Draft draft;
    draft.subject = "Your papers, [[Name]]";
    draft.body = "Dear [[Name]], copies go to [[Cc]].";
    draft.bodyFormat = olFormatPlain;
    return draft;
}

// OlDefaultFolders values the product itself never asks for.
constexpr LONG kFolderDeletedItems = 3;
constexpr LONG kFolderDrafts = 16;

const char kZoe[] = "Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC.txt";

TEST_F(JobTest, EachCopyCarriesItsRecordsFilesAndGoesToItsCcAndBccAlone) {
    StartClient();
    Compose(PlainDraft());
    AttachToOriginal(item.Get(), u"terms.txt", "the terms");
    const std::string temp = TempFolder();
    CreateDirectoryA((temp + "files").c_str(), nullptr);
    WriteNamed(temp + "files\\inv 7.pdf", std::string("%PDF\0\x01\xFF", 7));
    WriteNamed(temp + kZoe, "");
    WriteNamed(temp + "locked.doc", "locked");
    HANDLE lock = OpenWide(temp + "locked.doc", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    WriteList(std::string("Name,E-Mail,Attachments,Cc,Bcc\r\n"
                          "Ann,ann@example.com,\"files\\inv 7.pdf; ..\\") +
              TempFolderName() + "\\" + kZoe +
              "\",boss@example.com,\"audit@example.com; archive@example.com\"\r\n"
              "Bob,bob@example.com,missing.pdf,,\r\n"
              "Cy,cy@example.com,,\"a@b, x\",\r\n"
              "Dee,dee@example.com, ; ,,\r\n"
              "Eve,eve@example.com,locked.doc,,\r\n" +
              "Fay,fay@example.com,files,,\r\n");
    RunJob();
    CloseHandle(lock);

    // Records not mailed are not counted, but the job that left them out is
    // not complete: its mailing stays open for them.
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::notSentCount, 4);
    EXPECT_EQ(MailingJob::sentCount, 2);
    ASSERT_EQ(client->Deliveries().size(), 2u);
    const sim::Delivery& ann = client->Deliveries()[0];
    EXPECT_EQ(Addressed(ann),
              (std::vector<std::string>{"1 ann@example.com", "2 boss@example.com",
                                        "3 audit@example.com", "3 archive@example.com"}));
    EXPECT_EQ(Names(ann),
              (std::vector<std::string>{"terms.txt:9", "inv 7.pdf:7", std::string(kZoe) + ":0"}));
    EXPECT_EQ(ann.body, "Dear Ann, copies go to boss@example.com.");
    const std::string eml = ReadFileBytes(ann.path);
    EXPECT_TRUE(Contains(eml, "\r\nCc: boss@example.com\r\n"));
    EXPECT_TRUE(Contains(eml, "\r\nBcc: audit@example.com, archive@example.com\r\n"));
    const sim::Delivery& dee = client->Deliveries()[1];
    EXPECT_EQ(Addressed(dee), (std::vector<std::string>{"1 dee@example.com"}));
    EXPECT_EQ(Names(dee), (std::vector<std::string>{"terms.txt:9"}));

    const std::string log = ReadLog(DataPaths.currentJobLog);
    EXPECT_TRUE(Contains(log, "Not sent: line 3, the attachment \"" + temp +
                                  "missing.pdf\" cannot be found\r\n"))
        << log;
    EXPECT_TRUE(Contains(log, "Not sent: line 4, Cc \"a@b, x\" is not a list of e-mail "
                              "addresses\r\n"));
    EXPECT_TRUE(Contains(log, "Not sent: line 6, the attachment \"" + temp +
                                  "locked.doc\" cannot be read\r\n"));
    EXPECT_TRUE(
        Contains(log, "Not sent: line 7, the attachment \"" + temp + "files\" is a folder\r\n"));
    // The sent list holds the records mailed, so that a later run of the
    // same mailing tries the others again.
    const std::string sent = ReadLog(DataPaths.sentList);
    EXPECT_TRUE(Contains(sent, "Ann,ann@example.com"));
    EXPECT_TRUE(Contains(sent, "Dee,dee@example.com"));
    EXPECT_FALSE(Contains(sent, "bob@example.com"));
    EXPECT_FALSE(Contains(sent, "eve@example.com"));
    // Nothing left behind: the copies went, the original stays.
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    EXPECT_EQ(client->FolderContents(kFolderDrafts).size(), 1u);
}

// The store refuses the first copy's attachment: that copy is deleted, not
// left to be sent without its file, and the next record is mailed.
TEST_F(JobTest, ACopyWhoseFileCannotBeAttachedIsDeletedAndTheJobGoesOn) {
    StartClient();
    Compose(PlainDraft());
    const std::string temp = TempFolder();
    WriteNamed(temp + "a.txt", "a");
    WriteList("Name,E-Mail,Attachment\r\n"
              "Ann,ann@example.com,a.txt\r\n"
              "Bob,bob@example.com,a.txt\r\n");
    beforeRun = [&] { client->FailCall("CreateAttach", 1, MAPI_E_NOT_ENOUGH_MEMORY); };
    RunJob();

    // Counted and not mailed: the job did not complete.
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"bob@example.com"});
    EXPECT_EQ(Names(client->Deliveries()[0]), std::vector<std::string>{"a.txt:1"});
    const std::string log = ReadLog(DataPaths.currentJobLog);
    EXPECT_TRUE(Contains(log, "Not sent: line 2, the attachment \"" + temp +
                                  "a.txt\" could not be attached (0x8007000E)\r\n"))
        << log;
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    EXPECT_EQ(client->FolderContents(kFolderDrafts).size(), 1u);
    EXPECT_EQ(client->FolderContents(kFolderDeletedItems).size(), 1u);
    EXPECT_FALSE(Contains(ReadLog(DataPaths.sentList), "ann@example.com"));
}

// The attachments are saved with the copy; a store that refuses to save
// them keeps that copy from going.
TEST_F(JobTest, ACopyWhoseAttachmentsCannotBeSavedIsDeleted) {
    StartClient();
    Compose(PlainDraft());
    const std::string temp = TempFolder();
    WriteNamed(temp + "a.txt", "a");
    WriteList("Name,E-Mail,Attachment\r\nAnn,ann@example.com,a.txt\r\n");
    // The composed message saved with its mailing's id, then the
    // attachment's own save, then the copy's.
    beforeRun = [&] { client->FailCall("SaveChanges", 3, E_FAIL); };
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog),
                         "Not sent: line 2, its attachments could not be saved (0x80004005)\r\n"));
    EXPECT_EQ(client->FolderContents(kFolderDrafts).size(), 1u);
}

// A file that goes after the counting pass, before its record's turn.
TEST_F(JobTest, AFileThatVanishesBeforeItsCopyIsMadeKeepsTheRecordFromBeingMailed) {
    sim::Config config;
    const std::string temp = TempFolder();
    config.onDelivered = [&](const sim::Delivery&) { DeleteFileA((temp + "b.txt").c_str()); };
    StartClient(config);
    Compose(PlainDraft());
    WriteNamed(temp + "b.txt", "b");
    WriteList("Name,E-Mail,Attachment\r\n"
              "Ann,ann@example.com,\r\n"
              "Bob,bob@example.com,b.txt\r\n");
    RunJob();

    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"ann@example.com"});
    EXPECT_TRUE(
        Contains(ReadLog(DataPaths.currentJobLog),
                 "Not sent: line 3, the attachment \"" + temp + "b.txt\" cannot be found\r\n"));
}

// A record left out for a missing file is not in the sent list: once the
// file is there, continuing the mailing mails it.
TEST_F(JobTest, ARecordLeftOutForItsFileIsMailedWhenTheMailingIsContinued) {
    StartClient();
    Compose(PlainDraft());
    const std::string temp = TempFolder();
    DeleteFileA((temp + "late.txt").c_str());
    WriteList("Name,E-Mail,Attachment\r\n"
              "Ann,ann@example.com,\r\n"
              "Bob,bob@example.com,late.txt\r\n"
              "Cy,cy@example.com,\r\n"
              "Dee,dee@example.com,\r\n");
    // The store refuses the second copy's recipients: Cy's, Bob being left out.
    client->FailCall("ModifyRecipients", 2, MAPI_E_NO_ACCESS);
    AnswerMessageBoxes([](const ShownMessageBox& box) {
        return box.text.rfind("The last mailing of this list", 0) == 0 ? IDYES
               : (box.flags & MB_YESNO)                                ? IDNO
                                                                       : IDOK;
    });
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    ASSERT_EQ(DeliveredTo(), std::vector<std::string>{"ann@example.com"});
    CloseClient();

    WriteNamed(temp + "late.txt", "late");
    StartClient();
    Compose(PlainDraft());
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"bob@example.com", "cy@example.com", "dee@example.com"}));
    EXPECT_EQ(Names(client->Deliveries()[0]), std::vector<std::string>{"late.txt:4"});
    bool asked = false;
    for (const ShownMessageBox& box : ShownMessageBoxes())
        asked = asked ||
                box.text.find("1 of its recipients were sent, 3 are left") != std::string::npos;
    EXPECT_TRUE(asked);
}

// A list of one column is a list of addresses, whatever the column's name.
TEST_F(JobTest, AListOfOneColumnCalledCcMailsItsAddresses) {
    StartClient();
    Compose(PlainDraft());
    WriteList("Cc\r\nann@example.com\r\n");
    RunJob();
    ASSERT_EQ(DeliveredTo(), std::vector<std::string>{"ann@example.com"});
}

// A list without the columns is mailed as it always was.
TEST_F(JobTest, AListWithoutTheColumnsMakesCopiesWithoutAttachmentsOrCopies) {
    Prepare(2);
    RunJob();
    ASSERT_EQ(client->Deliveries().size(), 2u);
    for (const sim::Delivery& d : client->Deliveries()) {
        EXPECT_TRUE(d.attachments.empty());
        EXPECT_EQ(d.recipients.size(), 1u);
        EXPECT_FALSE(Contains(ReadFileBytes(d.path), "multipart"));
    }
}

} // namespace
