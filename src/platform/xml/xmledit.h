#pragma once

#include <libxml/tree.h>

#include <QByteArray>
#include <QString>
#include <initializer_list>

struct XmlStorage;

namespace xmlimpl {

// An element made by createElement gets the namespace its name has at the place it is first
// linked to, worked out before anything changes, so that an undeclared prefix changes nothing.
struct Placement {
    bool pending = false;
    xmlNsPtr ns = nullptr;
    QByteArray localName;
};
Placement placementFor(XmlStorage& storage, xmlNodePtr node, xmlNodePtr parent);

// One change a DOM primitive makes, after its checks (which throw with nothing changed). Every
// primitive changes a document only through this, so each states its steps once: making the
// edit counts the change, stops the readers and tells the listeners for each container it
// touches; each piece of state goes into the open step's journal before it changes (without a
// step, the change ends the document's undo history); a node linked at a new place gets its
// names' namespaces repaired.
class XmlEdit {
public:
    XmlEdit(XmlStorage& storage, std::initializer_list<xmlNodePtr> containers);
    XmlEdit(const XmlEdit&) = delete;
    XmlEdit& operator=(const XmlEdit&) = delete;

    // Links `node` into `parent` before `ref` (at the end without one).
    void link(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr ref, const Placement& placement = {});
    // Takes `node` out of the tree; the storage keeps it for the handles that show it.
    void detach(xmlNodePtr node);
    // The value of a text, CDATA section, comment or processing instruction.
    void setContent(xmlNodePtr node, const QByteArray& utf8);
    void setAttributeValue(xmlAttrPtr attribute, const QString& value);
    // An element's name, and with `ns` its namespace.
    void setName(xmlNodePtr element, const QByteArray& name);
    void setName(xmlNodePtr element, const QByteArray& localName, xmlNsPtr ns);
    xmlAttrPtr addAttribute(xmlNodePtr element, xmlNsPtr ns, const QByteArray& localName,
                            const QByteArray& value);
    // A declaration of `element`: added, its namespace name changed, removed.
    xmlNsPtr addDeclaration(xmlNodePtr element, const QByteArray& href, const xmlChar* prefix);
    void setHref(xmlNodePtr element, xmlNsPtr declaration, const QByteArray& href);
    void removeDeclaration(xmlNodePtr element, xmlNsPtr declaration);
    // The attributes of `element` keep their namespaces, with the declarations they need.
    void repairAttributeNamespaces(xmlNodePtr element);
    // A declaration no node points to any more, which undoing may give back for a moment.
    void dropDeclaration(xmlNsPtr declaration);

private:
    void recordPosition(xmlNodePtr node);

    XmlStorage& m_storage;
};

} // namespace xmlimpl
