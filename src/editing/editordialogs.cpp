#include "editing/editordialogs.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// Only spaces: tabs and line breaks around a value are kept.
QString trimSpaces(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && text.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && text.at(to - 1) == QLatin1Char(' '))
        --to;
    return text.mid(from, to - from);
}
} // namespace

EditorDialog::EditorDialog(const char* name, int widthTwips, int heightTwips) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(QStringLiteral("Text Editor"));
    setFixedSize(widthTwips / 15, heightTwips / 15);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtText = new QPlainTextEdit(this);
    txtText->setObjectName(QStringLiteral("txtText"));
    txtText->setTabChangesFocus(true);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void EditorDialog::placeButtons(int okLeft, int top) {
    cmdOK->setGeometry(twips(okLeft, top, 1120, 350));
    cmdCancel->setGeometry(twips(okLeft + 1200, top, 1120, 350));
}

void EditorDialog::setCaption(const QString& caption) {
    setWindowTitle(caption);
    Form_Load();
}

// Esc (QDialog::reject) and the close box leave bOK false.
void EditorDialog::cmdCancel_Click() {
    reject();
}

frmTextEditor::frmTextEditor() : EditorDialog("frmTextEditor", 5805, 2940) {
    Label1->setText(QStringLiteral("Please edit your text here:"));
    Label1->setGeometry(twips(130, 240, 4695, 255));
    txtText->setGeometry(twips(120, 480, 5565, 1695));
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::HLine);
    frame->setGeometry(twips(120, 2280, 5535, 135));
    placeButtons(3360, 2520);
    setTabOrder(txtText, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
}

void frmTextEditor::Form_Load() {
    bOK = false;
    txtText->setPlainText(strText);
    txtText->setFocus();
}

void frmTextEditor::cmdOK_Click() {
    bOK = true;
    strText = txtText->toPlainText();
    accept();
}

frmAttributeEditor::frmAttributeEditor() : EditorDialog("frmAttributeEditor", 4800, 2835) {
    Label1->setText(QStringLiteral("Please enter your details here:"));
    Label1->setGeometry(twips(130, 240, 4455, 255));
    txtName = new QLineEdit(this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->setGeometry(twips(120, 480, 4575, 345));
    txtText->setGeometry(twips(120, 960, 4575, 1095));
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::HLine);
    frame->setGeometry(twips(120, 2160, 4575, 135));
    placeButtons(2400, 2400);
    setTabOrder(txtName, txtText);
    setTabOrder(txtText, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
}

void frmAttributeEditor::Form_Load() {
    bOK = false;
    txtName->setText(strName);
    txtText->setPlainText(strText);
    txtName->setFocus();
}

// Spaces around the name and the value are never meant.
void frmAttributeEditor::cmdOK_Click() {
    bOK = true;
    strName = trimSpaces(txtName->text());
    strText = trimSpaces(txtText->toPlainText());
    accept();
}

void frmAttributeEditor::cmdCancel_Click() {
    bOK = false;
    reject();
}
