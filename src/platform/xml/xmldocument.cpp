#include "platform/xml/xmldocument.h"

#include "platform/xml/xmlchecks.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlfileload.h"
#include "platform/xml/xmlhistory.h"
#include "platform/xml/xmlnamespaces.h"
#include "platform/xml/xmlparse.h"
#include "platform/xml/xmlserialize.h"
#include "platform/xml/xmlstorage.h"

#include <libxml/entities.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace xmlimpl;

namespace {

std::shared_ptr<XmlStorage> emptyStorage() {
    return newStorage(xmlNewDoc(BAD_CAST "1.0"));
}

// The encoding named by the document's XML declaration, empty without one.
QByteArray declaredEncoding(xmlDocPtr doc) {
    xmlNodePtr first = doc->children;
    if (!first || first->type != XML_PI_NODE || !xmlStrEqual(first->name, BAD_CAST "xml"))
        return {};
    static const QRegularExpression encoding(QStringLiteral(R"(encoding\s*=\s*["']([^"']+)["'])"));
    const auto match = encoding.match(qs(first->content));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

// An entity the target document does not declare would leave a reference that no longer
// parses: such references become text, with the replacement text of the source document.
xmlNodePtr resolveForeignEntities(xmlNodePtr copy, xmlDocPtr source, xmlDocPtr target) {
    std::vector<xmlNodePtr> stack{copy};
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        if (n->type == XML_ELEMENT_NODE) {
            for (xmlNodePtr c = n->children; c; c = c->next)
                stack.push_back(c);
            continue;
        }
        if (n->type != XML_ENTITY_REF_NODE || xmlGetDocEntity(target, n->name))
            continue;
        xmlEntityPtr entity = xmlGetDocEntity(source, n->name);
        xmlChar* value = entity ? xmlNodeListGetString(source, entity->children, 1) : nullptr;
        xmlNodePtr text = xmlNewDocText(target, value ? value : BAD_CAST "");
        xmlFree(value);
        if (n == copy) {
            xmlFreeNode(n);
            copy = text;
        } else {
            xmlReplaceNode(n, text);
            xmlFreeNode(n);
        }
    }
    return copy;
}

} // namespace

XmlDocument XmlDocument::create() {
    auto object = std::make_shared<XmlDocumentObject>();
    object->storage = emptyStorage();
    object->storage->owner = object;
    return XmlDocument(object);
}

XmlDocumentObject& XmlDocument::object() const {
    if (!m_object)
        throw MissingObjectError();
    return *m_object;
}

namespace {
bool adopt(XmlDocumentObject& object, const std::shared_ptr<XmlDocumentObject>& self,
           const ParsedDocument& parsed, qint64 sourceBytes) {
    if (object.storage)
        object.storage->forgetHistory();
    object.storage = parsed.doc ? newStorage(parsed.doc) : emptyStorage();
    object.storage->owner = self;
    object.storage->sourceBytes = parsed.doc ? sourceBytes : 0;
    if (parsed.doc)
        object.storage->source = parsed.source;
    if (parsed.doc && parsed.doc->intSubset && !parsed.doctypeText.isEmpty())
        object.storage->doctypeTexts.emplace(reinterpret_cast<xmlNodePtr>(parsed.doc->intSubset),
                                             parsed.doctypeText);
    return parsed.doc != nullptr;
}
} // namespace

bool XmlDocument::loadXML(const QString& text) {
    return loadUtf8(text.toUtf8());
}

bool XmlDocument::loadUtf8(QByteArrayView text) {
    XmlDocumentObject& o = object();
    if (text.isEmpty()) {
        o.parseError = {};
        adopt(o, m_object, {}, 0);
        return false;
    }
    return adopt(o, m_object,
                 parseText(QByteArray::fromRawData(text.data(), text.size()), o.parseError),
                 text.size());
}

bool XmlDocument::load(const QString& path) {
    XmlDocumentObject& o = object();
    return adopt(o, m_object, parseFile(path, o.parseError), QFileInfo(path).size());
}

bool XmlDocument::load(XmlFileLoad& finished) {
    XmlDocumentObject& o = object();
    const qint64 bytes = finished.totalBytes();
    return adopt(o, m_object, finished.take(o.parseError), bytes);
}

void XmlDocument::keepSourceText(const QByteArray& utf8, const XmlDocument& like) {
    XmlStorage& storage = *object().storage;
    if (!storage.doc->children)
        return;
    std::lock_guard<std::mutex> lock(storage.sourceMutex);
    storage.source = {};
    storage.source.kind = XmlSource::Kind::Text;
    storage.source.text = utf8;
    storage.source.read = true;
    if (!like.isNull() && like.m_object->storage) {
        const XmlStorage& other = *like.m_object->storage;
        std::lock_guard<std::mutex> otherLock(other.sourceMutex);
        storage.source.bom = other.source.bom;
        storage.source.encoding = other.source.encoding;
    }
}

QByteArray XmlDocument::keptSourceText() const {
    const XmlStorage& storage = *object().storage;
    std::lock_guard<std::mutex> lock(storage.sourceMutex);
    return storage.source.kind == XmlSource::Kind::Text ? storage.source.text : QByteArray();
}

bool XmlDocument::lostItsSource() const {
    const XmlStorage& storage = *object().storage;
    std::lock_guard<std::mutex> lock(storage.sourceMutex);
    return storage.source.lost;
}

bool XmlDocument::savesAsUtf8() const {
    const QByteArray encoding = declaredEncoding(object().storage->doc).toUpper();
    return encoding.isEmpty() || encoding == "UTF-8" || encoding == "UTF8";
}

void XmlDocument::save(const QString& path, SaveMode mode, WorkProgress* progress) const {
    XmlDocumentObject& o = object();
    auto fail = [&path](const QString& why) {
        throw XmlError(QStringLiteral("The file %1 cannot be written: %2").arg(path, why));
    };
    const QByteArray encoding = declaredEncoding(o.storage->doc);
    // A document is saved where its owner reads it, in the replaced file's mode; a scratch copy
    // is for this program alone.
    AtomicFile file(path, mode,
                    mode == SaveMode::Durable ? AtomicFile::Access::AsBefore
                                              : AtomicFile::Access::OwnerOnly);
    if (!file.open())
        fail(file.errorString());
    serializeDocument(*o.storage, encoding, [&file, progress](const char* data, int len) {
        if (progress) {
            if (progress->stop.load(std::memory_order_relaxed))
                return false;
            progress->done.fetch_add(len, std::memory_order_relaxed);
        }
        return file.write(data, len);
    });
    // Unchanged, it wrote its file's very bytes: where that was the file itself, the file is
    // still its source, with a new time. A writer aside (the text view's) that reads the file
    // between the replacement and the new time would take it for a file changed by another
    // program and drop the source for good, so the two happen under the source's lock.
    XmlStorage& storage = *o.storage;
    std::unique_lock<std::mutex> lock(storage.sourceMutex, std::defer_lock);
    const bool unchanged = storage.touched.empty() && storage.moved.empty();
    if (unchanged)
        lock.lock();
    if (!file.commit())
        fail(file.errorString());
    if (unchanged) {
        XmlSource& source = storage.source;
        const QFileInfo written(path);
        if (source.kind == XmlSource::Kind::File && written.absoluteFilePath() == source.path &&
            written.size() == source.size)
            source.modified = written.lastModified();
    }
}

const XmlParseError& XmlDocument::parseError() const {
    return object().parseError;
}

QString XmlDocument::xml() const {
    XmlDocumentObject& o = object();
    return QString::fromUtf8(serialize(*o.storage, reinterpret_cast<xmlNodePtr>(o.storage->doc)));
}

bool XmlDocument::writeXml(const std::function<bool(const char*, int)>& sink) const {
    XmlDocumentObject& o = object();
    return serializeTo(*o.storage, reinterpret_cast<xmlNodePtr>(o.storage->doc), sink);
}

bool XmlDocument::hasContent() const {
    return object().storage->doc->children != nullptr;
}

qint64 XmlDocument::sourceBytes() const {
    return object().storage->sourceBytes;
}

quint64 XmlDocument::revision() const {
    return object().storage->revision;
}

XmlHistory& XmlDocument::history() const {
    XmlDocumentObject& o = object();
    if (!o.history) {
        o.history = std::make_shared<XmlHistory>();
        o.history->m_owner = m_object;
    }
    return *o.history;
}

XmlNode XmlDocument::asNode() const {
    XmlDocumentObject& o = object();
    return XmlNode(reinterpret_cast<xmlNodePtr>(o.storage->doc), o.storage);
}

XmlNode XmlDocument::documentElement() const {
    XmlDocumentObject& o = object();
    xmlNodePtr root = xmlDocGetRootElement(o.storage->doc);
    return root ? XmlNode(root, o.storage) : XmlNode();
}

namespace {
XmlNode adoptNew(const std::shared_ptr<XmlStorage>& storage, xmlNodePtr node) {
    if (!node)
        throw XmlError(QStringLiteral("The node could not be created."));
    storage->keepDetached(node);
    return XmlNode(node, storage);
}
} // namespace

XmlNode XmlDocument::createElement(const QString& name) {
    XmlDocumentObject& o = object();
    checkName(name, "element");
    const QByteArray n = name.toUtf8();
    XmlNode element = adoptNew(o.storage, xmlNewDocNode(o.storage->doc, nullptr, xc(n), nullptr));
    o.storage->unplaced.insert(element.raw());
    return element;
}

XmlNode XmlDocument::createTextNode(const QString& text) {
    XmlDocumentObject& o = object();
    checkChars(text);
    const QByteArray t = text.toUtf8();
    return adoptNew(o.storage, xmlNewDocText(o.storage->doc, xc(t)));
}

XmlNode XmlDocument::createComment(const QString& value) {
    XmlDocumentObject& o = object();
    const QString text = asReadBack(value);
    checkComment(text);
    const QByteArray t = text.toUtf8();
    return adoptNew(o.storage, xmlNewDocComment(o.storage->doc, xc(t)));
}

XmlNode XmlDocument::createCDATASection(const QString& value) {
    XmlDocumentObject& o = object();
    const QString text = asReadBack(value);
    checkChars(text);
    const QByteArray t = text.toUtf8();
    return adoptNew(o.storage, xmlNewCDataBlock(o.storage->doc, xc(t), static_cast<int>(t.size())));
}

XmlNode XmlDocument::createProcessingInstruction(const QString& target, const QString& value) {
    XmlDocumentObject& o = object();
    const QString data = asReadBack(value, true);
    checkPI(target, data);
    const QByteArray t = target.toUtf8();
    const QByteArray d = data.toUtf8();
    return adoptNew(o.storage, xmlNewDocPI(o.storage->doc, xc(t), d.isEmpty() ? nullptr : xc(d)));
}

XmlNode XmlDocument::importNode(const XmlNode& node, bool deep) {
    XmlDocumentObject& o = object();
    if (node.isNull())
        throw MissingObjectError();
    if (node.isNamespaceDeclaration() || node.nodeType() == NODE_DOCUMENT ||
        node.nodeType() == NODE_DOCUMENT_TYPE)
        throw XmlError(QStringLiteral("This kind of node cannot be copied."));
    xmlNodePtr copy = xmlDocCopyNode(node.raw(), o.storage->doc, deep ? 1 : 2);
    if (copy) {
        keepCopiedNamespaces(node.raw(), copy, node.storage() == o.storage);
        copy = resolveForeignEntities(copy, node.storage()->doc, o.storage->doc);
    }
    return adoptNew(o.storage, copy);
}
