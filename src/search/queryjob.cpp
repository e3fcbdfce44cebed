#include "search/queryjob.h"

#include "platform/errors.h"
#include "search/backgroundrelease.h"

std::shared_ptr<QueryJob> QueryJob::Start(XmlDocument source, const QString& query,
                                          std::function<void()> finished) {
    auto job = std::make_shared<QueryJob>(std::move(finished));
    BackgroundWork::Start(
        [job, source = std::move(source), query]() mutable { job->run(std::move(source), query); });
    return job;
}

void QueryJob::run(XmlDocument source, const QString& query) {
    Result result;
    result.source = std::move(source);
    try {
        result.nodes = SelectNodes(result.source.asNode(), query, &m_stop);
    } catch (const XmlQueryStopped&) {
    } catch (const DescribedError& e) {
        result.failed = true;
        result.error = e.description();
    } catch (const std::exception& e) {
        result.failed = true;
        result.error = QString::fromLocal8Bit(e.what());
    }
    m_outcome.Deliver(std::move(result));
}

void QueryJob::Abandon() {
    if (m_outcome.Abandon())
        m_stop.request();
}
