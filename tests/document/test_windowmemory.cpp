// What the window keeps of itself between runs, and its place brought onto the screens there are.

#include "document/windowmemory.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QRect kLeft(0, 0, 1920, 1040);       // a screen's free area, without its panel
const QRect kRight(1920, 0, 1280, 1024);

struct OnScreenCase {
    const char* what;
    QRect kept;
    QList<QRect> screens;
    QRect expected;
};

TEST(WindowMemory, AWindowIsKeptOnAScreenThereIs) {
    const OnScreenCase cases[] = {
        {"inside: as it was", QRect(100, 80, 800, 600), {kLeft, kRight}, QRect(100, 80, 800, 600)},
        {"on the second screen", QRect(2000, 100, 800, 600), {kLeft, kRight},
         QRect(2000, 100, 800, 600)},
        {"the second screen gone", QRect(2000, 100, 800, 600), {kLeft},
         QRect(1120, 100, 800, 600)},
        {"partly off the bottom", QRect(100, 900, 800, 600), {kLeft}, QRect(100, 440, 800, 600)},
        {"above and left of it", QRect(-300, -50, 800, 600), {kLeft}, QRect(0, 0, 800, 600)},
        {"larger than the screen now", QRect(50, 50, 2500, 1400), {kRight},
         QRect(1920, 0, 1280, 1024)},
        {"across two: the one it covers most", QRect(1700, 100, 800, 600), {kLeft, kRight},
         QRect(1920, 100, 800, 600)},
        {"far away: the first screen", QRect(9000, 9000, 400, 300), {kRight, kLeft},
         QRect(2800, 724, 400, 300)},
    };
    for (const OnScreenCase& c : cases)
        EXPECT_EQ(WindowMemory::KeptOnScreen(c.kept, c.screens), c.expected) << c.what;
}

TEST(WindowMemory, KeptForTheNextRun) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        WindowMemory memory(settings);
        EXPECT_FALSE(memory.Place().geometry.isValid()) << "a first run has nothing kept";
        EXPECT_EQ(memory.Zoom(), 0);
        EXPECT_TRUE(memory.LastFolder().isEmpty());
        memory.KeepPlace({QRect(10, 20, 640, 480), true});
        memory.KeepPanels("state");
        memory.KeepFolderOf(dir.filePath(QStringLiteral("a/b.xml")));
        memory.KeepZoom(99);
    }
    QSettings settings(ini, QSettings::IniFormat);
    WindowMemory memory(settings);
    EXPECT_EQ(memory.Place().geometry, QRect(10, 20, 640, 480));
    EXPECT_TRUE(memory.Place().maximised);
    EXPECT_EQ(memory.Panels(), QByteArray("state"));
    EXPECT_EQ(memory.Zoom(), 20) << "within what the view allows";
    // A folder that is gone is no place to start a dialog in.
    EXPECT_TRUE(memory.LastFolder().isEmpty());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")));
    EXPECT_EQ(memory.LastFolder(), dir.filePath(QStringLiteral("a")));
    settings.setValue(QStringLiteral("TextView/Zoom"), -50);
    EXPECT_EQ(memory.Zoom(), -10);
}

} // namespace
