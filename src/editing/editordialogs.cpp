#include "editing/editordialogs.h"

#include "platform/xml/xmlnode.h"

#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {
// The name a completion row puts in the name box; the row shows it with its mark.
constexpr int kNameRole = Qt::UserRole + 1;

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
// The paragraph separator stands for every line break the box shows.
QString fromBoxText(QString text) {
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}
} // namespace

// The box turns each of CR, LF and CR LF into a paragraph break, so one character of what it
// shows stands for one line break or one character of the value.
void EditorDialog::loadText(const QString& value) {
    txtText->setPlainText(value);
    m_loadedValue = value;
    m_loadedBoxText = txtText->document()->toRawText();
}

// What is still as it was loaded comes from the loaded value, so line breaks, U+2028 and
// no-break spaces the box shows differently come back byte for byte; only the changed span is
// read from the box.
QString EditorDialog::editedText() const {
    const QString now = txtText->document()->toRawText();
    std::vector<qsizetype> starts;
    starts.reserve(static_cast<size_t>(m_loadedValue.size()) + 1);
    for (qsizetype i = 0; i < m_loadedValue.size(); ++i) {
        starts.push_back(i);
        if (m_loadedValue.at(i) == QLatin1Char('\r') && i + 1 < m_loadedValue.size() &&
            m_loadedValue.at(i + 1) == QLatin1Char('\n'))
            ++i;
    }
    starts.push_back(m_loadedValue.size());
    if (static_cast<qsizetype>(starts.size()) != m_loadedBoxText.size() + 1)
        return fromBoxText(now);
    const qsizetype limit = std::min(now.size(), m_loadedBoxText.size());
    qsizetype head = 0;
    while (head < limit && now.at(head) == m_loadedBoxText.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < limit - head &&
           now.at(now.size() - 1 - tail) == m_loadedBoxText.at(m_loadedBoxText.size() - 1 - tail))
        ++tail;
    return m_loadedValue.left(starts[static_cast<size_t>(head)]) +
           fromBoxText(now.mid(head, now.size() - head - tail)) +
           m_loadedValue.mid(starts[static_cast<size_t>(m_loadedBoxText.size() - tail)]);
}

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
    loadText(strText);
    txtText->setFocus();
}

void frmTextEditor::cmdOK_Click() {
    bOK = true;
    strText = editedText();
    accept();
}

frmAttributeEditor::frmAttributeEditor() : EditorDialog("frmAttributeEditor", 4800, 2835) {
    Label1->setText(QStringLiteral("Please enter your details here:"));
    Label1->setGeometry(twips(130, 240, 4455, 255));
    txtName = new QLineEdit(this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->setGeometry(twips(120, 480, 4575, 345));
    txtText->setGeometry(twips(120, 960, 4575, 1095));
    cboValues = new QComboBox(this);
    cboValues->setObjectName(QStringLiteral("cboValues"));
    cboValues->setGeometry(twips(120, 960, 4575, 345));
    cboValues->hide();
    connect(cboValues, &QComboBox::activated, this,
            [this](int index) { txtText->setPlainText(cboValues->itemText(index)); });
    connect(txtName, &QLineEdit::textChanged, this, [this] { showValues(); });
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::HLine);
    frame->setGeometry(twips(120, 2160, 4575, 135));
    placeButtons(2400, 2400);
    setTabOrder(txtName, cboValues);
    setTabOrder(cboValues, txtText);
    setTabOrder(txtText, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
}

void frmAttributeEditor::Form_Load() {
    bOK = false;
    txtName->setText(strName);
    loadText(strText);
    txtName->setFocus();
}

// A completion list of the names, the required ones marked; the name goes in without its mark.
void frmAttributeEditor::OfferNames(const QList<std::pair<QString, bool>>& names) {
    if (names.isEmpty())
        return;
    auto* model = new QStandardItemModel(this);
    for (const auto& [name, required] : names) {
        auto* item = new QStandardItem(required ? name + QStringLiteral("  (required)") : name);
        item->setData(name, kNameRole);
        model->appendRow(item);
    }
    auto* completer = new QCompleter(model, txtName);
    completer->setCompletionRole(kNameRole);
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    txtName->setCompleter(completer);
    connect(completer, qOverload<const QString&>(&QCompleter::highlighted), txtName,
            &QLineEdit::setText);
    if (txtName->text().isEmpty())
        QTimer::singleShot(0, completer, [completer] { completer->complete(); });
}

void frmAttributeEditor::OfferValues(std::function<QStringList(const QString&)> values) {
    m_values = std::move(values);
    showValues();
}

// The drop-down takes the top of the value box while the name has values to choose from.
void frmAttributeEditor::showValues() {
    const QStringList values = m_values ? m_values(txtName->text().trimmed()) : QStringList();
    cboValues->clear();
    cboValues->addItems(values);
    cboValues->setVisible(!values.isEmpty());
    txtText->setGeometry(values.isEmpty() ? twips(120, 960, 4575, 1095)
                                          : twips(120, 1365, 4575, 690));
    const int current = values.indexOf(txtText->toPlainText());
    cboValues->setCurrentIndex(current);
    if (!values.isEmpty() && txtText->toPlainText().isEmpty() && values.size() == 1)
        txtText->setPlainText(values.first());
}

// Spaces around the name and the value are never meant.
void frmAttributeEditor::cmdOK_Click() {
    bOK = true;
    strName = trimSpaces(txtName->text());
    strText = trimSpaces(editedText());
    accept();
}

void frmAttributeEditor::cmdCancel_Click() {
    bOK = false;
    reject();
}

std::unique_ptr<EditorDialog> EditorFor(const XmlNode& node) {
    const int type = node.nodeType();
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION || type == NODE_COMMENT) {
        auto editor = std::make_unique<frmTextEditor>();
        editor->strText = node.text();
        editor->setCaption(type == NODE_TEXT            ? QStringLiteral("Text Editor")
                           : type == NODE_CDATA_SECTION ? QStringLiteral("CDdata Editor")
                                                        : QStringLiteral("Comment Editor"));
        return editor;
    }
    if (type != NODE_ATTRIBUTE && type != NODE_PROCESSING_INSTRUCTION)
        return nullptr;
    auto editor = std::make_unique<frmAttributeEditor>();
    editor->strName = node.nodeName();
    editor->strText = node.text();
    editor->setCaption(type == NODE_ATTRIBUTE ? QStringLiteral("Attribute Editor")
                                              : QStringLiteral("Processing Instruction Editor"));
    return editor;
}
