#pragma once

// The XML layer's record of changes, for undo and redo. Every primitive that changes a document
// tells the journal of the step that is open (XmlStorage::journal) what it is about to replace,
// just before it replaces it. Each entry holds one piece of state (where a node stands, a node's
// value, name or namespace, an element's declarations...); applying an entry swaps the state it
// holds with the document's, so the same entries undo when applied backwards and redo when
// applied forwards, with the same node objects throughout.

#include <libxml/tree.h>

#include <QByteArray>
#include <memory>
#include <utility>
#include <vector>

struct XmlStorage;

namespace xmlimpl {

class XmlJournal {
public:
    explicit XmlJournal(std::shared_ptr<XmlStorage> storage);
    ~XmlJournal();
    XmlJournal(const XmlJournal&) = delete;
    XmlJournal& operator=(const XmlJournal&) = delete;

    // Where a child node or an attribute stands now (parent and next sibling, or detached).
    void position(xmlNodePtr node);
    // A node that did not exist before the change: linking it is undone by detaching it.
    void created(xmlNodePtr node);
    // The value of a text, CDATA section, comment or processing instruction.
    void content(xmlNodePtr node);
    // An element's name and namespace.
    void name(xmlNodePtr node);
    // The declaration an element or attribute points to.
    void pointer(xmlNodePtr node);
    // An element's own declarations, in order.
    void declarations(xmlNodePtr element);
    // The namespace name of one of `element`'s declarations.
    void href(xmlNodePtr element, xmlNsPtr declaration);
    // Takes the attribute's value nodes into the journal (the attribute is left empty): they
    // may hold entity references, which a copied string would lose.
    void attributeValue(xmlAttrPtr attribute);
    // Whether a created element still waits for the namespace of the place it is linked to.
    void unplaced(xmlNodePtr node);
    // The document type declaration the document points to.
    void internalSubset();

    bool empty() const { return m_entries.empty(); }
    size_t size() const { return m_entries.size(); }
    // What the entries hold: their own size and the values they keep, not the removed subtrees
    // (those belong to the storage, which keeps them while any handle may show them).
    size_t bytes() const { return m_bytes; }
    const std::shared_ptr<XmlStorage>& storage() const { return m_storage; }

    // What applying entries touched, as it is afterwards: the containers of the first and the
    // last change as they were recorded, and the node the first change was made to when it is in
    // the document now (else its container), for a window to show.
    struct Touched {
        xmlNodePtr first = nullptr;
        xmlNodePtr last = nullptr;
        xmlNodePtr focus = nullptr;
    };
    // Applies the entries from `end` down to `begin` (undo) or from `begin` up to `end` (redo),
    // telling the storage's listeners before each container changes.
    Touched apply(bool backwards, size_t begin, size_t end);
    Touched apply(bool backwards) { return apply(backwards, 0, m_entries.size()); }
    // Undoes the entries from `mark` on and forgets them.
    void rollBackTo(size_t mark);

private:
    enum class Kind : unsigned char {
        Position,
        Content,
        Name,
        Pointer,
        Declarations,
        Href,
        AttributeValue,
        Unplaced,
        InternalSubset
    };
    struct Entry {
        Entry(Kind k, xmlNodePtr n, xmlNodePtr o = nullptr, xmlNodePtr nx = nullptr)
            : kind(k), node(n), other(o), next(nx) {}
        Kind kind;
        bool flag = false;          // Content: the value is set; Unplaced: the element waits
        xmlNodePtr node = nullptr;  // what changed (the element of Declarations and Href)
        xmlNodePtr other = nullptr; // Position: parent; AttributeValue: the held value nodes
        xmlNodePtr next = nullptr;  // Position: next sibling
        xmlNsPtr ns = nullptr;      // Name, Pointer: the declaration; Href: the declaration
        QByteArray text;            // Content, Name, Href
        std::vector<xmlNsPtr> list; // Declarations
    };
    static size_t footprint(const Entry& entry);
    void add(Entry entry);
    void swap(Entry& entry);
    xmlNodePtr container(const Entry& entry) const;

    std::shared_ptr<XmlStorage> m_storage;
    std::vector<Entry> m_entries;
    size_t m_bytes = 0;
};

} // namespace xmlimpl
