#include "platform/xml/xmlsource.h"

#include "platform/xml/xmlencoding.h"

#include <QFile>
#include <QFileInfo>

namespace xmlimpl {

bool readSource(XmlSource& source) {
    if (source.kind != XmlSource::Kind::File || source.read || source.undecodable)
        return source.kind != XmlSource::Kind::None && !source.undecodable;
    auto drop = [&source] {
        source = XmlSource();
        source.lost = true;
        return false;
    };
    const QFileInfo now(source.path);
    if (!now.isFile() || now.size() != source.size || now.lastModified() != source.modified)
        return drop();
    QFile file(source.path);
    if (!file.open(QIODevice::ReadOnly))
        return drop();
    QByteArray raw = file.readAll();
    if (raw.size() != source.size)
        return drop();
    if (source.encoding.isEmpty()) {
        source.text = std::move(raw);
    } else {
        QByteArray utf8;
        if (!convertEncoding(QByteArrayView(raw).sliced(source.bom.size()), source.encoding,
                             "UTF-8", utf8)) {
            source.undecodable = true;
            return false;
        }
        source.text = std::move(utf8);
    }
    source.read = true;
    return true;
}

} // namespace xmlimpl
