#include "search/frmreplace.h"

#include "platform/ui/uiservices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QComboBox* historyBox(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    // As in Find: the history is the window's, and the text is the one typed, never completed.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->setMinimumWidth(260);
    return box;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

void fill(QComboBox* box, const QStringList& history) {
    box->clear();
    box->addItems(history);
    box->setEditText(history.isEmpty() ? QString() : history.constLast());
}
} // namespace

frmReplace::frmReplace(QWidget* owner, bool inTree)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmReplace"));
    setWindowTitle(inTree ? QStringLiteral("Replace in the Tree") : QStringLiteral("Replace"));
    cmboFind = historyBox(this, "cmboFind");
    cmboReplace = historyBox(this, "cmboReplace");
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Find &What:"), cmboFind);
    fields->addRow(QStringLiteral("Re&place With:"), cmboReplace);
    ChkMatchCase = check(this, "ChkMatchCase", QStringLiteral("Match &Case"));
    chkMachAll = check(this, "chkMachAll", QStringLiteral("Match &Whole Word Only"));
    chkRegularExpression =
        check(this, "chkRegularExpression", QStringLiteral("Regular E&xpression"));
    auto* options = new QVBoxLayout;
    options->addLayout(fields);
    for (QCheckBox* box : {ChkMatchCase, chkMachAll, chkRegularExpression})
        options->addWidget(box);
    fraReplaceIn = new QGroupBox(QStringLiteral("Replace In"), this);
    fraReplaceIn->setObjectName(QStringLiteral("fraReplaceIn"));
    auto* scope = new QVBoxLayout(fraReplaceIn);
    chkElementNames = check(fraReplaceIn, "chkElementNames", QStringLiteral("&Element Names"));
    chkAttributeNames =
        check(fraReplaceIn, "chkAttributeNames", QStringLiteral("Attribute &Names"));
    chkAttributeValues =
        check(fraReplaceIn, "chkAttributeValues", QStringLiteral("Attribute &Values"));
    chkText = check(fraReplaceIn, "chkText", QStringLiteral("&Text and CDATA"));
    chkComments = check(fraReplaceIn, "chkComments", QStringLiteral("C&omments"));
    for (QCheckBox* box :
         {chkElementNames, chkAttributeNames, chkAttributeValues, chkText, chkComments})
        scope->addWidget(box);
    options->addWidget(fraReplaceIn);
    fraReplaceIn->setVisible(inTree);
    options->addStretch();

    auto* buttons = new QVBoxLayout;
    const auto button = [&](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    cmdFindNext = button("cmdFindNext", QStringLiteral("&Find Next"));
    cmdReplace = button("cmdReplace", QStringLiteral("&Replace"));
    cmdReplaceAll = button("cmdReplaceAll", QStringLiteral("Replace &All"));
    cmdClose = button("cmdClose", QStringLiteral("Close"));
    buttons->addStretch();
    // In the tree every match is replaced at once: there is no match to stop at.
    cmdFindNext->setVisible(!inTree);
    cmdReplace->setVisible(!inTree);
    (inTree ? cmdReplaceAll : cmdFindNext)->setDefault(true);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(options, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdFindNext, &QPushButton::clicked, this, [this] { run(FindNext); });
    connect(cmdReplace, &QPushButton::clicked, this, [this] { run(Replace); });
    connect(cmdReplaceAll, &QPushButton::clicked, this, [this] { run(ReplaceAll); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

void frmReplace::Form_Load(const QStringList& findHistory, const QStringList& replaceHistory,
                           const TextPattern& options, const ReplaceScope& scope) {
    fill(cmboFind, findHistory);
    fill(cmboReplace, replaceHistory);
    ChkMatchCase->setChecked(options.matchCase);
    chkMachAll->setChecked(options.wholeWord);
    chkRegularExpression->setChecked(options.regularExpression);
    chkElementNames->setChecked(scope.elementNames);
    chkAttributeNames->setChecked(scope.attributeNames);
    chkAttributeValues->setChecked(scope.attributeValues);
    chkText->setChecked(scope.text);
    chkComments->setChecked(scope.comments);
    cmboFind->lineEdit()->selectAll();
    cmboFind->setFocus();
}

TextPattern frmReplace::Pattern() const {
    return {cmboFind->currentText(), ChkMatchCase->isChecked(), chkMachAll->isChecked(),
            chkRegularExpression->isChecked()};
}

QString frmReplace::ReplaceWith() const {
    return cmboReplace->currentText();
}

ReplaceScope frmReplace::Scope() const {
    return {chkElementNames->isChecked(), chkAttributeNames->isChecked(),
            chkAttributeValues->isChecked(), chkText->isChecked(), chkComments->isChecked()};
}

void frmReplace::run(const std::function<void()>& action) {
    if (cmboFind->currentText().isEmpty()) {
        MsgBox(QStringLiteral("Please enter text to find."), MsgButtons::OKOnly,
               MsgIcon::Information, QStringLiteral("Enter Text"));
        return;
    }
    if (action)
        action();
}
