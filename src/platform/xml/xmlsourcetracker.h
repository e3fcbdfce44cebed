#pragma once

// Gives each node a parse makes its place in the source (xmlorigin.h), from the parser's position
// at the events that end each piece of markup. libxml2's position is exact there (just past a
// start tag's attributes, an end tag, a comment, a processing instruction, a CDATA section or a
// reference) but not after text, which it reports sometimes before and sometimes after the bytes;
// so a node's lead is the end of the markup before it, and text needs no end of its own.

#include <libxml/parser.h>

#include <QByteArray>

namespace xmlimpl {

class SourceTracker {
public:
    // `rawStart` (optional): the first bytes of the source as read, before decoding, filled in by
    // the time the first node is made.
    explicit SourceTracker(xmlParserCtxtPtr ctxt, const QByteArray* rawStart = nullptr)
        : m_ctxt(ctxt), m_rawStart(rawStart) {}

    // Whether events on `ctxt` are the document's own (not an entity's content).
    bool tracks(xmlParserCtxtPtr ctxt) const {
        return ctxt == m_ctxt && ctxt->inputNr == 1 && ctxt->inSubset == 0;
    }
    // Where the next piece of markup may start: just past the one before.
    qint64 lead() const { return m_lastEnd; }
    // Text: the lead of the run it begins, kept until markup ends the run.
    qint64 textLead() {
        if (!m_inText) {
            m_textLead = m_lastEnd;
            m_inText = true;
        }
        return m_textLead;
    }
    // The parser's position now, in bytes of the decoded source.
    qint64 position();
    // Markup ended at the position now (`plus` bytes further on).
    void markupEnds(qint64 plus = 0) {
        m_lastEnd = position() + plus;
        m_inText = false;
    }
    // Gives `node` the lead `lead` unless it has one (text that grew keeps its first).
    static void mark(xmlNodePtr node, qint64 lead);

private:
    xmlParserCtxtPtr m_ctxt;
    const QByteArray* m_rawStart;
    qint64 m_lastEnd = 0;
    qint64 m_textLead = 0;
    bool m_inText = false;
    qint64 m_delta = -1;
};

} // namespace xmlimpl
