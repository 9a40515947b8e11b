// The pull reader over the system's XmlLite (MSDN, "XmlLite Reader
// Programming Overview"): xmllite.dll is part of Windows since XP SP3 and
// Vista, and is loaded from the system folder the first time a document is
// read, so that the library still loads on a system without it. The
// reader is told DtdProcessing_Prohibit (a DTD is an error, MX_E_* or
// WC_E_DTDPROHIBITED), has no resolver (nothing external is ever fetched)
// and reads from an ISequentialStream over the caller's source.
#include "platform.h"

#include <xmllite.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef HRESULT(WINAPI* CreateXmlReaderCall)(REFIID, void**, IMalloc*);

CreateXmlReaderCall XmlLiteEntry() {
    static CreateXmlReaderCall entry = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        WCHAR path[MAX_PATH + 20];
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return nullptr;
        wcscpy(path + length, L"\\xmllite.dll");
        if (HMODULE module = LoadLibraryW(path))
            entry = reinterpret_cast<CreateXmlReaderCall>(
                reinterpret_cast<void*>(GetProcAddress(module, "CreateXmlReader")));
    }
    return entry;
}

// The caller's source as the stream XmlLite reads.
class SourceStream final : public ISequentialStream {
public:
    SourceStream(XmlPullSource source, void* context) : source_(source), context_(context) {}
    bool failed = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream)) {
            *out = static_cast<ISequentialStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    // A short read tells XmlLite the stream has ended (Wine's reader then
    // decodes what it holds as if it had), so every request is filled to
    // the end of the source.
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        if (read)
            *read = 0;
        char* out = static_cast<char*>(buffer);
        ULONG filled = 0;
        while (filled < size) {
            if (readyAt_ == ready_.size()) {
                ready_.clear();
                readyAt_ = 0;
                if (ended_ || !Refill())
                    break;
                continue;
            }
            const size_t n = std::min<size_t>(size - filled, ready_.size() - readyAt_);
            std::memcpy(out + filled, ready_.data() + readyAt_, n);
            readyAt_ += n;
            filled += static_cast<ULONG>(n);
        }
        if (failed || malformed)
            return E_FAIL;
        if (read)
            *read = filled;
        return filled < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }

    bool malformed = false; // bytes no XML document in UTF-8 holds
    bool undefined = false; // a reference to an entity no declaration defines
    bool doctype = false;   // "<!DOCTYPE", which Wine's reader passes over unrefused

private:
    ~SourceStream() = default;

    // One piece of the source, checked and passed on: the end of a piece
    // that may cut a reference waits for the next.
    bool Refill() {
        char chunk[0x10000];
        const int got = source_(context_, chunk, static_cast<int>(sizeof chunk));
        if (got < 0) {
            failed = true;
            return false;
        }
        ended_ = got == 0;
        if (!CheckBytes(reinterpret_cast<unsigned char*>(chunk), static_cast<size_t>(got)))
            return false;
        if (ended_ && sequenceLeft_ > 0)
            return !(malformed = true);
        carry_.append(chunk, static_cast<size_t>(got));
        if (utf16_) {
            ready_.swap(carry_);
            carry_.clear();
            return true;
        }
        return PassReferences();
    }

    // Wine's XmlLite keeps only the low 16 bits of a character reference
    // beyond U+FFFF (&#128512; becomes U+F600), and passes a reference to an
    // undefined entity as text where MSDN's XmlLite fails
    // (WC_E_UNDECLAREDENTITY): the first is passed on as the character's own
    // UTF-8 bytes, which mean the same in text and in attribute values; the
    // second ends the reading at the next node.
    bool PassReferences() {
        size_t at = 0;
        const size_t n = carry_.size();
        while (at < n) {
            const size_t amp = carry_.find('&', at);
            if (amp == std::string::npos) {
                ready_.append(carry_, at, std::string::npos);
                at = n;
                break;
            }
            ready_.append(carry_, at, amp - at);
            const size_t semicolon = carry_.find(';', amp);
            if (semicolon == std::string::npos || semicolon - amp > 40) {
                if (!ended_ && n - amp <= 40) {
                    at = amp;
                    break; // perhaps cut: the rest waits for the next piece
                }
                ready_.push_back('&');
                at = amp + 1;
                continue;
            }
            const std::string name = carry_.substr(amp + 1, semicolon - amp - 1);
            at = semicolon + 1;
            if (name.size() > 1 && name[0] == '#') {
                const bool hex = name[1] == 'x';
                char* end = nullptr;
                const unsigned long code =
                    std::strtoul(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
                if (end && *end == '\0' && code > 0xFFFF && code <= 0x10FFFF) {
                    ready_.push_back(static_cast<char>(0xF0 | code >> 18));
                    ready_.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
                    ready_.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
                    ready_.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                    continue;
                }
            } else if (name != "amp" && name != "lt" && name != "gt" && name != "quot" &&
                       name != "apos" && name.find_first_of(" \t\r\n<&\"'") == std::string::npos) {
                undefined = true; // told at the next text, after a DTD's own error
            }
            ready_.append(carry_, amp, at - amp);
        }
        carry_.erase(0, at);
        return true;
    }

    // Wine's XmlLite passes over control characters and broken UTF-8
    // (MSDN's XmlLite refuses both, as XML 1.0 does): a UTF-8 document is
    // checked here as it passes. One in UTF-16 (a byte-order mark, or a
    // zero among its first two bytes) is left to the reader.
    bool CheckBytes(const unsigned char* p, size_t n) {
        for (size_t i = 0; i < n && !malformed; ++i, ++seen_) {
            const unsigned char c = p[i];
            if (seen_ < 2 && (c == 0 || (seen_ == 0 && (c == 0xFF || c == 0xFE))))
                utf16_ = true;
            if (utf16_)
                return true;
            static const char kDoctype[] = "<!DOCTYPE";
            doctypeAt_ = c == static_cast<unsigned char>(kDoctype[doctypeAt_]) ? doctypeAt_ + 1
                         : c == '<'                                            ? 1
                                                                               : 0;
            if (doctypeAt_ == sizeof kDoctype - 1) {
                doctype = true;
                doctypeAt_ = 0;
            }
            if (sequenceLeft_ > 0) {
                malformed = (c & 0xC0) != 0x80;
                --sequenceLeft_;
            } else if (c >= 0xF0 && c <= 0xF4) {
                sequenceLeft_ = 3;
            } else if (c >= 0xE0 && c <= 0xEF) {
                sequenceLeft_ = 2;
            } else if (c >= 0xC2 && c <= 0xDF) {
                sequenceLeft_ = 1;
            } else {
                malformed = c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r');
            }
        }
        return !malformed;
    }
    XmlPullSource source_;
    void* context_;
    ULONG references_ = 1;
    bool ended_ = false;
    bool utf16_ = false;
    std::string carry_; // from the source, not yet passed on
    std::string ready_; // passed on from readyAt_
    size_t readyAt_ = 0;
    uint64_t seen_ = 0;
    int sequenceLeft_ = 0;
    size_t doctypeAt_ = 0; // how much of "<!DOCTYPE" the last bytes matched
};

void AppendUtf8(std::string& out, const WCHAR* text, UINT length) {
    if (!text || length == 0)
        return;
    const int need = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    if (need <= 0)
        return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[at], need, nullptr,
                        nullptr);
}

} // namespace

struct XmlPull {
    IXmlReader* reader = nullptr;
    SourceStream* stream = nullptr;
    int state = XmlPullElement;
    bool empty = false;
    int depth = 0;
    int open = 0; // elements started and not yet ended
    bool sawElement = false;
    std::string name;
    std::string text;
    std::string error;
    std::string attributes; // local name NUL value NUL, one after another
    std::vector<size_t> attributeStarts;
    std::vector<std::string> attributeNames; // each one's namespace and local name
};

namespace {

int Fail(XmlPull* pull, HRESULT hr) {
    if (pull->error.empty()) {
        if (pull->stream->failed) {
            pull->error = "its bytes could not be read";
        } else if (hr == static_cast<HRESULT>(WC_E_UNDECLAREDENTITY)) {
            pull->error = "it refers to an entity that is not defined";
        } else if (pull->stream->malformed) {
            pull->error = "it is not well-formed XML (a character no XML document holds)";
        } else if (hr == static_cast<HRESULT>(WC_E_DTDPROHIBITED)) {
            pull->error = "it holds a document type declaration (DTD), which is refused";
        } else {
            UINT line = 0;
            pull->reader->GetLineNumber(&line);
            char text[96];
            wsprintfA(text, "line %u: it is not well-formed XML (error 0x%08lX)", line,
                      static_cast<unsigned long>(hr));
            pull->error = text;
        }
    }
    pull->state = XmlPullFailed;
    return XmlPullFailed;
}

// False when an element holds the same attribute twice (the same local name
// in the same namespace), which Wine's reader lets pass. The same local name
// in two namespaces is no fault: LibreOffice writes office:value-type and
// calcext:value-type on every cell. A lookup by local name takes the first,
// in the document's order, as the substitute platform's reader does.
bool TakeAttributes(XmlPull* pull) {
    pull->attributes.clear();
    pull->attributeStarts.clear();
    pull->attributeNames.clear();
    for (HRESULT hr = pull->reader->MoveToFirstAttribute(); hr == S_OK;
         hr = pull->reader->MoveToNextAttribute()) {
        const WCHAR* local = nullptr;
        const WCHAR* value = nullptr;
        UINT localLength = 0, valueLength = 0;
        const WCHAR* uri = nullptr;
        UINT uriLength = 0;
        // xmlns and xmlns:prefix declare, they are no attributes.
        pull->reader->GetNamespaceUri(&uri, &uriLength);
        if (uri && uriLength == 29 && wcsncmp(uri, L"http://www.w3.org/2000/xmlns/", 29) == 0)
            continue;
        pull->reader->GetLocalName(&local, &localLength);
        pull->reader->GetValue(&value, &valueLength);
        std::string name;
        AppendUtf8(name, uri, uri ? uriLength : 0);
        name.push_back('\0');
        AppendUtf8(name, local, localLength);
        for (const std::string& seen : pull->attributeNames) {
            if (seen == name) {
                pull->reader->MoveToElement();
                return false;
            }
        }
        pull->attributeNames.push_back(name);
        pull->attributeStarts.push_back(pull->attributes.size());
        AppendUtf8(pull->attributes, local, localLength);
        pull->attributes.push_back('\0');
        AppendUtf8(pull->attributes, value, valueLength);
        pull->attributes.push_back('\0');
    }
    pull->reader->MoveToElement();
    return true;
}

} // namespace

XmlPull* XmlPullOpen(XmlPullSource source, void* context) {
    CreateXmlReaderCall create = XmlLiteEntry();
    if (!source || !create)
        return nullptr;
    auto* pull = new XmlPull;
    pull->stream = new SourceStream(source, context);
    void* reader = nullptr;
    if (FAILED(create(__uuidof(IXmlReader), &reader, nullptr)) || !reader) {
        pull->stream->Release();
        delete pull;
        return nullptr;
    }
    pull->reader = static_cast<IXmlReader*>(reader);
    pull->reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    pull->reader->SetProperty(XmlReaderProperty_XmlResolver, 0);
    if (FAILED(pull->reader->SetInput(pull->stream))) {
        XmlPullClose(pull);
        return nullptr;
    }
    return pull;
}

void XmlPullClose(XmlPull* pull) {
    if (!pull)
        return;
    if (pull->reader)
        pull->reader->Release();
    pull->stream->Release();
    delete pull;
}

int XmlPullNext(XmlPull* pull) {
    if (!pull)
        return XmlPullFailed;
    if (pull->state == XmlPullEnd || pull->state == XmlPullFailed)
        return pull->state;
    pull->name.clear();
    pull->attributes.clear();
    pull->attributeStarts.clear();
    pull->empty = false;
    for (;;) {
        XmlNodeType type = XmlNodeType_None;
        const HRESULT hr = pull->reader->Read(&type);
        if (hr == S_FALSE) {
            // Wine's reader ends a document cut inside an element as if it were whole.
            if (!pull->sawElement || pull->open != 0)
                return Fail(pull, static_cast<HRESULT>(MX_E_INPUTEND));
            pull->state = XmlPullEnd;
            return XmlPullEnd;
        }
        if (hr != S_OK)
            return Fail(pull, hr);
        if (pull->stream->doctype)
            return Fail(pull, static_cast<HRESULT>(WC_E_DTDPROHIBITED));
        if (pull->stream->undefined)
            return Fail(pull, static_cast<HRESULT>(WC_E_UNDECLAREDENTITY));
        UINT depth = 0;
        pull->reader->GetDepth(&depth);
        pull->depth = static_cast<int>(depth);
        const WCHAR* text = nullptr;
        UINT length = 0;
        switch (type) {
        case XmlNodeType_Element:
            pull->reader->GetLocalName(&text, &length);
            AppendUtf8(pull->name, text, length);
            pull->empty = pull->reader->IsEmptyElement() != FALSE;
            pull->open += pull->empty ? 0 : 1;
            pull->sawElement = true;
            if (!TakeAttributes(pull))
                return Fail(pull, static_cast<HRESULT>(WC_E_UNIQUEATTRIBUTE));
            return XmlPullElement;
        case XmlNodeType_EndElement:
            --pull->open;
            pull->reader->GetLocalName(&text, &length);
            AppendUtf8(pull->name, text, length);
            return XmlPullEndElement;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace:
            if (pull->depth == 0)
                continue; // whitespace around the document element
            pull->text.clear();
            pull->reader->GetValue(&text, &length);
            AppendUtf8(pull->text, text, length);
            return XmlPullText;
        case XmlNodeType_DocumentType:
            return Fail(pull, static_cast<HRESULT>(WC_E_DTDPROHIBITED));
        default:
            continue; // the declaration, comments, processing instructions
        }
    }
}

const char* XmlPullName(XmlPull* pull) {
    return pull ? pull->name.c_str() : "";
}

bool XmlPullIsEmpty(XmlPull* pull) {
    return pull && pull->empty;
}

int XmlPullDepth(XmlPull* pull) {
    return pull ? pull->depth : 0;
}

const char* XmlPullAttribute(XmlPull* pull, const char* localName) {
    if (!pull || !localName)
        return nullptr;
    for (size_t start : pull->attributeStarts) {
        const char* name = pull->attributes.data() + start;
        if (std::strcmp(name, localName) == 0)
            return name + std::strlen(name) + 1;
    }
    return nullptr;
}

const char* XmlPullValue(XmlPull* pull, size_t* length) {
    if (length)
        *length = pull ? pull->text.size() : 0;
    return pull ? pull->text.c_str() : "";
}

const char* XmlPullError(XmlPull* pull) {
    return pull && pull->state == XmlPullFailed ? pull->error.c_str() : "";
}
