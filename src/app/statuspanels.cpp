#include "app/statuspanels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QTime>
#include <QTimer>

// A path is cut in its middle, where it is least telling, and shown whole in the tooltip.
class MiddleElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    void setFullText(const QString& text) {
        m_full = text;
        setToolTip(text);
        update();
    }
    const QString& fullText() const { return m_full; }
    QSize minimumSizeHint() const override { return {1, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect area = contentsRect();
        painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(m_full, Qt::ElideMiddle, area.width()));
    }

private:
    QString m_full;
};

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    const char* texts[] = {"Ready", "CAPS", "NUM", "INS", "SCRL", ""};
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(QString::fromLatin1(texts[i]), this);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setContentsMargins(4, 0, 4, 0);
        if (i == 0)
            addWidget(label, 1);
        else
            addPermanentWidget(label);
        m_panels << label;
    }
    m_wellFormedness = new QLabel(this);
    m_wellFormedness->setObjectName(QStringLiteral("StatusWellFormedness"));
    m_wellFormedness->setFrameShape(QFrame::Panel);
    m_wellFormedness->setFrameShadow(QFrame::Sunken);
    m_wellFormedness->setContentsMargins(4, 0, 4, 0);
    // A long reason must not widen the window: it is cut, and whole in the tooltip.
    m_wellFormedness->setMinimumWidth(1);
    m_wellFormedness->hide();
    addWidget(m_wellFormedness, 2);
    m_path = new MiddleElidedLabel(this);
    m_path->setObjectName(QStringLiteral("StatusPath"));
    m_path->setFrameShape(QFrame::Panel);
    m_path->setFrameShadow(QFrame::Sunken);
    m_path->setContentsMargins(4, 0, 4, 0);
    addWidget(m_path, 3);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("StatusProgress"));
    m_progress->setMaximumWidth(200);
    m_progress->setRange(0, 100);
    m_progress->hide();
    addPermanentWidget(m_progress);
    // Lock keys: Qt gives no portable way to read their state, so these stay dimmed.
    showKey(m_panels[1], false);
    showKey(m_panels[2], false);
    showKey(m_panels[4], false);
    showKey(m_panels[3], m_insert);
    qApp->installEventFilter(this);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &StatusPanels::tick);
    clock->start(1000);
    tick();
}

QLabel* StatusPanels::Panel(int index) const {
    return index >= 1 && index <= m_panels.size() ? m_panels[index - 1] : nullptr;
}

void StatusPanels::ShowProgress(const QString& caption, int percent) {
    const QString text = percent < 0 ? caption + QStringLiteral("...")
                                     : QStringLiteral("%1... %2%").arg(caption).arg(percent);
    m_panels[0]->setText(text);
    // Without a known amount the bar runs as a busy indicator.
    m_progress->setRange(0, percent < 0 ? 0 : 100);
    if (percent >= 0)
        m_progress->setValue(percent);
    m_progress->show();
}

void StatusPanels::HideProgress() {
    ShowStatus(QStringLiteral("Ready"));
}

void StatusPanels::ShowStatus(const QString& text) {
    m_progress->hide();
    m_panels[0]->setText(text);
}

void StatusPanels::showKey(QLabel* label, bool on) {
    label->setEnabled(on);
}

void StatusPanels::tick() {
    m_panels[5]->setText(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat));
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == QApplication::focusWidget()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            m_insert = !m_insert;
            showKey(m_panels[3], m_insert);
        }
    }
    return QStatusBar::eventFilter(watched, event);
}

void StatusPanels::ShowWellFormedness(const QString& text) {
    m_wellFormedness->setText(text);
    m_wellFormedness->setToolTip(text);
    m_wellFormedness->setVisible(!text.isEmpty());
}

void StatusPanels::ShowPath(const QString& path) {
    m_path->setFullText(path);
}

QString StatusPanels::Path() const {
    return m_path->fullText();
}

QString StatusPanels::WellFormedness() const {
    return m_wellFormedness->text();
}

QString StatusPanels::Status() const {
    return Panel(1)->text();
}
