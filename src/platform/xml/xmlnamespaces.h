#pragma once

#include <libxml/tree.h>

#include <QString>
#include <unordered_set>
#include <vector>

namespace xmlimpl {

class XmlJournal;
// Nodes whose start tag a change made here must be written afresh (XmlStorage::touched).
using ChangedNodes = std::unordered_set<xmlNodePtr>;

// Namespaces. Names are kept lexically exact: every element and attribute refers to the
// declaration its prefix finds in scope, so the serialisation means what the DOM holds.
//
// The declaration `prefix` (nullptr: the default namespace) finds from `element` upwards, its
// own declarations first; nullptr when there is none. An `xmlns=""` is returned as it is.
xmlNsPtr declarationInScope(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix);
// Throws XmlError unless the name is an NCName or prefix:NCName (the prefix not "xmlns").
void checkQualifiedName(const QString& qualifiedName, bool attribute);
// The namespace a qualified name of `element` (or of its attribute) gets under `parent`, the
// element's own declarations first: a prefix must be declared (XmlError otherwise), an
// unprefixed element name takes the default namespace, an unprefixed attribute none. Nothing is
// changed. `element` may be nullptr, `parent` the document or nullptr.
xmlNsPtr namespaceForName(xmlDocPtr doc, xmlNodePtr element, xmlNodePtr parent,
                          const QString& qualifiedName, bool attribute);
// After `node` was linked at a new place: every element and attribute of its subtree keeps its
// namespace, with declarations added only where the new place does not already give it. Each
// repoint and added declaration goes to `journal` when there is one.
void keepNamespaces(xmlDocPtr doc, xmlNodePtr node, XmlJournal* journal,
                    ChangedNodes* changed = nullptr);
// The declaration each prefix finds at `place` (an element, the document or nullptr), by address:
// a subtree whose names were right in one place is right in any place with the same list.
std::vector<xmlNsPtr> declarationsInScope(xmlNodePtr place);
// The same for the attributes of `element` alone: declarations it needs go on the element, with
// prefixes no descendant can be using.
void keepAttributeNamespaces(xmlDocPtr doc, xmlNodePtr element, XmlJournal* journal,
                             ChangedNodes* changed = nullptr);
// After libxml2 copied `original` to `copy`: every copied name has the namespace of its original.
// libxml2 looks a copied name's declaration up by prefix, in the copy and above the original; a
// subtree held outside the tree points to declarations above the place it was taken from, which
// neither look-up reaches, and libxml2 then drops an attribute's namespace or gives an element a
// made-up prefix. A declaration the copy lacks goes on its root; where the root binds that
// prefix otherwise, the copy points to the original's declaration when `sameDocument` (the
// place it is linked to declares it), else to a fresh prefix.
void keepCopiedNamespaces(xmlNodePtr original, xmlNodePtr copy, bool sameDocument);
// Throws XmlError when declaring `prefix` as `href` on `element` (href nullptr: removing its
// declaration) would change the namespace of any name in its scope.
void checkDeclarationChange(xmlDocPtr doc, xmlNodePtr element, const xmlChar* prefix,
                            const xmlChar* href);

} // namespace xmlimpl
