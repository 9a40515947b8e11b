// A whole mailing as a user of a current client runs it: the add-in
// registered for the user, loaded by the client at start-up, the compose
// window's ribbon button pressed, the real mailing dialog worked by a
// scripted user, and the client shut down with nothing of it left.
#include "../dialogs/dialog_native_fixture.h"

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "data/settings.h"
#include "dialogs/main_dialog_parts.h"
#include "extension/extension_object.h"
#include "install/addin_registration.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;

namespace {

TEST_F(DialogTest, AMailingStartedFromTheRibbonButtonOfACurrentClient) {
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    sim::Config config;
    config.version = "16.0.4266.1001";
    client.reset(new sim::MailClient(config));
    ASSERT_EQ(client->LoadComAddIns(&DllGetClassObject), std::vector<std::string>{kAddInProgId});
    sim::Draft draft = PlainMessage();
    draft.window = composeWindow;
    inspector = client->OpenCompose(draft);
    WriteList(NumberedList(3));
    JobOptions.SaveOrig = 0;
    ASSERT_EQ(client->RibbonButtons(inspector.Get()).size(), 1u);
    EXPECT_EQ(substitute::FaceCalls(), std::vector<std::string>{"NewBitmapPicture 106"})
        << "the large button gets the large face";

    HWND owner = nullptr;
    TypeAt(10, IDC_LIST_PATH, listPath);
    At(15, [&] { owner = GetParent(substitute::ActiveDialog()); });
    KeyAt(20, VK_RETURN);
    substitute::SetMessageBoxResponder([](const substitute::MessageBoxCall&) { return IDOK; });
    EXPECT_EQ(client->ClickRibbonButton(inspector.Get(), "QuorsendButton"), S_OK);

    EXPECT_THAT(BoxTexts(), ElementsAre("Job Completed Successfully\n\nSent: 3"));
    EXPECT_EQ(owner, composeWindow) << "the dialog over the window whose button was pressed";
    ASSERT_EQ(client->Deliveries().size(), 3u);
    EXPECT_EQ(client->Deliveries()[0].subject, "Hello Person 1");
    // The composed message went, and its window with it.
    EXPECT_EQ(client->Calls("Delete").size(), 1u);
    EXPECT_FALSE(MainDialogOpen);

    inspector.Reset();
    client.reset();
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
    EXPECT_FALSE(ApplicationRef);
    EXPECT_FALSE(MapiSessionRef);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    EXPECT_EQ(sim::LiveObjectCount(), 0u);
}

// A 2007 client with both doors: the client lets go of its extension object
// while the add-in stays connected. The add-in's mailings still reach the
// client's application and its session, so the copies go out.
TEST_F(DialogTest, TheExtensionLetGoWhileTheAddInStaysLeavesTheAddInsMailingsWorking) {
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    sim::Config config;
    config.version = "12.0.4518.1014";
    client.reset(new sim::MailClient(config));
    LPEXCHEXT extension = ExchEntryPoint();
    ASSERT_TRUE(extension);
    client->InstallExtension(extension);
    extension->Release();
    ASSERT_EQ(client->LoadComAddIns(&DllGetClassObject), std::vector<std::string>{kAddInProgId});
    client->ReleaseExtension();

    sim::Draft draft = PlainMessage();
    draft.window = composeWindow;
    inspector = client->OpenCompose(draft);
    WriteList(NumberedList(2));
    JobOptions.SaveOrig = 0;
    ASSERT_EQ(client->RibbonButtons(inspector.Get()).size(), 1u);
    TypeAt(10, IDC_LIST_PATH, listPath);
    KeyAt(20, VK_RETURN);
    substitute::SetMessageBoxResponder([](const substitute::MessageBoxCall&) { return IDOK; });
    EXPECT_EQ(client->ClickRibbonButton(inspector.Get(), "QuorsendButton"), S_OK);

    EXPECT_THAT(BoxTexts(), ElementsAre("Job Completed Successfully\n\nSent: 2"));
    ASSERT_EQ(client->Deliveries().size(), 2u);
    EXPECT_EQ(client->Deliveries()[1].subject, "Hello Person 2");

    inspector.Reset();
    client.reset();
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
    EXPECT_FALSE(ApplicationRef);
    EXPECT_FALSE(MapiSessionRef);
}

} // namespace
