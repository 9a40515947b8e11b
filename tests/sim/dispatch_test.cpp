// Late binding on the simulated client: names, argument shapes, the host's
// failure codes, command-bar lookups, faults on demand and the call trace.
#include "sim_test.h"

#include <cstring>

using namespace simtest;

namespace {

struct Compose {
    Ptr<IDispatch> inspector, item, bars, standard, controls;
};

Compose OpenWindow(sim::MailClient& client, const sim::Draft& draft = {}) {
    Compose w;
    w.inspector = client.OpenCompose(draft);
    w.item = Object(w.inspector.Get(), "CurrentItem");
    w.bars = Object(w.inspector.Get(), "CommandBars");
    w.standard = Object(w.bars.Get(), "Item", {"Standard"});
    w.controls = Object(w.standard.Get(), "Controls");
    return w;
}

// Invoke with an argument array built by hand.
HRESULT RawInvoke(IDispatch* object, const char* member, WORD flags, VARIANT* args, UINT count,
                  DISPID* named, UINT namedCount, REFIID iid = IID_NULL) {
    DISPPARAMS params{args, named, count, namedCount};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr =
        object->Invoke(IdOf(object, member), iid, 0, flags, &params, &result, nullptr, nullptr);
    VariantClear(&result);
    return hr;
}

TEST_F(SimTest, MembersAreFoundByNameInAnyCaseAndUnknownOnesAreRefused) {
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    HRESULT hr;
    DISPID version = IdOf(app.Get(), "VERSION", &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(IdOf(app.Get(), "version"), version);
    EXPECT_EQ(IdOf(app.Get(), "Versions", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    ASSERT_EQ(c.Calls("Versions").size(), 1u);
    EXPECT_EQ(c.Calls("Versions")[0].kind, sim::TraceKind::Name);

    std::basic_string<OLECHAR> name = Wide("Version");
    LPOLESTR names[1] = {&name[0]};
    DISPID id;
    EXPECT_EQ(app->GetIDsOfNames(IID_IDispatch, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(app->Invoke(999, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(RawInvoke(app.Get(), "Version", DISPATCH_PROPERTYGET, nullptr, 0, nullptr, 0,
                        IID_IDispatch),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(SimTest, TheApplicationGivesItsVersionNamespaceAndDefaultFolders) {
    config.version = "11.0.0.8312";
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    EXPECT_EQ(Text(app.Get(), "Version"), "11.0.0.8312");
    EXPECT_EQ(Number(app.Get(), "Class"), 0);
    Ptr<IDispatch> ns = Object(app.Get(), "Session");
    ASSERT_TRUE(ns);
    EXPECT_TRUE(SameObject(Object(app.Get(), "GetNamespace", {"MAPI"}).Get(), ns.Get()));
    EXPECT_EQ(Text(Object(ns.Get(), "GetDefaultFolder", {olFolderOutbox}).Get(), "Name"), "Outbox");
    EXPECT_EQ(Text(Object(ns.Get(), "GetDefaultFolder", {olFolderSentMail}).Get(), "Name"),
              "Sent Items");
    Result r;
    Outcome o = Invoke(ns.Get(), "GetDefaultFolder", DISPATCH_METHOD, {99}, &r.v);
    EXPECT_EQ(o.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(o.scode, E_INVALIDARG);

    Result session;
    ASSERT_EQ(Get(ns.Get(), "MAPIOBJECT", &session.v), S_OK);
    ASSERT_EQ(session.v.vt, VT_UNKNOWN);
    EXPECT_TRUE(SameObject(session.v.punkVal, c.Session().Get()));

    // The namespace's Send/Receive came with version 12.
    HRESULT hr;
    IdOf(ns.Get(), "SendAndReceive", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
}

TEST_F(SimTest, HostsOfVersionTwelveOfferSendAndReceiveOnTheNamespace) {
    config.version = "12.0.4518.1014";
    auto& c = Start();
    Ptr<IDispatch> ns = Object(c.Application().Get(), "Session");
    EXPECT_EQ(Call(ns.Get(), "SendAndReceive", {false}), S_OK);
    EXPECT_EQ(c.SendReceiveCount(), 1u);
}

TEST_F(SimTest, ArgumentsArriveInDeclaredOrderAndOptionalOnesMayBeMissing) {
    auto& c = Start();
    Compose w = OpenWindow(c);
    const LONG before = Number(w.controls.Get(), "Count");
    Result first;
    ASSERT_EQ(Call(w.controls.Get(), "Add",
                   {Arg::Int(msoControlButton), Arg::Missing(), "parameter", Arg::Short(1), true},
                   &first.v),
              S_OK);
    sim::MailClient::ControlState s = c.Inspect(first.Dispatch());
    EXPECT_EQ(s.type, msoControlButton);
    EXPECT_EQ(s.id, 1);
    EXPECT_EQ(s.parameter, "parameter");
    EXPECT_EQ(s.index, 1);
    EXPECT_TRUE(s.temporary);
    EXPECT_EQ(s.bar, "Standard");

    Result last;
    ASSERT_EQ(Call(w.controls.Get(), "Add", {}, &last.v), S_OK);
    s = c.Inspect(last.Dispatch());
    EXPECT_EQ(s.index, before + 2);
    EXPECT_FALSE(s.temporary);

    Result popup;
    ASSERT_EQ(Call(w.controls.Get(), "Add", {msoControlPopup}, &popup.v), S_OK);
    EXPECT_TRUE(QueryAs<IDispatch>(popup.Dispatch(), IID_CommandBarPopup));
    EXPECT_FALSE(QueryAs<IDispatch>(popup.Dispatch(), IID__CommandBarButton));
    EXPECT_TRUE(QueryAs<IDispatch>(first.Dispatch(), IID__CommandBarButton));
    EXPECT_TRUE(QueryAs<IDispatch>(first.Dispatch(), IID_CommandBarControl));
}

TEST_F(SimTest, InvokeRefusesWrongShapesWithTheHostsCodes) {
    auto& c = Start();
    Compose w = OpenWindow(c);
    Ptr<IDispatch> app = c.Application();
    Result button;
    ASSERT_EQ(Call(w.controls.Get(), "Add", {1}, &button.v), S_OK);

    EXPECT_EQ(Put(app.Get(), "Version", "12.0"), DISP_E_MEMBERNOTFOUND);
    Outcome o = Invoke(button.Dispatch(), "Caption", DISPATCH_PROPERTYPUT, {5}, nullptr);
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(o.argErr, 0u);
    o = Invoke(Object(app.Get(), "Session").Get(), "GetDefaultFolder", DISPATCH_METHOD, {"Outbox"},
               nullptr);
    EXPECT_EQ(o.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(w.controls.Get(), "Add", {1, 1, "", 1, true, 7}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(w.item.Get(), "Move"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(w.item.Get(), "Move", {Arg::Missing()}), DISP_E_PARAMNOTOPTIONAL);

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    EXPECT_EQ(RawInvoke(button.Dispatch(), "Visible", DISPATCH_PROPERTYPUT, &value, 1, nullptr, 0),
              DISP_E_PARAMNOTOPTIONAL);
    DISPID named = 1;
    EXPECT_EQ(RawInvoke(button.Dispatch(), "Visible", DISPATCH_PROPERTYGET, &value, 1, &named, 1),
              DISP_E_NONAMEDARGS);
    // An object property may be set by reference; a plain one may not.
    EXPECT_EQ(Invoke(button.Dispatch(), "Caption", DISPATCH_PROPERTYPUTREF, {"x"}, nullptr).hr,
              DISP_E_MEMBERNOTFOUND);

    // A popup has no face; a button has no menu.
    Result popup;
    ASSERT_EQ(Call(w.controls.Get(), "Add", {msoControlPopup}, &popup.v), S_OK);
    HRESULT hr;
    IdOf(popup.Dispatch(), "Picture", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    IdOf(button.Dispatch(), "Controls", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    IdOf(button.Dispatch(), "PasteFace", &hr);
    EXPECT_EQ(hr, S_OK);
}

TEST_F(SimTest, MoveTakesAControlToTheEndOfItsBarOrBeforeAPositionOfAnother) {
    auto& c = Start();
    Compose w = OpenWindow(c);
    Ptr<IDispatch> send = c.FindControl(w.inspector.Get(), "Standard", "&Send");
    ASSERT_EQ(c.Inspect(send.Get()).index, 1);
    Result moved;
    ASSERT_EQ(Call(send.Get(), "Move", {Arg::Missing(), Arg::Missing()}, &moved.v), S_OK);
    EXPECT_TRUE(SameObject(moved.Dispatch(), send.Get()));
    EXPECT_EQ(c.Inspect(send.Get()).index, Number(w.controls.Get(), "Count"));
    Ptr<IDispatch> formatting = Object(w.bars.Get(), "Item", {"Formatting"});
    ASSERT_EQ(Call(send.Get(), "Move", {formatting.Get(), 2}), S_OK);
    EXPECT_EQ(c.Inspect(send.Get()).bar, "Formatting");
    EXPECT_EQ(c.Inspect(send.Get()).index, 2);
    EXPECT_FALSE(c.FindControl(w.inspector.Get(), "Standard", "Send"));
}

TEST_F(SimTest, ItemFindsBarsAndControlsByNameOrPositionAndFailsWhenAbsent) {
    auto& c = Start();
    Ptr<IDispatch> bars = Object(c.Explorer().Get(), "CommandBars");
    Result r;
    EXPECT_EQ(Get(bars.Get(), "Item", &r.v, {"standard"}), S_OK);
    EXPECT_EQ(Get(bars.Get(), "Item", &r.v, {"No Such Bar"}), E_INVALIDARG);
    EXPECT_EQ(Get(bars.Get(), "Item", &r.v, {0}), E_INVALIDARG);
    EXPECT_EQ(Get(bars.Get(), "Item", &r.v, {99}), E_INVALIDARG);
    Ptr<IDispatch> menu = Object(bars.Get(), "ActiveMenuBar");
    EXPECT_EQ(Text(menu.Get(), "Name"), "Menu Bar");
    EXPECT_TRUE(SameObject(Object(bars.Get(), "Item", {1}).Get(), menu.Get()));

    Ptr<IDispatch> controls = Object(menu.Get(), "Controls");
    Ptr<IDispatch> tools = Object(controls.Get(), "Item", {"Tools"}); // accelerators do not count
    ASSERT_TRUE(tools);
    EXPECT_EQ(Text(tools.Get(), "Caption"), "&Tools");
    EXPECT_TRUE(SameObject(Object(controls.Get(), "Item", {Arg::Int(5)}).Get(), tools.Get()));
    EXPECT_EQ(Get(controls.Get(), "Item", &r.v, {"&Werkzeug"}), E_INVALIDARG);
    EXPECT_EQ(Get(controls.Get(), "Item", &r.v, {Arg::Int(99)}), E_INVALIDARG);
}

struct LanguageCase {
    sim::MenuLanguage language;
    const char* tools;
};

// Names the case in test listings (by default they show its bytes, pointers included).
void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.tools;
}

class MenuLanguageTest : public SimTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(MenuLanguageTest, TheToolsMenuIsTheFifthMenuWithTheLanguagesCaption) {
    config.menuLanguage = GetParam().language;
    auto& c = Start();
    Ptr<IDispatch> menu = Object(Object(c.Explorer().Get(), "CommandBars").Get(), "ActiveMenuBar");
    Ptr<IDispatch> controls = Object(menu.Get(), "Controls");
    Ptr<IDispatch> fifth = Object(controls.Get(), "Item", {Arg::Int(5)});
    EXPECT_EQ(Text(fifth.Get(), "Caption"), GetParam().tools);
    EXPECT_TRUE(QueryAs<IDispatch>(fifth.Get(), IID_CommandBarPopup));
    for (const char* caption : {"&Tools", "&Herramientas", "E&xtras"}) {
        Result r;
        HRESULT hr = Get(controls.Get(), "Item", &r.v, {caption});
        if (std::strcmp(caption, GetParam().tools) == 0) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_TRUE(SameObject(r.Dispatch(), fifth.Get()));
        } else {
            EXPECT_EQ(hr, E_INVALIDARG) << caption;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, MenuLanguageTest,
                         ::testing::Values(LanguageCase{sim::MenuLanguage::English, "&Tools"},
                                           LanguageCase{sim::MenuLanguage::Spanish,
                                                        "&Herramientas"},
                                           LanguageCase{sim::MenuLanguage::German, "E&xtras"},
                                           LanguageCase{sim::MenuLanguage::Other, "&Outils"}));

TEST_F(SimTest, ActiveExplorerIsNothingUntilTheExplorerHasAppeared) {
    config.explorerAfterPolls = 3;
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    for (int i = 0; i < 3; ++i) {
        Result r;
        ASSERT_EQ(Call(app.Get(), "ActiveExplorer", {}, &r.v), S_OK);
        EXPECT_EQ(r.v.vt, VT_DISPATCH);
        EXPECT_EQ(r.v.pdispVal, nullptr);
    }
    EXPECT_TRUE(SameObject(Object(app.Get(), "ActiveExplorer").Get(), c.Explorer().Get()));
    EXPECT_EQ(c.ActiveExplorerReads(), 4u);
}

TEST_F(SimTest, WithoutAnExplorerActiveExplorerStaysNothingUntilTheUserOpensOne) {
    config.explorer = false;
    auto& c = Start();
    Ptr<IDispatch> app = c.Application();
    Ptr<IDispatch> explorers = Object(app.Get(), "Explorers");
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(Object(app.Get(), "ActiveExplorer"));
    EXPECT_EQ(Number(explorers.Get(), "Count"), 0);
    Result none;
    EXPECT_EQ(Call(explorers.Get(), "Item", {1}, &none.v), E_INVALIDARG);

    Ptr<IDispatch> opened = c.OpenExplorer();
    EXPECT_TRUE(SameObject(opened.Get(), c.Explorer().Get()));
    EXPECT_TRUE(SameObject(Object(app.Get(), "ActiveExplorer").Get(), opened.Get()));
    EXPECT_EQ(Number(explorers.Get(), "Count"), 1);
    EXPECT_TRUE(SameObject(Object(explorers.Get(), "Item", {1}).Get(), opened.Get()));
}

struct SendReceiveCase {
    const char* version;
    LONG present;
    LONG absent;
};

void PrintTo(const SendReceiveCase& c, std::ostream* os) {
    *os << "host " << c.version;
}

class SendReceiveTest : public SimTest, public ::testing::WithParamInterface<SendReceiveCase> {};

TEST_P(SendReceiveTest, FindControlFindsTheSendReceiveCommandOfTheHostVersion) {
    config.version = GetParam().version;
    auto& c = Start();
    Ptr<IDispatch> bars = Object(c.Explorer().Get(), "CommandBars");
    Result found, missing;
    ASSERT_EQ(Call(bars.Get(), "FindControl",
                   {Arg::Missing(), Arg::Int(GetParam().present), Arg::Missing(), Arg::Missing()},
                   &found.v),
              S_OK);
    ASSERT_TRUE(found.Dispatch());
    EXPECT_EQ(Number(found.Dispatch(), "Id"), GetParam().present);
    ASSERT_EQ(Call(bars.Get(), "FindControl",
                   {Arg::Missing(), Arg::Int(GetParam().absent), Arg::Missing(), Arg::Missing()},
                   &missing.v),
              S_OK);
    EXPECT_EQ(missing.v.vt, VT_DISPATCH);
    EXPECT_EQ(missing.v.pdispVal, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Versions, SendReceiveTest,
                         ::testing::Values(SendReceiveCase{"9.0.0.2711", 5488, 7095},
                                           SendReceiveCase{"10.0.6626", 5488, 7095},
                                           SendReceiveCase{"11.0.0.8312", 7095, 5488}));

TEST_F(SimTest, AMovedItemRaisesTheHostsErrorWhileTheMovedOneWorks) {
    auto& c = Start();
    sim::Draft draft;
    draft.subject = "Moving";
    Compose w = OpenWindow(c, draft);
    Ptr<IDispatch> ns = Object(c.Application().Get(), "Session");
    Ptr<IDispatch> outbox = Object(ns.Get(), "GetDefaultFolder", {olFolderOutbox});
    ASSERT_EQ(Call(w.item.Get(), "Save"), S_OK);
    Result moved;
    ASSERT_EQ(Call(w.item.Get(), "Move", {outbox.Get()}, &moved.v), S_OK);
    ASSERT_TRUE(moved.Dispatch());
    EXPECT_EQ(Text(moved.Dispatch(), "Subject"), "Moving");
    Result r;
    Outcome o = Invoke(w.item.Get(), "Subject", DISPATCH_PROPERTYGET, {}, &r.v);
    EXPECT_EQ(o.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(o.scode, kObjectDeleted);
    EXPECT_FALSE(o.description.empty());
    EXPECT_EQ(c.FolderContents(olFolderOutbox).size(), 1u);
    EXPECT_TRUE(c.FolderContents(kDraftsFolder).empty());
}

TEST_F(SimTest, FaultsHitTheChosenCallOfTheNamedMemberOnly) {
    auto& c = Start();
    Compose w = OpenWindow(c);
    c.FailCall("MailItem.Save", 2, E_ACCESSDENIED);
    EXPECT_EQ(Call(w.item.Get(), "Save"), S_OK);
    EXPECT_EQ(Call(w.item.Get(), "Save"), E_ACCESSDENIED);
    EXPECT_EQ(Call(w.item.Get(), "Save"), S_OK);

    c.RaiseCall("Subject", 1, static_cast<HRESULT>(0x80040109L));
    Result r;
    Outcome o = Invoke(w.item.Get(), "Subject", DISPATCH_PROPERTYGET, {}, &r.v);
    EXPECT_EQ(o.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(o.scode, static_cast<HRESULT>(0x80040109L));
    EXPECT_EQ(Get(w.item.Get(), "Subject", &r.v), S_OK);

    c.FailCopy(2);
    for (int i = 0; i < 2; ++i) {
        Result copy;
        o = Invoke(w.item.Get(), "Copy", DISPATCH_METHOD, {}, &copy.v);
        EXPECT_EQ(o.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(copy.v.vt, VT_EMPTY);
    }
    Result copy;
    ASSERT_EQ(Call(w.item.Get(), "Copy", {}, &copy.v), S_OK);
    EXPECT_TRUE(copy.Dispatch());

    c.FailQueryInterface(IID__MailItem, "MailItem", 1);
    EXPECT_FALSE(QueryAs<IDispatch>(w.item.Get(), IID__MailItem));
    EXPECT_TRUE(QueryAs<IDispatch>(w.item.Get(), IID__MailItem));
    c.FailQueryInterface(IID__MailItem, "MailItem", 1, 2); // the second from now
    EXPECT_TRUE(QueryAs<IDispatch>(w.item.Get(), IID__MailItem));
    EXPECT_FALSE(QueryAs<IDispatch>(w.item.Get(), IID__MailItem));
    EXPECT_TRUE(QueryAs<IDispatch>(w.item.Get(), IID__MailItem));
    c.FailQueryInterface(IID_IOleWindow);
    EXPECT_FALSE(QueryAs<IOleWindow>(w.inspector.Get(), IID_IOleWindow));
    EXPECT_FALSE(QueryAs<IOleWindow>(w.inspector.Get(), IID_IOleWindow));
    c.ClearFaults();
    EXPECT_TRUE(QueryAs<IOleWindow>(w.inspector.Get(), IID_IOleWindow));
}

TEST_F(SimTest, AStoreFaultIsDescribedByGetLastError) {
    auto& c = Start();
    sim::Draft draft;
    draft.recipients = {sim::Recipient{"ann@example.com"}};
    Compose w = OpenWindow(c, draft);
    Result mapi;
    ASSERT_EQ(Get(w.item.Get(), "MAPIOBJECT", &mapi.v), S_OK);
    Ptr<IMessage> message = QueryAs<IMessage>(mapi.v.punkVal, IID_IMessage);
    ASSERT_TRUE(message);
    c.FailCall("Message.SubmitMessage", 1, MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(message->SubmitMessage(FORCE_SUBMIT), MAPI_E_NETWORK_ERROR);
    LPMAPIERROR error = nullptr;
    ASSERT_EQ(message->GetLastError(MAPI_E_NETWORK_ERROR, 0, &error), S_OK);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error->lpszError).find("SubmitMessage"), std::string::npos);
    MAPIFreeBuffer(error);
    EXPECT_EQ(message->SubmitMessage(FORCE_SUBMIT), S_OK);
    EXPECT_EQ(c.QueuedCount(), 1u);
}

TEST_F(SimTest, TheTraceRecordsCallsInTheOrderTheyStartWithArgumentsAndResults) {
    auto& c = Start();
    Compose w = OpenWindow(c);
    Result button;
    ASSERT_EQ(Call(w.controls.Get(), "Add", {1}, &button.v), S_OK);
    Ptr<Sink> sink = Ptr<Sink>::Adopt(new Sink(IID__CommandBarButtonEvents));
    ASSERT_EQ(sink->Connect(button.Dispatch()), S_OK);
    sink->action = [](const Sink::Event& e) { Text(e.object, "Tag"); };
    c.ClearTrace();

    ASSERT_EQ(Put(button.Dispatch(), "Caption", "Merge"), S_OK);
    c.Click(button.Dispatch());
    Outcome o = Invoke(w.item.Get(), "Move", DISPATCH_METHOD, {Arg::Missing()}, nullptr);
    EXPECT_EQ(o.hr, DISP_E_PARAMNOTOPTIONAL);

    const std::string name = c.NameOf(button.Dispatch());
    const auto& trace = c.Trace();
    ASSERT_GE(trace.size(), 4u);
    EXPECT_EQ(trace[0].kind, sim::TraceKind::Put);
    EXPECT_EQ(trace[0].object, name);
    EXPECT_EQ(trace[0].member, "Caption");
    EXPECT_EQ(trace[0].args, "= \"Merge\"");
    EXPECT_EQ(trace[0].result, S_OK);
    EXPECT_EQ(trace[1].kind, sim::TraceKind::Event);
    EXPECT_EQ(trace[1].member, "Click");
    EXPECT_EQ(trace[1].object, name);
    EXPECT_EQ(trace[2].member, "Tag"); // the sink's call, inside the event
    EXPECT_EQ(trace[2].kind, sim::TraceKind::Get);
    EXPECT_EQ(trace[2].value, "\"\"");
    const sim::TraceEntry& move = trace.back();
    EXPECT_EQ(move.member, "Move");
    EXPECT_EQ(move.args, "missing");
    EXPECT_EQ(move.result, DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(c.Calls("Caption", "Control").size(), 1u);
    EXPECT_NE(c.TraceText().find("put " + name + ".Caption(= \"Merge\") -> 0x00000000"),
              std::string::npos);
    c.SetTracing(false);
    Text(button.Dispatch(), "Caption");
    EXPECT_EQ(c.Calls("Caption").size(), 1u);
    sink->Disconnect();
}

} // namespace
