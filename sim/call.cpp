// One Invoke's arguments, read in declared order with the host's
// conversions, and its result or exception.
#include "dispatch_internal.h"

#include <cstring>

namespace sim {

// ---- Call ------------------------------------------------------------------------------------

Call::Call(bool put, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr)
    : put_(put), params_(params), count_(params->cArgs - (put ? 1 : 0)),
      result_(result ? result : &scratch_), excep_(excep), argErr_(argErr) {
    VariantInit(&scratch_);
    VariantInit(result_);
}

Call::~Call() {
    VariantClear(&scratch_);
}

const VARIANT* Call::Raw(unsigned rgIndex) const {
    const VARIANT* v = &params_->rgvarg[rgIndex];
    while (v && v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    return v;
}

bool Call::Missing(unsigned i) const {
    if (i >= count_)
        return true;
    const VARIANT* v = Raw(Index(i));
    return !v || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

const VARIANT* Call::Arg(unsigned i) const {
    return Missing(i) ? nullptr : Raw(Index(i));
}

HRESULT Call::Mismatch(unsigned rgIndex) const {
    if (argErr_)
        *argErr_ = rgIndex;
    return DISP_E_TYPEMISMATCH;
}

HRESULT Call::Long(const VARIANT* v, unsigned rgIndex, LONG* out) const {
    switch (v ? v->vt : static_cast<VARTYPE>(VT_EMPTY)) {
    case VT_I2:
        *out = v->iVal;
        return S_OK;
    case VT_I4:
        *out = v->lVal;
        return S_OK;
    case VT_INT:
        *out = v->intVal;
        return S_OK;
    case VT_I1:
        *out = v->cVal;
        return S_OK;
    case VT_UI1:
        *out = v->bVal;
        return S_OK;
    case VT_UI2:
        *out = v->uiVal;
        return S_OK;
    case VT_UI4:
        *out = static_cast<LONG>(v->ulVal);
        return S_OK;
    case VT_UINT:
        *out = static_cast<LONG>(v->uintVal);
        return S_OK;
    case VT_BOOL:
        *out = v->boolVal ? -1 : 0;
        return S_OK;
    case VT_BYREF | VT_I4:
        if (v->plVal) {
            *out = *v->plVal;
            return S_OK;
        }
        break;
    default:
        break;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::Bool(const VARIANT* v, unsigned rgIndex, bool* out) const {
    if (v && v->vt == VT_BOOL) {
        *out = v->boolVal != 0;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) {
        *out = *v->pboolVal != 0;
        return S_OK;
    }
    LONG n;
    if (v && v->vt != VT_BSTR && SUCCEEDED(Long(v, rgIndex, &n))) {
        *out = n != 0;
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::String(const VARIANT* v, unsigned rgIndex, std::string* out) const {
    if (v && v->vt == VT_BSTR) {
        *out = Narrow(v->bstrVal);
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) {
        *out = Narrow(*v->pbstrVal);
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::Object(const VARIANT* v, unsigned rgIndex, IUnknown** out) const {
    if (v && (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN)) {
        *out = v->punkVal;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_DISPATCH) && v->ppdispVal) {
        *out = *v->ppdispVal;
        return S_OK;
    }
    if (v && v->vt == (VT_BYREF | VT_UNKNOWN) && v->ppunkVal) {
        *out = *v->ppunkVal;
        return S_OK;
    }
    return Mismatch(rgIndex);
}

HRESULT Call::ArgLong(unsigned i, LONG* out) const {
    return Long(Arg(i), Index(i), out);
}
HRESULT Call::ArgBool(unsigned i, bool* out) const {
    return Bool(Arg(i), Index(i), out);
}
HRESULT Call::ArgString(unsigned i, std::string* out) const {
    return String(Arg(i), Index(i), out);
}
HRESULT Call::ArgObject(unsigned i, IUnknown** out) const {
    return Object(Arg(i), Index(i), out);
}
HRESULT Call::ValueLong(LONG* out) const {
    return Long(Raw(0), 0, out);
}
HRESULT Call::ValueBool(bool* out) const {
    return Bool(Raw(0), 0, out);
}
HRESULT Call::ValueString(std::string* out) const {
    return String(Raw(0), 0, out);
}
HRESULT Call::ValueObject(IUnknown** out) const {
    return Object(Raw(0), 0, out);
}

HRESULT Call::ReturnLong(LONG value) {
    result_->vt = VT_I4;
    result_->lVal = value;
    return S_OK;
}

HRESULT Call::ReturnBool(bool value) {
    result_->vt = VT_BOOL;
    result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT Call::ReturnString(const std::string& ansi) {
    BSTR text = NewBstr(ansi);
    if (!text)
        return E_OUTOFMEMORY;
    result_->vt = VT_BSTR;
    result_->bstrVal = text;
    return S_OK;
}

HRESULT Call::ReturnObject(IDispatch* object) {
    result_->vt = VT_DISPATCH;
    result_->pdispVal = object;
    if (object)
        object->AddRef();
    return S_OK;
}

HRESULT Call::ReturnUnknown(IUnknown* object) {
    result_->vt = VT_UNKNOWN;
    result_->punkVal = object;
    if (object)
        object->AddRef();
    return S_OK;
}

HRESULT Call::ReturnNull() {
    result_->vt = VT_NULL;
    return S_OK;
}

HRESULT Call::Raise(HRESULT scode, const std::string& description) {
    if (excep_) {
        std::memset(excep_, 0, sizeof *excep_);
        excep_->bstrSource = NewBstr("Mail client (simulated)");
        excep_->bstrDescription = NewBstr(description);
        excep_->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

} // namespace sim
