// The recent files: most recent first, each once, at most ten, kept in the settings between runs;
// the menu's captions with their access keys.

#include "document/recentfiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(RecentFiles, MostRecentFirstEachOnceAtMostTenKeptBetweenRuns) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    const auto path = [&](int i) { return dir.filePath(QStringLiteral("f%1.xml").arg(i)); };
    {
        QSettings settings(ini, QSettings::IniFormat);
        RecentFiles recent(settings);
        EXPECT_TRUE(recent.Files().isEmpty());
        for (int i = 1; i <= 12; ++i)
            recent.Add(path(i));
        recent.Add(path(5)); // again: to the front, not twice
        recent.Add(QString());
        QStringList expected{path(5)};
        for (int i = 12; i >= 3; --i) {
            if (i != 5)
                expected << path(i);
        }
        EXPECT_EQ(recent.Files(), expected);
        EXPECT_EQ(recent.Files().size(), RecentFiles::kMost);
        recent.Remove(path(12));
        EXPECT_FALSE(recent.Files().contains(path(12)));
    }
    QSettings again(ini, QSettings::IniFormat);
    RecentFiles next(again);
    EXPECT_EQ(next.Files().first(), path(5)) << "kept for the next run";
    EXPECT_EQ(next.Files().size(), 9);
    // A relative name is kept as the absolute path it stood for.
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    next.Add(QStringLiteral("sub/../rel.xml"));
    QDir::setCurrent(here);
    EXPECT_EQ(next.Files().first(), dir.filePath(QStringLiteral("rel.xml")));
    next.Clear();
    EXPECT_TRUE(next.Files().isEmpty());
}

TEST(RecentFiles, CaptionsHaveTheAccessKeysOneToNineAndZero) {
    EXPECT_EQ(RecentFiles::Caption(0, QStringLiteral("/a/b.xml")), QStringLiteral("&1 b.xml"));
    EXPECT_EQ(RecentFiles::Caption(8, QStringLiteral("/a/i.xml")), QStringLiteral("&9 i.xml"));
    EXPECT_EQ(RecentFiles::Caption(9, QStringLiteral("/a/j.xml")), QStringLiteral("1&0 j.xml"));
    EXPECT_EQ(RecentFiles::Caption(1, QStringLiteral("/a/R&D.xml")), QStringLiteral("&2 R&&D.xml"));
}

} // namespace
