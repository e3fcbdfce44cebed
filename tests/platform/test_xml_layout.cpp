// A document read from a file is written back over that file's text: unchanged, byte for byte;
// edited, with only the edited places changed.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlhistory.h"
#include "support/machinefiles.h"
#include "support/seed.h"
#include "support/xmlmeaning.h"
#include "support/xmltesting.h"

#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace xmltesting;

namespace {

// Files of many styles written here: the byte order marks, encodings, line ends, quotes and
// declarations that real files have.
struct OwnFile {
    const char* name;
    QByteArray bytes;
};

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding) {
    return QStringEncoder(encoding, QStringConverter::Flag::WriteBom).encode(text);
}

std::vector<OwnFile> ownFiles() {
    const QString declared16 = q("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<r a='caf\u00e9'>"
                                 "\r\n  <b>\u20ac &amp; \U0001D11E</b>\r\n</r>\r\n");
    return {
        {"crlf.xml",
         "<?xml version=\"1.0\"?>\r\n<r>\r\n\t<a x='1'  y=\"2\"/>\r\n\t<b></b>\r\n</r>"},
        {"bom.xml", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n  <a/>\n</r>\n"},
        {"utf16le.xml", utf16(declared16, QStringConverter::Utf16LE)},
        {"utf16be.xml", utf16(declared16, QStringConverter::Utf16BE)},
        {"latin1.xml", "<?xml version='1.0' encoding='ISO-8859-1'?>\n<r n=\"caf\xE9\">\n"
                       "    <t>na\xEFve &#233; &#x20AC;</t>\n</r>\n"},
        {"doctype.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n  <!ENTITY e \"ent\">\n"
                        "  <!ATTLIST r v CDATA \"d\">\n]>\n<r>&e; &lt;&#65;&gt;\n  <a/>\n</r>\n"},
        {"attributes_over_lines.xml", "<r>\n  <e\n     a=\"1\"\n     b='2'\n     c=\"3\"/>\n</r>"},
        {"comments_and_pis.xml", "<!-- head -->\n<?style x?>\n\n<r><!--in--><?p?>\n\n"
                                 "  <a>  text  </a><![CDATA[<raw>]]></r>\n<!-- tail -->"},
        {"empty_forms.xml", "<r><e></e><f/><g  /><h ></h ></r>"},
        {"mixed.xml", "<p>Some <b>bold</b> and <i>italic</i>\n text.</p>\n"},
        {"namespaces.xml", "<r xmlns=\"urn:d\" xmlns:x=\"urn:x\">\n  <x:a x:k=\"v\"/>\n"
                           "  <b xml:space=\"preserve\">  <c/>  </b>\n</r>\n"},
        {"tabs_no_final_break.xml", "<r>\n\t<a>\n\t\t<b/>\n\t</a>\n</r>"},
    };
}

struct Corpus {
    QTemporaryDir dir;
    QStringList files;
    Corpus() {
        for (const OwnFile& own : ownFiles()) {
            const QString path = dir.filePath(QString::fromLatin1(own.name));
            writeBytes(path, own.bytes);
            files << path;
        }
        files << machineFiles();
    }
};

const Corpus& corpus() {
    static const Corpus c;
    return c;
}

// What the document means, by libxml2 alone, as the editor's own layout writes it.
QString meaningOf(const XmlDocument& doc) {
    QTemporaryDir dir;
    const QString path = dir.filePath("laid-out.xml");
    doc.snapshot().save(path);
    return IndependentMeaning(readBytes(path), path);
}

QByteArray savedBytes(const XmlDocument& doc, const QString& path) {
    doc.save(path);
    return readBytes(path);
}

// The original's lines that are not in `now` in their order (a longest common subsequence).
int linesLost(const QByteArray& original, const QByteArray& now) {
    const QList<QByteArray> a = original.split('\n'), b = now.split('\n');
    std::vector<int> row(b.size() + 1, 0), previous(b.size() + 1, 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        for (qsizetype j = 1; j <= b.size(); ++j)
            row[j] = a[i - 1] == b[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], row[j - 1]);
        std::swap(row, previous);
    }
    return int(a.size()) - previous[b.size()];
}

XmlDocument loaded(const QString& path) {
    XmlDocument doc = XmlDocument::create();
    EXPECT_TRUE(doc.load(path)) << str(path) << ": " << str(doc.parseError().reason);
    return doc;
}

} // namespace

// Every file saves as the very bytes it was read from, and its text (the text view's) is its
// bytes decoded; an edit undone brings the bytes back.
TEST(XmlLayout, EveryFileSavesAsItWasRead) {
    const Corpus& files = corpus();
    ASSERT_GE(files.files.size(), 30) << "too few files for the corpus";
    QTemporaryDir out;
    const QString saved = out.filePath("saved.xml");
    for (const QString& path : files.files) {
        SCOPED_TRACE(str(path));
        const QByteArray original = readBytes(path);
        XmlDocument doc = loaded(path);
        EXPECT_EQ(savedBytes(doc, saved).toStdString(), original.toStdString());
        const QString text = doc.xml();
        if (!original.startsWith("\xFF\xFE") && !original.startsWith("\xFE\xFF") &&
            !original.contains("encoding='ISO")) {
            EXPECT_EQ(text.toUtf8(),
                      original.startsWith("\xEF\xBB\xBF") ? original.mid(3) : original);
        }

        XmlNode root = doc.documentElement();
        {
            XmlChangeStep step(doc, q("Edit"));
            root.setAttribute(q("orvel-test"), q("1"));
            root.insertBefore(doc.createComment(q("new")), root.firstChild());
            step.commit();
        }
        EXPECT_NE(savedBytes(doc, saved), original);
        doc.history().undo();
        EXPECT_EQ(savedBytes(doc, saved).toStdString(), original.toStdString()) << "undone";
    }
}

// Saving an unchanged document over its own file while a writer aside (the text view's) reads
// that file: the writer sees the file's layout each time, and the document keeps its source, so
// a later edit still changes only its place.
TEST(XmlLayout, ASaveOverTheFileKeepsItsSourceForAWriterAside) {
    QTemporaryDir dir;
    const QString path = dir.filePath("own.xml");
    const QByteArray original = "<r>\n\t<a  x='1'/>\n</r>\n";
    writeBytes(path, original);
    XmlDocument doc = loaded(path);
    std::atomic<bool> done{false};
    std::atomic<int> otherLayouts{0}, writes{0};
    std::thread aside([&] {
        while (!done.load()) {
            QByteArray text;
            doc.writeXml([&text](const char* data, int len) {
                text.append(data, len);
                return true;
            });
            if (text != original)
                ++otherLayouts;
            ++writes;
        }
    });
    for (int i = 0; i < 100; ++i)
        doc.save(path);
    done = true;
    aside.join();
    EXPECT_GT(writes.load(), 0);
    EXPECT_EQ(otherLayouts.load(), 0);
    EXPECT_FALSE(doc.lostItsSource());
    {
        XmlChangeStep step(doc, q("Edit"));
        doc.documentElement().setAttribute(q("y"), q("2"));
        step.commit();
    }
    EXPECT_EQ(savedBytes(doc, path), QByteArray("<r y=\"2\">\n\t<a  x='1'/>\n</r>\n"));
}

// Each kind of edit changes its own place and nothing else.
TEST(XmlLayout, EachEditChangesOnlyItsPlace) {
    const QByteArray source = "<?xml version=\"1.0\"?>\n"
                              "<!-- head -->\n"
                              "<r a='1'  b=\"two\">\n"
                              "    <item id=\"x\">text &amp; more</item>\n"
                              "    <item\n"
                              "        id=\"y\"\n"
                              "        kind='k'/>\n"
                              "    <empty></empty>\n"
                              "    <!-- note --><last/>\n"
                              "</r>\n";
    const struct Row {
        const char* name;
        std::function<void(XmlDocument&)> edit;
        const char* expected;
    } rows[] = {
        {"attribute value keeps its quotes",
         [](XmlDocument& d) { d.documentElement().setAttribute(q("a"), q("it's")); },
         "<r a='it&apos;s'  b=\"two\">\n"},
        {"an added attribute goes at the end",
         [](XmlDocument& d) { d.documentElement().setAttribute(q("c"), q("3 < 4")); },
         "<r a='1'  b=\"two\" c=\"3 &lt; 4\">\n"},
        {"an added attribute takes its own line where the others do",
         [](XmlDocument& d) {
             d.selectSingleNode(q("/r/item[2]")).setAttribute(q("more"), q("m"));
         },
         "    <item\n        id=\"y\"\n        kind='k'\n        more=\"m\"/>\n"},
        {"a removed attribute takes its blanks along",
         [](XmlDocument& d) { d.documentElement().removeAttribute(q("b")); }, "<r a='1'>\n"},
        {"a rename changes both tags",
         [](XmlDocument& d) { d.selectSingleNode(q("/r/item[1]")).rename(q("entry")); },
         "    <entry id=\"x\">text &amp; more</entry>\n"},
        {"changed text is written escaped",
         [](XmlDocument& d) { d.selectSingleNode(q("/r/item[1]/text()")).setText(q("a < b")); },
         "    <item id=\"x\">a &lt; b</item>\n"},
        {"a changed comment",
         [](XmlDocument& d) { d.selectSingleNode(q("/r/comment()")).setText(q(" changed ")); },
         "    <!-- changed --><last/>\n"},
        {"an inserted element takes its neighbours' line and indentation",
         [](XmlDocument& d) {
             XmlNode r = d.documentElement();
             r.insertBefore(d.createElement(q("new")), d.selectSingleNode(q("/r/empty")));
         },
         "        kind='k'/>\n    <new/>\n    <empty></empty>\n"},
        {"an appended element goes on a line before the end tag",
         [](XmlDocument& d) { d.documentElement().appendChild(d.createElement(q("end"))); },
         "    <!-- note --><last/>\n    <end/>\n</r>\n"},
        {"an element put into an empty one",
         [](XmlDocument& d) {
             d.selectSingleNode(q("/r/empty")).appendChild(d.createElement(q("in")));
         },
         "    <empty>\n        <in/>\n    </empty>\n"},
        {"a deleted element takes its line",
         [](XmlDocument& d) {
             XmlNode r = d.documentElement();
             r.removeChild(d.selectSingleNode(q("/r/item[2]")));
         },
         "more</item>\n    <empty></empty>\n"},
        {"a deleted node that shares its line leaves the line",
         [](XmlDocument& d) {
             XmlNode r = d.documentElement();
             r.removeChild(d.selectSingleNode(q("/r/comment()")));
         },
         "    <empty></empty>\n    <last/>\n</r>\n"},
        {"a move is a delete and an insert",
         [](XmlDocument& d) {
             XmlNode r = d.documentElement();
             r.insertBefore(d.selectSingleNode(q("/r/last")), d.selectSingleNode(q("/r/item[1]")));
         },
         "<r a='1'  b=\"two\">\n    <last/>\n    <item id=\"x\">"},
        {"a comment before the document element",
         [](XmlDocument& d) { d.insertBefore(d.createComment(q("c")), d.documentElement()); },
         "<!-- head -->\n<!--c-->\n<r a='1'"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("in.xml");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeBytes(path, source);
        XmlDocument doc = loaded(path);
        {
            XmlChangeStep step(doc, q("Edit"));
            row.edit(doc);
            step.commit();
        }
        const QByteArray saved = savedBytes(doc, path);
        EXPECT_TRUE(saved.contains(row.expected)) << saved.toStdString();
        EXPECT_EQ(str(IndependentMeaning(saved, path)), str(meaningOf(doc))) << saved.toStdString();
        EXPECT_LE(linesLost(source, saved), 3) << saved.toStdString();
        EXPECT_EQ(doc.xml().toStdString(), saved.toStdString()) << "the text shows what is saved";
        doc.history().undo();
        EXPECT_EQ(savedBytes(doc, path).toStdString(), source.toStdString()) << "undone";
    }
}

// A seeded walk of random edits over the corpus, each from the file as read: the saved text
// means what the document does, and the original lines outside the edited node all stay, in
// order. The walk then undoes everything and gets the file back.
TEST(XmlLayout, RandomEditsKeepEveryOtherLine) {
    const quint32 seed = testSeed(18);
    SCOPED_TRACE(seed);
    QRandomGenerator rng(seed);
    QTemporaryDir out;
    const QString saved = out.filePath("saved.xml");
    for (const QString& path : corpus().files) {
        SCOPED_TRACE(str(path));
        const QByteArray original = readBytes(path);
        XmlDocument doc = loaded(path);
        std::vector<XmlNode> nodes;
        for (const XmlNode& n : doc.selectNodes(q("//node()")))
            nodes.push_back(n);
        int steps = 0;
        for (int i = 0; i < 6 && !nodes.empty(); ++i) {
            XmlNode target = nodes[rng.bounded(quint32(nodes.size()))];
            const QByteArray before = savedBytes(doc, saved);
            const int choice = int(rng.bounded(6u));
            // The lines the edit may change: the node's own, and for a swap its neighbour's.
            int lines = target.xml().count(QLatin1Char('\n')) + 1;
            if (choice == 4 && !target.nextSibling().isNull())
                lines += target.nextSibling().xml().count(QLatin1Char('\n')) + 1;
            try {
                XmlChangeStep step(doc, q("Random"));
                XmlNode parent = target.parentNode();
                switch (choice) {
                case 0:
                    if (target.nodeType() == NODE_ELEMENT)
                        target.setAttribute(q("z"), q("v%1").arg(i));
                    else if (target.nodeType() != NODE_ENTITY_REFERENCE)
                        target.setText(q("changed %1").arg(i));
                    break;
                case 1:
                    if (target.nodeType() == NODE_ELEMENT)
                        target.rename(q("renamed"));
                    break;
                case 2:
                    if (!parent.isNull() && parent.nodeType() == NODE_ELEMENT)
                        parent.removeChild(target);
                    break;
                case 3:
                    if (!parent.isNull() && parent.nodeType() == NODE_ELEMENT)
                        parent.insertBefore(doc.createElement(q("added")), target);
                    break;
                case 4:
                    if (!parent.isNull() && parent.nodeType() == NODE_ELEMENT &&
                        !target.nextSibling().isNull())
                        parent.insertBefore(target.nextSibling(), target);
                    break;
                default:
                    if (target.nodeType() == NODE_ELEMENT && target.hasAttributes() &&
                        !target.attributes().item(0).isNamespaceDeclaration())
                        target.removeAttribute(target.attributes().item(0).nodeName());
                    break;
                }
                step.commit();
            } catch (const XmlError&) {
                continue; // refused, nothing changed
            }
            ++steps;
            const QByteArray now = savedBytes(doc, saved);
            EXPECT_EQ(str(IndependentMeaning(now, path)), str(meaningOf(doc)))
                << "choice " << choice << "\n"
                << now.left(3000).toStdString();
            EXPECT_LE(linesLost(before, now), lines + 2) << "choice " << choice << "\n"
                                                         << now.left(3000).toStdString();
        }
        while (doc.history().undoCount() > 0)
            doc.history().undo();
        EXPECT_EQ(savedBytes(doc, saved).toStdString(), original.toStdString())
            << "everything undone";
    }
}

// Changes deep down: kept up to a depth, beyond it the whole document in the editor's layout; the
// saved text means the document either way.
TEST(XmlLayout, DeepChangesAreSaved) {
    QTemporaryDir dir;
    const QString path = dir.filePath("deep.xml");
    for (const int depth : {1000, 6000}) {
        SCOPED_TRACE(depth);
        writeBytes(path, QByteArray("<d>\n").repeated(depth) + "<leaf a='1'/>" +
                             QByteArray("</d>\n").repeated(depth));
        XmlDocument doc = loaded(path);
        XmlNode leaf = doc.selectSingleNode(q("//leaf"));
        {
            XmlChangeStep step(doc, q("Edit"));
            leaf.setAttribute(q("a"), q("2"));
            leaf.appendChild(doc.createElement(q("new")));
            step.commit();
        }
        const QByteArray saved = savedBytes(doc, dir.filePath("saved.xml"));
        EXPECT_EQ(str(IndependentMeaning(saved, path)), str(meaningOf(doc)));
        EXPECT_EQ(saved.contains("<d>\n<d>\n"), depth < 1500) << "the file's own layout";
    }
}

// A node moved where its prefix means something else keeps its namespace: the declaration the
// move adds is written, with a step and without one.
TEST(XmlLayout, AMovedNodeKeepsItsNamespace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ns.xml");
    for (const bool inStep : {true, false}) {
        SCOPED_TRACE(inStep);
        writeBytes(path,
                   "<p:r xmlns:p=\"urn:p\">\n  <a xmlns:p=\"urn:other\">\n    <p:b p:k='1'/>\n"
                   "  </a>\n</p:r>\n");
        XmlDocument doc = loaded(path);
        const auto move = [&doc] {
            doc.documentElement().appendChild(doc.selectSingleNode(q("/*/a/*")));
        };
        if (inStep) {
            XmlChangeStep step(doc, q("Move"));
            move();
            step.commit();
        } else {
            move();
        }
        const QByteArray saved = savedBytes(doc, dir.filePath("saved.xml"));
        EXPECT_EQ(str(IndependentMeaning(saved, path)), str(meaningOf(doc))) << saved.toStdString();
    }
}
