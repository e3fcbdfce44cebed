#pragma once

// Start tags with very many attributes. libxml2 checks each attribute of a start tag against every
// one before it, so a tag with 100,000 attributes cost seconds before our builder saw it. While a
// file is read, WideTagFilter takes the plain attributes at the end of such a tag out of the bytes
// libxml2 gets and holds them; when libxml2 starts that element, the builder puts them on it after
// the ones libxml2 saw (xmlstartelement.cpp).
//
// What libxml2 sees stays a document it reads exactly as the original up to the end of the tag:
// each held character becomes one blank (line ends stay), so every line and column it reports is
// the original's, and only attributes it would have taken without a word are held. A tag with a
// repeated attribute name is left alone, so libxml2 reports that itself.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xmlimpl {

// The attributes held back from one start tag, in their order, values normalised as libxml2
// normalises an attribute of no declared type.
struct HeldTag {
    struct Attribute {
        uint32_t nameAt;  // into text, NUL-terminated
        uint32_t valueAt; // into text
        uint32_t valueLength;
    };
    uint64_t ordinal = 0; // which start tag of the document, counted from 0
    int visible = 0;      // the attributes (not namespace declarations) left for libxml2
    std::string text;
    std::vector<Attribute> attributes;
};

// Held tags on their way from the filter to the builder, which meets start tags in the same order.
class HeldAttributes {
public:
    void hold(HeldTag&& tag) { m_tags.push_back(std::move(tag)); }
    // For each start tag the builder meets, in order: what was held from it, if anything.
    std::optional<HeldTag> takeForNextTag();

private:
    std::deque<HeldTag> m_tags;
    uint64_t m_started = 0;
};

// Reads like a libxml2 input callback: bytes, 0 at the end, -1 on failure.
using ByteSource = std::function<int(char* buffer, int len)>;

// Passes a UTF-8 document's bytes from `source` to libxml2, holding the plain attributes past the
// first kVisibleAttributes of a tag (see above). Any other input (another encoding, a document
// type declaration, which may give attributes defaults and types) passes unchanged from there on.
class WideTagFilter {
public:
    static constexpr int kVisibleAttributes = 64;

    WideTagFilter(ByteSource source, HeldAttributes& held);
    // As a libxml2 read callback.
    int read(char* buffer, int len);

private:
    enum class State { Start, Text, Open, Comment, CData, PI, EndTag, StartTag, Off };
    bool fill();
    void scan();
    void decideOnStart();
    bool skipTo(std::string_view terminator);
    void scanStartTag();
    void tagEnded(size_t end);
    void release(size_t to);

    ByteSource m_source;
    HeldAttributes& m_held;
    std::string m_data;
    size_t m_given = 0; // bytes of m_data already handed to libxml2
    size_t m_ready = 0; // bytes of m_data that may be handed on
    size_t m_scan = 0;  // where the scan goes on
    bool m_end = false;
    State m_state = State::Start;
    // The start tag being scanned.
    size_t m_tagStart = 0;
    char m_quote = 0;
    int m_equals = 0;
    bool m_holding = false;
    uint64_t m_tags = 0;
};

// For tests: the most bytes one read from a file takes (0: no limit), to put tags across reads.
void setFileReadPiece(int bytes);
int fileReadPiece();

} // namespace xmlimpl
