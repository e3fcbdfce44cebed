#include "platform/views/webbrowser.h"

#include <QFile>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#ifdef ORVEL_HAVE_WEBENGINE
#include <QWebEngineView>
#else
#include <QTextBrowser>
#endif

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

QString WebBrowser::EngineDescription() {
#ifdef ORVEL_HAVE_WEBENGINE
    return QStringLiteral("Web view: Qt WebEngine");
#else
    return QStringLiteral("Web view: simple page view (Qt WebEngine is not available)");
#endif
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
#ifdef ORVEL_HAVE_WEBENGINE
        m_view = new QWebEngineView(this);
#else
        auto* browser = new QTextBrowser(this);
        browser->setReadOnly(true);
        m_view = browser;
#endif
        layout()->addWidget(m_view);
        m_view->setVisible(m_note->isHidden());
    }
#ifdef ORVEL_HAVE_WEBENGINE
    static_cast<QWebEngineView*>(m_view)->load(QUrl::fromLocalFile(m_path));
#else
    QFile file(m_path);
    auto* browser = static_cast<QTextBrowser*>(m_view);
    browser->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                         : QString());
#endif
}
