// The pull reader over libxml2's SAX2 push parser, with the rules XmlLite
// keeps when its DtdProcessing property is DtdProcessing_Prohibit (MSDN,
// "XmlReaderProperty enumeration"): a document type declaration is an
// error, so no entity but the five predefined ones and character references
// is ever seen. The parser is told never to touch the network
// (XML_PARSE_NONET), never to load an external subset and never to
// substitute entities; libxml2's own limits on names and nesting stay on
// (no XML_PARSE_HUGE).
//
// The source's bytes are pushed a piece at a time and the parser's events
// queued, so that a node is handed out once the one after it is known: an
// element whose end comes next is an empty one (XmlLite tells <c/> apart
// from <c></c>; the readers take both alike), and a text arriving in
// several callbacks is one node. The push parser builds no tree: a sheet is
// read at about twice the speed of libxml2's own xmlTextReader.
#include "platform.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Event {
    int kind = XmlPullEnd;
    int depth = 0;
    bool empty = false;
    // Names are the parser's own, interned in its dictionary for as long as
    // it lives, so an event points at them instead of copying them.
    const char* name = "";
    std::string text;
    // An element's attributes: their names, and their values one after
    // another, each ended by a NUL, starting at valueStarts.
    std::vector<const char*> attributeNames;
    std::string values;
    std::vector<size_t> valueStarts;
};

constexpr int kPiece = 64 * 1024;

} // namespace

struct XmlPull {
    xmlParserCtxtPtr parser = nullptr;
    XmlPullSource source = nullptr;
    void* context = nullptr;
    int state = XmlPullElement; // the last result once it is final
    bool done = false;          // the parser has had the whole document, or failed
    bool failed = false;
    bool sourceEnded = false; // the source said its bytes ended
    int depth = 0;            // elements open where the parser is
    // The node handed out: in the queue, left there until the next call.
    const Event* current = nullptr;
    // Events not handed out yet: [head, tail) of `queue`, whose entries are
    // reused so that their strings keep their room.
    std::vector<Event> queue;
    size_t head = 0, tail = 0;
    std::string error;
    char piece[kPiece];
};

namespace {

Event& Push(XmlPull* pull, int kind) {
    if (pull->tail == pull->queue.size())
        pull->queue.emplace_back();
    Event& event = pull->queue[pull->tail++];
    event.kind = kind;
    event.depth = pull->depth;
    event.empty = false;
    event.name = "";
    event.text.clear();
    event.attributeNames.clear();
    event.values.clear();
    event.valueStarts.clear();
    return event;
}

Event* Last(XmlPull* pull) {
    return pull->tail > pull->head ? &pull->queue[pull->tail - 1] : nullptr;
}

void Refuse(XmlPull* pull, const char* why) {
    if (pull->error.empty())
        pull->error = why;
    pull->failed = true;
    xmlStopParser(pull->parser);
}

void OnStart(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int,
             const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
    auto* pull = static_cast<XmlPull*>(context);
    Event& event = Push(pull, XmlPullElement);
    event.name = reinterpret_cast<const char*>(localName);
    // Five pointers an attribute: local name, prefix, URI, value, value's end.
    // Namespace declarations are not among them. A value points into the
    // parser's input, which the next piece replaces: it is copied.
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + static_cast<ptrdiff_t>(5) * i;
        event.attributeNames.push_back(reinterpret_cast<const char*>(a[0]));
        event.valueStarts.push_back(event.values.size());
        event.values.append(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
        event.values.push_back('\0');
    }
    ++pull->depth;
}

void OnEnd(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*) {
    auto* pull = static_cast<XmlPull*>(context);
    --pull->depth;
    Event* last = Last(pull);
    if (last && last->kind == XmlPullElement && last->depth == pull->depth && !last->empty) {
        last->empty = true; // nothing between its start and its end
        return;
    }
    Push(pull, XmlPullEndElement).name = reinterpret_cast<const char*>(localName);
}

void OnText(void* context, const xmlChar* text, int length) {
    auto* pull = static_cast<XmlPull*>(context);
    if (pull->depth == 0 || length <= 0)
        return; // whitespace around the document element
    Event* last = Last(pull);
    Event& event = last && last->kind == XmlPullText ? *last : Push(pull, XmlPullText);
    event.text.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

void OnDocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    Refuse(static_cast<XmlPull*>(context),
           "it holds a document type declaration (DTD), which is refused");
}

// A reference to an entity no declaration defines; with no DTD there is none.
xmlEntityPtr OnEntity(void* context, const xmlChar* name) {
    xmlEntityPtr predefined = xmlGetPredefinedEntity(name);
    if (!predefined)
        Refuse(static_cast<XmlPull*>(context), "it refers to an entity that is not defined");
    return predefined;
}

void OnError(void* context, xmlErrorPtr error) {
    auto* pull = static_cast<XmlPull*>(context);
    if (!error || error->level < XML_ERR_ERROR || !pull->error.empty())
        return;
    std::string text(error->message ? error->message : "it is not well-formed XML");
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    pull->error = "line " + std::to_string(error->line) + ": " + text;
}

// libxml2 writes what it cannot tie to a parser (an encoding that fails
// part-way) to stderr; the parser's own error says it for the user.
void Unsaid(void*, const char*, ...) {}

xmlSAXHandler Handler() {
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = OnStart;
    handler.endElementNs = OnEnd;
    handler.characters = OnText;
    handler.cdataBlock = OnText;
    handler.ignorableWhitespace = OnText;
    handler.internalSubset = OnDocumentType;
    handler.externalSubset = OnDocumentType;
    handler.getEntity = OnEntity;
    handler.serror = OnError;
    return handler;
}

// Pushes the source's next piece to the parser (or tells it the document
// ended). The events it gives are queued.
void ParseMore(XmlPull* pull) {
    // What is still queued (one event at most) moves to the front first.
    if (pull->head > 0) {
        size_t to = 0;
        for (size_t at = pull->head; at < pull->tail; ++at, ++to)
            std::swap(pull->queue[to], pull->queue[at]);
        pull->head = 0;
        pull->tail = to;
    }
    const int got = pull->sourceEnded ? 0 : pull->source(pull->context, pull->piece, kPiece);
    if (got < 0) {
        Refuse(pull, "its bytes could not be read");
        pull->done = true;
        return;
    }
    const int result = xmlParseChunk(pull->parser, pull->piece, got, got == 0);
    if (got == 0)
        pull->done = true;
    if (result != 0 || !pull->parser->wellFormed || pull->failed) {
        pull->failed = true;
        pull->done = true;
        if (pull->error.empty()) {
            const xmlError* last = xmlCtxtGetLastError(pull->parser);
            pull->error = last && last->message ? "line " + std::to_string(last->line) + ": " +
                                                      std::string(last->message)
                                                : "it is not well-formed XML";
            while (!pull->error.empty() && pull->error.back() == '\n')
                pull->error.pop_back();
        }
    }
}

int Fail(XmlPull* pull, const char* why) {
    if (pull->error.empty())
        pull->error = why;
    pull->state = XmlPullFailed;
    return XmlPullFailed;
}

} // namespace

XmlPull* XmlPullOpen(XmlPullSource source, void* context) {
    if (!source)
        return nullptr;
    xmlSetGenericErrorFunc(nullptr, Unsaid);
    auto* pull = new XmlPull;
    pull->source = source;
    pull->context = context;
    // The parser tells the encoding from the first four bytes.
    int first = 0;
    while (first < 4) {
        const int got = source(context, pull->piece + first, 4 - first);
        if (got <= 0) {
            pull->sourceEnded = got == 0;
            pull->failed = got < 0;
            if (got < 0)
                pull->error = "its bytes could not be read";
            break;
        }
        first += got;
    }
    xmlSAXHandler handler = Handler();
    pull->parser = xmlCreatePushParserCtxt(&handler, pull, pull->piece, first, nullptr);
    if (!pull->parser) {
        delete pull;
        return nullptr;
    }
    xmlCtxtUseOptions(pull->parser, XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR |
                                        XML_PARSE_NOWARNING);
    if (pull->failed)
        pull->done = true;
    return pull;
}

void XmlPullClose(XmlPull* pull) {
    if (!pull)
        return;
    xmlFreeParserCtxt(pull->parser);
    delete pull;
}

int XmlPullNext(XmlPull* pull) {
    if (!pull)
        return XmlPullFailed;
    if (pull->state == XmlPullEnd || pull->state == XmlPullFailed)
        return pull->state;
    for (;;) {
        const size_t queued = pull->tail - pull->head;
        // A node goes out once the next one is known, or nothing follows.
        if (queued >= 2 || (queued == 1 && pull->done)) {
            pull->current = &pull->queue[pull->head++];
            return pull->current->kind;
        }
        pull->current = nullptr;
        if (pull->done) {
            if (pull->failed)
                return Fail(pull, "it is not well-formed XML");
            pull->state = XmlPullEnd;
            return XmlPullEnd;
        }
        ParseMore(pull);
    }
}

namespace {
const Event* Current(const XmlPull* pull, int kind) {
    return pull && pull->current && pull->current->kind == kind ? pull->current : nullptr;
}
} // namespace

const char* XmlPullName(XmlPull* pull) {
    const Event* node = pull ? pull->current : nullptr;
    return node && node->kind != XmlPullText ? node->name : "";
}

bool XmlPullIsEmpty(XmlPull* pull) {
    const Event* element = Current(pull, XmlPullElement);
    return element && element->empty;
}

int XmlPullDepth(XmlPull* pull) {
    return pull && pull->current ? pull->current->depth : 0;
}

const char* XmlPullAttribute(XmlPull* pull, const char* localName) {
    const Event* element = Current(pull, XmlPullElement);
    if (!element || !localName)
        return nullptr;
    for (size_t i = 0; i < element->attributeNames.size(); ++i)
        if (std::strcmp(element->attributeNames[i], localName) == 0)
            return element->values.data() + element->valueStarts[i];
    return nullptr;
}

const char* XmlPullValue(XmlPull* pull, size_t* length) {
    const Event* text = Current(pull, XmlPullText);
    if (length)
        *length = text ? text->text.size() : 0;
    return text ? text->text.c_str() : "";
}

const char* XmlPullError(XmlPull* pull) {
    return pull && pull->state == XmlPullFailed ? pull->error.c_str() : "";
}
