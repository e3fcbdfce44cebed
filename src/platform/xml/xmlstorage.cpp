#include "platform/xml/xmlstorage.h"

#include <algorithm>
#include <atomic>

namespace {
quint64 nextRevision() {
    // Documents are also made on worker threads (copies for readers).
    static std::atomic<quint64> counter{0};
    return ++counter;
}
} // namespace

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

void XmlStorage::notifyChange(xmlNodePtr container) {
    readerGate.stopReader();
    previousRevision = revision;
    revision = nextRevision();
    if (listeners.empty() || !container)
        return;
    // Listeners may remove themselves while being told.
    const auto copy = listeners;
    const XmlNode handle(container, shared_from_this());
    for (XmlChangeListener* l : copy) {
        if (std::find(listeners.begin(), listeners.end(), l) != listeners.end())
            l->aboutToChange(handle);
    }
}

std::shared_ptr<XmlStorage> xmlimpl::newStorage(xmlDocPtr doc) {
    auto storage = std::make_shared<XmlStorage>(doc);
    storage->revision = nextRevision();
    return storage;
}
