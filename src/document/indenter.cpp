#include "document/indenter.h"

#include <algorithm>
#include <cstring>

namespace Indenter {

namespace {

bool startsWith(const char* begin, const char* end, const char* prefix, qsizetype length) {
    return end - begin >= length && std::memcmp(begin, prefix, length) == 0;
}

// The first `c` in [begin, end), or `end`.
const char* find(const char* begin, const char* end, char c) {
    const void* found = std::memchr(begin, c, end - begin);
    return found ? static_cast<const char*>(found) : end;
}

// A bare opening tag: its only "<" comes first, it has a ">" and no "/>". A processing
// instruction, comment or CDATA section ("<?", "<!") opens nothing: taking it for an opening tag
// would push every later line one level deeper for good, so that a document with a comment in
// every record would get ever longer runs of tabs, a text growing with the square of its length.
// Only the XML declaration on the first line counts as one: it can stand there once, and the
// lines after it are indented one level, as they always were.
bool isXmlDeclaration(const char* begin, const char* end) {
    return end - begin > 6 && std::memcmp(begin, "<?xml", 5) == 0 &&
           (begin[5] == ' ' || begin[5] == '\t' || begin[5] == '?');
}

bool isOpeningTag(const char* begin, const char* end) {
    if (end - begin < 2 || *begin != '<' || begin[1] == '?' || begin[1] == '!')
        return false;
    bool closes = false;
    for (const char* c = begin + 1; c < end; ++c) {
        if (*c == '<' || (*c == '>' && c[-1] == '/'))
            return false;
        closes = closes || *c == '>';
    }
    return closes;
}

// The indented text, built line by line. Each line is looked at once and only the line before
// it is ever read back, so the work stays linear in the text however deep the nesting is.
class IndentedText {
public:
    explicit IndentedText(qsizetype expectedSize) { m_out.reserve(expectedSize); }

    void addLine(const char* begin, const char* end, bool last) {
        if (last) {
            separate();
            m_out.append(begin, end - begin);
        } else if (startsWith(begin, end, "</", 2)) {
            --m_level;
            if (m_line == 0) {
                separate();
                m_out.append(begin, end - begin);
            } else if (previousOpens(begin + 2, end)) {
                // An empty element: its closing tag joins the opening tag's line.
                m_out.append(begin, end - begin);
                m_previousJoined = true;
            } else {
                addIndented(begin, end);
            }
        } else if (isOpeningTag(begin, end) || (m_line == 0 && isXmlDeclaration(begin, end))) {
            addIndented(begin, end);
            ++m_level;
        } else {
            addIndented(begin, end);
        }
        ++m_line;
    }

    QByteArray take() { return std::move(m_out); }

private:
    void separate() {
        // The break after an empty first line is dropped, so the text never starts with one.
        if (m_line == 1 && m_firstLineEmpty) {
            m_previousStart = m_out.size();
        } else if (m_line > 0) {
            m_out.append("\r\n", 2);
            m_previousStart = m_out.size();
        }
        m_previousJoined = false;
    }
    void addIndented(const char* begin, const char* end) {
        if (m_line == 0)
            m_firstLineEmpty = begin == end;
        separate();
        m_out.append(std::max<qsizetype>(m_level, 0), '\t');
        m_out.append(begin, end - begin);
    }
    // Whether the line before is the indentation of this level, "<" and `name` (what follows the
    // "</" of the closing tag being placed).
    bool previousOpens(const char* name, const char* nameEnd) const {
        if (m_previousJoined)
            return false;
        const qsizetype tabs = std::max<qsizetype>(m_level, 0);
        const qsizetype length = nameEnd - name;
        const char* previous = m_out.constData() + m_previousStart;
        if (m_out.size() - m_previousStart != tabs + 1 + length)
            return false;
        for (qsizetype i = 0; i < tabs; ++i) {
            if (previous[i] != '\t')
                return false;
        }
        return previous[tabs] == '<' && std::memcmp(previous + tabs + 1, name, length) == 0;
    }

    QByteArray m_out;
    qsizetype m_level = 0;
    qsizetype m_line = 0;
    qsizetype m_previousStart = 0;
    bool m_previousJoined = false;
    bool m_firstLineEmpty = false;
};

} // namespace

bool IsWhiteSpace(QByteArrayView strIn) {
    const char* c = strIn.data();
    const char* end = c + strIn.size();
    while (c < end) {
        if (*c == '\r' && end - c >= 2 && c[1] == '\n')
            c += 2;
        else if (*c == '\t' || *c == ' ')
            ++c;
        else
            return false;
    }
    return true;
}

QByteArray Indent(int IndentFactor) {
    return QByteArray(std::max(IndentFactor, 0), '\t');
}

QByteArray UnindentXML(QByteArrayView text) {
    // Line breaks between two tags go, then every tab; both only ever shorten the text, so the
    // rest of the work is done in place. The text is copied a line at a time.
    QByteArray out(text.size(), Qt::Uninitialized);
    char* w = out.data();
    const char* const textEnd = text.data() + text.size();
    const bool hasTabs = find(text.data(), textEnd, '\t') != textEnd;
    for (const char* r = text.data(); r < textEnd;) {
        const char* cr = find(r, textEnd, '\r');
        w = hasTabs ? std::remove_copy(r, cr, w, '\t') : std::copy(r, cr, w);
        if (cr == textEnd)
            break;
        const bool betweenTags =
            cr > text.data() && cr[-1] == '>' && textEnd - cr >= 3 && cr[1] == '\n' && cr[2] == '<';
        if (betweenTags) {
            r = cr + 2;
        } else {
            *w++ = '\r';
            r = cr + 1;
        }
    }
    char* const begin = out.data();
    const char* const end = w;
    w = begin;
    // Each piece before a "<" keeps what leads up to its first ">"; the text after that loses
    // its outer spaces, and all of it when it is only white space. The last piece stays.
    for (const char* r = begin;;) {
        const char* lt = static_cast<const char*>(std::memchr(r, '<', end - r));
        if (!lt) {
            std::memmove(w, r, end - r);
            w += end - r;
            break;
        }
        const char* gt = static_cast<const char*>(std::memchr(r, '>', lt - r));
        const char* tail = gt ? gt + 1 : r;
        std::memmove(w, r, tail - r);
        w += tail - r;
        const char* tailEnd = lt;
        while (tail < tailEnd && *tail == ' ')
            ++tail;
        while (tailEnd > tail && tailEnd[-1] == ' ')
            --tailEnd;
        if (!IsWhiteSpace(QByteArrayView(tail, tailEnd - tail))) {
            std::memmove(w, tail, tailEnd - tail);
            w += tailEnd - tail;
        }
        *w++ = '<';
        r = lt + 1;
    }
    out.truncate(w - begin);
    return out;
}

QByteArray IndentXML(QByteArrayView text) {
    const QByteArray stripped = UnindentXML(text);
    IndentedText out(stripped.size() + stripped.size() / 4);
    // Lines end at CR LF and between two adjacent tags; the next of each is looked up only once
    // the walk has passed the last one.
    const char* const end = stripped.constData() + stripped.size();
    const char* line = stripped.constData();
    const char* cr = find(line, end, '\r');
    const char* gt = find(line, end, '>');
    while (cr < end || gt < end) {
        if (cr < gt) {
            if (end - cr >= 2 && cr[1] == '\n') {
                out.addLine(line, cr, false);
                line = cr + 2;
            }
            cr = find(cr + 1, end, '\r');
        } else {
            if (end - gt >= 2 && gt[1] == '<') {
                out.addLine(line, gt + 1, false);
                line = gt + 1;
            }
            gt = find(gt + 1, end, '>');
        }
    }
    out.addLine(line, end, true);
    return out.take();
}

} // namespace Indenter
