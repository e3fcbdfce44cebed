#pragma once

#include <QString>

// The Open/Save file dialog as the document commands use it. With CancelError set, a dismissed
// dialog throws DialogCancelledError; otherwise FileName comes back empty.
class CommonDialog {
public:
    QString Filter;
    int FilterIndex = 1;
    bool CancelError = false;
    QString FileName;
    QString DialogTitle;
    // The folder the dialog opens in while FileName names none.
    QString InitDir;

    void ShowOpen();
    void ShowSave();

private:
    void show(bool save);
};
