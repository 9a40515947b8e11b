// Late-bound dispatch: the member tables of the object model and of the
// command bars, one Invoke's arguments, and the connection points of events.
#pragma once

#include "core_internal.h"

#include <string>
#include <vector>

namespace sim {

// ---- Late-bound dispatch ---------------------------------------------------------------
enum class Access { Get, GetPut, Method };

struct Member {
    const char* name;
    Access access;
    unsigned minArgs;
    unsigned maxArgs;
    bool objectValue = false; // a property holding an object: PUTREF accepted
    bool refOnly = false;     // ... and only PUTREF, as a type library's [propputref] alone
};

// The members of a class of objects, in DISPID order (the first is DISPID 1).
struct MemberTable {
    template <size_t N> MemberTable(const Member (&table)[N]) : members(table), count(N) {}
    const Member* members;
    size_t count;
};

class DispatchObject;

// One Invoke, with its arguments in declared order.
class Call {
public:
    Call(bool put, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool IsPut() const { return put_; }
    unsigned Count() const { return count_; }
    bool Missing(unsigned i) const;
    // The argument as passed (by-reference variants followed); null when absent.
    const VARIANT* Arg(unsigned i) const;
    HRESULT ArgLong(unsigned i, LONG* out) const;
    HRESULT ArgBool(unsigned i, bool* out) const;
    HRESULT ArgString(unsigned i, std::string* out) const;
    // A borrowed object (no reference taken); null for Nothing.
    HRESULT ArgObject(unsigned i, IUnknown** out) const;
    // The value of a property put.
    HRESULT ValueLong(LONG* out) const;
    HRESULT ValueBool(bool* out) const;
    HRESULT ValueString(std::string* out) const;
    HRESULT ValueObject(IUnknown** out) const;

    HRESULT ReturnLong(LONG value);
    HRESULT ReturnBool(bool value);
    HRESULT ReturnString(const std::string& ansi);
    HRESULT ReturnObject(IDispatch* object); // null: Nothing
    HRESULT ReturnUnknown(IUnknown* object);
    HRESULT ReturnNull();
    // The host raises an error: DISP_E_EXCEPTION with EXCEPINFO.
    HRESULT Raise(HRESULT scode, const std::string& description);

    const VARIANT* Result() const { return result_; }

private:
    const VARIANT* Raw(unsigned rgIndex) const;
    HRESULT Long(const VARIANT* v, unsigned rgIndex, LONG* out) const;
    HRESULT Bool(const VARIANT* v, unsigned rgIndex, bool* out) const;
    HRESULT String(const VARIANT* v, unsigned rgIndex, std::string* out) const;
    HRESULT Object(const VARIANT* v, unsigned rgIndex, IUnknown** out) const;
    HRESULT Mismatch(unsigned rgIndex) const;
    unsigned Index(unsigned i) const { return params_->cArgs - 1 - i; }

    bool put_;
    DISPPARAMS* params_;
    unsigned count_;
    VARIANT* result_;
    VARIANT scratch_;
    EXCEPINFO* excep_;
    UINT* argErr_;
};

// A collection's Item by its position, counted from 1, in the first
// argument; E_INVALIDARG outside the collection, as the host answers.
template <class T> HRESULT ReturnItemAt(Call& call, const std::vector<Ptr<T>>& items) {
    LONG n;
    if (HRESULT hr = call.ArgLong(0, &n); FAILED(hr))
        return hr;
    if (n < 1 || static_cast<size_t>(n) > items.size())
        return E_INVALIDARG;
    return call.ReturnObject(items[static_cast<size_t>(n - 1)].Get());
}

class ConnectionPoint;

// An object of the object model or of the command bars: IDispatch over a
// member table, and the connection-point container for its events.
class DispatchObject : public IDispatch, public IConnectionPointContainer, public Tracked {
public:
    DispatchObject(World* world, const char* className, MemberTable members, std::vector<IID> iids,
                   const IID* eventIid = nullptr);
    ~DispatchObject() override;

    SIM_IUNKNOWN(IDispatch)

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argErr) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    void* Find(REFIID iid) override;
    bool Owns(const void* p) override;
    void DropSinks() override;
    ConnectionPoint* Events() { return events_.get(); }
    size_t SinkCount() const;

protected:
    // Whether this object has the member (a popup has no Picture, ...).
    virtual bool HasMember(size_t) const { return true; }
    virtual HRESULT Dispatch(size_t index, Call& call) = 0;
    // An error every member raises (a deleted item, a closed window); S_OK for none.
    virtual HRESULT Unusable(std::string*) const { return S_OK; }

private:
    MemberTable members_;
    std::vector<IID> iids_;
    std::unique_ptr<ConnectionPoint> events_;
};

// A connection point living inside its container (it shares the container's
// reference count). Each sink is held by one reference until Unadvise, or
// until the container lets go of its sinks.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(DispatchObject& owner, const IID& iid) : owner_(owner), iid_(iid) {}
    ~ConnectionPoint();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const { return iid_; }
    size_t Count() const { return sinks_.size(); }
    void DropAll();
    // Delivers an event to every sink connected now (a sink that goes away
    // before its turn is skipped). `args` are in Invoke order (last first).
    void Fire(DISPID dispid, const char* eventName, VARIANTARG* args, UINT count,
              const std::string& argText);

private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    DispatchObject& owner_;
    IID iid_;
    std::vector<Sink> sinks_;
};

} // namespace sim
