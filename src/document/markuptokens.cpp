#include "document/markuptokens.h"

#include <algorithm>
#include <cstring>

namespace Markup {

namespace {
bool isNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}
} // namespace

bool startsWith(const char* at, const char* end, Bytes prefix) {
    return static_cast<size_t>(end - at) >= prefix.size() &&
           std::memcmp(at, prefix.data(), prefix.size()) == 0;
}

const char* after(const char* from, const char* end, Bytes what) {
    const void* found = memmem(from, static_cast<size_t>(end - from), what.data(), what.size());
    return found ? static_cast<const char*>(found) + what.size() : nullptr;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

Bytes nameAt(const char* at, const char* end) {
    const char* stop = at;
    for (; stop < end; ++stop) {
        switch (*stop) {
        case ' ':
        case '\t':
        case '\r':
        case '\n':
        case '/':
        case '>':
        case '=':
        case '(':
        case ')':
        case '"':
        case '\'':
        case '[':
        case ']':
        case '|':
        case ',':
            return Bytes(at, static_cast<size_t>(stop - at));
        default:
            break;
        }
    }
    return Bytes(at, static_cast<size_t>(stop - at));
}

const char* skipBlanks(const char* at, const char* end) {
    while (at < end && isBlank(*at))
        ++at;
    return at;
}

const char* afterLiteral(const char* at, const char* end) {
    const void* close = std::memchr(at + 1, *at, static_cast<size_t>(end - at - 1));
    return close ? static_cast<const char*>(close) + 1 : nullptr;
}

const char* afterQuotedMarkup(const char* at, const char* end) {
    while (at && at < end) {
        const auto* gt = static_cast<const char*>(std::memchr(at, '>', size_t(end - at)));
        if (!gt)
            return nullptr;
        const auto* dq = static_cast<const char*>(std::memchr(at, '"', size_t(gt - at)));
        const auto* sq = static_cast<const char*>(std::memchr(at, '\'', size_t(gt - at)));
        const char* quote = dq && sq ? std::min(dq, sq) : dq ? dq : sq;
        if (!quote)
            return gt + 1;
        at = afterLiteral(quote, end);
    }
    return nullptr;
}

bool Tokens::next(Token& token) {
    if (m_at == m_end)
        return false;
    const char* begin = m_at;
    const Kind kind = markupAt(m_at);
    token = {kind, begin, m_at};
    return true;
}

Kind Tokens::text(const char* from) {
    const void* lt = std::memchr(from, '<', static_cast<size_t>(m_end - from));
    m_at = lt ? static_cast<const char*>(lt) : m_end;
    return Kind::Text;
}

Kind Tokens::upTo(const char* markupEnd, Kind kind) {
    if (!markupEnd) {
        m_at = m_end;
        return Kind::Text;
    }
    m_at = markupEnd;
    return kind;
}

Kind Tokens::markupAt(const char* at) {
    if (*at != '<')
        return text(at);
    switch (m_end - at >= 2 ? at[1] : '\0') {
    case '/':
        return upTo(afterQuotedMarkup(at + 2, m_end), Kind::EndTag);
    case '?':
        return upTo(after(at + 2, m_end, "?>"), Kind::Instruction);
    case '!':
        if (startsWith(at, m_end, "<!--"))
            return upTo(after(at + 4, m_end, "-->"), Kind::Comment);
        if (startsWith(at, m_end, "<![CDATA["))
            return upTo(after(at + 9, m_end, "]]>"), Kind::CData);
        if (startsWith(at, m_end, "<!DOCTYPE"))
            return upTo(afterDoctype(at + 9), Kind::Doctype);
        return upTo(afterQuotedMarkup(at + 2, m_end), Kind::Declaration);
    default:
        if (m_end - at >= 2 && isNameStart(at[1])) {
            const char* close = afterQuotedMarkup(at + 1, m_end);
            return upTo(close, close && close[-2] == '/' ? Kind::EmptyTag : Kind::StartTag);
        }
        return text(at + 1);
    }
}

// A document type declaration, with the markup of its internal subset.
const char* Tokens::afterDoctype(const char* at) {
    while (at < m_end) {
        if (*at == '>')
            return at + 1;
        if (*at == '"' || *at == '\'') {
            at = afterLiteral(at, m_end);
        } else if (*at == '[') {
            at = afterSubset(at + 1);
        } else {
            ++at;
            continue;
        }
        if (!at)
            return nullptr;
    }
    return nullptr;
}

const char* Tokens::afterSubset(const char* at) {
    while (at && at < m_end) {
        if (*at == ']')
            return at + 1;
        if (startsWith(at, m_end, "<!--"))
            at = after(at + 4, m_end, "-->");
        else if (startsWith(at, m_end, "<?"))
            at = after(at + 2, m_end, "?>");
        else if (startsWith(at, m_end, "<!"))
            at = afterQuotedMarkup(at + 2, m_end);
        else
            ++at;
    }
    return nullptr;
}

qsizetype StartTagAt(QByteArrayView text, qsizetype before) {
    Tokens tokens(text);
    Token token;
    while (tokens.next(token)) {
        if (token.kind != Kind::StartTag && token.kind != Kind::EmptyTag)
            continue;
        if (before-- == 0)
            return token.begin - text.data();
    }
    return -1;
}

qsizetype StartTagOf(QByteArrayView text, const XmlNode& node) {
    XmlNode element = node;
    while (element.nodeType() != NODE_ELEMENT)
        element =
            element.nodeType() == NODE_ATTRIBUTE ? element.ownerElement() : element.parentNode();
    return StartTagAt(text, element.startTagsBefore());
}

} // namespace Markup
