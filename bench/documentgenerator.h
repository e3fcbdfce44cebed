#pragma once

#include <QString>

// Writes a catalogue-like XML document of about `megabytes` MB (about 50,000 nodes per MB):
// records with attributes, child elements, text, comments, CDATA and processing instructions.
// Returns the number of nodes written (attributes included).
qint64 GenerateDocument(const QString& path, int megabytes);

class QTemporaryDir;
// The document a benchmark runs on, from its arguments [MEGABYTES=100] [FILE]: the file named,
// or one generated in `dir` (saying so on the standard output).
QString BenchDocument(int argc, char** argv, const QTemporaryDir& dir);

// Writes an XML Schema that the generated documents are valid against: every record's elements in
// order with their types, the attributes with an ID and an enumeration among them.
void GenerateSchema(const QString& path);
