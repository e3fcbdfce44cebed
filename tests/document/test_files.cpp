// New, Open, Save, Save As and the save question, through the real window.

#include "document/documentrules.h"
#include "document/webfile.h"
#include "support/mainwindowfixture.h"

#include <optional>

using FD = FileDialogKind;

namespace {
const QByteArray kSmall = "<?xml version=\"1.0\"?>\n<!--c-->\n<a x=\"1\"><b>t</b></a>\n";
const QString kBackup = QStringLiteral("This file is a backup file. Please choose another file.");
} // namespace

TEST_F(MainWindowTest, StartsOnANewUnchangedDocumentInTheTreeView) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_TRUE(window->m_strFileName.isEmpty());
    EXPECT_TRUE(window->Button(window->ToolbarView, QStringLiteral("TreeView"))->isChecked());
    EXPECT_TRUE(window->Command(QStringLiteral("mnuTreeView"))->isChecked());
    EXPECT_FALSE(window->m_wndTree->isHidden());
    EXPECT_TRUE(window->m_txtXML->isHidden());
    EXPECT_TRUE(ui.shown().empty());
}

TEST_F(MainWindowTest, NewOnAnUnchangedDocumentAsksNothing) {
    trigger("mnuNewDoc");
    EXPECT_EQ(window->m_objDocument.xml(), QStringLiteral("<Root/>\n"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - Unknown"));
    EXPECT_FALSE(window->HasUnsavedChanges());
}

// New on a changed, unnamed document, on every answer to the save question.
TEST_F(MainWindowTest, SaveQuestionOnNewOnEveryAnswer) {
    struct Case {
        MsgResult answer;
        const char* saveAs; // nullptr: no dialog; "": dismissed
        bool goesOn;
    };
    for (const Case& c :
         {Case{MsgResult::Cancel, nullptr, false}, Case{MsgResult::No, nullptr, true},
          Case{MsgResult::Yes, "kept.xml", true}, Case{MsgResult::Yes, "", false}}) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        start();
        changeDocument();
        const QString before = window->m_objDocument.xml();
        expectSaveQuestion(QStringLiteral("Unknown"), c.answer);
        const QString target =
            c.saveAs && *c.saveAs ? dir.filePath(QString::fromLatin1(c.saveAs)) : QString();
        if (c.saveAs)
            ui.expectFileDialog(FD::Save, target);
        trigger("mnuNewDoc");
        EXPECT_EQ(window->m_objDocument.xml(), c.goesOn ? QStringLiteral("<Root/>\n") : before);
        EXPECT_EQ(window->HasUnsavedChanges(), !c.goesOn);
        EXPECT_TRUE(window->m_strFileName.isEmpty());
        EXPECT_TRUE(target.isEmpty() || readFile(target).contains("<!--edit-->"));
        window->markSaved();
    }
}

TEST_F(MainWindowTest, OpenLoadsTheChosenFile) {
    const QString path = writeFile(QStringLiteral("a.xml"), kSmall);
    ui.expectFileDialog(FD::Open, QStringLiteral("  ") + path + QStringLiteral(" "));
    trigger("mnuOpen");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - a.xml"));
    EXPECT_EQ(window->m_strFileName, path);
    EXPECT_EQ(labels(), (QStringList{"xml version=\"1.0\"", "c", "a"}));
    EXPECT_FALSE(window->HasUnsavedChanges());
    ASSERT_EQ(ui.fileDialogs().size(), 1u);
    EXPECT_EQ(ui.fileDialogs()[0].filter,
              QStringLiteral("XML files (*.xml)|*.xml|Text files (*.txt)|*.txt"));
    // The web view's file holds the same document.
    XmlDocument web = XmlDocument::create();
    ASSERT_TRUE(web.load(window->WebFilePath()));
    EXPECT_EQ(web.xml(), window->m_objDocument.xml());
    EXPECT_EQ(window->m_WebBrowser->LocationPath(), window->WebFilePath());
    // Another program shows its own document in a file of its own; a window's goes with it.
    auto other = std::make_unique<frmMain>();
    EXPECT_NE(other->WebFilePath(), window->WebFilePath());
    EXPECT_TRUE(web.load(window->WebFilePath()));
    const QString shown = other->WebFilePath();
    other.reset();
    EXPECT_FALSE(QFileInfo::exists(shown));
}

// A large file's copy for the web view is made on a worker; the web view shows it whole, and a
// refresh that writes the file anew waits for it first.
TEST_F(MainWindowTest, TheWebViewGetsALargeFileWholeAfterOpen) {
    QByteArray large = "<?xml version=\"1.0\"?>\n<r>\n";
    while (large.size() < (9 << 20))
        large += "  <e a=\"1\">some text of a record, repeated to make a large file</e>\n";
    large += "</r>\n";
    const QString path = writeFile(QStringLiteral("large.xml"), large);
    window->DropFiles({path});
    trigger("mnuWebView");
    EXPECT_EQ(readFile(window->WebFilePath()), large);
    EXPECT_EQ(window->m_WebBrowser->LocationPath(), window->WebFilePath());

    trigger("mnuTreeView");
    window->DropFiles({path});
    changeDocument();
    trigger("mnuRefresh");
    EXPECT_TRUE(readFile(window->WebFilePath()).contains("<!--edit-->"));
}

TEST_F(MainWindowTest, OpenButtonAsksTheSaveQuestionFirstLikeTheMenu) {
    changeDocument();
    expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::Cancel);
    click(window->Toolbar1, "Open");
    EXPECT_TRUE(ui.fileDialogs().empty());
}

TEST_F(MainWindowTest, DismissedOpenDialogChangesNothing) {
    ui.expectFileDialog(FD::Open, QString());
    trigger("mnuOpen");
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_TRUE(ui.shown().empty());
}

TEST_F(MainWindowTest, TheWebViewsFileIsRefusedInOpenAndSaveAs) {
    for (const QString& name :
         {QStringLiteral("TempXMLFile.xml"), dir.filePath(QStringLiteral("TempXMLFile.xml"))}) {
        ui.expectFileDialog(FD::Open, name);
        ui.expectMessage(kBackup, MsgButtons::OKOnly, MsgIcon::Information);
        trigger("mnuOpen");
        ui.expectFileDialog(FD::Save, name);
        ui.expectMessage(kBackup, MsgButtons::OKOnly, MsgIcon::Information);
        trigger("mnuSaveAs");
    }
    EXPECT_TRUE(window->m_strFileName.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("TempXMLFile.xml"))));
}

TEST_F(MainWindowTest, AFileThatDoesNotLoadShowsTheNewDocumentUnderItsName) {
    const QByteArray bad = "<a><b></a>";
    const QString path = writeFile(QStringLiteral("bad.xml"), bad);
    ui.expectFileDialog(FD::Open, path);
    ui.expectMessage(QStringLiteral("XML is not valid."), MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuOpen");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - bad.xml"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    EXPECT_FALSE(window->HasUnsavedChanges());

    // Save must not put <Root/> in place of the unreadable file: it asks for a name instead.
    ui.expectFileDialog(FD::Save, QString());
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), bad);
}

TEST_F(MainWindowTest, SaveOfAnUnnamedDocumentAsksForANameAndNamesTheWindow) {
    const QString target = dir.filePath(QStringLiteral("new.xml"));
    ui.expectFileDialog(FD::Save, target);
    trigger("mnuSave");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - new.xml"));
    EXPECT_EQ(readFile(target), QByteArray("<Root/>\n"));
}

TEST_F(MainWindowTest, AFailedSaveLeavesTheOldFileByteForByte) {
    const QString path =
        openFile(QStringLiteral("keep.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<k/>\n");
    const QByteArray before = readFile(path);
    // An encoding the writer does not know makes the save fail after it has started.
    window->m_objDocument.firstChild().setText(
        QStringLiteral("version=\"1.0\" encoding=\"x-no-such-enc\""));
    window->MarkChanged();
    ui.expectMessage(QStringLiteral("Action cannot be completed"), MsgButtons::OKOnly,
                     MsgIcon::Critical);
    ui.expectMessage(QStringLiteral("The encoding \"x-no-such-enc\" is not supported."),
                     MsgButtons::OKOnly, MsgIcon::Critical);
    trigger("mnuSave");
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(window->HasUnsavedChanges());
}

TEST_F(MainWindowTest, DroppingFilesOpensOnlyTheFirstAfterTheSaveQuestion) {
    const QString first = writeFile(QStringLiteral("first.xml"), "<first/>");
    const QString second = writeFile(QStringLiteral("second.xml"), "<second/>");
    const QString third = writeFile(QStringLiteral("third.xml"), "<third/>");
    changeDocument();
    expectSaveQuestion(QStringLiteral("Unknown"), MsgResult::No);
    emit window->m_wndTree->FilesDropped({first, second, third});
    EXPECT_EQ(labels(), QStringList{QStringLiteral("first")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Orvel XML Editor - first.xml"));

    // A dropped name is taken as it is: no dialog, no backup-file test.
    const QString temp = writeFile(QStringLiteral("TempXMLFile.xml"), "<temp/>");
    emit window->m_txtXML->filesDropped({temp});
    EXPECT_EQ(labels(), QStringList{QStringLiteral("temp")});
    EXPECT_TRUE(ui.fileDialogs().empty());
}

TEST_F(MainWindowTest, HandleErrorWithNothingPendingShowsNothing) {
    window->HandleError();
    EXPECT_TRUE(ui.shown().empty());
}

TEST(DocumentRulesTest, CaptionShowsTheLastPartOfTheName) {
    using DocumentRules::CaptionFor;
    EXPECT_EQ(CaptionFor(QStringLiteral("C:\\dir\\c.xml")),
              QStringLiteral("Orvel XML Editor - c.xml"));
    EXPECT_EQ(CaptionFor(QStringLiteral("/home/u/c.xml")),
              QStringLiteral("Orvel XML Editor - c.xml"));
    EXPECT_EQ(CaptionFor(QStringLiteral("plain.xml")),
              QStringLiteral("Orvel XML Editor - plain.xml"));
    EXPECT_EQ(CaptionFor(QString()), QStringLiteral("Orvel XML Editor - Unknown"));
}

// Each window shows a web file of its own, in a folder no one else may enter, gone with it.
TEST(WebFileTest, EachWindowHasItsOwnFileGoneWithIt) {
    QTemporaryDir base;
    std::optional<WebFile> first(std::in_place, QStringList{base.path()});
    const WebFile second(QStringList{QStringLiteral("/dev/null/cannot"), base.path()});
    EXPECT_NE(first->path(), second.path());
    for (const QString& path : {first->path(), second.path()}) {
        EXPECT_TRUE(path.startsWith(base.path() + QLatin1Char('/'))) << path.toStdString();
        EXPECT_TRUE(path.endsWith(QStringLiteral("/TempXMLFile.xml")));
        EXPECT_EQ(QFileInfo(QFileInfo(path).path()).permissions() &
                      (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                  QFileDevice::Permissions());
    }
    const QString folder = QFileInfo(first->path()).path();
    QFile(first->path()).open(QIODevice::WriteOnly);
    std::shared_ptr<const void> writer = first->hold();
    first.reset();
    EXPECT_TRUE(QFileInfo::exists(folder)) << "kept while something still writes into it";
    writer.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(DocumentRulesTest, CommandLinePathLosesOnlyOnePairOfEnclosingQuotes) {
    using DocumentRules::CommandLinePath;
    EXPECT_EQ(CommandLinePath(QStringLiteral("\"/tmp/a.xml\"")), QStringLiteral("/tmp/a.xml"));
    EXPECT_EQ(CommandLinePath(QStringLiteral("/tmp/a.xml")), QStringLiteral("/tmp/a.xml"));
    EXPECT_EQ(CommandLinePath(QStringLiteral("\"/tmp/a.xml")), QStringLiteral("\"/tmp/a.xml"));
    EXPECT_EQ(CommandLinePath(QStringLiteral("\"")), QStringLiteral("\""));
}
