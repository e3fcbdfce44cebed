#pragma once

#include <QDialog>

class QPushButton;

// The About box.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
    QPushButton* Command1 = nullptr;
};
