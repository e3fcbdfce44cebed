#pragma once

#include "platform/work/asidework.h"
#include "platform/xml/xmldocument.h"

#include <QString>
#include <functional>
#include <memory>

struct XmlStorage;
struct XmlGateReader;

// Writes a document to a file on a worker thread while the user-interface thread goes on. The
// worker only reads the document; a change to the document stops a running write first (or, for
// a write that must not be stopped, waits for it), so the worker never sees a change half-made.
// The file holds the document's markup as UTF-8 text without added layout (whatever encoding the
// declaration names: it is to be read back as text), and is replaced only by a complete write.
// The file is the user's work: no one else may read it (mode 0600).
class XmlBackgroundWriter {
public:
    XmlBackgroundWriter() = default;
    ~XmlBackgroundWriter();
    XmlBackgroundWriter(const XmlBackgroundWriter&) = delete;
    XmlBackgroundWriter& operator=(const XmlBackgroundWriter&) = delete;

    // Starts writing `document` to `path`; `done` runs on the worker thread with whether the file
    // was written. A write still running is stopped first.
    void start(const XmlDocument& document, const QString& path, bool stoppable,
               std::function<void(bool written)> done);
    // Stops a running write and waits for the worker to end.
    void stop();
    // Waits for a running write to end by itself.
    void wait();

private:
    std::shared_ptr<XmlStorage> m_storage;
    std::shared_ptr<XmlGateReader> m_reader;
    std::shared_ptr<AsideWork> m_worker;
};
