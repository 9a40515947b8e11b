// What a user of each client version sees with either door registered, or
// both: on every compose window of an unsent mail item one "Quorsend" button
// (the command-bar one or the ribbon's), whose click opens one mailing
// dialog, and in the explorer one Tools entry, whose click opens the options
// once. The client decides which door it loads: the extension up to version
// 12, the COM add-in from 9 on, the ribbon from 12.
#include "../addin/wrapped_addin.h"
#include "../extension/extension_fixture.h"

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "install/addin_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

constexpr char kRibbonButtonId[] = "QuorsendButton";

enum class Registered { Extension, AddIn, Both };

const char* NameOf(Registered r) {
    switch (r) {
    case Registered::Extension:
        return "extension";
    case Registered::AddIn:
        return "add-in";
    default:
        return "both";
    }
}

struct ClientVersion {
    const char* text;
    bool loadsExtensions; // up to 2007
};

// The product's add-in with its ribbon XML put in another customUI
// namespace: how strict the client is about the namespace it reads.
std::string RibbonNamespace;

class RenamespacedAddIn final : public IDTExtensibility2, public IRibbonExtensibility {
public:
    explicit RenamespacedAddIn(ComRef<IDTExtensibility2> inner) : inner_(std::move(inner)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IRibbonExtensibility))
            *object = static_cast<IRibbonExtensibility*>(this);
        else if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
                 IsEqualIID(iid, IID_IDTExtensibility2))
            *object = static_cast<IDTExtensibility2*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --count_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return inner_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return inner_->Invoke(dispid, iid, locale, flags, params, result, exception, argumentError);
    }
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override {
        return inner_->OnConnection(application, mode, addInInstance, custom);
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode,
                                              SAFEARRAY** custom) override {
        return inner_->OnDisconnection(mode, custom);
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override {
        return inner_->OnAddInsUpdate(custom);
    }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override {
        return inner_->OnStartupComplete(custom);
    }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override {
        return inner_->OnBeginShutdown(custom);
    }
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) override {
        ComRef<IRibbonExtensibility> ribbon =
            QueryAs<IRibbonExtensibility>(inner_.Get(), IID_IRibbonExtensibility);
        const HRESULT hr = ribbon->GetCustomUI(ribbonId, ribbonXml);
        if (FAILED(hr) || !*ribbonXml)
            return hr;
        Utf8Text text = AnsiFromBstr(*ribbonXml);
        SysFreeString(*ribbonXml);
        std::string xml = text.Get();
        const size_t from = xml.find("xmlns=\"") + 7;
        xml.replace(from, xml.find('"', from) - from, RibbonNamespace);
        *ribbonXml = Bstr::FromAnsi(xml.c_str()).Detach();
        return S_OK;
    }

private:
    ~RenamespacedAddIn() = default;
    ULONG count_ = 1;
    ComRef<IDTExtensibility2> inner_;
};

HRESULT STDAPICALLTYPE RenamespacedClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return WrappingClassObject<RenamespacedAddIn>(clsid, iid, object);
}

const ClientVersion kVersions[] = {
    {"9.0.0.2711", true},      {"11.0.0.8312", true},     {"12.0.4518.1014", true},
    {"14.0.7015.1000", false}, {"16.0.4266.1001", false},
};

class ClientDoorsTest : public ExtensionTest {
protected:
    void TearDown() override {
        ExtensionTest::TearDown();
        EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u) << "add-in objects still alive";
    }

    // Starts a client of `version` with the doors of `registered` as the
    // client loads them.
    void StartWith(const ClientVersion& version, Registered registered) {
        config.version = version.text;
        const bool addIn = registered != Registered::Extension;
        if (addIn) {
            ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
        }
        if (registered != Registered::AddIn)
            StartAndLoad();
        else
            Start();
        if (addIn) {
            EXPECT_EQ(client->LoadComAddIns(&DllGetClassObject).size(), 1u);
        }
        EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    }
    // Shuts the client down and puts the process back as at load time, for
    // the next case.
    void EndClient() {
        for (const sim::Ptr<IDispatch>& window : client->OpenInspectors())
            client->CloseInspector(window.Get(), 1 /* olDiscard */);
        client.reset();
        EXPECT_EQ(TSAddIn::LiveCount(), 0u);
        EXPECT_EQ(QuorvelAddIn::LiveCount(), 0u);
        EXPECT_FALSE(ApplicationRef);
        EXPECT_EQ(UnregisterAddIn(AddInScope::CurrentUser), S_OK);
        ResetComposeButtons();
        ResetOptionsMenu();
        ResetDialogFakes();
        HostApplication::ForgetMemberIds();
    }

    // The Quorsend buttons a user finds on the window: on its bars and on
    // its ribbon.
    size_t ButtonsOn(IDispatch* window) {
        return client->ControlsCaptioned(window, "Quorsend").size() +
               client->RibbonButtons(window).size();
    }
    // Clicks the window's one button, whichever it is.
    void ClickButtonOn(IDispatch* window) {
        std::vector<sim::Ptr<IDispatch>> bar = client->ControlsCaptioned(window, "Quorsend");
        if (!bar.empty())
            client->Click(bar[0].Get());
        else
            EXPECT_EQ(client->ClickRibbonButton(window, kRibbonButtonId), S_OK);
    }
    sim::Ptr<IDispatch> OpenReadWindow() {
        sim::Draft read;
        read.subject = "Already sent";
        read.body = "Body";
        read.sent = true;
        read.recipients.push_back(sim::Recipient("someone@example.com"));
        return client->OpenCompose(read);
    }
};

TEST_F(ClientDoorsTest, EveryComposeWindowHasOneButtonThatOpensOneDialogOnEveryClient) {
    for (const ClientVersion& version : kVersions) {
        for (Registered registered : {Registered::Extension, Registered::AddIn, Registered::Both}) {
            SCOPED_TRACE(std::string(version.text) + ", " + NameOf(registered));
            StartWith(version, registered);
            // A client of 2010 or later loads no client extension: with the
            // extension alone it has nothing of the product.
            const size_t expected =
                registered == Registered::Extension && !version.loadsExtensions ? 0u : 1u;

            sim::Ptr<IDispatch> first = OpenDraft("First");
            sim::Ptr<IDispatch> second = OpenDraft("Second");
            sim::Ptr<IDispatch> read = OpenReadWindow();
            EXPECT_EQ(ButtonsOn(first.Get()), expected);
            EXPECT_EQ(ButtonsOn(second.Get()), expected);
            EXPECT_EQ(ButtonsOn(read.Get()), 0u) << "a read window is no compose window";
            EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});

            if (expected == 1u) {
                ClickButtonOn(second.Get());
                ASSERT_EQ(MainDialogCalls().size(), 1u);
                sim::Ptr<IDispatch> item = client->CurrentItem(second.Get());
                EXPECT_TRUE(SameObject(MainDialogCalls()[0].mailItem, item.Get()))
                    << "the dialog is for the window whose button was pressed";
                ClickButtonOn(first.Get());
                ASSERT_EQ(MainDialogCalls().size(), 2u);
                item = client->CurrentItem(first.Get());
                EXPECT_TRUE(SameObject(MainDialogCalls()[1].mailItem, item.Get()));

                // The Tools entry: one, and one click opens the options once.
                sim::Ptr<IDispatch> explorer = client->Explorer();
                EXPECT_EQ(client->ControlsTagged(explorer.Get(), "QuorvelOptions").size(), 1u);
                ASSERT_TRUE(OptionsEntry());
                client->Click(OptionsEntry().Get());
                EXPECT_EQ(OptionsDialogCalls().size(), 1u);
            }
            first.Reset();
            second.Reset();
            read.Reset();
            EndClient();
        }
    }
}

// A 2007 client validates the ribbon against the 2006/01 schema alone; 2010
// and later read 2009/07 as well. A ribbon the client does not read shows
// nothing, whatever else it holds.
TEST_F(ClientDoorsTest, EachClientReadsOnlyTheRibbonNamespacesItKnows) {
    const struct {
        const char* version;
        const char* ns;
        bool shown;
    } cases[] = {
        {"12.0.4518.1014", "http://schemas.microsoft.com/office/2006/01/customui", true},
        {"12.0.4518.1014", "http://schemas.microsoft.com/office/2009/07/customui", false},
        {"14.0.7015.1000", "http://schemas.microsoft.com/office/2009/07/customui", true},
        {"16.0.4266.1001", "http://schemas.microsoft.com/office/2006/01/customui", true},
        {"16.0.4266.1001", "http://schemas.microsoft.com/office/2007/01/customui", false},
    };
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.ns);
        RibbonNamespace = c.ns;
        config.version = c.version;
        Start();
        ASSERT_EQ(client->LoadComAddIns(&RenamespacedClassObject).size(), 1u);
        sim::Ptr<IDispatch> window = OpenDraft();
        EXPECT_EQ(client->RibbonButtons(window.Get()).size(), c.shown ? 1u : 0u);
        EXPECT_EQ(client->LoadErrors().empty(), c.shown);
        window.Reset();
        client.reset();
    }
}

} // namespace
