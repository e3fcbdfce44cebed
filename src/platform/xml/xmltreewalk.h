#pragma once

// A walk over the elements of a subtree without recursion: documents nest 10,000 deep.

#include <libxml/tree.h>

namespace xmlimpl {

// Calls enter(element) for every element of the subtree in document order, before its children
// are walked (so it may change them), and leave(element) after them. A document root is walked
// through its children.
template <class Enter, class Leave> void walkElements(xmlNodePtr root, Enter enter, Leave leave) {
    xmlNodePtr n = root;
    while (n) {
        const bool element = n->type == XML_ELEMENT_NODE;
        if (element)
            enter(n);
        if ((element || n->type == XML_DOCUMENT_NODE) && n->children) {
            n = n->children;
            continue;
        }
        if (element)
            leave(n);
        while (n != root && !n->next) {
            n = n->parent;
            if (n->type == XML_ELEMENT_NODE)
                leave(n);
        }
        n = n == root ? nullptr : n->next;
    }
}

} // namespace xmlimpl
