// The compose layer as the simulated client reaches it through the
// extension's door, in both builds: the sinks' answers, the compose button,
// its click and the window's end, the Tools-menu entry.
#include "../extension/extension_fixture.h"

namespace {

using simtest::Arg;
using simtest::Object;
using simtest::Text;

// ---- The sinks' answers ------------------------------------------------------------------

// The IDispatch answers every sink gives, whatever its events.
void ExpectDispatchAnswers(IDispatch* sink, const IID& eventIid) {
    void* p = sink;
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(sink->QueryInterface(IID_IExchExt, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    for (const IID* iid : {&eventIid, &IID_IUnknown, &IID_IDispatch}) {
        ASSERT_EQ(sink->QueryInterface(*iid, &p), S_OK);
        EXPECT_EQ(p, static_cast<void*>(sink));
        sink->Release();
    }
    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(sink);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), E_FAIL);
    EXPECT_EQ(info, nullptr);

    std::basic_string<OLECHAR> a = simtest::Wide("Anything"), b = simtest::Wide("Else");
    LPOLESTR names[] = {&a[0], &b[0]};
    DISPID ids[2] = {7, 7};
    EXPECT_EQ(sink->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr), E_POINTER);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids), E_POINTER);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 2, 0, ids), E_INVALIDARG);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0);
}

// Invoke's checks of a one-event sink, in their order.
void ExpectInvokeChecks(IDispatch* sink, DISPID handled, UINT arguments) {
    VARIANT args[3];
    for (VARIANT& v : args)
        VariantInit(&v);
    DISPPARAMS right = {args, nullptr, arguments, 0};
    DISPPARAMS three = {args, nullptr, 3, 0};
    auto invoke = [&](DISPID dispid, REFIID iid, DISPPARAMS* params) {
        return sink->Invoke(dispid, iid, 0, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(invoke(handled + 1, IID_IDispatch, nullptr), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(invoke(handled + 1, IID_NULL, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(handled, IID_NULL, nullptr), E_POINTER);
    EXPECT_EQ(invoke(handled, IID_NULL, &three), DISP_E_BADPARAMCOUNT);
    // The event's object is VT_EMPTY: nothing to do.
    EXPECT_EQ(invoke(handled, IID_NULL, &right), S_OK);
}

TEST_F(ExtensionTest, TheInspectorsSinkAnswersAndChecksLikeEverySink) {
    StartAndLoad();
    sim::Ptr<IDispatch> app = client->Application();
    ComRef<IDispatch> inspectors = HostApplication::Inspectors(app.Get());
    CInspectorsCollectionEventHandler* sink = CInspectorsCollectionEventHandler::Create(inspectors);
    ASSERT_TRUE(sink);
    EXPECT_EQ(InspectorsSinks(), 2u);
    ExpectDispatchAnswers(sink, IID_InspectorsEvents);
    ExpectInvokeChecks(sink, DISPID_InspectorsEvents_NewInspector, 1);
    EXPECT_TRUE(MainDialogCalls().empty());
}

TEST_F(ExtensionTest, TheButtonSinkTakesClicksWithTwoArgumentsOnly) {
    StartAndLoad();
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> button = Button(window.Get());
    ASSERT_TRUE(button);
    CComposeButtonEventHandler* sink =
        CComposeButtonEventHandler::Attach(ComRef<IDispatch>::Share(button.Get()));
    ASSERT_TRUE(sink);
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 2u);
    ExpectDispatchAnswers(sink, IID__CommandBarButtonEvents);
    ExpectInvokeChecks(sink, DISPID_CommandBarButtonEvents_Click, 2);
    // The owner's end disconnects it and frees it.
    sink->End();
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 1u);
    EXPECT_TRUE(MainDialogCalls().empty());
}

TEST_F(ExtensionTest, TheOptionsSinkAnswersAndChecksLikeEverySink) {
    StartAndLoad();
    sim::Ptr<IDispatch> entry = OptionsEntry();
    ASSERT_TRUE(entry);
    COptionsMenuEventHandler* sink =
        COptionsMenuEventHandler::Create(ComRef<IDispatch>::Share(entry.Get()));
    ASSERT_TRUE(sink);
    ExpectDispatchAnswers(sink, IID__CommandBarButtonEvents);
    ExpectInvokeChecks(sink, DISPID_CommandBarButtonEvents_Click, 2);
    EXPECT_TRUE(OptionsDialogCalls().empty());
}

TEST_F(ExtensionTest, TheItemSinkChecksOnlyTheInterfaceAndEndsItsWindowOnClose) {
    StartAndLoad();
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
    EXPECT_EQ(client->SinkCount(item.Get()), 1u);
    sim::Ptr<IDispatch> button = Button(window.Get());
    ComposeContext* context = ComposeContext::Create(item.Get());
    CItemEventHandler* sink =
        CItemEventHandler::Create(context, ComRef<IDispatch>::Share(item.Get()));
    EXPECT_EQ(client->SinkCount(item.Get()), 2u);
    ExpectDispatchAnswers(sink, IID_ItemEvents);
    EXPECT_EQ(sink->Invoke(DISPID_ItemEvents_Open, IID_IDispatch, 0, DISPATCH_METHOD, nullptr,
                           nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    for (DISPID any : {DISPID_ItemEvents_Open, DISPID(0), DISPID(0xF006)})
        EXPECT_EQ(
            sink->Invoke(any, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            S_OK);
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 1u); // Open changed nothing
    sink->End();
    context->Release();
    EXPECT_EQ(client->SinkCount(item.Get()), 1u);

    // The window's own item sink: Close ends the record, both sinks with it.
    EXPECT_TRUE(client->CloseInspector(window.Get(), 1));
    EXPECT_EQ(client->SinkCount(item.Get()), 0u);
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 0u);
}

// ---- The compose button ----------------------------------------------------------------

TEST_F(ExtensionTest, AnUnsentMailGetsTheButtonAsTheProductMakesIt) {
    StartAndLoad();
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> button = Button(window.Get());
    ASSERT_TRUE(button);
    sim::MailClient::ControlState state = client->Inspect(button.Get());
    EXPECT_EQ(state.type, msoControlButton);
    EXPECT_EQ(state.caption, "Quorsend");
    EXPECT_EQ(state.tooltip, "Send individual copies of this message to a list");
    EXPECT_EQ(state.tag, "BlastThisMessageTag0");
    EXPECT_TRUE(state.temporary);
    EXPECT_TRUE(state.beginGroup);
    EXPECT_TRUE(state.visible);
    EXPECT_EQ(state.faceId, 0);
    EXPECT_EQ(state.style, msoButtonIconAndCaption);
    EXPECT_EQ(state.oleUsage, msoControlOLEUsageNeither);
    EXPECT_EQ(state.sinks, 1u);
    // Version 11: the face comes as two pictures.
    EXPECT_TRUE(state.hasPicture);
    EXPECT_TRUE(state.hasMask);
    EXPECT_EQ(state.facePastes, 0u);
    sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
    EXPECT_EQ(client->SinkCount(item.Get()), 1u);
}

// A window whose item cannot tell its Close would keep its record, and with
// it the inspector, the item and the button, after the window is gone: it
// gets no button, and nothing of it is held (the teardown checks).
TEST_F(ExtensionTest, AWindowWhoseItemEventsCannotBeConnectedGetsNoButtonAndHoldsNothing) {
    for (const char* step :
         {"MailItem.QueryInterface", "MailItem.FindConnectionPoint", "MailItem.Advise"}) {
        StartAndLoad();
        if (std::string(step) == "MailItem.QueryInterface")
            client->FailQueryInterface(IID_IConnectionPointContainer, "MailItem", 1);
        else
            client->FailCall(step, 1, E_FAIL);
        sim::Ptr<IDispatch> window = OpenDraft();
        EXPECT_FALSE(Button(window.Get())) << step;
        sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
        EXPECT_EQ(client->SinkCount(item.Get()), 0u) << step;
        item = sim::Ptr<IDispatch>();
        EXPECT_TRUE(client->CloseInspector(window.Get(), 1)) << step;
        window = sim::Ptr<IDispatch>();
        client.reset();
        EXPECT_EQ(sim::LiveObjectCount(), 0u) << step;
    }
}

TEST_F(ExtensionTest, BeforeVersion10TheFaceIsPasted) {
    for (const char* version : {"9.0.0.3821", ""}) {
        config.version = version;
        StartAndLoad();
        sim::Ptr<IDispatch> window = OpenDraft();
        sim::MailClient::ControlState state = client->Inspect(Button(window.Get()).Get());
        EXPECT_EQ(state.facePastes, 1u) << version;
        EXPECT_FALSE(state.hasPicture) << version;
        EXPECT_FALSE(state.hasMask) << version;
        client->CloseInspector(window.Get(), 1);
        client.reset();
    }
}

TEST_F(ExtensionTest, WindowsWithoutAnUnsentMailOrAStandardBarGetNoButton) {
    StartAndLoad();
    sim::Draft read;
    read.subject = "Read me";
    read.sent = true;
    sim::Draft post;
    post.subject = "A post";
    post.mailItem = false;
    for (const sim::Draft* draft : {&read, &post}) {
        sim::Ptr<IDispatch> window = client->OpenCompose(*draft);
        EXPECT_FALSE(Button(window.Get())) << draft->subject;
        sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
        EXPECT_EQ(client->SinkCount(item.Get()), 0u) << draft->subject;
    }
    client->FailCall("CommandBars.Item", 1, E_INVALIDARG);
    sim::Ptr<IDispatch> noBar = OpenDraft("No bar");
    EXPECT_FALSE(Button(noBar.Get()));
    // The record stays until the item closes; the next window numbers on.
    sim::Ptr<IDispatch> item = client->CurrentItem(noBar.Get());
    EXPECT_EQ(client->SinkCount(item.Get()), 1u);
    sim::Ptr<IDispatch> next = OpenDraft("Next");
    EXPECT_EQ(client->Inspect(Button(next.Get()).Get()).tag, "BlastThisMessageTag0");
}

TEST_F(ExtensionTest, ButtonsAreNumberedAndAFailedCreationUsesANumberUp) {
    StartAndLoad();
    sim::Ptr<IDispatch> first = OpenDraft("First");
    client->FailCall("Tag", 1, E_FAIL); // the second button's Tag cannot be set
    sim::Ptr<IDispatch> second = OpenDraft("Second");
    sim::Ptr<IDispatch> third = OpenDraft("Third");
    EXPECT_EQ(client->Inspect(Button(first.Get()).Get()).tag, "BlastThisMessageTag0");
    sim::Ptr<IDispatch> failed = Button(second.Get());
    ASSERT_TRUE(failed); // added, but not finished and not connected
    EXPECT_EQ(client->Inspect(failed.Get()).sinks, 0u);
    EXPECT_EQ(client->Inspect(Button(third.Get()).Get()).tag, "BlastThisMessageTag2");
    EXPECT_EQ(ButtonCounter, 3);

    // A click on the third button is the third window's handler's alone.
    client->Click(Button(third.Get()).Get());
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    sim::Ptr<IDispatch> thirdItem = client->CurrentItem(third.Get());
    EXPECT_TRUE(SameObject(MainDialogCalls()[0].mailItem, thirdItem.Get()));
    // A click on the unconnected button opens nothing.
    client->Click(failed.Get());
    EXPECT_EQ(MainDialogCalls().size(), 1u);
}

TEST_F(ExtensionTest, AClickOpensTheMainDialogOnceOverItsWindow) {
    StartAndLoad();
    HWND composeWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
    sim::Ptr<IDispatch> window = OpenDraft("Hello", composeWindow);
    client->Click(Button(window.Get()).Get());
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    const MainDialogCall& call = MainDialogCalls()[0];
    EXPECT_EQ(call.window, composeWindow);
    sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
    EXPECT_TRUE(SameObject(call.mailItem, item.Get()));
    EXPECT_GE(call.contextReferences, 2); // the record's and the click's own
}

TEST_F(ExtensionTest, AWindowWithoutAHandleGivesTheDialogNoOwner) {
    StartAndLoad();
    sim::Ptr<IDispatch> window = OpenDraft();
    client->FailQueryInterface(IID_IOleWindow, "Inspector");
    client->Click(Button(window.Get()).Get());
    client->ClearFaults();
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    EXPECT_EQ(MainDialogCalls()[0].window, nullptr);
}

TEST_F(ExtensionTest, AnExistingButtonIsMovedAndServedAsNumberZero) {
    Start();
    // A window opened before the extension came, with a "Quorsend" button
    // already on its bar.
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> bars = Object(window.Get(), "CommandBars");
    sim::Ptr<IDispatch> standard = Object(bars.Get(), "Item", {Arg("Standard")});
    sim::Ptr<IDispatch> controls = Object(standard.Get(), "Controls");
    sim::Ptr<IDispatch> button =
        Object(controls.Get(), "Add",
               {Arg(msoControlButton), Arg::Missing(), Arg::Missing(), Arg::Missing(), Arg(true)});
    simtest::Put(button.Get(), "Caption", Arg("Quorsend"));
    simtest::Put(button.Get(), "Tag", Arg("BlastThisMessageTag0"));
    LPEXCHEXT extension = ExchEntryPoint();
    client->InstallExtension(extension);
    extension->Release();
    client->ClearTrace();
    OnNewInspector(window.Get(), nullptr);
    EXPECT_EQ(client->Calls("Move").size(), 1u);
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 1u);
    EXPECT_EQ(ButtonCounter, 0); // no number used
    EXPECT_EQ(client->ControlsTagged(window.Get(), "BlastThisMessageTag0").size(), 1u);
    client->Click(button.Get());
    ASSERT_EQ(MainDialogCalls().size(), 1u);
    // Number 0 acts on tag 0 only.
    EXPECT_EQ(simtest::Put(button.Get(), "Tag", Arg("BlastThisMessageTag1")), S_OK);
    client->Click(button.Get());
    EXPECT_EQ(MainDialogCalls().size(), 1u);
}

TEST_F(ExtensionTest, TwoExplorerInstallsStillOpenOneDialogPerClick) {
    StartAndLoad();
    LPEXCHEXT second = ExchEntryPoint();
    sim::Ptr<IExchExtCallback> callback = client->NewCallback(EECONTEXT_VIEWER);
    ASSERT_EQ(second->Install(callback.Get(), EECONTEXT_VIEWER, 0), S_OK);
    ASSERT_EQ(InspectorsSinks(), 2u);
    for (const char* subject : {"First", "Second"}) {
        ResetDialogFakes();
        sim::Ptr<IDispatch> window = OpenDraft(subject);
        sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
        EXPECT_EQ(client->SinkCount(item.Get()), 2u) << subject; // two records
        EXPECT_EQ(client->ControlsTagged(window.Get(), "BlastThisMessageTag0").size() +
                      client->ControlsTagged(window.Get(), "BlastThisMessageTag1").size(),
                  1u)
            << subject;
        client->Click(Button(window.Get()).Get());
        EXPECT_EQ(MainDialogCalls().size(), 1u) << subject;
        EXPECT_TRUE(client->CloseInspector(window.Get(), 1));
        EXPECT_EQ(client->SinkCount(item.Get()), 0u) << subject;
    }
    EXPECT_EQ(second->Release(), 0u);
}

TEST_F(ExtensionTest, CloseAndSendEndTheWindowAlike) {
    for (bool send : {false, true}) {
        StartAndLoad();
        sim::Ptr<IDispatch> window = OpenDraft(send ? "Sent" : "Closed");
        sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
        sim::Ptr<IDispatch> button = Button(window.Get());
        if (send)
            EXPECT_EQ(client->SendInspector(window.Get()), sim::MailClient::SendOutcome::Sent);
        else
            EXPECT_TRUE(client->CloseInspector(window.Get(), 1));
        EXPECT_EQ(client->SinkCount(item.Get()), 0u) << send;
        EXPECT_EQ(client->Inspect(button.Get()).sinks, 0u) << send;
        item.Reset();
        button.Reset();
        window.Reset();
        client.reset();
        EXPECT_EQ(sim::LiveObjectCount(), 0u) << send;
    }
}

// The client closes the window while the dialog is open (the job pumps
// messages): the record goes, the context and its item stay for the dialog.
TEST_F(ExtensionTest, TheContextOutlivesItsWindowUntilTheDialogReturns) {
    for (bool hold : {true, false}) {
        config.holdSinksDuringEvents = hold;
        StartAndLoad();
        sim::Ptr<IDispatch> window = OpenDraft();
        sim::Ptr<IDispatch> item = client->CurrentItem(window.Get());
        bool closed = false;
        std::string subjectAfterClose;
        SetMainDialogAction([&](ComposeContext* context, HWND) {
            closed = client->CloseInspector(window.Get(), 1);
            EXPECT_EQ(context->owner, nullptr);
            EXPECT_TRUE(context->itemClosed);
            ASSERT_TRUE(context->mailItem);
            subjectAfterClose = Text(context->mailItem.Get(), "Subject");
        });
        client->Click(Button(window.Get()).Get());
        EXPECT_TRUE(closed) << hold;
        EXPECT_EQ(subjectAfterClose, "Hello") << hold;
        EXPECT_EQ(client->SinkCount(item.Get()), 0u) << hold;
        ResetDialogFakes();
        item.Reset();
        window.Reset();
        client.reset();
    }
}

// A client that does not hold a sink while it calls it: the item sink ends
// its own record, and with it itself, inside its own Invoke.
TEST_F(ExtensionTest, AnItemSinkEndingItselfDuringItsEventIsNotTouchedAfterwards) {
    config.holdSinksDuringEvents = false;
    StartAndLoad();
    sim::Ptr<IDispatch> first = OpenDraft("First");
    sim::Ptr<IDispatch> second = OpenDraft("Second");
    sim::Ptr<IDispatch> item = client->CurrentItem(first.Get());
    EXPECT_TRUE(client->CloseInspector(first.Get(), 1));
    EXPECT_EQ(client->SinkCount(item.Get()), 0u);
    EXPECT_EQ(client->SendInspector(second.Get()), sim::MailClient::SendOutcome::Sent);
    EXPECT_TRUE(client->OpenInspectors().empty());
}

// ---- The Tools-menu entry ----------------------------------------------------------------

TEST_F(ExtensionTest, TheEntryGoesUnderToolsInEachLanguageElseUnderTheFifthMenu) {
    const struct {
        sim::MenuLanguage language;
        const char* tools;
    } cases[] = {{sim::MenuLanguage::English, "&Tools"},
                 {sim::MenuLanguage::Spanish, "&Herramientas"},
                 {sim::MenuLanguage::German, "E&xtras"},
                 {sim::MenuLanguage::Other, "&Outils"}};
    for (const auto& c : cases) {
        ResetOptionsMenu();
        ResetDialogFakes();
        config.menuLanguage = c.language;
        StartAndLoad();
        sim::Ptr<IDispatch> explorer = client->Explorer();
        sim::Ptr<IDispatch> tools = client->FindControl(explorer.Get(), "Menu Bar", c.tools);
        ASSERT_TRUE(tools) << c.tools;
        sim::Ptr<IDispatch> entries = Object(tools.Get(), "Controls");
        sim::Ptr<IDispatch> entry = Object(entries.Get(), "Item", {Arg("Quorvel &Options...")});
        ASSERT_TRUE(entry) << c.tools;
        sim::MailClient::ControlState state = client->Inspect(entry.Get());
        EXPECT_EQ(state.tag, "QuorvelOptions") << c.tools;
        EXPECT_TRUE(state.temporary) << c.tools;
        EXPECT_EQ(state.sinks, 1u) << c.tools;
        EXPECT_EQ(OptionsMenuInstalled, 1);
        client->Click(entry.Get());
        ASSERT_EQ(OptionsDialogCalls().size(), 1u) << c.tools;
        EXPECT_EQ(OptionsDialogCalls()[0], GetDesktopWindow());
        entry.Reset();
        entries.Reset();
        tools.Reset();
        explorer.Reset();
        client.reset();
    }
}

TEST_F(ExtensionTest, AnEntryAlreadyThereIsUsedAsItIs) {
    for (const char* tag : {"SomethingElse", "QuorvelOptions"}) {
        ResetOptionsMenu();
        ResetDialogFakes();
        Start();
        sim::Ptr<IDispatch> explorer = client->Explorer();
        sim::Ptr<IDispatch> tools = client->FindControl(explorer.Get(), "Menu Bar", "&Tools");
        sim::Ptr<IDispatch> entries = Object(tools.Get(), "Controls");
        sim::Ptr<IDispatch> entry = Object(
            entries.Get(), "Add",
            {Arg(msoControlButton), Arg::Missing(), Arg::Missing(), Arg::Missing(), Arg(true)});
        simtest::Put(entry.Get(), "Caption", Arg("Quorvel &Options..."));
        simtest::Put(entry.Get(), "Tag", Arg(tag));
        LPEXCHEXT extension = ExchEntryPoint();
        client->InstallExtension(extension);
        extension->Release();
        EXPECT_EQ(client->ControlsTagged(explorer.Get(), tag).size(), 1u) << tag;
        EXPECT_EQ(client->Inspect(entry.Get()).sinks, 1u) << tag;
        EXPECT_EQ(OptionsMenuInstalled, 1);
        client->Click(entry.Get());
        EXPECT_EQ(OptionsDialogCalls().size(), std::string(tag) == "QuorvelOptions" ? 1u : 0u)
            << tag;
        entry.Reset();
        entries.Reset();
        tools.Reset();
        explorer.Reset();
        client.reset();
    }
}

TEST_F(ExtensionTest, TheEntryWaitsForTheFirstExplorer) {
    config.explorerAfterPolls = 3;
    StartAndLoad();
    EXPECT_EQ(client->ActiveExplorerReads(), 4u);
    EXPECT_TRUE(OptionsEntry());
}

TEST_F(ExtensionTest, WithoutAnExplorerWithinTheAttemptsThereIsNoEntryYet) {
    config.explorerAfterPolls = 1000;
    StartAndLoad();
    EXPECT_EQ(client->ActiveExplorerReads(), 200u);
    EXPECT_EQ(OptionsMenuInstalled, 0);
    EXPECT_FALSE(OptionsEntry());
}

} // namespace
