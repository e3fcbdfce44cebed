// Telling layout from content white space, on load and on save.

#include "platform/xml/xmlwhitespace.h"

#include "platform/xml/xmltreewalk.h"

#include <libxml/valid.h>

namespace xmlimpl {
namespace {

enum class Space { Inherited, Default, Preserve };

Space ownSpace(xmlNodePtr element) {
    for (xmlAttrPtr a = element->properties; a; a = a->next) {
        if (!a->ns || !xmlStrEqual(a->ns->href, XML_XML_NAMESPACE) ||
            !xmlStrEqual(a->name, BAD_CAST "space"))
            continue;
        const bool preserve = a->children && a->children->type == XML_TEXT_NODE &&
                              xmlStrEqual(a->children->content, BAD_CAST "preserve");
        return preserve ? Space::Preserve : Space::Default;
    }
    return Space::Inherited;
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

// An entity reference may stand for text, so it counts as text; an element with nothing but
// blank text has no markup to lay out, and that text is its content.
bool isElementOnly(xmlNodePtr element, bool preserve) {
    if (preserve)
        return false;
    bool markup = false;
    for (xmlNodePtr c = element->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE) {
            if (!xmlIsBlankNode(c))
                return false;
        } else if (isTextLike(c)) {
            return false;
        } else {
            markup = true;
        }
    }
    return markup && !declaredWithText(element);
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

void dropLayoutText(xmlDocPtr doc) {
    forEachElement(reinterpret_cast<xmlNodePtr>(doc), [](xmlNodePtr element, bool preserve) {
        if (!isElementOnly(element, preserve))
            return;
        for (xmlNodePtr c = element->children, next; c; c = next) {
            next = c->next;
            if (c->type == XML_TEXT_NODE) {
                xmlUnlinkNode(c);
                xmlFreeNode(c);
            }
        }
    });
}

LayoutMarks::LayoutMarks(xmlNodePtr root) {
    forEachElement(root, [this](xmlNodePtr element, bool preserve) {
        if (!element->children || (!preserve && !declaredWithText(element)))
            return;
        for (xmlNodePtr c = element->children; c; c = c->next) {
            if (isTextLike(c))
                return; // left unindented by the writer already
        }
        xmlNodePtr mark = xmlNewDocText(element->doc, BAD_CAST "");
        xmlAddPrevSibling(element->children, mark);
        m_marks.push_back(mark);
    });
}

LayoutMarks::~LayoutMarks() {
    for (xmlNodePtr mark : m_marks) {
        xmlUnlinkNode(mark);
        xmlFreeNode(mark);
    }
}

} // namespace xmlimpl
