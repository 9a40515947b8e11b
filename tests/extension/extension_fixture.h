// The tests of the extension, of the compose layer behind it and (derived)
// of the add-in: a simulated client per test that loads the
// extension as the mail client does (ExchEntryPoint, then Install in the
// session and the explorer), recording fakes of the dialogs, and a lifetime
// check at the end: once the windows are closed and the client is gone, no
// object of the client, no MAPI buffer and no extension object is left.
#pragma once

#include "../compose/dialog_fakes.h"
#include "automation.h"
#include "test_support.h"

#include "client/host_application.h"
#include "client/host_state.h"
#include "compose/compose_button.h"
#include "compose/compose_events.h"
#include "compose/doors.h"
#include "compose/event_sinks.h"
#include "compose/options_menu.h"
#include "data/settings.h"
#include "extension/extension_object.h"

#include <memory>
#include <string>
#include <vector>

// Interface identity: the IUnknown of each.
inline bool SameObject(IUnknown* a, IUnknown* b) {
    sim::Ptr<IUnknown> x = simtest::QueryAs<IUnknown>(a, IID_IUnknown);
    sim::Ptr<IUnknown> y = simtest::QueryAs<IUnknown>(b, IID_IUnknown);
    return x && x.Get() == y.Get();
}

class ExtensionTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        KeepLibraryModule(TestModule());
        ResetHostState();
        ResetComposeButtons();
        ResetDoors();
        ResetOptionsMenu();
        ResetDialogFakes();
        HostApplication::ForgetMemberIds();
        config.deliveryFolder = simtest::MailFolder();
        buffersBefore = simtest::LiveMapiBuffers();
    }
    void TearDown() override {
        ResetDialogFakes();
        if (client)
            for (const sim::Ptr<IDispatch>& window : client->OpenInspectors())
                client->CloseInspector(window.Get(), 1 /* olDiscard */);
        client.reset();
        EXPECT_EQ(TSAddIn::LiveCount(), 0u) << "extension objects still alive";
        EXPECT_FALSE(ApplicationRef) << "the application is still held";
        EXPECT_FALSE(MapiSessionRef) << "the session is still held";
        EXPECT_EQ(sim::LiveObjectCount(), 0u) << "objects of the client still alive";
        EXPECT_EQ(simtest::LiveMapiBuffers(), buffersBefore) << "MAPI buffers not freed";
        ResetHostState();
        PlatformTest::TearDown();
    }

    sim::MailClient& Start() {
        client.reset(new sim::MailClient(config));
        return *client;
    }
    // Starts the client and loads the extension the way the client does; the
    // client keeps its own reference.
    sim::MailClient& StartAndLoad() {
        Start();
        LPEXCHEXT extension = ExchEntryPoint();
        EXPECT_TRUE(extension);
        installResults = client->InstallExtension(extension);
        extension->Release();
        return *client;
    }
    sim::Ptr<IDispatch> OpenDraft(const std::string& subject = "Hello", HWND window = nullptr) {
        sim::Draft draft;
        draft.subject = subject;
        draft.body = "Body";
        draft.window = window;
        draft.recipients.push_back(sim::Recipient("first@example.com"));
        return client->OpenCompose(draft);
    }
    sim::Ptr<IDispatch> Button(IDispatch* window) {
        return client->FindControl(window, "Standard", "Quorsend");
    }
    sim::Ptr<IDispatch> OptionsEntry() {
        sim::Ptr<IDispatch> explorer = client->Explorer();
        return client->FindControl(explorer.Get(), "Menu Bar", "Quorvel &Options...");
    }
    size_t InspectorsSinks() {
        sim::Ptr<IDispatch> app = client->Application();
        sim::Ptr<IDispatch> inspectors = simtest::Object(app.Get(), "Inspectors");
        return client->SinkCount(inspectors.Get());
    }

    sim::Config config;
    std::unique_ptr<sim::MailClient> client;
    std::vector<HRESULT> installResults;
    size_t buffersBefore = 0;
};
