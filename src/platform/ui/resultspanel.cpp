#include "platform/ui/resultspanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>

namespace {
QSettings settings() {
    return QSettings(QStringLiteral("Orvel"), QStringLiteral("Orvel XML Editor"));
}
} // namespace

ResultsPanel::ResultsPanel(const QString& title, const QString& shownKey, const QString& staleNote,
                           QWidget* parent)
    : QDockWidget(title, parent), m_shownKey(shownKey) {
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_staleNote = new QLabel(staleNote, body);
    m_staleNote->setContentsMargins(4, 2, 4, 2);
    m_staleNote->hide();
    layout->addWidget(m_staleNote);
    setWidget(body);
}

void ResultsPanel::SetRows(QAbstractItemView* rows) {
    m_rows = rows;
    rows->setParent(widget());
    widget()->layout()->addWidget(rows);
}

void ResultsPanel::Attach(QMainWindow& window, QAction& toggle) {
    m_window = &window;
    m_toggle = &toggle;
    window.addDockWidget(Qt::BottomDockWidgetArea, this);
    hide();
    toggle.setCheckable(true);
    connect(this, &QDockWidget::visibilityChanged, this, [this] {
        // Hidden with its window or minimised is still shown as far as the user chose.
        if (!m_window->isVisible() || m_window->isMinimized())
            return;
        const bool shown = isVisibleTo(m_window);
        m_toggle->setChecked(shown);
        settings().setValue(m_shownKey, shown);
    });
}

void ResultsPanel::Restore() {
    const bool shown = settings().value(m_shownKey, false).toBool();
    if (shown)
        ShowInWindow();
    m_toggle->setChecked(shown);
}

void ResultsPanel::Toggle() {
    if (isVisibleTo(m_window))
        hide();
    else
        ShowInWindow();
}

void ResultsPanel::ShowInWindow() {
    if (isVisibleTo(m_window))
        return;
    show();
    constexpr int kPanelHeight = 160;
    m_window->resizeDocks({this}, {kPanelHeight}, Qt::Vertical);
    if (m_window->isMaximized() || m_window->isFullScreen())
        return;
    QScreen* screen = m_window->screen();
    const int room = m_window->isVisible() && screen
                         ? screen->availableGeometry().bottom() - m_window->frameGeometry().bottom()
                         : kPanelHeight;
    const int grow = qMin(kPanelHeight, room);
    if (grow > 0)
        m_window->resize(m_window->width(), m_window->height() + grow);
}

void ResultsPanel::SetStale(bool stale) {
    if (stale == m_stale)
        return;
    m_stale = stale;
    m_staleNote->setVisible(stale);
    const QPalette palette = QApplication::palette(m_rows);
    const QString view = QString::fromLatin1(m_rows->metaObject()->className());
    m_rows->setStyleSheet(stale ? QStringLiteral("%1 { color: %2; }")
                                      .arg(view, palette.color(QPalette::Disabled, QPalette::Text)
                                                     .name())
                                : QString());
}
