#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class XmlNode;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The two item editors. A caller makes one per use: sets the fields, sets the caption (the
// dialog then loads, filling its boxes from the fields), shows it modally, and reads bOK and the
// fields afterwards.
class EditorDialog : public QDialog {
    Q_OBJECT
public:
    bool bOK = false;
    QString strText;
    // Setting the caption loads the dialog, as callers rely on.
    void setCaption(const QString& caption);

    QLabel* Label1 = nullptr;
    QPlainTextEdit* txtText = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    EditorDialog(const char* name, int widthTwips, int heightTwips);
    void placeButtons(int okLeft, int top);
    // Fills the text box; editedText() then gives the value back exactly as loaded where the
    // user did not change it.
    void loadText(const QString& value);
    QString editedText() const;
    virtual void Form_Load() = 0;
    virtual void cmdOK_Click() = 0;
    virtual void cmdCancel_Click();

private:
    QString m_loadedValue;
    QString m_loadedBoxText;
};

class frmTextEditor : public EditorDialog {
    Q_OBJECT
public:
    frmTextEditor();

protected:
    void Form_Load() override;
    void cmdOK_Click() override;
};

class frmAttributeEditor : public EditorDialog {
    Q_OBJECT
public:
    frmAttributeEditor();
    QString strName;
    QLineEdit* txtName = nullptr;
    // Offered for the value, chosen into the value box; shown only when there is a choice.
    QComboBox* cboValues = nullptr;

    // Names the name box offers to complete: (name, required), the required ones marked.
    void OfferNames(const QList<std::pair<QString, bool>>& names);
    // The values for the name in the name box (as it changes); none: no drop-down.
    void OfferValues(std::function<QStringList(const QString& name)> values);

protected:
    void Form_Load() override;
    void cmdOK_Click() override;
    void cmdCancel_Click() override;

private:
    void showValues();
    std::function<QStringList(const QString&)> m_values;
};

// The editor of `node`'s kind, loaded with its name and text: the text editor for a text, CDATA
// section or comment, the attribute editor for an attribute or processing instruction; none for
// the other kinds.
std::unique_ptr<EditorDialog> EditorFor(const XmlNode& node);
