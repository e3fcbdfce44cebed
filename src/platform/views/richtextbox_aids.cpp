// What the view does for the user as they type XML: completion lists, the end tag after a start
// tag, the indentation of a new line, and comments on and off. What to complete is the
// completer's to decide; the view only shows it and puts the choice in.

#include "platform/views/richtextbox.h"

#include <Qsci/qscicommandset.h>

#include <QShortcut>
#include <QTimer>

namespace {

constexpr int kCompletionList = 1;
// Lines looked at to find the text's indentation unit.
constexpr long kIndentSample = 2000;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Start tags a line opens and does not close on it.
int opensOn(QByteArrayView line) {
    int open = 0;
    for (qsizetype at = line.indexOf('<'); at >= 0 && at + 1 < line.size();
         at = line.indexOf('<', at + 1)) {
        const char kind = line[at + 1];
        if (kind == '/') {
            open = std::max(open - 1, 0);
            continue;
        }
        if (kind == '!' || kind == '?')
            continue;
        // A tag still being written opens nothing yet.
        const qsizetype end = line.indexOf('>', at);
        if (end > 0 && line[end - 1] != '/')
            ++open;
    }
    return open;
}

} // namespace

void RichTextBox::setUpTypingAids() {
    SendScintilla(SCI_AUTOCSETORDER, static_cast<unsigned long>(SC_ORDER_CUSTOM));
    // Keys of the window's commands that Scintilla would take for its own: Ctrl+/ is Toggle
    // Comment, not move by word part; Ctrl+Shift+T is Transform with XSLT, not copy the line.
    for (const QKeyCombination key :
         {Qt::CTRL | Qt::Key_Slash, Qt::CTRL | Qt::SHIFT | Qt::Key_T}) {
        if (QsciCommand* command = standardCommands()->boundTo(key.toCombined()))
            command->setKey(0);
    }
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, [this](int ch) { typingAid(ch); });
    connect(this, &QsciScintilla::userListActivated, this, [this](int id, const QString& label) {
        if (id == kCompletionList)
            takeChoice(label);
    });
    auto* complete = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Space), this);
    complete->setContext(Qt::WidgetShortcut);
    connect(complete, &QShortcut::activated, this, [this] { ShowCompletions(); });
}

void RichTextBox::typingAid(int ch) {
    if (isReadOnly())
        return;
    switch (ch) {
    case '<':
    case '/':
    case ' ':
    case '\t':
    case '"':
    case '\'':
        ShowCompletions(static_cast<char>(ch));
        break;
    case '>':
        if (m_closesTags && m_tagCloser) {
            const QByteArray name = m_tagCloser(textAroundCaret().first);
            if (!name.isEmpty()) {
                const QByteArray end = "</" + name + '>';
                SendScintilla(SCI_INSERTTEXT, SendScintilla(SCI_GETCURRENTPOS), end.constData());
            }
        }
        break;
    case '\n':
        indentNewLine();
        break;
    default:
        break;
    }
}

// Either side of the caret as the view holds it; copied only when the gap is elsewhere, since
// reading across the gap would move it.
std::pair<QByteArrayView, QByteArrayView> RichTextBox::textAroundCaret() {
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long length = SendScintilla(SCI_GETLENGTH);
    if (SendScintilla(SCI_GETGAPPOSITION) == caret) {
        auto range = [this](long from, long count) {
            const auto* data = reinterpret_cast<const char*>(
                SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), count));
            return data ? QByteArrayView(data, count) : QByteArrayView();
        };
        return {range(0, caret), range(caret, length - caret)};
    }
    m_aroundCopy.resize(length);
    CopyText(0, length, m_aroundCopy.data());
    return {QByteArrayView(m_aroundCopy).first(caret), QByteArrayView(m_aroundCopy).sliced(caret)};
}

void RichTextBox::ShowCompletions(char typed) {
    if (!m_completer || isReadOnly() || m_source)
        return;
    const auto [before, after] = textAroundCaret();
    m_shown = m_completer(before, after, typed);
    m_aroundCopy.clear();
    if (m_shown.choices.isEmpty())
        return;
    if (m_shown.atOnce) {
        takeChoice(m_shown.choices.first().label);
        return;
    }
    QStringList labels;
    for (const TextChoice& choice : m_shown.choices)
        labels << choice.label;
    showUserList(kCompletionList, labels);
}

void RichTextBox::takeChoice(const QString& label) {
    const auto it = std::find_if(m_shown.choices.cbegin(), m_shown.choices.cend(),
                                 [&](const TextChoice& c) { return c.label == label; });
    if (it == m_shown.choices.cend())
        return;
    const TextChoice choice = *it;
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long from = std::min<long>(m_shown.from, caret);
    const QByteArray insert = choice.insert.toUtf8();
    SendScintilla(SCI_BEGINUNDOACTION);
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(from), caret);
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(insert.size()), insert.constData());
    SendScintilla(SCI_ENDUNDOACTION);
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(from + insert.size() - choice.caretBack));
    // Scintilla closes whatever list is open once this selection is reported: the values come
    // after.
    if (choice.valuesNext)
        QTimer::singleShot(0, this, [this] { ShowCompletions('"'); });
}

QByteArray RichTextBox::IndentUnit() {
    if (!m_indentUnit.isEmpty())
        return m_indentUnit;
    const long lines = std::min<long>(SendScintilla(SCI_GETLINECOUNT), kIndentSample);
    long spaces = 0;
    for (long line = 0; line < lines; ++line) {
        const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        const int first =
            static_cast<int>(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(start)));
        if (first == '\t') {
            m_indentUnit = "\t";
            return m_indentUnit;
        }
        const long indent = SendScintilla(SCI_GETLINEINDENTATION, static_cast<unsigned long>(line));
        const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
        if (indent > 0 && start + indent < end && (spaces == 0 || indent < spaces))
            spaces = indent;
    }
    m_indentUnit = QByteArray(spaces > 0 ? spaces : 2, ' ');
    return m_indentUnit;
}

// The new line starts as indented as the one before, a level deeper after a start tag left open
// there; between a start tag and its end tag, the end tag moves to a line of its own.
void RichTextBox::indentNewLine() {
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
    if (line == 0)
        return;
    const long previousStart =
        SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line - 1));
    const long previousEnd =
        SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line - 1));
    QByteArray previous(previousEnd - previousStart, Qt::Uninitialized);
    CopyText(previousStart, previous.size(), previous.data());
    qsizetype blanks = 0;
    while (blanks < previous.size() && isBlank(previous[blanks]))
        ++blanks;
    QByteArray indent = previous.left(blanks);
    const bool deeper = opensOn(previous) > 0;
    if (deeper)
        indent += IndentUnit();
    char next[3] = {};
    if (caret + 2 <= SendScintilla(SCI_GETLENGTH)) {
        next[0] =
            static_cast<char>(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(caret)));
        next[1] =
            static_cast<char>(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(caret + 1)));
    }
    if (indent.isEmpty())
        return;
    SendScintilla(SCI_BEGINUNDOACTION);
    SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(caret), indent.constData());
    if (deeper && next[0] == '<' && next[1] == '/') {
        const long mode = SendScintilla(SCI_GETEOLMODE);
        const QByteArray eol = mode == SC_EOL_CRLF ? "\r\n" : mode == SC_EOL_CR ? "\r" : "\n";
        const QByteArray rest = eol + previous.left(blanks);
        SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(caret + indent.size()),
                      rest.constData());
    }
    SendScintilla(SCI_ENDUNDOACTION);
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(caret + indent.size()));
}

void RichTextBox::ToggleComment() {
    if (isReadOnly())
        return;
    applyPending();
    long from = SendScintilla(SCI_GETSELECTIONSTART);
    long to = SendScintilla(SCI_GETSELECTIONEND);
    const long firstLine = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(from));
    long lastLine = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(to));
    // A selection ending at a line's start does not take that line in.
    if (lastLine > firstLine &&
        to == SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(lastLine)))
        --lastLine;
    from = SendScintilla(SCI_GETLINEINDENTPOSITION, static_cast<unsigned long>(firstLine));
    to = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(lastLine));
    QByteArray text(to - from, Qt::Uninitialized);
    CopyText(from, text.size(), text.data());
    const QByteArray trimmed = text.trimmed();
    const bool commented = trimmed.startsWith("<!--") && trimmed.endsWith("-->");
    QByteArray changed;
    if (commented) {
        const qsizetype open = text.indexOf("<!--");
        const qsizetype close = text.lastIndexOf("-->");
        QByteArray inner = text.mid(open + 4, close - open - 4);
        if (inner.startsWith(' '))
            inner.remove(0, 1);
        if (inner.endsWith(' '))
            inner.chop(1);
        changed = text.left(open) + inner + text.mid(close + 3);
    } else {
        changed = "<!-- " + text + " -->";
    }
    SendScintilla(SCI_BEGINUNDOACTION);
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(from), to);
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(changed.size()),
                  changed.constData());
    SendScintilla(SCI_ENDUNDOACTION);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(from), from + changed.size());
}
