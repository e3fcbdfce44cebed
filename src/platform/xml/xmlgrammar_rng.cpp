// A RELAX NG schema read as completion needs it. Patterns are read as written, without the
// simplification the language defines: a define's particle is built once per grammar, and an
// element pattern becomes one declaration whose content is built after the pattern that refers to
// it, so the recursion RELAX NG allows through elements never recurses here.

#include "platform/xml/xmlgrammar.h"
#include "platform/xml/xmllibrary.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kStructure = "http://relaxng.org/ns/structure/1.0";
constexpr const char* kCompatibility = "http://relaxng.org/ns/compatibility/annotations/1.0";
// Values reached through more refs than this are taken as free text.
constexpr int kMaxValueDepth = 32;

using Kind = Particle::Kind;

QString fromXml(const xmlChar* s) {
    return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

bool isPattern(const xmlNode* node) {
    return node && node->type == XML_ELEMENT_NODE && node->ns &&
           xmlStrEqual(node->ns->href, BAD_CAST kStructure);
}

bool isPattern(const xmlNode* node, const char* name) {
    return isPattern(node) && xmlStrEqual(node->name, BAD_CAST name);
}

// Annotations (elements of other namespaces) may stand anywhere and mean nothing here.
xmlNodePtr nextPattern(xmlNodePtr node) {
    while (node && !isPattern(node))
        node = node->next;
    return node;
}

xmlNodePtr firstPattern(const xmlNode* parent) {
    return parent ? nextPattern(parent->children) : nullptr;
}

bool hasAttribute(const xmlNode* node, const char* name) {
    return xmlHasNsProp(node, BAD_CAST name, nullptr) != nullptr;
}

QString attributeOf(const xmlNode* node, const char* name, const char* ns = nullptr) {
    xmlChar* value =
        ns ? xmlGetNsProp(node, BAD_CAST name, BAD_CAST ns) : xmlGetNoNsProp(node, BAD_CAST name);
    QString result = value ? fromXml(value) : QString();
    xmlFree(value);
    return result;
}

QString contentOf(const xmlNode* node) {
    xmlChar* value = xmlNodeGetContent(node);
    QString result = value ? fromXml(value) : QString();
    xmlFree(value);
    return result;
}

// The patterns of an element or attribute pattern after its name class.
xmlNodePtr contentPatterns(const xmlNode* node) {
    xmlNodePtr first = firstPattern(node);
    if (hasAttribute(node, "name") || !first)
        return first;
    return nextPattern(first->next);
}

// A pattern's particle, and the attributes it allows outside child elements. `never` is RELAX
// NG's notAllowed: nothing matches, so a choice drops it.
struct Built {
    Particle particle;
    QList<AttributeDecl> attributes;
    bool never = false;
};

Built ofParticle(Particle particle) {
    Built b;
    b.particle = std::move(particle);
    return b;
}

Built unknown() {
    return ofParticle(Particle::of(Kind::Unknown));
}

Built never() {
    Built b;
    b.never = true;
    return b;
}

bool once(const Particle& p) {
    return p.min == 1 && p.max == 1;
}

Particle repeated(Particle p, int min, int max) {
    if (p.kind == Kind::Nothing || p.kind == Kind::Unknown)
        return p;
    if (once(p)) {
        p.min = min;
        p.max = max;
        return p;
    }
    return Particle::of(Kind::Sequence, {p}, min, max);
}

void absorb(QList<Particle>& parts, const Particle& p, Kind kind) {
    if (p.kind == Kind::Nothing)
        return;
    if (p.kind == kind && once(p))
        parts += p.parts;
    else
        parts << p;
}

template <typename List>
auto findAttribute(List& list, const GrammarName& name) -> decltype(&list.first()) {
    for (auto& a : list) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

// Two declarations of one attribute name in different alternatives: either may hold.
void mergeAlternative(AttributeDecl& into, const AttributeDecl& other) {
    if (into.values.isEmpty() || other.values.isEmpty()) {
        into.values.clear();
    } else {
        for (const QString& v : other.values) {
            if (!into.values.contains(v))
                into.values << v;
        }
    }
    if (into.fixed != other.fixed)
        into.fixed.clear();
    if (into.defaultValue.isEmpty())
        into.defaultValue = other.defaultValue;
}

Built together(const QList<Built>& parts, Kind kind) {
    Built out;
    QList<Particle> particles;
    for (const Built& part : parts) {
        out.never = out.never || part.never;
        absorb(particles, part.particle, kind);
        for (const AttributeDecl& a : part.attributes) {
            if (AttributeDecl* known = findAttribute(out.attributes, a.name)) {
                known->required = known->required || a.required;
                mergeAlternative(*known, a);
            } else {
                out.attributes << a;
            }
        }
    }
    if (particles.size() == 1)
        out.particle = particles.first();
    else if (particles.size() > 1)
        out.particle = Particle::of(kind, particles);
    return out;
}

// Required in a choice only when every alternative requires it.
bool requiredInAll(const QList<Built>& alternatives, const GrammarName& name) {
    for (const Built& alternative : alternatives) {
        const AttributeDecl* a = findAttribute(alternative.attributes, name);
        if (!a || !a->required)
            return false;
    }
    return true;
}

QList<AttributeDecl> alternativeAttributes(const QList<Built>& alternatives) {
    QList<AttributeDecl> out;
    for (const Built& alternative : alternatives) {
        for (const AttributeDecl& a : alternative.attributes) {
            if (AttributeDecl* known = findAttribute(out, a.name))
                mergeAlternative(*known, a);
            else
                out << a;
        }
    }
    for (AttributeDecl& a : out)
        a.required = requiredInAll(alternatives, a.name);
    return out;
}

Built choice(const QList<Built>& parts) {
    QList<Built> alternatives;
    for (const Built& part : parts) {
        if (!part.never)
            alternatives << part;
    }
    if (alternatives.isEmpty())
        return never();
    Built out;
    out.attributes = alternativeAttributes(alternatives);
    QList<Particle> particles;
    bool optional = false;
    for (const Built& alternative : alternatives) {
        optional = optional || alternative.particle.kind == Kind::Nothing;
        absorb(particles, alternative.particle, Kind::Choice);
    }
    if (particles.size() == 1)
        out.particle = optional ? repeated(particles.first(), 0, 1) : particles.first();
    else if (particles.size() > 1)
        out.particle = Particle::of(Kind::Choice, particles, optional ? 0 : 1);
    return out;
}

Built repeat(Built b, int min, int max) {
    if (b.never)
        return min == 0 ? Built{} : b;
    b.particle = repeated(b.particle, min, max);
    if (min == 0) {
        for (AttributeDecl& a : b.attributes)
            a.required = false;
    }
    return b;
}

bool addValues(QStringList& values, const std::optional<QStringList>& more) {
    if (!more)
        return false;
    for (const QString& v : *more) {
        if (!values.contains(v))
            values << v;
    }
    return true;
}

void collectRoots(const Particle& p, QList<int>& roots) {
    if (p.kind == Kind::Element && !roots.contains(p.element))
        roots << p.element;
    if (p.kind == Kind::Choice) {
        for (const Particle& part : p.parts)
            collectRoots(part, roots);
    }
}

// `p` without the elements that can never stand (`never`); none when `p` itself cannot match.
std::optional<Particle> withoutNever(const Particle& p, const std::vector<bool>& never) {
    const std::optional<Particle> none =
        p.min == 0 ? std::optional<Particle>(Particle{}) : std::nullopt;
    if (p.kind == Kind::Element)
        return never[static_cast<size_t>(p.element)] ? none : p;
    Particle out = p;
    out.parts.clear();
    for (const Particle& part : p.parts) {
        if (const std::optional<Particle> kept = withoutNever(part, never))
            out.parts << *kept;
        else if (p.kind != Kind::Choice)
            return none;
    }
    if (p.kind == Kind::Choice && out.parts.isEmpty())
        return none;
    return out;
}

// An element whose content matches nothing can never stand anywhere, and neither can one whose
// content requires such an element: RELAX NG makes both notAllowed.
void dropImpossible(Grammar& grammar, std::vector<bool> never) {
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t i = 0; i < never.size(); ++i) {
            if (!never[i] && !withoutNever(grammar.elements[i].content, never)) {
                never[i] = true;
                changed = true;
            }
        }
    }
    for (ElementDecl& decl : grammar.elements)
        decl.content = withoutNever(decl.content, never).value_or(Particle{});
    grammar.roots.removeIf([&](int root) { return never[static_cast<size_t>(root)]; });
}

class RngReader {
public:
    explicit RngReader(Grammar& grammar) : m_grammar(grammar) {}
    ~RngReader();
    RngReader(const RngReader&) = delete;
    RngReader& operator=(const RngReader&) = delete;

    bool read(const QString& path);

private:
    // The definitions of one name (or the start) in a grammar, combined once built.
    struct Define {
        QList<xmlNodePtr> bodies;
        bool interleave = false;
        bool building = false;
        std::optional<Built> result;
    };
    struct Scope {
        Scope* parent = nullptr;
        Define start;
        std::map<QString, Define> defines;
    };
    // What an include's own components replace in the grammar it includes.
    struct Overrides {
        bool start = false;
        QSet<QString> names;
    };
    struct Pending {
        xmlNodePtr node;
        Scope* scope;
        int index;
    };
    using Builder = Built (RngReader::*)(xmlNodePtr, Scope*);

    xmlDocPtr load(const QString& path, const QString& ns);
    void noteFile(const QString& path);
    std::optional<QString> referencedPath(const xmlNode* node) const;
    QString inheritedNs(const xmlNode* node) const;
    std::optional<GrammarName> qualified(const QString& qname, xmlNodePtr at,
                                         const QString& unprefixedNs) const;
    std::optional<GrammarName> nameOf(xmlNodePtr pattern, bool isAttribute) const;

    Scope* scopeFor(xmlNodePtr grammar, Scope* parent);
    void collect(xmlNodePtr container, Scope& scope, const Overrides& skip);
    void addComponent(Define& define, xmlNodePtr node);
    void include(xmlNodePtr node, Scope& scope, const Overrides& outer);
    static void overridesIn(const xmlNode* container, Overrides& overrides);

    Built build(xmlNodePtr node, Scope* scope);
    QList<Built> buildEach(xmlNodePtr first, Scope* scope);
    Built resolve(Define& define, Scope* scope);
    Built lookUp(Scope* scope, const xmlNode* node);
    void buildPending();

    Built element(xmlNodePtr node, Scope* scope);
    Built attribute(xmlNodePtr node, Scope* scope);
    Built group(xmlNodePtr node, Scope* scope);
    Built interleave(xmlNodePtr node, Scope* scope);
    Built choiceOf(xmlNodePtr node, Scope* scope);
    Built optional(xmlNodePtr node, Scope* scope);
    Built zeroOrMore(xmlNodePtr node, Scope* scope);
    Built oneOrMore(xmlNodePtr node, Scope* scope);
    Built noElement(xmlNodePtr node, Scope* scope);
    Built notAllowed(xmlNodePtr node, Scope* scope);
    Built ref(xmlNodePtr node, Scope* scope);
    Built parentRef(xmlNodePtr node, Scope* scope);
    Built nestedGrammar(xmlNodePtr node, Scope* scope);
    Built externalRef(xmlNodePtr node, Scope* scope);

    std::optional<QStringList> valuesOf(xmlNodePtr first, Scope* scope, int depth) const;
    std::optional<QStringList> valuesAt(xmlNodePtr pattern, Scope* scope, int depth) const;
    std::optional<QStringList> definedValues(const xmlNode* node, Scope* scope, int depth) const;

    Grammar& m_grammar;
    std::vector<xmlDocPtr> m_docs;
    std::map<QString, xmlDocPtr> m_loaded;
    std::map<xmlDocPtr, QString> m_docNs;
    std::map<xmlDocPtr, QString> m_docPath;
    std::vector<std::unique_ptr<Scope>> m_scopes;
    std::map<std::pair<xmlNodePtr, Scope*>, Scope*> m_scopeOf;
    std::map<std::pair<xmlNodePtr, Scope*>, int> m_declOf;
    std::deque<Pending> m_pending;
    std::vector<bool> m_never; // by declaration: its content matches nothing
    QStringList m_including;
    QSet<xmlNodePtr> m_referencing;
};

RngReader::~RngReader() {
    for (xmlDocPtr doc : m_docs)
        xmlFreeDoc(doc);
}

bool RngReader::read(const QString& path) {
    xmlDocPtr doc = load(QDir::cleanPath(QFileInfo(path).absoluteFilePath()), QString());
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (!isPattern(root))
        return false;
    Built start;
    if (isPattern(root, "grammar")) {
        Scope* top = scopeFor(root, nullptr);
        start = resolve(top->start, top);
    } else {
        start = build(root, nullptr);
    }
    buildPending();
    if (!start.never)
        collectRoots(start.particle, m_grammar.roots);
    dropImpossible(m_grammar, m_never);
    return true;
}

// A document is read once for each namespace it inherits, which its unprefixed names take.
xmlDocPtr RngReader::load(const QString& path, const QString& ns) {
    const QString key = path + u'\n' + ns;
    if (const auto known = m_loaded.find(key); known != m_loaded.end())
        return known->second;
    noteFile(path);
    xmlDocPtr doc = xmlReadFile(QFile::encodeName(path).constData(), nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOENT);
    m_loaded[key] = doc;
    if (doc) {
        m_docs.push_back(doc);
        m_docNs[doc] = ns;
        m_docPath[doc] = path;
    }
    return doc;
}

void RngReader::noteFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return;
    for (const Grammar::ReadFile& file : m_grammar.files) {
        if (file.path == path)
            return;
    }
    m_grammar.files.append({path, info.lastModified().toMSecsSinceEpoch()});
}

std::optional<QString> RngReader::referencedPath(const xmlNode* node) const {
    const QString href = attributeOf(node, "href").trimmed();
    if (href.isEmpty())
        return std::nullopt;
    const QUrl url(href);
    if (url.isLocalFile())
        return QDir::cleanPath(url.toLocalFile());
    if (url.scheme().size() > 1)
        return std::nullopt;
    const auto including = m_docPath.find(node->doc);
    const QDir base = QFileInfo(including == m_docPath.end() ? QString() : including->second).dir();
    return QDir::cleanPath(base.absoluteFilePath(QUrl::fromPercentEncoding(href.toUtf8())));
}

QString RngReader::inheritedNs(const xmlNode* node) const {
    for (const xmlNode* n = node; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
        if (hasAttribute(n, "ns"))
            return attributeOf(n, "ns");
    }
    const auto inherited = m_docNs.find(node->doc);
    return inherited == m_docNs.end() ? QString() : inherited->second;
}

std::optional<GrammarName> RngReader::qualified(const QString& qname, xmlNodePtr at,
                                                const QString& unprefixedNs) const {
    const qsizetype colon = qname.indexOf(u':');
    const QString local = qname.mid(colon + 1);
    if (local.isEmpty())
        return std::nullopt;
    if (colon < 0)
        return GrammarName{unprefixedNs, local};
    const QByteArray prefix = qname.left(colon).toUtf8();
    const xmlNs* ns = xmlSearchNs(at->doc, at, BAD_CAST prefix.constData());
    if (!ns || !ns->href)
        return std::nullopt;
    return GrammarName{fromXml(ns->href), local};
}

// A single name; a name class of several names or of a wildcard gives none.
std::optional<GrammarName> RngReader::nameOf(xmlNodePtr pattern, bool isAttribute) const {
    if (hasAttribute(pattern, "name")) {
        // An attribute's unprefixed name is in no namespace unless its own ns says so.
        const QString ns = !isAttribute                  ? inheritedNs(pattern)
                           : hasAttribute(pattern, "ns") ? attributeOf(pattern, "ns")
                                                         : QString();
        return qualified(attributeOf(pattern, "name").trimmed(), pattern, ns);
    }
    xmlNodePtr nameClass = firstPattern(pattern);
    if (!isPattern(nameClass, "name"))
        return std::nullopt;
    return qualified(contentOf(nameClass).trimmed(), nameClass, inheritedNs(nameClass));
}

RngReader::Scope* RngReader::scopeFor(xmlNodePtr grammar, Scope* parent) {
    const auto key = std::make_pair(grammar, parent);
    if (const auto known = m_scopeOf.find(key); known != m_scopeOf.end())
        return known->second;
    m_scopes.push_back(std::make_unique<Scope>());
    Scope* scope = m_scopes.back().get();
    scope->parent = parent;
    m_scopeOf[key] = scope;
    collect(grammar, *scope, {});
    return scope;
}

void RngReader::collect(xmlNodePtr container, Scope& scope, const Overrides& skip) {
    for (xmlNodePtr c = firstPattern(container); c; c = nextPattern(c->next)) {
        if (isPattern(c, "start") && !skip.start) {
            addComponent(scope.start, c);
        } else if (isPattern(c, "define")) {
            const QString name = attributeOf(c, "name").trimmed();
            if (!skip.names.contains(name))
                addComponent(scope.defines[name], c);
        } else if (isPattern(c, "div")) {
            collect(c, scope, skip);
        } else if (isPattern(c, "include")) {
            include(c, scope, skip);
        }
    }
}

void RngReader::addComponent(Define& define, xmlNodePtr node) {
    define.bodies << node;
    if (attributeOf(node, "combine").trimmed() == u"interleave")
        define.interleave = true;
}

void RngReader::overridesIn(const xmlNode* container, Overrides& overrides) {
    for (xmlNodePtr c = firstPattern(container); c; c = nextPattern(c->next)) {
        if (isPattern(c, "start"))
            overrides.start = true;
        else if (isPattern(c, "define"))
            overrides.names.insert(attributeOf(c, "name").trimmed());
        else if (isPattern(c, "div"))
            overridesIn(c, overrides);
    }
}

// The included grammar's components, less those the include element gives itself, then these.
void RngReader::include(xmlNodePtr node, Scope& scope, const Overrides& outer) {
    Overrides inner = outer;
    overridesIn(node, inner);
    const std::optional<QString> path = referencedPath(node);
    xmlDocPtr doc = path ? load(*path, inheritedNs(node)) : nullptr;
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (isPattern(root, "grammar") && !m_including.contains(*path)) {
        m_including << *path;
        collect(root, scope, inner);
        m_including.removeLast();
    }
    collect(node, scope, outer);
}

Built RngReader::build(xmlNodePtr node, Scope* scope) {
    static const std::map<std::string_view, Builder> builders = {
        {"element", &RngReader::element},
        {"attribute", &RngReader::attribute},
        {"group", &RngReader::group},
        {"mixed", &RngReader::group},
        {"interleave", &RngReader::interleave},
        {"choice", &RngReader::choiceOf},
        {"optional", &RngReader::optional},
        {"zeroOrMore", &RngReader::zeroOrMore},
        {"oneOrMore", &RngReader::oneOrMore},
        {"empty", &RngReader::noElement},
        {"text", &RngReader::noElement},
        {"data", &RngReader::noElement},
        {"value", &RngReader::noElement},
        {"list", &RngReader::noElement},
        {"notAllowed", &RngReader::notAllowed},
        {"ref", &RngReader::ref},
        {"parentRef", &RngReader::parentRef},
        {"grammar", &RngReader::nestedGrammar},
        {"externalRef", &RngReader::externalRef},
    };
    const auto builder = builders.find(reinterpret_cast<const char*>(node->name));
    return builder == builders.end() ? unknown() : (this->*builder->second)(node, scope);
}

QList<Built> RngReader::buildEach(xmlNodePtr first, Scope* scope) {
    QList<Built> out;
    for (xmlNodePtr n = nextPattern(first); n; n = nextPattern(n->next))
        out << build(n, scope);
    return out;
}

Built RngReader::resolve(Define& define, Scope* scope) {
    if (define.result)
        return *define.result;
    // A reference back to itself not through an element is no RELAX NG; nor is a name never
    // defined, unless an include that could not be read defined it.
    if (define.building || define.bodies.isEmpty())
        return unknown();
    define.building = true;
    QList<Built> bodies;
    for (xmlNodePtr body : define.bodies)
        bodies << together(buildEach(body->children, scope), Kind::Sequence);
    define.result = define.interleave ? together(bodies, Kind::All) : choice(bodies);
    define.building = false;
    return *define.result;
}

Built RngReader::lookUp(Scope* scope, const xmlNode* node) {
    if (!scope)
        return unknown();
    const auto define = scope->defines.find(attributeOf(node, "name").trimmed());
    return define == scope->defines.end() ? unknown() : resolve(define->second, scope);
}

void RngReader::buildPending() {
    while (!m_pending.empty()) {
        const Pending next = m_pending.front();
        m_pending.pop_front();
        const Built content =
            together(buildEach(contentPatterns(next.node), next.scope), Kind::Sequence);
        ElementDecl& decl = m_grammar.elements[static_cast<size_t>(next.index)];
        decl.content = content.never ? Particle{} : content.particle;
        decl.attributes = content.attributes;
        m_never[static_cast<size_t>(next.index)] = content.never;
    }
}

Built RngReader::element(xmlNodePtr node, Scope* scope) {
    const std::optional<GrammarName> name = nameOf(node, false);
    if (!name)
        return unknown();
    const auto key = std::make_pair(node, scope);
    if (const auto known = m_declOf.find(key); known != m_declOf.end())
        return ofParticle(Particle::ofElement(known->second));
    const int index = static_cast<int>(m_grammar.elements.size());
    m_grammar.elements.push_back(ElementDecl{*name, {}, {}});
    m_never.push_back(false);
    m_declOf[key] = index;
    m_pending.push_back({node, scope, index});
    return ofParticle(Particle::ofElement(index));
}

Built RngReader::attribute(xmlNodePtr node, Scope* scope) {
    const std::optional<GrammarName> name = nameOf(node, true);
    if (!name)
        return {};
    AttributeDecl decl;
    decl.name = *name;
    decl.required = true;
    if (const std::optional<QStringList> values = valuesOf(contentPatterns(node), scope, 0)) {
        decl.values = *values;
        if (values->size() == 1)
            decl.fixed = values->first();
    }
    decl.defaultValue = attributeOf(node, "defaultValue", kCompatibility);
    Built b;
    b.attributes << decl;
    return b;
}

Built RngReader::group(xmlNodePtr node, Scope* scope) {
    return together(buildEach(node->children, scope), Kind::Sequence);
}

Built RngReader::interleave(xmlNodePtr node, Scope* scope) {
    return together(buildEach(node->children, scope), Kind::All);
}

Built RngReader::choiceOf(xmlNodePtr node, Scope* scope) {
    return choice(buildEach(node->children, scope));
}

Built RngReader::optional(xmlNodePtr node, Scope* scope) {
    return repeat(group(node, scope), 0, 1);
}

Built RngReader::zeroOrMore(xmlNodePtr node, Scope* scope) {
    return repeat(group(node, scope), 0, Particle::kUnbounded);
}

Built RngReader::oneOrMore(xmlNodePtr node, Scope* scope) {
    return repeat(group(node, scope), 1, Particle::kUnbounded);
}

Built RngReader::noElement(xmlNodePtr, Scope*) {
    return {};
}

Built RngReader::notAllowed(xmlNodePtr, Scope*) {
    return never();
}

Built RngReader::ref(xmlNodePtr node, Scope* scope) {
    return lookUp(scope, node);
}

Built RngReader::parentRef(xmlNodePtr node, Scope* scope) {
    return lookUp(scope ? scope->parent : nullptr, node);
}

Built RngReader::nestedGrammar(xmlNodePtr node, Scope* scope) {
    Scope* inner = scopeFor(node, scope);
    return resolve(inner->start, inner);
}

// The referenced pattern stands in place of the reference, in the referring grammar.
Built RngReader::externalRef(xmlNodePtr node, Scope* scope) {
    const std::optional<QString> path = referencedPath(node);
    xmlDocPtr doc = path ? load(*path, inheritedNs(node)) : nullptr;
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (!isPattern(root) || m_referencing.contains(root))
        return unknown();
    m_referencing.insert(root);
    const Built referenced = build(root, scope);
    m_referencing.remove(root);
    return referenced;
}

// The values an attribute's content allows when it allows nothing else.
std::optional<QStringList> RngReader::valuesOf(xmlNodePtr first, Scope* scope, int depth) const {
    if (!first || nextPattern(first->next) || depth > kMaxValueDepth)
        return std::nullopt;
    return valuesAt(first, scope, depth);
}

std::optional<QStringList> RngReader::valuesAt(xmlNodePtr pattern, Scope* scope, int depth) const {
    if (isPattern(pattern, "value")) {
        const QString value = contentOf(pattern);
        const bool exact = attributeOf(pattern, "type").trimmed() == u"string";
        return QStringList{exact ? value : value.simplified()};
    }
    if (isPattern(pattern, "choice")) {
        QStringList values;
        for (xmlNodePtr c = firstPattern(pattern); c; c = nextPattern(c->next)) {
            if (!addValues(values, valuesAt(c, scope, depth + 1)))
                return std::nullopt;
        }
        return values;
    }
    if (isPattern(pattern, "ref"))
        return definedValues(pattern, scope, depth);
    if (isPattern(pattern, "parentRef"))
        return definedValues(pattern, scope ? scope->parent : nullptr, depth);
    return std::nullopt;
}

std::optional<QStringList> RngReader::definedValues(const xmlNode* node, Scope* scope,
                                                    int depth) const {
    if (!scope)
        return std::nullopt;
    const auto define = scope->defines.find(attributeOf(node, "name").trimmed());
    if (define == scope->defines.end() || define->second.interleave ||
        define->second.bodies.isEmpty())
        return std::nullopt;
    QStringList values;
    for (xmlNodePtr body : define->second.bodies) {
        if (!addValues(values, valuesOf(firstPattern(body), scope, depth + 1)))
            return std::nullopt;
    }
    return values;
}

} // namespace

std::shared_ptr<Grammar> GrammarFromRelaxNg(const QString& path) {
    auto grammar = std::make_shared<Grammar>();
    grammar->language = Grammar::Language::RelaxNg;
    xmlimpl::ErrorCapture quiet;
    xmlimpl::LocalFileReads reads;
    RngReader reader(*grammar);
    if (!reader.read(path))
        return nullptr;
    return grammar;
}
