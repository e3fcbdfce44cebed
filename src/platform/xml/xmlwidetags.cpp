// Holding back the plain attributes at the end of a very wide start tag, while a file is read.

#include "platform/xml/xmlwidetags.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <unordered_set>

namespace xmlimpl {
namespace {

constexpr int kChunk = 64 << 10;
// The XML declaration is looked for this far; one longer than that is not held to be UTF-8.
constexpr size_t kDeclarationWindow = 64 << 10;
// libxml2 stops looking ahead after 10 MB without XML_PARSE_HUGE: a tag anywhere near that keeps
// its bytes, so that libxml2 stops exactly where it would have.
constexpr size_t kLargestHeldTag = 8 << 20;
// Well inside libxml2's own limits on names and values, whose errors a held attribute would hide.
constexpr size_t kLongestName = 1000;
constexpr size_t kLongestValue = 1 << 20;

std::atomic<int> s_readPiece{0};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t skipSpaces(std::string_view text, size_t p) {
    while (p < text.size() && isSpace(text[p]))
        ++p;
    return p;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether libxml2 reads the document as UTF-8, judged from its start up to the first '>': no
// byte order mark but UTF-8's, no other encoding named in the XML declaration.
bool readAsUtf8(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF"))
        head.remove_prefix(3);
    // UTF-16 and UCS-4 without a byte order mark still have a zero byte among the first four.
    if (head.empty() || head.substr(0, 4).find('\0') != std::string_view::npos)
        return false;
    if (head[0] != '<' && !isSpace(head[0]))
        return false;
    if (!head.starts_with("<?xml") || head.size() < 6 || !isSpace(head[5]))
        return true;
    const size_t close = head.find("?>");
    if (close == std::string_view::npos)
        return false;
    const std::string_view declaration = head.substr(0, close);
    const size_t name = declaration.find("encoding");
    if (name == std::string_view::npos)
        return true;
    size_t p = skipSpaces(declaration, name + 8);
    if (p >= declaration.size() || declaration[p] != '=')
        return false;
    p = skipSpaces(declaration, p + 1);
    if (p >= declaration.size() || (declaration[p] != '"' && declaration[p] != '\''))
        return false;
    const size_t end = declaration.find(declaration[p], p + 1);
    if (end == std::string_view::npos)
        return false;
    const std::string_view encoding = declaration.substr(p + 1, end - p - 1);
    return equalsIgnoringCase(encoding, "UTF-8") || equalsIgnoringCase(encoding, "UTF8");
}

struct TagAttribute {
    std::string_view name;
    std::string_view value;
    size_t start; // of its name, in the tag
    size_t end;   // past its closing quote
};

// The attributes of a whole start tag, `<` to `>`; false when the tag is not written as this
// expects (libxml2 then reports what is wrong with it, from bytes left as they are).
bool readAttributes(std::string_view tag, std::vector<TagAttribute>& out) {
    const size_t n = tag.size();
    size_t p = 1;
    while (p < n && !isSpace(tag[p]) && tag[p] != '/' && tag[p] != '>')
        ++p;
    for (;;) {
        const size_t spaceAt = p;
        p = skipSpaces(tag, p);
        if (p >= n)
            return false;
        if (tag[p] == '>')
            return p + 1 == n;
        if (tag[p] == '/')
            return p + 2 == n && tag[p + 1] == '>';
        if (p == spaceAt)
            return false;
        const size_t start = p;
        while (p < n && !isSpace(tag[p]) && tag[p] != '=' && tag[p] != '>' && tag[p] != '/' &&
               tag[p] != '"' && tag[p] != '\'')
            ++p;
        const std::string_view name = tag.substr(start, p - start);
        p = skipSpaces(tag, p);
        if (name.empty() || p >= n || tag[p] != '=')
            return false;
        p = skipSpaces(tag, p + 1);
        if (p >= n || (tag[p] != '"' && tag[p] != '\''))
            return false;
        const size_t close = tag.find(tag[p], p + 1);
        if (close == std::string_view::npos)
            return false;
        out.push_back({name, tag.substr(p + 1, close - p - 1), start, close + 1});
        p = close + 1;
    }
}

bool isDeclaration(std::string_view name) {
    return name == "xmlns" || name.starts_with("xmlns:");
}

// An unprefixed ASCII name libxml2 takes as it is, and no namespace declaration.
bool isPlainName(std::string_view name) {
    const auto start = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (name.empty() || name.size() > kLongestName || name == "xmlns" || !start(name[0]))
        return false;
    return std::all_of(name.begin() + 1, name.end(), [&](char c) {
        return start(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
}

// Whether the multi-byte characters of `text` are UTF-8 of characters XML allows. libxml2 quotes
// the bytes that follow a character it cannot decode, so a tag with one keeps all its bytes.
bool isXmlUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > n)
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
            code == 0xFFFF || code > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

// A value libxml2 takes without a word and without expanding anything: characters that XML
// allows, no reference, no '<'.
bool isPlainValue(std::string_view value) {
    return value.size() <= kLongestValue &&
           std::none_of(value.begin(), value.end(),
                        [](char c) {
                            return c == '&' || c == '<' ||
                                   (static_cast<unsigned char>(c) < 0x20 && c != '\t' &&
                                    c != '\n' && c != '\r');
                        }) &&
           isXmlUtf8(value);
}

bool isPlain(const TagAttribute& a) {
    return isPlainName(a.name) && isPlainValue(a.value);
}

// White space in a value becomes a space each, a CR LF pair one.
void appendNormalised(std::string& out, std::string_view value) {
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
            continue;
        out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
}

// One blank for each character, line ends kept: libxml2 counts lines and columns by characters.
void appendBlanks(std::string& out, std::string_view held) {
    for (const char c : held) {
        if (c == '\n' || c == '\r')
            out += c;
        else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            out += ' ';
    }
}

bool hasRepeatedName(const std::vector<TagAttribute>& attributes) {
    std::unordered_set<std::string_view> names;
    names.reserve(attributes.size());
    return !std::all_of(attributes.begin(), attributes.end(),
                        [&](const TagAttribute& a) { return names.insert(a.name).second; });
}

// The tag as libxml2 is to read it, the plain attributes that end it held in `held`; nothing when
// the tag is kept as it is. Only a run at the end is held: the builder appends what was held
// after what libxml2 read, so the order stays the document's.
std::optional<std::string> holdPlainTail(std::string_view tag, uint64_t ordinal,
                                         HeldAttributes& held) {
    std::vector<TagAttribute> attributes;
    if (!readAttributes(tag, attributes) || !isXmlUtf8(tag))
        return std::nullopt;
    size_t from = attributes.size();
    while (from > static_cast<size_t>(WideTagFilter::kVisibleAttributes) &&
           isPlain(attributes[from - 1]))
        --from;
    if (from == attributes.size() || hasRepeatedName(attributes))
        return std::nullopt;
    HeldTag heldTag;
    heldTag.ordinal = ordinal;
    heldTag.visible = static_cast<int>(
        std::count_if(attributes.begin(), attributes.begin() + static_cast<std::ptrdiff_t>(from),
                      [](const TagAttribute& a) { return !isDeclaration(a.name); }));
    heldTag.attributes.reserve(attributes.size() - from);
    for (size_t i = from; i < attributes.size(); ++i) {
        HeldTag::Attribute a{};
        a.nameAt = static_cast<uint32_t>(heldTag.text.size());
        heldTag.text.append(attributes[i].name);
        heldTag.text += '\0';
        a.valueAt = static_cast<uint32_t>(heldTag.text.size());
        appendNormalised(heldTag.text, attributes[i].value);
        a.valueLength = static_cast<uint32_t>(heldTag.text.size() - a.valueAt);
        heldTag.attributes.push_back(a);
    }
    const size_t start = attributes[from].start;
    const size_t end = attributes.back().end;
    std::string rewritten;
    rewritten.reserve(tag.size());
    rewritten.append(tag.substr(0, start));
    appendBlanks(rewritten, tag.substr(start, end - start));
    rewritten.append(tag.substr(end));
    held.hold(std::move(heldTag));
    return rewritten;
}

} // namespace

std::optional<HeldTag> HeldAttributes::takeForNextTag() {
    const uint64_t ordinal = m_started++;
    if (m_tags.empty() || m_tags.front().ordinal != ordinal)
        return std::nullopt;
    HeldTag tag = std::move(m_tags.front());
    m_tags.pop_front();
    return tag;
}

WideTagFilter::WideTagFilter(ByteSource source, HeldAttributes& held)
    : m_source(std::move(source)), m_held(held) {}

// libxml2 gets as much as it asks for, as from a file: it misreads some markup that a read cuts
// short.
int WideTagFilter::read(char* buffer, int len) {
    const size_t wanted = static_cast<size_t>(std::max(len, 0));
    while (m_ready - m_given < wanted && !m_end) {
        if (!fill())
            return -1;
        scan();
    }
    // What is still held at the end (a tag never closed) passes as it is.
    if (m_end)
        m_ready = m_data.size();
    const size_t n = std::min(wanted, m_ready - m_given);
    std::memcpy(buffer, m_data.data() + m_given, n);
    m_given += n;
    return static_cast<int>(n);
}

bool WideTagFilter::fill() {
    if (m_given > 0 && m_given >= m_data.size() / 2) {
        m_data.erase(0, m_given);
        m_ready -= m_given;
        m_scan -= m_given;
        m_tagStart = m_tagStart >= m_given ? m_tagStart - m_given : 0;
        m_given = 0;
    }
    const int piece = fileReadPiece() > 0 ? fileReadPiece() : kChunk;
    const size_t had = m_data.size();
    m_data.resize(had + static_cast<size_t>(piece));
    const int n = m_source(m_data.data() + had, piece);
    m_data.resize(had + static_cast<size_t>(std::max(n, 0)));
    if (n == 0)
        m_end = true;
    return n >= 0;
}

void WideTagFilter::release(size_t to) {
    m_ready = std::max(m_ready, to);
}

void WideTagFilter::scan() {
    for (;;) {
        const char* data = m_data.data();
        const size_t size = m_data.size();
        switch (m_state) {
        case State::Start:
            decideOnStart();
            if (m_state == State::Start)
                return;
            continue;
        case State::Off:
            m_scan = size;
            release(size);
            return;
        case State::Text: {
            const void* open = std::memchr(data + m_scan, '<', size - m_scan);
            m_scan = open ? static_cast<size_t>(static_cast<const char*>(open) - data) : size;
            release(m_scan);
            if (!open)
                return;
            m_state = State::Open;
            continue;
        }
        case State::Open: {
            if (size - m_scan < 9 && !m_end)
                return; // what the markup is shows in the bytes still to come
            const std::string_view at(data + m_scan, std::min<size_t>(size - m_scan, 9));
            if (at.starts_with("<!--")) {
                m_state = State::Comment;
                m_scan += 4;
            } else if (at.starts_with("<![CDATA[")) {
                m_state = State::CData;
                m_scan += 9;
            } else if (at.starts_with("<!")) {
                m_state = State::Off; // a document type declaration: defaults and types
                continue;
            } else if (at.starts_with("<?")) {
                m_state = State::PI;
                m_scan += 2;
            } else if (at.starts_with("</")) {
                m_state = State::EndTag;
                m_scan += 2;
            } else {
                m_state = State::StartTag;
                m_tagStart = m_scan;
                m_scan += 1;
                m_quote = 0;
                m_equals = 0;
                m_holding = true;
                continue;
            }
            release(m_scan);
            continue;
        }
        case State::Comment:
            if (!skipTo("-->"))
                return;
            continue;
        case State::CData:
            if (!skipTo("]]>"))
                return;
            continue;
        case State::PI:
            if (!skipTo("?>"))
                return;
            continue;
        case State::EndTag:
            if (!skipTo(">"))
                return;
            continue;
        case State::StartTag:
            scanStartTag();
            if (m_state == State::StartTag)
                return;
            continue;
        }
    }
}

void WideTagFilter::decideOnStart() {
    const std::string_view data(m_data);
    const size_t close = data.find('>');
    if (close == std::string_view::npos && data.size() < kDeclarationWindow && !m_end)
        return;
    const std::string_view head = close == std::string_view::npos
                                      ? data.substr(0, kDeclarationWindow)
                                      : data.substr(0, close + 1);
    m_state = readAsUtf8(head) ? State::Text : State::Off;
}

bool WideTagFilter::skipTo(std::string_view terminator) {
    const std::string_view rest = std::string_view(m_data).substr(m_scan);
    const size_t found = rest.find(terminator);
    if (found == std::string_view::npos) {
        // The terminator may begin in the last bytes: they are looked at again with the next.
        m_scan += rest.size() - std::min(rest.size(), terminator.size() - 1);
        release(m_scan);
        return false;
    }
    m_scan += found + terminator.size();
    release(m_scan);
    m_state = State::Text;
    return true;
}

void WideTagFilter::scanStartTag() {
    const char* data = m_data.data();
    const size_t size = m_data.size();
    size_t p = m_scan;
    while (p < size) {
        if (m_quote) {
            const void* close = std::memchr(data + p, m_quote, size - p);
            if (!close) {
                p = size;
                break;
            }
            p = static_cast<size_t>(static_cast<const char*>(close) - data) + 1;
            m_quote = 0;
            continue;
        }
        const char c = data[p];
        if (c == '>') {
            tagEnded(p + 1);
            return;
        }
        if (c == '<') {
            // libxml2 stops at this tag with an error; nothing after it needs holding.
            m_scan = p;
            m_state = State::Off;
            return;
        }
        if (c == '"' || c == '\'')
            m_quote = c;
        else if (c == '=')
            ++m_equals;
        ++p;
    }
    m_scan = p;
    if (m_holding && m_scan - m_tagStart > kLargestHeldTag)
        m_holding = false;
    if (!m_holding)
        release(m_scan);
}

void WideTagFilter::tagEnded(size_t end) {
    if (m_holding && m_equals > kVisibleAttributes) {
        const std::string_view tag = std::string_view(m_data).substr(m_tagStart, end - m_tagStart);
        if (const std::optional<std::string> rewritten = holdPlainTail(tag, m_tags, m_held)) {
            m_data.replace(m_tagStart, tag.size(), *rewritten);
            end = m_tagStart + rewritten->size();
        }
    }
    ++m_tags;
    m_scan = end;
    release(end);
    m_state = State::Text;
}

void setFileReadPiece(int bytes) {
    s_readPiece.store(bytes);
}

int fileReadPiece() {
    return s_readPiece.load();
}

} // namespace xmlimpl
