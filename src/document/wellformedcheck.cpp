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
    m_copied = -1;
    m_copy.clear();
    for (const auto& job : m_jobs)
        job->RequestStop();
}

void WellFormedCheck::TextEdited() {
    m_pause.start();
    // What was copied is not the text any more.
    m_copied = -1;
    m_copy.clear();
}

bool WellFormedCheck::Pending() const {
    return m_pause.isActive() || m_copied >= 0 ||
           std::any_of(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return !job->Finished(); });
}

void WellFormedCheck::start() {
    Forget();
    std::erase_if(m_jobs, [](const auto& job) { return job->Finished(); });
    if (!m_text.typed()) {
        emit untyped();
        return;
    }
    m_copy = QByteArray(m_text.length(), Qt::Uninitialized);
    m_copied = 0;
    copyPiece();
}

// A piece at a time: a hundred megabytes copied at once, into memory the system has yet to hand
// over, would hold the window up for a tenth of a second or more. An edit meanwhile ends the copy.
void WellFormedCheck::copyPiece() {
    if (m_copied < 0)
        return;
    constexpr qsizetype kPiece = qsizetype(4) << 20;
    const qsizetype count = std::min(kPiece, m_copy.size() - m_copied);
    m_text.copy(m_copied, count, m_copy.data() + m_copied);
    m_copied += count;
    if (m_copied < m_copy.size()) {
        QTimer::singleShot(0, this, &WellFormedCheck::copyPiece);
        return;
    }
    m_copied = -1;
    const quint64 generation = m_generation;
    m_jobs.push_back(AsideWork::Start(
        [this, generation, text = std::exchange(m_copy, QByteArray())](WorkProgress& progress) {
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
