#include "platform/views/webbrowser.h"

#include "platform/views/webengineview.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QOpenGLContext>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// Qt's context that every OpenGL context of the program shares with (qopenglcontext_p.h).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();

namespace {

// Beside the program in the build, in its library folder once installed.
QString engineModulePath() {
#ifdef ORVEL_WEBENGINE_DIR
    const QDir program(QCoreApplication::applicationDirPath());
    const QString name = QStringLiteral("%1.so").arg(QLatin1String(kWebEngineModule));
    for (const QString& dir :
         {program.path(), program.filePath(QStringLiteral(ORVEL_WEBENGINE_DIR))}) {
        const QString path = QDir(dir).filePath(name);
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    }
#endif
    return {};
}

void deleteShareContext() {
    delete qt_gl_global_share_context();
    qt_gl_set_global_share_context(nullptr);
}

// The engine's maker, loaded once; none without the module. The engine shares its OpenGL
// resources through Qt's global share context, which it expects made as the application started
// (and without which it crashes): it is made here instead, before the engine is loaded. Where
// there is no OpenGL the context is not created, and the engine draws in software.
CreateWebEngineView engine() {
    static const CreateWebEngineView create = []() -> CreateWebEngineView {
        const QString path = engineModulePath();
        if (path.isEmpty())
            return nullptr;
        if (!qt_gl_global_share_context()) {
            auto* context = new QOpenGLContext;
            context->setFormat(QSurfaceFormat::defaultFormat());
            context->create();
            qt_gl_set_global_share_context(context);
            qAddPostRoutine(deleteShareContext);
        }
        QLibrary module(path);
        auto found = reinterpret_cast<CreateWebEngineView>(module.resolve(kCreateWebEngineView));
        if (!found)
            qWarning("The web view's engine could not be loaded: %s",
                     qPrintable(module.errorString()));
        return found;
    }();
    return create;
}

} // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("WebNote"));
    m_note->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_note->setWordWrap(true);
    m_note->setContentsMargins(12, 12, 12, 12);
    m_note->setTextFormat(Qt::PlainText);
    m_note->hide();
    layout->addWidget(m_note);
}

void WebBrowser::ShowNote(const QString& text) {
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
    if (m_view)
        m_view->setVisible(text.isEmpty());
}

QString WebBrowser::Note() const {
    return m_note->isVisibleTo(this) ? m_note->text() : QString();
}

bool WebBrowser::HasEngine() {
    return !engineModulePath().isEmpty();
}

QString WebBrowser::EngineDescription() {
    return HasEngine()
               ? QStringLiteral("Web view: Qt WebEngine")
               : QStringLiteral("Web view: simple page view (Qt WebEngine is not available)");
}

void WebBrowser::Navigate(const QString& path) {
    m_path = path;
    ++m_navigations;
    if (isVisible())
        loadNow();
}

void WebBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_loadedNavigation != m_navigations)
        loadNow();
}

void WebBrowser::loadNow() {
    m_loadedNavigation = m_navigations;
    m_loadedPath = m_path;
    if (!m_view) {
        if (const CreateWebEngineView create = engine()) {
            m_view = create(this);
        } else {
            auto* browser = new QTextBrowser(this);
            browser->setReadOnly(true);
            m_view = browser;
        }
        layout()->addWidget(m_view);
        m_view->setVisible(m_note->isHidden());
    }
    if (auto* browser = qobject_cast<QTextBrowser*>(m_view)) {
        QFile file(m_path);
        browser->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                             : QString());
    } else {
        m_view->setProperty("url", QUrl::fromLocalFile(m_path));
    }
}
