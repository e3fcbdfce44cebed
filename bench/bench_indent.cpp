// Indenting a large document's text in the text view against `xmllint --format` laying out the
// same file. Each side runs in a process of its own; the editor is measured from the Indent
// command to the indented text in the view, with the document already open in the text view.
//
// Usage: bench_indent [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "benchprocess.h"
#include "documentgenerator.h"
#include "platform/views/richtextbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Result {
    double seconds = 0;
    long long bytesBefore = 0;
    long long bytesAfter = 0;
};

Result indentInEditor(const QString& path, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    window.DropFiles({path});
    window.mnutextView_Click();
    QCoreApplication::processEvents();
    Result r;
    r.bytesBefore = window.m_txtXML->Utf8Text().size();
    QElapsedTimer timer;
    timer.start();
    window.Command(QStringLiteral("mnuIndent"))->trigger();
    window.m_txtXML->viewport()->grab(); // the text as the user then sees it
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.bytesAfter = window.m_txtXML->Utf8Text().size();
    window.m_bNeedToSave = false;
    window.m_txtXML->setModified(false);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const Result base{XmllintFormatSeconds(path)};
    const Result editor = InChild<Result>([&] { return indentInEditor(path, argc, argv); });
    if (base.seconds < 0) {
        std::printf("xmllint --format failed; is xmllint installed?\n");
        return 1;
    }
    std::printf("xmllint --format    : %7.3f s\n", base.seconds);
    std::printf("editor Indent       : %7.3f s  (%.1f MB of text in, %.1f MB out)\n",
                editor.seconds, editor.bytesBefore / 1048576.0, editor.bytesAfter / 1048576.0);
    std::printf("ratio time : %.2fx (target at most 1x)\n", editor.seconds / base.seconds);
    return 0;
}
