// Text helpers: the client's UTF-8, the model's UTF-16 and the store's code
// pages, names and captions compared as the client compares them, and values
// as the trace shows them.
#include "core_internal.h"
#include "world_internal.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string StripAmpersands(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&')
            out += Lower(c);
    return out;
}

} // namespace

// ---- Text ---------------------------------------------------------------------------------

namespace {
OleString WideOf(UINT codePage, const std::string& bytes) {
    if (bytes.empty())
        return OleString();
    int n =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return OleString();
    OleString out(static_cast<size_t>(n), OLECHAR(0));
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
}

// What an 8-bit code page lacks becomes '?' (or counts as lost), never a
// look-alike: best-fit mapping would turn 'ł' into an 'l' and an address into
// somebody else's.
DWORD NoBestFit(UINT codePage) {
    return codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
}

std::string BytesOf(UINT codePage, const OLECHAR* text, size_t length) {
    if (!text || length == 0)
        return std::string();
    const DWORD flags = NoBestFit(codePage);
    int n = WideCharToMultiByte(codePage, flags, text, static_cast<int>(length), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, text, static_cast<int>(length), &out[0], n, nullptr,
                        nullptr);
    return out;
}
} // namespace

OleString Wide(const std::string& utf8) {
    return WideOf(CP_UTF8, utf8);
}

std::string Narrow(const OLECHAR* text, size_t length) {
    return BytesOf(CP_UTF8, text, length);
}

std::string Narrow(BSTR text) {
    return Narrow(text, text ? SysStringLen(text) : 0);
}

BSTR NewBstr(const std::string& utf8) {
    OleString wide = Wide(utf8);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string StoreBytes(const std::string& utf8) {
    OleString wide = Wide(utf8);
    return BytesOf(kStoreCodePage, wide.data(), wide.size());
}

std::string FromStoreBytes(const std::string& bytes) {
    return DecodeBytes(bytes, kStoreCodePage);
}

std::string Utf16LeBytes(const std::string& utf8) {
    std::string out;
    for (OLECHAR c : Wide(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string DecodeBytes(const std::string& bytes, UINT codePage) {
    if (codePage == CP_UTF8)
        return bytes;
    OleString wide = WideOf(codePage, bytes);
    return Narrow(wide.data(), wide.size());
}

std::string EncodeHtml(const std::string& utf8, UINT codePage) {
    if (codePage == CP_UTF8)
        return utf8;
    const OleString wide = Wide(utf8);
    std::string out;
    for (size_t i = 0; i < wide.size(); ++i) {
        size_t units = 1;
        if (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size())
            units = 2;
        char bytes[8];
        BOOL lost = FALSE;
        int n = WideCharToMultiByte(codePage, NoBestFit(codePage), &wide[i],
                                    static_cast<int>(units), bytes, sizeof bytes, nullptr, &lost);
        if (n > 0 && !lost) {
            out.append(bytes, static_cast<size_t>(n));
        } else {
            unsigned long cp = wide[i];
            if (units == 2)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            out += "&#" + std::to_string(cp) + ";";
        }
        i += units - 1;
    }
    return out;
}

bool SameName(const OLECHAR* name, const char* member) {
    if (!name)
        return false;
    size_t i = 0;
    for (; member[i]; ++i) {
        OLECHAR c = name[i];
        if (c == 0 || c > 0x7F || Lower(static_cast<char>(c)) != Lower(member[i]))
            return false;
    }
    return name[i] == 0;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool SameCaption(const std::string& a, const std::string& b) {
    return StripAmpersands(a) == StripAmpersands(b);
}

std::string HexBytes(const std::string& bytes) {
    std::string out;
    AppendHexBytes(&out, bytes);
    return out;
}

void AppendHexBytes(std::string* out, const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    const size_t start = out->size();
    out->resize(start + 2 * bytes.size());
    char* w = &(*out)[start];
    for (unsigned char c : bytes) {
        *w++ = kDigits[c >> 4];
        *w++ = kDigits[c & 15];
    }
}

namespace {
void AppendDigits(std::string* out, unsigned long long value, int minDigits, unsigned base) {
    char digits[24];
    char* const end = digits + sizeof digits;
    char* first = end;
    do {
        *--first = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    if (minDigits > end - first)
        out->append(static_cast<size_t>(minDigits - (end - first)), '0');
    out->append(first, static_cast<size_t>(end - first));
}
} // namespace

void AppendDecimal(std::string* out, unsigned long long value, int minDigits) {
    AppendDigits(out, value, minDigits, 10);
}

void AppendHex(std::string* out, unsigned long long value, int minDigits) {
    AppendDigits(out, value, minDigits, 16);
}

std::string HexCode(HRESULT hr) {
    std::string text = "0x";
    AppendHex(&text, static_cast<ULONG>(hr), 8);
    return text;
}

std::string IidName(REFIID iid) {
    struct Known {
        const IID* iid;
        const char* name;
    };
    static const Known kKnown[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_IConnectionPointContainer, "IConnectionPointContainer"},
        {&IID_IConnectionPoint, "IConnectionPoint"},
        {&IID_IOleWindow, "IOleWindow"},
        {&IID_IStream, "IStream"},
        {&IID_ISequentialStream, "ISequentialStream"},
        {&IID_IMAPIProp, "IMAPIProp"},
        {&IID_IMessage, "IMessage"},
        {&IID_IMAPIStatus, "IMAPIStatus"},
        {&IID_IMAPITable, "IMAPITable"},
        {&IID_IMAPISession, "IMAPISession"},
        {&IID_IAddrBook, "IAddrBook"},
        {&IID_IExchExtCallback, "IExchExtCallback"},
        {&IID_IOutlookExtCallback, "IOutlookExtCallback"},
        {&IID__Application, "_Application"},
        {&IID__NameSpace, "_NameSpace"},
        {&IID__Explorer, "_Explorer"},
        {&IID__Inspector, "_Inspector"},
        {&IID_MAPIFolder, "MAPIFolder"},
        {&IID__Inspectors, "_Inspectors"},
        {&IID__MailItem, "_MailItem"},
        {&IID_ItemEvents, "ItemEvents"},
        {&IID_InspectorsEvents, "InspectorsEvents"},
        {&IID__CommandBars, "_CommandBars"},
        {&IID_CommandBar, "CommandBar"},
        {&IID_CommandBarControls, "CommandBarControls"},
        {&IID_CommandBarControl, "CommandBarControl"},
        {&IID_CommandBarPopup, "CommandBarPopup"},
        {&IID__CommandBarButton, "_CommandBarButton"},
        {&IID__CommandBarButtonEvents, "_CommandBarButtonEvents"},
    };
    for (const Known& k : kKnown)
        if (IsEqualIID(iid, *k.iid))
            return k.name;
    char text[64];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0],
                  iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5],
                  iid.Data4[6], iid.Data4[7]);
    return text;
}

std::string Quoted(const std::string& text) {
    const size_t kShown = 60;
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < kShown; ++i) {
        char c = text[i];
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    if (text.size() > kShown)
        out += "...";
    return out + "\"";
}

double VersionNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    double value = 0, scale = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    return value;
}

std::string HtmlFromText(const std::string& text) {
    std::string out = "<html><body>";
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        else if (c == '\n' || c == '\r')
            out += "<br>\r\n";
        else
            out += c;
    }
    return out + "</body></html>";
}

std::string TextFromHtml(const std::string& html) {
    std::string out;
    size_t i = 0;
    auto tagIs = [&](size_t at, const char* name) {
        size_t n = std::strlen(name);
        if (at + n > html.size())
            return false;
        for (size_t k = 0; k < n; ++k)
            if (Lower(html[at + k]) != name[k])
                return false;
        char after = at + n < html.size() ? html[at + n] : '>';
        return after == '>' || after == ' ' || after == '/';
    };
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            size_t end = html.find('>', i);
            if (end == std::string::npos)
                break;
            if (tagIs(i + 1, "br") || tagIs(i + 1, "/p") || tagIs(i + 1, "/div"))
                out += "\r\n";
            i = end + 1;
        } else if (c == '&') {
            static const struct {
                const char* entity;
                char c;
            } kEntities[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&nbsp;", ' '}};
            bool done = false;
            for (const auto& e : kEntities) {
                size_t n = std::strlen(e.entity);
                if (html.compare(i, n, e.entity) == 0) {
                    out += e.c;
                    i += n;
                    done = true;
                    break;
                }
            }
            if (!done) {
                out += c;
                ++i;
            }
        } else if (c == '\r' || c == '\n') {
            ++i; // layout in the source is not text
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string Render(const World* world, const VARIANT& v) {
    char text[64];
    switch (v.vt) {
    case VT_EMPTY:
        return "Empty";
    case VT_NULL:
        return "Null";
    case VT_I2:
        return std::to_string(v.iVal);
    case VT_I4:
        return std::to_string(v.lVal);
    case VT_INT:
        return std::to_string(v.intVal);
    case VT_UI1:
        return std::to_string(v.bVal);
    case VT_UI2:
        return std::to_string(v.uiVal);
    case VT_UI4:
        return std::to_string(v.ulVal);
    case VT_UINT:
        return std::to_string(v.uintVal);
    case VT_I1:
        return std::to_string(static_cast<int>(v.cVal));
    case VT_R8:
        std::snprintf(text, sizeof text, "%g", v.dblVal);
        return text;
    case VT_BOOL:
        return v.boolVal ? "True" : "False";
    case VT_BSTR:
        return Quoted(Narrow(v.bstrVal));
    case VT_ERROR:
        return v.scode == DISP_E_PARAMNOTFOUND ? "missing" : "Error(" + HexCode(v.scode) + ")";
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        if (!v.punkVal)
            return "Nothing";
        if (world)
            if (Tracked* t = world->FindTracked(v.punkVal))
                return t->Name();
        return v.vt == VT_DISPATCH ? "IDispatch" : "IUnknown";
    }
    case VT_BYREF | VT_VARIANT:
        return v.pvarVal ? Render(world, *v.pvarVal) : "&?";
    case VT_BYREF | VT_BOOL:
        return v.pboolVal ? std::string("&") + (*v.pboolVal ? "True" : "False") : "&?";
    case VT_BYREF | VT_I4:
        return v.plVal ? "&" + std::to_string(*v.plVal) : "&?";
    case VT_BYREF | VT_BSTR:
        return v.pbstrVal ? "&" + Quoted(Narrow(*v.pbstrVal)) : "&?";
    default:
        std::snprintf(text, sizeof text, "vt(%u)", static_cast<unsigned>(v.vt));
        return text;
    }
}

} // namespace sim
