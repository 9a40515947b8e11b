// The object-model calls against the simulated mail client, in both builds:
// what each wrapper passes and what comes back, the way the compose-window
// button, the Tools menu and the job use them.
#include "test_support.h"

#include "client/host_application.h"
#include "client/host_state.h"
#include "engine/sending_account.h"
#include "mail_client.h"

#include <memory>

namespace {

namespace host = HostApplication;

class HostApplicationTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        client.reset(new sim::MailClient());
        application = QueryAs<IDispatch>(client->Application().Get(), IID__Application);
        ASSERT_TRUE(application);
    }
    void TearDown() override {
        application.Reset();
        client.reset();
        EXPECT_EQ(sim::LiveObjectCount(), 0u);
        PlatformTest::TearDown();
    }

    std::unique_ptr<sim::MailClient> client;
    ComRef<IDispatch> application;
};

TEST_F(HostApplicationTest, TheApplicationGivesItsVersionWindowsAndNamespace) {
    EXPECT_STREQ(host::Version(application.Get()).Get(), "11.0.0.8312");
    EXPECT_TRUE(host::Inspectors(application.Get()));
    ComRef<IDispatch> explorer = host::ActiveExplorer(application.Get());
    ASSERT_TRUE(explorer);
    ComRef<IDispatch> nameSpace = host::Session(application.Get());
    ASSERT_TRUE(nameSpace);
    ComRef<IDispatch> outbox = host::GetDefaultFolder(nameSpace.Get(), olFolderOutbox);
    EXPECT_TRUE(outbox);
    // Before version 12 the namespace has no SendAndReceive.
    EXPECT_THROW(host::SendAndReceive(nameSpace.Get(), false), HostError);
}

// The account a composed message leaves from, as each kind of profile tells
// it: none before version 12; the item's own; the only one; among several,
// the one of the profile's own address, else none can be told.
TEST_F(HostApplicationTest, TheSendingAccountIsTheOneTheClientTells) {
    const auto read = [this](const sim::Config& config) {
        application.Reset();
        client.reset(new sim::MailClient(config));
        application = QueryAs<IDispatch>(client->Application().Get(), IID__Application);
        sim::Ptr<IDispatch> window = client->OpenCompose(sim::Draft());
        ComRef<IDispatch> inspector = QueryAs<IDispatch>(window.Get(), IID__Inspector);
        ComRef<IDispatch> item = host::CurrentItem(inspector.Get());
        SendingAccount account = ReadSendingAccount(application.Get(), item.Get());
        return std::make_pair(account.kind, account.address);
    };
    using Read = std::pair<AccountKind, std::string>;
    sim::Config config;
    config.accountType = olPop3;
    EXPECT_EQ(read(config), Read(AccountKind::Unknown, "")) << "version 11 tells none";

    config.version = "12.0.4518.1014";
    EXPECT_EQ(read(config), Read(AccountKind::Pop3, "sam.sender@example.com"));
    config.accountType = olHttp;
    config.accountAddress = "sam@hotmail.com";
    EXPECT_EQ(read(config), Read(AccountKind::Other, "sam@hotmail.com"));

    // Several: the profile's own address (CurrentUser) names the default one.
    config.accountType = olExchange;
    config.accountAddress = "";
    config.otherAccounts = {{olImap, "sam@gmail.com"}};
    EXPECT_EQ(read(config), Read(AccountKind::Exchange, "sam.sender@example.com"));
    config.accountAddress = "sam@contoso.com";
    EXPECT_EQ(read(config), Read(AccountKind::Unknown, "")) << "none is the profile's own";
    config.sendUsingAccount = 1; // the item names the Gmail one
    EXPECT_EQ(read(config), Read(AccountKind::Imap, "sam@gmail.com"));
}

TEST_F(HostApplicationTest, AComposeItemIsReadAndCopied) {
    sim::Draft draft;
    draft.subject = "Hi";
    draft.body = "Body";
    draft.bodyFormat = olFormatPlain;
    sim::Ptr<IDispatch> window = client->OpenCompose(draft);
    ComRef<IDispatch> inspector = QueryAs<IDispatch>(window.Get(), IID__Inspector);
    ASSERT_TRUE(inspector);
    ComRef<IDispatch> item =
        QueryAs<IDispatch>(host::CurrentItem(inspector.Get()).Get(), IID__MailItem);
    ASSERT_TRUE(item);
    EXPECT_EQ(host::Class(item.Get()), olMail);
    EXPECT_FALSE(host::Sent(item.Get()));
    EXPECT_EQ(host::BodyFormat(item.Get()), olFormatPlain);
    EXPECT_TRUE(host::GetInspector(item.Get()));
    EXPECT_TRUE(QueryAs<IMessage>(host::MapiObject(item.Get()).Get(), IID_IMessage));
    host::Save(item.Get());
    ComRef<IDispatch> copy = host::Copy(item.Get());
    ASSERT_TRUE(copy);
    host::PutSubject(copy.Get(), "Copy for émile, Żaneta and 张伟");
    EXPECT_EQ(client->View(copy.Get()).subject, "Copy for émile, Żaneta and 张伟");
    host::PutHtmlBody(copy.Get(), "<p>x</p>");
    EXPECT_STREQ(host::HtmlBody(copy.Get()).Get(), "<p>x</p>");
    host::Delete(copy.Get());
    host::Close(item.Get(), olSave);
    EXPECT_TRUE(client->OpenInspectors().empty());
}

TEST_F(HostApplicationTest, AButtonIsAddedToAComposeWindowsBarAndFoundAgain) {
    sim::Ptr<IDispatch> window = client->OpenCompose(sim::Draft());
    ComRef<IDispatch> bars = host::InspectorCommandBars(window.Get());
    ComRef<IDispatch> standard = host::CommandBarsItem(bars.Get(), "Standard");
    ComRef<IDispatch> controls = host::BarControls(standard.Get());
    ComRef<IDispatch> button = host::ControlsAdd(controls.Get(), msoControlButton, true);
    host::PutBeginGroup(button.Get(), true);
    host::PutCaption(button.Get(), "Quorsend");
    host::PutTooltipText(button.Get(), "Send individual copies of this message to a list");
    host::PutTag(button.Get(), "BlastThisMessageTag0");
    host::PutOleUsage(button.Get(), msoControlOLEUsageNeither);
    host::PutFaceId(button.Get(), 0);
    host::PutStyle(button.Get(), msoButtonIconAndCaption);
    host::PutVisible(button.Get(), true);

    sim::MailClient::ControlState state = client->Inspect(button.Get());
    EXPECT_EQ(state.caption, "Quorsend");
    EXPECT_EQ(state.tooltip, "Send individual copies of this message to a list");
    EXPECT_EQ(state.tag, "BlastThisMessageTag0");
    EXPECT_TRUE(state.beginGroup);
    EXPECT_TRUE(state.temporary);
    EXPECT_EQ(state.style, msoButtonIconAndCaption);
    EXPECT_STREQ(host::Tag(button.Get()).Get(), "BlastThisMessageTag0");

    ComRef<IDispatch> found = host::ControlsItem(controls.Get(), "Quorsend");
    EXPECT_EQ(client->NameOf(found.Get()), client->NameOf(button.Get()));
    EXPECT_THROW(host::ControlsItem(controls.Get(), "No such control"), HostError);
    host::MoveControl(found.Get());
}

// A click reaches the handlers of other buttons too: each handler knows its
// own by the Tag, exactly, and a control without one is nobody's.
TEST_F(HostApplicationTest, AControlIsKnownByItsExactTagAndAnEmptyTagIsNobodys) {
    sim::Ptr<IDispatch> window = client->OpenCompose(sim::Draft());
    ComRef<IDispatch> bars = host::InspectorCommandBars(window.Get());
    ComRef<IDispatch> standard = host::CommandBarsItem(bars.Get(), "Standard");
    ComRef<IDispatch> controls = host::BarControls(standard.Get());
    ComRef<IDispatch> button = host::ControlsAdd(controls.Get(), msoControlButton, true);
    EXPECT_FALSE(host::ControlTagIs(button.Get(), ""));
    host::PutTag(button.Get(), "BlastThisMessageTag1");
    EXPECT_TRUE(host::ControlTagIs(button.Get(), "BlastThisMessageTag1"));
    for (const char* other :
         {"BlastThisMessageTag", "BlastThisMessageTag10", "blastthismessagetag1", ""})
        EXPECT_FALSE(host::ControlTagIs(button.Get(), other)) << other;
    // Not a command-bar control at all.
    EXPECT_FALSE(host::ControlTagIs(window.Get(), "BlastThisMessageTag1"));
    EXPECT_FALSE(host::ControlTagIs(nullptr, "BlastThisMessageTag1"));
}

TEST_F(HostApplicationTest, TheExplorersSendReceiveControlIsFoundAndExecuted) {
    ComRef<IDispatch> explorer = host::ActiveExplorer(application.Get());
    ComRef<IDispatch> bars = host::ExplorerCommandBars(explorer.Get());
    EXPECT_TRUE(host::ActiveMenuBar(bars.Get()));
    EXPECT_FALSE(host::FindControl(bars.Get(), 5488)); // the control of hosts before 11
    ComRef<IDispatch> control = host::FindControl(bars.Get(), 7095);
    ASSERT_TRUE(control);
    host::Execute(control.Get());
    EXPECT_EQ(client->SendReceiveCount(), 1u);
    std::vector<sim::TraceEntry> find = client->Calls("FindControl");
    ASSERT_FALSE(find.empty());
    EXPECT_NE(find.back().args.find("7095"), std::string::npos) << find.back().args;
}

} // namespace
