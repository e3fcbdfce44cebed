#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// Everything the program asks of the person at the screen goes through here: message boxes,
// file dialogs, modal dialogs and the clipboard. Tests install a scripted implementation.

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OKOnly, OKCancel, YesNoCancel, YesNo };
enum class MsgResult { OK = 1, Cancel = 2, Yes = 6, No = 7 };

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    QString title;
    QString filter; // "Description|pattern|Description|pattern"
    int filterIndex = 1;
    QString fileName;
    // Where the dialog starts when `fileName` names no folder of its own.
    QString directory;
};

class UiServices {
public:
    virtual ~UiServices() = default;
    // Shows a modal message box and returns the button chosen.
    virtual MsgResult messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                                 const QString& title) = 0;
    // Shows an Open or Save dialog; returns false when it was dismissed.
    virtual bool fileDialog(const FileDialogRequest& request, QString& chosen) = 0;
    // Runs a dialog modally until it closes.
    virtual void showModal(QDialog& dialog) = 0;
    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString& text) = 0;
    // Starts another window of the program, a process of its own, with `arguments`; false when
    // it could not be started.
    virtual bool startWindow(const QStringList& arguments) = 0;
};

// The services in use; the Qt implementation unless a test installed its own.
UiServices& Ui();
// Installs `services` (nullptr restores the Qt implementation).
void SetUiServices(UiServices* services);

// The program's message box: text, buttons, icon, title.
MsgResult MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title);
void ShowModal(QDialog& dialog);
