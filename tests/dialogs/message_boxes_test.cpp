// Message boxes from the string table and the online help at a keyword.
// Runs natively and under Wine, where the boxes are real ones and the help
// calls reach a recording viewer library loaded through the viewer's
// registered class.
#include "test_support.h"

#include "base/messages.h"
#include "base/string_ids.h"
#include "data/settings.h"
#include "dialogs/message_boxes.h"

#include <cstring>

namespace {

class MessagesTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        DataPaths.module = TestModule();
    }
};

// ---- Message boxes ----------------------------------------------------------------------

TEST_F(MessagesTest, AStringMessageBoxShowsTheTableTextWithTheCaptionAndFlags) {
    EXPECT_EQ(StringMessageBox(GetDesktopWindow(), IDS_NO_EMAIL_FIELD, kProductName, 0x30), IDOK);
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), 0x30),
              "\"E-Mail\" field could not be found in the mailing list.\n"
              "This is a required field.\nSee the online help for mailing lists.");
}

TEST_F(MessagesTest, AQuestionReturnsTheUsersAnswer) {
    AnswerMessageBoxes(
        [](const ShownMessageBox& box) { return box.flags & MB_YESNO ? IDYES : IDOK; });
    EXPECT_EQ(StringMessageBox(GetDesktopWindow(), IDS_ASK_MAILING_LIST_HELP, kProductName, 0x24),
              IDYES);
    AnswerMessageBoxes([](const ShownMessageBox&) { return IDNO; });
    EXPECT_EQ(StringMessageBox(GetDesktopWindow(), IDS_ASK_MAILING_LIST_HELP, kProductName, 0x24),
              IDNO);
    ASSERT_EQ(ShownMessageBoxes().size(), 2u);
    EXPECT_EQ(ShownMessageBoxes()[0].text,
              "Would you like to read about Mailing Lists in the online help?");
    EXPECT_EQ(ShownMessageBoxes()[0].flags, 0x24u);
}

TEST_F(MessagesTest, OnlyTheLow16BitsOfTheFlagsReachTheBox) {
    StringMessageBox(GetDesktopWindow(), IDS_APPDATA_NOT_FOUND, kProductName, 0x00010030);
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(ShownMessageBoxes()[0].flags, 0x30u);
    EXPECT_EQ(ShownMessageBoxes()[0].text, "Failed to find application data directory.");
}

// ---- Help
// ---------------------------------------------------------------------------------------------

class HelpTest : public MessagesTest {
protected:
    void SetUp() override {
        MessagesTest::SetUp();
        InstallRecordingHelpViewer();
        std::strcpy(DataPaths.libraryDirectory, "C:\\Program Files\\Quorvel\\");
    }
};

TEST_F(HelpTest, WithoutALibraryDirectoryHelpDoesNothing) {
    DataPaths.libraryDirectory[0] = '\0';
    EXPECT_EQ(ShowHelpTopic(GetDesktopWindow(), IDS_HELP_MAILING_LISTS), 0);
    EXPECT_TRUE(HelpViewerCalls().empty());
}

TEST_F(HelpTest, TheHelpFileOpensInItsWindowTypeThenLooksTheKeywordUpWithTheIndexAsFallback) {
    HWND owner = GetDesktopWindow();
    EXPECT_EQ(ShowHelpTopic(owner, IDS_HELP_MAILING_LISTS), 1);

    const std::vector<HelpViewerCall> calls = HelpViewerCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].owner, owner);
    EXPECT_EQ(calls[0].file, "C:\\Program Files\\Quorvel\\Quorvel.chm>mywin");
    EXPECT_EQ(calls[0].command, 0u); // HH_DISPLAY_TOPIC
    EXPECT_EQ(calls[0].data, 0u);

    EXPECT_EQ(calls[1].owner, owner);
    EXPECT_EQ(calls[1].file, "C:\\Program Files\\Quorvel\\Quorvel.chm");
    EXPECT_EQ(calls[1].command, 13u); // HH_KEYWORD_LOOKUP
    const HH_AKLINK& link = calls[1].link;
    EXPECT_EQ(link.cbStruct, static_cast<int>(sizeof(HH_AKLINK)));
    EXPECT_EQ(link.fReserved, FALSE);
    EXPECT_EQ(calls[1].keywords, "mailing lists");
    EXPECT_EQ(link.pszUrl, nullptr);
    EXPECT_EQ(link.pszMsgText, nullptr);
    EXPECT_EQ(link.pszMsgTitle, nullptr);
    EXPECT_EQ(link.pszWindow, nullptr);
    EXPECT_EQ(link.fIndexOnFail, 1);
}

TEST_F(HelpTest, EachCallerLooksUpItsOwnKeyword) {
    ShowHelpTopic(nullptr, IDS_HELP_OPTIONS);
    ShowHelpTopic(nullptr, IDS_HELP_JOB_LOGS);
    const std::vector<HelpViewerCall> calls = HelpViewerCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].keywords, "options");
    EXPECT_EQ(calls[3].keywords, "job logs");
}

TEST_F(HelpTest, AViewerThatCannotBeUsedTurnsHelpOffSilentlyForTheRestOfTheProcess) {
    InstallHelpViewerWithoutEntry();
    EXPECT_EQ(ShowHelpTopic(GetDesktopWindow(), IDS_HELP_MAILING_LISTS), 1);
    EXPECT_TRUE(HelpViewerCalls().empty());

    // A usable viewer now would not be loaded: no load is tried again.
    InstallRecordingHelpViewer();
    EXPECT_EQ(ShowHelpTopic(GetDesktopWindow(), IDS_HELP_MAILING_LISTS), 1);
    EXPECT_TRUE(HelpViewerCalls().empty());
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

} // namespace
