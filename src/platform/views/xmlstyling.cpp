#include "platform/views/xmlstyling.h"

#include <algorithm>
#include <cstring>

namespace {

using Mode = XmlStyleCarry::Mode;
using Tag = XmlStyleCarry::Tag;

// The carried modes and the ones that never reach a line break (a name, an entity, an unquoted
// value ends at the first blank).
enum class Lex : std::uint8_t {
    Text,
    InTag,
    AfterEquals,
    DoubleValue,
    SingleValue,
    Comment,
    CData,
    Sgml,
    SgmlDoubleValue,
    SgmlSingleValue,
    TagName,
    AttributeName,
    Entity,
    UnquotedNumber,
    UnquotedValue,
    SgmlCommand,
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The mode a line break leaves the transient modes in.
Mode carried(Lex lex) {
    switch (lex) {
    case Lex::TagName:
    case Lex::AttributeName:
    case Lex::UnquotedNumber:
    case Lex::UnquotedValue:
        return Mode::InTag;
    case Lex::Entity:
        return Mode::Text;
    case Lex::SgmlCommand:
        return Mode::Sgml;
    default:
        return static_cast<Mode>(lex);
    }
}

char lineBreakStyle(Mode mode) {
    switch (mode) {
    case Mode::Text:
        return XmlStyle::Default;
    case Mode::InTag:
    case Mode::AfterEquals:
        return XmlStyle::Other;
    case Mode::DoubleValue:
        return XmlStyle::DoubleString;
    case Mode::SingleValue:
        return XmlStyle::SingleString;
    case Mode::Comment:
        return XmlStyle::Comment;
    case Mode::CData:
        return XmlStyle::CData;
    case Mode::Sgml:
        return XmlStyle::SgmlDefault;
    case Mode::SgmlDoubleValue:
        return XmlStyle::SgmlDoubleString;
    case Mode::SgmlSingleValue:
        return XmlStyle::SgmlSingleString;
    }
    return XmlStyle::Default;
}

class Styler {
public:
    Styler(std::string_view text, char* styles, XmlStyleCarry carry)
        : m_text(text), m_styles(styles), m_lex(static_cast<Lex>(carry.mode)), m_tag(carry.tag),
          m_brackets(carry.brackets), m_depth(carry.depth), m_lineDepth(carry.depth) {}

    XmlStyleCarry run(const XmlLineEnd& lineEnd) {
        const std::int64_t to = std::int64_t(m_text.size());
        std::int64_t i = 0;
        while (i < to) {
            const char c = m_text[i];
            if (c == '\n') {
                const Mode mode = carried(m_lex);
                m_lex = static_cast<Lex>(mode);
                set(i, lineBreakStyle(mode));
                ++i;
                if (lineEnd)
                    lineEnd(i, carry(), m_lineDepth);
                m_lineDepth = m_depth;
                continue;
            }
            i = step(i, c);
        }
        if (to > 0 && m_text[to - 1] != '\n' && lineEnd)
            lineEnd(to, carry(), m_lineDepth);
        return carry();
    }

private:
    XmlStyleCarry carry() const {
        XmlStyleCarry out;
        out.mode = carried(m_lex);
        out.tag = m_tag;
        out.brackets = m_brackets;
        out.depth = m_depth;
        return out;
    }

    bool startsWith(std::int64_t at, std::string_view what) const {
        return m_text.substr(std::size_t(at), what.size()) == what;
    }
    char at(std::int64_t i) const { return i < std::int64_t(m_text.size()) ? m_text[i] : '\0'; }

    void set(std::int64_t i, char style) {
        if (m_styles)
            m_styles[i] = style;
    }
    std::int64_t fill(std::int64_t i, std::int64_t count, char style) {
        if (m_styles)
            std::memset(m_styles + i, style, std::size_t(count));
        return i + count;
    }

    void closeLevel() { m_depth = std::max(0, m_depth - 1); }

    // Text outside markup runs up to the next '<', '&' or line break in one go.
    std::int64_t text(std::int64_t i) {
        const char c = m_text[i];
        if (c == '<')
            return markupStart(i);
        if (c == '&') {
            m_lex = Lex::Entity;
            return fill(i, 1, XmlStyle::Entity);
        }
        std::int64_t end = i + 1;
        const std::int64_t size = std::int64_t(m_text.size());
        while (end < size && m_text[end] != '<' && m_text[end] != '&' && m_text[end] != '\n')
            ++end;
        return fill(i, end - i, XmlStyle::Default);
    }

    std::int64_t markupStart(std::int64_t i) {
        // Comments, CDATA sections and the internal subset fold like elements.
        if (startsWith(i, "<!--")) {
            ++m_depth;
            m_lex = Lex::Comment;
            return fill(i, 4, XmlStyle::Comment);
        }
        if (startsWith(i, "<![CDATA[")) {
            ++m_depth;
            m_lex = Lex::CData;
            return fill(i, 9, XmlStyle::CData);
        }
        if (startsWith(i, "<!")) {
            m_lex = Lex::SgmlCommand;
            m_brackets = 0;
            return fill(i, 2, XmlStyle::SgmlDefault);
        }
        m_lex = Lex::TagName;
        if (startsWith(i, "<?")) {
            m_tag = Tag::Instruction;
            return fill(i, 2, XmlStyle::XmlStart);
        }
        if (startsWith(i, "</")) {
            m_tag = Tag::End;
            closeLevel();
            return fill(i, 2, XmlStyle::Tag);
        }
        m_tag = Tag::Start;
        return fill(i, 1, XmlStyle::Tag);
    }

    // The end of a tag at `i`, if there is one: "/>", "?>" or '>'.
    std::int64_t tagEnd(std::int64_t i) {
        const char c = m_text[i];
        if (c == '/' && at(i + 1) == '>' && m_tag == Tag::Start) {
            m_lex = Lex::Text;
            return fill(i, 2, XmlStyle::TagEnd);
        }
        if (c == '?' && at(i + 1) == '>' && m_tag == Tag::Instruction) {
            m_lex = Lex::Text;
            return fill(i, 2, XmlStyle::XmlEnd);
        }
        if (c != '>')
            return i;
        if (m_tag == Tag::Start)
            ++m_depth;
        m_lex = Lex::Text;
        return fill(i, 1, XmlStyle::Tag);
    }

    std::int64_t inTag(std::int64_t i, char c) {
        const std::int64_t ended = tagEnd(i);
        if (ended != i)
            return ended;
        if (isBlank(c))
            return fill(i, 1, XmlStyle::Other);
        if (c == '=') {
            m_lex = Lex::AfterEquals;
            return fill(i, 1, XmlStyle::Other);
        }
        if (c == '"' || c == '\'')
            return quote(i, c);
        if (c == '<') {
            // A tag left open: what follows is read as new markup.
            m_lex = Lex::Text;
            return i;
        }
        m_lex = Lex::AttributeName;
        return fill(i, 1, XmlStyle::Attribute);
    }

    std::int64_t quote(std::int64_t i, char c) {
        m_lex = c == '"' ? Lex::DoubleValue : Lex::SingleValue;
        return fill(i, 1, c == '"' ? XmlStyle::DoubleString : XmlStyle::SingleString);
    }

    // Runs to the closing quote (or the line's end), the quote included.
    std::int64_t quoted(std::int64_t i, char quoteChar, char style, Lex after) {
        const std::int64_t size = std::int64_t(m_text.size());
        std::int64_t end = i;
        while (end < size && m_text[end] != quoteChar && m_text[end] != '\n')
            ++end;
        if (end < size && m_text[end] == quoteChar) {
            ++end;
            m_lex = after;
        }
        return fill(i, end - i, style);
    }

    // Runs to `closer` (included) or the line's end.
    std::int64_t section(std::int64_t i, std::string_view closer, char style) {
        const std::int64_t size = std::int64_t(m_text.size());
        std::int64_t end = i;
        while (end < size && m_text[end] != '\n') {
            if (m_text[end] == closer[0] && startsWith(end, closer)) {
                m_lex = Lex::Text;
                closeLevel();
                return fill(i, end + std::int64_t(closer.size()) - i, style);
            }
            ++end;
        }
        return fill(i, end - i, style);
    }

    std::int64_t sgml(std::int64_t i, char c) {
        switch (c) {
        case '"':
            m_lex = Lex::SgmlDoubleValue;
            return fill(i, 1, XmlStyle::SgmlDoubleString);
        case '\'':
            m_lex = Lex::SgmlSingleValue;
            return fill(i, 1, XmlStyle::SgmlSingleString);
        case '[':
            ++m_brackets;
            ++m_depth;
            break;
        case ']':
            if (m_brackets > 0) {
                --m_brackets;
                closeLevel();
            }
            break;
        case '>':
            if (m_brackets == 0)
                m_lex = Lex::Text;
            break;
        case '<':
            if (at(i + 1) == '!') {
                m_lex = Lex::SgmlCommand;
                return fill(i, 2, XmlStyle::SgmlDefault);
            }
            break;
        default:
            break;
        }
        return fill(i, 1, XmlStyle::SgmlDefault);
    }

    std::int64_t step(std::int64_t i, char c) {
        switch (m_lex) {
        case Lex::Text:
            return text(i);
        case Lex::TagName:
            if (isBlank(c) || c == '>' || c == '/' || (c == '?' && at(i + 1) == '>')) {
                m_lex = Lex::InTag;
                return i;
            }
            return fill(i, 1, XmlStyle::Tag);
        case Lex::InTag:
            return inTag(i, c);
        case Lex::AttributeName:
            if (isBlank(c) || c == '=' || c == '>' || c == '<' ||
                ((c == '/' || c == '?') && at(i + 1) == '>')) {
                m_lex = Lex::InTag;
                return i;
            }
            return fill(i, 1, XmlStyle::Attribute);
        case Lex::AfterEquals:
            if (c == '"' || c == '\'')
                return quote(i, c);
            if (isBlank(c))
                return fill(i, 1, XmlStyle::Other);
            if (c == '>' || c == '<' || ((c == '/' || c == '?') && at(i + 1) == '>')) {
                m_lex = Lex::InTag;
                return i;
            }
            m_lex = c >= '0' && c <= '9' ? Lex::UnquotedNumber : Lex::UnquotedValue;
            return i;
        case Lex::UnquotedNumber:
        case Lex::UnquotedValue:
            if (isBlank(c) || c == '>' || c == '<' ||
                ((c == '/' || c == '?') && at(i + 1) == '>')) {
                m_lex = Lex::InTag;
                return i;
            }
            return fill(i, 1, m_lex == Lex::UnquotedNumber ? XmlStyle::Number : XmlStyle::Value);
        case Lex::DoubleValue:
            return quoted(i, '"', XmlStyle::DoubleString, Lex::InTag);
        case Lex::SingleValue:
            return quoted(i, '\'', XmlStyle::SingleString, Lex::InTag);
        case Lex::Entity:
            if (c == ';') {
                m_lex = Lex::Text;
                return fill(i, 1, XmlStyle::Entity);
            }
            if (isBlank(c) || c == '<' || c == '&') {
                m_lex = Lex::Text;
                return i;
            }
            return fill(i, 1, XmlStyle::Entity);
        case Lex::Comment:
            return section(i, "-->", XmlStyle::Comment);
        case Lex::CData:
            return section(i, "]]>", XmlStyle::CData);
        case Lex::SgmlCommand:
            if (isLetter(c))
                return fill(i, 1, XmlStyle::SgmlCommand);
            m_lex = Lex::Sgml;
            return i;
        case Lex::Sgml:
            return sgml(i, c);
        case Lex::SgmlDoubleValue:
            return quoted(i, '"', XmlStyle::SgmlDoubleString, Lex::Sgml);
        case Lex::SgmlSingleValue:
            return quoted(i, '\'', XmlStyle::SgmlSingleString, Lex::Sgml);
        }
        return fill(i, 1, XmlStyle::Default);
    }

    std::string_view m_text;
    char* m_styles;
    Lex m_lex;
    Tag m_tag;
    std::uint8_t m_brackets;
    int m_depth;
    int m_lineDepth;
};

constexpr int kModeBits = 4;
constexpr int kTagBits = 2;
constexpr int kBracketBits = 3;
constexpr int kDepthShift = kModeBits + kTagBits + kBracketBits;
constexpr int kMaxDepth = (1 << (31 - kDepthShift)) - 1;

} // namespace

int XmlStyleCarry::encode() const {
    const int brackets = std::min<int>(this->brackets, (1 << kBracketBits) - 1);
    return int(mode) | (int(tag) << kModeBits) | (brackets << (kModeBits + kTagBits)) |
           (std::min(depth, kMaxDepth) << kDepthShift);
}

XmlStyleCarry XmlStyleCarry::decode(int state) {
    XmlStyleCarry carry;
    carry.mode = Mode(state & ((1 << kModeBits) - 1));
    carry.tag = Tag((state >> kModeBits) & ((1 << kTagBits) - 1));
    carry.brackets = std::uint8_t((state >> (kModeBits + kTagBits)) & ((1 << kBracketBits) - 1));
    carry.depth = state >> kDepthShift;
    return carry;
}

XmlStyleCarry StyleXml(std::string_view lines, XmlStyleCarry carry, char* styles,
                       const XmlLineEnd& lineEnd) {
    return Styler(lines, styles, carry).run(lineEnd);
}
