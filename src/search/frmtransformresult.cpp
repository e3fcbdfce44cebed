#include "search/frmtransformresult.h"

#include "platform/apptitle.h"
#include "platform/files/atomicfile.h"
#include "platform/ui/commondialog.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringDecoder>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
bool isHtml(const QString& method) {
    return method == QLatin1String("html") || method == QLatin1String("xhtml");
}
} // namespace

frmTransformResult::frmTransformResult(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmTransformResult"));
    setWindowTitle(QStringLiteral("XSLT Result"));
    resize(760, 560);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    tabViews = new QTabWidget(this);
    tabViews->setObjectName(QStringLiteral("tabViews"));
    m_WebBrowser = new WebBrowser;
    m_WebBrowser->setObjectName(QStringLiteral("m_WebBrowser"));
    m_txtOutput = new RichTextBox;
    m_txtOutput->setObjectName(QStringLiteral("m_txtOutput"));
    m_txtOutput->setReadOnly(true);
    m_txtOutput->SetClosesTags(false);
    tabViews->addTab(m_WebBrowser, QStringLiteral("Page"));
    tabViews->addTab(m_txtOutput, QStringLiteral("Text"));

    const auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdOpenAsDocument = button("cmdOpenAsDocument", QStringLiteral("Open as &Document"));
    cmdSaveOutput = button("cmdSaveOutput", QStringLiteral("&Save Output As..."));
    cmdClose = button("cmdClose", QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOpenAsDocument);
    buttons->addWidget(cmdSaveOutput);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(tabViews, 1);
    layout->addLayout(buttons);

    connect(cmdOpenAsDocument, &QPushButton::clicked, this, [this] {
        if (OpenAsDocument)
            OpenAsDocument(OutputText());
    });
    connect(cmdSaveOutput, &QPushButton::clicked, this, &frmTransformResult::cmdSaveOutput_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void frmTransformResult::ShowResult(const XmlTransform::Result& result, const QString& stylesheet) {
    m_result = result;
    setWindowTitle(QStringLiteral("XSLT Result - %1").arg(QFileInfo(stylesheet).fileName()));
    lblSummary->setText(QStringLiteral("Output of %1: %2, %3, %4 bytes.")
                            .arg(QFileInfo(stylesheet).fileName(), result.method.toUpper(),
                                 result.encoding)
                            .arg(result.output.size()));
    m_txtOutput->SetText(OutputText());
    // HTML is shown rendered, from a file of its own; XML and text as text.
    const bool page = isHtml(result.method);
    tabViews->setTabVisible(0, page);
    if (page) {
        m_page = std::make_unique<QTemporaryDir>();
        const QString file = m_page->filePath(QStringLiteral("result.html"));
        if (m_page->isValid() &&
            AtomicFile::Write(file, result.output, AtomicFile::Kind::Scratch,
                              AtomicFile::Access::OwnerOnly))
            m_WebBrowser->Navigate(file);
    }
    tabViews->setCurrentIndex(page ? 0 : 1);
}

QString frmTransformResult::OutputText() const {
    QStringDecoder decoder(m_result.encoding.toUtf8().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(m_result.output);
    return decoder.decode(m_result.output);
}

bool frmTransformResult::SaveOutput(const QString& path) {
    if (AtomicFile::Write(path, m_result.output, AtomicFile::Kind::Durable,
                          AtomicFile::Access::AsBefore))
        return true;
    MsgBox(QStringLiteral("The file %1 cannot be written.").arg(path), MsgButtons::OKOnly,
           MsgIcon::Critical, kAppTitle);
    return false;
}

void frmTransformResult::cmdSaveOutput_Click() {
    CommonDialog dialog;
    dialog.DialogTitle = QStringLiteral("Save Output As");
    dialog.Filter = isHtml(m_result.method)
                        ? QStringLiteral("HTML Files (*.html)|*.html|All Files (*.*)|*.*")
                    : m_result.method == QLatin1String("text")
                        ? QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*")
                        : QStringLiteral("XML Files (*.xml)|*.xml|All Files (*.*)|*.*");
    dialog.ShowSave();
    if (!dialog.FileName.trimmed().isEmpty())
        SaveOutput(dialog.FileName.trimmed());
}
