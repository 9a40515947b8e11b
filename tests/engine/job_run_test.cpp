// Complete jobs in the simulated mail client: every recipient gets one merged
// copy addressed to that recipient alone, plain or HTML as the original and
// the host say, and the three logs tell what was sent. Runs natively and
// under Wine.
#include "job_fixture.h"

#include "data/list_file.h"
#include "data/mailing_list.h"
#include "data/settings.h"

#include <regex>

namespace {

// Log times depend on the clock: "(12/5/2007 4:03.26)" and "(9:05.07)" become
// "(TIME)", after checking their shape.
std::string MaskTimes(const std::string& text) {
    static const std::regex kTime(
        R"(\(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}\.\d{2}\)|\(\d{1,2}:\d{2}\.\d{2}\))");
    return std::regex_replace(text, kTime, "(TIME)");
}

// The addresses of a mailing list as the reader finds them, header first.
std::vector<std::string> ReadBack(const char* path, std::string* headerRaw) {
    std::vector<std::string> addresses;
    ListFile* file = OpenListFile(path);
    if (!file)
        return addresses;
    MailingList list;
    char address[kListAddressSize], header[kListRawSize] = "";
    for (int done = 0; ReadNextRecipient(&list, file, done, address, done ? nullptr : header,
                                         nullptr, &list.header, &list.current) == 1;
         ++done)
        addresses.push_back(address);
    EXPECT_EQ(ListFileStopReason(file), ListStopNone);
    CloseListFile(file);
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
    *headerRaw = header;
    return addresses;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const char kSampleList[] = "First Name,Last,E-Mail\r\n"
                           "// people to write to\r\n"
                           "Ann,\"Smith, Jr.\",ann@example.com\r\n"
                           "Bob,Jones,no address here\r\n"
                           "\r\n"
                           "Cy,\"Line one\r\nline two\",\"Cy Young <cy@example.com>\"\r\n";

// ---- One merged copy per recipient ------------------------------------------------------------

TEST_F(JobTest, EveryRecipientGetsOneMergedPlainCopyAddressedToThemAlone) {
    StartClient();
    sim::Draft draft;
    draft.subject = "News for [[First Name]] [[Last]]";
    draft.body = "Hello [[first name]],\r\nthis goes to [[E-Mail]].\r\n";
    draft.bodyFormat = olFormatPlain;
    Compose(draft);
    WriteList(kSampleList);
    RunJob();

    // A record of the list has no address: every other one is mailed, and
    // the job is not complete, the one left out counted.
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::sentCount, 2);
    EXPECT_EQ(MailingJob::notSentCount, 1);
    EXPECT_EQ(context->emailFieldIndex, 2); // the window remembers the list's address column
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_EQ(client->QueuedCount(), 0u);
    ASSERT_EQ(DeliveredTo(), (std::vector<std::string>{"ann@example.com", "cy@example.com"}));
    const sim::Delivery& ann = client->Deliveries()[0];
    EXPECT_EQ(ann.subject, "News for Ann Smith, Jr.");
    EXPECT_EQ(ann.body, "Hello Ann,\r\nthis goes to ann@example.com.\r\n");
    EXPECT_FALSE(ann.isHtml);
    EXPECT_EQ(ann.useTnef, 0);
    EXPECT_EQ(ann.recipients[0].type, MAPI_TO);
    EXPECT_EQ(ann.recipients[0].addressType, "SMTP");
    EXPECT_EQ(ann.recipients[0].displayName, ""); // the same as the address
    EXPECT_FALSE(ann.recipients[0].sendRichInfo);
    const sim::Delivery& cy = client->Deliveries()[1];
    // A subject is one line: the value's line break is a blank there.
    EXPECT_EQ(cy.subject, "News for Cy Line one line two");
    EXPECT_EQ(cy.body, "Hello Cy,\r\nthis goes to cy@example.com.\r\n");
    for (const sim::Delivery& d : client->Deliveries()) {
        std::string eml = ReadFileBytes(d.path);
        EXPECT_TRUE(Contains(eml, d.recipients[0].address)) << d.path;
    }
    // The copies went through the Outbox into Sent Items; the original stays a draft.
    EXPECT_EQ(client->FolderContents(olFolderSentMail).size(), 2u);
    EXPECT_TRUE(client->FolderContents(olFolderOutbox).empty());
    EXPECT_EQ(client->View(item.Get()).folder, "Drafts");
    EXPECT_TRUE(client->View(item.Get()).recipients.empty());
}

// A value is text: in the HTML body its <, >, & and " are escaped, so it
// shows as it reads; the subject and the plain body take it as it stands.
TEST_F(JobTest, AValueMergedIntoTheHtmlBodyShowsAsItReads) {
    StartClient();
    sim::Draft draft;
    draft.subject = "For [[Company]]";
    draft.body = "Text for [[Company]]";
    draft.html = "<p title=\"[[Company]]\">HTML for <b>[[Company]]</b></p>";
    Compose(draft);
    WriteList("Company,Email\r\n\"Smith <Holdings> & \"\"Sons\"\"\",ann@example.com\r\n");
    RunJob();
    ASSERT_EQ(client->Deliveries().size(), 1u);
    const sim::Delivery& d = client->Deliveries()[0];
    EXPECT_EQ(d.subject, "For Smith <Holdings> & \"Sons\"");
    ASSERT_TRUE(d.isHtml);
    EXPECT_TRUE(Contains(d.body, "<p title=\"Smith &lt;Holdings&gt; &amp; &quot;Sons&quot;\">HTML "
                                 "for <b>Smith &lt;Holdings&gt; &amp; &quot;Sons&quot;</b></p>"))
        << d.body;
}

// The editor's language span inside a token does not keep it from merging.
TEST_F(JobTest, ATokenTheEditorSplitIsMergedInTheHtmlBody) {
    StartClient();
    sim::Draft draft;
    draft.subject = "For [[Name]]";
    draft.html = "<p>Dear [[<span lang=EN-GB>Name</span>]],</p>";
    Compose(draft);
    WriteList("Name,Email\r\nAnn,ann@example.com\r\n");
    RunJob();
    ASSERT_EQ(client->Deliveries().size(), 1u);
    EXPECT_TRUE(Contains(client->Deliveries()[0].body, "<p>Dear Ann<span lang=EN-GB></span>,</p>"))
        << client->Deliveries()[0].body;
}

// The semicolon list a spreadsheet writes where the comma is the decimal
// sign: each field its own, and the log says which delimiter it read.
TEST_F(JobTest, ASemicolonListIsMailedFieldByField) {
    StartClient();
    sim::Draft draft;
    draft.subject = "Hallo [[Vorname]]";
    draft.body = "[[Vorname]] [[Nachname]], [[Ort]]";
    draft.bodyFormat = olFormatPlain;
    Compose(draft);
    WriteList("Vorname;Nachname;E-Mail;Ort\r\nJ\xC3\xBCrgen;M\xC3\xBCller;juergen@example.de;"
              "K\xC3\xB6ln, Deutschland\r\n");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(DeliveredTo(), std::vector<std::string>{"juergen@example.de"});
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog), "\t\tDelimiter: Semicolon\r\n"));
}

TEST_F(JobTest, ARecipientTheCopyAlreadyHoldsStaysAndTheListedOneIsAdded) {
    sim::Draft draft = PlainMessage();
    draft.recipients = {sim::Recipient("boss@example.com", "", MAPI_CC)};
    Prepare(1, sim::Config(), draft);
    RunJob();
    ASSERT_EQ(client->Deliveries().size(), 1u);
    EXPECT_EQ(DeliveredTo()[0], "boss@example.com;r01@example.com");
}

// ---- Resolving the recipient
// ---------------------------------------------------------------------

// Each copy's recipient holds the one-off entry ID the session's address book
// made for its address, so the store delivers it rather than bouncing it.
TEST_F(JobTest, EveryDeliveredRecipientIsResolvedByAOneOffEntryOfItsAddress) {
    Prepare(3);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r02@example.com", "r03@example.com"}));
    for (const sim::Delivery& d : client->Deliveries()) {
        ASSERT_EQ(d.recipients.size(), 1u);
        const sim::Recipient& to = d.recipients[0];
        sim::OneOffEntry entry;
        ASSERT_TRUE(sim::DecodeOneOffEntryId(to.entryId, &entry)) << to.address;
        EXPECT_EQ(entry.displayName, to.address);
        EXPECT_EQ(entry.addressType, "SMTP");
        EXPECT_EQ(entry.address, to.address);
        EXPECT_TRUE(entry.unicode);    // wide strings: every character of the address kept
        EXPECT_TRUE(entry.noRichInfo); // as PR_SEND_RICH_INFO says
    }
    EXPECT_TRUE(client->NonDeliveries().empty());
    // One address book for the whole job, asked once per copy.
    ASSERT_EQ(client->Calls("OpenAddressBook").size(), 1u);
    EXPECT_EQ(client->Calls("OpenAddressBook")[0].args, "window 0, null, flags 0x00000001");
    EXPECT_EQ(client->Calls("CreateOneOff").size(), 3u);
    EXPECT_EQ(client->Calls("CreateOneOff")[0].args,
              "\"r01@example.com\", \"SMTP\", \"r01@example.com\", flags 0x80010000");
}

// Without an address book the copies still go, unresolved: the job does not
// stop for it, and what the store makes of them is the store's (here a
// non-delivery report for each).
TEST_F(JobTest, WithoutAnAddressBookTheCopiesStillGoUnresolved) {
    Prepare(2);
    client->FailCall("OpenAddressBook", 1, MAPI_E_NO_SUPPORT);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(MailingJob::sentCount, 2);
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_EQ(client->Calls("OpenAddressBook").size(), 1u); // not asked again for the second
    EXPECT_TRUE(client->Calls("CreateOneOff").empty());
    EXPECT_TRUE(client->Deliveries().empty());
    ASSERT_EQ(client->NonDeliveries().size(), 2u);
    EXPECT_EQ(client->NonDeliveries()[0].recipients[0].address, "r01@example.com");
    EXPECT_TRUE(client->NonDeliveries()[0].recipients[0].entryId.empty());
    EXPECT_EQ(client->FolderContents(6 /* olFolderInbox */).size(), 2u);
}

TEST_F(JobTest, AOneOffTheBookCannotMakeLeavesOnlyThatCopyUnresolved) {
    Prepare(2);
    client->FailCall("CreateOneOff", 1, MAPI_E_NOT_ENOUGH_MEMORY);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r02@example.com"});
    ASSERT_EQ(client->NonDeliveries().size(), 1u);
    EXPECT_EQ(client->NonDeliveries()[0].recipients[0].address, "r01@example.com");
}

// ---- Plain or HTML, by the host's version and the body format ----------------------------------

struct BodyCase {
    const char* version;
    LONG format;
    bool htmlProperty; // PR_HTML / PR_BODY_HTML can be opened
    bool expectHtml;
};

// Names the case in test listings (by default they show its bytes, pointers included).
void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << "host " << c.version << ", format " << c.format
        << (c.htmlProperty ? ", HTML property" : ", no HTML property");
}

class BodyKindTest : public JobTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(BodyKindTest, CopiesGetTheHtmlBodyExactlyWhenTheOriginalHasOne) {
    const BodyCase c = GetParam();
    sim::Config config;
    config.version = c.version;
    StartClient(config);
    sim::Draft draft;
    draft.subject = "For [[Name]]";
    draft.body = "Text for [[Name]]";
    draft.html = "<p>HTML for <b>[[Name]]</b></p>";
    draft.bodyFormat = c.format;
    draft.htmlPropertyAvailable = c.htmlProperty;
    Compose(draft);
    WriteList("Name\tEmail\r\nAnn\tann@example.com\r\n", "list.txt");
    RunJob();

    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(client->Deliveries().size(), 1u);
    const sim::Delivery& d = client->Deliveries()[0];
    EXPECT_EQ(d.subject, "For Ann");
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog), "\t\tDelimiter: Tab\r\n"));
    EXPECT_EQ(d.isHtml, c.expectHtml);
    if (c.expectHtml)
        EXPECT_TRUE(Contains(d.body, "<p>HTML for <b>Ann</b></p>")) << d.body;
    else
        EXPECT_EQ(d.body, "Text for Ann");
}

INSTANTIATE_TEST_SUITE_P(
    HostsAndFormats, BodyKindTest,
    ::testing::Values(BodyCase{"9.0.0.3821", olFormatHTML, true, true},        // PR_BODY_HTML
                      BodyCase{"11.0.0.8312", olFormatHTML, true, true},       // PR_HTML
                      BodyCase{"11.0.0.8312", olFormatHTML, false, true},      // HTMLBody
                      BodyCase{"11.0.0.8312", olFormatPlain, true, false},     // never read
                      BodyCase{"11.0.0.8312", olFormatRichText, false, false}, // PR_HTML only
                      BodyCase{"12.0.4518", olFormatHTML, true, true},         // PR_HTML
                      BodyCase{"12.0.4518", olFormatHTML, false, false},       // no fallback
                      BodyCase{"16.0.5000", olFormatPlain, false, false}));

// ---- The three logs ----------------------------------------------------------------------------

TEST_F(JobTest, TheLogsRecordTheJobAndTheSentListIsAMailingListOfTheRecipientsReached) {
    JobOptions.SaveOrig = 0;
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 25;
    StartClient();
    Compose(PlainMessage());
    WriteList(kSampleList);
    RunJob();

    const std::string start = "Job Started: (TIME)\r\n"
                              "\tQuorvel version: 2.1\r\n"
                              "\tSubject: Hello [[Name]]\r\n"
                              "\tMailing List: " +
                              listPath +
                              "\r\n"
                              "\t\tDelimiter: Comma\r\n"
                              "\t\tEmails In File: 2\r\n"
                              "\tOptions:\r\n"
                              "\t\tPause: 0\r\n"
                              "\t\tSend/Receive every 25 messages\r\n"
                              "\t\tSave Original: 0\r\n";
    // Line 4 was left out: not every record of the list was mailed.
    const std::string end = "\tResult: Incomplete (See Current Job Log)\r\n"
                            "\tE-Mails Sent: 2\r\n"
                            "Job Ended : (TIME)\r\n";
    EXPECT_EQ(MaskTimes(ReadLog(DataPaths.currentJobLog)),
              start +
                  "(TIME) # 1, To: ann@example.com. Sent Successfully\r\n"
                  "Not sent: line 4, \"no address here\" is not one e-mail address\r\n"
                  "(TIME) # 2, To: cy@example.com. Sent Successfully\r\n" +
                  end);
    EXPECT_EQ(MaskTimes(ReadLog(DataPaths.jobHistory)), start + end);
    EXPECT_EQ(ReadLog(DataPaths.sentList),
              "First Name,Last,E-Mail\r\n"
              "Ann,\"Smith, Jr.\",ann@example.com\r\n"
              "Cy,\"Line one\r\nline two\",\"Cy Young <cy@example.com>\"\r\n");
    std::string header;
    EXPECT_EQ(ReadBack(DataPaths.sentList, &header),
              (std::vector<std::string>{"ann@example.com", "cy@example.com"}));
    EXPECT_EQ(header, "First Name,Last,E-Mail\n");
}

// The logs and the sent list are UTF-8 without a mark whatever the list's
// encoding: a legacy ANSI list's "Zo\xEB" is "Zo\xC3\xAB" there, and the sent list
// read back as a list gives the same records.
TEST_F(JobTest, TheSentListIsUtf8AndReadsBackAsTheSameRecords) {
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail\r\nZo\xEB,zoe@example.com\r\n\"Ren\xE9"
              "e\r\nM.\",r@example.com\r\n");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(ReadLog(DataPaths.sentList), "Name,E-Mail\r\nZo\xC3\xAB,zoe@example.com\r\n"
                                           "\"Ren\xC3\xA9"
                                           "e\r\nM.\",r@example.com\r\n");
    std::string header;
    EXPECT_EQ(ReadBack(DataPaths.sentList, &header),
              (std::vector<std::string>{"zoe@example.com", "r@example.com"}));
}

TEST_F(JobTest, TwoJobsInARowLeaveTheSecondInTheCurrentLogAndBothInTheHistory) {
    Prepare(2);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    WriteList(NumberedList(1), "second.txt");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});

    const std::string current = MaskTimes(ReadLog(DataPaths.currentJobLog));
    EXPECT_TRUE(Contains(current, "\t\tDelimiter: Comma\r\n\t\tEmails In File: 1\r\n"));
    EXPECT_TRUE(Contains(current, "\t\tSend/Receive off\r\n"));
    EXPECT_FALSE(Contains(current, "# 2, To:"));
    const std::string history = MaskTimes(ReadLog(DataPaths.jobHistory));
    EXPECT_TRUE(Contains(history, "Emails In File: 2\r\n"));
    EXPECT_TRUE(
        Contains(history, "\tE-Mails Sent: 2\r\nJob Ended : (TIME)\r\nJob Started: (TIME)\r\n"));
    EXPECT_TRUE(Contains(history, "\tE-Mails Sent: 1\r\nJob Ended : (TIME)\r\n"));
    EXPECT_EQ(ReadLog(DataPaths.sentList), "Name,E-Mail\r\nPerson 1,r01@example.com\r\n");
    EXPECT_EQ(client->Deliveries().size(), 3u);
}

// A list that mails nobody is never a success: the job ends not complete,
// which keeps the composed message, says why, and the log names each record.
TEST_F(JobTest, AListThatMailsNobodyIsNotCompleteAndSaysWhy) {
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail\r\nAnn,none\r\nBo,\r\n");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::sentCount, 0);
    EXPECT_TRUE(client->Deliveries().empty());
    const std::string why = "No record of the mailing list has a usable e-mail address in its "
                            "\"E-Mail\" column, so nothing was sent.\nThe current job log names "
                            "each record left out.";
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), MB_ICONEXCLAMATION), why);
    const std::string log = ReadLog(DataPaths.currentJobLog);
    EXPECT_TRUE(Contains(log, "Not sent: line 2, \"none\" is not one e-mail address\r\n"
                              "Not sent: line 3 has no e-mail address\r\n"));
    EXPECT_TRUE(
        Contains(log, "\tResult: Incomplete (See Current Job Log)\r\n\tE-Mails Sent: 0\r\n"));
}

// "Email Opt-In" before "Email Address": the column that holds addresses is
// the one mailed, whichever the name rule found first.
TEST_F(JobTest, OfSeveralColumnsNamedForAnAddressTheOneHoldingAddressesIsMailed) {
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,Email Opt-In,Email Address\r\nAnn,Yes,ann@example.com\r\n"
              "Bo,No,bo@example.com\r\n");
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    ASSERT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(client->Deliveries()[0].recipients[0].address, "ann@example.com");
    EXPECT_EQ(client->Deliveries()[1].recipients[0].address, "bo@example.com");
}

// ---- Failures the user is told about ------------------------------------------------------------

// The one box shown, with the exclamation icon, owned by the desktop window
// when the dialog gave the job no owner.
std::string OnlyBox() {
    return OnlyMessageBox(GetDesktopWindow(), MB_ICONEXCLAMATION);
}

TEST_F(JobTest, AListThatCannotBeOpenedIsReportedAndNothingIsWritten) {
    Prepare(1);
    DeleteFileA(listPath.c_str());
    RunJob();
    EXPECT_EQ(OnlyBox(), "Could not open the mailing list file for reading.");
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(GetFileAttributesA(DataPaths.currentJobLog), INVALID_FILE_ATTRIBUTES);
}

TEST_F(JobTest, AListWithoutEmailColumnIsReportedAndTheHelpOffered) {
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,Mail\r\nAnn,ann@example.com\r\n");
    RunJob();
    std::vector<ShownMessageBox> boxes = ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes[1].text, "Would you like to read about Mailing Lists in the online help?");
    EXPECT_EQ(boxes[1].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobTest, AListThatCannotBeReadToItsEndIsNotSentAtAll) {
    StartClient();
    Compose(PlainMessage());
    WriteList(NumberedList(3) + std::string(520, 'x') + ",late@example.com\r\n");
    RunJob();
    EXPECT_EQ(OnlyBox(), "The mailing list could not be read at line 5 (a record of 512 "
                         "bytes or more).\nNothing was sent.");
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// A quit request waiting when the job first pumps (the client closing down
// as the job starts) ends it before the first copy, and is left in the queue
// for the loop that owns the thread.
TEST_F(JobTest, AQuitRequestEndsTheJobAndStaysForTheOwnersLoop) {
    Prepare(2);
    beforeRun = [] { PostQuitMessage(5); };
    RunJob();
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(5));
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog),
                         "Job Stopped\r\n\tResult: Incomplete (See Current Job Log)\r\n"
                         "\tE-Mails Sent: 0\r\n"));
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// A body whose merged size would pass 2^31 bytes is a failed merge: the job
// never makes a buffer of a size cut to 32 bits and copies the body into it.
TEST_F(JobTest, ABodyWhoseMergeWouldPassTwoGigabytesFailsToMerge) {
    StartClient();
    sim::Draft draft = PlainMessage();
    std::string body;
    body.reserve(size_t{5} * 4600000);
    for (int i = 0; i < 4600000; ++i)
        body += "[[A]]"; // 475 bytes more each: 2,208,000,001 bytes merged
    draft.body = std::move(body);
    Compose(draft);
    WriteList("A,E-Mail\r\n" + std::string(480, 'v') + ",ann@example.com\r\n");
    RunJob();
    EXPECT_EQ(OnlyBox(),
              "Mail merge failed.\nMake sure no fields are greater than 511 characters.");
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog),
                         "Mail merge error\r\n\tResult: Incomplete (See Current Job Log)\r\n"
                         "\tE-Mails Sent: 0\r\n"));
    EXPECT_TRUE(client->Deliveries().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

// The flags and the spooler row matter to the real store even where the
// simulated one would take other values.
TEST_F(JobTest, EachCopyIsForceSubmittedAndTheSpoolerFlushedUpstream) {
    Prepare(1);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    const std::vector<sim::TraceEntry> submits = client->Calls("SubmitMessage");
    ASSERT_EQ(submits.size(), 1u);
    EXPECT_EQ(submits[0].args, "flags 0x00000001"); // FORCE_SUBMIT
    const std::vector<sim::TraceEntry> opens = client->Calls("OpenEntry");
    ASSERT_EQ(opens.size(), 1u);
    // The status table's spooler row (its other rows are the subsystem, the
    // store and the transport), opened with MAPI_BEST_ACCESS.
    EXPECT_EQ(opens[0].args,
              "0000000053494D554C415445442D53544F5245310300000000, IMAPIStatus, flags 0x00000010");
    const std::vector<sim::TraceEntry> flushes = client->Calls("FlushQueues");
    ASSERT_EQ(flushes.size(), 1u);
    EXPECT_EQ(flushes[0].args, "window 0, transport bytes 0, flags 0x00000002"); // FLUSH_UPLOAD
}

TEST_F(JobTest, ASubmissionTheStoreRefusesEndsTheJobWithItsLogLine) {
    Prepare(3);
    client->FailCall("SubmitMessage", 2, MAPI_E_NO_RECIPIENTS);
    RunJob();
    EXPECT_EQ(OnlyBox(), "Failed to submit message to: r02@example.com");
    EXPECT_TRUE(Contains(MaskTimes(ReadLog(DataPaths.currentJobLog)),
                         "(TIME) # 1, To: r01@example.com. Sent Successfully\r\n"
                         "Failed to submit message to: r02@example.com\r\n"
                         "\tResult: Incomplete (See Current Job Log)\r\n"
                         "\tE-Mails Sent: 1\r\n"));
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r01@example.com"});
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
}

TEST_F(JobTest, AMoveThatFailsIsLoggedAndTheCopyStillSent) {
    Prepare(2);
    client->RaiseCall("MailItem.Move", 2, E_FAIL);
    RunJob();
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(Contains(ReadLog(DataPaths.currentJobLog),
                         "Error caught moving message to Outbox during message 2\r\n"));
    EXPECT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

} // namespace
