// The pull reader over the system's XmlLite (MSDN, "XmlLite Reader
// Programming Overview"): xmllite.dll is part of Windows since XP SP3 and
// Vista, and is loaded from the system folder the first time a document is
// read, so that the library still loads on a system without it. The
// reader is told DtdProcessing_Prohibit (a DTD is an error, MX_E_* or
// WC_E_DTDPROHIBITED), has no resolver (nothing external is ever fetched)
// and reads from an ISequentialStream over the caller's source.
#include "platform.h"

#include <xmllite.h>

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
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        if (read)
            *read = 0;
        const int wanted = size > 0x10000 ? 0x10000 : static_cast<int>(size);
        const int got = source_(context_, static_cast<char*>(buffer), wanted);
        if (got < 0) {
            failed = true;
            return E_FAIL;
        }
        if (read)
            *read = static_cast<ULONG>(got);
        return got == 0 && size > 0 ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }

private:
    ~SourceStream() = default;
    XmlPullSource source_;
    void* context_;
    ULONG references_ = 1;
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
    std::string name;
    std::string text;
    std::string error;
    std::string attributes; // local name NUL value NUL, one after another
    std::vector<size_t> attributeStarts;
};

namespace {

int Fail(XmlPull* pull, HRESULT hr) {
    if (pull->error.empty()) {
        if (pull->stream->failed) {
            pull->error = "its bytes could not be read";
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

void TakeAttributes(XmlPull* pull) {
    pull->attributes.clear();
    pull->attributeStarts.clear();
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
        pull->attributeStarts.push_back(pull->attributes.size());
        AppendUtf8(pull->attributes, local, localLength);
        pull->attributes.push_back('\0');
        AppendUtf8(pull->attributes, value, valueLength);
        pull->attributes.push_back('\0');
    }
    pull->reader->MoveToElement();
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
            pull->state = XmlPullEnd;
            return XmlPullEnd;
        }
        if (hr != S_OK)
            return Fail(pull, hr);
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
            TakeAttributes(pull);
            return XmlPullElement;
        case XmlNodeType_EndElement:
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
