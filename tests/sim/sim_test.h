// The fixture of the simulated client's tests: a client per test, with its
// own delivery folder. Every test is also a lifetime check: once the test has
// let go of what it held and the client is gone, no object of the client may
// be left and every MAPI buffer handed out must have been freed.
#pragma once

#include "automation.h"
#include "test_support.h"

#include <memory>

class SimTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        config.deliveryFolder = simtest::MailFolder();
        buffersBefore = simtest::LiveMapiBuffers();
        ASSERT_NE(buffersBefore, static_cast<size_t>(-1))
            << "the mapi32 loaded is not the client's (see tools/wine-run)";
    }
    void TearDown() override {
        client.reset();
        EXPECT_EQ(sim::LiveObjectCount(), 0u) << "objects of the client still alive";
        EXPECT_EQ(simtest::LiveMapiBuffers(), buffersBefore) << "MAPI buffers not freed";
    }
    sim::MailClient& Start() {
        client.reset(new sim::MailClient(config));
        return *client;
    }

    sim::Config config;
    std::unique_ptr<sim::MailClient> client;
    size_t buffersBefore = 0;
};

// Interface identity: the IUnknown of each.
inline bool SameObject(IUnknown* a, IUnknown* b) {
    sim::Ptr<IUnknown> x = simtest::QueryAs<IUnknown>(a, IID_IUnknown);
    sim::Ptr<IUnknown> y = simtest::QueryAs<IUnknown>(b, IID_IUnknown);
    return x && x.Get() == y.Get();
}
