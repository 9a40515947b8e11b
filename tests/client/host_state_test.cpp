// The host's version number, the context of a composed message, and the
// late-bound calls' contract: names looked up once per interface, failing
// results and raised errors told apart where a caller needs it, every
// reference and string given back.
#include "test_support.h"

#include "client/host_application.h"
#include "client/host_state.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- The version number ----------------------------------------------------------------------

TEST(HostVersionText, TakesTheLeadingDecimalNumber) {
    EXPECT_DOUBLE_EQ(ParseHostVersion("11.0.0.8312"), 11.0);
    EXPECT_DOUBLE_EQ(ParseHostVersion("9.0.0.3821"), 9.0);
    EXPECT_DOUBLE_EQ(ParseHostVersion("10.0.6626"), 10.0);
    EXPECT_DOUBLE_EQ(ParseHostVersion("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(ParseHostVersion("16.25abc"), 16.25);
    EXPECT_DOUBLE_EQ(ParseHostVersion("  \t14.0.4760"), 14.0);
    EXPECT_DOUBLE_EQ(ParseHostVersion("15"), 15.0);
    EXPECT_DOUBLE_EQ(ParseHostVersion(".5"), 0.5);
}

TEST(HostVersionText, EmptyOrNonNumericTextGivesZero) {
    EXPECT_EQ(ParseHostVersion(""), 0.0);
    EXPECT_EQ(ParseHostVersion(nullptr), 0.0);
    EXPECT_EQ(ParseHostVersion("Version 11"), 0.0);
    EXPECT_EQ(ParseHostVersion("-11.0"), 0.0);
    EXPECT_EQ(ParseHostVersion("   "), 0.0);
}

// ---- A small object with members, to watch the calls a wrapper makes ------------------------

class FakeItem : public IDispatch {
public:
    struct Invocation {
        DISPID id;
        WORD flags;
        std::vector<VARIANT> args; // as passed (reversed); strings only in `text`
        UINT named;
        std::u16string text; // the first argument's string, if it is one
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return queryResult;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override {
        ++lookups;
        std::string name;
        for (const OLECHAR* p = names[0]; *p; ++p)
            name += static_cast<char>(*p);
        lookedUp.push_back(name);
        for (size_t i = 0; i < members.size(); ++i)
            if (members[i] == name) {
                ids[0] = static_cast<DISPID>(100 + i);
                return S_OK;
            }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* error, UINT*) override {
        calls.push_back(Invocation{
            id, flags, std::vector<VARIANT>(params->rgvarg, params->rgvarg + params->cArgs),
            params->cNamedArgs, std::u16string()});
        if (params->cArgs && params->rgvarg[0].vt == VT_BSTR)
            for (UINT i = 0; i < SysStringLen(params->rgvarg[0].bstrVal); ++i)
                calls.back().text += static_cast<char16_t>(params->rgvarg[0].bstrVal[i]);
        if (raise) {
            error->scode = raise;
            error->bstrDescription = SysAllocString(OLESTR("raised"));
            return DISP_E_EXCEPTION;
        }
        if (FAILED(fail))
            return fail;
        if (result) {
            VariantInit(result);
            if (returnText) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocString(returnText);
            } else {
                result->vt = VT_I4;
                result->lVal = 2;
            }
        }
        return S_OK;
    }

    std::vector<std::string> members{"Save", "BodyFormat", "HTMLBody", "Subject", "Copy"};
    ULONG refs = 1;
    unsigned lookups = 0;
    std::vector<std::string> lookedUp;
    std::vector<Invocation> calls;
    HRESULT fail = S_OK;
    HRESULT raise = S_OK;
    HRESULT queryResult = E_NOINTERFACE;
    const OLECHAR* returnText = nullptr;
};

class HostCallTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        HostApplication::ForgetMemberIds();
    }
    void TearDown() override {
        HostApplication::ForgetMemberIds();
        PlatformTest::TearDown();
    }
    FakeItem item;
};

TEST_F(HostCallTest, AMembersIdIsLookedUpOnceForEveryObjectOfTheInterface) {
    FakeItem other;
    HostApplication::Save(&item);
    HostApplication::Save(&item);
    HostApplication::Save(&other);
    EXPECT_EQ(item.lookups, 1u);
    EXPECT_EQ(other.lookups, 0u);
    ASSERT_EQ(other.calls.size(), 1u);
    EXPECT_EQ(other.calls[0].id, 100);
    EXPECT_EQ(other.calls[0].flags, DISPATCH_METHOD);
}

TEST_F(HostCallTest, AFailingResultAndARaisedErrorBothRaiseWithTheirCode) {
    item.fail = E_ACCESSDENIED;
    try {
        HostApplication::Save(&item);
        FAIL() << "no error raised";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Code(), E_ACCESSDENIED);
    }
    item.fail = S_OK;
    item.raise = MAPI_E_NO_ACCESS;
    try {
        HostApplication::Save(&item);
        FAIL() << "no error raised";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Code(), MAPI_E_NO_ACCESS);
    }
}

TEST_F(HostCallTest, TheTryFormReturnsAFailingResultAndRaisesOnlyWhatTheHostRaised) {
    LONG format = -1;
    EXPECT_EQ(HostApplication::TryBodyFormat(&item, &format), S_OK);
    EXPECT_EQ(format, 2);
    item.fail = E_FAIL;
    EXPECT_EQ(HostApplication::TryBodyFormat(&item, &format), E_FAIL);
    item.fail = S_OK;
    item.raise = E_UNEXPECTED;
    EXPECT_THROW(HostApplication::TryBodyFormat(&item, &format), HostError);
}

TEST_F(HostCallTest, AnUnknownMemberIsAFailingResultAndIsLookedUpAgainNextTime) {
    item.members = {};
    LONG format = 0;
    EXPECT_EQ(HostApplication::TryBodyFormat(&item, &format), DISP_E_UNKNOWNNAME);
    item.members = {"BodyFormat"};
    EXPECT_EQ(HostApplication::TryBodyFormat(&item, &format), S_OK);
    EXPECT_EQ(item.lookups, 2u);
}

// Texts cross as UTF-8 both ways, whatever the system code page lacks:
// Polish, Greek, Chinese and a character beyond the BMP (a surrogate pair).
TEST_F(HostCallTest, ATextIsPutAsAPropertyWithEveryCharacter) {
    HostApplication::PutSubject(&item, "Łódź Αθήνα 北京 🎉 [[Name]]");
    ASSERT_EQ(item.calls.size(), 1u);
    const FakeItem::Invocation& call = item.calls[0];
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(call.named, 1u);
    ASSERT_EQ(call.args.size(), 1u);
    ASSERT_EQ(call.args[0].vt, VT_BSTR);
    EXPECT_EQ(call.text, u"\u0141\u00f3d\u017a \u0391\u03b8\u03ae\u03bd\u03b1 \u5317\u4eac "
                         u"\U0001F389 [[Name]]");
}

// Up to six arguments reach the object, reversed as Invoke takes them; more
// are refused before anything reaches it (not even the name's lookup), and
// never copied past the room the call has for them.
TEST_F(HostCallTest, ACallPassesUpToSixArgumentsAndRefusesMoreBeforeReachingTheObject) {
    item.members = {"Many"};
    VARIANT args[8];
    for (LONG i = 0; i < 8; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_I4;
        args[i].lVal = 101 + i;
    }
    Variant result;
    ASSERT_EQ(HostApplication::TryMethod(&item, "Many", args, HostApplication::kMaxCallArguments,
                                         &result),
              S_OK);
    ASSERT_EQ(item.calls.size(), 1u);
    EXPECT_EQ(item.calls[0].flags, DISPATCH_METHOD);
    EXPECT_EQ(item.calls[0].named, 0u);
    ASSERT_EQ(item.calls[0].args.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(item.calls[0].args[i].lVal, static_cast<LONG>(106 - i)) << i;
    EXPECT_EQ(result->vt, VT_I4);

    for (UINT count : {7u, 8u}) {
        EXPECT_EQ(HostApplication::TryMethod(&item, "Many", args, count, &result),
                  DISP_E_BADPARAMCOUNT)
            << count;
        EXPECT_EQ(result->vt, VT_EMPTY) << count;
    }
    EXPECT_EQ(item.calls.size(), 1u);
    EXPECT_EQ(item.lookups, 1u);
}

TEST_F(HostCallTest, AStringResultComesBackAsUtf8) {
    item.returnText = OLESTR("<p>Caf\u00e9 \u5317\u4eac \U0001F389</p>");
    Utf8Text html = HostApplication::HtmlBody(&item);
    ASSERT_TRUE(html);
    EXPECT_STREQ(html.Get(), "<p>Café 北京 🎉</p>");
}

TEST_F(HostCallTest, ANullObjectRaisesEPointer) {
    try {
        HostApplication::Save(nullptr);
        FAIL() << "no error raised";
    } catch (const HostError& e) {
        EXPECT_EQ(e.Code(), E_POINTER);
    }
}

TEST_F(HostCallTest, AMissingInterfaceIsAnEmptyReferenceAndAnyOtherFailureRaises) {
    EXPECT_FALSE(QueryAs<IDispatch>(&item, IID__MailItem));
    item.queryResult = E_UNEXPECTED;
    EXPECT_THROW(QueryAs<IDispatch>(&item, IID__MailItem), HostError);
    EXPECT_EQ(item.refs, 1u);
    ComRef<IDispatch> empty;
    EXPECT_THROW(empty->AddRef(), HostError);
}

TEST_F(HostCallTest, EveryReferenceTakenIsGivenBack) {
    {
        ComRef<IDispatch> a = ComRef<IDispatch>::Share(&item);
        // The copy is the point: it takes a reference of its own.
        ComRef<IDispatch> b = a; // NOLINT(performance-unnecessary-copy-initialization)
        ComRef<IUnknown> c = QueryAs<IUnknown>(&item, IID_IUnknown);
        EXPECT_EQ(item.refs, 4u);
    }
    EXPECT_EQ(item.refs, 1u);
}

// ---- The context of a composed message --------------------------------------------------------

TEST_F(HostCallTest, AContextLivesWhileAnyoneHoldsItAndThenReleasesTheItem) {
    item.members = {"MAPIOBJECT"};
    item.fail = E_FAIL; // no store message: the field stays empty
    ComposeContext* context = ComposeContext::Create(&item);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->count, 1);
    EXPECT_FALSE(context->message);
    EXPECT_EQ(context->emailFieldIndex, -1);
    EXPECT_EQ(item.refs, 2u);
    {
        ComposeContextRef hold(context);
        context->Release(); // the window record lets go
        EXPECT_EQ(hold->count, 1);
        EXPECT_EQ(item.refs, 2u);
    }
    EXPECT_EQ(item.refs, 1u);
}

// Create's reference is adopted, not counted twice; a moved reference is
// given back once, by its last owner; Reset and assignment give back the
// reference held before.
TEST_F(HostCallTest, AContextReferenceAdoptedOrMovedIsGivenBackExactlyOnce) {
    item.members = {};
    ComposeContextRef first = ComposeContextRef::Adopt(ComposeContext::Create(&item));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->count, 1);
    ComposeContext* context = first.Get();
    {
        ComposeContextRef moved = std::move(first);
        EXPECT_FALSE(first); // NOLINT(bugprone-use-after-move): emptied by the move
        EXPECT_EQ(moved.Get(), context);
        EXPECT_EQ(context->count, 1);
        ComposeContextRef shared(context);
        EXPECT_EQ(context->count, 2);
        shared.Reset();
        EXPECT_FALSE(shared);
        EXPECT_EQ(context->count, 1);
        first = std::move(moved);
    }
    EXPECT_EQ(context->count, 1);
    EXPECT_EQ(item.refs, 2u);
    // Assigning another context lets go of this one, the last reference.
    first = ComposeContextRef::Adopt(ComposeContext::Create(&item));
    EXPECT_NE(first.Get(), nullptr);
    EXPECT_EQ(item.refs, 2u);
    first.Reset();
    EXPECT_EQ(item.refs, 1u);
    EXPECT_FALSE(ComposeContextRef::Adopt(nullptr));
}

} // namespace
