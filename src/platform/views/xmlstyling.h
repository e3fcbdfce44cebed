#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

// The text view's XML highlighting, as style numbers per byte of UTF-8 text. The numbers and what
// they mean are those of QScintilla's XML lexer, so its colours serve unchanged. Styling can start
// at any line when the state the line starts in is known (`XmlStyleCarry`); that state depends
// only on the text before it, and after a few tags the styling no longer depends on a wrong guess
// of it, which is what lets a far part of a large text be styled without all the text before it.
namespace XmlStyle {
enum : char {
    Default = 0,
    Tag = 1,
    Attribute = 3,
    Number = 5,
    DoubleString = 6,
    SingleString = 7,
    Other = 8,
    Comment = 9,
    Entity = 10,
    TagEnd = 11,
    XmlStart = 12,
    XmlEnd = 13,
    CData = 17,
    Value = 19,
    SgmlDefault = 21,
    SgmlCommand = 22,
    SgmlDoubleString = 24,
    SgmlSingleString = 25,
};
} // namespace XmlStyle

// What a line starts in: the kind of construct still open and the element nesting (for folding).
struct XmlStyleCarry {
    enum class Mode : std::uint8_t {
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
    };
    // Which tag is open: a start tag (nesting goes up at its '>'), an end tag, or a processing
    // instruction (ends at "?>").
    enum class Tag : std::uint8_t { Start, End, Instruction };

    Mode mode = Mode::Text;
    Tag tag = Tag::Start;
    std::uint8_t brackets = 0; // '[' open in a document type declaration
    int depth = 0;

    // As a QScintilla line state (an int) and back.
    int encode() const;
    static XmlStyleCarry decode(int state);
    bool operator==(const XmlStyleCarry&) const = default;
};

// Called after each line break styled: the offset after it, the state the next line starts in,
// and the nesting the line started at (its fold level).
using XmlLineEnd =
    std::function<void(std::int64_t next, const XmlStyleCarry& carry, int startDepth)>;

// Styles `lines` (whole lines: nothing of the text's markup spans a line break unless carried)
// starting in `carry`, and answers the state after them. `styles` gets one style number per byte;
// null only works out the state.
XmlStyleCarry StyleXml(std::string_view lines, XmlStyleCarry carry, char* styles,
                       const XmlLineEnd& lineEnd = {});
