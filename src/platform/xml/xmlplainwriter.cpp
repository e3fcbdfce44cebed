#include "platform/xml/xmlplainwriter.h"

#include "platform/xml/xmlescape.h"
#include "platform/xml/xmlstorage.h"

#include <QByteArray>

#include <cstring>

namespace xmlimpl {
namespace {

class PlainWriter {
public:
    PlainWriter(const XmlStorage& storage, const std::function<bool(const char*, int)>& sink,
                const std::atomic<bool>& stop)
        : m_storage(storage), m_sink(sink), m_stop(stop) {}

    bool write() {
        xmlNodePtr root = reinterpret_cast<xmlNodePtr>(m_storage.doc);
        xmlNodePtr n = root->children;
        while (n && m_ok) {
            if (enter(n) && n->children) {
                n = n->children;
                continue;
            }
            while (n && !n->next && n->parent != root) {
                n = n->parent;
                leave(n);
            }
            if (n && n->parent == root)
                put("\n");
            n = n ? n->next : nullptr;
        }
        flush();
        return m_ok;
    }

private:
    void put(const char* s, size_t len) {
        m_buffer.append(s, static_cast<qsizetype>(len));
        if (m_buffer.size() >= 64 * 1024)
            flush();
    }
    void put(const char* s) { put(s, std::strlen(s)); }
    void put(const xmlChar* s) {
        if (s)
            put(reinterpret_cast<const char*>(s));
    }
    void flush() {
        if (m_ok && (m_stop.load() || !m_sink(m_buffer.constData(), int(m_buffer.size()))))
            m_ok = false;
        m_buffer.clear();
    }
    void escaped(const xmlChar* text, bool attribute) {
        for (const char* p = reinterpret_cast<const char*>(text); p && *p; ++p) {
            if (const char* reference = referenceFor(*p, attribute ? '"' : 0))
                put(reference);
            else
                put(p, 1);
        }
    }
    void name(xmlNodePtr n) {
        if (n->ns && n->ns->prefix) {
            put(n->ns->prefix);
            put(":");
        }
        put(n->name);
    }
    void attributes(xmlNodePtr element) {
        for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
            put(ns->prefix ? " xmlns:" : " xmlns");
            put(ns->prefix);
            put("=\"");
            escaped(ns->href, true);
            put("\"");
        }
        for (xmlAttrPtr a = element->properties; a; a = a->next) {
            put(" ");
            name(reinterpret_cast<xmlNodePtr>(a));
            put("=\"");
            for (xmlNodePtr c = a->children; c; c = c->next) {
                if (c->type == XML_ENTITY_REF_NODE) {
                    put("&");
                    put(c->name);
                    put(";");
                } else {
                    escaped(c->content, true);
                }
            }
            put("\"");
        }
    }
    // Writes the start of `n`; true when its children are to be written next.
    bool enter(xmlNodePtr n) {
        switch (n->type) {
        case XML_ELEMENT_NODE:
            put("<");
            name(n);
            attributes(n);
            put(n->children ? ">" : "/>");
            return n->children != nullptr;
        case XML_TEXT_NODE:
            escaped(n->content, false);
            break;
        case XML_CDATA_SECTION_NODE: {
            put("<![CDATA[");
            const QByteArray content(reinterpret_cast<const char*>(n->content));
            const QByteArray split = QByteArray(content).replace("]]>", "]]]]><![CDATA[>");
            put(split.constData(), static_cast<size_t>(split.size()));
            put("]]>");
            break;
        }
        case XML_COMMENT_NODE:
            put("<!--");
            put(n->content);
            put("-->");
            break;
        case XML_PI_NODE:
            put("<?");
            put(n->name);
            if (n->content && *n->content) {
                put(" ");
                put(n->content);
            }
            put("?>");
            break;
        case XML_ENTITY_REF_NODE:
            put("&");
            put(n->name);
            put(";");
            break;
        case XML_DTD_NODE:
            if (const QByteArray* text = m_storage.doctypeTextOf(n))
                put(text->constData(), static_cast<size_t>(text->size()));
            break;
        default:
            break;
        }
        return false;
    }
    void leave(xmlNodePtr n) {
        if (n->type != XML_ELEMENT_NODE)
            return;
        put("</");
        name(n);
        put(">");
    }

    const XmlStorage& m_storage;
    const std::function<bool(const char*, int)>& m_sink;
    const std::atomic<bool>& m_stop;
    QByteArray m_buffer;
    bool m_ok = true;
};

} // namespace

bool writePlain(const XmlStorage& storage, const std::function<bool(const char*, int)>& sink,
                const std::atomic<bool>& stop) {
    return !stop.load() && PlainWriter(storage, sink, stop).write();
}

} // namespace xmlimpl
