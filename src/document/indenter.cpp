#include "document/indenter.h"

#include "document/markuptokens.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Indenter {

namespace {

using namespace Markup;

// What the internal subset says of white space: elements declared to hold text (#PCDATA) or
// anything (ANY), and the xml:space each element gets by default.
struct Subset {
    std::unordered_set<Bytes> holdText;
    std::unordered_map<Bytes, bool> preserveByDefault;

    void read(const Token& doctype) {
        const char* at = static_cast<const char*>(
            std::memchr(doctype.begin, '[', static_cast<size_t>(doctype.end - doctype.begin)));
        const char* const end = doctype.end;
        while (at && at < end) {
            if (startsWith(at, end, "<!--")) {
                at = after(at + 4, end, "-->");
            } else if (startsWith(at, end, "<!ELEMENT")) {
                at = element(at + 9, end);
            } else if (startsWith(at, end, "<!ATTLIST")) {
                at = attributes(at + 9, end);
            } else if (startsWith(at, end, "<!")) {
                at = afterQuotedMarkup(at + 2, end);
            } else if (*at == '"' || *at == '\'') {
                at = afterLiteral(at, end);
            } else {
                ++at;
            }
        }
    }

private:
    const char* element(const char* at, const char* end) {
        const Bytes name = nameAt(skipBlanks(at, end), end);
        const char* close = afterQuotedMarkup(at, end);
        const Bytes spec(at, static_cast<size_t>((close ? close : end) - at));
        if (!name.empty() &&
            (spec.find("#PCDATA") != Bytes::npos || spec.find(" ANY") != Bytes::npos))
            holdText.insert(name);
        return close;
    }
    // <!ATTLIST element (name type default)*>, noting a default value of xml:space.
    const char* attributes(const char* at, const char* end) {
        at = skipBlanks(at, end);
        const Bytes element = nameAt(at, end);
        at += element.size();
        while (at && at < end) {
            at = skipBlanks(at, end);
            if (at >= end || *at == '>')
                return at < end ? at + 1 : nullptr;
            const Bytes attribute = nameAt(at, end);
            if (attribute.empty())
                return afterQuotedMarkup(at, end);
            at = skipBlanks(at + attribute.size(), end);
            const Bytes type = nameAt(at, end);
            at = skipBlanks(at + type.size(), end);
            if (at < end && *at == '(') {
                const void* close = std::memchr(at, ')', static_cast<size_t>(end - at));
                at = close ? skipBlanks(static_cast<const char*>(close) + 1, end) : end;
            }
            if (startsWith(at, end, "#FIXED"))
                at = skipBlanks(at + 6, end);
            else if (at < end && *at == '#')
                at += nameAt(at, end).size();
            if (at < end && (*at == '"' || *at == '\'')) {
                const char* literalEnd = afterLiteral(at, end);
                if (!literalEnd)
                    return nullptr;
                if (attribute == "xml:space" && !preserveByDefault.count(element))
                    preserveByDefault[element] =
                        Bytes(at + 1, static_cast<size_t>(literalEnd - at - 2)) == "preserve";
                at = literalEnd;
            }
        }
        return at;
    }
};

// Whether a start tag says xml:space="preserve" (true), something else (false), or nothing.
std::optional<bool> writtenSpace(const Token& tag) {
    const char* at = tag.begin;
    while ((at = after(at, tag.end, "xml:space"))) {
        if (!isBlank(at[-10]))
            continue;
        const char* value = skipBlanks(at, tag.end);
        if (value >= tag.end || *value != '=')
            continue;
        value = skipBlanks(value + 1, tag.end);
        if (value >= tag.end || (*value != '"' && *value != '\''))
            continue;
        const char* valueEnd = afterLiteral(value, tag.end);
        return valueEnd &&
               Bytes(value + 1, static_cast<size_t>(valueEnd - value - 2)) == "preserve";
    }
    return std::nullopt;
}

// Counts the bytes looked at, now and then, and tells whether to go on.
class Progress {
public:
    explicit Progress(WorkProgress* progress) : m_progress(progress) {}
    bool at(qsizetype looked) {
        if (!m_progress)
            return true;
        if (looked - m_reported >= (qsizetype(1) << 16)) {
            m_progress->done.fetch_add(looked - m_reported, std::memory_order_relaxed);
            m_reported = looked;
        }
        return !m_progress->stop.load(std::memory_order_relaxed);
    }
    // A pass over the whole text is done.
    void passed(qsizetype size) {
        if (m_progress)
            m_progress->done.fetch_add(size - m_reported, std::memory_order_relaxed);
        m_reported = 0;
    }

private:
    WorkProgress* m_progress;
    qsizetype m_reported = 0;
};

// First pass: for every start tag, in order, whether its content is element-only. An element
// that never ends is not: its content stays as it is.
// Whether the text's lines end LF (its first line break is a lone LF); CR LF otherwise.
bool endsLinesWithLf(QByteArrayView text) {
    const qsizetype lf = text.indexOf('\n');
    return lf == 0 || (lf > 0 && text[lf - 1] != '\r');
}

std::optional<std::vector<bool>> elementOnlyContent(QByteArrayView text, Progress& progress) {
    const bool lineFeeds = endsLinesWithLf(text);
    struct Frame {
        size_t ordinal;
        bool preserve;
        bool keep;
        bool markup = false;
        bool content = false;
    };
    std::vector<bool> elementOnly;
    std::vector<Frame> open;
    Subset subset;
    Tokens tokens(text);
    Token token;
    while (tokens.next(token)) {
        if (!progress.at(token.end - text.data()))
            return std::nullopt;
        Frame* parent = open.empty() ? nullptr : &open.back();
        switch (token.kind) {
        case Kind::StartTag: {
            const Bytes name = nameAt(token.begin + 1, token.end);
            std::optional<bool> space = writtenSpace(token);
            if (!space && subset.preserveByDefault.count(name))
                space = subset.preserveByDefault.at(name);
            const bool preserve = space ? *space : parent && parent->preserve;
            if (parent)
                parent->markup = true;
            open.push_back({elementOnly.size(), preserve, preserve || subset.holdText.count(name)});
            elementOnly.push_back(false);
            break;
        }
        case Kind::EndTag:
            if (parent) {
                elementOnly[parent->ordinal] = parent->markup && !parent->content && !parent->keep;
                open.pop_back();
            }
            break;
        case Kind::Doctype:
            subset.read(token);
            [[fallthrough]];
        case Kind::EmptyTag:
        case Kind::Comment:
        case Kind::Instruction:
        case Kind::Declaration:
            if (parent)
                parent->markup = true;
            break;
        case Kind::CData:
            if (parent)
                parent->content = true;
            break;
        case Kind::Text:
            if (parent && !IsWhiteSpace(token.bytes(), lineFeeds))
                parent->content = true;
            break;
        }
    }
    return elementOnly;
}

// Second pass: the nodes of element-only content and of the top level each on a line of their
// own (with `indent`), the content of every other element as it was.
std::optional<QByteArray> layOut(QByteArrayView text, WorkProgress* workProgress, bool indent) {
    Progress progress(workProgress);
    const std::optional<std::vector<bool>> elementOnly = elementOnlyContent(text, progress);
    if (!elementOnly)
        return std::nullopt;
    progress.passed(text.size());
    QByteArray out;
    out.reserve(text.size() + (indent ? text.size() / 4 : 0));
    // Lines end as the text's first one does (CR LF in a text with none yet).
    const bool lineFeeds = endsLinesWithLf(text);
    const QByteArrayView lineBreak = lineFeeds ? "\n" : "\r\n";
    // A byte order mark is no node: it stays in front of the first one.
    const QByteArrayView bom("\xEF\xBB\xBF");
    const qsizetype start = text.startsWith(bom) ? bom.size() : 0;
    out.append(text.data(), start);
    qsizetype level = 0;
    size_t ordinal = 0;
    qsizetype keptDepth = 0; // inside an element whose content is kept: the elements open there
    Tokens tokens(text.sliced(start));
    Token token;
    while (tokens.next(token)) {
        if (!progress.at(token.end - text.data()))
            return std::nullopt;
        if (keptDepth > 0) {
            out.append(token.begin, token.end - token.begin);
            if (token.kind == Kind::StartTag) {
                ++ordinal;
                ++keptDepth;
            } else if (token.kind == Kind::EndTag) {
                --keptDepth;
            }
            continue;
        }
        if (token.kind == Kind::Text && IsWhiteSpace(token.bytes(), lineFeeds))
            continue; // layout
        if (token.kind == Kind::EndTag)
            --level;
        const bool firstLine = out.size() == start;
        if (indent && !firstLine) {
            out.append(lineBreak);
            out.append(std::max<qsizetype>(level, 0), '\t');
        }
        out.append(token.begin, token.end - token.begin);
        if (token.kind == Kind::StartTag) {
            if ((*elementOnly)[ordinal++])
                ++level;
            else
                keptDepth = 1;
        }
        // A declaration on the first line has always pushed the rest one level in.
        const Bytes bytes = token.bytes();
        if (firstLine && token.kind == Kind::Instruction && bytes.size() > 6 &&
            bytes.substr(0, 5) == "<?xml" && isBlank(bytes[5]))
            ++level;
    }
    if (text.endsWith('\n') && !out.endsWith('\n'))
        out.append(lineBreak);
    progress.passed(text.size());
    return out;
}

} // namespace

bool IsWhiteSpace(QByteArrayView strIn, bool lineFeeds) {
    const char* c = strIn.data();
    const char* end = c + strIn.size();
    while (c < end) {
        if (*c == '\r' && end - c >= 2 && c[1] == '\n')
            c += 2;
        else if (*c == '\t' || *c == ' ' || (lineFeeds && *c == '\n'))
            ++c;
        else
            return false;
    }
    return true;
}

QByteArray Indent(int IndentFactor) {
    return QByteArray(std::max(IndentFactor, 0), '\t');
}

std::optional<QByteArray> UnindentXML(QByteArrayView text, WorkProgress* progress) {
    return layOut(text, progress, false);
}

std::optional<QByteArray> IndentXML(QByteArrayView text, WorkProgress* progress) {
    return layOut(text, progress, true);
}

} // namespace Indenter
