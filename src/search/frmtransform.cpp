#include "search/frmtransform.h"

#include "platform/apptitle.h"
#include "platform/ui/commondialog.h"
#include "platform/ui/uiservices.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { kName, kValue, kExpression };
const QString kStylesheetFilter =
    QStringLiteral("XSLT Stylesheets (*.xsl *.xslt)|*.xsl;*.xslt|XML Files (*.xml)|*.xml|All Files "
                   "(*.*)|*.*");
} // namespace

frmTransform::frmTransform(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmTransform"));
    setWindowTitle(QStringLiteral("Transform with XSLT"));
    cmboStylesheet = new QComboBox(this);
    cmboStylesheet->setObjectName(QStringLiteral("cmboStylesheet"));
    cmboStylesheet->setEditable(true);
    cmboStylesheet->setInsertPolicy(QComboBox::NoInsert);
    cmboStylesheet->setMinimumWidth(380);
    cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setAutoDefault(false);
    auto* sheetRow = new QHBoxLayout;
    sheetRow->addWidget(cmboStylesheet, 1);
    sheetRow->addWidget(cmdBrowse);
    auto* sheetLabel = new QLabel(QStringLiteral("&Stylesheet:"), this);
    sheetLabel->setBuddy(cmboStylesheet);

    tblParameters = new QTableWidget(0, 3, this);
    tblParameters->setObjectName(QStringLiteral("tblParameters"));
    tblParameters->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("XPath")});
    tblParameters->horizontalHeader()->setSectionResizeMode(kValue, QHeaderView::Stretch);
    tblParameters->verticalHeader()->hide();
    tblParameters->setMinimumHeight(120);
    auto* parametersLabel = new QLabel(QStringLiteral("&Parameters:"), this);
    parametersLabel->setBuddy(tblParameters);
    cmdAddParameter = new QPushButton(QStringLiteral("&Add"), this);
    cmdAddParameter->setObjectName(QStringLiteral("cmdAddParameter"));
    cmdAddParameter->setAutoDefault(false);
    cmdRemoveParameter = new QPushButton(QStringLiteral("&Remove"), this);
    cmdRemoveParameter->setObjectName(QStringLiteral("cmdRemoveParameter"));
    cmdRemoveParameter->setAutoDefault(false);
    auto* parameterButtons = new QHBoxLayout;
    parameterButtons->addWidget(cmdAddParameter);
    parameterButtons->addWidget(cmdRemoveParameter);
    parameterButtons->addStretch();

    cmdOK = new QPushButton(QStringLiteral("Transform"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sheetLabel);
    layout->addLayout(sheetRow);
    layout->addWidget(parametersLabel);
    layout->addWidget(tblParameters);
    layout->addLayout(parameterButtons);
    layout->addLayout(buttons);

    connect(cmdBrowse, &QPushButton::clicked, this, &frmTransform::cmdBrowse_Click);
    connect(cmdAddParameter, &QPushButton::clicked, this, [this] {
        AddParameter();
        tblParameters->setCurrentCell(tblParameters->rowCount() - 1, kName);
        tblParameters->editItem(tblParameters->currentItem());
    });
    connect(cmdRemoveParameter, &QPushButton::clicked, this, [this] {
        if (tblParameters->currentRow() >= 0)
            tblParameters->removeRow(tblParameters->currentRow());
    });
    connect(cmdOK, &QPushButton::clicked, this, &frmTransform::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmTransform::Form_Load(const QStringList& offered,
                             const QList<XmlTransform::Parameter>& parameters) {
    bOK = false;
    cmboStylesheet->clear();
    cmboStylesheet->addItems(offered);
    cmboStylesheet->setEditText(offered.isEmpty() ? QString() : offered.constFirst());
    tblParameters->setRowCount(0);
    for (const XmlTransform::Parameter& p : parameters)
        AddParameter(p);
    cmboStylesheet->setFocus();
}

void frmTransform::AddParameter(const XmlTransform::Parameter& parameter) {
    const int row = tblParameters->rowCount();
    tblParameters->insertRow(row);
    tblParameters->setItem(row, kName, new QTableWidgetItem(parameter.name));
    tblParameters->setItem(row, kValue, new QTableWidgetItem(parameter.value));
    auto* expression = new QTableWidgetItem;
    expression->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    expression->setCheckState(parameter.expression ? Qt::Checked : Qt::Unchecked);
    expression->setToolTip(QStringLiteral("The value is an XPath expression, not a string"));
    tblParameters->setItem(row, kExpression, expression);
}

QString frmTransform::Stylesheet() const {
    return cmboStylesheet->currentText().trimmed();
}

QList<XmlTransform::Parameter> frmTransform::Parameters() const {
    QList<XmlTransform::Parameter> out;
    for (int row = 0; row < tblParameters->rowCount(); ++row) {
        const auto text = [&](int column) {
            const QTableWidgetItem* item = tblParameters->item(row, column);
            return item ? item->text() : QString();
        };
        if (text(kName).trimmed().isEmpty())
            continue;
        const QTableWidgetItem* expression = tblParameters->item(row, kExpression);
        out.append({text(kName).trimmed(), text(kValue),
                    expression && expression->checkState() == Qt::Checked});
    }
    return out;
}

void frmTransform::cmdBrowse_Click() {
    CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Choose a Stylesheet");
    dialog.Filter = kStylesheetFilter;
    dialog.FileName = Stylesheet();
    dialog.ShowOpen();
    if (!dialog.FileName.trimmed().isEmpty())
        cmboStylesheet->setEditText(dialog.FileName.trimmed());
}

void frmTransform::cmdOK_Click() {
    if (!QFileInfo(Stylesheet()).isFile()) {
        MsgBox(Stylesheet().isEmpty() ? QStringLiteral("Please choose a stylesheet.")
                                      : QStringLiteral("The stylesheet %1 does not exist.")
                                            .arg(Stylesheet()),
               MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
        return;
    }
    bOK = true;
    accept();
}
