#include "platform/ui/themedicon.h"

#include "platform/views/palettecolours.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

namespace {

constexpr double kGraphicsContrast = 3.0;

// Every colour of the drawing too close to `window`, lightened.
QByteArray lightened(const QByteArray& svg, const QColor& window) {
    static const QRegularExpression colour(QStringLiteral("#[0-9a-fA-F]{6}\\b"));
    QString text = QString::fromUtf8(svg);
    QString out;
    qsizetype last = 0;
    for (auto it = colour.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += PaletteColours::Readable(QColor(m.captured()), window, kGraphicsContrast).name();
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out.toUtf8();
}

class ThemedIconEngine : public QIconEngine {
public:
    explicit ThemedIconEngine(const QString& path) : m_path(path) {}

    QIconEngine* clone() const override { return new ThemedIconEngine(m_path); }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap shown = pixmap(rect.size() * ratio, mode, state);
        shown.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect.topLeft(), shown);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const QColor window = QApplication::palette().color(QPalette::Window);
        const QString key = QStringLiteral("%1x%2 %3 %4")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode))
                                .arg(window.rgb());
        if (const auto found = m_made.constFind(key); found != m_made.cend())
            return *found;
        QFile file(m_path);
        QByteArray svg = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (PaletteColours::IsDark(window))
            svg = lightened(svg, window);
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QSvgRenderer(svg).render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        QPixmap made = QPixmap::fromImage(image);
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QApplication::palette();
            made = QApplication::style()->generatedIconPixmap(mode, made, &option);
        }
        m_made.insert(key, made);
        return made;
    }

private:
    QString m_path;
    QHash<QString, QPixmap> m_made;
};

} // namespace

QIcon ThemedIcon(const QString& svgPath) {
    return QIcon(new ThemedIconEngine(svgPath));
}
