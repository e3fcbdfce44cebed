// The two item editors give back exactly what is in them: a value confirmed unchanged comes back
// byte for byte (the text box shows no-break spaces, CR and U+2028 its own way), and what the user
// types is taken as typed.

#include "support/editingfixture.h"

#include <QTextCursor>

namespace {

const QString kSpecials = QStringLiteral("a\u00A0b\rc\r\nd\te\u2028f\u00A0");

// Confirms the editor loaded with `value` after `edit` acted on its text box.
template <typename Editor, typename Edit> QString confirmed(const QString& value, Edit edit) {
    Editor editor;
    editor.strText = value;
    editor.setCaption(QStringLiteral("Editor"));
    edit(*editor.txtText);
    editor.cmdOK->click();
    EXPECT_TRUE(editor.bOK);
    return editor.strText;
}

void typeAt(QPlainTextEdit& box, int position, const QString& text) {
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(position);
    box.setTextCursor(cursor);
    QTest::keyClicks(&box, text);
}
void unchanged(QPlainTextEdit&) {}

} // namespace

TEST(EditorDialogs, UnchangedValuesComeBackByteForByte) {
    QString large;
    while (large.size() < 1024 * 1024)
        large += kSpecials + QString(61, QLatin1Char('x'));
    const QString values[] = {kSpecials, QStringLiteral("\r\n\r"), QStringLiteral("\u2028"),
                              QStringLiteral("\t\u00A0\t"), large};
    for (const QString& value : values) {
        SCOPED_TRACE(value.left(20).toStdString());
        EXPECT_TRUE(confirmed<frmTextEditor>(value, unchanged) == value);
        EXPECT_TRUE(confirmed<frmAttributeEditor>(value, unchanged) == value);
    }
}

TEST(EditorDialogs, TypedTextIsTakenAsTypedAndTheRestKept) {
    // Position 4 is just after the CR: the box shows each line break as one character.
    EXPECT_EQ(confirmed<frmTextEditor>(kSpecials, [](QPlainTextEdit& box) { typeAt(box, 4, "Z"); }),
              QStringLiteral("a\u00A0b\rZc\r\nd\te\u2028f\u00A0"));
    EXPECT_EQ(confirmed<frmTextEditor>(kSpecials,
                                       [](QPlainTextEdit& box) {
                                           typeAt(box, 0, QStringLiteral("\u00A0"));
                                           QTest::keyClick(&box, Qt::Key_Return);
                                       }),
              QStringLiteral("\u00A0\n") + kSpecials);
    // Spaces around an attribute value are trimmed; no-break spaces and tabs are not spaces.
    EXPECT_EQ(confirmed<frmAttributeEditor>(
                  QStringLiteral("\u00A0v\t"),
                  [](QPlainTextEdit& box) { box.setPlainText(QStringLiteral("  \u00A0w\t ")); }),
              QStringLiteral("\u00A0w\t"));
}
