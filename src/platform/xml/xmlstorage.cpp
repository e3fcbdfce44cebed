#include "platform/xml/xmlstorage.h"

#include <libxml/uri.h>

#include <algorithm>
#include <atomic>

quint64 xmlimpl::nextRevision() {
    // Documents are also made on worker threads (copies for readers).
    static std::atomic<quint64> counter{0};
    return ++counter;
}

XmlStorage::~XmlStorage() {
    for (xmlNodePtr n : detached) {
        if (n->type == XML_ATTRIBUTE_NODE)
            xmlFreeProp(reinterpret_cast<xmlAttrPtr>(n));
        else
            xmlFreeNode(n);
    }
    for (xmlNsPtr ns : removedDeclarations)
        xmlFreeNs(ns);
    xmlFreeDoc(doc);
}

std::shared_ptr<XmlStorage> xmlimpl::newStorage(xmlDocPtr doc) {
    auto storage = std::make_shared<XmlStorage>(doc);
    storage->revision = xmlimpl::nextRevision();
    return storage;
}

bool xmlimpl::isRereadableNamespaceName(const QByteArray& uri) {
    QByteArray held = uri;
    held.replace("&", "&#38;");
    xmlURIPtr parsed = xmlParseURI(held.constData());
    xmlFreeURI(parsed);
    return parsed != nullptr;
}
