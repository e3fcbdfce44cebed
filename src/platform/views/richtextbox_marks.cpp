// The text view's mark of where its text stops being well-formed.

#include "platform/views/richtextbox.h"

#include <QColor>

namespace {
constexpr int kErrorMarker = 1;
constexpr int kErrorMargin = 1;
constexpr int kErrorIndicator = 8; // the first of those left to containers
// The most of a line underlined: a name or a word, not a whole line of a minified file.
constexpr long kLongestUnderline = 40;

bool endsWord(int character) {
    return character <= ' ' || character == '<' || character == '>' || character == '"' ||
           character == '\'' || character == '=' || character == '/';
}
} // namespace

void RichTextBox::setUpErrorMarks() {
    setMarginType(kErrorMargin, QsciScintilla::SymbolMargin);
    setMarginWidth(kErrorMargin, 12);
    setMarginMarkerMask(kErrorMargin, 1 << kErrorMarker);
    setMarginSensitivity(kErrorMargin, false);
    markerDefine(QsciScintilla::Circle, kErrorMarker);
    setMarkerForegroundColor(QColor(0xB0, 0x00, 0x20), kErrorMarker);
    setMarkerBackgroundColor(QColor(0xE0, 0x20, 0x30), kErrorMarker);
    SendScintilla(SCI_INDICSETSTYLE, kErrorIndicator, INDIC_SQUIGGLE);
    SendScintilla(SCI_INDICSETFORE, kErrorIndicator, QColor(0xE0, 0x00, 0x00));
}

// libxml2 counts a column in characters from 1; past the line's end it is the line's end.
long RichTextBox::positionOf(int line, int column) {
    const long lineCount = SendScintilla(SCI_GETLINECOUNT);
    const long at = std::clamp<long>(line - 1, 0, lineCount - 1);
    const long start = SendScintilla(SCI_POSITIONFROMLINE, at);
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, at);
    const long characters = SendScintilla(SCI_COUNTCHARACTERS, start, end);
    const long wanted = std::clamp<long>(column - 1, 0, characters);
    return wanted == characters ? end : SendScintilla(SCI_POSITIONRELATIVE, start, wanted);
}

void RichTextBox::MarkError(int line, int column) {
    ClearErrorMark();
    m_errorMark.line = std::max(line, 1);
    m_errorMark.column = column;
    if (!m_source)
        showErrorMark();
}

void RichTextBox::showErrorMark() {
    if (m_errorMark.line <= 0 || m_errorMark.shown)
        return;
    const long position = positionOf(m_errorMark.line, m_errorMark.column);
    const long line = SendScintilla(SCI_LINEFROMPOSITION, position);
    markerAdd(static_cast<int>(line), kErrorMarker);
    const long lineStart = SendScintilla(SCI_POSITIONFROMLINE, line);
    const long lineEnd = SendScintilla(SCI_GETLINEENDPOSITION, line);
    // libxml2 mostly stands just past the markup it refused: then that markup, else the word at
    // the place, or at the end of a line the character before it.
    long from = position;
    long to = position;
    const auto charAt = [this](long at) {
        return static_cast<int>(SendScintilla(SCI_GETCHARAT, at));
    };
    if (from > lineStart && charAt(from - 1) == '>') {
        long open = from - 1;
        while (open > lineStart && position - open < kLongestUnderline && charAt(open) != '<')
            --open;
        from = charAt(open) == '<' ? open : SendScintilla(SCI_POSITIONBEFORE, position);
    } else if (from == lineEnd && from > lineStart) {
        from = SendScintilla(SCI_POSITIONBEFORE, from);
    } else {
        while (to < lineEnd && to - from < kLongestUnderline &&
               (to == from || !endsWord(charAt(to))))
            to = SendScintilla(SCI_POSITIONAFTER, to);
    }
    to = std::max(to, std::min(lineEnd, SendScintilla(SCI_POSITIONAFTER, from)));
    if (to > from) {
        SendScintilla(SCI_SETINDICATORCURRENT, kErrorIndicator);
        SendScintilla(SCI_INDICATORFILLRANGE, from, to - from);
    }
    m_errorMark.shown = true;
}

void RichTextBox::ClearErrorMark() {
    if (m_errorMark.shown) {
        markerDeleteAll(kErrorMarker);
        SendScintilla(SCI_SETINDICATORCURRENT, kErrorIndicator);
        SendScintilla(SCI_INDICATORCLEARRANGE, 0, SendScintilla(SCI_GETLENGTH));
    }
    m_errorMark = {};
}

int RichTextBox::ErrorLine() const {
    if (!m_errorMark.shown)
        return m_errorMark.line;
    const long line = SendScintilla(SCI_MARKERNEXT, 0, 1 << kErrorMarker);
    return line < 0 ? 0 : static_cast<int>(line) + 1;
}

std::pair<qsizetype, qsizetype> RichTextBox::ErrorRange() const {
    if (!m_errorMark.shown)
        return {};
    // The underline moves with the text typed before it.
    const long start = SendScintilla(SCI_INDICATORVALUEAT, kErrorIndicator, 0L)
                           ? 0
                           : SendScintilla(SCI_INDICATOREND, kErrorIndicator, 0L);
    if (start >= SendScintilla(SCI_GETLENGTH))
        return {};
    return {start, SendScintilla(SCI_INDICATOREND, kErrorIndicator, start)};
}

void RichTextBox::GoToLineColumn(int line, int column) {
    applyPending();
    const long position = positionOf(line, column);
    SendScintilla(SCI_ENSUREVISIBLEENFORCEPOLICY, SendScintilla(SCI_LINEFROMPOSITION, position));
    SendScintilla(SCI_GOTOPOS, position);
    SendScintilla(SCI_SCROLLCARET);
}
