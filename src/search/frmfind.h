#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// The Find dialog, made for one use: the caller loads it with the history and the options of
// the last search, shows it modally, and reads bOK and the fields afterwards.
class frmFind : public QDialog {
    Q_OBJECT
public:
    explicit frmFind(QWidget* owner = nullptr);

    bool bOK = false;
    // Closed by Find All: every match is listed, none selected.
    bool bFindAll = false;
    QString strTextToFind;
    bool blnMatchCase = false;
    bool blnMatchAll = false;

    // Fills the boxes: the history oldest first in the list, the newest in the edit field.
    void Form_Load(const QStringList& history, bool matchCase, bool matchAllWord);

    QLabel* Label1 = nullptr;
    QComboBox* cmboFind = nullptr;
    QCheckBox* ChkMatchCase = nullptr;
    QCheckBox* chkMachAll = nullptr;
    QFrame* Frame1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdFindAll = nullptr;

private:
    void cmdOK_Click() { accept(false); }
    void cmdFindAll_Click() { accept(true); }
    void accept(bool all);
    void cmdCancel_Click();
};
