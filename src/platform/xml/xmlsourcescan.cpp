#include "platform/xml/xmlsourcescan.h"

#include <QString>
#include <cstring>

namespace xmlimpl {

namespace {
constexpr const char* kPredefined[] = {"amp;", "lt;", "gt;", "quot;", "apos;"};
constexpr char kPredefinedValue[] = {'&', '<', '>', '"', '\''};

// The reference at `raw[i]` ("&..."): what it stands for and its length; none for an entity's.
std::optional<std::pair<QByteArray, qsizetype>> reference(QByteArrayView raw, qsizetype i) {
    const qsizetype semicolon = raw.indexOf(';', i);
    if (semicolon < 0)
        return std::nullopt;
    const QByteArrayView body = raw.sliced(i + 1, semicolon - i - 1);
    const qsizetype length = semicolon - i + 1;
    if (body.startsWith('#')) {
        bool ok = false;
        const uint code = body.startsWith("#x") ? body.sliced(2).toByteArray().toUInt(&ok, 16)
                                                : body.sliced(1).toByteArray().toUInt(&ok, 10);
        if (!ok)
            return std::nullopt;
        const char32_t c = code;
        return std::make_pair(QString::fromUcs4(&c, 1).toUtf8(), length);
    }
    for (int k = 0; k < 5; ++k) {
        if (body.size() + 1 == qsizetype(std::strlen(kPredefined[k])) &&
            std::memcmp(body.data(), kPredefined[k], body.size()) == 0)
            return std::make_pair(QByteArray(1, kPredefinedValue[k]), length);
    }
    return std::nullopt;
}

std::optional<QByteArray> decoded(QByteArrayView raw, bool attribute) {
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '&') {
            const auto ref = reference(raw, i);
            if (!ref)
                return std::nullopt;
            out += ref->first;
            i += ref->second - 1;
        } else if (c == '\r') {
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            out += attribute ? ' ' : '\n';
        } else if (attribute && (c == '\n' || c == '\t')) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

std::optional<QByteArray> decodedText(QByteArrayView raw) {
    return decoded(raw, false);
}

std::optional<QByteArray> decodedAttribute(QByteArrayView raw) {
    return decoded(raw, true);
}

QByteArray withLineFeeds(QByteArrayView raw) {
    QByteArray out(raw.data(), raw.size());
    if (out.contains('\r')) {
        out.replace("\r\n", "\n");
        out.replace('\r', '\n');
    }
    return out;
}

bool SourceScan::blank(qint64 from, qint64 to) const {
    for (qint64 i = from; i < to; ++i) {
        if (!isBlank(m_text[i]))
            return false;
    }
    return true;
}

qint64 SourceScan::find(char c, qint64 from, qint64 to) const {
    if (to < 0 || to > size())
        to = size();
    if (from < 0 || from >= to)
        throw SourceMismatch();
    const void* hit = std::memchr(m_text.data() + from, c, size_t(to - from));
    if (!hit)
        throw SourceMismatch();
    return static_cast<const char*>(hit) - m_text.data();
}

qint64 SourceScan::find(QByteArrayView s, qint64 from) const {
    const qsizetype at = from >= 0 && from <= size() ? m_text.indexOf(s, from) : -1;
    if (at < 0)
        throw SourceMismatch();
    return at;
}

qint64 SourceScan::findEntityReference(qint64 from, qint64 to) const {
    for (qint64 i = from; i < to; ++i) {
        const void* hit = std::memchr(m_text.data() + i, '&', size_t(to - i));
        if (!hit)
            return -1;
        i = static_cast<const char*>(hit) - m_text.data();
        if (!reference(m_text, i))
            return i;
    }
    return -1;
}

StartTag SourceScan::startTag(qint64 from) const {
    if (from < 0 || from >= size() || m_text[from] != '<')
        throw SourceMismatch();
    StartTag tag;
    tag.start = from;
    qint64 p = from + 1;
    while (p < size() && !isBlank(m_text[p]) && m_text[p] != '/' && m_text[p] != '>')
        ++p;
    tag.nameEnd = p;
    for (;;) {
        const qint64 lead = p;
        while (p < size() && isBlank(m_text[p]))
            ++p;
        if (p >= size())
            throw SourceMismatch();
        if (m_text[p] == '>' || m_text[p] == '/') {
            tag.tail = lead;
            tag.empty = m_text[p] == '/';
            if (tag.empty && at(p + 1) != '>')
                throw SourceMismatch();
            tag.end = p + (tag.empty ? 2 : 1);
            return tag;
        }
        StartTag::Item item{};
        item.lead = lead;
        item.name = p;
        while (p < size() && !isBlank(m_text[p]) && m_text[p] != '=')
            ++p;
        item.nameEnd = p;
        while (p < size() && isBlank(m_text[p]))
            ++p;
        if (at(p) != '=')
            throw SourceMismatch();
        ++p;
        while (p < size() && isBlank(m_text[p]))
            ++p;
        item.quote = at(p);
        if (item.quote != '"' && item.quote != '\'')
            throw SourceMismatch();
        item.value = p + 1;
        item.valueEnd = find(item.quote, item.value);
        p = item.end();
        tag.items.push_back(item);
    }
}

qint64 SourceScan::elementEnd(qint64 at) const {
    const StartTag tag = startTag(at);
    if (tag.empty)
        return tag.end;
    int depth = 1;
    qint64 p = tag.end;
    for (;;) {
        p = find('<', p);
        const QByteArrayView rest = m_text.sliced(p);
        if (rest.startsWith("</")) {
            p = find('>', p) + 1;
            if (--depth == 0)
                return p;
        } else if (rest.startsWith("<!--") || rest.startsWith("<?") ||
                   rest.startsWith("<![CDATA[")) {
            p = pieceEnd(p, size());
        } else {
            const StartTag inner = startTag(p);
            depth += inner.empty ? 0 : 1;
            p = inner.end;
        }
    }
}

// Quoted strings, comments and processing instructions in the internal subset may hold "]" or ">".
qint64 SourceScan::doctypeEnd(qint64 at) const {
    qint64 p = at + 9;
    bool inSubset = false;
    while (p < size()) {
        const char c = m_text[p];
        if (c == '"' || c == '\'') {
            p = find(c, p + 1) + 1;
        } else if (inSubset && c == '<' && m_text.sliced(p).startsWith("<!--")) {
            p = find("-->", p + 4) + 3;
        } else if (inSubset && c == '<' && m_text.sliced(p).startsWith("<?")) {
            p = find("?>", p + 2) + 2;
        } else if (c == '[') {
            inSubset = true;
            ++p;
        } else if (c == ']') {
            inSubset = false;
            ++p;
        } else if (c == '>' && !inSubset) {
            return p + 1;
        } else {
            ++p;
        }
    }
    throw SourceMismatch();
}

qint64 SourceScan::pieceEnd(qint64 at, qint64 limit) const {
    const QByteArrayView rest = m_text.sliced(at);
    if (rest.startsWith("<!--"))
        return find("-->", at + 4) + 3;
    if (rest.startsWith("<![CDATA["))
        return find("]]>", at + 9) + 3;
    if (rest.startsWith("<!DOCTYPE"))
        return doctypeEnd(at);
    if (rest.startsWith("<?"))
        return find("?>", at + 2) + 2;
    if (rest.startsWith("<"))
        return elementEnd(at);
    if (rest.startsWith("&") && findEntityReference(at, at + 1) == at)
        return find(';', at) + 1;
    // Text: up to the next markup or entity reference.
    const qsizetype markup = m_text.sliced(0, limit).indexOf('<', at);
    const qint64 textEnd = markup < 0 ? limit : markup;
    const qint64 entity = findEntityReference(at, textEnd);
    return entity < 0 ? textEnd : entity;
}

} // namespace xmlimpl
