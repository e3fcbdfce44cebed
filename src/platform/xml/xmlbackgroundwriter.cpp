#include "platform/xml/xmlbackgroundwriter.h"

#include "platform/files/atomicfile.h"
#include "platform/xml/xmlplainwriter.h"
#include "platform/xml/xmlstorage.h"


using namespace xmlimpl;

namespace {

bool writeDocument(const XmlStorage& storage, const QString& path, const std::atomic<bool>& stop) {
    if (stop.load())
        return false;
    AtomicFile file(path, AtomicFile::Kind::Durable, AtomicFile::Access::OwnerOnly);
    return file.open() &&
           writePlain(
               storage, [&file](const char* data, int len) { return file.write(data, len); },
               stop) &&
           file.commit();
}

} // namespace

XmlBackgroundWriter::~XmlBackgroundWriter() {
    stop();
}

void XmlBackgroundWriter::start(const XmlDocument& document, const QString& path, bool stoppable,
                                std::function<void(bool)> done) {
    stop();
    m_storage = document.asNode().storage();
    m_reader = m_storage->readerGate.begin(stoppable);
    m_worker = AsideWork::Start([storage = m_storage, reader = m_reader, path, done = std::move(done)] {
        const bool written = writeDocument(*storage, path, reader->stop);
        storage->readerGate.end(reader);
        if (done)
            done(written);
    });
}

void XmlBackgroundWriter::stop() {
    if (m_storage)
        m_storage->readerGate.stopReader(m_reader);
    wait();
}

void XmlBackgroundWriter::wait() {
    if (const std::shared_ptr<AsideWork> worker = std::exchange(m_worker, nullptr))
        worker->Wait();
    m_storage.reset();
    m_reader.reset();
}
