#include "platform/xml/xmltransform.h"

#include "platform/work/asidework.h"
#include "platform/xml/xmllibrary.h"

#include <libexslt/exslt.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <chrono>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace XmlTransform {
namespace {

QString qs(const xmlChar* text) {
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// libxslt reports through one handler for the whole program; each transform collects what is
// said on its own thread.
thread_local QList<Message>* t_messages = nullptr;
thread_local QString t_pending;
// libxslt says where an error is on a line of its own before the error itself.
thread_local std::optional<Message> t_place;

// One line said. A line of its own (no place said before it, none in it) is what xsl:message
// said: a message, not an error.
void said(const QString& line) {
    static const QRegularExpression header(
        QStringLiteral("^(?:runtime|compilation) error: file (.+?) line (\\d+) element (\\S+)$"));
    static const QRegularExpression placed(QStringLiteral("^(.+?):(\\d+): (.*)$"));
    if (const QRegularExpressionMatch h = header.match(line); h.hasMatch()) {
        t_place = Message{h.captured(1), h.captured(2).toInt(), QString(), true};
        return;
    }
    Message m;
    if (t_place) {
        m = *t_place;
        m.text = line;
        t_place.reset();
    } else if (const QRegularExpressionMatch at = placed.match(line);
               at.hasMatch() && (at.captured(1).startsWith(u'/') || at.captured(1).contains(u':'))) {
        m = {at.captured(1), at.captured(2).toInt(), at.captured(3), true};
    } else {
        m.text = line;
        m.error = line.startsWith(QLatin1String("error")) ||
                  line.startsWith(QLatin1String("xsltApplyStylesheet")) ||
                  line.contains(QLatin1String("refused"));
    }
    t_messages->append(m);
}

void collect(void*, const char* format, ...) {
    if (!t_messages)
        return;
    va_list args;
    va_start(args, format);
    char buffer[4096];
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // Messages come in pieces; a line ends one.
    t_pending += QString::fromUtf8(buffer);
    qsizetype end;
    while ((end = t_pending.indexOf(u'\n')) >= 0) {
        const QString line = t_pending.left(end).trimmed();
        t_pending.remove(0, end + 1);
        if (!line.isEmpty())
            said(line);
    }
}

void flushPending() {
    if (t_messages && !t_pending.trimmed().isEmpty())
        said(t_pending.trimmed());
    if (t_messages && t_place)
        t_messages->append(*t_place);
    t_pending.clear();
    t_place.reset();
}

void quiet(void*, const char*, ...) {}

int refuse(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char*) {
    return 0;
}

xsltSecurityPrefsPtr securityPrefs() {
    static xsltSecurityPrefsPtr prefs = [] {
        xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_FILE, refuse);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_CREATE_DIRECTORY, refuse);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_NETWORK, refuse);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_NETWORK, refuse);
        return p;
    }();
    return prefs;
}

void useLibrary() {
    static const bool once = [] {
        xmlimpl::UseLibrary();
        exsltRegisterAll();
        xsltSetGenericErrorFunc(nullptr, collect);
        // xsl:import and xsl:include are checked against the defaults while a stylesheet is read.
        xsltSetDefaultSecurityPrefs(securityPrefs());
        return true;
    }();
    (void)once;
    xmlimpl::UseLibrary();
}

struct Freer {
    void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
    void operator()(xsltStylesheetPtr s) const { xsltFreeStylesheet(s); }
    void operator()(xsltTransformContextPtr c) const { xsltFreeTransformContext(c); }
};
template <typename T> using Owned = std::unique_ptr<std::remove_pointer_t<T>, Freer>;

// Sets the transform stopped when the user asks: libxslt looks at its state between
// instructions. The context is set only while the transform runs.
class StopWatch {
public:
    explicit StopWatch(WorkProgress* progress) : m_progress(progress) {
        if (!progress)
            return;
        m_job = AsideWork::Start([this] {
            while (!m_done.load()) {
                if (m_progress->stop.load()) {
                    std::lock_guard lock(m_mutex);
                    if (m_context)
                        m_context->state = XSLT_STATE_STOPPED;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~StopWatch() {
        m_done.store(true);
        if (m_job)
            m_job->Wait();
    }
    void watch(xsltTransformContextPtr context) {
        std::lock_guard lock(m_mutex);
        m_context = context;
    }

private:
    WorkProgress* m_progress;
    std::atomic<bool> m_done{false};
    std::mutex m_mutex;
    xsltTransformContextPtr m_context = nullptr;
    std::shared_ptr<AsideWork> m_job;
};

} // namespace

Result Transform(QByteArrayView input, const QString& baseUrl, const QString& stylesheet,
                 const QList<Parameter>& parameters, WorkProgress* progress) {
    useLibrary();
    Result result;
    t_messages = &result.messages;
    t_pending.clear();
    xmlSetGenericErrorFunc(nullptr, collect);
    const auto restore = qScopeGuard([] {
        flushPending();
        t_messages = nullptr;
        xmlimpl::UseLibrary();
        xmlSetGenericErrorFunc(nullptr, quiet);
    });
    xmlimpl::LocalFileReads reads;
    const auto listRefusals = qScopeGuard([&] {
        for (const QString& name : reads.refused)
            result.messages.append({QString(), 0, QStringLiteral("Refused to read %1: only local "
                                                                 "files are read.")
                                                      .arg(name)});
    });

    Owned<xsltStylesheetPtr> sheet(
        xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(stylesheet.toUtf8().constData())));
    if (!sheet) {
        if (result.messages.isEmpty())
            result.messages.append({stylesheet, 0, QStringLiteral("The stylesheet could not be read.")});
        return result;
    }
    Owned<xmlDocPtr> doc(xmlReadMemory(input.data(), int(input.size()), baseUrl.toUtf8().constData(),
                                       nullptr, XSLT_PARSE_OPTIONS));
    if (!doc) {
        if (result.messages.isEmpty())
            result.messages.append({QString(), 0, QStringLiteral("The document could not be read.")});
        return result;
    }
    Owned<xsltTransformContextPtr> context(xsltNewTransformContext(sheet.get(), doc.get()));
    if (!context)
        throw std::bad_alloc();
    xsltSetCtxtSecurityPrefs(securityPrefs(), context.get());
    xsltSetTransformErrorFunc(context.get(), nullptr, collect);
    for (const Parameter& p : parameters) {
        const QByteArray name = p.name.toUtf8(), value = p.value.toUtf8();
        const int failed =
            p.expression
                ? xsltEvalOneUserParam(context.get(), BAD_CAST name.constData(),
                                       BAD_CAST value.constData())
                : xsltQuoteOneUserParam(context.get(), BAD_CAST name.constData(),
                                        BAD_CAST value.constData());
        if (failed)
            result.messages.append({QString(), 0,
                                    QStringLiteral("The parameter %1 could not be set.").arg(p.name)});
    }
    Owned<xmlDocPtr> out;
    {
        StopWatch watch(progress);
        watch.watch(context.get());
        out.reset(xsltApplyStylesheetUser(sheet.get(), doc.get(), nullptr, nullptr, nullptr,
                                          context.get()));
        watch.watch(nullptr);
    }
    result.stopped = progress && progress->stop.load();
    // xsl:message terminate="yes" stops it too: what it said last is why there is no result.
    if (context->state == XSLT_STATE_STOPPED && !result.stopped) {
        flushPending();
        if (!result.messages.isEmpty())
            result.messages.last().error = true;
    }
    if (!out || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED)
        return result;
    xmlChar* bytes = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&bytes, &length, out.get(), sheet.get()) != 0)
        throw std::bad_alloc();
    result.output = QByteArray(reinterpret_cast<const char*>(bytes), length);
    xmlFree(bytes);
    const xmlChar* method = nullptr;
    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(method, sheet.get(), method)
    XSLT_GET_IMPORT_PTR(encoding, sheet.get(), encoding)
    result.method = method ? qs(method) : out->type == XML_HTML_DOCUMENT_NODE ? QStringLiteral("html")
                                                                               : QStringLiteral("xml");
    result.encoding = encoding ? qs(encoding) : QStringLiteral("UTF-8");
    result.produced = true;
    return result;
}

QString StylesheetNamedIn(QByteArrayView prolog, const QString& documentFile) {
    static const QRegularExpression pi(QStringLiteral("<\\?xml-stylesheet\\s+([^?]*)\\?>"));
    static const QRegularExpression pseudo(
        QStringLiteral("([A-Za-z]+)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
    const QString text = QString::fromUtf8(prolog);
    QRegularExpressionMatchIterator pis = pi.globalMatch(text);
    while (pis.hasNext()) {
        QString href, type;
        QRegularExpressionMatchIterator attributes = pseudo.globalMatch(pis.next().captured(1));
        while (attributes.hasNext()) {
            const QRegularExpressionMatch a = attributes.next();
            const QString value = a.captured(2).isNull() ? a.captured(3) : a.captured(2);
            if (a.captured(1) == QLatin1String("href"))
                href = value;
            else if (a.captured(1) == QLatin1String("type"))
                type = value.trimmed().toLower();
        }
        static const QStringList xslt{QStringLiteral("text/xsl"),
                                      QStringLiteral("application/xslt+xml"),
                                      QStringLiteral("text/xml"), QStringLiteral("application/xml")};
        if (href.isEmpty() || !xslt.contains(type))
            continue;
        const QUrl url(href);
        if (!url.scheme().isEmpty() && !url.isLocalFile())
            return {};
        const QString path = url.isLocalFile() ? url.toLocalFile() : href;
        const QString base = documentFile.isEmpty() ? QDir::currentPath()
                                                    : QFileInfo(documentFile).absolutePath();
        const QString file = QDir(base).absoluteFilePath(path);
        return QFileInfo(file).isFile() ? QDir::cleanPath(file) : QString();
    }
    return {};
}

} // namespace XmlTransform
