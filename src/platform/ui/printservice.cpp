#include "platform/ui/printservice.h"

#include "platform/views/richtextbox.h"

#include <Qsci/qsciprinter.h>

#include <QApplication>
#include <QPrintDialog>

namespace {

class QtPrintService final : public PrintService {
public:
    PrintResult printXml(const QString& xml, const QString& documentName) override {
        QsciPrinter printer(QPrinter::HighResolution);
        printer.setDocName(documentName);
        // Long lines are folded onto the next printed line instead of being cut at the margin.
        printer.setWrapMode(QsciScintilla::WrapWord);
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted)
            return PrintResult::Cancelled;
        // A view of its own, never shown, so the text view's unapplied typing is not printed.
        RichTextBox page;
        page.setText(RichTextBox::WithCrLf(xml));
        return printer.printRange(&page) ? PrintResult::Printed : PrintResult::Failed;
    }
};

QtPrintService g_qtPrinting;
PrintService* g_printing = &g_qtPrinting;

} // namespace

PrintService& Printing() {
    return *g_printing;
}

void SetPrintService(PrintService* service) {
    g_printing = service ? service : &g_qtPrinting;
}
