// Wide start tags read from a file: the attributes held back from libxml2 come back as libxml2
// would have built them, and every report of a document that does not load is libxml2's own.

#include "platform/xml/xmlwidetags.h"
#include "support/seed.h"
#include "support/xmlattributes.h"
#include "support/xmltesting.h"

#include <libxml/parser.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace xmltesting;

namespace {

struct Filtered {
    std::string bytes; // what libxml2 reads
    size_t held = 0;   // attributes held back
};

// The filter over `document`, read `piece` bytes at a time (0: as much as it asks for).
Filtered filtered(const std::string& document, int piece) {
    xmlimpl::setFileReadPiece(piece);
    xmlimpl::HeldAttributes held;
    size_t at = 0;
    xmlimpl::WideTagFilter filter(
        [&](char* buffer, int len) {
            const size_t n = std::min(document.size() - at, static_cast<size_t>(len));
            std::memcpy(buffer, document.data() + at, n);
            at += n;
            return static_cast<int>(n);
        },
        held);
    Filtered out;
    char buffer[4000];
    for (int n; (n = filter.read(buffer, sizeof buffer)) > 0;)
        out.bytes.append(buffer, static_cast<size_t>(n));
    xmlimpl::setFileReadPiece(0);
    for (int tag = 0; tag < 100; ++tag) {
        if (const auto heldTag = held.takeForNextTag())
            out.held += heldTag->attributes.size();
    }
    return out;
}

// Characters on each line, which libxml2's lines and columns count.
std::vector<size_t> lineWidths(const std::string& text) {
    std::vector<size_t> widths{0};
    for (const char c : text) {
        if (c == '\n')
            widths.push_back(0);
        else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++widths.back();
    }
    return widths;
}

// `count` attributes named with `prefix`.
std::string run(const std::string& prefix, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += " " + prefix + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    return out;
}

} // namespace

TEST(XmlWideTags, LoadFromAFileAsAnUnfilteredParseOfTheSameBytes) {
    const std::string many = manyAttributes(200);
    const struct Row {
        const char* name;
        std::string xml;
        size_t held;       // attributes the filter holds back
        const char* error; // the reason the load fails, or nullptr
        bool utf8 = true;  // the memory path reads the same document
    } rows[] = {
        {"plain attributes", "<root><e" + many + "/><e" + many + "></e></root>", 272, nullptr},
        {"line ends and tabs in values, and between attributes",
         "<root><e" +
             manyAttributes(200, "\n t1=\"a\tb\" t2=\"line\nbreak\"\r\n t3=\"cr\r\nlf\"\t"
                                 "t4=\"lone\rcr\"") +
             "\n/></root>",
         140, nullptr},
        {"non-ASCII values",
         "<root><e" +
             manyAttributes(200, " u1=\"\xC3\xA9\" u2=\"\xE2\x82\xAC"
                                 "uro\" "
                                 "u3=\"\xF0\x9D\x84\x9E\" u4=\"\xE6\x97\xA5\xE6\x9C\xAC\"") +
             "/></root>",
         140, nullptr},
        {"an error after a wide tag with non-ASCII values, on its last line",
         "<root><e" + manyAttributes(200, " u=\"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\"\n") +
             " v=\"\xC3\xA9\xC3\xA9\"/>&nope;</root>",
         138, "Entity 'nope' not defined"},
        {"a repeated name far into the list",
         "<root><e" + manyAttributes(200, " a150=\"2\"") + "/></root>", 0,
         "Attribute a150 redefined"},
        {"a name of the first attributes repeated in the tail",
         "<root><e" + manyAttributes(200, " a3=\"2\"") + "/></root>", 0, "Attribute a3 redefined"},
        {"namespace declarations and prefixed attributes past the first",
         "<root xmlns:p=\"urn:p\"><e" +
             manyAttributes(200, " xmlns:q=\"urn:q\" q:x=\"1\" p:y=\"2\" xmlns=\"urn:d\"") +
             "/></root>",
         99, nullptr},
        {"a prefixed attribute last", "<root xmlns:p=\"urn:p\"><e" + many + " p:z=\"1\"/></root>",
         0, nullptr},
        {"a reference in a late value",
         "<root><e" + manyAttributes(200, " r=\"&lt;&#38;\"") + "/></root>", 99, nullptr},
        {"a document type declaration",
         "<!DOCTYPE root [<!ATTLIST e d CDATA 'dflt' n NMTOKENS #IMPLIED>]><root><e" +
             manyAttributes(200, " n=\" x  y \"") + "/></root>",
         0, nullptr},
        {"markup look-alikes in comments, CDATA sections and processing instructions",
         "<root><!-- <e" + many + "> --><![CDATA[<e" + many + ">]]><?pi <e" + many + "/>?><f" +
             many + "/><g" + run("b", 70) + "/></root>",
         142, nullptr},
        {"'>' and quotes in values, empty values",
         "<root><e" + manyAttributes(200, " g=\"x>y\" s='it\"s' e1=\"\" e2=''") + "/></root>", 140,
         nullptr},
        {"an invalid character in a late value",
         "<root><e" + manyAttributes(200, " bad=\"\x01\"") + "/></root>", 99,
         "invalid character in attribute value"},
        {"no space between two late attributes", "<root><e" + many + " b=\"1\"c=\"2\"/></root>", 0,
         "attributes construct error"},
        {"a tag never closed", "<root><e" + many, 0, "attributes construct error"},
        {"UTF-8 declared, with a byte order mark",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root><e" + many + "/></root>",
         136, nullptr},
        {"another encoding declared",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root><e" +
             manyAttributes(200, " l=\"\xE9\"") + "/></root>",
         0, nullptr, false},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.xml"));
    for (const Row& row : rows) {
        for (const int piece : {0, 1, 2, 7, 4096}) {
            SCOPED_TRACE(std::string(row.name) + ", read " + std::to_string(piece) + " at a time");
            const Filtered seen = filtered(row.xml, piece);
            EXPECT_EQ(seen.held, row.held);
            EXPECT_EQ(lineWidths(seen.bytes), lineWidths(row.xml));

            writeBytes(path, QByteArray::fromStdString(row.xml));
            xmlimpl::setFileReadPiece(piece);
            XmlDocument fromFile = XmlDocument::create();
            const bool loaded = fromFile.load(path);
            xmlimpl::setFileReadPiece(0);
            EXPECT_EQ(loaded, row.error == nullptr);
            EXPECT_EQ(str(fromFile.parseError().reason), row.error ? row.error : "");
            if (row.utf8) {
                XmlDocument fromMemory = XmlDocument::create();
                EXPECT_EQ(fromMemory.loadUtf8(QByteArrayView(row.xml.data(), row.xml.size())),
                          loaded);
                EXPECT_EQ(fromFile.xml(), fromMemory.xml());
                const XmlParseError& a = fromFile.parseError();
                const XmlParseError& b = fromMemory.parseError();
                EXPECT_EQ(std::tie(a.reason, a.srcText, a.line, a.linepos),
                          std::tie(b.reason, b.srcText, b.line, b.linepos));
            }
            if (!loaded)
                continue;
            xmlDocPtr reference = xmlReadMemory(row.xml.data(), static_cast<int>(row.xml.size()),
                                                nullptr, nullptr, XML_PARSE_NONET);
            EXPECT_NE(reference, nullptr);
            if (!reference)
                continue;
            EXPECT_EQ(attributesOf(fromFile.asNode().raw()->doc), attributesOf(reference));
            xmlFreeDoc(reference);
        }
    }
}

namespace {

// A document with wide tags of every kind of attribute, some of which libxml2 refuses, and markup
// around them that only looks like tags; now and then a byte is put in or taken out.
std::string randomWideDocument(QRandomGenerator& random) {
    static const char* const kinds[] = {
        " a%=\"v%\"",
        " a%='v%'",
        "\n a%=\"l\tm\"",
        "\r\n\ta% = \"cr\r\nlf\"",
        " a%=\"\xC3\xA9%\"",
        " a%=\"\xF0\x9D\x84\x9E\"",
        " a%=\"\"",
        " p:a%=\"v\"",
        " xmlns:q%=\"urn:q\"",
        " a%=\"&amp;\"",
        " a%=\"x>y\"",
        " a%=\"<\"",
        " a%=\"\x01\"",
        " a3=\"again\"",
        " a%=\"1\"b%=\"2\"",
        " a%=\"\xE9\"",
    };
    const auto attributes = [&](int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            const int kind = random.bounded(100) < 90 ? random.bounded(2) : random.bounded(16);
            std::string attribute = kinds[kind];
            for (size_t at; (at = attribute.find('%')) != std::string::npos;)
                attribute.replace(at, 1, std::to_string(i));
            out += attribute;
        }
        return out;
    };
    static const char* const around[] = {"<!-- <e a=\"1\" b=\"2\"> -->", "<?pi <e a='1'>?>",
                                         "<![CDATA[<e a=\"1\">]]>", "text &lt; more", "\n  "};
    std::string xml = "<root xmlns:p=\"urn:p\">";
    for (int tag = random.bounded(1, 4); tag > 0; --tag) {
        xml += around[random.bounded(5)];
        xml += "<e" + attributes(random.bounded(60, 160));
        xml += random.bounded(2) ? "/>" : "><c" + attributes(random.bounded(70, 90)) + "/></e>";
    }
    xml += "</root>";
    if (random.bounded(4) == 0) {
        const auto at = static_cast<size_t>(random.bounded(static_cast<int>(xml.size())));
        if (random.bounded(2))
            xml.erase(at, 1);
        else
            xml.insert(at, 1, "<>\"'=&\n"[random.bounded(7)]);
    }
    return xml;
}

} // namespace

TEST(XmlWideTags, RandomWideTagsLoadOrFailAsTheUnfilteredParse) {
    const quint32 seed = testSeed(20261207);
    SCOPED_TRACE("ORVEL_SEED=" + std::to_string(seed));
    QRandomGenerator random(seed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("random.xml"));
    for (int round = 0; round < 150; ++round) {
        const std::string xml = randomWideDocument(random);
        SCOPED_TRACE(xml);
        writeBytes(path, QByteArray::fromStdString(xml));
        xmlimpl::setFileReadPiece(std::array{0, 1, 3, 13}[random.bounded(4)]);
        XmlDocument fromFile = XmlDocument::create();
        const bool loaded = fromFile.load(path);
        xmlimpl::setFileReadPiece(0);
        XmlDocument fromMemory = XmlDocument::create();
        ASSERT_EQ(fromMemory.loadUtf8(QByteArrayView(xml.data(), xml.size())), loaded);
        ASSERT_EQ(fromFile.xml(), fromMemory.xml());
        const XmlParseError& a = fromFile.parseError();
        const XmlParseError& b = fromMemory.parseError();
        ASSERT_EQ(str(a.reason) + "|" + std::to_string(a.line) + ":" + std::to_string(a.linepos),
                  str(b.reason) + "|" + std::to_string(b.line) + ":" + std::to_string(b.linepos));
        ASSERT_EQ(a.srcText, b.srcText);
    }
}
