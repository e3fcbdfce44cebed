#pragma once

// What a parse lets through beyond libxml2's defaults, and what it still refuses.
//
// Without XML_PARSE_HUGE libxml2 refuses documents nested more than 256 deep and any text,
// attribute value, comment or CDATA section over 10 MB, so the editor could save files it then
// refused. Every document is parsed with that option; it also switches off libxml2's guards
// against entities that expand to enormous texts, which this guard takes over. What remains is
// the depth the platform's stack allows (libxml2 copies a subtree by recursion), the same for
// loading and for edits.

#include <libxml/parser.h>

#include <QString>
#include <memory>
#include <vector>

namespace xmlimpl {

// The deepest nesting of elements a document may have to be opened or made by an edit.
constexpr int kMaxDepth = 10000;
// Why an edit that would nest deeper is refused, and a document that does is not opened.
QString DepthRefusal();

class ParseGuard {
public:
    // Takes over `ctxt`'s entity look-up; must outlive the parse.
    explicit ParseGuard(xmlParserCtxtPtr ctxt);
    ~ParseGuard();
    ParseGuard(const ParseGuard&) = delete;
    ParseGuard& operator=(const ParseGuard&) = delete;

    // The parse reached an element `depth` levels deep, declaring `count` namespaces (prefix and
    // value each); past kMaxDepth it is stopped and refused.
    void enterElement(int depth, int count, const xmlChar** namespaces);

    // What the document means once its entities are known, checked after libxml2 found it
    // well-formed: no declared entity expands beyond all proportion, and each namespace
    // declaration names the namespace its value expands to (libxml2 keeps a reference in it as
    // written, which would move every name in its scope to another namespace on save). Returns
    // false when the document is refused, with the reason and where.
    bool check(xmlDocPtr doc);

    // Set when the guard stopped the parse, with where it was.
    bool refused() const { return !m_reason.isEmpty(); }
    const QString& reason() const { return m_reason; }
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    static xmlEntityPtr getEntity(void* context, const xmlChar* name);
    void refuse(const QString& reason);
    xmlEntityPtr placeholder(const xmlChar* name);

    xmlParserCtxtPtr m_ctxt;
    getEntitySAXFunc m_getEntity;
    // Text that entities expanded to inside attribute values, where libxml2 expands them whole
    // once to check them.
    unsigned long long m_expanded = 0;
    std::vector<std::unique_ptr<xmlEntity>> m_placeholders;
    // A namespace value holds a reference: check() has values to expand.
    bool m_namespaceReferences = false;
    QString m_reason;
    int m_line = 0;
    int m_column = 0;
};

} // namespace xmlimpl
