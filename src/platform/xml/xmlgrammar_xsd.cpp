// An XML Schema read as completion needs it. libxml2 keeps its compiled schema to itself, so the
// schema documents are read here as plain trees and their components resolved by name: global
// components first (across includes and imports), then each element's content from its type.

#include "platform/xml/xmlgrammar.h"

#include "platform/xml/xmllibrary.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>
#include <deque>
#include <optional>

namespace {

constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

QString fromXml(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

// The attribute `name` of a schema element; a null string when it is absent.
QString attr(xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    const QString result = value ? fromXml(value) : QString();
    xmlFree(value);
    return result;
}

bool isXsd(xmlNodePtr node) {
    return node && node->type == XML_ELEMENT_NODE && node->ns &&
           xmlStrEqual(node->ns->href, reinterpret_cast<const xmlChar*>(kXsdNamespace));
}

bool isXsd(xmlNodePtr node, const char* local) {
    return isXsd(node) && xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(local));
}

// The schema elements under `node` that say something: annotations and foreign elements do not.
QList<xmlNodePtr> xsdChildren(xmlNodePtr node) {
    QList<xmlNodePtr> children;
    for (xmlNodePtr child = node->children; child; child = child->next) {
        if (isXsd(child) && !isXsd(child, "annotation"))
            children.append(child);
    }
    return children;
}

xmlNodePtr firstChild(xmlNodePtr node, const char* local) {
    for (xmlNodePtr child : xsdChildren(node)) {
        if (isXsd(child, local))
            return child;
    }
    return nullptr;
}

QString keyOf(const GrammarName& name) {
    return QLatin1Char('{') + name.ns + QLatin1Char('}') + name.local;
}

// A list-valued attribute such as block="extension substitution" names `word`.
bool listsWord(const QString& list, const char* word) {
    const QStringList words = list.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.contains(QLatin1String(word)) || words.contains(QLatin1String("#all"));
}

void setOccurs(Particle& p, xmlNodePtr node) {
    bool ok = false;
    const int min = attr(node, "minOccurs").trimmed().toInt(&ok);
    p.min = ok && min >= 0 ? min : 1;
    const QString max = attr(node, "maxOccurs").trimmed();
    const int bounded = max.toInt(&ok);
    p.max = max == QLatin1String("unbounded") ? Particle::kUnbounded
                                              : (ok && bounded >= 0 ? bounded : 1);
}

Particle unknownAt(xmlNodePtr node) {
    Particle p = Particle::of(Particle::Kind::Unknown);
    if (node)
        setOccurs(p, node);
    return p;
}

// One schema document as read for a target namespace: a document without one that is included
// takes the including document's (a chameleon include), so it may be read once per namespace.
struct SchemaDoc {
    xmlDocPtr doc = nullptr;
    xmlNodePtr root = nullptr;
    QString targetNs;
    bool chameleon = false;
    bool elementsQualified = false;
    bool attributesQualified = false;
    QString blockDefault;
};

// A global component: where it is declared. An opaque one is redefined or overridden, which is
// not read: whatever uses it gives no names rather than the ones it had before.
struct Component {
    xmlNodePtr node = nullptr;
    const SchemaDoc* doc = nullptr;
    bool opaque = false;
};

using Components = QHash<QString, Component>;

struct TypeContent {
    Particle content;
    QList<AttributeDecl> attributes;
    QList<GrammarName> prohibited; // a restriction's attributes it takes away from its base
};

TypeContent unknownType() {
    TypeContent t;
    t.content = Particle::of(Particle::Kind::Unknown, {}, 0, Particle::kUnbounded);
    return t;
}

void addAttribute(QList<AttributeDecl>& into, const AttributeDecl& decl) {
    for (AttributeDecl& existing : into) {
        if (existing.name == decl.name) {
            existing = decl;
            return;
        }
    }
    into.append(decl);
}

// Marks `node` as being worked on while alive; a second mark on the same node is a cycle.
class Guard {
public:
    Guard(QSet<const void*>& set, const void* node) : m_set(set), m_node(node) {
        m_entered = !set.contains(node);
        if (m_entered)
            set.insert(node);
    }
    ~Guard() {
        if (m_entered)
            m_set.remove(m_node);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    bool cycle() const { return !m_entered; }

private:
    QSet<const void*>& m_set;
    const void* m_node;
    bool m_entered = false;
};

class XsdReader {
public:
    XsdReader() : m_grammar(std::make_shared<Grammar>()) {
        m_grammar->language = Grammar::Language::XmlSchema;
    }
    ~XsdReader() {
        for (xmlDocPtr doc : m_ownedDocs)
            xmlFreeDoc(doc);
    }
    XsdReader(const XsdReader&) = delete;
    XsdReader& operator=(const XsdReader&) = delete;

    std::shared_ptr<Grammar> read(const QString& path) {
        if (!open(QFileInfo(path).absoluteFilePath(), {}, false))
            return nullptr;
        declareGlobalElements();
        // A declaration's type is read after the type that declares it is done: an element may
        // have the very type it is declared in.
        for (qsizetype next = 0; next < m_pending.size(); ++next) {
            const Pending pending = m_pending[next]; // filling it may add to the list
            fill(pending);
        }
        expandSubstitutionGroups();
        return m_grammar;
    }

private:
    // --- Reading the documents -------------------------------------------------------------

    xmlDocPtr parsed(const QString& path) {
        if (m_parsed.contains(path))
            return m_parsed.value(path);
        const QFileInfo info(path);
        if (info.exists())
            m_grammar->files.append({path, info.lastModified().toMSecsSinceEpoch()});
        xmlDocPtr doc = xmlReadFile(QFile::encodeName(path).constData(), nullptr, XML_PARSE_NONET);
        if (doc && !isXsd(xmlDocGetRootElement(doc), "schema")) {
            xmlFreeDoc(doc);
            doc = nullptr;
        }
        if (doc)
            m_ownedDocs.push_back(doc);
        m_parsed.insert(path, doc);
        return doc;
    }

    // Reads the document at `path` for the namespace it takes, unless already read for it.
    // `includingNs` is the including document's namespace for an include, null otherwise.
    bool open(const QString& path, const QString& includingNs, bool include) {
        xmlDocPtr doc = parsed(path);
        if (!doc)
            return false;
        xmlNodePtr root = xmlDocGetRootElement(doc);
        const QString own = attr(root, "targetNamespace");
        const bool chameleon = include && own.isNull() && !includingNs.isEmpty();
        const QString targetNs = chameleon ? includingNs : own;
        const QString key = path + QLatin1Char('\n') + targetNs;
        if (m_opened.contains(key))
            return true;
        m_opened.insert(key);
        if (m_usedDocs.contains(doc)) {
            // Components are told apart by their nodes: a second reading needs nodes of its own.
            doc = xmlCopyDoc(doc, 1);
            m_ownedDocs.push_back(doc);
            root = xmlDocGetRootElement(doc);
        }
        m_usedDocs.insert(doc);
        m_docs.push_back(contextFor(doc, root, targetNs, chameleon));
        const SchemaDoc& schema = m_docs.back();
        registerComponents(schema);
        readReferenced(path, schema);
        return true;
    }

    static SchemaDoc contextFor(xmlDocPtr doc, xmlNodePtr root, const QString& targetNs,
                                bool chameleon) {
        SchemaDoc schema;
        schema.doc = doc;
        schema.root = root;
        schema.targetNs = targetNs;
        schema.chameleon = chameleon;
        schema.elementsQualified = attr(root, "elementFormDefault").trimmed() == "qualified";
        schema.attributesQualified = attr(root, "attributeFormDefault").trimmed() == "qualified";
        schema.blockDefault = attr(root, "blockDefault");
        return schema;
    }

    // A schemaLocation as a local path, relative to the document that names it.
    static QString locationFrom(const QString& base, const QString& location) {
        const QUrl url(location.trimmed());
        if (url.isEmpty())
            return {};
        if (!url.scheme().isEmpty() && url.scheme() != QLatin1String("file"))
            return {};
        const QUrl resolved = QUrl::fromLocalFile(base).resolved(url);
        return resolved.isLocalFile() ? QFileInfo(resolved.toLocalFile()).absoluteFilePath()
                                      : QString();
    }

    void readReferenced(const QString& path, const SchemaDoc& schema) {
        for (xmlNodePtr child : xsdChildren(schema.root)) {
            const bool import = isXsd(child, "import");
            if (!import && !isXsd(child, "include") && !isXsd(child, "redefine") &&
                !isXsd(child, "override"))
                continue;
            const QString location = locationFrom(path, attr(child, "schemaLocation"));
            if (!location.isEmpty())
                open(location, schema.targetNs, !import);
        }
    }

    // --- Global components ----------------------------------------------------------------

    GrammarName globalName(xmlNodePtr node, const SchemaDoc& schema) const {
        return {schema.targetNs, attr(node, "name").trimmed()};
    }

    Components* componentsFor(xmlNodePtr node) {
        if (isXsd(node, "element"))
            return &m_elements;
        if (isXsd(node, "complexType") || isXsd(node, "simpleType"))
            return &m_types;
        if (isXsd(node, "group"))
            return &m_groups;
        if (isXsd(node, "attributeGroup"))
            return &m_attributeGroups;
        if (isXsd(node, "attribute"))
            return &m_attributes;
        return nullptr;
    }

    // The first declaration of a name holds, except that a redefinition always does.
    void add(xmlNodePtr node, const SchemaDoc& schema, bool opaque) {
        Components* components = componentsFor(node);
        if (!components || attr(node, "name").isNull())
            return;
        const GrammarName name = globalName(node, schema);
        const QString key = keyOf(name);
        const auto existing = components->constFind(key);
        const bool known = existing != components->cend();
        if (known && (existing->opaque || !opaque))
            return;
        components->insert(key, {node, &schema, opaque});
        if (components == &m_elements && !known)
            m_globalOrder.append(name);
    }

    void registerComponents(const SchemaDoc& schema) {
        for (xmlNodePtr child : xsdChildren(schema.root)) {
            if (isXsd(child, "redefine") || isXsd(child, "override")) {
                for (xmlNodePtr redefined : xsdChildren(child))
                    add(redefined, schema, true);
            } else {
                add(child, schema, false);
            }
        }
    }

    // A QName in a schema document, with the namespaces in scope where it is written.
    std::optional<GrammarName> resolve(xmlNodePtr node, const QString& qname,
                                       const SchemaDoc& schema) const {
        const QString name = qname.trimmed();
        if (name.isEmpty())
            return std::nullopt;
        const qsizetype colon = name.indexOf(QLatin1Char(':'));
        const QByteArray prefix = colon < 0 ? QByteArray() : name.left(colon).toUtf8();
        xmlNsPtr ns = xmlSearchNs(
            schema.doc, node,
            prefix.isEmpty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.constData()));
        if (!ns && !prefix.isEmpty())
            return std::nullopt;
        QString uri = ns ? fromXml(ns->href) : QString();
        if (uri.isEmpty() && schema.chameleon)
            uri = schema.targetNs;
        return GrammarName{uri, name.mid(colon + 1)};
    }

    std::optional<Component> lookUp(const Components& components, xmlNodePtr node,
                                    const char* attribute, const SchemaDoc& schema) const {
        const std::optional<GrammarName> name = resolve(node, attr(node, attribute), schema);
        if (!name)
            return std::nullopt;
        const auto found = components.constFind(keyOf(*name));
        if (found == components.cend())
            return std::nullopt;
        return *found;
    }

    // --- Element declarations -------------------------------------------------------------

    // A declaration whose content is still to be read.
    struct Pending {
        int decl;
        Component declaration;
    };

    void declareGlobalElements() {
        for (const GrammarName& name : m_globalOrder) {
            const Component& c = m_elements[keyOf(name)];
            const int index = declare(name, c);
            m_globalIndex.insert(keyOf(name), index);
            if (!isAbstract(index))
                m_grammar->roots.append(index);
        }
    }

    int declare(const GrammarName& name, const Component& declaration) {
        const int index = static_cast<int>(m_grammar->elements.size());
        m_grammar->elements.push_back({name, {}, {}});
        m_pending.append({index, declaration});
        return index;
    }

    void fill(const Pending& pending) {
        const Component& c = pending.declaration;
        const TypeContent type = c.opaque ? unknownType() : elementType(c.node, *c.doc);
        m_grammar->elements[pending.decl].content = type.content;
        m_grammar->elements[pending.decl].attributes = type.attributes;
    }

    // The content an element declaration's type gives: a named type, an anonymous one, its
    // substitution group head's, or anything.
    TypeContent elementType(xmlNodePtr element, const SchemaDoc& schema) {
        Guard guard(m_busy, element);
        if (guard.cycle())
            return unknownType();
        if (!attr(element, "type").isNull())
            return namedType(element, "type", schema);
        if (xmlNodePtr complex = firstChild(element, "complexType"))
            return complexType(complex, schema);
        if (firstChild(element, "simpleType"))
            return {};
        if (const std::optional<Component> head =
                lookUp(m_elements, element, "substitutionGroup", schema)) {
            return head->opaque ? unknownType() : elementType(head->node, *head->doc);
        }
        return unknownType();
    }

    // The type named by `node`'s `attribute`: a built-in simple type has no elements, the
    // built-in anyType allows anything.
    TypeContent namedType(xmlNodePtr node, const char* attribute, const SchemaDoc& schema) {
        const std::optional<GrammarName> name = resolve(node, attr(node, attribute), schema);
        if (name && name->ns == QLatin1String(kXsdNamespace))
            return name->local == QLatin1String("anyType") ? unknownType() : TypeContent{};
        const std::optional<Component> type = lookUp(m_types, node, attribute, schema);
        if (!type || type->opaque)
            return unknownType();
        if (isXsd(type->node, "simpleType"))
            return {};
        return complexType(type->node, *type->doc);
    }

    TypeContent complexType(xmlNodePtr node, const SchemaDoc& schema) {
        const auto cached = m_typeCache.constFind(node);
        if (cached != m_typeCache.cend())
            return *cached;
        Guard guard(m_busy, node);
        if (guard.cycle())
            return unknownType();
        const TypeContent type = complexTypeBody(node, schema);
        m_typeCache.insert(node, type);
        return type;
    }

    TypeContent complexTypeBody(xmlNodePtr node, const SchemaDoc& schema) {
        TypeContent type;
        for (xmlNodePtr child : xsdChildren(node)) {
            if (isXsd(child, "simpleContent"))
                return derived(child, schema, true);
            if (isXsd(child, "complexContent"))
                return derived(child, schema, false);
            if (isXsd(child, "openContent"))
                return unknownType();
            if (isModelGroup(child))
                type.content = particle(child, schema);
        }
        collectAttributes(node, schema, type);
        return type;
    }

    static bool isModelGroup(xmlNodePtr node) {
        return isXsd(node, "sequence") || isXsd(node, "choice") || isXsd(node, "all") ||
               isXsd(node, "group");
    }

    // A complex type's simpleContent or complexContent: an extension adds to its base's content
    // and attributes, a restriction says its content again and keeps the base's attributes.
    TypeContent derived(xmlNodePtr content, const SchemaDoc& schema, bool simple) {
        xmlNodePtr how = firstChild(content, "extension");
        const bool extension = how != nullptr;
        if (!how)
            how = firstChild(content, "restriction");
        if (!how)
            return unknownType();
        TypeContent base = baseType(how, schema);
        TypeContent own;
        for (xmlNodePtr child : xsdChildren(how)) {
            if (isXsd(child, "openContent"))
                return unknownType();
            if (isModelGroup(child))
                own.content = particle(child, schema);
        }
        collectAttributes(how, schema, own);
        TypeContent type;
        type.content =
            simple ? Particle{} : (extension ? joined(base.content, own.content) : own.content);
        type.attributes = base.attributes;
        for (const GrammarName& name : own.prohibited) {
            if (!extension)
                type.attributes.removeIf([&](const AttributeDecl& a) { return a.name == name; });
        }
        for (const AttributeDecl& a : own.attributes)
            addAttribute(type.attributes, a);
        return type;
    }

    TypeContent baseType(xmlNodePtr how, const SchemaDoc& schema) {
        if (!attr(how, "base").isNull())
            return namedType(how, "base", schema);
        return {}; // an inline simple type
    }

    static Particle joined(const Particle& base, const Particle& own) {
        if (base.kind == Particle::Kind::Nothing)
            return own;
        if (own.kind == Particle::Kind::Nothing)
            return base;
        return Particle::of(Particle::Kind::Sequence, {base, own});
    }

    // --- Particles ------------------------------------------------------------------------

    Particle particle(xmlNodePtr node, const SchemaDoc& schema) {
        if (isXsd(node, "element"))
            return elementParticle(node, schema);
        if (isXsd(node, "group"))
            return groupParticle(node, schema);
        if (isXsd(node, "sequence"))
            return modelGroup(node, schema, Particle::Kind::Sequence);
        if (isXsd(node, "choice"))
            return modelGroup(node, schema, Particle::Kind::Choice);
        if (isXsd(node, "all"))
            return modelGroup(node, schema, Particle::Kind::All);
        return unknownAt(node); // xs:any, and what is not read
    }

    Particle modelGroup(xmlNodePtr node, const SchemaDoc& schema, Particle::Kind kind) {
        Particle group = Particle::of(kind);
        setOccurs(group, node);
        for (xmlNodePtr child : xsdChildren(node)) {
            if (isXsd(child, "element") || isXsd(child, "any") || isModelGroup(child)) {
                Particle part = particle(child, schema);
                if (part.max != 0)
                    group.parts.append(part);
            }
        }
        return group;
    }

    Particle groupParticle(xmlNodePtr ref, const SchemaDoc& schema) {
        const std::optional<Component> group = lookUp(m_groups, ref, "ref", schema);
        if (!group || group->opaque)
            return unknownAt(ref);
        Particle p = groupModel(group->node, *group->doc);
        setOccurs(p, ref);
        return p;
    }

    Particle groupModel(xmlNodePtr group, const SchemaDoc& schema) {
        const auto cached = m_groupCache.constFind(group);
        if (cached != m_groupCache.cend())
            return *cached;
        Guard guard(m_busy, group);
        if (guard.cycle())
            return unknownAt(nullptr);
        Particle model = Particle::of(Particle::Kind::Sequence);
        for (xmlNodePtr child : xsdChildren(group)) {
            if (isXsd(child, "sequence") || isXsd(child, "choice") || isXsd(child, "all"))
                model = particle(child, schema);
        }
        m_groupCache.insert(group, model);
        return model;
    }

    Particle elementParticle(xmlNodePtr node, const SchemaDoc& schema) {
        Particle p = Particle::of(Particle::Kind::Element);
        setOccurs(p, node);
        if (!attr(node, "ref").isNull()) {
            const std::optional<GrammarName> name = resolve(node, attr(node, "ref"), schema);
            p.element = name ? m_globalIndex.value(keyOf(*name), -1) : -1;
        } else {
            p.element = localElement(node, schema);
        }
        if (p.element < 0)
            return unknownAt(node);
        return p;
    }

    int localElement(xmlNodePtr node, const SchemaDoc& schema) {
        const auto known = m_localIndex.constFind(node);
        if (known != m_localIndex.cend())
            return *known;
        const QString form = attr(node, "form").trimmed();
        const bool qualified =
            form.isNull() ? schema.elementsQualified : form == QLatin1String("qualified");
        const GrammarName name{qualified ? schema.targetNs : QString(),
                               attr(node, "name").trimmed()};
        const int index = declare(name, {node, &schema, false});
        m_localIndex.insert(node, index);
        return index;
    }

    // --- Attributes -----------------------------------------------------------------------

    void collectAttributes(xmlNodePtr parent, const SchemaDoc& schema, TypeContent& into) {
        for (xmlNodePtr child : xsdChildren(parent)) {
            if (isXsd(child, "attribute"))
                attribute(child, schema, into);
            else if (isXsd(child, "attributeGroup"))
                attributeGroup(child, schema, into);
        }
    }

    void attributeGroup(xmlNodePtr ref, const SchemaDoc& schema, TypeContent& into) {
        const std::optional<Component> group = lookUp(m_attributeGroups, ref, "ref", schema);
        if (!group || group->opaque)
            return;
        Guard guard(m_busy, group->node);
        if (!guard.cycle())
            collectAttributes(group->node, *group->doc, into);
    }

    void attribute(xmlNodePtr node, const SchemaDoc& schema, TypeContent& into) {
        const QString use = attr(node, "use").trimmed();
        AttributeDecl decl;
        xmlNodePtr declaring = node;
        const SchemaDoc* declaringDoc = &schema;
        if (!attr(node, "ref").isNull()) {
            const std::optional<Component> global = lookUp(m_attributes, node, "ref", schema);
            if (!global)
                return;
            declaring = global->node;
            declaringDoc = global->doc;
            decl.name = globalName(global->node, *global->doc);
        } else {
            decl.name = localAttributeName(node, schema);
        }
        if (use == QLatin1String("prohibited")) {
            into.prohibited.append(decl.name);
            return;
        }
        decl.required = use == QLatin1String("required");
        decl.values = valuesOf(declaring, *declaringDoc);
        decl.fixed = valueOn(node, declaring, "fixed");
        decl.defaultValue = valueOn(node, declaring, "default");
        addAttribute(into.attributes, decl);
    }

    GrammarName localAttributeName(xmlNodePtr node, const SchemaDoc& schema) const {
        const QString form = attr(node, "form").trimmed();
        const bool qualified =
            form.isNull() ? schema.attributesQualified : form == QLatin1String("qualified");
        return {qualified ? schema.targetNs : QString(), attr(node, "name").trimmed()};
    }

    // A reference's own value holds over the global declaration's.
    static QString valueOn(xmlNodePtr ref, xmlNodePtr declaring, const char* name) {
        const QString own = attr(ref, name);
        return own.isNull() ? attr(declaring, name) : own;
    }

    // --- Enumerations ---------------------------------------------------------------------

    // The values an attribute's type enumerates; none when it takes any value of its kind.
    QStringList valuesOf(xmlNodePtr declaration, const SchemaDoc& schema) {
        if (!attr(declaration, "type").isNull())
            return namedValues(declaration, "type", schema);
        if (xmlNodePtr simple = firstChild(declaration, "simpleType"))
            return simpleValues(simple, schema);
        return {};
    }

    QStringList namedValues(xmlNodePtr node, const char* attribute, const SchemaDoc& schema) {
        const std::optional<Component> type = lookUp(m_types, node, attribute, schema);
        if (!type || type->opaque || !isXsd(type->node, "simpleType"))
            return {};
        return simpleValues(type->node, *type->doc);
    }

    QStringList simpleValues(xmlNodePtr simple, const SchemaDoc& schema) {
        Guard guard(m_busy, simple);
        if (guard.cycle())
            return {};
        if (xmlNodePtr restriction = firstChild(simple, "restriction"))
            return restrictionValues(restriction, schema);
        if (xmlNodePtr members = firstChild(simple, "union"))
            return unionValues(members, schema);
        return {};
    }

    // A restriction's own enumeration, or else its base's: other facets keep the base's values.
    QStringList restrictionValues(xmlNodePtr restriction, const SchemaDoc& schema) {
        QStringList values;
        for (xmlNodePtr child : xsdChildren(restriction)) {
            if (isXsd(child, "enumeration"))
                values.append(attr(child, "value"));
        }
        if (!values.isEmpty())
            return values;
        if (!attr(restriction, "base").isNull())
            return namedValues(restriction, "base", schema);
        if (xmlNodePtr base = firstChild(restriction, "simpleType"))
            return simpleValues(base, schema);
        return {};
    }

    // A union enumerates only when each of its members does.
    QStringList unionValues(xmlNodePtr members, const SchemaDoc& schema) {
        QList<QStringList> parts;
        const QStringList named =
            attr(members, "memberTypes").simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& qname : named) {
            const std::optional<GrammarName> name = resolve(members, qname, schema);
            const auto type = name ? m_types.constFind(keyOf(*name)) : m_types.cend();
            if (type == m_types.cend() || type->opaque || !isXsd(type->node, "simpleType"))
                return {};
            parts.append(simpleValues(type->node, *type->doc));
        }
        for (xmlNodePtr child : xsdChildren(members))
            parts.append(simpleValues(child, schema));
        QStringList values;
        for (const QStringList& part : parts) {
            if (part.isEmpty())
                return {};
            for (const QString& v : part) {
                if (!values.contains(v))
                    values.append(v);
            }
        }
        return values;
    }

    // --- Substitution groups --------------------------------------------------------------

    void expandSubstitutionGroups() {
        collectSubstitutes();
        for (ElementDecl& decl : m_grammar->elements)
            substitute(decl.content);
    }

    void collectSubstitutes() {
        for (const GrammarName& name : m_globalOrder) {
            const Component& c = m_elements[keyOf(name)];
            const QStringList heads =
                attr(c.node, "substitutionGroup").simplified().split(' ', Qt::SkipEmptyParts);
            for (const QString& qname : heads) {
                const std::optional<GrammarName> head = resolve(c.node, qname, *c.doc);
                const int index = head ? m_globalIndex.value(keyOf(*head), -1) : -1;
                if (index >= 0 && !blocksSubstitution(*head))
                    m_members[index].append(m_globalIndex.value(keyOf(name)));
            }
        }
    }

    bool blocksSubstitution(const GrammarName& head) const {
        const Component& c = m_elements[keyOf(head)];
        const QString block = attr(c.node, "block");
        return listsWord(block.isNull() ? c.doc->blockDefault : block, "substitution");
    }

    // Only a global declaration may be abstract.
    bool isAbstract(int global) const {
        if (global >= m_globalOrder.size())
            return false;
        const Component& c = m_elements[keyOf(m_globalOrder[global])];
        const QString value = attr(c.node, "abstract").trimmed();
        return value == QLatin1String("true") || value == QLatin1String("1");
    }

    // The head (unless abstract) and every element that may stand for it, members of members too.
    void substitutes(int head, QList<int>& into, QSet<int>& seen) const {
        if (seen.contains(head))
            return;
        seen.insert(head);
        if (!isAbstract(head))
            into.append(head);
        for (int member : m_members.value(head))
            substitutes(member, into, seen);
    }

    void substitute(Particle& p) const {
        for (Particle& part : p.parts)
            substitute(part);
        if (p.kind != Particle::Kind::Element ||
            (!m_members.contains(p.element) && !isAbstract(p.element)))
            return;
        QList<int> elements;
        QSet<int> seen;
        substitutes(p.element, elements, seen);
        QList<Particle> parts;
        for (int element : elements)
            parts.append(Particle::ofElement(element));
        p = Particle::of(Particle::Kind::Choice, parts, p.min, p.max);
    }

    std::shared_ptr<Grammar> m_grammar;
    std::vector<xmlDocPtr> m_ownedDocs;
    QHash<QString, xmlDocPtr> m_parsed;
    QSet<xmlDocPtr> m_usedDocs;
    QSet<QString> m_opened;
    std::deque<SchemaDoc> m_docs; // stable addresses: components point into it
    Components m_elements;
    Components m_types;
    Components m_groups;
    Components m_attributeGroups;
    Components m_attributes;
    QList<GrammarName> m_globalOrder;
    QHash<QString, int> m_globalIndex;
    QHash<const void*, int> m_localIndex;
    QHash<const void*, TypeContent> m_typeCache;
    QHash<const void*, Particle> m_groupCache;
    QList<Pending> m_pending;
    QHash<int, QList<int>> m_members;
    QSet<const void*> m_busy;
};

} // namespace

std::shared_ptr<Grammar> GrammarFromXmlSchema(const QString& path) {
    xmlimpl::ErrorCapture quiet;
    xmlimpl::LocalFileReads reads;
    return XsdReader().read(path);
}
