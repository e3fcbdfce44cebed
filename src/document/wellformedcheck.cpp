#include "document/wellformedcheck.h"

#include "platform/xml/xmlwellformed.h"

#include <algorithm>

WellFormedCheck::WellFormedCheck(Text text, QObject* parent)
    : QObject(parent), m_text(std::move(text)) {
    m_pause.setSingleShot(true);
    m_pause.setInterval(kPause);
    connect(&m_pause, &QTimer::timeout, this, &WellFormedCheck::start);
}

// A worker's answer is posted to this object, which must therefore outlive every worker.
WellFormedCheck::~WellFormedCheck() {
    for (const auto& job : m_jobs)
        job->RequestStop();
    for (const auto& job : m_jobs) {
        try {
            job->Wait();
        } catch (...) {
        }
    }
}

void WellFormedCheck::Forget() {
    m_pause.stop();
    ++m_generation;
    for (const auto& job : m_jobs)
        job->RequestStop();
}

bool WellFormedCheck::Pending() const {
    return m_pause.isActive() ||
           std::any_of(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return !job->Finished(); });
}

// The text is copied here, at the cost of one pass over it; a check reads only its own copy.
void WellFormedCheck::start() {
    Forget();
    std::erase_if(m_jobs, [](const auto& job) { return job->Finished(); });
    if (!m_text.typed()) {
        emit untyped();
        return;
    }
    const quint64 generation = m_generation;
    m_jobs.push_back(AsideWork::Start(
        [this, generation, text = m_text.copy()](WorkProgress& progress) {
            const XmlWellFormedness answer = CheckWellFormed(text, &progress.stop);
            if (answer.stopped)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, error = answer.wellFormed ? XmlParseError() : answer.error] {
                    if (generation == m_generation)
                        emit checked(error);
                },
                Qt::QueuedConnection);
        }));
}
