#include "platform/xml/xmlsourcetracker.h"

#include "platform/xml/xmlorigin.h"

#include <libxml/parserInternals.h>

namespace xmlimpl {

namespace {
// Just past the closing quote of the encoding named in an XML declaration at the start of `raw`;
// 0 without one.
qint64 encodingDeclarationEnd(const QByteArray& raw) {
    const qsizetype close = raw.indexOf("?>");
    const qsizetype name = raw.indexOf("encoding");
    if (!raw.startsWith("<?xml") || name < 0 || (close >= 0 && name > close))
        return 0;
    qsizetype at = raw.indexOf('=', name);
    while (at >= 0 && ++at < raw.size() && raw.at(at) != '"' && raw.at(at) != '\'') {
    }
    if (at < 0 || at >= raw.size())
        return 0;
    const qsizetype end = raw.indexOf(raw.at(at), at + 1);
    return end < 0 ? 0 : end + 1;
}
} // namespace

// When the XML declaration names an encoding other than the one the first bytes showed, libxml2
// decodes afresh from its closing quote and counts from 0 again there.
qint64 SourceTracker::position() {
    xmlParserInputPtr input = m_ctxt->input;
    if (m_delta < 0) {
        const bool switched = input->buf && input->buf->encoder;
        m_delta = switched && m_rawStart ? encodingDeclarationEnd(*m_rawStart) : 0;
    }
    return m_delta + qint64(input->consumed) + (input->cur - input->base);
}

void SourceTracker::mark(xmlNodePtr node, qint64 lead) {
    if (node && leadOf(node) < 0)
        setLead(node, lead);
}

} // namespace xmlimpl
