// A pull reader for XML, one node at a time, over bytes a caller hands it in
// pieces: a workbook's parts are read while they are inflated, never whole.
// On Windows it is the system's XmlLite (IXmlReader, xmllite.dll loaded from
// the system folder on first use); in the substitute platform libxml2's SAX2
// push parser behind the same calls.
//
// Both refuse what a stranger's document could use against the reader: a
// document type declaration ends the reading as an error (so no entity is
// ever defined, let alone fetched), and nothing is loaded from the network
// or the disk. Names and texts are delivered in UTF-8.
#pragma once

#include <cstddef>

// Fills buffer with up to size bytes of the document: the count, 0 at its
// end, -1 when the bytes could not be had (the reader then fails).
typedef int (*XmlPullSource)(void* context, char* buffer, int size);

struct XmlPull;

enum XmlPullNode {
    XmlPullFailed = -1, // the document is not well-formed XML, holds a DTD or its bytes failed
    XmlPullEnd = 0,     // the document ended
    XmlPullElement = 1, // a start tag (an empty one too: XmlPullIsEmpty)
    XmlPullEndElement = 2,
    XmlPullText = 3, // character data, CDATA or whitespace inside an element
};

// Null when no reader can be made (out of memory, or no XML reader on the system).
XmlPull* XmlPullOpen(XmlPullSource source, void* context);
void XmlPullClose(XmlPull* reader);

// Moves to the next node of interest (comments, processing instructions and
// the declaration are passed over) and returns its kind; after XmlPullEnd
// or XmlPullFailed every further call returns the same.
int XmlPullNext(XmlPull* reader);

// The current element's local name (no prefix), or "" on other nodes.
const char* XmlPullName(XmlPull* reader);
// True for an element written <name/>: no XmlPullEndElement follows it.
bool XmlPullIsEmpty(XmlPull* reader);
// The element's depth: the document element is 0.
int XmlPullDepth(XmlPull* reader);
// The current element's attribute of this local name (whatever its prefix),
// or null; valid until the next XmlPullNext.
const char* XmlPullAttribute(XmlPull* reader, const char* localName);
// The text of an XmlPullText node, entities replaced; valid until the next
// XmlPullNext. length receives its length in bytes (texts may hold NULs).
const char* XmlPullValue(XmlPull* reader, size_t* length);
// Why the reading failed, in English, for the user's message; "" otherwise.
const char* XmlPullError(XmlPull* reader);
