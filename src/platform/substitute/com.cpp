// Interface identifiers, BSTR and VARIANT handling of the substitute
// platform, with OLE Automation's ownership rules: VariantClear frees a BSTR
// and releases an interface; VariantCopy duplicates and adds a reference.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
constexpr IID Ole(DWORD data1) {
    return IID{data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}
} // namespace

const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID GUID_NULL = IID_NULL;
const IID IID_IUnknown = Ole(0x00000000);
const IID IID_IDispatch = Ole(0x00020400);
const IID IID_IOleWindow = Ole(0x00000114);
const IID IID_IClassFactory = Ole(0x00000001);
const IID IID_IStream = Ole(0x0000000C);
const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IMAPISession = Ole(0x00020300);
const IID IID_IMAPITable = Ole(0x00020301);
const IID IID_IMAPIProp = Ole(0x00020303);
const IID IID_IMessage = Ole(0x00020307);
const IID IID_IMsgStore = Ole(0x00020306);
const IID IID_IMAPIStatus = Ole(0x0002031E);
const IID IID_IAddrBook = Ole(0x00020309);
const IID IID_IAttachment = Ole(0x00020308);

// A BSTR is preceded by its length in bytes and followed by a NUL.
BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
    auto* block = static_cast<unsigned char*>(
        std::malloc(sizeof(uint32_t) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const uint32_t bytes = length * sizeof(OLECHAR);
    std::memcpy(block, &bytes, sizeof bytes);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(uint32_t));
    // Without a text the string is left as allocated, as SysAllocStringLen
    // documents ("allocated, but not initialized"): its callers fill it.
    if (text)
        std::memcpy(chars, text, length * sizeof(OLECHAR));
    chars[length] = 0;
    return chars;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    UINT length = 0;
    while (text[length])
        ++length;
    return SysAllocStringLen(text, length);
}

void WINAPI SysFreeString(BSTR text) {
    if (text)
        std::free(reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t));
}

UINT WINAPI SysStringLen(BSTR text) {
    if (!text)
        return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void WINAPI VariantInit(VARIANTARG* value) {
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* value) {
    if (!value)
        return E_INVALIDARG;
    if (!(value->vt & VT_BYREF)) {
        switch (value->vt) {
        case VT_BSTR:
            SysFreeString(value->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (value->punkVal)
                value->punkVal->Release();
            break;
        default:
            break;
        }
    }
    VariantInit(value);
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (!destination || !source)
        return E_INVALIDARG;
    if (destination == source)
        return S_OK;
    VariantClear(destination);
    *destination = *source;
    if (!(source->vt & VT_BYREF)) {
        if (source->vt == VT_BSTR && source->bstrVal) {
            destination->bstrVal =
                SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (!destination->bstrVal) {
                VariantInit(destination);
                return E_OUTOFMEMORY;
            }
        } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal) {
            source->punkVal->AddRef();
        }
    }
    return S_OK;
}

namespace {

bool AsNumber(const VARIANT& v, double* out) {
    switch (v.vt) {
    case VT_EMPTY:
        *out = 0;
        return true;
    case VT_I2:
        *out = v.iVal;
        return true;
    case VT_I4:
        *out = v.lVal;
        return true;
    case VT_INT:
        *out = v.intVal;
        return true;
    case VT_UI4:
        *out = v.ulVal;
        return true;
    case VT_UINT:
        *out = v.uintVal;
        return true;
    case VT_UI1:
        *out = v.bVal;
        return true;
    case VT_UI2:
        *out = v.uiVal;
        return true;
    case VT_I1:
        *out = v.cVal;
        return true;
    case VT_I8:
        *out = static_cast<double>(v.llVal);
        return true;
    case VT_R4:
        *out = v.fltVal;
        return true;
    case VT_R8:
        *out = v.dblVal;
        return true;
    case VT_BOOL:
        *out = v.boolVal ? -1 : 0;
        return true;
    case VT_BSTR: {
        if (!v.bstrVal)
            return false;
        std::string text;
        for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) {
            if (v.bstrVal[i] > 0x7F)
                return false;
            text += static_cast<char>(v.bstrVal[i]);
        }
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (text.empty() || *end)
            return false;
        *out = d;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT,
                                 VARTYPE type) {
    if (!destination || !source)
        return E_INVALIDARG;
    const VARIANT* from = source;
    if (source->vt == (VT_BYREF | VT_VARIANT))
        from = source->pvarVal;
    VARIANT result;
    VariantInit(&result);
    double number = 0;
    switch (type) {
    case VT_EMPTY:
        break;
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_R8:
    case VT_BOOL:
        if (!AsNumber(*from, &number))
            return DISP_E_TYPEMISMATCH;
        if (type == VT_R8)
            result.dblVal = number;
        else if (type == VT_BOOL)
            result.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        else if (number < -2147483648.0 || number > 4294967295.0)
            return DISP_E_OVERFLOW;
        else if (type == VT_UI4)
            result.ulVal = static_cast<ULONG>(number);
        else if (type == VT_I2)
            result.iVal = static_cast<SHORT>(number);
        else
            result.lVal = static_cast<LONG>(number);
        break;
    case VT_BSTR: {
        if (from->vt == VT_BSTR) {
            result.bstrVal = SysAllocStringLen(from->bstrVal, SysStringLen(from->bstrVal));
            break;
        }
        if (from->vt == VT_BOOL) {
            result.bstrVal = SysAllocString(from->boolVal ? u"True" : u"False");
            break;
        }
        if (!AsNumber(*from, &number))
            return DISP_E_TYPEMISMATCH;
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", number);
        std::u16string wide(text, text + std::strlen(text));
        result.bstrVal = SysAllocString(wide.c_str());
        break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        if (from->vt != VT_DISPATCH && from->vt != VT_UNKNOWN)
            return DISP_E_TYPEMISMATCH;
        if (!from->punkVal) {
            result.punkVal = nullptr;
            break;
        }
        void* p = nullptr;
        HRESULT hr =
            from->punkVal->QueryInterface(type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
        if (FAILED(hr))
            return DISP_E_TYPEMISMATCH;
        result.punkVal = static_cast<IUnknown*>(p);
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    result.vt = type;
    VariantClear(destination);
    *destination = result;
    return S_OK;
}
