// Loading text into the Document, refreshing the views, Apply and the error reports.

#include "app/frmmain.h"

#include "app/statuspanels.h"
#include "document/deferredtext.h"
#include "document/documentrules.h"
#include "platform/ui/longoperation.h"
#include "platform/ui/uiservices.h"
#include "platform/views/richtextbox.h"
#include "platform/views/webbrowser.h"
#include "platform/work/asidework.h"
#include "tree/treebuilder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <malloc.h>

using namespace DocumentRules;

namespace {

// The busy pointer over the tree while it is built, put back also when building fails.
struct TreeWaitPointer {
    explicit TreeWaitPointer(TreeControl& tree) : m_tree(tree) {
        m_tree.SetMousePointer(TreeControl::PointerWait);
    }
    ~TreeWaitPointer() { m_tree.SetMousePointer(TreeControl::PointerDefault); }
    TreeControl& m_tree;
};

// A document of a hundred megabytes takes a while to free, and its many small blocks stay with the
// program unless the heap is trimmed afterwards: both happen on a worker, the last reference to
// the old document going with it. (Anything else still holding a node keeps the document alive.)
void GiveBackInBackground(XmlNode old) {
    if (old.isNull())
        return;
    AsideWork::Start([old = std::move(old)]() mutable {
        old = XmlNode();
        malloc_trim(0);
    });
}
} // namespace

// Work on the whole Document that takes about as long as opening it (reading back a Document kept
// packed by a whole-document step, a refresh): the window stays alive meanwhile, with its input
// held back. It cannot be stopped half-way, so Esc is not offered. What the work throws is thrown
// here.
void frmMain::runAside(const QString& caption, const std::function<void()>& work) {
    RunAside(StatusBar1, caption, 0, false, [&work](WorkProgress&) { work(); });
}

void frmMain::SetTextToXML(QString NewText) {
    SetUtf8ToXML(NewText.toUtf8());
}

// Parsed straight from `text` (on Apply, the text view's own buffer), with no copy of it kept
// unless it does not parse: then it is the text the window holds instead of a Document. The new
// Document is parsed beside the old one, which its undo step keeps.
// A long text is parsed aside; nothing can change the view's buffer meanwhile, as input waits.
void frmMain::SetUtf8ToXML(QByteArrayView text, const QString& undoCaption) {
    m_wndTree->Nodes().Clear();
    XmlDocument parsed = XmlDocument::create();
    bool loaded = false;
    const auto parse = [&] {
        loaded = text.isEmpty() ? parsed.loadXML(kNewDocumentText) : parsed.loadUtf8(text);
    };
    if (text.size() > kReadAside)
        runAside(undoCaption.isEmpty() ? QStringLiteral("Refreshing") : QStringLiteral("Applying"),
                 parse);
    else
        parse();
    takeParsed(parsed, loaded, text, undoCaption);
}

// `parsed` is what `text` gave (`loaded` when it parsed).
void frmMain::takeParsed(const XmlDocument& parsed, bool loaded, QByteArrayView text,
                         const QString& undoCaption) {
    m_strXMLText.clear();
    m_wndTree->Nodes().Clear();
    if (loaded) {
        XmlNode old = m_objDocument.isNull() ? XmlNode() : m_objDocument.asNode();
        // A Document without text (no element left) becomes a new one: a change of its own.
        if (!undoCaption.isEmpty())
            replaceDocument(parsed, undoCaption);
        else
            replaceDocument(parsed, text.isEmpty() ? QStringLiteral("Refresh") : QString(), true);
        GiveBackInBackground(std::move(old));
        m_parsedRevision = m_objDocument.revision();
        TreeWaitPointer wait(*m_wndTree);
        ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, m_objDocument.asNode(), m_wndTree->Nodes(),
                                     m_lTreeTextMaxLength);
        return;
    }
    m_strXMLText = QString::fromUtf8(text);
    if (!parsed.parseError().reason.isEmpty())
        showParseError(parsed.parseError());
    if (!m_objDocument.isNull())
        m_undoBase = m_objDocument;
    m_objDocument = XmlDocument();
}

QString frmMain::GetTextFromXML() {
    return m_objDocument.isNull() ? m_strXMLText : m_objDocument.xml();
}

void frmMain::showParseError(const XmlParseError& error) {
    MsgBox(ParseErrorReport(error), MsgButtons::OKOnly, MsgIcon::Information, kAppTitle);
}

void frmMain::HandleError() {
    const ErrorReport report = ReportFor(std::current_exception(), m_objDocument);
    if (!report.show)
        return;
    MsgBox(report.text, MsgButtons::OKOnly,
           report.parseError ? MsgIcon::Information : MsgIcon::Critical, kAppTitle);
}

// The text view gets the Document's text as of now; it is written out only when needed.
void frmMain::setTextViewFromDocument() {
    if (m_objDocument.isNull())
        m_textGuard->showText(m_strXMLText);
    else
        m_textGuard->showDocument(m_objDocument);
    m_txtXML->Refresh();
}

void frmMain::RefreshViews(bool bRebuildTree, QByteArrayView readFrom) {
    QByteArray rereadText;
    if (bRebuildTree)
        m_labelOfInsert = TreeModel::NoItem;
    try {
        if (bRebuildTree) {
            XmlDocument& document = Document();
            // Unchanged since it was parsed, parsing its serialisation again would give the same
            // tree, so only the tree is built anew. So it is when no element is left but other
            // nodes are: no parser takes that text, and the Document stays as it is, with its
            // history.
            const bool noElement =
                document.documentElement().isNull() && !document.firstChild().isNull();
            if (document.revision() == m_parsedRevision || noElement) {
                m_wndTree->Nodes().Clear();
                TreeWaitPointer wait(*m_wndTree);
                ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, document.asNode(),
                                             m_wndTree->Nodes(), m_lTreeTextMaxLength);
            } else {
                // Read again from its own text. On a large document that takes a while, so it is
                // done aside; the text is then also the web view's file.
                XmlDocument parsed = XmlDocument::create();
                bool loaded = false;
                const auto reread = [&] {
                    document.writeXml([&rereadText](const char* data, int len) {
                        rereadText.append(data, len);
                        return true;
                    });
                    loaded = !rereadText.isEmpty() && parsed.loadUtf8(rereadText);
                };
                if (document.sourceBytes() > kReadAside)
                    runAside(QStringLiteral("Refreshing"), reread);
                else
                    reread();
                if (rereadText.isEmpty())
                    SetUtf8ToXML({}); // no node left: a new document
                else
                    takeParsed(parsed, loaded, rereadText, QString());
                if (!loaded)
                    rereadText.clear();
            }
        }
        setTextViewFromDocument();
        const QString path = WebFilePath();
        writeWebFile(path, rereadText.isEmpty() ? readFrom : QByteArrayView(rereadText));
        m_WebBrowser->Navigate(path);
    } catch (...) {
        MsgBox(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly, MsgIcon::Critical,
               kAppTitle);
    }
    UpdateFormCaption();
    UpdateUndoCommands();
}

void frmMain::mnuRefresh_Click() {
    RefreshViews(true);
}

void frmMain::NoteLoadedFile() {
    m_parsedRevision = Document().revision();
    const QFileInfo info(m_strFileName);
    m_loadedFile = {m_strFileName, info.size(), info.lastModified(), m_parsedRevision};
}

namespace {
// Writes a file beside `path` under a name of its own and renames it over `path`, so that a
// reader never sees it half written. `write` gets the file and answers whether all went in.
bool writeBeside(const QString& path, const std::function<bool(QFile&)>& write) {
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || !write(file) || !file.flush() ||
        std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

// The text view's text with the view's CR LF line ends as LF: the serialisation it was made from.
// The lines are short, so they are gathered into large writes.
bool writeWithLf(QFile& file, QByteArrayView text) {
    constexpr qsizetype kChunk = qsizetype(1) << 20;
    QByteArray out(kChunk, Qt::Uninitialized);
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end) {
        const char* const stop = at + std::min(kChunk - 1, qsizetype(end - at));
        char* put = out.data();
        while (at < stop) {
            const auto* cr = static_cast<const char*>(std::memchr(at, '\r', size_t(stop - at)));
            const char* upTo = cr ? cr : stop;
            std::memcpy(put, at, size_t(upTo - at));
            put += upTo - at;
            at = upTo;
            if (!cr)
                break;
            // A lone CR (the view never makes one) is kept as it is.
            if (cr + 1 == end || cr[1] != '\n')
                *put++ = '\r';
            at = cr + 1;
        }
        if (file.write(out.constData(), put - out.constData()) != put - out.constData())
            return false;
    }
    return true;
}
// A copy of `from` at `to`, given up (with nothing changed at `to`) once `stop` is set.
bool copyFile(const QString& from, const QString& to, const std::atomic<bool>* stop) {
    QFile original(from);
    return original.open(QIODevice::ReadOnly) && writeBeside(to, [&original, stop](QFile& copy) {
               while (!original.atEnd()) {
                   if (stop && stop->load())
                       return false;
                   const QByteArray chunk = original.read(1 << 20);
                   if (chunk.isEmpty() || copy.write(chunk) != chunk.size())
                       return false;
               }
               return true;
           });
}

constexpr qint64 kWebCopyInBackground = qint64(8) << 20;
} // namespace

// The copy of the loaded file for the web view, made aside; its result is read once it has ended.
struct frmMain::WebFileCopy {
    std::shared_ptr<AsideWork> job;
    std::shared_ptr<bool> copied = std::make_shared<bool>(false);

    // `folder` is held until the copy ends, so that it is not removed under the copy.
    static std::shared_ptr<WebFileCopy> Start(const QString& from, const QString& to,
                                              std::shared_ptr<const void> folder) {
        auto copy = std::make_shared<WebFileCopy>();
        copy->job = AsideWork::Start(
            [copied = copy->copied, from, to, folder = std::move(folder)](WorkProgress& progress) {
                *copied = copyFile(from, to, &progress.stop);
            });
        return copy;
    }
    // False when it did not copy.
    bool Wait() {
        job->Wait();
        return *copied;
    }
};

// The web view's file is whole before anything shows or replaces it. When the copy failed, the
// Document is written there instead.
void frmMain::finishWebFileCopy() {
    const std::shared_ptr<WebFileCopy> copy = std::exchange(m_webFileCopy, nullptr);
    if (copy && !copy->Wait() && !m_objDocument.isNull())
        m_objDocument.save(WebFilePath(), XmlDocument::SaveMode::Scratch);
}

void frmMain::stopWebFileCopy() {
    if (m_webFileCopy)
        m_webFileCopy->job->RequestStop();
    m_webFileCopy.reset();
}

// The web view's file holds the Document. While the Document is exactly what was just loaded
// from a file that has not changed since, a copy of that file is that, and far quicker to make
// than writing a large document out again. Just after a refresh the shown text view holds the
// Document's serialisation, which is the file of a Document saved as UTF-8.
void frmMain::writeWebFile(const QString& path, QByteArrayView serialised) {
    finishWebFileCopy();
    const XmlDocument& document = Document();
    const QFileInfo source(m_loadedFile.path);
    const bool unchanged = document.revision() == m_loadedFile.revision &&
                           !m_loadedFile.path.isEmpty() && source.size() == m_loadedFile.size &&
                           source.lastModified() == m_loadedFile.modified;
    if (unchanged && source.absoluteFilePath() != QFileInfo(path).absoluteFilePath()) {
        // A large copy takes seconds: it is made on a worker while the web view is not shown,
        // and finished before anything shows or replaces the file.
        if (source.size() > kWebCopyInBackground && !m_WebBrowser->isVisible()) {
            m_webFileCopy = WebFileCopy::Start(m_loadedFile.path, path, m_webFile.hold());
            return;
        }
        if (copyFile(m_loadedFile.path, path, nullptr))
            return;
    }
    m_webFileFromView = false;
    // The Document was just read from this text, which is what it writes.
    if (!serialised.isEmpty() && document.savesAsUtf8() &&
        writeBeside(path, [serialised](QFile& file) {
            return file.write(serialised.data(), serialised.size()) == serialised.size();
        }))
        return;
    // While the view's text is still being compared with the Document's (after Apply), the file is
    // written by the comparing worker once the text turned out to be the Document's, else here
    // when the other text is put in. Nothing shows the file before: showing the web view hides the
    // text view, which waits for the answer.
    if (m_txtXML->isVisible() && !m_txtXML->HasTextSource() && !m_txtXML->HasTyping() &&
        document.savesAsUtf8() && m_txtXML->ReadHeldText([path](QByteArrayView text) {
            return writeBeside(path, [text](QFile& file) { return writeWithLf(file, text); });
        })) {
        m_webFileFromView = true;
        return;
    }
    document.save(path, XmlDocument::SaveMode::Scratch);
}

void frmMain::webFileAfterTextReplaced() {
    if (!m_webFileFromView)
        return;
    const QString path = WebFilePath();
    writeWebFile(path);
    m_WebBrowser->Navigate(path);
}

void frmMain::ToolbarApply_ButtonClick(const QString& key) {
    if (key != QLatin1String("Apply"))
        return;
    if (!m_wndTree->isHidden()) {
        setTextViewFromDocument();
        RefreshViews(false);
    } else if (!m_txtXML->isHidden()) {
        SetUtf8ToXML(m_txtXML->Utf8Content(), QStringLiteral("Apply Text"));
        RefreshViews(true);
    } else if (!m_WebBrowser->isHidden()) {
        RefreshViews(true);
    } else {
        MsgBox(QStringLiteral("Cannot apply last changes."), MsgButtons::OKOnly, MsgIcon::Critical,
               kAppTitle);
    }
}
