// The program's icons under the desktop's colour scheme: as designed on a light one, and on a dark
// one each stands out from the window's background as graphics should (3:1).

#include "platform/ui/themedicon.h"
#include "platform/views/palettecolours.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QScopeGuard>
#include <gtest/gtest.h>

static void registerIcons() {
    Q_INIT_RESOURCE(orvel);
}

namespace {

QStringList iconFiles() {
    registerIcons();
    QStringList files;
    for (const char* folder : {":/icons/toolbar", ":/icons/items"}) {
        const QDir dir(QString::fromLatin1(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*.svg")}))
            files << dir.filePath(name);
    }
    return files;
}

// The pixel of the drawing that stands out most from `background`.
double standsOut(const QImage& image, const QColor& background) {
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 200)
                best = std::max(best, PaletteColours::Contrast(pixel, background));
        }
    return best;
}

TEST(ThemedIcon, AsDesignedOnALightSchemeAndVisibleOnADarkOne) {
    const QStringList files = iconFiles();
    ASSERT_GE(files.size(), 25);
    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    QPalette light = before;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    QApplication::setPalette(light);
    std::vector<QIcon> icons;
    for (const QString& file : files) {
        icons.push_back(ThemedIcon(file));
        EXPECT_EQ(icons.back().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
                  QIcon(file).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32))
            << file.toStdString();
    }
    // The same icons, the scheme changed under them.
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    QApplication::setPalette(dark);
    int darkBefore = 0;
    for (size_t i = 0; i < icons.size(); ++i) {
        const QColor window = dark.color(QPalette::Window);
        EXPECT_GE(standsOut(icons[i].pixmap(16, 16).toImage(), window), 3.0)
            << files[int(i)].toStdString();
        darkBefore += standsOut(QIcon(files[int(i)]).pixmap(16, 16).toImage(), window) < 3.0;
    }
    EXPECT_GT(darkBefore, 0) << "no icon was hard to see as designed: the check proves nothing";
}

} // namespace
