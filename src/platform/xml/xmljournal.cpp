// Undo and redo at the level of libxml2's pointers: no checks and no namespace passes, because
// each entry puts back exactly the state the document had, which was checked when it was made.

#include "platform/xml/xmljournal.h"

#include "platform/xml/xmlstorage.h"

#include <algorithm>

namespace xmlimpl {

namespace {

QByteArray bytesOf(const xmlChar* s) {
    return QByteArray(reinterpret_cast<const char*>(s));
}

xmlAttrPtr asAttribute(xmlNodePtr n) {
    return reinterpret_cast<xmlAttrPtr>(n);
}

// Takes a node out of its parent's children or out of its element's attributes; a detached node
// leaves the storage's list of detached nodes instead.
void unlinkRaw(XmlStorage& storage, xmlNodePtr n) {
    xmlNodePtr parent = n->parent;
    if (!parent) {
        storage.attach(n);
        return;
    }
    if (n->type == XML_ATTRIBUTE_NODE) {
        xmlAttrPtr a = asAttribute(n);
        if (a->prev)
            a->prev->next = a->next;
        else
            parent->properties = a->next;
        if (a->next)
            a->next->prev = a->prev;
    } else {
        if (n->prev)
            n->prev->next = n->next;
        else
            parent->children = n->next;
        if (n->next)
            n->next->prev = n->prev;
        else
            parent->last = n->prev;
    }
    n->parent = n->prev = n->next = nullptr;
}

void linkRaw(XmlStorage& storage, xmlNodePtr n, xmlNodePtr parent, xmlNodePtr next) {
    if (!parent) {
        storage.keepDetached(n);
        return;
    }
    n->parent = parent;
    if (n->type == XML_ATTRIBUTE_NODE) {
        xmlAttrPtr a = asAttribute(n);
        xmlAttrPtr before = asAttribute(next);
        a->next = before;
        if (before) {
            a->prev = before->prev;
            before->prev = a;
        } else {
            a->prev = nullptr;
            for (xmlAttrPtr p = parent->properties; p; p = p->next)
                a->prev = p;
        }
        if (a->prev)
            a->prev->next = a;
        else
            parent->properties = a;
        return;
    }
    n->next = next;
    n->prev = next ? next->prev : parent->last;
    if (next)
        next->prev = n;
    else
        parent->last = n;
    if (n->prev)
        n->prev->next = n;
    else
        parent->children = n;
}

std::vector<xmlNsPtr> declarationList(xmlNodePtr element) {
    std::vector<xmlNsPtr> list;
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
        list.push_back(ns);
    return list;
}

xmlNodePtr lastOf(xmlNodePtr list) {
    while (list && list->next)
        list = list->next;
    return list;
}

size_t valueBytes(xmlNodePtr list) {
    size_t bytes = 0;
    for (xmlNodePtr n = list; n; n = n->next)
        bytes += sizeof(xmlNode) + static_cast<size_t>(xmlStrlen(n->content));
    return bytes;
}

} // namespace

XmlJournal::XmlJournal(std::shared_ptr<XmlStorage> storage) : m_storage(std::move(storage)) {}

XmlJournal::~XmlJournal() {
    for (const Entry& e : m_entries) {
        if (e.kind == Kind::AttributeValue && e.other)
            xmlFreeNodeList(e.other);
    }
}

size_t XmlJournal::footprint(const Entry& e) {
    return sizeof(Entry) + static_cast<size_t>(e.text.capacity()) +
           e.list.capacity() * sizeof(xmlNsPtr) +
           (e.kind == Kind::AttributeValue ? valueBytes(e.other) : 0);
}

void XmlJournal::add(Entry entry) {
    // A name, a declaration or what a name points to changes what its start tag must say, also
    // when it changes as a repair of a node linked elsewhere (no container is told of that).
    if (entry.kind == Kind::Name || entry.kind == Kind::Pointer ||
        entry.kind == Kind::Declarations || entry.kind == Kind::Href)
        m_storage->touched.insert(entry.node);
    m_bytes += footprint(entry);
    m_entries.push_back(std::move(entry));
}

void XmlJournal::position(xmlNodePtr node) {
    xmlNodePtr next =
        node->type == XML_ATTRIBUTE_NODE ? reinterpret_cast<xmlNodePtr>(node->next) : node->next;
    add(Entry(Kind::Position, node, node->parent, node->parent ? next : nullptr));
}

void XmlJournal::created(xmlNodePtr node) {
    add(Entry(Kind::Position, node));
}

void XmlJournal::content(xmlNodePtr node) {
    Entry e(Kind::Content, node);
    e.flag = node->content != nullptr;
    if (node->content)
        e.text = bytesOf(node->content);
    add(std::move(e));
}

void XmlJournal::name(xmlNodePtr node) {
    Entry e(Kind::Name, node);
    e.ns = node->ns;
    e.text = bytesOf(node->name);
    add(std::move(e));
}

void XmlJournal::pointer(xmlNodePtr node) {
    Entry e(Kind::Pointer, node);
    e.ns = node->type == XML_ATTRIBUTE_NODE ? asAttribute(node)->ns : node->ns;
    add(std::move(e));
}

void XmlJournal::declarations(xmlNodePtr element) {
    Entry e(Kind::Declarations, element);
    e.list = declarationList(element);
    add(std::move(e));
}

void XmlJournal::href(xmlNodePtr element, xmlNsPtr declaration) {
    Entry e(Kind::Href, element);
    e.ns = declaration;
    e.text = bytesOf(declaration->href);
    add(std::move(e));
}

void XmlJournal::attributeValue(xmlAttrPtr attribute) {
    Entry e(Kind::AttributeValue, reinterpret_cast<xmlNodePtr>(attribute), attribute->children);
    attribute->children = attribute->last = nullptr;
    add(std::move(e));
}

void XmlJournal::unplaced(xmlNodePtr node) {
    Entry e(Kind::Unplaced, node);
    e.flag = m_storage->unplaced.count(node) > 0;
    add(std::move(e));
}

void XmlJournal::internalSubset() {
    add(Entry(Kind::InternalSubset, reinterpret_cast<xmlNodePtr>(m_storage->doc->intSubset)));
}

xmlNodePtr XmlJournal::container(const Entry& e) const {
    switch (e.kind) {
    case Kind::Content:
    case Kind::AttributeValue:
        return e.node->parent ? e.node->parent : e.node;
    case Kind::Name:
    case Kind::Declarations:
    case Kind::Href:
        return e.node;
    case Kind::Position:
        return e.other ? e.other : e.node->parent;
    default:
        // Namespace repoints, like the pass that makes them, tell no one: the element that was
        // linked or renamed is the container the listeners heard about.
        return nullptr;
    }
}

void XmlJournal::swap(Entry& e) {
    XmlStorage& storage = *m_storage;
    xmlNodePtr n = e.node;
    if (e.kind == Kind::Position) {
        storage.moved.insert(n);
        for (xmlNodePtr container : {n->parent, e.other})
            if (container)
                storage.regrouped.insert(container);
    }
    else
        storage.touched.insert(n);
    switch (e.kind) {
    case Kind::Position: {
        xmlNodePtr parent = n->parent;
        xmlNodePtr next =
            n->type == XML_ATTRIBUTE_NODE ? reinterpret_cast<xmlNodePtr>(n->next) : n->next;
        unlinkRaw(storage, n);
        linkRaw(storage, n, e.other, e.next);
        e.other = parent;
        e.next = parent ? next : nullptr;
        break;
    }
    case Kind::Content: {
        const bool had = n->content != nullptr;
        const QByteArray now = had ? bytesOf(n->content) : QByteArray();
        xmlNodeSetContent(n, e.flag ? xc(e.text) : nullptr);
        e.flag = had;
        e.text = now;
        break;
    }
    case Kind::Name: {
        const QByteArray now = bytesOf(n->name);
        xmlNsPtr nowNs = n->ns;
        xmlNodeSetName(n, xc(e.text));
        n->ns = e.ns;
        e.text = now;
        e.ns = nowNs;
        break;
    }
    case Kind::Pointer:
        std::swap(n->type == XML_ATTRIBUTE_NODE ? asAttribute(n)->ns : n->ns, e.ns);
        break;
    case Kind::Declarations: {
        std::vector<xmlNsPtr> now = declarationList(n);
        n->nsDef = e.list.empty() ? nullptr : e.list.front();
        for (size_t i = 0; i < e.list.size(); ++i)
            e.list[i]->next = i + 1 < e.list.size() ? e.list[i + 1] : nullptr;
        // A declaration off every element stays alive: names out of the tree and handles may
        // still point to it.
        for (xmlNsPtr ns : now)
            storage.removedDeclarations.insert(ns);
        for (xmlNsPtr ns : e.list)
            storage.removedDeclarations.erase(ns);
        e.list = std::move(now);
        break;
    }
    case Kind::Href: {
        const QByteArray now = bytesOf(e.ns->href);
        xmlFree(const_cast<xmlChar*>(e.ns->href));
        e.ns->href = xmlStrdup(xc(e.text));
        e.text = now;
        break;
    }
    case Kind::AttributeValue: {
        xmlAttrPtr a = asAttribute(n);
        xmlNodePtr now = a->children;
        a->children = e.other;
        a->last = lastOf(e.other);
        e.other = now;
        break;
    }
    case Kind::Unplaced: {
        const bool now = storage.unplaced.count(n) > 0;
        if (e.flag)
            storage.unplaced.insert(n);
        else
            storage.unplaced.erase(n);
        e.flag = now;
        break;
    }
    case Kind::InternalSubset: {
        xmlNodePtr now = reinterpret_cast<xmlNodePtr>(storage.doc->intSubset);
        storage.doc->intSubset = reinterpret_cast<xmlDtdPtr>(n);
        e.node = now;
        break;
    }
    }
}

namespace {
bool inDocument(xmlNodePtr node) {
    while (node->parent)
        node = node->parent;
    return node->type == XML_DOCUMENT_NODE;
}
} // namespace

XmlJournal::Touched XmlJournal::apply(bool backwards, size_t begin, size_t end) {
    XmlStorage& storage = *m_storage;
    // The moves' shortcut trusts the element detached by the change just before; these changes
    // do not keep it current.
    storage.lastDetached = {};
    storage.notifyChange(nullptr);
    Touched touched;
    const Entry* focus = nullptr;
    xmlNodePtr focusContainer = nullptr;
    xmlNodePtr told = nullptr;
    auto tell = [&](xmlNodePtr c) {
        if (!c || c == told)
            return;
        storage.notifyChange(c);
        told = c;
    };
    for (size_t i = 0; i < end - begin; ++i) {
        Entry& e = m_entries[backwards ? end - 1 - i : begin + i];
        if (e.kind == Kind::Position)
            tell(e.node->parent);
        xmlNodePtr c = container(e);
        tell(c);
        swap(e);
        if (e.kind == Kind::Position)
            c = e.node->parent ? e.node->parent : e.other;
        // In the order the changes were made, whichever way they are applied.
        if (c) {
            if (backwards || !touched.first)
                touched.first = c;
            if (!backwards || !touched.last)
                touched.last = c;
            if (backwards || !focus) {
                focus = &e;
                focusContainer = c;
            }
        }
    }
    if (focus)
        touched.focus = inDocument(focus->node) ? focus->node : focusContainer;
    return touched;
}

void XmlJournal::rollBackTo(size_t mark) {
    if (mark >= m_entries.size())
        return;
    apply(true, mark, m_entries.size());
    for (size_t i = mark; i < m_entries.size(); ++i) {
        Entry& e = m_entries[i];
        m_bytes -= std::min(m_bytes, footprint(e));
        if (e.kind == Kind::AttributeValue && e.other)
            xmlFreeNodeList(e.other);
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(mark), m_entries.end());
}

} // namespace xmlimpl
