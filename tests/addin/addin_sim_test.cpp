// The COM add-in as a current client loads it: registered for the user,
// created through the class factory, connected at start-up, its ribbon
// button on every compose window, and let go of at shutdown or from the
// add-in manager with nothing left behind.
#include "../extension/extension_fixture.h"

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
        ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    }
    void TearDown() override {
        ExtensionTest::TearDown();
        EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u) << "add-in objects still alive";
        EXPECT_EQ(ConnectedAddIns, 0);
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
};

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

} // namespace
