// The COM add-in as a current client loads it: registered for the user,
// created through the class factory, connected at start-up, its ribbon
// button on every compose window, and let go of at shutdown or from the
// add-in manager with nothing left behind.
#include "../extension/extension_fixture.h"
#include "slow_addin.h"

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "install/addin_registration.h"

namespace {

using simtest::Arg;

constexpr char kButtonId[] = "QuorsendButton";

class AddInTest : public ExtensionTest {
protected:
    void SetUp() override {
        ExtensionTest::SetUp();
        config.version = "16.0.4266.1001";
        slowaddin::ConnectionDelay = slowaddin::StartupDelay = 0;
        ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    }
    void TearDown() override {
        ExtensionTest::TearDown();
        EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u) << "add-in objects still alive";
        EXPECT_EQ(DoorsOpen(Door::AddIn), 0u);
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    sim::MailClient& StartAndConnect() {
        Start();
        EXPECT_EQ(client->LoadComAddIns(&DllGetClassObject),
                  std::vector<std::string>{kAddInProgId});
        return *client;
    }
    size_t ItemSinks(IDispatch* window) {
        sim::Ptr<IDispatch> item = client->CurrentItem(window);
        return client->SinkCount(item.Get());
    }
    size_t ExplorersSinks() {
        sim::Ptr<IDispatch> app = client->Application();
        sim::Ptr<IDispatch> explorers = simtest::Object(app.Get(), "Explorers");
        return client->SinkCount(explorers.Get());
    }
    size_t OptionsEntries() {
        return client->ControlsTagged(client->Explorer().Get(), "QuorvelOptions").size();
    }
    // Every start-up call the client timed took less than `limit` ms.
    void ExpectStartUpUnder(DWORD limit) {
        EXPECT_FALSE(client->AddInTimings().empty());
        for (const sim::AddInTiming& t : client->AddInTimings())
            EXPECT_LT(t.milliseconds, limit) << t.call;
        EXPECT_TRUE(client->DisabledAddIns().empty());
    }
};

// Where the client calls the add-in's start-up and with which mode.
std::vector<std::string> StartUpCalls(const sim::MailClient& client) {
    std::vector<std::string> calls;
    for (const sim::TraceEntry& e : client.Trace())
        if (e.object == std::string("AddIn ") + kAddInProgId &&
            (e.member == "OnConnection" || e.member == "OnStartupComplete"))
            calls.push_back(e.member + "(" + e.args + ")");
    return calls;
}

TEST_F(AddInTest, ConnectionFillsTheHostStateAndWatchesTheInspectors) {
    StartAndConnect();
    EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    sim::Ptr<IDispatch> app = client->Application();
    EXPECT_TRUE(SameObject(ApplicationRef.Get(), app.Get()));
    EXPECT_TRUE(SameObject(MapiSessionRef.Get(), client->Session().Get()));
    EXPECT_DOUBLE_EQ(HostVersion, 16.0);
    EXPECT_EQ(InspectorsSinks(), 1u);
    // OnStartupComplete put the Tools entry in, once.
    EXPECT_TRUE(OptionsEntry());
    EXPECT_EQ(client->Calls("OnStartupComplete").size(), 1u);
    // The client extension is not loaded by current clients.
    LPEXCHEXT extension = ExchEntryPoint();
    EXPECT_TRUE(client->InstallExtension(extension).empty());
    extension->Release();
}

// Started by another program, the client has no explorer window: the
// add-in's start-up does not wait for one, and the Tools entry comes with
// the explorer when the user opens it.
TEST_F(AddInTest, WithoutAnExplorerTheStartUpWaitsForNothingAndTheEntryComesWithTheExplorer) {
    config.explorer = false;
    StartAndConnect();
    EXPECT_EQ(StartUpCalls(*client),
              (std::vector<std::string>{"OnConnection(ext_cm_Startup)", "OnStartupComplete()"}));
    ExpectStartUpUnder(500);
    EXPECT_LE(client->ActiveExplorerReads(), 1u) << "the explorer is not polled for";
    EXPECT_FALSE(OptionsEntry());
    EXPECT_EQ(ExplorersSinks(), 1u);

    client->OpenExplorer();
    EXPECT_EQ(OptionsEntries(), 1u);
    ASSERT_TRUE(OptionsEntry());
    EXPECT_EQ(OptionsMenuInstalled, 1);
    client->OpenExplorer(); // already open: nothing new
    EXPECT_EQ(OptionsEntries(), 1u);
    client->Click(OptionsEntry().Get());
    EXPECT_EQ(OptionsDialogCalls().size(), 1u);

    // Compose windows are served as ever.
    sim::Ptr<IDispatch> window = OpenDraft();
    EXPECT_EQ(client->ClickRibbonButton(window.Get(), kButtonId), S_OK);
    EXPECT_EQ(MainDialogCalls().size(), 1u);

    EXPECT_TRUE(client->DisconnectComAddIn(kAddInProgId));
    EXPECT_EQ(ExplorersSinks(), 0u) << "the subscription ends with the connection";
    EXPECT_EQ(OptionsEntries(), 0u);
}

// Ticked in the COM Add-ins dialog while the client runs: OnConnection with
// ext_cm_AfterStartup and no OnStartupComplete. The Tools entry is there at
// once, and one click opens the options once.
TEST_F(AddInTest, ConnectedAfterStartUpTheToolsEntryIsThereAtOnce) {
    Start();
    EXPECT_TRUE(client->ConnectComAddIn(&DllGetClassObject, kAddInProgId));
    EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    EXPECT_EQ(StartUpCalls(*client),
              (std::vector<std::string>{"OnConnection(ext_cm_AfterStartup)"}));
    ExpectStartUpUnder(500);
    EXPECT_EQ(OptionsEntries(), 1u);
    ASSERT_TRUE(OptionsEntry());
    client->Click(OptionsEntry().Get());
    EXPECT_EQ(OptionsDialogCalls().size(), 1u);
    EXPECT_FALSE(client->ConnectComAddIn(&DllGetClassObject, kAddInProgId)) << "ticked already";
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 1u);

    // Unticked, the entry goes; ticked again, it is back, once.
    EXPECT_TRUE(client->DisconnectComAddIn(kAddInProgId));
    EXPECT_EQ(OptionsEntries(), 0u);
    EXPECT_TRUE(client->ConnectComAddIn(&DllGetClassObject, kAddInProgId));
    EXPECT_EQ(OptionsEntries(), 1u);
    client->Click(OptionsEntry().Get());
    EXPECT_EQ(OptionsDialogCalls().size(), 2u);
    sim::Ptr<IDispatch> window = OpenDraft();
    EXPECT_EQ(client->RibbonButtons(window.Get()).size(), 1u);
    EXPECT_EQ(ItemSinks(window.Get()), 1u);
}

TEST_F(AddInTest, ConnectedAfterStartUpWithoutAnExplorerTheEntryWaitsForIt) {
    config.explorer = false;
    Start();
    EXPECT_TRUE(client->ConnectComAddIn(&DllGetClassObject, kAddInProgId));
    ExpectStartUpUnder(500);
    EXPECT_FALSE(OptionsEntry());
    client->OpenExplorer();
    EXPECT_EQ(OptionsEntries(), 1u);
}

TEST_F(AddInTest, OnlyARegisteredAddInCanBeTicked) {
    Start();
    EXPECT_FALSE(client->ConnectComAddIn(&DllGetClassObject, "Other.Connect"));
    EXPECT_EQ(client->ConnectedComAddIns(), 0u);
    EXPECT_TRUE(client->Calls("OnConnection").empty());
}

// The client's resiliency rule, seen acting: an add-in that takes more than a
// second in either start-up call is disabled, and the product lets go of
// everything when it is.
TEST_F(AddInTest, ASlowStartUpGetsTheAddInDisabled) {
    struct Case {
        DWORD connection, startup;
        const char* call;
    };
    for (const Case c : {Case{1500, 0, "OnConnection"}, Case{0, 1500, "OnStartupComplete"}}) {
        slowaddin::ConnectionDelay = c.connection;
        slowaddin::StartupDelay = c.startup;
        Start();
        EXPECT_TRUE(client->LoadComAddIns(&slowaddin::ClassObject).empty()) << c.call;
        EXPECT_EQ(client->DisabledAddIns(), std::vector<std::string>{kAddInProgId}) << c.call;
        ASSERT_EQ(client->LoadErrors().size(), 1u) << c.call;
        EXPECT_NE(client->LoadErrors()[0].find(std::string(c.call) + " took "), std::string::npos)
            << client->LoadErrors()[0];
        EXPECT_EQ(client->Calls("OnDisconnection").size(), 1u) << c.call;
        EXPECT_EQ(client->ConnectedComAddIns(), 0u) << c.call;
        EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u) << c.call;
        EXPECT_EQ(InspectorsSinks(), 0u) << c.call;
        EXPECT_EQ(ExplorersSinks(), 0u) << c.call;
        EXPECT_EQ(OptionsEntries(), 0u) << c.call;
        client.reset();
    }
    // Ticked later, the same rule holds.
    slowaddin::ConnectionDelay = 1500;
    slowaddin::StartupDelay = 0;
    Start();
    EXPECT_FALSE(client->ConnectComAddIn(&slowaddin::ClassObject, kAddInProgId));
    EXPECT_EQ(client->DisabledAddIns(), std::vector<std::string>{kAddInProgId});
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
}

// Before the rule came in (2013, version 15), a slow add-in stays.
TEST_F(AddInTest, AnOlderClientKeepsASlowAddIn) {
    config.version = "14.0.7015.1000";
    slowaddin::StartupDelay = 1500;
    Start();
    EXPECT_EQ(client->LoadComAddIns(&slowaddin::ClassObject),
              std::vector<std::string>{kAddInProgId});
    EXPECT_TRUE(client->DisabledAddIns().empty());
    ASSERT_EQ(client->AddInTimings().size(), 2u);
    // Over the limit, by a real clock's tick count under Wine.
    EXPECT_GT(client->AddInTimings()[1].milliseconds, 1000u);
}

TEST_F(AddInTest, TheRibbonButtonIsDeclaredWithItsImageAndReplacesTheBarButton) {
    StartAndConnect();
    sim::Ptr<IDispatch> window = OpenDraft();
    std::vector<sim::RibbonButton> buttons = client->RibbonButtons(window.Get());
    EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].id, kButtonId);
    EXPECT_EQ(buttons[0].label, "Quorsend");
    EXPECT_EQ(buttons[0].size, "large");
    EXPECT_EQ(buttons[0].supertip, "Send individual copies of this message to a list");
    EXPECT_EQ(buttons[0].tab, "TabNewMailMessage");
    EXPECT_EQ(buttons[0].imagesLoaded, 1u);
    EXPECT_FALSE(Button(window.Get())) << "a command-bar button beside the ribbon's";
    EXPECT_EQ(ItemSinks(window.Get()), 1u);
    // A second window: the ribbon is asked once, each window loads its image.
    sim::Ptr<IDispatch> second = OpenDraft("Second");
    EXPECT_EQ(client->Calls("GetCustomUI").size(), 1u);
    EXPECT_EQ(client->RibbonButtons(second.Get())[0].imagesLoaded, 2u);
}

TEST_F(AddInTest, TheRibbonButtonOpensTheMainDialogOverItsOwnWindow) {
    StartAndConnect();
    // The client only hands these back through IOleWindow.
    HWND first = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1010));
    HWND other = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x2020));
    sim::Ptr<IDispatch> a = OpenDraft("A", first);
    sim::Ptr<IDispatch> b = OpenDraft("B", other);
    EXPECT_EQ(client->ClickRibbonButton(b.Get(), kButtonId), S_OK);
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    EXPECT_EQ(MainDialogCalls()[0].window, other);
    sim::Ptr<IDispatch> itemB = client->CurrentItem(b.Get());
    EXPECT_TRUE(SameObject(MainDialogCalls()[0].mailItem, itemB.Get()));
    // The record's reference and the click's.
    EXPECT_EQ(MainDialogCalls()[0].contextReferences, 2);
}

TEST_F(AddInTest, AWindowOpenedBeforeTheConnectionStillGetsItsDialog) {
    Start();
    sim::Ptr<IDispatch> window = OpenDraft();
    ASSERT_EQ(client->LoadComAddIns(&DllGetClassObject).size(), 1u);
    // The ribbon is asked with the next window; the click comes from it,
    // the button being the same on every compose window.
    sim::Ptr<IDispatch> later = OpenDraft("Later");
    EXPECT_EQ(client->ClickRibbonButton(window.Get(), kButtonId), S_OK);
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    // A context for the call alone (its own reference and the click's), no
    // record: the window's item has no handler of the product.
    EXPECT_EQ(MainDialogCalls()[0].contextReferences, 2);
    EXPECT_EQ(ItemSinks(window.Get()), 0u);
}

TEST_F(AddInTest, BothDoorsRegisteredInstallTheProductOnce) {
    config.version = "12.0.4518.1014"; // loads client extensions and COM add-ins alike
    StartAndLoad();
    ASSERT_EQ(client->LoadComAddIns(&DllGetClassObject).size(), 1u);
    EXPECT_EQ(InspectorsSinks(), 2u);
    sim::Ptr<IDispatch> window = OpenDraft();
    EXPECT_EQ(ItemSinks(window.Get()), 1u) << "one record per window";
    EXPECT_FALSE(Button(window.Get()));
    EXPECT_EQ(client->ControlsTagged(client->Explorer().Get(), "QuorvelOptions").size(), 1u);
    EXPECT_EQ(client->ClickRibbonButton(window.Get(), kButtonId), S_OK);
    EXPECT_EQ(MainDialogCalls().size(), 1u);
    // The add-in leaves through the add-in manager: the extension goes on
    // with the application and the session.
    EXPECT_TRUE(client->DisconnectComAddIn(kAddInProgId));
    EXPECT_TRUE(ApplicationRef);
    EXPECT_TRUE(MapiSessionRef);
    EXPECT_EQ(InspectorsSinks(), 1u);
    EXPECT_TRUE(OptionsEntry()) << "the extension still serves the Tools entry";
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    sim::Ptr<IDispatch> next = OpenDraft("Next");
    EXPECT_TRUE(Button(next.Get())) << "without the ribbon, the bar button is back";
}

TEST_F(AddInTest, DisconnectionThroughTheAddInManagerLetsGoOfEverything) {
    StartAndConnect();
    sim::Ptr<IDispatch> window = OpenDraft();
    ASSERT_EQ(ItemSinks(window.Get()), 1u);
    ASSERT_TRUE(OptionsEntry());
    // The Tools entry's handler is code of the library: while it is
    // connected the library must not be unloaded.
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_TRUE(client->DisconnectComAddIn(kAddInProgId));
    EXPECT_FALSE(OptionsEntry()) << "the Tools entry leaves with the add-in";
    EXPECT_EQ(client->ControlsTagged(client->Explorer().Get(), "QuorvelOptions").size(), 0u);
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
    EXPECT_EQ(InspectorsSinks(), 0u);
    EXPECT_EQ(ItemSinks(window.Get()), 0u);
    EXPECT_FALSE(ApplicationRef);
    EXPECT_FALSE(MapiSessionRef);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    // The window goes on without the product.
    OpenDraft("After");
    EXPECT_TRUE(client->RibbonButtons(window.Get()).empty());
}

TEST_F(AddInTest, ShutdownWithAComposeWindowOpenLeavesNothing) {
    StartAndConnect();
    sim::Ptr<IDispatch> window = OpenDraft();
    window.Reset();
    client.reset(); // the TearDown checks what is left
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
}

TEST_F(AddInTest, DisconnectionWhileTheDialogIsOpenKeepsTheMessageUntilItReturns) {
    StartAndConnect();
    sim::Ptr<IDispatch> window = OpenDraft();
    SetMainDialogAction([this](ComposeContext* context, HWND) {
        EXPECT_TRUE(client->DisconnectComAddIn(kAddInProgId));
        // The record is gone, the message is still the dialog's.
        EXPECT_EQ(context->owner, nullptr);
        EXPECT_TRUE(context->mailItem);
        EXPECT_EQ(context->count, 1);
    });
    EXPECT_EQ(client->ClickRibbonButton(window.Get(), kButtonId), S_OK);
    EXPECT_EQ(MainDialogCalls().size(), 1u);
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
}

TEST_F(AddInTest, AMachineRegistrationLoadsTooAndOnceBesideTheUsers) {
    // Installed for all users only.
    ASSERT_EQ(UnregisterAddIn(AddInScope::CurrentUser), S_OK);
    ASSERT_EQ(RegisterAddIn(AddInScope::Machine, TestModule()), S_OK);
    StartAndConnect();
    EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    sim::Ptr<IDispatch> window = OpenDraft();
    EXPECT_EQ(client->RibbonButtons(window.Get()).size(), 1u);
    window.Reset();
    client.reset();
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);

    // And for this user as well: one add-in, one ribbon button.
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    StartAndConnect();
    EXPECT_EQ(client->ConnectedComAddIns(), 1u);
    EXPECT_EQ(client->Calls("OnConnection").size(), 1u);
    sim::Ptr<IDispatch> second = OpenDraft();
    EXPECT_EQ(client->RibbonButtons(second.Get()).size(), 1u);
    EXPECT_EQ(InspectorsSinks(), 1u);
}

TEST_F(AddInTest, TheFactoryAndTheExportsAnswerAsACOMServerShould) {
    ComRef<IClassFactory> factory;
    const CLSID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(DllGetClassObject(other, IID_IClassFactory, reinterpret_cast<void**>(factory.Out())),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(factory);
    ASSERT_EQ(DllGetClassObject(CLSID_QuorvelAddIn, IID_IClassFactory,
                                reinterpret_cast<void**>(factory.Out())),
              S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ComRef<IUnknown> object;
    sim::Ptr<IUnknown> outer = simtest::QueryAs<IUnknown>(factory.Get(), IID_IUnknown);
    EXPECT_EQ(
        factory->CreateInstance(outer.Get(), IID_IUnknown, reinterpret_cast<void**>(object.Out())),
        CLASS_E_NOAGGREGATION);
    outer.Reset();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, reinterpret_cast<void**>(object.Out())),
              E_NOINTERFACE);
    EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u) << "a refused object is not kept";
    ComRef<IDTExtensibility2> addIn;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDTExtensibility2,
                                      reinterpret_cast<void**>(addIn.Out())),
              S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "an add-in object is alive";
    ComRef<IRibbonExtensibility> ribbon =
        QueryAs<IRibbonExtensibility>(addIn.Get(), IID_IRibbonExtensibility);
    ASSERT_TRUE(ribbon);
    EXPECT_TRUE(SameObject(ribbon.Get(), addIn.Get()));
    // Another ribbon gets nothing; a null out-parameter is refused.
    Bstr readRibbon = Bstr::FromAnsi("Microsoft.Outlook.Mail.Read");
    BSTR xml = nullptr;
    EXPECT_EQ(ribbon->GetCustomUI(readRibbon.Get(), &xml), S_OK);
    EXPECT_EQ(xml, nullptr);
    EXPECT_EQ(ribbon->GetCustomUI(readRibbon.Get(), nullptr), E_POINTER);
    // Callbacks by name only, with their one argument.
    Bstr unknown = Bstr::FromAnsi("OnSomethingElse");
    LPOLESTR names[] = {unknown.Get()};
    DISPID id = 0;
    EXPECT_EQ(addIn->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    Bstr action = Bstr::FromAnsi("onquorsendaction");
    names[0] = action.Get();
    ASSERT_EQ(addIn->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(addIn->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_I4;
    DISPPARAMS wrong = {&text, nullptr, 1, 0};
    EXPECT_EQ(addIn->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &wrong, nullptr, nullptr, nullptr),
              DISP_E_TYPEMISMATCH);
    // Never connected: letting go is all there is.
    ribbon.Reset();
    addIn.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(AddInTest, AServerLockKeepsTheLibraryUntilItIsUndone) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_QuorvelAddIn, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "locked with no object left";
    ASSERT_EQ(
        DllGetClassObject(CLSID_QuorvelAddIn, IID_IUnknown, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK); // one too many changes nothing
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "the factory is alive";
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

} // namespace
