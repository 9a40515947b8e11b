// The extension object as the simulated client loads it, in both builds: its
// contexts and counting, the start-up on the first entry point.
#include "extension_fixture.h"

namespace {

// ---- The extension object ----------------------------------------------------------------

using ExtensionObjectTest = ExtensionTest;

TEST_F(ExtensionObjectTest, TheCountStartsAtZeroAndReleaseReturnsTheCountAsItWas) {
    LPEXCHEXT extension = ExchEntryPoint();
    ASSERT_TRUE(extension);
    EXPECT_EQ(TSAddIn::LiveCount(), 1u);
    EXPECT_EQ(extension->AddRef(), 1u);
    EXPECT_EQ(extension->Release(), 1u); // back at 0: the factory's reference
    EXPECT_EQ(TSAddIn::LiveCount(), 1u);
    EXPECT_EQ(extension->Release(), 0u); // 0 before: destroyed
    EXPECT_EQ(TSAddIn::LiveCount(), 0u);
}

TEST_F(ExtensionObjectTest, QueryInterfaceAnswersIUnknownAndIExchExtOnly) {
    LPEXCHEXT extension = ExchEntryPoint();
    void* p = extension;
    EXPECT_EQ(extension->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(extension->QueryInterface(IID_IExchExt, nullptr), E_POINTER);
    ASSERT_EQ(extension->QueryInterface(IID_IExchExt, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(extension));
    ASSERT_EQ(extension->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(extension->Release(), 2u);
    EXPECT_EQ(extension->Release(), 1u);
    EXPECT_EQ(extension->Release(), 0u);
}

TEST_F(ExtensionObjectTest, EachContextIsKeptOrDeclined) {
    Start();
    LPEXCHEXT extension = ExchEntryPoint();
    TSAddIn* object = static_cast<TSAddIn*>(extension);
    auto install = [&](ULONG context) {
        sim::Ptr<IExchExtCallback> callback = client->NewCallback(context);
        return extension->Install(callback.Get(), context, 0);
    };
    EXPECT_EQ(install(EECONTEXT_TASK), S_OK);
    EXPECT_FALSE(MapiSessionRef);
    EXPECT_EQ(InspectorsSinks(), 0u);
    EXPECT_TRUE(ApplicationRef); // every context refreshes the application
    EXPECT_DOUBLE_EQ(HostVersion, 11.0);

    EXPECT_EQ(install(EECONTEXT_SESSION), S_OK);
    EXPECT_TRUE(MapiSessionRef);
    EXPECT_EQ(InspectorsSinks(), 0u);

    for (ULONG declined :
         {EECONTEXT_REMOTEVIEWER, EECONTEXT_SENDNOTEMESSAGE, EECONTEXT_READNOTEMESSAGE}) {
        EXPECT_EQ(install(declined), S_FALSE) << declined;
        EXPECT_EQ(object->Context(), declined);
    }
    EXPECT_EQ(InspectorsSinks(), 0u);
    EXPECT_FALSE(OptionsEntry());

    EXPECT_EQ(install(EECONTEXT_VIEWER), S_OK);
    EXPECT_EQ(InspectorsSinks(), 1u);
    EXPECT_TRUE(OptionsEntry());
    EXPECT_EQ(extension->Release(), 0u);
    // The last extension object gives the process-wide references back while
    // the client is still there.
    EXPECT_FALSE(MapiSessionRef);
    EXPECT_FALSE(ApplicationRef);
}

TEST_F(ExtensionObjectTest, TheVersionIsTheLeadingNumberOfTheVersionText) {
    const struct {
        const char* text;
        double version;
    } cases[] = {{"10.0.6626", 10.0}, {"", 0.0}, {"9.0.0.3821", 9.0}};
    for (const auto& c : cases) {
        config.version = c.text;
        HostVersion = 42.0;
        StartAndLoad();
        EXPECT_DOUBLE_EQ(HostVersion, c.version) << c.text;
        client.reset();
    }
}

TEST_F(ExtensionObjectTest, WithoutTheOutlookCallbackTheSessionIsStillKeptAndNothingElse) {
    Start();
    client->FailQueryInterface(IID_IOutlookExtCallback);
    LPEXCHEXT extension = ExchEntryPoint();
    installResults = client->InstallExtension(extension);
    extension->Release();
    // The explorer context still stays: InstallInterface's error is its own.
    EXPECT_EQ(installResults, (std::vector<HRESULT>{S_OK, S_OK}));
    EXPECT_TRUE(MapiSessionRef);
    EXPECT_FALSE(ApplicationRef);
    EXPECT_DOUBLE_EQ(HostVersion, 0.0);
    EXPECT_EQ(InspectorsSinks(), 0u);
    EXPECT_EQ(client->ActiveExplorerReads(), 0u); // no application: no wait for an explorer
    client->ClearFaults();
}

TEST_F(ExtensionObjectTest, AnApplicationWithoutItsInterfaceDeclinesTheContext) {
    Start();
    client->FailQueryInterface(IID__Application, "Application");
    LPEXCHEXT extension = ExchEntryPoint();
    installResults = client->InstallExtension(extension);
    extension->Release();
    EXPECT_EQ(installResults, (std::vector<HRESULT>{S_FALSE, S_FALSE}));
    EXPECT_FALSE(MapiSessionRef); // Attach's error skips the context's work
    EXPECT_FALSE(ApplicationRef);
    client->ClearFaults();
}

TEST_F(ExtensionObjectTest, TwoExplorerInstallsWatchTwiceButAddOneMenuEntry) {
    StartAndLoad();
    sim::Ptr<IDispatch> explorer = client->Explorer();
    LPEXCHEXT second = ExchEntryPoint();
    sim::Ptr<IExchExtCallback> callback = client->NewCallback(EECONTEXT_VIEWER);
    EXPECT_EQ(second->Install(callback.Get(), EECONTEXT_VIEWER, 0), S_OK);
    EXPECT_EQ(InspectorsSinks(), 2u);
    sim::Ptr<IDispatch> tools = client->FindControl(explorer.Get(), "Menu Bar", "&Tools");
    ASSERT_TRUE(tools);
    EXPECT_EQ(client->ControlsTagged(explorer.Get(), "QuorvelOptions").size(), 1u);
    EXPECT_EQ(second->Release(), 0u);
}

// A menu bar that refuses the Tools entry costs the entry alone: the
// explorer's compose windows still get their button, and it works.
TEST_F(ExtensionObjectTest, ARefusedToolsEntryLeavesTheComposeButton) {
    Start();
    client->RaiseCall("ActiveMenuBar", 1, E_FAIL);
    LPEXCHEXT extension = ExchEntryPoint();
    EXPECT_EQ(client->InstallExtension(extension), (std::vector<HRESULT>{S_OK, S_OK}));
    extension->Release();
    EXPECT_FALSE(OptionsEntry());
    sim::Ptr<IDispatch> window = OpenDraft();
    ASSERT_TRUE(Button(window.Get()));
    client->Click(Button(window.Get()).Get());
    EXPECT_EQ(MainDialogCalls().size(), 1u);
}

TEST_F(ExtensionObjectTest, TheStartUpRunsOnceOnTheFirstEntryPoint) {
    EXPECT_STREQ(DataPaths.libraryDirectory, "");
    LPEXCHEXT first = ExchEntryPoint();
    const std::string directory = DataPaths.libraryDirectory;
    EXPECT_FALSE(directory.empty());
    EXPECT_NE(DataPaths.currentJobLog[0], '\0');
    DataPaths.libraryDirectory[0] = '\0';
    LPEXCHEXT second = ExchEntryPoint();
    EXPECT_STREQ(DataPaths.libraryDirectory, ""); // not run again
    first->Release();
    second->Release();
}

} // namespace
