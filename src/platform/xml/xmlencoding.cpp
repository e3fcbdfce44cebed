#include "platform/xml/xmlencoding.h"

#include <QList>
#include <QString>
#include <cerrno>
#include <iconv.h>

namespace xmlimpl {

namespace {
class Converter {
public:
    Converter(const QByteArray& from, const QByteArray& to)
        : m_handle(iconv_open(to.constData(), from.constData())) {}
    ~Converter() {
        if (ok())
            iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as it can; the error is errno's (0 when all went).
    int run(const char*& in, size_t& inLeft, QByteArray& out) {
        char buffer[16384];
        while (inLeft > 0) {
            char* to = buffer;
            size_t toLeft = sizeof buffer;
            const size_t done = iconv(m_handle, const_cast<char**>(&in), &inLeft, &to, &toLeft);
            out.append(buffer, to - buffer);
            if (done == static_cast<size_t>(-1) && errno != E2BIG)
                return errno;
        }
        char* to = buffer;
        size_t toLeft = sizeof buffer;
        iconv(m_handle, nullptr, nullptr, &to, &toLeft);
        out.append(buffer, to - buffer);
        return 0;
    }

private:
    iconv_t m_handle;
};

// The length of the UTF-8 sequence starting with `lead`.
int sequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}
} // namespace

bool convertEncoding(QByteArrayView in, const QByteArray& from, const QByteArray& to,
                     QByteArray& out) {
    Converter converter(from, to);
    if (!converter.ok())
        return false;
    const char* data = in.data();
    size_t left = static_cast<size_t>(in.size());
    return converter.run(data, left, out) == 0;
}

bool encodeMarkup(QByteArrayView utf8, const QByteArray& to, QByteArray& out) {
    Converter converter("UTF-8", to);
    if (!converter.ok())
        return false;
    const char* data = utf8.data();
    size_t left = static_cast<size_t>(utf8.size());
    while (left > 0) {
        if (converter.run(data, left, out) != EILSEQ)
            return true;
        const int length = std::min<int>(sequenceLength(static_cast<unsigned char>(*data)),
                                         static_cast<int>(left));
        const QString character = QString::fromUtf8(data, length);
        const QByteArray reference =
            QByteArray("&#") + QByteArray::number(character.toUcs4().value(0)) + ';';
        const char* ascii = reference.constData();
        size_t asciiLeft = static_cast<size_t>(reference.size());
        converter.run(ascii, asciiLeft, out);
        data += length;
        left -= static_cast<size_t>(length);
    }
    return true;
}

bool encodingKnown(const QByteArray& name) {
    return Converter(name, "UTF-8").ok() && Converter("UTF-8", name).ok();
}

bool decodeReplacing(QByteArrayView in, const QByteArray& from, QByteArray& out) {
    Converter converter(from, "UTF-8");
    if (!converter.ok())
        return false;
    const char* data = in.data();
    size_t left = static_cast<size_t>(in.size());
    bool clean = true;
    while (left > 0 && converter.run(data, left, out) != 0) {
        clean = false;
        out.append("\xEF\xBF\xBD");
        ++data;
        --left;
    }
    return clean;
}

} // namespace xmlimpl
