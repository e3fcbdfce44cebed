#include "platform/xml/xmlbackgroundwriter.h"

#include "platform/xml/xmlstorage.h"

#include <libxml/xmlsave.h>

#include <QSaveFile>

using namespace xmlimpl;

namespace {

struct Output {
    QSaveFile* file;
    XmlReaderGate* gate;
};

int writeChunk(void* context, const char* buffer, int len) {
    auto* out = static_cast<Output*>(context);
    if (out->gate->stop.load() || out->file->write(buffer, len) != len)
        return -1;
    return len;
}

int closeNothing(void*) {
    return 0;
}

// Unindented, so that writing needs no marks in the tree (the worker may only read it).
bool writeDocument(XmlStorage& storage, const QString& path) {
    XmlReaderGate& gate = storage.readerGate;
    if (gate.stop.load())
        return false;
    ErrorCapture quiet;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    Output out{&file, &gate};
    const QByteArray encoding = declaredEncoding(storage.doc);
    xmlSaveCtxtPtr save =
        xmlSaveToIO(writeChunk, closeNothing, &out,
                    encoding.isEmpty() ? "UTF-8" : encoding.constData(), XML_SAVE_NO_DECL);
    if (!save)
        return false;
    const bool ok = xmlSaveDoc(save, storage.doc) >= 0;
    const bool flushed = xmlSaveClose(save) >= 0;
    if (!ok || !flushed || gate.stop.load()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

XmlBackgroundWriter::~XmlBackgroundWriter() {
    stop();
}

void XmlBackgroundWriter::start(const XmlDocument& document, const QString& path, bool stoppable,
                                std::function<void(bool)> done) {
    stop();
    m_storage = document.asNode().storage();
    m_storage->readerGate.begin(stoppable);
    m_worker = std::thread([storage = m_storage, path, done = std::move(done)] {
        const bool written = writeDocument(*storage, path);
        storage->readerGate.end();
        if (done)
            done(written);
    });
}

void XmlBackgroundWriter::stop() {
    if (m_storage)
        m_storage->readerGate.stopReader(true);
    wait();
}

void XmlBackgroundWriter::wait() {
    if (m_worker.joinable())
        m_worker.join();
    m_storage.reset();
}
