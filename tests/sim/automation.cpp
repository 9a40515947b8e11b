#include "automation.h"

#include <cstring>

namespace simtest {

std::basic_string<OLECHAR> Wide(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::basic_string<OLECHAR> out(static_cast<size_t>(n), OLECHAR(0));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Narrow(BSTR text) {
    UINT length = text ? SysStringLen(text) : 0;
    if (!length)
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

// ---- Arguments and results ----------------------------------------------------------------

Arg::Arg(bool b) {
    VariantInit(&v_);
    v_.vt = VT_BOOL;
    v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

Arg::Arg(const char* text) : Arg(std::string(text)) {}

Arg::Arg(const std::string& text) {
    VariantInit(&v_);
    std::basic_string<OLECHAR> wide = Wide(text);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

Arg::Arg(IDispatch* object) {
    VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = object;
    if (object)
        object->AddRef();
}

Arg::Arg(const VARIANT& value) {
    VariantInit(&v_);
    VariantCopy(&v_, const_cast<VARIANT*>(&value));
}

Arg::Arg(const Arg& other) : Arg(other.v_) {}

Arg::~Arg() {
    VariantClear(&v_);
}

Arg Arg::Missing() {
    Arg a;
    a.v_.vt = VT_ERROR;
    a.v_.scode = DISP_E_PARAMNOTFOUND;
    return a;
}

Arg Arg::Int(INT n) {
    Arg a;
    a.v_.vt = VT_INT;
    a.v_.intVal = n;
    return a;
}

Arg Arg::Short(SHORT n) {
    Arg a;
    a.v_.vt = VT_I2;
    a.v_.iVal = n;
    return a;
}

std::string Result::Text() const {
    return v.vt == VT_BSTR ? Narrow(v.bstrVal) : std::string();
}

LONG Result::Long() const {
    return v.vt == VT_I4 ? v.lVal : v.vt == VT_INT ? v.intVal : v.vt == VT_I2 ? v.iVal : -12345;
}

bool Result::Bool() const {
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

// ---- Invoke ----------------------------------------------------------------------------------

DISPID IdOf(IDispatch* object, const char* member, HRESULT* hr) {
    std::basic_string<OLECHAR> name = Wide(member);
    LPOLESTR names[1] = {&name[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT r = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (hr)
        *hr = r;
    return id;
}

Outcome Invoke(IDispatch* object, const char* member, WORD flags, std::initializer_list<Arg> args,
               VARIANT* result) {
    Outcome out;
    if (result)
        VariantClear(result); // a reused result gives back what it held
    if (!object) {
        out.hr = E_POINTER;
        return out;
    }
    DISPID id = IdOf(object, member, &out.hr);
    if (FAILED(out.hr))
        return out;
    std::vector<VARIANT> list;
    for (const Arg& a : args)
        list.insert(list.begin(), a.Get()); // shallow: the Args keep ownership
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{list.empty() ? nullptr : list.data(), nullptr, static_cast<UINT>(list.size()),
                      0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO excep;
    std::memset(&excep, 0, sizeof excep);
    out.hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, result, &excep,
                            &out.argErr);
    if (out.hr == DISP_E_EXCEPTION) {
        out.scode = excep.scode;
        out.description = Narrow(excep.bstrDescription);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return out;
}

HRESULT Get(IDispatch* object, const char* member, VARIANT* result,
            std::initializer_list<Arg> args) {
    return Invoke(object, member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, result).hr;
}

HRESULT Put(IDispatch* object, const char* member, const Arg& value) {
    return Invoke(object, member, DISPATCH_PROPERTYPUT, {value}, nullptr).hr;
}

HRESULT PutRef(IDispatch* object, const char* member, const Arg& value) {
    return Invoke(object, member, DISPATCH_PROPERTYPUTREF, {value}, nullptr).hr;
}

HRESULT Call(IDispatch* object, const char* member, std::initializer_list<Arg> args,
             VARIANT* result) {
    return Invoke(object, member, DISPATCH_METHOD, args, result).hr;
}

Ptr<IDispatch> Object(IDispatch* object, const char* member, std::initializer_list<Arg> args) {
    Result r;
    if (FAILED(Get(object, member, &r.v, args)) || r.v.vt != VT_DISPATCH)
        return Ptr<IDispatch>();
    return Ptr<IDispatch>(r.v.pdispVal);
}

std::string Text(IDispatch* object, const char* member) {
    Result r;
    Get(object, member, &r.v);
    return r.Text();
}

LONG Number(IDispatch* object, const char* member) {
    Result r;
    Get(object, member, &r.v);
    return r.Long();
}

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// ---- Sink --------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Sink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, iid_)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Sink::Release() {
    ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE Sink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Sink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE Sink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE Sink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                       VARIANT*, EXCEPINFO*, UINT*) {
    Event e{dispid, params ? params->cArgs : 0, {}, nullptr};
    for (UINT i = 0; params && i < params->cArgs; ++i) {
        VARIANT& v = params->rgvarg[i];
        e.types.push_back(v.vt);
        if (v.vt == VT_DISPATCH && !e.object)
            e.object = v.pdispVal;
        if (v.vt == (VT_BYREF | VT_BOOL) && setCancel)
            *v.pboolVal = VARIANT_TRUE;
    }
    events.push_back(e);
    AddRef(); // the action may disconnect this sink
    if (action)
        action(e);
    Release();
    return S_OK;
}

HRESULT Sink::Connect(IUnknown* source) {
    Ptr<IConnectionPointContainer> container =
        QueryAs<IConnectionPointContainer>(source, IID_IConnectionPointContainer);
    if (!container)
        return E_NOINTERFACE;
    HRESULT hr = container->FindConnectionPoint(iid_, point_.Out());
    if (FAILED(hr))
        return hr;
    return point_->Advise(static_cast<IDispatch*>(this), &cookie_);
}

HRESULT Sink::Disconnect() {
    if (!point_)
        return S_FALSE;
    Ptr<IConnectionPoint> point = point_;
    point_.Reset();
    return point->Unadvise(cookie_);
}

// ---- Extension ----------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Extension::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IExchExt)) {
        *object = static_cast<IExchExt*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Extension::Release() {
    ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE Extension::Install(LPEXCHEXTCALLBACK callback, ULONG context, ULONG) {
    contexts.push_back(context);
    if (context == EECONTEXT_SESSION)
        callback->GetSession(session.Out(), nullptr);
    Ptr<IOutlookExtCallback> outlook =
        QueryAs<IOutlookExtCallback>(callback, IID_IOutlookExtCallback);
    IUnknown* unknown = nullptr;
    if (outlook && SUCCEEDED(outlook->GetObject(&unknown)) && unknown) {
        Ptr<IDispatch> dispatch = QueryAs<IDispatch>(unknown, IID_IDispatch);
        unknown->Release();
        Result app;
        if (dispatch &&
            SUCCEEDED(Invoke(dispatch.Get(), "Application", DISPATCH_METHOD, {}, &app.v).hr) &&
            app.Dispatch())
            application = Ptr<IDispatch>(app.Dispatch());
    }
    if (onInstall)
        onInstall(context);
    return context == EECONTEXT_SESSION || context == EECONTEXT_VIEWER ? S_OK : S_FALSE;
}

// ---- What a mailing does in the store ----------------------------------------------------

HRESULT ReadStream(IMessage* message, ULONG tag, std::string* out) {
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = message->OpenProperty(tag, &IID_IStream, 0, 0, &unknown);
    if (FAILED(hr))
        return hr;
    Ptr<IStream> property = Ptr<IStream>::Adopt(static_cast<IStream*>(unknown));
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char prefix[] = "tdp";
    Ptr<IStream> scratch;
    hr = OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, 0x84001012, folder, prefix,
                          scratch.Out());
    if (FAILED(hr))
        return hr;
    ULARGE_INTEGER count, read, written;
    count.QuadPart = 0x7FFFFFFFFFFFFFFFull;
    property->CopyTo(scratch.Get(), count, &read, &written);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    scratch->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string bytes(static_cast<size_t>(written.QuadPart), '\0');
    ULONG got = 0;
    scratch->Read(bytes.empty() ? nullptr : &bytes[0], static_cast<ULONG>(bytes.size()), &got);
    bytes.resize(got);
    *out = bytes;
    return S_OK;
}

LPADRLIST OneRecipient(const std::string& address, const std::string& name,
                       const std::string& entryId) {
    const ULONG count = entryId.empty() ? 5 : 6;
    LPADRLIST list = nullptr;
    if (FAILED(MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<void**>(&list))))
        return nullptr;
    list->cEntries = 1;
    list->aEntries[0].ulReserved1 = 0;
    list->aEntries[0].cValues = count;
    if (FAILED(MAPIAllocateBuffer(count * sizeof(SPropValue),
                                  reinterpret_cast<void**>(&list->aEntries[0].rgPropVals)))) {
        list->aEntries[0].rgPropVals = nullptr;
        list->aEntries[0].cValues = 0;
        FreePadrlist(list);
        return nullptr;
    }
    SPropValue* v = list->aEntries[0].rgPropVals;
    std::memset(v, 0, count * sizeof(SPropValue));
    auto copy = [list](const std::string& text) {
        const std::basic_string<OLECHAR> wide = Wide(text);
        void* p = nullptr;
        MAPIAllocateMore(static_cast<ULONG>((wide.size() + 1) * sizeof(OLECHAR)), list, &p);
        std::memcpy(p, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
        return static_cast<LPWSTR>(p);
    };
    v[0].ulPropTag = PR_EMAIL_ADDRESS_W;
    v[0].Value.lpszW = copy(address);
    v[1].ulPropTag = PR_DISPLAY_NAME_W;
    v[1].Value.lpszW = copy(name);
    v[2].ulPropTag = PR_RECIPIENT_TYPE;
    v[2].Value.l = MAPI_TO;
    v[3].ulPropTag = PR_ADDRTYPE_W;
    v[3].Value.lpszW = copy("SMTP");
    v[4].ulPropTag = PR_SEND_RICH_INFO;
    v[4].Value.b = 0;
    if (!entryId.empty()) {
        void* p = nullptr;
        MAPIAllocateMore(static_cast<ULONG>(entryId.size()), list, &p);
        std::memcpy(p, entryId.data(), entryId.size());
        v[5].ulPropTag = PR_ENTRYID;
        v[5].Value.bin.cb = static_cast<ULONG>(entryId.size());
        v[5].Value.bin.lpb = static_cast<LPBYTE>(p);
    }
    return list;
}

HRESULT OneOffFromAddressBook(IMAPISession* session, const std::string& address,
                              const std::string& name, std::string* entryId) {
    entryId->clear();
    LPADRBOOK book = nullptr;
    HRESULT hr = session->OpenAddressBook(0, nullptr, AB_NO_DIALOG, &book);
    if (FAILED(hr))
        return hr;
    Ptr<IAddrBook> addressBook = Ptr<IAddrBook>::Adopt(book);
    ULONG size = 0;
    LPENTRYID made = nullptr;
    std::basic_string<OLECHAR> wideName = Wide(name), type = Wide("SMTP"),
                               wideAddress = Wide(address);
    hr = addressBook->CreateOneOff(reinterpret_cast<LPTSTR>(&wideName[0]),
                                   reinterpret_cast<LPTSTR>(&type[0]),
                                   reinterpret_cast<LPTSTR>(&wideAddress[0]),
                                   MAPI_SEND_NO_RICH_INFO | MAPI_UNICODE, &size, &made);
    if (FAILED(hr))
        return hr;
    entryId->assign(reinterpret_cast<const char*>(made), size);
    MAPIFreeBuffer(made);
    return S_OK;
}

HRESULT UseTnefTag(IMessage* message, ULONG flags, LPSPropTagArray* tags) {
    GUID set = PSETID_Common;
    MAPINAMEID name;
    name.lpguid = &set;
    name.ulKind = MNID_ID;
    name.Kind.lID = PidLidUseTnef;
    LPMAPINAMEID names[1] = {&name};
    return message->GetIDsFromNames(1, names, flags, tags);
}

HRESULT FlushSpooler(IMAPISession* session, ULONG* spoolerRows, ULONG* objectType) {
    LPMAPITABLE table = nullptr;
    HRESULT hr = session->GetStatusTable(0, &table);
    if (FAILED(hr))
        return hr;
    Ptr<IMAPITable> status = Ptr<IMAPITable>::Adopt(table);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    SPropValue spooler;
    spooler.ulPropTag = PR_RESOURCE_TYPE;
    spooler.Value.l = MAPI_SPOOLER;
    SRestriction restriction;
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = PR_RESOURCE_TYPE;
    restriction.res.resProperty.lpProp = &spooler;
    LPSRowSet rows = nullptr;
    hr = HrQueryAllRows(status.Get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction,
                        nullptr, 0, &rows);
    if (FAILED(hr))
        return hr;
    if (spoolerRows)
        *spoolerRows = rows->cRows;
    if (rows->cRows == 0) {
        FreeProws(rows);
        return MAPI_E_NOT_FOUND;
    }
    ULONG type = 0;
    LPUNKNOWN unknown = nullptr;
    hr = session->OpenEntry(rows->aRow[0].lpProps[0].Value.bin.cb,
                            reinterpret_cast<LPENTRYID>(rows->aRow[0].lpProps[0].Value.bin.lpb),
                            &IID_IMAPIStatus, MAPI_BEST_ACCESS, &type, &unknown);
    FreeProws(rows);
    if (FAILED(hr))
        return hr;
    if (objectType)
        *objectType = type;
    Ptr<IMAPIStatus> spoolerStatus = Ptr<IMAPIStatus>::Adopt(static_cast<IMAPIStatus*>(unknown));
    return spoolerStatus->FlushQueues(0, 0, nullptr, FLUSH_UPLOAD);
}

// ---- Test programs ------------------------------------------------------------------------

std::string MailFolder() {
    char temp[MAX_PATH] = "";
    char name[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    GetTempFileNameA(temp, "sim", 0, name);
    DeleteFileA(name);
    return name;
}

} // namespace simtest
