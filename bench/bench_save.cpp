// Saving a large document: the editor's Save (written on a worker while the window waits,
// repaints and shows progress) against `xmllint --format` reading and laying out the same file,
// timed in the same run, and against libxml2's parse alone. Three saves: with no change (the file
// copied), after one small edit (the file's bytes copied around it), and after an edit of every
// record (each record's start tag written afresh). Also printed: the longest time the window went
// without a pass over its events during the save.
//
// Usage: bench_save [MEGABYTES=100] [FILE]

#include "app/frmmain.h"
#include "platform/xml/xmlhistory.h"
#include "benchprocess.h"
#include "documentgenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Result {
    double seconds = 0;
    double documentSeconds = 0; // XmlDocument::save alone, to a scratch file beside
    double longestGap = 0;
    long long bytes = 0;
    bool saved = false;
};

enum class Edit { None, One, Every };

Result saveInEditor(const QString& original, const QString& copy, Edit edit, int argc,
                    char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!QFile::copy(original, copy))
        return {};
    frmMain window;
    window.show();
    window.DropFiles({copy});
    QCoreApplication::processEvents();
    if (edit != Edit::None) {
        XmlDocument document = window.m_objDocument;
        XmlChangeStep step(document, QStringLiteral("Edit"));
        XmlNode record = document.documentElement().firstChild();
        for (int n = 0; !record.isNull(); record = record.nextSibling()) {
            if (record.nodeType() != NODE_ELEMENT)
                continue;
            ++n;
            if (edit == Edit::Every || n == 1000)
                record.setAttribute(QStringLiteral("kind"), QStringLiteral("edited"));
            if (edit == Edit::One && n == 1000)
                break;
        }
        step.commit();
    }
    window.m_bNeedToSave = true;
    QElapsedTimer timer;
    timer.start();
    EventGapMeter gaps;
    Result r;
    r.saved = window.SaveFile();
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.longestGap = gaps.longestSeconds();
    r.bytes = QFile(copy).size();
    timer.restart();
    window.m_objDocument.save(copy + QStringLiteral(".scratch"), XmlDocument::SaveMode::Scratch);
    r.documentSeconds = timer.nsecsElapsed() / 1e9;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString path = BenchDocument(argc, argv, dir);
    const ParseTiming parse = ParseBaseline(path);
    const double xmllint = XmllintFormatSeconds(path);
    if (xmllint < 0) {
        std::printf("xmllint --format failed; is xmllint installed?\n");
        return 1;
    }
    std::printf("xmllint --format    : %7.3f s\n", xmllint);
    const struct {
        Edit edit;
        const char* name;
        const char* target;
    } saves[] = {
        {Edit::None, "no change", "copies the file"},
        {Edit::One, "one attribute edited", "at most 0.2x parse"},
        {Edit::Every, "every record edited", "at most 1x xmllint --format"},
    };
    for (const auto& save : saves) {
        const QString copy = dir.filePath(QStringLiteral("saved.xml"));
        QFile::remove(copy);
        const Result editor =
            InChild<Result>([&] { return saveInEditor(path, copy, save.edit, argc, argv); });
        if (!editor.saved) {
            std::printf("the editor's save failed\n");
            return 1;
        }
        std::printf("editor Save, %-21s: %7.3f s  (%.1f MB written)  %.2fx parse, %.2fx "
                    "xmllint --format (%s); longest time without a pass over the events: "
                    "%.3f s; the Document's save alone, not to disk: %.3f s (%.2fx parse)\n",
                    save.name, editor.seconds, editor.bytes / 1048576.0,
                    editor.seconds / parse.seconds, editor.seconds / xmllint, save.target,
                    editor.longestGap, editor.documentSeconds,
                    editor.documentSeconds / parse.seconds);
    }
    return 0;
}
