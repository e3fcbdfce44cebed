#pragma once

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlquery.h"
#include "platform/work/joboutcome.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// One query run on a worker thread against a snapshot that the job holds a reference to, so
// the window can go on (and even close) while it runs. Abandoning it stops the evaluation at
// its next step; whatever the job still holds is then released on the worker or, when the
// result had already come in, on a thread of its own: never on the user-interface thread.
class QueryJob {
public:
    struct Result {
        XmlDocument source; // the snapshot the nodes belong to
        XmlNodeList nodes;
        bool failed = false;
        QString error; // the XML layer's description when failed
    };

    // Starts the query. `finished` is called on the worker thread once a result is ready to be
    // taken, never after Abandon has returned; it must only post a message.
    static std::shared_ptr<QueryJob> Start(XmlDocument source, const QString& query,
                                           std::function<void()> finished);
    explicit QueryJob(std::function<void()> finished) : m_outcome(std::move(finished)) {}

    // The result, once; nothing when the job was abandoned or is still running.
    std::optional<Result> Take() { return m_outcome.Take(); }
    void Abandon();
    bool Abandoned() const { return m_outcome.Abandoned(); }

private:
    void run(XmlDocument source, const QString& query);

    JobOutcome<Result> m_outcome;
    XmlQueryStop m_stop;
};
