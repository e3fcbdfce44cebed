// The File menu's recent files: Open, a drop, the command line and Save As put a file first; an
// entry opens its file, or says it is gone and leaves; the list outlives the window; Clear Recent
// Files empties it.

#include "support/editingfixture.h"

#include <QFile>
#include <QMenu>

namespace {

class RecentFilesTest : public EditingTest {
protected:
    void SetUp() override {
        EditingTest::SetUp();
        window->mnuClearRecent_Click(); // what earlier tests of this run opened
    }
    // The entries as the File menu shows them: caption and status tip.
    QStringList entries() {
        QStringList out;
        for (QAction* a : window->Menu(QStringLiteral("mnuFile"))->actions()) {
            if (a->objectName().startsWith(QLatin1String("mnuRecentFile")))
                out << a->text() + u'|' + a->statusTip();
        }
        return out;
    }
    QAction* entry(int number) {
        return window->findChild<QAction*>(QStringLiteral("mnuRecentFile%1").arg(number));
    }
};

TEST_F(RecentFilesTest, OpenSaveAsAndTheCommandLinePutAFileFirst) {
    const QString a = writeFile(QStringLiteral("a.xml"), "<a/>");
    const QString b = writeFile(QStringLiteral("b.xml"), "<b/>");
    const QString c = writeFile(QStringLiteral("c & d.xml"), "<c/>");
    EXPECT_FALSE(window->Command(QStringLiteral("mnuClearRecent"))->isEnabled());
    window->DropFiles({a});
    ui.expectFileDialog(FileDialogKind::Open, b);
    trigger("mnuOpen");
    window->DropFiles({c});
    EXPECT_EQ(entries(), (QStringList{"&1 c && d.xml|" + c, "&2 b.xml|" + b, "&3 a.xml|" + a}));
    const QString saved = QDir(dir.path()).filePath(QStringLiteral("saved.xml"));
    ui.expectFileDialog(FileDialogKind::Save, saved);
    trigger("mnuSaveAs");
    EXPECT_EQ(entries().first(), "&1 saved.xml|" + saved);
    // An entry opens its file, which comes first.
    entry(4)->trigger();
    EXPECT_EQ(window->m_strFileName, a);
    EXPECT_EQ(entries().first(), "&1 a.xml|" + a);
    // A file gone is said and leaves the list; the document stays as it was.
    ASSERT_TRUE(QFile::remove(b));
    ui.expectMessage(QStringLiteral("The file %1 no longer exists.").arg(b), MsgButtons::OKOnly,
                     MsgIcon::Information, kAppTitle);
    entry(4)->trigger();
    EXPECT_EQ(window->m_strFileName, a);
    EXPECT_EQ(entries().size(), 3);
    EXPECT_FALSE(entries().join(u' ').contains(QStringLiteral("b.xml")));
    // The next window, started with a file, has the list with that file first.
    const QString d = writeFile(QStringLiteral("d.xml"), "<d/>");
    window->markSaved();
    window.reset();
    start({d});
    EXPECT_EQ(entries().size(), 4);
    EXPECT_EQ(entries().first(), "&1 d.xml|" + d);
    EXPECT_EQ(entries().last(), "&4 c && d.xml|" + c);
    trigger("mnuClearRecent");
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(window->Command(QStringLiteral("mnuClearRecent"))->isEnabled());
}

// Ten at most, the tenth with the access key 0.
TEST_F(RecentFilesTest, TenAtMost) {
    for (int i = 1; i <= 11; ++i)
        window->DropFiles({writeFile(QStringLiteral("f%1.xml").arg(i), "<f/>")});
    const QStringList shown = entries();
    ASSERT_EQ(shown.size(), 10);
    EXPECT_TRUE(shown.first().startsWith(QStringLiteral("&1 f11.xml|")));
    EXPECT_TRUE(shown.last().startsWith(QStringLiteral("1&0 f2.xml|")));
}

} // namespace
