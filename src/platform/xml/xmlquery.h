#pragma once

#include "platform/xml/xmlnode.h"

#include <QString>
#include <atomic>
#include <mutex>

struct _xmlXPathContext;

// Lets another thread stop a query while libxml2 evaluates it. Evaluation cannot be interrupted
// by a call, but libxml2 checks its context's operation limit at every step of the evaluation,
// so lowering that limit ends the query at its next step with an error.
class XmlQueryStop {
public:
    // From any thread: the running query (or the next one started with this stop) ends soon.
    void request();
    bool requested() const { return m_requested.load(); }

private:
    friend XmlNodeList SelectNodes(const XmlNode&, const QString&, XmlQueryStop*);
    bool attach(_xmlXPathContext* context);
    void detach();

    std::atomic<bool> m_requested{false};
    std::mutex m_mutex;
    _xmlXPathContext* m_context = nullptr;
};

// Thrown by a query that was stopped.
class XmlQueryStopped : public std::exception {
public:
    const char* what() const noexcept override { return "The query was stopped."; }
};

// XPath 1.0 from `context`, as XmlNode::selectNodes, stoppable through `stop` (may be null).
// The document must not change while the query runs; it may run on any thread.
XmlNodeList SelectNodes(const XmlNode& context, const QString& query, XmlQueryStop* stop);

// The prefix under which queries reach the default namespace of the document element, empty when
// it has none: "d", or "d1", "d2"... when the document element declares "d" itself.
QString DefaultNamespacePrefix(const XmlNode& documentElement);
