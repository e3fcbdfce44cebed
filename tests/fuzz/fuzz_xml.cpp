// libFuzzer target for the XML layer (platform/xml), driven through its public API only.
//
// Input: two control bytes, then the document's bytes.
//   byte 0, bit 0     1: the bytes are written to a file and read with load(), which detects the
//                     encoding from them; 0: they are decoded as UTF-8 and given to loadXML()
//   byte 0, bits 1-3  the number of edits, 1 to 8
//   bytes 0-1         the seed that chooses the edits
// The seed corpus (tests/fuzz/corpus) holds such inputs; scripts/fuzz.sh builds and runs this.
//
// What must hold (a broken rule prints what it saw and aborts, which libFuzzer reports):
// - A failed load leaves an empty document and gives a reason; a successful one leaves none.
// - The text view's well-formedness check of a text given to loadXML() agrees with the load: the
//   same verdict, and the same reason, line and column (a namespace name holding a reference
//   aside: only the document built shows what it expands to).
// - An input that is not namespace-well-formed does not load. A loaded document's serialisation
//   parses in libxml2 with namespace checking, loads again into the same tree (canonical form:
//   names, namespace URIs, sorted attributes, text), and serialises again to the very same text. A
//   document loaded from a file, saved with no change, is the very same bytes; it survives load()
//   and a second identical save().
// - Edits chosen by the input (renames done as the editor does them, setText, attributes and
//   namespace declarations, inserts of created, cloned and imported nodes, moves, removals,
//   replacements, queries) either succeed or throw XmlError; a refusal leaves the serialisation
//   as it was. No other exception escapes.
// - After the edits, the serialisation parses with namespace checking, loads into a tree equal
//   to the edited one (blank text aside, see Blanks::Drop), and that reload is a fixed point.
// - Completion reads any text at any caret: the text view's choices for the text given to
//   loadXML(), at every place of a short text and at 16 places spread over a long one, with the
//   grammar learned from the document (none when it did not load), start where the typed part
//   starts, before the caret.
// - A document whose element was deleted is not checked further: the editor allows that, and no
//   such text can parse.
// AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer watch every step.
//
// Environment: ORVEL_FUZZ_TRACE=1 prints the API calls made, to turn a reproducer into code.
// ORVEL_FUZZ_AVOID=class,... steps around known faults that would otherwise trip on almost every
// input: unsound-input, prefixed-names, namespace-uris, declaration-scope, reserved-declarations,
// xhtml-output, carriage-returns, pi-leading-blanks, undeclared-entities, leading-bom,
// ns-reconciliation (see where `avoided` is called). It changes which edits an input makes.

#include "document/textcompletion.h"
#include "fuzz/canonical.h"
#include "fuzz/edits.h"
#include "fuzz/fuzzcheck.h"
#include "platform/xml/xmldocument.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmlwellformed.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdint>
#include <cstdio>
#include <exception>

using namespace fuzz;

namespace {

// One scratch file per process, reused by every input.
QString& scratchPath() {
    static QString path =
        QDir::tempPath() +
        QStringLiteral("/orvel-fuzz-%1.xml").arg(QCoreApplication::applicationPid());
    return path;
}

void removeScratch() {
    QFile::remove(scratchPath());
}

void writeScratch(const QByteArray& bytes) {
    QFile file(scratchPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("the scratch file cannot be written", scratchPath());
}

QByteArray readScratch() {
    QFile file(scratchPath());
    if (!file.open(QIODevice::ReadOnly))
        fail("the scratch file cannot be read", scratchPath());
    return file.readAll();
}

QString comparison(const QString& a, const QString& b, const QString& text) {
    return QStringLiteral("--- first\n%1--- second\n%2--- text\n%3").arg(a, b, text);
}

// Loads `text` (the document's serialisation) into a new document: the same tree, and the same
// text once more.
XmlDocument reloadMatches(const XmlDocument& doc, const QString& text) {
    XmlDocument again = XmlDocument::create();
    if (!again.loadXML(text))
        fail("the serialisation does not load again", again.parseError().reason + '\n' + text);
    // Read again as Apply reads the text view: written over its text, it is that text.
    again.keepSourceText(text.toUtf8());
    const QString before = canonicalForm(doc, Blanks::Keep);
    const QString after = canonicalForm(again, Blanks::Keep);
    if (before != after)
        fail("the reloaded document differs from the saved one", comparison(before, after, text));
    const QString second = serialised(again);
    if (second != text)
        fail("a second save differs from the first", comparison(text, second, text));
    return again;
}

void fileRoundTripMatches(const XmlDocument& doc, const QByteArray& input) {
    try {
        doc.save(scratchPath(), XmlDocument::SaveMode::Scratch);
    } catch (const XmlError& e) {
        // An encoding that a file can be read in but not safely written in is refused, the old
        // file kept; the user names another one in the declaration.
        if (e.description().startsWith(
                QLatin1String("The document cannot be saved in the encoding")))
            return;
        fail("a document loaded from a file cannot be saved", e.description());
    }
    const QByteArray first = readScratch();
    if (first != input)
        fail("a file saved with no change differs from the file",
             QString::fromLatin1(input.toHex()) + '\n' + QString::fromLatin1(first.toHex()));
    // The file itself, when libxml2 alone finds fault with it (bytes past the document that
    // libxml2's loader never decodes): saved as it was, nothing of it changed.
    const QString problem = strictParseProblem(first, Bytes::Encoded);
    if (!problem.isEmpty() && !strictParseProblem(input, Bytes::Encoded).isEmpty())
        return;
    if (!problem.isEmpty())
        fail("the saved file does not parse", problem + '\n' + QString::fromLatin1(first.toHex()));
    XmlDocument again = XmlDocument::create();
    if (!again.load(scratchPath()))
        fail("the saved file does not load again", again.parseError().reason);
    const QString before = canonicalForm(doc, Blanks::Keep);
    const QString after = canonicalForm(again, Blanks::Keep);
    if (before != after)
        fail("the file reloaded differs from the saved document",
             comparison(before, after, QString::fromLatin1(first.toHex())));
    again.save(scratchPath(), XmlDocument::SaveMode::Scratch);
    if (readScratch() != first)
        fail("a second file save differs from the first", QString::fromLatin1(first.toHex()));
}

// libxml2 invents prefixes (default, default1, p1, ...) when it reconciles the namespaces of
// moved nodes; whether `text` uses one that `input` does not.
bool hasInventedPrefix(const QString& text, const QByteArray& input) {
    static const QRegularExpression prefix(QStringLiteral(R"([<\s](default\d*|[A-Za-z_]+\d+):)"));
    for (const auto& match : prefix.globalMatch(text)) {
        if (!input.contains(match.captured(1).toUtf8() + ':'))
            return true;
    }
    return false;
}

bool load(XmlDocument& doc, const QByteArray& bytes, bool viaFile) {
    if (!viaFile)
        return doc.loadXML(QString::fromUtf8(bytes));
    writeScratch(bytes);
    return doc.load(scratchPath());
}

void checkAgreesWithLoad(const QByteArray& utf8, const XmlDocument& doc, bool loaded) {
    if (utf8.isEmpty())
        return; // no document and no error: the new document when applied
    const XmlWellFormedness check = CheckWellFormed(utf8);
    static const QRegularExpression referenceInNamespace(
        QStringLiteral(R"(xmlns(:[^=\s]+)?\s*=\s*("[^"]*&|'[^']*&))"));
    if (check.wellFormed && !loaded &&
        referenceInNamespace.match(QString::fromUtf8(utf8)).hasMatch())
        return;
    if (check.wellFormed != loaded)
        fail("the text check and the load disagree", doc.parseError().reason);
    const XmlParseError& error = doc.parseError();
    if (!loaded && (check.error.reason != error.reason || check.error.line != error.line ||
                    check.error.linepos != error.linepos))
        fail("the text check finds another error than the load",
             check.error.reason + QStringLiteral(" / ") + error.reason);
}

void checkCompletionReads(const QByteArray& utf8, const XmlDocument& doc) {
    // Learned, never read from files: an input may name any file as its DTD.
    const GrammarPtr grammar =
        GrammarLearned(doc.isNull() ? nullptr : doc.asNode().storage()->doc, 10000);
    const MarkupPlace::Namespaces root = RootNamespaces(utf8);
    const qsizetype step = std::max<qsizetype>(1, utf8.size() / 16);
    for (qsizetype caret = 0; caret <= utf8.size(); caret += step) {
        const QByteArrayView before = QByteArrayView(utf8).first(caret);
        const TextCompletion completion =
            CompleteText(*grammar, before, QByteArrayView(utf8).sliced(caret), root);
        if (completion.from < 0 || completion.from > caret)
            fail("completion starts after the caret", QString::number(caret));
        StartTagJustClosed(before);
    }
}

void run(const QByteArray& bytes, bool viaFile, Choices& choices, int edits) {
    XmlDocument doc = XmlDocument::create();
    const bool loaded = load(doc, bytes, viaFile);
    if (!viaFile) {
        checkAgreesWithLoad(QString::fromUtf8(bytes).toUtf8(), doc, loaded);
        checkCompletionReads(QString::fromUtf8(bytes).toUtf8(), doc);
    }
    trace(viaFile ? QStringLiteral("load") : QStringLiteral("loadXML"),
          loaded ? QStringLiteral("done") : doc.parseError().reason);
    if (!loaded) {
        if (doc.hasContent())
            fail("a failed load left content in the document");
        // Only the empty text (a lone byte order mark decodes to it) fails without a reason.
        const bool empty = viaFile ? bytes.isEmpty() : QString::fromUtf8(bytes).isEmpty();
        if (!empty && doc.parseError().reason.isEmpty())
            fail("a failed load gives no reason");
        return;
    }
    if (!doc.parseError().reason.isEmpty())
        fail("a successful load leaves a parse error", doc.parseError().reason);
    if ((avoided("xhtml-output") && bytes.contains("XHTML")) ||
        (avoided("undeclared-entities") && bytes.contains('%')))
        return;
    const QString text = serialised(doc);
    if (avoided("leading-bom") && text.contains(QChar(0xFEFF)))
        return;
    const QString problem = strictParseProblem(text.toUtf8(), Bytes::Decoded);
    if (!problem.isEmpty()) {
        const QString inputProblem =
            viaFile ? strictParseProblem(bytes, Bytes::Encoded)
                    : strictParseProblem(QString::fromUtf8(bytes).toUtf8(), Bytes::Decoded);
        if (inputProblem.isEmpty())
            fail("the serialisation of a sound input does not parse", problem + '\n' + text);
        if (!avoided("unsound-input"))
            fail("a document that is not namespace-well-formed loads", inputProblem + '\n' + text);
        return;
    }
    XmlDocument donor = reloadMatches(doc, text);
    if (viaFile)
        fileRoundTripMatches(doc, bytes);

    applyEdits(doc, donor, choices, edits);
    // The editor lets the user delete the document element; such a document has no text that
    // could parse, and nothing more to check.
    if (doc.documentElement().isNull())
        return;

    const QString edited = serialised(doc);
    if (avoided("ns-reconciliation") && hasInventedPrefix(edited, bytes))
        return;
    const QString editedProblem = strictParseProblem(edited.toUtf8(), Bytes::Decoded);
    if (!editedProblem.isEmpty())
        fail("the edited document's serialisation does not parse", editedProblem + '\n' + edited);
    XmlDocument reread = XmlDocument::create();
    if (!reread.loadXML(edited))
        fail("the edited document's serialisation does not load", reread.parseError().reason);
    const auto defaultNamespace =
        avoided("declaration-scope") ? DefaultNamespace::Skip : DefaultNamespace::Show;
    const QString before = canonicalForm(doc, Blanks::Drop, defaultNamespace);
    const QString after = canonicalForm(reread, Blanks::Drop, defaultNamespace);
    if (before != after)
        fail("the edited document differs from its reload", comparison(before, after, edited));
    reloadMatches(reread, serialised(reread));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const bool viaFile = data[0] & 1;
    const int edits = 1 + ((data[0] >> 1) & 7);
    Choices choices(quint64(data[0]) << 8 | data[1]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2),
                           static_cast<qsizetype>(size - 2));
    try {
        run(bytes, viaFile, choices, edits);
    } catch (const std::exception& e) {
        fail("an exception other than a refusal escaped", QString::fromUtf8(e.what()));
    }
    return 0;
}
