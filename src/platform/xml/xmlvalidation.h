#pragma once

// Validation of a document against a DTD, an XML Schema or a RELAX NG schema, over libxml2.

#include "platform/xml/xmldocument.h"

#include <QList>
#include <QString>
#include <memory>

// Where a node stands in its document: the position of each node on the way down from the
// document among all its parent's children, then, for an attribute, its position among its
// element's attributes. It finds the same node in any copy of the document.
struct XmlNodePlace {
    QList<int> steps;
    int attribute = -1;
    bool isNull() const { return steps.isEmpty(); }
};

// Where `node` stands in its document (a namespace declaration: where its element stands).
XmlNodePlace PlaceOf(const XmlNode& node);
// The node at `place` in `document`; a null node when the document has no such node.
XmlNode NodeAtPlace(const XmlDocument& document, const XmlNodePlace& place);

struct XmlValidationIssue {
    bool warning = false;
    // The line in the document's source (in the schema's file when `file` is set); 0 unknown.
    int line = 0;
    // The schema's file for a fault in the schema itself; empty for the document's own.
    QString file;
    QString message;
    XmlNodePlace place;
    // The node itself in the document validated (TieToDocument): it is followed through later
    // edits, where its place is not.
    XmlNode node;
};

struct XmlValidationResult {
    enum class Against { Nothing, ChosenSchema, SchemaHints, DocumentType };
    Against against = Against::Nothing;
    // The schema or DTD file validated against; empty for the internal subset or the hints.
    QString schema;
    // False when the schema (or an external DTD) could not be read or compiled: the issues then
    // are its own faults.
    bool schemaLoaded = true;
    QList<XmlValidationIssue> issues; // at most kMaxListed
    int errors = 0;                   // every error, also those past the ones listed
    int warnings = 0;
    bool valid() const { return against != Against::Nothing && schemaLoaded && errors == 0; }

    static constexpr int kMaxListed = 10000;
};

struct XmlValidationRequest {
    // A schema the user chose: .xsd, .rng or .dtd (by its name, else by its content). Empty: the
    // document's xsi schema location hints, else its document type declaration.
    QString schemaFile;
    // The document's file: its folder is where the document's relative references resolve.
    QString documentFile;
};

enum class SchemaLanguage { Dtd, XmlSchema, RelaxNg };
// A schema file's language: by its name (.xsd, .rng, .dtd), else by what it declares.
SchemaLanguage SchemaLanguageOf(const QString& path);

// Validates `document`. Validation records IDs in the document and may attach an external DTD to
// it, so the caller gives it a copy of the user's document. Schemas and DTDs are read only from
// local files; a reference to anything else is refused and listed as an error, and nothing is
// ever fetched. Throws XmlError when memory runs out.
XmlValidationResult Validate(XmlDocument& document, const XmlValidationRequest& request);

// Ties the issues found in a copy of `document` to its own nodes, and reads the lines libxml2
// does not count (an element's past 65535) from them: `document` must be unchanged since it was
// copied.
void TieToDocument(const XmlDocument& document, QList<XmlValidationIssue>& issues);

// Which document at which revision something was taken from; it tells whether that is still
// the document's current content.
class XmlDocumentStamp {
public:
    XmlDocumentStamp() = default;
    explicit XmlDocumentStamp(const XmlDocument& document);
    bool isCurrentFor(const XmlDocument& document) const;

private:
    std::weak_ptr<XmlStorage> m_storage;
    quint64 m_revision = 0;
};
