#pragma once

// What a schema allows, in the one form completion asks it: which elements may stand at a place,
// which attributes an element may take and which values an attribute may have. Read from a DTD,
// an XML Schema or a RELAX NG schema, or learned from a document that has none. Where a schema
// says something this form cannot hold (a wildcard, a construct not read), the place gives no
// names at all rather than a wrong one.

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// A name as a schema declares it. A DTD knows no namespaces: its names are kept whole, prefix
// and all, with no namespace.
struct GrammarName {
    QString ns;
    QString local;
    bool operator==(const GrammarName&) const = default;
};

// An element's content as a regular expression over its child elements' declarations. Text is
// not in it: it never decides which element may come next.
struct Particle {
    enum class Kind {
        Nothing,  // no element (EMPTY, text only)
        Element,  // one element: `element` indexes Grammar::elements
        Sequence, // `parts` in order
        Choice,   // one of `parts`
        All,      // each of `parts`, in any order (xs:all, RELAX NG interleave)
        Unknown   // anything: the schema says what is not read here
    };
    static constexpr int kUnbounded = -1;
    Kind kind = Kind::Nothing;
    int min = 1;
    int max = 1; // kUnbounded: no limit
    int element = -1;
    QList<Particle> parts;

    static Particle ofElement(int element, int min = 1, int max = 1);
    static Particle of(Kind kind, QList<Particle> parts = {}, int min = 1, int max = 1);
};

struct AttributeDecl {
    GrammarName name;
    bool required = false;
    QStringList values; // the enumeration, in the schema's order; empty when free
    QString fixed;
    QString defaultValue;
};

struct ElementDecl {
    GrammarName name;
    Particle content;
    QList<AttributeDecl> attributes;
};

class Grammar {
public:
    enum class Language { Learned, Dtd, XmlSchema, RelaxNg };
    Language language = Language::Learned;
    std::vector<ElementDecl> elements;
    QList<int> roots; // the declarations a document element may match
    // The files read, with when they were last written: the grammar holds until one changes.
    struct ReadFile {
        QString path;
        qint64 modified = 0;
    };
    QList<ReadFile> files;

    // Names are compared with their namespace, except in a DTD's grammar.
    bool usesNamespaces() const { return language != Language::Dtd; }
    bool stillCurrent() const;

    // The declaration for the element reached by `path` (names from the outside in). From the
    // document element when `fromRoot`; else `path` starts at an element whose name alone tells
    // its declaration (UniqueDecl). -1 when the grammar cannot tell.
    int declFor(const QList<GrammarName>& path, bool fromRoot) const;
    // The one declaration of elements named `name` anywhere; -1 when none or several differ.
    int uniqueDecl(const GrammarName& name) const;

    // The elements allowed in `decl`'s content between the sibling elements `before` and `after`
    // (their names, in document order), in the model's order. `decl` -1: the document element.
    QList<GrammarName> childrenAllowed(int decl, const QList<GrammarName>& before,
                                       const QList<GrammarName>& after = {}) const;
    // The attributes `decl` may still take besides those `present`, the required ones first.
    QList<AttributeDecl> attributesAllowed(int decl, const QList<GrammarName>& present) const;
    // `decl`'s declaration of the attribute `name`; nullptr when it declares none.
    const AttributeDecl* attribute(int decl, const GrammarName& name) const;

    // Sibling lists longer than this are only partly checked after the place asked about.
    static constexpr int kCheckedAfter = 2000;
};

using GrammarPtr = std::shared_ptr<const Grammar>;

struct _xmlDtd;
struct _xmlDoc;
// The declarations of a DTD (libxml2's), and of the document's internal and external subsets.
std::shared_ptr<Grammar> GrammarFromDtd(const _xmlDtd* dtd, std::shared_ptr<Grammar> into = {});
// What a document uses: each element name's children and attributes in the order first seen,
// and an attribute's values when they are few; from its first `limit` elements (-1: all).
std::shared_ptr<Grammar> GrammarLearned(const _xmlDoc* doc, qsizetype limit = -1);
// An XML Schema's global and local declarations, with what it includes and imports.
std::shared_ptr<Grammar> GrammarFromXmlSchema(const QString& path);
// A RELAX NG schema (XML syntax), with what it includes.
std::shared_ptr<Grammar> GrammarFromRelaxNg(const QString& path);

class XmlNode;
// The elements `grammar` allows as a new child of the element `parent`, before its element
// child number `before` (-1: as its last child), in the model's order.
QList<GrammarName> ElementsAllowedIn(const Grammar& grammar, const XmlNode& parent,
                                     int before = -1);
// The elements allowed in place of `element` (a new name for it).
QList<GrammarName> ElementsAllowedFor(const Grammar& grammar, const XmlNode& element);
// The attributes `element` may still take, the required ones first.
QList<AttributeDecl> AttributesAllowedOn(const Grammar& grammar, const XmlNode& element);
// The declaration of `element` as the grammar reaches it from the document element; -1 unknown.
int DeclOf(const Grammar& grammar, const XmlNode& element);

struct XmlValidationRequest;
class XmlDocument;

// Where the grammar validation would use for a document comes from: the schema chosen, else the
// document element's xsi hints, else the document type declaration (its internal subset, copied,
// and the external DTD it names). Taken from the document on its thread; read anywhere.
class GrammarSources {
public:
    GrammarSources() = default;
    GrammarSources(const XmlDocument& document, const XmlValidationRequest& request);
    ~GrammarSources();
    GrammarSources(GrammarSources&&) noexcept;
    GrammarSources& operator=(GrammarSources&&) noexcept;

    // Equal keys read the same grammar while the files read are unchanged.
    const QString& key() const { return m_key; }
    bool none() const { return m_key.isEmpty(); }
    // Reads the grammar from local files only, XML catalogs first; null when there is none or it
    // cannot be read.
    std::shared_ptr<Grammar> read() const;

private:
    QString m_key;
    QString m_schema;
    QStringList m_hinted;
    QString m_documentFile;
    _xmlDtd* m_subset = nullptr;
};

// The grammar for `document`: from its sources, else learned from the document itself (from its
// first `learnLimit` elements). Never null.
GrammarPtr LoadGrammar(const XmlDocument& document, const XmlValidationRequest& request);

// The names as the user writes them at a place in the Document: with a prefix declared there for
// the name's namespace, or unprefixed in the default namespace (elements) or in none. Names whose
// namespace has no prefix there are left out.
QStringList ElementNamesForInsert(const Grammar& grammar, const XmlNode& parent);
QStringList ElementNamesForRename(const Grammar& grammar, const XmlNode& element);
struct AttributeChoice {
    QString name;
    AttributeDecl decl;
};
QList<AttributeChoice> AttributeChoicesOn(const Grammar& grammar, const XmlNode& element);
// The values offered for the attribute written `name` on `element`: its enumeration, else its
// fixed or default value.
QStringList AttributeValuesFor(const Grammar& grammar, const XmlNode& element, const QString& name);
