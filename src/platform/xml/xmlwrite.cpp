// Serialisation over libxml2's writer, with the corrections the files it writes need to read
// back as they were: layout only where it is layout, namespace values escaped, the document
// type declaration as it was read, and no encoding that a reader could not recognise.

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlescape.h"
#include "platform/xml/xmllibrary.h"
#include "platform/xml/xmlserialize.h"
#include "platform/xml/xmlsourcewrite.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmltreewalk.h"
#include "platform/xml/xmlwhitespace.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlsave.h>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace xmlimpl {
namespace {

struct SinkContext {
    const std::function<bool(const char*, int)>* sink;
    bool failed = false;
};

int writeToSink(void* context, const char* buffer, int len) {
    auto* c = static_cast<SinkContext*>(context);
    if (c->failed || !(*c->sink)(buffer, len)) {
        c->failed = true;
        return -1;
    }
    return len;
}

int closeNothing(void*) {
    return 0;
}

// libxml2 writes the value of a namespace declaration as it is, so an `&` or `<` in it would
// make a file that no longer parses. For the time of writing each such value holds its escaped
// form; white space other than a space is written as a reference, which a reader keeps as it is.
class EscapedNamespaceValues {
public:
    static bool needed(xmlNodePtr root) {
        bool any = false;
        walkElements(
            root,
            [&any](xmlNodePtr element) {
                for (xmlNsPtr ns = element->nsDef; ns && !any; ns = ns->next)
                    any = escapes(ns->href);
            },
            [](xmlNodePtr) {});
        return any;
    }
    explicit EscapedNamespaceValues(xmlNodePtr root) {
        walkElements(
            root,
            [this](xmlNodePtr element) {
                for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
                    if (!escapes(ns->href))
                        continue;
                    m_swapped.emplace_back(ns, ns->href);
                    ns->href = escaped(ns->href);
                }
            },
            [](xmlNodePtr) {});
    }
    ~EscapedNamespaceValues() {
        for (auto& [ns, original] : m_swapped) {
            xmlFree(const_cast<xmlChar*>(ns->href));
            ns->href = original;
        }
    }
    EscapedNamespaceValues(const EscapedNamespaceValues&) = delete;
    EscapedNamespaceValues& operator=(const EscapedNamespaceValues&) = delete;

private:
    static bool escapes(const xmlChar* href) {
        return href && std::strpbrk(reinterpret_cast<const char*>(href), "&<>\"\t\n\r");
    }
    static xmlChar* escaped(const xmlChar* value) {
        QByteArray out;
        for (const char* p = reinterpret_cast<const char*>(value); *p; ++p) {
            if (const char* reference = referenceFor(*p, '"'))
                out += reference;
            else
                out += *p;
        }
        return xmlStrdup(xc(out));
    }
    std::vector<std::pair<xmlNsPtr, const xmlChar*>> m_swapped;
};

// The document type declaration is written as it was read: the tree never changes its inside,
// and libxml2 would rebuild it from its tables, losing parameter-entity references, dropping
// defaults it found unfit and ordering notations differently on every run. For the time of
// writing, a text node that the writer copies unescaped stands in its place.
class DoctypeAsRead {
public:
    DoctypeAsRead(const XmlStorage& storage, xmlNodePtr root) {
        if (root->type != XML_DOCUMENT_NODE)
            return;
        for (xmlNodePtr c = root->children; c; c = c->next) {
            const QByteArray* text = storage.doctypeTextOf(c);
            if (!text)
                continue;
            m_doctype = c;
            m_standIn = xmlNewDocText(storage.doc, xc(*text));
            m_standIn->name = xmlStringTextNoenc;
            swap(m_doctype, m_standIn);
            return;
        }
    }
    ~DoctypeAsRead() {
        if (!m_standIn)
            return;
        swap(m_standIn, m_doctype);
        xmlFreeNode(m_standIn);
    }
    DoctypeAsRead(const DoctypeAsRead&) = delete;
    DoctypeAsRead& operator=(const DoctypeAsRead&) = delete;

private:
    // Pointers set by hand: libxml2's own functions would also change the document's subset.
    static void swap(xmlNodePtr out, xmlNodePtr in) {
        in->parent = out->parent;
        in->prev = out->prev;
        in->next = out->next;
        if (out->prev)
            out->prev->next = in;
        else
            out->parent->children = in;
        if (out->next)
            out->next->prev = in;
        else
            out->parent->last = in;
    }
    xmlNodePtr m_doctype = nullptr;
    xmlNodePtr m_standIn = nullptr;
};

// Everything the writer needs changed for the time of writing a subtree.
struct WritingAsRead {
    WritingAsRead(const XmlStorage& storage, xmlNodePtr root)
        : marks(root), escapes(root), doctype(storage, root) {}
    LayoutMarks marks;
    EscapedNamespaceValues escapes;
    DoctypeAsRead doctype;
};

// As XML always: libxml2 would switch to its XHTML rules for a document whose DOCTYPE names XHTML.
void saveWith(const QByteArray& encoding, const std::function<bool(const char*, int)>& sink,
              const std::function<void(xmlSaveCtxtPtr)>& body) {
    SinkContext context{&sink};
    ErrorCapture scope; // keeps libxml2 from printing conversion errors
    xmlSaveCtxtPtr save = xmlSaveToIO(writeToSink, closeNothing, &context,
                                      encoding.isEmpty() ? "UTF-8" : encoding.constData(),
                                      XML_SAVE_FORMAT | XML_SAVE_NO_DECL | XML_SAVE_NO_XHTML);
    if (!save)
        throw XmlError(QStringLiteral("The encoding \"%1\" is not supported.")
                           .arg(QString::fromLatin1(encoding)));
    body(save);
    xmlSaveClose(save);
    if (context.failed)
        throw XmlError(QStringLiteral("The document could not be written."));
    if (scope.have)
        throw XmlError(scope.reason);
}

QByteArray normalized(const QByteArray& encoding) {
    return encoding.toUpper().replace('-', "").replace('_', "");
}

bool isUnicodeEncoding(const QByteArray& encoding) {
    const QByteArray e = normalized(encoding);
    return e.isEmpty() || e == "UTF8" || e == "UTF16" || e == "UTF16LE" || e == "UTF16BE";
}

// A reader finds the encoding by reading the XML declaration, so apart from UTF-16 (known by
// its first bytes) only an encoding that writes markup as ASCII does can be read back. UTF-7,
// for one, writes `<` as `+ADw-`.
void checkReadableBack(const QByteArray& encoding) {
    if (isUnicodeEncoding(encoding))
        return;
    iconv_t converter = iconv_open(encoding.constData(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return; // unknown to iconv: libxml2 reports the encoding itself
    QByteArray markup = "\t\n\r <>&;#\"'=?!/[]-:%_.()|*+,0123456789"
                        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    char buffer[256];
    char* in = markup.data();
    size_t inLeft = static_cast<size_t>(markup.size());
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const bool converted =
        iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    if (converted && QByteArrayView(buffer, out - buffer) == markup)
        return;
    throw XmlError(QStringLiteral("The document cannot be saved in the encoding %1: a file "
                                  "written in it could not be read again. Name another encoding "
                                  "(such as UTF-8) in the XML declaration.")
                       .arg(QString::fromLatin1(encoding)));
}

// Text and attribute values can carry any character as a character reference; names, comments,
// processing instructions, CDATA sections and the document type declaration cannot. Before
// writing in a single-byte encoding, every such part is checked, so that no file is written that
// says something else.
void checkRepresentable(const XmlStorage& storage, const QByteArray& encoding) {
    iconv_t converter = iconv_open(encoding.constData(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return; // unknown to iconv: libxml2 reports the encoding itself
    auto fits = [&](const xmlChar* text) {
        if (!text)
            return true;
        char* in = const_cast<char*>(reinterpret_cast<const char*>(text));
        size_t inLeft = std::strlen(in);
        char buffer[256];
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) &&
                errno != E2BIG)
                return false;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        return true;
    };
    QString offending;
    std::vector<xmlNodePtr> stack;
    for (xmlNodePtr c = storage.doc->children; c; c = c->next)
        stack.push_back(c);
    while (!stack.empty() && offending.isEmpty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        switch (n->type) {
        case XML_ELEMENT_NODE:
            if (!fits(n->name) || (n->ns && !fits(n->ns->prefix)))
                offending = QStringLiteral("the element name '%1'").arg(qs(n->name));
            for (xmlAttrPtr a = n->properties; a && offending.isEmpty(); a = a->next) {
                if (!fits(a->name))
                    offending = QStringLiteral("the attribute name '%1'").arg(qs(a->name));
            }
            for (xmlNodePtr c = n->children; c; c = c->next)
                stack.push_back(c);
            break;
        case XML_COMMENT_NODE:
            if (!fits(n->content))
                offending = QStringLiteral("the comment '%1'").arg(qs(n->content).left(40));
            break;
        case XML_PI_NODE:
            if (!fits(n->name) || !fits(n->content))
                offending = QStringLiteral("the processing instruction '%1'").arg(qs(n->name));
            break;
        case XML_CDATA_SECTION_NODE:
            if (!fits(n->content))
                offending = QStringLiteral("the CDATA section '%1'").arg(qs(n->content).left(40));
            break;
        case XML_DTD_NODE:
            if (const QByteArray* text = storage.doctypeTextOf(n); text && !fits(xc(*text)))
                offending = QStringLiteral("the document type declaration");
            break;
        default:
            break;
        }
    }
    iconv_close(converter);
    if (!offending.isEmpty())
        throw XmlError(
            QStringLiteral("The document cannot be saved in the encoding %1: %2 holds a character "
                           "that this encoding cannot represent.")
                .arg(QString::fromLatin1(encoding), offending));
}

} // namespace

bool serializeTo(const XmlStorage& storage, xmlNodePtr node, const TextSink& sink) {
    if (node == reinterpret_cast<xmlNodePtr>(storage.doc) && writeOverSource(storage, sink))
        return true;
    if (const QByteArray* text = storage.doctypeTextOf(node)) {
        if (!sink(text->constData(), static_cast<int>(text->size())))
            throw XmlError(QStringLiteral("The document could not be written."));
        return false;
    }
    storage.readerGate.stopReader(); // the writer changes the tree for a moment
    WritingAsRead asRead(storage, node);
    saveWith("UTF-8", sink, [&](xmlSaveCtxtPtr save) {
        if (node == reinterpret_cast<xmlNodePtr>(storage.doc))
            xmlSaveDoc(save, storage.doc);
        else
            xmlSaveTree(save, node);
    });
    return false;
}

bool serializeInPlace(const XmlStorage& storage, const TextSink& sink) {
    if (writeOverSource(storage, sink))
        return true;
    xmlNodePtr root = reinterpret_cast<xmlNodePtr>(storage.doc);
    for (xmlNodePtr c = root->children; c; c = c->next) {
        if (storage.doctypeTextOf(c))
            return false;
    }
    if (LayoutMarks::needed(root) || EscapedNamespaceValues::needed(root))
        return false;
    saveWith("UTF-8", sink, [&](xmlSaveCtxtPtr save) { xmlSaveDoc(save, storage.doc); });
    return true;
}

QByteArray serialize(const XmlStorage& storage, xmlNodePtr node) {
    QByteArray out;
    serializeTo(storage, node, [&out](const char* b, int n) {
        out.append(b, n);
        return true;
    });
    return out;
}

void serializeDocument(const XmlStorage& storage, const QByteArray& encoding,
                       const std::function<bool(const char*, int)>& sink) {
    checkReadableBack(encoding);
    if (!isUnicodeEncoding(encoding))
        checkRepresentable(storage, encoding);
    if (saveOverSource(storage, encoding, sink))
        return;
    storage.readerGate.stopReader(); // the writer changes the tree for a moment
    xmlNodePtr root = reinterpret_cast<xmlNodePtr>(storage.doc);
    WritingAsRead asRead(storage, root);
    saveWith(encoding, sink, [&](xmlSaveCtxtPtr save) { xmlSaveDoc(save, storage.doc); });
}

} // namespace xmlimpl
