// XPath 1.0 selection from a node.

#include "platform/xml/xmlquery.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmllibrary.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

using namespace xmlimpl;

void XmlQueryStop::request() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requested.store(true);
    // The evaluating thread reads this word at every step; an aligned store of it is seen whole.
    if (m_context)
        __atomic_store_n(&m_context->opLimit, 1UL, __ATOMIC_RELAXED);
}

bool XmlQueryStop::attach(_xmlXPathContext* context) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_context = context;
    return !m_requested.load();
}

void XmlQueryStop::detach() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_context = nullptr;
}

namespace {

xmlNsPtr defaultDeclaration(xmlNodePtr root) {
    for (xmlNsPtr ns = root ? root->nsDef : nullptr; ns; ns = ns->next) {
        if (!ns->prefix && ns->href && ns->href[0])
            return ns;
    }
    return nullptr;
}

bool isXmlDeclarationNode(xmlNodePtr n) {
    return n->type == XML_PI_NODE && n->parent && n->parent->type == XML_DOCUMENT_NODE &&
           xmlStrEqual(n->name, BAD_CAST "xml");
}

QByteArray defaultPrefixFor(xmlNodePtr root) {
    auto declared = [root](const QByteArray& prefix) {
        for (xmlNsPtr ns = root->nsDef; ns; ns = ns->next) {
            if (ns->prefix && prefix == reinterpret_cast<const char*>(ns->prefix))
                return true;
        }
        return false;
    };
    QByteArray prefix("d");
    for (int n = 1; declared(prefix); ++n)
        prefix = "d" + QByteArray::number(n);
    return prefix;
}

// Prefixes declared on the document element can be used in the query as they are, and its
// default namespace under a prefix of its own (XPath 1.0 has no default namespace).
void registerNamespaces(xmlXPathContextPtr context, xmlNodePtr root) {
    if (!root)
        return;
    for (xmlNsPtr ns = root->nsDef; ns; ns = ns->next) {
        if (ns->prefix)
            xmlXPathRegisterNs(context, ns->prefix, ns->href);
    }
    if (xmlNsPtr ns = defaultDeclaration(root))
        xmlXPathRegisterNs(context, xc(defaultPrefixFor(root)), ns->href);
}

// The XML declaration is a node of this layer's only: to XPath the document begins with what
// follows it. It is out of the tree while a query is evaluated, so positions, counts and axes
// never see it.
class DeclarationHidden {
public:
    explicit DeclarationHidden(xmlDocPtr doc) {
        xmlNodePtr first = doc->children;
        if (!first || !isXmlDeclarationNode(first))
            return;
        m_doc = doc;
        m_declaration = first;
        doc->children = first->next;
        if (first->next)
            first->next->prev = nullptr;
        else
            doc->last = nullptr;
    }
    ~DeclarationHidden() {
        if (!m_declaration)
            return;
        if (m_doc->children)
            m_doc->children->prev = m_declaration;
        else
            m_doc->last = m_declaration;
        m_doc->children = m_declaration;
    }
    DeclarationHidden(const DeclarationHidden&) = delete;
    DeclarationHidden& operator=(const DeclarationHidden&) = delete;

private:
    xmlDocPtr m_doc = nullptr;
    xmlNodePtr m_declaration = nullptr;
};

// A namespace node of a result is a copy XPath made, its `next` the element it belongs to; the
// node shown is the declaration it copies (the XML namespace has none written: its own).
XmlNode namespaceNode(xmlNsPtr copy, const std::shared_ptr<XmlStorage>& storage) {
    auto* element = reinterpret_cast<xmlNodePtr>(copy->next);
    if (!element || element->type != XML_ELEMENT_NODE)
        return {};
    xmlNsPtr declaration = xmlSearchNs(storage->doc, element, copy->prefix);
    return declaration ? XmlNode(element, storage, declaration) : XmlNode();
}

} // namespace

QString DefaultNamespacePrefix(const XmlNode& documentElement) {
    xmlNodePtr root = documentElement.raw();
    if (!root || root->type != XML_ELEMENT_NODE || !defaultDeclaration(root))
        return {};
    return QString::fromLatin1(defaultPrefixFor(root));
}

XmlNodeList SelectNodes(const XmlNode& node, const QString& query, XmlQueryStop* stop) {
    if (node.isNull())
        throw MissingObjectError();
    if (node.isNamespaceDeclaration())
        return {};
    const std::shared_ptr<XmlStorage>& storage = node.storage();
    xmlDocPtr doc = storage->doc;
    ErrorCapture capture;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context)
        throw XmlError(QStringLiteral("Out of memory"));
    struct ContextOwner {
        xmlXPathContextPtr context;
        XmlQueryStop* stop;
        ~ContextOwner() {
            if (stop)
                stop->detach();
            xmlXPathFreeContext(context);
        }
    } owner{context, stop};
    context->node = node.raw();
    registerNamespaces(context, xmlDocGetRootElement(doc));
    if (stop && !stop->attach(context))
        throw XmlQueryStopped();
    const QByteArray q = query.toUtf8();
    xmlXPathObjectPtr result = nullptr;
    {
        // Nothing else reads the document meanwhile; the declaration is back before it is asked.
        std::lock_guard<std::mutex> one(storage->queryMutex);
        storage->readerGate.stopReader();
        DeclarationHidden hidden(doc);
        result = xmlXPathEvalExpression(xc(q), context);
    }
    if (stop && stop->requested()) {
        xmlXPathFreeObject(result);
        throw XmlQueryStopped();
    }
    if (!result) {
        throw XmlError(capture.have ? capture.reason
                                    : QStringLiteral("The query could not be evaluated."));
    }
    if (result->type != XPATH_NODESET) {
        xmlXPathFreeObject(result);
        throw XmlError(QStringLiteral("Expression does not evaluate to a node-set."));
    }
    std::vector<XmlNode> nodes;
    if (xmlNodeSetPtr set = result->nodesetval) {
        nodes.reserve(static_cast<size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNodePtr n = set->nodeTab[i];
            if (n->type != XML_NAMESPACE_DECL)
                nodes.emplace_back(n, storage);
            else if (XmlNode declaration = namespaceNode(reinterpret_cast<xmlNsPtr>(n), storage))
                nodes.push_back(std::move(declaration));
        }
    }
    xmlXPathFreeObject(result);
    return XmlNodeList(std::move(nodes));
}

XmlNodeList XmlNode::selectNodes(const QString& query) const {
    return SelectNodes(*this, query, nullptr);
}

XmlNode XmlNode::selectSingleNode(const QString& query) const {
    return selectNodes(query).item(0);
}
