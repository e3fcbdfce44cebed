// The limits of a parse, and what a document's entities and namespace values mean.

#include "platform/xml/xmlparseguard.h"

#include "platform/xml/xmlorigin.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmltreewalk.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>

#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace xmlimpl {

namespace {

// Entities may expand to this much text in all, or ten times the document, whichever is more.
constexpr unsigned long long kExpansionFloor = 1'000'000;
constexpr unsigned long long kExpansionRatio = 10;
// libxml2 itself gives up on entities nested deeper than this.
constexpr int kEntityNesting = 1024;

unsigned long long bytesRead(xmlParserCtxtPtr ctxt) {
    if (!ctxt->input)
        return 0;
    return ctxt->input->consumed +
           static_cast<unsigned long long>(ctxt->input->cur - ctxt->input->base);
}

unsigned long long expansionLimit(unsigned long long inputBytes) {
    return std::max(kExpansionFloor, kExpansionRatio * inputBytes);
}

QString name(const xmlChar* s) {
    return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

// Where a reference starts in replacement text: "&name;" gives the name, "&#...;" the character.
struct Reference {
    bool character = false;
    QByteArray text; // the name, or the character in UTF-8
    const xmlChar* end = nullptr;
};

std::optional<Reference> referenceAt(const xmlChar* at) {
    const xmlChar* semicolon = xmlStrchr(at, ';');
    if (at[0] != '&' || !semicolon)
        return std::nullopt;
    Reference ref;
    ref.end = semicolon + 1;
    if (at[1] != '#') {
        ref.text = QByteArray(reinterpret_cast<const char*>(at + 1), semicolon - at - 1);
        return ref;
    }
    ref.character = true;
    const bool hex = at[2] == 'x';
    bool ok = false;
    const uint code = QByteArray(reinterpret_cast<const char*>(at + (hex ? 3 : 2)),
                                 semicolon - at - (hex ? 3 : 2))
                          .toUInt(&ok, hex ? 16 : 10);
    if (!ok)
        return std::nullopt;
    const char32_t c = code;
    ref.text = QString::fromUcs4(&c, 1).toUtf8();
    return ref;
}

QString expansionRefusal(const xmlChar* entityName) {
    return QStringLiteral("Entity '%1' expands to more text than the editor opens: over ten "
                          "times the size of the document, or a megabyte.")
        .arg(name(entityName));
}

bool isBlank(xmlChar c) {
    return c == 0x20 || c == 0x9 || c == 0xA || c == 0xD;
}

// How long an entity's text is once every reference in it is replaced, counted up to `limit`.
class ExpansionSizes {
public:
    ExpansionSizes(xmlDocPtr doc, unsigned long long limit) : m_doc(doc), m_limit(limit) {}

    unsigned long long of(xmlEntityPtr entity, int nesting = 0) {
        if (const auto known = m_sizes.find(entity); known != m_sizes.end())
            return known->second;
        // A loop is libxml2's to report where the entity is used; it adds nothing here.
        if (nesting > kEntityNesting || !m_open.insert(entity).second)
            return nesting > kEntityNesting ? m_limit + 1 : 0;
        unsigned long long size = 0;
        for (const xmlChar* at = entity->content; at && *at && size <= m_limit;) {
            const std::optional<Reference> ref = *at == '&' ? referenceAt(at) : std::nullopt;
            if (!ref || ref->character) {
                ++size;
                at = ref ? ref->end : at + 1;
                continue;
            }
            xmlEntityPtr inner =
                xmlGetDocEntity(m_doc, reinterpret_cast<const xmlChar*>(ref->text.constData()));
            size += inner && inner->etype == XML_INTERNAL_GENERAL_ENTITY ? of(inner, nesting + 1)
                                                                         : ref->end - at;
            at = ref->end;
        }
        m_open.erase(entity);
        return m_sizes[entity] = std::min(size, m_limit + 1);
    }

private:
    xmlDocPtr m_doc;
    unsigned long long m_limit;
    std::unordered_map<xmlEntityPtr, unsigned long long> m_sizes;
    std::unordered_set<xmlEntityPtr> m_open;
};

// An attribute value as libxml2 holds it while entities are left unexpanded ("&#38;" for an
// ampersand, "&name;" for a reference), expanded as a namespace-aware reader of the file gets it.
// Fails (with the reason) for an entity the document does not declare, or one nested too deep.
struct Expanded {
    QByteArray value;
    QString failure;
};

void expandInto(xmlDocPtr doc, const xmlChar* text, bool replacement, int nesting, Expanded& out) {
    for (const xmlChar* at = text; at && *at && out.failure.isEmpty();) {
        if (*at != '&') {
            // Line ends and tabs in replacement text count as spaces, as in the value itself.
            out.value.append(replacement && isBlank(*at) ? ' ' : static_cast<char>(*at));
            ++at;
            continue;
        }
        const std::optional<Reference> ref = referenceAt(at);
        if (!ref) {
            out.value.append('&');
            ++at;
            continue;
        }
        at = ref->end;
        if (ref->character) {
            out.value.append(ref->text);
            continue;
        }
        const xmlChar* entityName = reinterpret_cast<const xmlChar*>(ref->text.constData());
        if (xmlEntityPtr predefined = xmlGetPredefinedEntity(entityName)) {
            out.value.append(reinterpret_cast<const char*>(predefined->content));
            continue;
        }
        xmlEntityPtr entity = xmlGetDocEntity(doc, entityName);
        if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY) {
            out.failure = QStringLiteral("The namespace name refers to the entity '%1', which "
                                         "the document does not declare: what it means is not "
                                         "known.")
                              .arg(name(entityName));
            return;
        }
        if (nesting >= kEntityNesting) {
            out.failure = QStringLiteral("Detected an entity reference loop");
            return;
        }
        expandInto(doc, entity->content, true, nesting + 1, out);
    }
}

bool isReservedNamespace(const xmlChar* href, const xmlChar* prefix) {
    if (xmlStrEqual(href, BAD_CAST "http://www.w3.org/2000/xmlns/"))
        return true;
    return xmlStrEqual(href, XML_XML_NAMESPACE) && !xmlStrEqual(prefix, BAD_CAST "xml");
}

struct Failure {
    QString reason;
    int line = 0;
};

// Two attributes of one element whose names expand to the same namespace and local name.
Failure sameExpandedName(xmlDocPtr doc) {
    Failure found;
    walkElements(
        reinterpret_cast<xmlNodePtr>(doc),
        [&found](xmlNodePtr element) {
            std::unordered_set<std::string> names;
            for (xmlAttrPtr a = element->properties; a && found.reason.isEmpty(); a = a->next) {
                std::string key = a->ns ? reinterpret_cast<const char*>(a->ns->href) : "";
                key += '\0';
                key += reinterpret_cast<const char*>(a->name);
                if (!names.insert(key).second)
                    found = {QStringLiteral("Attribute '%1' of element '%2' is given twice: "
                                            "their namespace names expand to the same one.")
                                 .arg(name(a->name), name(element->name)),
                             lineOf(element)};
            }
        },
        [](xmlNodePtr) {});
    return found;
}

// libxml2 keeps a namespace declaration's value as written, references and all; the namespace is
// what it expands to. Declarations without references are left alone.
Failure expandNamespaceValues(xmlDocPtr doc) {
    QString failure;
    int line = 0;
    bool changed = false;
    walkElements(
        reinterpret_cast<xmlNodePtr>(doc),
        [&](xmlNodePtr element) {
            if (failure.isEmpty())
                line = lineOf(element);
            for (xmlNsPtr ns = element->nsDef; ns && failure.isEmpty(); ns = ns->next) {
                if (!ns->href || !xmlStrchr(ns->href, '&'))
                    continue;
                Expanded expanded;
                expandInto(doc, ns->href, false, 0, expanded);
                failure = expanded.failure;
                if (!failure.isEmpty())
                    return;
                const QString prefix = ns->prefix ? name(ns->prefix) : QStringLiteral("xmlns");
                if (ns->prefix && expanded.value.isEmpty())
                    failure =
                        QStringLiteral("xmlns:%1: Empty XML namespace is not allowed").arg(prefix);
                else if (isReservedNamespace(xc(expanded.value), ns->prefix))
                    failure = QStringLiteral("The namespace name of '%1' is reserved.").arg(prefix);
                else if (!isRereadableNamespaceName(expanded.value))
                    failure = QStringLiteral("xmlns:%1: '%2' is not a valid URI")
                                  .arg(prefix, QString::fromUtf8(expanded.value));
                if (!failure.isEmpty())
                    return;
                xmlFree(const_cast<xmlChar*>(ns->href));
                ns->href = xmlStrdup(xc(expanded.value));
                changed = true;
            }
        },
        [](xmlNodePtr) {});
    if (!failure.isEmpty())
        return {failure, line};
    return changed ? sameExpandedName(doc) : Failure{};
}

} // namespace

QString DepthRefusal() {
    return QStringLiteral("The document would nest elements more than %1 levels deep, deeper "
                          "than the editor can hold.")
        .arg(kMaxDepth);
}

namespace {
// The guard of the parse running on this thread; libxml2 parses entities with contexts of their
// own, which share the handlers but not the context's private pointer.
thread_local ParseGuard* tCurrent = nullptr;
} // namespace

ParseGuard::ParseGuard(xmlParserCtxtPtr ctxt) : m_ctxt(ctxt), m_getEntity(ctxt->sax->getEntity) {
    ctxt->sax->getEntity = getEntity;
    tCurrent = this;
}

ParseGuard::~ParseGuard() {
    tCurrent = nullptr;
}

void ParseGuard::refuse(const QString& reason) {
    if (refused())
        return;
    m_reason = reason;
    m_line = m_ctxt->input ? m_ctxt->input->line : 0;
    m_column = m_ctxt->input ? m_ctxt->input->col : 0;
    xmlStopParser(m_ctxt);
    m_ctxt->wellFormed = 0;
}

void ParseGuard::enterElement(int depth, int count, const xmlChar** namespaces) {
    for (int i = 0; i < count && !m_namespaceReferences; ++i)
        m_namespaceReferences = namespaces[2 * i + 1] && xmlStrchr(namespaces[2 * i + 1], '&');
    if (depth > kMaxDepth)
        refuse(QStringLiteral("The document nests elements more than %1 levels deep, deeper "
                              "than the editor can hold.")
                   .arg(kMaxDepth));
}

// An entity the document does not declare, referred to in an attribute value where the external
// subset (never read) may declare it: kept as the reference it is, as in text. libxml2 would drop
// it from the value.
xmlEntityPtr ParseGuard::placeholder(const xmlChar* entityName) {
    auto entity = std::make_unique<xmlEntity>();
    entity->type = XML_ENTITY_DECL;
    entity->etype = XML_INTERNAL_GENERAL_ENTITY;
    entity->name = xmlDictLookup(m_ctxt->dict, entityName, -1);
    m_placeholders.push_back(std::move(entity));
    return m_placeholders.back().get();
}

xmlEntityPtr ParseGuard::getEntity(void* context, const xmlChar* entityName) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    ParseGuard* self = tCurrent;
    xmlEntityPtr entity = self->m_getEntity(context, entityName);
    if (ctxt->instate != XML_PARSER_ATTRIBUTE_VALUE)
        return entity;
    if (!entity) {
        const bool declaredElsewhere =
            ctxt->standalone != 1 && (ctxt->hasExternalSubset || ctxt->hasPErefs);
        return declaredElsewhere ? self->placeholder(entityName) : nullptr;
    }
    // libxml2 expands an entity in an attribute value once, whole, to check it: nested entities
    // could make that exponential.
    self->m_expanded += static_cast<unsigned long long>(std::max(entity->length, 0));
    if (self->m_expanded > expansionLimit(bytesRead(ctxt))) {
        self->refuse(expansionRefusal(entityName));
        return nullptr;
    }
    return entity;
}

bool ParseGuard::check(xmlDocPtr doc) {
    const unsigned long long limit = expansionLimit(bytesRead(m_ctxt));
    if (doc->intSubset && doc->intSubset->entities) {
        ExpansionSizes sizes(doc, limit);
        struct Scan {
            ExpansionSizes* sizes;
            unsigned long long limit;
            xmlEntityPtr tooLarge;
        } scan{&sizes, limit, nullptr};
        xmlHashScan(
            static_cast<xmlHashTablePtr>(doc->intSubset->entities),
            [](void* payload, void* data, const xmlChar*) {
                auto* scan = static_cast<Scan*>(data);
                auto* entity = static_cast<xmlEntityPtr>(payload);
                if (!scan->tooLarge && entity->etype == XML_INTERNAL_GENERAL_ENTITY &&
                    scan->sizes->of(entity) > scan->limit)
                    scan->tooLarge = entity;
            },
            &scan);
        if (scan.tooLarge) {
            m_reason = expansionRefusal(scan.tooLarge->name);
            return false;
        }
    }
    // Walked only when some value needs it: the walk costs a tenth of a large document's parse.
    const Failure failure = m_namespaceReferences ? expandNamespaceValues(doc) : Failure{};
    m_reason = failure.reason;
    m_line = failure.line;
    m_column = 0;
    return m_reason.isEmpty();
}

} // namespace xmlimpl
