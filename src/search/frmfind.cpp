#include "search/frmfind.h"

#include "platform/ui/uiservices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}
} // namespace

// A fixed dialog: a title and a close box only.
frmFind::frmFind(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setFixedSize(4815 / 15, 2010 / 15);

    Label1 = new QLabel(QStringLiteral("Find What: "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(120, 270, 975, 255));
    cmboFind = new QComboBox(this);
    cmboFind->setObjectName(QStringLiteral("cmboFind"));
    cmboFind->setEditable(true);
    // The history is kept by the main window; Enter here means OK, not "add to the list".
    cmboFind->setInsertPolicy(QComboBox::NoInsert);
    // The text searched is the text typed: completing it from the history would turn "item"
    // into an earlier "Item", whatever Match Case says.
    cmboFind->setCompleter(nullptr);
    cmboFind->setGeometry(twips(1320, 240, 3375, 315));
    Label1->setBuddy(cmboFind);
    ChkMatchCase = new QCheckBox(QStringLiteral("Match &Case"), this);
    ChkMatchCase->setObjectName(QStringLiteral("ChkMatchCase"));
    ChkMatchCase->setGeometry(twips(120, 720, 2415, 255));
    chkMachAll = new QCheckBox(QStringLiteral("Match &Whole Word Only"), this);
    chkMachAll->setObjectName(QStringLiteral("chkMachAll"));
    chkMachAll->setGeometry(twips(120, 1080, 2535, 255));
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::HLine);
    Frame1->setGeometry(twips(120, 1320, 4575, 135));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twips(2400, 1560, 1095, 350));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twips(3600, 1560, 1095, 350));

    cmdFindAll = new QPushButton(QStringLiteral("Find &All"), this);
    cmdFindAll->setObjectName(QStringLiteral("cmdFindAll"));
    cmdFindAll->setGeometry(twips(1200, 1560, 1095, 350));
    cmdFindAll->setAutoDefault(false);

    setTabOrder(cmboFind, cmdCancel);
    setTabOrder(cmdCancel, cmdOK);
    setTabOrder(cmdOK, ChkMatchCase);
    setTabOrder(ChkMatchCase, chkMachAll);
    setTabOrder(chkMachAll, cmdFindAll);

    connect(cmdOK, &QPushButton::clicked, this, &frmFind::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFind::cmdCancel_Click);
    connect(cmdFindAll, &QPushButton::clicked, this, &frmFind::cmdFindAll_Click);
}

void frmFind::Form_Load(const QStringList& history, bool matchCase, bool matchAllWord) {
    bOK = false;
    bFindAll = false;
    ChkMatchCase->setChecked(matchCase);
    chkMachAll->setChecked(matchAllWord);
    cmboFind->clear();
    cmboFind->addItems(history);
    cmboFind->setEditText(history.isEmpty() ? QString() : history.constLast());
    cmboFind->lineEdit()->selectAll();
    cmboFind->setFocus();
}

void frmFind::accept(bool all) {
    const QString text = cmboFind->currentText();
    if (text.isEmpty()) {
        MsgBox(QStringLiteral("Please enter text to find."), MsgButtons::OKOnly,
               MsgIcon::Information, QStringLiteral("Enter Text"));
        return;
    }
    strTextToFind = text;
    blnMatchCase = ChkMatchCase->isChecked();
    blnMatchAll = chkMachAll->isChecked();
    bOK = true;
    bFindAll = all;
    QDialog::accept();
}

// Esc and the close box end the same way: bOK stays false.
void frmFind::cmdCancel_Click() {
    reject();
}
