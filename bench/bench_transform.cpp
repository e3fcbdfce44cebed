// XSLT on a large document: an identity transform from Transform in the dialog until the result
// window shows the output, side by side with xsltproc on the same file and stylesheet (its output
// thrown away), and against libxml2 parsing the file alone. Target: at most 1.5x xsltproc.
//
// Usage: bench_transform [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "benchui.h"
#include "documentgenerator.h"
#include "platform/ui/uiservices.h"
#include "platform/work/asidework.h"
#include "search/frmtransform.h"
#include "search/frmtransformresult.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QByteArray kIdentity =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
    "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/>"
    "</xsl:copy></xsl:template></xsl:stylesheet>";

struct Result {
    double seconds = 0;
    qint64 outputBytes = 0;
};

class TimedTransform : public BenchUi {
public:
    explicit TimedTransform(QString stylesheet) : m_stylesheet(std::move(stylesheet)) {}
    void showModal(QDialog& dialog) override {
        auto* transform = qobject_cast<frmTransform*>(&dialog);
        if (!transform)
            return;
        transform->cmboStylesheet->setEditText(m_stylesheet);
        timer.start();
        transform->cmdOK->click();
    }
    QElapsedTimer timer;

private:
    QString m_stylesheet;
};

Result transformInEditor(const QString& path, const QString& stylesheet, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TimedTransform ui(stylesheet);
    SetUiServices(&ui);
    Result r;
    {
        frmMain window;
        window.show();
        window.DropFiles({path});
        AsideWork::WaitForAll();
        Settle();
        window.Command(QStringLiteral("mnuTransform"))->trigger();
        if (window.m_frmTransformResult) {
            window.m_frmTransformResult->repaint();
            r.seconds = ui.timer.nsecsElapsed() / 1e9;
            r.outputBytes = window.m_frmTransformResult->Result().output.size();
        }
        window.m_bNeedToSave = false;
    }
    SetUiServices(nullptr);
    return r;
}

// xsltproc on the same files, its output thrown away: seconds, or -1 without it.
double xsltprocSeconds(const QString& stylesheet, const QString& path) {
    if (QStandardPaths::findExecutable(QStringLiteral("xsltproc")).isEmpty())
        return -1;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("xsltproc"), {stylesheet, path});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const QString stylesheet = dir.filePath(QStringLiteral("identity.xsl"));
    QFile sheet(stylesheet);
    if (!sheet.open(QIODevice::WriteOnly) || sheet.write(kIdentity) != kIdentity.size())
        return 1;
    sheet.close();
    const ParseTiming base = ParseBaseline(path);
    const double xsltproc = xsltprocSeconds(stylesheet, path);
    const Result r = InChild<Result>([&] { return transformInEditor(path, stylesheet, argc, argv); });
    if (r.seconds <= 0) {
        std::printf("the transform showed no result\n");
        return 1;
    }
    std::printf("xsltproc, identity    : %7.3f s  %.2fx parse\n", xsltproc, xsltproc / base.seconds);
    std::printf("editor, identity      : %7.3f s  %.2fx parse, %.2fx xsltproc (target at most "
                "1.5x), %.1f MB out\n",
                r.seconds, r.seconds / base.seconds, xsltproc > 0 ? r.seconds / xsltproc : 0.0,
                r.outputBytes / 1048576.0);
    return 0;
}
