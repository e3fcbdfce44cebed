#pragma once

#include "platform/xml/xmltransform.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QPushButton;
class QTableWidget;

// The Transform with XSLT dialog, made for one use: the stylesheet (a file, the document's own
// first when it names one) and the parameters, each a string or an XPath expression.
class frmTransform : public QDialog {
    Q_OBJECT
public:
    explicit frmTransform(QWidget* owner = nullptr);

    bool bOK = false;
    // `offered`: the stylesheets to choose from, the first one shown.
    void Form_Load(const QStringList& offered, const QList<XmlTransform::Parameter>& parameters);
    QString Stylesheet() const;
    // The rows with a name.
    QList<XmlTransform::Parameter> Parameters() const;

    QComboBox* cmboStylesheet = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QTableWidget* tblParameters = nullptr;
    QPushButton* cmdAddParameter = nullptr;
    QPushButton* cmdRemoveParameter = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    // Adds a row for a parameter.
    void AddParameter(const XmlTransform::Parameter& parameter = {});

private:
    void cmdBrowse_Click();
    void cmdOK_Click();
};
