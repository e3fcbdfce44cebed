#include "platform/xml/xmlsourcewrite.h"

#include "platform/xml/xmlencoding.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlescape.h"
#include "platform/xml/xmlorigin.h"
#include "platform/xml/xmlsourcescan.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmlwhitespace.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace xmlimpl {

namespace {

constexpr int kDeepest = 1500; // deeper fresh or changed nesting is written in the editor's layout
constexpr qsizetype kGather = 1 << 20; // bytes handed to the sink at once

// What to write, in order: ranges of the source and text written afresh. Ranges that meet are
// joined, so a long run of untouched nodes is one piece.
class Plan {
public:
    void copy(qint64 from, qint64 to) {
        if (from >= to)
            return;
        if (!m_pieces.empty() && m_pieces.back().text.isNull() && m_pieces.back().to == from) {
            m_pieces.back().to = to;
            return;
        }
        m_pieces.push_back({from, to, {}});
    }
    void text(const QByteArray& text) {
        if (text.isEmpty())
            return;
        if (!m_pieces.empty() && !m_pieces.back().text.isNull())
            m_pieces.back().text += text;
        else
            m_pieces.push_back({0, 0, text});
    }
    // Whether the output ends (so far) with a line break.
    bool endsWithLineBreak(QByteArrayView source) const {
        if (m_pieces.empty())
            return false;
        const Piece& last = m_pieces.back();
        const char c = last.text.isNull() ? source[last.to - 1] : last.text.back();
        return c == '\n';
    }
    template <class Visit> void each(QByteArrayView source, Visit visit) const {
        for (const Piece& p : m_pieces) {
            if (p.text.isNull())
                visit(source.sliced(p.from, p.to - p.from));
            else
                visit(QByteArrayView(p.text));
        }
    }

private:
    struct Piece {
        qint64 from;
        qint64 to;
        QByteArray text;
    };
    std::vector<Piece> m_pieces;
};

QByteArray bytes(const xmlChar* s) {
    return s ? QByteArray(reinterpret_cast<const char*>(s)) : QByteArray();
}

QByteArray qualifiedName(const xmlChar* name, xmlNsPtr ns) {
    return ns && ns->prefix ? bytes(ns->prefix) + ':' + bytes(name) : bytes(name);
}

// Whether `qualified` is the name with the prefix of `ns`.
bool sameName(const xmlChar* name, xmlNsPtr ns, QByteArrayView qualified) {
    const QByteArrayView local(reinterpret_cast<const char*>(name));
    if (!ns || !ns->prefix)
        return qualified == local;
    const QByteArrayView prefix(reinterpret_cast<const char*>(ns->prefix));
    return qualified.size() == prefix.size() + 1 + local.size() && qualified.startsWith(prefix) &&
           qualified[prefix.size()] == ':' && qualified.endsWith(local);
}

// As the writers escape (xmlescape.h); `quote` for an attribute value.
QByteArray escaped(const QByteArray& value, char quote = 0) {
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value) {
        if (const char* reference = referenceFor(c, quote))
            out += reference;
        else
            out += c;
    }
    return out;
}

// An attribute's value as the tree holds it; none when it holds entity references.
std::optional<QByteArray> attributeValue(xmlAttrPtr attribute) {
    QByteArray value;
    for (xmlNodePtr c = attribute->children; c; c = c->next) {
        if (c->type != XML_TEXT_NODE)
            return std::nullopt;
        value += bytes(c->content);
    }
    return value;
}

// The value written afresh, entity references as they stand.
QByteArray writtenAttributeValue(xmlAttrPtr attribute, char quote) {
    QByteArray out;
    for (xmlNodePtr c = attribute->children; c; c = c->next) {
        if (c->type == XML_ENTITY_REF_NODE)
            out += '&' + bytes(c->name) + ';';
        else
            out += escaped(bytes(c->content), quote);
    }
    return out;
}

bool inTree(xmlNodePtr node) {
    while (node && node->parent)
        node = node->parent;
    return node && node->type == XML_DOCUMENT_NODE;
}

class Rewriter {
public:
    Rewriter(const XmlStorage& storage, QByteArrayView source, qsizetype skip)
        : m_storage(storage), m_scan(source), m_skip(skip) {
        const qsizetype lf = source.indexOf('\n');
        m_lineBreak = lf > 0 && source[lf - 1] == '\r' ? "\r\n" : "\n";
        m_unit = indentUnit(source);
    }

    const Plan& run() {
        m_walk.reserve(m_storage.touched.size() + m_storage.moved.size());
        for (const auto* set : {&m_storage.touched, &m_storage.moved}) {
            for (xmlNodePtr n : *set) {
                xmlNodePtr from = n->type == XML_ATTRIBUTE_NODE || set == &m_storage.moved
                                      ? n->parent
                                      : n;
                if (!inTree(from))
                    continue;
                for (; from && m_walk.insert(from).second; from = from->parent)
                    m_walkParents.insert(from->parent);
            }
        }
        xmlNodePtr document = reinterpret_cast<xmlNodePtr>(m_storage.doc);
        if (!m_walk.count(document))
            m_plan.copy(m_skip, m_scan.size());
        else
            children(document, m_skip, m_scan.size(), {}, 0);
        return m_plan;
    }

private:
    static QByteArray indentUnit(QByteArrayView source) {
        qsizetype smallest = 0;
        const qsizetype limit = std::min<qsizetype>(source.size(), 1 << 16);
        for (qsizetype i = source.indexOf('\n'); i >= 0 && i + 1 < limit;
             i = source.indexOf('\n', i + 1)) {
            if (source[i + 1] == '\t')
                return "\t";
            qsizetype n = 0;
            while (i + 1 + n < limit && source[i + 1 + n] == ' ')
                ++n;
            if (n > 0 && i + 1 + n < limit && source[i + 1 + n] == '<' &&
                (smallest == 0 || n < smallest))
                smallest = n;
        }
        return QByteArray(smallest > 0 ? smallest : 2, ' ');
    }

    bool hasSource(xmlNodePtr n) const {
        const qint64 lead = leadOf(n);
        if (lead < m_skip && !(lead == 0 && n->type == XML_PI_NODE))
            return false;
        switch (n->type) {
        case XML_ELEMENT_NODE:
            return elementEnd(n) > lead && elementEnd(n) <= m_scan.size();
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
        case XML_ENTITY_REF_NODE:
        case XML_DTD_NODE:
            return lead < m_scan.size();
        default:
            return false;
        }
    }

    qint64 startOf(xmlNodePtr n) const {
        const qint64 lead = std::max<qint64>(leadOf(n), m_skip);
        if (n->type == XML_TEXT_NODE)
            return lead;
        if (n->type == XML_ENTITY_REF_NODE) {
            const qint64 at = m_scan.findEntityReference(lead, m_scan.size());
            if (at < 0)
                throw SourceMismatch();
            return at;
        }
        return m_scan.find('<', lead);
    }

    qint64 endOf(xmlNodePtr n, qint64 start) const {
        if (n->type == XML_ELEMENT_NODE)
            return elementEnd(n);
        return m_scan.pieceEnd(start, m_scan.size());
    }

    // Whether a node the user may have changed still reads as its source does.
    bool sameAsSource(xmlNodePtr n, qint64 s, qint64 e) const {
        const QByteArrayView raw = m_scan.slice(s, e);
        switch (n->type) {
        case XML_TEXT_NODE:
            return decodedText(raw) == bytes(n->content);
        case XML_COMMENT_NODE:
            return raw.startsWith("<!--") && withLineFeeds(raw.sliced(4, raw.size() - 7)) ==
                                                 bytes(n->content);
        case XML_CDATA_SECTION_NODE:
            return raw.startsWith("<![CDATA[") &&
                   withLineFeeds(raw.sliced(9, raw.size() - 12)) == bytes(n->content);
        case XML_PI_NODE: {
            const QByteArray target = bytes(n->name);
            if (!raw.sliced(2).startsWith(target))
                return false;
            qsizetype d = 2 + target.size();
            if (d < raw.size() - 2 && !SourceScan::isBlank(raw[d]))
                return false; // a longer target
            while (d < raw.size() - 2 && SourceScan::isBlank(raw[d]))
                ++d;
            return withLineFeeds(raw.sliced(d, raw.size() - 2 - d)) == bytes(n->content);
        }
        case XML_ENTITY_REF_NODE:
            return raw.sliced(1, raw.size() - 2) == bytes(n->name);
        default:
            return true;
        }
    }

    void node(xmlNodePtr n, const QByteArray& indent, int depth) {
        if (depth > kDeepest)
            throw SourceMismatch();
        if (!hasSource(n)) {
            m_plan.text(fresh(n, indent, depth));
            return;
        }
        const qint64 s = startOf(n);
        if (n->type == XML_ELEMENT_NODE) {
            if (m_walk.count(n))
                element(n, s, depth);
            else
                m_plan.copy(s, elementEnd(n));
            return;
        }
        const qint64 e = endOf(n, s);
        if (!m_walk.count(n) || sameAsSource(n, s, e))
            m_plan.copy(s, e);
        else
            m_plan.text(fresh(n, indent, depth));
    }

    void element(xmlNodePtr e, qint64 s, int depth) {
        const StartTag tag = m_scan.startTag(s);
        const QByteArray name = qualifiedName(e->name, e->ns);
        const bool sameName = m_scan.slice(s + 1, tag.nameEnd) == name;
        if (sameName)
            m_plan.copy(s, tag.nameEnd);
        else
            m_plan.text('<' + name);
        attributes(e, tag);
        const qint64 end = elementEnd(e);
        if (tag.empty) {
            if (!e->children) {
                m_plan.copy(tag.tail, tag.end);
                return;
            }
            m_plan.copy(tag.tail, tag.end - 2);
            m_plan.text(">");
            children(e, -1, -1, lineIndent(s), depth + 1);
            m_plan.text("</" + name + '>');
            return;
        }
        m_plan.copy(tag.tail, tag.end);
        if (childrenAsRead(e)) {
            m_plan.copy(tag.end, sameName ? end : endTagStart(tag, end));
            if (!sameName)
                m_plan.text("</" + name + '>');
            return;
        }
        const qint64 endTag = endTagStart(tag, end);
        children(e, tag.end, endTag, lineIndent(s), depth + 1);
        if (sameName)
            m_plan.copy(endTag, end);
        else
            m_plan.text("</" + name + '>');
    }

    // Whether the element's children are the ones it was read with, each unchanged.
    // A child changed is on the walk (a touched node is, with its ancestors); a child linked or
    // unlinked has regrouped its parent.
    bool childrenAsRead(xmlNodePtr e) const {
        return !m_storage.regrouped.count(e) && !m_walkParents.count(e);
    }

    qint64 endTagStart(const StartTag& tag, qint64 end) const {
        qint64 at = end - 1;
        while (at > tag.end && m_scan.at(at) != '<')
            --at;
        if (m_scan.at(at) != '<' || m_scan.at(at + 1) != '/')
            throw SourceMismatch();
        return at;
    }

    // The start tag's attributes and declarations: each kept one copied, each changed one with
    // its new value between the same quotes, the removed ones gone with the blanks before them,
    // and the added ones at the end (each on a line of its own when those before stand so).
    void attributes(xmlNodePtr e, const StartTag& tag) {
        std::vector<const void*> written;
        const auto wasWritten = [&written](const void* p) {
            return std::find(written.begin(), written.end(), p) != written.end();
        };
        for (const StartTag::Item& item : tag.items) {
            const QByteArrayView name = m_scan.slice(item.name, item.nameEnd);
            const QByteArrayView raw = m_scan.slice(item.value, item.valueEnd);
            if (name == "xmlns" || name.startsWith("xmlns:")) {
                const QByteArray prefix = name == "xmlns" ? QByteArray() : name.sliced(6).toByteArray();
                xmlNsPtr ns = e->nsDef;
                while (ns && bytes(ns->prefix) != prefix)
                    ns = ns->next;
                if (!ns)
                    continue;
                written.push_back(ns);
                if (decodedAttribute(raw) == bytes(ns->href))
                    m_plan.copy(item.lead, item.end());
                else
                    rewriteValue(item, escaped(bytes(ns->href), item.quote));
                continue;
            }
            xmlAttrPtr a = e->properties;
            while (a && !sameName(a->name, a->ns, name))
                a = a->next;
            if (!a)
                continue;
            written.push_back(a);
            const auto node = reinterpret_cast<xmlNodePtr>(a);
            const bool touched = m_storage.touched.count(node) || m_storage.moved.count(node);
            const auto value = attributeValue(a);
            if (!touched || (value && decodedAttribute(raw) == *value))
                m_plan.copy(item.lead, item.end());
            else
                rewriteValue(item, writtenAttributeValue(a, item.quote));
        }
        QByteArray before = " ";
        if (!tag.items.empty()) {
            const StartTag::Item& last = tag.items.back();
            const QByteArrayView blanks = m_scan.slice(last.lead, last.name);
            if (blanks.contains('\n'))
                before = blanks.toByteArray();
        }
        for (xmlNsPtr ns = e->nsDef; ns; ns = ns->next) {
            if (wasWritten(ns))
                continue;
            m_plan.text(before + (ns->prefix ? "xmlns:" + bytes(ns->prefix) : "xmlns") + "=\"" +
                        escaped(bytes(ns->href), '"') + '"');
        }
        for (xmlAttrPtr a = e->properties; a; a = a->next) {
            if (wasWritten(a))
                continue;
            m_plan.text(before + qualifiedName(a->name, a->ns) + "=\"" +
                        writtenAttributeValue(a, '"') + '"');
        }
    }

    void rewriteValue(const StartTag::Item& item, const QByteArray& value) {
        m_plan.copy(item.lead, item.value);
        m_plan.text(value + item.quote);
    }

    // The blanks before the tag starting at `s` when only blanks stand before it on its line.
    QByteArray lineIndent(qint64 s) const {
        qint64 b = s;
        while (b > 0 && (m_scan.at(b - 1) == ' ' || m_scan.at(b - 1) == '\t'))
            --b;
        if (b > 0 && m_scan.at(b - 1) != '\n')
            return {};
        return m_scan.slice(b, s).toByteArray();
    }

    // The children of `parent`, whose source content is [cs, ce) (none: cs < 0). Children that
    // still stand where they stood keep their bytes and the layout between them; a child that
    // is new or came from elsewhere is put in with its neighbours' line break and indentation;
    // what stood between kept children and is gone is taken out, with its line when it stood
    // alone on one.
    void children(xmlNodePtr parent, qint64 cs, qint64 ce, const QByteArray& parentIndent,
                  int depth) {
        std::vector<xmlNodePtr> kids;
        bool textLike = false;
        for (xmlNodePtr c = parent->children; c; c = c->next) {
            kids.push_back(c);
            textLike = textLike || c->type == XML_TEXT_NODE ||
                       c->type == XML_CDATA_SECTION_NODE || c->type == XML_ENTITY_REF_NODE;
        }
        const bool document = parent->type == XML_DOCUMENT_NODE;
        const bool hadContent = cs >= 0 && cs < ce;
        bool layout = document;
        // Blank text alone in an element is its content: with no child left, no layout either.
        if (!document && hadContent)
            layout = (parent->extra & kLayoutDropped) && !textLike && !kids.empty();
        else if (!document)
            layout = !(parent->extra & kBlanksAreContent) && indentsChildren(parent);

        // Where each child stands in the source; kept children keep their order.
        std::vector<qint64> starts(kids.size(), -1);
        std::vector<qint64> ends(kids.size(), -1);
        std::vector<bool> kept(kids.size(), false);
        // Only a regrouped parent has children from elsewhere.
        const bool regrouped = m_storage.regrouped.count(parent) > 0;
        const auto moved = [&](xmlNodePtr n) { return regrouped && m_storage.moved.count(n); };
        if (hadContent) {
            qint64 nextKept = ce;
            std::vector<qint64> nextKeptStart(kids.size(), ce);
            for (size_t i = kids.size(); i-- > 0;) {
                nextKeptStart[i] = nextKept;
                if (!hasSource(kids[i]))
                    continue;
                const qint64 s = startOf(kids[i]);
                if (s < cs || s >= ce)
                    continue;
                starts[i] = s;
                if (!moved(kids[i]))
                    nextKept = s;
            }
            qint64 pos = cs;
            for (size_t i = 0; i < kids.size(); ++i) {
                if (starts[i] < pos)
                    continue;
                ends[i] = endOf(kids[i], starts[i]);
                if (moved(kids[i]) && ends[i] > nextKeptStart[i])
                    continue;
                kept[i] = true;
                pos = ends[i];
            }
        }

        QByteArray separator;
        if (document) {
            separator = m_lineBreak;
        } else if (layout) {
            separator = m_lineBreak + childIndent(cs, ce, parentIndent);
            if (hadContent && !m_scan.slice(cs, ce).contains('\n'))
                separator = leadingBlanks(cs, ce);
        }
        const QByteArray indent = separator.mid(separator.lastIndexOf('\n') + 1);

        qint64 pos = cs;
        std::vector<xmlNodePtr> waiting;
        for (size_t i = 0; i < kids.size(); ++i) {
            if (!kept[i]) {
                waiting.push_back(kids[i]);
                continue;
            }
            gap(pos, starts[i], layout);
            for (xmlNodePtr w : waiting) {
                node(w, indent, depth);
                m_plan.text(separator);
            }
            waiting.clear();
            node(kids[i], indent, depth);
            pos = ends[i];
        }
        for (xmlNodePtr w : waiting) {
            if (!document || !m_plan.endsWithLineBreak(m_scan.text()) || pos > m_skip)
                m_plan.text(separator);
            node(w, indent, depth);
        }
        if (hadContent)
            gap(pos, ce, layout);
        const bool trailingBreak = hadContent && m_scan.slice(pos, ce).contains('\n');
        if (!waiting.empty() && layout && !document && separator.contains('\n') && !trailingBreak)
            m_plan.text(m_lineBreak + parentIndent);
    }

    QByteArray leadingBlanks(qint64 cs, qint64 ce) const {
        qint64 p = cs;
        while (p < ce && SourceScan::isBlank(m_scan.at(p)))
            ++p;
        return m_scan.slice(cs, p).toByteArray();
    }

    // The indentation of the children: as the first one stood, else one step in from the parent.
    QByteArray childIndent(qint64 cs, qint64 ce, const QByteArray& parentIndent) const {
        if (cs >= 0 && cs < ce) {
            const QByteArray blanks = leadingBlanks(cs, ce);
            const qsizetype lf = blanks.lastIndexOf('\n');
            if (lf >= 0 && cs + blanks.size() < ce)
                return blanks.mid(lf + 1);
        }
        return parentIndent + m_unit;
    }

    // What stood in [a, b) between kept children is gone: layout stays, each piece of markup goes
    // (with its own line when it stood alone on one). Without layout, all of it was content.
    void gap(qint64 a, qint64 b, bool layout) {
        if (a >= b || !layout)
            return;
        qint64 copied = a;
        qint64 p = a;
        while (p < b) {
            if (SourceScan::isBlank(m_scan.at(p))) {
                ++p;
                continue;
            }
            const qint64 itemEnd = m_scan.pieceEnd(p, b);
            qint64 cutFrom = p;
            while (cutFrom > copied && (m_scan.at(cutFrom - 1) == ' ' || m_scan.at(cutFrom - 1) == '\t'))
                --cutFrom;
            qint64 cutTo = itemEnd;
            qint64 after = itemEnd;
            while (after < b && (m_scan.at(after) == ' ' || m_scan.at(after) == '\t'))
                ++after;
            const bool lineBefore = cutFrom > 0 && m_scan.at(cutFrom - 1) == '\n';
            const bool lineAfter =
                after >= m_scan.size() || m_scan.at(after) == '\n' || m_scan.at(after) == '\r';
            if (lineBefore && lineAfter && after < b) {
                cutTo = after + (m_scan.at(after) == '\r' && m_scan.at(after + 1) == '\n' ? 2 : 1);
            } else if (lineBefore && !lineAfter) {
                // What follows on its line keeps the indentation.
                cutFrom = p;
                cutTo = after;
            }
            m_plan.copy(copied, cutFrom);
            copied = std::min(cutTo, b);
            p = copied;
        }
        m_plan.copy(copied, b);
    }

    // A node written afresh in the editor's layout, nested `indent` deep.
    QByteArray fresh(xmlNodePtr n, const QByteArray& indent, int depth) const {
        if (depth > kDeepest)
            throw SourceMismatch();
        switch (n->type) {
        case XML_TEXT_NODE:
            return escaped(bytes(n->content));
        case XML_CDATA_SECTION_NODE:
            return "<![CDATA[" + bytes(n->content).replace("]]>", "]]]]><![CDATA[>") + "]]>";
        case XML_COMMENT_NODE:
            return "<!--" + bytes(n->content) + "-->";
        case XML_PI_NODE: {
            const QByteArray data = bytes(n->content);
            return "<?" + bytes(n->name) + (data.isEmpty() ? QByteArray() : ' ' + data) + "?>";
        }
        case XML_ENTITY_REF_NODE:
            return '&' + bytes(n->name) + ';';
        case XML_DTD_NODE:
            if (const QByteArray* text = m_storage.doctypeTextOf(n))
                return *text;
            throw SourceMismatch();
        case XML_ELEMENT_NODE:
            break;
        default:
            throw SourceMismatch();
        }
        const QByteArray name = qualifiedName(n->name, n->ns);
        QByteArray out = '<' + name;
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
            out += (ns->prefix ? " xmlns:" + bytes(ns->prefix) : QByteArray(" xmlns")) + "=\"" +
                   escaped(bytes(ns->href), '"') + '"';
        for (xmlAttrPtr a = n->properties; a; a = a->next)
            out += ' ' + qualifiedName(a->name, a->ns) + "=\"" + writtenAttributeValue(a, '"') + '"';
        if (!n->children)
            return out + "/>";
        out += '>';
        const bool indented = indentsChildren(n);
        const QByteArray inner = indent + m_unit;
        for (xmlNodePtr c = n->children; c; c = c->next) {
            if (indented)
                out += m_lineBreak + inner;
            out += fresh(c, inner, depth + 1);
        }
        if (indented)
            out += m_lineBreak + indent;
        return out + "</" + name + '>';
    }

    const XmlStorage& m_storage;
    SourceScan m_scan;
    qsizetype m_skip;
    QByteArray m_lineBreak;
    QByteArray m_unit;
    std::unordered_set<xmlNodePtr> m_walk;        // touched, and the ancestors of what changed
    std::unordered_set<xmlNodePtr> m_walkParents; // the parents of those
    Plan m_plan;
};

// The source's text; none when it cannot be had. A file's text is kept from the first change
// on; before it, the file is the source and its text is read for this write alone.
std::optional<XmlSource> sourceOf(const XmlStorage& storage) {
    std::lock_guard<std::mutex> lock(storage.sourceMutex);
    auto& source = const_cast<XmlSource&>(storage.source);
    if (source.kind == XmlSource::Kind::File && !source.read && storage.touched.empty() &&
        storage.moved.empty()) {
        XmlSource once = source;
        if (readSource(once))
            return once;
        if (once.kind == XmlSource::Kind::None)
            source = once; // the file changed
        else
            source.undecodable = once.undecodable;
        return std::nullopt;
    }
    if (!readSource(source))
        return std::nullopt;
    return source;
}

// To the sink in pieces of at most a megabyte.
void emitPieces(QByteArrayView bytes, const SourceSink& sink) {
    for (qsizetype at = 0; at < bytes.size(); at += 1 << 20) {
        const QByteArrayView part = bytes.sliced(at, std::min<qsizetype>(1 << 20, bytes.size() - at));
        if (!sink(part.data(), static_cast<int>(part.size())))
            throw XmlError(QStringLiteral("The document could not be written."));
    }
}

// Nothing changed: the file's bytes streamed as they are, when it is still the file that was
// read; false, with nothing written, otherwise.
bool copyFileBytes(const XmlStorage& storage, const SourceSink& sink) {
    XmlSource source;
    {
        std::lock_guard<std::mutex> lock(storage.sourceMutex);
        source = storage.source;
    }
    if (source.kind != XmlSource::Kind::File)
        return false;
    if (source.read && source.encoding.isEmpty()) {
        emitPieces(source.text, sink);
        return true;
    }
    QFile file(source.path);
    const QFileInfo info(source.path);
    if (info.size() != source.size || info.lastModified() != source.modified ||
        !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray buffer(kGather, Qt::Uninitialized);
    qint64 copied = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0 || (n == 0 && copied != source.size))
            throw XmlError(QStringLiteral("The file %1 could not be read again.").arg(source.path));
        if (n == 0)
            return true;
        if (!sink(buffer.constData(), static_cast<int>(n)))
            throw XmlError(QStringLiteral("The document could not be written."));
        copied += n;
    }
}


QByteArray normalizedEncoding(const QByteArray& encoding) {
    return encoding.toUpper().replace('-', "").replace('_', "");
}

bool write(const XmlStorage& storage, const QByteArray& encoding, bool file,
           const SourceSink& sink);

} // namespace

bool writeOverSource(const XmlStorage& storage, const SourceSink& sink) {
    return write(storage, QByteArray(), false, sink);
}

bool saveOverSource(const XmlStorage& storage, const QByteArray& encoding, const SourceSink& sink) {
    return write(storage, encoding, true, sink);
}

namespace {
bool write(const XmlStorage& storage, const QByteArray& encoding, bool file,
           const SourceSink& sink) {
    // Nothing changed: the file as it is, whatever its declaration says.
    if (file && storage.touched.empty() && storage.moved.empty() && copyFileBytes(storage, sink))
        return true;
    const std::optional<XmlSource> source = sourceOf(storage);
    if (!source)
        return false;
    const QByteArrayView text(source->text);
    std::optional<Rewriter> rewriter;
    const Plan* plan = nullptr;
    try {
        rewriter.emplace(storage, text, source->skip);
        plan = &rewriter->run();
    } catch (const SourceMismatch&) {
        return false;
    }
    const QByteArray target = normalizedEncoding(encoding);
    const bool utf8 = target.isEmpty() || target == "UTF8";
    const QByteArray own = normalizedEncoding(source->encoding);
    const bool ownEncoding = (utf8 && own.isEmpty()) || target == own ||
                             (target == "UTF16" && own.startsWith("UTF16"));
    QByteArray converter = ownEncoding && !own.isEmpty() ? source->encoding : encoding;
    // Small pieces (a changed value between copied ranges) are gathered into large writes.
    QByteArray gathered;
    auto flush = [&] {
        emitPieces(gathered, sink);
        gathered.clear();
    };
    auto put = [&](QByteArrayView piece) {
        if (gathered.size() + piece.size() > kGather)
            flush();
        if (piece.size() >= kGather)
            emitPieces(piece, sink);
        else
            gathered += piece;
    };
    if (file && ownEncoding && !source->bom.isEmpty())
        put(source->bom);
    if (utf8) {
        plan->each(text, put);
        flush();
        return true;
    }
    // Converted piece by piece, each cut where a character starts.
    QByteArray pending;
    auto convert = [&](QByteArrayView piece, bool last) {
        pending += piece;
        qsizetype cut = pending.size();
        if (!last) {
            while (cut > 0 && (static_cast<unsigned char>(pending[cut - 1]) & 0xC0) == 0x80)
                --cut;
            if (cut > 0 && static_cast<unsigned char>(pending[cut - 1]) >= 0xC0)
                --cut;
        }
        QByteArray out;
        if (!encodeMarkup(QByteArrayView(pending).sliced(0, cut), converter, out))
            throw XmlError(QStringLiteral("The encoding \"%1\" is not supported.")
                               .arg(QString::fromLatin1(encoding)));
        put(out);
        pending.remove(0, cut);
    };
    plan->each(text, [&](QByteArrayView piece) {
        for (qsizetype at = 0; at < piece.size(); at += 1 << 20)
            convert(piece.sliced(at, std::min<qsizetype>(1 << 20, piece.size() - at)), false);
    });
    convert({}, true);
    flush();
    return true;
}
} // namespace

} // namespace xmlimpl
