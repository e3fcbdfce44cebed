#include "search/queryjob.h"

#include "platform/work/asidework.h"

std::shared_ptr<QueryJob> QueryJob::Start(XmlDocument source, const QString& query,
                                          std::function<void()> finished) {
    auto job = std::make_shared<QueryJob>(std::move(finished));
    AsideWork::Start(
        [job, source = std::move(source), query]() mutable { job->run(std::move(source), query); });
    return job;
}

void QueryJob::run(XmlDocument source, const QString& query) {
    Result result;
    result.source = std::move(source);
    const std::optional<QString> failure = FailureOf([&] {
        try {
            result.nodes = SelectNodes(result.source.asNode(), query, &m_stop);
        } catch (const XmlQueryStopped&) {
        }
    });
    result.failed = failure.has_value();
    result.error = failure.value_or(QString());
    m_outcome.Deliver(std::move(result));
}

void QueryJob::Abandon() {
    if (m_outcome.Abandon())
        m_stop.request();
}
