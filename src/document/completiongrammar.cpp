#include "document/completiongrammar.h"

#include "platform/xml/xmlstorage.h"

CompletionGrammar::~CompletionGrammar() {
    if (m_job)
        m_job->RequestStop();
}

void CompletionGrammar::start(GrammarSources sources) {
    if (m_job)
        m_job->RequestStop();
    m_key = sources.key();
    m_read.reset();
    m_readDone = false;
    m_jobResult = std::make_shared<GrammarPtr>();
    m_job = AsideWork::Start(
        [sources = std::move(sources), result = m_jobResult]() { *result = sources.read(); });
}

void CompletionGrammar::Prefetch(const XmlDocument& document, const XmlValidationRequest& request) {
    GrammarSources sources(document, request);
    if (sources.none() || (sources.key() == m_key && (m_job || (m_read && m_read->stillCurrent()))))
        return;
    start(std::move(sources));
}

GrammarPtr CompletionGrammar::For(const XmlDocument& document,
                                  const XmlValidationRequest& request) {
    GrammarSources sources(document, request);
    if (!sources.none()) {
        if (sources.key() != m_key || (m_readDone && m_read && !m_read->stillCurrent()))
            start(std::move(sources));
        if (m_job) {
            try {
                m_job->Wait();
                m_read = *m_jobResult;
            } catch (...) {
                m_read.reset();
            }
            m_job.reset();
            m_readDone = true;
        }
        if (m_read)
            return m_read;
    }
    if (document.isNull())
        return GrammarLearned(nullptr);
    if (!m_learned || !m_learnedFrom.isCurrentFor(document)) {
        m_learned = GrammarLearned(document.isNull() ? nullptr : document.asNode().storage()->doc,
                                   kLearnLimit);
        m_learnedFrom = XmlDocumentStamp(document);
    }
    return m_learned;
}
