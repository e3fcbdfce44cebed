#include "search/queryjob.h"

#include "platform/errors.h"
#include "search/backgroundrelease.h"

std::shared_ptr<QueryJob> QueryJob::Start(XmlDocument source, const QString& query,
                                          std::function<void()> finished) {
    auto job = std::make_shared<QueryJob>();
    job->m_result.source = std::move(source);
    job->m_finished = std::move(finished);
    BackgroundWork::Start([job, query] { job->run(query); });
    return job;
}

void QueryJob::run(const QString& query) {
    Result result;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        result.source = m_result.source;
    }
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
    Result dropped; // released here, after the lock, when nobody wants it any more
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned) {
        dropped = std::move(result);
        return;
    }
    m_result = std::move(result);
    m_ready = true;
    // Told under the lock: once Abandon has returned, the one told is never called again.
    if (m_finished)
        m_finished();
    m_finished = nullptr;
}

std::optional<QueryJob::Result> QueryJob::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned || !m_ready)
        return std::nullopt;
    m_ready = false;
    m_abandoned = true; // taken once
    return std::move(m_result);
}

void QueryJob::Abandon() {
    Result left;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            return;
        m_abandoned = true;
        left = std::move(m_result);
        m_result = {};
        m_finished = nullptr;
    }
    m_stop.request();
    BackgroundWork::Release(std::move(left));
}

bool QueryJob::Abandoned() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_abandoned;
}
