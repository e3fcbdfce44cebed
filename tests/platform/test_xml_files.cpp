// The XML layer against the file system and hostile input: encodings, malformed and malicious
// documents, and saves that must never damage the file they replace.

#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::string str(const QString& s) {
    return s.toStdString();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << str(path);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray utf16le(const QString& s, bool bom) {
    QByteArray out = bom ? QByteArray("\xFF\xFE", 2) : QByteArray();
    for (QChar c : s) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

} // namespace

TEST(XmlFiles, EncodingsLoadIntactAndSaveAsDeclared) {
    const QString text = QStringLiteral("caf\u00e9 \u20ac");
    const struct {
        const char* name;
        QByteArray file;
        QString rootText;
        QByteArray savedStart; // the saved file begins with these bytes
        QByteArray savedHas;   // and holds these
    } rows[] = {
        {"utf8_declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>" + text.toUtf8() + "</r>",
         text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"utf16le_bom_declared",
         utf16le(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>") + text + "</r>",
                 true),
         text, QByteArray("\xFF\xFE<\0?\0x\0", 8), QByteArray("c\0a\0f\0\xE9\0 \0\xAC\x20", 12)},
        {"iso8859_1_declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>",
         QStringLiteral("caf\u00e9"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
         "<r>caf\xE9</r>"},
        {"utf8_undeclared", "<r>" + text.toUtf8() + "</r>", text, "<r>",
         "caf\xC3\xA9 \xE2\x82\xAC"},
        {"utf16le_bom_undeclared", utf16le(QStringLiteral("<r>") + text + "</r>", true), text,
         "<r>", "caf\xC3\xA9 \xE2\x82\xAC"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.xml")),
                      out = dir.filePath(QStringLiteral("out.xml"));
        writeBytes(in, row.file);
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.load(in)) << str(doc.parseError().reason);
        EXPECT_EQ(str(doc.documentElement().text()), str(row.rootText));
        doc.save(out);
        const QByteArray saved = readBytes(out);
        EXPECT_TRUE(saved.startsWith(row.savedStart)) << saved.left(40).toHex().toStdString();
        EXPECT_TRUE(saved.contains(row.savedHas)) << saved.toHex().toStdString();
        // Latin-1 must not be written as UTF-8 under a Latin-1 label.
        if (row.savedStart.contains("ISO-8859-1")) {
            EXPECT_FALSE(saved.contains("\xC3\xA9"));
        }
        XmlDocument again = XmlDocument::create();
        ASSERT_TRUE(again.load(out)) << str(again.parseError().reason);
        EXPECT_EQ(str(again.documentElement().text()), str(row.rootText));
    }
}

TEST(XmlFiles, DeclarationTypedInTextDecidesTheSavedEncoding) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.xml"));
    XmlDocument doc = XmlDocument::create();
    // Euro has no Latin-1 byte: it has to travel as a character reference.
    ASSERT_TRUE(doc.loadXML(QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\u20ac\">caf\u00e9 \u20ac</r>")));
    doc.save(out);
    const QByteArray saved = readBytes(out);
    EXPECT_TRUE(saved.contains("caf\xE9")) << saved.toStdString();
    XmlDocument again = XmlDocument::create();
    ASSERT_TRUE(again.load(out)) << str(again.parseError().reason);
    EXPECT_EQ(str(again.documentElement().text()), "caf\u00e9 \u20ac");
    EXPECT_EQ(str(again.documentElement().attributes().getNamedItem(QStringLiteral("a")).text()),
              "\u20ac");
}

// Text and attribute values can carry any character as a reference; names and comments cannot,
// so a document that holds such characters is not saved in an encoding that lacks them.
TEST(XmlFiles, ASaveThatWouldChangeNamesOrCommentsIsRefused) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.xml"));
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("<old/>");
    old.close();
    for (const QString& body :
         {QStringLiteral("<r><!--\u20ac--></r>"), QStringLiteral("<r><x\u20ac/></r>"),
          QStringLiteral("<r><![CDATA[\u20ac]]></r>")}) {
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(
            doc.loadXML(QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>") + body));
        EXPECT_THROW(doc.save(out), XmlError) << str(body);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("<old/>"));
        old.close();
    }
}

TEST(XmlFiles, BadInputIsRefusedQuicklyWithAReport) {
    QByteArray binary(4096, '\0');
    QRandomGenerator rng(20240601); // fixed seed: the same bytes every run
    for (char& c : binary)
        c = static_cast<char>(rng.bounded(256));
    binary[0] = '<';
    binary[7] = '\0';

    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"%2\">")
                      .arg(i)
                      .arg(QStringLiteral("&l%1;").arg(i - 1).repeated(10))
                      .toUtf8();
    laughs += "]><l>&l9;</l>";

    // asText: whether the bytes stay bad once decoded to a string (invalid UTF-8 gets repaired).
    const struct {
        const char* name;
        QByteArray bytes;
        bool asText;
    } rows[] = {
        {"not_well_formed", "<r><a></b></r>", true},
        {"binary_with_nul", binary, true},
        {"invalid_utf8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\x28 \xFF\xFE</r>",
         false},
        {"megabyte_line_malformed", "<r a='1'>" + QByteArray(1 << 20, 'x') + "<</r>", true},
        {"megabyte_line_unclosed_attribute", "<r a='" + QByteArray(1 << 20, 'x'), true},
        {"billion_laughs", laughs, true},
        {"empty_file", QByteArray(), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.xml"));
        writeBytes(path, row.bytes);
        XmlDocument doc = XmlDocument::create();
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(doc.load(path));
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
        EXPECT_LT(doc.parseError().srcText.size(), 1000);
        EXPECT_FALSE(doc.hasContent());
        if (!row.asText)
            continue;
        // The same text handed over in memory must be refused just as cleanly.
        timer.restart();
        EXPECT_FALSE(doc.loadXML(QString::fromUtf8(row.bytes)));
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_LT(doc.parseError().srcText.size(), 1000);
    }
}

TEST(XmlFiles, LargeAndDeepDocumentsLoadOrAreRefusedCleanly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xml"));
    writeBytes(path, "<r a='1'>" + QByteArray(1 << 20, 'x') + "</r>");
    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.load(path)) << str(doc.parseError().reason);
    EXPECT_EQ(doc.documentElement().text().size(), 1 << 20);

    QByteArray deep = QByteArray("<a>").repeated(10000) + QByteArray("</a>").repeated(10000);
    writeBytes(path, deep);
    if (doc.load(path)) {
        EXPECT_EQ(doc.selectNodes(QStringLiteral("//a")).length(), 10000);
        EXPECT_FALSE(doc.xml().isEmpty());
    } else {
        EXPECT_FALSE(doc.parseError().reason.isEmpty());
        EXPECT_LT(doc.parseError().srcText.size(), 1000);
        EXPECT_FALSE(doc.hasContent());
    }
}

TEST(XmlFiles, ExternalEntitiesAreNeverRead) {
    QTemporaryDir dir;
    const QString secretPath = dir.filePath(QStringLiteral("secret.txt"));
    const QByteArray marker = "SECRET-7f3a91";
    writeBytes(secretPath, marker);
    const QString dtdPath = dir.filePath(QStringLiteral("leak.dtd"));
    writeBytes(dtdPath, "<!ENTITY leak \"" + marker + "\">");
    const QString secretUrl = QUrl::fromLocalFile(secretPath).toString();
    const QString dtdUrl = QUrl::fromLocalFile(dtdPath).toString();

    const QString hostname =
        QString::fromUtf8(readBytes(QStringLiteral("/etc/hostname"))).trimmed();
    const struct {
        const char* name;
        QString text;
        QString mustNotAppear;
    } rows[] = {
        {"general_entity",
         QStringLiteral("<!DOCTYPE r [<!ENTITY x SYSTEM \"%1\">]><r>&x;</r>").arg(secretUrl),
         marker},
        {"etc_hostname",
         QStringLiteral("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><r>&x;</r>"),
         hostname},
        {"parameter_entity",
         QStringLiteral("<!DOCTYPE r [<!ENTITY % p SYSTEM \"%1\">%p;]><r>&leak;</r>").arg(dtdUrl),
         marker},
        {"external_dtd", QStringLiteral("<!DOCTYPE r SYSTEM \"%1\"><r>&leak;</r>").arg(dtdUrl),
         marker},
        {"entity_in_attribute",
         QStringLiteral("<!DOCTYPE r [<!ENTITY x SYSTEM \"%1\">]><r a=\"&x;\"/>").arg(secretUrl),
         marker},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.mustNotAppear.isEmpty())
            continue; // no hostname file on this machine
        const QString file = dir.filePath(QStringLiteral("doc.xml"));
        writeBytes(file, row.text.toUtf8());
        for (bool fromFile : {false, true}) {
            XmlDocument doc = XmlDocument::create();
            const bool ok = fromFile ? doc.load(file) : doc.loadXML(row.text);
            if (!ok)
                continue; // refusing the document is just as safe
            // Text only: the markup legitimately spells out the URL and the reference.
            XmlNode root = doc.documentElement();
            QString seen = root.text();
            for (const XmlNode& a : root.attributes().toVector())
                seen += a.text();
            EXPECT_FALSE(seen.contains(row.mustNotAppear))
                << (fromFile ? "load: " : "loadXML: ") << str(seen);
        }
    }
}

namespace {

// Answers every request on a loopback port with a DTD and counts them, so that a fetch shows at
// once instead of leaving the parser waiting on a silent socket.
class DtdServer {
public:
    DtdServer() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
             ::listen(m_fd, 8) == 0 &&
             ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
        port = ntohs(addr.sin_port);
        if (ok)
            m_thread = std::thread([this] { serve(); });
    }
    ~DtdServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok = false;
    int port = 0;
    std::atomic<int> requests{0};

private:
    void serve() {
        static const char reply[] = "HTTP/1.0 200 OK\r\nContent-Type: application/xml-dtd\r\n\r\n"
                                    "<!ENTITY ent \"FETCHED\"><!ELEMENT r ANY>";
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                continue;
            ++requests;
            char request[4096];
            (void)::recv(client, request, sizeof request, 0);
            (void)::send(client, reply, sizeof reply - 1, MSG_NOSIGNAL);
            ::close(client);
        }
    }
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(XmlFiles, RemoteDtdIsNotFetched) {
    DtdServer server;
    ASSERT_TRUE(server.ok);
    QTemporaryDir dir;
    const QString urls[] = {QStringLiteral("http://127.0.0.1:9/x.dtd"),
                            QStringLiteral("http://127.0.0.1:%1/x.dtd").arg(server.port)};
    for (const QString& url : urls) {
        SCOPED_TRACE(str(url));
        const QString text = QStringLiteral("<!DOCTYPE r SYSTEM \"%1\"><r>&ent;<a/></r>").arg(url);
        const QString file = dir.filePath(QStringLiteral("doc.xml"));
        writeBytes(file, text.toUtf8());
        for (bool fromFile : {false, true}) {
            XmlDocument doc = XmlDocument::create();
            QElapsedTimer timer;
            timer.start();
            if (fromFile ? doc.load(file) : doc.loadXML(text)) {
                EXPECT_FALSE(doc.documentElement().text().contains(QStringLiteral("FETCHED")));
            }
            EXPECT_LT(timer.elapsed(), 1000);
        }
    }
    EXPECT_EQ(server.requests.load(), 0) << "the parser asked for the DTD";
}

TEST(XmlFiles, FailedSaveLeavesTheOldFileByteForByte) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("doc.xml"));
    const QByteArray old = "<?xml version=\"1.0\"?>\n<old>content that must survive</old>\n";
    writeBytes(target, old);
    const QString subdir = dir.filePath(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkdir(subdir));
    writeBytes(subdir + QStringLiteral("/inner.xml"), "<inner/>");

    XmlDocument doc = XmlDocument::create();
    ASSERT_TRUE(doc.loadXML(QStringLiteral("<?xml version=\"1.0\"?><new/>")));
    // As root, permissions do not stop a write; places that cannot hold a file do.
    EXPECT_THROW(doc.save(dir.filePath(QStringLiteral("missing/doc.xml"))), XmlError);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_THROW(doc.save(subdir), XmlError);
    EXPECT_TRUE(QFileInfo(subdir).isDir());
    EXPECT_EQ(readBytes(subdir + QStringLiteral("/inner.xml")), QByteArray("<inner/>"));

    // An encoding the writer does not know fails after the target was opened.
    const QStringList entriesBefore =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_NO_THROW(
        doc.firstChild().setText(QStringLiteral("version=\"1.0\" encoding=\"x-unknown-enc\"")));
    try {
        doc.save(target);
        ADD_FAILURE() << "saved in an unknown encoding";
    } catch (const XmlError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("x-unknown-enc")))
            << str(e.description());
    }
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              entriesBefore)
        << "a temporary file was left behind";

    // A good save replaces the whole file, leaving nothing of a longer old content.
    ASSERT_TRUE(doc.loadXML(QStringLiteral("<n/>")));
    doc.save(target);
    EXPECT_EQ(readBytes(target), doc.xml().toUtf8());
}

TEST(XmlFiles, UnreadablePathsNameTheProblem) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QString path;
    } rows[] = {
        {"missing_file", dir.filePath(QStringLiteral("nope.xml"))},
        {"missing_folder", dir.filePath(QStringLiteral("nope/doc.xml"))},
        {"directory", dir.path()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XmlDocument doc = XmlDocument::create();
        ASSERT_TRUE(doc.loadXML(QStringLiteral("<previous/>")));
        EXPECT_FALSE(doc.load(row.path));
        EXPECT_TRUE(doc.parseError().reason.contains(row.path)) << str(doc.parseError().reason);
        EXPECT_FALSE(doc.hasContent());
    }
}
