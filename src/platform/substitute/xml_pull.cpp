// The pull reader over libxml2's xmlTextReader, with the rules XmlLite
// keeps when its DtdProcessing property is DtdProcessing_Prohibit (MSDN,
// "XmlReaderProperty enumeration"): a document type declaration is an
// error, so no entity but the five predefined ones and character references
// is ever seen. The parser is told never to touch the network
// (XML_PARSE_NONET), never to load an external subset and never to
// substitute entities; libxml2's own limits on names and nesting stay on
// (no XML_PARSE_HUGE).
#include "platform.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <string>
#include <vector>

struct XmlPull {
    xmlTextReaderPtr reader = nullptr;
    XmlPullSource source = nullptr;
    void* context = nullptr;
    int state = XmlPullElement; // the last result once it is final
    bool empty = false;
    int depth = 0;
    std::string name;
    std::string text;
    std::string error;
    // The current element's attributes: local name NUL value NUL, one after another.
    std::string attributes;
    std::vector<size_t> attributeStarts;
};

namespace {

int ReadFromSource(void* context, char* buffer, int size) {
    auto* pull = static_cast<XmlPull*>(context);
    const int got = pull->source(pull->context, buffer, size);
    if (got < 0 && pull->error.empty())
        pull->error = "its bytes could not be read";
    return got < 0 ? -1 : got;
}

void NoteError(void* context, const char* message, xmlParserSeverities severity,
               xmlTextReaderLocatorPtr locator) {
    auto* pull = static_cast<XmlPull*>(context);
    if (severity != XML_PARSER_SEVERITY_ERROR || !pull->error.empty() || !message)
        return;
    const int line = locator ? xmlTextReaderLocatorLineNumber(locator) : 0;
    std::string text(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    pull->error = "line " + std::to_string(line) + ": " + text;
}

int Fail(XmlPull* pull, const char* why) {
    if (pull->error.empty())
        pull->error = why;
    pull->state = XmlPullFailed;
    return XmlPullFailed;
}

void TakeAttributes(XmlPull* pull) {
    pull->attributes.clear();
    pull->attributeStarts.clear();
    if (xmlTextReaderHasAttributes(pull->reader) != 1)
        return;
    for (int more = xmlTextReaderMoveToFirstAttribute(pull->reader); more == 1;
         more = xmlTextReaderMoveToNextAttribute(pull->reader)) {
        if (xmlTextReaderIsNamespaceDecl(pull->reader) == 1)
            continue; // xmlns and xmlns:prefix declare, they are no attributes
        const xmlChar* local = xmlTextReaderConstLocalName(pull->reader);
        const xmlChar* value = xmlTextReaderConstValue(pull->reader);
        pull->attributeStarts.push_back(pull->attributes.size());
        pull->attributes.append(local ? reinterpret_cast<const char*>(local) : "");
        pull->attributes.push_back('\0');
        pull->attributes.append(value ? reinterpret_cast<const char*>(value) : "");
        pull->attributes.push_back('\0');
    }
    xmlTextReaderMoveToElement(pull->reader);
}

} // namespace

XmlPull* XmlPullOpen(XmlPullSource source, void* context) {
    if (!source)
        return nullptr;
    auto* pull = new XmlPull;
    pull->source = source;
    pull->context = context;
    pull->reader = xmlReaderForIO(ReadFromSource, nullptr, pull, nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR |
                                      XML_PARSE_NOWARNING);
    if (!pull->reader) {
        delete pull;
        return nullptr;
    }
    xmlTextReaderSetErrorHandler(pull->reader, NoteError, pull);
    return pull;
}

void XmlPullClose(XmlPull* pull) {
    if (!pull)
        return;
    xmlFreeTextReader(pull->reader);
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
        const int read = xmlTextReaderRead(pull->reader);
        if (read == 0) {
            pull->state = XmlPullEnd;
            return XmlPullEnd;
        }
        if (read < 0)
            return Fail(pull, "it is not well-formed XML");
        pull->depth = xmlTextReaderDepth(pull->reader);
        switch (xmlTextReaderNodeType(pull->reader)) {
        case XML_READER_TYPE_ELEMENT: {
            const xmlChar* local = xmlTextReaderConstLocalName(pull->reader);
            pull->name = local ? reinterpret_cast<const char*>(local) : "";
            pull->empty = xmlTextReaderIsEmptyElement(pull->reader) == 1;
            TakeAttributes(pull);
            return XmlPullElement;
        }
        case XML_READER_TYPE_END_ELEMENT: {
            const xmlChar* local = xmlTextReaderConstLocalName(pull->reader);
            pull->name = local ? reinterpret_cast<const char*>(local) : "";
            return XmlPullEndElement;
        }
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE: {
            if (pull->depth == 0)
                continue; // whitespace around the document element
            const xmlChar* value = xmlTextReaderConstValue(pull->reader);
            pull->text = value ? reinterpret_cast<const char*>(value) : "";
            return XmlPullText;
        }
        case XML_READER_TYPE_DOCUMENT_TYPE:
            return Fail(pull, "it holds a document type declaration (DTD), which is refused");
        case XML_READER_TYPE_ENTITY_REFERENCE:
        case XML_READER_TYPE_ENTITY:
            return Fail(pull, "it refers to an entity that is not defined");
        default:
            continue; // comments, processing instructions
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
