// Events through the client's connection points, the windows' lifetimes and
// the Exchange client-extension callbacks.
#include "sim_test.h"

using namespace simtest;

namespace {

Ptr<Sink> NewSink(const IID& iid) {
    return Ptr<Sink>::Adopt(new Sink(iid));
}

Ptr<IDispatch> AddButton(IDispatch* window, const char* tag) {
    Ptr<IDispatch> bars = Object(window, "CommandBars");
    Ptr<IDispatch> controls = Object(Object(bars.Get(), "Item", {"Standard"}).Get(), "Controls");
    Ptr<IDispatch> button =
        Object(controls.Get(), "Add", {1, Arg::Missing(), Arg::Missing(), Arg::Missing(), true});
    Put(button.Get(), "Tag", tag);
    return button;
}

// NewExplorer comes through the events' dispinterface, with the new window
// before it is the active explorer; an explorer already open fires nothing.
TEST_F(SimTest, NewExplorerReachesItsSinksBeforeTheWindowIsActive) {
    config.explorer = false;
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    Ptr<IDispatch> explorers = Object(app.Get(), "Explorers");
    Ptr<IConnectionPointContainer> container =
        QueryAs<IConnectionPointContainer>(explorers.Get(), IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    Ptr<IConnectionPoint> wrong;
    EXPECT_EQ(container->FindConnectionPoint(IID__Explorers, wrong.Out()), CONNECT_E_NOCONNECTION)
        << "the collection's own interface is not its events'";
    Ptr<Sink> sink = NewSink(IID_ExplorersEvents);
    ASSERT_EQ(sink->Connect(explorers.Get()), S_OK);
    bool activeDuringEvent = true;
    LONG countDuringEvent = 0;
    sink->action = [&](const Sink::Event&) {
        activeDuringEvent = static_cast<bool>(Object(app.Get(), "ActiveExplorer"));
        countDuringEvent = Number(explorers.Get(), "Count");
    };
    Ptr<IDispatch> explorer = c.OpenExplorer();
    ASSERT_EQ(sink->events.size(), 1u);
    EXPECT_EQ(sink->events[0].dispid, DISPID_ExplorersEvents_NewExplorer);
    EXPECT_EQ(sink->events[0].argCount, 1u);
    EXPECT_EQ(sink->events[0].types[0], VT_DISPATCH);
    EXPECT_EQ(sink->events[0].object, explorer.Get());
    EXPECT_FALSE(activeDuringEvent);
    EXPECT_EQ(countDuringEvent, 1);
    EXPECT_TRUE(Object(app.Get(), "ActiveExplorer"));
    c.OpenExplorer();
    EXPECT_EQ(sink->events.size(), 1u);
    sink->Disconnect();
}

TEST_F(SimTest, NewInspectorReachesEverySinkWithTheNewWindow) {
    auto& c = Start();
    Ptr<IDispatch> inspectors = Object(c.Application().Get(), "Inspectors");
    Ptr<Sink> one = NewSink(IID_InspectorsEvents), two = NewSink(IID_InspectorsEvents);
    ASSERT_EQ(one->Connect(inspectors.Get()), S_OK);
    ASSERT_EQ(two->Connect(inspectors.Get()), S_OK);
    EXPECT_NE(one->Cookie(), two->Cookie());
    EXPECT_EQ(one->Refs(), 2u); // ours and the connection's
    EXPECT_EQ(c.SinkCount(inspectors.Get()), 2u);

    Ptr<IDispatch> first = c.OpenCompose({});
    for (Sink* s : {one.Get(), two.Get()}) {
        ASSERT_EQ(s->events.size(), 1u);
        EXPECT_EQ(s->events[0].dispid, DISPID_InspectorsEvents_NewInspector);
        EXPECT_EQ(s->events[0].argCount, 1u);
        EXPECT_EQ(s->events[0].types[0], VT_DISPATCH);
        EXPECT_EQ(s->events[0].object, first.Get());
    }
    EXPECT_EQ(Number(inspectors.Get(), "Count"), 1);
    EXPECT_TRUE(SameObject(Object(inspectors.Get(), "Item", {1}).Get(), first.Get()));

    const DWORD cookie = two->Cookie();
    ASSERT_EQ(two->Disconnect(), S_OK);
    EXPECT_EQ(two->Refs(), 1u);
    c.OpenCompose({});
    EXPECT_EQ(one->events.size(), 2u);
    EXPECT_EQ(two->events.size(), 1u);

    Ptr<IConnectionPointContainer> container =
        QueryAs<IConnectionPointContainer>(inspectors.Get(), IID_IConnectionPointContainer);
    Ptr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_InspectorsEvents, point.Out()), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Advise(nullptr, nullptr), E_POINTER);
    Ptr<IConnectionPoint> wrong;
    EXPECT_EQ(container->FindConnectionPoint(IID_ItemEvents, wrong.Out()), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(
        QueryAs<IConnectionPointContainer>(c.Application().Get(), IID_IConnectionPointContainer));
    one->Disconnect();
}

TEST_F(SimTest, AClickReachesEverySinkOfEveryButtonWithTheSameId) {
    auto& c = Start();
    Ptr<IDispatch> a = c.OpenCompose({}), b = c.OpenCompose({});
    Ptr<IDispatch> buttonA = AddButton(a.Get(), "A"), buttonB = AddButton(b.Get(), "B");
    Ptr<IDispatch> tools = Object(
        Object(Object(Object(c.Explorer().Get(), "CommandBars").Get(), "ActiveMenuBar").Get(),
               "Controls")
            .Get(),
        "Item", {"&Tools"});
    Ptr<IDispatch> entry = Object(Object(tools.Get(), "Controls").Get(), "Add",
                                  {1, Arg::Missing(), Arg::Missing(), Arg::Missing(), true});
    Ptr<IDispatch> print = c.FindControl(a.Get(), "Standard", "&Print");
    ASSERT_TRUE(entry && print);

    Ptr<Sink> sinkA = NewSink(IID__CommandBarButtonEvents),
              sinkB = NewSink(IID__CommandBarButtonEvents),
              sinkEntry = NewSink(IID__CommandBarButtonEvents),
              sinkPrint = NewSink(IID__CommandBarButtonEvents);
    ASSERT_EQ(sinkA->Connect(buttonA.Get()), S_OK);
    ASSERT_EQ(sinkB->Connect(buttonB.Get()), S_OK);
    ASSERT_EQ(sinkEntry->Connect(entry.Get()), S_OK);
    ASSERT_EQ(sinkPrint->Connect(print.Get()), S_OK);

    EXPECT_FALSE(c.Click(buttonB.Get()));
    for (Sink* s : {sinkA.Get(), sinkB.Get(), sinkEntry.Get()}) {
        ASSERT_EQ(s->events.size(), 1u);
        const Sink::Event& e = s->events[0];
        EXPECT_EQ(e.dispid, DISPID_CommandBarButtonEvents_Click);
        ASSERT_EQ(e.argCount, 2u);
        EXPECT_EQ(e.types[1], VT_DISPATCH);        // Ctrl, declared first
        EXPECT_EQ(e.types[0], VT_BYREF | VT_BOOL); // CancelDefault
        EXPECT_EQ(e.object, buttonB.Get());        // the control clicked
    }
    EXPECT_TRUE(sinkPrint->events.empty());
    EXPECT_EQ(Text(sinkA->events[0].object, "Tag"), "B");

    sinkEntry->setCancel = true;
    EXPECT_TRUE(c.Click(buttonA.Get()));
    EXPECT_EQ(sinkB->events.size(), 2u);
    EXPECT_EQ(Call(print.Get(), "Execute"), S_OK);
    EXPECT_EQ(sinkPrint->events.size(), 1u);
    for (Sink* s : {sinkA.Get(), sinkB.Get(), sinkEntry.Get(), sinkPrint.Get()})
        s->Disconnect();
}

TEST_F(SimTest, ClosingAComposeWindowFiresCloseAndTakesItsControlsAway) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Draft";
    Ptr<IDispatch> inspector = c.OpenCompose(draft);
    Ptr<IDispatch> item = Object(inspector.Get(), "CurrentItem");
    Ptr<IDispatch> button = AddButton(inspector.Get(), "T");
    Ptr<Sink> itemSink = NewSink(IID_ItemEvents), buttonSink = NewSink(IID__CommandBarButtonEvents);
    ASSERT_EQ(itemSink->Connect(item.Get()), S_OK);
    ASSERT_EQ(buttonSink->Connect(button.Get()), S_OK);

    itemSink->setCancel = true;
    EXPECT_FALSE(c.CloseInspector(inspector.Get(), olSave));
    ASSERT_EQ(itemSink->events.size(), 1u);
    EXPECT_EQ(itemSink->events[0].dispid, DISPID_ItemEvents_Close);
    EXPECT_EQ(itemSink->events[0].types[0], VT_BYREF | VT_BOOL);
    EXPECT_EQ(c.OpenInspectors().size(), 1u);

    itemSink->setCancel = false;
    EXPECT_TRUE(c.CloseInspector(inspector.Get(), olSave));
    EXPECT_EQ(itemSink->events.size(), 2u);
    EXPECT_TRUE(c.OpenInspectors().empty());
    EXPECT_TRUE(c.Inspect(button.Get()).deleted);
    EXPECT_EQ(buttonSink->Refs(), 1u); // the deleted control let go of it
    Result r;
    EXPECT_EQ(Get(inspector.Get(), "CommandBars", &r.v), DISP_E_EXCEPTION);
    EXPECT_EQ(Get(button.Get(), "Caption", &r.v), DISP_E_EXCEPTION);
    ASSERT_EQ(c.FolderContents(kDraftsFolder).size(), 1u);
    EXPECT_EQ(c.FolderContents(kDraftsFolder)[0].subject, "Draft");
    itemSink->Disconnect();

    Ptr<IDispatch> other = c.OpenCompose(draft);
    EXPECT_TRUE(c.CloseInspector(other.Get(), 1 /* olDiscard */));
    EXPECT_EQ(c.FolderContents(kDraftsFolder).size(), 1u);
}

TEST_F(SimTest, SendingAComposeWindowFiresSendQueuesTheItemAndClosesTheWindow) {
    auto& c = Start();
    sim::Draft draft;
    Ptr<IDispatch> lonely = c.OpenCompose(draft);
    EXPECT_EQ(c.SendInspector(lonely.Get()), sim::MailClient::SendOutcome::NoRecipients);

    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Ptr<IDispatch> inspector = c.OpenCompose(draft);
    Ptr<Sink> itemSink = NewSink(IID_ItemEvents);
    ASSERT_EQ(itemSink->Connect(Object(inspector.Get(), "CurrentItem").Get()), S_OK);
    itemSink->setCancel = true;
    EXPECT_EQ(c.SendInspector(inspector.Get()), sim::MailClient::SendOutcome::Cancelled);
    itemSink->setCancel = false;
    EXPECT_EQ(c.SendInspector(inspector.Get()), sim::MailClient::SendOutcome::Sent);
    ASSERT_EQ(itemSink->events.size(), 2u);
    EXPECT_EQ(itemSink->events[1].dispid, DISPID_ItemEvents_Send); // and no Close
    EXPECT_EQ(c.OpenInspectors().size(), 1u);                      // the lonely one
    EXPECT_EQ(c.QueuedCount(), 1u);
    ASSERT_EQ(c.FolderContents(olFolderOutbox).size(), 1u);
    EXPECT_TRUE(c.FolderContents(olFolderOutbox)[0].submitted);
    itemSink->Disconnect();
}

TEST_F(SimTest, SinksMayDisconnectOthersOrCloseTheirWindowInsideAnEvent) {
    auto& c = Start();
    Ptr<IDispatch> inspector = c.OpenCompose({});
    Ptr<IDispatch> item = Object(inspector.Get(), "CurrentItem");
    Ptr<IDispatch> button = AddButton(inspector.Get(), "T");
    Ptr<Sink> first = NewSink(IID__CommandBarButtonEvents),
              second = NewSink(IID__CommandBarButtonEvents), itemSink = NewSink(IID_ItemEvents);
    ASSERT_EQ(first->Connect(button.Get()), S_OK);
    ASSERT_EQ(second->Connect(button.Get()), S_OK);
    ASSERT_EQ(itemSink->Connect(item.Get()), S_OK);
    Sink* other = second.Get();
    first->action = [other](const Sink::Event&) { other->Disconnect(); };
    c.Click(button.Get());
    EXPECT_EQ(first->events.size(), 1u);
    EXPECT_TRUE(second->events.empty());

    // The click handler ends its own window, as an extension does when its
    // work is done: the item's Close runs inside the click.
    Sink* itemEvents = itemSink.Get();
    first->action = [item, itemEvents](const Sink::Event&) {
        EXPECT_EQ(Call(item.Get(), "Close", {olSave}), S_OK);
        EXPECT_EQ(itemEvents->events.size(), 1u);
        itemEvents->Disconnect();
    };
    c.Click(button.Get());
    EXPECT_TRUE(c.OpenInspectors().empty());
    EXPECT_TRUE(c.Inspect(button.Get()).deleted);
    EXPECT_EQ(first->Refs(), 1u);
    EXPECT_EQ(itemSink->Refs(), 1u);
}

TEST_F(SimTest, ShuttingDownLetsGoOfEverySinkAndCutsOffWhatIsStillHeld) {
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    Ptr<IDispatch> inspectors = Object(app.Get(), "Inspectors");
    Ptr<IDispatch> inspector = c.OpenCompose({});
    Ptr<IDispatch> item = Object(inspector.Get(), "CurrentItem");
    Ptr<Sink> a = NewSink(IID_InspectorsEvents), b = NewSink(IID_ItemEvents);
    ASSERT_EQ(a->Connect(inspectors.Get()), S_OK);
    ASSERT_EQ(b->Connect(item.Get()), S_OK);
    client.reset();
    EXPECT_EQ(a->Refs(), 1u);
    EXPECT_EQ(b->Refs(), 1u);
    Result r;
    EXPECT_EQ(Get(app.Get(), "Version", &r.v), static_cast<HRESULT>(0x80010108L));
    EXPECT_EQ(b->Disconnect(), static_cast<HRESULT>(CONNECT_E_NOCONNECTION));
}

TEST_F(SimTest, TheExtensionIsInstalledInTheSessionExplorerAndComposeContexts) {
    auto& c = Start();
    Ptr<Extension> extension = Ptr<Extension>::Adopt(new Extension);
    Ptr<Sink> inspectorsSink = NewSink(IID_InspectorsEvents);
    ASSERT_EQ(inspectorsSink->Connect(Object(c.Application().Get(), "Inspectors").Get()), S_OK);
    size_t newInspectorsAtInstall = 99;
    Sink* sink = inspectorsSink.Get();
    extension->onInstall = [&](ULONG context) {
        if (context == EECONTEXT_SENDNOTEMESSAGE)
            newInspectorsAtInstall = sink->events.size();
    };
    std::vector<HRESULT> results = c.InstallExtension(extension.Get());
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK}));
    EXPECT_EQ(extension->contexts, (std::vector<ULONG>{EECONTEXT_SESSION, EECONTEXT_VIEWER}));
    EXPECT_TRUE(SameObject(extension->session.Get(), c.Session().Get()));
    EXPECT_TRUE(SameObject(extension->application.Get(), c.Application().Get()));
    EXPECT_EQ(extension->refs_, 2u);

    c.OpenCompose({});
    EXPECT_EQ(extension->contexts.back(), static_cast<ULONG>(EECONTEXT_SENDNOTEMESSAGE));
    EXPECT_EQ(newInspectorsAtInstall, 0u); // installed before NewInspector
    EXPECT_EQ(inspectorsSink->events.size(), 1u);
    ASSERT_EQ(c.Calls("Install").size(), 3u);
    EXPECT_EQ(c.Calls("Install")[2].result, S_FALSE);
    c.ReleaseExtension();
    EXPECT_EQ(extension->refs_, 1u);
    extension->session.Reset();
    extension->application.Reset();
    inspectorsSink->Disconnect();
}

TEST_F(SimTest, CallbacksGiveTheSessionAndAnObjectWithTheApplication) {
    auto& c = Start();
    Ptr<IExchExtCallback> callback = c.NewCallback(EECONTEXT_VIEWER);
    Ptr<IMAPISession> session;
    LPADRBOOK book = reinterpret_cast<LPADRBOOK>(1);
    ASSERT_EQ(callback->GetSession(session.Out(), &book), S_OK);
    EXPECT_TRUE(SameObject(session.Get(), c.Session().Get()));
    EXPECT_EQ(book, nullptr);

    Ptr<IOutlookExtCallback> outlook =
        QueryAs<IOutlookExtCallback>(callback.Get(), IID_IOutlookExtCallback);
    ASSERT_TRUE(outlook);
    IUnknown* object = nullptr;
    ASSERT_EQ(outlook->GetObject(&object), S_OK);
    Ptr<IUnknown> held = Ptr<IUnknown>::Adopt(object);
    EXPECT_TRUE(SameObject(object, c.Explorer().Get()));
    Ptr<IDispatch> dispatch = QueryAs<IDispatch>(object, IID_IDispatch);
    Result app;
    ASSERT_EQ(Invoke(dispatch.Get(), "Application", DISPATCH_METHOD, {}, &app.v).hr, S_OK);
    EXPECT_TRUE(SameObject(app.Dispatch(), c.Application().Get()));
    EXPECT_TRUE(QueryAs<IDispatch>(app.Dispatch(), IID__Application));

    c.FailQueryInterface(IID_IOutlookExtCallback, "Callback");
    EXPECT_FALSE(QueryAs<IOutlookExtCallback>(callback.Get(), IID_IOutlookExtCallback));
    c.FailCall("Callback.GetSession", 1, E_FAIL);
    EXPECT_EQ(callback->GetSession(session.Out(), nullptr), E_FAIL);
    EXPECT_FALSE(session);
}

TEST_F(SimTest, AnInspectorShowsItsWindowThroughIOleWindow) {
    auto& c = Start();
    sim::Draft draft;
    Ptr<IDispatch> inspector = c.OpenCompose(draft);
    Ptr<IOleWindow> window = QueryAs<IOleWindow>(inspector.Get(), IID_IOleWindow);
    ASSERT_TRUE(window);
    HWND handle = nullptr;
    ASSERT_EQ(window->GetWindow(&handle), S_OK);
    EXPECT_EQ(handle, GetDesktopWindow());
    Ptr<IDispatch> item = Object(inspector.Get(), "CurrentItem");
    EXPECT_TRUE(SameObject(Object(item.Get(), "GetInspector").Get(), inspector.Get()));
    c.CloseInspector(inspector.Get());
    EXPECT_EQ(window->GetWindow(&handle), E_FAIL);
}

} // namespace
