#pragma once

#include "document/documentreplace.h"
#include "document/textsearch.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

// The Replace dialog. It stays open while the user finds and replaces: each button calls the
// window back, which reads the fields. In the text view it finds the next match, replaces the
// selected one, or replaces all; in the tree view it replaces all, over the parts of the items
// the check boxes choose.
class frmReplace : public QDialog {
    Q_OBJECT
public:
    frmReplace(QWidget* owner, bool inTree);

    // The histories oldest first; the newest in the edit fields.
    void Form_Load(const QStringList& findHistory, const QStringList& replaceHistory,
                   const TextPattern& options, const ReplaceScope& scope);
    TextPattern Pattern() const;
    QString ReplaceWith() const;
    ReplaceScope Scope() const;

    std::function<void()> FindNext;
    std::function<void()> Replace;
    std::function<void()> ReplaceAll;

    QComboBox* cmboFind = nullptr;
    QComboBox* cmboReplace = nullptr;
    QCheckBox* ChkMatchCase = nullptr;
    QCheckBox* chkMachAll = nullptr;
    QCheckBox* chkRegularExpression = nullptr;
    QGroupBox* fraReplaceIn = nullptr;
    QCheckBox* chkElementNames = nullptr;
    QCheckBox* chkAttributeNames = nullptr;
    QCheckBox* chkAttributeValues = nullptr;
    QCheckBox* chkText = nullptr;
    QCheckBox* chkComments = nullptr;
    QPushButton* cmdFindNext = nullptr;
    QPushButton* cmdReplace = nullptr;
    QPushButton* cmdReplaceAll = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    // Calls `action` once there is a text to find.
    void run(const std::function<void()>& action);
};
