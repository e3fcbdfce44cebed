#pragma once

// Attributes as libxml2 holds them, for tests that compare a tree of ours with libxml2's own.

#include <libxml/tree.h>

#include <string>
#include <vector>

namespace xmltesting {

// One attribute as libxml2 holds it: its name, namespace, type and value nodes.
inline std::string describe(xmlAttrPtr a) {
    std::string out = a->ns ? std::string(reinterpret_cast<const char*>(a->ns->href)) + "|" : "";
    out += reinterpret_cast<const char*>(a->name);
    out += " type=" + std::to_string(a->atype) + " =";
    for (xmlNodePtr c = a->children; c; c = c->next) {
        out += " [" + std::to_string(c->type) + " " + reinterpret_cast<const char*>(c->name);
        if (c->content)
            out += std::string(" ") + reinterpret_cast<const char*>(c->content);
        out += "]";
        if (c->parent != reinterpret_cast<xmlNodePtr>(a) || (!c->next && a->last != c))
            out += " (misplaced)";
    }
    return out;
}

// Every attribute of every element in document order, checking the links both ways.
inline std::vector<std::string> attributesOf(xmlDocPtr doc) {
    std::vector<std::string> out;
    std::vector<xmlNodePtr> stack{xmlDocGetRootElement(doc)};
    while (!stack.empty()) {
        xmlNodePtr e = stack.back();
        stack.pop_back();
        xmlAttrPtr prev = nullptr;
        for (xmlAttrPtr a = e->properties; a; prev = a, a = a->next) {
            out.push_back(describe(a));
            if (a->prev != prev || a->parent != e)
                out.push_back("broken link before " + describe(a));
        }
        for (xmlNodePtr c = e->last; c; c = c->prev) {
            if (c->type == XML_ELEMENT_NODE)
                stack.push_back(c);
        }
    }
    return out;
}

// `count` attributes named a0, a1, ... with the given extra attributes among them.
inline std::string manyAttributes(int count, const std::string& extra = {}) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += " a" + std::to_string(i) + "=\"value " + std::to_string(i) + "\"";
        if (i == count / 2)
            out += extra;
    }
    return out;
}

} // namespace xmltesting
