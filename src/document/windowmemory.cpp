#include "document/windowmemory.h"

#include <QFileInfo>

namespace {
const QString kGeometry = QStringLiteral("Window/Geometry");
const QString kMaximised = QStringLiteral("Window/Maximised");
const QString kPanels = QStringLiteral("Window/Panels");
const QString kLastFolder = QStringLiteral("Files/LastFolder");
const QString kZoom = QStringLiteral("TextView/Zoom");

int overlap(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isValid() ? common.width() * common.height() : 0;
}
} // namespace

WindowMemory::Placement WindowMemory::Place() const {
    return {m_settings.value(kGeometry).toRect(), m_settings.value(kMaximised, false).toBool()};
}

void WindowMemory::KeepPlace(const Placement& place) {
    if (place.geometry.isValid())
        m_settings.setValue(kGeometry, place.geometry);
    m_settings.setValue(kMaximised, place.maximised);
}

QByteArray WindowMemory::Panels() const {
    return m_settings.value(kPanels).toByteArray();
}

void WindowMemory::KeepPanels(const QByteArray& state) {
    m_settings.setValue(kPanels, state);
}

QString WindowMemory::LastFolder() const {
    const QString folder = m_settings.value(kLastFolder).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void WindowMemory::KeepFolderOf(const QString& file) {
    if (!file.isEmpty())
        m_settings.setValue(kLastFolder, QFileInfo(file).absolutePath());
}

int WindowMemory::Zoom() const {
    return LimitZoom(m_settings.value(kZoom, 0).toInt());
}

void WindowMemory::KeepZoom(int zoom) {
    m_settings.setValue(kZoom, LimitZoom(zoom));
}

QRect WindowMemory::KeptOnScreen(const QRect& kept, const QList<QRect>& screens) {
    if (screens.isEmpty() || !kept.isValid())
        return kept;
    QRect screen = screens.constFirst();
    for (const QRect& each : screens) {
        if (overlap(kept, each) > overlap(kept, screen))
            screen = each;
    }
    QRect fitted(kept.topLeft(), kept.size().boundedTo(screen.size()));
    fitted.moveLeft(qBound(screen.left(), fitted.left(), screen.right() - fitted.width() + 1));
    fitted.moveTop(qBound(screen.top(), fitted.top(), screen.bottom() - fitted.height() + 1));
    return fitted;
}
