// The item edits' document rules without a window, each edited tree checked against a fresh build
// of the Document it leaves; then what only the window adds to an insert.

#include "editing/itemedits.h"
#include "platform/xml/xmlerror.h"
#include "support/builttree.h"
#include "support/editingfixture.h"
#include "support/namespacecheck.h"

#include <map>

namespace {

using Id = TreeModel::ItemId;

struct Edits : BuiltTree {
    using BuiltTree::BuiltTree;
    Id at(const QString& path) {
        Id item = TreeModel::NoItem;
        for (const QString& label : path.split(QLatin1Char('/'))) {
            item = item ? tree.Child(item) : tree.FirstTopLevel();
            while (item && tree.Text(item) != label)
                item = tree.Next(item);
        }
        EXPECT_NE(item, TreeModel::NoItem) << path.toStdString();
        return item;
    }
    QString compact() { return doc.xml().remove(QLatin1Char('\n')).remove(QStringLiteral("  ")); }
    // Every item built, as nested labels and icons; attributes in front, sorted, as a renamed one
    // keeps its place in the tree while the Document puts it last.
    static QString shape(TreeModel& t, Id parent = TreeModel::NoItem) {
        QStringList attributes, rest;
        for (Id c = parent ? t.Child(parent) : t.FirstTopLevel(); c; c = t.Next(c)) {
            const QString one = t.Text(c) + '<' + t.Image(c) + '>' + '(' + shape(t, c) + ')';
            const bool attribute = t.Image(c) == ModGeneral::kAttribute;
            (attribute ? attributes : rest)
                << (attribute && !rest.isEmpty() ? "behind: " + one : one);
        }
        attributes.sort();
        return (attributes + rest).join(QString());
    }
    // Elements and attributes with their namespaces.
    static QString names(const XmlNode& e) {
        QString out = e.nodeName() + '{' + e.namespaceURI() + '}';
        for (const XmlNode& a : e.attributes().toVector())
            out += ' ' + a.nodeName() + '{' + a.namespaceURI() + '}';
        for (XmlNode c = e.firstChild(); c; c = c.nextSibling())
            out += c.nodeType() == NODE_ELEMENT ? '(' + names(c) + ')' : QString();
        return out;
    }
    // The tree must show what a fresh build of the Document shows, and the Document's text must
    // be namespace-well-formed and read back with every name in the namespace it has.
    void check() {
        TreeModel fresh;
        ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, doc.asNode(), fresh, 256);
        EXPECT_EQ(shape(tree), shape(fresh));
        EXPECT_EQ(NamespaceProblem(doc.xml()), QString());
        XmlDocument reread = XmlDocument::create();
        ASSERT_TRUE(reread.loadXML(doc.xml()));
        EXPECT_EQ(names(reread.documentElement()), names(doc.documentElement()));
    }
    // As the label editor leaves it.
    bool setLabel(Id item, const QString& text, QString& refusal) {
        QString label = text;
        const bool set = ItemEdits::SetLabel(tree, item, label, 256, refusal);
        if (set)
            tree.SetText(item, label);
        return set;
    }
};

struct Row {
    const char* xml;
    const char* path;
    const char* op;
    const char* arg;    // a name or text, then "|" and a value or data; or the copied path
    const char* result; // the document afterwards, compact; else the refusal, which changes nothing
};

const char* const kMoves = "<r><a x=\"1\"><k/></a><b/><c><d/></c></r>";
const char* const kRefusedMoves = "<?xml version=\"1.0\"?><r a=\"1\"><b/>text<c/></r>";
const char* const kNs = "<r xmlns:p=\"urn:p\"><p:a/><b/></r>";
const char* const kNsD = "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:i/></r>";

const Row kRows[] = {
    {"<r><a/></r>", "r", "element", "", "<r><a/><Element1/></r>"},
    {"<r>t</r>", "r/t", "element", "", ""}, // only under an element
    {"<r><a><b/></a></r>", "r/a", "pi", "k", "<r><a><b/><?k?></a></r>"},
    {"<r><t>x<!--c--></t></r>", "r/t/x", "pi", "k", "<r><t>x<?k?><!--c--></t></r>"},
    // Nothing may precede the XML declaration, so what is inserted at it goes after it.
    {"<?xml version=\"1.0\"?><r/>", "xml version=\"1.0\"", "pi", "pi|data",
     "<?xml version=\"1.0\"?><?pi data?><r/>"},
    {"<r><e a=\"1\"><x/></e></r>", "r/e", "attribute", "c|v", "<r><e a=\"1\" c=\"v\"><x/></e></r>"},
    {"<r><h>t</h></r>", "r/h/t", "attribute", "c|v", "<r><h c=\"v\">t</h></r>"},
    {"<r a=\"1\"/>", "r", "attribute", "a|9", "Attribute 'a' already exists."},
    {kNs, "r/b", "attribute", "q:x", "The prefix 'q' is not declared."},
    {kNs, "r/b", "attribute", "p:x|v", "<r xmlns:p=\"urn:p\"><p:a/><b p:x=\"v\"/></r>"},
    {"<r a=\"1\" b=\"2\"/>", "r/a = \"1\"", "edit attribute", "b|1",
     "Attribute 'b' already exists."},
    {"<r a=\"1\"/>", "r/a = \"1\"", "edit attribute", "x y|9",
     "'x y' is not a valid attribute name."},
    // The new name is set first; the old one cannot go, so the new one goes again.
    {kNs, "r/xmlns:p = \"urn:p\"", "edit attribute", "xmlns:q|urn:p",
     "The namespace declaration 'xmlns:p' cannot be removed: 'p:a' uses it."},
    {"<r a=\"1\" b=\"2\"/>", "r/a = \"1\"", "edit attribute", "c|3", "<r b=\"2\" c=\"3\"/>"},
    {"<r><!--c--></r>", "r/c", "set text", "bell\x07",
     "The text contains a character that XML does not allow (U+0007)."},
    {"<r><![CDATA[d]]></r>", "r/d", "set text", "x]]>y", "<r><![CDATA[x]]]]><![CDATA[>y]]></r>"},
    {"<r><a/><?p old?><b/></r>", "r/p old", "set pi", "q|new", "<r><a/><?q new?><b/></r>"},
    {"<r><?p d?></r>", "r/p d", "set pi", "|d",
     "The processing instruction target name cannot be empty."},
    {"<r><?p d?></r>", "r/p d", "set pi", "a b|d",
     "'a b' is not a valid processing instruction target name."},
    // A rename keeps the node, so attributes, children and place stay.
    {"<r><x/><old b=\"2\" a=\"1\"><c/>t<!--k--></old><y/></r>", "r/old", "label", "new",
     "<r><x/><new b=\"2\" a=\"1\"><c/>t<!--k--></new><y/></r>"},
    {"<r><a/></r>", "r/a", "label", "1a", "'1a' is not a valid element name."},
    {kNs, "r/b", "label", "q:x", "The prefix 'q' is not declared."},
    {"<r><a/></r>", "r", "label", "top", "<top><a/></top>"},
    // The new name's prefix means what it means at that place.
    {kNsD, "r/p:i", "label", "p:renamed", "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:renamed/></r>"},
    {kNsD, "r/p:i", "label", "plain", "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><plain/></r>"},
    {"<r><a x=\"1\" y=\"2\"><b/></a></r>", "r/a/x = \"1\"", "delete", "",
     "<r><a y=\"2\"><b/></a></r>"},
    {"<r><a><b><c/></b></a><d/></r>", "r/a", "delete", "", "<r><d/></r>"},
    {kNs, "r/xmlns:p = \"urn:p\"", "delete", "",
     "The namespace declaration 'xmlns:p' cannot be removed: 'p:a' uses it."},
    {"<r xmlns:u=\"urn:u\"/>", "r/xmlns:u = \"urn:u\"", "delete", "", "<r/>"},
    {kMoves, "r/b", "up", "", "<r><b/><a x=\"1\"><k/></a><c><d/></c></r>"},
    {kMoves, "r/b", "down", "", "<r><a x=\"1\"><k/></a><c><d/></c><b/></r>"}, // appended
    {kMoves, "r/b", "right", "", "<r><a x=\"1\"><k/><b/></a><c><d/></c></r>"},
    {kMoves, "r/c/d", "left", "", "<r><a x=\"1\"><k/></a><b/><c/><d/></r>"},
    {"<r xmlns=\"urn:d\"><a><b xmlns=\"\"><c/></b></a></r>", "r/a/b/c", "left", "",
     "<r xmlns=\"urn:d\"><a><b xmlns=\"\"/><c xmlns=\"\"/></a></r>"},
    {kRefusedMoves, "r/b", "up", "", ""},           // after an attribute
    {kRefusedMoves, "r/a = \"1\"", "down", "", ""}, // attributes never move
    {kRefusedMoves, "r/c", "right", "", ""},        // a text holds nothing
    {kRefusedMoves, "r", "up", "", ""},             // before the XML declaration
    {kRefusedMoves, "r/b", "left", "", ""},         // a second top-level element
    {"<r><a k=\"1\"><b/></a><t>x</t></r>", "r/t", "paste", "r/a",
     "<r><a k=\"1\"><b/></a><t>x<a k=\"1\"><b/></a></t></r>"},
    {"<r><a/><t>x</t></r>", "r/t/x", "paste", "r/a", "This node cannot have child nodes."},
    {"<r><a id=\"7\"/><b/></r>", "r/b", "paste", "r/a/id = \"7\"",
     "<r><a id=\"7\"/><b id=\"7\"/></r>"},
    {"<r><a id=\"7\"/><b id=\"1\"/></r>", "r/b", "paste", "r/a/id = \"7\"",
     "Attribute 'id' already exists."},
    {"<r><a xmlns:p=\"urn:p\"><p:x/></a><b/></r>", "r/b", "paste", "r/a/p:x",
     "<r><a xmlns:p=\"urn:p\"><p:x/></a><b><p:x xmlns:p=\"urn:p\"/></b></r>"},
    // Where its prefix means another namespace, the attribute gets another prefix.
    {"<r xmlns:p=\"urn:p\"><a p:x=\"1\"/><b xmlns:p=\"urn:o\"/></r>", "r/b", "paste",
     "r/a/p:x = \"1\"",
     "<r xmlns:p=\"urn:p\"><a p:x=\"1\"/><b xmlns:p=\"urn:o\" xmlns:ns1=\"urn:p\" "
     "ns1:x=\"1\"/></r>"},
    {"<r><a xml:lang=\"en\"/><b/></r>", "r/b", "paste", "r/a/xml:lang = \"en\"",
     "<r><a xml:lang=\"en\"/><b xml:lang=\"en\"/></r>"},
};

// Runs the row's edit; the refusal, reported or thrown.
QString run(Edits& e, const Row& row) {
    const Id item = e.at(QString::fromUtf8(row.path));
    const QString a = QString::fromUtf8(row.arg).section('|', 0, 0);
    const QString b = QString::fromUtf8(row.arg).section('|', 1);
    QString refusal;
    qint16 counter = 0;
    auto move = [&](ItemEdits::Move to) { ItemEdits::MoveItem(e.tree, e.doc, item, to, 256); };
    const std::map<std::string, std::function<void()>> edits = {
        {"element", [&] { ItemEdits::InsertElement(e.tree, e.doc, item, counter); }},
        {"pi",
         [&] {
             ItemEdits::InsertLeaf(e.tree, item, e.doc.createProcessingInstruction(a, b),
                                   ModGeneral::kPInstructions);
         }},
        {"attribute", [&] { ItemEdits::InsertAttribute(e.tree, item, a, b, refusal); }},
        {"edit attribute", [&] { ItemEdits::EditAttribute(e.tree, item, a, b, refusal); }},
        {"set text", [&] { ItemEdits::SetText(e.tree, item, a, 256); }},
        {"set pi", [&] { ItemEdits::ReplaceInstruction(e.tree, e.doc, item, a, b); }},
        {"label", [&] { e.setLabel(item, a, refusal); }},
        {"delete", [&] { ItemEdits::Delete(e.tree, item); }},
        {"paste",
         [&] {
             ItemEdits::Paste(e.tree, e.doc, item, ItemEdits::Copy(e.tree, e.at(a)), 256, refusal);
         }},
        {"up", [&] { move(ItemEdits::Move::Up); }},
        {"down", [&] { move(ItemEdits::Move::Down); }},
        {"left", [&] { move(ItemEdits::Move::Left); }},
        {"right", [&] { move(ItemEdits::Move::Right); }},
    };
    try {
        edits.at(row.op)();
    } catch (const XmlError& error) {
        refusal = error.description();
    }
    return refusal;
}

} // namespace

TEST(ItemEdits, FollowTheDocumentsRules) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.op << " " << row.path << " " << row.arg);
        Edits e(QString::fromUtf8(row.xml));
        const QString before = e.compact();
        const QString result = QString::fromUtf8(row.result), refusal = run(e, row);
        const bool refused = !result.startsWith('<');
        EXPECT_EQ(refusal, refused ? result : QString());
        EXPECT_EQ(e.compact(), refused ? before : result);
        e.check();
    }
}

// The copy buffer holds a copy: later edits of the original do not reach it.
TEST(ItemEdits, CopiesStayAsTheyWereWhenCopied) {
    Edits e(QStringLiteral("<r><a k=\"1\"><b/></a><t/></r>"));
    const XmlNode copied = ItemEdits::Copy(e.tree, e.at(QStringLiteral("r/a")));
    QString refusal;
    e.setLabel(e.at(QStringLiteral("r/a")), QStringLiteral("renamed"), refusal);
    ItemEdits::Delete(e.tree, e.at(QStringLiteral("r/renamed/b")));
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(
            ItemEdits::Paste(e.tree, e.doc, e.at(QStringLiteral("r/t")), copied, 256, refusal));
    EXPECT_EQ(
        e.compact(),
        QStringLiteral("<r><renamed k=\"1\"/><t><a k=\"1\"><b/></a><a k=\"1\"><b/></a></t></r>"));
    e.check();
}

// Through the window: the new element's label opens for its name, the counter runs on across
// New, and refusals are told.
TEST_F(EditingTest, InsertsOpenTheirLabelAndTellTheirRefusals) {
    load("<r><e a=\"1\"/>t</r>");
    click(find("r"));
    QTest::keyClick(window->m_wndTree, Qt::Key_E, Qt::ControlModifier);
    typeLabel(QStringLiteral("named"));
    click(find("r/e"));
    window->markSaved();
    expectAttributeEditor("Attribute Editor", "", "", std::make_pair(QString("a"), QString("9")));
    expectInfo("Attribute 'a' already exists.");
    trigger("mnuNewAttribute");
    EXPECT_FALSE(window->HasUnsavedChanges());
    expectAttributeEditor("Attribute Editor", "", "", std::pair{QStringLiteral("q:x"), QString()});
    expectCritical(QStringLiteral("The prefix 'q' is not declared."));
    trigger("mnuNewAttribute");
    // Cancel inserts nothing, yet the document counts as changed.
    expectAttributeEditor("Attribute Editor", "", "", std::nullopt);
    trigger("mnuNewAttribute");
    EXPECT_TRUE(window->HasUnsavedChanges());
    click(find("r/t"));
    window->markSaved();
    window->mnuNewElement_Click(); // nothing under a text, and nothing marked
    EXPECT_FALSE(window->HasUnsavedChanges());
    expectAttributeEditor("Processing Instruction Editor", "", "",
                          std::make_pair(QString("go"), QString("now")));
    trigger("mnuNewPI");
    EXPECT_EQ(window->m_wndTree->SelectedItem(), find("r/go now"));
    EXPECT_EQ(labelsUnder("r"), (QStringList{"e", "t", "go now", "named"}));
    check();

    window->m_iElementCounter = 32766;
    expectSaveQuestion(window->m_strFileName, MsgResult::No);
    trigger("mnuNewDoc");
    click(find("Root"));
    click(window->Toolbox, "Element");
    typeLabel(QStringLiteral("x"), Qt::Key_Escape); // keeps the number it was given
    click(find("Root"));
    expectCritical(QStringLiteral("Overflow"));
    trigger("mnuNewElement");
    EXPECT_EQ(window->m_iElementCounter, 32767);
    EXPECT_EQ(labelsUnder("Root"), QStringList{QStringLiteral("Element32767")});
    // An empty tree takes only an element, which becomes the root.
    window->DeleteSelectedItem(find("Root"));
    window->mnuNewText_Click();
    window->mnuNewComment_Click();
    EXPECT_TRUE(nodes().IsEmpty());
    window->mnuNewElement_Click();
    typeLabel(QStringLiteral("Root"));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("Root")});
    check();
}
