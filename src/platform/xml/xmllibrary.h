#pragma once

// libxml2 as the program uses it, set up in one place. For the whole program, on the thread that
// first uses it (the user-interface thread, before any worker): nothing outside the document is
// read, and never anything from the network; nothing is printed. libxml2 keeps its error handlers
// per thread, so each thread that uses it is quietened too.

#include <libxml/parser.h>

#include <QString>
#include <QStringList>

namespace xmlimpl {

// Sets libxml2 up for the program (once) and for the calling thread (once per thread).
void UseLibrary();

// While alive, libxml2 reads local files on this thread (a validation's schemas) and refuses
// everything else, listing what it refused. Without one, nothing from outside is read.
class LocalFileReads {
public:
    LocalFileReads();
    ~LocalFileReads();
    LocalFileReads(const LocalFileReads&) = delete;
    LocalFileReads& operator=(const LocalFileReads&) = delete;
    QStringList refused;

private:
    LocalFileReads* m_previous;
};

// While alive, keeps libxml2 from printing and records its first error (UseLibrary included).
struct ErrorCapture {
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    bool have = false;
    bool fatal = false;
    QString reason;
    int line = 0;
    int column = 0;
};

} // namespace xmlimpl
