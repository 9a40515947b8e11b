// The base of every object the client holds, on an object of its own with two
// interfaces, and the registry of the two doors: what DllCanUnloadNow and the
// doors' shared references rely on.
#include "test_support.h"

#include "compose/client_object.h"
#include "compose/doors.h"

namespace {

// A class factory that also answers IDispatch through a second interface.
class TwoFaced final : public ClientObject<IClassFactory, IDispatch> {
public:
    explicit TwoFaced(Counting counting, bool releaseAtZeroIgnored = false)
        : ClientObject(counting,
                       {&IID_IUnknown, &IID_IClassFactory, {&IID_IDispatch, 1}, {&IID_IStream, 7}},
                       releaseAtZeroIgnored) {}
    ~TwoFaced() override { ++destroyed; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    static inline int destroyed = 0;
};

class ClientObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        TwoFaced::destroyed = 0;
        aliveBefore = ClientObjectsAlive;
    }
    ULONG aliveBefore = 0;
};

TEST_F(ClientObjectTest, EachIdIsAnsweredWithThePointerOfItsOwnInterface) {
    TwoFaced* object = new TwoFaced(Counting::SourceHeld);
    object->AddRef();
    void* p = object;
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(object->QueryInterface(IID_IClassFactory, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(static_cast<IClassFactory*>(object)));
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(static_cast<IClassFactory*>(object)));
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(static_cast<IDispatch*>(object)));
    EXPECT_NE(p, static_cast<void*>(static_cast<IClassFactory*>(object)));
    // Through the second interface, the same object with the same count.
    EXPECT_EQ(static_cast<IDispatch*>(p)->AddRef(), 5u);
    EXPECT_EQ(static_cast<IDispatch*>(p)->Release(), 4u);
    // An entry naming an interface the object does not have is not kept.
    p = object;
    EXPECT_EQ(object->QueryInterface(IID_IStream, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    for (ULONG left : {3u, 2u, 1u})
        EXPECT_EQ(object->Release(), left);
    EXPECT_EQ(TwoFaced::destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 1);
}

TEST_F(ClientObjectTest, EachCountingRuleReleasesAsItsClassDid) {
    // The extension object's: the count starts at 0 for the reference handed
    // out, and Release returns the count as it was.
    TwoFaced* extension = new TwoFaced(Counting::Extension);
    EXPECT_EQ(extension->AddRef(), 1u);
    EXPECT_EQ(extension->Release(), 1u);
    EXPECT_EQ(TwoFaced::destroyed, 0);
    EXPECT_EQ(extension->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 1);

    // Held by the client alone (source-held sinks, the add-in, its factory):
    // an extra Release changes nothing.
    TwoFaced* held = new TwoFaced(Counting::SourceHeld);
    EXPECT_EQ(held->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 1);
    EXPECT_EQ(held->AddRef(), 1u);
    EXPECT_EQ(held->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 2);

    // Owner-released, with an extra Release at 0 ignored.
    TwoFaced* owned = new TwoFaced(Counting::OwnerReleased, true);
    EXPECT_EQ(owned->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 2);
    EXPECT_EQ(owned->AddRef(), 1u);
    EXPECT_EQ(owned->AddRef(), 2u);
    EXPECT_EQ(owned->Release(), 1u);
    EXPECT_EQ(owned->Release(), 0u);
    EXPECT_EQ(TwoFaced::destroyed, 3);
}

TEST_F(ClientObjectTest, OneCountHoldsEveryObjectAliveUntilItGoes) {
    TwoFaced* first = new TwoFaced(Counting::SourceHeld);
    TwoFaced* second = new TwoFaced(Counting::Extension);
    EXPECT_EQ(ClientObjectsAlive, aliveBefore + 2);
    first->AddRef();
    first->Release();
    EXPECT_EQ(ClientObjectsAlive, aliveBefore + 1);
    second->Release();
    EXPECT_EQ(ClientObjectsAlive, aliveBefore);
}

// ---- The doors ---------------------------------------------------------------------------------

class DoorsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetDoors(); }
    void TearDown() override { ResetDoors(); }
};

TEST_F(DoorsTest, TheLastDoorToCloseSaysSoWhicheverItIs) {
    OpenDoor(Door::Extension);
    OpenDoor(Door::Extension);
    OpenDoor(Door::AddIn);
    EXPECT_EQ(DoorsOpen(Door::Extension), 2u);
    EXPECT_EQ(DoorsOpen(Door::AddIn), 1u);
    EXPECT_FALSE(CloseDoor(Door::Extension));
    EXPECT_FALSE(CloseDoor(Door::Extension)); // the add-in is still connected
    EXPECT_TRUE(CloseDoor(Door::AddIn));

    OpenDoor(Door::AddIn);
    OpenDoor(Door::Extension);
    EXPECT_FALSE(CloseDoor(Door::AddIn)); // an extension object is still alive
    EXPECT_TRUE(CloseDoor(Door::Extension));
}

TEST_F(DoorsTest, ClosingADoorThatIsNotOpenLeavesTheOtherOpen) {
    OpenDoor(Door::Extension);
    EXPECT_FALSE(CloseDoor(Door::AddIn));
    EXPECT_EQ(DoorsOpen(Door::AddIn), 0u);
    EXPECT_EQ(DoorsOpen(Door::Extension), 1u);
    EXPECT_TRUE(CloseDoor(Door::Extension));
    EXPECT_TRUE(CloseDoor(Door::Extension));
    EXPECT_EQ(DoorsOpen(Door::Extension), 0u);
}

} // namespace
