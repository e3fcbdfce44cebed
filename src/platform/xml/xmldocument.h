#pragma once

#include "platform/files/atomicfile.h"
#include "platform/work/workprogress.h"
#include "platform/xml/xmlnode.h"
#include "platform/xml/xmlparseerror.h"

#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

struct XmlDocumentObject;
class XmlHistory;
class XmlFileLoad;

// A DOM document. Copies share one document object (the content, the parse error); a default
// constructed XmlDocument is no object, and using it throws MissingObjectError.
class XmlDocument {
public:
    XmlDocument() = default;
    static XmlDocument create();

    bool isNull() const { return m_object == nullptr; }
    bool operator==(const XmlDocument& other) const { return m_object == other.m_object; }

    // Parse and replace the content. A malformed input gives false, fills parseError and leaves
    // the document empty; the empty text gives false with an empty parse error.
    bool loadXML(const QString& text);
    // The same for UTF-8 text, parsed straight from the caller's buffer without a copy.
    bool loadUtf8(QByteArrayView text);
    bool load(const QString& path);
    // Takes what a finished XmlFileLoad parsed, with the same result as load() of its file.
    bool load(XmlFileLoad& finished);
    // Write the serialisation in the encoding that the XML declaration names (UTF-8 without
    // one). The target is replaced only by a completely written file; a scratch save skips
    // waiting for the disk. `progress` (optional) counts the bytes written; a stop asked for
    // there ends the save with XmlError before the target is touched.
    using SaveMode = AtomicFile::Kind;
    void save(const QString& path, SaveMode mode = SaveMode::Durable,
              WorkProgress* progress = nullptr) const;

    // Keeps `utf8`, the text the document was just read from (loadUtf8), as the source whose bytes
    // its saves copy where nothing changed; the byte order mark of `like`'s source (its file's)
    // goes in front of a saved file.
    void keepSourceText(const QByteArray& utf8, const XmlDocument& like = {});
    // The text keepSourceText() kept (shared, not copied); empty when its source is another.
    QByteArray keptSourceText() const;
    // Measures beforehand what its nodes take, which replacing this document in its history needs,
    // on another thread while the document is not changed: a large document's replacement then
    // finds that walk done. (Its file's text is read only then: read beside the parse of its
    // replacement, a gigabyte file's text would come on top of both documents.)
    void prepareReplacement() const;
    // Whether it was read from a file that changed on disk before its text was needed again, so
    // that it is written in the editor's layout.
    bool lostItsSource() const;

    // Whether save writes UTF-8: the XML declaration names UTF-8 or no encoding.
    bool savesAsUtf8() const;
    const XmlParseError& parseError() const;
    QString xml() const;
    // The bytes of xml() in UTF-8, handed to `sink` piece by piece instead of as one copy; false
    // from the sink stops with XmlError. True when that is the document written over its source,
    // in the layout it was read with.
    bool writeXml(const std::function<bool(const char*, int)>& sink) const;
    // Whether the document has any node (its serialisation is not empty).
    bool hasContent() const;
    // The size of the text the document was read from; 0 for one made in memory. A measure of how
    // long work on the whole document takes, not changed by edits.
    qint64 sourceBytes() const;
    // Counts every change made through the XML layer; unchanged since a load means the content
    // is exactly what was parsed.
    quint64 revision() const;

    // A deep copy of the whole document that shares nothing with this one (not even the names'
    // dictionary), so another thread may read the copy while this one is edited or released.
    XmlDocument snapshot() const;

    // Undo and redo of the changes made in XmlChangeStep scopes (xmlhistory.h). A reload through
    // loadXML or load, like any change made outside a step, forgets it.
    XmlHistory& history() const;

    XmlNode asNode() const;
    XmlNode documentElement() const;
    XmlNodeList childNodes() const { return asNode().childNodes(); }
    XmlNode firstChild() const { return asNode().firstChild(); }
    XmlNode appendChild(const XmlNode& n) { return asNode().appendChild(n); }
    XmlNode insertBefore(const XmlNode& n, const XmlNode& ref) {
        return asNode().insertBefore(n, ref);
    }
    XmlNode removeChild(const XmlNode& n) { return asNode().removeChild(n); }
    XmlNode replaceChild(const XmlNode& n, const XmlNode& old) {
        return asNode().replaceChild(n, old);
    }
    XmlNode selectSingleNode(const QString& q) const { return asNode().selectSingleNode(q); }
    XmlNodeList selectNodes(const QString& q) const { return asNode().selectNodes(q); }

    XmlNode createElement(const QString& name);
    XmlNode createTextNode(const QString& text);
    XmlNode createComment(const QString& text);
    XmlNode createCDATASection(const QString& text);
    XmlNode createProcessingInstruction(const QString& target, const QString& data);
    // A deep (or shallow) copy of a node of any document, owned by this one and detached.
    XmlNode importNode(const XmlNode& node, bool deep);

    // For the XML layer: wraps the document object of a node's storage.
    explicit XmlDocument(std::shared_ptr<XmlDocumentObject> object) : m_object(std::move(object)) {}

private:
    friend class XmlHistory;
    friend class XmlDocumentAside;
    friend class XmlChangeStep;
    XmlDocumentObject& object() const;
    std::shared_ptr<XmlDocumentObject> m_object;
};
