#pragma once

#include "platform/work/asidework.h"
#include "platform/xml/xmlgrammar.h"
#include "platform/xml/xmlvalidation.h"

// The grammar completion uses for the Document: the one validation would use, read aside and kept
// while its sources stay the same and no file it read changed; else the one learned from the
// Document, learned again once the Document changed.
class CompletionGrammar {
public:
    CompletionGrammar() = default;
    ~CompletionGrammar();
    CompletionGrammar(const CompletionGrammar&) = delete;
    CompletionGrammar& operator=(const CompletionGrammar&) = delete;

    // Starts reading the grammar aside when it is not read yet (after a document was loaded).
    void Prefetch(const XmlDocument& document, const XmlValidationRequest& request);
    // The grammar now; waits for a read that runs aside. Never null.
    GrammarPtr For(const XmlDocument& document, const XmlValidationRequest& request);

    // A large document's grammar is learned from this many elements at most, which keeps it
    // quick enough to learn while the user waits.
    static constexpr qsizetype kLearnLimit = 200000;

private:
    void start(GrammarSources sources);

    QString m_key;
    GrammarPtr m_read; // null: the sources gave none (or it could not be read)
    bool m_readDone = false;
    std::shared_ptr<AsideWork> m_job;
    std::shared_ptr<GrammarPtr> m_jobResult;
    GrammarPtr m_learned;
    XmlDocumentStamp m_learnedFrom;
};
