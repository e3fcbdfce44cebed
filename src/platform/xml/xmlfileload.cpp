// Parsing a file on a worker thread.

#include "platform/xml/xmlfileload.h"

#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlstorage.h"
#include "platform/work/asidework.h"
#include "platform/xml/xmlparse.h"

#include <QFile>
#include <QFileInfo>

#include <libxml/parser.h>


namespace {
std::function<void()> s_beforeParse;

// As loadXML() has it: the empty text is no document and no error.
xmlimpl::ParsedDocument parseUtf8Text(const QString& path, XmlParseError& error,
                                      WorkProgress& progress) {
    error = {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error.reason =
            QStringLiteral("The system cannot open the file %1: %2").arg(path, file.errorString());
        return {};
    }
    QByteArray bytes;
    while (!progress.stop.load() && !file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        progress.done.fetch_add(chunk.size());
    }
    if (progress.stop.load() || bytes.isEmpty())
        return {};
    return xmlimpl::parseText(QString::fromUtf8(bytes).toUtf8(), error);
}
} // namespace

struct XmlFileLoad::State {
    ~State() {
        if (parsed.doc)
            xmlFreeDoc(parsed.doc);
    }
    QString path;
    qint64 total = 0;
    // Written by the worker before it ends, read by the owner after it.
    xmlimpl::ParsedDocument parsed;
    XmlParseError error;
};

XmlFileLoad::XmlFileLoad(const QString& path, Kind kind) : m_state(std::make_shared<State>()) {
    // Set up here on the user-interface thread, before any worker uses libxml2.
    xmlimpl::UseLibrary();
    m_state->path = path;
    m_state->total = QFileInfo(path).size();
    m_job = AsideWork::Start(
        [state = m_state, hook = s_beforeParse, kind](WorkProgress& progress) {
            if (hook)
                hook();
            state->parsed = kind == Kind::File
                                ? xmlimpl::parseFile(state->path, state->error, &progress)
                                : parseUtf8Text(state->path, state->error, progress);
        });
}

XmlFileLoad::~XmlFileLoad() {
    stop();
    // A result nobody took is freed on a thread of its own: a big document takes seconds.
    if (finished() && m_state->parsed.doc)
        AsideWork::Release(std::move(m_state));
}

bool XmlFileLoad::finished() const {
    return m_job->Finished();
}

qint64 XmlFileLoad::totalBytes() const {
    return m_state->total;
}

void XmlFileLoad::stop() {
    m_job->RequestStop();
}

xmlimpl::ParsedDocument XmlFileLoad::take(XmlParseError& error) {
    error = m_state->error;
    return std::exchange(m_state->parsed, {});
}

void XmlFileLoad::SetBeforeParseHook(std::function<void()> hook) {
    s_beforeParse = std::move(hook);
}
