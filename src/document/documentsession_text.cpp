// The Document from text: Apply, refresh and Paste XML.

#include "document/documentsession.h"

#include "document/documentrules.h"
#include "platform/work/memoryahead.h"
#include "platform/work/memoryroom.h"
#include "platform/xml/xmldocumentaside.h"
#include "platform/xml/xmlhistory.h"

#include <QScopeGuard>

using namespace DocumentRules;

namespace {
// A document of a hundred megabytes takes a while to free, and its many small blocks stay with the
// program unless the heap is trimmed afterwards: both happen aside, the last reference to the old
// document going with it. (Anything else still holding a node keeps the document alive.)
void giveBackAside(XmlNode old) {
    if (old.isNull())
        return;
    AsideWork::Start([old = std::move(old)]() mutable {
        old = XmlNode();
        ReturnFreedMemory();
    });
}
} // namespace

// Work on a whole document that takes about as long as opening it runs aside: the window stays
// alive meanwhile, with its input held back. It cannot be stopped half-way, so Esc is not offered.
void DocumentSession::wholeDocumentWork(const QString& caption, qint64 size,
                                        const std::function<void()>& work) {
    if (size > kReadAside)
        runAside(caption, 0, false, [&work](WorkProgress&) { work(); });
    else
        work();
}

// Whether a document read from `textBytes` of text fits in memory beside `held`: a short one
// always does.
bool DocumentSession::fitsBeside(qint64 textBytes, const XmlDocument& held) {
    return textBytes <= kReadAside || FitsBeside(textBytes, held.sourceBytes(),
                                                 MemoryRoom::Resident(), MemoryRoom::Available());
}

// Parsed straight from `text` (on Apply, the text view's own buffer). The new Document is parsed
// beside the old one, which its undo step keeps. A long text is parsed aside; nothing can change
// the caller's buffer, nor the Document now shown, meanwhile. So the copy of the text the new
// Document keeps as its source, and the size of the old one that the undo step needs, are made on
// the other processor while the parse runs.
// A Document too large to be held twice is packed first, and its nodes freed, to make room for
// the new one; a text that does not parse then reads it back.
bool DocumentSession::ApplyText(QByteArrayView text, const QString& undoCaption) {
    return readText(text, nullptr, undoCaption);
}

// `own`, when given, is `text` as the Document shown wrote it: it becomes the new Document's source
// as it is, and what the Document shown is kept as while it makes room, instead of being written
// and compressed again.
bool DocumentSession::readText(QByteArrayView text, const OwnText* own,
                               const QString& undoCaption) {
    emit documentAboutToBeReplaced();
    XmlDocument parsed = XmlDocument::create();
    bool loaded = false;
    QByteArray source;
    XmlDocument& shown = m_objDocument.isNull() ? m_undoBase : m_objDocument;
    XmlDocument held;
    // The memory the one shown frees is the new one's.
    std::optional<FreedMemoryKept> kept;
    if (!shown.isNull() && !fitsBeside(text.size(), shown)) {
        emit documentMakingRoom();
        held = std::exchange(shown, XmlDocument());
        kept.emplace();
    }
    // Shown again when the work throws.
    const auto putBack = qScopeGuard([&shown, &held] {
        if (!held.isNull())
            shown = std::exchange(held, XmlDocument());
    });
    std::unique_ptr<XmlDocumentAside> aside;
    std::shared_ptr<AsideWork> beside;
    if (own)
        source = own->text;
    if (text.size() > kReadAside)
        beside = AsideWork::Start([&source, text, old = held.isNull() ? shown : XmlDocument()] {
            if (source.isNull())
                source = text.toByteArray();
            if (!old.isNull())
                old.prepareReplacement();
        });
    // Done with `source` and the caller's buffer before they go, also when the parse throws.
    const auto waitBeside = qScopeGuard([&beside] {
        try {
            if (beside)
                beside->Wait();
        } catch (...) {
        }
    });
    wholeDocumentWork(
        undoCaption.isEmpty() ? QStringLiteral("Refreshing") : QStringLiteral("Applying"),
        text.size(), [&] {
            if (!held.isNull() && own)
                aside =
                    std::make_unique<XmlDocumentAside>(std::move(held), own->text, own->overSource);
            else if (!held.isNull())
                aside = std::make_unique<XmlDocumentAside>(std::move(held));
            try {
                loaded = text.isEmpty() ? parsed.loadXML(kNewDocumentText) : parsed.loadUtf8(text);
            } catch (...) {
                if (aside)
                    held = aside->takeBack();
                throw;
            }
            if (aside && !loaded)
                held = std::exchange(aside, nullptr)->takeBack();
            if (beside)
                beside->Wait();
            else if (loaded && source.isNull())
                source = text.toByteArray();
            // Saved as typed: the text is the source its saves copy.
            if (loaded && !text.isEmpty() && aside)
                aside->keepSourceText(parsed, source);
            else if (loaded && !text.isEmpty())
                parsed.keepSourceText(source, m_objDocument);
        });
    kept.reset();
    if (!held.isNull())
        shown = std::exchange(held, XmlDocument());
    m_aside = std::move(aside);
    // Not taken by the new Document when taking it failed: shown again.
    const auto unused = qScopeGuard([this] {
        try {
            if (m_aside)
                (m_objDocument.isNull() ? m_undoBase : m_objDocument) =
                    std::exchange(m_aside, nullptr)->takeBack();
        } catch (...) {
        }
    });
    return takeParsed(parsed, loaded, text, undoCaption);
}

// `parsed` is what `text` gave (`loaded` when it parsed).
bool DocumentSession::takeParsed(const XmlDocument& parsed, bool loaded, QByteArrayView text,
                                 const QString& undoCaption) {
    // Text that stood for a file that did not parse: the Document made from it is what the file
    // holds only when nothing was typed into it.
    const bool fromFileText = m_objDocument.isNull() && m_undoBase.isNull() && !m_aside;
    const bool typed = m_view.hasTyping && m_view.hasTyping();
    m_strXMLText.clear();
    m_textError = {};
    emit documentAboutToBeReplaced();
    if (loaded) {
        XmlNode old = m_objDocument.isNull() ? XmlNode() : m_objDocument.asNode();
        // A Document without text (no element left) becomes a new one: a change of its own.
        if (!undoCaption.isEmpty())
            replaceDocument(parsed, undoCaption);
        else
            replaceDocument(parsed, text.isEmpty() ? QStringLiteral("Refresh") : QString(), true);
        giveBackAside(std::move(old));
        if (fromFileText && (typed || text.isEmpty()))
            m_objDocument.history().markUnsaved();
        m_parsedRevision = m_objDocument.revision();
        emit documentReplaced();
        return true;
    }
    m_strXMLText = text.toByteArray();
    m_textError = parsed.parseError();
    if (!parsed.parseError().reason.isEmpty())
        emit parseFailed(parsed.parseError());
    if (!m_objDocument.isNull())
        m_undoBase = m_objDocument;
    m_objDocument = XmlDocument();
    return false;
}

// Unchanged since it was parsed, parsing its serialisation again would give the same tree. So it
// is when no element is left but other nodes are: no parser takes that text, and the Document
// stays as it is, with its history. Otherwise it is read again from its own text; on a large
// document that takes a while, so it is done aside.
bool DocumentSession::Refresh(QByteArray* reread) {
    XmlDocument& document = Document();
    const bool noElement = document.documentElement().isNull() && !document.firstChild().isNull();
    if (document.revision() == m_parsedRevision || noElement)
        return false;
    OwnText own;
    QByteArray& text = own.text;
    XmlDocument parsed = XmlDocument::create();
    bool loaded = false;
    // A Document too large to be held twice is read once it has made room (readText).
    bool makeRoom = false;
    wholeDocumentWork(QStringLiteral("Refreshing"), document.sourceBytes(), [&] {
        own.overSource = document.writeXml([&text](const char* data, int len) {
            text.append(data, len);
            return true;
        });
        makeRoom = !fitsBeside(text.size(), document);
        if (makeRoom)
            return;
        loaded = !text.isEmpty() && parsed.loadUtf8(text);
        if (loaded)
            parsed.keepSourceText(text, document);
    });
    if (text.isEmpty())
        ApplyText({}); // no node left: a new document
    else if (makeRoom)
        loaded = readText(text, &own, QString());
    else
        takeParsed(parsed, loaded, text, QString());
    if (loaded && reread)
        *reread = std::move(text);
    return true;
}

// The text is parsed into a document of its own first, so text that does not parse leaves the
// Document as it was. That document then becomes the Document, also when there was none after
// text that did not parse, in an undo step that keeps the old one (packed when large, as Apply's).
// It replaces the current one under the current name and is not in any file yet: it counts as
// unsaved, so closing asks before it is lost. A long text is parsed aside; no copy of it is kept.
bool DocumentSession::PasteXml(QString text, QByteArray* utf8) {
    XmlDocument scratch = XmlDocument::create();
    bool loaded = false;
    wholeDocumentWork(QStringLiteral("Pasting"), text.size(), [&] {
        *utf8 = std::exchange(text, QString()).toUtf8();
        loaded = scratch.loadUtf8(*utf8);
    });
    if (!loaded) {
        if (!scratch.parseError().reason.isEmpty())
            emit parseFailed(scratch.parseError());
        return false;
    }
    emit documentAboutToBeReplaced();
    replaceDocument(scratch, QStringLiteral("Paste XML"));
    m_strXMLText.clear();
    m_parsedRevision = m_objDocument.revision();
    emit documentReplaced();
    return true;
}

QString DocumentSession::GetTextFromXML() const {
    return m_objDocument.isNull() ? QString::fromUtf8(m_strXMLText) : m_objDocument.xml();
}
