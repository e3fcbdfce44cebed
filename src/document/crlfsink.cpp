#include "document/crlfsink.h"

bool CrLfSink::write(const char* data, int len) {
    const char* end = data + len;
    const char* run = data;
    auto putRun = [&](const char* upTo) { m_buffer.append(run, upTo - run); };
    for (const char* p = data; p != end; ++p) {
        const char c = *p;
        if (c != '\r' && c != '\n') {
            m_afterCr = false;
            continue;
        }
        putRun(p);
        run = p + 1;
        // The LF of a CR LF pair was written with its CR.
        if (c == '\r' || !m_afterCr)
            m_buffer.append("\r\n", 2);
        m_afterCr = c == '\r';
        if (m_buffer.size() >= kPiece && !finish())
            return false;
    }
    putRun(end);
    return m_buffer.size() < kPiece || finish();
}

bool CrLfSink::finish() {
    if (m_ok && !m_buffer.isEmpty())
        m_ok = m_out(m_buffer.constData(), static_cast<int>(m_buffer.size()));
    m_buffer.resize(0);
    return m_ok;
}

QByteArray CrLfSink::converted(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    CrLfSink sink([&out](const char* data, int len) {
        out.append(data, len);
        return true;
    });
    sink.write(text.data(), static_cast<int>(text.size()));
    sink.finish();
    return out;
}
