#pragma once

// Which white space is layout and which is content. Blank text is layout only inside
// element-only content: an element with markup children and no other text, not under
// xml:space="preserve" (written, or given by default in the internal subset), that the internal
// subset does not declare as holding text (#PCDATA) or ANY. Layout is dropped on load and laid out
// afresh on save; all other white space is content, kept exactly, and nothing is added to it.

#include "platform/xml/xmlsourcetracker.h"

#include <libxml/parser.h>

#include <string>
#include <vector>

namespace xmlimpl {

class HeldAttributes;
class ParseGuard;

// While a document is parsed, holds blank text back until its element shows whether it is
// element-only: then the text is dropped without ever becoming a node, or else put in where it
// stood. Parsing layout into nodes only to free them again doubled the time of a load.
class LayoutFilter {
public:
    // Takes over `ctxt`'s handlers for elements, text, CDATA sections, references, comments,
    // processing instructions and the document type (after the parse options are set); CDATA
    // sections go on to `cdata`. Must outlive the parse. Elements get the attributes `held` back
    // from their start tags (xmlwidetags.h); `guard` is told the depth of each. Every node made
    // gets its place in the source (xmlorigin.h); `rawStart` is the source's first bytes as read.
    LayoutFilter(xmlParserCtxtPtr ctxt, cdataBlockSAXFunc cdata, HeldAttributes* held,
                 ParseGuard* guard, const QByteArray* rawStart = nullptr);

private:
    struct Frame {
        xmlNodePtr element;
        bool preserve; // xml:space="preserve" in force
        bool keep;     // its blank text is content whatever else it holds
        bool mixed;    // it holds text other than blanks, CDATA or a reference
        size_t firstRun;
    };
    struct Run {
        xmlNodePtr after; // the child the text follows, nullptr for the first
        std::string text;
        qint64 lead;
    };
    static LayoutFilter* of(void* context);
    Frame* frameFor(xmlParserCtxtPtr ctxt);
    void putBack(Frame& frame);
    void becomesMixed(xmlParserCtxtPtr ctxt);

    static void startElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                             const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                             int nbAttributes, int nbDefaulted, const xmlChar** attributes);
    static void endElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                           const xmlChar* uri);
    static void characters(void* context, const xmlChar* text, int len);
    static void cdataBlock(void* context, const xmlChar* value, int len);
    static void reference(void* context, const xmlChar* name);
    static void comment(void* context, const xmlChar* value);
    static void processingInstruction(void* context, const xmlChar* target, const xmlChar* data);
    static void startDocument(void* context);
    static void internalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId);
    static void externalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId);
    // The node just made where `ctxt` adds children (the document's own list outside the root).
    static xmlNodePtr lastMade(xmlParserCtxtPtr ctxt);

    xmlParserCtxtPtr m_ctxt;
    cdataBlockSAXFunc m_cdata;
    HeldAttributes* m_held;
    ParseGuard* m_guard;
    SourceTracker m_source;
    externalSubsetSAXFunc m_externalSubset;
    startDocumentSAXFunc m_startDocument;
    std::vector<Frame> m_frames;
    std::vector<Run> m_runs;
};

// Whether the editor's layout puts each child of `element` on a line of its own: it has children,
// none of them text, and blank text would not be content in it.
bool indentsChildren(xmlNodePtr element);

// For the time of writing a subtree, keeps the writer from indenting content that is not
// element-only. The writer leaves an element unindented when it holds a text node, so each such
// element gets an empty one, taken away again afterwards.
class LayoutMarks {
public:
    explicit LayoutMarks(xmlNodePtr root);
    // Whether writing the subtree would need any mark (read only).
    static bool needed(xmlNodePtr root);
    ~LayoutMarks();
    LayoutMarks(const LayoutMarks&) = delete;
    LayoutMarks& operator=(const LayoutMarks&) = delete;

private:
    std::vector<xmlNodePtr> m_marks;
};

} // namespace xmlimpl
