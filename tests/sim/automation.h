// Late binding as an extension does it, for the simulated client's tests and
// the scenario program: calls by member name through IDispatch, arguments in
// declared order (reversed into the argument array here), optional arguments
// omitted as VT_ERROR DISP_E_PARAMNOTFOUND. Also an event sink that records
// what reaches it, and a minimal extension object.
#pragma once

#include "mail_client.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

namespace simtest {

using sim::Ptr;

// Numbers of the host and of its store that the platform's headers do not name.
constexpr LONG kDeletedItemsFolder = 3;                               // olFolderDeletedItems
constexpr LONG kDraftsFolder = 16;                                    // olFolderDrafts
constexpr LONG kInboxFolder = 6;                                      // olFolderInbox
constexpr HRESULT kObjectDeleted = static_cast<HRESULT>(0x8004010AL); // MAPI_E_OBJECT_DELETED

std::basic_string<OLECHAR> Wide(const std::string& text); // from UTF-8
std::string Narrow(BSTR text);                            // to UTF-8

// One argument, owning its value.
class Arg {
public:
    template <typename T,
              typename std::enable_if<std::is_integral<T>::value && !std::is_same<T, bool>::value,
                                      int>::type = 0>
    Arg(T n) {
        VariantInit(&v_);
        v_.vt = VT_I4;
        v_.lVal = static_cast<LONG>(n);
    }
    Arg(bool b);
    Arg(const char* text);
    Arg(const std::string& text);
    Arg(IDispatch* object);
    Arg(const VARIANT& value); // copied
    Arg(const Arg& other);
    Arg& operator=(const Arg&) = delete;
    ~Arg();
    static Arg Missing();
    static Arg Int(INT n);     // VT_INT
    static Arg Short(SHORT n); // VT_I2
    const VARIANT& Get() const { return v_; }

private:
    Arg() { VariantInit(&v_); }
    VARIANT v_;
};

// A VARIANT result that clears itself.
struct Result {
    VARIANT v;
    Result() { VariantInit(&v); }
    ~Result() { VariantClear(&v); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    std::string Text() const; // a BSTR as 8-bit text
    LONG Long() const;
    bool Bool() const;
    IDispatch* Dispatch() const { return v.vt == VT_DISPATCH ? v.pdispVal : nullptr; }
};

// What Invoke returned, with its exception information.
struct Outcome {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK; // EXCEPINFO.scode when hr is DISP_E_EXCEPTION
    std::string description;
    UINT argErr = 0xFFFFFFFFu;
};

DISPID IdOf(IDispatch* object, const char* member, HRESULT* hr = nullptr);
Outcome Invoke(IDispatch* object, const char* member, WORD flags, std::initializer_list<Arg> args,
               VARIANT* result);
HRESULT Get(IDispatch* object, const char* member, VARIANT* result,
            std::initializer_list<Arg> args = {});
HRESULT Put(IDispatch* object, const char* member, const Arg& value);
HRESULT PutRef(IDispatch* object, const char* member, const Arg& value);
HRESULT Call(IDispatch* object, const char* member, std::initializer_list<Arg> args = {},
             VARIANT* result = nullptr);
// Shorthands that expect success (null or empty on failure).
Ptr<IDispatch> Object(IDispatch* object, const char* member, std::initializer_list<Arg> args = {});
std::string Text(IDispatch* object, const char* member);
LONG Number(IDispatch* object, const char* member);
template <class T> Ptr<T> QueryAs(IUnknown* object, REFIID iid) {
    T* p = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&p))))
        return Ptr<T>();
    return Ptr<T>::Adopt(p);
}
ULONG RefCount(IUnknown* object); // AddRef then Release

// An event sink: answers IUnknown, IDispatch and its event interface, records
// each Invoke, and runs an optional action inside it.
class Sink final : public IDispatch {
public:
    struct Event {
        DISPID dispid;
        UINT argCount;
        std::vector<VARTYPE> types; // in argument-array order (last argument first)
        IDispatch* object;          // the first VT_DISPATCH argument (not held)
    };
    explicit Sink(const IID& eventIid) : iid_(eventIid) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override;

    // Connects to `source`'s connection point for the event interface.
    HRESULT Connect(IUnknown* source);
    HRESULT Disconnect();
    ULONG Refs() const { return refs_; }
    DWORD Cookie() const { return cookie_; }

    std::vector<Event> events;
    bool setCancel = false; // sets the VT_BYREF|VT_BOOL argument to True
    std::function<void(const Event&)> action;

private:
    ~Sink() = default;
    IID iid_;
    ULONG refs_ = 1;
    Ptr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// A minimal Exchange client extension: records Install and keeps what the
// callbacks give (session, application).
class Extension final : public IExchExt {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Install(LPEXCHEXTCALLBACK callback, ULONG context,
                                      ULONG flags) override;

    std::vector<ULONG> contexts;
    Ptr<IMAPISession> session;
    Ptr<IDispatch> application;
    std::function<void(ULONG context)> onInstall;
    ULONG refs_ = 1;

private:
    ~Extension() = default;
};

// ---- What a mailing does in the store ----------------------------------------------------
// Reads a property the way a mailing reads a body: the property's stream
// copied whole into a scratch stream on a temporary file, then read back.
// S_OK, or the failure of OpenProperty or of the scratch stream.
HRESULT ReadStream(IMessage* message, ULONG tag, std::string* out);
// An address list as a mailing builds one: one entry of five values (address,
// display name, MAPI_TO, "SMTP", no rich information), and a sixth, the
// PR_ENTRYID that resolves it, when `entryId` is given. Null when the store
// has no memory; free it with FreePadrlist.
LPADRLIST OneRecipient(const std::string& address, const std::string& name,
                       const std::string& entryId = std::string());
// The one-off entry ID the session's address book makes for an SMTP address
// (no rich information), as a mailing resolves its recipient; S_OK, or the
// failure of OpenAddressBook or CreateOneOff.
HRESULT OneOffFromAddressBook(IMAPISession* session, const std::string& address,
                              const std::string& name, std::string* entryId);
// GetIDsFromNames for the one named property a mailing sets, PidLidUseTnef
// of PSETID_Common; the caller frees `tags`.
HRESULT UseTnefTag(IMessage* message, ULONG flags, LPSPropTagArray* tags);
// The flush a mailing makes: the spooler's row of the status table, the
// status object its entry ID opens, FlushQueues(FLUSH_UPLOAD).
// MAPI_E_NOT_FOUND when the table has no spooler row. `spoolerRows` and
// `objectType` (what OpenEntry gave) are filled as far as the flush got.
HRESULT FlushSpooler(IMAPISession* session, ULONG* spoolerRows = nullptr,
                     ULONG* objectType = nullptr);

// A new, not yet existing folder for a test's delivered mail (Windows path).
std::string MailFolder();
// A program's platform, ready for the client (the substitute's initial state).
void PreparePlatform();
// Live MAPI buffers of the client's mapi32 (the substitute's natively);
// (size_t)-1 when the mapi32 loaded is not the client's.
size_t LiveMapiBuffers();

} // namespace simtest
