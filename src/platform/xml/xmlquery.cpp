// XPath 1.0 selection from a node.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

using namespace xmlimpl;

XmlNodeList XmlNode::selectNodes(const QString& query) const {
    requireNode();
    if (m_ns)
        return {};
    xmlDocPtr doc = m_storage->doc;
    ErrorCapture capture;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context)
        throw XmlError(QStringLiteral("Out of memory"));
    context->node = m_node;
    // Prefixes declared on the document element can be used in the query as they are.
    if (xmlNodePtr root = xmlDocGetRootElement(doc)) {
        for (xmlNsPtr ns = root->nsDef; ns; ns = ns->next) {
            if (ns->prefix)
                xmlXPathRegisterNs(context, ns->prefix, ns->href);
        }
    }
    const QByteArray q = query.toUtf8();
    xmlXPathObjectPtr result = xmlXPathEvalExpression(xc(q), context);
    xmlXPathFreeContext(context);
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
            if (n->type != XML_NAMESPACE_DECL)
                nodes.emplace_back(n, m_storage);
        }
    }
    xmlXPathFreeObject(result);
    return XmlNodeList(std::move(nodes));
}

XmlNode XmlNode::selectSingleNode(const QString& query) const {
    return selectNodes(query).item(0);
}
