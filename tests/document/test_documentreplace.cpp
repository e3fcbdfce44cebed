// Replace over the Document's nodes: each part chosen, each replacement through the XML layer's
// rules (the refused ones counted as skipped), all of them one undo step that puts back exactly the
// text there was; the containers changed are told, for the tree.

#include "document/documentreplace.h"
#include "document/documentsession.h"
#include "platform/xml/xmlhistory.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

std::string str(const QString& s) {
    return s.toStdString();
}

// A document's text as the XML layer writes it.
std::string written(const char* xml) {
    XmlDocument doc = XmlDocument::create();
    EXPECT_TRUE(doc.loadXML(QString::fromUtf8(xml))) << xml;
    return str(doc.xml());
}

const char* const kDocument =
    "<r xmlns:p=\"urn:p\" item=\"an item\"><item p:x=\"item\">item text<!--item--><![CDATA[item]]>"
    "</item><p:item/><?item item?><item>item</item></r>";

struct Replaced {
    QString xml;
    ReplaceCount count;
    std::vector<XmlNode> touched;
};

Replaced replace(const char* xml, const TextPattern& pattern, const char* with,
                 const ReplaceScope& scope = {}) {
    DocumentSession session;
    session.m_objDocument = XmlDocument::create();
    EXPECT_TRUE(session.m_objDocument.loadXML(QString::fromUtf8(xml)));
    const QString before = session.m_objDocument.xml();
    const TextSearch search(pattern);
    Replaced out;
    int steps = 0;
    out.touched = session.InUndoStepTouching(QStringLiteral("Replace"), [&] {
        out.count = ReplaceInNodes(session.Document(), search, QString::fromUtf8(with), scope,
                                   [&] { ++steps; });
    });
    out.xml = session.m_objDocument.xml();
    // The result reads again as it is, namespaces and all.
    XmlDocument again = XmlDocument::create();
    EXPECT_TRUE(again.loadXML(out.xml)) << str(out.xml);
    EXPECT_EQ(str(again.xml()), str(out.xml));
    XmlHistory& history = session.m_objDocument.history();
    if (out.count.made > 0) {
        EXPECT_EQ(str(history.undoCaption()), "Replace");
        history.undo();
        EXPECT_EQ(str(session.m_objDocument.xml()), str(before)) << "one step takes all back";
        EXPECT_FALSE(history.canUndo());
    } else {
        EXPECT_FALSE(history.canUndo());
    }
    return out;
}

TEST(DocumentReplace, EachPartChosenIsReplacedAndNothingElse) {
    const struct {
        ReplaceScope scope;
        const char* result;
        qint64 made;
    } rows[] = {
        {{true, true, true, true, true},
         "<r xmlns:p=\"urn:p\" thing=\"an thing\"><thing p:x=\"thing\">thing text<!--thing-->"
         "<![CDATA[thing]]></thing><p:thing/><?item item?><thing>thing</thing></r>",
         10},
        {{true, false, false, false, false},
         "<r xmlns:p=\"urn:p\" item=\"an item\"><thing p:x=\"item\">item text<!--item-->"
         "<![CDATA[item]]></thing><p:thing/><?item item?><thing>item</thing></r>",
         3},
        {{false, true, false, false, false},
         "<r xmlns:p=\"urn:p\" thing=\"an item\"><item p:x=\"item\">item text<!--item-->"
         "<![CDATA[item]]></item><p:item/><?item item?><item>item</item></r>",
         1},
        {{false, false, true, false, false},
         "<r xmlns:p=\"urn:p\" item=\"an thing\"><item p:x=\"thing\">item text<!--item-->"
         "<![CDATA[item]]></item><p:item/><?item item?><item>item</item></r>",
         2},
        {{false, false, false, true, false},
         "<r xmlns:p=\"urn:p\" item=\"an item\"><item p:x=\"item\">thing text<!--item-->"
         "<![CDATA[thing]]></item><p:item/><?item item?><item>thing</item></r>",
         3},
        {{false, false, false, false, true},
         "<r xmlns:p=\"urn:p\" item=\"an item\"><item p:x=\"item\">item text<!--thing-->"
         "<![CDATA[item]]></item><p:item/><?item item?><item>item</item></r>",
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        const Replaced r = replace(kDocument, {QStringLiteral("item"), true, false, false}, "thing",
                                   row.scope);
        EXPECT_EQ(str(r.xml), written(row.result));
        EXPECT_EQ(r.count.made, row.made);
        EXPECT_EQ(r.count.skipped, 0);
    }
}

// What the XML layer refuses is skipped and counted: a prefix declared nowhere, a name that is
// no name, a comment that would hold "--", an attribute that is there already. A text left empty
// goes.
TEST(DocumentReplace, WhatTheRulesRefuseIsSkippedAndCounted) {
    const struct {
        const char* xml;
        const char* find;
        const char* with;
        const char* result;
        qint64 made, skipped;
    } rows[] = {
        {"<p:a xmlns:p=\"urn:p\" p:b=\"1\"/>", "p:", "q:",
         "<p:a xmlns:p=\"urn:p\" p:b=\"1\"/>", 0, 2},
        {"<a><b/></a>", "b", "1b", "<a><b/></a>", 0, 1},
        {"<a><!--x-y--></a>", "x", "-", "<a><!--x-y--></a>", 0, 1},
        {"<a x=\"1\" y=\"2\"/>", "y", "x", "<a x=\"1\" y=\"2\"/>", 0, 1},
        {"<a><b>gone</b><b>kept gone</b></a>", "gone", "", "<a><b/><b>kept </b></a>", 2, 0},
        {"<a xmlns:p=\"urn:p\"><p:b/></a>", "urn:p", "urn:q",
         "<a xmlns:p=\"urn:p\"><p:b/></a>", 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.xml);
        const Replaced r = replace(row.xml, {QString::fromUtf8(row.find), true, false, false},
                                   row.with);
        EXPECT_EQ(str(r.xml), written(row.result));
        EXPECT_EQ(r.count.made, row.made);
        EXPECT_EQ(r.count.skipped, row.skipped);
    }
}

// Regular expressions and whole words as in the text; the walk passes events on a large
// document and tells each container it changed once.
TEST(DocumentReplace, PatternsAndLargeDocuments) {
    const Replaced r = replace("<a><b n=\"v1\">x12 y3</b></a>", {QStringLiteral("(\\w)(\\d+)"),
                               true, false, true}, "\\2\\1");
    EXPECT_EQ(str(r.xml), written("<a><b n=\"1v\">12x 3y</b></a>"));
    EXPECT_EQ(r.count.made, 3);
    QByteArray big = "<list>";
    for (int i = 0; i < 5000; ++i)
        big += "<record>r" + QByteArray::number(i) + "</record>";
    const Replaced many =
        replace((big + "</list>").constData(), {QStringLiteral("r"), true, true, true}, "s");
    EXPECT_EQ(many.count.made, 0) << "whole words only: r1 is a word, r is not";
    const Replaced all = replace((big + "</list>").constData(),
                                 {QStringLiteral("^r"), true, false, true}, "s");
    EXPECT_EQ(all.count.made, 10000); // every record's name and its text
    std::set<std::pair<const void*, const void*>> told;
    for (const XmlNode& container : all.touched)
        told.insert({container.key().node, container.key().declaration});
    EXPECT_EQ(told.size(), all.touched.size()) << "each container told once";
    EXPECT_GE(told.size(), 5000u);
}

} // namespace
