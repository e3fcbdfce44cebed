// Telling layout from content white space, on load and on save.

#include "platform/xml/xmlwhitespace.h"

#include "platform/xml/xmlparseguard.h"
#include "platform/xml/xmlstartelement.h"
#include "platform/xml/xmlorigin.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmltreewalk.h"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/valid.h>

namespace xmlimpl {
namespace {

enum class Space { Inherited, Default, Preserve };

// An xml:space that the internal subset gives the element by default counts as written.
Space declaredSpace(xmlNodePtr element) {
    xmlDtdPtr dtd = element->doc ? element->doc->intSubset : nullptr;
    if (!dtd || !dtd->attributes)
        return Space::Inherited;
    const xmlChar* prefix = element->ns ? element->ns->prefix : nullptr;
    xmlChar* qualified = prefix ? xmlBuildQName(element->name, prefix, nullptr, 0)
                                : const_cast<xmlChar*>(element->name);
    xmlAttributePtr decl = xmlGetDtdQAttrDesc(dtd, qualified, BAD_CAST "space", BAD_CAST "xml");
    if (qualified != element->name)
        xmlFree(qualified);
    if (!decl || !decl->defaultValue)
        return Space::Inherited;
    return xmlStrEqual(decl->defaultValue, BAD_CAST "preserve") ? Space::Preserve : Space::Default;
}

Space ownSpace(xmlNodePtr element) {
    for (xmlAttrPtr a = element->properties; a; a = a->next) {
        if (!a->ns || !xmlStrEqual(a->ns->href, XML_XML_NAMESPACE) ||
            !xmlStrEqual(a->name, BAD_CAST "space"))
            continue;
        const bool preserve = a->children && a->children->type == XML_TEXT_NODE &&
                              xmlStrEqual(a->children->content, BAD_CAST "preserve");
        return preserve ? Space::Preserve : Space::Default;
    }
    return declaredSpace(element);
}

bool preservedFromAbove(xmlNodePtr node) {
    for (xmlNodePtr p = node->parent; p && p->type == XML_ELEMENT_NODE; p = p->parent) {
        if (const Space s = ownSpace(p); s != Space::Inherited)
            return s == Space::Preserve;
    }
    return false;
}

// Whether the internal subset declares the element as holding text or anything at all.
bool declaredWithText(xmlNodePtr element) {
    xmlDtdPtr dtd = element->doc ? element->doc->intSubset : nullptr;
    if (!dtd || !dtd->elements)
        return false;
    xmlElementPtr decl =
        xmlGetDtdQElementDesc(dtd, element->name, element->ns ? element->ns->prefix : nullptr);
    return decl && (decl->etype == XML_ELEMENT_TYPE_MIXED || decl->etype == XML_ELEMENT_TYPE_ANY);
}

bool isTextLike(xmlNodePtr n) {
    return n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE ||
           n->type == XML_ENTITY_REF_NODE;
}

bool isBlank(const xmlChar* text, int len) {
    for (int i = 0; i < len; ++i) {
        if (!IS_BLANK_CH(text[i]))
            return false;
    }
    return true;
}

// Calls visit(element, preserve) for every element of the subtree in document order, with
// whether xml:space="preserve" is in force there; the visit may change the element's children.
template <class Visit> void forEachElement(xmlNodePtr root, Visit visit) {
    std::vector<bool> preserve{root->type == XML_ELEMENT_NODE && preservedFromAbove(root)};
    walkElements(
        root,
        [&](xmlNodePtr element) {
            const Space own = ownSpace(element);
            preserve.push_back(own == Space::Inherited ? preserve.back() : own == Space::Preserve);
            visit(element, preserve.back());
        },
        [&](xmlNodePtr) { preserve.pop_back(); });
}

} // namespace

bool indentsChildren(xmlNodePtr element) {
    if (!element->children || declaredWithText(element))
        return false;
    const Space own = ownSpace(element);
    if (own == Space::Preserve || (own == Space::Inherited && preservedFromAbove(element)))
        return false;
    for (xmlNodePtr c = element->children; c; c = c->next) {
        if (isTextLike(c))
            return false;
    }
    return true;
}

LayoutFilter::LayoutFilter(xmlParserCtxtPtr ctxt, cdataBlockSAXFunc cdata, HeldAttributes* held,
                           ParseGuard* guard, const QByteArray* rawStart)
    : m_ctxt(ctxt), m_cdata(cdata), m_held(held), m_guard(guard),
      m_source(ctxt, rawStart), m_externalSubset(ctxt->sax->externalSubset),
      m_startDocument(ctxt->sax->startDocument) {
    ctxt->_private = this;
    ctxt->sax->startDocument = startDocument;
    ctxt->sax->comment = comment;
    ctxt->sax->processingInstruction = processingInstruction;
    ctxt->sax->internalSubset = internalSubset;
    ctxt->sax->externalSubset = externalSubset;
    ctxt->sax->startElementNs = startElement;
    ctxt->sax->endElementNs = endElement;
    ctxt->sax->characters = characters;
    ctxt->sax->ignorableWhitespace = characters;
    ctxt->sax->cdataBlock = cdataBlock;
    ctxt->sax->reference = reference;
}

LayoutFilter* LayoutFilter::of(void* context) {
    return static_cast<LayoutFilter*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

// The frame of the element text goes to now; none for text of the document's own entities,
// which libxml2 parses with contexts of their own (their content is kept as it is).
LayoutFilter::Frame* LayoutFilter::frameFor(xmlParserCtxtPtr ctxt) {
    if (ctxt != m_ctxt || m_frames.empty() || m_frames.back().element != ctxt->node)
        return nullptr;
    return &m_frames.back();
}

// Puts the held-back text of `frame`'s element where it stood.
void LayoutFilter::putBack(Frame& frame) {
    xmlNodePtr element = frame.element;
    for (size_t i = frame.firstRun; i < m_runs.size(); ++i) {
        const Run& run = m_runs[i];
        const auto* text = reinterpret_cast<const xmlChar*>(run.text.data());
        const int len = static_cast<int>(run.text.size());
        if (run.after == element->last) {
            // At the end, where libxml2 goes on adding text: its own handler keeps its account.
            xmlSAX2Characters(m_ctxt, text, len);
            SourceTracker::mark(element->last, run.lead);
            continue;
        }
        xmlNodePtr node = xmlNewDocTextLen(element->doc, text, len);
        if (!node)
            continue;
        SourceTracker::mark(node, run.lead);
        if (run.after)
            xmlAddNextSibling(run.after, node);
        else
            xmlAddPrevSibling(element->children, node);
    }
    m_runs.resize(frame.firstRun);
}

void LayoutFilter::becomesMixed(xmlParserCtxtPtr ctxt) {
    Frame* frame = frameFor(ctxt);
    if (!frame || frame->mixed || frame->keep)
        return;
    frame->mixed = true;
    putBack(*frame);
}

void LayoutFilter::startElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                                const xmlChar* uri, int nbNamespaces, const xmlChar** namespaces,
                                int nbAttributes, int nbDefaulted, const xmlChar** attributes) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    xmlNodePtr parent = ctxt->node;
    startElementNs(context, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                   nbDefaulted, attributes, ctxt == self->m_ctxt ? self->m_held : nullptr);
    xmlNodePtr element = ctxt->node;
    if (ctxt != self->m_ctxt || !element || element == parent)
        return;
    keepBigLine(element, ctxt->input ? ctxt->input->line : 0);
    if (self->m_source.tracks(ctxt)) {
        // The parser stands at the tag's ">" or "/>"; the end of an empty one comes at once.
        SourceTracker::mark(element, self->m_source.lead());
        self->m_source.markupEnds(*ctxt->input->cur == '>' ? 1 : 0);
    }
    const bool inherited = !self->m_frames.empty() && self->m_frames.back().preserve;
    const Space own = ownSpace(element);
    const bool preserve = own == Space::Inherited ? inherited : own == Space::Preserve;
    self->m_frames.push_back(
        {element, preserve, preserve || declaredWithText(element), false, self->m_runs.size()});
    if (self->m_guard)
        self->m_guard->enterElement(static_cast<int>(self->m_frames.size()), nbNamespaces,
                                    namespaces);
}

// An element with markup and nothing but blank text beside it is element-only: its blank text
// was layout. An element with blank text alone keeps it: that is its content.
void LayoutFilter::endElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                              const xmlChar* uri) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    if (Frame* frame = self->frameFor(ctxt)) {
        xmlNodePtr element = frame->element;
        const bool elementOnly = !frame->keep && !frame->mixed && element->children;
        if (!element->children)
            self->putBack(*frame);
        if (self->m_source.tracks(ctxt)) {
            self->m_source.markupEnds();
            setElementEnd(element, self->m_source.lead());
            if (frame->keep)
                element->extra |= kBlanksAreContent;
            else if (elementOnly)
                element->extra |= kLayoutDropped;
        }
        self->m_runs.resize(frame->firstRun);
        self->m_frames.pop_back();
    }
    xmlSAX2EndElementNs(context, localname, prefix, uri);
}

void LayoutFilter::characters(void* context, const xmlChar* text, int len) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    Frame* frame = self->frameFor(ctxt);
    const bool tracked = self->m_source.tracks(ctxt) && ctxt->node;
    const qint64 lead = tracked ? self->m_source.textLead() : -1;
    if (!frame || frame->keep || frame->mixed || !isBlank(text, len)) {
        if (frame && !frame->keep && !frame->mixed)
            self->becomesMixed(ctxt);
        xmlSAX2Characters(context, text, len);
        if (tracked)
            SourceTracker::mark(ctxt->node->last, lead);
        return;
    }
    // One blank run may come in several pieces.
    xmlNodePtr after = ctxt->node->last;
    if (self->m_runs.size() > frame->firstRun && self->m_runs.back().after == after)
        self->m_runs.back().text.append(reinterpret_cast<const char*>(text), len);
    else
        self->m_runs.push_back(
            {after, std::string(reinterpret_cast<const char*>(text), len), lead});
}

void LayoutFilter::cdataBlock(void* context, const xmlChar* value, int len) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    self->becomesMixed(ctxt);
    const qint64 lead = self->m_source.lead();
    self->m_cdata(context, value, len);
    if (self->m_source.tracks(ctxt)) {
        SourceTracker::mark(lastMade(ctxt), lead);
        self->m_source.markupEnds();
    }
}

// A reference may stand for text.
void LayoutFilter::reference(void* context, const xmlChar* name) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    self->becomesMixed(ctxt);
    const qint64 lead = self->m_source.lead();
    xmlSAX2Reference(context, name);
    if (self->m_source.tracks(ctxt)) {
        SourceTracker::mark(lastMade(ctxt), lead);
        self->m_source.markupEnds();
    }
}

xmlNodePtr LayoutFilter::lastMade(xmlParserCtxtPtr ctxt) {
    if (ctxt->node)
        return ctxt->node->last;
    return ctxt->myDoc ? ctxt->myDoc->last : nullptr;
}

void LayoutFilter::comment(void* context, const xmlChar* value) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    const bool tracked = self->m_source.tracks(ctxt);
    const qint64 lead = self->m_source.lead();
    xmlSAX2Comment(context, value);
    if (tracked) {
        SourceTracker::mark(lastMade(ctxt), lead);
        self->m_source.markupEnds();
    }
}

void LayoutFilter::processingInstruction(void* context, const xmlChar* target,
                                         const xmlChar* data) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    const bool tracked = self->m_source.tracks(ctxt);
    const qint64 lead = self->m_source.lead();
    xmlSAX2ProcessingInstruction(context, target, data);
    if (tracked) {
        SourceTracker::mark(lastMade(ctxt), lead);
        self->m_source.markupEnds();
    }
}

// Once the XML declaration is read: nothing made from here on stands in it.
void LayoutFilter::startDocument(void* context) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    if (self->m_startDocument)
        self->m_startDocument(context);
    if (self->m_source.tracks(ctxt))
        self->m_source.markupEnds();
}

// Called once the name and identifiers are read; the declaration ends when the external subset
// is announced, also for a document without one.
void LayoutFilter::internalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                                  const xmlChar* systemId) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    const bool tracked = ctxt == self->m_ctxt && ctxt->inputNr == 1; // in the subset already
    xmlSAX2InternalSubset(context, name, externalId, systemId);
    if (tracked && ctxt->myDoc && ctxt->myDoc->intSubset)
        SourceTracker::mark(reinterpret_cast<xmlNodePtr>(ctxt->myDoc->intSubset),
                            self->m_source.lead());
}

void LayoutFilter::externalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                                  const xmlChar* systemId) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    LayoutFilter* self = of(context);
    if (ctxt == self->m_ctxt && ctxt->inputNr == 1)
        self->m_source.markupEnds();
    if (self->m_externalSubset)
        self->m_externalSubset(context, name, externalId, systemId);
}

namespace {
bool needsMark(xmlNodePtr element, bool preserve) {
    if (!element->children || (!preserve && !declaredWithText(element)))
        return false;
    for (xmlNodePtr c = element->children; c; c = c->next) {
        if (isTextLike(c))
            return false; // left unindented by the writer already
    }
    return true;
}
} // namespace

LayoutMarks::LayoutMarks(xmlNodePtr root) {
    forEachElement(root, [this](xmlNodePtr element, bool preserve) {
        if (!needsMark(element, preserve))
            return;
        xmlNodePtr mark = xmlNewDocText(element->doc, BAD_CAST "");
        xmlAddPrevSibling(element->children, mark);
        m_marks.push_back(mark);
    });
}

bool LayoutMarks::needed(xmlNodePtr root) {
    bool any = false;
    forEachElement(root, [&any](xmlNodePtr element, bool preserve) {
        any = any || needsMark(element, preserve);
    });
    return any;
}

LayoutMarks::~LayoutMarks() {
    for (xmlNodePtr mark : m_marks) {
        xmlUnlinkNode(mark);
        xmlFreeNode(mark);
    }
}

} // namespace xmlimpl
