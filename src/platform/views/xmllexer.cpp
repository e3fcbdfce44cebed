#include "platform/views/xmllexer.h"

#include "platform/views/palettecolours.h"

#include <Qsci/qsciscintilla.h>

#include <QEvent>
#include <QFontDatabase>
#include <QPalette>

#include <algorithm>
#include <limits>

namespace {
// Our styles are QScintilla's XML lexer's first ones; the rest of its numbers are for scripts.
constexpr int kStyles = 32;
} // namespace

XmlLexer::XmlLexer(QObject* parent) : QsciLexerCustom(parent) {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_colours.setDefaultFont(fixed);
    setDefaultFont(fixed);
}

void XmlLexer::FollowPalette(const QPalette& palette) {
    using namespace PaletteColours;
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    setDefaultPaper(base);
    setDefaultColor(text);
    for (int style = 0; style < kStyles; ++style) {
        const QColor given = m_colours.defaultPaper(style);
        const QColor paper = given == QColor(Qt::white) ? base : Tinted(given, base);
        const QColor colour = m_colours.defaultColor(style);
        setPaper(paper, style);
        setColor(colour == QColor(Qt::black) ? Readable(text, paper) : Readable(colour, paper),
                 style);
    }
}

QString XmlLexer::description(int style) const {
    return style < kStyles ? m_colours.description(style) : QString();
}

QColor XmlLexer::defaultColor(int style) const {
    return m_colours.defaultColor(style);
}

QColor XmlLexer::defaultPaper(int style) const {
    return m_colours.defaultPaper(style);
}

// The system's fixed-width font for every style (QScintilla gives the text between tags a
// proportional one), bold or italic as QScintilla's XML styles are.
QFont XmlLexer::defaultFont(int style) const {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont given = m_colours.defaultFont(style);
    font.setBold(given.bold());
    font.setItalic(given.italic());
    return font;
}

bool XmlLexer::defaultEolFill(int style) const {
    return m_colours.defaultEolFill(style);
}

// QsciLexerCustom's own handling would style from the end of the styled text every time; this
// lexer chooses what to style itself. Setting the lexer again (a fresh document) forgets the gaps,
// which belonged to the old document.
void XmlLexer::setEditor(QsciScintilla* editor) {
    if (QsciScintilla* old = this->editor())
        old->viewport()->removeEventFilter(this);
    disconnect(m_styleNeeded);
    disconnect(m_modified);
    m_gaps.clear();
    m_checkpoints.clear();
    QsciLexer::setEditor(editor);
    if (!editor)
        return;
    m_styleNeeded = connect(editor, &QsciScintillaBase::SCN_STYLENEEDED, this,
                            [this](int position) { styleNeeded(position); });
    // Whatever follows an edit counts as not styled for QScintilla and is asked for again; the
    // gaps there are no longer where they were.
    m_modified = connect(editor, &QsciScintillaBase::SCN_MODIFIED, this,
                         [this](int position, int) { forgetAfter(position); });
    editor->viewport()->installEventFilter(this);
}

void XmlLexer::styleText(int start, int end) {
    styleLines(lineStart(start), nextLineStart(end));
}

long XmlLexer::send(unsigned int message, unsigned long wParam, long lParam) const {
    return editor()->SendScintilla(message, wParam, lParam);
}

std::int64_t XmlLexer::lineStart(std::int64_t position) const {
    const long line = send(QsciScintillaBase::SCI_LINEFROMPOSITION, position);
    return send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
}

// The start of the line after the one holding `position`, or the end of the text.
std::int64_t XmlLexer::nextLineStart(std::int64_t position) const {
    const long line = send(QsciScintillaBase::SCI_LINEFROMPOSITION, position);
    if (line + 1 >= send(QsciScintillaBase::SCI_GETLINECOUNT))
        return send(QsciScintillaBase::SCI_GETLENGTH);
    return send(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
}

void XmlLexer::styleNeeded(std::int64_t position) {
    if (!editor())
        return;
    const std::int64_t styled = send(QsciScintillaBase::SCI_GETENDSTYLED);
    std::int64_t from = lineStart(styled);
    const std::int64_t to = nextLineStart(
        std::clamp<std::int64_t>(position - 1, 0, std::max<std::int64_t>(0, position)));
    if (!m_foldLevels && to - from > kReach + kLookBack) {
        const std::int64_t near = lineStart(to - kReach);
        addGap(from, near);
        from = near;
    }
    styleLines(from, to);
}

// Fold levels need the exact nesting, so turning them on styles everything again from the start.
void XmlLexer::setFoldLevels(bool kept) {
    if (kept && !m_foldLevels && editor()) {
        forgetAfter(0);
        send(QsciScintillaBase::SCI_STARTSTYLING, 0, 0x1f);
    }
    m_foldLevels = kept;
}

void XmlLexer::forgetAfter(std::int64_t position) {
    removeGaps(position, std::numeric_limits<std::int64_t>::max());
    m_checkpoints.erase(
        std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), position,
                         [](std::int64_t at, const Checkpoint& c) { return at < c.position; }),
        m_checkpoints.end());
}

void XmlLexer::addCheckpoint(std::int64_t position, const XmlStyleCarry& carry) {
    auto at = std::lower_bound(
        m_checkpoints.begin(), m_checkpoints.end(), position,
        [](const Checkpoint& c, std::int64_t where) { return c.position < where; });
    if (at != m_checkpoints.end() && at->position == position)
        at->carry = carry;
    else
        m_checkpoints.insert(at, {position, carry});
}

// Read from the nearest checkpoint before the line; gaps do not matter, as only the text is read.
// With none near, the state is guessed as plain text a bounded way back: the tags read since then
// have put it right.
XmlStyleCarry XmlLexer::carryAt(std::int64_t lineStart) {
    if (lineStart == 0)
        return {};
    auto after =
        std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), lineStart,
                         [](std::int64_t at, const Checkpoint& c) { return at < c.position; });
    std::int64_t from = 0;
    XmlStyleCarry carry;
    if (after != m_checkpoints.begin()) {
        from = std::prev(after)->position;
        carry = std::prev(after)->carry;
    }
    if (lineStart - from > kLookBack) {
        from = this->lineStart(lineStart - kLookBack);
        carry = {};
    }
    if (from == lineStart)
        return carry;
    const auto* text = reinterpret_cast<const char*>(
        send(QsciScintillaBase::SCI_GETRANGEPOINTER, from, long(lineStart - from)));
    carry = StyleXml(std::string_view(text, std::size_t(lineStart - from)), carry, nullptr);
    addCheckpoint(lineStart, carry);
    return carry;
}

void XmlLexer::styleLines(std::int64_t from, std::int64_t to) {
    if (to <= from)
        return;
    const std::int64_t styledBefore = send(QsciScintillaBase::SCI_GETENDSTYLED);
    const XmlStyleCarry start = carryAt(from);
    const auto* text = reinterpret_cast<const char*>(
        send(QsciScintillaBase::SCI_GETRANGEPOINTER, from, long(to - from)));
    m_styles.resize(std::size_t(to - from));
    long line = send(QsciScintillaBase::SCI_LINEFROMPOSITION, from);
    std::int64_t checkpoint = from;
    const XmlStyleCarry end =
        StyleXml(std::string_view(text, std::size_t(to - from)), start, m_styles.data(),
                 [&](std::int64_t next, const XmlStyleCarry& carry, int startDepth) {
                     if (m_foldLevels) {
                         int level = QsciScintillaBase::SC_FOLDLEVELBASE + startDepth;
                         if (carry.depth > startDepth)
                             level |= QsciScintillaBase::SC_FOLDLEVELHEADERFLAG;
                         send(QsciScintillaBase::SCI_SETFOLDLEVEL, line, level);
                     }
                     ++line;
                     if (from + next - checkpoint >= kCheckpointSpacing) {
                         checkpoint = from + next;
                         addCheckpoint(checkpoint, carry);
                     }
                 });
    addCheckpoint(to, end);
    send(QsciScintillaBase::SCI_STARTSTYLING, from, 0x1f);
    editor()->SendScintilla(QsciScintillaBase::SCI_SETSTYLINGEX,
                            static_cast<unsigned long>(to - from), m_styles.data());
    removeGaps(from, to);
    // Filling a gap moves QScintilla's mark back; the text after it stays styled.
    if (styledBefore > to)
        send(QsciScintillaBase::SCI_STARTSTYLING, styledBefore, 0x1f);
    if (m_styles.size() > std::size_t(kReach + kLookBack)) {
        m_styles.clear();
        m_styles.shrink_to_fit();
    }
}

void XmlLexer::addGap(std::int64_t from, std::int64_t to) {
    if (to <= from)
        return;
    Gap gap{from, to};
    auto at = std::lower_bound(m_gaps.begin(), m_gaps.end(), gap,
                               [](const Gap& a, const Gap& b) { return a.from < b.from; });
    at = m_gaps.insert(at, gap);
    // Gaps that touch become one, so that the text before a gap is always styled.
    std::vector<Gap> merged;
    for (const Gap& g : m_gaps) {
        if (!merged.empty() && g.from <= merged.back().to)
            merged.back().to = std::max(merged.back().to, g.to);
        else
            merged.push_back(g);
    }
    m_gaps = std::move(merged);
}

void XmlLexer::removeGaps(std::int64_t from, std::int64_t to) {
    std::vector<Gap> kept;
    for (const Gap& g : m_gaps) {
        if (g.to <= from || g.from >= to) {
            kept.push_back(g);
            continue;
        }
        if (g.from < from)
            kept.push_back({g.from, from});
        if (g.to > to)
            kept.push_back({to, g.to});
    }
    m_gaps = std::move(kept);
}

// Lines of a gap that come into view are styled just before they are painted.
void XmlLexer::styleShownGaps() {
    const long firstVisible = send(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
    const long first = send(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE, firstVisible);
    const long shown = send(QsciScintillaBase::SCI_LINESONSCREEN) + 1;
    const std::int64_t from = send(QsciScintillaBase::SCI_POSITIONFROMLINE, first);
    const std::int64_t to = nextLineStart(
        send(QsciScintillaBase::SCI_POSITIONFROMLINE,
             std::min<long>(first + shown, send(QsciScintillaBase::SCI_GETLINECOUNT) - 1)));
    const std::vector<Gap> gaps = m_gaps;
    for (const Gap& gap : gaps) {
        if (gap.to > from && gap.from < to)
            styleLines(std::max(gap.from, from), std::min(gap.to, to));
    }
}

bool XmlLexer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && !m_gaps.empty() && editor() &&
        watched == editor()->viewport())
        styleShownGaps();
    return QsciLexerCustom::eventFilter(watched, event);
}
