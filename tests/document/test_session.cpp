// The document's rules on a session without a window; what the window would ask is checked as the
// text the session answers.

#include "document/documentrules.h"
#include "document/documentsession.h"
#include "document/preparedtext.h"
#include "platform/errors.h"
#include "platform/work/memoryroom.h"
#include "platform/xml/xmlbackgroundwriter.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlhistory.h"
#include "support/qtprinting.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void setModified(const QString& path, qint64 seconds) {
    const struct timeval times[2] = {{static_cast<time_t>(seconds), 0},
                                     {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

QByteArray records(int count, const QByteArray& declaration = {}) {
    QByteArray text = declaration + "<big>";
    for (int i = 0; i < count; ++i)
        text += "<record>text</record>";
    return text + "</big>";
}

class SessionTest : public testing::Test {
protected:
    SessionTest() : session(dir.filePath(QStringLiteral("recovery"))) {
        // Long work is waited for here; which work went aside is noted by its caption.
        session.SetWaiter([this](const QString& caption, qint64, bool, AsideWork& job) {
            captions << caption;
            if (stopWaits) {
                job.RequestStop();
                return false;
            }
            job.Wait();
            return true;
        });
        session.SetTextView({[this] { return typing; },
                             [] { return QByteArray("<typed/>"); },
                             {},
                             [] { return false; }});
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return file.fileName();
    }
    // A file opened as the window opens one: the Document is its file.
    QString open(const QString& name, const QByteArray& bytes) {
        const QString path = writeFile(name, bytes);
        EXPECT_EQ(session.Load(path), DocumentSession::LoadResult::Loaded);
        session.markSaved();
        return path;
    }
    // One command's change, as the window makes it: in an undo step, then the command ends.
    void edit(const QString& comment = QStringLiteral("edit")) {
        session.InUndoStep(QStringLiteral("Insert Comment"), [&] {
            XmlDocument& document = session.Document();
            document.documentElement().appendChild(document.createComment(comment));
        });
        session.CommandEnded();
    }
    QString xml() { return session.Document().xml(); }
    QString undoCaption() { return session.Document().history().undoCaption(); }

    QTemporaryDir dir;
    DocumentSession session;
    QStringList captions;
    bool stopWaits = false;
    bool typing = false;
};

} // namespace

TEST_F(SessionTest, LoadNamesTheDocumentOrLeavesEverythingAsItWas) {
    const struct Row {
        const char* name;
        QByteArray bytes;
        bool stop;
        DocumentSession::LoadResult result;
    } rows[] = {
        {"well-formed", "<a><b/></a>", false, DocumentSession::LoadResult::Loaded},
        {"not well-formed: its text instead", "<a><b></a>", false,
         DocumentSession::LoadResult::NotXml},
        {"stopped: as if never asked for", "<c/>", true, DocumentSession::LoadResult::Stopped},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString before = open(QStringLiteral("before.xml"), "<before/>");
        const XmlDocument document = session.Document();
        QSignalSpy named(&session, &DocumentSession::fileNameChanged);
        const QString path = writeFile(QStringLiteral("file.xml"), row.bytes);
        stopWaits = row.stop;
        EXPECT_EQ(session.Load(path), row.result);
        stopWaits = false;
        const bool stopped = row.result == DocumentSession::LoadResult::Stopped;
        EXPECT_EQ(session.m_strFileName, stopped ? before : path);
        EXPECT_EQ(named.count(), stopped ? 0 : 1);
        EXPECT_FALSE(session.SaveNeedsName());
        if (stopped) {
            EXPECT_EQ(xml(), QStringLiteral("<before/>"));
        } else if (row.result == DocumentSession::LoadResult::Loaded) {
            EXPECT_EQ(xml(), QStringLiteral("<a><b/></a>")) << "the file's text as it is";
        }
        if (row.result == DocumentSession::LoadResult::NotXml) {
            EXPECT_TRUE(session.m_objDocument.isNull());
            EXPECT_EQ(session.GetTextFromXML(), QString::fromLatin1(row.bytes));
        } else {
            EXPECT_TRUE(session.Document() == document) << "the same Document, loaded anew";
        }
    }
    EXPECT_EQ(captions.first(), QStringLiteral("Opening before.xml"));
}

namespace {
// Where libxml2 alone, reading the file, stops: the first fatal error it reports.
XmlParseError firstErrorOfXmlRead(const QString& path) {
    XmlParseError first;
    xmlSetStructuredErrorFunc(&first, [](void* data, xmlErrorPtr error) {
        auto* first = static_cast<XmlParseError*>(data);
        if (error->level == XML_ERR_FATAL && first->line == 0)
            *first = {QString::fromUtf8(error->message).trimmed(), {}, error->line, error->int2};
    });
    const xmlExternalEntityLoader editors = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlFreeDoc(xmlReadFile(QFile::encodeName(path).constData(), nullptr, XML_PARSE_NONET));
    xmlSetExternalEntityLoader(editors);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    return first;
}

QByteArray utf16le(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}
} // namespace

// A file that does not parse stands as its text, decoded as the file says, with libxml2's first
// error; saved, the text gives the file's very bytes back, and the file stays the session's own.
// Bytes that cannot be decoded make the text read-only: only another file may take it.
TEST_F(SessionTest, AFileThatDoesNotParseStandsAsItsTextAndSavesAsItStands) {
    const struct Row {
        const char* name;
        QByteArray bytes;
        QString text;
        const char* encoding;
        bool undecodable;
    } rows[] = {
        {"mismatched tag", "<a>\n  <b>text</c>\n</a>\n", "<a>\n  <b>text</c>\n</a>\n", "UTF-8",
         false},
        {"unclosed element, CR LF", "<a>\r\n  <b/>\r\n", "<a>\r\n  <b/>\r\n", "UTF-8", false},
        {"undefined entity", "<a>&nope;</a>", "<a>&nope;</a>", "UTF-8", false},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"bogus\"?>\n<a/>\n",
         "<?xml version=\"1.0\" encoding=\"bogus\"?>\n<a/>\n", "UTF-8", false},
        {"Latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?>\n<a>caf\xe9</b>",
         QString::fromUtf8("<?xml version='1.0' encoding='ISO-8859-1'?>\n<a>caf\xc3\xa9</b>"),
         "ISO-8859-1", false},
        {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><a>\x80</b>",
         QString::fromUtf8("<?xml version='1.0' encoding='windows-1252'?><a>\xe2\x82\xac</b>"),
         "windows-1252", false},
        {"UTF-16 with its mark",
         "\xFF\xFE" + utf16le(QString::fromUtf8("<a>\xc3\xa9\xe2\x82\xac</b>\r\n")),
         QString::fromUtf8("<a>\xc3\xa9\xe2\x82\xac</b>\r\n"), "UTF-16LE", false},
        {"UTF-8 with its mark", "\xEF\xBB\xBF<a>\r\n</b>", "<a>\r\n</b>", "UTF-8", false},
        {"empty", "", "", "UTF-8", false},
        {"only a byte order mark", "\xEF\xBB\xBF", "", "UTF-8", false},
        {"invalid UTF-8", "<a>\xff\xfe bad</a>", QString::fromUtf8("<a>\xef\xbf\xbd\xef\xbf\xbd bad</a>"),
         "UTF-8", true},
        {"not text", QByteArray("\x7f" "ELF\x02\x01\x00\x00<", 9),
         QString::fromUtf8("\x7f" "ELF\x02\x01\xef\xbf\xbd\xef\xbf\xbd<"), "UTF-8", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        open(QStringLiteral("before.xml"), "<before/>");
        const QString path = writeFile(QStringLiteral("broken.xml"), row.bytes);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        ASSERT_EQ(session.Load(path), DocumentSession::LoadResult::NotXml);
        session.markSaved();
        EXPECT_TRUE(session.m_objDocument.isNull());
        EXPECT_EQ(session.m_strFileName, path);
        EXPECT_EQ(session.GetTextFromXML(), row.text);
        const XmlParseError oracle = firstErrorOfXmlRead(path);
        EXPECT_EQ(session.TextError().reason, oracle.reason);
        EXPECT_EQ(session.TextError().line, oracle.line);
        EXPECT_EQ(session.TextError().linepos, oracle.linepos);
        EXPECT_FALSE(session.HasUnsavedChanges());
        EXPECT_EQ(session.TextIsReadOnly(), row.undecodable);
        EXPECT_EQ(session.SaveNeedsName(), row.undecodable);
        const QString other = dir.filePath(QStringLiteral("other.xml"));
        EXPECT_TRUE(session.SaveAsRefusal(other).isEmpty());
        if (row.undecodable) {
            EXPECT_EQ(session.UndecodableNote(),
                      QStringLiteral("The file %1 contains bytes that are not valid %2; it is "
                                     "shown read-only so that saving cannot change them.")
                          .arg(path, QString::fromLatin1(row.encoding)));
            EXPECT_EQ(session.SaveAsRefusal(path),
                      QStringLiteral("The file %1 is shown read-only: save the text under "
                                     "another name.")
                          .arg(path));
            ASSERT_TRUE(session.SaveText(other, row.text.toUtf8()));
            EXPECT_EQ(readFile(other), row.text.toUtf8()) << "what the user saw, as UTF-8";
            EXPECT_EQ(readFile(path), row.bytes);
            EXPECT_FALSE(session.TextIsReadOnly());
            EXPECT_EQ(session.m_strFileName, other);
            QFile::remove(other);
            continue;
        }
        EXPECT_TRUE(session.UndecodableNote().isEmpty());
        EXPECT_TRUE(session.SaveAsRefusal(path).isEmpty());
        // The typed text is written in the file's encoding, with its mark, and nothing else.
        const QString typed = row.text + QString::fromUtf8("<!-- \xc3\xa9 -->");
        ASSERT_TRUE(session.SaveText(path, typed.toUtf8()));
        EXPECT_EQ(readFile(path), row.bytes + (QByteArray(row.encoding) == "UTF-16LE"
                                                   ? utf16le(QString::fromUtf8("<!-- \xc3\xa9 -->"))
                                                   : QByteArray(row.encoding) == "UTF-8"
                                                   ? QByteArray("<!-- \xc3\xa9 -->")
                                                   : QByteArray("<!-- \xe9 -->")));
        EXPECT_EQ(modeOf(path), 0640u);
        EXPECT_FALSE(session.HasUnsavedChanges());
        EXPECT_FALSE(session.ReloadQuestion()) << "the session's own write";
        // As text, already decoded, the encoding a declaration names makes no difference.
        EXPECT_EQ(session.TextError().line,
                  qstrcmp(row.name, "unknown encoding") == 0 ? 0 : oracle.line)
            << "the saved text's error";
        ASSERT_TRUE(session.SaveText(path, row.text.toUtf8()));
        EXPECT_EQ(readFile(path), row.bytes) << "the file's bytes again";
    }

    // A character the file's encoding does not have is refused, and the file kept.
    const QByteArray latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><a>";
    const QString path = writeFile(QStringLiteral("latin.xml"), latin1);
    ASSERT_EQ(session.Load(path), DocumentSession::LoadResult::NotXml);
    try {
        session.SaveText(path, QString::fromUtf8("<a>\xe2\x82\xac").toUtf8());
        ADD_FAILURE() << "no refusal";
    } catch (const XmlError& e) {
        EXPECT_EQ(e.description(), QStringLiteral("The text cannot be written in ISO-8859-1: it "
                                                  "holds characters that ISO-8859-1 cannot "
                                                  "represent."));
    }
    EXPECT_EQ(readFile(path), latin1);

    // Repaired and applied, the text is the Document, under the file's name and with no history;
    // it is unsaved unless the repaired text was saved first.
    const QByteArray repaired = "<a>\n  <b>text</b>\n</a>\n";
    for (const bool typed : {true, false}) {
        SCOPED_TRACE(typed);
        const QString fixedPath = writeFile(QStringLiteral("fix.xml"), "<a>\n  <b>text</c>\n</a>\n");
        ASSERT_EQ(session.Load(fixedPath), DocumentSession::LoadResult::NotXml);
        if (!typed) {
            ASSERT_TRUE(session.SaveText(fixedPath, repaired));
        }
        typing = typed;
        ASSERT_TRUE(session.ApplyText(repaired, QStringLiteral("Apply Text")));
        typing = false;
        EXPECT_EQ(session.m_strFileName, fixedPath);
        EXPECT_FALSE(session.Document().history().canUndo());
        EXPECT_TRUE(session.TextError().reason.isEmpty());
        EXPECT_EQ(session.HasUnsavedChanges(), typed);
    }
}

// Only a write that succeeded makes the file the document's and marks it saved; a file keeps its
// mode, owner and group; another program's changes and a read-only file are asked about first.
TEST_F(SessionTest, SaveWritesOnlyWhatItMaySaysWhatToAskAndKeepsTheFilesMode) {
    EXPECT_TRUE(session.SaveNeedsName()) << "a new document";
    const QString path = open(QStringLiteral("mine.xml"), "<mine/>");
    edit();
    EXPECT_THROW(session.Save(dir.filePath(QStringLiteral("no-such-folder/x.xml"))), XmlError);
    EXPECT_EQ(session.m_strFileName, path);
    EXPECT_TRUE(session.HasUnsavedChanges());
    // A write that fails once it started leaves the old file byte for byte.
    XmlDocument& document = session.Document();
    document.insertBefore(
        document.createProcessingInstruction(
            QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"x-no-such-enc\"")),
        document.firstChild());
    EXPECT_ANY_THROW(session.Save(path));
    EXPECT_EQ(readFile(path), QByteArray("<mine/>"));
    document.removeChild(document.firstChild());

    ASSERT_TRUE(
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    EXPECT_TRUE(session.OverwriteQuestions(path).isEmpty());
    ASSERT_TRUE(session.Save(path));
    EXPECT_TRUE(readFile(path).contains("<!--edit-->"));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_FALSE(session.HasUnsavedChanges());
    EXPECT_EQ(captions.last(), QStringLiteral("Saving mine.xml"));

    const QString changed = QStringLiteral("The file %1 has been changed by another program. Do "
                                           "you want to overwrite it?")
                                .arg(path);
    const QString readOnly =
        QStringLiteral("The file %1 is read-only. Do you want to overwrite it?").arg(path);
    // Written by another program; then replaced by one of the same size and time, which only its
    // content tells apart; then made read-only as well.
    writeFile(QStringLiteral("mine.xml"), "<theirs/>");
    EXPECT_EQ(session.OverwriteQuestions(path), QStringList{changed});
    ASSERT_TRUE(session.Save(path));
    EXPECT_TRUE(session.OverwriteQuestions(path).isEmpty()) << "its own save is no change";
    setModified(path, 1700000000);
    ASSERT_EQ(session.Load(path), DocumentSession::LoadResult::Loaded);
    const QByteArray same = readFile(path).replace("edit", "EDIT");
    const QString sibling = writeFile(QStringLiteral("sibling.xml"), same);
    setModified(sibling, 1700000000);
    ASSERT_EQ(::rename(QFile::encodeName(sibling).constData(), QFile::encodeName(path).constData()),
              0);
    EXPECT_EQ(session.OverwriteQuestions(path), QStringList{changed});
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    EXPECT_EQ(session.OverwriteQuestions(path), (QStringList{changed, readOnly}));

    // Save As: the new file becomes the document's name.
    QSignalSpy named(&session, &DocumentSession::fileNameChanged);
    const QString target = dir.filePath(QStringLiteral("new.xml"));
    EXPECT_EQ(session.OverwriteQuestions(target), QStringList());
    ASSERT_TRUE(session.Save(target));
    EXPECT_EQ(session.m_strFileName, target);
    EXPECT_EQ(named.count(), 1);
    EXPECT_EQ(session.SaveQuestion(),
              QStringLiteral("Do you want to save the changes you made to %1?").arg(target));
}

// Unsaved changes are the history away from the position saved, typing not applied, or a mark
// made on purpose, which counts at the history's position it was made at.
// A file is saved over its own text: unchanged, its bytes; after an edit, only the edit differs,
// also after a save of the unchanged file. A file changed on disk before the first edit leaves no
// text to write over: the editor's layout, and a note that says why.
TEST_F(SessionTest, SaveKeepsTheFilesLayoutOrSaysWhyNot) {
    const QByteArray text = "<?xml version='1.0'?>\r\n<a  x='1'>\r\n\t<b/>\r\n</a>";
    const QString path = open(QStringLiteral("kept.xml"), text);
    ASSERT_TRUE(session.Save(path));
    EXPECT_EQ(readFile(path), text);
    EXPECT_EQ(session.SaveLayoutNote(), QString());
    edit(QStringLiteral("new"));
    ASSERT_TRUE(session.Save(path));
    EXPECT_EQ(readFile(path),
              QByteArray("<?xml version='1.0'?>\r\n<a  x='1'>\r\n\t<b/>\r\n\t<!--new-->\r\n</a>"));
    EXPECT_EQ(session.SaveLayoutNote(), QString());

    const QString changed = open(QStringLiteral("changed.xml"), text);
    QThread::msleep(20); // a later time on disk
    writeFile(QStringLiteral("changed.xml"), "<other  y='2'/>");
    edit(QStringLiteral("new"));
    ASSERT_TRUE(session.Save(changed));
    EXPECT_EQ(readFile(changed),
              QByteArray("<?xml version='1.0'?>\n<a x=\"1\">\n  <b/>\n  <!--new-->\n</a>\n"));
    EXPECT_EQ(session.SaveLayoutNote(),
              QStringLiteral("Saved in the editor's layout: the file had changed on disk since it "
                             "was opened."));
}

TEST_F(SessionTest, UnsavedChangesFollowTheHistoryTheTypingAndTheMarks) {
    QSignalSpy modified(&session, &DocumentSession::modifiedChanged);
    open(QStringLiteral("a.xml"), "<a/>");
    EXPECT_FALSE(session.HasUnsavedChanges());
    edit();
    EXPECT_TRUE(session.HasUnsavedChanges());
    ASSERT_TRUE(session.UndoOrRedo(true));
    session.CommandEnded();
    EXPECT_FALSE(session.HasUnsavedChanges()) << "undone back to the file's state";
    ASSERT_TRUE(session.UndoOrRedo(false));
    session.MarkChanged(); // a cancelled update after the step
    session.CommandEnded();
    EXPECT_TRUE(session.HasUnsavedChanges());
    ASSERT_TRUE(session.UndoOrRedo(true));
    session.CommandEnded();
    EXPECT_FALSE(session.HasUnsavedChanges()) << "the mark belongs to the position it was made at";
    ASSERT_TRUE(session.UndoOrRedo(false));
    session.CommandEnded();
    EXPECT_TRUE(session.HasUnsavedChanges());
    session.markSaved();
    EXPECT_FALSE(session.HasUnsavedChanges());
    session.MarkChanged(); // an update started right after the save, and then a step
    session.CommandEnded();
    EXPECT_TRUE(session.HasUnsavedChanges());
    edit();
    ASSERT_TRUE(session.UndoOrRedo(true));
    session.CommandEnded();
    EXPECT_FALSE(session.HasUnsavedChanges()) << "undone back to the saved position";
    typing = true;
    EXPECT_TRUE(session.HasUnsavedChanges()) << "typing not applied yet";
    typing = false;
    EXPECT_GE(modified.count(), 4);
    EXPECT_EQ(modified.last().at(0).toBool(), false);
}

// Text becomes a new Document in an undo step that brings the old one back; text that does not
// parse stands instead of a Document, and the next Apply's step brings back the one before it.
TEST_F(SessionTest, ApplyTextReplacesTheDocumentInAStepOrKeepsTheTextForCorrection) {
    open(QStringLiteral("a.xml"), "<a/>");
    const XmlDocument first = session.Document();
    QSignalSpy replaced(&session, &DocumentSession::documentReplaced);
    QSignalSpy failed(&session, &DocumentSession::parseFailed);

    EXPECT_FALSE(session.ApplyText("<a>\n<b></a>", QStringLiteral("Apply Text")));
    EXPECT_TRUE(session.m_objDocument.isNull());
    EXPECT_EQ(session.m_strXMLText, QByteArray("<a>\n<b></a>"));
    EXPECT_EQ(session.GetTextFromXML(), QStringLiteral("<a>\n<b></a>"));
    ASSERT_EQ(failed.count(), 1);
    const auto error = failed.first().at(0).value<XmlParseError>();
    EXPECT_EQ(error.line, 2);
    EXPECT_THROW(session.Refresh(nullptr), MissingObjectError);

    ASSERT_TRUE(session.ApplyText("<c/>", QStringLiteral("Apply Text")));
    EXPECT_EQ(xml(), QStringLiteral("<c/>")) << "the text as typed";
    EXPECT_TRUE(session.m_strXMLText.isEmpty());
    EXPECT_EQ(undoCaption(), QStringLiteral("Apply Text"));
    EXPECT_EQ(replaced.count(), 1);

    const auto undone = session.UndoOrRedo(true);
    ASSERT_TRUE(undone && undone->replaced);
    EXPECT_TRUE(session.Document() == first) << "the very Document before the failed text";
    EXPECT_EQ(replaced.count(), 2);
    session.CommandEnded();
    EXPECT_FALSE(session.HasUnsavedChanges());
    ASSERT_TRUE(session.UndoOrRedo(false));
    EXPECT_EQ(xml(), QStringLiteral("<c/>"));

    // A long text is parsed aside, into the same Document a direct parse gives.
    const QByteArray big = records(450000);
    ASSERT_TRUE(session.ApplyText(big, QStringLiteral("Apply Text")));
    XmlDocument direct = XmlDocument::create();
    ASSERT_TRUE(direct.loadUtf8(big));
    EXPECT_EQ(xml().toUtf8(), big);
    EXPECT_EQ(session.Document().snapshot().xml(), direct.xml());
    EXPECT_EQ(captions.last(), QStringLiteral("Applying"));
}

// A Document too large to be held twice makes room: it is packed before the text is read, with
// the steps made on its nodes. A text that does not parse brings it back; Apply replaces it in a
// step that reads it back, still written over its file's text.
TEST_F(SessionTest, ADocumentTooLargeToHoldTwiceMakesRoomForTheText) {
    const QByteArray big = records(450000, "<?xml version='1.0'?>\r\n");
    const QString path = open(QStringLiteral("big.xml"), big);
    edit(QStringLiteral("before"));
    QByteArray edited = big;
    edited.insert(edited.size() - 6, "<!--before-->");
    MemoryRoom::SetForTests(qint64(1) << 30, qint64(12) << 30);
    const auto restore = qScopeGuard([] { MemoryRoom::SetForTests(-1, -1); });
    QSignalSpy failed(&session, &DocumentSession::parseFailed);

    EXPECT_FALSE(session.ApplyText(edited.chopped(3), QStringLiteral("Apply Text")));
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(session.m_objDocument.isNull());
    QByteArray typed = edited;
    typed.insert(typed.size() - 6, "<!--typed-->");
    ASSERT_TRUE(session.ApplyText(typed, QStringLiteral("Apply Text")));
    EXPECT_EQ(xml().toUtf8(), typed);
    EXPECT_EQ(undoCaption(), QStringLiteral("Apply Text"));

    // Undo makes room the same way: the Document shown is packed before the other is read back.
    captions.clear();
    QSignalSpy aboutToGo(&session, &DocumentSession::documentAboutToBeReplaced);
    const auto undone = session.UndoOrRedo(true);
    ASSERT_TRUE(undone && undone->replaced);
    session.CommandEnded();
    EXPECT_EQ(captions, QStringList(2, QStringLiteral("Undoing Apply Text")));
    EXPECT_EQ(aboutToGo.count(), 1);
    EXPECT_FALSE(session.Document().history().canUndo()) << "the edit's step went with its nodes";
    EXPECT_TRUE(session.HasUnsavedChanges());
    ASSERT_TRUE(session.Save(path));
    EXPECT_EQ(readFile(path), edited);
    ASSERT_TRUE(session.UndoOrRedo(false));
    EXPECT_EQ(xml().toUtf8(), typed);
    EXPECT_EQ(captions.last(), QStringLiteral("Redoing Apply Text"));
    ASSERT_TRUE(session.UndoOrRedo(true));
    EXPECT_EQ(xml().toUtf8(), edited);

    // Refresh makes room too, once the Document is written as text; the edit is still unsaved.
    edit(QStringLiteral("refreshed"));
    captions.clear();
    QByteArray reread;
    ASSERT_TRUE(session.Refresh(&reread));
    EXPECT_EQ(QString::fromUtf8(reread), xml());
    EXPECT_TRUE(xml().contains(QStringLiteral("<!--refreshed-->")));
    EXPECT_TRUE(session.HasUnsavedChanges());
    EXPECT_FALSE(session.Document().history().canUndo()) << "the steps went with the nodes";
    EXPECT_EQ(captions, QStringList(2, QStringLiteral("Refreshing")));

    // With room for both, the step made before Apply stays.
    MemoryRoom::SetForTests(qint64(64) << 30, qint64(1) << 30);
    open(QStringLiteral("big.xml"), big);
    edit(QStringLiteral("before"));
    ASSERT_TRUE(session.ApplyText(typed, QStringLiteral("Apply Text")));
    ASSERT_TRUE(session.UndoOrRedo(true));
    EXPECT_EQ(undoCaption(), QStringLiteral("Insert Comment"));
}

// The second document is as large per byte of text as the one held, which is what the program
// holds beyond its start.
TEST(DocumentRulesTest, ASecondDocumentFitsWhenItsShareOfTheMemoryHeldIsAvailable) {
    constexpr qint64 MB = qint64(1) << 20, GB = qint64(1) << 30;
    const struct Row {
        const char* name;
        qint64 text, held, resident, available;
        bool fits;
    } rows[] = {
        {"100 MB held in 1.8 GB, 20 GB free", 100 * MB, 100 * MB, 1800 * MB, 20 * GB, true},
        {"1 GB held in 17 GB, 6 GB free", 1 * GB, 1 * GB, 17 * GB, 6 * GB, false},
        {"a tenth of it", 100 * MB, 1 * GB, 17 * GB, 6 * GB, true},
        {"no size known for what is held: the text's", 1 * GB, 0, 17 * GB, 6 * GB, false},
        {"nothing known of the memory", 1 * GB, 1 * GB, -1, -1, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DocumentRules::FitsBeside(row.text, row.held, row.resident, row.available),
                  row.fits)
            << row.name;
}

// A refresh reads an edited Document again from its own text and hands that text on for the web
// view; an unchanged one, or one without an element, stays as it is with its history.
TEST_F(SessionTest, RefreshReadsAnEditedDocumentAgainOrKeepsIt) {
    const struct Row {
        const char* name;
        QByteArray text;
        bool aside;
    } rows[] = {
        {"small", records(1), false},
        {"large", records(450000), true},
        {"large, declared Latin-1",
         records(450000, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        open(QStringLiteral("big.xml"), row.text);
        QByteArray reread;
        EXPECT_FALSE(session.Refresh(&reread)) << "unchanged since it was parsed";
        const XmlDocument loaded = session.Document();
        session.InUndoStep(QStringLiteral("Insert Text"), [&] {
            XmlNode root = session.Document().documentElement();
            root.appendChild(session.Document().createTextNode(QStringLiteral("\u00e9a")));
            root.appendChild(session.Document().createTextNode(QStringLiteral("b")));
        });
        captions.clear();
        ASSERT_TRUE(session.Refresh(&reread));
        EXPECT_FALSE(session.Document() == loaded);
        EXPECT_EQ(session.Document().documentElement().lastChild().text(),
                  QStringLiteral("\u00e9ab"))
            << "two texts side by side are one once read from the text";
        EXPECT_EQ(QString::fromUtf8(reread), xml());
        EXPECT_EQ(captions, row.aside ? QStringList{QStringLiteral("Refreshing")} : QStringList());
        EXPECT_TRUE(session.HasUnsavedChanges());
        EXPECT_EQ(undoCaption(), QStringLiteral("Insert Text"));
    }

    open(QStringLiteral("doc.xml"), "<?xml version=\"1.0\"?>\n<root><a>important</a></root>");
    session.InUndoStep(QStringLiteral("Delete"), [&] {
        session.Document().removeChild(session.Document().documentElement());
    });
    const XmlDocument noElement = session.Document();
    EXPECT_FALSE(session.Refresh(nullptr));
    EXPECT_TRUE(session.Document() == noElement);
    ASSERT_TRUE(session.UndoOrRedo(true));
    EXPECT_EQ(session.Document().documentElement().text(), QStringLiteral("important"));
}

TEST_F(SessionTest, PasteXmlReplacesTheDocumentInAStepOrChangesNothing) {
    const QString path = open(QStringLiteral("a.xml"), "<a><b/></a>");
    const QString before = xml();
    QSignalSpy failed(&session, &DocumentSession::parseFailed);
    QByteArray utf8;
    for (const char* text : {"<a><b></a>", "not xml", "<a/><b/>", "<p:a/>"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(session.PasteXml(QString::fromLatin1(text), &utf8));
        EXPECT_EQ(xml(), before);
    }
    EXPECT_EQ(failed.count(), 4);
    EXPECT_FALSE(session.HasUnsavedChanges());

    ASSERT_TRUE(session.PasteXml(QStringLiteral("<pasted/>"), &utf8));
    session.CommandEnded();
    EXPECT_EQ(utf8, QByteArray("<pasted/>"));
    EXPECT_EQ(xml(), QStringLiteral("<pasted/>\n"));
    EXPECT_EQ(undoCaption(), QStringLiteral("Paste XML"));
    EXPECT_EQ(session.m_strFileName, path);
    EXPECT_TRUE(session.HasUnsavedChanges()) << "the pasted document is in no file yet";
    ASSERT_TRUE(session.UndoOrRedo(true));
    EXPECT_EQ(xml(), before);

    QString big = QStringLiteral("<r>");
    while (big.size() < (9 << 20))
        big += QStringLiteral("<e a=\"1\">pasted</e>");
    ASSERT_TRUE(session.PasteXml(big + QStringLiteral("</r>"), &utf8));
    EXPECT_EQ(captions.last(), QStringLiteral("Pasting"));
    EXPECT_TRUE(session.m_strXMLText.isEmpty()) << "no copy of the text is kept";
}

// Within one Document undo reports the containers it touched, for a view to build again, and the
// node to show; it changes nothing it was not asked to.
TEST_F(SessionTest, UndoWithinADocumentTellsWhatItTouched) {
    open(QStringLiteral("a.xml"), "<a><b/><c/></a>");
    XmlNode b = session.Document().documentElement().firstChild();
    session.InUndoStep(QStringLiteral("Move Down"), [&] {
        XmlNode a = session.Document().documentElement();
        a.removeChild(b);
        a.appendChild(b);
    });
    QSignalSpy replaced(&session, &DocumentSession::documentReplaced);
    const auto undone = session.UndoOrRedo(true);
    ASSERT_TRUE(undone);
    EXPECT_FALSE(undone->replaced);
    EXPECT_EQ(replaced.count(), 0);
    EXPECT_EQ(undone->touched, std::vector<XmlNode>{session.Document().documentElement()});
    EXPECT_EQ(undone->focus, b);
    EXPECT_EQ(xml(), QStringLiteral("<a><b/><c/></a>")) << "the file's bytes again";
    EXPECT_FALSE(session.UndoOrRedo(true)) << "nothing left to undo";
}

// A file another program changed is offered for reloading once per change, and never when that
// would drop changes made here.
TEST_F(SessionTest, AFileChangedElsewhereIsOfferedOncePerChange) {
    const QString path = open(QStringLiteral("watched.xml"), "<old/>");
    EXPECT_FALSE(session.ReloadQuestion());
    writeFile(QStringLiteral("watched.xml"), "<newer/>");
    const QString question = QStringLiteral("The file %1 has been changed by another program. Do "
                                            "you want to reload it?")
                                 .arg(path);
    EXPECT_EQ(session.ReloadQuestion(), question);
    session.ReloadAnswered(false);
    EXPECT_FALSE(session.ReloadQuestion()) << "declined for this change";
    writeFile(QStringLiteral("watched.xml"), "<newest/>");
    setModified(path, 1600000000);
    EXPECT_EQ(session.ReloadQuestion(), question);
    session.ReloadAnswered(true);
    EXPECT_EQ(session.DiskFilePath(), path);
    edit();
    writeFile(QStringLiteral("watched.xml"), "<again/>");
    EXPECT_FALSE(session.ReloadQuestion()) << "a save asks before it overwrites instead";
}

// Copies of unsaved work: the latest work, only its owner may read it, gone when given up; another
// program's copy is offered and taken over as unsaved work, as a Document or as typing.
TEST_F(SessionTest, RecoveryCopiesTheLatestWorkAndTakesAnotherProgramsOver) {
    Recovery& copies = session.RecoveryCopies();
    const QString folder = copies.directory();
    const auto ownCopy = [&] {
        copies.waitForCopy();
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files);
        return files.size() == 1 ? readFile(folder + QLatin1Char('/') + files.first())
                                 : QByteArray();
    };
    const QString path = open(QStringLiteral("work.xml"), "<work/>");
    session.WriteRecoveryCopy();
    EXPECT_TRUE(ownCopy().isEmpty()) << "nothing unsaved, nothing copied";
    edit();
    session.WriteRecoveryCopy();
    EXPECT_TRUE(ownCopy().contains("<!--edit-->"));
    EXPECT_EQ(modeOf(folder), 0700u);
    for (const QString& file : QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files))
        EXPECT_EQ(modeOf(folder + QLatin1Char('/') + file), 0600u);
    typing = true;
    session.NoteTyped();
    session.WriteRecoveryCopy();
    EXPECT_EQ(ownCopy(), QByteArray("<typed/>"));
    typing = false;
    session.DiscardChanges();
    EXPECT_TRUE(ownCopy().isEmpty());

    // Another program that ended without saving left a copy of a document and one of typing.
    for (const auto& [copy, file] : {std::pair{QByteArray("<report>unsaved</report>"), path},
                                     std::pair{QByteArray("<half>typed"), QString()}}) {
        SCOPED_TRACE(copy.constData());
        writeFile(QStringLiteral("recovery/99-1.xml"), copy);
        writeFile(QStringLiteral("recovery/99-1.info"),
                  QStringLiteral(R"({"file": "%1", "time": "2026-01-02T03:04:05.000Z"})")
                      .arg(file)
                      .toUtf8());
        const std::vector<RecoveryOrphan> orphans = session.RecoveryOrphans();
        ASSERT_EQ(orphans.size(), 1u);
        EXPECT_TRUE(DocumentSession::RecoveryQuestion(orphans[0])
                        .startsWith(QStringLiteral("Recover unsaved changes to %1 from ")
                                        .arg(file.isEmpty() ? QStringLiteral("Unknown") : file)));
        std::optional<QString> typed;
        ASSERT_TRUE(session.Recover(orphans[0], &typed));
        EXPECT_EQ(session.m_strFileName, file);
        if (typed) {
            EXPECT_EQ(*typed, QStringLiteral("<half>typed"));
        } else {
            EXPECT_EQ(xml(), QStringLiteral("<report>unsaved</report>\n"));
            EXPECT_TRUE(session.HasUnsavedChanges());
            edit();
            ASSERT_TRUE(session.UndoOrRedo(true));
            session.CommandEnded();
            EXPECT_TRUE(session.HasUnsavedChanges()) << "recovered work is in no file";
        }
        EXPECT_TRUE(ownCopy() == copy) << "the copy is now this program's own";
        session.markSaved();
    }
    const QString declined = writeFile(QStringLiteral("recovery/98-1.xml"), "<d/>");
    for (const RecoveryOrphan& orphan : session.RecoveryOrphans())
        DocumentSession::DeclineRecovery(orphan);
    EXPECT_FALSE(QFile::exists(declined));
}

// The web view's file is a copy of the file while the Document is what was loaded from it, else
// the Document's text.
TEST_F(SessionTest, TheWebFileIsTheLoadedFileOrTheDocument) {
    const QByteArray asWritten =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r  a='1'>\xe9</r>";
    open(QStringLiteral("latin.xml"), asWritten);
    session.WriteWebFile();
    EXPECT_EQ(readFile(session.WebFilePath()), asWritten);
    edit();
    session.WriteWebFile();
    XmlDocument web = XmlDocument::create();
    ASSERT_TRUE(web.load(session.WebFilePath()));
    EXPECT_EQ(web.xml(), xml());
    EXPECT_EQ(modeOf(session.WebFilePath()), 0600u);

    QByteArray large = "<r>\n";
    while (large.size() < (9 << 20))
        large += "  <e a=\"1\">some text of a record, repeated to make a large file</e>\n";
    large += "</r>\n";
    open(QStringLiteral("large.xml"), large);
    session.WriteWebFile();
    session.FinishWebFileCopy();
    EXPECT_EQ(readFile(session.WebFilePath()), large);
    // A large text applied is the file as it was typed (written aside, like the copy), until the
    // Document changes.
    QByteArray typed = large;
    typed.replace("a=\"1\"", "a='1'");
    ASSERT_TRUE(session.ApplyText(typed, QStringLiteral("Apply Text")));
    session.WriteWebFile();
    session.FinishWebFileCopy();
    EXPECT_TRUE(readFile(session.WebFilePath()) == typed);
    edit();
    session.WriteWebFile();
    ASSERT_TRUE(web.load(session.WebFilePath()));
    EXPECT_EQ(web.xml(), xml());

    DocumentSession other(dir.filePath(QStringLiteral("other")));
    EXPECT_NE(other.WebFilePath(), session.WebFilePath());
}

// ---- the text behind the views and the copies, written aside ----------------------------------

// Two readers at once (the view's text being prepared, a recovery copy written) while the Document
// changes: neither sees the change, and a copy reads back as the document or is not written.
TEST(WrittenAside, ReadersNeverSeeAChangeAndACopyIsNeverHalfMade) {
    QTemporaryDir dir;
    QString text = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!DOCTYPE big [<!ENTITY e \"ent\">]>\n"
        "<big xmlns:p=\"urn:a&amp;b\" a=\"q&quot;&lt;&#10;\u00e9\"><p:x>&e; tail\r</p:x>"
        "<![CDATA[one]]><![CDATA[two ]]]]><![CDATA[>]]>");
    for (int i = 0; i < 100000; ++i)
        text += QStringLiteral("<item n=\"%1\">text &amp; more</item>").arg(i);
    text += QStringLiteral("</big>");
    for (bool stoppable : {true, false}) {
        SCOPED_TRACE(stoppable);
        XmlDocument document = XmlDocument::create();
        ASSERT_TRUE(document.loadXML(text));
        const QString before = document.xml();
        const QString path = dir.filePath(QStringLiteral("copy-%1.xml").arg(stoppable));
        std::atomic<int> written{-1};
        XmlBackgroundWriter writer;
        writer.start(document, path, stoppable, [&](bool ok) { written = ok; });
        const std::shared_ptr<PreparedText> prepared = PreparedText::Start(document);
        document.documentElement().appendChild(document.createComment(QStringLiteral("after")));
        writer.wait();
        QByteArray preparedText;
        for (const QByteArray& piece : prepared->Take())
            preparedText += piece;
        EXPECT_EQ(QString::fromUtf8(preparedText), before) << "the text as it is saved";
        if (written == 1) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            XmlDocument copy = XmlDocument::create();
            ASSERT_TRUE(copy.loadXML(QString::fromUtf8(file.readAll())));
            EXPECT_EQ(copy.xml(), before);
        } else {
            EXPECT_TRUE(stoppable) << "a write that must not be stopped ends";
            EXPECT_FALSE(QFile::exists(path));
        }
    }
}
