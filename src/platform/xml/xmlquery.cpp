// XPath 1.0 selection from a node.

#include "platform/xml/xmlquery.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

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
    xmlXPathObjectPtr result = xmlXPathEvalExpression(xc(q), context);
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
            // Namespace nodes are copies made for the query; they have no place in the tree.
            // The XML declaration is kept as a node by this layer only: to XPath it is none.
            if (n->type != XML_NAMESPACE_DECL && !isXmlDeclarationNode(n))
                nodes.emplace_back(n, storage);
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
