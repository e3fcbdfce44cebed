#pragma once

#include "platform/apptitle.h"
#include "platform/xml/xmldocument.h"

#include <QString>
#include <exception>

// The document core's rules that need no window.
namespace DocumentRules {

using ::kAppTitle;
inline const QString kTempFileName = QStringLiteral("TempXMLFile.xml");
inline const QString kFileFilter =
    QStringLiteral("XML files (*.xml)|*.xml|Text files (*.txt)|*.txt");
inline const QString kSchemaFilter = QStringLiteral(
    "Schemas (*.xsd;*.rng;*.dtd)|*.xsd;*.rng;*.dtd|XML Schema (*.xsd)|*.xsd|RELAX NG (*.rng)|*.rng|"
    "DTD (*.dtd)|*.dtd|All files (*.*)|*.*");
inline const QString kNewDocumentText = QStringLiteral("<Root/>");
// Above this many characters (or bytes), reading a whole document takes long enough to be done
// aside while the window shows it is busy.
constexpr qint64 kReadAside = qint64(8) << 20;

// "Orvel XML Editor - name" with the name's last path part, or "- Unknown" without a name.
QString CaptionFor(const QString& fileName);
// The last part of a path, after its last slash or backslash.
QString LastPathPart(const QString& fileName);
// A chosen name that would overwrite the web view's own file.
bool IsBackupFileName(const QString& chosenName);
// Why `path` cannot be opened as a document without even trying (a folder, a device, a pipe, a
// socket, a file that cannot be read); empty when it may be tried.
QString NotAnOpenableFile(const QString& path);
// A file whose mode lets nobody write it.
bool IsReadOnlyFile(const QString& path);
// The file named on the command line: the argument as given, without one pair of enclosing
// double quotes.
QString CommandLinePath(const QString& argument);
// "Do you want to save the changes you made to NAME?"
QString SaveQuestion(const QString& fileName);
// How much memory the undo history may hold: a quarter of the physical memory, at most 2 GB.
size_t UndoMemoryLimit();
// Whether a document read from `textBytes` of text fits in memory beside the one the program
// holds now, read from `heldTextBytes`: the program's memory beyond its own start is mostly that
// document, and a text of another size reads into proportionally as much. With `resident` or
// `available` unknown (negative), it is taken to fit.
bool FitsBeside(qint64 textBytes, qint64 heldTextBytes, qint64 resident, qint64 available);
// reason, "Source Text:" line, "Line: n Position: m".
QString ParseErrorReport(const XmlParseError& error);
// "Not well-formed: line N, column M: reason", on one line.
QString NotWellFormed(const XmlParseError& error);

// How the central error report shows an error.
struct ErrorReport {
    bool show = false;
    bool parseError = false; // information icon instead of critical
    QString text;
};
// Classifies `error` (null: nothing to report). A parse error held by `document` wins.
ErrorReport ReportFor(std::exception_ptr error, const XmlDocument& document);

} // namespace DocumentRules
