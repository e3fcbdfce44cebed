#include "platform/xml/xmlheldcopy.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlstorage.h"
#include "platform/xml/xmlserialize.h"

using namespace xmlimpl;

XmlHeldCopy::XmlHeldCopy(const XmlDocument& document)
    : m_storage(document.asNode().storage()),
      m_reader(m_storage->readerGate.begin(/*canStop=*/false)) {}

XmlHeldCopy::~XmlHeldCopy() {
    release();
}

XmlDocument XmlHeldCopy::take(Copy kind) {
    if (!m_storage)
        throw XmlError(QStringLiteral("The copy was already taken."));
    struct Release {
        XmlHeldCopy& held;
        ~Release() { held.release(); }
    } releaseAfter{*this};
    return kind == Copy::Quick ? quickCopyOf(*m_storage) : snapshotOf(*m_storage);
}

bool XmlHeldCopy::writeInPlace(const std::function<bool(const char*, int)>& sink) {
    if (!m_storage)
        throw XmlError(QStringLiteral("The copy was already taken."));
    if (!serializeInPlace(*m_storage, sink))
        return false;
    release();
    return true;
}

void XmlHeldCopy::release() {
    if (m_reader)
        m_storage->readerGate.end(m_reader);
    m_reader.reset();
    m_storage.reset();
}
