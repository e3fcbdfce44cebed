#include "platform/ui/uiservices.h"

#include "platform/errors.h"
#include "platform/ui/commondialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStringList>

namespace {

QMessageBox::Icon toQt(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "XML files (*.xml)|*.xml|Text files (*.txt)|*.txt" -> Qt's "XML files (*.xml);;Text files
// (*.txt)"
QStringList qtFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (%1)").arg(patterns);
        out << description;
    }
    return out;
}

class QtUiServices final : public UiServices {
public:
    MsgResult messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override {
        QMessageBox box(toQt(icon), title, text, QMessageBox::NoButton,
                        QApplication::activeWindow());
        switch (buttons) {
        case MsgButtons::OKOnly:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Ok:
            return MsgResult::OK;
        default:
            return MsgResult::Cancel;
        }
    }

    bool fileDialog(const FileDialogRequest& request, QString& chosen) override {
        QFileDialog dialog(QApplication::activeWindow(), request.title);
        dialog.setAcceptMode(request.kind == FileDialogKind::Save ? QFileDialog::AcceptSave
                                                                  : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.kind == FileDialogKind::Save ? QFileDialog::AnyFile
                                                                : QFileDialog::ExistingFile);
        const QStringList filters = qtFilters(request.filter);
        dialog.setNameFilters(filters);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.filterIndex - 1]);
        if (!request.directory.isEmpty())
            dialog.setDirectory(request.directory);
        if (!request.fileName.isEmpty())
            dialog.selectFile(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        chosen = dialog.selectedFiles().constFirst();
        return true;
    }

    void showModal(QDialog& dialog) override { dialog.exec(); }

    QString clipboardText() override { return QApplication::clipboard()->text(); }
    void setClipboardText(const QString& text) override {
        QApplication::clipboard()->setText(text);
    }

    bool startWindow(const QStringList& arguments) override {
        return QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
    }
};

QtUiServices g_qtServices;
UiServices* g_services = &g_qtServices;

} // namespace

UiServices& Ui() {
    return *g_services;
}

void SetUiServices(UiServices* services) {
    g_services = services ? services : &g_qtServices;
}

MsgResult MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) {
    return Ui().messageBox(text, buttons, icon, title);
}

void ShowModal(QDialog& dialog) {
    Ui().showModal(dialog);
}

void CommonDialog::ShowOpen() {
    show(false);
}
void CommonDialog::ShowSave() {
    show(true);
}

void CommonDialog::show(bool save) {
    FileDialogRequest request;
    request.kind = save ? FileDialogKind::Save : FileDialogKind::Open;
    request.title = DialogTitle.isEmpty()
                        ? (save ? QStringLiteral("Save As") : QStringLiteral("Open"))
                        : DialogTitle;
    request.filter = Filter;
    request.filterIndex = FilterIndex;
    request.fileName = FileName;
    request.directory = InitDir;
    QString chosen;
    if (Ui().fileDialog(request, chosen)) {
        FileName = chosen;
        return;
    }
    FileName.clear();
    if (CancelError)
        throw DialogCancelledError();
}
